// What the commands print: JSON lines on stdout, messages on stderr, UIDs in hex.
#include "cli/cli_output.h"

#include <unistd.h>

#include <QJsonDocument>
#include <cstdio>
#include <iostream>
#include <string>

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

bool AskYesOnTerminal(const QString &question) {
  if (!isatty(STDIN_FILENO)) return false;
  std::fprintf(stderr, "%s [y/N] ", question.toUtf8().constData());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "j" || answer == "J";
}

bool GivenOutValueConfirmed(bool yes, const QString &value, const QString &next,
                            const QString &refusal) {
  if (yes) return true;
  const QString question =
      QString(
          "The value <%1> has been given out in this series already (its next value is <%2>). "
          "Write it anyway?")
          .arg(value, next);
  if (AskYesOnTerminal(question)) return true;
  Error(refusal);
  return false;
}

}  // namespace quillmate::cli
