// The write and read logs: their lines byte for byte, one running count, and a log that cannot
// take its line reported with its name.
#include "writer/records/card_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace quillmate {
namespace {

QDateTime FixedTime() {
  return QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9));
}

QByteArray ReadAll(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class CardLogTest : public testing::Test {
 protected:
  DesfireSet job_ = [] {
    DesfireSet job;
    job.app_id = 0xA1B2;
    job.file_id = 3;
    job.length = 16;
    job.data = QStringLiteral("ABC-0100");
    return job;
  }();
  QTemporaryDir dir_;
  QString Path(const char *name) const { return dir_.filePath(QLatin1String(name)); }
};

TEST_F(CardLogTest, LinesByteForByte) {
  const QString path = Path("Protokoll_S.txt");
  ASSERT_EQ(WriteLogLine(path, job_, QByteArray::fromHex("04A1B2C3"), FixedTime).outcome,
            LogOutcome::kWritten);

  DesfireSet binary = job_;
  binary.representation = Representation::kBinary;
  binary.number_format = NumberFormat::kHexadecimal;
  binary.orientation = Orientation::kRotated;
  binary.app_id = 0xFFFFFF;
  binary.file_id = 0x1F;
  binary.length = 12345;
  binary.data = QStringLiteral("1A2");
  ASSERT_EQ(WriteLogLine(path, binary, QByteArray::fromHex("04112233445566"), FixedTime).outcome,
            LogOutcome::kWritten);

  DesfireSet none = job_;
  none.number_format = NumberFormat::kNone;
  ASSERT_EQ(
      WriteLogLine(path, none, QByteArray::fromHex("00112233445566778899"), FixedTime).outcome,
      LogOutcome::kWritten);

  EXPECT_EQ(ReadAll(path),
            QByteArray("     1\t05.03.2024 07:08:09\tC3B2A104\tDez ASCII Normal\t00A1B2\t03\t  16\t"
                       "ABC-0100\n"
                       "     2\t05.03.2024 07:08:09\t66554433221104\tHex BIN\xC3\x84R Gedreht\t"
                       "FFFFFF\t1F\t12345\t1A2\n"
                       "     3\t05.03.2024 07:08:09\t\t--- ASCII Normal\t00A1B2\t03\t  16\t"
                       "ABC-0100\n"));
}

TEST_F(CardLogTest, WriteAndReadLogShareOneCount) {
  const QString path = Path("shared.txt");
  const QByteArray uid = QByteArray::fromHex("01020304");
  ASSERT_EQ(WriteLogLine(path, job_, uid, FixedTime).outcome, LogOutcome::kWritten);  // write
  job_.data = QStringLiteral("AB");  // a read value, shorter than the file
  ASSERT_EQ(WriteLogLine(path, job_, uid, FixedTime).outcome, LogOutcome::kWritten);  // read
  const QList<QByteArray> lines = ReadAll(path).split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith("     1\t"));
  EXPECT_EQ(lines[1], QByteArray("     2\t05.03.2024 07:08:09\t04030201\tDez ASCII Normal\t00A1B2"
                                 "\t03\t  16\tAB"));
  EXPECT_TRUE(lines[2].isEmpty());
}

TEST_F(CardLogTest, ForeignLinesCountAndAnOpenLastLineIsClosed) {
  const QString path = Path("edited.txt");
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("first\r\nsecond");
  }
  ASSERT_EQ(WriteLogLine(path, job_, {}, FixedTime).outcome, LogOutcome::kWritten);
  EXPECT_TRUE(ReadAll(path).startsWith("first\r\nsecond\n     3\t05.03.2024 07:08:09\t\tDez"));
}

TEST_F(CardLogTest, EmptyNameIsNoLog) {
  const LogResult result = WriteLogLine(QString(), job_, {}, FixedTime);
  EXPECT_EQ(result.outcome, LogOutcome::kNoFile);
  EXPECT_TRUE(result.status_line.isEmpty());
}

TEST_F(CardLogTest, UnwritablePathIsReportedWithItsName) {
  for (const QString &path : {Path("missing-folder/Protokoll_S.txt"), dir_.path()}) {
    const LogResult result = WriteLogLine(path, job_, {}, FixedTime);
    EXPECT_EQ(result.outcome, LogOutcome::kFailed) << path.toStdString();
    EXPECT_EQ(result.status_line,
              QStringLiteral("Die Protokollzeile konnte nicht in die Datei <%1> geschrieben "
                             "werden!")
                  .arg(path));
  }
  EXPECT_FALSE(QDir(Path("missing-folder")).exists());
}

// A log switched on is checked before the first card: the operator learns which file or folder
// will not take the lines, and a missing folder can be made.
TEST_F(CardLogTest, CheckLogFileNamesWhatWillNotTakeTheLines) {
  using Problem = LogFileCheck::Problem;
  const QString missing = Path("missing/deeper/Protokoll_S.txt");
  const struct {
    QString file;
    Problem problem;
  } cases[] = {
      {QString(), Problem::kNoFile},
      {missing, Problem::kFolderMissing},
      {dir_.path(), Problem::kNotWritable},  // a folder, not a file
      {Path("Protokoll_S.txt"), Problem::kNone},
  };
  for (const auto &c : cases) {
    const LogFileCheck check = CheckLogFile(c.file);
    EXPECT_EQ(check.problem, c.problem) << c.file.toStdString();
    EXPECT_EQ(check.ok(), c.problem == Problem::kNone);
    if (!c.file.isEmpty() && c.problem != Problem::kNone) {
      EXPECT_TRUE(check.message.contains(c.file)) << check.message.toStdString();
    }
  }
  EXPECT_FALSE(QFile::exists(Path("Protokoll_S.txt"))) << "checking writes nothing";
  ASSERT_TRUE(MakeLogFolder(missing));
  EXPECT_TRUE(CheckLogFile(missing).ok());
  EXPECT_EQ(WriteLogLine(missing, job_, {}, FixedTime).outcome, LogOutcome::kWritten);
}

TEST_F(CardLogTest, FullDeviceIsReported) {
  if (!QFile::exists(QStringLiteral("/dev/full"))) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(WriteLogLine(QStringLiteral("/dev/full"), job_, {}, FixedTime).outcome,
            LogOutcome::kFailed);
}

// In a log folder others can write, a link named like the log (to an existing file or to one not
// yet there) would make the line land in the file it points at: the check before a series
// refuses it naming the log, and a line is never written through it.
TEST_F(CardLogTest, ALinkInPlaceOfTheLogIsNotFollowed) {
  const QString existing = Path("fremd.txt");
  {
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("fremd\n");
  }
  for (const QString &target : {existing, Path("nicht-da.txt")}) {
    const QString log = Path("log.txt");
    QFile::remove(log);
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(log).constData()),
              0);
    const LogFileCheck check = CheckLogFile(log);
    EXPECT_FALSE(check.ok());
    EXPECT_TRUE(check.message.contains(log)) << check.message.toStdString();
    EXPECT_EQ(WriteLogLine(log, job_, {}, FixedTime).outcome, LogOutcome::kFailed);
  }
  EXPECT_EQ(ReadAll(existing), QByteArray("fremd\n"));
  EXPECT_FALSE(QFile::exists(Path("nicht-da.txt")));
}

// The running numbers of the file's lines, in file order.
QList<int> Numbers(const QString &path) {
  QList<int> numbers;
  for (const QByteArray &line : ReadAll(path).split('\n')) {
    if (!line.isEmpty()) numbers.append(line.left(line.indexOf('\t')).trimmed().toInt());
  }
  return numbers;
}

// A disk that fills up in the middle of a line (here: the file size limit of the process, which
// cuts a write short the way a full disk does): the card has no record, and the log is left as it
// was, without a stub line that the next line would join.
TEST_F(CardLogTest, ALineThatDoesNotFitLeavesTheLogAsItWas) {
  const QString path = Path("full.txt");
  ASSERT_EQ(WriteLogLine(path, job_, {}, FixedTime).outcome, LogOutcome::kWritten);
  const QByteArray before = ReadAll(path);

  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tight = old_limit;
  tight.rlim_cur = static_cast<rlim_t>(before.size() + 10);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  const LogResult full = WriteLogLine(path, job_, {}, FixedTime);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_EQ(full.outcome, LogOutcome::kFailed);
  EXPECT_TRUE(full.status_line.contains(path));
  EXPECT_EQ(ReadAll(path), before);
  ASSERT_EQ(WriteLogLine(path, job_, {}, FixedTime).outcome, LogOutcome::kWritten);
  EXPECT_EQ(Numbers(path), (QList<int>{1, 2}));
}

// Stations appending to one log on a shared folder: every line gets a number of its own, in order.
TEST_F(CardLogTest, ProcessesSharingALogNeverShareANumber) {
  const QString path = Path("shared-folder.txt");
  constexpr int kProcesses = 4;
  constexpr int kLinesEach = 40;
  std::vector<pid_t> children;
  for (int i = 0; i < kProcesses; ++i) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      bool all = true;
      for (int line = 0; line < kLinesEach; ++line) {
        all = WriteLogLine(path, job_, {}, FixedTime).outcome == LogOutcome::kWritten && all;
      }
      _exit(all ? 0 : 1);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  QList<int> expected;
  for (int number = 1; number <= kProcesses * kLinesEach; ++number) expected.append(number);
  EXPECT_EQ(Numbers(path), expected);
}

// The count is remembered between lines; a log changed behind the program's back is counted
// again as it now is.
TEST_F(CardLogTest, ALogChangedBehindItsBackIsCountedAgain) {
  const QString path = Path("changed.txt");
  const auto append_foreign = [&](const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(bytes);
  };
  const struct {
    const char *change;
    std::function<void()> make;
    int next_number;
  } cases[] = {
      {"lines appended by another program", [&] { append_foreign("x\ny\nz"); }, 6},
      {"shortened", [&] { ASSERT_TRUE(QFile::resize(path, ReadAll(path).indexOf('\n') + 1)); }, 2},
      {"replaced by another file",
       [&] {
         const QString other = Path("other.txt");
         QFile file(other);
         ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         file.write("a\nb\nc\nd\n");
         file.close();
         ASSERT_TRUE(QFile::remove(path));
         ASSERT_TRUE(QFile::rename(other, path));
       },
       5},
      {"rewritten in place at the same size",
       [&] {
         QFile file(path);
         ASSERT_TRUE(file.open(QIODevice::ReadWrite));
         ASSERT_TRUE(file.seek(1));
         file.write("\n");
         file.close();
         const timespec times[2] = {{0, UTIME_OMIT}, {1000, 0}};
         ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
       },
       4},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.change);
    QFile::remove(path);
    ASSERT_EQ(WriteLogLine(path, job_, {}, FixedTime).outcome, LogOutcome::kWritten);
    ASSERT_EQ(WriteLogLine(path, job_, {}, FixedTime).outcome, LogOutcome::kWritten);
    c.make();
    ASSERT_EQ(WriteLogLine(path, job_, {}, FixedTime).outcome, LogOutcome::kWritten);
    EXPECT_EQ(Numbers(path).last(), c.next_number) << ReadAll(path).toStdString();
  }
}

}  // namespace
}  // namespace quillmate
