// Texts of the DESFire card status codes (0x10000 + status) and of the DESFire layer's own codes.
#include "desfire/status_texts.h"

#include <algorithm>
#include <iterator>

namespace kovra::desfire {
namespace {

struct StatusText {
  int code;
  const char *english;
  const char *german;
};

// Card status bytes s are stored as 0x10000 + s; 0x10020..0x10025 are the DESFire layer's own
// checks. The texts are the operator-facing texts of the system and stay as they are, typos
// included ("additonal"). Sorted by code for the binary search below.
constexpr StatusText kStatusTexts[] = {
    {0x1000C, "No changes done", "Keine Änderungen durchgeführt"},
    {0x1000E, "Internal error, insufficient memory to complete operation",
     "Interner Fehler, zu wenig Speicher auf Karte"},
    {0x1001C, "Command code not supported", "Kommando unbekannt oder nicht unterstützt"},
    {0x1001E, "Integrity error, CRC or MAC does not match data / Padding bytes not valid",
     "Integritätsfehler, CRC oder MAC passen nicht zu den Daten / Paddingbytes sind nicht gültig"},
    {0x10020, "Key length is not 16 bytes", "Key-Länge beträgt nicht 16 Byte"},
    {0x10021, "Old key length is not 16 bytes",
     "Länge des übergebenen bisherigen Keys beträgt nicht 16 Byte"},
    {0x10023, "Command needs authentication", "Befehl benötigt eine Authentifizierung"},
    {0x10024, "MAC does not match data", "MAC passt nicht zu den Daten"},
    {0x10025, "CRC after decryption does not match data",
     "CRC nach Entschlüsselung passt nicht zu den Daten"},
    {0x10040, "Invalid Key number specified", "Ungültige Key-Nummer"},
    {0x1007E, "Internal error, length of Command string invalid",
     "Interner Fehler, falsche Länge des Kommandos"},
    {0x1009D, "Current config/status does not allow the requested command",
     "Aktuelle Konfiguration oder Status erlauben das Kommando nicht"},
    {0x1009E, "Internal error, value of the parameter invalid",
     "Interner Fehler, ungültiger Parameterwert"},
    {0x100A0, "Requested AID not present on card",
     "Die angeforderte Application-ID ist auf der Karte nicht vorhanden"},
    {0x100A1, "Unrecoverable error within application, application will be disabled",
     "Unbehebbarer Fehler in der Application, sie ist stillgelegt"},
    {0x100AE, "Current authentication state does not allow the requested command",
     "Der aktuelle Authentifizierungs-Status erlaubt die gewünschte Operation nicht"},
    {0x100AF, "Internal error, additonal data frame is expected to be sent",
     "Interner Fehler, es wird das Versenden eines weiteren Datenrahmens erwartet"},
    {0x100BE, "Attempt to read/write data from/to beyond the file's limits",
     "Es wurde versucht, Daten jenseits der File-Grenzen zu lesen oder schreiben"},
    {0x100C1, "Unrecoverable error in card, card will be disabled",
     "Unbehebbarer Fehler in der Karte, die Karte wird stillgelegt"},
    {0x100CA,
     "Previous command was not fully completed. Not all frames were requested or provided by the "
     "PCD",
     "Das vorhergehende Kommando wurde nicht vollständig abgearbeitet. Es wurden nicht alle "
     "Rahmen zur Karte geschickt oder abgeholt"},
    {0x100CD, "PICC was disabled by an unrecoverable error",
     "Die Karte wurde durch einen unbehebbaren Fehler stillgelegt"},
    {0x100CE, "Max. number of applications reached. Number of applications limited to 28",
     "Maximale Anzahl an Applications bereits erreicht. Die Anzahl der Applications ist auf 28 "
     "beschränkt"},
    {0x100DE, "Duplicate application/file number given",
     "Bereits vergebene Application/File-Nummer"},
    {0x100EE, "Internal error, EEProm could not be written",
     "Interner Fehler, EEProm konnte nicht beschrieben werden"},
    {0x100F0, "File not found", "File nicht gefunden"},
    {0x100F1, "Unrecoverable error in file", "Unbehebbarer Fehler in File"},
};

constexpr bool ByCode(const StatusText &row, int code) {
  return row.code < code;
}

static_assert(std::is_sorted(std::begin(kStatusTexts), std::end(kStatusTexts),
                             [](const StatusText &a, const StatusText &b) {
                               return a.code < b.code;
                             }),
              "the lookup needs the rows sorted by code");

}  // namespace

const char *GetDesfireErrorText(int code, int language) {
  const auto row = std::lower_bound(std::begin(kStatusTexts), std::end(kStatusTexts), code, ByCode);
  if (row == std::end(kStatusTexts) || row->code != code) return "";
  return language == 1 ? row->german : row->english;
}

}  // namespace kovra::desfire
