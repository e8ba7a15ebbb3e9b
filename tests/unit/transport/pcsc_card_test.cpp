// What a PC/SC reader tells about a card, and DESFire native frames wrapped for it: the ATR of a
// contactless card, the UID answer, the wrapped commands and their answers, the reader list.
#include "transport/pcsc/pcsc_card.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "../reader/hex.h"
#include "kovra.h"
#include "transport/pcsc/pcsc_abi.h"

#ifdef KOVRA_HAVE_PCSC_HEADER
#include <PCSC/pcsclite.h>
#endif

namespace kovra::pcsc {
namespace {

using kovra_test::Hex;
using kovra_test::ToHex;

#ifdef KOVRA_HAVE_PCSC_HEADER
// The declarations the link is built with stand for pcsc-lite's own, where its header is there.
static_assert(sizeof(Long) == sizeof(LONG) && sizeof(Dword) == sizeof(DWORD));
static_assert(sizeof(Context) == sizeof(SCARDCONTEXT) && sizeof(CardHandle) == sizeof(SCARDHANDLE));
static_assert(sizeof(ReaderState) == sizeof(SCARD_READERSTATE));
static_assert(offsetof(ReaderState, atr) == offsetof(SCARD_READERSTATE, rgbAtr));
static_assert(offsetof(ReaderState, event_state) == offsetof(SCARD_READERSTATE, dwEventState));
static_assert(sizeof(IoRequest) == sizeof(SCARD_IO_REQUEST));
static_assert(kMaxAtrSize == MAX_ATR_SIZE);
static_assert(kErrNoService == SCARD_E_NO_SERVICE && kWarnRemovedCard == SCARD_W_REMOVED_CARD &&
              kErrNoSmartcard == SCARD_E_NO_SMARTCARD &&
              kErrUnknownReader == SCARD_E_UNKNOWN_READER &&
              kErrSharingViolation == SCARD_E_SHARING_VIOLATION &&
              kErrServiceStopped == SCARD_E_SERVICE_STOPPED &&
              kErrReaderUnavailable == SCARD_E_READER_UNAVAILABLE &&
              kErrInvalidHandle == SCARD_E_INVALID_HANDLE && kWarnResetCard == SCARD_W_RESET_CARD &&
              kFailCommError == SCARD_F_COMM_ERROR && kErrNotTransacted == SCARD_E_NOT_TRANSACTED &&
              kErrCommDataLost == SCARD_E_COMM_DATA_LOST && kErrNotReady == SCARD_E_NOT_READY);
static_assert(kShareExclusive == SCARD_SHARE_EXCLUSIVE && kResetCard == SCARD_RESET_CARD &&
              kLeaveCard == SCARD_LEAVE_CARD && kProtocolT1 == SCARD_PROTOCOL_T1 &&
              kScopeSystem == SCARD_SCOPE_SYSTEM && kStatePresent == SCARD_STATE_PRESENT &&
              kStateMute == SCARD_STATE_MUTE && kStateUnknown == SCARD_STATE_UNKNOWN);
#endif

TEST(PcscAtr, ContactlessCardsByTheirAtr) {
  const struct {
    const char *atr;
    CardKind kind;
    uint8_t sak;
    const char *historical;
  } cases[] = {
      // A DESFire EV1: the historical byte of its ATS.
      {"3B 81 80 01 80 80", CardKind::kIso14443_4, 0x20, "80"},
      {"3B 80 80 01 01", CardKind::kIso14443_4, 0x20, ""},
      // Type B: the ATQB's application data and protocol bytes.
      {"3B 88 80 01 00 00 00 00 00 00 00 00 09", CardKind::kIso14443_4, 0x20,
       "00 00 00 00 00 00 00 00"},
      // Storage cards by their name in PC/SC part 3.
      {"3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A", CardKind::kStorage, 0x08,
       "80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00"},
      {"3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 02 00 00 00 00 69", CardKind::kStorage, 0x18,
       "80 4F 0C A0 00 00 03 06 03 00 02 00 00 00 00"},
      {"3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 03 00 00 00 00 68", CardKind::kStorage, 0x00,
       "80 4F 0C A0 00 00 03 06 03 00 03 00 00 00 00"},
      {"3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 26 00 00 00 00 4D", CardKind::kStorage, 0x09,
       "80 4F 0C A0 00 00 03 06 03 00 26 00 00 00 00"},
      {"3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 3A 00 00 00 00 51", CardKind::kStorage, 0x00,
       "80 4F 0C A0 00 00 03 06 03 00 3A 00 00 00 00"},
  };
  for (const auto &c : cases) {
    const std::vector<uint8_t> atr = Hex(c.atr);
    const ActivatedCard card = ReadContactlessAtr(atr.data(), atr.size());
    EXPECT_EQ(card.kind, c.kind) << c.atr;
    EXPECT_EQ(card.sak, c.sak) << c.atr;
    EXPECT_EQ(ToHex(card.historical), c.historical) << c.atr;
  }
}

// Nothing that is not a well-formed contactless ATR is taken for a card this program can use.
TEST(PcscAtr, AnythingElseIsUnrecognised) {
  const char *cases[] = {
      "",
      "3B",
      "3B 81 80 01 80",                                               // no check byte
      "3B 81 80 01 80 81",                                            // wrong check byte
      "3B 81 80 01 80 80 00",                                         // a byte too many
      "3B 82 80 01 80 03",                                            // a byte too few
      "3F 81 80 01 80 80",                                            // inverse convention
      "3B 81 81 01 80 81",                                            // TD1 names T=1
      "3B 81 80 11 80 90",                                            // TA3 announced
      "3B 02 14 50",                                                  // a contact card
      "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 44 00 00 00 00 2F",  // an unknown storage card
  };
  for (const char *text : cases) {
    const std::vector<uint8_t> atr = Hex(text);
    EXPECT_EQ(ReadContactlessAtr(atr.data(), atr.size()).kind, CardKind::kUnrecognised) << text;
  }
  EXPECT_EQ(ReadContactlessAtr(nullptr, 6).kind, CardKind::kUnrecognised);
}

TEST(PcscAtr, AtsCarriesTheHistoricalBytes) {
  ActivatedCard card;
  card.historical = Hex("80");
  EXPECT_EQ(ToHex(AtsOf(card)), "03 00 80");
  card.historical.clear();
  EXPECT_EQ(ToHex(AtsOf(card)), "02 00");
}

TEST(PcscUid, TheUidBeforeStatus9000) {
  EXPECT_EQ(ToHex(GetUidCommand()), "FF CA 00 00 00");
  const struct {
    const char *answer;
    const char *uid;  // nullptr: no UID
  } cases[] = {
      {"04 11 22 33 44 55 66 90 00", "04 11 22 33 44 55 66"},
      {"01 02 03 04 90 00", "01 02 03 04"},
      {"01 02 03 04 05 06 07 08 09 0A 90 00", "01 02 03 04 05 06 07 08 09 0A"},
      {"01 02 03 90 00", nullptr},                          // too short for a UID
      {"01 02 03 04 05 06 07 08 09 0A 0B 90 00", nullptr},  // too long
      {"04 11 22 33 44 55 66 6A 81", nullptr},              // the reader refused
      {"90 00", nullptr},
      {"", nullptr},
  };
  for (const auto &c : cases) {
    const std::vector<uint8_t> answer = Hex(c.answer);
    const auto uid = UidOfAnswer(answer.data(), answer.size());
    ASSERT_EQ(uid.has_value(), c.uid != nullptr) << c.answer;
    if (uid) {
      EXPECT_EQ(ToHex(*uid), c.uid) << c.answer;
    }
  }
}

TEST(PcscNativeFrames, WrappedAsIso7816Commands) {
  const struct {
    const char *frame;
    const char *apdu;  // nullptr: cannot be wrapped
  } cases[] = {
      {"60", "90 60 00 00 00"},                       // GetVersion
      {"AF", "90 AF 00 00 00"},                       // the next frame of a chain
      {"5A 01 00 00", "90 5A 00 00 03 01 00 00 00"},  // SelectApplication
      {"AA 00", "90 AA 00 00 01 00 00"},              // AuthenticateAES, key 0
      {"", nullptr},
  };
  for (const auto &c : cases) {
    const std::vector<uint8_t> frame = Hex(c.frame);
    const auto apdu = WrapNativeCommand(frame.data(), frame.size());
    ASSERT_EQ(apdu.has_value(), c.apdu != nullptr) << c.frame;
    if (apdu) {
      EXPECT_EQ(ToHex(*apdu), c.apdu) << c.frame;
    }
  }
  // 255 parameter bytes still fit a short Lc; 256 do not.
  std::vector<uint8_t> longest(256, 0x11);
  const auto wrapped = WrapNativeCommand(longest.data(), longest.size());
  ASSERT_TRUE(wrapped.has_value());
  EXPECT_EQ(wrapped->size(), 4u + 1u + 255u + 1u);
  EXPECT_EQ((*wrapped)[4], 0xFF);
  longest.push_back(0x11);
  EXPECT_FALSE(WrapNativeCommand(longest.data(), longest.size()).has_value());
}

TEST(PcscNativeFrames, AnswersBackToTheDesfireStatus) {
  const struct {
    const char *answer;
    bool ok;
    int error;
    const char *native;
  } cases[] = {
      {"91 00", true, 0, "00"},
      {"04 01 01 01 00 1A 05 91 AF", true, 0, "AF 04 01 01 01 00 1A 05"},  // more frames follow
      {"91 AE", true, 0, "AE"},                                            // authentication error
      {"6E 00", false, 32, ""},  // the reader does not pass wrapped commands
      {"6D 00", false, 32, ""},
      {"68 81", false, 32, ""},
      {"90 00", false, 41, ""},  // not a DESFire status
      {"12 34 6A 82", false, 41, ""},
      // No status word: the card's answer is missing (a card gone in the middle of it).
      {"91", false, KOVRA_ERR_NO_TRANSPONDER, ""},
      {"", false, KOVRA_ERR_NO_TRANSPONDER, ""},
  };
  for (const auto &c : cases) {
    const std::vector<uint8_t> answer = Hex(c.answer);
    const NativeAnswer native = UnwrapNativeAnswer(answer.data(), answer.size());
    EXPECT_EQ(native.ok, c.ok) << c.answer;
    EXPECT_EQ(native.error, c.error) << c.answer;
    EXPECT_EQ(ToHex(native.answer), c.native) << c.answer;
  }
}

TEST(PcscReaders, NamesFromTheMultiString) {
  using Names = std::vector<std::string>;
  const std::string two("Virtual PCD 00 00\0Desk Reader [CCID] 01 00\0\0", 44);
  EXPECT_EQ(SplitReaderList(two.data(), two.size()),
            (Names{"Virtual PCD 00 00", "Desk Reader [CCID] 01 00"}));
  const std::string unterminated("A\0B", 3);
  EXPECT_EQ(SplitReaderList(unterminated.data(), unterminated.size()), (Names{"A", "B"}));
  const std::string ends_early("A\0\0B\0", 5);  // what follows the list's end is not a name
  EXPECT_EQ(SplitReaderList(ends_early.data(), ends_early.size()), (Names{"A"}));
  EXPECT_TRUE(SplitReaderList(nullptr, 10).empty());
  EXPECT_TRUE(SplitReaderList("", 1).empty());

  EXPECT_TRUE(IsPcscPortName("PCSC: Virtual PCD 00 00"));
  EXPECT_FALSE(IsPcscPortName("PCSC:Virtual"));
  EXPECT_EQ(ReaderOfPortName("PCSC: Virtual PCD 00 00"), "Virtual PCD 00 00");
  EXPECT_EQ(ReaderOfPortName("/dev/ttyS0"), "");
}

}  // namespace
}  // namespace kovra::pcsc
