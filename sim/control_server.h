// Serves the control language (control.h) on a Unix stream socket, any number of clients one line
// at a time, and optionally on a pair of descriptors such as stdin/stdout. One thread polls the
// listening socket, the clients, the input descriptor and an eventfd that ends it; every command
// runs on that thread, so the interpreter sees one caller at a time.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/control.h"

namespace kovra_sim {

// $XDG_RUNTIME_DIR/kovra-sim-<pid>.ctl, or /tmp/kovra-sim-<pid>.ctl without that variable.
std::string DefaultControlPath();

class ControlServer {
 public:
  static constexpr size_t kMaxClients = 16;

  explicit ControlServer(ControlInterpreter &interpreter);
  ~ControlServer();  // Stop()
  ControlServer(const ControlServer &) = delete;
  ControlServer &operator=(const ControlServer &) = delete;

  // Listens at `path`. A socket left there by an earlier run is replaced; any other file is not
  // touched (false). False with a text in `error` on failure. Call before Start.
  bool Listen(const std::string &path, std::string *error);
  // Also takes commands from `in` and writes the answers to `out` (neither is closed). At the end
  // of the input `on_end` runs on the server's thread; a read error only stops reading `in`.
  // Call before Start.
  void AddStream(int in, int out, std::function<void()> on_end);
  // Starts the thread; false with a text in `error` when it cannot.
  bool Start(std::string *error);
  // Ends the thread after the command it is running, closes the clients and the socket and
  // removes the socket file. Safe to call more than once; not from the server's thread.
  void Stop();

  const std::string &Path() const { return path_; }

 private:
  struct Client {
    int fd = -1;
    LineSplitter lines;
  };
  void Run();
  // Runs the lines of `bytes` and writes each answer to `out`.
  void Serve(LineSplitter &lines, const char *bytes, size_t count, int out, bool socket);
  void Accept();

  ControlInterpreter &interpreter_;
  std::string path_;
  int listen_fd_ = -1;
  int wake_fd_ = -1;
  int in_fd_ = -1;
  int out_fd_ = -1;
  std::function<void()> on_end_;
  LineSplitter in_lines_;
  std::vector<std::unique_ptr<Client>> clients_;
  std::thread thread_;
  bool stopped_ = false;
};

}  // namespace kovra_sim
