// Serves the control language (control.h) on a Unix stream socket, any number of clients one line
// at a time, and optionally on a pair of descriptors such as stdin/stdout.
#include "sim/control_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace kovra_sim {
namespace {

constexpr int kPollMs = 500;  // the eventfd ends the wait; this only bounds it
constexpr size_t kReadChunk = 4096;
// A client that does not read its answers is cut off after this long instead of stalling the
// control thread.
constexpr int kSendTimeoutSeconds = 2;

std::string ErrnoText(const std::string &what) {
  return what + ": " + std::strerror(errno);
}

// Writes all bytes unless the descriptor fails; gives up quietly (the peer went away).
void WriteAll(int fd, const std::string &text, bool socket) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = socket ? ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL)
                             : ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::string DefaultControlPath() {
  const char *runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string directory = runtime && *runtime ? runtime : "/tmp";
  return directory + "/kovra-sim-" + std::to_string(::getpid()) + ".ctl";
}

ControlServer::ControlServer(ControlInterpreter &interpreter) : interpreter_(interpreter) {}

ControlServer::~ControlServer() {
  Stop();
}

bool ControlServer::Listen(const std::string &path, std::string *error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) {
    if (error)
      *error = "control socket path empty or longer than " +
               std::to_string(sizeof(address.sun_path) - 1) + " bytes: " + path;
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode)) {
      if (error) *error = "not a socket, left alone: " + path;
      return false;
    }
    ::unlink(path.c_str());  // left behind by an earlier run
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (error) *error = ErrnoText("socket");
    return false;
  }
  if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0 ||
      ::listen(fd, 8) != 0) {
    if (error) *error = ErrnoText("bind/listen " + path);
    ::close(fd);
    return false;
  }
  listen_fd_ = fd;
  path_ = path;
  return true;
}

void ControlServer::AddStream(int in, int out, std::function<void()> on_end) {
  in_fd_ = in;
  out_fd_ = out;
  on_end_ = std::move(on_end);
}

bool ControlServer::Start(std::string *error) {
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) {
    if (error) *error = ErrnoText("eventfd");
    return false;
  }
  thread_ = std::thread(&ControlServer::Run, this);
  return true;
}

void ControlServer::Stop() {
  if (stopped_) return;
  stopped_ = true;
  if (thread_.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof(one));
    thread_.join();
  }
  for (const auto &client : clients_) ::close(client->fd);
  clients_.clear();
  if (listen_fd_ >= 0) {
    ::close(listen_fd_);
    listen_fd_ = -1;
    ::unlink(path_.c_str());
  }
  if (wake_fd_ >= 0) {
    ::close(wake_fd_);
    wake_fd_ = -1;
  }
}

void ControlServer::Accept() {
  const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  if (clients_.size() >= kMaxClients) {
    WriteAll(fd, "error: too many control clients\n", true);
    ::close(fd);
    return;
  }
  const timeval timeout{kSendTimeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
  auto client = std::make_unique<Client>();
  client->fd = fd;
  clients_.push_back(std::move(client));
}

void ControlServer::Serve(LineSplitter &lines, const char *bytes, size_t count, int out,
                          bool socket) {
  lines.Feed(bytes, count, [&](std::string_view line, bool too_long) {
    const std::string answer =
        too_long ? ControlInterpreter::TooLongAnswer() : interpreter_.Execute(line);
    if (!answer.empty()) WriteAll(out, answer + "\n", socket);
  });
}

void ControlServer::Run() {
  char buffer[kReadChunk];
  for (;;) {
    std::vector<pollfd> fds;
    fds.push_back({wake_fd_, POLLIN, 0});
    const size_t fixed = 3;
    fds.push_back({listen_fd_, POLLIN, 0});  // a negative descriptor is skipped by poll
    fds.push_back({in_fd_, POLLIN, 0});
    for (const auto &client : clients_) fds.push_back({client->fd, POLLIN, 0});

    const int ready = ::poll(fds.data(), fds.size(), kPollMs);
    if (ready < 0 && errno != EINTR) return;
    if (ready <= 0) continue;
    if (fds[0].revents != 0) return;  // Stop()
    if (fds[1].revents & POLLIN) Accept();
    if (fds[2].revents != 0) {
      const ssize_t n = ::read(in_fd_, buffer, sizeof(buffer));
      if (n > 0) {
        Serve(in_lines_, buffer, static_cast<size_t>(n), out_fd_, false);
      } else if (n == 0) {
        in_fd_ = -1;  // end of input: stop reading it
        if (on_end_) on_end_();
      } else if (errno != EINTR && errno != EAGAIN) {
        in_fd_ = -1;  // a terminal we lost (EIO in the background): serve on without it
      }
    }
    // Clients accepted in this pass have no entry in fds yet.
    const size_t polled = fds.size() - fixed;
    for (size_t i = polled; i-- > 0;) {
      if (fds[fixed + i].revents == 0) continue;
      Client &client = *clients_[i];
      const ssize_t n = ::recv(client.fd, buffer, sizeof(buffer), 0);
      if (n > 0) {
        Serve(client.lines, buffer, static_cast<size_t>(n), client.fd, true);
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        ::close(client.fd);
        clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
}

}  // namespace kovra_sim
