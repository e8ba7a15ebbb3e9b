// Whether the bytes of a settings file are an INI text at all, judged before the lenient INI
// reader sees them.
#include "writer/settings/settings_text.h"

#include <QString>
#include <QStringDecoder>
#include <QStringList>

namespace quillmate {
namespace {

bool IsControl(char16_t c) {
  if (c == u'\t' || c == u'\r' || c == u'\n') return false;
  // C0, DEL and C1: the C1 block is where bytes that are no UTF-8 land when read as Latin-1.
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool IsSettingsLine(const QString &line) {
  const QString trimmed = line.trimmed();
  if (trimmed.isEmpty()) return true;
  if (trimmed.startsWith(u';') || trimmed.startsWith(u'#')) return true;
  if (trimmed.startsWith(u'[')) return trimmed.endsWith(u']');
  const qsizetype equals = trimmed.indexOf(u'=');
  return equals > 0 && !trimmed.left(equals).trimmed().isEmpty();
}

}  // namespace

bool IsSettingsText(const QByteArray &bytes) {
  QByteArray body = bytes;
  if (body.startsWith("\xEF\xBB\xBF")) body.remove(0, 3);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(body);
  if (utf8.hasError()) text = QString::fromLatin1(body);
  for (const QChar c : text) {
    if (IsControl(c.unicode())) return false;
  }
  const QStringList lines = text.split(u'\n');
  for (const QString &line : lines) {
    if (!IsSettingsLine(line)) return false;
  }
  return true;
}

}  // namespace quillmate
