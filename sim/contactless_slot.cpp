#include "sim/contactless_slot.h"

#include <algorithm>

namespace kovra_sim {
namespace {

constexpr uint8_t kClaReader = 0xFF;
constexpr uint8_t kClaWrapped = 0x90;
constexpr uint8_t kInsGetData = 0xCA;

Bytes Status(uint8_t sw1, uint8_t sw2) {
  return {sw1, sw2};
}

// The historical bytes of an ATS: after TL, T0 and the interface bytes T0 announces.
Bytes HistoricalBytes(const Bytes &ats) {
  if (ats.size() < 2) return {};
  const size_t end = std::min<size_t>(ats.size(), ats[0]);
  const uint8_t t0 = ats[1];
  size_t at = 2;
  for (const uint8_t present : {0x10, 0x20, 0x40}) {
    if (t0 & present) ++at;
  }
  if (at >= end) return {};
  return Bytes(ats.begin() + static_cast<long>(at), ats.begin() + static_cast<long>(end));
}

Bytes WithTck(Bytes atr) {
  uint8_t tck = 0;
  for (size_t i = 1; i < atr.size(); ++i) tck ^= atr[i];
  atr.push_back(tck);
  return atr;
}

// FF CA: the reader's own answer about the card.
Bytes GetData(Field &field, const Bytes &apdu) {
  if (apdu.size() != 5) return Status(0x67, 0x00);
  const Card *card = field.Present();
  if (!card || apdu[3] != 0) return Status(0x6A, 0x81);
  Bytes data;
  if (apdu[2] == 0x00) {
    data = card->Uid();
  } else if (apdu[2] == 0x01 && field.PresentIso()) {
    data = HistoricalBytes(field.PresentIso()->Ats());
  } else {
    return Status(0x6A, 0x81);
  }
  const size_t le = apdu[4];
  if (le != 0 && le < data.size()) return Status(0x6C, static_cast<uint8_t>(data.size()));
  data.push_back(0x90);
  data.push_back(0x00);
  return data;
}

// 90 INS 00 00 [Lc data] [Le]: one native frame to the card.
Bytes Wrapped(Field &field, const Bytes &apdu) {
  Iso14443Card *card = field.PresentIso();
  if (!card) return Status(0x6A, 0x81);
  if (apdu[2] != 0 || apdu[3] != 0) return Status(0x6A, 0x86);
  size_t lc = 0;
  if (apdu.size() > 5) {
    lc = apdu[4];
    if (lc == 0 || (apdu.size() != 5 + lc && apdu.size() != 6 + lc)) return Status(0x67, 0x00);
  }
  // Sized at once: GCC 12 warns falsely (array-bounds) about inserting behind a short vector.
  Bytes frame(1 + lc);
  frame[0] = apdu[1];
  if (lc != 0) std::copy_n(apdu.begin() + 5, lc, frame.begin() + 1);
  if (field.State() != Activation::kLayer4) ActivateContactlessCard(field);
  const Bytes answer = card->Exchange(frame);
  // A DESFire write (0x3D) and its continuation frames (0xAF) count as writing to the card.
  field.NoteExchange(frame[0] == 0x3D || frame[0] == 0xAF);  // may take the card away (fault)
  if (answer.empty()) return Status(0x6F, 0x00);
  Bytes response(answer.begin() + 1, answer.end());
  response.push_back(0x91);
  response.push_back(answer[0]);
  return response;
}

}  // namespace

Bytes ContactlessAtr(const Card &card) {
  if (const auto *iso = dynamic_cast<const Iso14443Card *>(&card)) {
    Bytes historical = HistoricalBytes(iso->Ats());
    if (historical.size() > 15) historical.resize(15);
    Bytes atr;
    for (const uint8_t byte : {0x3B, 0x80 | static_cast<int>(historical.size()), 0x80, 0x01}) {
      atr.push_back(static_cast<uint8_t>(byte));
    }
    atr.insert(atr.end(), historical.begin(), historical.end());
    return WithTck(std::move(atr));
  }
  uint8_t name = 0x01;
  if (card.Kind() == CardKind::kClassic4K) name = 0x02;
  if (card.Kind() == CardKind::kUltralight) name = 0x03;
  return WithTck({0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06, 0x03,
                  0x00, name, 0x00, 0x00, 0x00, 0x00});
}

void ActivateContactlessCard(Field &field) {
  field.SetPower(true);
  if (!field.Present()) return;
  field.SetActivation(Activation::kSelected);
  if (field.PresentIso()) field.SetActivation(Activation::kLayer4);
}

Bytes AnswerContactlessApdu(Field &field, const Bytes &apdu) {
  if (apdu.size() < 4) return Status(0x67, 0x00);
  if (apdu[0] == kClaReader) {
    return apdu[1] == kInsGetData ? GetData(field, apdu) : Status(0x6D, 0x00);
  }
  if (apdu[0] == kClaWrapped) return Wrapped(field, apdu);
  return Status(0x6E, 0x00);
}

}  // namespace kovra_sim
