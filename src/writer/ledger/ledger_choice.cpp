// Where a job's series keeps its ledger, its name, and who writes in it.
#include "writer/ledger/ledger_choice.h"

#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>

#include "writer/ledger/sqlite_ledger.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "LedgerChoice" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(LedgerChoice)
};

QString LoginName() {
  if (const passwd *user = ::getpwuid(::geteuid()); user != nullptr && user->pw_name != nullptr) {
    return QString::fromLocal8Bit(user->pw_name);
  }
  return qEnvironmentVariable("LOGNAME", qEnvironmentVariable("USER"));
}

}  // namespace

QString SqliteLedgerFile(const QString &settings_file, const QString &job_file) {
  if (!job_file.isEmpty()) return QFileInfo(job_file).absoluteFilePath() + kLedgerFileSuffix;
  const QFileInfo settings(settings_file);
  return settings.absoluteDir().filePath(settings.completeBaseName() + kLedgerFileSuffix);
}

QString DefaultSeriesName(const DesfireSet &job, const QString &source_file) {
  return QStringLiteral("%1/%2 %3")
      .arg(job.app_id, 6, 16, QLatin1Char('0'))
      .arg(job.file_id, 2, 16, QLatin1Char('0'))
      .toUpper()
      .arg(QFileInfo(source_file).absoluteFilePath());
}

QString JobFingerprint(const DesfireSet &job) {
  // One "name=value" line per field, in a fixed order, so that the same job always hashes alike.
  const QList<std::pair<const char *, int>> fields = {
      {"length", job.length},
      {"number_format", static_cast<int>(job.number_format)},
      {"representation", static_cast<int>(job.representation)},
      {"orientation", static_cast<int>(job.orientation)},
      {"app_id", job.app_id},
      {"file_id", job.file_id},
      {"file_mode", static_cast<int>(job.file_mode)},
      {"key_count", job.key_count},
      {"read_key_nr", job.read_key_nr},
      {"write_key_nr", job.write_key_nr},
      {"read_write_key_nr", job.read_write_key_nr},
      {"auto_increment", job.auto_increment ? 1 : 0},
      {"leading_zeros", job.leading_zeros ? 1 : 0},
      {"prefix_allowed", job.prefix_allowed ? 1 : 0},
  };
  QByteArray text;
  for (const auto &[name, value] : fields) {
    text += QByteArray(name) + '=' + QByteArray::number(value) + '\n';
  }
  return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
}

LedgerEntry LedgerWriter(const DesfireSet &job, const QString &program) {
  LedgerEntry who;
  who.station = QSysInfo::machineHostName() + QLatin1Char('/') + program;
  who.operator_name = LoginName();
  who.job_fingerprint = JobFingerprint(job);
  return who;
}

bool ConnectionHasPassword(const QString &conninfo) {
  const QString trimmed = conninfo.trimmed();
  if (trimmed.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
      trimmed.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive)) {
    const QUrl url(trimmed);
    if (!url.password().isEmpty()) return true;
    // A user part with a colon the URL parser did not take apart still holds a password.
    const QString authority =
        trimmed.section(QLatin1String("://"), 1).section(QLatin1Char('/'), 0, 0);
    if (authority.contains(QLatin1Char('@')) &&
        authority.section(QLatin1Char('@'), 0, 0).contains(QLatin1Char(':'))) {
      return true;
    }
    return QUrlQuery(url.query()).hasQueryItem(QStringLiteral("password"));
  }
  static const QRegularExpression password_key(QStringLiteral("(^|\\s)password\\s*="),
                                               QRegularExpression::CaseInsensitiveOption);
  return password_key.match(trimmed).hasMatch();
}

std::unique_ptr<SeriesLedger> OpenSharedLedger(const QString &conninfo, QString *failure) {
  Q_UNUSED(conninfo);
  *failure = Texts::tr("PostgreSQL-Serienbuch nicht eingebaut");
  return nullptr;
}

QString ChosenSeriesName(const LedgerRequest &request, const DesfireSet &job) {
  if (!request.series.isEmpty()) return request.series;
  if (!request.settings.name.isEmpty()) return request.settings.name;
  return DefaultSeriesName(job,
                           request.job_file.isEmpty() ? request.settings_file : request.job_file);
}

OpenedLedger OpenSeriesLedger(const LedgerRequest &request, const DesfireSet &job) {
  OpenedLedger opened;
  opened.series = ChosenSeriesName(request, job);
  const QString database =
      !request.database.isEmpty() ? request.database : request.settings.database;
  if (database.trimmed().isEmpty()) {
    opened.database = SqliteLedgerFile(request.settings_file, request.job_file);
    opened.ledger = OpenSqliteLedger(opened.database, &opened.failure);
    return opened;
  }
  opened.database = database;
  if (ConnectionHasPassword(database)) {
    opened.failure = Texts::tr(
        "Die Datenbank der Serie darf kein Passwort enthalten: das Passwort gehört in die "
        "Passwortdatei von libpq (~/.pgpass) oder in eine Dienstdatei (service=NAME).");
    return opened;
  }
  opened.ledger = OpenSharedLedger(database, &opened.failure);
  return opened;
}

}  // namespace quillmate
