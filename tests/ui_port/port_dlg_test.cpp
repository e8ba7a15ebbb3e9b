// CPortDlg on the offscreen platform with the real library. USB readers are HID readers of the
// fake hidapi library (tests/hid/fake_hidapi.cpp), whose device file a test rewrites to plug a
// reader in; a reader that is switched to virtual COM mode is a simulated reader behind it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "kovra.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "ui/message_box.h"
#include "ui/port_dlg.h"
#include "ui/quillmate_dlg.h"
#include "writer/reader/device_watch.h"

namespace {

using quillmate::Language;
using quillmate::PortSettings;
using quillmate::ui::BoxAnswer;
using quillmate::ui::CPortDlg;

// Before the library's first use of hidapi.
const bool kFakeHidapi = setenv("KOVRA_HIDAPI_LIBRARY", FAKE_HIDAPI_PATH, 0) == 0;

class PortDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kFakeHidapi);
    ASSERT_TRUE(folder_.isValid());
    devices_ = folder_.filePath(QStringLiteral("devices"));
    Plug({});
    qputenv("FAKE_HIDAPI_CONFIG", devices_.toUtf8());
    quillmate::ui::SetMessageBoxHook(
        [this](const QString &text, quillmate::ui::BoxIcon, quillmate::ui::BoxButtons) {
          boxes.append(text);
          return BoxAnswer::kNo;
        });
  }
  void TearDown() override {
    quillmate::ui::SetMessageBoxHook(nullptr);
    qunsetenv("FAKE_HIDAPI_CONFIG");
  }

  // The HID readers present from now on: serial numbers, each optionally with "sim=PATH".
  void Plug(const QStringList &readers) {
    QFile file(devices_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (const QString &reader : readers) {
      file.write(("device vid=2e3c pid=0101 serial=" + reader + "\n").toUtf8());
    }
  }

  static QStringList Entries(const CPortDlg &dialog) {
    QStringList entries;
    for (int row = 0; row < dialog.PortList()->count(); ++row) {
      entries.append(dialog.PortList()->item(row)->text());
    }
    return entries;
  }

  QTemporaryDir folder_;
  QString devices_;
  QStringList boxes;
};

TEST_F(PortDialog, AStoredUsbReaderThatIsGoneGivesWayToThePresentOneOrToNone) {
  Plug({"3105-1", "3105-2"});
  PortSettings port;
  port.name = "USB: 3105-9 HID";
  {
    CPortDlg dialog(port, Language::kGerman);
    EXPECT_TRUE(dialog.Corrected());
    EXPECT_EQ(dialog.Settings().name, "USB: 3105-1 HID");
  }
  port.name = "USB: 3105-2 HID";
  {
    CPortDlg dialog(port, Language::kGerman);
    EXPECT_FALSE(dialog.Corrected());
    EXPECT_EQ(dialog.CurrentName(), "USB: 3105-2 HID");
    EXPECT_TRUE(dialog.PortList()->currentItem()->isSelected());
    EXPECT_EQ(dialog.PortList()->currentItem()->text(), "USB: 3105-2 HID");
    // Line settings belong to serial ports only.
    EXPECT_FALSE(dialog.BaudList()->isEnabled());
    EXPECT_EQ(dialog.GetPortName(), "3105-2 HID:1");
  }
  Plug({});
  {
    CPortDlg dialog(port, Language::kGerman);
    EXPECT_TRUE(dialog.Corrected());
    EXPECT_EQ(dialog.Settings().name, "");
  }
}

TEST_F(PortDialog, LineSettingsShowAndStoreTheirCodeAndRefusedFieldsWriteNothing) {
  PortSettings port;
  port.name = "/dev/ttyS99";  // a serial choice is kept as stored
  port.baud_rate = 9603;
  CPortDlg dialog(port, Language::kGerman);
  EXPECT_EQ(dialog.BaudList()->currentText(), "9600");
  EXPECT_EQ(dialog.ParityList()->currentText(), "keine");
  EXPECT_EQ(dialog.StopBitsList()->currentText(), "2");

  struct Refusal {
    QLineEdit *field;
    const char *text;
    const char *message;
  };
  const Refusal refusals[] = {
      {dialog.TimeoutEdit(), "abc", "Geben Sie eine positive ganze Zahl ein."},
      {dialog.TimeoutEdit(), "5", "Geben Sie eine ganze Zahl zwischen 10 und 300000 ein."},
      {dialog.AddressEdit(), "x", "Geben Sie eine ganze Zahl ein."},
      {dialog.AddressEdit(), "-3", "Geben Sie eine ganze Zahl zwischen 1 und 255 ein."},
  };
  for (const Refusal &refusal : refusals) {
    dialog.TimeoutEdit()->setText("1000");
    dialog.AddressEdit()->setText("1");
    refusal.field->setText(refusal.text);
    boxes.clear();
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << refusal.text;
    EXPECT_EQ(boxes, QStringList{refusal.message});
    EXPECT_EQ(dialog.Settings().baud_rate, 9603);
  }

  dialog.TimeoutEdit()->setText("2000");
  dialog.AddressEdit()->setText("7");
  dialog.BaudList()->setCurrentText("4800");
  dialog.ParityList()->setCurrentText("ungerade");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Settings().baud_rate, 4802);
  EXPECT_EQ(dialog.Settings().timeout_ms, 2000);
  EXPECT_EQ(dialog.Settings().address, 7);
}

TEST_F(PortDialog, AReaderPluggedInAppearsAndIsFollowedByScansASecondApart) {
  Plug({"3105-1"});
  PortSettings port;
  port.name = "USB: 3105-1 HID";
  CPortDlg dialog(port, Language::kGerman);
  dialog.show();
  EXPECT_TRUE(Entries(dialog).contains("USB: 3105-1 HID"));
  EXPECT_FALSE(Entries(dialog).contains("USB: 3105-2 HID"));

  Plug({"3105-1", "3105-2", "9999-1"});  // the last is no reader of ours
  dialog.RefreshPortList(CPortDlg::kDeviceArrival);
  EXPECT_TRUE(Entries(dialog).contains("USB: 3105-2 HID"));
  EXPECT_FALSE(Entries(dialog).contains("USB: 9999-1 HID"));
  // The choice stays selected across the refresh.
  EXPECT_EQ(dialog.PortList()->currentItem()->text(), "USB: 3105-1 HID");
  EXPECT_EQ(dialog.FollowUps(), 1);
  EXPECT_TRUE(dialog.FollowUpPending());
  // Four follow-up scans, then it rests.
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.FollowUps() == 0; }, 7000));
  EXPECT_FALSE(dialog.FollowUpPending());
}

TEST_F(PortDialog, VirtualComSwitchesAHidReaderOrAsksForTheDriver) {
  kovra_sim::SimReader reader;
  kovra_sim::PtyServer server(reader);
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  Plug({QString::fromStdString("3105-5 sim=" + server.Path())});
  PortSettings port;
  port.name = "USB: 3105-5 HID";
  CPortDlg dialog(port, Language::kGerman);
  EXPECT_TRUE(dialog.HidModeButton()->isChecked());
  EXPECT_TRUE(dialog.VirtualComButton()->isEnabled());
  dialog.VirtualComButton()->click();
  uint8_t mode = 0;
  reader.WithFirmware([&](kovra_sim::Firmware &firmware) { mode = firmware.UsbMode(); });
  if (KOVRA_IsVirtualComDriverInstalled() != 0) {
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(dialog.CurrentName(), "");
  } else {
    // No cdc_acm on this machine: the question, answered no, and the reader left as it was.
    EXPECT_EQ(mode, 0);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith("Kein Ulo USB Treiber für Norva-2 VCOM installiert!"));
  }
}

// A port the list does not show is typed and checked when taken: an absolute path (under /dev or a
// link elsewhere) that leads to a character device (a pseudo-terminal here); anything else is
// named and the dialog stays open.
TEST_F(PortDialog, ATypedPortIsCheckedWhenTaken) {
  kovra_sim::SimReader reader;
  kovra_sim::PtyServer server{reader};
  ASSERT_TRUE(server.Start());
  const QString pty = QString::fromStdString(server.Path());
  // A link made outside /dev (by udev rules or socat) to the reader's terminal.
  QTemporaryDir links;
  const QString link = links.filePath(QStringLiteral("kv-reader"));
  ASSERT_TRUE(QFile::link(pty, link));
  PortSettings port;
  CPortDlg dialog(port, Language::kGerman);
  const struct {
    QString typed;
    QString message;  // empty: taken
  } cases[] = {
      {QStringLiteral("ttyUSB0"), QStringLiteral("\"ttyUSB0\" ist kein Gerätepfad")},
      {QStringLiteral("/dev/serial/by-id/no-such-reader"),
       QStringLiteral("/dev/serial/by-id/no-such-reader gibt es nicht")},
      {QStringLiteral("/dev/pts"), QStringLiteral("/dev/pts ist keine serielle Schnittstelle")},
      {pty + QStringLiteral(":3"), QString()},
      {pty, QString()},
      {link, QString()},
      {links.filePath(QStringLiteral("none")),
       links.filePath(QStringLiteral("none")) + QStringLiteral(" gibt es nicht")},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    dialog.PortEntry()->clear();
    QTest::keyClicks(dialog.PortEntry(), c.typed);
    boxes.clear();
    dialog.accept();
    if (c.message.isEmpty()) {
      EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
      EXPECT_EQ(dialog.Settings().name, c.typed);
    } else {
      ASSERT_EQ(boxes.size(), 1);
      EXPECT_TRUE(boxes[0].startsWith(c.message)) << boxes[0].toStdString();
      EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
  }
}

TEST_F(PortDialog, TheMainWindowAsksForItsPortInTheDialog) {
  QTemporaryDir settings_folder;
  quillmate::SettingsStore settings(settings_folder.path());
  quillmate::ui::CQuillmateDlg window(settings, Language::kGerman, nullptr);
  bool shown = false;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto *dialog = qobject_cast<CPortDlg *>(QApplication::activeModalWidget())) {
      shown = true;
      dialog->reject();
    }
  });
  closer.start(50);
  window.ConnectAtStart();  // no port stored: the dialog, which the operator cancels
  EXPECT_TRUE(shown);
}

TEST(DeviceWatch, ListensWhereUdevRuns) {
  quillmate::DeviceWatch watch;
  if (access("/run/udev/control", F_OK) != 0) {
    GTEST_SKIP() << "no udev on this machine (/run/udev/control): arrivals are not followed";
  }
  EXPECT_TRUE(watch.Active());
}

}  // namespace
