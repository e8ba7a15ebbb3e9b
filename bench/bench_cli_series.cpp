// quillmate-cli writing a series of cards on kovra-sim, each in its own process, with the
// simulator's link model at 115200 baud and typical DESFire card times:
//   BM_WriteSeries  for each card, the span the host was busy with it (from the first command that
//                   reached the reader while the card lay there to the reply to the last one)
//                   against the time the model gives the line and the card for those commands.
//                   Counters: ratio_median and ratio_worst (span / modelled), host_ms_mean (span -
//                   modelled: what the host added per card), span_ms_median, modelled_ms_median,
//                   commands_per_card. Each card's figures go to stderr.
//                   ratio_field_reset_median counts the card detection's two 10 ms pauses (field
//                   off, field on) as card time: a card needs them to reset, and the model does
//                   not know them because the host waits them out with the line silent.
//                   Arg 1 runs the same series with --verify: each card is read back and compared.
//   BM_StartUp      wall time of `quillmate-cli --help` and `quillmate-cli --config DIR job show`,
//                   run in turn with /bin/true as the baseline; medians in ms and their ratios to
//                   the baseline.
//
// The benchmark plays the operator: it lays a card on the reader, waits for the CLI's line for
// that card, takes the card away and lays the next one kNextCardAfter later. A card the simulator
// feeds on its own leaves a fixed time after its last write; any such time long enough to cover
// the detection of a card that arrives just after a tick also lets the next tick (one cycle period
// after the write) find the card still there, and those looks would count as busy time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_run.h"
#include "support/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCards = 20;
constexpr int kCyclePeriodMs = 100;
constexpr auto kNextCardAfter = std::chrono::milliseconds(40);
constexpr auto kCardTimeout = std::chrono::seconds(5);
// The card detection switches the field off and on with a 10 ms pause after each switch.
constexpr double kFieldResetPausesMs = 20;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

QJsonObject SimState(kovra_test::SimProcess &sim) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(sim.Control("state"))).object();
}

// A private settings folder with the series' job and a cycle period of kCyclePeriodMs. Empty on
// failure.
std::string PrepareSettings(const kovra_test::TempDir &folder) {
  const kovra_test::CliRun set = kovra_test::RunCli(
      {"--config", folder.path(), "job", "set", "AppID=A1B2C3", "FileID=1", "FileMode=2",
       "KeyAnzahl=2", "ReadKeyNr=1", "WriteKeyNr=1", "ReadWriteKeyNr=1", "Byteanzahl=16",
       "Zahlenformat=1", "Darstellung=1", "AutoIncrement=1", "Wert=1",
       "CardKey=00112233445566778899AABBCCDDEEFF", "AppKey=A0A1A2A3A4A5A6A7A8A9AAABACADAEAF"});
  const QDir dir(QString::fromStdString(folder.path()));
  const QStringList files = dir.entryList({QStringLiteral("*.ini")}, QDir::Files);
  if (set.exit_code != 0 || files.size() != 1) return {};
  // The cycle period is an operator setting, which `job set` does not reach.
  QSettings settings(dir.filePath(files.front()), QSettings::IniFormat);
  settings.setValue(QStringLiteral("Settings/ZyklusZeit"), kCyclePeriodMs);
  settings.sync();
  return settings.status() == QSettings::NoError ? folder.path() : std::string();
}

// A program whose stdout is read line by line as it comes (stderr is dropped); killed and reaped
// at the end unless it has ended.
class LineSource {
 public:
  LineSource(const char *program, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), program);
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&pid_, program, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    fd_ = out[0];
  }
  ~LineSource() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
  }
  LineSource(const LineSource &) = delete;
  LineSource &operator=(const LineSource &) = delete;

  // The next line without its end; false when none came within `timeout` or the output ended.
  bool ReadLine(std::string &line, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
      const size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return true;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd ready{fd_, POLLIN, 0};
      if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
      char chunk[512];
      const ssize_t n = read(fd_, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  // Waits up to `timeout` for the program to end; its exit code, or -1.
  int Wait(std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (pid_ > 0 && Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string buffer_;
};

// Waits until the write cycle looks for cards (the reader has had a request); false on timeout.
bool WaitForCycle(kovra_test::SimProcess &sim) {
  const Clock::time_point deadline = Clock::now() + kCardTimeout;
  while (Clock::now() < deadline) {
    const QJsonObject commands = SimState(sim).value(QStringLiteral("commands")).toObject();
    if (commands.value(QStringLiteral("by_code")).toObject().value(QStringLiteral("30")).toInt() >
        0) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void BM_WriteSeries(benchmark::State &state) {
  kovra_test::TempDir folder;
  const std::string config = PrepareSettings(folder);
  if (config.empty()) {
    state.SkipWithError("could not prepare the settings folder");
    return;
  }
  for (auto _ : state) {
    kovra_test::SimProcess sim(KOVRA_SIM_PATH,
                               {"--link-baud", "115200", "--card-times", "typical"});
    std::vector<std::string> arguments = {
        "--config", config,   "--port", sim.pty(), "--baud",
        "115200",   "--json", "write",  "--count", std::to_string(kCards)};
    if (state.range(0) == 1) arguments.push_back("--verify");
    LineSource cli(QUILLMATE_CLI_PATH, arguments);
    if (sim.pty().empty() || !WaitForCycle(sim)) {
      state.SkipWithError("the CLI's write cycle did not start");
      return;
    }
    for (int card = 0; card < kCards; ++card) {
      sim.Control("place desfire");
      std::string line;
      if (!cli.ReadLine(line, kCardTimeout) || line.find("\"ok\":true") == std::string::npos) {
        state.SkipWithError(("card " + std::to_string(card + 1) + " not written: " + line).c_str());
        return;
      }
      sim.Control("remove");
      std::this_thread::sleep_for(kNextCardAfter);
    }
    if (cli.Wait(std::chrono::milliseconds(kCardTimeout)) != 0) {
      state.SkipWithError("the CLI did not end with success");
      return;
    }

    std::vector<double> spans;
    std::vector<double> modelled;
    std::vector<double> ratios;
    std::vector<double> ratios_with_resets;
    double commands = 0;
    std::fprintf(stderr, "card  commands  span_ms  modelled_ms  host_ms  ratio\n");
    for (const QJsonValue &entry : SimState(sim).value(QStringLiteral("history")).toArray()) {
      const QJsonObject timing = entry.toObject().value(QStringLiteral("timing")).toObject();
      const double span = (timing.value(QStringLiteral("last_reply_us")).toDouble() -
                           timing.value(QStringLiteral("first_command_us")).toDouble()) /
                          1000;
      const double model = timing.value(QStringLiteral("modelled_us")).toDouble() / 1000;
      const int count = timing.value(QStringLiteral("commands")).toInt();
      spans.push_back(span);
      modelled.push_back(model);
      ratios.push_back(model > 0 ? span / model : 0);
      ratios_with_resets.push_back(span / (model + kFieldResetPausesMs));
      commands += count;
      std::fprintf(stderr, "%4zu  %8d  %7.2f  %11.2f  %7.2f  %5.3f\n", spans.size(), count, span,
                   model, span - model, ratios.back());
    }
    if (spans.size() != static_cast<size_t>(kCards)) {
      state.SkipWithError("the simulator's history does not hold every card");
      return;
    }
    double host = 0;
    for (size_t i = 0; i < spans.size(); ++i) host += spans[i] - modelled[i];
    state.counters["ratio_median"] = Median(ratios);
    state.counters["ratio_worst"] = *std::max_element(ratios.begin(), ratios.end());
    state.counters["ratio_field_reset_median"] = Median(ratios_with_resets);
    state.counters["host_ms_mean"] = host / kCards;
    state.counters["span_ms_median"] = Median(spans);
    state.counters["modelled_ms_median"] = Median(modelled);
    state.counters["commands_per_card"] = commands / kCards;
  }
}
// Arg 0: the plain write; arg 1: with --verify (each card read back and compared).
BENCHMARK(BM_WriteSeries)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

void BM_StartUp(benchmark::State &state) {
  kovra_test::TempDir folder;
  const std::string config = PrepareSettings(folder);
  if (config.empty()) {
    state.SkipWithError("could not prepare the settings folder");
    return;
  }
  std::vector<double> baseline;
  std::vector<double> help;
  std::vector<double> job_show;
  // One of each in turn, so that all three meet the same state of the machine.
  const auto timed = [](std::vector<double> &times, const char *program,
                        const std::vector<std::string> &arguments) {
    const Clock::time_point start = Clock::now();
    const int exit_code = kovra_test::RunProgram(program, arguments).exit_code;
    times.push_back(MillisecondsSince(start));
    return exit_code == 0;
  };
  for (auto _ : state) {
    if (!timed(baseline, "/bin/true", {}) || !timed(help, QUILLMATE_CLI_PATH, {"--help"}) ||
        !timed(job_show, QUILLMATE_CLI_PATH, {"--config", config, "job", "show"})) {
      state.SkipWithError("a program failed");
      return;
    }
  }
  const double base = Median(baseline);
  state.counters["true_ms"] = base;
  state.counters["help_ms"] = Median(help);
  state.counters["job_show_ms"] = Median(job_show);
  state.counters["help_vs_true"] = Median(help) / base;
  state.counters["job_show_vs_true"] = Median(job_show) / base;
}
BENCHMARK(BM_StartUp)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
