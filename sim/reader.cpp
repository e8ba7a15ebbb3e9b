// SimReader: the simulated HF reader that finds command frames in what a host sends and answers
// them as its protocol family does.
#include "sim/reader.h"

#include <algorithm>
#include <utility>

namespace kovra_sim {
namespace {

constexpr uint8_t kExchange = 0x45;
constexpr uint8_t kExchangeMore = 0x46;
constexpr uint8_t kAdditionalFrame = 0xAF;  // DESFire: the frame goes on with the last command

FirmwareSettings SettingsOf(const SimReaderConfig &config) {
  return FirmwareSettings{config.family, config.version, config.serial_number,
                          config.follow_up_version, config.exchange_part_size};
}

template <typename T>
void CapFront(std::deque<T> &log, size_t limit) {
  while (log.size() > limit) log.pop_front();
}

}  // namespace

SimReader::SimReader(SimReaderConfig config)
    : config_(std::move(config)),
      firmware_(SettingsOf(config_), config_.field_clock, config_.uid_seed),
      decoder_(config_.family, config_.address, config_.stale_after),
      scheduler_([this](const DeliveryScheduler::Piece &piece) {
        Emit(piece.bytes.data(), piece.bytes.size(), piece.ends_reply);
      }) {}

SimReader::~SimReader() {
  scheduler_.Stop();
  std::function<void()> on_gone;
  {
    std::lock_guard<std::recursive_mutex> lock(output_mutex_);
    output_ = nullptr;
    on_gone = std::move(on_gone_);
    on_gone_ = nullptr;
  }
  // Outside the lock: the host may take locks of its own that it also holds around Disconnect.
  if (on_gone) on_gone();
}

// --- the host side ------------------------------------------------------------------------------

uint64_t SimReader::Connect(OutputFn output, std::function<void()> on_gone) {
  std::function<void()> previous_gone;
  uint64_t connection = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(output_mutex_);
    previous_gone = std::move(on_gone_);
    output_ = std::move(output);
    on_gone_ = std::move(on_gone);
    connection = ++connection_;
    link_dropped_ = false;
  }
  if (previous_gone) previous_gone();
  return connection;
}

void SimReader::Disconnect(uint64_t connection) {
  std::lock_guard<std::recursive_mutex> lock(output_mutex_);
  if (connection != connection_) return;
  output_ = nullptr;
  on_gone_ = nullptr;
}

void SimReader::Emit(const uint8_t *bytes, size_t count, bool ends_reply) {
  std::lock_guard<std::recursive_mutex> lock(output_mutex_);
  if (ends_reply) {
    // Taken before the output runs: a host that completes its command inside the callback must
    // not appear to have done so before the reply was there.
    const SimClock::time_point now = SimClock::now();
    std::lock_guard<std::mutex> state(mutex_);
    reply_ends_.push_back(now);
    CapFront(reply_ends_, config_.log_limit);
  }
  if (output_) output_(bytes, count);
}

void SimReader::Receive(const uint8_t *bytes, size_t count) {
  const SimClock::time_point now = SimClock::now();
  struct Outgoing {
    Bytes bytes;
    SimClock::duration delay;
  };
  std::vector<Outgoing> replies;
  std::vector<std::pair<bool, Bytes>> logged;
  FrameLogFn log;
  size_t piece_size = 0;
  SimClock::duration gap{0};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<CommandFrame> frames = decoder_.Feed(bytes, count, now);
    discarded_ += decoder_.DiscardedBytes() - decoder_discards_seen_;
    decoder_discards_seen_ = decoder_.DiscardedBytes();
    log = frame_log_;

    for (const CommandFrame &frame : frames) {
      ReceivedCommand entry;
      entry.frame = frame.raw;
      entry.address = frame.address;
      entry.wire_code = frame.command;
      entry.at = now;
      // Family 1's decoder passes only frames for this address; family 0 checks it here.
      entry.for_this_reader = config_.family != 0 || frame.address == config_.address;
      const std::optional<FirmwareCommand> command =
          ToFirmwareCommand(config_.family, frame.command, frame.data);
      if (command) {
        entry.code = command->code;
        entry.data = command->data;
        entry.inserted = command->inserted;
      } else {
        entry.data = frame.data;
      }
      const bool answer = entry.for_this_reader;
      if (answer) {
        ++total_count_;
        if (command) ++counts_[command->code];
      }
      LogLocked(std::move(entry));
      if (log) logged.emplace_back(true, frame.raw);
      if (!answer || silent_) continue;
      // Taken before the answer, which may take the card away: the command still counts for it.
      Field &field = firmware_.GetField();
      const bool card_there = field.Present() != nullptr;
      const uint64_t presence = field.PresenceId();
      Bytes reply = AnswerLocked(frame, command);
      if (reply.empty()) continue;
      const SimClock::duration modelled = ModelledTimeLocked(frame, command, reply.size());
      const SimClock::duration delay = delay_ + modelled;
      if (card_there) {
        // The field's clock, which a test may drive by hand; otherwise the steady clock, and then
        // the frame's own arrival time.
        const SimClock::time_point arrived = config_.field_clock ? config_.field_clock() : now;
        field.NoteCommand(presence, arrived, delay, modelled);
      }
      if (log) logged.emplace_back(false, reply);
      replies.push_back({std::move(reply), delay});
    }
    piece_size = piece_size_;
    gap = gap_;
  }
  for (const auto &[from_host, frame] : logged) log(from_host, frame);
  for (Outgoing &reply : replies)
    Deliver(std::move(reply.bytes), now, reply.delay, piece_size, gap);
}

Bytes SimReader::AnswerLocked(const CommandFrame &frame,
                              const std::optional<FirmwareCommand> &command) {
  if (!raw_replies_.empty()) {
    Bytes raw = std::move(raw_replies_.front());
    raw_replies_.pop_front();
    return raw;
  }
  Reply reply = Reply::Error(ReplyStatus::kNotAccepted);
  if (command) {
    const auto queued = one_shot_replies_.find(command->code);
    const auto fixed = fixed_replies_.find(command->code);
    if (queued != one_shot_replies_.end() && !queued->second.empty()) {
      reply = std::move(queued->second.front());
      queued->second.pop_front();
    } else if (fixed != fixed_replies_.end()) {
      reply = fixed->second;
    } else {
      reply = firmware_.Execute(*command);
    }
  }
  const uint8_t status = StatusByte(config_.family, reply.status, frame.command, reply.raw_status);
  return FrameLocked(status, reply);
}

SimClock::duration SimReader::ModelledTimeLocked(const CommandFrame &frame,
                                                 const std::optional<FirmwareCommand> &command,
                                                 size_t reply_bytes) {
  const bool exchange = command && command->code == kExchange;
  const std::optional<uint8_t> continued = last_card_command_;
  if (exchange && !command->data.empty()) {
    // A 0xAF frame goes on with the command before it; any other block starts a command.
    if (command->data[0] != kAdditionalFrame) last_card_command_ = command->data[0];
  }
  if (!link_model_) return SimClock::duration::zero();
  const std::optional<unsigned> line_baud =
      line_ ? std::optional<unsigned>(line_->baud) : std::nullopt;
  SimClock::duration time =
      LinkDelay(*link_model_, line_baud, frame.raw.size(), reply_bytes, false);
  if (exchange) time += ExchangeTime(*link_model_, command->data, continued);
  return time;
}

Bytes SimReader::FrameLocked(uint8_t status, const Reply &reply) {
  Bytes out = garbage_;
  Bytes framed =
      EncodeReply(config_.family, config_.address, status, reply.data, reply.block_chain);
  if (bad_checksum_) {
    bad_checksum_ = false;
    // Families 0 and 1 end every reply with their check; inverting its last byte breaks it.
    if (config_.family <= 1 && !framed.empty()) framed.back() ^= 0xFF;
  }
  out.insert(out.end(), framed.begin(), framed.end());
  return out;
}

void SimReader::Deliver(Bytes reply, SimClock::time_point arrival, SimClock::duration delay,
                        size_t piece_size, SimClock::duration gap) {
  const bool whole = piece_size == 0 || piece_size >= reply.size();
  if (delay <= SimClock::duration::zero() && whole && scheduler_.Idle()) {
    Emit(reply.data(), reply.size(), true);
    return;
  }
  // Everything else goes through the delivery thread, also a reply that is due at once while an
  // earlier one is still on its way: replies never overtake each other.
  std::vector<DeliveryScheduler::Piece> pieces;
  const size_t step = whole ? reply.size() : piece_size;
  for (size_t at = 0; at < reply.size(); at += step) {
    const size_t end = std::min(reply.size(), at + step);
    DeliveryScheduler::Piece piece;
    piece.due = arrival + delay;
    piece.bytes.assign(reply.begin() + static_cast<std::ptrdiff_t>(at),
                       reply.begin() + static_cast<std::ptrdiff_t>(end));
    piece.ends_reply = end == reply.size();
    if (at > 0) piece.after_previous = gap;
    pieces.push_back(std::move(piece));
  }
  scheduler_.Schedule(std::move(pieces));
}

void SimReader::LogLocked(ReceivedCommand command) {
  log_.push_back(std::move(command));
  CapFront(log_, config_.log_limit);
}

// --- configuration ------------------------------------------------------------------------------

void SimReader::RebuildDecoderLocked() {
  decoder_.Reset();
  discarded_ += decoder_.DiscardedBytes() - decoder_discards_seen_;
  decoder_ = CommandDecoder(config_.family, config_.address, config_.stale_after);
  decoder_discards_seen_ = 0;
}

SimReaderConfig SimReader::Config() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_;
}

void SimReader::SetFamily(int family) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.family = family;
  firmware_.Settings().family = family;
  RebuildDecoderLocked();
}

void SimReader::SetAddress(uint8_t address) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.address = address;
  RebuildDecoderLocked();
}

void SimReader::SetVersion(std::string version) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.version = version;
  firmware_.Settings().version = std::move(version);
}

void SimReader::SetSerialNumber(const std::array<uint8_t, 4> &serial_number) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.serial_number = serial_number;
  firmware_.Settings().serial_number = serial_number;
}

void SimReader::SetFollowUpVersion(std::optional<std::string> answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.follow_up_version = answer;
  firmware_.Settings().follow_up_version = std::move(answer);
}

void SimReader::SetExchangePartSize(size_t part_size) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.exchange_part_size = part_size;
  firmware_.Settings().exchange_part_size = part_size;
}

void SimReader::WithFirmware(const std::function<void(Firmware &firmware)> &use) {
  std::lock_guard<std::mutex> lock(mutex_);
  use(firmware_);
}

bool SimReader::FieldOn() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return firmware_.FieldOn();
}

// --- the card field -----------------------------------------------------------------------------

std::shared_ptr<Card> SimReader::PlaceCard(CardKind kind, std::optional<Bytes> uid) {
  std::lock_guard<std::mutex> lock(mutex_);
  return firmware_.GetField().PlaceNew(kind, std::move(uid));
}

void SimReader::PlaceCard(std::shared_ptr<Card> card) {
  std::lock_guard<std::mutex> lock(mutex_);
  firmware_.GetField().Place(std::move(card));
}

void SimReader::RemoveCard() {
  std::lock_guard<std::mutex> lock(mutex_);
  firmware_.GetField().Remove();
}

void SimReader::FeedCards(const FeedPlan &plan) {
  std::lock_guard<std::mutex> lock(mutex_);
  firmware_.GetField().Feed(plan);
}

size_t SimReader::FeedCardsAgain(size_t count, const FeedPlan &plan) {
  std::lock_guard<std::mutex> lock(mutex_);
  return firmware_.GetField().FeedAgain(count, plan);
}

std::vector<LeftCard> SimReader::CardHistory() {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::deque<LeftCard> &history = firmware_.GetField().History();
  return {history.begin(), history.end()};
}

std::shared_ptr<Card> SimReader::CardInField() {
  std::lock_guard<std::mutex> lock(mutex_);
  return firmware_.GetField().PresentShared();
}

void SimReader::WithField(const std::function<void(Field &field)> &use) {
  std::lock_guard<std::mutex> lock(mutex_);
  use(firmware_.GetField());
}

// --- scripting ----------------------------------------------------------------------------------

void SimReader::SetFixedReply(uint8_t code, Reply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  fixed_replies_[code] = std::move(reply);
}

void SimReader::ClearFixedReply(uint8_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  fixed_replies_.erase(code);
}

void SimReader::PushReply(uint8_t code, Reply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  one_shot_replies_[code].push_back(std::move(reply));
}

void SimReader::PushRawReply(Bytes bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  raw_replies_.push_back(std::move(bytes));
}

void SimReader::ScriptExchangeInParts(const std::vector<Bytes> &parts) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    Reply reply = last ? Reply::Ok(parts[i]) : Reply::MoreData(parts[i]);
    one_shot_replies_[i == 0 ? kExchange : kExchangeMore].push_back(std::move(reply));
  }
}

void SimReader::SetReplyDelay(SimClock::duration delay) {
  std::lock_guard<std::mutex> lock(mutex_);
  delay_ = delay;
}

void SimReader::SetSplit(size_t piece_size, SimClock::duration gap) {
  std::lock_guard<std::mutex> lock(mutex_);
  piece_size_ = piece_size;
  gap_ = gap;
}

void SimReader::SetLeadingGarbage(Bytes garbage) {
  std::lock_guard<std::mutex> lock(mutex_);
  garbage_ = std::move(garbage);
}

void SimReader::SetSilent(bool silent) {
  std::lock_guard<std::mutex> lock(mutex_);
  silent_ = silent;
}

void SimReader::ResetScript() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    fixed_replies_.clear();
    one_shot_replies_.clear();
    raw_replies_.clear();
    delay_ = SimClock::duration::zero();
    piece_size_ = 0;
    gap_ = SimClock::duration::zero();
    garbage_.clear();
    silent_ = false;
    bad_checksum_ = false;
    firmware_.GetField().RemoveAfterExchanges(std::nullopt);
  }
  scheduler_.CancelPending();
}

// --- faults -------------------------------------------------------------------------------------

void SimReader::CorruptNextChecksum() {
  std::lock_guard<std::mutex> lock(mutex_);
  bad_checksum_ = true;
}

void SimReader::RemoveCardAfterExchanges(std::optional<size_t> exchanges) {
  std::lock_guard<std::mutex> lock(mutex_);
  firmware_.GetField().RemoveAfterExchanges(exchanges);
}

void SimReader::DropLink() {
  std::function<void()> gone;
  {
    std::lock_guard<std::recursive_mutex> lock(output_mutex_);
    output_ = nullptr;
    gone = std::move(on_gone_);
    on_gone_ = nullptr;
    link_dropped_ = true;
  }
  scheduler_.CancelPending();
  // Outside the lock, as in the destructor.
  if (gone) gone();
}

bool SimReader::LinkDropped() const {
  std::lock_guard<std::recursive_mutex> lock(output_mutex_);
  return link_dropped_;
}

FaultState SimReader::Faults() const {
  FaultState faults;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    faults.silent = silent_;
    faults.bad_checksum = bad_checksum_;
    faults.remove_after = firmware_.GetField().RemoveAfterArmed();
  }
  faults.link_dropped = LinkDropped();
  return faults;
}

void SimReader::ClearFaults() {
  std::lock_guard<std::mutex> lock(mutex_);
  silent_ = false;
  bad_checksum_ = false;
  firmware_.GetField().RemoveAfterExchanges(std::nullopt);
}

// --- frame log and line -------------------------------------------------------------------------

void SimReader::SetFrameLog(FrameLogFn log) {
  std::lock_guard<std::mutex> lock(mutex_);
  frame_log_ = std::move(log);
}

bool SimReader::FrameLogOn() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<bool>(frame_log_);
}

void SimReader::SetLinkModel(std::optional<LinkModel> model) {
  std::lock_guard<std::mutex> lock(mutex_);
  link_model_ = model;
}

std::optional<LinkModel> SimReader::GetLinkModel() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return link_model_;
}

void SimReader::SetLineSettings(std::optional<LineSettings> line) {
  std::lock_guard<std::mutex> lock(mutex_);
  line_ = line;
}

std::optional<LineSettings> SimReader::Line() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return line_;
}

// --- observation --------------------------------------------------------------------------------

std::vector<ReceivedCommand> SimReader::ReceivedCommands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {log_.begin(), log_.end()};
}

std::vector<Bytes> SimReader::ReceivedFrames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Bytes> frames;
  frames.reserve(log_.size());
  for (const ReceivedCommand &command : log_) frames.push_back(command.frame);
  return frames;
}

size_t SimReader::CommandCount(uint8_t code) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = counts_.find(code);
  return found == counts_.end() ? 0 : found->second;
}

size_t SimReader::CommandCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return total_count_;
}

std::map<uint8_t, size_t> SimReader::CommandCounts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

size_t SimReader::DiscardedByteCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return discarded_;
}

std::vector<SimClock::time_point> SimReader::ReplyEndTimes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {reply_ends_.begin(), reply_ends_.end()};
}

std::optional<SimClock::time_point> SimReader::LastReplyEnd() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (reply_ends_.empty()) return std::nullopt;
  return reply_ends_.back();
}

bool SimReader::WaitUntilDelivered(SimClock::duration timeout) const {
  return scheduler_.WaitUntilIdle(timeout);
}

void SimReader::ClearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.clear();
  counts_.clear();
  total_count_ = 0;
  discarded_ = 0;
  reply_ends_.clear();
}

}  // namespace kovra_sim
