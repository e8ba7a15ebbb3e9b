// The twelve DESFire functions against the simulated EV1 card, end to end over a pseudo-terminal:
// both session types, key changes, all three communication modes, and faults on the card's
// answers. The card's cryptography is OpenSSL's, so a fault in ours cannot hide behind it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "kovra.h"
#include "reader/exchange.h"
#include "reader/sdk_app.h"
#include "sim/cards.h"
#include "sim/desfire/desfire_card.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "unit/reader/hex.h"

namespace {

using kovra_sim::Bytes;
using kovra_test::Hex;
using kovra_test::ToHex;

const std::vector<uint8_t> kZeroKey(16, 0x00);
const std::vector<uint8_t> kAesCardKey = Hex("00112233445566778899AABBCCDDEEFF");
const std::vector<uint8_t> kAppKey1 = Hex("A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
const std::vector<uint8_t> kAppKey0 = Hex("B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF");
const std::vector<uint8_t> kDesKey1 = Hex("1032547698BADCFE1032547698BADCFE");  // equal halves
const std::vector<uint8_t> k3DesKey = Hex("0123456789ABCDEF23456789ABCDEF01");

// Wraps the card in the field so that a test can spoil its next answer.
class SpoilingCard : public kovra_sim::Iso14443Card {
 public:
  explicit SpoilingCard(std::shared_ptr<kovra_sim::Iso14443Card> card) : card_(std::move(card)) {}
  kovra_sim::CardKind Kind() const override { return card_->Kind(); }
  uint16_t Atqa() const override { return card_->Atqa(); }
  uint8_t Sak() const override { return card_->Sak(); }
  Bytes Uid() const override { return card_->Uid(); }
  void Reset() override { card_->Reset(); }
  std::string StateJson() const override { return card_->StateJson(); }
  Bytes Ats() const override { return card_->Ats(); }
  Bytes Exchange(const Bytes &block) override {
    Bytes answer = card_->Exchange(block);
    if (spoil_next_ && answer.size() > 1) {
      answer[answer.size() - 1 - spoil_offset_from_end_.load()] ^= 0x01;
      spoil_next_ = false;
    }
    return answer;
  }
  // Flips one bit in the next answer longer than a status byte.
  void SpoilNextAnswer(size_t offset_from_end = 0) {
    spoil_next_ = true;
    spoil_offset_from_end_ = offset_from_end;
  }

 private:
  std::shared_ptr<kovra_sim::Iso14443Card> card_;
  // Set by the test, read by the simulator's pty thread.
  std::atomic<bool> spoil_next_{false};
  std::atomic<size_t> spoil_offset_from_end_{0};
};

// A factory-fresh DESFire card on a simulated reader of family 0, opened and activated.
class DesfireRig : public ::testing::Test {
 protected:
  void SetUp() override {
    reader_.SetExchangePartSize(40);  // long answers come in parts (status 0x20, then 0x46)
    ASSERT_TRUE(server_.Start());
    // Room for an 8000-byte file (a real 8K card offers 7936 bytes).
    kovra_sim::DesfireCardOptions options;
    options.total_memory = 32768;
    auto card = std::make_shared<kovra_sim::DesfireCard>(Hex("04 11 22 33 44 55 66"), options);
    card_ = std::make_shared<SpoilingCard>(card);
    reader_.PlaceCard(card_);
    handle_ = KOVRA_OpenPort(server_.Path().c_str(), 115200, 1000);
    ASSERT_GT(handle_, 0);
    unsigned short atqa = 0;
    unsigned char uid[10], sak = 0, ats[32];
    ASSERT_EQ(KOVRA_SetRfField(handle_, 1), 0);
    ASSERT_EQ(KOVRA_Request(handle_, &atqa), 0);
    ASSERT_EQ(KOVRA_Select(handle_, uid, sizeof uid, &sak), 7);
    ASSERT_EQ(KOVRA_SetIsoParameter(handle_, 1), 0);
    ASSERT_GT(KOVRA_SendRats(handle_, ats, sizeof ats), 0);
    ASSERT_EQ(KOVRA_SendPps(handle_, 0x0A), 0);
  }
  void TearDown() override {
    if (handle_ > 0) KOVRA_ClosePort(handle_);
  }

  int Error() const { return KOVRA_GetLastError(handle_); }
  std::string ErrorHex() const {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", Error());
    return text;
  }
  // A native frame straight to the card (for the inspection commands the library lacks). It
  // passes the library's secure channel by, so inside a session it puts the two ends out of step:
  // authenticate again afterwards.
  Bytes Raw(const Bytes &frame) {
    auto port = kovra::CKOVRA_SDKApp::Instance().FindPort(handle_);
    kovra::CMyByteArray answer;
    if (!port || !kovra::Exchange(*port, frame.data(), frame.size(), answer)) return {};
    return answer.Bytes();
  }
  int AuthAes(int key_no, const std::vector<uint8_t> &key) {
    return KOVRA_DESFireAuthenticateAES(handle_, key_no, key.data(), 16);
  }
  int AuthIso(int key_no, const std::vector<uint8_t> &key) {
    return KOVRA_DESFireAuthenticateISO(handle_, key_no, key.data(), 16);
  }
  // Turns the factory card master key (DES zero key) into kAesCardKey, version 0x42.
  void MakeCardKeyAes() {
    ASSERT_EQ(KOVRA_DESFireAuthenticateISO(handle_, 0, nullptr, 0), 0) << ErrorHex();
    ASSERT_EQ(KOVRA_DESFireChangeKey(handle_, 0, kAesCardKey.data(), 16, 0x42, nullptr, 0, 2), 0)
        << ErrorHex();
    ASSERT_EQ(AuthAes(0, kAesCardKey), 0) << ErrorHex();
  }

  kovra_sim::SimReader reader_;
  kovra_sim::PtyServer server_{reader_};
  std::shared_ptr<SpoilingCard> card_;
  int handle_ = 0;
};

TEST_F(DesfireRig, AuthenticationsAndCardMasterKeyChanges) {
  EXPECT_EQ(KOVRA_DESFireAuthenticateAES(handle_, 0, nullptr, 0), -1);  // the key is DES
  EXPECT_EQ(Error(), 0x100AE);
  ASSERT_EQ(KOVRA_DESFireAuthenticateISO(handle_, 0, nullptr, 0), 0) << ErrorHex();
  EXPECT_GT(KOVRA_DESFireGetFreeMemory(handle_), 0);  // MACed and checked in the 3DES session

  // From DES to AES inside a 3DES session: the version byte must reach the card.
  ASSERT_EQ(KOVRA_DESFireChangeKey(handle_, 0, kAesCardKey.data(), 16, 0x42, nullptr, 0, 2), 0)
      << ErrorHex();
  EXPECT_EQ(KOVRA_DESFireFormatPICC(handle_), -1);  // the change ended the session
  EXPECT_EQ(Error(), 0x100AE);
  EXPECT_EQ(AuthIso(0, kZeroKey), -1);
  ASSERT_EQ(AuthAes(0, kAesCardKey), 0) << ErrorHex();
  const Bytes version = Raw({0x64, 0x00});  // GetKeyVersion of the card master key
  ASSERT_GE(version.size(), 2u);
  EXPECT_EQ(version[1], 0x42);

  // A key of the wrong length fails before anything is sent and keeps the session.
  ASSERT_EQ(AuthAes(0, kAesCardKey), 0);
  EXPECT_EQ(KOVRA_DESFireAuthenticateAES(handle_, 0, kAesCardKey.data(), 8), -1);
  EXPECT_EQ(Error(), KOVRA_DESFIRE_ERR_KEY_LENGTH);
  EXPECT_GT(KOVRA_DESFireGetFreeMemory(handle_), 0);

  // In an AES session to a new AES key.
  const std::vector<uint8_t> next = Hex("FFEEDDCCBBAA99887766554433221100");
  ASSERT_EQ(KOVRA_DESFireChangeKey(handle_, 0, next.data(), 16, 0x43, nullptr, 0, 2), 0)
      << ErrorHex();
  EXPECT_EQ(AuthAes(0, kAesCardKey), -1);
  EXPECT_EQ(Error(), 0x100AE);
  ASSERT_EQ(AuthAes(0, next), 0) << ErrorHex();
  EXPECT_EQ(Raw({0x64, 0x00}).at(1), 0x43);
}

TEST_F(DesfireRig, ApplicationsFilesAndOtherKeys) {
  MakeCardKeyAes();
  const int aid = 0x5A4B3C;
  ASSERT_EQ(KOVRA_DESFireCreateApplication(handle_, aid, 2, 3, 0, 0x0, 0xF, nullptr, 0), 0)
      << ErrorHex();
  EXPECT_EQ(KOVRA_DESFireCreateApplication(handle_, aid, 2, 3, 0, 0x0, 0xF, nullptr, 0), -1);
  EXPECT_EQ(Error(), 0x100DE);
  EXPECT_EQ(KOVRA_DESFireSelectApplication(handle_, 0x010101), -1);
  EXPECT_EQ(Error(), 0x100A0);

  ASSERT_EQ(KOVRA_DESFireSelectApplication(handle_, 0), 0);
  const Bytes ids = Raw({0x6A});  // the card's own list of applications
  EXPECT_EQ(ToHex(ids), "00 3C 4B 5A");

  ASSERT_EQ(KOVRA_DESFireSelectApplication(handle_, aid), 0);
  ASSERT_EQ(AuthAes(0, kZeroKey), 0) << ErrorHex();
  // Another key: needs the old one.
  EXPECT_EQ(KOVRA_DESFireChangeKey(handle_, 1, kAppKey1.data(), 16, 1, nullptr, 0, 0), -1);
  EXPECT_EQ(Error(), KOVRA_DESFIRE_ERR_OLD_KEY_LENGTH);
  ASSERT_EQ(KOVRA_DESFireChangeKey(handle_, 1, kAppKey1.data(), 16, 1, kZeroKey.data(), 16, 0), 0)
      << ErrorHex();
  // The same key: the session ends.
  ASSERT_EQ(KOVRA_DESFireChangeKey(handle_, 0, kAppKey0.data(), 16, 2, nullptr, 0, 0), 0)
      << ErrorHex();
  ASSERT_EQ(AuthAes(0, kAppKey0), 0) << ErrorHex();
  ASSERT_EQ(AuthAes(1, kAppKey1), 0) << ErrorHex();

  ASSERT_EQ(AuthAes(0, kAppKey0), 0);
  ASSERT_EQ(KOVRA_DESFireCreateStdDataFile(handle_, 1, 0, 32, 3, 0x1234), 0) << ErrorHex();
  unsigned char settings[16];
  ASSERT_EQ(KOVRA_DESFireGetFileSettings(handle_, 1, settings, sizeof settings), 7);
  EXPECT_EQ(ToHex(settings, 7), "00 03 34 12 20 00 00");
  EXPECT_EQ(ToHex(Raw({0x6F})).substr(0, 5), "00 01");  // GetFileIDs, plain (MAC follows)

  // Deleting the selected application returns to card level.
  ASSERT_EQ(KOVRA_DESFireDeleteApplication(handle_, aid), 0) << ErrorHex();
  EXPECT_EQ(ToHex(Raw({0x6A})), "00");  // no application left
  ASSERT_EQ(AuthAes(0, kAesCardKey), 0) << ErrorHex();
  ASSERT_EQ(KOVRA_DESFireFormatPICC(handle_), 0) << ErrorHex();
}

TEST_F(DesfireRig, TripleDesApplicationKeys) {
  ASSERT_EQ(KOVRA_DESFireAuthenticateISO(handle_, 0, nullptr, 0), 0);
  const int aid = 0x112233;
  ASSERT_EQ(KOVRA_DESFireCreateApplication(handle_, aid, 0, 2, 0, 0x0, 0xF, nullptr, 0), 0)
      << ErrorHex();
  ASSERT_EQ(KOVRA_DESFireSelectApplication(handle_, aid), 0);
  ASSERT_EQ(AuthIso(0, kZeroKey), 0) << ErrorHex();
  ASSERT_EQ(KOVRA_DESFireChangeKey(handle_, 1, kDesKey1.data(), 16, 0, kZeroKey.data(), 16, 0), 0)
      << ErrorHex();
  ASSERT_EQ(KOVRA_DESFireChangeKey(handle_, 0, k3DesKey.data(), 16, 0, nullptr, 0, 0), 0)
      << ErrorHex();
  ASSERT_EQ(AuthIso(1, kDesKey1), 0) << ErrorHex();
  ASSERT_EQ(AuthIso(0, k3DesKey), 0) << ErrorHex();
  EXPECT_EQ(AuthIso(0, kZeroKey), -1);
  EXPECT_EQ(Error(), 0x100AE);
}

// Writes and reads back files in each communication mode, in both session types.
class DesfireData : public DesfireRig,
                    public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(DesfireData, WriteAndReadInEveryLength) {
  const int mode = std::get<0>(GetParam());
  const bool aes = std::get<1>(GetParam());
  ASSERT_EQ(KOVRA_DESFireAuthenticateISO(handle_, 0, nullptr, 0), 0);
  const int aid = 0x000D0E;
  ASSERT_EQ(KOVRA_DESFireCreateApplication(handle_, aid, aes ? 2 : 0, 2, 0, 0x0, 0xF, nullptr, 0),
            0)
      << ErrorHex();
  ASSERT_EQ(KOVRA_DESFireSelectApplication(handle_, aid), 0);
  auto authenticate = [&] { return aes ? AuthAes(1, kZeroKey) : AuthIso(1, kZeroKey); };
  ASSERT_EQ(aes ? AuthAes(0, kZeroKey) : AuthIso(0, kZeroKey), 0) << ErrorHex();
  // Read and write with key 1; change with key 0.
  ASSERT_EQ(KOVRA_DESFireCreateStdDataFile(handle_, 2, 0, 8000, mode, 0x1110), 0) << ErrorHex();

  for (int length : {1, 52, 53, 111, 7600, 8000}) {
    ASSERT_EQ(authenticate(), 0) << ErrorHex();
    std::vector<uint8_t> data(static_cast<size_t>(length));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + length);
    ASSERT_EQ(KOVRA_DESFireWriteData(handle_, 2, mode, 0, data.data(), length), 0)
        << "length " << length << ": " << ErrorHex();
    std::vector<uint8_t> back(static_cast<size_t>(length) + 16);
    const int read = KOVRA_DESFireReadData(handle_, 2, mode, 0, length, back.data(),
                                           static_cast<int>(back.size()));
    ASSERT_EQ(read, length) << "length " << length << ": " << ErrorHex();
    back.resize(static_cast<size_t>(read));
    EXPECT_EQ(back, data) << "length " << length;
  }
  // The whole file at once (length 0).
  std::vector<uint8_t> whole(8100);
  EXPECT_EQ(KOVRA_DESFireReadData(handle_, 2, mode, 0, 0, whole.data(), 8100), 8000) << ErrorHex();
  EXPECT_GT(reader_.CommandCount(0x46), 0u);  // long answers came in parts
}

INSTANTIATE_TEST_SUITE_P(ModesAndSessions, DesfireData,
                         ::testing::Combine(::testing::Values(0, 1, 3), ::testing::Bool()));

TEST_F(DesfireRig, SpoiledAnswers) {
  MakeCardKeyAes();
  card_->SpoilNextAnswer();  // a flipped bit in the MAC of a MACed answer
  EXPECT_EQ(KOVRA_DESFireGetFreeMemory(handle_), -1);
  EXPECT_EQ(Error(), KOVRA_DESFIRE_ERR_MAC);
  // The session stands at card level, unauthenticated: an enciphered read is refused at once.
  unsigned char data[16];
  EXPECT_EQ(KOVRA_DESFireReadData(handle_, 1, 3, 0, 4, data, sizeof data), -1);
  EXPECT_EQ(Error(), KOVRA_DESFIRE_ERR_NOT_AUTHENTICATED);

  ASSERT_EQ(AuthAes(0, kAesCardKey), 0);
  ASSERT_EQ(KOVRA_DESFireCreateApplication(handle_, 0x000001, 2, 1, 0, 0x0, 0xF, nullptr, 0), 0);
  ASSERT_EQ(KOVRA_DESFireSelectApplication(handle_, 0x000001), 0);
  ASSERT_EQ(AuthAes(0, kZeroKey), 0);
  ASSERT_EQ(KOVRA_DESFireCreateStdDataFile(handle_, 1, 0, 16, 3, 0x0000), 0) << ErrorHex();
  const unsigned char payload[4] = {1, 2, 3, 4};
  ASSERT_EQ(KOVRA_DESFireWriteData(handle_, 1, 3, 0, payload, 4), 0) << ErrorHex();
  card_->SpoilNextAnswer(3);  // a flipped bit in the cryptogram
  EXPECT_EQ(KOVRA_DESFireReadData(handle_, 1, 3, 0, 4, data, sizeof data), -1);
  EXPECT_EQ(Error(), KOVRA_DESFIRE_ERR_CRC);
}

}  // namespace
