// A PostgreSQL server of its own for a test or a benchmark: Debian's PostgreSQL 15 binaries make a
// cluster in a new temporary folder, and the server listens only on a Unix socket in that folder
// (no TCP port; no other cluster is touched). PostgreSQL refuses to run as root, so a test run as
// root makes the folder belong to `nobody` and starts initdb and the server as that user; a test
// run as anyone else runs them as itself. Every wait is bounded; the destructor stops the server
// and removes the folder. Header-only, so benchmarks can use it without the test support library.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kovra_test {

class PostgresServer {
 public:
  static constexpr char kBinaries[] = "/usr/lib/postgresql/15/bin";
  static constexpr char kUser[] = "quillmate";

  // Makes the cluster and starts the server. With `durable` the server writes through to the disk
  // as a production server does (for benchmarks); without it fsync is off, which only matters when
  // the machine, not the server, goes down.
  explicit PostgresServer(bool durable = false) : durable_(durable) {
    for (const char *binary : {"initdb", "postgres", "psql"}) {
      if (access(Binary(binary).c_str(), X_OK) != 0) {
        missing_ = "PostgreSQL 15 server binaries not found (" + Binary(binary) +
                   "); install them with: bash scripts/setup-deps.sh --tests";
        return;
      }
    }
    char name[] = "/tmp/quillmate-pg-XXXXXX";
    if (!mkdtemp(name)) {
      failure_ = "no temporary folder";
      return;
    }
    dir_ = name;
    if (geteuid() == 0) {
      const passwd *nobody = getpwnam("nobody");
      if (!nobody) {
        failure_ = "running as root, but there is no user nobody to run the server as";
        return;
      }
      uid_ = nobody->pw_uid;
      gid_ = nobody->pw_gid;
      if (chown(dir_.c_str(), uid_, gid_) != 0) {
        failure_ = "cannot give " + dir_ + " to nobody";
        return;
      }
    }
    chmod(dir_.c_str(), 0700);
    const int made = RunAsServerUser({Binary("initdb"), "-D", Data(), "-U", kUser, "-A", "trust",
                                      "-E", "UTF8", "--locale=C", "--no-sync"},
                                     dir_ + "/initdb.log", std::chrono::seconds(120));
    if (made != 0) {
      failure_ = "initdb failed: " + Tail(dir_ + "/initdb.log");
      return;
    }
    Start();
  }

  ~PostgresServer() {
    Stop();
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  PostgresServer(const PostgresServer &) = delete;
  PostgresServer &operator=(const PostgresServer &) = delete;

  // Non-empty when the binaries are not installed: the test skips with this line.
  const std::string &Missing() const { return missing_; }
  // Non-empty when the cluster could not be made or the server not started.
  const std::string &Failure() const { return failure_; }
  bool Running() const { return pid_ > 0; }
  // The folder that holds the socket.
  const std::string &Folder() const { return dir_; }

  // The libpq connection string for `database`.
  std::string Conninfo(const std::string &database = "postgres") const {
    return "host=" + dir_ + " user=" + kUser + " dbname=" + database;
  }

  // Starts the server and waits (at most 60 s) until it accepts connections.
  bool Start() {
    if (pid_ > 0) return true;
    failure_.clear();
    std::vector<std::string> arguments = {Binary("postgres"),
                                          "-D",
                                          Data(),
                                          "-k",
                                          dir_,
                                          "-c",
                                          "listen_addresses=",
                                          "-c",
                                          "max_connections=60",
                                          "-c",
                                          "logging_collector=off"};
    if (!durable_) arguments.insert(arguments.end(), {"-c", "fsync=off"});
    pid_ = Spawn(arguments, dir_ + "/server.log");
    if (pid_ <= 0) {
      failure_ = "cannot start postgres";
      return false;
    }
    // postmaster.pid's eighth line turns "ready" once the server accepts connections.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        failure_ = "postgres ended: " + Tail(dir_ + "/server.log");
        return false;
      }
      std::ifstream pid_file(Data() + "/postmaster.pid");
      std::string line;
      for (int i = 0; i < 8 && std::getline(pid_file, line); ++i) {
      }
      if (line.find("ready") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    failure_ = "postgres not ready within 60 s: " + Tail(dir_ + "/server.log");
    Stop();
    return false;
  }

  // Stops the server: a fast shutdown (open connections are ended), or with `crash` an immediate
  // one, as a power cut would leave it. Waits at most 30 s, then kills it.
  void Stop(bool crash = false) {
    if (pid_ <= 0) return;
    kill(pid_, crash ? SIGQUIT : SIGINT);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
  }

  // Runs `sql` with psql in `database` (at most 60 s); its output without headers (fields split
  // by '|', one row a line), or nullopt when it failed.
  std::optional<std::string> Psql(const std::string &sql,
                                  const std::string &database = "postgres") const {
    const std::string output = dir_ + "/psql.out";
    const int status = Run({Binary("psql"), "-X", "-q", "-At", "-v", "ON_ERROR_STOP=1", "-h", dir_,
                            "-U", kUser, "-d", database, "-c", sql},
                           output, std::chrono::seconds(60), false);
    std::ifstream file(output);
    std::stringstream text;
    text << file.rdbuf();
    if (status != 0) return std::nullopt;
    std::string out = text.str();
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }

  // A new empty database.
  bool CreateDatabase(const std::string &name) const {
    return Psql("CREATE DATABASE " + name).has_value();
  }

 private:
  static std::string Binary(const char *name) { return std::string(kBinaries) + "/" + name; }
  std::string Data() const { return dir_ + "/data"; }

  static std::string Tail(const std::string &path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    const std::string all = text.str();
    return all.size() > 600 ? all.substr(all.size() - 600) : all;
  }

  // Starts `arguments` as the server's user with its output in `log`; the process id or -1.
  pid_t Spawn(std::vector<std::string> arguments, const std::string &log,
              bool as_server_user = true) const {
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const bool drop = as_server_user && geteuid() == 0;
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // The child: only calls that are safe between fork and exec.
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (out < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(out, STDERR_FILENO) < 0) _exit(126);
    const int in = open("/dev/null", O_RDONLY);
    if (in >= 0) dup2(in, STDIN_FILENO);
    if (drop && (setgroups(0, nullptr) != 0 || setgid(gid_) != 0 || setuid(uid_) != 0)) _exit(126);
    if (chdir(dir_.c_str()) != 0) _exit(126);
    // The server's own process group: a test's kill of its group does not reach it.
    setpgid(0, 0);
    execv(argv[0], argv.data());
    _exit(127);
  }

  // Runs `arguments` to the end (at most `bound`, then killed): its exit code, or -1.
  int Run(std::vector<std::string> arguments, const std::string &log, std::chrono::seconds bound,
          bool as_server_user) const {
    unlink(log.c_str());
    const pid_t pid = Spawn(std::move(arguments), log, as_server_user);
    if (pid <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int status = 0;
    for (;;) {
      const pid_t ended = waitpid(pid, &status, WNOHANG);
      if (ended == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      if (ended < 0) return -1;
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  int RunAsServerUser(std::vector<std::string> arguments, const std::string &log,
                      std::chrono::seconds bound) const {
    return Run(std::move(arguments), log, bound, true);
  }

  bool durable_ = false;
  std::string missing_;
  std::string failure_;
  std::string dir_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  pid_t pid_ = -1;
};

}  // namespace kovra_test
