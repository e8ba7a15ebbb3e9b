// What a PC/SC reader tells about the card it activated, and the framing of DESFire commands.
#include "transport/pcsc/pcsc_card.h"

#include <algorithm>

#include "kovra.h"

namespace kovra::pcsc {
namespace {

constexpr uint8_t kSakIso14443_4 = 0x20;
// 80 (category: status at the end), 4F 0C (an application identifier of 12 bytes), then the
// registered identifier of the PC/SC workgroup.
constexpr uint8_t kStoragePrefix[] = {0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06};
constexpr size_t kStorageHistoricalLength = 15;  // prefix, standard, name (2), four bytes 00
constexpr size_t kCardNameOffset = 9;

// The card names of PC/SC part 3 for storage cards this program knows by their SAK.
struct StorageName {
  uint16_t name;
  uint8_t sak;
};
constexpr StorageName kStorageNames[] = {
    {0x0001, 0x08},  // MIFARE Classic 1K
    {0x0002, 0x18},  // MIFARE Classic 4K
    {0x0003, 0x00},  // MIFARE Ultralight
    {0x0026, 0x09},  // MIFARE Mini
    {0x003A, 0x00},  // MIFARE Ultralight C
};

constexpr int kNotSupported = 32;  // "ISO Error Command not supported"
constexpr int kUnknownError = 41;  // "ISO Error unknown error"

}  // namespace

bool IsPcscPortName(std::string_view name) {
  return name.substr(0, kPortPrefix.size()) == kPortPrefix;
}

std::string_view ReaderOfPortName(std::string_view name) {
  return IsPcscPortName(name) ? name.substr(kPortPrefix.size()) : std::string_view{};
}

std::vector<std::string> SplitReaderList(const char *multi, size_t length) {
  std::vector<std::string> names;
  if (multi == nullptr) return names;
  size_t start = 0;
  for (size_t i = 0; i <= length; ++i) {
    if (i < length && multi[i] != '\0') continue;
    if (i > start) names.emplace_back(multi + start, i - start);
    if (i < length && i == start) break;  // an empty name is the list's end
    start = i + 1;
  }
  return names;
}

ActivatedCard ReadContactlessAtr(const uint8_t *atr, size_t length) {
  ActivatedCard card;
  // TS, T0 (TD1 follows, n historical bytes), TD1 80 (TD2 follows, T=0), TD2 01 (T=1), the
  // historical bytes and TCK.
  if (atr == nullptr || length < 5 || atr[0] != 0x3B || (atr[1] & 0xF0) != 0x80 || atr[2] != 0x80 ||
      atr[3] != 0x01) {
    return card;
  }
  const size_t historical = atr[1] & 0x0F;
  if (length != 4 + historical + 1) return card;
  uint8_t check = 0;
  for (size_t i = 1; i < length; ++i) check ^= atr[i];
  if (check != 0) return card;
  card.historical.assign(atr + 4, atr + 4 + historical);

  const bool storage =
      historical == kStorageHistoricalLength &&
      std::equal(std::begin(kStoragePrefix), std::end(kStoragePrefix), card.historical.begin());
  if (!storage) {
    card.kind = CardKind::kIso14443_4;
    card.sak = kSakIso14443_4;
    return card;
  }
  const uint16_t name = static_cast<uint16_t>(card.historical[kCardNameOffset] << 8 |
                                              card.historical[kCardNameOffset + 1]);
  for (const StorageName &known : kStorageNames) {
    if (known.name != name) continue;
    card.kind = CardKind::kStorage;
    card.sak = known.sak;
    return card;
  }
  return card;  // a storage card of a name this program does not know
}

std::vector<uint8_t> AtsOf(const ActivatedCard &card) {
  std::vector<uint8_t> ats(2 + card.historical.size());
  ats[0] = static_cast<uint8_t>(ats.size());
  ats[1] = 0x00;
  std::copy(card.historical.begin(), card.historical.end(), ats.begin() + 2);
  return ats;
}

std::vector<uint8_t> GetUidCommand() {
  return {0xFF, 0xCA, 0x00, 0x00, 0x00};
}

std::optional<std::vector<uint8_t>> UidOfAnswer(const uint8_t *answer, size_t length) {
  if (answer == nullptr || length < 2 + 4 || length > 2 + 10) return std::nullopt;
  if (answer[length - 2] != 0x90 || answer[length - 1] != 0x00) return std::nullopt;
  return std::vector<uint8_t>(answer, answer + length - 2);
}

std::optional<std::vector<uint8_t>> WrapNativeCommand(const uint8_t *frame, size_t length) {
  if (frame == nullptr || length == 0 || length - 1 > 255) return std::nullopt;
  // CLA INS P1 P2, Lc and the parameters when there are any, Le.
  std::vector<uint8_t> command(length > 1 ? 4 + 1 + (length - 1) + 1 : 4 + 1);
  command[0] = 0x90;
  command[1] = frame[0];
  if (length > 1) {
    command[4] = static_cast<uint8_t>(length - 1);
    std::copy(frame + 1, frame + length, command.begin() + 5);
  }
  command.back() = 0x00;
  return command;
}

NativeAnswer UnwrapNativeAnswer(const uint8_t *answer, size_t length) {
  NativeAnswer result;
  if (answer == nullptr || length < 2) {
    result.error = KOVRA_ERR_NO_TRANSPONDER;
    return result;
  }
  const uint8_t sw1 = answer[length - 2];
  const uint8_t sw2 = answer[length - 1];
  if (sw1 != 0x91) {
    const bool not_supported =
        (sw1 == 0x6D && sw2 == 0x00) || (sw1 == 0x6E && sw2 == 0x00) || sw1 == 0x68;
    result.error = not_supported ? kNotSupported : kUnknownError;
    return result;
  }
  result.ok = true;
  result.answer.resize(length - 1);
  result.answer[0] = sw2;
  std::copy(answer, answer + length - 2, result.answer.begin() + 1);
  return result;
}

}  // namespace kovra::pcsc
