// The version query and the transponder commands through the C API, against the simulated
// reader with scripted answers.
#include <gtest/gtest.h>

#include <string>

#include "api/open_port.h"
#include "hex.h"
#include "kovra.h"
#include "sim/reader.h"
#include "support/sim_transport.h"

namespace kovra {
namespace {

using kovra_sim::Bytes;
using kovra_sim::Reply;
using kovra_sim::SimReader;
using kovra_test::Hex;
using kovra_test::ToHex;

// A reader of one family whose port the C API finds by handle.
class ReaderOnPort {
 public:
  explicit ReaderOnPort(int family) : reader_(Config(family)) {
    kovra_test::SimPortOptions options;
    options.add_to_app = true;
    options.timeout_ms = 50;
    port_ = kovra_test::MakeSimPort(reader_, family, options);
  }
  ~ReaderOnPort() { kovra_test::RemoveSimPort(port_); }

  SimReader &reader() { return reader_; }
  CKOVRA_Port &port() { return *port_; }
  int handle() const { return port_->Handle(); }
  std::string LastFrame() const {
    const auto frames = reader_.ReceivedFrames();
    return frames.empty() ? "" : ToHex(frames.back());
  }

 private:
  static kovra_sim::SimReaderConfig Config(int family) {
    kovra_sim::SimReaderConfig config;
    config.family = family;
    return config;
  }
  SimReader reader_;
  std::shared_ptr<CKOVRA_Port> port_;
};

struct VersionCase {
  int family;
  std::vector<Reply> answers;  // to the version query, then to the "FV" follow-up
  const char *version;
};

TEST(VersionQuery, FamilyAnswersAreRewrittenToFourCharacters) {
  const Bytes raw = Hex("04 05 31 35");
  const VersionCase cases[] = {
      {0, {Reply::Ok(Hex("31 41 33 42"))}, "31 41 33 42"},
      {1, {Reply::Ok(Hex("31 32"))}, "31 32"},  // other lengths are kept as they are
      {2, {Reply::Ok(raw), Reply::Ok(Hex("31 37 31 39"))}, "31 37 31 39"},
      {2, {Reply::Ok(raw), Reply::Ok(raw)}, "31 37 31 35"},
      {2, {Reply::Ok(raw), Reply::Ok(Hex("31 37 20 39"))}, "31 37 31 35"},  // a space: kept
      {2, {Reply::Ok(raw), Reply::Ok(Hex("31 37 31"))}, "31 37 31 35"},     // too short
      {2, {Reply::Ok(raw), Reply::Error(kovra_sim::ReplyStatus::kNotAccepted)}, "31 37 31 35"},
      {2, {Reply::Ok(Hex("30 42 31 32"))}, "31 37 31 32"},
      {3, {Reply::Ok(Hex("00 00 00 00 30 31 32 41 00"))}, "31 31 37 41"},
      {3, {Reply::Ok(Hex("30 31 32 41"))}, "30 31 32 41"},
  };
  for (const auto &c : cases) {
    ReaderOnPort rig(c.family);
    for (const Reply &answer : c.answers) rig.reader().PushReply(0xF0, answer);
    CMyByteArray version;
    ASSERT_TRUE(VersionQuery(rig.port(), version)) << c.family << " " << c.version;
    EXPECT_EQ(ToHex(version.Bytes()), c.version) << "family " << c.family;
  }
}

TEST(VersionQuery, FollowUpAsksWithFV) {
  ReaderOnPort rig(2);
  rig.reader().PushReply(0xF0, Reply::Ok(Hex("04 05 31 35")));
  rig.reader().PushReply(0xF0, Reply::Ok(Hex("31 37 31 39")));
  unsigned char version[4];
  EXPECT_EQ(KOVRA_GetVersion(rig.handle(), version, sizeof version), 4);
  EXPECT_EQ(rig.LastFrame(), "1E 0B 02 46 56");
}

TEST(VersionQuery, SmallBufferFailsWithError5) {
  ReaderOnPort rig(0);
  unsigned char version[3] = {0xEE, 0xEE, 0xEE};
  EXPECT_EQ(KOVRA_GetVersion(rig.handle(), version, sizeof version), -1);
  EXPECT_EQ(KOVRA_GetLastError(rig.handle()), KOVRA_ERR_BUFFER_SMALL);
  EXPECT_EQ(version[0], 0xEE);
}

TEST(Transponder, CommandsSendTheirFrames) {
  const struct {
    int family;
    int (*call)(int handle);
    int result;
    const char *frame;  // "" when nothing may be sent
  } cases[] = {
      {0, [](int h) { return KOVRA_SetRfField(h, 1); }, 0, "02 01 F5 01 01 F4"},
      {0, [](int h) { return KOVRA_SetRfField(h, 256); }, 0, "02 01 F5 01 00 F5"},
      {2, [](int h) { return KOVRA_SetRfField(h, 1); }, 0, "1E 0C 00"},
      {0, [](int h) { return KOVRA_SetMode(h, 0x83); }, 0, "02 01 F4 01 83 77"},
      {0, [](int h) { return KOVRA_SetMode(h, 4); }, -1, ""},
      {2, [](int h) { return KOVRA_SetMode(h, 0); }, 0, ""},
      {3, [](int h) { return KOVRA_SetMode(h, 0x84); }, -1, ""},
      {1, [](int h) { return KOVRA_SetIsoParameter(h, 0x101); }, 0, "01 40 01 01 C0 5C"},
      {3, [](int h) { return KOVRA_SendPps(h, 0x0A); }, 0, "1E 42 01 0A"},
      {2, [](int h) { return KOVRA_SetUsbMode(h, 2); }, 0, "1E 0F 01 02"},
      {0, [](int h) { return KOVRA_SendControlCommand(h, 0x100, 0x1FF); }, 0,
       "02 01 F6 02 00 FF 0A"},
      {3, [](int h) { return KOVRA_SendControlCommand(h, 0, 0); }, 0, "1E 07 02 00 00"},
  };
  for (const auto &c : cases) {
    ReaderOnPort rig(c.family);
    for (uint8_t code : {0xF5, 0xF4, 0x40, 0x42, 0xFF, 0xF6})
      rig.reader().SetFixedReply(code, Reply::Ok());
    EXPECT_EQ(c.call(rig.handle()), c.result) << c.frame;
    EXPECT_EQ(rig.LastFrame(), c.frame) << "family " << c.family;
  }
  ReaderOnPort rig(0);
  EXPECT_EQ(KOVRA_SetMode(rig.handle(), 4), -1);
  EXPECT_EQ(KOVRA_GetLastError(rig.handle()), KOVRA_ERR_MODE_INVALID);
}

TEST(Transponder, RequestAndSelect) {
  ReaderOnPort rig(0);
  rig.reader().PushReply(0x30, Reply::Ok(Hex("44 03")));
  unsigned short atqa = 0;
  EXPECT_EQ(KOVRA_Request(rig.handle(), &atqa), 0);
  EXPECT_EQ(atqa, 0x0344);
  rig.reader().PushReply(0x30, Reply::Ok(Hex("44 03 00")));
  EXPECT_EQ(KOVRA_Request(rig.handle(), &atqa), -1);
  EXPECT_EQ(KOVRA_GetLastError(rig.handle()), KOVRA_ERR_WRONG_LENGTH);

  const Bytes select_answer = Hex("20 04 11 22 33 44 55 66");
  rig.reader().SetFixedReply(0x31, Reply::Ok(select_answer));
  unsigned char uid[7] = {};
  unsigned char sak = 0xEE;
  EXPECT_EQ(KOVRA_Select(rig.handle(), uid, sizeof uid, &sak), 7);
  EXPECT_EQ(sak, 0x20);
  EXPECT_EQ(ToHex(uid, 7), "04 11 22 33 44 55 66");

  sak = 0xEE;
  EXPECT_EQ(KOVRA_Select(rig.handle(), uid, 4, &sak), -1);  // the UID does not fit
  EXPECT_EQ(sak, 0);
  EXPECT_EQ(KOVRA_GetLastError(rig.handle()), 0);  // no error of its own

  rig.reader().SetFixedReply(0x31, Reply::Error(kovra_sim::ReplyStatus::kNoCard));
  EXPECT_EQ(KOVRA_Select(rig.handle(), uid, sizeof uid, &sak), -1);
  EXPECT_EQ(KOVRA_GetLastError(rig.handle()), 21);  // the reader's "no transponder"
}

TEST(Transponder, AnswersThatMustFitTheBuffer) {
  ReaderOnPort rig(1);
  rig.reader().SetFixedReply(0x41, Reply::Ok(Hex("06 75 77 81 02 80")));
  rig.reader().SetFixedReply(0xF8, Reply::Ok(Hex("12 34 56 78")));
  unsigned char buffer[8] = {};
  EXPECT_EQ(KOVRA_SendRats(rig.handle(), buffer, sizeof buffer), 6);
  EXPECT_EQ(ToHex(buffer, 6), "06 75 77 81 02 80");
  EXPECT_EQ(KOVRA_SendRats(rig.handle(), buffer, 5), -1);
  EXPECT_EQ(KOVRA_GetLastError(rig.handle()), KOVRA_ERR_BUFFER_SMALL);
  EXPECT_EQ(KOVRA_GetSerialNumber(rig.handle(), buffer, 4), 4);
  EXPECT_EQ(KOVRA_GetSerialNumber(rig.handle(), nullptr, 4), -1);
}

TEST(Transponder, UnknownHandleFailsEverywhere) {
  unsigned char buffer[8];
  unsigned short atqa = 0;
  unsigned char sak = 0xEE;
  EXPECT_EQ(KOVRA_SetRfField(999, 1), -1);
  EXPECT_EQ(KOVRA_SetMode(999, 9), -1);
  EXPECT_EQ(KOVRA_Request(999, &atqa), -1);
  EXPECT_EQ(KOVRA_Select(999, buffer, 8, &sak), -1);
  EXPECT_EQ(sak, 0);
  EXPECT_EQ(KOVRA_SendRats(999, buffer, 8), -1);
  EXPECT_EQ(KOVRA_GetVersion(999, buffer, 8), -1);
  EXPECT_EQ(KOVRA_ClosePort(999), -1);
  EXPECT_EQ(KOVRA_IsDeviceCapable(999), -1);
  EXPECT_EQ(KOVRA_IsUsbDevice(999), -1);
  char name[16];
  EXPECT_EQ(KOVRA_GetDeviceName(999, name, sizeof name), 7);
  EXPECT_STREQ(name, "KV-#000");
  EXPECT_EQ(KOVRA_GetDeviceName(999, name, 4), 7);  // cut, but the full length
  EXPECT_STREQ(name, "KV-");
  EXPECT_EQ(KOVRA_GetDeviceName(999, nullptr, 0), 7);
}

}  // namespace
}  // namespace kovra
