#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/instance_lock.h"
#include "tests/support/child.h"
#include "tests/support/tempdir.h"

namespace {

using testsupport::TempDir;

// Points XDG_RUNTIME_DIR at a private folder for one test.
class RuntimeDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::chmod(dir_.path().c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    if (had_) ::setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
    else ::unsetenv("XDG_RUNTIME_DIR");
  }
  TempDir dir_;
  bool had_ = false;
  std::string old_;
};

TEST_F(RuntimeDirTest, SecondCreateInAnotherProcessSeesTheMutex) {
  const auto first = platform::CreateInstanceMutex("{NAME}", "/folder/a");
  ASSERT_GT(first.handle, 0);
  EXPECT_EQ(first.error, 0);
  EXPECT_EQ(platform::RuntimeDir(), dir_.path() + "/velorn");

  // flock is per open file description: a second open in this process
  // behaves as another process would.
  const auto second = platform::CreateInstanceMutex("{NAME}", "/folder/a");
  EXPECT_GT(second.handle, 0);
  EXPECT_EQ(second.error, platform::kErrorAlreadyExists);
  platform::CloseInstanceMutex(second.handle);

  // Same mutex name, another folder: its own lock.
  const auto other = platform::CreateInstanceMutex("{NAME}", "/folder/b");
  EXPECT_EQ(other.error, 0);
  platform::ReleaseInstanceMutex(other.handle);
  platform::CloseInstanceMutex(other.handle);

  platform::ReleaseInstanceMutex(first.handle);
  platform::CloseInstanceMutex(first.handle);
  const auto again = platform::CreateInstanceMutex("{NAME}", "/folder/a");
  EXPECT_EQ(again.error, 0);
  platform::CloseInstanceMutex(again.handle);
}

TEST_F(RuntimeDirTest, LockFileIsCloseOnExec) {
  const auto m = platform::CreateInstanceMutex("{CLOEXEC}", "/x");
  ASSERT_GT(m.handle, 0);
  EXPECT_TRUE(::fcntl(static_cast<int>(m.handle), F_GETFD) & FD_CLOEXEC);
  platform::CloseInstanceMutex(m.handle);
}

TEST_F(RuntimeDirTest, ALinkInPlaceOfTheLockFileIsNotFollowed) {
  const std::string dir = platform::RuntimeDir();
  ASSERT_FALSE(dir.empty());
  const std::string target = dir_.file("victim");
  testsupport::WriteFile(target, "keep");
  const std::string lock = dir + "/" + platform::LockFileName("{LINK}", "/y");
  ASSERT_EQ(::symlink(target.c_str(), lock.c_str()), 0);
  const auto m = platform::CreateInstanceMutex("{LINK}", "/y");
  EXPECT_EQ(m.handle, 0);
  EXPECT_NE(m.error, 0);
  EXPECT_EQ(testsupport::ReadFile(target), "keep");
}

TEST_F(RuntimeDirTest, AFolderOthersCanWriteIsRefused) {
  ::chmod(dir_.path().c_str(), 0777);
  // Root falls back to its own folder under /run; the shared one is never used.
  const std::string d = platform::RuntimeDir();
  EXPECT_NE(d, dir_.path() + "/velorn");
  ::chmod(dir_.path().c_str(), 0700);
}

TEST(LockFileName, CarriesTheFolderHash) {
  EXPECT_NE(platform::LockFileName("{N}", "/a"), platform::LockFileName("{N}", "/b"));
  EXPECT_EQ(platform::LockFileName("{N}", "/a"), platform::LockFileName("{N}", "/a"));
  EXPECT_EQ(platform::LockFileName("{N}", "/a").rfind("{N}-", 0), 0u);
}

}  // namespace
