// quillmate-cli run as a script runs it: a child process with its exit code, stdout and stderr,
// and a private settings folder. Header-only, for tests and benchmarks.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

extern char **environ;

namespace kovra_test {

struct CliRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

inline std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(fd);
  return text;
}

// Runs `program` with `arguments`; stderr goes to a file so that neither pipe can fill up.
inline CliRun RunProgram(const char *program, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), program);
  std::vector<char *> argv;
  for (std::string &argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  FILE *err = tmpfile();
  int out[2];
  CliRun run;
  if (!err || pipe(out) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fileno(err), STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = -1;
  const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  run.out = ReadAll(out[0]);
  int status = 0;
  if (spawned && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    run.exit_code = WEXITSTATUS(status);
  }
  rewind(err);
  run.err = ReadAll(dup(fileno(err)));
  fclose(err);
  return run;
}

// Starts `program` in the background with its output sent to `output` (a file path); the
// process id, or -1.
inline pid_t StartProgram(const char *program, std::vector<std::string> arguments,
                          const std::string &output = "/dev/null") {
  arguments.insert(arguments.begin(), program);
  std::vector<char *> argv;
  for (std::string &argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Sends `signal_number` to a process of StartProgram and waits for it: its exit code, or -1 when
// the signal killed it.
inline int StopProgram(pid_t pid, int signal_number) {
  if (pid <= 0) return -1;
  kill(pid, signal_number);
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Waits at most `timeout_ms` for a process of StartProgram to end: its exit code, -1 when a
// signal killed it, -2 when it was still running (it is then killed with SIGKILL).
inline int WaitProgram(pid_t pid, int timeout_ms) {
  if (pid <= 0) return -1;
  for (int waited = 0;; waited += 20) {
    int status = 0;
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (ended < 0) return -1;
    if (waited >= timeout_ms) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -2;
    }
    usleep(20000);
  }
}

// Runs `program` on a pseudo-terminal, as an operator at a terminal would: `input` is typed after
// the program's first output (its question). What it wrote to the terminal comes back as `out`.
inline CliRun RunProgramOnTerminal(const char *program, std::vector<std::string> arguments,
                                   const std::string &input) {
  arguments.insert(arguments.begin(), program);
  std::vector<char *> argv;
  for (std::string &argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  CliRun run;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return run;
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  bool typed = false;
  char buffer[4096];
  for (;;) {
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 20000) <= 0) break;
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // the program closed the terminal
    run.out.append(buffer, static_cast<size_t>(n));
    if (!typed) {
      typed = true;
      if (write(master, input.data(), input.size()) < 0) break;
    }
  }
  close(master);
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  return run;
}

#ifdef QUILLMATE_CLI_PATH
inline CliRun RunCliOnTerminal(std::vector<std::string> arguments, const std::string &input) {
  return RunProgramOnTerminal(QUILLMATE_CLI_PATH, std::move(arguments), input);
}
inline CliRun RunCli(std::vector<std::string> arguments) {
  return RunProgram(QUILLMATE_CLI_PATH, std::move(arguments));
}
// Runs quillmate-cli with `input` as its standard input, given as a file (as `< FILE` gives it).
inline CliRun RunCliWithInput(std::vector<std::string> arguments, const std::string &input) {
  FILE *file = tmpfile();
  if (!file) return {};
  fwrite(input.data(), 1, input.size(), file);
  fflush(file);
  rewind(file);
  const int saved = dup(STDIN_FILENO);
  dup2(fileno(file), STDIN_FILENO);
  CliRun run = RunCli(std::move(arguments));
  dup2(saved, STDIN_FILENO);
  close(saved);
  fclose(file);
  return run;
}
inline pid_t StartCli(std::vector<std::string> arguments, const std::string &output = "/dev/null") {
  return StartProgram(QUILLMATE_CLI_PATH, std::move(arguments), output);
}
#endif

// A private settings folder, removed afterwards.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/quillmate-cli-test-XXXXXX";
    if (mkdtemp(name)) path_ = name;
  }
  ~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace kovra_test
