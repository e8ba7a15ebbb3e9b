// The card in a SimReader's field served as a virtual card to vsmartcard's virtual reader
// driver (vpcd), so that a pcsc-lite daemon shows it in a PC/SC contactless reader: the card
// connects to the driver's TCP port and answers its messages (vpcd_framing.h) as the reader's
// slot (contactless_slot.h).
//
// The driver counts a card as present while one is connected and answers its ATR requests, so
// the field is mirrored by the connection: a card in the field connects, a card that leaves it
// (removed by hand or by the remove-after fault, a fed card whose time is up, a card replaced by
// another) closes the connection, after the answer that took it away; a new card connects anew,
// so that the daemon sees the old card go and the new one come. The card resets its connection
// (RST) rather than closing it in order, so that a command sent to a card that has gone fails.
// The driver hands an end while it waits for an answer to its host as a success with no bytes
// (no status word): a host must take a response without one as failed.
//
// Faults: while the reader is silent the card answers nothing; a reader gives up on a mute card
// after its waiting time, and the driver, which waits for an answer without a bound of its own,
// would hold the daemon's reader for good, so the card closes the connection `mute_timeout`
// after the first message left unanswered and stays away while the silence lasts (a mute card is
// not detected). A stream the card cannot parse closes the connection as well (with a line on
// stderr).
//
// When the driver's port is not there (the daemon not yet started, or restarted) the card tries
// again after a pause that doubles from `min_backoff` up to `max_backoff`.
//
// One thread; every wait in it is bounded. The field is used under the reader's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "sim/ipv4.h"
#include "sim/reader.h"
#include "sim/vpcd_framing.h"
#include "sim/wake_event.h"

namespace kovra_sim {

struct VpcdCardConfig {
  static constexpr uint16_t kDefaultPort = 35963;  // the driver's default
  Ipv4 address = {127, 0, 0, 1};
  uint16_t port = kDefaultPort;
  std::chrono::milliseconds min_backoff{50};
  std::chrono::milliseconds max_backoff{1000};
  // How long a silent card holds a message unanswered before it goes.
  std::chrono::milliseconds mute_timeout{1000};
  // How often the field is looked at for a card that came or went.
  std::chrono::milliseconds watch_interval{20};
  // Sending an answer and connecting give up after this long.
  std::chrono::milliseconds io_timeout{2000};
};

// "127.0.0.1:35963" or "127.0.0.1" (the default port); false when it is not an IPv4 address
// and a port 1..65535.
bool ParseVpcdAddress(const std::string &text, Ipv4 *address, uint16_t *port);

struct VpcdCardStatus {
  bool connected = false;
  uint64_t connections = 0;  // connections made so far
  uint64_t apdus = 0;        // command APDUs answered
  uint64_t controls = 0;     // control messages taken
  std::string last_close;    // why the last connection ended; empty before that
};

class VpcdCard {
 public:
  // `reader` must outlive the card.
  VpcdCard(SimReader &reader, VpcdCardConfig config);
  ~VpcdCard();  // Stop()
  VpcdCard(const VpcdCard &) = delete;
  VpcdCard &operator=(const VpcdCard &) = delete;

  // Starts the thread; false with a text in `error` when it cannot. Only once.
  bool Start(std::string *error);
  // Closes the connection and ends the thread. Safe to call more than once.
  void Stop();
  VpcdCardStatus Status() const;
  const VpcdCardConfig &Config() const { return config_; }

 private:
  void Run();
  bool Connect();
  void Close(const std::string &why);
  // Reads what the driver sent and answers it; false when the connection ended.
  bool Serve();
  bool Answer(const VpcdMessage &message);
  bool Send(const Bytes &payload);
  // The card the connection stands for is still the one in the field, and the silence has not
  // outlasted the mute timeout; otherwise the connection is closed.
  void CheckCard();
  // Waits up to `timeout` for the fd (or only the wake event when fd < 0); true when it is
  // readable.
  bool WaitReadable(int fd, std::chrono::milliseconds timeout);

  SimReader &reader_;
  const VpcdCardConfig config_;
  std::thread thread_;
  WakeEvent wake_;
  std::atomic<bool> stopping_{false};
  bool started_ = false;

  // The thread's own state.
  int fd_ = -1;
  uint64_t presence_ = 0;  // the field's PresenceId of the card the connection stands for
  VpcdFramer framer_;
  std::optional<std::chrono::steady_clock::time_point> unanswered_since_;
  std::chrono::milliseconds backoff_{0};

  mutable std::mutex status_mutex_;
  VpcdCardStatus status_;
};

}  // namespace kovra_sim
