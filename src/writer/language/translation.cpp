// The English operator texts: finding and installing the translation file for an English
// program.
#include "writer/language/translation.h"

#include <QDir>
#include <QFileInfo>
#include <QTranslator>
#include <memory>

namespace quillmate {
namespace {

// The name by which the application finds its English translator again, so a second install
// does not stack a second copy and the language switch can take it away.
constexpr char kTranslatorName[] = "quillmate-english-texts";

QTranslator *InstalledEnglishTexts(QCoreApplication &app) {
  return app.findChild<QTranslator *>(QString::fromLatin1(kTranslatorName),
                                      Qt::FindDirectChildrenOnly);
}

}  // namespace

QStringList EnglishTextsFolders() {
  const QString executable_folder = QCoreApplication::applicationDirPath();
  return {executable_folder,
          QDir::cleanPath(executable_folder + QStringLiteral("/../share/kv-desfire-quillmate"))};
}

bool InstallEnglishTexts(QCoreApplication &app, const QStringList &folders) {
  if (InstalledEnglishTexts(app)) return true;
  auto translator = std::make_unique<QTranslator>();
  for (const QString &folder : folders) {
    // Only the file itself: QTranslator would otherwise go on to shortened names ("KV_DESFire.qm").
    const QString file = QDir(folder).filePath(QString::fromLatin1(kEnglishTextsFile));
    if (QFileInfo(file).isFile() && translator->load(file)) {
      translator->setObjectName(QString::fromLatin1(kTranslatorName));
      translator->setParent(&app);
      QCoreApplication::installTranslator(translator.release());
      return true;
    }
  }
  return false;
}

void RemoveEnglishTexts(QCoreApplication &app) {
  // Deleting a translator takes it out of the application's list.
  delete InstalledEnglishTexts(app);
}

}  // namespace quillmate
