// The configuration side of a network reader link: one UDP socket on a chosen local adapter,
// aimed at one reader (the target), with the requests of the configuration service and their
// reply waits; the network search over the adapters; and turning a reader identity into the
// reader's address.
//
// Reply waits: a request's wait ends with the first matching reply; any other datagram starts
// the 500 ms window afresh, but no wait lasts longer than kMaxReplyWait, so a device that keeps
// sending datagrams cannot hold a caller. Replies count only from the reader that was asked.
//
// Used on one thread at a time; every operation blocks the calling thread for its wait.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "transport/lan/lan_adapters.h"
#include "transport/lan_config/lan_config_socket.h"
#include "transport/lan_config/lan_datagram.h"

namespace kovra::lan {

using std::chrono::milliseconds;

constexpr milliseconds kReplyWindow{500};
constexpr milliseconds kMaxReplyWait{3000};
constexpr milliseconds kSearchWindow{500};
// A search on one adapter ends at the latest after this long, its product check included,
// however often and with however many records readers answer.
constexpr milliseconds kMaxSearchPerAdapter{3000};
constexpr milliseconds kIdentityWindow{200};

// Whether a reply from `sender` answers a request to the reader at `target`. A request to the
// broadcast address has no one reader to answer it, so nothing counts as its reply.
bool IsReplyFrom(const std::string &sender, const std::string &target);

class LanConfigLink {
 public:
  // The local adapters, listed when first needed; RefreshAdapters lists them afresh.
  const std::vector<Adapter> &Adapters();
  void RefreshAdapters();

  // The local address the socket is bound to ("" for any) and the reader it talks to.
  const std::string &BindAddress() const { return bind_address_; }
  void SetBindAddress(std::string address) { bind_address_ = std::move(address); }
  const std::string &TargetAddress() const { return target_address_; }

  // Aims at `target` and opens the UDP socket on the bind address. False (the target is still
  // set) when the socket cannot be made.
  bool OpenDatagram(const std::string &target);
  void CloseDatagram() { socket_.Close(); }
  bool InDatagramMode() const { return socket_.IsOpen(); }

  // Identify (broadcast); the reply (at least 26 bytes, code F7) must come from the target.
  // False on a link aimed at the broadcast address. `payload` receives the reply's payload.
  bool QueryIdentify(Bytes &payload);
  // Reads record n (0 .. 15): to the broadcast address when `broadcast` is set or the target is
  // the broadcast address, else to the target. The reply (at least 120 bytes, its code) must
  // come from the target.
  bool GetRecord(int n, Bytes &payload, bool broadcast);
  // Writes record n (0 .. 15) to the target; the acknowledgement must come from the target.
  bool SetRecord(int n, const Bytes &record);
  // Broadcasts an address assignment built by lan_datagram.h; true when it left.
  bool SendIpSetup(const Bytes &datagram);
  // Sends the end of configuration to the target; nothing is awaited.
  void SendCloseCommand();

  // Searches the network of the current bind address: every reader that answers the search
  // request within `window` of the start or of the last answer gets its search entry
  // (lan_record.h SearchEntry). With `filter`, only the maker's readers (record 2's product name,
  // asked once per address) stay, DHCP readers by identity alone; an address not confirmed by
  // the deadline is left out. The search and its filter together end within
  // kMaxSearchPerAdapter. The entries are merged into
  // `list` (ascending, no duplicates). Result: the size of `list`. The target is changed by the
  // filter.
  int SearchDevices(std::vector<std::string> &list, milliseconds window, bool filter);
  // SearchDevices on each adapter in turn (listed afresh), into an emptied `list`; without any
  // adapter once on any local address. Result: the size of `list`.
  int SearchAllAdapters(std::vector<std::string> &list, milliseconds window, bool filter);
  // The address-port of the DHCP reader whose identity ("[NAME]") answers the search request on
  // the current bind address within `window`; empty when none does. Readers with a fixed address
  // are never found by identity.
  std::string ResolveIdentity(const std::string &identity, milliseconds window);
  // A name holding a bracketed identity becomes the address-port of the reader that answers to
  // it on the first adapter where one does (kIdentityWindow each), or empty; another name stays.
  std::string ResolveTargetName(const std::string &name);
  // Finds the reader named by `name` (address, address-port or identity) for configuration: on
  // each adapter in turn, the link that gets the reader's setup record stays open. False when
  // no adapter reaches it.
  bool OpenConfigLink(const std::string &name);

 private:
  using Clock = std::chrono::steady_clock;

  // Sends `datagram` to `to` and waits for a datagram with `code`, at least `min_size` bytes of
  // payload and from the target; at most kMaxReplyWait, or until `deadline`.
  bool Request(const std::string &to, const Bytes &datagram, uint8_t code, size_t min_size,
               Bytes &payload);
  bool Request(const std::string &to, const Bytes &datagram, uint8_t code, size_t min_size,
               Bytes &payload, Clock::time_point deadline);
  // With the filter on: whether the reader at `address` is one of the maker's (record 2's product
  // name), asked until `deadline` at most.
  bool IsMakersReader(const std::string &address, Clock::time_point deadline);

  std::vector<Adapter> adapters_;
  bool adapters_listed_ = false;
  std::string bind_address_;
  std::string target_address_;
  DatagramSocket socket_;
};

}  // namespace kovra::lan
