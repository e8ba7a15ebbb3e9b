// The simulator's control language: one command per line, one answer line per command. Tests and
// people use it over the control socket or a terminal (control_server.h).
//
//   place desfire|iso|classic1k|classic4k|ultralight [uid=HEX]   ok uid=HEX
//   remove                                                       ok
//   feed N [leave=MS] [gap=MS] [kind=KIND]                       ok
//        N fresh cards (default kind desfire), each leaving MS after its last exchange
//        (default 300), the next arriving MS later (default 200)
//   state                                                        one line of JSON (state_json.h)
//   log on|off                                                   ok   (hex frame log on stderr)
//   fault none|silent|bad-checksum|remove-after K|drop-link      ok
//   family N                                                     ok   (0..3)
//   version TEXT                                                 ok
//   fv TEXT                                                      ok   (family 2 follow-up answer)
//   help                                                         ok followed by the commands
//   (a front end beside the reader adds faults and commands: ControlExtension)
//   quit                                                         ok, then the program ends
//
// Anything wrong is answered "error: <what is wrong>". Blank lines are no command and get no
// answer. Words are separated by spaces or tabs; a line ends with LF, a CR before it is dropped.
// Input comes from outside: any bytes, any length, must give an answer and never harm the
// simulator; bytes of the input that are echoed in an error are escaped.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/reader.h"

namespace kovra_sim {

// Cuts a byte stream into lines. Not thread-safe; one per input stream.
class LineSplitter {
 public:
  static constexpr size_t kMaxLine = 4096;
  using OnLine = std::function<void(std::string_view line, bool too_long)>;

  // Calls `on_line` for each line the bytes complete, in order, without its line end. A line
  // longer than kMaxLine is reported once, with an empty text and too_long set, when its end
  // arrives; its bytes are not kept.
  void Feed(const char *bytes, size_t count, const OnLine &on_line);
  // Bytes of an unfinished line (at most kMaxLine).
  size_t Buffered() const { return buffer_.size(); }

 private:
  std::string buffer_;
  bool too_long_ = false;
};

// Faults and commands of what serves the reader besides the reader itself (the network reader:
// lan_control.h). Called on the interpreter's thread.
class ControlExtension {
 public:
  virtual ~ControlExtension() = default;
  // The answer to `fault WORDS...` when the first word names one of its faults; nothing when it
  // does not.
  virtual std::optional<std::string> Fault(const std::vector<std::string_view> &words) = 0;
  // `fault none` clears its faults as well.
  virtual void ClearFaults() = 0;
  // The answer to a command of its own; nothing when words[0] is not one of its commands.
  virtual std::optional<std::string> Command(const std::vector<std::string_view> &words) = 0;
  // Its part of the `help` answer: " | command ..." and its fault words.
  virtual std::string Help() const = 0;
};

struct ControlHooks {
  // Called for `quit` before Execute returns "ok"; the caller still writes that answer, so the
  // hook must only ask for the end (the program signals its main thread).
  std::function<void()> quit;
  // What `log on` installs; empty: hex lines on stderr ("rx 02 01 F0 00 F1" / "tx ...").
  SimReader::FrameLogFn frame_log;
  // The line settings as they are now (a pty server's Line()); `state` hands them to the reader
  // first. Empty: the reader's own, as last set.
  std::function<std::optional<LineSettings>()> line;
  // Faults and commands besides the reader's; not owned, must outlive the interpreter.
  ControlExtension *extension = nullptr;
};

// Not thread-safe; one caller at a time (the control server's thread).
class ControlInterpreter {
 public:
  ControlInterpreter(SimReader &reader, ControlHooks hooks = {});

  // The answer to one line (without line end); empty for a blank line.
  std::string Execute(std::string_view line);
  // The answer to a line that was too long.
  static std::string TooLongAnswer();

 private:
  SimReader &reader_;
  ControlHooks hooks_;
};

// The frame log `log on` installs by default: one line per frame on stderr.
SimReader::FrameLogFn StderrFrameLog();

}  // namespace kovra_sim
