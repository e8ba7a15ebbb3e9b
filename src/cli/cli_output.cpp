#include "cli/cli_output.h"

#include <QJsonDocument>
#include <cstdio>

namespace quillmate::cli {

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
