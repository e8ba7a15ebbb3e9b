#include "reader/trace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace kovra::trace {
namespace {

// A tracer that stops reading fills its receive queue; a send then gives up after this long and
// the rest of the text is dropped, so the library's caller is never held for long.
constexpr time_t kSendTimeoutSeconds = 1;

const char *DirectoryFromEnvironment() {
  const char *runtime_dir = std::getenv("XDG_RUNTIME_DIR");
  return runtime_dir != nullptr && *runtime_dir != '\0' ? runtime_dir : "/tmp";
}

// Writes "<directory>/UloTracer" into the address without allocating. False when the path does
// not fit a socket address (no tracer can listen there).
bool MakeTracerAddress(sockaddr_un *address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  const int length = std::snprintf(address->sun_path, sizeof address->sun_path, "%s/%s",
                                   DirectoryFromEnvironment(), kTracerSocketName);
  return length > 0 && static_cast<size_t>(length) < sizeof address->sun_path;
}

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) close(fd_);
  }
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// A datagram socket connected to the tracer, or -1 when nobody listens (a stale socket file
// left by a tracer that died refuses the connection).
int ConnectToTracer(const sockaddr_un &address) {
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const timeval timeout{kSendTimeoutSeconds, 0};
  if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0 ||
      connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The lock file beside the tracer's socket, opened on first use and kept until process end.
// Guarded by the text mutex.
class LockFile {
 public:
  // The descriptor of the lock file for the tracer at socket_path; -1 when it cannot be opened
  // (the text then goes out serialised within this process only).
  int For(const char *socket_path) {
    char path[sizeof(sockaddr_un::sun_path) + sizeof kTracerLockName];
    std::snprintf(path, sizeof path, "%.*s%s",
                  static_cast<int>(std::strlen(socket_path) - std::strlen(kTracerSocketName)),
                  socket_path, kTracerLockName);
    if (fd_ >= 0 && !StillValid(path)) Close();
    if (fd_ < 0) {
      // Read-only is enough for flock and lets another user's lock file in a shared /tmp serve.
      fd_ = open(path, O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
      if (fd_ >= 0) {
        std::snprintf(path_, sizeof path_, "%s", path);
        owner_ = getpid();
      }
    }
    return fd_;
  }

 private:
  // The cached descriptor serves only the same file from the same process: a forked child shares
  // the parent's open file, and flock does not exclude two holders of one open file; a lock file
  // deleted behind our back (a /tmp cleaner) would no longer exclude the processes that open the
  // new one.
  bool StillValid(const char *path) const {
    if (owner_ != getpid() || std::strcmp(path, path_) != 0) return false;
    struct stat opened {
    }, named{};
    return fstat(fd_, &opened) == 0 && stat(path, &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
  }
  void Close() {
    close(fd_);
    fd_ = -1;
  }

  int fd_ = -1;
  pid_t owner_ = 0;
  char path_[sizeof(sockaddr_un::sun_path) + sizeof kTracerLockName] = {};
};

// Holds an exclusive flock for one text; waits without time limit, as every holder releases it
// within about a second per text.
class FlockGuard {
 public:
  explicit FlockGuard(int fd) : fd_(fd) {
    if (fd_ < 0) return;
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        fd_ = -1;
        return;
      }
    }
  }
  ~FlockGuard() {
    if (fd_ >= 0) flock(fd_, LOCK_UN);
  }
  FlockGuard(const FlockGuard &) = delete;
  FlockGuard &operator=(const FlockGuard &) = delete;

 private:
  int fd_;
};

// Process-wide state, never destroyed, so a trace from a thread that outlives main stays safe.
struct TraceState {
  // Threads of one process share the lock file's descriptor and flock would let them all in at
  // once, so they take this mutex first.
  std::mutex text_mutex;
  LockFile lock_file;
};

TraceState &State() {
  static TraceState *state = new TraceState;
  return *state;
}

bool SendValue(int fd, const unsigned char (&value)[4]) {
  for (;;) {
    const ssize_t sent = send(fd, value, sizeof value, MSG_NOSIGNAL);
    if (sent == static_cast<ssize_t>(sizeof value)) return true;
    if (sent < 0 && errno == EINTR) continue;
    return false;
  }
}

// Sends the text four characters at a time; stops at the first failed send.
int SendValues(int fd, const char *text, size_t length) {
  int sent = 0;
  for (size_t i = 0; i < length; i += 4) {
    unsigned char value[4] = {};  // little-endian: the first character in the lowest byte
    for (size_t k = 0; k < 4 && i + k < length; ++k)
      value[k] = static_cast<unsigned char>(text[i + k]);
    if (!SendValue(fd, value)) break;
    ++sent;
  }
  return sent;
}

}  // namespace

std::string TracerDirectory() {
  return DirectoryFromEnvironment();
}

int Trace(const char *text) {
  if (text == nullptr || *text == '\0') return 0;
  sockaddr_un address;
  if (!MakeTracerAddress(&address)) return 0;
  // The one lookup a trace costs when no tracer runs.
  struct stat info {};
  if (stat(address.sun_path, &info) != 0 || !S_ISSOCK(info.st_mode)) return 0;
  const UniqueFd tracer(ConnectToTracer(address));
  if (tracer.get() < 0) return 0;

  TraceState &state = State();
  const std::lock_guard<std::mutex> in_process(state.text_mutex);
  const FlockGuard across_processes(state.lock_file.For(address.sun_path));
  return SendValues(tracer.get(), text, std::strlen(text));
}

int TraceFormatted(const char *format, ...) {
  if (format == nullptr) return 0;
  char buffer[512];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (length < 0) return 0;
  return Trace(buffer);
}

}  // namespace kovra::trace
