// The version list of the update check ("RFIDVersionsHF.txt", INI text) and what the about box
// makes of it, without any downloading.
//
// The program's section "KV_DESFire_Quillmate" holds "Version" (major.minor), "Build" (the build
// date, %Y-%m-%d), "Installer" (the package's https address) and "Sha256" (the package's SHA-256
// in hex; a list without it offers no installation).
#pragma once

#include <QString>

namespace quillmate {

inline constexpr char kUpdateListFile[] = "RFIDVersionsHF.txt";
inline constexpr char kUpdateSection[] = "KV_DESFire_Quillmate";
// The project's own update location (the list's address); a company points its PCs at its own
// mirror with the setting "Address" in section "Version".
inline constexpr char kDefaultUpdateAddress[] =
    "https://updates.kv-desfire-quillmate.org/RFIDVersionsHF.txt";

// major * 1000 + minor, each the decimal number at the start of its part (0 without digits):
// "1.23" gives 1023, "2.5" 2005, "3" 3000. Absurd numbers are cut to what fits.
qint64 VersionNumber(const QString &version);

struct UpdateList {
  bool received = false;  // a list text came (maybe an empty or foreign one)
  QString version;
  QString build;
  QString installer;
  QString sha256;
};

// Reads the program's section of a downloaded list text; `received` false when the text is empty.
UpdateList ParseUpdateList(const QString &text);

// True when the list's version is greater than `own_version`'s, or, with the same or a lower
// version, when the list's build date sorts after `own_build`.
bool IsUpdateAvailable(const UpdateList &list, const QString &own_version,
                       const QString &own_build);

enum class UpdateLabelState { kNoConnection, kNoFile, kNewVersion, kCurrent };

struct UpdateLabel {
  UpdateLabelState state = UpdateLabelState::kNoConnection;
  QString text;
  int red = 0, green = 0, blue = 0;
  bool link = false;
};

// The about box's update label for a list: no list, no section, a newer version, or current.
UpdateLabel UpdateLabelFor(const UpdateList &list, const QString &own_version,
                           const QString &own_build);

// Whether an address is an https address (the only kind the check follows).
bool IsHttpsAddress(const QString &address);

// The file name an installer address gives: what follows its last '/', when that is a plain name
// (letters, digits, '.', '_', '-', '+', '~', not starting with '.'); empty otherwise.
QString InstallerFileName(const QString &address);

}  // namespace quillmate
