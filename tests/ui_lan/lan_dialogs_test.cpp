// The network reader dialogs against simulated network readers, in network namespaces of the
// test's own. Each test's body runs in a child process (the namespaces end with it) and makes its
// own QApplication there, on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <optional>
#include <string>
#include <vector>

#include "kovra.h"
#include "support/net_namespace.h"
#include "support/sim_process.h"
#include "ui/ip_addr_suche.h"
#include "ui/lan_config_dlg.h"
#include "ui/message_box.h"
#include "ui/quillmate_dlg.h"
#include "writer/settings/settings_store.h"

namespace {

using quillmate::ui::DeviceMark;

// The dialogs' world inside the namespaces: a QApplication, and message boxes recorded.
struct DialogWorld {
  DialogWorld() : app((qputenv("QT_QPA_PLATFORM", "offscreen"), argc), argv) {
    quillmate::ui::SetMessageBoxHook(
        [this](const QString &text, quillmate::ui::BoxIcon, quillmate::ui::BoxButtons) {
          boxes.append(text);
          return quillmate::ui::BoxAnswer::kCancel;
        });
  }
  ~DialogWorld() { quillmate::ui::SetMessageBoxHook(nullptr); }

  int argc = 1;
  char name[16] = "lan_dialogs";
  char *argv[2] = {name, nullptr};
  QApplication app;
  QStringList boxes;
};

kovra_test::NetLayout TwoNetworks() {
  kovra_test::NetLayout layout;
  layout.peers = 2;
  layout.links = {kovra_test::VethLink{"kvh0", "10.231.0.1/24", "kvr0", "10.231.0.2/24", 0},
                  kovra_test::VethLink{"kvh1", "10.231.1.1/24", "kvr1", "10.231.1.2/24", 1}};
  return layout;
}

// Starts kovra-sim from the peer's namespace, where it then serves.
void StartReader(std::optional<kovra_test::SimProcess> &sim, const kovra_test::NetNamespaces &net,
                 int peer, std::vector<std::string> arguments) {
  net.InPeer(peer, [&] { sim.emplace(KOVRA_SIM_PATH, std::move(arguments)); });
}

TEST(LanDialogs, SearchListsReadersAndOtherDevicesAndHandsBackOnlyAReader) {
  const kovra_test::NetRun run = kovra_test::RunInNetNamespaces(
      TwoNetworks(),
      [](kovra_test::NetNamespaces &net) {
        std::optional<kovra_test::SimProcess> reader;
        std::optional<kovra_test::SimProcess> foreign;
        StartReader(
            reader, net, 0,
            {"--lan", "10.231.0.2", "--lan-if", "kvr0", "--lan-dhcp", "--lan-name", "NORTHGATE1"});
        StartReader(foreign, net, 1,
                    {"--lan", "10.231.1.2", "--lan-if", "kvr1", "--lan-id", "0A0B0C0D0E0F",
                     "--lan-product", "Foreign Box"});
        DialogWorld world;
        quillmate::ui::CIPAddrSuche search;
        search.FillAddressList();
        const auto devices = search.Devices();
        ASSERT_EQ(devices.size(), 2) << world.boxes.join('\n').toStdString();
        EXPECT_EQ(devices[0].text, "[NORTHGATE1]10.231.0.2-10001");
        EXPECT_EQ(devices[0].mark, DeviceMark::kMakersReader);
        EXPECT_EQ(devices[1].text, "10.231.1.2-10001");
        EXPECT_EQ(devices[1].mark, DeviceMark::kOtherDevice);
        EXPECT_TRUE(search.List()->item(1)->font().italic());
        EXPECT_EQ(search.List()->item(1)->foreground().color(), QColor(255, 0, 0));

        // Another maker's device is never handed back; the reader is.
        search.List()->setCurrentRow(1);
        const auto buttons = search.findChildren<QPushButton *>();
        QPushButton *close = nullptr;
        for (QPushButton *button : buttons) {
          if (button->text() == "Schliessen") close = button;
        }
        ASSERT_NE(close, nullptr);
        close->click();
        EXPECT_TRUE(search.ChosenEntry().isEmpty());
        search.List()->setCurrentRow(0);
        close->click();
        EXPECT_EQ(search.ChosenEntry(), "[NORTHGATE1]10.231.0.2-10001");
      },
      [] { return ::testing::Test::HasFailure(); });
  if (run.skipped) GTEST_SKIP() << run.message;
  EXPECT_TRUE(run.passed) << run.message;
}

TEST(LanDialogs, SettingsMoveAReaderToANewFixedAddressWhereItThenAnswers) {
  const kovra_test::NetRun run = kovra_test::RunInNetNamespaces(
      {},
      [](kovra_test::NetNamespaces &net) {
        std::optional<kovra_test::SimProcess> reader;
        StartReader(reader, net, 0,
                    {"--lan", "10.231.0.2", "--lan-if", "kvr0", "--lan-name", "LOBBYDOOR7",
                     "--lan-restart-ms", "300"});
        DialogWorld world;
        quillmate::ui::CLanConfig settings(QStringLiteral("10.231.0.2-10001"));
        ASSERT_EQ(settings.Settings().mode, 1) << world.boxes.join('\n').toStdString();
        EXPECT_EQ(settings.AddressEdit()->text(), "10.231.0.2");
        EXPECT_EQ(settings.FixedPortEdit()->text(), "10001");
        EXPECT_EQ(settings.NameEdit()->text(), "LOBBYDOOR7");
        EXPECT_FALSE(settings.NameEdit()->isEnabled()) << "a fixed address has no DHCP name";

        // A device name longer than 15 characters is refused, the dialog stays.
        settings.DhcpButton()->click();
        settings.NameEdit()->setText("SIXTEENCHARSLONG");
        settings.accept();
        EXPECT_EQ(world.boxes, QStringList{"Geben Sie höchstens 15 Zeichen ein."});
        EXPECT_EQ(settings.result(), QDialog::Rejected);

        settings.NameEdit()->setText("LOBBYDOOR7");
        settings.FixedButton()->click();
        settings.AddressEdit()->setText("10.231.0.7");
        settings.accept();
        EXPECT_EQ(settings.result(), QDialog::Accepted) << world.boxes.join('\n').toStdString();
        EXPECT_EQ(settings.ReaderAddress(), "10.231.0.7-10001");
        EXPECT_EQ(KOVRA_PingLanDevice("10.231.0.7-10001"), 1);
        const int handle = KOVRA_OpenPort("10.231.0.7-10001", 115200, 1000);
        EXPECT_GT(handle, 0) << "the reader is used at its new address";
        if (handle > 0) KOVRA_ClosePort(handle);
      },
      [] { return ::testing::Test::HasFailure(); });
  if (run.skipped) GTEST_SKIP() << run.message;
  EXPECT_TRUE(run.passed) << run.message;
}

// The operator's use: the window opens a DHCP reader by its identity and personalises a card on it.
TEST(LanDialogs, TheWindowWritesACardOnANetworkReaderNamedByItsIdentity) {
  const kovra_test::NetRun run = kovra_test::RunInNetNamespaces(
      {},
      [](kovra_test::NetNamespaces &net) {
        std::optional<kovra_test::SimProcess> reader;
        StartReader(
            reader, net, 0,
            {"--lan", "10.231.0.2", "--lan-if", "kvr0", "--lan-dhcp", "--lan-name", "PACKLINE2"});
        ASSERT_EQ(reader->Control("place desfire").rfind("ok", 0), 0u);
        DialogWorld world;
        QTemporaryDir folder;
        quillmate::SettingsStore settings(folder.path());
        quillmate::OperatorSettings operator_settings = settings.LoadOperatorSettings();
        operator_settings.port.name = QStringLiteral("[PACKLINE2]");
        operator_settings.port.timeout_ms = 3000;
        operator_settings.update_check = false;
        ASSERT_TRUE(settings.SaveOperatorSettings(operator_settings));
        quillmate::DesfireSet job = settings.LoadJob();
        job.app_id = 0x4C4E02;
        job.data = QStringLiteral("900");
        ASSERT_TRUE(settings.SaveJob(job));

        quillmate::ui::CQuillmateDlg window(settings, quillmate::Language::kGerman, nullptr);
        window.SetPortChooser([](QWidget *, quillmate::PortSettings &) { return false; });
        window.show();
        window.ConnectAtStart();
        ASSERT_GT(window.PortHandle(), 0) << world.boxes.join('\n').toStdString();
        EXPECT_TRUE(window.windowTitle().contains(QStringLiteral("[PACKLINE2]")))
            << window.windowTitle().toStdString();
        window.Form().write_single->click();
        EXPECT_TRUE(
            window.StatusLines().contains(QStringLiteral("Wert <900> erfolgreich geschrieben")))
            << window.StatusLines().join('\n').toStdString();
        EXPECT_EQ(window.Form().data->text(), QStringLiteral("901"));
        EXPECT_NE(reader->Control("state").find(R"("aid":"4C4E02")"), std::string::npos);
      },
      [] { return ::testing::Test::HasFailure(); });
  if (run.skipped) GTEST_SKIP() << run.message;
  EXPECT_TRUE(run.passed) << run.message;
}

}  // namespace
