// The card operations with the series' ledger, on real settings files and a real SQLite ledger
// against the simulated reader: an old settings file continuing into a new ledger, what a stored
// value that differs from the ledger means, a held value written again only as a reissue, how a
// failed card ends its row, and a locked ledger that stops the station or is waited for.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <memory>

#include "sim_rig.h"
#include "writer/job/data_codec.h"
#include "writer/job/job_source.h"
#include "writer/ledger/ledger_choice.h"
#include "writer/ledger/sqlite_ledger.h"
#include "writer/run/operations.h"
#include "writer/settings/settings_store.h"

namespace {

using quillmate::CardOperations;
using quillmate::LedgerEntry;
using quillmate::LedgerResult;
using quillmate_test::SimRig;
using quillmate_test::ToQt;

constexpr int kAid = 0x010203;
constexpr int kFree = 1;  // access list index of "Freier Zugriff"

class LedgerOperations : public SimRig {
 protected:
  void SetUp() override {
    SimRig::SetUp();
    quillmate::DesfireSet job;
    job.data = QStringLiteral("500");
    job.length = 8;
    job.app_id = kAid;
    job.file_id = 2;
    job.card_key.clear();
    job.key_count = 0;
    job.read_key_nr = kFree;
    job.write_key_nr = kFree;
    job.read_write_key_nr = 0;
    settings_ = std::make_unique<quillmate::SettingsStore>(dir_.path());
    ASSERT_TRUE(settings_->SaveJob(job));
  }
  void TearDown() override {
    ops_.reset();
    SimRig::TearDown();
  }

  // The window's and the CLI's way: the job from the settings, the ledger beside them.
  bool Start() {
    source_ = quillmate::LoadJobSource(*settings_, QString());
    job_ = source_.job;
    ops_ = std::make_unique<CardOperations>(context_, job_, source_.value_store.get(), nullptr);
    quillmate::LedgerRequest request;
    request.settings_file = settings_->FileName();
    opened_ = quillmate::OpenSeriesLedger(request, job_);
    EXPECT_NE(opened_.ledger, nullptr) << opened_.failure.toStdString();
    if (opened_.ledger == nullptr) return false;
    return ops_->SetLedger(opened_.ledger.get(), opened_.series,
                           quillmate::LedgerWriter(job_, QStringLiteral("test")));
  }
  // A ledger of this series as another station sees it.
  std::unique_ptr<quillmate::SeriesLedger> OtherStation() {
    return quillmate::OpenSqliteLedger(LedgerFile(), nullptr);
  }
  QString LedgerFile() const {
    return dir_.filePath(QStringLiteral("KV-DESFire Quillmate.ledger.sqlite"));
  }
  std::vector<LedgerEntry> Rows() { return *OtherStation()->Entries(opened_.series); }
  QString StoredWert() { return quillmate::SettingsStore(dir_.path()).LoadJob().data; }
  QString ValueOn(const kovra_sim::DesfireCard &card) const {
    const kovra_sim::DesfireApplication *app = card.Application(kAid);
    if (app == nullptr || app->files.empty()) return {};
    return quillmate::DecodeData(job_, ToQt(app->files.front().data));
  }

  QTemporaryDir dir_;
  std::unique_ptr<quillmate::SettingsStore> settings_;
  quillmate::JobSource source_;
  quillmate::DesfireSet job_;
  quillmate::OpenedLedger opened_;
  std::unique_ptr<CardOperations> ops_;
};

TEST_F(LedgerOperations, AnOldSettingsFileContinuesIntoANewLedger) {
  ASSERT_FALSE(QFile::exists(LedgerFile()));
  ASSERT_TRUE(Start());
  ops_->SetVerifyAfterWrite(true);
  ASSERT_TRUE(ops_->SingleWrite().done) << front_end_.lines.join('\n').toStdString();
  const auto second = FreshDesfire({0x04, 0x99, 0x88, 0x77, 0x66, 0x55, 0x44});
  Place(second);
  ASSERT_TRUE(ops_->SingleWrite().done);

  EXPECT_EQ(ValueOn(card()), QStringLiteral("500"));
  EXPECT_EQ(ValueOn(*second), QStringLiteral("501"));
  const std::vector<LedgerEntry> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].value, QStringLiteral("500"));
  EXPECT_EQ(rows[0].uid, ToQt(kUid));
  EXPECT_EQ(rows[0].result, LedgerResult::kVerified);
  EXPECT_EQ(rows[1].value, QStringLiteral("501"));
  EXPECT_EQ(rows[1].uid, QByteArray::fromHex("04998877665544"));
  EXPECT_EQ(rows[0].job_fingerprint, quillmate::JobFingerprint(job_));
  EXPECT_TRUE(rows[0].station.endsWith(QStringLiteral("/test")));
  EXPECT_TRUE(opened_.series.endsWith(settings_->FileName()));
  // Files and scripts that read "Wert" see the series' next value.
  EXPECT_EQ(StoredWert(), QStringLiteral("502"));
  EXPECT_EQ(OtherStation()->Next(opened_.series), QStringLiteral("502"));
}

TEST_F(LedgerOperations, AStoredValueThatDiffersFromTheLedgerIsAMirrorOrANewStart) {
  struct Case {
    const char *name;
    const char *stored;  // "Wert" in the file when the program starts again
    const char *next;    // the series' next value after the start
  };
  const Case cases[] = {
      {"the mirror as left", "501", "501"},
      // A station that stopped between the ledger and the file left the value of its last card.
      {"an old mirror: the ledger stands", "500", "501"},
      {"a start value set while no program ran", "700", "700"},
  };
  ASSERT_TRUE(Start());
  ASSERT_TRUE(ops_->SingleWrite().done);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ops_.reset();
    ASSERT_TRUE(settings_->StoreValue(QString::fromLatin1(c.stored)));
    ASSERT_TRUE(Start());
    EXPECT_EQ(OtherStation()->Next(opened_.series), QLatin1String(c.next));
    EXPECT_EQ(StoredWert(), QLatin1String(c.next));
    EXPECT_EQ(job_.data, QLatin1String(c.next));
    ASSERT_TRUE(settings_->StoreValue(QStringLiteral("501")));
    ASSERT_TRUE(OtherStation()->SetNext(opened_.series, QStringLiteral("501")));
  }
}

TEST_F(LedgerOperations, AHeldValueIsWrittenAgainOnlyAsAReissue) {
  struct Case {
    const char *name;
    bool question;
    bool answer;
  };
  const Case cases[] = {{"nobody to ask", false, false},
                        {"the operator says no", true, false},
                        {"the operator says yes", true, true}};
  ASSERT_TRUE(Start());
  ASSERT_TRUE(ops_->SingleWrite().done);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const auto next_card = FreshDesfire({0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    Place(next_card);
    QStringList asked;
    ops_->SetReissueQuestion(nullptr);
    if (c.question) {
      ops_->SetReissueQuestion([&](const QString &question) {
        asked.append(question);
        return c.answer;
      });
    }
    front_end_.lines.clear();
    ASSERT_TRUE(ops_->SetSeriesValue(QStringLiteral("500")));  // the operator rewinds
    const bool written = ops_->SingleWrite().done;
    EXPECT_EQ(written, c.answer);
    EXPECT_EQ(ops_->HeldValueRefused(), !c.answer);
    const QString named = QStringLiteral("Karte <04112233445566>");
    if (c.question) {
      ASSERT_EQ(asked.size(), 1);
      EXPECT_TRUE(asked[0].contains(named)) << asked[0].toStdString();
    }
    if (!c.answer) {
      EXPECT_EQ(ValueOn(*next_card), QString()) << "the card stays untouched";
      EXPECT_FALSE(front_end_.lines.filter(named).isEmpty())
          << front_end_.lines.join('\n').toStdString();
      EXPECT_EQ(Rows().size(), 1u);
      continue;
    }
    EXPECT_EQ(ValueOn(*next_card), QStringLiteral("500"));
    const std::vector<LedgerEntry> rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[1].reissue);
    EXPECT_EQ(rows[1].value, QStringLiteral("500"));
    EXPECT_EQ(rows[1].result, LedgerResult::kWritten);
    EXPECT_EQ(StoredWert(), QStringLiteral("501"));
  }
}

// A card that takes a write but whose answer is lost: it may hold the value.
class AnswerLostCard : public kovra_sim::DesfireCard {
 public:
  using DesfireCard::DesfireCard;
  kovra_sim::Bytes Exchange(const kovra_sim::Bytes &frame) override {
    kovra_sim::Bytes answer = DesfireCard::Exchange(frame);
    if (!frame.empty() && frame[0] == 0x3D) return {};
    return answer;
  }
};

TEST_F(LedgerOperations, AFailedCardEndsItsRowAsAGapOrGivesTheValueBack) {
  ASSERT_TRUE(Start());
  // A card master key the job does not know: the card surely took nothing.
  job_.card_key = QStringLiteral("00112233445566778899AABBCCDDEEFF");
  card().EditContent().master_key = {kovra_sim::DesfireKeyType::kAes, kovra_sim::Bytes(16, 0x5A),
                                     0};
  EXPECT_FALSE(ops_->SingleWrite().done);
  job_.card_key.clear();
  // Then a card whose write answer is lost.
  Place(std::make_shared<AnswerLostCard>(quillmate_test::UidBytes({0x04, 7, 7, 7, 7, 7, 7})));
  EXPECT_FALSE(ops_->SingleWrite().done);

  const std::vector<LedgerEntry> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].value, QStringLiteral("500"));
  EXPECT_EQ(rows[0].result, LedgerResult::kReturned);
  EXPECT_EQ(rows[1].value, QStringLiteral("500")) << "a returned value goes to the next card";
  EXPECT_EQ(rows[1].result, LedgerResult::kFailed);
  EXPECT_EQ(rows[1].uid, QByteArray::fromHex("04070707070707"));
  EXPECT_EQ(StoredWert(), QStringLiteral("501")) << "the failed value is never given again";
  EXPECT_EQ(OtherStation()->Next(opened_.series), QStringLiteral("501"));
}

// A card whose log line fails holds its value all the same: its ledger row says so, so that the
// ledger can prove which card got the value although the log cannot.
TEST_F(LedgerOperations, ACardWhoseLogLineFailsIsStillWrittenInTheLedger) {
  ASSERT_TRUE(Start());
  quillmate::LogSettings logs;
  logs.write_enabled = true;
  logs.write_file = dir_.path();  // a folder: no line can be appended to it
  ops_->SetLogSettings(logs);
  EXPECT_FALSE(ops_->SingleWrite().done);

  EXPECT_EQ(ValueOn(card()), QStringLiteral("500"));
  const std::vector<LedgerEntry> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, LedgerResult::kWritten);
  EXPECT_EQ(rows[0].uid, ToQt(kUid));
}

TEST_F(LedgerOperations, ALockedLedgerStopsTheStationOrIsWaitedFor) {
  ASSERT_TRUE(Start());
  sqlite3 *holder = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(LedgerFile()).constData(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

  // Without waiting: the cycle ends at the first card, naming the ledger and the reason.
  ASSERT_TRUE(ops_->StartWriteCycle().ok);
  ops_->Tick();
  EXPECT_EQ(ops_->RunningCycle(), quillmate::Cycle::kNone);
  EXPECT_TRUE(ops_->LedgerFailure().contains(LedgerFile())) << ops_->LedgerFailure().toStdString();
  EXPECT_TRUE(ops_->LedgerFailure().contains(QStringLiteral("gesperrt")));
  EXPECT_EQ(ValueOn(card()), QString());
  EXPECT_EQ(StoredWert(), QStringLiteral("500"));

  // Waiting: the cycle waits on its ticks without touching a card and goes on once it answers.
  ops_->SetLedgerWaitMs(60000);
  ASSERT_TRUE(ops_->StartWriteCycle().ok);
  ops_->Tick();
  EXPECT_EQ(ops_->RunningCycle(), quillmate::Cycle::kWrite);
  EXPECT_TRUE(ops_->WaitsForLedger());
  EXPECT_FALSE(front_end_.lines.filter(QStringLiteral("wartet auf das Serienbuch")).isEmpty());
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  ops_->Tick();
  EXPECT_FALSE(ops_->WaitsForLedger());
  EXPECT_EQ(ValueOn(card()), QStringLiteral("500"));
  EXPECT_EQ(Rows().size(), 1u);
  ops_->StopCycle();
}

}  // namespace
