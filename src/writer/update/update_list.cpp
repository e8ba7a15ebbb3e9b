// The update check's version list and what the about box makes of it, without downloading.
#include "writer/update/update_list.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <string>

#include "support/ini_store.h"

namespace quillmate {
namespace {

struct Texts {
  Q_DECLARE_TR_FUNCTIONS(UpdateList)
};

constexpr char kProgramTitle[] = "KV-DESFire Quillmate";

qint64 LeadingNumber(const QString &text) {
  qint64 value = 0;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') break;
    value = std::min<qint64>(value * 10 + (c.unicode() - u'0'), 1'000'000'000);
  }
  return value;
}

}  // namespace

qint64 VersionNumber(const QString &version) {
  const qsizetype dot = version.indexOf(u'.');
  if (dot < 0) return LeadingNumber(version) * 1000;
  return LeadingNumber(version.left(dot)) * 1000 + LeadingNumber(version.mid(dot + 1));
}

UpdateList ParseUpdateList(const QString &text) {
  UpdateList list;
  if (text.isEmpty()) return list;
  list.received = true;
  CIniEx ini;
  ini.ParseText(text.toStdString());
  auto value = [&](const char *key) {
    return QString::fromStdString(ini.GetString(kUpdateSection, key, "")).trimmed();
  };
  list.version = value("Version");
  // A build date in another form than %Y-%m-%d would not sort as a date: it counts as missing.
  static const QRegularExpression kDate(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
  list.build = value("Build");
  if (!kDate.match(list.build).hasMatch()) list.build.clear();
  list.installer = value("Installer");
  list.sha256 = value("Sha256").toLower();
  return list;
}

bool IsUpdateAvailable(const UpdateList &list, const QString &own_version,
                       const QString &own_build) {
  if (!list.received) return false;
  if (VersionNumber(list.version) > VersionNumber(own_version)) return true;
  return !list.build.isEmpty() && own_build < list.build;
}

UpdateLabel UpdateLabelFor(const UpdateList &list, const QString &own_version,
                           const QString &own_build) {
  UpdateLabel label;
  if (!list.received) {
    label.state = UpdateLabelState::kNoConnection;
    label.text = Texts::tr("Keine Internet Verbindung: Update Prüfung nicht möglich!");
    label.red = 255;
  } else if (list.version.isEmpty() || list.build.isEmpty()) {
    label.state = UpdateLabelState::kNoFile;
    label.text = Texts::tr("Keine Datei gefunden: Update Prüfung nicht möglich!");
    label.red = 255;
  } else if (IsUpdateAvailable(list, own_version, own_build)) {
    label.state = UpdateLabelState::kNewVersion;
    label.text = Texts::tr("Neue Version:") + QString::fromLatin1(kProgramTitle) +
                 QStringLiteral(" V ") + list.version + QStringLiteral(" (") + list.build +
                 QStringLiteral(")");
    label.red = 192;
    label.link = true;
  } else {
    label.state = UpdateLabelState::kCurrent;
    label.text = QString::fromLatin1(kProgramTitle) + Texts::tr(" ist aktuell");
    label.red = label.green = label.blue = 128;
  }
  return label;
}

bool IsHttpsAddress(const QString &address) {
  return address.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive) && address.size() > 8;
}

QString InstallerFileName(const QString &address) {
  const QString name = address.mid(address.lastIndexOf(u'/') + 1);
  if (name.isEmpty() || name.startsWith(u'.') || name.size() > 200) return {};
  for (const QChar c : name) {
    const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                       (c >= u'0' && c <= u'9') || c == u'.' || c == u'_' || c == u'-' ||
                       c == u'+' || c == u'~';
    if (!plain) return {};
  }
  return name;
}

}  // namespace quillmate
