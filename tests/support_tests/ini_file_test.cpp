// The INI store on disk: loading, writing back, and never losing a job file to a failed write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/ini_store.h"

namespace quillmate {
namespace {

namespace fs = std::filesystem;

class IniFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ini_file_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    path_ = (folder_ / "job.KVMFDat").string();
  }
  void TearDown() override { fs::remove_all(folder_); }

  void WriteFile(const std::string &content) { std::ofstream(path_, std::ios::binary) << content; }
  std::string ReadFile() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }
  size_t EntriesInFolder() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }

  fs::path folder_;
  std::string path_;
};

TEST_F(IniFile, AMissingFileIsCreatedEmptyAndNotRewritten) {
  {
    CPrivateProfile job(path_);
    EXPECT_EQ(job.GetInt("Settings", "Byteanzahl", 32), 32);
    EXPECT_TRUE(fs::exists(path_));
  }
  EXPECT_EQ(fs::file_size(path_), 0u);
}

TEST_F(IniFile, AnUnchangedStoreLeavesTheFileAlone) {
  const std::string original = "[Settings]\r\n\r\nAppID = 1\r\n";
  WriteFile(original);
  {
    CPrivateProfile job(path_);
    job.SetInt("Settings", "AppID", 1);
  }
  EXPECT_EQ(ReadFile(), original);
}

TEST_F(IniFile, TheDestructorWritesChangesWithLfAndKeepsThePermissions) {
  WriteFile("[Settings]\r\n; kept\r\nAppID=1\r\n");
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  {
    CPrivateProfile job(path_);
    job.SetInt("Settings", "AppID", 7);
    job.SetString("Settings", "Wert", "0001");
  }
  EXPECT_EQ(ReadFile(), "[Settings]\n; kept\nAppID=7\nWert=0001\n");
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(EntriesInFolder(), 1u);  // no temporary file left behind
}

TEST_F(IniFile, OpeningAnotherFileSavesTheFirst) {
  CPrivateProfile job(path_);
  job.SetInt("Settings", "AppID", 3);
  const std::string second = (folder_ / "second.ini").string();
  EXPECT_TRUE(job.Open(second));
  EXPECT_EQ(job.FileName(), second);
  EXPECT_FALSE(job.IsModified());
  EXPECT_EQ(ReadFile(), "[Settings]\nAppID=3\n");
}

// The disk fills up while the new content is written: simulated with a file size limit, which
// stops writes also for root.
TEST_F(IniFile, AFailedWriteKeepsTheOldFile) {
  const std::string original = "[Settings]\nWert=41\n";
  WriteFile(original);
  CPrivateProfile job(path_);
  job.SetString("Settings", "Wert", std::string(4096, '9'));

  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved = job.Save();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(saved);
  EXPECT_TRUE(job.IsModified());
  EXPECT_NE(job.ErrorText(), "");
  EXPECT_EQ(ReadFile(), original);
  EXPECT_EQ(EntriesInFolder(), 1u);
  EXPECT_TRUE(job.Save());  // room again: the change is still there to write
  EXPECT_EQ(ReadFile(), "[Settings]\nWert=" + std::string(4096, '9') + "\n");
}

TEST_F(IniFile, AFolderThatDoesNotExistFailsWithoutCreatingAnything) {
  const std::string path = (folder_ / "missing" / "job.ini").string();
  CPrivateProfile job;
  EXPECT_FALSE(job.Open(path));
  EXPECT_EQ(job.GetString("Settings", "Wert", "none"), "none");
  job.SetString("Settings", "Wert", "1");
  EXPECT_FALSE(job.Save());
  EXPECT_TRUE(job.IsModified());
  EXPECT_NE(job.ErrorText(), "");
  EXPECT_EQ(EntriesInFolder(), 0u);
}

// Paths that are no job file load as an empty store, never hang, and are never replaced.
TEST_F(IniFile, APathThatIsNoRegularFileIsNeverReplaced) {
  const std::string fifo = (folder_ / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = (folder_ / "folder").string();
  fs::create_directory(folder);
  for (const std::string &path : {fifo, folder}) {
    SCOPED_TRACE(path);
    {
      CPrivateProfile job;
      EXPECT_TRUE(job.Open(path));
      EXPECT_NE(job.ErrorText(), "");
      job.SetString("Settings", "Wert", "1");
      EXPECT_FALSE(job.Save());
    }
    EXPECT_FALSE(fs::is_regular_file(path));
  }
  EXPECT_EQ(EntriesInFolder(), 2u);
}

}  // namespace
}  // namespace quillmate
