// Control lines as they come from a socket or a terminal: any bytes, in any pieces. The splitter
// and the interpreter must answer every line with one line and never crash, hang or grow without
// bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/control.h"
#include "sim/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  kovra_sim::SimReaderConfig config;
  config.uid_seed = 1;  // the same input does the same
  kovra_sim::SimReader reader(config);
  kovra_sim::ControlInterpreter control(reader, {[] {}, [](bool, const kovra_sim::Bytes &) {}, {}});
  kovra_sim::LineSplitter lines;
  // The first byte cuts the rest into two pieces, as a stream read may.
  const size_t cut = size == 0 ? 0 : data[0] % size;
  const auto *text = reinterpret_cast<const char *>(data);
  const auto answer = [&](std::string_view line, bool too_long) {
    const std::string reply =
        too_long ? kovra_sim::ControlInterpreter::TooLongAnswer() : control.Execute(line);
    if (reply.find('\n') != std::string::npos) std::abort();  // one line per answer
    const bool blank = line.find_first_not_of(" \t") == std::string_view::npos;
    if (reply.empty() != (blank && !too_long)) std::abort();  // an answer for every command
  };
  lines.Feed(text, cut, answer);
  lines.Feed(text + cut, size - cut, answer);
  if (lines.Buffered() > kovra_sim::LineSplitter::kMaxLine) std::abort();
  return 0;
}
