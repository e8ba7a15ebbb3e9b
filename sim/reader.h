// SimReader: an in-process simulated HF reader. A host feeds it the bytes it would write to a
// reader (Receive); the reader finds the command frames of its protocol family and bus address,
// lets its firmware (firmware.h, with the RF field and its card, field.h) or the test's script
// answer them, frames the answers (frame_codec.h) and emits the reply bytes through the output
// callback, at once or, with a delay, splitting or the link model, from its delivery thread
// (delivery_scheduler.h). A reader answers only frames of its own family and ignores the rest,
// as a real reader does; that is what a host's search for the family meets.
//
// Threads: every method may be called from any thread; Receive is meant for one host thread at a
// time, as a serial line has one writer. The output callback runs on the thread that called
// Receive (replies without delay or splitting, when nothing is still being delivered) or on the
// delivery thread. It may call the reader's methods, but must not call Connect or Disconnect.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/cards.h"
#include "sim/clock.h"
#include "sim/command_map.h"
#include "sim/delivery_scheduler.h"
#include "sim/field.h"
#include "sim/firmware.h"
#include "sim/frame_codec.h"
#include "sim/host_side.h"
#include "sim/link_model.h"
#include "sim/reply.h"

namespace kovra_sim {

struct SimReaderConfig {
  int family = 0;       // protocol family 0..3
  uint8_t address = 1;  // bus address; families 0 and 1 answer only frames carrying it
  std::string version = "1234";
  std::array<uint8_t, 4> serial_number = {0x12, 0x34, 0x56, 0x78};
  // An unfinished frame is dropped when the next bytes arrive after a pause longer than this.
  std::chrono::milliseconds stale_after{50};
  // The log of received commands and of reply times keeps the newest this many entries; the
  // command counts are never cut.
  size_t log_limit = 100000;
  // Family 2: the answer to the version command with data "FV"; nothing: the version text.
  std::optional<std::string> follow_up_version;
  // Family 0: card answers longer than this are handed out in parts (0: never cut).
  size_t exchange_part_size = 64;
  // The clock of the card field (card flows); empty: the steady clock.
  NowFn field_clock;
  // Seed of the fresh card UIDs; nothing: a random seed.
  std::optional<uint32_t> uid_seed;
};

// The faults armed on a reader (see the fault section of SimReader).
struct FaultState {
  bool silent = false;
  bool bad_checksum = false;
  std::optional<size_t> remove_after;  // exchanges left before the card is taken away
  bool link_dropped = false;
};

// One command frame of the reader's family as it arrived.
struct ReceivedCommand {
  Bytes frame;                  // raw bytes of the frame
  uint8_t address = 0;          // families 0 and 1
  bool for_this_reader = true;  // false: a family-0 frame for another bus address (not answered)
  uint8_t wire_code = 0;        // the command byte on the wire
  // The firmware command (command_map.h); nothing when the family does not know the wire code.
  std::optional<uint8_t> code;
  Bytes data;                       // the firmware command's data (translation undone)
  std::optional<uint8_t> inserted;  // families 2 and 3, command 0x20: the parameter byte
  SimClock::time_point at{};        // when the frame was complete
};

class SimReader : public HostSide {
 public:
  // Sees every frame: from_host true for a command frame as it arrived, false for the reply bytes
  // as they go out (leading garbage and faults included), when they are made.
  using FrameLogFn = std::function<void(bool from_host, const Bytes &bytes)>;

  explicit SimReader(SimReaderConfig config = {});
  // Stops the delivery thread (pending pieces are dropped), then calls the connected host's
  // on_gone, so that no delivery can reach a host that outlives the reader.
  ~SimReader() override;
  SimReader(const SimReader &) = delete;
  SimReader &operator=(const SimReader &) = delete;

  // --- the host side -------------------------------------------------------------------------
  // Connects a host (one at a time, like the one end of a cable) and returns the connection's
  // number. `output` receives every reply byte. `on_gone`, if given, is called once when the
  // reader stops serving this host without being asked: when another host connects, when the
  // link is dropped (DropLink), or from the destructor. It runs outside the reader's locks.
  // Connecting clears the link-dropped state.
  uint64_t Connect(OutputFn output, std::function<void()> on_gone = {}) override;
  // Detaches the host of this connection; nothing if another host has connected since. When it
  // returns, no callback of the connection is running or will run.
  void Disconnect(uint64_t connection) override;
  // Bytes from the host, in any pieces. Complete frames are answered before it returns, or
  // handed to the delivery thread.
  void Receive(const uint8_t *bytes, size_t count) override;
  void Receive(const Bytes &bytes) { Receive(bytes.data(), bytes.size()); }

  // --- configuration -------------------------------------------------------------------------
  SimReaderConfig Config() const;
  // Changing family or address drops an unfinished frame.
  void SetFamily(int family);
  void SetAddress(uint8_t address);
  void SetVersion(std::string version);
  void SetSerialNumber(const std::array<uint8_t, 4> &serial_number);
  void SetFollowUpVersion(std::optional<std::string> answer);
  void SetExchangePartSize(size_t part_size);
  // Runs `use` on the firmware under the reader's lock: to add command handlers or read state.
  // `use`, and the handlers it adds, must not call the reader's methods.
  void WithFirmware(const std::function<void(Firmware &firmware)> &use);
  bool FieldOn() const;

  // --- the card field (field.h) -------------------------------------------------------------
  // Places a new card of the kind (made by the field's card maker) with `uid` or a fresh random
  // one, and returns it; the card lying there leaves.
  std::shared_ptr<Card> PlaceCard(CardKind kind, std::optional<Bytes> uid = std::nullopt);
  // Places this card (a test's own Iso14443Card, say); null empties the field.
  void PlaceCard(std::shared_ptr<Card> card);
  void RemoveCard();
  void FeedCards(const FeedPlan &plan);
  // Brings the last `count` cards that left the field back (Field::FeedAgain); how many come.
  size_t FeedCardsAgain(size_t count, const FeedPlan &plan);
  // The cards that have left the field, oldest first.
  std::vector<LeftCard> CardHistory();
  // The card in the field now; null when empty.
  std::shared_ptr<Card> CardInField();
  // Runs `use` on the field under the reader's lock; it must not call the reader's methods.
  void WithField(const std::function<void(Field &field)> &use);

  // --- scripting -----------------------------------------------------------------------------
  // Which answer a command gets, first match wins:
  //   1. silence (SetSilent): nothing, and no script is used up;
  //   2. the oldest raw reply (PushRawReply), whatever the command;
  //   3. the oldest one-shot reply for the command (PushReply);
  //   4. the fixed reply for the command (SetFixedReply);
  //   5. the firmware.
  // Codes are firmware commands (0xF0 is the version command in every family). Scripted replies
  // stand in for the firmware: its state does not change. Leading garbage goes in front of
  // every framed reply; delay and splitting apply to raw replies too.

  void SetFixedReply(uint8_t code, Reply reply);
  void ClearFixedReply(uint8_t code);
  void PushReply(uint8_t code, Reply reply);
  // Answers the next command with exactly these bytes (broken frames); empty bytes answer it
  // with silence.
  void PushRawReply(Bytes bytes);
  // The next exchange (0x45) is answered with the first part and status 0x20 (more data), each
  // following 0x46 with the next part, the last one with success. One part: a plain success.
  void ScriptExchangeInParts(const std::vector<Bytes> &parts);
  // Each reply goes out this long after its command arrived (0: at once).
  void SetReplyDelay(SimClock::duration delay);
  // Replies go out in pieces of `piece_size` bytes with `gap` between pieces (0: in one piece).
  void SetSplit(size_t piece_size, SimClock::duration gap);
  void SetLeadingGarbage(Bytes garbage);
  void SetSilent(bool silent);
  // Forgets every script, delay, split, garbage, silence and armed fault (not a dropped link),
  // and drops replies not yet delivered. Configuration, firmware state, the field and the log
  // stay.
  void ResetScript();

  // --- faults --------------------------------------------------------------------------------
  // Silence is SetSilent above. The next framed reply (not a raw one) goes out with a wrong
  // check: families 0 and 1 get their last check byte inverted; in families 2 and 3, which have
  // no check, the reply goes out unchanged and the fault is used up all the same.
  void CorruptNextChecksum();
  // The card in the field is taken away after this many more exchanges, the last of them still
  // answered (0: at once); std::nullopt disarms.
  void RemoveCardAfterExchanges(std::optional<size_t> exchanges);
  // Pulls the cable: the connected host is detached and its on_gone called (a pty server closes
  // its master there), replies not yet delivered are dropped. A new Connect plugs in again.
  void DropLink();
  bool LinkDropped() const;
  FaultState Faults() const;
  // Disarms silence, the checksum fault and the remove-after fault.
  void ClearFaults();

  // --- frame log and line --------------------------------------------------------------------
  // An empty function switches the log off. The log runs outside the reader's locks, on the
  // thread that called Receive.
  void SetFrameLog(FrameLogFn log);
  bool FrameLogOn() const;
  // The link model (link_model.h); nothing switches it off (the default).
  void SetLinkModel(std::optional<LinkModel> model);
  std::optional<LinkModel> GetLinkModel() const;
  // The settings a host chose for its line, as the transport in front of the reader sees them
  // (a pty server sets them); the link model takes the baud rate from here.
  void SetLineSettings(std::optional<LineSettings> line) override;
  std::optional<LineSettings> Line() const;

  // --- observation ---------------------------------------------------------------------------
  std::vector<ReceivedCommand> ReceivedCommands() const;
  // The raw bytes of every frame received (ReceivedCommands()[i].frame).
  std::vector<Bytes> ReceivedFrames() const;
  // How many commands for this reader arrived with this firmware code, or at all.
  size_t CommandCount(uint8_t code) const;
  size_t CommandCount() const;
  // The count of every firmware code seen, by code.
  std::map<uint8_t, size_t> CommandCounts() const;
  // Bytes thrown away while looking for frames (noise, broken frames, foreign frames in family 1).
  size_t DiscardedByteCount() const;
  // When the last byte of each reply was handed to the output (taken just before the call).
  std::vector<SimClock::time_point> ReplyEndTimes() const;
  std::optional<SimClock::time_point> LastReplyEnd() const;
  // Waits until every reply has been delivered or the timeout has passed; true when delivered.
  bool WaitUntilDelivered(SimClock::duration timeout) const;
  // Forgets received commands, counts, discarded bytes and reply times.
  void ClearLog();

 private:
  // The bytes that answer one frame; empty for silence. Called under mutex_.
  Bytes AnswerLocked(const CommandFrame &frame, const std::optional<FirmwareCommand> &command);
  void LogLocked(ReceivedCommand command);
  void RebuildDecoderLocked();
  // Sends a reply now or through the scheduler, by the delivery settings taken with it.
  void Deliver(Bytes reply, SimClock::time_point arrival, SimClock::duration delay,
               size_t piece_size, SimClock::duration gap);
  // The link model's time for one answered command (zero without a model); keeps track of the
  // card command that a DESFire 0xAF frame continues. Called under mutex_.
  SimClock::duration ModelledTimeLocked(const CommandFrame &frame,
                                        const std::optional<FirmwareCommand> &command,
                                        size_t reply_bytes);
  // Framing with the leading garbage and the checksum fault. Called under mutex_.
  Bytes FrameLocked(uint8_t status, const Reply &reply);
  void Emit(const uint8_t *bytes, size_t count, bool ends_reply);

  mutable std::mutex mutex_;  // everything below except the output and the scheduler
  SimReaderConfig config_;
  Firmware firmware_;
  CommandDecoder decoder_;
  size_t decoder_discards_seen_ = 0;
  size_t discarded_ = 0;

  std::map<uint8_t, Reply> fixed_replies_;
  std::map<uint8_t, std::deque<Reply>> one_shot_replies_;
  std::deque<Bytes> raw_replies_;
  SimClock::duration delay_{0};
  size_t piece_size_ = 0;
  SimClock::duration gap_{0};
  Bytes garbage_;
  bool silent_ = false;
  bool bad_checksum_ = false;
  FrameLogFn frame_log_;
  std::optional<LinkModel> link_model_;
  std::optional<LineSettings> line_;
  std::optional<uint8_t> last_card_command_;  // the last exchanged block's code that was not 0xAF

  std::deque<ReceivedCommand> log_;
  std::map<uint8_t, size_t> counts_;
  size_t total_count_ = 0;
  std::deque<SimClock::time_point> reply_ends_;

  // Held while the output runs, so that Disconnect can wait for it; recursive because the
  // output may feed the reader again on the same thread.
  mutable std::recursive_mutex output_mutex_;
  OutputFn output_;
  std::function<void()> on_gone_;
  uint64_t connection_ = 0;  // the number of the current connection
  bool link_dropped_ = false;

  DeliveryScheduler scheduler_;  // last: its thread uses the members above
};

}  // namespace kovra_sim
