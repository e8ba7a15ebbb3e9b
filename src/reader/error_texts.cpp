// Texts of the library's error codes in German and English.
#include "reader/error_texts.h"

#include <algorithm>
#include <iterator>

namespace kovra {
namespace {

constexpr int kGerman = 1;

struct CodeText {
  int code;
  const char *english;
  const char *german;
};

// Library, reader, ISO and MIFARE codes. Codes missing here (17, 18, 26..31, 45..249, 253) have
// no text and take the fallback. The texts are the operator-facing texts of the system and are
// kept byte for byte, odd trailing commas included. Sorted by code for the binary search below.
constexpr CodeText kCodeTexts[] = {
    {1, "Error opening the port", "Fehler beim Öffnen des Ports"},
    {2, "Timeout - value invalid", "Timeout - Wert ungültig"},
    {3, "Port number invalid", "Portnummer ungültig"},
    {4, "Timeout", "Timeout"},
    {5, "given buffer too small", "Übergebener Buffer zu klein"},
    {6, "buffer size invalid", "Buffergröße ungültig"},
    {7, "wrong parameter", "Falscher Parameter"},
    {8, "No data for communication", "Keine Daten für Kommunikation"},
    {9, "No data received", "Keine Daten empfangen"},
    {10, "Checksum error", "Prüfsummenfehler"},
    {11, "No communication to device", "Keine Kommunikation zum Gerät"},
    {12, "checkbuffer empty", "Checkbuffer leer"},
    {13, "Mode invalid", "Mode ungültig"},
    {14, "Command not allowed", "Befehl nicht erlaubt"},
    {15, "Block number invalid", "Blocknummer ungültig"},
    {16, "Command error", "Kommandofehler"},
    {19, "Block has no value entry", "Block enthält keinen Value Eintrag"},
    {20, "Data amount wrong", "Datenanzahl falsch"},
    {21, "No transponder or transponder not activated",
     "Kein Transponder oder Transponder nicht aktiviert"},
    {22, "Checksum error from device", "Checksummenfehler vom Gerät"},
    {23, "Collision error", "Kollision ist aufgetreten,"},
    {24, "Communication aborted, Device does not accept this command",
     "Kommunikationsabbruch, Gerät akzeptiert diesen Befehl nicht"},
    {25, "Communication error(CRC) at air interface",
     "Kommunikationsfehler(CRC) bei Luftschnittstelle"},
    {32, "ISO Error Command not supported", "ISO Fehler Kommando wird nicht unterstützt"},
    {33, "ISO Error Command not recognized", "ISO Fehler Kommando wurde nicht erkannt"},
    {34, "ISO Error Option not supported", "ISO Fehler Option wird nicht unterstützt"},
    {35, "ISO Error No information", "ISO Fehler Keine Information"},
    {36, "ISO Error Block not available", "ISO Fehler Block nicht verfügbar"},
    {37, "ISO Error Block already locked", "ISO Fehler Block bereits gesperrt"},
    {38, "ISO Error locked block can not be changed",
     "ISO Fehler Gesperrter Block kann nicht verändert werden"},
    {39, "ISO Error Block can not be written", "ISO Fehler Block konnte nicht geschrieben werden"},
    {40, "ISO Error Block can not be locked", "ISO Fehler Block konnte nicht gesperrt werden"},
    {41, "ISO Error unknown error", "ISO Fehler unbekannter Fehler"},
    {42, "ISO Error Length invalid", "ISO Fehler Länge nicht korrekt"},
    {43, "ISO Error Unknown transponder", "ISO Fehler Unbekannter Transponder"},
    {44, "ISO Error Framing", "ISO Fehler Framing"},
    {250, "MIFARE® Error invalid Value", "MIFARE® Fehler Value Wert ungültig"},
    {251, "MIFARE® Error Parity Error", "MIFARE® Fehler Parity Error"},
    {252, "MIFARE® Error Authenticate Error,", "MIFARE® Fehler Authenticate Error,"},
    {254, "MIFARE® Error CRC Error", "MIFARE® Fehler CRC Error"},
};

static_assert(std::is_sorted(std::begin(kCodeTexts), std::end(kCodeTexts),
                             [](const CodeText &a, const CodeText &b) { return a.code < b.code; }),
              "the lookup needs the rows sorted by code");

const char *TableText(int code, int language) {
  const auto row =
      std::lower_bound(std::begin(kCodeTexts), std::end(kCodeTexts), code,
                       [](const CodeText &entry, int wanted) { return entry.code < wanted; });
  if (row == std::end(kCodeTexts) || row->code != code) return "";
  return language == kGerman ? row->german : row->english;
}

// The text stored for a code, or "" when it has none.
const char *StoredText(int code, int language, std::span<const ErrorTextRange> ranges) {
  if (code == 0) return language == kGerman ? "Operation erfolgreich" : "Successful operation";
  for (const ErrorTextRange &range : ranges) {
    if (code < range.first || code > range.last) continue;
    const char *text = range.text(code, language);
    return text != nullptr ? text : "";
  }
  if (code > 0 && code <= 0xFFFF) return TableText(code, language);
  return "";  // negative codes and codes above 0xFFFF outside the ranges have no texts
}

void AppendHexByte(std::string &out, unsigned value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += kDigits[(value >> 4) & 0xF];
  out += kDigits[value & 0xF];
}

// "Unknown error #" with the low byte, or the second and the low byte when the second is not 0.
// Higher bits are left out, so a card status stored as 0x100xx shows as the bare status byte.
std::string FallbackText(int code, int language) {
  std::string text = language == kGerman ? "Unbekannter Fehler #" : "Unknown error #";
  const auto bits = static_cast<unsigned>(code);  // well defined for negative codes too
  const unsigned second_byte = (bits >> 8) & 0xFF;
  if (second_byte != 0) AppendHexByte(text, second_byte);
  AppendHexByte(text, bits & 0xFF);
  return text;
}

}  // namespace

std::string ErrorText(int code, int language, std::span<const ErrorTextRange> ranges) {
  const char *text = StoredText(code, language, ranges);
  if (*text == '\0') return FallbackText(code, language);
  return text;
}

}  // namespace kovra
