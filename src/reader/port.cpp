// CKOVRA_Port: one open reader port.
#include "reader/port.h"

#include <algorithm>

#include "kovra.h"
#include "reader/frame.h"
#include "reader/frame_log.h"
#include "reader/handle_pool.h"
#include "reader/trace.h"
#include "reader/wait.h"

namespace kovra {

CKOVRA_Port::CKOVRA_Port() = default;

CKOVRA_Port::~CKOVRA_Port() {
  CloseTransport();
}

void CKOVRA_Port::AttachTransport(std::unique_ptr<Transport> transport, HandlePool &handles) {
  CloseTransport();
  transport_ = std::move(transport);
  handle_pool_ = &handles;
  handle_.store(handles.Acquire());
}

int CKOVRA_Port::Handle() const {
  return transport_ && transport_->IsOpen() ? handle_.load() : 0;
}

void CKOVRA_Port::CloseTransport() {
  if (transport_) transport_->Close();
  // Given back only after the link is closed, so that the number is never named by two ports
  // that both answer to it.
  const int handle = handle_.exchange(0);
  if (handle != 0 && handle_pool_ != nullptr) handle_pool_->Release(handle);
}

void CKOVRA_Port::SetCardSession(std::unique_ptr<CardSession> session) {
  card_session_ = std::move(session);
}

void CKOVRA_Port::OnCardActivated() {
  if (card_session_) card_session_->OnCardActivated();
}

void CKOVRA_Port::OnBytesReceived(const uint8_t *bytes, size_t count) {
  // No bytes and no buffer: the transport's link changed (its device went away); a waiting
  // command wakes to look.
  if (count == 0 && bytes != nullptr) return;
  size_t dropped = 0;
  bool waiting = false;
  bool trace_drop = false;
  {
    std::lock_guard<std::mutex> lock(receive_lock_);
    waiting = awaiting_reply_;
    const size_t cap = waiting ? kMaxReplyBytes : kMaxIdleBytes;
    if (count > 0) {
      // What is over the cap cannot be part of a reply this port waits for: while a command
      // waits the buffer is given up and only the newest bytes stay (a reply may start in them);
      // while none waits the newest bytes are the ones that go.
      if (waiting && receive_buffer_.GetSize() + count > cap) {
        dropped += receive_buffer_.GetSize();
        receive_buffer_.RemoveAll();
      }
      if (waiting && count > cap) {
        dropped += count - cap;
        bytes += count - cap;
        count = cap;
      }
      const size_t room = cap - std::min(cap, receive_buffer_.GetSize());
      const size_t kept = std::min(room, count);
      receive_buffer_.Append(bytes, kept);
      dropped += count - kept;
    }
    if (dropped > 0) {
      dropped_bytes_ += dropped;
      trace_drop = !drop_traced_;
      drop_traced_ = true;
    }
    ++received_generation_;
  }
  received_.notify_all();
  // Outside the lock: a trace may take its own bounded time, and the link's thread is waiting.
  if (trace_drop) {
    // The handle number itself: Handle() looks at the transport, which may still be being
    // attached while its thread already delivers.
    trace::TraceFormatted("port %d: received bytes dropped, %s\r\n", handle_.load(),
                          waiting ? "more than a reply can hold" : "no command waits for them");
  }
}

uint64_t CKOVRA_Port::DroppedBytes() const {
  std::lock_guard<std::mutex> lock(receive_lock_);
  return dropped_bytes_;
}

CMyByteArray CKOVRA_Port::ReceivedBytes() const {
  std::lock_guard<std::mutex> lock(receive_lock_);
  return receive_buffer_;
}

bool CKOVRA_Port::Transceive() {
  last_error_.store(KOVRA_ERR_NONE);
  CMyByteArray frame = send_buffer_;
  send_buffer_.RemoveAll();
  const frame::BuiltFrame built =
      frame::BuildFrame(family_, static_cast<uint8_t>(bus_address_ & 0xFF), frame);
  if (built.error != 0) {
    last_error_.store(built.error);
    return false;
  }
  echo_byte_ = built.echo;

  {
    std::lock_guard<std::mutex> lock(receive_lock_);
    receive_buffer_.RemoveAll();
    awaiting_reply_ = true;
    drop_traced_ = false;
  }
  if (transport_ && transport_->DrainsBeforeSend()) {
    // Bounded: a device that never stops sending would otherwise keep the command from ever
    // being sent. What is left after this is dropped with the reply's leading garbage.
    constexpr int kMaxDrainReads = 256;
    uint8_t scrap[10];
    for (int i = 0; i < kMaxDrainReads && transport_->Read(scrap, sizeof scrap) > 0; ++i) {
    }
  }
  LogFrame('>', Handle(), frame.GetData(), frame.GetSize());
  // A transport whose link is gone drops the frame; the missing reply is the timeout the
  // caller sees.
  if (transport_) transport_->Write(frame.GetData(), frame.GetSize());

  if (WaitForReply()) return true;
  last_error_.store(KOVRA_ERR_TIMEOUT);
  return false;
}

bool CKOVRA_Port::ReplyCompleteLocked(bool &header_seen) {
  const size_t garbage =
      frame::LeadingGarbage(family_, receive_buffer_.GetData(), receive_buffer_.GetSize());
  if (garbage > 0) receive_buffer_.RemoveAt(0, garbage);
  if (receive_buffer_.GetSize() < frame::HeaderLength(family_)) return false;
  header_seen = true;
  return frame::CompleteLength(family_, receive_buffer_.GetData(), receive_buffer_.GetSize())
      .has_value();
}

void CKOVRA_Port::PollTransport() {
  uint8_t chunk[100];
  const size_t count = transport_->Read(chunk, sizeof chunk);
  OnBytesReceived(chunk, count);
}

bool CKOVRA_Port::WaitForReply() {
  const int handle = Handle();
  const bool background = background_mode_.load();
  const bool polled = transport_ && transport_->IsPolled();
  const bool with_handler = HasWaitHandler();
  CallWaitHandler(KOVRA_WAIT_BEGIN, handle, background);

  // The first phase (start byte and header) and the second (rest of the frame) each get the
  // full timeout; the second starts when the header is complete.
  Clock::time_point phase_start = Clock::now();
  bool header_seen = false;
  Clock::time_point next_tick = phase_start + kWaitTickInterval;
  bool complete = false;

  for (;;) {
    if (polled) PollTransport();
    // A link that closed itself (a HID or FTDI reader unplugged) will not answer: end now rather
    // than wait out the timeout.
    if (!transport_->IsOpen()) break;
    {
      std::unique_lock<std::mutex> lock(receive_lock_);
      const bool had_header = header_seen;
      complete = ReplyCompleteLocked(header_seen);
      const Clock::time_point now = Clock::now();
      if (!had_header && header_seen) phase_start = now;
      if (complete || PhaseExpired(now - phase_start, timeout_ms_)) break;

      Clock::time_point wake = PhaseDeadline(phase_start, timeout_ms_);
      if (with_handler) wake = std::min(wake, next_tick);
      if (polled) wake = std::min(wake, now + kPollInterval);
      const uint64_t seen = received_generation_;
      received_.wait_until(lock, wake, [&] { return received_generation_ != seen; });
    }
    if (with_handler && Clock::now() >= next_tick) {
      CallWaitHandler(KOVRA_WAIT_TICK, handle, background);
      next_tick = Clock::now() + kWaitTickInterval;
    }
  }

  {
    std::lock_guard<std::mutex> lock(receive_lock_);
    awaiting_reply_ = false;
    drop_traced_ = false;
  }
  CallWaitHandler(KOVRA_WAIT_END, handle, background);
  return complete;
}

bool CKOVRA_Port::ParseReply(CMyByteArray &data) {
  CMyByteArray reply;
  {
    std::lock_guard<std::mutex> lock(receive_lock_);
    reply = std::move(receive_buffer_);
    receive_buffer_.RemoveAll();
  }
  LogFrame('<', Handle(), reply.GetData(), reply.GetSize());
  const frame::ParseResult result =
      frame::ParseReply(family_, echo_byte_, reply.GetData(), reply.GetSize(), data);
  last_error_.store(result.error);
  return result.ok;
}

void CKOVRA_Port::LockCommand() {
  // Another thread's exchange may run; it ends within its own timeout, and meanwhile this thread
  // calls the wait handler as during a reply wait.
  const int handle = Handle();
  const bool background = background_mode_.load();
  command_lock_.Acquire(
      [&](CommandGate::Wait wait) {
        const int event = wait == CommandGate::Wait::kBegin  ? KOVRA_WAIT_BEGIN
                          : wait == CommandGate::Wait::kTick ? KOVRA_WAIT_TICK
                                                             : KOVRA_WAIT_END;
        CallWaitHandler(event, handle, background);
      },
      kWaitTickInterval);
}

bool CKOVRA_Port::RunOnCommandLink(CommandLink &link, uint8_t code, const uint8_t *data,
                                   size_t count, CMyByteArray &reply) {
  last_error_.store(KOVRA_ERR_NONE);
  const int handle = Handle();
  const bool background = background_mode_.load();
  CommandWait wait;
  wait.timeout_ms = timeout_ms_;
  if (HasWaitHandler()) {
    wait.tick = [handle, background] { CallWaitHandler(KOVRA_WAIT_TICK, handle, background); };
  }
  CMyByteArray command;
  command.Add(code);
  command.Append(data, count);
  LogFrame('>', handle, command.GetData(), command.GetSize());
  CallWaitHandler(KOVRA_WAIT_BEGIN, handle, background);
  std::vector<uint8_t> answer;
  const int error = link.RunCommand(code, data, count, answer, wait);
  CallWaitHandler(KOVRA_WAIT_END, handle, background);
  LogFrame('<', handle, answer.data(), answer.size());
  last_error_.store(error);
  if (error != KOVRA_ERR_NONE) return false;
  reply.Append(answer.data(), answer.size());
  return true;
}

bool CKOVRA_Port::Command(uint8_t code, const uint8_t *data, size_t count, CMyByteArray &reply) {
  LockCommand();
  const std::lock_guard<CommandGate> one_exchange(command_lock_, std::adopt_lock);
  if (CommandLink *link = transport_ ? transport_->Commands() : nullptr) {
    reply.RemoveAll();
    return RunOnCommandLink(*link, code, data, count, reply);
  }
  send_buffer_.RemoveAll();
  send_buffer_.Add(code);
  send_buffer_.Append(data, count);
  reply.RemoveAll();
  return Transceive() && ParseReply(reply);
}

}  // namespace kovra
