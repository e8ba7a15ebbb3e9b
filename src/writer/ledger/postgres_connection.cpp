// One bounded connection to a PostgreSQL server through libpq.
#include "writer/ledger/postgres_connection.h"

#include <QCoreApplication>

#include <cerrno>
#include <chrono>

#include <libpq-fe.h>
#include <poll.h>

namespace quillmate {
namespace {

// The operator texts of this file, context "PostgresLedger" (lupdate collects them from
// Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(PostgresLedger)
};

// libpq's messages end in a newline and sometimes span lines; a message names them on one.
QString OneLine(const char *message) {
  return QString::fromUtf8(message ? message : "").simplified();
}

// The server's notices ("relation already exists, skipping") are no news to an operator.
void DropNotice(void *, const char *) {}

// Where a station waits when the connection string names no bound of its own.
constexpr char kConnectTimeoutSeconds[] = "5";

}  // namespace

int PgAnswer::Rows() const {
  return result ? PQntuples(result.get()) : 0;
}

std::optional<QByteArray> PgAnswer::Field(int row, int column) const {
  if (!result || row < 0 || row >= PQntuples(result.get()) || column < 0 ||
      column >= PQnfields(result.get()) || PQgetisnull(result.get(), row, column)) {
    return std::nullopt;
  }
  return QByteArray(PQgetvalue(result.get(), row, column), PQgetlength(result.get(), row, column));
}

std::unique_ptr<PostgresConnection> PostgresConnection::Parse(const QString &conninfo,
                                                              QString *failure) {
  QString text = conninfo.trimmed();
  // A single word is the name of a service in pg_service.conf.
  if (!text.isEmpty() && !text.contains(QLatin1Char('=')) && !text.contains(QLatin1String("://")))
    text = QStringLiteral("service=") + text;
  char *error = nullptr;
  PQconninfoOption *options = PQconninfoParse(text.toUtf8().constData(), &error);
  if (!options) {
    // libpq quotes the text it stumbled on, which may be a password.
    const QString reason = text.contains(QLatin1String("pass"), Qt::CaseInsensitive)
                               ? Texts::tr("die Angabe ist kein libpq-Verbindungstext")
                               : OneLine(error);
    if (failure) {
      *failure = Texts::tr("Die Verbindungsangabe der PostgreSQL-Datenbank ist ungültig: %1")
                     .arg(reason.isEmpty() ? Texts::tr("kein Speicher") : reason);
    }
    PQfreemem(error);
    return nullptr;
  }
  std::unique_ptr<PostgresConnection> connection(new PostgresConnection);
  QString database, host, service, user;
  bool timeout_given = false;
  for (PQconninfoOption *option = options; option->keyword; ++option) {
    if (!option->val) continue;
    const QByteArray keyword(option->keyword);
    const QString value = QString::fromUtf8(option->val);
    if (keyword == "dbname") database = value;
    if ((keyword == "host" || keyword == "hostaddr") && host.isEmpty()) host = value;
    if (keyword == "service") service = value;
    if (keyword == "user") user = value;
    if (keyword == "connect_timeout") timeout_given = true;
    connection->keywords_.push_back(keyword);
    connection->values_.push_back(QByteArray(option->val));
  }
  PQconninfoFree(options);
  if (!timeout_given) {
    connection->keywords_.push_back("connect_timeout");
    connection->values_.push_back(kConnectTimeoutSeconds);
  }
  connection->keywords_.push_back("fallback_application_name");
  connection->values_.push_back("quillmate");

  // The name messages use before a connection says what it reached.
  if (database.isEmpty()) database = QString::fromLocal8Bit(qgetenv("PGDATABASE"));
  if (database.isEmpty()) database = service;
  if (database.isEmpty()) database = user;
  if (database.isEmpty()) database = QString::fromLocal8Bit(qgetenv("USER"));
  if (host.isEmpty()) host = QString::fromLocal8Bit(qgetenv("PGHOST"));
  if (host.isEmpty()) host = QStringLiteral("/var/run/postgresql");
  connection->name_ = QStringLiteral("PostgreSQL %1 (%2)").arg(database, host);
  return connection;
}

PostgresConnection::~PostgresConnection() {
  Drop();
}

void PostgresConnection::Drop() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
  backend_pid_ = 0;
}

bool PostgresConnection::Ensure(QString *reason, bool *opened) {
  if (opened) *opened = false;
  if (conn_ && PQstatus(conn_) == CONNECTION_OK) return true;
  Drop();
  std::vector<const char *> keywords, values;
  for (std::size_t i = 0; i < keywords_.size(); ++i) {
    keywords.push_back(keywords_[i].constData());
    values.push_back(values_[i].constData());
  }
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  // connect_timeout bounds the whole handshake, also against a server that accepts and is silent.
  conn_ = PQconnectdbParams(keywords.data(), values.data(), 0);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    if (reason) *reason = conn_ ? OneLine(PQerrorMessage(conn_)) : Texts::tr("kein Speicher");
    Drop();
    return false;
  }
  PQsetNoticeProcessor(conn_, DropNotice, nullptr);
  backend_pid_ = PQbackendPID(conn_);
  name_ = QStringLiteral("PostgreSQL %1 (%2)")
              .arg(QString::fromUtf8(PQdb(conn_)), QString::fromUtf8(PQhost(conn_)));
  // A lock another station holds too long, or a station that stops inside a transaction, must
  // not hold the others: the server ends such waits itself. Times are read and written in UTC.
  const QByteArray setup = QStringLiteral(
                               "SET statement_timeout = '%1s'; SET lock_timeout = '%1s'; "
                               "SET idle_in_transaction_session_timeout = '%2s'; "
                               "SET TimeZone = 'UTC'")
                               .arg(kStatementSeconds)
                               .arg(3 * kAnswerSeconds)
                               .toLatin1();
  const PgAnswer answer = Run(setup.constData());
  if (!answer.ok()) {
    if (reason) *reason = answer.reason;
    Drop();
    return false;
  }
  if (opened) *opened = true;
  return true;
}

void PostgresConnection::RollBack() {
  if (conn_ && PQtransactionStatus(conn_) != PQTRANS_IDLE) Run("ROLLBACK");
}

PgAnswer PostgresConnection::Run(const char *sql,
                                 const std::vector<std::optional<QByteArray>> &params) {
  PgAnswer answer;
  if (!conn_) {
    answer.reason = Texts::tr("keine Verbindung");
    return answer;
  }
  std::vector<const char *> values;
  for (const std::optional<QByteArray> &param : params)
    values.push_back(param ? param->constData() : nullptr);
  const bool sent = params.empty()
                        ? PQsendQuery(conn_, sql) == 1
                        : PQsendQueryParams(conn_, sql, static_cast<int>(values.size()), nullptr,
                                            values.data(), nullptr, nullptr, 0) == 1;
  if (!sent) {
    answer.reason = OneLine(PQerrorMessage(conn_));
    Drop();
    return answer;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kAnswerSeconds);
  std::shared_ptr<pg_result> last;
  for (;;) {
    while (PQisBusy(conn_)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) {
        answer.kind = PgAnswer::Kind::kTimedOut;
        answer.reason = Texts::tr("keine Antwort innerhalb von %1 s").arg(kAnswerSeconds);
        Drop();
        return answer;
      }
      pollfd ready{PQsocket(conn_), POLLIN, 0};
      const int polled = poll(&ready, 1, static_cast<int>(left));
      if (polled < 0 && errno != EINTR) break;
      if (polled > 0 && PQconsumeInput(conn_) != 1) break;
    }
    if (PQisBusy(conn_)) {
      answer.reason = OneLine(PQerrorMessage(conn_));
      Drop();
      return answer;
    }
    PGresult *result = PQgetResult(conn_);
    if (!result) break;
    last.reset(result, PQclear);
  }
  const ExecStatusType status = last ? PQresultStatus(last.get()) : PGRES_FATAL_ERROR;
  if (PQstatus(conn_) != CONNECTION_OK) {
    answer.reason = OneLine(last ? PQresultErrorMessage(last.get()) : PQerrorMessage(conn_));
    if (answer.reason.isEmpty()) answer.reason = OneLine(PQerrorMessage(conn_));
    Drop();
    return answer;
  }
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
    answer.kind = PgAnswer::Kind::kOk;
    answer.result = last;
    return answer;
  }
  answer.kind = PgAnswer::Kind::kRefused;
  answer.reason = OneLine(last ? PQresultErrorMessage(last.get()) : PQerrorMessage(conn_));
  if (last) answer.sqlstate = QString::fromLatin1(PQresultErrorField(last.get(), PG_DIAG_SQLSTATE));
  return answer;
}

}  // namespace quillmate
