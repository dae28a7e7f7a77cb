#include "platform/ini.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

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

// What the program writes at its end: the four "Preserved" entries, then the
// managed-section list on closing the store.
std::vector<bool> SaveProgramKeys(IniStore& store) {
  store.Setup(nullptr);
  store.ManageSection("Editace_uloh");
  std::vector<bool> results = {store.PutString("Preserved", "GLO:Verze_programu", "1.0"),
                               store.PutNumber("Preserved", "GLO:Pocet_spusteni_programu", 3),
                               store.PutNumber("Preserved", "GLO:Prvni_spusteni", 0),
                               store.PutNumber("Preserved", "GCU", 1)};
  store.Close();
  return results;
}

struct SaveCase {
  const char* name;
  std::optional<std::string> in;  // nullopt: no file
  std::string out;
};

constexpr const char* kPreservedLf =
    "[Preserved]\nGLO:Verze_programu=1.0\nGLO:Pocet_spusteni_programu=3\nGLO:Prvni_spusteni=0\nGCU=1\n";
constexpr const char* kSectorsLf = "[Sectors]\n__Dont_Touch_Me__=Editace_uloh\n";

std::string Lf(const std::string& a, const std::string& b) { return a + "\n" + b; }

TEST_F(IniTest, ASaveChangesOnlyTheLinesOfItsKeys) {
  using namespace std::string_literals;
  const std::string P = kPreservedLf, S = kSectorsLf;
  const SaveCase cases[] = {
      {"missing file", std::nullopt, Lf(P, S)},
      {"empty file", "", Lf(P, S)},
      {"already up to date", Lf(P, S), Lf(P, S)},
      {"header without ]",
       "[Preserved\nGLO:Pocet_spusteni_programu=2\n",
       "[Preserved\nGLO:Pocet_spusteni_programu=2\n\n" + Lf(P, S)},
      {"lines without =",
       "[Preserved]\nodd line\nGCU=0\njust text\n",
       "[Preserved]\nodd line\nGCU=1\nGLO:Verze_programu=1.0\nGLO:Pocet_spusteni_programu=3\n"
       "GLO:Prvni_spusteni=0\njust text\n\n" + S},
      {"NUL in the middle",
       "[Foreign]\na=1\n\0\0binary\xff\n[Preserved]\nGCU=7\n[After]\nz=\0x\n"s,
       "[Foreign]\na=1\n\0\0binary\xff\n[Preserved]\nGCU=1\nGLO:Verze_programu=1.0\n"
       "GLO:Pocet_spusteni_programu=3\nGLO:Prvni_spusteni=0\n[After]\nz=\0x\n\n"s + S},
      {"sections before and after, comments",
       "; top comment\n[Before]\nk=v\n\n[Preserved]\n; note\n  GLO:Verze_programu = 0.9  \n\n"
       "[After]\nx=y\n[Sectors]\n__Dont_Touch_Me__=Volba_vystupu\n; last\n",
       "; top comment\n[Before]\nk=v\n\n[Preserved]\n; note\n  GLO:Verze_programu = 1.0\n"
       "GLO:Pocet_spusteni_programu=3\nGLO:Prvni_spusteni=0\nGCU=1\n\n"
       "[After]\nx=y\n[Sectors]\n__Dont_Touch_Me__=Volba_vystupu,Editace_uloh\n; last\n"},
      {"CR LF, no line break at the end",
       "[Preserved]\r\nGCU=0\r\n[Other]\r\nk=v",
       "[Preserved]\r\nGCU=1\r\nGLO:Verze_programu=1.0\r\nGLO:Pocet_spusteni_programu=3\r\n"
       "GLO:Prvni_spusteni=0\r\n[Other]\r\nk=v\r\n\r\n[Sectors]\r\n__Dont_Touch_Me__=Editace_uloh\r\n"},
      {"LF, no line break at the end", "[Other]\nk=v", "[Other]\nk=v\n\n" + Lf(P, S)},
      {"a key written twice, a section twice",
       "[Preserved]\ngcu=5\nGCU=6\n[preserved]\nGLO:Prvni_spusteni=9\n",
       "[Preserved]\ngcu=1\nGCU=6\nGLO:Verze_programu=1.0\nGLO:Pocet_spusteni_programu=3\n"
       "[preserved]\nGLO:Prvni_spusteni=0\n\n" + S},
      {"entries before the first section",
       "GCU=4\n[Preserved]\n",
       "GCU=4\n[Preserved]\nGLO:Verze_programu=1.0\nGLO:Pocet_spusteni_programu=3\n"
       "GLO:Prvni_spusteni=0\nGCU=1\n\n" + S},
  };
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove("velorn.INI");
    if (c.in) WriteFile("velorn.INI", *c.in);
    IniStore store(".\\velorn.INI");
    EXPECT_EQ(SaveProgramKeys(store), std::vector<bool>(4, true));
    EXPECT_EQ(ReadFile("velorn.INI"), c.out);
    EXPECT_EQ(store.GetString("Preserved", "GLO:Verze_programu"), "1.0");
    EXPECT_EQ(store.GetNumber("Preserved", "GLO:Pocet_spusteni_programu"), 3);
    EXPECT_EQ(store.GetNumber("Preserved", "GCU"), 1);
    // The next save finds its lines and leaves the file as it is.
    struct stat before {};
    ASSERT_EQ(::stat("velorn.INI", &before), 0);
    IniStore again("velorn.INI");
    EXPECT_EQ(SaveProgramKeys(again), std::vector<bool>(4, true));
    EXPECT_EQ(ReadFile("velorn.INI"), c.out);
    struct stat after {};
    ASSERT_EQ(::stat("velorn.INI", &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "a save that changes nothing does not replace the file";
    EXPECT_EQ(Listing(dir_), std::set<std::string>{"velorn.INI"});
  }
}

TEST_F(IniTest, AFolderInPlaceOfTheFileFailsAndLosesNothing) {
  fs::create_directory("velorn.INI");
  WriteFile("velorn.INI/inside", "[Preserved]\nGCU=5\n");
  IniStore store("velorn.INI");
  EXPECT_EQ(SaveProgramKeys(store), std::vector<bool>(4, false));
  EXPECT_EQ(store.GetNumber("Preserved", "GCU"), 0);
  EXPECT_EQ(Listing(dir_), std::set<std::string>{"velorn.INI"});
  EXPECT_EQ(Listing("velorn.INI"), std::set<std::string>{"inside"});
  EXPECT_EQ(ReadFile("velorn.INI/inside"), "[Preserved]\nGCU=5\n");
}

TEST_F(IniTest, ReadsByTheProfileRules) {
  using namespace std::string_literals;
  WriteFile("velorn.INI",
            "top=before any section\n"
            "[Main\n"
            "broken=header\n"
            "[ Main ]  trailing text\n"
            "; Name=commented\n"
            "no equals sign\n"
            "=no name\n"
            "  Name  =  Hall A  \n"
            "NAME=second\n"
            "Empty=\n"
            "Nul=ab\0cd\n"
            "Count=12\r\n"
            "[MAIN]\n"
            "Late=found\n"
            "Name=third\n"s);
  const IniStore store("velorn.INI");
  const struct {
    const char* section;
    const char* entry;
    const char* text;  // nullptr: missing
    long number;
  } cases[] = {
      {"Main", "Name", "Hall A", 0},      // first match wins, blanks around names and value dropped
      {"main", "name", "Hall A", 0},      // names without regard to case
      {"Main", "Late", "found", 0},       // a second section of the same name is read too
      {"Main", "Empty", "", 0},
      {"Main", "Nul", "ab", 0},           // a NUL ends the value
      {"Main", "Count", "12", 12},        // CR LF line break is no part of the value
      {"Main", "broken", nullptr, 0},     // "[Main" is no header: the line after it is in no section
      {"Main", "; Name", nullptr, 0},     // comments are no entries
      {"Main", "no equals sign", nullptr, 0},
      {"Main", "", nullptr, 0},
      {"Main", "top", nullptr, 0},        // entries before the first section belong to none
      {"Main", "Missing", nullptr, 0},    // a missing number is 0
      {"Other", "Name", nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.entry);
    EXPECT_EQ(store.GetString(c.section, c.entry, "?"), c.text ? c.text : "?");
    EXPECT_EQ(store.GetNumber(c.section, c.entry), c.number);
  }
}

TEST_F(IniTest, RefusesNamesAndValuesALineCannotCarry) {
  using namespace std::string_literals;
  const std::string original = "[Main]\nName=old\n";
  WriteFile("velorn.INI", original);
  IniStore store("velorn.INI");
  const struct {
    std::string section, entry, value;
  } cases[] = {
      {"", "Name", "x"},      {"Main", "", "x"},       {"Ma]in", "Name", "x"},  {"Main", "Na=me", "x"},
      {" Main", "Name", "x"}, {"Main", "Name ", "x"},  {"Main", "[Name", "x"},  {"Main", ";Name", "x"},
      {"Main", "Name", "a\0b"s}, {"Ma\0in"s, "Name", "x"}, {"Main", "Na\0me"s, "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.section + "/" + c.entry + "=" + c.value);
    EXPECT_FALSE(store.PutString(c.section, c.entry, c.value));
  }
  EXPECT_EQ(ReadFile("velorn.INI"), original);
  EXPECT_EQ(Listing(dir_), std::set<std::string>{"velorn.INI"});
}

}  // namespace
}  // namespace platform
