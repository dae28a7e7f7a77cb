// The real executable in a folder write-protected for it alone (a read-only
// bind mount in a private mount namespace): every record file is refused at
// its open with 5 through the error box, and nothing in the folder changes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <string>

#include "tests/support/child.h"
#include "tests/support/tempdir.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Child;
using testsupport::SnapshotFolder;
using testsupport::TempDir;

constexpr auto kLimit = 10s;

TEST(WriteProtectedFolder, EveryRecordFileIsRefusedWith5AndLeftAsItWas) {
  if (!testsupport::PrivateMountsWork()) GTEST_SKIP() << "no private mount namespace here";
  TempDir runtime, work;
  ::chmod(runtime.path().c_str(), 0700);
  testsupport::ChildOptions o;
  o.cwd = work.path();
  o.env = testsupport::ProgramEnv(runtime.path());
  {
    // A first run makes the record files.
    Child first(VELORN_EXE, {}, o);
    ASSERT_TRUE(first.WaitForOutput("velorn: ready", kLimit)) << first.err();
    first.Signal(SIGTERM);
    ASSERT_EQ(first.Wait(kLimit), 0) << first.err();
  }
  const std::string before = SnapshotFolder(work.path());
  for (const char* name : {"Tasks.tps", "Preset.tps", "Outputs.tps", "Settings.tps"})
    ASSERT_NE(before.find(std::string(name) + "\n"), std::string::npos) << name;

  o.env.push_back("WORK=" + work.path());
  Child c(testsupport::kUnshare,
          testsupport::InPrivateMounts("mount --bind \"$WORK\" \"$WORK\" && mount -o remount,bind,ro \"$WORK\"",
                                       work.path(), VELORN_EXE, {}),
          o);
  ASSERT_TRUE(c.WaitForOutput("velorn: ready", kLimit)) << c.err();
  c.Signal(SIGTERM);
  EXPECT_EQ(c.Wait(kLimit), 0) << c.err();
  for (const char* name : {"Tasks.tps", "Preset.tps", "Outputs.tps", "Settings.tps"}) {
    SCOPED_TRACE(name);
    const size_t at = c.err().find("Chyba souboru: Soubor " + std::string(name) + " nelze otevřít.");
    ASSERT_NE(at, std::string::npos) << c.err();
    const std::string line = c.err().substr(at, c.err().find('\n', at) - at);
    EXPECT_NE(line.find("Přístup odepřen (5)"), std::string::npos) << line;
  }
  EXPECT_EQ(SnapshotFolder(work.path()), before);
}

}  // namespace
