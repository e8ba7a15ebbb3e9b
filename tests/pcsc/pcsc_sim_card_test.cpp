// The simulator's DESFire card in a PC/SC reader of a real pcsc-lite daemon (the vpcd driver),
// reached through the client library as any PC/SC application reaches a card: the reader is
// listed, the card shows its contactless ATR and UID and answers wrapped DESFire commands, and a
// card taken away, a card laid anew and a daemon restarted look as they do with a real reader.
#include <gtest/gtest.h>
#include <winscard.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/pcscd_rig.h"

namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

constexpr const char *kUid = "04A1B2C3D4E5F6";
const Bytes kUidBytes = {0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};
// What a PC/SC reader shows for the DESFire card's ATS 06 75 77 81 02 80: one historical byte.
const Bytes kDesfireAtr = {0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};

std::string Hex(const Bytes &bytes) {
  std::string text;
  char part[4];
  for (const uint8_t byte : bytes) {
    std::snprintf(part, sizeof part, "%02X ", byte);
    text += part;
  }
  return text;
}

// A client context on the rig's daemon, and the few calls the tests make.
class Client {
 public:
  Client() {
    established_ = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_);
  }
  ~Client() {
    if (card_) SCardDisconnect(card_, SCARD_LEAVE_CARD);
    if (established_ == SCARD_S_SUCCESS) SCardReleaseContext(context_);
  }
  LONG Established() const { return established_; }

  std::vector<std::string> Readers() {
    char names[4096];
    DWORD size = sizeof names;
    if (SCardListReaders(context_, nullptr, names, &size) != SCARD_S_SUCCESS) return {};
    std::vector<std::string> readers;
    for (const char *name = names; *name; name += std::strlen(name) + 1) readers.emplace_back(name);
    return readers;
  }

  // Waits (bounded) until the reader shows a card (`present`) or none; the ATR it shows.
  bool WaitForCard(const std::string &reader, bool present, milliseconds timeout,
                   Bytes *atr = nullptr) {
    SCARD_READERSTATE state{};
    state.szReader = reader.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto left =
          std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      const LONG result =
          SCardGetStatusChange(context_, static_cast<DWORD>(left.count()), &state, 1);
      if (result != SCARD_S_SUCCESS && result != SCARD_E_TIMEOUT) return false;
      const bool shows = (state.dwEventState & SCARD_STATE_PRESENT) != 0;
      if (shows == present) {
        if (atr) atr->assign(state.rgbAtr, state.rgbAtr + state.cbAtr);
        return true;
      }
      state.dwCurrentState = state.dwEventState;
    }
  }

  void Disconnect() {
    if (card_) SCardDisconnect(card_, SCARD_LEAVE_CARD);
    card_ = 0;
  }

  LONG Connect(const std::string &reader) {
    return SCardConnect(context_, reader.c_str(), SCARD_SHARE_EXCLUSIVE,
                        SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card_, &protocol_);
  }

  // The response APDU, or the failure's code.
  std::pair<LONG, Bytes> Transmit(const Bytes &apdu) {
    uint8_t response[300];
    DWORD size = sizeof response;
    const SCARD_IO_REQUEST *pci = protocol_ == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
    const LONG result = SCardTransmit(card_, pci, apdu.data(), static_cast<DWORD>(apdu.size()),
                                      nullptr, response, &size);
    if (result != SCARD_S_SUCCESS) return {result, {}};
    return {result, Bytes(response, response + size)};
  }

 private:
  SCARDCONTEXT context_ = 0;
  LONG established_ = SCARD_E_NO_SERVICE;
  SCARDHANDLE card_ = 0;
  DWORD protocol_ = 0;
};

constexpr milliseconds kCardTimeout{5000};

class PcscSimCard : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = kovra_test::PcscdRig::Missing();
    if (!missing.empty()) GTEST_SKIP() << missing;
    kovra_test::PcscdRigOptions options;
    options.sim_program = KOVRA_SIM_PATH;
    rig_ = std::make_unique<kovra_test::PcscdRig>(options);
    std::string error;
    ASSERT_TRUE(rig_->Start(&error)) << error;
    ASSERT_EQ(rig_->SimControl(std::string("place desfire uid=") + kUid),
              std::string("ok uid=") + kUid);
  }

  std::unique_ptr<kovra_test::PcscdRig> rig_;
};

TEST_F(PcscSimCard, TheReaderIsListedAndTheCardAnswersWrappedDesfireCommands) {
  Client client;
  ASSERT_EQ(client.Established(), SCARD_S_SUCCESS) << rig_->DaemonLog();
  const std::vector<std::string> readers = client.Readers();
  ASSERT_NE(std::find(readers.begin(), readers.end(), rig_->ReaderName()), readers.end())
      << rig_->DaemonLog();
  Bytes atr;
  ASSERT_TRUE(client.WaitForCard(rig_->ReaderName(), true, kCardTimeout, &atr))
      << rig_->DaemonLog();
  EXPECT_EQ(atr, kDesfireAtr) << Hex(atr);
  ASSERT_EQ(client.Connect(rig_->ReaderName()), SCARD_S_SUCCESS);

  Bytes uid_answer = kUidBytes;
  uid_answer.insert(uid_answer.end(), {0x90, 0x00});
  EXPECT_EQ(client.Transmit({0xFF, 0xCA, 0x00, 0x00, 0x00}).second, uid_answer);

  // GetVersion comes in three frames: 91 AF asks for the next one with 90 AF.
  const auto first = client.Transmit({0x90, 0x60, 0x00, 0x00, 0x00});
  ASSERT_EQ(first.first, SCARD_S_SUCCESS);
  ASSERT_EQ(first.second.size(), 9u) << Hex(first.second);
  EXPECT_EQ(first.second[0], 0x04);  // the hardware's vendor
  EXPECT_EQ(Bytes(first.second.end() - 2, first.second.end()), (Bytes{0x91, 0xAF}));
  const auto second = client.Transmit({0x90, 0xAF, 0x00, 0x00, 0x00});
  EXPECT_EQ(Bytes(second.second.end() - 2, second.second.end()), (Bytes{0x91, 0xAF}));
  const auto third = client.Transmit({0x90, 0xAF, 0x00, 0x00, 0x00});
  ASSERT_EQ(third.second.size(), 16u) << Hex(third.second);
  EXPECT_EQ(Bytes(third.second.begin(), third.second.begin() + 7), kUidBytes);
  EXPECT_EQ(Bytes(third.second.end() - 2, third.second.end()), (Bytes{0x91, 0x00}));

  // A wrapped command with data: SelectApplication 000000 (card level).
  EXPECT_EQ(client.Transmit({0x90, 0x5A, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00}).second,
            (Bytes{0x91, 0x00}));
}

TEST_F(PcscSimCard, ACardTakenAwayIsARemovedCardAndANewOneShowsAgain) {
  Client client;
  ASSERT_TRUE(client.WaitForCard(rig_->ReaderName(), true, kCardTimeout)) << rig_->DaemonLog();
  ASSERT_EQ(client.Connect(rig_->ReaderName()), SCARD_S_SUCCESS);
  // Taken away by the fault after the next exchange, whose answer still arrives.
  ASSERT_EQ(rig_->SimControl("fault remove-after 1"), "ok");
  const auto last = client.Transmit({0x90, 0x6E, 0x00, 0x00, 0x00});  // GetFreeMemory
  ASSERT_EQ(last.first, SCARD_S_SUCCESS);
  EXPECT_EQ(Bytes(last.second.end() - 2, last.second.end()), (Bytes{0x91, 0x00}));

  ASSERT_TRUE(client.WaitForCard(rig_->ReaderName(), false, kCardTimeout)) << rig_->DaemonLog();
  EXPECT_EQ(client.Transmit({0xFF, 0xCA, 0x00, 0x00, 0x00}).first, SCARD_W_REMOVED_CARD);

  client.Disconnect();
  ASSERT_EQ(rig_->SimControl("place desfire uid=04000000000001"), "ok uid=04000000000001");
  ASSERT_TRUE(client.WaitForCard(rig_->ReaderName(), true, kCardTimeout)) << rig_->DaemonLog();
  ASSERT_EQ(client.Connect(rig_->ReaderName()), SCARD_S_SUCCESS);
  EXPECT_EQ(client.Transmit({0xFF, 0xCA, 0x00, 0x00, 0x00}).second,
            (Bytes{0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x90, 0x00}));
}

TEST_F(PcscSimCard, AMuteCardFailsTheExchangeInBoundedTimeAndGoes) {
  Client client;
  ASSERT_TRUE(client.WaitForCard(rig_->ReaderName(), true, kCardTimeout)) << rig_->DaemonLog();
  ASSERT_EQ(client.Connect(rig_->ReaderName()), SCARD_S_SUCCESS);
  ASSERT_EQ(rig_->SimControl("fault silent"), "ok");
  const auto start = std::chrono::steady_clock::now();
  // The vpcd driver hands the end of the card's connection in the middle of an exchange to its
  // host as a success without a single byte: no status word, so no answer either.
  const auto mute = client.Transmit({0x90, 0x60, 0x00, 0x00, 0x00});
  EXPECT_TRUE(mute.first != SCARD_S_SUCCESS || mute.second.size() < 2) << Hex(mute.second);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kCardTimeout);
  EXPECT_TRUE(client.WaitForCard(rig_->ReaderName(), false, kCardTimeout)) << rig_->DaemonLog();
  // Heard again, it is detected again.
  ASSERT_EQ(rig_->SimControl("fault none"), "ok");
  EXPECT_TRUE(client.WaitForCard(rig_->ReaderName(), true, kCardTimeout)) << rig_->DaemonLog();
}

TEST_F(PcscSimCard, TheCardComesBackToARestartedDaemon) {
  {
    Client client;
    ASSERT_TRUE(client.WaitForCard(rig_->ReaderName(), true, kCardTimeout)) << rig_->DaemonLog();
  }
  rig_->StopDaemon();
  {
    Client gone;
    EXPECT_EQ(gone.Established(), SCARD_E_NO_SERVICE);
  }
  std::string error;
  ASSERT_TRUE(rig_->RestartDaemon(&error)) << error;
  Client client;
  ASSERT_EQ(client.Established(), SCARD_S_SUCCESS);
  Bytes atr;
  ASSERT_TRUE(client.WaitForCard(rig_->ReaderName(), true, kCardTimeout, &atr))
      << rig_->DaemonLog();
  EXPECT_EQ(atr, kDesfireAtr);
  const std::string vpcd = rig_->SimControl("vpcd");
  EXPECT_NE(vpcd.find("\"connected\":true"), std::string::npos) << vpcd;
  EXPECT_EQ(vpcd.find("\"connections\":1,"), std::string::npos) << vpcd;  // it came back
}

}  // namespace
