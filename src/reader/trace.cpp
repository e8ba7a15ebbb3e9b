// Trace output to a tracer program running beside the application (kovra-tracer).
#include "reader/trace.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace kovra::trace {
namespace {

using Clock = std::chrono::steady_clock;

// What one text may cost the caller at most: waiting for the lock another sender holds and for
// room in the queue of a tracer that reads slowly. A tracer that stops reading, or a lock that is
// never given back, then costs this once: the texts after it try only without waiting until one
// goes out whole again.
constexpr std::chrono::milliseconds kTextBudget{250};
constexpr std::chrono::milliseconds kLockRetryInterval{1};

// Only a folder of the user's own: a shared one (/tmp) would let another user's socket receive
// the trace, or another user's lock hold up every trace of this process.
const char *DirectoryFromEnvironment() {
  const char *runtime_dir = std::getenv("XDG_RUNTIME_DIR");
  return runtime_dir != nullptr && *runtime_dir != '\0' ? runtime_dir : nullptr;
}

// Writes "<directory>/UloTracer" into the address without allocating. False when the path does
// not fit a socket address (no tracer can listen there).
bool MakeTracerAddress(sockaddr_un *address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  const char *directory = DirectoryFromEnvironment();
  if (directory == nullptr) return false;
  const int length = std::snprintf(address->sun_path, sizeof address->sun_path, "%s/%s", directory,
                                   kTracerSocketName);
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

// A non-blocking datagram socket connected to the tracer, or -1 when nobody listens (a stale
// socket file left by a tracer that died refuses the connection).
int ConnectToTracer(const sockaddr_un &address) {
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
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
      // Read-only is enough for flock.
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
  // deleted behind our back (a cleaner) would no longer exclude the processes that open the
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

// Holds an exclusive flock for one text. Never blocks: it asks without waiting and asks again
// every millisecond until `deadline`; Held() says whether it got the lock.
class FlockGuard {
 public:
  FlockGuard(int fd, Clock::time_point deadline) {
    if (fd < 0) return;
    for (;;) {
      if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        fd_ = fd;
        return;
      }
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK || Clock::now() >= deadline) return;
      std::this_thread::sleep_for(kLockRetryInterval);
    }
  }
  ~FlockGuard() {
    if (fd_ >= 0) flock(fd_, LOCK_UN);
  }
  FlockGuard(const FlockGuard &) = delete;
  FlockGuard &operator=(const FlockGuard &) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Process-wide state, never destroyed, so a trace from a thread that outlives main stays safe.
struct TraceState {
  // Threads of one process share the lock file's descriptor and flock would let them all in at
  // once, so they take this mutex first.
  std::mutex text_mutex;
  LockFile lock_file;
  // Set when a text ran out of its budget; the texts after it do not wait at all until one goes
  // out whole.
  std::atomic<bool> stalled{false};
};

TraceState &State() {
  static TraceState *state = new TraceState;
  return *state;
}

// Sends one value; waits for room in the tracer's queue until `deadline` at most.
bool SendValue(int fd, const unsigned char (&value)[4], Clock::time_point deadline) {
  for (;;) {
    const ssize_t sent = send(fd, value, sizeof value, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent == static_cast<ssize_t>(sizeof value)) return true;
    if (sent < 0 && errno == EINTR) continue;
    if (sent >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd room{fd, POLLOUT, 0};
    if (poll(&room, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return false;
  }
}

// Sends the text four characters at a time; stops at the first failed send.
int SendValues(int fd, const char *text, size_t length, Clock::time_point deadline) {
  int sent = 0;
  for (size_t i = 0; i < length; i += 4) {
    unsigned char value[4] = {};  // little-endian: the first character in the lowest byte
    for (size_t k = 0; k < 4 && i + k < length; ++k)
      value[k] = static_cast<unsigned char>(text[i + k]);
    if (!SendValue(fd, value, deadline)) break;
    ++sent;
  }
  return sent;
}

}  // namespace

std::string TracerDirectory() {
  const char *directory = DirectoryFromEnvironment();
  return directory != nullptr ? directory : "";
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
  const Clock::time_point deadline =
      state.stalled.load() ? Clock::now() : Clock::now() + kTextBudget;
  const int lock_fd = state.lock_file.For(address.sun_path);
  const FlockGuard across_processes(lock_fd, deadline);
  // A text that cannot have the lock is dropped rather than mixed into another sender's text.
  if (lock_fd >= 0 && !across_processes.Held()) {
    state.stalled.store(true);
    return 0;
  }
  const size_t length = std::strlen(text);
  const int sent = SendValues(tracer.get(), text, length, deadline);
  state.stalled.store(static_cast<size_t>(sent) < (length + 3) / 4);
  return sent;
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
