// The cost of one card's log line appended to a log that already holds 0, 100 000 and 1 000 000
// lines, side by side: the running number is remembered rather than counted over the file, so the
// cost should stay flat within noise however long the log has grown (lock, append and sync of the
// line, the file opened and closed per line as in a series). The first line of each log, which
// counts the file once, is not measured. Run it on the disk the logs will live on.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include "writer/records/card_log.h"

namespace {

QDateTime FixedTime() {
  return QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9));
}

// A log of `lines` lines of the usual length, written in one go.
bool MakeLog(const QString &path, qint64 lines) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const QByteArray line(
      "     1\t05.03.2024 07:08:09\t04A1B2C3D4E5F6\tDez ASCII Normal\t00A1B2\t03\t  16\t"
      "ABC-0100\n");
  QByteArray block;
  for (int i = 0; i < 1000; ++i) block += line;
  for (qint64 written = 0; written < lines; written += 1000) {
    const QByteArray &part =
        lines - written >= 1000 ? block : block.left(line.size() * (lines - written));
    if (file.write(part) != part.size()) return false;
  }
  return file.flush();
}

// Arg: the lines in the log before the measured ones.
void BM_LogLine(benchmark::State &state) {
  QTemporaryDir folder(QStringLiteral("bench-card-log-XXXXXX"));  // in the working folder's disk
  const QString path = folder.filePath(QStringLiteral("Protokoll_S.txt"));
  if (!MakeLog(path, state.range(0))) {
    state.SkipWithError("the log could not be made");
    return;
  }
  quillmate::DesfireSet job;
  job.app_id = 0xA1B2;
  job.file_id = 3;
  job.length = 16;
  job.data = QStringLiteral("ABC-0100");
  const QByteArray uid = QByteArray::fromHex("04A1B2C3D4E5F6");
  if (quillmate::WriteLogLine(path, job, uid, FixedTime).outcome !=
      quillmate::LogOutcome::kWritten) {
    state.SkipWithError("the log refused its first line");
    return;
  }
  for (auto _ : state) {
    if (quillmate::WriteLogLine(path, job, uid, FixedTime).outcome !=
        quillmate::LogOutcome::kWritten) {
      state.SkipWithError("the log refused a line");
    }
  }
}
BENCHMARK(BM_LogLine)->Arg(0)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

}  // namespace
