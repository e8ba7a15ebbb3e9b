// The English texts: the built translation file turns the core's German texts into English in
// every context (placeholders filled in), can be taken away again, and a missing file leaves the
// texts German. The translation source itself has an English text for every entry that keeps the
// placeholders and <...> tags of its German text.
#include "writer/language/translation.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <functional>

#include "sim_rig.h"
#include "writer/cards/format_delete.h"
#include "writer/job/data_codec.h"
#include "writer/job/desfire_set.h"
#include "writer/job/job_file.h"
#include "writer/records/card_log.h"
#include "writer/run/operations.h"

namespace {

using quillmate::DesfireSet;

// A core text as the front end would get it, with its German and its English form.
struct CoreText {
  const char *context;
  std::function<QString()> produce;
  QString german;
  QString english;
};

QString LoadMessage(const QString &path) {
  DesfireSet job;
  return quillmate::LoadJobFile(path, job).message;
}

std::vector<CoreText> CoreTexts() {
  DesfireSet log_job;
  log_job.number_format = quillmate::NumberFormat::kDecimal;
  log_job.representation = quillmate::Representation::kBinary;
  log_job.orientation = quillmate::Orientation::kRotated;
  DesfireSet decimal_job = log_job;
  decimal_job.length = 9;
  return {
      {"JobFile", [] { return LoadMessage(QStringLiteral("/no/such/job.ini")); },
       "Die Datei /no/such/job.ini kann nicht gelesen werden!",
       "The file /no/such/job.ini cannot be read!"},
      {"DesfireSet", [] { return quillmate::AccessListFor(2).at(0).text; }, "Kein Zugriff",
       "No access"},
      {"KeyPlan",
       [decimal_job] {
         QByteArray bytes;
         return quillmate::EncodeData(decimal_job, QStringLiteral("1"), bytes).message;
       },
       "Bytanzahl größer 8 kann im Dezimal-Modus nicht bearbeitetet werden",
       "A byte count above 8 cannot be handled in decimal mode"},
      {"FormatDelete",
       [] {
         return quillmate::CheckDeleteFields({1, QStringLiteral("GG"), {}}).message;
       },
       "Keine Hex-Eingabe", "Not a hex input"},
      {"CardLog", [log_job] { return quillmate::LogLineBody(log_job, {}, {}).split(u'\t').at(2); },
       "Dez BINÄR Gedreht", "Dec BINARY Rotated"},
  };
}

// A QCoreApplication for the translators, built afresh for each test.
class EnglishTexts : public ::testing::Test {
 protected:
  static QStringList BuiltFileFolder() {
    return {QFileInfo(QStringLiteral(QUILLMATE_ENGLISH_QM)).absolutePath()};
  }

  int argc_ = 1;
  char name_[16] = "core_tests";
  char *argv_[2] = {name_, nullptr};
  QCoreApplication app_{argc_, argv_};
};

TEST_F(EnglishTexts, TurnEveryContextEnglishAndBackToGerman) {
  const std::vector<CoreText> texts = CoreTexts();
  for (const CoreText &text : texts) EXPECT_EQ(text.produce(), text.german) << text.context;

  // A second install stacks no second translator: one removal makes the texts German again.
  ASSERT_TRUE(quillmate::InstallEnglishTexts(app_, BuiltFileFolder()));
  ASSERT_TRUE(quillmate::InstallEnglishTexts(app_, BuiltFileFolder()));
  for (const CoreText &text : texts) EXPECT_EQ(text.produce(), text.english) << text.context;

  quillmate::RemoveEnglishTexts(app_);
  for (const CoreText &text : texts) EXPECT_EQ(text.produce(), text.german) << text.context;
}

TEST_F(EnglishTexts, WithoutTheFileTheTextsStayGerman) {
  const QTemporaryDir empty;
  ASSERT_TRUE(empty.isValid());
  // A file of that name that is no translation counts as missing too.
  const QTemporaryDir broken;
  QFile junk(broken.filePath(QString::fromLatin1(quillmate::kEnglishTextsFile)));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("not a translation");
  junk.close();

  EXPECT_FALSE(quillmate::InstallEnglishTexts(app_, {empty.path(), broken.path()}));
  EXPECT_EQ(LoadMessage(QStringLiteral("/no/such/job.ini")),
            "Die Datei /no/such/job.ini kann nicht gelesen werden!");

  // The search goes on to the next folder.
  EXPECT_TRUE(quillmate::InstallEnglishTexts(app_, {empty.path(), BuiltFileFolder().front()}));
}

// The card sequences' texts in English: a fresh card written once (its application created), then
// no card on the reader.
class EnglishCardTexts : public quillmate_test::SimRig {
 protected:
  int argc_ = 1;
  char name_[16] = "core_tests";
  char *argv_[2] = {name_, nullptr};
  QCoreApplication app_{argc_, argv_};
};

TEST_F(EnglishCardTexts, WriteAndDetectionSpeakEnglish) {
  ASSERT_TRUE(quillmate::InstallEnglishTexts(
      app_, {QFileInfo(QStringLiteral(QUILLMATE_ENGLISH_QM)).absolutePath()}));
  DesfireSet job;
  job.data = QStringLiteral("41");
  job.length = 8;
  job.app_id = 0x010203;
  job.file_id = 2;
  job.card_key.clear();
  job.key_count = 0;
  job.read_key_nr = 1;  // free access
  job.write_key_nr = 1;
  job.read_write_key_nr = 0;
  quillmate::CardOperations operations(context_, job, nullptr, nullptr);

  operations.SingleWrite();
  EXPECT_TRUE(front_end_.Contains(QStringLiteral("App created")))
      << front_end_.lines.join('\n').toStdString();
  EXPECT_TRUE(front_end_.Contains(QStringLiteral("Value <41> written successfully")))
      << front_end_.lines.join('\n').toStdString();

  Place(nullptr);
  front_end_.lines.clear();
  operations.SingleWrite();
  EXPECT_TRUE(front_end_.Contains(QStringLiteral("No valid transponder present!")))
      << front_end_.lines.join('\n').toStdString();
}

// The placeholders (%1, %2) and <...> tags of a text, in order.
QStringList Markers(const QString &text) {
  static const QRegularExpression marker(QStringLiteral(R"(%\d|<[^<>]*>)"));
  QStringList found;
  for (const QRegularExpressionMatch &match : marker.globalMatch(text)) found << match.captured();
  return found;
}

TEST(EnglishTextsSource, EveryEntryIsTranslatedKeepingItsMarkers) {
  QFile file(QStringLiteral(QUILLMATE_ENGLISH_TS));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  QString context, source;
  int entries = 0;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == u"name") {
      context = xml.readElementText();
    } else if (xml.name() == u"source") {
      source = xml.readElementText();
    } else if (xml.name() == u"translation") {
      const bool unfinished = xml.attributes().value(QStringLiteral("type")) == u"unfinished";
      const QString english = xml.readElementText();
      const std::string where = (context + u'/' + source).toStdString();
      ++entries;
      EXPECT_FALSE(unfinished) << where;
      EXPECT_FALSE(english.isEmpty()) << where;
      EXPECT_EQ(Markers(english), Markers(source)) << where;
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_GT(entries, 0);
}

}  // namespace
