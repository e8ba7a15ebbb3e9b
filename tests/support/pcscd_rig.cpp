#include "support/pcscd_rig.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

extern char **environ;

namespace kovra_test {
namespace {

constexpr const char *kVpcdDriver = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";
constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr auto kStopGrace = std::chrono::milliseconds(3000);

std::string ErrnoText(const std::string &what, int error) {
  return what + ": " + std::strerror(error);
}

std::string FindPcscd() {
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  path += ":/usr/sbin:/sbin";
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    const std::string candidate = dir + "/pcscd";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// Brings the loopback interface of the calling thread's network namespace up.
bool LoopbackUp(std::string *error) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = ErrnoText("socket", errno);
    return false;
  }
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  if (ok) {
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
    ok = ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  }
  if (!ok) *error = ErrnoText("bringing loopback up", errno);
  ::close(fd);
  return ok;
}

// What a forked child reports through its close-on-exec pipe when a step before exec fails:
// the step's number and errno. Nothing arrives when exec succeeded.
struct ChildFailure {
  int step = 0;
  int error = 0;
};

[[noreturn]] void ChildFail(int pipe_fd, int step) {
  const ChildFailure failure{step, errno};
  [[maybe_unused]] const ssize_t n = ::write(pipe_fd, &failure, sizeof failure);
  ::_exit(127);
}

// Reads the child's report; true when exec succeeded (the pipe closed empty).
bool ExecSucceeded(int pipe_fd, const char *const *steps, std::string *error) {
  ChildFailure failure;
  ssize_t n;
  do {
    n = ::read(pipe_fd, &failure, sizeof failure);
  } while (n < 0 && errno == EINTR);
  ::close(pipe_fd);
  if (n != static_cast<ssize_t>(sizeof failure)) return true;
  *error = ErrnoText(steps[failure.step], failure.error);
  return false;
}

std::vector<char *> Argv(std::vector<std::string> &arguments) {
  std::vector<char *> argv;
  for (std::string &argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return argv;
}

std::string ReadFile(const std::string &path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool SocketAnswers(const std::string &path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

bool Exited(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

void StopProcess(pid_t pid, std::chrono::milliseconds grace) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Exited(pid)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);  // SIGKILL cannot be caught: the wait ends
}

PcscdRig::PcscdRig(PcscdRigOptions options) : options_(std::move(options)) {
  const std::filesystem::path tmp = std::filesystem::temp_directory_path();
  ipc_folder_ = (tmp / ("kovra-pcscd-" + std::to_string(::getpid()))).string();
  socket_path_ = ipc_folder_ + "/pcscd.comm";
  std::string pattern = (tmp / "kovra-pcscd-rig-XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) folder_ = pattern;
  control_path_ = folder_ + "/sim.ctl";
}

PcscdRig::~PcscdRig() {
  StopProcess(sim_, kStopGrace);
  StopDaemon();
  if (net_namespace_ >= 0) ::close(net_namespace_);
  ::rmdir(ipc_folder_.c_str());  // empty once the daemon has gone; the next rig makes it again
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::string PcscdRig::Missing() {
  if (FindPcscd().empty()) return "pcscd is not installed (Debian package pcscd)";
  if (::access(kVpcdDriver, R_OK) != 0) {
    return std::string("the vpcd driver ") + kVpcdDriver +
           " is missing (Debian package vsmartcard-vpcd)";
  }
  // Tried in a child, which ends with it: root alone is not enough in a container without
  // CAP_SYS_ADMIN.
  const pid_t probe = ::fork();
  if (probe == 0) {
    const bool made = ::unshare(CLONE_NEWNS | CLONE_NEWNET) == 0 &&
                      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    ::_exit(made ? 0 : 1);
  }
  int status = 0;
  if (probe < 0 || ::waitpid(probe, &status, 0) != probe || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    return "the pcscd rig cannot make its own mount and network namespace (it needs root with "
           "CAP_SYS_ADMIN)";
  }
  return {};
}

std::string PcscdRig::VpcdAddress() {
  return "127.0.0.1:" + std::to_string(kVpcdPort);
}

std::string PcscdRig::ReaderName() const {
  return options_.friendly_name + " 00 00";
}

std::string PcscdRig::DaemonLog() const {
  return ReadFile(folder_ + "/pcscd.log");
}

bool PcscdRig::Start(std::string *error) {
  if (folder_.empty()) {
    *error = "cannot make a temporary folder";
    return false;
  }
  std::error_code failure;
  std::filesystem::create_directories(ipc_folder_, failure);
  std::filesystem::create_directories(folder_ + "/reader.conf.d", failure);
  if (failure) {
    *error = "cannot make " + ipc_folder_ + ": " + failure.message();
    return false;
  }
  {
    // The vpcd driver reads its port from behind the colon of DEVICENAME; /dev/null before it
    // makes it listen (instead of connecting out).
    std::ofstream conf(folder_ + "/reader.conf.d/kovra-vpcd");
    conf << "FRIENDLYNAME \"" << options_.friendly_name << "\"\n"
         << "DEVICENAME /dev/null:" << kVpcdPort << "\n"
         << "LIBPATH " << kVpcdDriver << "\n";
    if (!conf) {
      *error = "cannot write the reader configuration in " + folder_;
      return false;
    }
  }
  // Set before any client library call of this process: the library reads it once.
  ::setenv("PCSCLITE_CSOCK_NAME", socket_path_.c_str(), 1);
  if (!MakeNetNamespace(error) || !StartDaemon(error)) return false;
  return options_.sim_program.empty() || StartSim(error);
}

bool PcscdRig::MakeNetNamespace(std::string *error) {
  // unshare(CLONE_NEWNET) moves only the calling thread; it is moved back at once and the new
  // namespace is kept by its descriptor.
  const int original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  if (original < 0) {
    *error = ErrnoText("open /proc/thread-self/ns/net", errno);
    return false;
  }
  bool ok = ::unshare(CLONE_NEWNET) == 0;
  if (!ok) *error = ErrnoText("unshare(CLONE_NEWNET)", errno);
  if (ok && LoopbackUp(error)) {
    net_namespace_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (net_namespace_ < 0) *error = ErrnoText("open the new network namespace", errno);
  }
  if (ok && ::setns(original, CLONE_NEWNET) != 0) {
    // The thread cannot go back: nothing it does later would be where the test expects.
    std::perror("pcscd rig: setns back to the test's network namespace");
    std::abort();
  }
  ::close(original);
  return net_namespace_ >= 0;
}

bool PcscdRig::StartDaemon(std::string *error) {
  const std::string pcscd = FindPcscd();
  std::vector<std::string> arguments = {pcscd, "--foreground", "--info", "--config",
                                        folder_ + "/reader.conf.d"};
  std::vector<char *> argv = Argv(arguments);
  const std::string log_path = folder_ + "/pcscd.log";
  const int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  // The socket folder is opened in the child's own mount namespace (a bind mount takes its source
  // only from there), before /run is covered, and bound from this descriptor number: /tmp may
  // itself lie under /run.
  constexpr int kIpcFd = 100;
  const std::string ipc_source = "/proc/self/fd/" + std::to_string(kIpcFd);
  int report[2];
  if (log < 0 || null < 0 || ::pipe2(report, O_CLOEXEC) != 0) {
    *error = ErrnoText("preparing pcscd's start", errno);
    for (const int fd : {log, null}) {
      if (fd >= 0) ::close(fd);
    }
    return false;
  }
  static const char *const kSteps[] = {"setns into the rig's network namespace",
                                       "unshare(CLONE_NEWNS)",
                                       "making the mounts private",
                                       "mounting a tmpfs on /run",
                                       "mkdir /run/pcscd",
                                       "binding the socket folder on /run/pcscd",
                                       "redirecting pcscd's output",
                                       "exec pcscd"};
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only system calls from here to exec: the test process may have threads.
    if (::setns(net_namespace_, CLONE_NEWNET) != 0) ChildFail(report[1], 0);
    if (::unshare(CLONE_NEWNS) != 0) ChildFail(report[1], 1);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ChildFail(report[1], 2);
    const int ipc = ::open(ipc_folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (ipc < 0 || ::dup2(ipc, kIpcFd) < 0 || ::fcntl(kIpcFd, F_SETFD, FD_CLOEXEC) != 0) {
      ChildFail(report[1], 3);
    }
    if (::mount("kovra-pcscd", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0) {
      ChildFail(report[1], 4);
    }
    if (::mkdir("/run/pcscd", 0755) != 0) ChildFail(report[1], 5);
    if (::mount(ipc_source.c_str(), "/run/pcscd", nullptr, MS_BIND, nullptr) != 0) {
      ChildFail(report[1], 6);
    }
    // The machine's USB readers stay the machine's: the daemon's hotplug finds none to open.
    ::mount("kovra-pcscd-usb", "/dev/bus/usb", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755");
    if (::dup2(null, STDIN_FILENO) < 0 || ::dup2(log, STDOUT_FILENO) < 0 ||
        ::dup2(log, STDERR_FILENO) < 0) {
      ChildFail(report[1], 7);
    }
    ::execve(argv[0], argv.data(), environ);
    ChildFail(report[1], 8);
  }
  ::close(report[1]);
  ::close(log);
  ::close(null);
  if (pid < 0) {
    ::close(report[0]);
    *error = ErrnoText("fork", errno);
    return false;
  }
  daemon_ = pid;
  if (!ExecSucceeded(report[0], kSteps, error)) {
    StopProcess(daemon_, kStopGrace);
    daemon_ = -1;
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + options_.start_timeout;
  while (!SocketAnswers(socket_path_)) {
    if (Exited(daemon_)) {
      daemon_ = -1;
      *error = "pcscd ended at its start:\n" + DaemonLog();
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      *error = "pcscd did not open " + socket_path_ + " in time:\n" + DaemonLog();
      return false;
    }
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

void PcscdRig::StopDaemon() {
  StopProcess(daemon_, kStopGrace);
  daemon_ = -1;
}

bool PcscdRig::RestartDaemon(std::string *error) {
  StopDaemon();
  return StartDaemon(error);
}

pid_t PcscdRig::SpawnInNamespace(const std::vector<std::string> &argv_in,
                                 const std::string &stdout_path, std::string *error) const {
  std::vector<std::string> arguments = argv_in;
  std::vector<char *> argv = Argv(arguments);
  const int out = ::open(stdout_path.empty() ? "/dev/null" : stdout_path.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  int report[2];
  if (out < 0 || null < 0 || ::pipe2(report, O_CLOEXEC) != 0) {
    *error = ErrnoText("preparing " + argv_in.front() + "'s start", errno);
    for (const int fd : {out, null}) {
      if (fd >= 0) ::close(fd);
    }
    return -1;
  }
  static const char *const kSteps[] = {"setns into the rig's network namespace",
                                       "redirecting the program's output", "exec"};
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setns(net_namespace_, CLONE_NEWNET) != 0) ChildFail(report[1], 0);
    if (::dup2(null, STDIN_FILENO) < 0 || ::dup2(out, STDOUT_FILENO) < 0) ChildFail(report[1], 1);
    ::execve(argv[0], argv.data(), environ);
    ChildFail(report[1], 2);
  }
  ::close(report[1]);
  ::close(out);
  ::close(null);
  if (pid < 0) {
    ::close(report[0]);
    *error = ErrnoText("fork", errno);
    return -1;
  }
  if (!ExecSucceeded(report[0], kSteps, error)) {
    StopProcess(pid, kStopGrace);
    return -1;
  }
  return pid;
}

bool PcscdRig::StartSim(std::string *error) {
  std::vector<std::string> arguments = {options_.sim_program, "--vpcd", VpcdAddress(), "--control",
                                        control_path_};
  arguments.insert(arguments.end(), options_.sim_arguments.begin(), options_.sim_arguments.end());
  const std::string out_path = folder_ + "/sim.out";
  sim_ = SpawnInNamespace(arguments, out_path, error);
  if (sim_ < 0) return false;
  // Its two start lines ("vpcd: ...", "control: ...") say that it serves.
  const auto deadline = std::chrono::steady_clock::now() + options_.start_timeout;
  for (;;) {
    const std::string out = ReadFile(out_path);
    if (out.find("control: ") != std::string::npos && out.back() == '\n') return true;
    if (Exited(sim_)) {
      sim_ = -1;
      *error = "kovra-sim ended at its start: " + out;
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      *error = "kovra-sim did not start in time: " + out;
      return false;
    }
    std::this_thread::sleep_for(kPoll);
  }
}

std::string PcscdRig::SimControl(const std::string &command) const {
  if (sim_ <= 0) return {};
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, control_path_.c_str(), sizeof address.sun_path - 1);
  std::string answer;
  if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    const std::string line = command + "\n";
    if (::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
      char c;
      while (::read(fd, &c, 1) == 1 && c != '\n') answer += c;
    }
  }
  ::close(fd);
  return answer;
}

}  // namespace kovra_test
