// The window-message hook: messages that the platform's own window procedure
// does not turn into events become numbered program events.
//
// WinAlert alerts messages for the calling thread's target window
// (platform::ui::TargetWindow): the first time, its frame and its client
// area are subclassed with WinAccept (platform/winproc.h: SetWindowProc),
// each keeping the procedure it replaced. WinAccept then looks each message
// up in the thread's tables, keeps the last message's values for the
// getters, posts a program event and passes the message on or answers it
// itself, as the alert's action bits say. Tables, EventBase and the last
// values are per thread; WA and MA are read and changed under LibraryLock,
// which WinAccept holds until just before it calls the previous procedure.
//
// Events go to the window whose handle received the message (on the
// alerting thread), so a window's own events reach it even while a dialog
// runs above it; for a handle that names no window of that thread, to the
// thread (platform::ui::PostToThread).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/winproc.h"
#include "syslib/liberror.h"

namespace syslib {

namespace pu = platform::ui;

constexpr LONG kErrAddAlerts = static_cast<LONG>(0xA0000033u);
constexpr LONG kErrCloseHandle = static_cast<LONG>(0xA0000034u);
constexpr LONG kErrWinAccept = static_cast<LONG>(0xA0000035u);

// Action bits.
inline constexpr LONG kAlertAnswer1 = 1;        // answer 1
inline constexpr LONG kAlertCallPrevious = 2;   // hand the message to the previous procedure
inline constexpr LONG kAlertPostEvent = 4;      // post a program event to WA:THREAD
inline constexpr LONG kAlertTranslate = 8;      // post a standard event instead (PostTranslatedEvent)
inline constexpr LONG kDefaultAlertAction = kAlertCallPrevious | kAlertPostEvent;

// Messages.
inline constexpr pu::UINT WM_PAINT = 0x000F;
inline constexpr pu::UINT WM_HELP = 0x0053;
inline constexpr pu::UINT WM_NCMOUSEMOVE = 0x00A0;
inline constexpr pu::UINT WM_NCLBUTTONDOWN = 0x00A1;
inline constexpr pu::UINT WM_NCLBUTTONUP = 0x00A2;
inline constexpr pu::UINT WM_NCRBUTTONDOWN = 0x00A4;
inline constexpr pu::UINT WM_NCRBUTTONUP = 0x00A5;
inline constexpr pu::UINT WM_NCMBUTTONDOWN = 0x00A7;
inline constexpr pu::UINT WM_NCMBUTTONUP = 0x00A8;
inline constexpr pu::UINT WM_TIMER = 0x0113;
// The mouse messages (platform/winproc.h).
using pu::WM_LBUTTONDBLCLK;
using pu::WM_LBUTTONDOWN;
using pu::WM_LBUTTONUP;
using pu::WM_MBUTTONDOWN;
using pu::WM_MBUTTONUP;
using pu::WM_MOUSEMOVE;
using pu::WM_RBUTTONDOWN;
using pu::WM_RBUTTONUP;
inline constexpr pu::UINT WM_MOUSEWHEEL = 0x020A;
// The notification-area icon's callback message.
inline constexpr pu::UINT TaskBarCallBackMsg = 25000;

// Program events (EventBase + offset).
inline constexpr int AlertedMessageEvent = 1280;
inline constexpr int TrayMouseMoveEvent = 6792;
inline constexpr int TrayLeftDownEvent = 6793;
inline constexpr int TrayLeftUpEvent = 6794;
inline constexpr int TrayLeftDoubleClickEvent = 6795;
inline constexpr int TrayBalloonShowEvent = 7306;
inline constexpr int TaskbarRestartEvent = 6781;
inline constexpr int SysCommandEvent = 6782;
inline constexpr int QueryEndSessionEvent = 6783;
inline constexpr int EndSessionAbortedEvent = 6784;
inline constexpr int EndSessionNowEvent = 6785;
inline constexpr int SessionChangeEvent = 6786;

// The command-line switch that turns on the hook's help-trace lines
// ("WinAccept WH::WM_SYSCOMMAND", "WinAccept WH::WM_HELP BEFORE PEEK" and
// "... AFTER PEEK", each with its line end, to OutputDebugStringA).
inline constexpr const char* kHelpTraceSwitch = "/WHTrace";

// One alerted (handle, message).
struct AlertRecord {
  pu::HWND HANDEL = 0;           // the subclassed frame or client handle
  LONG MESSAGE = 0;
  LONG ACTION = 0;
  pu::WNDPROC RETURNTO = nullptr;  // the procedure the hook replaced on HANDEL
  LONG THREAD = 0;               // the alerting thread's number
  LONG ISCLIENTAREA = 0;
  LONG WTSNOTIFYENABLED = 0;     // 2B1h records: registered for session changes
};

// The calling thread's tables: WA in ascending HANDEL order, MA ascending.
const std::vector<AlertRecord>& WA();
const std::vector<LONG>& MA();
// 1280: every event the hook posts is EventBase + an offset.
LONG EventBase();

// The number of the registered "TaskbarCreated" message, library-wide; 0
// until the notification-area icon registers it.
pu::UINT WM_TaskBarRestart();
void SetTaskBarRestartMessage(pu::UINT message);

// Records "WinAlert". remove, single and defaultAction all non-zero: the
// target window's alerts are removed (RemoveAlerts); remove with any other
// pair: nothing. Else alerts first..last (first alone when single; an empty
// range when last < first; numbers outside 0..FFFFh are no messages and are
// left out) with kDefaultAlertAction or the given bits, for the frame and
// then the client area of the target window; an empty range changes
// nothing, not even the window's procedure:
//   - a handle that has no records yet is subclassed first; when that fails
//     (no such window) library error 0A0000033h "WinAlert Error :
//     SetLongWindow failed, ch:handel=<handle> <text>", and no record is
//     added (so each alert for it fails alike);
//   - an existing (handle, message) record only takes the new action;
//   - a new 2B1h record of a frame registers the frame with "Wtsapi32"
//     (WTSRegisterSessionNotification, NOTIFY_FOR_ALL_SESSIONS): FALSE sets
//     0A0000033h "WinAlert Error : WTSRegisterSessionNotification, wa:Handel
//     = <handle> <text>" and the record stays unregistered.
void WinAlert(LONG first, uint8_t remove, LONG last, uint8_t single, uint8_t defaultAction, LONG action);

// The hook's window procedure (never called directly). Records "WinAccept".
// A message counts as alerted when the handle has a record for it, except
// WM_MOUSEWHEEL on a frame and WM_PAINT on a client area.
//   not alerted: a handle without records is answered 0 with library error
//     0A0000035h "WinAccept get on queue WA failed(2), wa:handel = <handle>";
//     WM_ENDSESSION with wParam non-zero is answered 0; the rest goes to the
//     handle's previous procedure.
//   alerted: keeps the last values; with bit 8 PostTranslatedEvent, else
//     with bit 4 posts EventBase + 5000 + lParam for TaskBarCallBackMsg,
//     6781 for "TaskbarCreated", 6782 WM_SYSCOMMAND, 6783
//     WM_QUERYENDSESSION, 6784 / 6785 WM_ENDSESSION with wParam 0 / non-zero,
//     6786 WM_WTSSESSION_CHANGE, 1280 any other. WM_ENDSESSION with wParam
//     non-zero is then answered 0; else bit 2 hands it to the previous
//     procedure, bit 1 answers 1, none answers 0.
pu::LRESULT WinAccept(pu::HWND hwnd, pu::UINT message, pu::WPARAM wParam, pu::LPARAM lParam);

// Records "WinWtsEvent": wParam of the last alerted WM_WTSSESSION_CHANGE (the
// reason); reset non-zero sets it to 0 after reading.
LONG WinWtsEvent(uint8_t reset);
// lParam of the last alerted WM_WTSSESSION_CHANGE (the session); records
// nothing.
LONG WinWtsID();
// Records "WinSysEvent": 274 (WM_SYSCOMMAND) once one was alerted, 0 before
// or after a reset; reset non-zero sets it to 0 after reading.
LONG WinSysEvent(uint8_t reset);
// The number of the last alerted message of any other kind (not the icon's
// callback, "TaskbarCreated", WM_SYSCOMMAND or WM_WTSSESSION_CHANGE);
// records nothing.
LONG Winhook();

// Removes the target window's alerts when it is native: its client area's,
// then its frame's (CloseHandle, below). Nothing without one.
void RemoveAlerts();
// Removes one handle's records, unregistering session notifications where
// they were registered (FALSE: 0A0000034h "WinAlert Error :
// WTSUnRegisterSessionNotification, wa:Handel = <handle> <text>", the
// record goes all the same), and puts back the procedure the hook replaced
// (failing: 0A0000034h "WinAlert Error(2) : SetLongWindow failed, ch:handel=
// <handle> <text>"). MA stays. Whatever was put in front of the hook since
// is cut out with it.
void CloseHandle(pu::HWND handle);
// Posts to the calling thread, for the window of hwnd: WM_CLOSE
// EVENT::CloseWindow; WM_MOUSEMOVE, WM_NCMOUSEMOVE EVENT::MouseMove;
// WM_TIMER EVENT::Timer; button downs (L, R, M, client and non-client)
// EVENT::Accepted; button ups EVENT::MouseUp; nothing for other messages.
void PostTranslatedEvent(pu::HWND hwnd, pu::UINT message);

}  // namespace syslib
