// One connection to a PostgreSQL server with every wait bounded: connecting ends after
// connect_timeout, every statement after an answer bound on this side (a server that stops
// answering does not hold the station) and a statement timeout on the server's side (a lock another
// station holds too long). A connection that broke is dropped and opened anew on the next call.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct pg_conn;
struct pg_result;

namespace quillmate {

// How a statement ended.
struct PgAnswer {
  enum class Kind {
    kOk,        // the server carried it out; `result` holds its rows
    kRefused,   // the server refused it (`sqlstate`, `reason`); the connection is still usable
    kLost,      // the connection broke before the answer came; whether it was carried out is open
    kTimedOut,  // no answer within the bound; the connection was dropped, the outcome is open
  };
  Kind kind = Kind::kLost;
  std::shared_ptr<pg_result> result;
  QString sqlstate;  // e.g. "23505" for a unique violation
  QString reason;    // the server's or libpq's message, one line

  bool ok() const { return kind == Kind::kOk; }
  int Rows() const;
  // The text of a field; nullopt for SQL NULL or a field that is not there.
  std::optional<QByteArray> Field(int row, int column) const;
};

class PostgresConnection {
 public:
  // The connection `conninfo` describes: libpq's key=value form, a postgresql:// URI, or the bare
  // name of a service in pg_service.conf. Nothing is connected yet. Null with `failure` set when
  // the text is not a connection string (the message never repeats the text: it may hold a
  // password).
  static std::unique_ptr<PostgresConnection> Parse(const QString &conninfo, QString *failure);
  ~PostgresConnection();
  PostgresConnection(const PostgresConnection &) = delete;
  PostgresConnection &operator=(const PostgresConnection &) = delete;

  // "PostgreSQL <database> (<host or socket folder>)"; never a password.
  const QString &Name() const { return name_; }

  // Opens the connection when none is open; false with libpq's `reason` when the server cannot be
  // reached within connect_timeout. `opened` tells whether this call opened it.
  bool Ensure(QString *reason, bool *opened = nullptr);
  bool Open() const { return conn_ != nullptr; }
  // Ends an open transaction without its changes; nothing when none is open.
  void RollBack();
  // Closes the connection (the next Ensure opens a new one).
  void Drop();
  // The server process that serves this connection; 0 while none is open.
  int BackendPid() const { return backend_pid_; }

  // Runs one statement with text parameters ($1, $2, ...; nullopt is SQL NULL) and waits at most
  // the answer bound. A lost or timed-out connection is dropped.
  PgAnswer Run(const char *sql, const std::vector<std::optional<QByteArray>> &params = {});

  // How long a statement may take on the server and on this side, in seconds.
  static constexpr int kStatementSeconds = 5;
  static constexpr int kAnswerSeconds = 10;

 private:
  PostgresConnection() = default;

  std::vector<QByteArray> keywords_;
  std::vector<QByteArray> values_;
  QString name_;
  pg_conn *conn_ = nullptr;
  int backend_pid_ = 0;
};

}  // namespace quillmate
