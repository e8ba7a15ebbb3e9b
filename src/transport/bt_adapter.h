// CBtAdapter: the transport of a reader reached over Bluetooth, through a Bluetooth module behind
// a USBXpress USB bridge (usbxpress_binding.h) or, as a fallback, behind a serial line. The
// module speaks its packet protocol (bt_packet.h); the reader's frames travel in its data
// packets once the Bluetooth link to the reader is up.
//
// The first Write or Read finds the reader (an inquiry for a device of the reader's class, its
// name), connects to it and waits for the module to report the link (at most kLinkWait) before
// the first frame goes out: a module drops data sent earlier. A failed search or connect is
// tried again at most every 500 ms; the remote address found stays known until the transport is
// destroyed, so a released link is connected again without a new search.
//
// A polled transport with no thread of its own: every wait runs on the calling thread and is
// bounded (inquiry and name 10 s each, link 5 s, open 200 ms, disconnect 500 ms). A bridge or
// line that fails (unplugged) closes the transport, which ends the port's command at once.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reader/transport.h"
#include "transport/bt_packet.h"
#include "transport/usbxpress_binding.h"

namespace kovra {

class CBtAdapter final : public Transport {
 public:
  using Clock = std::chrono::steady_clock;
  using Address = std::array<uint8_t, 6>;

  static constexpr std::chrono::milliseconds kOpenWait{200};
  static constexpr std::chrono::milliseconds kInquiryWait{10000};
  static constexpr std::chrono::milliseconds kNameWait{10000};
  static constexpr std::chrono::milliseconds kLinkWait{5000};
  static constexpr std::chrono::milliseconds kDisconnectWait{500};
  static constexpr std::chrono::milliseconds kRetryPause{500};
  // The major device class the inquiry looks for (bits 8..12 of the class of device): a
  // peripheral, as the reader announces itself.
  static constexpr uint32_t kReaderClass = 0x000500;
  static constexpr size_t kDataBufferSize = 1000;

  explicit CBtAdapter(CUSBXpressBinding &binding) : binding_(binding) {}
  ~CBtAdapter() override { Close(); }
  CBtAdapter(const CBtAdapter &) = delete;
  CBtAdapter &operator=(const CBtAdapter &) = delete;

  // Opens the module of `name` (" BT" removed): the USBXpress device with that serial number
  // (letter case ignored), else the serial line of that name (an absolute path or COMn) at 9600
  // 8N1. False when neither opens.
  bool Open(std::string_view name);

  bool IsOpen() const override { return open_.load(); }
  // Connects first when needed, then sends the frame in a data packet (dropped when the reader
  // cannot be reached: the command then times out).
  void Write(const uint8_t *bytes, size_t count) override;
  bool IsPolled() const override { return true; }
  // Connects first when needed, takes what the module sent, and moves up to `max` of the
  // reader's bytes into `buffer`.
  size_t Read(uint8_t *buffer, size_t max) override;
  // Disconnects (bounded) and closes the module's link.
  void Close() override;

  bool Connected() const { return connected_; }
  const std::string &RemoteName() const { return remote_name_; }

 private:
  bool OpenBridge(const std::string &serial);
  bool OpenSerial(const std::string &name);
  void CloseLink();
  // Reads what the module has (at most the room in the packet buffer); false when the link
  // failed (the transport is then closed).
  bool ReadFromModule();
  bool WriteToModule(const BtBytes &packet);
  // Takes one packet from the module; true when one was handled.
  bool PumpOne();
  void Evaluate(const BtPacket &packet);
  // Sends `request` and pumps until `event` (or one that ends the wait) came, or `limit` passed.
  bool Await(const BtBytes &request, uint16_t event, std::chrono::milliseconds limit);
  bool PumpUntilArrived(std::chrono::milliseconds limit);
  bool EnsureConnected();
  bool Search();
  bool ConnectToReader();

  CUSBXpressBinding &binding_;
  std::atomic<bool> open_{false};
  usbxpress::HANDLE bridge_ = nullptr;
  int serial_fd_ = -1;
  BtPacketReader packets_;
  BtBytes data_;
  uint16_t expected_ = 0;
  bool arrived_ = false;
  uint8_t last_status_ = 0;
  bool connected_ = false;
  std::vector<Address> inquiry_;
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

}  // namespace kovra
