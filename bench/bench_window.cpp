// The operator's window against a bare Qt window and against the headless card loop, side by side
// in one run, on Qt's offscreen platform with the simulated reader on a pseudo-terminal:
//   BM_StartUp/0    a bare QDialog shown until its first paint (the reference)
//   BM_StartUp/1    the window: settings loaded, shown, reader opened and identified
//                   Counter added_ms: the window's median minus the bare dialog's (both in ms).
//   BM_ProcessStartUp/0  a bare Qt dialog program from process start to its first paint
//   BM_ProcessStartUp/1  quillmate from process start to its reader connected (window shown first)
//                   Counters added_ms and ratio_to_bare against /0.
//   BM_WriteCycle/0 the headless loop the CLI runs: the core's write cycle on a QTimer
//   BM_WriteCycle/1 the window's write cycle, with a 1 ms probe timer that measures the longest
//                   stall of the event loop (max_stall_ms)
//                   Both: ms_per_card (median, card laid down to "erfolgreich geschrieben"),
//                   and for /1 ratio_to_headless (the /0 median measured just before).
// The line runs at 115200 baud with typical DESFire card times (the simulator's link model).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <vector>

#include "kovra.h"
#include "sim/desfire/desfire_card.h"
#include "sim/link_model.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "support/recording_front_end.h"
#include "ui/message_box.h"
#include "ui/quillmate_dlg.h"
#include "ui/reader_wait.h"
#include "writer/reader/reader_port.h"
#include "writer/run/operations.h"
#include "writer/settings/settings_store.h"

namespace {

constexpr int kCards = 10;
constexpr int kCyclePeriodMs = 100;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void WaitFor(const std::function<bool()> &done, int ms = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The simulated reader with the link model, and settings that name its port.
struct Rig {
  Rig() {
    kovra_sim::LinkModel model;
    model.baud = 115200;
    model.card_times = kovra_sim::TypicalCardTimes();
    reader.SetLinkModel(model);
    server.Start();
    settings = std::make_unique<quillmate::SettingsStore>(folder.path());
    quillmate::OperatorSettings stored = settings->LoadOperatorSettings();
    stored.port.name = QString::fromStdString(server.Path());
    stored.port.baud_rate = 115200;
    stored.cycle_period_ms = kCyclePeriodMs;
    // The benchmark never reaches out to the update location.
    stored.update_check = false;
    settings->SaveOperatorSettings(stored);
    quillmate::DesfireSet job;
    job.data = QStringLiteral("1");
    job.app_id = 0x123;
    job.length = 16;
    job.write_key_nr = 2;  // the app master key: no free write access to warn about
    job.read_write_key_nr = 2;
    settings->SaveJob(job);
  }
  // Lays fresh cards one after another; `written()` counts the cards done so far. Returns the
  // time from laying each card down to its success.
  std::vector<double> Series(const std::function<int()> &written) {
    std::vector<double> times;
    for (int i = 0; i < kCards; ++i) {
      const int before = written();
      kovra_sim::Bytes uid = {0x04, 0x10, 0x20, 0x30, 0x40, 0x50, static_cast<uint8_t>(i)};
      QElapsedTimer clock;
      reader.PlaceCard(std::make_shared<kovra_sim::DesfireCard>(uid));
      clock.start();
      WaitFor([&] { return written() > before; });
      times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
      reader.RemoveCard();
      WaitFor([] { return false; }, 2 * kCyclePeriodMs);  // the reader sees the field empty
    }
    return times;
  }

  QTemporaryDir folder;
  kovra_sim::SimReader reader;
  kovra_sim::PtyServer server{reader};
  std::unique_ptr<quillmate::SettingsStore> settings;
};

double bare_start_ms = 0;
double bare_process_ms = 0;
double headless_card_ms = 0;

void BM_StartUp(benchmark::State &state) {
  const bool window = state.range(0) == 1;
  Rig rig;
  std::vector<double> times;
  for (auto _ : state) {
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QDialog> dialog;
    if (window) {
      auto quillmate = std::make_unique<quillmate::ui::CQuillmateDlg>(
          *rig.settings, quillmate::Language::kGerman, nullptr);
      quillmate->show();
      quillmate->ConnectAtStart();
      if (quillmate->PortHandle() <= 0) state.SkipWithError("the reader did not connect");
      dialog = std::move(quillmate);
    } else {
      dialog = std::make_unique<QDialog>();
      new QLabel(QStringLiteral("KV-DESFire Quillmate"), dialog.get());
      dialog->show();
    }
    WaitFor([&] { return dialog->isVisible() && !dialog->visibleRegion().isEmpty(); });
    QApplication::processEvents();
    times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    state.PauseTiming();
    dialog.reset();
    QApplication::processEvents();
    state.ResumeTiming();
  }
  const double median = Median(times);
  state.counters["median_ms"] = median;
  if (!window) {
    bare_start_ms = median;
  } else {
    state.counters["added_ms"] = median - bare_start_ms;
  }
}
BENCHMARK(BM_StartUp)->Arg(0)->Arg(1)->Iterations(10)->Unit(benchmark::kMillisecond);

// From process start: the bare program until its first paint, quillmate until the simulated
// reader has answered the last command of the connection (the window shows before it connects).
void BM_ProcessStartUp(benchmark::State &state) {
  const bool window = state.range(0) == 1;
  Rig rig;
  // The commands one connection makes, counted on a window in this process.
  size_t connection_commands = 0;
  {
    quillmate::ui::CQuillmateDlg dialog(*rig.settings, quillmate::Language::kGerman, nullptr);
    dialog.show();
    dialog.ConnectAtStart();
    if (dialog.PortHandle() <= 0) state.SkipWithError("the reader did not connect");
    connection_commands = rig.reader.CommandCount();
  }
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  std::vector<double> times;
  for (auto _ : state) {
    rig.reader.ClearLog();
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    if (window) {
      program.start(QStringLiteral(QUILLMATE_PATH),
                    {QStringLiteral("--config"), rig.folder.path()});
      WaitFor([&] {
        return rig.reader.CommandCount() >= connection_commands &&
               rig.reader.WaitUntilDelivered(std::chrono::milliseconds(0));
      });
      if (rig.reader.CommandCount() < connection_commands) {
        state.SkipWithError("quillmate did not connect the reader");
      }
    } else {
      program.start(QStringLiteral(BARE_WINDOW_PATH), {});
      program.waitForFinished(10000);
    }
    times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    state.PauseTiming();
    program.terminate();
    program.waitForFinished(10000);
    state.ResumeTiming();
  }
  const double median = Median(times);
  state.counters["median_ms"] = median;
  if (!window) {
    bare_process_ms = median;
  } else if (bare_process_ms > 0) {
    state.counters["added_ms"] = median - bare_process_ms;
    state.counters["ratio_to_bare"] = median / bare_process_ms;
  }
}
BENCHMARK(BM_ProcessStartUp)->Arg(0)->Arg(1)->Iterations(10)->Unit(benchmark::kMillisecond);

void BM_WriteCycle(benchmark::State &state) {
  const bool window = state.range(0) == 1;
  for (auto _ : state) {
    Rig rig;
    std::vector<double> times;
    qint64 max_stall_ns = 0;
    if (window) {
      quillmate::ui::CQuillmateDlg dialog(*rig.settings, quillmate::Language::kGerman, nullptr);
      dialog.show();
      dialog.ConnectAtStart();
      dialog.Form().write_cycle->click();
      if (dialog.Operations().RunningCycle() != quillmate::Cycle::kWrite) {
        state.SkipWithError("the window's cycle did not start");
        break;
      }
      QElapsedTimer since_last;
      since_last.start();
      QTimer probe;
      probe.setTimerType(Qt::PreciseTimer);
      QObject::connect(&probe, &QTimer::timeout, [&] {
        max_stall_ns = std::max(max_stall_ns, since_last.nsecsElapsed());
        since_last.restart();
      });
      probe.start(1);
      times = rig.Series([&] {
        return static_cast<int>(
            dialog.StatusLines().filter(QStringLiteral("erfolgreich geschrieben")).size());
      });
      probe.stop();
      dialog.Form().write_cycle->click();
    } else {
      const quillmate::OpenedReader reader =
          quillmate::OpenReader(rig.settings->LoadOperatorSettings().port);
      quillmate_test::RecordingFrontEnd front_end;
      quillmate::WriterContext context =
          quillmate::MakeWriterContext(reader.handle, &front_end, quillmate::Language::kGerman);
      quillmate::DesfireSet job = rig.settings->LoadJob();
      quillmate::SettingsValueStore store(*rig.settings);
      store.SetSeen(job.data);
      quillmate::CardOperations operations(context, job, &store, nullptr);
      operations.SetCyclePeriodMs(kCyclePeriodMs);
      operations.StartWriteCycle();
      QTimer tick;
      QObject::connect(&tick, &QTimer::timeout, [&] { operations.Tick(); });
      tick.start(kCyclePeriodMs);
      times = rig.Series([&] { return front_end.cards_done; });
      operations.StopCycle();
      KOVRA_ClosePort(reader.handle);
    }
    const double per_card = Median(times);
    state.counters["ms_per_card"] = per_card;
    if (window) {
      state.counters["max_stall_ms"] = static_cast<double>(max_stall_ns) / 1e6;
      if (headless_card_ms > 0) state.counters["ratio_to_headless"] = per_card / headless_card_ms;
    } else {
      headless_card_ms = per_card;
    }
  }
}
BENCHMARK(BM_WriteCycle)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  quillmate::ui::InstallReaderWaitHandler();
  // Every box is answered at once: the benchmark has no operator.
  quillmate::ui::SetMessageBoxHook(
      [](const QString &, quillmate::ui::BoxIcon, quillmate::ui::BoxButtons buttons) {
        return buttons == quillmate::ui::BoxButtons::kYesNo ? quillmate::ui::BoxAnswer::kYes
                                                            : quillmate::ui::BoxAnswer::kCancel;
      });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
