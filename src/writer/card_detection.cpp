#include "writer/card_detection.h"

#include <QCoreApplication>

#include "kovra.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "CardDetection" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CardDetection)
};

// An empty field, and every air-interface, ISO, MIFARE and DESFire error, is not worth a line:
// it only says that no card answered.
constexpr int kNoTransponder = 21;
constexpr int kFirstCardError = 25;
bool CountsAsEmptyField(int error) {
  return error == kNoTransponder || error >= kFirstCardError;
}

constexpr int kRfSettleMs = 10;
constexpr quint64 kForgetAfterMs = 1000;
constexpr unsigned char kSakDesfire = 0x20;
constexpr int kUidRoom = 10;
constexpr int kAtsRoom = 10;

// The port's last error as text (UTF-8) in the context's language, followed by a step tag.
QString ErrorLine(const WriterContext &context, const char *tag) {
  return LastErrorText(context) + QLatin1String(tag);
}

void Report(const WriterContext &context, const QString &line, bool repeatable) {
  if (context.status == nullptr) return;
  if (repeatable) {
    context.status->Message(line);
  } else {
    context.status->Line(line);
  }
}

quint64 Now(const WriterContext &context) {
  return context.tick_ms ? context.tick_ms() : 0;
}

void Sleep(const WriterContext &context, int ms) {
  if (context.sleep_ms) context.sleep_ms(ms);
}

// The type name that follows "Ungültiger Transpondertyp:" for a card that is no DESFire card.
QString RefusedCardName(unsigned char sak) {
  switch (sak) {
    case 0x00:
      return Texts::tr(" MIFARE Ultralight®");
    case 0x08:
    case 0x88:
      return Texts::tr(" MIFARE® 1K");
    case 0x18:
      return Texts::tr(" MIFARE® 4K");
    default:
      return Texts::tr(" SAK(%1)").arg(QString::number(sak, 16).rightJustified(2, u'0').toUpper());
  }
}

// Step 4 failed: the field is empty (or the reader failed). A processed card has been taken
// away when the error says so and a card is remembered: the lamp turns red, and a card gone for
// more than a second after its last full detection is forgotten.
void NoteEmptyField(WriterContext &context, int error) {
  CardMemory &cards = context.cards;
  if (!CountsAsEmptyField(error) || cards.last_seen_tick == 0 || cards.last_uid.isEmpty()) return;
  if (context.show_lamp) context.show_lamp(Lamp::kRed);
  if (Now(context) - cards.last_seen_tick > kForgetAfterMs) {
    cards.last_uid.clear();
    cards.last_seen_tick = 0;
  }
}

}  // namespace

int PpsParameter(unsigned char ats_format_byte) {
  // Position (1 to 3) of the highest bit set among three bits starting at `low`; 0 for none.
  const auto highest = [ats_format_byte](int low) {
    for (int bit = 2; bit >= 0; --bit) {
      if ((ats_format_byte >> (low + bit)) & 1) return bit + 1;
    }
    return 0;
  };
  return highest(4) * 4 + highest(0);
}

bool DetectCard(WriterContext &context, bool cyclic) {
  CardMemory &cards = context.cards;
  const int handle = context.handle;
  cards.same_card = false;

  // A card that still answers in its session has not left the field: one command, no RF reset,
  // so a card resting on the reader during a fast cycle is not disturbed.
  if (cyclic && !cards.last_uid.isEmpty() && KOVRA_DESFireGetFreeMemory(handle) >= 0) {
    cards.same_card = true;
    return false;
  }

  KOVRA_SetRfField(handle, 0);
  Sleep(context, kRfSettleMs);
  KOVRA_SetRfField(handle, 1);
  Sleep(context, kRfSettleMs);

  unsigned short atqa = 0;
  if (KOVRA_Request(handle, &atqa) != 0) {
    const int error = KOVRA_GetLastError(handle);
    if (!cyclic) Report(context, Texts::tr("Kein gültiger Transponder vorhanden!"), true);
    NoteEmptyField(context, error);
    return false;
  }

  unsigned char uid[kUidRoom] = {};
  unsigned char sak = 0;
  const int uid_length = KOVRA_Select(handle, uid, kUidRoom, &sak);
  if (uid_length <= 0) {
    if (!CountsAsEmptyField(KOVRA_GetLastError(handle))) {
      Report(context, ErrorLine(context, " <Select()>"), false);
    }
    return false;
  }
  cards.current_uid = QByteArray(reinterpret_cast<const char *>(uid), uid_length);

  if (sak != kSakDesfire) {
    Report(context, Texts::tr("Ungültiger Transpondertyp:") + RefusedCardName(sak), true);
    return false;
  }

  cards.last_seen_tick = Now(context);
  if (cards.current_uid == cards.last_uid) {
    // Single operations never skip a card; a cycle skips the one it has just processed.
    if (cyclic) {
      cards.same_card = true;
      return false;
    }
  } else {
    cards.same_card = false;
  }

  KOVRA_SetIsoParameter(handle, 1);
  unsigned char ats[kAtsRoom] = {};
  const int ats_length = KOVRA_SendRats(handle, ats, kAtsRoom);
  if (ats_length < 0) {
    Report(context, ErrorLine(context, " <Rats()>"), false);
    return false;
  }
  // An ATS without its format byte announces no bit rates: the default divisors.
  const int parameter = ats_length >= 2 ? PpsParameter(ats[1]) : 0;
  if (KOVRA_SendPps(handle, parameter) != 0) {
    Report(context, ErrorLine(context, " <PPS()>"), false);
    return false;
  }
  return true;
}

}  // namespace quillmate
