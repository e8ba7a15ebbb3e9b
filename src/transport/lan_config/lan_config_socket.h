// The UDP socket of the configuration service: sends requests to a reader or to the limited
// broadcast address on port 30718, and hands out the datagrams received, oldest first.
//
// The socket's receive queue in the kernel is the received-datagram queue: what one request's wait
// leaves in it is taken by the next wait, and nothing runs behind the caller's back, so no thread
// and no lock of its own are needed. Used on one thread at a time.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "transport/lan_config/lan_datagram.h"

namespace kovra::lan {

// A received datagram with its sender.
struct Received {
  std::string sender;  // dotted
  Datagram datagram;
};

class DatagramSocket {
 public:
  DatagramSocket() = default;
  ~DatagramSocket() { Close(); }
  DatagramSocket(const DatagramSocket &) = delete;
  DatagramSocket &operator=(const DatagramSocket &) = delete;

  // Opens a UDP socket bound to (`bind_address`, any port), with broadcasts allowed; an empty
  // bind address means any local address. An open socket is closed first. False when the socket
  // cannot be made or bound.
  bool Open(const std::string &bind_address);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Sends `datagram` to port 30718 of `address` (dotted; "255.255.255.255" broadcasts through
  // the bound adapter). False when it did not leave.
  bool SendTo(const std::string &address, const Bytes &datagram);

  // The oldest datagram received, waiting up to `wait` for one. Datagrams shorter than their
  // header and the socket's own broadcasts coming back are dropped without ending the wait.
  // Nothing when none came in time.
  std::optional<Received> Pop(std::chrono::milliseconds wait);

 private:
  int fd_ = -1;
  std::string bind_address_;
};

}  // namespace kovra::lan
