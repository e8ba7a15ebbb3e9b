// The English operator texts. The texts in the code are German; KV_DESFire_QuillmateEng.qm holds
// their English translation. A program whose language is English ("Sprache" 1) installs it at
// start-up; without the file the texts stay German.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

namespace quillmate {

inline constexpr char kEnglishTextsFile[] = "KV_DESFire_QuillmateEng.qm";

// The folders searched for kEnglishTextsFile, in order: the executable's folder, then the share
// folder of an installed program (<prefix>/share/kv-desfire-quillmate beside <prefix>/bin).
QStringList EnglishTextsFolders();

// Installs the English texts from the first folder of `folders` that holds a loadable
// kEnglishTextsFile. True when they are installed (also when they already were); false when no
// folder holds one, and the texts stay German. The translator belongs to `app`.
bool InstallEnglishTexts(QCoreApplication &app, const QStringList &folders = EnglishTextsFolders());

// Removes English texts installed by InstallEnglishTexts: the texts are German again.
void RemoveEnglishTexts(QCoreApplication &app);

}  // namespace quillmate
