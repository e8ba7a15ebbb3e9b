// The CSV and JSON exports of a series' ledger rows.
#include "writer/ledger/ledger_export.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quillmate {
namespace {

QString ReissueWord(bool reissue) {
  return reissue ? QStringLiteral("true") : QStringLiteral("false");
}

// The row's fields in the order of LedgerExportColumns().
QStringList Fields(const LedgerEntry &entry) {
  return {entry.series,
          entry.value,
          LedgerUidText(entry.uid),
          entry.station,
          entry.operator_name,
          LedgerTimeText(entry.reserved_at),
          LedgerTimeText(entry.finished_at),
          entry.job_fingerprint,
          LedgerResultWord(entry.result),
          ReissueWord(entry.reissue)};
}

// A spreadsheet opening the file runs a cell starting with one of these as a formula (a TAB or CR
// first is dropped by some of them, and the rest then runs).
bool RunsAsFormula(const QString &field) {
  if (field.isEmpty()) return false;
  const QChar first = field.front();
  return first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' ||
         first == u'\r';
}

QString CsvField(const QString &field) {
  QString text = field;
  bool quote = false;
  if (RunsAsFormula(text)) {
    text.prepend(u'\'');
    quote = true;
  }
  if (text.contains(u',') || text.contains(u'"') || text.contains(u'\r') || text.contains(u'\n')) {
    quote = true;
  }
  if (!quote) return text;
  text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
  return u'"' + text + u'"';
}

QString CsvRow(const QStringList &fields) {
  QStringList cells;
  cells.reserve(fields.size());
  for (const QString &field : fields) cells.append(CsvField(field));
  return cells.join(u',') + QStringLiteral("\r\n");
}

QJsonValue JsonText(const QString &text) {
  return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonObject JsonEntry(const LedgerEntry &entry) {
  const QStringList &columns = LedgerExportColumns();
  const QStringList fields = Fields(entry);
  QJsonObject object;
  for (qsizetype i = 0; i < columns.size(); ++i) object.insert(columns[i], fields[i]);
  object.insert(QStringLiteral("uid"), JsonText(LedgerUidText(entry.uid)));
  object.insert(QStringLiteral("finished_at"), JsonText(LedgerTimeText(entry.finished_at)));
  object.insert(QStringLiteral("reissue"), entry.reissue);
  return object;
}

QJsonObject JsonSummary(const LedgerSummary &summary) {
  QJsonObject object;
  object.insert(QStringLiteral("cards"), summary.cards);
  object.insert(QStringLiteral("failures"), summary.failures);
  object.insert(QStringLiteral("gaps"), summary.gaps);
  object.insert(QStringLiteral("reissues"), summary.reissues);
  object.insert(QStringLiteral("first_value"), JsonText(summary.first_value));
  object.insert(QStringLiteral("last_value"), JsonText(summary.last_value));
  object.insert(QStringLiteral("stations"), QJsonArray::fromStringList(summary.stations));
  return object;
}

}  // namespace

std::optional<LedgerExportFormat> LedgerExportFormatFromWord(const QString &word) {
  if (word == QLatin1String("csv")) return LedgerExportFormat::kCsv;
  if (word == QLatin1String("json")) return LedgerExportFormat::kJson;
  return std::nullopt;
}

const QStringList &LedgerExportColumns() {
  static const QStringList columns = {
      QStringLiteral("series"),      QStringLiteral("value"),
      QStringLiteral("uid"),         QStringLiteral("station"),
      QStringLiteral("operator"),    QStringLiteral("reserved_at"),
      QStringLiteral("finished_at"), QStringLiteral("job_fingerprint"),
      QStringLiteral("result"),      QStringLiteral("reissue")};
  return columns;
}

QString LedgerUidText(const QByteArray &uid) {
  QString text;
  for (qsizetype i = uid.size() - 1; i >= 0; --i) {
    text += QStringLiteral("%1").arg(static_cast<unsigned char>(uid[i]), 2, 16, QLatin1Char('0'));
  }
  return text.toUpper();
}

QString LedgerTimeText(const QDateTime &time) {
  if (!time.isValid()) return {};
  return time.toUTC().toString(Qt::ISODateWithMs);
}

QByteArray LedgerCsv(const std::vector<LedgerEntry> &entries) {
  QString text = CsvRow(LedgerExportColumns());
  for (const LedgerEntry &entry : entries) text += CsvRow(Fields(entry));
  return text.toUtf8();
}

QByteArray LedgerJson(const LedgerSummary &summary, const std::vector<LedgerEntry> &entries) {
  QJsonArray rows;
  for (const LedgerEntry &entry : entries) rows.append(JsonEntry(entry));
  QJsonObject root;
  root.insert(QStringLiteral("series"), summary.series);
  root.insert(QStringLiteral("summary"), JsonSummary(summary));
  root.insert(QStringLiteral("entries"), rows);
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray LedgerExport(LedgerExportFormat format, const LedgerSummary &summary,
                        const std::vector<LedgerEntry> &entries) {
  return format == LedgerExportFormat::kCsv ? LedgerCsv(entries) : LedgerJson(summary, entries);
}

}  // namespace quillmate
