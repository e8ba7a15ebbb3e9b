// The kovra-sim program as a person or a script uses it: started with a family, opened by the
// library over the pseudo-terminal it prints, steered through its control socket.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "kovra.h"

extern char **environ;

namespace {

class SimProgram {
 public:
  explicit SimProgram(const std::string &family) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    control_ = "/tmp/kovra-e2e-sim-" + std::to_string(getpid()) + ".ctl";
    std::string family_arg = family;
    char *argv[] = {const_cast<char *>(KOVRA_SIM_PATH),
                    const_cast<char *>("--family"),
                    family_arg.data(),
                    const_cast<char *>("--control"),
                    control_.data(),
                    nullptr};
    if (posix_spawn(&pid_, KOVRA_SIM_PATH, &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    output_ = fdopen(out[0], "r");
    char line[256];
    for (int i = 0; i < 2 && output_ && fgets(line, sizeof line, output_); ++i) {
      std::string text(line);
      if (!text.empty() && text.back() == '\n') text.pop_back();
      if (text.rfind("pty: ", 0) == 0) pty_ = text.substr(5);
    }
  }
  ~SimProgram() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (output_) fclose(output_);
  }

  const std::string &pty() const { return pty_; }

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
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "";
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string answer;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') answer += c;
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
  pid_t pid_ = -1;
  FILE *output_ = nullptr;
  std::string pty_;
  std::string control_;
};

TEST(SimProgramE2E, ServesAFamily2ReaderAndAnswersItsControlSocket) {
  SimProgram sim("2");
  ASSERT_FALSE(sim.pty().empty()) << "kovra-sim printed no pty line";
  const int handle = KOVRA_OpenPort(sim.pty().c_str(), 19200, 500);
  ASSERT_GT(handle, 0);
  unsigned char version[4];
  EXPECT_EQ(KOVRA_GetVersion(handle, version, sizeof version), 4);
  EXPECT_EQ(version[0], '1');

  EXPECT_EQ(sim.Control("place classic1k uid=A1B2C3D4").rfind("ok", 0), 0u);
  unsigned char uid[8];
  unsigned char sak = 0;
  EXPECT_EQ(KOVRA_SetRfField(handle, 1), 0);
  EXPECT_EQ(KOVRA_Select(handle, uid, sizeof uid, &sak), 4);
  EXPECT_EQ(sak, 0x08);
  const std::string state = sim.Control("state");
  EXPECT_NE(state.find("A1B2C3D4"), std::string::npos) << state;
  EXPECT_EQ(sim.Control("no-such-command").rfind("error:", 0), 0u);

  EXPECT_EQ(KOVRA_ClosePort(handle), 0);
  EXPECT_EQ(sim.Control("quit").rfind("ok", 0), 0u);
  EXPECT_EQ(sim.Wait(), 0);
}

}  // namespace
