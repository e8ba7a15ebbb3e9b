// kovra-sim: a simulated HF reader (and the card in its field) served on a pseudo-terminal, with a
// text control interface. At start it prints exactly two lines on stdout,
//   pty: /dev/pts/N
//   control: PATH
// then serves until the control command `quit`, SIGINT or SIGTERM.
#include <getopt.h>
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "sim/control.h"
#include "sim/control_server.h"
#include "sim/pty_server.h"
#include "sim/reader.h"

namespace {

using kovra_sim::CardKind;

constexpr const char *kUsage =
    "usage: kovra-sim [options]\n"
    "  --family N         protocol family 0..3 (default 0)\n"
    "  --address N        bus address 0..255 (default 1)\n"
    "  --version TEXT     version answer (default 1234)\n"
    "  --fv TEXT          family 2: answer to the follow-up version command \"FV\"\n"
    "  --card KIND        card in the field at start: desfire|iso|classic1k|classic4k|ultralight\n"
    "  --control PATH     control socket (default $XDG_RUNTIME_DIR or /tmp, kovra-sim-<pid>.ctl)\n"
    "  --stdin            also take control commands from stdin (default: when it is a terminal)\n"
    "  --log-frames       hex log of every frame on stderr (control: log on|off)\n"
    "  --link-baud N      model the line's time at N baud (0: the baud rate the host set)\n"
    "  --per-command-us N model N microseconds per card exchange\n"
    "  --card-times SET   typical: model each DESFire command's typical card time (others\n"
    "                     take --per-command-us); none (default): --per-command-us for all\n"
    "  --help             this text\n"
    "Prints 'pty: PATH' and 'control: PATH' on stdout, then serves until 'quit', SIGINT or "
    "SIGTERM.\n";

struct Options {
  kovra_sim::SimReaderConfig reader;
  std::optional<CardKind> card;
  std::string control_path;
  bool stdin_control = false;
  bool log_frames = false;
  std::optional<unsigned> link_baud;
  std::optional<unsigned> per_command_us;
  bool typical_card_times = false;
};

std::optional<unsigned> Number(const char *text, unsigned max) {
  unsigned value = 0;
  const char *end = text + std::strlen(text);
  const auto [stop, failure] = std::from_chars(text, end, value);
  if (text == end || failure != std::errc() || stop != end || value > max) return std::nullopt;
  return value;
}

bool GoodText(std::string_view text) {
  if (text.empty() || text.size() > 32) return false;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      return false;
    }
  }
  return true;
}

// Parses the command line; exits with 0 after --help and with 2 on a bad option.
Options Parse(int argc, char **argv) {
  enum {
    kFamily = 1,
    kAddress,
    kVersion,
    kFv,
    kCard,
    kControl,
    kStdin,
    kLog,
    kBaud,
    kPerCommand,
    kCardTimes,
    kHelp
  };
  static const option kLong[] = {
      {"family", required_argument, nullptr, kFamily},
      {"address", required_argument, nullptr, kAddress},
      {"version", required_argument, nullptr, kVersion},
      {"fv", required_argument, nullptr, kFv},
      {"card", required_argument, nullptr, kCard},
      {"control", required_argument, nullptr, kControl},
      {"stdin", no_argument, nullptr, kStdin},
      {"log-frames", no_argument, nullptr, kLog},
      {"link-baud", required_argument, nullptr, kBaud},
      {"per-command-us", required_argument, nullptr, kPerCommand},
      {"card-times", required_argument, nullptr, kCardTimes},
      {"help", no_argument, nullptr, kHelp},
      {nullptr, 0, nullptr, 0},
  };
  Options options;
  auto bad = [](const std::string &what) {
    std::fprintf(stderr, "kovra-sim: %s\n%s", what.c_str(), kUsage);
    std::exit(2);
  };
  for (;;) {
    const int option = ::getopt_long(argc, argv, "", kLong, nullptr);
    if (option == -1) break;
    switch (option) {
      case kFamily: {
        const auto family = Number(optarg, 3);
        if (!family) bad("--family takes 0..3");
        options.reader.family = static_cast<int>(*family);
        break;
      }
      case kAddress: {
        const auto address = Number(optarg, 255);
        if (!address) bad("--address takes 0..255");
        options.reader.address = static_cast<uint8_t>(*address);
        break;
      }
      case kVersion:
        if (!GoodText(optarg)) bad("--version takes 1..32 printable characters");
        options.reader.version = optarg;
        break;
      case kFv:
        if (!GoodText(optarg)) bad("--fv takes 1..32 printable characters");
        options.reader.follow_up_version = std::string(optarg);
        break;
      case kCard:
        options.card = kovra_sim::CardKindFromName(optarg);
        if (!options.card) bad(std::string("unknown card kind: ") + optarg);
        break;
      case kControl:
        options.control_path = optarg;
        break;
      case kStdin:
        options.stdin_control = true;
        break;
      case kLog:
        options.log_frames = true;
        break;
      case kBaud:
        options.link_baud = Number(optarg, 100000000);
        if (!options.link_baud) bad("--link-baud takes a baud rate (0: the line's)");
        break;
      case kPerCommand:
        options.per_command_us = Number(optarg, 100000000);
        if (!options.per_command_us) bad("--per-command-us takes microseconds");
        break;
      case kCardTimes:
        if (std::strcmp(optarg, "typical") != 0 && std::strcmp(optarg, "none") != 0) {
          bad("--card-times takes typical or none");
        }
        options.typical_card_times = std::strcmp(optarg, "typical") == 0;
        break;
      case kHelp:
        std::fputs(kUsage, stdout);
        std::exit(0);
      default:
        bad("unknown option");
    }
  }
  if (optind < argc) bad(std::string("unexpected argument: ") + argv[optind]);
  if (options.control_path.empty()) options.control_path = kovra_sim::DefaultControlPath();
  // A terminal only when this program is in its foreground: started in the background of an
  // interactive shell it would be stopped (SIGTTIN) by its first read.
  if (!options.stdin_control) {
    options.stdin_control = ::isatty(STDIN_FILENO) == 1 && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
  }
  return options;
}

}  // namespace

int main(int argc, char **argv) {
  const Options options = Parse(argc, argv);

  // SIGINT and SIGTERM are taken by sigwait below; blocked before any thread starts, so that
  // every thread inherits the mask. Writes to vanished peers give errors, not SIGPIPE.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Moved to the background later, a read from the terminal fails (EIO) instead of stopping the
  // simulator; it then serves on without stdin.
  signal(SIGTTIN, SIG_IGN);

  kovra_sim::SimReader reader(options.reader);
  if (options.card) reader.PlaceCard(*options.card);
  if (options.log_frames) reader.SetFrameLog(kovra_sim::StderrFrameLog());
  if (options.link_baud || options.per_command_us || options.typical_card_times) {
    kovra_sim::LinkModel model;
    model.baud = options.link_baud.value_or(0);
    model.per_exchange = std::chrono::microseconds(options.per_command_us.value_or(0));
    if (options.typical_card_times) model.card_times = kovra_sim::TypicalCardTimes();
    reader.SetLinkModel(model);
  }

  kovra_sim::PtyServer pty(reader);
  std::string error;
  if (!pty.Start(&error)) {
    std::fprintf(stderr, "kovra-sim: %s\n", error.c_str());
    return 1;
  }

  // `quit` and the end of stdin ask the main thread to finish, the way a signal does.
  const auto request_end = [] { ::kill(::getpid(), SIGTERM); };
  kovra_sim::ControlInterpreter interpreter(reader,
                                            {request_end, {}, [&pty] { return pty.Line(); }});
  kovra_sim::ControlServer control(interpreter);
  if (!control.Listen(options.control_path, &error)) {
    std::fprintf(stderr, "kovra-sim: %s\n", error.c_str());
    return 1;
  }
  if (options.stdin_control) control.AddStream(STDIN_FILENO, STDOUT_FILENO, request_end);

  std::printf("pty: %s\ncontrol: %s\n", pty.Path().c_str(), control.Path().c_str());
  std::fflush(stdout);
  if (!control.Start(&error)) {
    std::fprintf(stderr, "kovra-sim: %s\n", error.c_str());
    return 1;
  }

  int signal_number = 0;
  while (sigwait(&stop_signals, &signal_number) != 0) {
  }
  control.Stop();
  pty.Stop();
  return 0;
}
