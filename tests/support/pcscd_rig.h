// A pcsc-lite daemon of a test's own, with the simulator's card behind vsmartcard's virtual
// reader driver (vpcd), so that tests reach a simulated DESFire card through the real PC/SC stack:
//
//   test process --(PCSCLITE_CSOCK_NAME)--> pcscd --vpcd driver, TCP 35963--> kovra-sim --vpcd
//
// Nothing of the machine's own smart-card service is used or touched. The daemon of this
// version has its socket and pid file at fixed paths under /run/pcscd and removes them when it
// ends, so it runs in a mount namespace of its own in which /run is a fresh tmpfs and /run/pcscd
// is this process's folder under /tmp: its socket appears there, the client library is pointed
// at it through PCSCLITE_CSOCK_NAME, and the machine's /run/pcscd stays as it was. The daemon
// and the simulator also share a network namespace of their own holding only loopback: the vpcd
// driver listens on every address of its namespace, which is thus loopback only, and its port
// (the driver's default) is free in every test.
//
// The client library reads PCSCLITE_CSOCK_NAME once per process, so the socket's folder is one
// per test process (/tmp/kovra-pcscd-<pid>), and each rig's daemon takes it in turn; rigs must
// therefore not overlap in one process. Everything else (reader configuration, logs) lives in a
// temporary folder of the rig's own, removed at the end.
//
// The namespaces need root (CAP_SYS_ADMIN). Missing() names what is missing (pcscd, the vpcd
// driver, the privilege, tried in a child process) in one line for GTEST_SKIP.
//
// Every wait is bounded: the daemon's socket, the simulator's start line, stopping (SIGTERM,
// then SIGKILL after a grace time).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace kovra_test {

struct PcscdRigOptions {
  // The kovra-sim program; empty: no simulator is started (a test starts its own card).
  std::string sim_program;
  // More arguments for the simulator after --vpcd and --control (a card: --card desfire).
  std::vector<std::string> sim_arguments;
  // FRIENDLYNAME of the reader; the daemon names the driver's first slot "<name> 00 00".
  std::string friendly_name = "KV Sim PCD";
  // How long the daemon may take to open its socket, and the simulator to start.
  std::chrono::milliseconds start_timeout{10000};
};

class PcscdRig {
 public:
  // The vpcd driver's port: in the rig's own network namespace it is always free.
  static constexpr unsigned kVpcdPort = 35963;

  explicit PcscdRig(PcscdRigOptions options);
  // Stops the simulator and the daemon (bounded), removes the temporary folder.
  ~PcscdRig();
  PcscdRig(const PcscdRig &) = delete;
  PcscdRig &operator=(const PcscdRig &) = delete;

  // Empty when this machine can run the rig; otherwise one line naming what is missing (for
  // GTEST_SKIP): pcscd, the vpcd driver, the privilege for the namespaces.
  static std::string Missing();

  // Creates the namespaces, starts the daemon and, if a program was given, the simulator.
  // Sets PCSCLITE_CSOCK_NAME in this process's environment (children inherit it). False with
  // the reason in `error`.
  bool Start(std::string *error);

  // Stops the daemon (SIGTERM, bounded) and leaves the simulator running: a lost link.
  void StopDaemon();
  // Starts the daemon again in the same network namespace (the simulator reconnects to it).
  bool RestartDaemon(std::string *error);
  bool DaemonRunning() const { return daemon_ > 0; }

  // The name the daemon lists the simulator's slot under ("<friendly name> 00 00").
  std::string ReaderName() const;
  // The daemon's socket (PCSCLITE_CSOCK_NAME).
  const std::string &SocketPath() const { return socket_path_; }
  // "127.0.0.1:35963": what --vpcd takes inside the rig's network namespace.
  static std::string VpcdAddress();

  // Sends one line to the simulator's control socket and returns its answer line ("" when no
  // simulator runs or it did not answer in 5 s).
  std::string SimControl(const std::string &command) const;
  // Starts a further program in the rig's network namespace (a second simulator, say), with
  // stdout to `stdout_path` (empty: /dev/null); its process id, or -1 with `error` set.
  pid_t SpawnInNamespace(const std::vector<std::string> &argv, const std::string &stdout_path,
                         std::string *error) const;
  // The daemon's log so far (its stdout and stderr), for failure messages.
  std::string DaemonLog() const;

 private:
  bool MakeNetNamespace(std::string *error);
  bool StartDaemon(std::string *error);
  bool StartSim(std::string *error);

  PcscdRigOptions options_;
  std::string folder_;       // the rig's own temporary folder
  std::string ipc_folder_;   // /tmp/kovra-pcscd-<pid>: becomes /run/pcscd in the daemon's view
  std::string socket_path_;  // ipc_folder_/pcscd.comm
  std::string control_path_;
  int net_namespace_ = -1;  // kept open: the namespace outlives a daemon that is restarted
  pid_t daemon_ = -1;
  pid_t sim_ = -1;
};

// Sends SIGTERM to `pid`, waits up to `grace` for it to end, then SIGKILL and waits for it.
// Nothing for pid <= 0.
void StopProcess(pid_t pid, std::chrono::milliseconds grace);

}  // namespace kovra_test
