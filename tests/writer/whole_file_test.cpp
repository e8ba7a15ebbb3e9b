// A file written whole or not at all: an export or report that the disk took only in part never
// stands in place of a whole one.
#include "writer/records/whole_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

namespace quillmate {
namespace {

TEST(WholeFileTest, IsWrittenWholeOrLeftAsItWas) {
  QTemporaryDir dir;
  const QString path = dir.filePath("serie.csv");
  QString why;
  ASSERT_TRUE(WriteWholeFile(path, "old\r\n", &why)) << why.toStdString();
  ASSERT_TRUE(WriteWholeFile(path, "new\r\n", &why)) << why.toStdString();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "new\r\n");
  file.close();

  // The disk takes only part of the new export: the failure names the file, the old one stays
  // and no temporary file is left beside it.
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tight = old_limit;
  tight.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  const bool written = WriteWholeFile(path, QByteArray(4096, 'x'), &why);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(written);
  EXPECT_TRUE(why.startsWith(path)) << why.toStdString();
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "new\r\n");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"serie.csv"});

  EXPECT_FALSE(WriteWholeFile(dir.filePath("missing/serie.csv"), "x", &why));
  EXPECT_TRUE(why.contains("missing/serie.csv")) << why.toStdString();
}

TEST(WholeFileTest, NewFileIsTheOwnersOnlyAndAReplacedOneKeepsItsMode) {
  QTemporaryDir dir;
  const QString fresh = dir.filePath("fresh.json");
  QString why;
  ASSERT_TRUE(WriteWholeFile(fresh, "{}", &why)) << why.toStdString();
  struct stat info {};
  ASSERT_EQ(stat(QFile::encodeName(fresh).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  ASSERT_EQ(chmod(QFile::encodeName(fresh).constData(), 0644), 0);
  ASSERT_TRUE(WriteWholeFile(fresh, "[]", &why)) << why.toStdString();
  ASSERT_EQ(stat(QFile::encodeName(fresh).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

}  // namespace
}  // namespace quillmate
