// The cost of reserving and recording one card's value, side by side:
//   arg 0  the settings file's locked reservation alone (no ledger, as before the ledger),
//   arg 1  that and the SQLite ledger beside the settings (WAL, synchronous full): Reserve, Finish,
//   arg 2  that and the PostgreSQL ledger: Reserve (one locked transaction) and Finish, over the
//          Unix socket of a server of the benchmark's own that writes through to the disk.
// Each iteration is one card (wall time). Compare its time with the time one card takes on
// the line model (bench_cli_series: span_ms_median), which the ledger should raise by under 5 %.
#include <benchmark/benchmark.h>

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "support/postgres_server.h"
#include "writer/ledger/postgres_ledger.h"
#include "writer/ledger/sqlite_ledger.h"
#include "writer/settings/settings_store.h"

namespace {

using quillmate::SeriesLedger;

std::optional<QString> Next(const QString &stored) {
  return QString::number(stored.toLongLong() + 1);
}

SeriesLedger::Plan CountUp(const QString &next) {
  return {next, QString::number(next.toLongLong() + 1)};
}

// The ledger the argument names; null for none.
std::unique_ptr<SeriesLedger> OpenLedger(int kind, const QTemporaryDir &folder,
                                         kovra_test::PostgresServer *&server, QString *failure) {
  if (kind == 1) {
    return quillmate::OpenSqliteLedger(folder.filePath(QStringLiteral("series.sqlite")), failure);
  }
  if (kind != 2) return nullptr;
  server = new kovra_test::PostgresServer(/*durable=*/true);
  if (!server->Missing().empty() || !server->Failure().empty()) {
    *failure = QString::fromStdString(server->Missing() + server->Failure());
    return nullptr;
  }
  return quillmate::OpenPostgresLedger(QString::fromStdString(server->Conninfo()), failure);
}

void BM_ReserveAndRecord(benchmark::State &state) {
  QTemporaryDir folder;
  quillmate::SettingsStore store(folder.path());
  quillmate::DesfireSet job;
  job.data = QStringLiteral("1000");
  store.SaveJob(job);
  quillmate::SettingsValueStore values(store);
  kovra_test::PostgresServer *server = nullptr;
  QString failure;
  std::unique_ptr<SeriesLedger> ledger =
      OpenLedger(static_cast<int>(state.range(0)), folder, server, &failure);
  if (state.range(0) != 0 && !ledger) {
    state.SkipWithError(failure.toStdString().c_str());
    delete server;
    return;
  }
  quillmate::LedgerEntry who;
  who.station = QStringLiteral("bench/quillmate-cli");
  who.operator_name = QStringLiteral("bench");
  who.job_fingerprint = QStringLiteral("00");
  const QByteArray uid = QByteArray::fromHex("04112233445566");
  for (auto _ : state) {
    if (!values.Update(Next)) state.SkipWithError("the settings store refused");
    if (ledger) {
      const SeriesLedger::Reservation reserved =
          ledger->Reserve(QStringLiteral("bench"), QStringLiteral("1"), CountUp, who, false);
      if (reserved.outcome != SeriesLedger::Reservation::Outcome::kReserved ||
          !ledger->Finish(reserved.entry.id, uid, quillmate::LedgerResult::kVerified)) {
        state.SkipWithError(ledger->Failure().toStdString().c_str());
        break;
      }
    }
  }
  ledger.reset();
  delete server;
}
BENCHMARK(BM_ReserveAndRecord)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
