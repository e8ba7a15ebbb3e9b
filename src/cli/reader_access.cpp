#include "cli/reader_access.h"

#include <QJsonDocument>
#include <cstdio>

#include "kovra.h"

namespace quillmate::cli {

QString PortName(const OperatorSettings &settings, const CardOptions &options) {
  if (!options.port.isEmpty()) return options.port;
  QString name = settings.port.name;
  if (!name.isEmpty() && !name.contains(':') && settings.port.address != kDefaultReaderAddress) {
    name += ':' + QString::number(settings.port.address);
  }
  return name;
}

int OpenReader(const OperatorSettings &settings, const CardOptions &options) {
  const QString name = PortName(settings, options);
  if (name.isEmpty()) {
    Error("no reader port: give --port or set one in the settings");
    return 0;
  }
  const int baud = options.baud >= 0 ? options.baud : settings.port.baud_rate;
  const int timeout = options.timeout_ms >= 0 ? options.timeout_ms : settings.port.timeout_ms;
  const int handle = KOVRA_OpenPort(name.toUtf8().constData(), baud, timeout);
  if (handle <= 0) {
    Error(QString("the reader on %1 could not be opened or identified (%2)").arg(name).arg(handle));
    return 0;
  }
  return handle;
}

int CoreLanguage(const OperatorSettings &settings, const CardOptions &options) {
  const int language = options.language >= 0 ? options.language : settings.language;
  return language == 0 ? 1 : 0;
}

QString UidHex(const QByteArray &uid) {
  return QString::fromLatin1(uid.toHex().toUpper());
}

void PrintJson(const QJsonObject &object) {
  std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
  std::fflush(stdout);
}

void Error(const QString &text) {
  std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

}  // namespace quillmate::cli
