// The cost of reserving and recording one card's value, side by side in one run: the settings
// file's "Wert" alone (the locked read-count-write every station did before the ledger), and the
// same with the SQLite ledger (the reservation row and the next in one transaction inside the
// file's lock, then the row finished with the card's UID), and the same with the PostgreSQL ledger
// that stations share (a server of the benchmark's own, writing through to the disk, reached over
// its Unix socket: the reservation's locked transaction and the finish, two durable commits). Run
// it on the disk the files will live on; the figure to compare with is the time one card takes on
// the line (bench_cli_series).
#include <benchmark/benchmark.h>

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "support/postgres_server.h"
#include "writer/ledger/ledger_choice.h"
#include "writer/ledger/postgres_ledger.h"
#include "writer/ledger/sqlite_ledger.h"
#include "writer/settings/settings_store.h"

namespace {

enum Column { kIniOnly = 0, kSqliteLedger = 1, kPostgresLedger = 2 };

// The PostgreSQL server of the run, started on first use and stopped at the end.
kovra_test::PostgresServer &Server() {
  static kovra_test::PostgresServer server(/*durable=*/true);
  return server;
}

std::unique_ptr<quillmate::SeriesLedger> MakeLedger(Column column, const QTemporaryDir &folder) {
  if (column == kSqliteLedger) {
    return quillmate::OpenSqliteLedger(folder.filePath(QStringLiteral("bench.ledger.sqlite")),
                                       nullptr);
  }
  if (column == kPostgresLedger && Server().Missing().empty() && Server().Failure().empty()) {
    return quillmate::OpenPostgresLedger(QString::fromStdString(Server().Conninfo()), nullptr);
  }
  return nullptr;
}

quillmate::SeriesLedger::Plan CountOn(const QString &next) {
  return {next, QString::number(next.toLongLong() + 1)};
}

void BM_ReserveAndRecordOneCard(benchmark::State &state) {
  QTemporaryDir folder;
  quillmate::SettingsStore store(folder.path());
  quillmate::DesfireSet job;
  job.data = QStringLiteral("1000");
  store.SaveJob(job);
  quillmate::SettingsValueStore values(store);
  const auto column = static_cast<Column>(state.range(0));
  const std::unique_ptr<quillmate::SeriesLedger> ledger = MakeLedger(column, folder);
  if (column != kIniOnly && ledger == nullptr) {
    state.SkipWithError("the ledger did not open");
    return;
  }
  const QString series = quillmate::DefaultSeriesName(job, store.FileName());
  const quillmate::LedgerEntry who = quillmate::LedgerWriter(job, QStringLiteral("bench"));
  const QByteArray uid = QByteArray::fromHex("04A1B2C3D4E5F6");
  for (auto _ : state) {
    std::int64_t row = 0;
    const bool stored = values.Update([&](const QString &now) -> std::optional<QString> {
      if (ledger == nullptr) return CountOn(now).next;
      const quillmate::SeriesLedger::Reservation reserved =
          ledger->Reserve(series, now, CountOn, who, false);
      if (reserved.outcome != quillmate::SeriesLedger::Reservation::Outcome::kReserved) {
        return std::nullopt;
      }
      row = reserved.entry.id;
      return reserved.plan.next;
    });
    const bool recorded =
        ledger == nullptr || ledger->Finish(row, uid, quillmate::LedgerResult::kWritten);
    if (!stored || !recorded) state.SkipWithError("the reservation failed");
  }
}
BENCHMARK(BM_ReserveAndRecordOneCard)
    ->ArgName("ini0_sqlite1_postgres2")
    ->Arg(kIniOnly)
    ->Arg(kSqliteLedger)
    ->Arg(kPostgresLedger)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
