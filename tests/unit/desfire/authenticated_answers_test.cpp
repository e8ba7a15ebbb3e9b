// The answers a card owes in an authenticated session: every command whose answer carries a MAC
// fails when the card answers with a bare status 00, in an AES and in a triple-DES session and in
// every communication mode, as if the MAC were wrong. Only the answers that carry no MAC by their
// nature (a selection, the deletion of the selected application, a change of the authenticated
// key) succeed with the status alone.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "desfire/cmac.h"
#include "desfire/commands.h"
#include "desfire/session.h"
#include "kovra.h"
#include "unit/desfire/scripted_card.h"

namespace kovra::desfire {
namespace {

using kovra_sim::Bytes;
using kovra_test::ScriptedCard;

constexpr uint32_t kAid = 0x123456;
constexpr uint32_t kOtherAid = 0x654321;
constexpr int kAuthenticatedKey = 0;

const uint8_t kKey[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                          0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
const uint8_t kOtherKey[16] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                               0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};

enum class SessionKind { kAes, kIso };

// The port as a successful authentication with key 0 inside application kAid leaves it: session
// key, zero chain, subkeys.
void Authenticated(CKOVRA_Port &port, SessionKind kind) {
  CDatenFuerDesfireInPort &session = SessionOf(port);
  const bool aes = kind == SessionKind::kAes;
  session.selected_aid = kAid;
  session.auth_state = aes ? kAesAuthenticated : kIsoAuthenticated;
  session.auth_key_no = kAuthenticatedKey;
  session.crypt.Init(aes ? CipherAES : CipherTDES);
  std::memcpy(session.crypt.SessionKey(), kKey, sizeof kKey);
  GenerateCmacSubkeys(session.crypt);
}

// A card that answers every command with the bare status 00. Only the first step of an
// authentication gets its challenge (0xAF and a random number), so that the second step is the
// one answered bare.
Bytes BareStatus(const Bytes &block) {
  if (block[0] == 0xAA) return Bytes(17, 0xAF);
  if (block[0] == 0x1A) return Bytes(9, 0xAF);
  return Bytes{0x00};
}
Bytes BareStatusAlways(const Bytes &) {
  return Bytes{0x00};
}

struct Expected {
  int result;                // the call's result
  std::optional<int> error;  // the last error afterwards, when the call failed
  bool authenticated;        // the session afterwards
  uint32_t aid;
};

// A command whose answer must carry a MAC: missing, it counts as wrong. The session goes back to
// card level, as after a MAC that does not match.
constexpr Expected kMacMissing{-1, KOVRA_DESFIRE_ERR_MAC, false, 0};

struct Case {
  std::string command;
  std::function<Bytes(const Bytes &)> card;
  std::function<int(int handle)> call;
  Expected expected;
};

std::vector<Case> Cases() {
  static const uint8_t data[4] = {0x12, 0x34, 0x56, 0x78};
  const auto read = [](int comm, int length) {
    return [comm, length](int handle) {
      unsigned char buffer[32];
      return KOVRA_DESFireReadData(handle, 1, comm, 0, length, buffer, sizeof buffer);
    };
  };
  const auto write = [](int comm) {
    return [comm](int handle) { return KOVRA_DESFireWriteData(handle, 1, comm, 0, data, 4); };
  };
  // The enciphered data of a read carry no MAC: without them the CRC inside is missing.
  constexpr Expected kCrcMissing{-1, KOVRA_DESFIRE_ERR_CRC, true, kAid};
  // An authentication answered without the card's proof: its status 00 without data.
  constexpr Expected kNoProof{-1, KOVRA_DESFIRE_BASE + 0x00, false, kAid};
  return {
      {"AuthenticateAES, first step", BareStatusAlways,
       [](int h) { return KOVRA_DESFireAuthenticateAES(h, 0, kKey, 16); }, kNoProof},
      {"AuthenticateAES, second step", BareStatus,
       [](int h) { return KOVRA_DESFireAuthenticateAES(h, 0, kKey, 16); }, kNoProof},
      {"AuthenticateISO, first step", BareStatusAlways,
       [](int h) { return KOVRA_DESFireAuthenticateISO(h, 0, kKey, 16); }, kNoProof},
      {"AuthenticateISO, second step", BareStatus,
       [](int h) { return KOVRA_DESFireAuthenticateISO(h, 0, kKey, 16); }, kNoProof},
      // Neither MACed nor answered with a MAC; the selection ends the session.
      {"SelectApplication",
       BareStatus,
       [](int h) { return KOVRA_DESFireSelectApplication(h, kOtherAid); },
       {0, std::nullopt, false, kOtherAid}},
      {"CreateApplication", BareStatus,
       [](int h) {
         return KOVRA_DESFireCreateApplication(h, kOtherAid, 2, 3, 0, 0xE, 0xF, nullptr, 0);
       },
       kMacMissing},
      {"CreateStdDataFile", BareStatus,
       [](int h) { return KOVRA_DESFireCreateStdDataFile(h, 1, 0, 32, 3, 0x12F0); }, kMacMissing},
      {"DeleteApplication of another application", BareStatus,
       [](int h) { return KOVRA_DESFireDeleteApplication(h, kOtherAid); }, kMacMissing},
      // The card falls back to card level and has no session left to MAC with.
      {"DeleteApplication of the selected application",
       BareStatus,
       [](int h) { return KOVRA_DESFireDeleteApplication(h, kAid); },
       {0, std::nullopt, false, 0}},
      {"FormatPICC", BareStatus, [](int h) { return KOVRA_DESFireFormatPICC(h); }, kMacMissing},
      {"ChangeKey of another key", BareStatus,
       [](int h) { return KOVRA_DESFireChangeKey(h, 1, kOtherKey, 16, 0, kKey, 16, 2); },
       kMacMissing},
      // The card ends the session with the change of its key and answers with the status alone.
      {"ChangeKey of the authenticated key",
       BareStatus,
       [](int h) {
         return KOVRA_DESFireChangeKey(h, kAuthenticatedKey, kOtherKey, 16, 0, nullptr, 0, 2);
       },
       {0, std::nullopt, false, kAid}},
      {"GetFileSettings", BareStatus,
       [](int h) {
         unsigned char settings[16];
         return KOVRA_DESFireGetFileSettings(h, 1, settings, sizeof settings);
       },
       kMacMissing},
      {"GetFreeMemory", BareStatus, [](int h) { return KOVRA_DESFireGetFreeMemory(h); },
       kMacMissing},
      {"ReadData plain, 4 bytes", BareStatus, read(0, 4), kMacMissing},
      {"ReadData plain, whole file", BareStatus, read(0, 0), kMacMissing},
      {"ReadData with MAC, 4 bytes", BareStatus, read(1, 4), kMacMissing},
      {"ReadData with MAC, whole file", BareStatus, read(1, 0), kMacMissing},
      {"ReadData enciphered, 4 bytes", BareStatus, read(3, 4), kCrcMissing},
      {"ReadData enciphered, whole file", BareStatus, read(3, 0), kCrcMissing},
      {"WriteData plain", BareStatus, write(0), kMacMissing},
      {"WriteData with MAC", BareStatus, write(1), kMacMissing},
      {"WriteData enciphered", BareStatus, write(3), kMacMissing},
  };
}

class BareStatusInSession : public ::testing::TestWithParam<SessionKind> {};

TEST_P(BareStatusInSession, CountsAsAMissingMacWhereTheAnswerOwesOne) {
  const char *session_name = GetParam() == SessionKind::kAes ? "AES session" : "ISO session";
  for (const Case &c : Cases()) {
    SCOPED_TRACE(c.command + ", " + session_name);
    ScriptedCard card;
    card.Answer(c.card);
    Authenticated(card.port(), GetParam());
    card.port().SetLastError(0);

    EXPECT_EQ(c.call(card.handle()), c.expected.result);
    if (c.expected.error) {
      EXPECT_EQ(KOVRA_GetLastError(card.handle()), *c.expected.error);
    }
    EXPECT_EQ(IsAuthenticated(card.port()), c.expected.authenticated);
    EXPECT_EQ(GetSelectedAid(card.port()), c.expected.aid);
    EXPECT_FALSE(card.blocks().empty()) << "the command reached the card";
  }
}

INSTANTIATE_TEST_SUITE_P(Sessions, BareStatusInSession,
                         ::testing::Values(SessionKind::kAes, SessionKind::kIso),
                         [](const auto &param_info) {
                           return param_info.param == SessionKind::kAes ? "Aes" : "Iso";
                         });

}  // namespace
}  // namespace kovra::desfire
