// The library's error codes, texts and per-thread state.
#include "syslib/liberror.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <set>
#include <string>
#include <thread>

#include "platform/thread.h"
#include "syslib/win32error.h"
#include "tests/syslib/capture.h"

using namespace syslib;
using testsupport::CommandLineScope;
using testsupport::StderrCapture;

namespace {

constexpr LONG Code(uint32_t u) { return static_cast<LONG>(u); }
const std::string kUnknown = "Unknown Winhook error code";

class LibError : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetCommandLine(std::vector<std::string>{});
    SetLibraryProcedureName("LibErrorTest");
    SetLastError(0);
  }
};

}  // namespace

TEST(LibErrorCodes, CodesAreNegativeLongs) {
  EXPECT_EQ(kFirstLibCode, -1610612735);
  EXPECT_EQ(kLastLibCode, Code(0xA0000058u));
  EXPECT_LT(kErrNewPortOpen, 0);
}

TEST(LibErrorCodes, SampleTextsAreExact) {
  const struct {
    uint32_t code;
    const char* text;
  } samples[] = {
      {0xA0000001u, "ds_GetTempPath failed, TempPath is longer than 260 chars"},
      {0xA000000Du, "ds_EmptyPort failed, Could not empty buffer"},
      {0xA0000014u, "NewPort failed, Error opening port"},
      {0xA0000015u, "NewPort failed, Error setting com buffers"},
      {0xA0000019u, "WritePort API call to WriteFile failed"},
      {0xA000001Au, "ReadPort API call to ReadFile failed"},
      {0xA0000020u, "ds_PagerSend failed, +++ unsuccessful"},
      {0xA0000029u, "UseCommEvents API call to SetCommMask failed"},
      {0xA000002Au, "MonitorCommEvents API call to WaitCommEvent failed"},
      {0xA0000031u, "ds_GetFileVersionInfo error"},
      {0xA0000037u, "WritePortWait error"},
      {0xA000003Au, "ds_loadDLLProc error"},
      {0xA000004Du, "WinTaskbarAddIcon error"},
      {0xA0000058u, "ds_StatusGrip error"},
  };
  for (const auto& s : samples) EXPECT_EQ(GetLibraryErrorText(Code(s.code)), s.text) << std::hex << s.code;
  EXPECT_EQ(GetLibraryErrorText(kErrEmptyPort), "ds_EmptyPort failed, Could not empty buffer");
  EXPECT_EQ(GetLibraryErrorText(kErrWritePortWait), "WritePortWait error");
}

TEST(LibErrorCodes, All88CodesHaveTheirOwnText) {
  std::set<std::string> texts;
  for (uint32_t i = 0; i < 88; ++i) {
    const std::string t = GetLibraryErrorText(LibCode(i));
    ASSERT_NE(t, kUnknown) << i;
    // One of the three patterns, each beginning with the procedure's name.
    const bool failedReason = t.find(" failed, ") != std::string::npos;
    const bool apiCall = t.find(" API call to ") != std::string::npos && t.ends_with(" failed");
    const bool plain = t.ends_with(" error") || t.ends_with(" failed") || t.find(" error, ") != std::string::npos;
    EXPECT_TRUE(failedReason || apiCall || plain) << t;
    texts.insert(t);
  }
  EXPECT_EQ(texts.size(), 88u);
}

TEST(LibErrorCodes, CodesOutsideTheTableAreUnknown) {
  EXPECT_EQ(GetLibraryErrorText(Code(0xA0000059u)), kUnknown);
  EXPECT_EQ(GetLibraryErrorText(Code(0xA0000000u)), kUnknown);
  EXPECT_EQ(GetLibraryErrorText(Code(0xA0001000u)), kUnknown);
  EXPECT_EQ(GetLibraryErrorText(Code(0x20000001u)), kUnknown);
  EXPECT_EQ(GetLibraryErrorText(Code(0xE0000014u)), kUnknown);
}

TEST_F(LibError, CodeZeroGivesEmptyText) {
  EXPECT_EQ(GetLibraryErrorText(0), "");
  SetLibraryErrorDetail("some detail");
  EXPECT_EQ(SetLibraryError(0), 0);
  EXPECT_EQ(GetLibraryErrorText(), "");
}

TEST_F(LibError, NoCodeWithEmptyDetailKeepsBothSeparators) {
  SetLibraryProcedureName("NewPort");
  EXPECT_EQ(SetLibraryError(kErrNewPortOpen), kErrNewPortOpen);
  EXPECT_EQ(LibraryErrorCode(), kErrNewPortOpen);
  EXPECT_EQ(GetLibraryErrorText(), "NewPort failed, Error opening port, , NewPort");
}

TEST_F(LibError, NoCodeCarriesDetailWithoutTrailingBlanks) {
  SetLibraryProcedureName("NewPort");
  SetLastErrorFromErrno(ENOENT);
  SetLibraryErrorDetail("port=COM1:9600,n,8,1, " + GetLastErrorText() + "   ");
  SetLibraryError(kErrNewPortOpen);
  EXPECT_EQ(GetLibraryErrorText(),
            "NewPort failed, Error opening port, port=COM1:9600,n,8,1, No such file or directory, NewPort");
  // With a code the suffix is empty.
  EXPECT_EQ(GetLibraryErrorText(kErrNewPortOpen), "NewPort failed, Error opening port");
}

TEST_F(LibError, EmptyRightAfterASuccessfulProcedure) {
  SetLibraryProcedureName("WritePort");
  SetLibraryErrorDetail("detail of a failure");
  SetLibraryError(kErrWritePort);
  ASSERT_NE(GetLibraryErrorText(), "");
  SetLibraryProcedureName("ReadPort");
  EXPECT_EQ(LibraryErrorCode(), 0);
  EXPECT_EQ(LibraryErrorDetail(), "");
  EXPECT_EQ(LibraryProcedureName(), "ReadPort");
  EXPECT_EQ(GetLibraryErrorText(), "");
}

TEST_F(LibError, InnerProcedureNameReplacesTheOuter) {
  SetLibraryProcedureName("ds_EmptyPort");
  SetLibraryProcedureName("ReadPort");
  SetLibraryError(kErrEmptyPort);
  EXPECT_EQ(GetLibraryErrorText(), "ds_EmptyPort failed, Could not empty buffer, , ReadPort");
}

TEST_F(LibError, OmittedNameKeepsTheLastName) {
  SetLibraryProcedureName("WinAccept");
  SetLibraryErrorDetail("x");
  SetLibraryError(Code(0xA0000035u));
  SetLibraryProcedureName("Ignored", true);
  EXPECT_EQ(LibraryErrorCode(), 0);
  EXPECT_EQ(LibraryErrorDetail(), "");
  EXPECT_EQ(LibraryProcedureName(), "WinAccept");
}

TEST_F(LibError, Win32NumberGivesSystemTextWithLineEnd) {
  EXPECT_EQ(GetLibraryErrorText(2), "No such file or directory\r\n");
  SetLibraryProcedureName("NewPort");
  SetLibraryErrorDetail("d");
  SetLibraryError(2);
  EXPECT_EQ(GetLibraryErrorText(), "No such file or directory\r\n, d, NewPort");
  // A Win32 number without a system text.
  SetLibraryError(35);
  EXPECT_EQ(GetLibraryErrorText(), kUnknown + ", d, NewPort");
  EXPECT_EQ(GetLibraryErrorText(35), kUnknown);
}

TEST_F(LibError, TextsAreCutTo255Characters) {
  const std::string longText(300, 'd');
  SetLibraryProcedureName(std::string(300, 'P'));
  EXPECT_EQ(LibraryProcedureName(), std::string(255, 'P'));
  SetLibraryErrorDetail(longText);
  EXPECT_EQ(LibraryErrorDetail(), std::string(255, 'd'));
  SetLibraryError(kErrReadPort);
  const std::string t = GetLibraryErrorText();
  EXPECT_EQ(t.size(), 255u);
  EXPECT_EQ(t, ("ReadPort API call to ReadFile failed, " + std::string(255, 'd')).substr(0, 255));
}

TEST_F(LibError, GetLastErrorTextDropsOneLineEnd) {
  SetLastError(0);
  EXPECT_EQ(GetLastErrorText(), "Success");
  SetLastErrorFromErrno(ENOENT);
  EXPECT_EQ(GetLastErrorText(), "No such file or directory");
  SetLastErrorFromErrno(EACCES);
  EXPECT_EQ(GetLastErrorText(), "Permission denied");
  SetLastError(35);  // no system text
  EXPECT_EQ(GetLastErrorText(), "");
}

TEST_F(LibError, WithoutDebugNothingIsLogged) {
  StderrCapture cap;
  SetLibraryProcedureName("NewPort");
  EXPECT_EQ(SetLibraryError(kErrNewPortOpen), kErrNewPortOpen);
  EXPECT_EQ(cap.Finish(), "");
  EXPECT_EQ(LibraryErrorCode(), kErrNewPortOpen);
}

TEST_F(LibError, WithDebugTheFullLineIsLogged) {
  CommandLineScope args({"/DEBUG"});
  SetLibraryProcedureName("NewPort");
  SetLastErrorFromErrno(ENOENT);
  SetLibraryErrorDetail("port=COM1:9600,n,8,1, " + GetLastErrorText());
  StderrCapture cap;
  EXPECT_EQ(SetLibraryError(kErrNewPortOpen), kErrNewPortOpen);
  EXPECT_EQ(cap.Finish(),
            " NewPort failed, Error opening port, port=COM1:9600,n,8,1, No such file or directory, NewPort\r\n");
}

TEST_F(LibError, DebugParameterWithoutValueDoesNotLog) {
  CommandLineScope args({"/debugx", "SERVICEPATH=/debug"});
  StderrCapture cap;
  SetLibraryError(kErrNewPortOpen);
  EXPECT_EQ(cap.Finish(), "");
}

TEST(LibErrorThreads, StateIsPerThread) {
  SetLibraryProcedureName("MainProc");
  SetLibraryErrorDetail("main detail");
  SetLibraryError(kErrWritePort);
  SetLastError(5);

  std::atomic<bool> freshBlank{false};
  std::atomic<int> failures{0};
  auto worker = [&](int n) {
    if (n == 0)
      freshBlank = LibraryErrorCode() == 0 && LibraryErrorDetail().empty() && LibraryProcedureName().empty() &&
                   GetLastError() == 0;
    for (int i = 0; i < 2000; ++i) {
      const std::string name = "Proc" + std::to_string(n);
      const std::string detail = "detail " + std::to_string(n) + " " + std::to_string(i);
      SetLibraryProcedureName(name);
      SetLibraryErrorDetail(detail);
      const LONG code = LibCode(static_cast<uint32_t>(n * 10 + i % 10));
      SetLibraryError(code);
      SetLastErrorFromErrno(n == 0 ? ENOENT : EACCES);
      std::this_thread::yield();
      if (LibraryErrorCode() != code || LibraryErrorDetail() != detail || LibraryProcedureName() != name ||
          GetLastError() != (n == 0 ? 2u : 5u) ||
          GetLibraryErrorText() != GetLibraryErrorText(code) + ", " + detail + ", " + name)
        ++failures;
    }
  };
  {
    platform::Thread a([&] { worker(0); });
    platform::Thread b([&] { worker(1); });
  }
  EXPECT_TRUE(freshBlank);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(LibraryErrorCode(), kErrWritePort);
  EXPECT_EQ(LibraryErrorDetail(), "main detail");
  EXPECT_EQ(LibraryProcedureName(), "MainProc");
  EXPECT_EQ(GetLastError(), 5u);
}
