// The shell's notification area as the library sees it: Shell_NotifyIcon
// over the calling thread's shell (a view sets one; none: every request is
// refused).
#pragma once

#include <cstdint>
#include <string>

#include "platform/winproc.h"
#include "syslib/modules.h"

namespace syslib {

inline constexpr uint32_t NIM_ADD = 0;
inline constexpr uint32_t NIM_MODIFY = 1;
inline constexpr uint32_t NIM_DELETE = 2;
inline constexpr uint32_t NIM_SETVERSION = 4;
inline constexpr uint32_t NIF_MESSAGE = 1;
inline constexpr uint32_t NIF_ICON = 2;
inline constexpr uint32_t NIF_TIP = 4;
inline constexpr uint32_t NOTIFYICON_VERSION = 3;
// The structure's sizes of the three shell versions (below 5, 5, 6 and up).
inline constexpr uint32_t kNotifyIconDataSize4 = 88;
inline constexpr uint32_t kNotifyIconDataSize5 = 488;
inline constexpr uint32_t kNotifyIconDataSize6 = 504;
inline constexpr std::size_t kTipChars = 127;

struct NOTIFYICONDATA {
  uint32_t cbSize = 0;
  platform::ui::HWND hWnd = 0;
  uint32_t uID = 0;
  uint32_t uFlags = 0;
  uint32_t uCallbackMessage = 0;
  HICON hIcon = 0;
  std::string szTip;  // at most kTipChars characters
  uint32_t uVersion = 0;
};

// A notification area. An icon is (hWnd, uID). The shell tells the icon's
// window of clicks by the icon's callback message: wParam uID, lParam the
// mouse message.
class NotifyShell {
 public:
  virtual ~NotifyShell() = default;
  // NIM_ADD, NIM_MODIFY, NIM_DELETE or NIM_SETVERSION; false when refused.
  virtual bool NotifyIcon(uint32_t message, const NOTIFYICONDATA& data) = 0;
};

// The calling thread's shell (not owned); nullptr for none.
void SetThreadNotifyShell(NotifyShell* shell);
NotifyShell* ThreadNotifyShell();

// TRUE (1) when the thread's shell did it; FALSE (0) when refused or there
// is no shell, with the last error 1400 for no shell, else 87.
int32_t Shell_NotifyIcon(uint32_t message, const NOTIFYICONDATA* data);

}  // namespace syslib
