// CPcscLink: the link of a reader port on a PC/SC reader (a CCID reader served by pcscd),
// through the PC/SC client library loaded at run time (pcsc_binding.h).
//
// A PC/SC reader has none of the maker's frames: it activates the card itself and passes ISO
// 7816-4 commands to it. So the link answers the reader's commands itself (CommandLink): the RF
// field, request, select, RATS and PPS become connecting to the card and reading what the reader
// tells about it, and the reader's exchange of a DESFire native frame goes as the wrapped ISO
// 7816-4 command (pcsc_card.h). Every call into the client library runs on the link's own thread
// and is bounded by the port's timeout (at least kMinCallMs), the wait handler called meanwhile.
//
// Share mode: the card is connected exclusively from its activation (request) until the field is
// switched off, the next activation or the port is closed, so no other program can talk to a card
// while it is being written; between cards nothing is held.
//
// A daemon that stopped, or a reader that went away, takes the link down (LinkUp false, the
// handle kept, each command failing at once with KOVRA_ERR_TIMEOUT) until the port is closed and
// opened again.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "reader/transport.h"
#include "transport/pcsc/bounded_calls.h"
#include "transport/pcsc/pcsc_binding.h"
#include "transport/pcsc/pcsc_card.h"

namespace kovra {

class CPcscLink final : public Transport, public CommandLink {
 public:
  // Every call into the client library may take at least this long, whatever the port's timeout:
  // connecting to a card powers it up through the daemon and its driver.
  static constexpr std::chrono::milliseconds kMinCallMs{1000};
  // The version a PC/SC port answers: device type 0x1C1 (a DESFire-capable reader, see
  // device_names.cpp) and firmware revision 0.
  static constexpr char kVersionAnswer[] = "1C10";

  // `api` must outlive the link (the process binding does).
  explicit CPcscLink(PcscApi &api) : api_(api) {}
  ~CPcscLink() override { Close(); }
  CPcscLink(const CPcscLink &) = delete;
  CPcscLink &operator=(const CPcscLink &) = delete;

  // Opens a context with the daemon and checks that the reader `reader` (its PC/SC name, without
  // the "PCSC: " prefix) is there. False, with the link failure recorded (link_failure.h), when
  // PC/SC is not available (KOVRA_LINK_NOT_SUPPORTED), the daemon does not answer or the reader
  // is not there (KOVRA_LINK_NO_DEVICE).
  bool Open(std::string_view reader);

  bool IsOpen() const override { return open_.load(); }
  bool LinkUp() const override { return open_.load() && link_up_.load(); }
  // The port never writes frames to this link (it has Commands).
  void Write(const uint8_t *, size_t) override {}
  CommandLink *Commands() override { return this; }
  // Disconnects from the card (left as it is) and releases the context, each bounded.
  void Close() override;

  int RunCommand(uint8_t code, const uint8_t *data, size_t count, std::vector<uint8_t> &reply,
                 const CommandWait &wait) override;

 private:
  // Connects to the card in the field (exclusive) and reads its ATR. Result: an error code.
  int Activate(const CommandWait &wait);
  int SelectAnswer(const CommandWait &wait, std::vector<uint8_t> &reply);
  int ExchangeNative(const uint8_t *frame, size_t length, const CommandWait &wait,
                     std::vector<uint8_t> &reply);
  // Sends an APDU to the connected card. Result: an error code; `answer` the response APDU.
  int Transmit(const std::vector<uint8_t> &apdu, const CommandWait &wait,
               std::vector<uint8_t> &answer);
  // A connect abandoned at its bound may still connect a card afterwards: once it has ended, the
  // card it connected is left here, so that no handle holds a card exclusively unseen.
  void LeaveAbandonedConnect(const CommandWait &wait);
  // Leaves the card (SCardDisconnect with `disposition`), bounded.
  void Disconnect(pcsc::Dword disposition, const CommandWait &wait);
  // The error code for a failed call's PC/SC result; takes the link down when the daemon or the
  // reader went away, and forgets the card when it left.
  int ErrorFor(pcsc::Long result);
  std::chrono::milliseconds Bound(const CommandWait &wait) const;

  PcscApi &api_;
  std::mutex mutex_;  // one command or Close at a time (Close may come from another thread)
  BoundedCalls calls_;
  std::string reader_;
  pcsc::Context context_ = 0;
  bool have_context_ = false;
  pcsc::CardHandle card_ = 0;
  bool connected_ = false;
  pcsc::Dword protocol_ = 0;
  pcsc::ActivatedCard activated_;
  struct PendingConnect;
  std::shared_ptr<PendingConnect> abandoned_connect_;
  std::atomic<bool> open_{false};
  std::atomic<bool> link_up_{false};
};

// The port names of the PC/SC readers the daemon knows ("PCSC: " and each reader's name, in the
// daemon's order). Empty when PC/SC is not available, the daemon does not answer within a second
// or has no readers.
std::vector<std::string> PcscPortNames();

// The link for a PC/SC port name ("PCSC: <reader>"), opened; null when it did not open (the link
// failure says why).
std::unique_ptr<Transport> OpenPcscTransport(std::string_view port_name);

}  // namespace kovra
