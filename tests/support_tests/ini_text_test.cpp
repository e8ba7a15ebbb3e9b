// The INI store in memory: how lines read, how lookups and changes behave, what is written.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

#include "support/ini_store.h"

namespace quillmate {
namespace {

// A store without a file (the store is neither copied nor moved: it owns its file).
std::unique_ptr<CPrivateProfile> Parsed(const std::string &text) {
  auto store = std::make_unique<CPrivateProfile>();
  store->ParseText(text);
  return store;
}

TEST(IniText, ReadsValues) {
  struct Case {
    const char *why;
    std::string text;
    const char *section;
    const char *key;
    const char *expected;
  };
  const Case cases[] = {
      {"later key wins, case ignored", "[Settings]\nWert = 12\nWert=34\n", "settings", "WERT",
       "34"},
      {"CR LF lines", "[S]\r\nk=v\r\nj=w\r\n", "S", "j", "w"},
      {"CR alone ends a line", "[S]\rk=v\rj=w\r", "S", "j", "w"},
      {"no line end at the end", "[S]\nk=v", "S", "k", "v"},
      {"value keeps trailing spaces", "[S]\nk=  v  \n", "S", "k", "v  "},
      {"key keeps leading spaces", "[S]\n  k = v\n", "S", "  k", "v"},
      {"trimmed key is not found", "[S]\n  k = v\n", "S", "k", "default"},
      {"trailing TABs cut", "[S]\nk=v\t\t\n", "S", "k", "v"},
      {"only spaces trimmed", "[S]\nk= \tv\n", "S", "k", "\tv"},
      {"header with trailing TAB", "[S]\t\nk=v\n", "S", "k", "v"},
      {"value holds =", "[S]\nk=a=b\n", "S", "k", "a=b"},
      {"line without = is an empty value", "[S]\nk\n", "S", "k", ""},
      {"first section of a repeated name", "[A]\nk=1\n[A]\nk=2\n", "A", "k", "1"},
      {"keys before any header", "k=1\n[S]\nj=2\n", "", "k", "1"},
      {"missing section", "[S]\nk=v\n", "T", "k", "default"},
      {"missing key", "[S]\nk=v\n", "S", "j", "default"},
      {"header without keys makes no section", "[S]\n", "S", "k", "default"},
      {"comment kept as a key", "[S]\n; c=1\n", "S", "; c=1", ""},
      {"non-ASCII bytes pass", "[S]\nk=\xC3\xA4\xFF\n", "S", "k", "\xC3\xA4\xFF"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(Parsed(c.text)->GetString(c.section, c.key, "default"), c.expected);
  }
}

TEST(IniText, ReadsIntegersLikeAtoiButClamped) {
  struct Case {
    const char *value;
    int expected;
  };
  const Case cases[] = {
      {"12", 12},
      {"-5", -5},
      {"+7", 7},
      {"12abc", 12},
      {"abc", 0},
      {"\t3", 3},
      {"", 99},  // empty value: the default
      {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(Parsed(std::string("[S]\nk=") + c.value + "\n")->GetInt("S", "k", 99), c.expected);
  }
  EXPECT_EQ(Parsed("[S]\n")->GetInt("S", "k", 99), 99);
}

TEST(IniText, WritesWhatItRead) {
  struct Case {
    const char *why;
    std::string text;
    std::string written;
  };
  const Case cases[] = {
      {"LF ends, blank lines dropped, comment kept", "[S]\r\nb=2\r\n\r\n; note = x\r\na=1\r\n",
       "[S]\nb=2\n; note = x\na=1\n"},
      {"key without = gets one", "[S]\nnoequals\n", "[S]\nnoequals=\n"},
      {"value without key keeps its =", "[S]\n==x\n = y\n", "[S]\n==x\n=y\n"},
      {"spaces around =", "[S]\n  k  =  v  \n", "[S]\n  k=v  \n"},
      {"unnamed part first", "k=1\n[S]\nx=2\n", "k=1\n[S]\nx=2\n"},
      {"header without keys vanishes", "[S]\nk=1\n[T]\n", "[S]\nk=1\n"},
      {"repeated sections stay apart", "[A]\nk=1\n[A]\nk=2\n", "[A]\nk=1\n[A]\nk=2\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(Parsed(c.text)->Text(), c.written);
  }
}

TEST(IniText, TwoHeadersInARowLeaveAnEmptyUnnamedSection) {
  const auto store = Parsed("[A]\n[B]\nk=1\n");
  ASSERT_EQ(store->Sections().size(), 3u);
  EXPECT_EQ(store->Sections()[0].name, "");
  EXPECT_EQ(store->Sections()[1].name, "");
  EXPECT_EQ(store->Sections()[2].name, "B");
  EXPECT_TRUE(store->Sections()[1].keys.empty());
  EXPECT_EQ(store->Text(), "[B]\nk=1\n");
}

TEST(IniText, ChangesKeepOrderAndAppendAtTheEnd) {
  const auto store = Parsed("[S]\nb=1\na=2\n[T]\nc=3\n");
  EXPECT_FALSE(store->IsModified());
  store->SetString("s", "A", "9");
  store->SetString("T", "d", "4");
  store->SetInt("New", "e", -5);
  EXPECT_TRUE(store->IsModified());
  EXPECT_EQ(store->Text(), "[S]\nb=1\na=9\n[T]\nc=3\nd=4\n[New]\ne=-5\n");
}

TEST(IniText, ALetterCaseChangeAloneDoesNotModify) {
  const auto store = Parsed("[S]\nk=abc\n");
  store->SetString("s", "K", "ABC");
  EXPECT_FALSE(store->IsModified());
  EXPECT_EQ(store->GetString("S", "k", ""), "ABC");
  store->SetString("S", "j", "1");
  EXPECT_TRUE(store->IsModified());
  EXPECT_EQ(store->Text(), "[S]\nk=ABC\nj=1\n");
}

}  // namespace
}  // namespace quillmate
