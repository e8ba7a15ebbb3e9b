// The series ledger in a PostgreSQL database that several stations share. Reserving a value is
// one transaction on the server that locks the series' row, so no two stations can get one value;
// a unique index on (series, value) over the rows that hold a value makes it impossible even for
// a program that skips the lock. The schema is created or upgraded on first use.
#pragma once

#include <QString>

#include <memory>

#include "writer/ledger/series_ledger.h"

namespace quillmate {

// Connects to the database `conninfo` names (libpq's key=value form, a postgresql:// URI or the
// name of a service in pg_service.conf; the password comes from ~/.pgpass or the service file)
// and makes sure its ledger tables are there in this program's version. Null with `failure`
// naming the database and the reason when the text is no connection string, the server cannot
// be reached, or its ledger is of a newer version than this program knows. A connection lost
// later is opened anew by the next call.
std::unique_ptr<SeriesLedger> OpenPostgresLedger(const QString &conninfo, QString *failure);

}  // namespace quillmate
