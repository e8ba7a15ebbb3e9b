// F1: finding the operator's guide PDF and opening it with the desktop's viewer.
#include "ui/user_guide.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>

#include "ui/message_box.h"
#include "writer/language/translation.h"

namespace quillmate::ui {
namespace {

struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CQuillmateDlg)
};

DesktopOpener &Opener() {
  static DesktopOpener opener;
  return opener;
}

}  // namespace

QString UserGuideFileName(Language language) {
  return language == Language::kEnglish ? QStringLiteral("quillmate-guide-en.pdf")
                                        : QStringLiteral("quillmate-guide-de.pdf");
}

QString FindUserGuide(const QStringList &folders, Language language) {
  for (const QString &folder : folders) {
    const QDir dir(folder);
    const QStringList pdfs =
        dir.entryList({QStringLiteral("*.pdf")}, QDir::Files | QDir::Readable, QDir::Name);
    if (pdfs.isEmpty()) continue;
    const QString own = UserGuideFileName(language);
    return dir.filePath(pdfs.contains(own) ? own : pdfs.constFirst());
  }
  return {};
}

QStringList UserGuideFolders() {
  // The same folders as the English texts: beside the program, then its installed data folder.
  return EnglishTextsFolders();
}

void OpenUserGuide(QWidget *parent, Language language, const QStringList &folders) {
  const QString guide = FindUserGuide(folders, language);
  if (guide.isEmpty()) return;
  if (!OpenWithDesktop(QUrl::fromLocalFile(guide))) {
    ShowMessageBox(parent,
                   Texts::tr("Zur Anzeige der Bedienungsanleitung muss ein PDF-Betrachter "
                             "installiert sein (zum Beispiel aus dem Paket evince oder okular).\n"
                             "Die Anleitung liegt hier: %1")
                       .arg(guide),
                   BoxIcon::kInformation);
  }
}

void SetDesktopOpener(DesktopOpener opener) {
  Opener() = std::move(opener);
}

bool OpenWithDesktop(const QUrl &url) {
  if (Opener()) return Opener()(url);
  return QDesktopServices::openUrl(url);
}

}  // namespace quillmate::ui
