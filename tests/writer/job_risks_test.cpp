// The risks the job check lists although the write check accepts the job: one table row per risk,
// from a job that has none.
#include "writer/job/job_risks.h"

#include <gtest/gtest.h>

#include "writer/job/key_plan.h"

namespace quillmate {
namespace {

const QString kKeyA = QStringLiteral("00112233445566778899AABBCCDDEEFF");
const QString kKeyB = QStringLiteral("A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
const QString kKeyC = QStringLiteral("B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF");

// Card and application locked with keys of their own, read with key 1, write with key 2.
DesfireSet SafeJob() {
  DesfireSet job;
  job.data = QStringLiteral("1000");
  job.length = 8;
  job.card_key = kKeyA;
  job.app_key = kKeyB;
  job.key_count = 3;
  job.read_key_nr = 3;   // key 1
  job.write_key_nr = 4;  // key 2
  job.read_write_key_nr = 0;
  job.read_key = kKeyC;
  job.write_key = QStringLiteral("C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF");
  return job;
}

TEST(JobRisks, ASafeJobHasNone) {
  KeyPlan plan;
  ASSERT_TRUE(ValidateWriteJob(SafeJob(), plan).ok);
  EXPECT_TRUE(JobRisks(SafeJob(), 100).isEmpty())
      << JobRisks(SafeJob(), 100).join('\n').toStdString();
}

// With keys derived per card: a free right opens the file without any of them, one master key
// for two roles gives every card the same key twice, and a master key that is also a plain key
// lands on every card.
TEST(JobRisks, DerivedJobsNameTheirOwnRisks) {
  const struct {
    const char *risk;
    void (*change)(DesfireSet &);
    const char *named;
  } cases[] = {
      {"free read", [](DesfireSet &job) { job.read_key_nr = 1; },
       "ReadKeyNr ist freier Zugriff: die Datei braucht dafür keinen der pro Karte abgeleiteten "
       "Keys."},
      {"one master key twice",
       [](DesfireSet &job) {
         job.read_key = kKeyB;
         job.read_key_derived = true;
       },
       "AppKey und ReadKey werden aus demselben Hauptschlüssel abgeleitet."},
      {"master key as a plain key", [](DesfireSet &job) { job.read_key = kKeyB; },
       "Der Hauptschlüssel von AppKey steht als ReadKey auf jeder Karte."},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.risk);
    DesfireSet job = SafeJob();
    job.app_key_derived = true;
    ASSERT_TRUE(JobRisks(job, 0).isEmpty()) << JobRisks(job, 0).join('\n').toStdString();
    c.change(job);
    EXPECT_EQ(JobRisks(job, 0), QStringList{QString::fromUtf8(c.named)});
  }
}

TEST(JobRisks, EachRiskIsNamed) {
  const struct {
    const char *risk;
    void (*change)(DesfireSet &);
    int series_cards;
    const char *named;
  } cases[] = {
      {"short key", [](DesfireSet &job) { job.read_key = QStringLiteral("ABC"); }, 0,
       "ReadKey hat nur 3 von 32 Hex-Ziffern"},
      {"same key twice", [](DesfireSet &job) { job.write_key = kKeyB; }, 0,
       "AppKey und WriteKey sind derselbe Key."},
      {"free write", [](DesfireSet &job) { job.write_key_nr = 1; }, 0, "Freier Schreibzugriff"},
      {"card left open", [](DesfireSet &job) { job.card_key.clear(); }, 0, "CardKey ist leer"},
      {"right past the key count", [](DesfireSet &job) { job.read_write_key_nr = 9; }, 0,
       "ReadWriteKeyNr = 9 gibt es bei 3 Keys nicht"},
      {"series outgrows the file",
       [](DesfireSet &job) {
         job.representation = Representation::kAscii;
         job.length = 4;
         job.data = QStringLiteral("9990");
       },
       20, "Wert: die Serie passt nach 10 Karten nicht mehr in die Datei (<10000>"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.risk);
    DesfireSet job = SafeJob();
    c.change(job);
    const QStringList risks = JobRisks(job, c.series_cards);
    ASSERT_EQ(risks.size(), 1) << risks.join('\n').toStdString();
    EXPECT_TRUE(risks.front().startsWith(QString::fromUtf8(c.named)))
        << risks.front().toStdString();
  }
}

TEST(JobRisks, OnlyWholeOrEmptyKeyTextsAreTakenAnew) {
  EXPECT_TRUE(IsFullKeyText(QString()));
  EXPECT_TRUE(IsFullKeyText(kKeyA));
  EXPECT_TRUE(IsFullKeyText(kKeyA.toLower()));
  EXPECT_FALSE(IsFullKeyText(QStringLiteral("ABC")));
  EXPECT_FALSE(IsFullKeyText(kKeyA + QStringLiteral("0")));
  EXPECT_FALSE(IsFullKeyText(QString(kKeyA).replace(0, 1, QStringLiteral("G"))));
}

}  // namespace
}  // namespace quillmate
