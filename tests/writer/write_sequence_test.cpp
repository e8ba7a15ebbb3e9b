// The write sequence against the simulated DESFire EV1 card: a factory-fresh card and a written
// card in each file mode, the repair passes, a card pulled away mid-sequence, a card master key
// the job does not know, and the card's own state afterwards (keys, application, file, data).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "sim_rig.h"
#include "writer/cards/card_detection.h"
#include "writer/cards/write_sequence.h"
#include "writer/job/data_codec.h"
#include "writer/job/key_plan.h"

namespace {

using kovra_sim::DesfireKeyType;
using quillmate::DesfireSet;
using quillmate::FileMode;
using quillmate::KeyPlan;
using quillmate::Lamp;
using quillmate_test::SimRig;
using quillmate_test::ToQt;

const QString kCardKey = QStringLiteral("00112233445566778899AABBCCDDEEFF");
const QString kAppKey = QStringLiteral("B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF");
const QString kReadKey = QStringLiteral("A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
const QString kWriteKey = QStringLiteral("C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF");
constexpr int kAid = 0x123456;
// Indices into the access list: 0 none, 1 free, 2 app master key, 3 + n key n + 1.
constexpr int kFree = 1;
constexpr int kMasterKey = 2;
constexpr int kKey1 = 3;
constexpr int kKey2 = 4;

kovra_sim::Bytes KeyBytes(const QString &hex) {
  const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
  return kovra_sim::Bytes(bytes.begin(), bytes.end());
}

class WriteSequence : public SimRig {
 protected:
  void SetUp() override {
    SimRig::SetUp();
    job_.data = QStringLiteral("4711");
    job_.length = 32;
    job_.app_id = kAid;
    job_.file_id = 1;
    job_.card_key = kCardKey;
    job_.app_key = kAppKey;
    job_.key_count = 3;
    job_.read_key_nr = kKey1;
    job_.write_key_nr = kKey2;
    job_.read_write_key_nr = 0;
    job_.read_key = kReadKey;
    job_.write_key = kWriteKey;
  }

  // Checks the job, encodes its data, activates the card and writes it.
  bool Write(quillmate::WriteDetails *details = nullptr) {
    const quillmate::JobCheck checked = quillmate::ValidateWriteJob(job_, plan_);
    EXPECT_TRUE(checked.ok) << checked.message.toStdString();
    const quillmate::JobCheck encoded = quillmate::EncodeData(job_, job_.data, bytes_);
    EXPECT_TRUE(encoded.ok) << encoded.message.toStdString();
    if (!quillmate::DetectCard(context_, false)) return false;
    return quillmate::WriteCard(context_, job_, plan_, bytes_, details);
  }
  // Card exchanges (reader command 0x45) so far.
  size_t Exchanges() const {
    const auto commands = reader_.ReceivedCommands();
    return static_cast<size_t>(std::count_if(commands.begin(), commands.end(),
                                             [](auto &c) { return c.code && *c.code == 0x45; }));
  }
  // Lays `first` and activates it; at the front end's next two questions the operator lays
  // `other`, then `first` again.
  void LayFirstThenOtherAtTheQuestions(std::shared_ptr<kovra_sim::DesfireCard> first,
                                       std::shared_ptr<kovra_sim::DesfireCard> other) {
    Place(first);
    front_end_.lines.clear();
    front_end_.answers = {quillmate::FrontEnd::Answer::kRetry, quillmate::FrontEnd::Answer::kRetry};
    auto answered = std::make_shared<int>(0);
    front_end_.before_answer = [this, answered, first, other] {
      Place((*answered)++ == 0 ? other : first);
    };
    ASSERT_TRUE(quillmate::DetectCard(context_, false));
  }
  static void ExpectAesKey(const kovra_sim::DesfireKey &key, const QString &hex) {
    EXPECT_EQ(key.type, DesfireKeyType::kAes);
    EXPECT_EQ(key.bytes, KeyBytes(hex));
    EXPECT_EQ(key.version, 0);
  }
  // The card holds exactly what the job asks for, and the data just written.
  void ExpectPersonalised(const kovra_sim::DesfireCard &card) {
    ExpectAesKey(card.Content().master_key, kCardKey);
    const kovra_sim::DesfireApplication *app = card.Application(kAid);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->key_settings, 0xEF);  // each key changed with itself; settings 0xF
    ASSERT_EQ(app->keys.size(), 3u);
    ExpectAesKey(app->keys[0], kAppKey);
    ExpectAesKey(app->keys[1], kReadKey);
    ExpectAesKey(app->keys[2], kWriteKey);
    ASSERT_EQ(app->files.size(), 1u);
    const kovra_sim::DesfireFile &file = app->files[0];
    EXPECT_EQ(file.number, 1);
    EXPECT_EQ(file.comm_settings, quillmate::FileModeByte(job_.file_mode));
    EXPECT_EQ(file.access_rights, 0x12F0);
    EXPECT_EQ(ToQt(file.data), bytes_);
  }

  DesfireSet job_;
  KeyPlan plan_;
  QByteArray bytes_;
};

class WriteSequenceInMode : public WriteSequence, public ::testing::WithParamInterface<FileMode> {};

TEST_P(WriteSequenceInMode, FreshCardInOnePassThenTheSameCardAgain) {
  job_.file_mode = GetParam();
  ASSERT_TRUE(Write()) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(front_end_.lines, QStringList{QStringLiteral("App wurde neu erzeugt")});
  ExpectPersonalised(card());

  // Written again with the next value: the application and file are found and kept, and what
  // the file held before is read with the job's read key.
  const QByteArray first = bytes_;
  front_end_.lines.clear();
  job_.data = QStringLiteral("4712");
  quillmate::WriteDetails details;
  ASSERT_TRUE(Write(&details)) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(front_end_.lines, QStringList{QStringLiteral("App ID existiert bereits!")});
  ExpectPersonalised(card());
  EXPECT_EQ(details.earlier_data, std::optional<QByteArray>(first));
  EXPECT_EQ(details.file_image, bytes_);
  EXPECT_TRUE(front_end_.questions.isEmpty());
  EXPECT_TRUE(front_end_.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(FileModes, WriteSequenceInMode,
                         ::testing::Values(FileMode::kPlain, FileMode::kPlainWithMac,
                                           FileMode::kEnciphered));

TEST_F(WriteSequence, ExchangesPerCard) {
  const size_t before_fresh = Exchanges();
  ASSERT_TRUE(Write());
  const size_t fresh = Exchanges() - before_fresh;
  const size_t before_again = Exchanges();
  ASSERT_TRUE(Write());
  const size_t again = Exchanges() - before_again;
  // Fresh: select, AES (fails), AES default (fails), ISO default (2 frames), change; select app
  // (not found); create, select, 3 x (AES 2 frames + change); create file; AES 2 frames; write.
  EXPECT_EQ(fresh, 1u + 1 + 1 + 2 + 1 + 1 + 1 + 1 + 3 * 3 + 1 + 2 + 1);
  // Again: select, AES (2); select app; AES key 0 (2), key 1 (2), key 2 (2); create file
  // (duplicate), file settings; AES read key (2), read what the file held; AES (2); write.
  EXPECT_EQ(again, 1u + 2 + 1 + 2 + 2 + 2 + 1 + 1 + 2 + 1 + 2 + 1);
  RecordProperty("exchanges_fresh", static_cast<int>(fresh));
  RecordProperty("exchanges_again", static_cast<int>(again));
}

// A file kept from a job with a longer value: the shorter value is followed by zeros up to the
// file's end in the same write, so that a reader of the whole file finds no tail of the old one.
TEST_F(WriteSequence, ALargerFileIsClearedAfterTheValue) {
  for (const FileMode mode : {FileMode::kPlain, FileMode::kPlainWithMac, FileMode::kEnciphered}) {
    SCOPED_TRACE(static_cast<int>(mode));
    auto card = FreshDesfire(kUid);
    Place(card);
    job_.file_mode = mode;
    job_.length = 16;
    job_.data = QStringLiteral("9900100292");
    ASSERT_TRUE(Write()) << front_end_.lines.join('\n').toStdString();

    job_.length = 8;
    job_.data = QStringLiteral("99");
    quillmate::WriteDetails details;
    ASSERT_TRUE(Write(&details)) << front_end_.lines.join('\n').toStdString();
    const kovra_sim::DesfireApplication *app = card->Application(kAid);
    ASSERT_NE(app, nullptr);
    QByteArray whole = bytes_;
    whole.append(QByteArray(8, '\0'));
    ASSERT_EQ(app->files.size(), 1u);
    EXPECT_EQ(ToQt(app->files[0].data), whole);
    EXPECT_EQ(details.file_image, whole);
  }
}

TEST_F(WriteSequence, FileThatDoesNotFitIsRepairedInTheNextPass) {
  ASSERT_TRUE(Write());
  struct Case {
    const char *name;
    std::function<void(DesfireSet &)> change;
    QString line;
  };
  const Case cases[] = {
      {"length grown", [](DesfireSet &job) { job.length = 48; },
       QStringLiteral("File hat nicht genügend Platz, Applikation wird gelöscht und neu erzeugt!")},
      {"other file mode", [](DesfireSet &job) { job.file_mode = FileMode::kEnciphered; },
       QStringLiteral("File hat den falschen Typ, Applikation wird gelöscht und neu erzeugt!")},
      {"other rights", [](DesfireSet &job) { job.read_write_key_nr = kMasterKey; },
       QStringLiteral("File hat nicht die richtigen Keys, Applikation wird gelöscht und neu "
                      "erzeugt!")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    c.change(job_);
    front_end_.lines.clear();
    ASSERT_TRUE(Write()) << front_end_.lines.join('\n').toStdString();
    EXPECT_EQ(front_end_.lines,
              (QStringList{QStringLiteral("App ID existiert bereits!"), c.line,
                           QStringLiteral("Die gewählte Applikation wurde gelöscht!"),
                           QStringLiteral("App wurde neu erzeugt")}));
    EXPECT_TRUE(front_end_.questions.isEmpty()) << "the card was still there";
    const kovra_sim::DesfireFile &file = card().Application(kAid)->files.at(0);
    EXPECT_EQ(file.data.size(), static_cast<size_t>(job_.length));
    EXPECT_EQ(file.comm_settings, quillmate::FileModeByte(job_.file_mode));
    EXPECT_EQ(ToQt(file.data), bytes_);
  }
}

TEST_F(WriteSequence, FreeWriteAfterKeyChecksDropsTheStaleSession) {
  // The read/write key is checked (and left authenticated) by the key step; the write right is
  // free, so the data go plainly and the card must not expect a session's MAC or cryptogram.
  job_.file_mode = FileMode::kEnciphered;
  job_.write_key_nr = kFree;
  job_.read_write_key_nr = kKey2;
  job_.read_write_key = kWriteKey;
  ASSERT_TRUE(Write()) << front_end_.lines.join('\n').toStdString();
  // Without its file the application is kept and the file created in the key checks' session
  // (a duplicate file's error would have ended that session by itself).
  card().EditContent().Application(kAid)->files.clear();
  front_end_.lines.clear();
  job_.data = QStringLiteral("4712");
  ASSERT_TRUE(Write()) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(front_end_.lines, QStringList{QStringLiteral("App ID existiert bereits!")});
  EXPECT_EQ(ToQt(card().Application(kAid)->files.at(0).data), bytes_);
}

TEST_F(WriteSequence, EmptyCardKeyAndNoApplicationKeys) {
  job_.card_key.clear();
  job_.key_count = 0;
  job_.read_key_nr = kFree;
  job_.write_key_nr = kFree;
  ASSERT_TRUE(Write()) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(card().Content().master_key.type, DesfireKeyType::kDes) << "card key left alone";
  EXPECT_EQ(card().Content().master_key.bytes, kovra_sim::Bytes(16, 0));
  const kovra_sim::DesfireApplication *app = card().Application(kAid);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->files.at(0).access_rights, 0xEEFE);
  EXPECT_EQ(ToQt(app->files.at(0).data), bytes_);
  ASSERT_EQ(app->keys.size(), 1u) << "the least a DESFire application has";
  EXPECT_EQ(app->keys[0].bytes, kovra_sim::Bytes(16, 0));

  front_end_.lines.clear();
  job_.data = QStringLiteral("4712");
  ASSERT_TRUE(Write()) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(front_end_.lines, QStringList{QStringLiteral("App ID existiert bereits!")});
  EXPECT_EQ(ToQt(card().Application(kAid)->files.at(0).data), bytes_);
}

TEST_F(WriteSequence, ReadRightOnTheAppMasterKey) {
  job_.read_key_nr = kMasterKey;
  ASSERT_TRUE(Write()) << front_end_.lines.join('\n').toStdString();
  const kovra_sim::DesfireApplication *app = card().Application(kAid);
  ASSERT_NE(app, nullptr);
  ExpectAesKey(app->keys[0], kAppKey);
  EXPECT_EQ(app->keys[1].bytes, kovra_sim::Bytes(16, 0)) << "key 1 is not used: still the default";
  ExpectAesKey(app->keys[2], kWriteKey);
  EXPECT_EQ(app->files.at(0).access_rights, 0x02F0);
}

TEST_F(WriteSequence, UnknownCardMasterKeyStopsBeforeTheCardChanges) {
  kovra_sim::DesfireKey foreign;
  foreign.type = DesfireKeyType::kAes;
  foreign.bytes = KeyBytes(QStringLiteral("FFEEDDCCBBAA99887766554433221100"));
  card().EditContent().master_key = foreign;
  EXPECT_FALSE(Write());
  // The operator is told which key is wrong, not the card's "authentication state" status.
  EXPECT_EQ(front_end_.lines,
            QStringList{QStringLiteral(
                "Authentifizierung nicht möglich! Gewählter Card Master Key nicht gültig")});
  EXPECT_EQ(card().Content().master_key.bytes, foreign.bytes);
  EXPECT_TRUE(card().Content().applications.empty());
}

// A written card whose keys were changed since (another job, another line): each key the card
// refuses is named as the job's key the operator has to check, and the card keeps its data.
TEST_F(WriteSequence, AKeyTheCardRefusesIsNamedAndTheCardKeepsItsData) {
  const kovra_sim::DesfireKey foreign{
      DesfireKeyType::kAes, KeyBytes(QStringLiteral("FFEEDDCCBBAA99887766554433221100")), 0};
  constexpr int kCardMasterKey = -1;
  const struct {
    int key_no;  // in the application, or the card master key
    QString line;
  } cases[] = {
      {kCardMasterKey,
       QStringLiteral("Authentifizierung nicht möglich! Gewählter Card Master Key nicht gültig")},
      {0, QStringLiteral("Authentifizierung nicht möglich! Gewählter App Master Key nicht gültig")},
      {1, QStringLiteral("Authentifizierung nicht möglich! Gewählter Lesen Key nicht gültig")},
      {2, QStringLiteral("Authentifizierung nicht möglich! Gewählter Schreiben Key nicht gültig")},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.key_no);
    auto written_card = std::make_shared<kovra_sim::DesfireCard>(kUid);
    Place(written_card);
    ASSERT_TRUE(Write()) << front_end_.lines.join('\n').toStdString();
    const QByteArray written = bytes_;
    if (c.key_no == kCardMasterKey) {
      written_card->EditContent().master_key = foreign;
    } else {
      written_card->EditContent().Application(kAid)->keys.at(static_cast<size_t>(c.key_no)) =
          foreign;
    }
    front_end_.lines.clear();
    job_.data = QStringLiteral("4712");
    EXPECT_FALSE(Write());
    ASSERT_FALSE(front_end_.lines.isEmpty());
    EXPECT_EQ(front_end_.lines.last(), c.line);
    EXPECT_TRUE(front_end_.lines.filter(QStringLiteral("<Auth(")).isEmpty())
        << front_end_.lines.join('\n').toStdString();
    EXPECT_EQ(ToQt(written_card->Application(kAid)->files.at(0).data), written);
    job_.data = QStringLiteral("4711");
  }
}

TEST_F(WriteSequence, FourFailingPassesEndWithoutAFurtherLine) {
  // Room for the application but not for its file: every pass fails at the file.
  kovra_sim::DesfireCardOptions options;
  options.total_memory = 80;
  auto small = std::make_shared<kovra_sim::DesfireCard>(kUid, options);
  Place(small);
  EXPECT_FALSE(Write());
  EXPECT_EQ(std::count_if(front_end_.lines.begin(), front_end_.lines.end(),
                          [](const QString &line) { return line.endsWith(" <CreateFile()>"); }),
            4);
  EXPECT_TRUE(front_end_.lines.last().endsWith(QLatin1String(" <CreateFile()>")));
  EXPECT_TRUE(front_end_.messages.isEmpty());
}

TEST_F(WriteSequence, CardPulledDuringTheWrite) {
  // Learn how many exchanges the sequence takes on a fresh card; the write is the last one.
  const size_t before = Exchanges();
  ASSERT_TRUE(Write());
  const size_t exchanges = Exchanges() - before;

  for (const bool retry : {false, true}) {
    SCOPED_TRACE(retry ? "retry" : "cancel");
    auto second = FreshDesfire({0x04, 0x10, 0x20, 0x30, 0x40, 0x50, static_cast<uint8_t>(retry)});
    Place(second);
    front_end_.lines.clear();
    front_end_.questions.clear();
    front_end_.answers = {retry ? quillmate::FrontEnd::Answer::kRetry
                                : quillmate::FrontEnd::Answer::kCancel};
    std::vector<Lamp> lamps_at_question;
    front_end_.before_answer = [this, second, &lamps_at_question] {
      lamps_at_question.push_back(front_end_.lamps.back());
      Place(second);
    };
    ASSERT_TRUE(quillmate::DetectCard(context_, false));
    reader_.RemoveCardAfterExchanges(exchanges - 1);
    const bool written = quillmate::WriteCard(context_, job_, plan_, bytes_);
    front_end_.before_answer = nullptr;
    ASSERT_GE(front_end_.lines.size(), 2);
    EXPECT_TRUE(front_end_.lines[1].endsWith(QLatin1String(" <Write>")))
        << front_end_.lines[1].toStdString();
    // The question names the card the sequence has begun.
    const QString uid = QStringLiteral("041020304050%1").arg(retry ? 1 : 0, 2, 10, QChar('0'));
    EXPECT_EQ(front_end_.questions,
              QStringList{QStringLiteral("Bitte Karte auflegen!\nDie Karte %1 ist noch nicht "
                                         "fertig beschrieben.")
                              .arg(uid)});
    // Nothing is written while the question waits for the card: the lamps are off, and the work
    // on the card laid again shows yellow.
    EXPECT_EQ(lamps_at_question, std::vector<Lamp>{Lamp::kWaiting});
    if (retry) {
      EXPECT_EQ(front_end_.lamps.back(), Lamp::kYellow);
    }
    const kovra_sim::DesfireApplication *app = second->Application(kAid);
    ASSERT_NE(app, nullptr);
    if (retry) {
      EXPECT_TRUE(written);
      EXPECT_TRUE(front_end_.Contains(QStringLiteral("Die gewählte Applikation wurde gelöscht!")));
      ExpectPersonalised(*second);
    } else {
      EXPECT_FALSE(written);
      EXPECT_TRUE(front_end_.Contains(QStringLiteral("Kein gültiger Transponder vorhanden!")));
      // The card left half-written is named with what it lacks.
      EXPECT_EQ(front_end_.lines.last(),
                QStringLiteral("Karte %1 ist nur teilweise beschrieben, es fehlen: die "
                               "Bestätigung der Daten (vielleicht geschrieben)")
                    .arg(uid));
      EXPECT_EQ(app->files.at(0).data, kovra_sim::Bytes(32, 0)) << "application left as it was";
    }
  }
}

TEST_F(WriteSequence, CardPulledAtAnyStepEndsWithALineAndTheNextCardStartsClean) {
  const size_t before = Exchanges();
  ASSERT_TRUE(Write());
  const size_t exchanges = Exchanges() - before;
  for (size_t pulled_after = 1; pulled_after < exchanges; ++pulled_after) {
    SCOPED_TRACE(pulled_after);
    auto pulled = FreshDesfire({0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    Place(pulled);
    front_end_.lines.clear();
    ASSERT_TRUE(quillmate::DetectCard(context_, false));
    reader_.RemoveCardAfterExchanges(pulled_after);
    EXPECT_FALSE(quillmate::WriteCard(context_, job_, plan_, bytes_));
    EXPECT_FALSE(front_end_.lines.isEmpty());

    auto next = FreshDesfire({0x04, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F});
    Place(next);
    front_end_.lines.clear();
    ASSERT_TRUE(Write()) << front_end_.lines.join('\n').toStdString();
    ExpectPersonalised(*next);
  }
}

TEST_F(WriteSequence, AnotherCardLaidDuringARepairIsNamedAndLeftAloneUntilTheFirstIsBack) {
  const size_t before = Exchanges();
  ASSERT_TRUE(Write());
  const size_t exchanges = Exchanges() - before;

  auto first = FreshDesfire({0x04, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36});
  auto other = FreshDesfire({0x04, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46});
  // The operator lays the wrong card first, then the right one.
  LayFirstThenOtherAtTheQuestions(first, other);
  // Taken away before the write key's authentication: the data never went out.
  reader_.RemoveCardAfterExchanges(exchanges - 3);
  EXPECT_TRUE(quillmate::WriteCard(context_, job_, plan_, bytes_))
      << front_end_.lines.join('\n').toStdString();
  front_end_.before_answer = nullptr;

  const QString unfinished =
      QStringLiteral("Die Karte 04313233343536 ist noch nicht fertig beschrieben.");
  ASSERT_EQ(front_end_.questions.size(), 2);
  EXPECT_EQ(front_end_.questions[0], QStringLiteral("Bitte Karte auflegen!\n") + unfinished);
  EXPECT_EQ(front_end_.questions[1],
            QStringLiteral("Auf dem Leser liegt eine andere Karte (04414243444546), sie wird "
                           "nicht beschrieben!\nBitte Karte auflegen!\n") +
                unfinished);
  EXPECT_TRUE(other->Content().applications.empty()) << "the other card was not written";
  EXPECT_TRUE(other->Content().master_key.bytes == kovra_sim::Bytes(16, 0));
  ExpectPersonalised(*first);
  EXPECT_EQ(context_.cards.current_uid, ToQt({0x04, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36}));
}

// After a data write whose outcome is unknown only the card begun may be repaired: it may hold
// the data. Another card laid then ends the sequence at once, untouched, instead of waiting for
// the first while cards come (a script retries until its time is up).
TEST_F(WriteSequence, AnotherCardLaidAfterAnUnansweredWriteEndsTheSequence) {
  const size_t before = Exchanges();
  ASSERT_TRUE(Write());
  const size_t exchanges = Exchanges() - before;

  auto first = FreshDesfire({0x04, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66});
  auto other = FreshDesfire({0x04, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76});
  LayFirstThenOtherAtTheQuestions(first, other);
  reader_.RemoveCardAfterExchanges(exchanges - 1);  // the write goes out and gets no answer
  quillmate::WriteDetails details;
  EXPECT_FALSE(quillmate::WriteCard(context_, job_, plan_, bytes_, &details));
  front_end_.before_answer = nullptr;

  EXPECT_TRUE(details.data_may_be_on_card);
  EXPECT_EQ(front_end_.questions.size(), 1) << front_end_.questions.join('\n').toStdString();
  EXPECT_TRUE(front_end_.Contains(QStringLiteral(
      "Auf dem Leser liegt eine andere Karte (04717273747576), sie wird nicht beschrieben!")))
      << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(front_end_.lines.last(),
            QStringLiteral("Karte 04616263646566 ist nur teilweise beschrieben, es fehlen: die "
                           "Bestätigung der Daten (vielleicht geschrieben)"));
  EXPECT_TRUE(other->Content().applications.empty()) << "the other card was not written";
  EXPECT_EQ(context_.cards.current_uid, ToQt({0x04, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66}));
}

TEST_F(WriteSequence, AReaderLostDuringTheWriteIsReportedAtOnceWithoutAskingForTheCard) {
  const size_t before = Exchanges();
  ASSERT_TRUE(Write());
  const size_t exchanges = Exchanges() - before;

  auto card = FreshDesfire({0x04, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56});
  Place(card);
  front_end_.lines.clear();
  ASSERT_TRUE(quillmate::DetectCard(context_, false));
  // The cable is pulled while the data go out: the write gets no answer.
  front_end_.on_line = [this](const QString &line) {
    if (!line.endsWith(QLatin1String(" <Write>"))) return;
    server_.DropLink();
    for (int i = 0; i < 200 && KOVRA_IsLinkUp(handle_) == 1; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  reader_.RemoveCardAfterExchanges(exchanges - 1);
  EXPECT_FALSE(quillmate::WriteCard(context_, job_, plan_, bytes_));
  front_end_.on_line = nullptr;
  EXPECT_TRUE(front_end_.questions.isEmpty()) << front_end_.questions.join('\n').toStdString();
  EXPECT_TRUE(front_end_.Contains(QStringLiteral("Die Verbindung zum Leser ist unterbrochen!")))
      << front_end_.lines.join('\n').toStdString();
  EXPECT_TRUE(front_end_.lines.last().startsWith(QStringLiteral("Karte 04515253545556 ist nur")))
      << front_end_.lines.last().toStdString();
}

}  // namespace
