// The update check against a local HTTPS server (https_server.py on 127.0.0.1) whose certificate
// comes from a certificate authority made for the test run; the checker trusts it through the
// private-mirror setting. The about box on the offscreen platform shows the label states, and a
// package is downloaded, checked and handed over (the handler replaced), or refused.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>

#include "ui/about_dlg.h"
#include "ui/busy_guard.h"
#include "ui/label.h"
#include "ui/quillmate_app.h"
#include "ui/update_link.h"
#include "ui/window_rig.h"
#include "writer/update/update_checker.h"
#include "writer/update/update_list.h"

namespace {

using quillmate::UpdateChecker;
using quillmate::UpdateLabelState;
using quillmate::UpdateList;
using quillmate::UpdateSource;

TEST(UpdateList, VersionsCompareByNumberAndThenByBuildDate) {
  struct Case {
    const char *list_version, *list_build, *own_version, *own_build;
    bool newer;
  };
  const Case cases[] = {
      {"2.0", "", "1.9", "2026-01-01", true},
      {"1.10", "", "1.9", "2026-01-01", true},
      {"1.5", "", "1.50", "2026-01-01", false},
      {"1.5", "2026-03-01", "1.50", "2026-01-01", true},  // an older version, a later build
      {"1.9", "2026-03-01", "1.9", "2026-02-15", true},
      {"1.9", "2026-02-15", "1.9", "2026-02-15", false},
      {"1.99999999999", "", "1.9", "2026-01-01", true},  // absurd, but no overflow
      {"-3", "", "0.1", "2026-01-01", false},
      {"", "", "0.1", "2026-01-01", false},
      {"0.1", "2026-12-24", "0.1", "2026-01-01", true},
  };
  for (const Case &c : cases) {
    UpdateList list;
    list.received = true;
    list.version = c.list_version;
    list.build = c.list_build;
    EXPECT_EQ(quillmate::IsUpdateAvailable(list, c.own_version, c.own_build), c.newer)
        << c.list_version << " " << c.list_build << " against " << c.own_version;
  }
  // A build date in another form counts as missing.
  EXPECT_EQ(
      quillmate::ParseUpdateList("[KV_DESFire_Quillmate]\nVersion=0.1\nBuild=17.3.2026\n").build,
      "");
  EXPECT_EQ(quillmate::VersionNumber("1.23"), 1023);
  EXPECT_EQ(quillmate::VersionNumber("3"), 3000);
}

TEST(UpdateList, LabelStatesAndInstallerNames) {
  const QString own = "0.1";
  const QString built = "2026-12-01";
  EXPECT_EQ(quillmate::UpdateLabelFor(quillmate::ParseUpdateList(""), own, built).state,
            UpdateLabelState::kNoConnection);
  EXPECT_EQ(
      quillmate::UpdateLabelFor(quillmate::ParseUpdateList("[Other]\nVersion=9.0\n"), own, built)
          .state,
      UpdateLabelState::kNoFile);
  const quillmate::UpdateLabel newer = quillmate::UpdateLabelFor(
      quillmate::ParseUpdateList("[KV_DESFire_Quillmate]\nVersion=1.2\nBuild=2026-12-09\n"), own,
      built);
  EXPECT_EQ(newer.state, UpdateLabelState::kNewVersion);
  EXPECT_EQ(newer.text, "Neue Version:KV-DESFire Quillmate V 1.2 (2026-12-09)");
  EXPECT_TRUE(newer.link);
  const quillmate::UpdateLabel current = quillmate::UpdateLabelFor(
      quillmate::ParseUpdateList("[KV_DESFire_Quillmate]\nVersion=0.1\nBuild=2026-11-01\n"), own,
      built);
  EXPECT_EQ(current.text, "KV-DESFire Quillmate ist aktuell");
  EXPECT_FALSE(current.link);

  EXPECT_EQ(quillmate::InstallerFileName("https://h/pub/quillmate_1.2_amd64.deb"),
            "quillmate_1.2_amd64.deb");
  for (const char *refused :
       {"https://h/", "https://h/..", "https://h/.hidden", "https://h/a b", "https://h/a\\b"}) {
    EXPECT_EQ(quillmate::InstallerFileName(refused), "") << refused;
  }
  EXPECT_FALSE(quillmate::IsHttpsAddress("http://h/x"));
  EXPECT_FALSE(quillmate::IsHttpsAddress("ftp://h/x"));
}

// The test's certificate authority and a server certificate for 127.0.0.1, made with openssl.
class TestCa {
 public:
  TestCa() {
    const QString d = dir_.path();
    const std::string script =
        "cd '" + d.toStdString() +
        "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
        "-subj '/CN=Quillmate Test CA' 2>/dev/null && openssl req -newkey rsa:2048 -nodes "
        "-keyout server.key -out server.csr -subj '/CN=127.0.0.1' 2>/dev/null && "
        "printf 'subjectAltName=IP:127.0.0.1\\n' > ext && openssl x509 -req -in server.csr "
        "-CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 -extfile ext "
        "2>/dev/null";
    ok_ = std::system(script.c_str()) == 0;
  }
  bool ok() const { return ok_; }
  QString File(const char *name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
  bool ok_ = false;
};

// https_server.py in a process of its own, serving `folder`.
class HttpsServer {
 public:
  HttpsServer(const TestCa &ca, const QString &folder) {
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::execlp("python3", "python3", HTTPS_SERVER_SCRIPT, ca.File("server.pem").toUtf8().data(),
               ca.File("server.key").toUtf8().data(), folder.toUtf8().data(), nullptr);
      ::_exit(127);
    }
    ::close(out[1]);
    FILE *lines = ::fdopen(out[0], "r");
    if (std::fscanf(lines, "%d", &port_) != 1) port_ = 0;
    std::fclose(lines);
  }
  ~HttpsServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  QString Address(const QString &path) const {
    return QStringLiteral("https://127.0.0.1:%1%2").arg(port_).arg(path);
  }
  bool ok() const { return port_ > 0; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// Short bounds, so that the failure cases end quickly; the authority of the test's certificate.
UpdateSource TestSource(const HttpsServer &server, const TestCa &ca, const QString &path) {
  UpdateSource source;
  source.list_address = server.Address(path);
  source.ca_file = ca.File("ca.pem");
  source.connect_timeout = std::chrono::seconds(2);
  source.list_timeout = std::chrono::seconds(4);
  source.package_timeout = std::chrono::seconds(4);
  source.stall_timeout = std::chrono::seconds(1);
  return source;
}

class UpdateCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ca_.ok()) GTEST_SKIP() << "openssl could not make the test's certificates";
    ASSERT_TRUE(folder_.isValid());
    server_ = std::make_unique<HttpsServer>(ca_, folder_.path());
    ASSERT_TRUE(server_->ok()) << "python3 https_server.py did not start";
    qputenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8());
  }

  UpdateSource Source(const QString &path) const { return TestSource(*server_, ca_, path); }
  void Serve(const QByteArray &list, const QByteArray &package = "the package") {
    QFile l(folder_.filePath("list.txt"));
    ASSERT_TRUE(l.open(QIODevice::WriteOnly));
    l.write(list);
    l.close();
    QFile p(folder_.filePath("pkg"));
    ASSERT_TRUE(p.open(QIODevice::WriteOnly));
    p.write(package);
  }
  QByteArray ListFor(const QString &installer, const QByteArray &digest) const {
    return "[KV_DESFire_Quillmate]\nVersion=9.1\nBuild=2026-12-09\nInstaller=" +
           installer.toUtf8() + "\nSha256=" + digest + "\n";
  }
  static QByteArray Sha256(const QByteArray &data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
  }
  static bool WaitForList(UpdateChecker &checker, int ms = 10000) {
    bool ready = false;
    QObject::connect(&checker, &UpdateChecker::ListReady, [&] { ready = true; });
    checker.StartListDownload();
    return QTest::qWaitFor([&] { return ready; }, ms);
  }

  TestCa ca_;
  QTemporaryDir folder_;
  QTemporaryDir runtime_;
  std::unique_ptr<HttpsServer> server_;
};

// The link starts the download however the operator reaches it: the mouse, the keyboard (the
// offered update has the focus, Return starts it) or a screen reader's press action.
TEST_F(UpdateCheck, ANewerVersionIsDownloadedCheckedAndHandedOverByClickKeyOrScreenReader) {
  const QByteArray package = "a Debian package";
  Serve(ListFor(server_->Address("/pkg/quillmate_9.1_amd64.deb"), Sha256(package)), package);
  struct Case {
    const char *what;
    std::function<void(quillmate::ui::UpdateLink *)> activate;
  };
  const Case cases[] = {
      {"mouse", [](quillmate::ui::UpdateLink *link) { QTest::mouseClick(link, Qt::LeftButton); }},
      {"Return",
       [](quillmate::ui::UpdateLink *link) {
         EXPECT_TRUE(link->hasFocus());
         QTest::keyClick(link, Qt::Key_Return);
       }},
      {"press action",
       [](quillmate::ui::UpdateLink *link) {
         QAccessibleInterface *access = QAccessible::queryAccessibleInterface(link);
         ASSERT_NE(access, nullptr);
         EXPECT_EQ(access->role(), QAccessible::Button);
         EXPECT_EQ(access->text(QAccessible::Name), link->text());
         ASSERT_NE(access->actionInterface(), nullptr);
         ASSERT_TRUE(access->actionInterface()->actionNames().contains(
             QAccessibleActionInterface::pressAction()));
         access->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
       }},
  };
  for (const Case &c : cases) {
    UpdateChecker checker(Source("/list"));
    QString handed;
    checker.SetHandler([&](const QString &path) {
      handed = path;
      QFile file(path);
      EXPECT_TRUE(file.open(QIODevice::ReadOnly));
      EXPECT_EQ(file.readAll(), package);
      // A folder of its own that nobody else may enter.
      EXPECT_EQ(QFileInfo(QFileInfo(path).path()).permissions() & 0x0077, 0);
      return true;
    });
    quillmate::ui::CAboutDlg about(nullptr, &checker, true);
    about.show();
    QApplication::setActiveWindow(&about);
    ASSERT_TRUE(QTest::qWaitFor([&] { return about.UpdateLabel()->IsLink(); }, 10000)) << c.what;
    EXPECT_EQ(about.UpdateLabel()->text(),
              QStringLiteral("Neue Version:KV-DESFire Quillmate V 9.1 (2026-12-09)"));
    c.activate(about.UpdateLabel());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !handed.isEmpty(); }, 10000)) << c.what;
    EXPECT_TRUE(handed.startsWith(runtime_.path() + "/quillmate-update-")) << handed.toStdString();
    EXPECT_TRUE(handed.endsWith("/quillmate_9.1_amd64.deb"));
    EXPECT_EQ(about.result(), quillmate::ui::CAboutDlg::kUpdateStarted) << c.what;
    QFile::remove(handed);
    QDir().rmdir(QFileInfo(handed).path());
  }
}

// A stalled download does not lock the box: its progress shows with "Abbrechen", which ends the
// download within a second or two and leaves nothing behind.
TEST_F(UpdateCheck, AStalledDownloadShowsItsProgressAndIsCancelledByItsButton) {
  Serve(ListFor(server_->Address("/stall/quillmate_9.1_amd64.deb"), Sha256("x")));
  UpdateChecker checker(Source("/list"));
  bool handed = false;
  checker.SetHandler([&](const QString &) { return handed = true; });
  quillmate::ui::CAboutDlg about(nullptr, &checker, true);
  about.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return about.UpdateLabel()->IsLink(); }, 10000));
  QTest::mouseClick(about.UpdateLabel(), Qt::LeftButton);
  EXPECT_EQ(about.UpdateLabel()->text(), "Update wird gestartet, bitte warten!");
  ASSERT_NE(about.CancelDownloadButton(), nullptr);
  EXPECT_TRUE(about.DownloadProgress()->isVisible());
  EXPECT_TRUE(about.CancelDownloadButton()->isVisible());
  EXPECT_EQ(about.CancelDownloadButton()->text(), "Abbrechen");
  QTest::qWait(300);
  QElapsedTimer clock;
  clock.start();
  about.CancelDownloadButton()->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !checker.InstallerDownloadRunning(); }, 5000));
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_EQ(about.UpdateLabel()->text(), "Das Update wurde abgebrochen.");
  EXPECT_FALSE(about.DownloadProgress()->isVisible());
  EXPECT_FALSE(handed);
  EXPECT_TRUE(QDir(runtime_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

// Closing the box while a package is on its way, even one that arrives a moment later, installs
// nothing and keeps nothing.
TEST_F(UpdateCheck, ClosingTheBoxDuringADownloadNeverHandsThePackageOver) {
  const QByteArray package = "a Debian package";
  Serve(ListFor(server_->Address("/pkg/quillmate_9.1_amd64.deb"), Sha256(package)), package);
  UpdateChecker checker(Source("/list"));
  bool handed = false;
  checker.SetHandler([&](const QString &) { return handed = true; });
  {
    quillmate::ui::CAboutDlg about(nullptr, &checker, true);
    about.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return about.UpdateLabel()->IsLink(); }, 10000));
    QTimer::singleShot(0, &about, &QDialog::reject);
    QTest::mouseClick(about.UpdateLabel(), Qt::LeftButton);
    QTest::qWait(100);
    EXPECT_NE(about.result(), quillmate::ui::CAboutDlg::kUpdateStarted);
  }
  QTest::qWait(2000);  // time for the small package to arrive
  EXPECT_FALSE(checker.InstallerDownloadRunning());
  EXPECT_FALSE(handed);
  EXPECT_TRUE(QDir(runtime_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(UpdateCheck, AWrongDigestAnHttpAddressOrAMissingDigestIsRefused) {
  struct Case {
    const char *what;
    QString installer;
    QByteArray digest;
    const char *label;
  };
  const Case cases[] = {
      {"wrong digest", server_->Address("/pkg/q.deb"), Sha256("another package"),
       "Die Prüfsumme des Updates stimmt nicht: Update verworfen!"},
      {"http", server_->Address("/pkg/q.deb").replace("https:", "http:"), Sha256("the package"),
       "Das Update ist nicht sicher über https erreichbar: Update nicht möglich!"},
      {"no digest", server_->Address("/pkg/q.deb"), "",
       "Die Versionsliste nennt keine Prüfsumme: Update nicht möglich!"},
      {"no Debian package", server_->Address("/pkg/setup.exe"), Sha256("the package"),
       "Das Update ist kein Debian-Paket (.deb): Update nicht möglich!"},
  };
  for (const Case &c : cases) {
    Serve(ListFor(c.installer, c.digest));
    UpdateChecker checker(Source("/list"));
    bool handed = false;
    checker.SetHandler([&](const QString &) { return handed = true; });
    ASSERT_TRUE(WaitForList(checker)) << c.what;
    QString error;
    EXPECT_EQ(checker.DownloadInstaller(&error), "") << c.what;
    EXPECT_EQ(error, QString::fromUtf8(c.label)) << c.what;
    EXPECT_FALSE(handed);
    // Nothing is left behind.
    EXPECT_TRUE(QDir(runtime_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty())
        << c.what;
  }
}

TEST_F(UpdateCheck, ListsThatStallAreHugeUnencryptedOrUnreachableEndInTimeWithNoConnection) {
  Serve("[KV_DESFire_Quillmate]\nVersion=9.1\nBuild=2026-12-09\n");
  struct Case {
    const char *what;
    QString address;
  };
  const Case cases[] = {
      {"stalls", server_->Address("/stall")},
      {"100 MB", server_->Address("/huge")},
      {"http", server_->Address("/list").replace("https:", "http:")},
      {"nobody listens", "https://127.0.0.1:1/list"},
      {"untrusted certificate", ""},
  };
  for (const Case &c : cases) {
    UpdateSource source = Source("/list");
    if (c.address.isEmpty()) {
      source.ca_file.clear();  // the system's authorities do not know the test's
    } else {
      source.list_address = c.address;
    }
    UpdateChecker checker(source);
    // The window stays responsive: a timer of the event loop keeps ticking meanwhile.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(WaitForList(checker, 10000)) << c.what;
    EXPECT_LT(clock.elapsed(), 6000) << c.what;
    EXPECT_GE(ticks, static_cast<int>(clock.elapsed() / 20 / 2)) << c.what;
    EXPECT_FALSE(checker.List().received) << c.what;
    EXPECT_FALSE(checker.ListError().isEmpty()) << c.what;
    EXPECT_EQ(quillmate::UpdateLabelFor(checker.List(), "0.1", "2026-01-01").state,
              UpdateLabelState::kNoConnection)
        << c.what;
  }
}

// With the check switched off, opening the box reaches no network: the label says the check is
// off, and "Jetzt prüfen" checks on request.
TEST_F(UpdateCheck, WithTheCheckOffTheBoxChecksOnlyOnRequest) {
  Serve("[KV_DESFire_Quillmate]\nVersion=0.1\nBuild=2000-01-01\n");
  UpdateChecker checker(Source("/list"));
  checker.SetOwn("0.1", "2026-12-01");
  quillmate::ui::CAboutDlg about(nullptr, &checker, false);
  about.show();
  EXPECT_FALSE(about.AutomaticCheckBox()->isChecked());
  QTest::qWait(1500);  // the local list would have arrived long since
  EXPECT_FALSE(checker.Finished());
  EXPECT_EQ(about.UpdateLabel()->text(), "Die Update-Prüfung ist ausgeschaltet.");
  ASSERT_NE(about.CheckNowButton(), nullptr);
  EXPECT_TRUE(about.CheckNowButton()->isVisible());
  about.CheckNowButton()->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return checker.Finished(); }, 10000));
  QCoreApplication::processEvents();
  EXPECT_EQ(about.UpdateLabel()->text(), "KV-DESFire Quillmate ist aktuell");
  EXPECT_FALSE(about.UpdateLabel()->IsLink());
  about.AutomaticCheckBox()->click();
  EXPECT_TRUE(about.AutomaticCheck());
}

// The window with the update check on, against the local server, on the simulated reader.
class UpdateWindow : public quillmate_test::WindowRig {
 protected:
  void SetUp() override {
    quillmate_test::WindowRig::SetUp();
    if (!ca_.ok()) GTEST_SKIP() << "openssl could not make the test's certificates";
    ASSERT_TRUE(served_.isValid());
    server_ = std::make_unique<HttpsServer>(ca_, served_.path());
    ASSERT_TRUE(server_->ok()) << "python3 https_server.py did not start";
    qputenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8());
  }
  // Serves a list that offers version 9.1 with its package at `installer`, and turns the check on.
  void OfferUpdate(const QString &installer) {
    QFile list(served_.filePath("list.txt"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("[KV_DESFire_Quillmate]\nVersion=9.1\nBuild=2026-12-09\nInstaller=" +
               server_->Address(installer).toUtf8() + "\nSha256=" + QByteArray(64, 'a') + "\n");
    list.close();
    quillmate::OperatorSettings stored = settings_->LoadOperatorSettings();
    stored.update_check = true;
    stored.update_address = server_->Address("/list");
    stored.update_ca_file = ca_.File("ca.pem");
    ASSERT_TRUE(settings_->SaveOperatorSettings(stored));
  }
  static quillmate::ui::CAboutDlg *OpenAboutBox() {
    for (QWidget *widget : QApplication::topLevelWidgets()) {
      auto *about = qobject_cast<quillmate::ui::CAboutDlg *>(widget);
      if (about != nullptr && about->isVisible()) return about;
    }
    return nullptr;
  }

  TestCa ca_;
  QTemporaryDir served_;
  QTemporaryDir runtime_;
  std::unique_ptr<HttpsServer> server_;
};

// A newer version found while the window works waits: the modal about box would hold a card
// operation (or a cycle) up until someone closed it. It opens once the window is idle.
TEST_F(UpdateWindow, TheUpdateNoticeWaitsUntilNoCardOperationOrCycleRuns) {
  struct Case {
    const char *what;
    std::function<std::function<void()>()> start_work;  // returns how the work ends
  };
  const Case cases[] = {
      {"a card operation waits for the reader",
       [] {
         auto guard = std::make_shared<quillmate::ui::BusyGuard>();
         return [guard]() mutable { guard.reset(); };
       }},
      {"a write cycle runs",
       [this] {
         quillmate_test::WindowRig::Type(form().data, QStringLiteral("1"));
         answers = {quillmate::ui::BoxAnswer::kYes};  // the job's warnings
         card_.reset();
         reader_.RemoveCard();
         form().write_cycle->click();
         EXPECT_EQ(window().Operations().RunningCycle(), quillmate::Cycle::kWrite);
         return [this] { form().write_cycle->click(); };
       }},
  };
  OfferUpdate("/pkg/quillmate_9.1_amd64.deb");
  OpenWindow();
  for (const Case &c : cases) {
    UpdateChecker checker(TestSource(*server_, ca_, "/list"));
    // Records when the about box opens and closes it, so that a failure cannot hang.
    bool opened_while_working = false;
    bool opened_when_idle = false;
    bool working = true;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (quillmate::ui::CAboutDlg *about = OpenAboutBox()) {
        (working ? opened_while_working : opened_when_idle) = true;
        about->reject();
      }
    });
    watch.start(50);
    std::function<void()> end_work = c.start_work();
    window().SetUpdateChecker(&checker);
    ASSERT_TRUE(quillmate_test::WaitFor([&] { return checker.Finished(); }, 10000)) << c.what;
    quillmate_test::WaitFor([] { return false; }, 1500);
    EXPECT_FALSE(opened_while_working) << c.what;
    working = false;
    end_work();
    EXPECT_TRUE(quillmate_test::WaitFor([&] { return opened_when_idle; }, 3000))
        << c.what << ": no about box once the window was idle";
    watch.stop();
    window().SetUpdateChecker(nullptr);
  }
}

// A desktop logout (SIGTERM) while the package download stalls: the download is cancelled and
// the program ends within a second or two, without handing anything to the installer.
TEST_F(UpdateWindow, ATerminationSignalDuringAStalledDownloadEndsTheProgramAtOnce) {
  OfferUpdate("/stall/quillmate_9.1_amd64.deb");
  QElapsedTimer since_signal;
  bool signalled = false;
  // Should the program hang, the test's own hand closes what is open, so that it fails, not hangs.
  QTimer rescue;
  rescue.setSingleShot(true);
  QObject::connect(&rescue, &QTimer::timeout, [] {
    for (QWidget *widget : QApplication::topLevelWidgets()) widget->close();
  });
  rescue.start(20000);
  {
    quillmate::ui::CQuillmateApp program(*qApp, *settings_, {});
    program.SetBeeper(nullptr);
    program.UpdateCheck().SetHandler([](const QString &) {
      ADD_FAILURE() << "a package was handed over";
      return true;
    });
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
      quillmate::ui::CAboutDlg *about = OpenAboutBox();
      if (about == nullptr || signalled) return;
      if (about->UpdateLabel()->IsLink()) about->StartUpdate();
      if (about->CancelDownloadButton()->isVisible()) {
        signalled = true;
        QTimer::singleShot(1000, [&] {
          since_signal.start();
          ::raise(SIGTERM);
        });
      }
    });
    driver.start(50);
    program.Run();
  }
  ASSERT_TRUE(signalled) << "the download never started";
  EXPECT_LT(since_signal.elapsed(), 2500) << "the program did not end in time";
  EXPECT_TRUE(QDir(runtime_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

}  // namespace
