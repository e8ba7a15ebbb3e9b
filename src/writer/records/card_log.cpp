// The operator's card logs: one line per written or read card, appended to a plain-text file.
#include "writer/records/card_log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "writer/records/line_append.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "CardLog" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CardLog)
};

QString UidText(const QByteArray &uid) {
  if (uid.size() != 4 && uid.size() != 7) return {};
  QString text;
  for (qsizetype i = uid.size() - 1; i >= 0; --i) {
    text += QStringLiteral("%1").arg(static_cast<unsigned char>(uid[i]), 2, 16, QLatin1Char('0'));
  }
  return text.toUpper();
}

QString NumberFormatWord(NumberFormat format) {
  switch (format) {
    case NumberFormat::kDecimal:
      return Texts::tr("Dez");
    case NumberFormat::kHexadecimal:
      return Texts::tr("Hex");
    case NumberFormat::kNone:
      break;
  }
  return QStringLiteral("---");
}

QString RightAligned(qint64 value, int width) {
  return QStringLiteral("%1").arg(value, width, 10, QLatin1Char(' '));
}

QString HexField(int value, int width) {
  return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

LogResult Failed(const QString &file_name) {
  return {LogOutcome::kFailed,
          Texts::tr("Die Protokollzeile konnte nicht in die Datei <%1> geschrieben werden!")
              .arg(file_name)};
}

}  // namespace

LogFileCheck CheckLogFile(const QString &file_name) {
  using Problem = LogFileCheck::Problem;
  if (file_name.isEmpty()) {
    return {Problem::kNoFile, Texts::tr("Für das Protokoll ist keine Datei gewählt!"), {}};
  }
  const QFileInfo file(file_name);
  const QString folder = file.absolutePath();
  if (!QFileInfo(folder).isDir()) {
    return {Problem::kFolderMissing,
            Texts::tr("Der Ordner <%1> der Logdatei <%2> existiert nicht!").arg(folder, file_name),
            folder};
  }
  // access() asks the kernel with the process's own rights, so a read-only mount or a folder of
  // another user answers as the later write would.
  // A link in the log's place is not followed (the line would land in the file it points at).
  const bool link = file.isSymLink();
  const QByteArray path = QFile::encodeName(file.exists() ? file.absoluteFilePath() : folder);
  if (link || ::access(path.constData(), W_OK) != 0 || (file.exists() && !file.isFile())) {
    const QString reason = link ? Texts::tr("ein symbolischer Link")
                           : file.exists() && !file.isFile()
                               ? Texts::tr("keine Datei")
                               : QString::fromLocal8Bit(std::strerror(errno));
    return {Problem::kNotWritable,
            Texts::tr("Die Logdatei <%1> kann nicht geschrieben werden: %2").arg(file_name, reason),
            folder};
  }
  return {Problem::kNone, {}, folder};
}

bool MakeLogFolder(const QString &file_name) {
  const QString folder = QFileInfo(file_name).absolutePath();
  return QDir().mkpath(folder);
}

QDateTime SystemLogClock() {
  return QDateTime::currentDateTime();
}

QString LogLineBody(const DesfireSet &job, const QByteArray &uid, const QDateTime &now) {
  const QString representation =
      job.representation == Representation::kAscii ? Texts::tr("ASCII") : Texts::tr("BINÄR");
  const QString orientation =
      job.orientation == Orientation::kRotated ? Texts::tr("Gedreht") : Texts::tr("Normal");
  const QChar tab = u'\t';
  return now.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) + tab + UidText(uid) + tab +
         NumberFormatWord(job.number_format) + u' ' + representation + u' ' + orientation + tab +
         HexField(job.app_id, 6) + tab + HexField(job.file_id, 2) + tab +
         RightAligned(job.length, 4) + tab + job.data;
}

LogResult WriteLogLine(const QString &file_name, const DesfireSet &job, const QByteArray &uid,
                       const LogClock &clock) {
  const QString body = LogLineBody(job, uid, clock());
  if (file_name.isEmpty()) return {};
  const bool appended = AppendNumberedLine(file_name, [&body](qint64 number) {
    return (RightAligned(number, 6) + u'\t' + body + u'\n').toUtf8();
  });
  if (!appended) return Failed(file_name);
  return {LogOutcome::kWritten, {}};
}

}  // namespace quillmate
