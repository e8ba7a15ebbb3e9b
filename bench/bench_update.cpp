// The update check must never delay the window: its start-up with the check on, against off,
// side by side, while the update location is slow (a local listener on 127.0.0.1 that takes the
// connection and never answers, so the TLS handshake stalls). Offscreen platform, no reader
// (the port is left unchosen).
//   BM_StartUp/0  the window shown until its first paint, no update check
//   BM_StartUp/1  the same with the update check started (its list download stalls meanwhile)
//                 Counter ratio_to_off: this median over /0's, measured just before.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#include "ui/quillmate_dlg.h"
#include "writer/settings/settings_store.h"
#include "writer/update/update_checker.h"

namespace {

double off_median_ms = 0;

// A listener on 127.0.0.1 that never answers; its port.
int SilentListener(int *port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 ||
      ::listen(fd, 64) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
    *port = 0;
    return fd;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

void BM_StartUp(benchmark::State &state) {
  const bool with_check = state.range(0) == 1;
  QTemporaryDir folder;
  quillmate::SettingsStore settings(folder.path());
  quillmate::OperatorSettings stored = settings.LoadOperatorSettings();
  stored.update_check = with_check;
  settings.SaveOperatorSettings(stored);
  int port = 0;
  const int listener = SilentListener(&port);
  std::vector<double> times_ms;
  for (auto _ : state) {
    quillmate::UpdateSource source;
    source.list_address = QStringLiteral("https://127.0.0.1:%1/RFIDVersionsHF.txt").arg(port);
    quillmate::UpdateChecker checker(source);
    QElapsedTimer clock;
    clock.start();
    quillmate::ui::CQuillmateDlg window(settings, quillmate::Language::kGerman, nullptr);
    window.SetPortChooser([](QWidget *, quillmate::PortSettings &) { return false; });
    if (with_check) window.SetUpdateChecker(&checker);
    window.show();
    while (!window.isVisible()) QApplication::processEvents();
    QApplication::processEvents();
    times_ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    state.PauseTiming();
    window.hide();
    state.ResumeTiming();
  }
  ::close(listener);
  std::sort(times_ms.begin(), times_ms.end());
  const double median = times_ms[times_ms.size() / 2];
  state.counters["median_ms"] = median;
  if (!with_check) off_median_ms = median;
  if (with_check && off_median_ms > 0) state.counters["ratio_to_off"] = median / off_median_ms;
}
BENCHMARK(BM_StartUp)
    ->ArgName("update_check")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
