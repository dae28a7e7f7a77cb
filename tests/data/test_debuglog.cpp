#include "app/data/debuglog.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "platform/msgbox.h"
#include "tests/support/tempdir.h"

namespace {

using app::data::DebugLine;
using app::data::WriteDebugLine;
using testsupport::ReadFile;
using testsupport::TempDir;

bool Exists(const char* path) {
  struct stat st {};
  return ::stat(path, &st) == 0;
}

class DebugLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetBoxView([this](std::string_view text, std::string_view caption, platform::BoxIcon, unsigned,
                                unsigned) {
      boxes_.push_back({std::string(caption), std::string(text)});
      return unsigned{platform::BoxOk};
    });
  }
  void TearDown() override {
    app::data::DebugEnabled = 0;
    DebugLine() = std::string(app::data::kDebugLineChars, ' ');
    app::data::DetachThreadFiles();
    platform::SetBoxView(nullptr);
  }
  TempDir dir_{true};
  std::vector<std::pair<std::string, std::string>> boxes_;  // caption, text
};

TEST_F(DebugLogTest, NothingIsWrittenWhenDebugIsOff) {
  app::data::DebugEnabled = 0;
  DebugLine() = "Úloha č.1 spuštěna";
  WriteDebugLine();
  EXPECT_FALSE(Exists(app::data::kDebugFileName));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(DebugLogTest, LinesAreWindows1250WithoutTrailingBlanks) {
  app::data::DebugEnabled = 1;
  const std::string full = std::string(254, 'a') + "ž";
  struct Case {
    const char* what;
    std::string line;
    std::string bytes;
  } cases[] = {
      {"Czech text", "Úloha č.1 spuštěna", "\xDAloha \xE8.1 spu\x9At\xECna\r\n"},
      {"trailing blanks", "Konec   ", "Konec\r\n"},
      {"only blanks", std::string(255, ' '), "\r\n"},
      {"exactly 255 characters", full, std::string(254, 'a') + "\x9E\r\n"},
      {"longer than 255", full + "bcd", std::string(254, 'a') + "\x9E\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(app::data::kDebugFileName);
    DebugLine() = c.line;
    WriteDebugLine();
    EXPECT_EQ(ReadFile(app::data::kDebugFileName), c.bytes);
  }

  // Later lines are appended.
  DebugLine() = "druhý";
  WriteDebugLine();
  EXPECT_EQ(ReadFile(app::data::kDebugFileName), std::string(254, 'a') + "\x9E\r\n" + "druh\xFD\r\n");
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(DebugLogTest, FailedAppendShowsTheBoxAndGoesOn) {
  app::data::DebugEnabled = 1;
  ASSERT_EQ(::mkdir(app::data::kDebugFileName, 0755), 0);
  DebugLine() = "ztracený řádek";
  WriteDebugLine();
  WriteDebugLine();
  ASSERT_EQ(boxes_.size(), 2u);
  for (const auto& [caption, text] : boxes_) {
    EXPECT_EQ(text, app::data::kDebugAppendError);
    const std::string prefix = "Chyba č.0x";
    ASSERT_EQ(caption.substr(0, prefix.size()), prefix);
    const std::string number = caption.substr(prefix.size());
    EXPECT_FALSE(number.empty());
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << caption;
    EXPECT_NE(number, "0");
  }

  // The log works again once the folder is gone.
  ASSERT_EQ(::rmdir(app::data::kDebugFileName), 0);
  DebugLine() = "dále";
  WriteDebugLine();
  EXPECT_EQ(ReadFile(app::data::kDebugFileName), "d\xE1le\r\n");
  EXPECT_EQ(boxes_.size(), 2u);
}

}  // namespace

namespace {

TEST_F(DebugLogTest, AWriterThatKeepsTheLogLockedCostsALineNotTheProgram) {
  app::data::DebugEnabled = 1;
  testsupport::WriteFile("Debug.log", "");
  // flock locks belong to an open file: this one stands for another writer.
  const int other = ::open("Debug.log", O_RDWR | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  DebugLine() = "lost";
  WriteDebugLine();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].first.rfind("Chyba č.0x", 0), 0u);
  EXPECT_EQ(ReadFile("Debug.log"), "");
  ::close(other);
  DebugLine() = "kept";
  WriteDebugLine();
  EXPECT_EQ(ReadFile("Debug.log"), "kept\r\n");
}

}  // namespace
