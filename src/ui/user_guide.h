// F1: the operator's guide, a PDF beside the program or in its installed data folder, opened with
// the desktop's PDF viewer.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "writer/language/language.h"

class QWidget;

namespace quillmate::ui {

// The guide's file name for a language: "quillmate-guide-de.pdf" or "quillmate-guide-en.pdf".
QString UserGuideFileName(Language language);

// The guide to open: in the first of `folders` that holds a PDF, the guide in `language` when it
// is there, else the first PDF by name. Empty when no folder holds a PDF.
QString FindUserGuide(const QStringList &folders, Language language);

// The folders searched: the program's folder, then the installed data folder.
QStringList UserGuideFolders();

// Opens the guide with the desktop; does nothing when there is none. When the desktop cannot open
// it, a message says that a PDF viewer is needed.
void OpenUserGuide(QWidget *parent, Language language,
                   const QStringList &folders = UserGuideFolders());

// How the desktop is asked to open a file or address; tests replace it (an empty function brings
// QDesktopServices back). Returns whether the desktop took it.
using DesktopOpener = std::function<bool(const QUrl &)>;
void SetDesktopOpener(DesktopOpener opener);
bool OpenWithDesktop(const QUrl &url);

}  // namespace quillmate::ui
