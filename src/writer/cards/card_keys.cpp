// Each card's own keys, derived through the library from the job's master keys and the card's UID.
#include "writer/cards/card_keys.h"

#include <QCoreApplication>

#include "kovra.h"
#include "writer/cards/card_calls.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "CardKeys" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CardKeys)
};

constexpr int kKeyBytes = 16;
constexpr int kCardLevelAid = 0;
constexpr unsigned char kRandomUidTag = 0x08;

const unsigned char *Bytes(const QByteArray &bytes) {
  return reinterpret_cast<const unsigned char *>(bytes.constData());
}

// `key` replaced by the card's key derived from it; false when the library refuses the input.
bool Derive(QByteArray &key, const QByteArray &uid, int aid, const QByteArray &system) {
  QByteArray derived(kKeyBytes, '\0');
  const int length = KOVRA_DESFireDiversifyKey(
      KOVRA_DIVERSIFY_AES128, Bytes(key), static_cast<int>(key.size()), Bytes(uid),
      static_cast<int>(uid.size()), aid, Bytes(system), static_cast<int>(system.size()),
      reinterpret_cast<unsigned char *>(derived.data()), static_cast<int>(derived.size()));
  if (length != kKeyBytes) return false;
  key = derived;
  return true;
}

}  // namespace

bool IsRandomUid(const QByteArray &uid) {
  return uid.size() == 4 && static_cast<unsigned char>(uid[0]) == kRandomUidTag;
}

CardKeys CardKeyPlan(const KeyPlan &plan, const QByteArray &uid) {
  CardKeys keys;
  keys.plan = plan;
  const KeyDerivation &d = plan.derivation;
  if (!d.Any()) {
    keys.ok = true;
    return keys;
  }
  if (uid.isEmpty() || IsRandomUid(uid)) {
    keys.refusal = Texts::tr(
                       "Die Karte %1 zeigt keine feste UID: pro Karte abgeleitete Keys "
                       "brauchen die UID der Karte!")
                       .arg(CardUidText(uid));
    return keys;
  }
  KeyPlan &out = keys.plan;
  const QByteArray &system = d.system_identifier;
  const bool derived =
      (!d.card_master_key || Derive(out.card_master_key, uid, kCardLevelAid, system)) &&
      (!d.app_master_key || Derive(out.app_master_key, uid, d.app_id, system)) &&
      (!d.read_key || Derive(out.read_key, uid, d.app_id, system)) &&
      (!d.write_key || Derive(out.write_key, uid, d.app_id, system)) &&
      (!d.read_write_key || Derive(out.read_write_key, uid, d.app_id, system));
  if (!derived) {
    keys.refusal = Texts::tr(
                       "Die UID der Karte %1 und die System-Kennung sind zusammen zu lang "
                       "für abgeleitete Keys!")
                       .arg(CardUidText(uid));
    return keys;
  }
  out.derivation = KeyDerivation{};
  keys.ok = true;
  return keys;
}

}  // namespace quillmate
