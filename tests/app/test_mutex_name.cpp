#include <gtest/gtest.h>

#include <string>

#include "app/program.h"

namespace {

TEST(MutexName, WorkedExampleOfTheRootFolder) {
  // A start in C:\ gives the source text "VELORNC:\".
  EXPECT_EQ(app::BuildInstanceMutexName("VELORNC:\\"), "{66E26391-49AB-CDE0-0123-456789ABCDE0}");
}

TEST(MutexName, ShapeHoldsForShortAndLongSources) {
  const std::string sources[] = {"", "VELORN/", "VELORN/HOME/USER/ANNOUNCEMENTS/SCHOOL/BUILDING-A/ROOM-12",
                                 std::string(63, '\xff'), "VELORN/\xc3\xa1"};
  for (const auto& s : sources) {
    const std::string name = app::BuildInstanceMutexName(s);
    ASSERT_EQ(name.size(), 38u) << s;
    EXPECT_EQ(name.front(), '{');
    EXPECT_EQ(name.back(), '}');
    for (size_t pos : {9u, 14u, 19u, 24u}) EXPECT_EQ(name[pos], '-') << name;
    EXPECT_EQ(name.find('F'), std::string::npos) << name;
    EXPECT_EQ(name, app::BuildInstanceMutexName(s)) << "stable";
  }
}

TEST(MutexName, OnlyTheFirst32CharactersCountAndBlanksFillTheRest) {
  const std::string base(32, 'Q');
  EXPECT_EQ(app::BuildInstanceMutexName(base + "tail one"), app::BuildInstanceMutexName(base + "other"));
  // A short source behaves as if padded with blanks.
  EXPECT_EQ(app::BuildInstanceMutexName("VELORN/X"), app::BuildInstanceMutexName("VELORN/X" + std::string(24, ' ')));
}

TEST(MutexName, SourceTextIsUpperCasedTrimmedAndCut) {
  EXPECT_EQ(app::BuildMutexSourceText("/home/user/velorn  "), "VELORN/HOME/USER/VELORN");
  const std::string longPath = "/" + std::string(100, 'a');
  const std::string s = app::BuildMutexSourceText(longPath);
  EXPECT_EQ(s.size(), 63u);
  EXPECT_EQ(s.substr(0, 8), "VELORN/A");
  // Folders differing in case share one source text (as on the original
  // file system); the lock file's folder hash keeps them apart.
  EXPECT_EQ(app::BuildMutexSourceText("/data/Velorn"), app::BuildMutexSourceText("/data/VELORN"));
}

}  // namespace
