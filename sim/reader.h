// SimReader: an in-process simulated HF reader. A host feeds it the bytes it would write to a
// reader (Receive); the reader finds the command frames of its protocol family and bus address,
// lets its firmware (firmware.h) or the test's script answer them, frames the answers
// (frame_codec.h) and emits the reply bytes through the output callback, at once or, with a
// delay or splitting, from its delivery thread (delivery_scheduler.h).
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

#include "sim/command_map.h"
#include "sim/delivery_scheduler.h"
#include "sim/firmware.h"
#include "sim/frame_codec.h"
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

class SimReader {
 public:
  using OutputFn = std::function<void(const uint8_t *bytes, size_t count)>;

  explicit SimReader(SimReaderConfig config = {});
  // Stops the delivery thread (pending pieces are dropped), then calls the connected host's
  // on_gone, so that no delivery can reach a host that outlives the reader.
  ~SimReader();
  SimReader(const SimReader &) = delete;
  SimReader &operator=(const SimReader &) = delete;

  // --- the host side -------------------------------------------------------------------------
  // Connects a host (one at a time, like the one end of a cable) and returns the connection's
  // number. `output` receives every reply byte. `on_gone`, if given, is called once when the
  // reader stops serving this host without being asked: when another host connects, or from the
  // destructor. It runs outside the reader's locks.
  uint64_t Connect(OutputFn output, std::function<void()> on_gone = {});
  // Detaches the host of this connection; nothing if another host has connected since. When it
  // returns, no callback of the connection is running or will run.
  void Disconnect(uint64_t connection);
  // Bytes from the host, in any pieces. Complete frames are answered before it returns, or
  // handed to the delivery thread.
  void Receive(const uint8_t *bytes, size_t count);
  void Receive(const Bytes &bytes) { Receive(bytes.data(), bytes.size()); }

  // --- configuration -------------------------------------------------------------------------
  SimReaderConfig Config() const;
  // Changing family or address drops an unfinished frame.
  void SetFamily(int family);
  void SetAddress(uint8_t address);
  void SetVersion(std::string version);
  void SetSerialNumber(const std::array<uint8_t, 4> &serial_number);
  // Runs `use` on the firmware under the reader's lock: to add command handlers or read state.
  // `use`, and the handlers it adds, must not call the reader's methods.
  void WithFirmware(const std::function<void(Firmware &firmware)> &use);
  bool FieldOn() const;

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
  // Forgets every script, delay, split, garbage and silence, and drops replies not yet
  // delivered. Configuration, firmware state and the log stay.
  void ResetScript();

  // --- observation ---------------------------------------------------------------------------
  std::vector<ReceivedCommand> ReceivedCommands() const;
  // The raw bytes of every frame received (ReceivedCommands()[i].frame).
  std::vector<Bytes> ReceivedFrames() const;
  // How many commands for this reader arrived with this firmware code, or at all.
  size_t CommandCount(uint8_t code) const;
  size_t CommandCount() const;
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

  DeliveryScheduler scheduler_;  // last: its thread uses the members above
};

}  // namespace kovra_sim
