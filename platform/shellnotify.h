// The shell's notification area: Shell_NotifyIcon over the calling thread's
// shell (a view sets one; none: every request is refused).
#pragma once

#include <cstdint>
#include <string>

#include "platform/icons.h"
#include "platform/winproc.h"

namespace platform::ui {

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
  HWND hWnd = 0;
  uint32_t uID = 0;
  uint32_t uFlags = 0;
  uint32_t uCallbackMessage = 0;
  HICON hIcon = 0;    // an icon of the icon store (platform/icons.h)
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
  // Whether a tray host shows the icons now (they stay held while it is
  // gone, and show again when it comes back).
  virtual bool HostPresent() const { return true; }
};

// The calling thread's shell (not owned); nullptr for none.
void SetThreadNotifyShell(NotifyShell* shell);
NotifyShell* ThreadNotifyShell();

// Whether the calling thread has a shell whose icons a tray host shows now.
bool TrayHostPresent();

// TRUE (1) when the thread's shell did it; FALSE (0) when it refused, or
// there is no shell or no data.
int32_t Shell_NotifyIcon(uint32_t message, const NOTIFYICONDATA* data);

}  // namespace platform::ui
