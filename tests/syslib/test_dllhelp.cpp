#include "syslib/dllhelp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/carried.h"
#include "syslib/win32error.h"
#include "tests/support/icon_file.h"
#include "tests/support/tempdir.h"
#include "tests/syslib/capture.h"

namespace syslib {
namespace {

using testsupport::CommandLineScope;
using testsupport::IconFile;
using testsupport::StderrCapture;

// The cache's states, one look-up after another on the same cache.
TEST(LoadDLLProc, TheCacheLoadsOnceAndFailsForGood) {
  struct Step {
    const char* dll;
    const char* proc;
    bool debug;
    LONG result;
    bool cacheFailed;
    uint64_t loads;      // LoadLibraryA calls this step made
    LONG error;          // the library error afterwards
    const char* detail;  // its detail starts so
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const std::vector<Case> cases = {
      {"a built-in function, then the cache",
       {{"shell32.dll  ", "DllGetVersion ", false, 0, false, 1, 0, ""},
        {"shell32.dll", "DllGetVersion", false, 0, false, 0, 0, ""}}},
      {"a missing function, twice",
       {{"version.dll", "NoSuchFunction", false, 1, true, 1, 0, ""},
        {"version.dll", "NoSuchFunction", false, 1, true, 0, 0, ""}}},
      {"a missing module, twice",
       {{"nosuch_module.so", "f", false, 1, true, 1, 0, ""},
        {"nosuch_module.so", "f", false, 1, true, 0, 0, ""}}},
      {"a missing function with /debug",
       {{"WTSAPI32", "Nothing", true, 1, true, 1, kErrLoadDLLProc,
         "ds_LoadDLLProc error, GetProcAddress failed Proc=Nothing DLL=WTSAPI32 Procedure not found"}}},
      {"a missing module with /debug",
       {{"nosuch_module.so", "f", true, 1, true, 1, kErrLoadDLLProc,
         "ds_LoadDLLProc error, LoadLibrary failed DLL=nosuch_module.so Module not found"}}},
      {"a shared object's function", {{"libm.so.6", "cos", false, 0, false, 1, 0, ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcCache cache{0};
    for (const Step& s : c.steps) {
      StderrCapture quiet;
      CommandLineScope cmd(s.debug ? std::vector<std::string>{"/debug"} : std::vector<std::string>{});
      const uint64_t before = LoadLibraryCalls();
      HMODULE module = 0;
      EXPECT_EQ(ds_LoadDLLProc(s.dll, s.proc, cache, &module), s.result);
      EXPECT_EQ(LoadLibraryCalls() - before, s.loads);
      EXPECT_EQ(cache.load() == kProcNotFound, s.cacheFailed);
      EXPECT_EQ(cache.load() == 0, false);
      EXPECT_EQ(module != 0, s.result == 0 && s.loads == 1);
      EXPECT_EQ(LibraryErrorCode(), s.error);
      EXPECT_EQ(LibraryErrorDetail().rfind(s.detail, 0), 0u) << LibraryErrorDetail();
      EXPECT_EQ(LibraryProcedureName(), "ds_LoadDLLProc");
    }
  }
}

TEST(LoadDLLProc, TheAddressIsTheFunctionAndTheModuleStaysLoaded) {
  ProcCache cache{0};
  HMODULE module = 0;
  ASSERT_EQ(ds_LoadDLLProc("Shell32", "DllGetVersion", cache, &module), 0);
  DLLVERSIONINFO info;
  info.cbSize = sizeof info;
  EXPECT_EQ(reinterpret_cast<DLLGETVERSIONPROC>(cache.load())(&info), 0);
  EXPECT_EQ(info.dwMajorVersion, 6u);
  const std::string name = "shell32.dll";
  EXPECT_EQ(GetModuleHandleA(&name), module);
}

TEST(DLLVersion, Shell32IsSixAndAModuleWithoutTheFunctionFails) {
  DllVersion v;
  EXPECT_EQ(ds_GetDLLVersion("shell32.dll", v), 0);
  EXPECT_EQ(v.MAJORVERSION, 6u);
  EXPECT_EQ(v.MINORVERSION, 0u);
  EXPECT_EQ(v.STRING, "6.0.0");
  EXPECT_EQ(LibraryErrorCode(), 0);

  // Another module has a cache of its own: no answer from shell32's.
  DllVersion untouched;
  untouched.STRING = "as it was";
  EXPECT_EQ(ds_GetDLLVersion("version.dll", untouched), 1);
  EXPECT_EQ(untouched.STRING, "as it was");

  DLLVERSIONINFO small;
  small.cbSize = 8;
  EXPECT_NE(Shell32DllGetVersion(&small), 0) << "a record too small is refused";
  EXPECT_EQ(small.dwMajorVersion, 0u);
}

TEST(GetHModule, TheProgramLoadedModulesAndNoOther) {
  EXPECT_EQ(ds_GetHModule("", 1), kProgramModule);
  ProcCache cache{0};
  HMODULE loaded = 0;
  ASSERT_EQ(ds_LoadDLLProc("version.dll", "VerQueryValueA", cache, &loaded), 0);
  EXPECT_EQ(ds_GetHModule("VERSION.DLL  ", 0), loaded);
  EXPECT_EQ(LibraryErrorCode(), 0);
  EXPECT_EQ(ds_GetHModule("notloaded.dll", 0), 0u);
  EXPECT_EQ(LibraryErrorCode(), kErrGetHIcon);
  EXPECT_EQ(LibraryErrorDetail(), "ds_GetHModule Error, GetModuleHandle failed : Module not found");
}

TEST(GetHIcon, FilesComeFromTheFolderAndTildeNamesFromTheProgram) {
  testsupport::TempDir dir(/*makeCurrent=*/true);
  testsupport::WriteFile(dir.file("velorn.ico"), IconFile());
  testsupport::WriteFile(dir.file("plain.txt"), "not an icon");
  ASSERT_NE(platform::FindCarried("stop.ico"), nullptr);

  struct Case {
    const char* name;
    HMODULE module;
    uint8_t own;
    bool loads;
    const char* bytesOf;  // "file", "carried" or ""
    const char* detail;
  };
  const std::vector<Case> cases = {
      {"velorn.ico", 0, 1, true, "file", ""},
      {"~stop.ico", 0, 1, true, "carried", ""},
      {"~STOP.ICO", 0, 1, true, "carried", ""},
      {"~stop_ico", kProgramModule, 0, true, "carried", ""},
      {"stop.ico", 0, 1, false, "", "ds_GetHIcon Error : loadImage failed : No such file or directory stop.ico"},
      {"missing.ico", 0, 1, false, "", "ds_GetHIcon Error : loadImage failed : No such file or directory missing.ico"},
      {"plain.txt", 0, 1, false, "", "ds_GetHIcon Error : loadImage failed : Invalid data plain.txt"},
      {"~ok.gif", 0, 1, false, "", "ds_GetHIcon Error : loadImage failed : Invalid data ok_gif"},
      {"~nothing.ico", 0, 1, false, "", "ds_GetHIcon Error : loadImage failed : Resource name not found nothing_ico"},
      {"stop.ico", kProgramModule, 0, false, "",
       "ds_GetHIcon Error : loadImage failed : Resource name not found stop.ico"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HICON icon = ds_GetHIcon(c.module, c.name, c.own, 0, 1);
    EXPECT_EQ(icon != 0, c.loads);
    EXPECT_EQ(LibraryProcedureName(), "ds_GetHIcon");
    if (!c.loads) {
      EXPECT_EQ(LibraryErrorCode(), kErrGetHIcon);
      EXPECT_EQ(LibraryErrorDetail(), c.detail);
      continue;
    }
    EXPECT_EQ(LibraryErrorCode(), 0);
    const auto bytes = platform::ui::IconBytes(icon);
    const std::string got(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (std::string(c.bytesOf) == "file") EXPECT_EQ(got, IconFile());
    else {
      const auto carried = platform::CarriedImage("stop.ico");
      EXPECT_EQ(got, std::string(reinterpret_cast<const char*>(carried.data()), carried.size()));
    }
  }
}

TEST(WindowsFolder, IsOurFixedFolderAndSetsNoError) {
  SetLibraryProcedureName("before");
  SetLibraryError(kErrGetHIcon);
  EXPECT_EQ(GetWindowsFolder(), kWindowsFolder);
  EXPECT_EQ(LibraryErrorCode(), kErrGetHIcon);
  EXPECT_EQ(LibraryProcedureName(), "before");
}

}  // namespace
}  // namespace syslib
