// Qt's own texts (the buttons of message boxes, file dialogs and button boxes) in the window's
// language.
#include "ui/qt_texts.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace quillmate::ui {
namespace {

// The name by which the application finds the translator again, so a second install does not
// stack a second copy and the switch to English can take it away.
constexpr char kTranslatorName[] = "quillmate-qt-german-texts";

QTranslator *InstalledQtGermanTexts(QCoreApplication &app) {
  return app.findChild<QTranslator *>(QString::fromLatin1(kTranslatorName),
                                      Qt::FindDirectChildrenOnly);
}

}  // namespace

bool InstallQtGermanTexts(QCoreApplication &app, const QString &folder) {
  if (InstalledQtGermanTexts(app)) return true;
  const QString from =
      folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
  const QString file = QDir(from).filePath(QString::fromLatin1(kQtGermanTextsFile));
  auto translator = std::make_unique<QTranslator>();
  // Only the file itself: QTranslator would otherwise go on to shortened names ("qtbase.qm").
  if (!QFileInfo(file).isFile() || !translator->load(file)) return false;
  translator->setObjectName(QString::fromLatin1(kTranslatorName));
  translator->setParent(&app);
  QCoreApplication::installTranslator(translator.release());
  return true;
}

void RemoveQtGermanTexts(QCoreApplication &app) {
  // Deleting a translator takes it out of the application's list.
  delete InstalledQtGermanTexts(app);
}

}  // namespace quillmate::ui
