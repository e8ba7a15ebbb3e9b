// CPcscLink: the link of a reader port on a PC/SC reader.
#include "transport/pcsc/pcsc_link.h"

#include <algorithm>
#include <utility>

#include "kovra.h"
#include "reader/trace.h"
#include "transport/link_failure.h"

namespace kovra {
namespace {

using std::chrono::milliseconds;

// The reader's command codes this link answers (the same the port would frame for a maker's
// reader; see api_transponder.cpp, exchange.cpp and open_port.cpp).
constexpr uint8_t kRequest = 0x30;
constexpr uint8_t kSelect = 0x31;
constexpr uint8_t kIsoParameter = 0x40;
constexpr uint8_t kRats = 0x41;
constexpr uint8_t kPps = 0x42;
constexpr uint8_t kExchange = 0x45;
constexpr uint8_t kVersion = 0xF0;
constexpr uint8_t kMode = 0xF4;
constexpr uint8_t kRfField = 0xF5;

// The reader's own codes for what a PC/SC reader can fail with.
constexpr int kNotAccepted = 24;         // "Communication aborted, Device does not accept ..."
constexpr int kUnknownTransponder = 43;  // "ISO Error Unknown transponder"

// A response APDU is at most 256 data bytes and the status word.
constexpr size_t kMaxResponse = 258;
// Room for the reader's name in SCardStatus (pcsc-lite's names are at most 128 bytes).
constexpr size_t kReaderNameRoom = 512;

// What a call on the link's thread hands back (it owns no state of the link: a call abandoned at
// its bound writes only here).
struct Outcome {
  pcsc::Long result = pcsc::kSuccess;
  pcsc::Dword value = 0;
  std::vector<uint8_t> bytes;
  pcsc::CardHandle card = 0;
  bool connected = false;  // SCardConnect succeeded: `card` must be disconnected
};

bool IsLinkGone(pcsc::Long result) {
  switch (result) {
    case pcsc::kErrNoService:
    case pcsc::kErrServiceStopped:
    case pcsc::kErrUnknownReader:
    case pcsc::kErrReaderUnavailable:
    case pcsc::kErrNoReadersAvailable:
    case pcsc::kErrInvalidHandle:
    case pcsc::kFailCommError:  // the client lost its connection to the daemon
      return true;
    default:
      return false;
  }
}

bool IsCardGone(pcsc::Long result) {
  switch (result) {
    case pcsc::kErrNoSmartcard:
    case pcsc::kWarnRemovedCard:
    case pcsc::kWarnResetCard:
    case pcsc::kWarnUnpoweredCard:
    case pcsc::kWarnUnresponsiveCard:
    case pcsc::kWarnUnsupportedCard:
    // The reader could not complete the exchange with the card: a card taken away in the middle
    // of it fails this way with some drivers.
    case pcsc::kErrNotTransacted:
    case pcsc::kErrCommDataLost:
    case pcsc::kErrNotReady:
      return true;
    default:
      return false;
  }
}

// The reader's state (SCardGetStatusChange without waiting): result and event state, the ATR in
// `bytes`.
Outcome ReaderStateNow(PcscApi &api, pcsc::Context context, const std::string &reader) {
  pcsc::ReaderState state{};
  state.reader = reader.c_str();
  state.current_state = pcsc::kStateUnaware;
  Outcome outcome;
  outcome.result = api.get_status_change(context, 0, &state, 1);
  outcome.value = state.event_state;
  return outcome;
}

}  // namespace

// A connect's outcome, handed over once the call has ended (`done`), also when the caller had
// given up on it.
struct CPcscLink::PendingConnect {
  std::atomic<bool> done{false};
  Outcome outcome;
};

void CPcscLink::LeaveAbandonedConnect(const CommandWait &wait) {
  if (!abandoned_connect_) return;
  // Queued behind the abandoned call, an empty call ends once that one has (within its bound).
  if (!abandoned_connect_->done.load()) calls_.Run([] {}, Bound(wait), wait.tick);
  if (!abandoned_connect_->done.load()) return;  // still hanging: left for the next time
  const Outcome outcome = abandoned_connect_->outcome;
  abandoned_connect_.reset();
  if (!outcome.connected) return;
  PcscApi *api = &api_;
  const pcsc::CardHandle card = outcome.card;
  calls_.Run([api, card] { api->disconnect(card, pcsc::kResetCard); }, Bound(wait), wait.tick);
}

milliseconds CPcscLink::Bound(const CommandWait &wait) const {
  return std::max(milliseconds(wait.timeout_ms), kMinCallMs);
}

bool CPcscLink::Open(std::string_view reader) {
  Close();
  if (!api_.Available()) {
    SetLinkFailure(KOVRA_LINK_NOT_SUPPORTED);
    return false;
  }
  reader_ = std::string(reader);
  PcscApi *api = &api_;
  const std::optional<Outcome> established = calls_.Call<Outcome>(
      [api] {
        Outcome outcome;
        pcsc::Context context = 0;
        outcome.result = api->establish_context(pcsc::kScopeSystem, nullptr, nullptr, &context);
        outcome.value = static_cast<pcsc::Dword>(context);
        return outcome;
      },
      kMinCallMs, {});
  if (!established) {
    SetLinkFailure(KOVRA_LINK_TIMEOUT);
    return false;
  }
  if (established->result != pcsc::kSuccess) {
    trace::TraceFormatted("PC/SC: no daemon (%08lX)\r\n",
                          static_cast<unsigned long>(established->result));
    SetLinkFailure(KOVRA_LINK_NO_DEVICE);
    return false;
  }
  context_ = static_cast<pcsc::Context>(established->value);
  have_context_ = true;
  const pcsc::Context context = context_;
  const std::string name = reader_;
  const std::optional<Outcome> state = calls_.Call<Outcome>(
      [api, context, name] { return ReaderStateNow(*api, context, name); }, kMinCallMs, {});
  if (!state || state->result != pcsc::kSuccess || (state->value & pcsc::kStateUnknown) != 0) {
    SetLinkFailure(state ? KOVRA_LINK_NO_DEVICE : KOVRA_LINK_TIMEOUT);
    Close();
    return false;
  }
  open_.store(true);
  link_up_.store(true);
  return true;
}

void CPcscLink::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  const CommandWait wait;
  if (connected_) Disconnect(pcsc::kLeaveCard, wait);
  LeaveAbandonedConnect(wait);
  if (have_context_) {
    PcscApi *api = &api_;
    const pcsc::Context context = context_;
    calls_.Run([api, context] { api->release_context(context); }, kMinCallMs, {});
    have_context_ = false;
  }
  open_.store(false);
  link_up_.store(false);
}

int CPcscLink::ErrorFor(pcsc::Long result) {
  if (IsLinkGone(result)) {
    trace::TraceFormatted("PC/SC: reader %s lost (%08lX)\r\n", reader_.c_str(),
                          static_cast<unsigned long>(result));
    link_up_.store(false);
    connected_ = false;
    return KOVRA_ERR_TIMEOUT;
  }
  if (IsCardGone(result)) return KOVRA_ERR_NO_TRANSPONDER;
  if (result == pcsc::kErrTimeout) return KOVRA_ERR_TIMEOUT;
  if (result == pcsc::kErrSharingViolation) {
    trace::Trace("PC/SC: another program holds the card\r\n");
  } else {
    trace::TraceFormatted("PC/SC: call failed (%08lX)\r\n", static_cast<unsigned long>(result));
  }
  return kNotAccepted;
}

void CPcscLink::Disconnect(pcsc::Dword disposition, const CommandWait &wait) {
  if (!connected_) return;
  connected_ = false;
  PcscApi *api = &api_;
  const pcsc::CardHandle card = card_;
  calls_.Run([api, card, disposition] { api->disconnect(card, disposition); }, Bound(wait),
             wait.tick);
}

int CPcscLink::RunCommand(uint8_t code, const uint8_t *data, size_t count,
                          std::vector<uint8_t> &reply, const CommandWait &wait) {
  std::lock_guard<std::mutex> lock(mutex_);
  reply.clear();
  if (!LinkUp()) return KOVRA_ERR_TIMEOUT;
  switch (code) {
    case kVersion:
      reply.assign(kVersionAnswer, kVersionAnswer + 4);
      return KOVRA_ERR_NONE;
    case kRfField:
      // The field off ends the card's activation: the card is reset, as leaving the field would.
      if (count >= 1 && data[0] == 0) Disconnect(pcsc::kResetCard, wait);
      return link_up_.load() ? KOVRA_ERR_NONE : KOVRA_ERR_TIMEOUT;
    case kMode:
    case kIsoParameter:
      return KOVRA_ERR_NONE;  // the reader chooses its own mode and ISO parameters
    case kRequest: {
      const int error = Activate(wait);
      if (error == KOVRA_ERR_NONE) reply = {0x00, 0x00};  // PC/SC does not pass the ATQA on
      return error;
    }
    case kSelect:
      return SelectAnswer(wait, reply);
    case kRats:
      if (!connected_) return KOVRA_ERR_NO_TRANSPONDER;
      if (activated_.kind != pcsc::CardKind::kIso14443_4) return kUnknownTransponder;
      reply = pcsc::AtsOf(activated_);
      return KOVRA_ERR_NONE;
    case kPps:
      return connected_ ? KOVRA_ERR_NONE : KOVRA_ERR_NO_TRANSPONDER;
    case kExchange:
      return ExchangeNative(data, count, wait, reply);
    default:
      return kNotAccepted;
  }
}

int CPcscLink::Activate(const CommandWait &wait) {
  Disconnect(pcsc::kResetCard, wait);
  LeaveAbandonedConnect(wait);
  PcscApi *api = &api_;
  const pcsc::Context context = context_;
  const std::string reader = reader_;
  // Straight to the card: SCardConnect fails with "no card" on an empty reader and with
  // "unresponsive" on a mute one, and asks the daemon afresh each time (a state read without
  // waiting may be the client library's copy from before the card came).
  auto pending = std::make_shared<PendingConnect>();
  const bool in_time = calls_.Run(
      [api, context, reader, pending] {
        Outcome &outcome = pending->outcome;
        pcsc::CardHandle card = 0;
        pcsc::Dword protocol = 0;
        outcome.result = api->connect(context, reader.c_str(), pcsc::kShareExclusive,
                                      pcsc::kProtocolT0 | pcsc::kProtocolT1, &card, &protocol);
        if (outcome.result != pcsc::kSuccess) {
          pending->done.store(true);
          return;
        }
        outcome.card = card;
        outcome.connected = true;
        char name[kReaderNameRoom];
        pcsc::Dword name_length = sizeof name;
        pcsc::Dword card_state = 0;
        unsigned char atr[pcsc::kMaxAtrSize];
        pcsc::Dword atr_length = sizeof atr;
        outcome.result =
            api->status(card, name, &name_length, &card_state, &protocol, atr, &atr_length);
        outcome.value = protocol;
        if (outcome.result == pcsc::kSuccess) {
          outcome.bytes.assign(atr, atr + std::min<size_t>(atr_length, sizeof atr));
        }
        pending->done.store(true);
      },
      Bound(wait), wait.tick);
  if (!in_time) {
    abandoned_connect_ = pending;
    return KOVRA_ERR_TIMEOUT;
  }
  const Outcome *connected = &pending->outcome;
  if (connected->connected) {
    card_ = connected->card;
    connected_ = true;
    protocol_ = connected->value;
  }
  if (connected->result != pcsc::kSuccess) {
    const int error = ErrorFor(connected->result);
    Disconnect(pcsc::kLeaveCard, wait);
    return error;
  }
  activated_ = pcsc::ReadContactlessAtr(connected->bytes.data(), connected->bytes.size());
  if (activated_.kind == pcsc::CardKind::kUnrecognised) {
    Disconnect(pcsc::kLeaveCard, wait);
    return kUnknownTransponder;
  }
  return KOVRA_ERR_NONE;
}

int CPcscLink::SelectAnswer(const CommandWait &wait, std::vector<uint8_t> &reply) {
  if (!connected_) return KOVRA_ERR_NO_TRANSPONDER;
  std::vector<uint8_t> answer;
  const int error = Transmit(pcsc::GetUidCommand(), wait, answer);
  if (error != KOVRA_ERR_NONE) return error;
  const std::optional<std::vector<uint8_t>> uid = pcsc::UidOfAnswer(answer.data(), answer.size());
  if (!uid) return kUnknownTransponder;
  reply.push_back(activated_.sak);
  reply.insert(reply.end(), uid->begin(), uid->end());
  return KOVRA_ERR_NONE;
}

int CPcscLink::ExchangeNative(const uint8_t *frame, size_t length, const CommandWait &wait,
                              std::vector<uint8_t> &reply) {
  if (!connected_) return KOVRA_ERR_NO_TRANSPONDER;
  const std::optional<std::vector<uint8_t>> apdu = pcsc::WrapNativeCommand(frame, length);
  if (!apdu) return length == 0 ? KOVRA_ERR_NO_DATA : KOVRA_ERR_WRONG_PARAMETER;
  std::vector<uint8_t> answer;
  const int error = Transmit(*apdu, wait, answer);
  if (error != KOVRA_ERR_NONE) return error;
  pcsc::NativeAnswer native = pcsc::UnwrapNativeAnswer(answer.data(), answer.size());
  if (!native.ok) return native.error;
  reply = std::move(native.answer);
  return KOVRA_ERR_NONE;
}

int CPcscLink::Transmit(const std::vector<uint8_t> &apdu, const CommandWait &wait,
                        std::vector<uint8_t> &answer) {
  PcscApi *api = &api_;
  const pcsc::CardHandle card = card_;
  const pcsc::Dword protocol = protocol_;
  const std::optional<Outcome> sent = calls_.Call<Outcome>(
      [api, card, protocol, apdu] {
        Outcome outcome;
        const pcsc::IoRequest pci{protocol, sizeof(pcsc::IoRequest)};
        outcome.bytes.resize(kMaxResponse);
        pcsc::Dword length = static_cast<pcsc::Dword>(outcome.bytes.size());
        outcome.result = api->transmit(card, &pci, apdu.data(), apdu.size(), nullptr,
                                       outcome.bytes.data(), &length);
        outcome.bytes.resize(
            outcome.result == pcsc::kSuccess ? std::min<size_t>(length, kMaxResponse) : 0);
        return outcome;
      },
      Bound(wait), wait.tick);
  if (!sent) {
    trace::TraceFormatted("PC/SC: reader %s did not answer in time\r\n", reader_.c_str());
    return KOVRA_ERR_TIMEOUT;
  }
  if (sent->result != pcsc::kSuccess) {
    const int error = ErrorFor(sent->result);
    // A card that left is not talked to again: its handle is given up.
    if (error == KOVRA_ERR_NO_TRANSPONDER) Disconnect(pcsc::kLeaveCard, wait);
    return error;
  }
  answer = sent->bytes;
  return KOVRA_ERR_NONE;
}

std::vector<std::string> PcscPortNames() {
  PcscApi &api = PcscApi::Process();
  if (!api.Available()) return {};
  PcscApi *loaded = &api;
  BoundedCalls calls;
  const std::optional<std::vector<std::string>> readers = calls.Call<std::vector<std::string>>(
      [loaded] {
        std::vector<std::string> names;
        pcsc::Context context = 0;
        if (loaded->establish_context(pcsc::kScopeSystem, nullptr, nullptr, &context) !=
            pcsc::kSuccess) {
          return names;
        }
        // Asked twice: the length first, then the list; a reader that came in between makes the
        // second call fail, and the list is empty this time.
        constexpr pcsc::Dword kMaxList = 64 * 1024;
        pcsc::Dword length = 0;
        if (loaded->list_readers(context, nullptr, nullptr, &length) == pcsc::kSuccess &&
            length > 0 && length <= kMaxList) {
          std::string multi(length, '\0');
          if (loaded->list_readers(context, nullptr, multi.data(), &length) == pcsc::kSuccess) {
            names = pcsc::SplitReaderList(multi.data(), std::min<size_t>(length, multi.size()));
          }
        }
        loaded->release_context(context);
        return names;
      },
      CPcscLink::kMinCallMs, {});
  std::vector<std::string> ports;
  if (!readers) return ports;
  for (const std::string &reader : *readers) {
    ports.push_back(std::string(pcsc::kPortPrefix) + reader);
  }
  return ports;
}

std::unique_ptr<Transport> OpenPcscTransport(std::string_view port_name) {
  auto link = std::make_unique<CPcscLink>(PcscApi::Process());
  if (!link->Open(pcsc::ReaderOfPortName(port_name))) return nullptr;
  return link;
}

}  // namespace kovra
