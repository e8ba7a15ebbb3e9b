// A network reader: the simulated reader served over TCP, with its configuration service on UDP.
#include "sim/lan_reader.h"

#include <utility>

#include "sim/netlink.h"

namespace kovra_sim {
namespace {

unsigned PrefixLength(uint8_t host_bits) {
  return host_bits >= 32 ? 0 : 32u - host_bits;
}

}  // namespace

LanReader::LanReader(SimReader &reader, LanReaderConfig config)
    : reader_(reader),
      config_(std::move(config)),
      service_([this](const uint8_t *data, size_t size) { return OnDatagram(data, size); }),
      records_(config_.settings, config_.product),
      running_(records_.Settings()),
      held_(config_.address) {}

LanReader::~LanReader() {
  Stop();
}

bool LanReader::Start(std::string *error) {
  auto fail = [&](const std::string &text) {
    if (error) *error = text;
    return false;
  };
  // Loopback is fine to start on (a host on the same machine); an assignment never leads there.
  if (config_.address == Ipv4{} || config_.address[0] >= 224) {
    return fail("not an address a reader can hold: " + DottedAddress(config_.address));
  }
  if (!config_.interface.empty()) {
    const unsigned index = netlink::InterfaceIndex(config_.interface);
    if (index == 0) return fail("no interface " + config_.interface);
    std::string why;
    if (netlink::InterfaceHolding(config_.address) != config_.interface &&
        !netlink::AddAddress(index, config_.address, PrefixLength(running_.host_bits), &why)) {
      return fail("cannot add " + DottedAddress(config_.address) + " to " + config_.interface +
                  ": " + why);
    }
    interface_ = config_.interface;
    owns_interface_ = true;
  } else {
    interface_ = netlink::InterfaceHolding(config_.address);
  }
  std::string why;
  if (!Listen(held_, running_.port, &why)) return fail(why);
  LanConfigService::Options options;
  options.interface = interface_;
  options.address = held_;
  options.host_bits = running_.host_bits;
  options.port = config_.config_port;
  if (!service_.Start(options, &why)) {
    Stop();
    return fail(why);
  }
  restart_thread_ = std::thread(&LanReader::RestartLoop, this);
  return true;
}

void LanReader::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (restart_thread_.joinable()) restart_thread_.join();
  service_.Stop();
  std::lock_guard<std::mutex> lock(tcp_mutex_);
  tcp_.reset();
}

bool LanReader::Listen(const Ipv4 &address, uint16_t port, std::string *error) {
  auto server = std::make_unique<TcpServer>(reader_);
  if (!server->Start(address, port, error)) return false;
  const uint16_t listening = server->Port();
  {
    std::lock_guard<std::mutex> lock(tcp_mutex_);
    tcp_ = std::move(server);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  listening_port_ = listening;
  return true;
}

Bytes LanReader::OnDatagram(const uint8_t *data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  const LanAnswer answer = AnswerLanDatagram(records_, config_.identity, data, size);
  const bool restart =
      (answer.settings_changed || answer.end_of_configuration) && records_.Settings() != running_;
  if (restart && !restart_requested_ && !restarting_) {
    restart_requested_ = true;
    // At once, on this thread: no datagram after this one is answered by the old reader.
    service_.SetPaused(true);
    changed_.notify_all();
  }
  return answer.reply;
}

void LanReader::RestartLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || restart_requested_; });
    if (stopping_) return;
    restart_requested_ = false;
    restarting_ = true;
    const uint16_t old_port = listening_port_;
    listening_port_ = 0;
    lock.unlock();
    {
      // Closes the port and the host's connection, as a reader going down does.
      std::lock_guard<std::mutex> tcp_lock(tcp_mutex_);
      tcp_.reset();
    }
    lock.lock();
    if (changed_.wait_for(lock, config_.restart_time, [this] { return stopping_; })) return;
    const LanSettings next = records_.Settings();
    lock.unlock();

    std::string error;
    const Ipv4 address = Move(next, &error);
    uint16_t port = next.port;
    if (port == 0) {
      error = "port 0 in the setup record; stays on " + std::to_string(old_port);
      port = old_port;
    }
    std::string why;
    if (!Listen(address, port, &why)) error = why;
    service_.SetAddress(address, next.host_bits);

    lock.lock();
    held_ = address;
    running_ = next;
    restarting_ = false;
    ++restarts_;
    error_ = error;
    service_.SetPaused(false);
    changed_.notify_all();
  }
}

Ipv4 LanReader::Move(const LanSettings &next, std::string *error) {
  Ipv4 held;
  uint8_t held_host_bits = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    held = held_;
    held_host_bits = running_.host_bits;
  }
  const Ipv4 target = next.Dhcp() ? held : next.address;
  if (!owns_interface_ || (target == held && next.host_bits == held_host_bits)) return target;
  const unsigned index = netlink::InterfaceIndex(interface_);
  std::string why;
  const bool removed = netlink::RemoveAddress(index, held, PrefixLength(held_host_bits), &why);
  if (removed && netlink::AddAddress(index, target, PrefixLength(next.host_bits), &why)) {
    return target;
  }
  // The old address back: a reader that cannot take its new address stays reachable.
  if (removed) netlink::AddAddress(index, held, PrefixLength(held_host_bits), nullptr);
  *error = "cannot move from " + DottedAddress(held) + " to " + DottedAddress(target) + ": " + why;
  return held;
}

LanStatus LanReader::Status() const {
  LanStatus status;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    status.address = held_;
    status.port = listening_port_;
    status.record = records_.Settings();
    status.product = records_.Product();
    status.restarting = restarting_ || restart_requested_;
    status.restarts = restarts_;
    status.error = error_;
  }
  status.identity = config_.identity;
  status.interface = interface_;
  status.owns_interface = owns_interface_;
  {
    std::lock_guard<std::mutex> lock(tcp_mutex_);
    status.connected = tcp_ && tcp_->Connected();
  }
  status.takes_broadcasts = service_.TakesBroadcasts();
  status.silent = service_.Silent();
  status.flood = service_.Flooding();
  status.datagrams = service_.Taken();
  return status;
}

bool LanReader::WaitUntilServing(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout,
                           [this] { return stopping_ || (!restarting_ && !restart_requested_); });
}

void LanReader::ResetLink() {
  std::lock_guard<std::mutex> lock(tcp_mutex_);
  if (tcp_) tcp_->ResetLink();
}

void LanReader::ResetMidReply() {
  std::lock_guard<std::mutex> lock(tcp_mutex_);
  if (tcp_) tcp_->ResetMidReply();
}

}  // namespace kovra_sim
