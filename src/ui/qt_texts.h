// Qt's own texts in the window's language. The buttons Qt makes itself (Retry, Cancel, Yes, No of
// the message boxes, Open and Cancel of the file dialog, OK and Cancel of a button box) and the
// line edits' context menus come from Qt's translations, not from ours: without them the German
// window would ask its questions with English buttons. Debian ships them in qt6-translations-l10n;
// without that package the window stays usable with Qt's English buttons.
#pragma once

#include <QCoreApplication>
#include <QString>

namespace quillmate::ui {

// The file with Qt's German texts of the widgets the window uses.
inline constexpr char kQtGermanTextsFile[] = "qtbase_de.qm";

// Installs Qt's German texts from `folder` (empty: the translations folder of the Qt the program
// runs on). True when they are installed (also when they already were); false when the folder has
// no loadable kQtGermanTextsFile. The translator belongs to `app`.
bool InstallQtGermanTexts(QCoreApplication &app, const QString &folder = QString());

// Removes what InstallQtGermanTexts installed: Qt's own texts are English again.
void RemoveQtGermanTexts(QCoreApplication &app);

}  // namespace quillmate::ui
