// The operator's window on the simulated reader: the real widgets, the real card work.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "kovra.h"
#include "ui/busy_guard.h"
#include "ui/hex_edit.h"
#include "ui/lamp_panel.h"
#include "ui/status_box.h"
#include "ui/user_guide.h"
#include "window_rig.h"
#include "writer/job/data_codec.h"
#include "writer/job/job_file.h"

namespace quillmate_test {
namespace {

using quillmate::Cycle;
using quillmate::Lamp;
using quillmate::ui::BoxAnswer;

class MainWindow : public WindowRig {
 protected:
  // The data file's value on the card under the window's job; empty without the application.
  QString ValueOnCard() {
    const kovra_sim::DesfireApplication *app = card_->Application(window().Job().app_id);
    if (app == nullptr || app->files.empty()) return {};
    return quillmate::DecodeData(
        window().Job(), QByteArray(reinterpret_cast<const char *>(app->files.front().data.data()),
                                   static_cast<qsizetype>(app->files.front().data.size())));
  }
};

TEST_F(MainWindow, ConnectsTheReaderAndNamesItInTheTitle) {
  OpenWindow();
  EXPECT_GT(window().PortHandle(), 0);
  const QString title = window().windowTitle();
  EXPECT_TRUE(title.startsWith(QStringLiteral("KV-DESFire Quillmate V"))) << title.toStdString();
  EXPECT_TRUE(title.contains(QString::fromStdString(server_.Path()) + QStringLiteral("  FW V1.")))
      << title.toStdString();
  EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
}

TEST_F(MainWindow, WithoutAReaderTheTitleEndsEmptyAndCardWorkFailsInTheStatusBox) {
  DropLinkForGood();
  OpenWindow(quillmate::Language::kGerman, /*expect_reader=*/false);
  EXPECT_EQ(window().PortHandle(), 0);
  EXPECT_TRUE(window().windowTitle().endsWith(QStringLiteral(" <>")));
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("Fehler beim Öffnen des Ports.")));
  Type(form().data, QStringLiteral("5"));
  form().write_single->click();
  EXPECT_FALSE(window().StatusLines().isEmpty());
  EXPECT_EQ(form().data->text(), QStringLiteral("5"));
}

TEST_F(MainWindow, SingleWriteShowsTheNextValueAndSingleReadTheWrittenOne) {
  OpenWindow();
  Type(form().data, QStringLiteral("1000"));
  form().write_single->click();
  EXPECT_TRUE(
      window().StatusLines().contains(QStringLiteral("Wert <1000> erfolgreich geschrieben")))
      << window().StatusLines().join('\n').toStdString();
  EXPECT_EQ(form().data->text(), QStringLiteral("1001"));
  EXPECT_EQ(ValueOnCard(), QStringLiteral("1000"));

  form().read_single->click();
  EXPECT_EQ(form().data->text(), QStringLiteral("1000"));
  EXPECT_EQ(window().StatusLines(), (QStringList{QStringLiteral("Erfolgreich gelesen"),
                                                 QStringLiteral("Wert <1000> gelesen")}));

  // No card: the write fails in the status box and the value stays.
  reader_.RemoveCard();
  Type(form().data, QStringLiteral("1001"));
  form().write_single->click();
  EXPECT_EQ(form().data->text(), QStringLiteral("1001"));
  EXPECT_TRUE(
      window().StatusLines().contains(QStringLiteral("Kein gültiger Transponder vorhanden!")));
}

TEST_F(MainWindow, RefusedFieldsCancelTheActionAndKeepTheFocusOnTheField) {
  OpenWindow();
  Type(form().data, QStringLiteral("7"));
  Type(form().app_id, QStringLiteral("0"));
  form().write_single->click();
  EXPECT_EQ(boxes,
            QStringList{QStringLiteral("Geben Sie eine ganze Zahl zwischen 1 und FFFFFF ein.")});
  EXPECT_EQ(card_->Application(1), nullptr);
  EXPECT_EQ(QApplication::focusWidget(), form().app_id);

  // A job check refusal is a status line, not a box.
  boxes.clear();
  Type(form().app_id, QStringLiteral("1"));
  form().data->clear();
  form().write_single->click();
  EXPECT_TRUE(boxes.isEmpty());
  EXPECT_EQ(window().StatusLines(), QStringList{QStringLiteral("Keine Daten vorhanden!")});
  EXPECT_EQ(QApplication::focusWidget(), form().data);
}

TEST_F(MainWindow, EachNumberFieldRefusesEmptyAndOutOfRangeText) {
  OpenWindow();
  Type(form().data, QStringLiteral("7"));
  const QString not_a_number = QStringLiteral("Geben Sie eine ganze Zahl ein.");
  const struct {
    QLineEdit *field;
    QString text;
    QString message;
  } cases[] = {
      {form().app_id, QString(), not_a_number},
      {form().app_id, QStringLiteral("0"),
       QStringLiteral("Geben Sie eine ganze Zahl zwischen 1 und FFFFFF ein.")},
      {form().file_id, QStringLiteral("20"),
       QStringLiteral("Geben Sie eine ganze Zahl zwischen 0 und 1F ein.")},
      {form().key_count, QStringLiteral("15"),
       QStringLiteral("Geben Sie eine ganze Zahl zwischen 0 und 14 ein.")},
      {form().key_count, QString(), not_a_number},
      {form().length, QString(), not_a_number},
  };
  for (const auto &refused : cases) {
    const QString before = refused.field->text();
    boxes.clear();
    refused.field->setText(refused.text);
    form().write_single->click();
    EXPECT_EQ(boxes, QStringList{refused.message}) << refused.text.toStdString();
    EXPECT_EQ(QApplication::focusWidget(), refused.field);
    EXPECT_EQ(card_->Application(window().Job().app_id), nullptr);
    refused.field->setText(before);
  }
  // The digits-only fields take no other characters at all.
  form().key_count->clear();
  QTest::keyClicks(form().key_count, QStringLiteral("1a-2"));
  EXPECT_EQ(form().key_count->text(), QStringLiteral("12"));
}

TEST_F(MainWindow, EnablingFollowsKeyCountRightsAndNumberFormat) {
  OpenWindow();
  Type(form().key_count, QStringLiteral("0"));
  EXPECT_FALSE(form().app_key->isEnabled());
  EXPECT_EQ(form().read.list->count(), 2);

  Type(form().key_count, QStringLiteral("14"));
  EXPECT_TRUE(form().app_key->isEnabled());
  EXPECT_EQ(form().read.list->count(), 16);
  form().read.list->setCurrentIndex(3);
  emit form().read.list->activated(3);
  form().write.list->setCurrentIndex(3);
  emit form().write.list->activated(3);
  EXPECT_TRUE(form().read.key->isEnabled());
  EXPECT_FALSE(form().write.key->isEnabled()) << "the same key number as the read right";
  form().write.list->setCurrentIndex(4);
  emit form().write.list->activated(4);
  EXPECT_TRUE(form().write.key->isEnabled());

  form().no_number->click();
  EXPECT_FALSE(form().auto_increment->isEnabled());
  EXPECT_FALSE(form().leading_zeros->isEnabled());
  form().decimal->click();
  EXPECT_TRUE(form().auto_increment->isEnabled());
}

TEST_F(MainWindow, RepresentationChangeShowsTheSameBytesTheOtherWay) {
  OpenWindow();
  form().binary->click();
  Type(form().length, QStringLiteral("2"));
  form().no_number->click();
  Type(form().data, QStringLiteral("4142"));
  form().ascii->click();
  // Free data keeps its bytes: 41 42 are the characters "AB".
  EXPECT_EQ(form().data->text(), QStringLiteral("AB"));
  form().binary->click();
  EXPECT_EQ(form().data->text(), QStringLiteral("4142"));
  EXPECT_FALSE(form().prefix_allowed->isChecked());
  // A number keeps its value: the series writes the same number either way.
  form().hexadecimal->click();
  form().ascii->click();
  EXPECT_EQ(form().data->text(), QStringLiteral("4142"));
}

TEST_F(MainWindow, KeyDisplayToggleHidesTheKeys) {
  OpenWindow();
  ASSERT_TRUE(form().show_keys->isChecked());
  EXPECT_EQ(form().card_key->echoMode(), QLineEdit::Normal);
  form().show_keys->click();
  for (QLineEdit *field : form().KeyFields()) EXPECT_EQ(field->echoMode(), QLineEdit::Password);
  EXPECT_EQ(form().card_key->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter), '*');
}

TEST_F(MainWindow, StatusBoxStartsAgainAfterAThousandLines) {
  OpenWindow();
  for (int i = 0; i <= quillmate::ui::kMaxStatusLines; ++i) {
    window().AppendStatusLine(QString::number(i));
  }
  EXPECT_EQ(window().StatusLines().size(), quillmate::ui::kMaxStatusLines + 1);
  window().AppendStatusLine(QStringLiteral("next"));
  EXPECT_EQ(window().StatusLines(), QStringList{QStringLiteral("next")});
}

TEST_F(MainWindow, WriteCycleWritesEachCardOnceWithTheLampsBesideTheWindow) {
  OpenWindow();
  Type(form().data, QStringLiteral("1"));
  answers = {BoxAnswer::kYes};  // the job's warnings
  const int normal_width = window().width();
  form().write_cycle->click();
  ASSERT_EQ(window().Operations().RunningCycle(), Cycle::kWrite)
      << window().StatusLines().join('\n').toStdString();
  ASSERT_TRUE(WaitFor([&] { return window().width() == normal_width + 220; }));
  EXPECT_FALSE(form().write_single->isEnabled());
  EXPECT_FALSE(form().read_cycle->isEnabled());
  for (QLineEdit *key : form().KeyFields()) EXPECT_FALSE(key->isEnabled());
  EXPECT_TRUE(form().write_cycle->isEnabled());
  EXPECT_TRUE(form().reset_status->isEnabled());

  ASSERT_TRUE(WaitFor([&] { return form().lamps->Lit() == Lamp::kGreen; }));
  EXPECT_EQ(ValueOnCard(), QStringLiteral("1"));
  // The card stays: it is not written again.
  QTest::qWait(3 * window().Operations().RunningPeriodMs());
  EXPECT_EQ(form().data->text(), QStringLiteral("2"));
  EXPECT_EQ(window().StatusLines().filter(QStringLiteral("erfolgreich geschrieben")).size(), 1);

  // The next card gets the next value.
  auto second = std::make_shared<kovra_sim::DesfireCard>(
      kovra_sim::Bytes{0x04, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26});
  reader_.PlaceCard(second);
  card_ = second;
  ASSERT_TRUE(WaitFor([&] { return ValueOnCard() == QStringLiteral("2"); }));

  form().write_cycle->click();
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kNone);
  ASSERT_TRUE(WaitFor([&] { return window().width() == normal_width; }));
  EXPECT_TRUE(form().write_single->isEnabled());
  EXPECT_FALSE(form().write_cycle->isChecked());
}

TEST_F(MainWindow, LogsChosenInTheFileDialogsRecordTheWriteAndTheReadCycle) {
  OpenWindow();
  // Both logs chosen through "...": the name gets ".txt", the field shows it, the settings keep it.
  chosen_file = folder_.filePath(QStringLiteral("written"));
  form().choose_log_write->click();
  chosen_file = folder_.filePath(QStringLiteral("read"));
  form().choose_log_read->click();
  ASSERT_EQ(file_requests.size(), 2u);
  EXPECT_TRUE(file_requests[0].filter.contains(QStringLiteral("*.txt")));
  EXPECT_FALSE(file_requests[0].confirm_overwrite) << "a log is appended to, not replaced";
  const QString write_log = folder_.filePath(QStringLiteral("written.txt"));
  const QString read_log = folder_.filePath(QStringLiteral("read.txt"));
  EXPECT_EQ(form().log_write_file->text(), write_log);
  EXPECT_EQ(settings_->LoadOperatorSettings().logs.read_file, read_log);
  form().log_write->setChecked(true);
  form().log_read->setChecked(true);

  Type(form().data, QStringLiteral("4242"));
  form().write_single->click();
  ASSERT_EQ(ValueOnCard(), QStringLiteral("4242"));

  // The read cycle reads the card lying there once and goes on waiting for the next.
  form().read_cycle->click();
  ASSERT_EQ(window().Operations().RunningCycle(), Cycle::kRead);
  EXPECT_FALSE(form().write_single->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return form().data->text() == QStringLiteral("4242"); }));
  QTest::qWait(3 * window().Operations().RunningPeriodMs());
  EXPECT_EQ(window().StatusLines().count(QStringLiteral("Erfolgreich gelesen")), 1);
  form().read_cycle->click();
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kNone);
  EXPECT_TRUE(form().write_single->isEnabled());

  for (const QString &log : {write_log, read_log}) {
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << log.toStdString();
    const QString lines = QString::fromUtf8(file.readAll());
    EXPECT_EQ(lines.count(QStringLiteral("4242")), 1) << log.toStdString() << ":\n"
                                                      << lines.toStdString();
  }
}

TEST_F(MainWindow, ClosingDuringACardOperationWaitsForItThenSavesAndClosesThePort) {
  OpenWindow();
  Type(form().data, QStringLiteral("300"));
  Type(form().app_id, QStringLiteral("ABC"));
  reader_.SetReplyDelay(std::chrono::milliseconds(20));
  // The close request arrives while the library waits for the reader inside the write.
  bool closed_inside = false;
  QTimer::singleShot(30, &window(), [&] {
    closed_inside = window().Operations().InTick() || quillmate::ui::BusyGuard::Busy();
    window().reject();
  });
  form().write_single->click();
  EXPECT_TRUE(closed_inside);
  EXPECT_FALSE(window().isVisible());
  EXPECT_EQ(window().PortHandle(), 0);
  EXPECT_EQ(ValueOnCard(), QStringLiteral("300")) << "the card was finished";
  const quillmate::DesfireSet saved = settings_->LoadJob();
  EXPECT_EQ(saved.data, QStringLiteral("301"));
  EXPECT_EQ(saved.app_id, 0xABC);
}

TEST_F(MainWindow, StoppingACycleDuringItsTickGivesTheControlsBackWhenTheTickEnds) {
  OpenWindow();
  Type(form().data, QStringLiteral("1"));
  reader_.SetReplyDelay(std::chrono::milliseconds(20));
  answers = {BoxAnswer::kYes};  // the job's warnings
  form().write_cycle->click();
  ASSERT_EQ(window().Operations().RunningCycle(), Cycle::kWrite);
  // The stop arrives while the library waits for the reader inside a tick.
  bool stopped_inside = false;
  bool job_controls_inside = true;
  QTimer operator_hand;
  QObject::connect(&operator_hand, &QTimer::timeout, [&] {
    if (stopped_inside || !window().Operations().InTick()) return;
    form().write_cycle->click();
    stopped_inside = true;
    job_controls_inside = form().load_job->isEnabled();
  });
  operator_hand.start(5);
  ASSERT_TRUE(WaitFor([&] { return stopped_inside; }));
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kNone);
  EXPECT_FALSE(job_controls_inside) << "the tick still works on the job";
  ASSERT_TRUE(WaitFor([&] { return !window().Operations().InTick(); }));
  QApplication::processEvents();
  EXPECT_TRUE(form().load_job->isEnabled());
  EXPECT_TRUE(form().write_single->isEnabled());
}

TEST_F(MainWindow, AReaderThatVanishesDuringACycleIsReportedAndTheCycleStops) {
  OpenWindow();
  Type(form().data, QStringLiteral("1"));
  reader_.RemoveCard();
  answers = {BoxAnswer::kYes};  // the job's warnings
  form().write_cycle->click();
  ASSERT_EQ(window().Operations().RunningCycle(), Cycle::kWrite);
  QTest::qWait(300);
  DropLinkForGood();
  ASSERT_TRUE(WaitFor([&] {
    return !window().StatusLines().filter(QString::fromStdString(server_.Path())).isEmpty();
  })) << window().StatusLines().join('\n').toStdString();
  form().write_cycle->click();
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kNone);
  EXPECT_TRUE(form().write_single->isEnabled());
}

TEST_F(MainWindow, APortChosenAfterTheWindowClosedIsNotOpened) {
  OpenWindow();
  // The window closes (a termination signal) while the port dialog is open; the dialog then
  // hands back a port all the same.
  window().SetPortChooser([&](QWidget *, quillmate::PortSettings &port) {
    window().reject();
    port.name = QString::fromStdString(server_.Path());
    return true;
  });
  window().MenuAction(QStringLiteral("Schnittstelle wählen"))->trigger();
  EXPECT_FALSE(window().isVisible());
  EXPECT_EQ(window().PortHandle(), 0);
  // The port is free: another program can open it.
  const int handle = KOVRA_OpenPort(server_.Path().c_str(), 115200, 1000);
  EXPECT_GT(handle, 0);
  if (handle > 0) KOVRA_ClosePort(handle);
}

TEST_F(MainWindow, ClosingKeepsTheValueAnotherProgramCountedOnTo) {
  OpenWindow();
  Type(form().data, QStringLiteral("100"));
  form().status->setFocus();
  // A script on the same settings writes ten cards meanwhile.
  quillmate::SettingsStore other(folder_.path());
  ASSERT_TRUE(other.StoreValue(QStringLiteral("110")));
  window().reject();
  EXPECT_EQ(settings_->LoadJob().data, QStringLiteral("110"));
}

// "pro Karte ableiten" beside a key field: the card gets a key derived from the master key in the
// field, never the master key itself; the switches and the system identifier go into job files
// and come back; a system identifier the job check refuses puts the focus on its field.
TEST_F(MainWindow, KeysDerivedPerCardComeFromTheSwitchesBesideTheKeyFields) {
  OpenWindow();
  const QString master = QStringLiteral("00112233445566778899AABBCCDDEEFF");
  Type(form().card_key, master);
  form().card_key_derived->setChecked(true);
  Type(form().system_identifier, QStringLiteral("0x4B5"));
  Type(form().data, QStringLiteral("1000"));
  form().write_single->click();
  EXPECT_EQ(window().StatusLines(), QStringList{QStringLiteral("Keine Hex-Eingabe")});
  EXPECT_EQ(QApplication::focusWidget(), form().system_identifier);
  EXPECT_EQ(card_->Content().master_key.type, kovra_sim::DesfireKeyType::kDes);

  Type(form().system_identifier, QStringLiteral("Halle 3"));
  form().write_single->click();
  EXPECT_TRUE(
      window().StatusLines().contains(QStringLiteral("Wert <1000> erfolgreich geschrieben")))
      << window().StatusLines().join('\n').toStdString();
  const kovra_sim::DesfireKey &card_key = card_->Content().master_key;
  EXPECT_EQ(card_key.type, kovra_sim::DesfireKeyType::kAes);
  const QByteArray master_bytes = QByteArray::fromHex(master.toLatin1());
  EXPECT_NE(card_key.bytes, kovra_sim::Bytes(master_bytes.begin(), master_bytes.end()));
  form().read_single->click();
  EXPECT_EQ(form().data->text(), QStringLiteral("1000"));

  chosen_file = folder_.filePath(QStringLiteral("derived.KVMFDat"));
  form().save_job->click();
  form().card_key_derived->setChecked(false);
  Type(form().system_identifier, QString());
  form().load_job->click();
  EXPECT_TRUE(form().card_key_derived->isChecked());
  EXPECT_FALSE(form().app_key_derived->isChecked());
  EXPECT_EQ(form().system_identifier->text(), QStringLiteral("Halle 3"));
  EXPECT_EQ(form().card_key->text(), master);
}

TEST_F(MainWindow, JobFilesKeepTheJobAndARefusedFileChangesNoField) {
  OpenWindow();
  Type(form().data, QStringLiteral("77"));
  Type(form().app_id, QStringLiteral("123456"));
  chosen_file = folder_.filePath(QStringLiteral("series"));
  form().save_job->click();
  ASSERT_EQ(file_requests.size(), 1u);
  EXPECT_TRUE(file_requests[0].filter.contains(QStringLiteral("*.KVMFDat")));
  const QString saved = chosen_file + QStringLiteral(".KVMFDat");
  ASSERT_TRUE(QFile::exists(saved));

  Type(form().app_id, QStringLiteral("1"));
  chosen_file = saved;
  form().load_job->click();
  EXPECT_EQ(form().app_id->text(), QStringLiteral("123456"));
  EXPECT_EQ(form().data->text(), QStringLiteral("77"));

  // A file that holds no job: its message, and the fields as they were.
  QFile broken(folder_.filePath(QStringLiteral("broken.KVMFDat")));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("[Settings]\nAppID=99999999\n");
  broken.close();
  chosen_file = broken.fileName();
  form().load_job->click();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].contains(QStringLiteral("FFFFFF"))) << boxes[0].toStdString();
  EXPECT_EQ(form().app_id->text(), QStringLiteral("123456"));
}

TEST_F(MainWindow, CycleWarningsLetTheOperatorStop) {
  OpenWindow();
  Type(form().data, QStringLiteral("1"));
  // Free write access is a risk the job check lets through.
  answers = {BoxAnswer::kNo};
  form().write_cycle->click();
  ASSERT_EQ(boxes.size(), 1) << boxes.join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kNone);
  EXPECT_FALSE(form().write_cycle->isChecked());
  answers = {BoxAnswer::kYes};
  form().write_cycle->click();
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kWrite);
  form().write_cycle->click();
}

// A cycle has no count of its own: its warning looks a long day of cards ahead, so a series that
// outgrows its file during the shift is announced before the first card, not at the card that
// no longer fits.
TEST_F(MainWindow, ACycleWarnsWhenItsValueOutgrowsTheFileWithinADay) {
  OpenWindow();
  const QString outgrows = QStringLiteral(
      "Wert: die Serie passt nach %1 Karten nicht mehr in die "
      "Datei (<%2> hat mehr als %3 Bytes).");
  const struct {
    QString length, data, warning;
  } cases[] = {
      {QStringLiteral("2"), QStringLiteral("98"), outgrows.arg(2).arg(100).arg(2)},
      {QStringLiteral("4"), QStringLiteral("5000"), outgrows.arg(5000).arg(10000).arg(4)},
      {QStringLiteral("5"), QStringLiteral("5000"), QString()},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE((c.length + u'/' + c.data).toStdString());
    Type(form().length, c.length);
    Type(form().data, c.data);
    boxes.clear();
    answers = {BoxAnswer::kNo};
    form().write_cycle->click();
    // Free write access is always among the warnings of the window's first job.
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].contains(QStringLiteral("Wert: die Serie passt")), !c.warning.isEmpty())
        << boxes[0].toStdString();
    if (!c.warning.isEmpty()) {
      EXPECT_TRUE(boxes[0].contains(c.warning)) << boxes[0].toStdString();
      EXPECT_TRUE(window().StatusLines().contains(c.warning));
    }
    EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kNone);
    EXPECT_EQ(form().data->text(), c.data);
  }
}

TEST_F(MainWindow, SettingsThatCannotBeWrittenStopTheSeriesWithAStatusLineAndTheCardUntouched) {
  OpenWindow();
  Type(form().data, QStringLiteral("10"));
  form().status->setFocus();  // the typed value is taken over and stored
  // The lock that guards the series' value cannot be taken: its file is a folder.
  const QString lock = settings_->FileName() + QStringLiteral(".lck");
  QFile::remove(lock);
  ASSERT_TRUE(QDir().mkpath(lock));
  form().write_single->click();
  EXPECT_EQ(card_->Application(1), nullptr);
  EXPECT_EQ(form().data->text(), QStringLiteral("10"));
  EXPECT_FALSE(window().StatusLines().filter(QStringLiteral("<11>")).isEmpty())
      << window().StatusLines().join('\n').toStdString();
}

TEST_F(MainWindow, HelpOpensTheGuideOfTheLanguageAndNothingWithoutOne) {
  QTemporaryDir empty;
  QStringList opened;
  quillmate::ui::SetDesktopOpener([&](const QUrl &url) {
    opened.append(url.toLocalFile());
    return true;
  });
  quillmate::ui::OpenUserGuide(nullptr, quillmate::Language::kEnglish, {empty.path()});
  EXPECT_TRUE(opened.isEmpty());
  for (const char *name : {"a-notes.pdf", "quillmate-guide-de.pdf", "quillmate-guide-en.pdf"}) {
    QFile file(folder_.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  quillmate::ui::OpenUserGuide(nullptr, quillmate::Language::kEnglish,
                               {empty.path(), folder_.path()});
  EXPECT_EQ(opened, QStringList{folder_.filePath(QStringLiteral("quillmate-guide-en.pdf"))});
  quillmate::ui::SetDesktopOpener(nullptr);
}

}  // namespace
}  // namespace quillmate_test
