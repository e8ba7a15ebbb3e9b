// kovra-tracer: receives the library's trace texts and prints them to stdout as they arrive.
//
// It binds the Unix datagram socket "UloTracer" in $XDG_RUNTIME_DIR (or --dir) and
// unpacks each 4-byte datagram, a little-endian value of up to four characters, first character
// in the lowest byte. Datagrams of any other length are ignored.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "reader/trace.h"
#include "tracer/trace_datagram.h"

namespace {

volatile sig_atomic_t g_stop_requested = 0;

void RequestStop(int) {
  g_stop_requested = 1;
}

void PrintUsage(std::FILE *out) {
  std::fprintf(out,
               "Usage: kovra-tracer [--dir DIR]\n"
               "Prints the trace texts of applications using libkovra.\n"
               "\n"
               "  --dir DIR  listen in DIR instead of $XDG_RUNTIME_DIR\n"
               "  --help     show this help\n");
}

bool MakeAddress(const std::string &directory, sockaddr_un *address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  const std::string path = directory + "/" + kovra::trace::kTracerSocketName;
  if (path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// True when a live tracer owns the socket at the address: it accepts a connection, whereas the
// file a killed tracer left behind refuses it.
bool TracerAlive(const sockaddr_un &address) {
  const int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const bool alive =
      connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
  close(probe);
  return alive;
}

// Binds the tracer socket, replacing a stale one. Result: the socket, or -1 after a message.
int BindTracerSocket(const sockaddr_un &address) {
  struct stat existing {};
  if (lstat(address.sun_path, &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode)) {
      std::fprintf(stderr, "kovra-tracer: %s exists and is not a socket; not touching it\n",
                   address.sun_path);
      return -1;
    }
    if (TracerAlive(address)) {
      std::fprintf(stderr, "kovra-tracer: another tracer is already listening on %s\n",
                   address.sun_path);
      return -1;
    }
    unlink(address.sun_path);  // left by a tracer that did not end cleanly
  }
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
    std::fprintf(stderr, "kovra-tracer: cannot listen on %s: %s\n", address.sun_path,
                 std::strerror(errno));
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

// Writes the characters of one value. False when stdout is gone.
bool PrintText(const std::string &text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
    return false;
  }
  return std::fflush(stdout) == 0;  // a pipe reader sees each piece at once
}

// Receives until a stop signal or a write error. Result: the exit code.
int ReceiveLoop(int fd, const sigset_t &wait_mask) {
  pollfd waiting{fd, POLLIN, 0};
  while (!g_stop_requested) {
    // The stop signals are blocked except inside ppoll, so one that arrives between the check
    // above and the wait still ends the wait.
    if (ppoll(&waiting, 1, nullptr, &wait_mask) < 0) {
      if (errno == EINTR) continue;
      std::perror("kovra-tracer: poll");
      return 1;
    }
    unsigned char datagram[16];
    // MSG_TRUNC reports the datagram's real length, so a longer one is told apart from 4 bytes.
    const ssize_t length = recv(fd, datagram, sizeof datagram, MSG_DONTWAIT | MSG_TRUNC);
    const std::optional<std::string> text = kovra::trace::DatagramText(datagram, length);
    if (!text) continue;
    if (!PrintText(*text)) return errno == EPIPE ? 0 : 1;
  }
  return 0;
}

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
};

bool IdentifySocketFile(const char *path, FileIdentity *identity) {
  struct stat info {};
  if (stat(path, &info) != 0 || !S_ISSOCK(info.st_mode)) return false;
  *identity = {info.st_dev, info.st_ino};
  return true;
}

// Removes the socket file unless another tracer has replaced it meanwhile.
void RemoveOwnSocket(const char *path, const FileIdentity &own) {
  FileIdentity now;
  if (IdentifySocketFile(path, &now) && now.device == own.device && now.inode == own.inode) {
    unlink(path);
  }
}

}  // namespace

int main(int argc, char **argv) {
  std::string directory = kovra::trace::TracerDirectory();
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if (argument == "--dir" && i + 1 < argc) {
      directory = argv[++i];
    } else if (argument.rfind("--dir=", 0) == 0) {
      directory = argument.substr(6);
    } else {
      std::fprintf(stderr, "kovra-tracer: unknown argument '%s'\n", argv[i]);
      PrintUsage(stderr);
      return 2;
    }
  }

  if (directory.empty()) {
    std::fprintf(stderr,
                 "kovra-tracer: XDG_RUNTIME_DIR is not set, and the library traces only there; "
                 "give --dir DIR\n");
    return 1;
  }
  sockaddr_un address;
  if (!MakeAddress(directory, &address)) {
    std::fprintf(stderr, "kovra-tracer: the socket path in '%s' is empty or too long\n",
                 directory.c_str());
    return 1;
  }

  // Block the stop signals outside the wait (see ReceiveLoop); a closed stdout pipe shows up as
  // a write error instead of killing the tracer before it removes its socket.
  sigset_t stop_signals, wait_mask;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop_signals, &wait_mask);
  sigdelset(&wait_mask, SIGINT);
  sigdelset(&wait_mask, SIGTERM);
  struct sigaction stop {};
  stop.sa_handler = RequestStop;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  const int fd = BindTracerSocket(address);
  if (fd < 0) return 1;
  FileIdentity own;
  const bool identified = IdentifySocketFile(address.sun_path, &own);
  const int exit_code = ReceiveLoop(fd, wait_mask);
  if (identified) RemoveOwnSocket(address.sun_path, own);
  close(fd);
  return exit_code;
}
