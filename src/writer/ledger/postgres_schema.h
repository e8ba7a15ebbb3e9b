// The ledger's tables in a PostgreSQL database, created on first use and upgraded step by step.
// The version the database holds is a row of quillmate_schema; a database that a newer program
// upgraded beyond what this one knows is refused, never written into.
#pragma once

#include <QString>

namespace quillmate {

class PostgresConnection;

// The schema version this program writes.
constexpr int kPostgresSchemaVersion = 2;

// Creates the tables or upgrades them to kPostgresSchemaVersion in one transaction that several
// stations starting at once take in turn. False with `failure` naming the database and the reason.
bool EnsurePostgresSchema(PostgresConnection &connection, QString *failure);

}  // namespace quillmate
