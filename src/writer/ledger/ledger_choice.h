// Where a job's series keeps its ledger, what the series is called, and who writes in it. Both
// front ends open the ledger through here, so that the window and the command line on one job
// always write into the same series of the same database.
#pragma once

#include <QString>
#include <memory>

#include "writer/job/desfire_set.h"
#include "writer/ledger/counting_series.h"
#include "writer/ledger/series_ledger.h"
#include "writer/settings/settings_store.h"

namespace quillmate {

// The SQLite ledger's file beside the settings ("KV-DESFire Quillmate.ledger.sqlite" in the folder
// of the settings file) or beside a job file ("<job file>.ledger.sqlite").
inline constexpr char kLedgerFileSuffix[] = ".ledger.sqlite";

struct LedgerRequest {
  QString settings_file;  // the settings INI (SettingsStore::FileName())
  QString job_file;       // the job file with its extension; empty: the job in the settings
  SeriesSettings settings;
  QString database;  // the command line's --series-db; empty: the settings' "Datenbank"
  QString series;    // the command line's --series; empty: the settings' "Name" or the default
};

// The SQLite file for a job from the settings (empty `job_file`) or from a job file.
QString SqliteLedgerFile(const QString &settings_file, const QString &job_file);

// The series' name when none is set: the job's application and file number and the absolute path
// of the file the job came from, e.g. "A1B2C3/03 /home/anna/Auftrag.KVMFDat". Another job in the
// same file, or the same job in another file, is another series.
QString DefaultSeriesName(const DesfireSet &job, const QString &source_file);

// Hex SHA-256 over the job's fields that shape a card and never over a key: the length, number
// format, representation, orientation, application and file number, file mode, key count, the
// three access rights, auto-increment, leading zeros and extra text. The value itself is left out
// (it changes with every card), as is every key and whether a key is set.
QString JobFingerprint(const DesfireSet &job);

// Who writes a row: the station ("<host name>/<program>"), the operator's login name and the job's
// fingerprint.
LedgerEntry LedgerWriter(const DesfireSet &job, const QString &program);

// True when a PostgreSQL connection string carries a password (key "password", or a password in a
// postgresql:// address): such a string must not sit in a settings file or a process list.
bool ConnectionHasPassword(const QString &conninfo);

// The series' name as `request` and `job` choose it: --series, else the settings' "Name", else
// DefaultSeriesName of the job's source file.
QString ChosenSeriesName(const LedgerRequest &request, const DesfireSet &job);

// The series' ledger, opened, and the series' name in it.
struct OpenedLedger {
  std::unique_ptr<SeriesLedger> ledger;  // null on failure
  QString series;
  QString database;  // the database as messages name it (the file, or the connection string)
  QString failure;   // why it could not be opened, naming the database and the reason
};

// Opens the series' ledger for `job` as `request` chooses it: a PostgreSQL database when the
// command line or the settings name one, else the SQLite file beside the value store. A named
// database that cannot be reached is a failure, never a quiet fall back to the local file.
OpenedLedger OpenSeriesLedger(const LedgerRequest &request, const DesfireSet &job);

// The shared ledger in the PostgreSQL database `conninfo`; null with `failure` when it cannot be
// opened.
std::unique_ptr<SeriesLedger> OpenSharedLedger(const QString &conninfo, QString *failure);

}  // namespace quillmate
