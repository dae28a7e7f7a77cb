#include "platform/ini.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

// Runs each test inside a fresh folder under /tmp, made current.
class IniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velorn-ini-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    old_ = fs::current_path();
    ASSERT_EQ(::chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(::chdir(old_.c_str()), 0);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  fs::path dir_;
  fs::path old_;
};

TEST_F(IniTest, MissingFileGivesDefaults) {
  const IniStore store(".\\velorn.INI");
  EXPECT_EQ(store.Path(), "./velorn.INI");
  EXPECT_EQ(store.GetString("Main", "Name"), "");
  EXPECT_EQ(store.GetString("Main", "Name", "fallback"), "fallback");
  EXPECT_EQ(store.GetNumber("Main", "Count"), 0);
  EXPECT_TRUE(Listing(dir_).empty());
}

TEST_F(IniTest, WriteThenRead) {
  IniStore store(".\\velorn.INI");
  ASSERT_TRUE(store.PutString("Main", "Name", "Hall A"));
  ASSERT_TRUE(store.PutNumber("Main", "Count", -42));
  ASSERT_TRUE(store.PutString("Main", "Name", "Hall B"));
  EXPECT_EQ(store.GetString("Main", "Name"), "Hall B");
  EXPECT_EQ(store.GetNumber("Main", "Count"), -42);
  EXPECT_EQ(store.GetString("Main", "Other", "x"), "x");
  EXPECT_EQ(store.GetString("Else", "Name", "x"), "x");
  // A second store on the same file sees the writes; no temporary file is left.
  EXPECT_EQ(IniStore("velorn.INI").GetString("Main", "Name"), "Hall B");
  EXPECT_EQ(Listing(dir_), std::set<std::string>{"velorn.INI"});
}

TEST_F(IniTest, KeepsOtherSectionsAndBytes) {
  const std::string other = "[Foreign]\nKey=\xE8\xE9\x9A value\nSecond=2\n";
  WriteFile("velorn.INI", "[Main]\nName=old\n\n" + other);
  IniStore store("velorn.INI");
  EXPECT_EQ(store.GetString("Foreign", "Key"), "\xE8\xE9\x9A value");
  ASSERT_TRUE(store.PutString("Main", "Name", "\xE8new"));
  ASSERT_TRUE(store.PutString("Added", "K", "v"));
  const std::string text = ReadFile("velorn.INI");
  EXPECT_NE(text.find(other), std::string::npos) << text;
  EXPECT_NE(text.find("Name=\xE8new\n"), std::string::npos) << text;
  EXPECT_EQ(store.GetString("Main", "Name"), "\xE8new");
  EXPECT_EQ(store.GetString("Added", "K"), "v");
}

TEST_F(IniTest, FileFollowsTheCurrentFolder) {
  fs::create_directory("a");
  fs::create_directory("b");
  IniStore store("velorn.INI");
  ASSERT_EQ(::chdir("a"), 0);
  ASSERT_TRUE(store.PutString("Main", "Where", "a"));
  ASSERT_EQ(::chdir("../b"), 0);
  EXPECT_EQ(store.GetString("Main", "Where"), "");
  ASSERT_TRUE(store.PutString("Main", "Other", "b"));
  ASSERT_EQ(::chdir(".."), 0);
  EXPECT_EQ(IniStore("a/velorn.INI").GetString("Main", "Where"), "a");
  EXPECT_EQ(IniStore("a/velorn.INI").GetString("Main", "Other"), "");
  EXPECT_EQ(IniStore("b/velorn.INI").GetString("Main", "Where"), "");
  EXPECT_EQ(IniStore("b/velorn.INI").GetString("Main", "Other"), "b");
}

TEST_F(IniTest, FailedWriteChangesNothing) {
  fs::create_directory("velorn.INI");
  IniStore store("velorn.INI");
  EXPECT_FALSE(store.PutString("Main", "Name", "x"));
  EXPECT_TRUE(fs::is_directory("velorn.INI"));
  EXPECT_TRUE(fs::is_empty("velorn.INI"));
  EXPECT_EQ(Listing(dir_), std::set<std::string>{"velorn.INI"});

  IniStore nowhere("missing/velorn.INI");
  EXPECT_FALSE(nowhere.PutString("Main", "Name", "x"));
  EXPECT_EQ(Listing(dir_), std::set<std::string>{"velorn.INI"});
}

TEST_F(IniTest, FailedSaveRemovesTemporaryAndKeepsFile) {
  const std::string original = "[Main]\nName=old\n";
  WriteFile("store.ini", original);
  IniStore store("store.ini");

  // Cap the file size so that writing the temporary file fails part way.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = store.PutString("Main", "Name", std::string(200, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile("store.ini"), original);
  EXPECT_EQ(Listing(dir_), std::set<std::string>{"store.ini"});
}

TEST_F(IniTest, RejectsLineBreaks) {
  IniStore store("velorn.INI");
  EXPECT_FALSE(store.PutString("Main", "Name", "a\n[Evil]\nX=1"));
  EXPECT_FALSE(store.PutString("Main", "Na\rme", "a"));
  EXPECT_TRUE(Listing(dir_).empty());
}

TEST_F(IniTest, NumbersParseLeadingDigits) {
  WriteFile("velorn.INI", "[N]\na=12abc\nb=abc\nc=-7\nd=+5x\ne= 33\nf=\n");
  const IniStore store("velorn.INI");
  const struct {
    const char* entry;
    long value;
  } cases[] = {{"a", 12}, {"b", 0}, {"c", -7}, {"d", 5}, {"e", 33}, {"f", 0}, {"none", 0}};
  for (const auto& c : cases) EXPECT_EQ(store.GetNumber("N", c.entry), c.value) << c.entry;
}

TEST_F(IniTest, SetupCallsHookThenReadsManagedSections) {
  WriteFile("velorn.INI", "[Sectors]\n__Dont_Touch_Me__=DlgA, DlgB,dlgc\n");
  IniStore store("velorn.INI");
  bool hookSawSetUp = false;
  store.Setup([&](IniStore& s) {
    hookSawSetUp = s.IsSetUp();
    s.ManageSection("DlgC");
  });
  EXPECT_TRUE(hookSawSetUp);
  EXPECT_TRUE(store.IsSetUp());
  EXPECT_EQ(store.ManagedSections(), (std::vector<std::string>{"DlgC", "DlgA", "DlgB"}));
  store.ManageSection("DlgA");
  store.ManageSection("DlgD");
  EXPECT_EQ(store.ManagedSections().size(), 4u);
}

TEST_F(IniTest, CloseWritesManagedSectionsOnlyWhenSetUp) {
  IniStore store("velorn.INI");
  store.ManageSection("DlgA");
  store.Close();
  EXPECT_FALSE(fs::exists("velorn.INI"));

  store.Setup(nullptr);
  store.ManageSection("DlgB");
  store.Close();
  EXPECT_FALSE(store.IsSetUp());
  EXPECT_EQ(store.GetString("Sectors", "__Dont_Touch_Me__"), "DlgA,DlgB");

  IniStore reopened("velorn.INI");
  reopened.Setup(nullptr);
  EXPECT_EQ(reopened.ManagedSections(), (std::vector<std::string>{"DlgA", "DlgB"}));
}

}  // namespace
}  // namespace platform
