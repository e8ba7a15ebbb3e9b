// kovra-sim: a simulated HF reader (and the card in its field) served on a pseudo-terminal, or with
// --lan as a network reader over TCP with its UDP configuration service, or with --vpcd only its
// card, as a virtual card in a PC/SC reader of vsmartcard's vpcd driver; and a text control
// interface. At start it prints exactly two lines on stdout,
//   pty: /dev/pts/N            (with --lan: "lan: ADDRESS-PORT", with --vpcd: "vpcd: ADDRESS:PORT")
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

#include "sim/bt_control.h"
#include "sim/bt_module.h"
#include "sim/control.h"
#include "sim/control_server.h"
#include "sim/json.h"
#include "sim/lan_control.h"
#include "sim/lan_reader.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "sim/vpcd_card.h"
#include "sim/vpcd_card_control.h"

namespace {

using kovra_sim::CardKind;

constexpr const char *kUsage =
    "usage: kovra-sim [options]\n"
    "  --family N         protocol family 0..3 (default 0)\n"
    "  --address N        bus address 0..255 (default 1)\n"
    "  --reader-version TEXT  the reader's version answer (default 1234)\n"
    "  --fv TEXT          family 2: answer to the follow-up version command \"FV\"\n"
    "  --card KIND        card in the field at start: desfire|iso|classic1k|classic4k|ultralight\n"
    "  --control PATH     control socket (default $XDG_RUNTIME_DIR or /tmp, kovra-sim-<pid>.ctl)\n"
    "  --stdin            also take control commands from stdin (default: when it is a terminal)\n"
    "  --log-frames       hex log of every frame on stderr (control: log on|off)\n"
    "  --link-baud N      model the line's time at N baud (0: the baud rate the host set)\n"
    "  --per-command-us N model N microseconds per card exchange\n"
    "  --card-times SET   typical: model each DESFire command's typical card time (others\n"
    "                     take --per-command-us); none (default): --per-command-us for all\n"
    "  --lan ADDR[-PORT]  a network reader: the reader protocol over TCP on ADDR:PORT (default\n"
    "                     port 10001) instead of a pty, the configuration service on UDP 30718\n"
    "                     of ADDR's interface (control: lan, fault lan-silent|lan-flood|\n"
    "                     reset-link|reset-mid-reply)\n"
    "  --lan-if IFNAME    the interface it owns: ADDR is added there when missing, and the reader\n"
    "                     moves its address there itself when it is given a new one (root in\n"
    "                     its network namespace); without it no interface is changed\n"
    "  --lan-name NAME    device name, 1..16 characters (default KV-SIM- and the identifier's\n"
    "                     last 3 bytes)\n"
    "  --lan-dhcp         the setup record says DHCP (0.0.0.0); the reader keeps ADDR\n"
    "  --lan-mask MASK    subnet mask (default 255.255.255.0)\n"
    "  --lan-gateway ADDR gateway (default 0.0.0.0)\n"
    "  --lan-id HEX12     6-byte device identifier (default 024B56000001)\n"
    "  --lan-product NAME product name in record 2, 1..32 characters (default KV-LAN Reader;\n"
    "                     one not starting with KV- is a foreign product)\n"
    "  --lan-simple       takes only the simple address assignment (no ULO in its identify "
    "answer)\n"
    "  --lan-restart-ms N how long a restart keeps it silent (default 1000)\n"
    "  --bt               a Bluetooth reader: the pty speaks the Bluetooth module's packet "
    "protocol\n"
    "                     (inquiry, name, connect, data), the reader sits behind the module's\n"
    "                     link (control: bt, fault bt-silent-disconnect|bt-stray)\n"
    "  --vpcd ADDR[:PORT] a PC/SC card: the card in the field (no reader, no pty) connects to\n"
    "                     vsmartcard's vpcd driver at ADDR:PORT (IPv4; default port 35963) as\n"
    "                     its virtual card: ATR of a contactless card, FF CA 00 00 00 (UID) and\n"
    "                     native DESFire commands wrapped in APDUs (90 INS 00 00 Lc data 00,\n"
    "                     answers ... 91 status); a card taken away disconnects, a card laid\n"
    "                     connects; tries again while the driver's port is not there\n"
    "                     (control: vpcd; fault silent mutes the card)\n"
    "  --help             this text\n"
    "  --version          the program's version\n"
    "Prints 'pty: PATH' (with --lan: 'lan: ADDR-PORT', with --vpcd: 'vpcd: ADDR:PORT') and\n"
    "'control: PATH' on stdout, then serves until 'quit', SIGINT or SIGTERM.\n";

struct Options {
  kovra_sim::SimReaderConfig reader;
  std::optional<CardKind> card;
  std::string control_path;
  bool stdin_control = false;
  bool log_frames = false;
  std::optional<unsigned> link_baud;
  std::optional<unsigned> per_command_us;
  bool typical_card_times = false;
  std::optional<kovra_sim::LanReaderConfig> lan;  // --lan
  bool bt = false;                                // --bt
  std::optional<kovra_sim::VpcdCardConfig> vpcd;  // --vpcd
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

// Printable ASCII (spaces included when `spaces`), 1..max characters.
bool GoodName(std::string_view text, size_t max, bool spaces) {
  if (text.empty() || text.size() > max) return false;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < (spaces ? 0x20 : 0x21) || byte >= 0x7F) return false;
  }
  return true;
}

// "10.231.0.2" or "10.231.0.2-10002".
bool ParseLanAddress(const std::string &text, kovra_sim::Ipv4 *address, uint16_t *port) {
  const size_t hyphen = text.rfind('-');
  if (hyphen != std::string::npos) {
    const std::optional<unsigned> number = Number(text.c_str() + hyphen + 1, 65535);
    if (!number || *number == 0) return false;
    *port = static_cast<uint16_t>(*number);
  }
  return kovra_sim::ParseDottedAddress(text.substr(0, hyphen), address);
}

bool ParseDeviceId(std::string_view text, kovra_sim::DeviceId *id) {
  if (text.size() != 2 * id->size()) return false;
  for (size_t i = 0; i < id->size(); ++i) {
    const char *begin = text.data() + 2 * i;
    const auto [stop, failure] = std::from_chars(begin, begin + 2, (*id)[i], 16);
    if (failure != std::errc() || stop != begin + 2) return false;
  }
  return true;
}

// The LAN options that came without --lan, and the defaults that depend on the others.
struct LanOptions {
  std::optional<std::string> address;
  std::optional<std::string> name;
  bool dhcp = false;
  kovra_sim::Ipv4 mask = {255, 255, 255, 0};
  kovra_sim::Ipv4 gateway{};
  kovra_sim::DeviceId id = {0x02, 0x4B, 0x56, 0x00, 0x00, 0x01};
  std::string product = "KV-LAN Reader";
  std::string interface;
  bool simple = false;
  unsigned restart_ms = 1000;
  bool any = false;  // some LAN option was given
};

std::optional<kovra_sim::LanReaderConfig> LanConfig(const LanOptions &lan, std::string *error) {
  if (!lan.address) {
    if (lan.any) *error = "the --lan-... options need --lan ADDR";
    return std::nullopt;
  }
  kovra_sim::LanReaderConfig config;
  if (!ParseLanAddress(*lan.address, &config.address, &config.settings.port) ||
      config.address == kovra_sim::Ipv4{} || config.address[0] >= 224) {
    *error = "--lan takes a unicast IPv4 address and an optional -PORT (1..65535)";
    return std::nullopt;
  }
  config.settings.address = lan.dhcp ? kovra_sim::Ipv4{} : config.address;
  config.settings.host_bits = kovra_sim::HostBitsOfMask(lan.mask);
  config.settings.gateway = lan.gateway;
  config.settings.name = lan.name.value_or("KV-SIM-" + kovra_sim::HexString(lan.id.data() + 3, 3));
  config.identity.id = lan.id;
  config.identity.extended = !lan.simple;
  config.product = lan.product;
  config.interface = lan.interface;
  config.restart_time = std::chrono::milliseconds(lan.restart_ms);
  return config;
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
    kLan,
    kLanIf,
    kLanName,
    kLanDhcp,
    kLanMask,
    kLanGateway,
    kLanId,
    kLanProduct,
    kLanSimple,
    kLanRestart,
    kHelp,
    kProgramVersion,
    kBt,
    kVpcd
  };
  static const option kLong[] = {
      {"family", required_argument, nullptr, kFamily},
      {"address", required_argument, nullptr, kAddress},
      {"reader-version", required_argument, nullptr, kVersion},
      {"fv", required_argument, nullptr, kFv},
      {"card", required_argument, nullptr, kCard},
      {"control", required_argument, nullptr, kControl},
      {"stdin", no_argument, nullptr, kStdin},
      {"log-frames", no_argument, nullptr, kLog},
      {"link-baud", required_argument, nullptr, kBaud},
      {"per-command-us", required_argument, nullptr, kPerCommand},
      {"card-times", required_argument, nullptr, kCardTimes},
      {"lan", required_argument, nullptr, kLan},
      {"lan-if", required_argument, nullptr, kLanIf},
      {"lan-name", required_argument, nullptr, kLanName},
      {"lan-dhcp", no_argument, nullptr, kLanDhcp},
      {"lan-mask", required_argument, nullptr, kLanMask},
      {"lan-gateway", required_argument, nullptr, kLanGateway},
      {"lan-id", required_argument, nullptr, kLanId},
      {"lan-product", required_argument, nullptr, kLanProduct},
      {"lan-simple", no_argument, nullptr, kLanSimple},
      {"lan-restart-ms", required_argument, nullptr, kLanRestart},
      {"help", no_argument, nullptr, kHelp},
      {"version", no_argument, nullptr, kProgramVersion},
      {"bt", no_argument, nullptr, kBt},
      {"vpcd", required_argument, nullptr, kVpcd},
      {nullptr, 0, nullptr, 0},
  };
  Options options;
  LanOptions lan;
  auto bad = [](const std::string &what) {
    std::fprintf(stderr, "kovra-sim: %s\n%s", what.c_str(), kUsage);
    std::exit(2);
  };
  for (;;) {
    const int option = ::getopt_long(argc, argv, "", kLong, nullptr);
    if (option == -1) break;
    if (option > kLan && option < kHelp) lan.any = true;  // one of the --lan-... options
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
        if (!GoodText(optarg)) bad("--reader-version takes 1..32 printable characters");
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
      case kLan:
        lan.address = optarg;
        break;
      case kLanIf:
        if (!GoodName(optarg, 15, false)) bad("--lan-if takes an interface name");
        lan.interface = optarg;
        break;
      case kLanName:
        if (!GoodName(optarg, kovra_sim::kLanNameLength, true)) {
          bad("--lan-name takes 1..16 printable characters");
        }
        lan.name = optarg;
        break;
      case kLanDhcp:
        lan.dhcp = true;
        break;
      case kLanMask:
      case kLanGateway:
        if (!kovra_sim::ParseDottedAddress(optarg, option == kLanMask ? &lan.mask : &lan.gateway)) {
          bad("--lan-mask and --lan-gateway take a dotted IPv4 address");
        }
        break;
      case kLanId:
        if (!ParseDeviceId(optarg, &lan.id)) bad("--lan-id takes 12 hex digits");
        break;
      case kLanProduct:
        if (!GoodName(optarg, kovra_sim::kLanProductLength, true)) {
          bad("--lan-product takes 1..32 printable characters");
        }
        lan.product = optarg;
        break;
      case kLanSimple:
        lan.simple = true;
        break;
      case kLanRestart: {
        const auto ms = Number(optarg, 600000);
        if (!ms) bad("--lan-restart-ms takes 0..600000");
        lan.restart_ms = *ms;
        break;
      }
      case kHelp:
        std::fputs(kUsage, stdout);
        std::exit(0);
      case kBt:
        options.bt = true;
        break;
      case kVpcd: {
        kovra_sim::VpcdCardConfig vpcd;
        if (!kovra_sim::ParseVpcdAddress(optarg, &vpcd.address, &vpcd.port)) {
          bad("--vpcd takes an IPv4 address and an optional :PORT (1..65535)");
        }
        options.vpcd = vpcd;
        break;
      }
      case kProgramVersion:
        std::printf("kovra-sim %s\n", QUILLMATE_VERSION);
        std::exit(0);
      default:
        bad("unknown option");
    }
  }
  if (optind < argc) bad(std::string("unexpected argument: ") + argv[optind]);
  if (options.bt && lan.address) bad("--bt and --lan exclude each other");
  if (options.vpcd && (options.bt || lan.address)) bad("--vpcd excludes --bt and --lan");
  std::string lan_error;
  options.lan = LanConfig(lan, &lan_error);
  if (!lan_error.empty()) bad(lan_error);
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

  // One of the two serves the reader: a pty, or the network reader's TCP port.
  std::optional<kovra_sim::PtyServer> pty;
  std::optional<kovra_sim::LanReader> lan;
  std::optional<kovra_sim::LanControl> lan_control;
  std::optional<kovra_sim::BtModule> bt;
  std::optional<kovra_sim::BtControl> bt_control;
  std::optional<kovra_sim::VpcdCard> vpcd;
  std::optional<kovra_sim::VpcdCardControl> vpcd_control;
  std::string error;
  std::string served;
  if (options.vpcd) {
    vpcd.emplace(reader, *options.vpcd);
    if (!vpcd->Start(&error)) {
      std::fprintf(stderr, "kovra-sim: %s\n", error.c_str());
      return 1;
    }
    vpcd_control.emplace(*vpcd);
    served = "vpcd: " + kovra_sim::DottedAddress(options.vpcd->address) + ":" +
             std::to_string(options.vpcd->port);
  } else if (options.lan) {
    lan.emplace(reader, *options.lan);
    if (!lan->Start(&error)) {
      std::fprintf(stderr, "kovra-sim: %s\n", error.c_str());
      return 1;
    }
    lan_control.emplace(*lan);
    const kovra_sim::LanStatus status = lan->Status();
    served = "lan: " + kovra_sim::DottedAddress(status.address) + "-" + std::to_string(status.port);
  } else {
    if (options.bt) {
      bt.emplace(reader);
      bt_control.emplace(*bt);
    }
    pty.emplace(bt ? static_cast<kovra_sim::HostSide &>(*bt) : reader);
    if (!pty->Start(&error)) {
      std::fprintf(stderr, "kovra-sim: %s\n", error.c_str());
      return 1;
    }
    served = "pty: " + pty->Path();
  }

  // `quit` and the end of stdin ask the main thread to finish, the way a signal does.
  const auto request_end = [] { ::kill(::getpid(), SIGTERM); };
  kovra_sim::ControlHooks hooks{request_end, {}, {}};
  if (pty) hooks.line = [&pty] { return pty->Line(); };
  if (lan_control) hooks.extension = &*lan_control;
  if (bt_control) hooks.extension = &*bt_control;
  if (vpcd_control) hooks.extension = &*vpcd_control;
  kovra_sim::ControlInterpreter interpreter(reader, hooks);
  kovra_sim::ControlServer control(interpreter);
  if (!control.Listen(options.control_path, &error)) {
    std::fprintf(stderr, "kovra-sim: %s\n", error.c_str());
    return 1;
  }
  if (options.stdin_control) control.AddStream(STDIN_FILENO, STDOUT_FILENO, request_end);

  std::printf("%s\ncontrol: %s\n", served.c_str(), control.Path().c_str());
  std::fflush(stdout);
  if (!control.Start(&error)) {
    std::fprintf(stderr, "kovra-sim: %s\n", error.c_str());
    return 1;
  }

  int signal_number = 0;
  while (sigwait(&stop_signals, &signal_number) != 0) {
  }
  control.Stop();
  if (pty) pty->Stop();
  if (lan) lan->Stop();
  if (vpcd) vpcd->Stop();
  return 0;
}
