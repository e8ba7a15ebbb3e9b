// A network reader for tests inside a namespace of a LanLab: its configuration service on UDP and
// the reader protocol on TCP, answered by an in-process simulated reader.
#include "support/lan_test_reader.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

namespace kovra_test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kConfigPort = 30718;

std::string Dotted(const std::array<uint8_t, 4> &a) {
  return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
         std::to_string(a[3]);
}

void PutText(Bytes &record, size_t at, const std::string &text, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    record[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : 0;
  }
}

Bytes SetupRecordOf(const LanReaderSetup &setup) {
  Bytes record(120, 0x5A);
  std::copy(setup.configured.begin(), setup.configured.end(), record.begin());
  record[6] = static_cast<uint8_t>(setup.host_bits);
  std::copy(setup.gateway.begin(), setup.gateway.end(), record.begin() + 12);
  record[20] = static_cast<uint8_t>(setup.tcp_port & 0xFF);
  record[21] = static_cast<uint8_t>(setup.tcp_port >> 8);
  PutText(record, 112, setup.name.substr(0, std::min<size_t>(8, setup.name.size())), 8);
  PutText(record, 84, setup.name.size() > 8 ? setup.name.substr(8, 8) : "", 8);
  return record;
}

void StartThread(std::thread &thread, NetNamespace &ns, std::function<void()> body) {
  thread = ns.Start(std::move(body));
}

}  // namespace

LanTestReader::LanTestReader(NetNamespace &ns, std::string address, LanReaderSetup setup,
                             kovra_sim::SimReaderConfig reader)
    : ns_(ns), setup_(std::move(setup)), sim_(std::move(reader)), address_(std::move(address)) {
  records_.assign(16, Bytes(120, 0));
  records_[0] = SetupRecordOf(setup_);
  records_[2] = Bytes(126, 0);
  PutText(records_[2], 93, setup_.product, std::min<size_t>(setup_.product.size() + 1, 33));
  records_[3] = Bytes(126, 0);
  PutText(records_[3], 102, setup_.name.size() > 8 ? setup_.name.substr(8, 8) : "", 8);

  stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // The sockets are made inside the reader's namespace.
  std::thread maker = ns_.Start([this] {
    udp_fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(udp_fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(kConfigPort);
    const bool udp = ::bind(udp_fd_, reinterpret_cast<sockaddr *>(&any), sizeof any) == 0;
    any.sin_port = htons(setup_.tcp_port);
    const bool tcp = ::bind(listen_fd_, reinterpret_cast<sockaddr *>(&any), sizeof any) == 0 &&
                     ::listen(listen_fd_, 4) == 0;
    running_ = udp && tcp;
  });
  maker.join();
  if (!running_) return;
  StartThread(config_thread_, ns_, [this] { ServeConfig(); });
  StartThread(tcp_thread_, ns_, [this] { ServeTcp(); });
}

LanTestReader::~LanTestReader() {
  stop_.store(true);
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(stop_fd_, &one, sizeof one);
  if (config_thread_.joinable()) config_thread_.join();
  if (tcp_thread_.joinable()) tcp_thread_.join();
  if (restart_thread_.joinable()) restart_thread_.join();
  if (connection_fd_ >= 0) ::close(connection_fd_);
  for (int fd : {udp_fd_, listen_fd_, stop_fd_}) {
    if (fd >= 0) ::close(fd);
  }
}

std::string LanTestReader::Address() {
  std::lock_guard<std::mutex> lock(mutex_);
  return address_;
}

std::vector<uint8_t> LanTestReader::Record(int n) {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_.at(static_cast<size_t>(n));
}

std::vector<uint16_t> LanTestReader::PeerPorts() {
  std::lock_guard<std::mutex> lock(mutex_);
  return peer_ports_;
}

void LanTestReader::Restart(int ms) {
  if (restart_thread_.joinable()) restart_thread_.join();
  ns_.Shell("ip link set eth0 down");
  restart_thread_ = std::thread([this, ms] {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    ns_.Shell("ip link set eth0 up");
  });
}

void LanTestReader::Reply(const sockaddr_in &to, uint8_t code, const Bytes &payload) {
  if (junk_first_.load()) {
    const uint8_t short_one[] = {0x00, 0x01};
    const uint8_t unknown[] = {0x00, 0x01, 0x00, 0x42, 1, 2, 3};
    ::sendto(udp_fd_, short_one, sizeof short_one, 0, reinterpret_cast<const sockaddr *>(&to),
             sizeof to);
    ::sendto(udp_fd_, unknown, sizeof unknown, 0, reinterpret_cast<const sockaddr *>(&to),
             sizeof to);
  }
  Bytes datagram = {0x00, 0x00, 0x00, code};
  datagram.insert(datagram.end(), payload.begin(), payload.end());
  ::sendto(udp_fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr *>(&to),
           sizeof to);
}

void LanTestReader::ServeConfig() {
  using Clock = std::chrono::steady_clock;
  sockaddr_in chatty_to{};
  bool chatting = false;
  sockaddr_in stray_to{};
  std::optional<Clock::time_point> stray_at;
  while (!stop_.load()) {
    pollfd fds[2] = {{udp_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(fds, 2, chatting || stray_at ? 50 : -1) < 0) continue;
    if (stop_.load()) return;
    if (chatting && chatty_.load()) Reply(chatty_to, 0xF9, Record(0));
    if (stray_at && Clock::now() >= *stray_at) {
      Reply(stray_to, 0xFB, {});
      stray_at.reset();
    }
    if ((fds[0].revents & POLLIN) == 0) continue;
    uint8_t buffer[2048];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t got =
        ::recvfrom(udp_fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &length);
    if (got < 4 || config_silent_.load()) continue;
    const Bytes datagram(buffer, buffer + got);
    if (datagram[3] == 0xF8 && stray_acks_.load()) {
      stray_to = from;  // a while later, when the host may be waiting for an acknowledgement
      stray_at = Clock::now() + std::chrono::milliseconds(100);
    }
    if (datagram[3] == 0xF8 && chatty_.load()) {
      chatty_to = from;
      chatting = true;
    }
    Answer(datagram, from);
  }
}

void LanTestReader::Answer(const Bytes &datagram, const sockaddr_in &from) {
  const uint8_t code = datagram[3];
  const Bytes payload(datagram.begin() + 4, datagram.end());
  if (const int flood = search_flood_.load(); flood > 0) {
    if (code != 0xF8) return;
    for (int i = 0; i < flood; ++i) {
      Bytes record = Record(0);
      std::fill_n(record.begin(), 4, 0);
      const std::string number = std::to_string(1000 + i % 1000);  // R000, R001, ...
      PutText(record, 112, "R" + number.substr(1), 8);
      PutText(record, 84, "", 8);
      Reply(from, 0xF9, record);
    }
    return;
  }
  if (code == 0xF6 && identify_silent_.load()) return;
  if (code == 0xF6) {
    Bytes identify(26, 0);
    if (setup_.extended) PutText(identify, 11, "ULO", 3);
    std::copy(setup_.identifier.begin(), setup_.identifier.end(), identify.begin() + 20);
    Reply(from, 0xF7, identify);
  } else if (code == 0xF8 || (code >= 0xE1 && code <= 0xEF)) {
    const int n = code == 0xF8 ? 0 : code - 0xE0;
    Reply(from, code == 0xF8 ? 0xF9 : static_cast<uint8_t>(n + 0xD0), Record(n));
  } else if (code == 0xFD || (code >= 0xC1 && code <= 0xCF)) {
    const int n = code == 0xFD ? 0 : code - 0xC0;
    std::array<uint8_t, 4> moved{};
    bool move = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (n == 0 && payload.size() >= 120) {
        std::copy_n(payload.begin(), 4, moved.begin());
        move = moved != std::array<uint8_t, 4>{} && Dotted(moved) != address_;
      }
      records_[static_cast<size_t>(n)] = payload;
    }
    Reply(from, code == 0xFD ? 0xFB : static_cast<uint8_t>(n + 0xB0), {});
    if (move) MoveTo(moved);
  } else if (code == 0xFC && payload.size() >= 10) {
    const bool extended = payload[8] == 'E' && payload[9] == 'X';
    AssignAddress(Bytes(payload.begin() + 10, payload.end()), extended);
  } else if (code == 0x03) {
    end_commands_.fetch_add(1);
  }
}

void LanTestReader::AssignAddress(const Bytes &payload, bool extended) {
  const auto &id = setup_.identifier;
  std::array<uint8_t, 4> address{};
  if (extended) {
    if (payload.size() < 36 || !std::equal(id.begin(), id.end(), payload.begin())) return;
    std::copy_n(payload.begin() + 6, 4, address.begin());
    std::lock_guard<std::mutex> lock(mutex_);
    Bytes &record = records_[0];
    std::copy_n(address.begin(), 4, record.begin());
    record[20] = payload[10];
    record[21] = payload[11];
    uint32_t mask = 0;
    for (int i = 0; i < 4; ++i) mask = (mask << 8) | payload[12 + i];
    int host_bits = 0;
    while (host_bits < 32 && (mask & (1u << host_bits)) == 0) ++host_bits;
    record[6] = static_cast<uint8_t>(host_bits);
    std::copy_n(payload.begin() + 16, 4, record.begin() + 12);
    std::copy_n(payload.begin() + 20, 8, record.begin() + 112);
    std::copy_n(payload.begin() + 28, 8, record.begin() + 84);
  } else {
    if (payload.size() < 6 || payload[0] != id[4] || payload[1] != id[5]) return;
    std::copy_n(payload.begin() + 2, 4, address.begin());
    std::lock_guard<std::mutex> lock(mutex_);
    std::copy_n(address.begin(), 4, records_[0].begin());
  }
  assignments_.fetch_add(1);
  // A DHCP reader keeps the address it has (the lab has no DHCP server).
  if (address != std::array<uint8_t, 4>{}) MoveTo(address);
}

void LanTestReader::MoveTo(const std::array<uint8_t, 4> &address) {
  const std::string dotted = Dotted(address);
  if (ns_.Shell("ip addr flush dev eth0 && ip addr add " + dotted + "/24 dev eth0")) {
    std::lock_guard<std::mutex> lock(mutex_);
    address_ = dotted;
  }
}

void LanTestReader::CloseConnection() {
  // Only the TCP thread closes the descriptor (when it reads the end), so that it never polls a
  // number that was closed and given to another socket.
  std::lock_guard<std::mutex> lock(mutex_);
  if (connection_fd_ >= 0) ::shutdown(connection_fd_, SHUT_RDWR);
}

void LanTestReader::OnOutput(const uint8_t *bytes, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (connection_fd_ < 0) return;
  if (reset_armed_.exchange(false)) {
    ::send(connection_fd_, bytes, 1, MSG_NOSIGNAL);
    // Disconnecting an established TCP socket sends a reset; the descriptor stays for the TCP
    // thread to close.
    sockaddr unspecified{};
    unspecified.sa_family = AF_UNSPEC;
    ::connect(connection_fd_, &unspecified, sizeof unspecified);
    return;
  }
  ::send(connection_fd_, bytes, count, MSG_NOSIGNAL);
}

void LanTestReader::ServeTcp() {
  uint64_t connection = 0;
  int current = -1;  // the descriptor this thread reads; mutex_ guards its closing
  while (!stop_.load()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (connection_fd_ != current) current = connection_fd_;
    }
    pollfd fds[3] = {{listen_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}, {current, POLLIN, 0}};
    if (::poll(fds, 3, 20) < 0) continue;
    if (stop_.load()) break;
    if (fds[0].revents & POLLIN) {
      sockaddr_in peer{};
      socklen_t length = sizeof peer;
      const int fd =
          ::accept4(listen_fd_, reinterpret_cast<sockaddr *>(&peer), &length, SOCK_CLOEXEC);
      if (fd >= 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (connection_fd_ >= 0) ::close(connection_fd_);  // one host at a time, as on the device
        connection_fd_ = fd;
        peer_ports_.push_back(ntohs(peer.sin_port));
        connections_.fetch_add(1);
      }
      if (connection != 0) sim_.Disconnect(connection);
      connection =
          sim_.Connect([this](const uint8_t *bytes, size_t count) { OnOutput(bytes, count); });
      continue;
    }
    if (current >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
      uint8_t buffer[1024];
      const ssize_t got = ::recv(current, buffer, sizeof buffer, MSG_DONTWAIT);
      if (got > 0) {
        sim_.Receive(buffer, static_cast<size_t>(got));
      } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (connection_fd_ == current) {
          ::close(current);
          connection_fd_ = -1;
        }
      }
    }
  }
  if (connection != 0) sim_.Disconnect(connection);
}

}  // namespace kovra_test
