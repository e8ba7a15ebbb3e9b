// kovra-sim started as its own process, as a person or a script starts it: it prints the path of
// its pseudo-terminal, which the library opens like a serial reader, and it is steered through
// its control socket. Header-only, so benchmarks can use it without the test support library.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern char **environ;

namespace kovra_test {

class SimProcess {
 public:
  // Starts `program` with `arguments` and a private control socket; waits for its "pty:" line
  // (with --lan its "lan:" line).
  SimProcess(const char *program, std::vector<std::string> arguments) {
    control_ = "/tmp/kovra-sim-test-" + std::to_string(getpid()) + "-" +
               std::to_string(counter_++) + ".ctl";
    arguments.insert(arguments.begin(), {program, "--control", control_});
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (posix_spawn(&pid_, program, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    output_ = fdopen(out[0], "r");
    char line[256];
    for (int i = 0; i < 2 && output_ && fgets(line, sizeof line, output_); ++i) {
      std::string text(line);
      if (!text.empty() && text.back() == '\n') text.pop_back();
      if (text.rfind("pty: ", 0) == 0) pty_ = text.substr(5);
      if (text.rfind("lan: ", 0) == 0) lan_ = text.substr(5);
    }
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (output_) fclose(output_);
  }
  SimProcess(const SimProcess &) = delete;
  SimProcess &operator=(const SimProcess &) = delete;

  // The slave path of its pseudo-terminal; empty when it did not start.
  const std::string &pty() const { return pty_; }
  // With --lan: where it serves, "ADDRESS-PORT"; empty otherwise.
  const std::string &lan() const { return lan_; }

  // Sends one control line and returns the answer line.
  std::string Control(const std::string &command) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, control_.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
      close(fd);
      return "connect failed";
    }
    const std::string line = command + "\n";
    std::string answer;
    if (write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
      timeval timeout{5, 0};
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      char c;
      while (read(fd, &c, 1) == 1 && c != '\n') answer += c;
    }
    close(fd);
    return answer;
  }

  // Waits for the program to end; its exit status, or -1.
  int Wait() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  static inline int counter_ = 0;
  pid_t pid_ = -1;
  FILE *output_ = nullptr;
  std::string pty_;
  std::string lan_;
  std::string control_;
};

}  // namespace kovra_test
