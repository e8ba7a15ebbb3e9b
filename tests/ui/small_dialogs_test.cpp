// The settings dialog of cycle and beep, and the "Löschen" dialog against the simulated reader
// with a DESFire card on a pseudo-terminal.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "message_recorder.h"
#include "ui/beep_time_dlg.h"
#include "ui/hex_edit.h"
#include "ui/loeschen_dlg.h"
#include "writer/cards/card_detection.h"
#include "writer/cards/write_sequence.h"
#include "writer/job/data_codec.h"
#include "writer/job/key_plan.h"
#include "writer/reader/reader_port.h"
#include "writer/sim_rig.h"

static void PrintTo(const QString &text, std::ostream *out) {
  *out << '"' << text.toStdString() << '"';
}

namespace quillmate::ui {
namespace {

using quillmate_test::MessageRecorder;

const QString kPositive = QStringLiteral("Geben Sie eine positive ganze Zahl ein.");

// Each refusal names its field, focuses it with the text selected, keeps the dialog open and the
// values as they were.
TEST(BeepTimeDlgTest, RefusesWhatIsNoNumberOrOutOfRange) {
  const QString beep = QStringLiteral("Tondauer: ");
  const QString cycle = QStringLiteral("Zykluszeit: ");
  const QString beep_range =
      beep + QStringLiteral("Geben Sie eine ganze Zahl zwischen 0 und 1000 ein.");
  const QString cycle_range =
      cycle + QStringLiteral("Geben Sie eine ganze Zahl zwischen 100 und 10000 ein.");
  const struct {
    QString beep, cycle, message;
    bool beep_refused;
  } cases[] = {
      {QStringLiteral("abc"), QStringLiteral("250"), beep + kPositive, true},
      {QString(), QStringLiteral("250"), beep + kPositive, true},
      {QStringLiteral("-5"), QStringLiteral("250"), beep + kPositive, true},
      {QStringLiteral("1 0"), QStringLiteral("250"), beep + kPositive, true},
      {QStringLiteral("1001"), QStringLiteral("x"), beep_range, true},
      {QStringLiteral("99999999999"), QStringLiteral("250"), beep_range, true},
      {QStringLiteral("300"), QStringLiteral("0x100"), cycle + kPositive, false},
      {QStringLiteral("300"), QStringLiteral("99"), cycle_range, false},
      {QStringLiteral("300"), QStringLiteral("10001"), cycle_range, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE((c.beep + u'/' + c.cycle).toStdString());
    MessageRecorder boxes;
    CBeepTimeDlg dialog(300, 250);
    auto *beep_field = dialog.findChild<QLineEdit *>(QStringLiteral("beepTime"));
    auto *cycle_field = dialog.findChild<QLineEdit *>(QStringLiteral("cyclePeriod"));
    ASSERT_TRUE(beep_field && cycle_field);
    EXPECT_EQ(beep_field->text(), QStringLiteral("300"));
    EXPECT_EQ(cycle_field->text(), QStringLiteral("250"));
    beep_field->setText(c.beep);
    cycle_field->setText(c.cycle);
    dialog.show();

    dialog.accept();
    EXPECT_EQ(boxes.texts, QStringList{c.message});
    EXPECT_TRUE(dialog.isVisible());
    QLineEdit *refused = c.beep_refused ? beep_field : cycle_field;
    EXPECT_EQ(dialog.focusWidget(), refused);
    EXPECT_EQ(refused->selectedText(), refused->text());
    EXPECT_EQ(dialog.BeepTimeMs(), 300);
    EXPECT_EQ(dialog.CyclePeriodMs(), 250);
  }
}

TEST(BeepTimeDlgTest, AcceptsTheBoundsOfBothRanges) {
  const struct {
    QString beep, cycle;
    int beep_ms, cycle_ms;
  } cases[] = {
      {QStringLiteral(" 0 "), QStringLiteral("+10000"), 0, 10000},
      {QStringLiteral("1000"), QStringLiteral("0100"), 1000, 100},
  };
  for (const auto &c : cases) {
    MessageRecorder boxes;
    CBeepTimeDlg dialog(300, 250);
    dialog.findChild<QLineEdit *>(QStringLiteral("beepTime"))->setText(c.beep);
    dialog.findChild<QLineEdit *>(QStringLiteral("cyclePeriod"))->setText(c.cycle);
    dialog.show();
    dialog.accept();
    EXPECT_TRUE(boxes.texts.isEmpty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.BeepTimeMs(), c.beep_ms);
    EXPECT_EQ(dialog.CyclePeriodMs(), c.cycle_ms);
  }
}

using kovra_sim::Bytes;
using kovra_sim::DesfireKeyType;

constexpr int kAid = 0x00BEEF;

class LoeschenDlgTest : public quillmate_test::SimRig {
 protected:
  // An application with the factory default DES master key.
  void PutApplication(int aid) {
    kovra_sim::DesfireApplication application;
    application.aid = static_cast<uint32_t>(aid);
    application.key_settings = 0x0F;
    application.key_settings2 = 1;
    application.keys.push_back({DesfireKeyType::kDes, Bytes(16, 0x00), 0});
    card().EditContent().applications.push_back(application);
  }
  QString ErrorText() const {
    char text[512];
    const int length = KOVRA_GetErrorText(handle_, KOVRA_LANG_GERMAN, text, sizeof text);
    return QString::fromUtf8(text, length);
  }
  template <typename Widget>
  static Widget *Child(const QDialog &dialog, const char *name) {
    auto *widget = dialog.findChild<Widget *>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  static void Click(const QDialog &dialog, const char *button) {
    Child<QPushButton>(dialog, button)->click();
  }
  static QString Status(const QDialog &dialog) {
    return Child<QPlainTextEdit>(dialog, "status")->toPlainText();
  }

  MessageRecorder boxes_;
};

TEST_F(LoeschenDlgTest, ActionsReachTheCardAndTheStatusShowsOnlyTheLatestLine) {
  boxes_.answer = BoxAnswer::kYes;  // each action's question
  PutApplication(kAid);
  CLoeschenDlg dialog(handle_, Language::kGerman, {kAid, QString(), QString()}, false);
  EXPECT_EQ(Child<CHexEdit>(dialog, "appId")->text(), QStringLiteral("BEEF"));
  for (const char *key : {"cardMasterKey", "appMasterKey"}) {
    EXPECT_EQ(Child<CHexEdit>(dialog, key)->echoMode(), QLineEdit::Password) << key;
  }

  Click(dialog, "deleteApplication");
  EXPECT_EQ(Status(dialog),
            QStringLiteral("Die gewählte Applikation wurde gelöscht! (Karte 04112233445566)"));
  EXPECT_EQ(card().Application(kAid), nullptr);

  Click(dialog, "deleteApplication");
  EXPECT_EQ(KOVRA_GetLastError(handle_), KOVRA_DESFIRE_BASE + 0xA0);
  EXPECT_EQ(Status(dialog), ErrorText() + QStringLiteral(" <SelectApp>"));

  PutApplication(kAid);
  Click(dialog, "formatCard");
  EXPECT_EQ(Status(dialog), QStringLiteral("Karte wurde gelöscht! (Karte 04112233445566)"));
  EXPECT_TRUE(card().Content().applications.empty());
  EXPECT_EQ(card().Content().master_key.type, DesfireKeyType::kDes);
  EXPECT_EQ(boxes_.texts, (QStringList{quillmate::DeleteApplicationQuestion({kAid, {}, {}}),
                                       quillmate::DeleteApplicationQuestion({kAid, {}, {}}),
                                       quillmate::FormatCardQuestion()}));
  EXPECT_EQ(boxes_.shown_while_busy, 0);
}

// Both actions ask first, naming what will be lost; No leaves the card as it is.
TEST_F(LoeschenDlgTest, EachActionAsksFirstAndNoErasesNothing) {
  PutApplication(kAid);
  boxes_.answer = BoxAnswer::kNo;
  CLoeschenDlg dialog(handle_, Language::kGerman, {kAid, QString(), QString()}, false);
  const struct {
    const char *button;
    QString names;  // what the question says will be lost
  } cases[] = {{"deleteApplication", QStringLiteral("Die Applikation BEEF wird")},
               {"formatCard", QStringLiteral("alle Applikationen")}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.button);
    boxes_.texts.clear();
    Click(dialog, c.button);
    ASSERT_EQ(boxes_.texts.size(), 1);
    EXPECT_TRUE(boxes_.texts[0].contains(c.names)) << boxes_.texts[0].toStdString();
    EXPECT_EQ(Status(dialog), QStringLiteral("Nichts gelöscht."));
    EXPECT_NE(card().Application(kAid), nullptr);
  }
}

// A refused field: one message, shown after the busy guard so that the operator can acknowledge
// it, then the focus on that field with its text selected; the fields keep what they held (a job
// value beyond the field's digits is not cut to another one) and the card is not touched.
// A card whose app master key was derived for it: the dialog takes the job's switch and system
// identifier, and its switch decides whether the field's key is the master key or the card's own.
TEST_F(LoeschenDlgTest, TheDeriveSwitchDecidesWhichKeyOpensTheApplication) {
  boxes_.answer = BoxAnswer::kYes;
  quillmate::DesfireSet job;
  job.data = QStringLiteral("1");
  job.app_id = kAid;
  job.app_key = QStringLiteral("A7A7A7A7A7A7A7A7A7A7A7A7A7A7A7A7");
  job.app_key_derived = true;
  job.key_count = 1;
  job.read_key_nr = 2;  // the app master key
  job.write_key_nr = 2;
  job.system_identifier = QStringLiteral("Halle 3");
  quillmate::KeyPlan plan;
  QByteArray bytes;
  ASSERT_TRUE(quillmate::ValidateWriteJob(job, plan).ok);
  ASSERT_TRUE(quillmate::EncodeData(job, job.data, bytes).ok);
  ASSERT_TRUE(quillmate::DetectCard(context_, false));
  ASSERT_TRUE(quillmate::WriteCard(context_, job, plan, bytes));

  quillmate::DeleteFields fields;
  fields.app_id = kAid;
  fields.app_master_key = job.app_key;
  fields.app_master_key_derived = true;
  fields.system_identifier = job.system_identifier;
  CLoeschenDlg dialog(handle_, Language::kGerman, fields, false);
  auto *derived = Child<QCheckBox>(dialog, "appMasterKeyDerived");
  EXPECT_TRUE(derived->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(dialog, "cardMasterKeyDerived")->isChecked());

  derived->setChecked(false);
  Click(dialog, "deleteApplication");
  EXPECT_EQ(Status(dialog), QStringLiteral("Authentifizierung nicht möglich! Gewählter App Master "
                                           "Key nicht gültig"));
  EXPECT_NE(card().Application(kAid), nullptr);

  derived->setChecked(true);
  Click(dialog, "deleteApplication");
  EXPECT_EQ(Status(dialog),
            QStringLiteral("Die gewählte Applikation wurde gelöscht! (Karte 04112233445566)"));
  EXPECT_EQ(card().Application(kAid), nullptr);
}

TEST_F(LoeschenDlgTest, RefusedFieldIsShownAndFocusedBeforeTheCard) {
  const struct {
    DeleteFields fields;
    QString message;
    const char *field;
  } cases[] = {
      {{0x1000000, QString(), QString()},
       QStringLiteral("Geben Sie eine ganze Zahl zwischen 0 und FFFFFF ein."),
       "appId"},
      {{kAid, QStringLiteral("12G4"), QString()},
       QStringLiteral("Keine Hex-Eingabe"),
       "cardMasterKey"},
      {{kAid, QString(), QStringLiteral("0011-2233")},
       QStringLiteral("Keine Hex-Eingabe"),
       "appMasterKey"},
  };
  PutApplication(kAid);
  for (const auto &c : cases) {
    for (const char *button : {"formatCard", "deleteApplication"}) {
      SCOPED_TRACE(c.message.toStdString() + " " + button);
      boxes_.texts.clear();
      CLoeschenDlg dialog(handle_, Language::kGerman, c.fields, true);
      const QString app_id = Child<CHexEdit>(dialog, "appId")->text();
      Click(dialog, button);

      EXPECT_EQ(boxes_.texts, QStringList{c.message});
      EXPECT_EQ(boxes_.shown_while_busy, 0);
      EXPECT_TRUE(Status(dialog).isEmpty());
      auto *refused = Child<CHexEdit>(dialog, c.field);
      EXPECT_EQ(dialog.focusWidget(), refused);
      EXPECT_EQ(refused->selectedText(), refused->text());
      EXPECT_EQ(app_id, QString::number(c.fields.app_id, 16).toUpper());
      EXPECT_EQ(Child<CHexEdit>(dialog, "appId")->text(), app_id);
      EXPECT_EQ(Child<CHexEdit>(dialog, "cardMasterKey")->text(), c.fields.card_master_key);
      EXPECT_EQ(Child<CHexEdit>(dialog, "appMasterKey")->text(), c.fields.app_master_key);
      EXPECT_NE(card().Application(kAid), nullptr);
    }
  }
}

TEST_F(LoeschenDlgTest, WithoutAReaderTheActionEndsWithAStatusLine) {
  CLoeschenDlg dialog(0, Language::kGerman, {kAid, QString(), QString()}, true);
  Click(dialog, "formatCard");
  EXPECT_EQ(Status(dialog), quillmate::NoReaderText());
  EXPECT_TRUE(boxes_.texts.isEmpty()) << "no question without a reader";
}

}  // namespace
}  // namespace quillmate::ui
