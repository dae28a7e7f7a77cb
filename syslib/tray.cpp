#include "syslib/tray.h"

#include <algorithm>

#include "platform/text.h"
#include "platform/window.h"
#include "syslib/dllhelp.h"
#include "syslib/win32error.h"
#include "syslib/winhook.h"

namespace syslib {
namespace {

namespace pu = platform::ui;
using platform::text::TrimRight;
using platform::text::TruncateChars;

constexpr std::size_t kFieldChars = 255;
constexpr uint32_t kNoShell = 1400;
constexpr uint32_t kRefused = 87;  // ERROR_INVALID_PARAMETER

struct Tables {
  std::vector<IconRecord> iq;
  std::vector<LoadedIcon> ihq;
};

Tables& Thread() {
  thread_local Tables t;
  return t;
}

platform::ui::HWND TargetFrame() {
  const platform::ui::Window* w = platform::ui::TargetWindow();
  return w != nullptr ? platform::ui::FrameHandle(*w) : 0;
}

void Fail(LONG code, const std::string& detail) {
  SetLibraryErrorDetail(detail);
  SetLibraryError(code);
}

std::string Tip(std::string_view tip, uint8_t noTip, uint32_t shellVersion) {
  if (noTip != 0) return {};
  return TruncateChars(CleanTipText(tip, shellVersion), pu::kTipChars);
}

// The thread's shell's answer (pu::Shell_NotifyIcon); a refusal leaves the
// last error 1400 when the thread has no shell, else 87.
int32_t Notify(uint32_t message, const pu::NOTIFYICONDATA& data) {
  if (pu::Shell_NotifyIcon(message, &data) != 0) return 1;
  SetLastError(pu::ThreadNotifyShell() == nullptr ? kNoShell : kRefused);
  return 0;
}

void AlertCallback() { WinAlert(static_cast<LONG>(TaskBarCallBackMsg), 0, 0, 1, 1, 0); }

}  // namespace

const std::vector<IconRecord>& IQ() { return Thread().iq; }
const std::vector<LoadedIcon>& IHQ() { return Thread().ihq; }

HICON LoadTrayIcon(std::string_view module, std::string_view iconName, uint8_t ownModule) {
  Tables& t = Thread();
  const std::string name = TruncateChars(TrimRight(iconName), kFieldChars);
  for (const LoadedIcon& i : t.ihq)
    if (i.ICONNAME == name) return i.ICONHANDLE;
  HICON icon = 0;
  if (ownModule != 0) {
    icon = ds_GetHIcon(0, iconName, 1, 0, 1);
  } else {
    const HMODULE m = ds_GetHModule(module, 0);
    icon = m != 0 ? ds_GetHIcon(m, iconName, 0, 0, 1) : 0;
  }
  if (icon != 0) t.ihq.push_back({icon, name});
  return icon;
}

int FindTrayIcon(uint32_t id, uint8_t byWindow) {
  const Tables& t = Thread();
  const platform::ui::HWND frame = byWindow != 0 ? TargetFrame() : 0;
  for (std::size_t i = 0; i < t.iq.size(); ++i) {
    if (byWindow != 0 ? t.iq[i].WINHANDLE == frame : t.iq[i].ID == id) return static_cast<int>(i);
  }
  return -1;
}

pu::NOTIFYICONDATA SetIconDataSize(const IconRecord& icon) {
  pu::NOTIFYICONDATA d;
  d.cbSize = icon.SHELLVERSION < 5    ? pu::kNotifyIconDataSize4
             : icon.SHELLVERSION == 5 ? pu::kNotifyIconDataSize5
                                      : pu::kNotifyIconDataSize6;
  d.hWnd = icon.WINHANDLE;
  d.uID = icon.ID;
  return d;
}

std::string CleanTipText(std::string_view text, uint32_t shellVersion) {
  std::string field = TruncateChars(text, kFieldChars);
  if (shellVersion < 5) std::replace_if(field.begin(), field.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return std::string(TrimRight(field));
}

void DeleteTrayIcon(int index) {
  Tables& t = Thread();
  if (index < 0 || static_cast<std::size_t>(index) >= t.iq.size()) return;
  const pu::NOTIFYICONDATA d = SetIconDataSize(t.iq[static_cast<std::size_t>(index)]);
  if (Notify(pu::NIM_DELETE, d) == 0)
    Fail(kErrTaskbarRemoveIcon, "WinTaskbarRemoveIcon Error : shell_notifyIcon failed");
  t.iq.erase(t.iq.begin() + index);
}

LONG WinTaskbarAddIcon(std::string_view module, std::string_view tip, std::string_view iconName, uint8_t noTip,
                       uint8_t setVersion, uint8_t ownModule) {
  SetLibraryProcedureName("WinTaskbarAddIcon");
  if (TrimRight(iconName).empty()) return 0;
  if (WM_TaskBarRestart() == 0) SetTaskBarRestartMessage(platform::ui::RegisterWindowMessage("TaskbarCreated"));
  WinAlert(static_cast<LONG>(WM_TaskBarRestart()), 0, 0, 1, 1, 0);

  const HICON icon = LoadTrayIcon(ownModule != 0 ? std::string_view() : module, iconName, ownModule);
  if (icon == 0) return 0;

  Tables& t = Thread();
  IconRecord r;
  for (const IconRecord& i : t.iq) r.ID = std::max(r.ID, i.ID);
  r.ID += 1;
  r.WINHANDLE = TargetFrame();
  DllVersion shell;
  if (ds_GetDLLVersion("shell32.dll", shell) == 0 && shell.MAJORVERSION > 4) r.SHELLVERSION = shell.MAJORVERSION;

  pu::NOTIFYICONDATA d = SetIconDataSize(r);
  d.uFlags = pu::NIF_MESSAGE | pu::NIF_ICON | pu::NIF_TIP;
  d.uCallbackMessage = TaskBarCallBackMsg;
  d.szTip = Tip(tip, noTip, r.SHELLVERSION);
  d.hIcon = icon;
  if (Notify(pu::NIM_ADD, d) == 0) {
    Fail(kErrTaskbarAddIcon, "WinTaskbarAddIcon Error : shell_notifyIcon failed");
    return 0;
  }
  AlertCallback();
  t.iq.push_back(r);

  if (setVersion != 0 && r.SHELLVERSION > 4) {
    pu::NOTIFYICONDATA v = SetIconDataSize(r);
    v.uVersion = pu::NOTIFYICON_VERSION;
    if (Notify(pu::NIM_SETVERSION, v) == 0)
      Fail(kErrTaskbarAddIcon, "WinTaskbarAddIcon Error : Setversion failed : " + GetLastErrorText());
  }
  return static_cast<LONG>(r.ID);
}

void WinTaskbarChangeIcon(std::string_view module, std::string_view tip, std::string_view iconName, LONG id,
                          uint8_t byWindow, uint8_t noTip, uint8_t ownModule) {
  SetLibraryProcedureName("WinTaskbarChangeIcon");
  if (TrimRight(iconName).empty()) return;
  const HICON icon = LoadTrayIcon(ownModule != 0 ? std::string_view() : module, iconName, ownModule);
  if (icon == 0) return;
  const int at = FindTrayIcon(static_cast<uint32_t>(id), byWindow != 0 || id == 0 ? 1 : 0);
  if (at < 0) return;
  const IconRecord r = Thread().iq[static_cast<std::size_t>(at)];

  pu::NOTIFYICONDATA d = SetIconDataSize(r);
  d.uFlags = pu::NIF_ICON | pu::NIF_TIP;
  d.szTip = Tip(tip, noTip, r.SHELLVERSION);
  d.hIcon = icon;
  if (Notify(pu::NIM_MODIFY, d) != 0) return;
  d.uFlags = pu::NIF_MESSAGE | pu::NIF_ICON | pu::NIF_TIP;
  d.uCallbackMessage = TaskBarCallBackMsg;
  if (Notify(pu::NIM_ADD, d) == 0)
    Fail(kErrTaskbarChangeIcon, "WinTaskbarChangeIcon Error : shell_notifyIcon failed");
}

void WinTaskbarRemoveIcon(LONG id, uint8_t all) {
  SetLibraryProcedureName("WinTaskbarRemoveIcon");
  if (all != 0) {
    for (int at = FindTrayIcon(0, 1); at >= 0; at = FindTrayIcon(0, 1)) DeleteTrayIcon(at);
    return;
  }
  const int at = FindTrayIcon(static_cast<uint32_t>(id), 0);
  if (at >= 0) DeleteTrayIcon(at);
}

}  // namespace syslib
