// The Win32-numbered last error and the system texts.
#include "syslib/win32error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <thread>

using namespace syslib;

TEST(Win32LastError, ErrnoMapsToWin32Numbers) {
  const struct {
    int err;
    uint32_t code;
  } map[] = {{0, 0},          {ENOENT, 2},    {ENOTDIR, 3},  {ENAMETOOLONG, 3}, {EMFILE, 4},
             {EACCES, 5},     {EPERM, 5},     {EBADF, 6},    {ENOMEM, 8},       {EINVAL, 87},
             {EBUSY, 170},    {EEXIST, 183},  {EIO, 1117},   {ETIMEDOUT, 1460}, {EAGAIN, 997},
             {ENOSPC, 112},   {EPIPE, 109},   {ENXIO, 1167}, {ENOTTY, 1},       {EINTR, 995}};
  for (const auto& m : map) {
    EXPECT_EQ(SetLastErrorFromErrno(m.err), m.code) << m.err;
    EXPECT_EQ(GetLastError(), m.code) << m.err;
    EXPECT_EQ(LastErrno(), m.err);
  }
  // No Win32 counterpart: ERROR_GEN_FAILURE.
  EXPECT_EQ(SetLastErrorFromErrno(EDOM), 31u);
}

TEST(Win32LastError, SystemTextsEndWithLineEnd) {
  SetLastError(0);
  EXPECT_EQ(FormatSystemMessage(0), "Success\r\n");
  EXPECT_EQ(FormatSystemMessage(2), "No such file or directory\r\n");
  EXPECT_EQ(FormatSystemMessage(5), "Permission denied\r\n");
  EXPECT_EQ(FormatSystemMessage(1460), "Connection timed out\r\n");
  EXPECT_EQ(FormatSystemMessage(35), "");
  EXPECT_EQ(FormatSystemMessage(0xA0000014u), "");
}

TEST(Win32LastError, TextOfTheExactErrnoLastSet) {
  SetLastErrorFromErrno(EPERM);
  EXPECT_EQ(FormatSystemMessage(5), "Operation not permitted\r\n");
  EXPECT_EQ(FormatSystemMessage(2), "No such file or directory\r\n");  // another number: its own errno
  SetLastError(5);                                                     // same number: errno kept
  EXPECT_EQ(FormatSystemMessage(5), "Operation not permitted\r\n");
  SetLastError(2);                                                     // another number: errno dropped
  EXPECT_EQ(LastErrno(), 0);
  EXPECT_EQ(FormatSystemMessage(5), "Permission denied\r\n");
  SetLastErrorFromErrno(ENAMETOOLONG);
  EXPECT_EQ(FormatSystemMessage(3), "File name too long\r\n");
  SetLastErrorFromErrno(EDOM);
  EXPECT_EQ(FormatSystemMessage(31), "Numerical argument out of domain\r\n");
  SetLastError(0);
  EXPECT_EQ(FormatSystemMessage(31), "");
}

TEST(Win32LastError, TextsDoNotFollowTheProcessLocaleNorTouchErrno) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_ALL, "C.UTF-8");
  errno = EXDEV;
  EXPECT_EQ(FormatSystemMessage(2), "No such file or directory\r\n");
  EXPECT_EQ(errno, EXDEV);
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(Win32LastError, PerThread) {
  SetLastErrorFromErrno(EACCES);
  uint32_t seen = 99;
  std::string text;
  std::thread t([&] {
    seen = GetLastError();
    SetLastErrorFromErrno(EPERM);
    text = FormatSystemMessage(5);
  });
  t.join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(text, "Operation not permitted\r\n");
  EXPECT_EQ(LastErrno(), EACCES);
  EXPECT_EQ(FormatSystemMessage(5), "Permission denied\r\n");
}
