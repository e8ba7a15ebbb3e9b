// The configuration side of a network reader link: one UDP socket on a chosen local adapter.
#include "transport/lan_config/lan_config_link.h"

#include <map>

#include "transport/lan/lan_name.h"
#include "transport/lan_config/lan_record.h"

namespace kovra::lan {
namespace {

using Clock = std::chrono::steady_clock;

bool ValidRecordNumber(int n) {
  return n >= 0 && n <= kLastRecord;
}

// The time left of a window that started at `since`, cut to what is left of `deadline`.
milliseconds Left(Clock::time_point since, milliseconds window, Clock::time_point deadline) {
  const auto now = Clock::now();
  const auto end = std::min(since + window, deadline);
  if (now >= end) return milliseconds{0};
  return std::chrono::ceil<milliseconds>(end - now);
}

}  // namespace

bool IsReplyFrom(const std::string &sender, const std::string &target) {
  return !target.empty() && target != kBroadcastAddress && sender == target;
}

const std::vector<Adapter> &LanConfigLink::Adapters() {
  if (!adapters_listed_) RefreshAdapters();
  return adapters_;
}

void LanConfigLink::RefreshAdapters() {
  adapters_ = EnumerateAdapters();
  adapters_listed_ = true;
}

bool LanConfigLink::OpenDatagram(const std::string &target) {
  target_address_ = target;
  return socket_.Open(bind_address_);
}

bool LanConfigLink::Request(const std::string &to, const Bytes &datagram, uint8_t code,
                            size_t min_size, Bytes &payload) {
  return Request(to, datagram, code, min_size, payload, Clock::now() + kMaxReplyWait);
}

bool LanConfigLink::Request(const std::string &to, const Bytes &datagram, uint8_t code,
                            size_t min_size, Bytes &payload, Clock::time_point deadline) {
  if (Clock::now() >= deadline || !socket_.SendTo(to, datagram)) return false;
  auto window_start = Clock::now();
  for (;;) {
    const milliseconds left = Left(window_start, kReplyWindow, deadline);
    if (left.count() <= 0) return false;
    auto received = socket_.Pop(left);
    if (!received) return false;
    payload = std::move(received->datagram.payload);
    if (received->datagram.code == code && payload.size() >= min_size &&
        IsReplyFrom(received->sender, target_address_)) {
      return true;
    }
    window_start = Clock::now();  // someone is talking: give the reader another window
  }
}

bool LanConfigLink::QueryIdentify(Bytes &payload) {
  // Identify goes to everyone; on a link to the broadcast address no reply could be told apart.
  if (!InDatagramMode() || !IsReplyFrom(target_address_, target_address_)) return false;
  return Request(kBroadcastAddress, IdentifyRequest(), kIdentifyReply, kIdentifyReplySize, payload);
}

bool LanConfigLink::GetRecord(int n, Bytes &payload, bool broadcast) {
  if (!InDatagramMode() || !ValidRecordNumber(n)) return false;
  const std::string to = broadcast ? kBroadcastAddress : target_address_;
  return Request(to, ReadRecordRequest(n), ReadRecordReplyCode(n), kRecordReplySize, payload);
}

bool LanConfigLink::SetRecord(int n, const Bytes &record) {
  if (!InDatagramMode() || !ValidRecordNumber(n)) return false;
  Bytes reply;
  return Request(target_address_, WriteRecordRequest(n, record), WriteRecordReplyCode(n), 0, reply);
}

bool LanConfigLink::SendIpSetup(const Bytes &datagram) {
  return InDatagramMode() && socket_.SendTo(kBroadcastAddress, datagram);
}

void LanConfigLink::SendCloseCommand() {
  if (InDatagramMode()) socket_.SendTo(target_address_, EndOfConfiguration());
}

bool LanConfigLink::IsMakersReader(const std::string &address, Clock::time_point deadline) {
  target_address_ = address;
  Bytes record2;
  return InDatagramMode() &&
         Request(target_address_, ReadRecordRequest(2), ReadRecordReplyCode(2), kRecordReplySize,
                 record2, deadline) &&
         record2.size() >= kProductRecordSize && IsMakersProduct(ProductName(record2));
}

int LanConfigLink::SearchDevices(std::vector<std::string> &list, milliseconds window, bool filter) {
  if (!socket_.Open(bind_address_)) return 0;
  if (!socket_.SendTo(kBroadcastAddress, ReadRecordRequest(0))) {
    socket_.Close();
    return 0;
  }
  std::vector<std::string> found;
  const auto deadline = Clock::now() + kMaxSearchPerAdapter;
  auto window_start = Clock::now();
  for (;;) {
    const milliseconds left = Left(window_start, window, deadline);
    if (left.count() <= 0) break;
    auto received = socket_.Pop(left);
    if (!received) break;
    const Datagram &reply = received->datagram;
    if (reply.code != kSetupRecordReply || reply.payload.size() < kRecordReplySize) continue;
    const auto sender = ParseDotted(received->sender);
    if (!sender) continue;
    InsertSorted(found, SearchEntry(reply.payload, *sender));
    window_start = Clock::now();
  }

  if (filter) {
    // The product check shares the search's deadline, and each address is asked once: a device
    // that answers with many records, or keeps talking, cannot stretch the search.
    std::map<std::string, bool> makers;
    std::vector<std::string> kept;
    for (const std::string &entry : found) {
      const std::string without_port = AddressPart(entry);
      const size_t close = without_port.find(']');
      const std::string identity =
          close == std::string::npos ? std::string() : without_port.substr(0, close + 1);
      const std::string address =
          close == std::string::npos ? without_port : without_port.substr(close + 1);
      auto known = makers.find(address);
      if (known == makers.end()) {
        known = makers.emplace(address, IsMakersReader(address, deadline)).first;
      }
      if (known->second) kept.push_back(identity.empty() ? entry : identity);
    }
    found = std::move(kept);
  }
  socket_.Close();
  for (const std::string &entry : found) InsertSorted(list, entry);
  return static_cast<int>(list.size());
}

int LanConfigLink::SearchAllAdapters(std::vector<std::string> &list, milliseconds window,
                                     bool filter) {
  RefreshAdapters();
  list.clear();
  if (adapters_.empty()) {
    bind_address_.clear();
    return SearchDevices(list, window, filter);
  }
  for (const Adapter &adapter : adapters_) {
    bind_address_ = adapter.address;
    SearchDevices(list, window, filter);
  }
  return static_cast<int>(list.size());
}

std::string LanConfigLink::ResolveIdentity(const std::string &identity, milliseconds window) {
  if (!socket_.Open(bind_address_)) return {};
  std::string found;
  if (socket_.SendTo(kBroadcastAddress, ReadRecordRequest(0))) {
    const auto start = Clock::now();
    while (found.empty()) {
      const milliseconds left = Left(start, window, start + window);
      if (left.count() <= 0) break;
      auto received = socket_.Pop(left);
      if (!received) break;
      const Datagram &reply = received->datagram;
      const auto sender = ParseDotted(received->sender);
      if (reply.code != kSetupRecordReply || reply.payload.size() < kRecordReplySize || !sender ||
          ConfiguredAddress(reply.payload) == *sender ||
          ReaderIdentity(reply.payload) != identity) {
        continue;
      }
      found = received->sender + "-" + std::to_string(TcpPort(reply.payload));
    }
  }
  socket_.Close();
  return found;
}

std::string LanConfigLink::ResolveTargetName(const std::string &name) {
  const auto identity = BracketedIdentity(name);
  if (!identity) return name;
  const std::vector<Adapter> adapters = Adapters();
  if (adapters.empty()) {
    bind_address_.clear();
    return ResolveIdentity(*identity, kIdentityWindow);
  }
  for (const Adapter &adapter : adapters) {
    bind_address_ = adapter.address;
    std::string found = ResolveIdentity(*identity, kIdentityWindow);
    if (!found.empty()) return found;
  }
  return {};
}

bool LanConfigLink::OpenConfigLink(const std::string &name) {
  const std::string address = AddressPart(ResolveTargetName(name));
  if (address.empty()) return false;
  std::vector<std::string> binds;
  for (const Adapter &adapter : Adapters()) binds.push_back(adapter.address);
  if (binds.empty()) binds.push_back({});
  for (const std::string &bind : binds) {
    bind_address_ = bind;
    Bytes record;
    if (OpenDatagram(address) && GetRecord(0, record, true)) return true;
    CloseDatagram();
  }
  return false;
}

}  // namespace kovra::lan
