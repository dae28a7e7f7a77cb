#include "syslib/liberror.h"

#include <array>

#include "platform/cmdline.h"
#include "platform/text.h"
#include "syslib/debugout.h"
#include "syslib/win32error.h"

namespace syslib {
namespace {

constexpr std::size_t kMaxChars = 255;
constexpr uint32_t kFirst = 0xA0000001u;
constexpr uint32_t kLast = 0xA0000058u;
constexpr std::string_view kUnknown = "Unknown Winhook error code";

// LibraryErrorTable: code 0A0000001h + i.
constexpr std::array<std::string_view, 88> kTable = {
    "ds_GetTempPath failed, TempPath is longer than 260 chars",  // 0A0000001h
    "ds_GetFolderPath failed, Path does not exist",
    "ds_GetFolderPath failed, Invalid FolderID",
    "ds_String2File error, No filename specified",
    "ds_String2File API call to CreateFile failed",  // 0A0000005h
    "ds_String2File API call to WriteFile failed",
    "ds_String2File API call to CloseHandle failed",
    "ds_File2String error, No filename specified",
    "ds_File2String API call to CreateFile failed",
    "ds_File2String error, File does not exist",  // 0A000000Ah
    "ds_File2String API call to ReadFile failed",
    "ds_File2String API call to CloseHandle failed",
    "ds_EmptyPort failed, Could not empty buffer",
    "ds_GSMGetReply failed, Timeout",
    "ds_GetGSMReply error, Receive buffer too small",  // 0A000000Fh
    "ds_GSMEchoOFF failed",
    "ds_GSMSendSMS failed",
    "ds_GSMEnterPin failed",
    "ds_GSMSetSMSTextmode failed",
    "NewPort failed, Error opening port",  // 0A0000014h
    "NewPort failed, Error setting com buffers",
    "ResetPort API call to BuildCommDCB failed",
    "ResetPort API call to SetCommState failed",
    "ResetPort API call to SetCommTimeouts failed",
    "WritePort API call to WriteFile failed",  // 0A0000019h
    "ReadPort API call to ReadFile failed",
    "SethandShake API call to SetCommState failed",
    "ds_SetReg API call to RegOpenKeyEx failed",
    "ds_CloseReg API call to RegCloseKey failed",
    "ds_PagerSend failed, ATZ does not return OK",  // 0A000001Eh
    "ds_PagerSend failed, No CONNECT detected",
    "ds_PagerSend failed, +++ unsuccessful",
    "ds_PagerSend failed, ATH0 unsuccessful",
    "ds_GSMReadSMS failed, Index out of range",
    "ds_GSMDeleteSMS failed, Index out of range",  // 0A0000023h
    "ds_GSMEnterPin error, No PIN specified",
    "ds_GSMReadSMS failed, Unexpected response",
    "ds_PAGERGetReply failed, Timeout",
    "ds_GSMSetSMSReport failed",
    "ds_GSMReadSMSInit failed, Could not select report source",  // 0A0000028h
    "UseCommEvents API call to SetCommMask failed",
    "MonitorCommEvents API call to WaitCommEvent failed",
    "ds_GSMSelectSR failed, Unexpected response",
    "ds_GSMDeleteSMSReport failed, Unexpected response",
    "ds_GSMReadSMSReport failed, Index out of range",  // 0A000002Dh
    "ds_GSMReadSMSReport failed, Unexpected response",
    "ds_GSMSetEvents failed",
    "ds_GSMReset failed",
    "ds_GetFileVersionInfo error",
    "ds_SetClipboard error",  // 0A0000032h
    "AddAlerts error",
    "CloseHandle error",
    "WinAccept error",
    "ds_WTSCallBack error",
    "WritePortWait error",  // 0A0000037h
    "ds_GetDLLVersion error",
    "ds_UnloadDLLProc error",
    "ds_loadDLLProc error",
    "ds_File2String error",
    "ds_GetHIcon error",  // 0A000003Ch
    "ds_MoveFile error",
    "ds_DeleteFile error",
    "ds_CreateDirectory error",
    "ds_RemoveDirectory error",
    "ds_GetFolderPath error",  // 0A0000041h
    "ds_GetTempPath error",
    "ds_GSMPagerSend error",
    "ds_PutReg error",
    "ds_GetReg error",
    "ds_CreateShortcut error",  // 0A0000046h
    "GetFreeDiskSpace error",
    "GetDiskSpace error",
    "ds_GetDiskMegs error",
    "ds_GetIDETemperature error",
    "ds_WinTaskbarBalloon error",  // 0A000004Bh
    "ds_Win98Balloon error",
    "WinTaskbarAddIcon error",
    "WinTaskbarRemoveIcon error",
    "WinTaskbarChangeIcon error",
    "WinBringToFront error",  // 0A0000050h
    "WinOnTop error",
    "WinNotOnTop error",
    "ds_HideWindow error",
    "ds_ShowWindow error",
    "ds_VisibleOnDesktop error",  // 0A0000055h
    "ds_WinTransparent error",
    "ds_StatusRectangle error",
    "ds_StatusGrip error",  // 0A0000058h
};
static_assert(kTable.size() == kLast - kFirst + 1);

// Per-thread state, blank when the thread starts.
thread_local LONG tCode = 0;
thread_local std::string tDetail;
thread_local std::string tName;

std::string Cut(std::string_view s) { return platform::text::TruncateChars(s, kMaxChars); }

}  // namespace

void SetLibraryProcedureName(std::string_view name, bool nameOmitted) {
  tCode = 0;
  tDetail.clear();
  if (!nameOmitted) tName = Cut(name);
}

void SetLibraryErrorDetail(std::string_view detail) { tDetail = Cut(detail); }

LONG SetLibraryError(LONG code) {
  tCode = code;
  if (platform::CommandHas("/debug")) LogEvent(GetLibraryErrorText());
  return code;
}

std::string GetLibraryErrorText(std::optional<LONG> code) {
  LONG c = 0;
  std::string suffix;
  if (code) {
    c = *code;
  } else {
    c = tCode;
    suffix = Cut(", " + std::string(platform::text::TrimRight(tDetail)) + ", " + tName);
  }
  if (c == 0) return {};
  const std::string_view tail = platform::text::TrimRight(suffix);
  const uint32_t u = static_cast<uint32_t>(c);

  std::string text;
  if ((u & kCustomerBit) == 0) {
    // FormatMessageA into a 255-character buffer: 1 to 254 characters succeed.
    const std::string sys = FormatSystemMessage(u);
    text = (!sys.empty() && sys.size() <= kMaxChars - 1) ? sys : std::string(kUnknown);
  } else if (u >= kFirst && u <= kLast) {
    text = kTable[u - kFirst];
  } else {
    text = kUnknown;
  }
  text += tail;
  return Cut(text);
}

std::string GetLastErrorText() {
  const std::string sys = FormatSystemMessage(GetLastError());
  const std::size_t n = sys.size() <= kMaxChars - 1 ? sys.size() : 0;  // the buffer holds 254
  if (n <= 2) return {};
  if (sys.compare(n - 2, 2, "\r\n") == 0) return sys.substr(0, n - 2);
  return sys.substr(0, n);
}

LONG LibraryErrorCode() { return tCode; }
std::string LibraryErrorDetail() { return tDetail; }
std::string LibraryProcedureName() { return tName; }

}  // namespace syslib
