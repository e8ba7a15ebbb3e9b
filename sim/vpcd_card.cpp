#include "sim/vpcd_card.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "sim/contactless_slot.h"

namespace kovra_sim {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<int64_t>(0, left.count()));
}

}  // namespace

bool ParseVpcdAddress(const std::string &text, Ipv4 *address, uint16_t *port) {
  const size_t colon = text.find(':');
  if (colon != std::string::npos) {
    const char *begin = text.c_str() + colon + 1;
    const char *end = text.c_str() + text.size();
    unsigned number = 0;
    const auto [stop, failure] = std::from_chars(begin, end, number);
    if (begin == end || failure != std::errc() || stop != end || number == 0 || number > 65535) {
      return false;
    }
    *port = static_cast<uint16_t>(number);
  }
  return ParseDottedAddress(text.substr(0, colon), address);
}

VpcdCard::VpcdCard(SimReader &reader, VpcdCardConfig config)
    : reader_(reader), config_(config), backoff_(config.min_backoff) {}

VpcdCard::~VpcdCard() {
  Stop();
}

bool VpcdCard::Start(std::string *error) {
  if (started_) {
    if (error) *error = "the vpcd card runs already";
    return false;
  }
  if (!wake_.Valid()) {
    if (error) *error = std::string("eventfd: ") + std::strerror(errno);
    return false;
  }
  started_ = true;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void VpcdCard::Stop() {
  stopping_ = true;
  wake_.Signal();
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) Close("stopped");
}

VpcdCardStatus VpcdCard::Status() const {
  std::lock_guard lock(status_mutex_);
  return status_;
}

void VpcdCard::Run() {
  while (!stopping_) {
    if (fd_ < 0) {
      bool present = false;
      reader_.WithField([&](Field &field) { present = field.Present() != nullptr; });
      if (!present || reader_.Faults().silent) {
        WaitReadable(-1, config_.watch_interval);
        continue;
      }
      if (!Connect()) {
        WaitReadable(-1, backoff_);
        backoff_ = std::min(2 * backoff_, config_.max_backoff);
        continue;
      }
      backoff_ = config_.min_backoff;
    }
    if (WaitReadable(fd_, config_.watch_interval) && !Serve()) continue;
    CheckCard();
  }
}

bool VpcdCard::Connect() {
  // Taken before connecting: a card that changes while the connection is made is then seen as
  // another card, and the connection goes at once.
  uint64_t presence = 0;
  reader_.WithField([&](Field &field) { presence = field.PresenceId(); });
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(config_.port);
  std::memcpy(&peer.sin_addr, config_.address.data(), 4);
  bool connected = ::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) == 0;
  if (!connected && errno == EINPROGRESS) {
    pollfd wait{fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    connected = ::poll(&wait, 1, static_cast<int>(config_.io_timeout.count())) == 1 &&
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
  }
  if (!connected) {
    ::close(fd);
    return false;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  fd_ = fd;
  presence_ = presence;
  framer_ = VpcdFramer();
  unanswered_since_.reset();
  std::lock_guard lock(status_mutex_);
  status_.connected = true;
  ++status_.connections;
  return true;
}

void VpcdCard::Close(const std::string &why) {
  {
    // Before the socket closes: whoever sees the end finds its reason.
    std::lock_guard lock(status_mutex_);
    status_.connected = false;
    status_.last_close = why;
  }
  // Reset, not closed in order: a command the driver sends after an orderly end still goes out
  // and its answer reads as empty, which the driver hands its host as a success without a status
  // word; after a reset the sending fails, and with it the host's exchange, as a reader's does
  // when the card has gone. (An end while the driver already waits for the answer still reaches
  // the host as that empty success: the driver's own way.)
  const linger reset{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  ::close(fd_);
  fd_ = -1;
  framer_ = VpcdFramer();
  unanswered_since_.reset();
}

bool VpcdCard::Serve() {
  uint8_t buffer[4096];
  const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
  // The driver's next message waits for our acknowledgement of its last one, which Linux would
  // delay by up to 40 ms on every exchange. The kernel turns quick acknowledgements off again on
  // its own, so ask anew after every read.
  const int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
  if (count < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  if (count <= 0) {
    Close(count == 0 ? "the driver closed the connection" : std::strerror(errno));
    return false;
  }
  const bool sound = framer_.Feed(buffer, static_cast<size_t>(count));
  while (const std::optional<VpcdMessage> message = framer_.Next()) {
    if (!Answer(*message)) return false;
    CheckCard();  // the answer may have taken the card away (the remove-after fault)
    if (fd_ < 0) return false;
  }
  if (!sound) {
    std::fprintf(stderr, "kovra-sim: vpcd: %s; the card goes\n", framer_.Error().c_str());
    Close("a broken message: " + framer_.Error());
    return false;
  }
  return true;
}

bool VpcdCard::Answer(const VpcdMessage &message) {
  {
    std::lock_guard lock(status_mutex_);
    ++(message.control ? status_.controls : status_.apdus);
  }
  if (reader_.Faults().silent) {
    if (!unanswered_since_) unanswered_since_ = Clock::now();
    return true;
  }
  if (unanswered_since_) return true;  // the driver still waits for the lost answer
  Bytes answer;
  bool card_gone = false;
  reader_.WithField([&](Field &field) {
    if (!message.control) {
      answer = AnswerContactlessApdu(field, message.apdu);
      return;
    }
    switch (*message.control) {
      case VpcdControl::kPowerOff:
        field.SetPower(false);
        break;
      case VpcdControl::kPowerOn:
      case VpcdControl::kReset:
        ActivateContactlessCard(field);
        break;
      case VpcdControl::kGetAtr:
        if (const Card *card = field.Present()) {
          answer = ContactlessAtr(*card);
        } else {
          card_gone = true;
        }
        break;
    }
  });
  if (card_gone) {
    Close("the card left the field");
    return false;
  }
  return answer.empty() || Send(answer);
}

bool VpcdCard::Send(const Bytes &payload) {
  const Bytes message = EncodeVpcdMessage(payload);
  const auto deadline = Clock::now() + config_.io_timeout;
  size_t sent = 0;
  while (sent < message.size()) {
    const ssize_t n = ::send(fd_, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd wait{fd_, POLLOUT, 0};
      if (::poll(&wait, 1, MillisecondsLeft(deadline)) == 1) continue;
      Close("the driver took no answer in time");
      return false;
    }
    Close(std::string("sending: ") + std::strerror(errno));
    return false;
  }
  return true;
}

void VpcdCard::CheckCard() {
  if (fd_ < 0) return;
  bool present = false;
  uint64_t presence = 0;
  reader_.WithField([&](Field &field) {
    present = field.Present() != nullptr;
    presence = field.PresenceId();
  });
  if (!present) {
    Close("the card left the field");
  } else if (presence != presence_) {
    Close("another card came into the field");
  } else if (unanswered_since_ && Clock::now() - *unanswered_since_ >= config_.mute_timeout) {
    Close("the card was silent");
  }
}

bool VpcdCard::WaitReadable(int fd, std::chrono::milliseconds timeout) {
  pollfd waits[2] = {{wake_.Fd(), POLLIN, 0}, {fd, POLLIN, 0}};
  const int count = ::poll(waits, fd >= 0 ? 2 : 1, static_cast<int>(timeout.count()));
  if (count <= 0) return false;
  if (waits[0].revents & POLLIN) wake_.Drain();
  return fd >= 0 && (waits[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

}  // namespace kovra_sim
