// CBtAdapter: the transport of a reader reached over Bluetooth, through a Bluetooth module behind
// a USBXpress USB bridge (usbxpress_binding.h) or, as a fallback, behind a serial line. The
// module speaks its packet protocol (bt_packet.h); the reader's frames travel in its data
// packets once the Bluetooth link to the reader is up.
//
// A polled transport with no thread of its own and no blocking wait: Open only opens the bridge
// or line and starts the break that wakes the module; everything after it (ending the break, the
// module's ready answer, the inquiry for a device of the reader's class, its name, the connect
// and the link indication) is a step of a state machine that every Read and Write moves on by
// what has arrived and what time it is. So the port's waiting loop keeps calling the wait handler
// and ends at the port's timeout however long a search takes; a search outlives one command and
// goes on with the next. A frame written before the link is up is held (the latest one only) and
// goes out as soon as the link is, within the wait for its reply: a module drops data sent
// earlier.
//
// A device that refuses the connect (no serial port service) is passed over and the search goes
// on without it. A failed search or connect is tried again at most every 500 ms; the remote
// address found stays known until the transport is destroyed, so a released link is connected
// again without a new search. Bounds: module ready 200 ms, inquiry and each name request 10 s,
// link 5 s, disconnect at close 500 ms. A bridge or line that fails (unplugged) closes the
// transport, which ends the port's command at once.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/transport.h"
#include "transport/bluetooth/bt_packet.h"
#include "transport/bluetooth/usbxpress_binding.h"

namespace kovra {

class CBtAdapter final : public Transport {
 public:
  using Clock = std::chrono::steady_clock;
  using Address = std::array<uint8_t, 6>;

  static constexpr std::chrono::milliseconds kBridgeBreak{10};
  static constexpr std::chrono::milliseconds kLineBreak{50};
  static constexpr std::chrono::milliseconds kReadyWait{200};
  static constexpr std::chrono::milliseconds kInquiryWait{10000};
  static constexpr std::chrono::milliseconds kNameWait{10000};
  static constexpr std::chrono::milliseconds kLinkWait{5000};
  static constexpr std::chrono::milliseconds kDisconnectWait{500};
  static constexpr std::chrono::milliseconds kRetryPause{500};
  // The reader's class of device: a peripheral (major class 5) of no particular minor class.
  static constexpr uint32_t kReaderClass = 0x000500;
  static constexpr size_t kDataBufferSize = 1000;
  // Packets evaluated in one Read or Write at most, so a module that never stops sending cannot
  // hold the waiting loop.
  static constexpr int kMaxPacketsPerPoll = 64;

  // Where the search and connect stand.
  enum class Phase {
    kWaking,      // the break that wakes the module is on
    kReady,       // waiting for the module's ready answer
    kIdle,        // not connected, nothing under way
    kInquiry,     // an inquiry for a device of the reader's class runs
    kNaming,      // the found device's name is asked for
    kConnecting,  // the connect went out; waiting for the link indication
    kConnected,   // the link is up
  };

  explicit CBtAdapter(CUSBXpressBinding &binding) : binding_(binding) {}
  ~CBtAdapter() override { Close(); }
  CBtAdapter(const CBtAdapter &) = delete;
  CBtAdapter &operator=(const CBtAdapter &) = delete;

  // Opens the module of `name` (" BT" removed): the USBXpress device with that serial number
  // (letter case ignored), else the serial line of that name (an absolute path or COMn) at 9600
  // 8N1, and starts the wake-up break. Returns at once. False when neither opens, with the reason
  // recorded by SetLinkFailure.
  bool Open(std::string_view name);

  bool IsOpen() const override { return open_.load(); }
  // Sends the frame in a data packet when the link is up; otherwise holds it (replacing one held
  // before) until the link is, and moves the search and connect on. Never waits.
  void Write(const uint8_t *bytes, size_t count) override;
  bool IsPolled() const override { return true; }
  // Takes what the module sent, moves the search and connect on, and moves up to `max` of the
  // reader's bytes into `buffer`. Never waits.
  size_t Read(uint8_t *buffer, size_t max) override;
  // Disconnects (bounded) and closes the module's link.
  void Close() override;

  bool Connected() const { return phase_ == Phase::kConnected; }
  Phase CurrentPhase() const { return phase_; }
  const std::string &RemoteName() const { return remote_name_; }

 private:
  bool OpenBridge(const std::string &serial, bool &found);
  bool OpenSerial(const std::string &name);
  bool SetBreak(bool on);
  void CloseLink();
  // Reads what the module has (at most the room in the packet buffer); false when the link
  // failed (the transport is then closed). `got` tells whether any byte came.
  bool ReadFromModule(bool &got);
  bool WriteToModule(const BtBytes &packet);
  // Evaluates what the module sent, at most kMaxPacketsPerPoll packets; drops a partial packet
  // that stopped growing.
  void Pump();
  void Evaluate(const BtPacket &packet);
  // Sends `request` and makes `event` the one that ends the current step.
  bool Request(const BtBytes &request, uint16_t event);
  // Moves the search and connect on by what has arrived and the time.
  void Advance();
  void EnterPhase(Phase phase, std::chrono::milliseconds limit);
  void StartSearch();
  void StartNameRequest();
  void StartConnect();
  void OnLinkUp();
  void GiveUp();
  bool Refused(const Address &address) const;

  CUSBXpressBinding &binding_;
  std::atomic<bool> open_{false};
  usbxpress::HANDLE bridge_ = nullptr;
  int serial_fd_ = -1;
  bool break_on_ = false;
  BtPacketReader packets_;
  BtBytes data_;
  std::optional<BtBytes> held_frame_;
  uint16_t expected_ = 0;
  bool arrived_ = false;
  uint8_t last_status_ = 0;
  bool link_up_ = false;
  Phase phase_ = Phase::kIdle;
  Clock::time_point phase_deadline_{};
  int name_attempts_ = 0;
  std::vector<Address> inquiry_;
  std::vector<Address> refused_;
  uint32_t class_filter_ = 0;
  std::string remote_name_;
  Address remote_{};
  bool remote_known_ = false;
  Clock::time_point last_failure_{};
  bool failed_before_ = false;
};

// The Bluetooth transport for a port name, opened. Null when it does not open.
std::unique_ptr<Transport> OpenBtTransport(std::string_view name);

// The adapters for KOVRA_ListBtPorts: the bridge's devices (the first
// usbxpress::kMaxDevices) whose serial number begins with "ULO-PN7341#", each with " BT". A
// serial number that is not plain (IsPlainName), or that takes the name to another route (it
// holds "HID" or "BTW"), is left out.
std::vector<std::string> BtAdapterNames(CUSBXpressBinding &binding);

// The part of a class of device that says what kind of device it is: the major and minor class
// (bits 2..12). The service bits (13..23) and the format bits (0..1) are left out.
uint32_t DeviceKind(uint32_t device_class);

}  // namespace kovra
