// The simulator's control language: one command per line, one answer line per command.
#include "sim/control.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "sim/json.h"
#include "sim/state_json.h"

namespace kovra_sim {
namespace {

constexpr size_t kMaxEchoed = 40;         // bytes of the input quoted in an error
constexpr size_t kMaxVersionLength = 32;  // a version text is 4 characters on a real reader
constexpr uint64_t kMaxFeedCount = 100000;
constexpr uint64_t kMaxMilliseconds = 3600000;
constexpr const char *kHelp =
    "ok commands: place KIND [uid=HEX] | remove | feed N [leave=MS] [gap=MS] [kind=KIND] | again N "
    "[leave=MS] [gap=MS] | state "
    "| log on|off | fault none|silent|bad-checksum|remove-after K|drop-link | family N | "
    "version TEXT | fv TEXT | help | quit; KIND: desfire|iso|classic1k|classic4k|ultralight";

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    size_t end = at;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    if (end > at) words.push_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

// The word as it may appear in an answer: printable ASCII as it is, other bytes as \xNN, cut
// after kMaxEchoed bytes.
std::string Quoted(std::string_view word) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text = "'";
  for (size_t i = 0; i < word.size() && i < kMaxEchoed; ++i) {
    const auto byte = static_cast<unsigned char>(word[i]);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      text += static_cast<char>(byte);
    } else {
      text += "\\x";
      text += kDigits[byte >> 4];
      text += kDigits[byte & 0x0F];
    }
  }
  if (word.size() > kMaxEchoed) text += "...";
  return text + "'";
}

std::string Error(const std::string &what) {
  return "error: " + what;
}

std::optional<uint64_t> Decimal(std::string_view word, uint64_t max) {
  uint64_t value = 0;
  const char *end = word.data() + word.size();
  const auto [stop, failure] = std::from_chars(word.data(), end, value);
  if (word.empty() || failure != std::errc() || stop != end || value > max) return std::nullopt;
  return value;
}

std::optional<Bytes> HexBytes(std::string_view word) {
  if (word.empty() || word.size() % 2 != 0) return std::nullopt;
  Bytes bytes;
  for (size_t i = 0; i < word.size(); i += 2) {
    uint8_t value = 0;
    const char *begin = word.data() + i;
    const auto [stop, failure] = std::from_chars(begin, begin + 2, value, 16);
    if (failure != std::errc() || stop != begin + 2) return std::nullopt;
    bytes.push_back(value);
  }
  return bytes;
}

// "key=value": the value when the word starts with the key and '='.
std::optional<std::string_view> Option(std::string_view word, std::string_view key) {
  if (word.size() <= key.size() || word.substr(0, key.size()) != key || word[key.size()] != '=') {
    return std::nullopt;
  }
  return word.substr(key.size() + 1);
}

bool PrintableWord(std::string_view word) {
  for (const char c : word) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) return false;
  }
  return !word.empty();
}

constexpr const char *kKinds = "desfire|iso|classic1k|classic4k|ultralight";

std::string Place(SimReader &reader, const std::vector<std::string_view> &words) {
  const std::string usage = std::string("usage: place ") + kKinds + " [uid=HEX]";
  if (words.size() < 2 || words.size() > 3) return Error(usage);
  const std::optional<CardKind> kind = CardKindFromName(words[1]);
  if (!kind) return Error("unknown card kind " + Quoted(words[1]) + "; " + usage);
  std::optional<Bytes> uid;
  if (words.size() == 3) {
    const std::optional<std::string_view> hex = Option(words[2], "uid");
    if (!hex) return Error(usage);
    uid = HexBytes(*hex);
    if (!uid || (uid->size() != 4 && uid->size() != 7 && uid->size() != 10)) {
      return Error("uid must be 4, 7 or 10 bytes in hex, not " + Quoted(*hex));
    }
  }
  const std::shared_ptr<Card> card = reader.PlaceCard(*kind, std::move(uid));
  return "ok uid=" + HexString(card->Uid());
}

// "feed N ..." brings fresh cards, "again N ..." the last N cards that left the field.
std::string Feed(SimReader &reader, const std::vector<std::string_view> &words) {
  const bool again = words[0] == "again";
  const std::string usage = again ? "usage: again N [leave=MS] [gap=MS]"
                                  : "usage: feed N [leave=MS] [gap=MS] [kind=KIND]";
  if (words.size() < 2) return Error(usage);
  const std::optional<uint64_t> count = Decimal(words[1], kMaxFeedCount);
  if (!count || *count == 0) {
    return Error("N must be 1.." + std::to_string(kMaxFeedCount) + ", not " + Quoted(words[1]));
  }
  FeedPlan plan;
  plan.count = static_cast<size_t>(*count);
  for (size_t i = 2; i < words.size(); ++i) {
    if (const auto leave = Option(words[i], "leave")) {
      // At least 1 ms: a card that leaves the moment it arrives cannot be seen by anybody.
      const std::optional<uint64_t> ms = Decimal(*leave, kMaxMilliseconds);
      if (!ms || *ms == 0) return Error("leave must be 1..3600000 ms, not " + Quoted(*leave));
      plan.leave_after = std::chrono::milliseconds(*ms);
    } else if (const auto gap = Option(words[i], "gap")) {
      const std::optional<uint64_t> ms = Decimal(*gap, kMaxMilliseconds);
      if (!ms) return Error("gap must be 0..3600000 ms, not " + Quoted(*gap));
      plan.gap = std::chrono::milliseconds(*ms);
    } else if (const auto kind_name = again ? std::nullopt : Option(words[i], "kind")) {
      const std::optional<CardKind> kind = CardKindFromName(*kind_name);
      if (!kind) return Error("unknown card kind " + Quoted(*kind_name));
      plan.kind = *kind;
    } else {
      return Error("unknown option " + Quoted(words[i]) + "; " + usage);
    }
  }
  if (again) {
    const size_t coming = reader.FeedCardsAgain(plan.count, plan);
    if (coming == 0) return Error("no card has left the field yet");
    return "ok " + std::to_string(coming);
  }
  reader.FeedCards(plan);
  return "ok";
}

std::string Fault(SimReader &reader, const std::vector<std::string_view> &words,
                  ControlExtension *extension) {
  const std::string usage = "usage: fault none|silent|bad-checksum|remove-after K|drop-link" +
                            std::string(extension ? "|..." : "");
  if (words.size() < 2) return Error(usage);
  if (extension) {
    if (std::optional<std::string> answer = extension->Fault(words)) return *answer;
  }
  const std::string_view what = words[1];
  if (what == "remove-after") {
    if (words.size() != 3) return Error("usage: fault remove-after K");
    const std::optional<uint64_t> k = Decimal(words[2], 1000000000);
    if (!k) return Error("K must be a number of exchanges, not " + Quoted(words[2]));
    reader.RemoveCardAfterExchanges(static_cast<size_t>(*k));
    return "ok";
  }
  if (words.size() != 2) return Error(usage);
  if (what == "none") {
    reader.ClearFaults();
    if (extension) extension->ClearFaults();
  } else if (what == "silent") {
    reader.SetSilent(true);
  } else if (what == "bad-checksum") {
    const int family = reader.Config().family;
    if (family >= 2) {
      return Error("family " + std::to_string(family) + " replies carry no checksum");
    }
    reader.CorruptNextChecksum();
  } else if (what == "drop-link") {
    reader.DropLink();
  } else {
    return Error("unknown fault " + Quoted(what) + "; " + usage);
  }
  return "ok";
}

}  // namespace

void LineSplitter::Feed(const char *bytes, size_t count, const OnLine &on_line) {
  for (size_t i = 0; i < count; ++i) {
    const char c = bytes[i];
    if (c == '\n') {
      if (too_long_) {
        on_line({}, true);
      } else {
        std::string_view line = buffer_;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        on_line(line, false);
      }
      buffer_.clear();
      too_long_ = false;
    } else if (!too_long_) {
      if (buffer_.size() >= kMaxLine) {
        too_long_ = true;
        buffer_.clear();
      } else {
        buffer_ += c;
      }
    }
  }
}

ControlInterpreter::ControlInterpreter(SimReader &reader, ControlHooks hooks)
    : reader_(reader), hooks_(std::move(hooks)) {}

std::string ControlInterpreter::TooLongAnswer() {
  return Error("line too long (at most " + std::to_string(LineSplitter::kMaxLine) + " bytes)");
}

std::string ControlInterpreter::Execute(std::string_view line) {
  const std::vector<std::string_view> words = Words(line);
  if (words.empty()) return {};
  const std::string_view command = words[0];
  const size_t extra = words.size() - 1;

  if (command == "place") return Place(reader_, words);
  if (command == "feed" || command == "again") return Feed(reader_, words);
  if (command == "fault") return Fault(reader_, words, hooks_.extension);
  if (command == "remove") {
    if (extra != 0) return Error("usage: remove");
    reader_.RemoveCard();
    return "ok";
  }
  if (command == "state") {
    if (extra != 0) return Error("usage: state");
    if (hooks_.line) reader_.SetLineSettings(hooks_.line());
    return StateJson(reader_);
  }
  if (command == "log") {
    if (extra != 1 || (words[1] != "on" && words[1] != "off")) return Error("usage: log on|off");
    if (words[1] == "on") {
      reader_.SetFrameLog(hooks_.frame_log ? hooks_.frame_log : StderrFrameLog());
    } else {
      reader_.SetFrameLog({});
    }
    return "ok";
  }
  if (command == "family") {
    const std::optional<uint64_t> family = extra == 1 ? Decimal(words[1], 3) : std::nullopt;
    if (!family) return Error("usage: family 0|1|2|3");
    reader_.SetFamily(static_cast<int>(*family));
    return "ok";
  }
  if (command == "version" || command == "fv") {
    const std::string usage = "usage: " + std::string(command) + " TEXT (1.." +
                              std::to_string(kMaxVersionLength) + " printable characters)";
    if (extra != 1 || !PrintableWord(words[1]) || words[1].size() > kMaxVersionLength) {
      return Error(usage);
    }
    if (command == "version") {
      reader_.SetVersion(std::string(words[1]));
    } else {
      reader_.SetFollowUpVersion(std::string(words[1]));
    }
    return "ok";
  }
  if (command == "help") {
    return kHelp + (hooks_.extension ? hooks_.extension->Help() : std::string());
  }
  if (command == "quit") {
    if (extra != 0) return Error("usage: quit");
    if (hooks_.quit) hooks_.quit();
    return "ok";
  }
  if (hooks_.extension) {
    if (std::optional<std::string> answer = hooks_.extension->Command(words)) return *answer;
  }
  return Error("unknown command " + Quoted(command) + "; try help");
}

SimReader::FrameLogFn StderrFrameLog() {
  return [](bool from_host, const Bytes &bytes) {
    std::string line = from_host ? "rx" : "tx";
    static const char kDigits[] = "0123456789ABCDEF";
    for (const uint8_t byte : bytes) {
      line += ' ';
      line += kDigits[byte >> 4];
      line += kDigits[byte & 0x0F];
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
  };
}

}  // namespace kovra_sim
