// "Wtsapi32", built into the program: session notifications over logind
// (the system bus).
//
// WTSRegisterSessionNotification succeeds only where logind has a session
// for this process (its GetSessionByPID answers); from then on the session's
// Lock and Unlock signals reach each registered window as the posted message
// WM_WTSSESSION_CHANGE (2B1h) with wParam WTS_SESSION_LOCK (7) or
// WTS_SESSION_UNLOCK (8) and lParam the session's number (0 when its id is
// not a number). A window is registered once however often it is named.
// Elsewhere (no system bus, no logind, no session) it returns FALSE with the
// Win32 last error set. The bus is watched by a thread of its own from the
// first registration to the last unregistration. Any thread.
#pragma once

#include <cstdint>

#include "platform/winproc.h"

namespace syslib {

inline constexpr uint32_t NOTIFY_FOR_THIS_SESSION = 0;
inline constexpr uint32_t NOTIFY_FOR_ALL_SESSIONS = 1;
inline constexpr platform::ui::WPARAM WTS_SESSION_LOCK = 7;
inline constexpr platform::ui::WPARAM WTS_SESSION_UNLOCK = 8;

int32_t WTSRegisterSessionNotification(platform::ui::HWND hwnd, uint32_t flags);
// FALSE for a window that is not registered (87).
int32_t WTSUnRegisterSessionNotification(platform::ui::HWND hwnd);

using WTSREGISTERSESSIONNOTIFICATION = int32_t (*)(platform::ui::HWND, uint32_t);
using WTSUNREGISTERSESSIONNOTIFICATION = int32_t (*)(platform::ui::HWND);

}  // namespace syslib
