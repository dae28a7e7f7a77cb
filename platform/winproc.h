// Native windows: handles, window-procedure chains on Win32 message numbers,
// sent and posted messages, and the process's list of top-level windows.
//
// A window is native from its view's CreateNative to its DestroyNative. Then
// it has two handles, one for its frame and one for its client area, each
// with its own chain of window procedures. A chain starts as the platform's
// own procedure alone (PlatformWindowProc, the tail); SetWindowProc puts a
// procedure in front and returns the one it replaced, which the new one
// calls with CallWindowProc for what it does not answer itself. Only the
// tail turns messages into events of the window model, so a procedure in
// front can see, change or swallow any of them.
//
// Handles are non-zero numbers naming the process (the high 32 bits, its
// process id) and the window (never reused within the process); the client
// handle is the frame handle + 1. Every native window is a top-level window
// of the process (TopWindows), as the window-list server shows it to other
// processes.
//
// Threads: a window's procedures run on the thread that opened it. A message
// sent from another thread waits until that thread dispatches it; a posted
// message is queued for the window's thread. A thread dispatches when its
// view's loop is about to wait (DispatchNativeMessages), and while it waits
// for a message it sent to another thread it answers the messages sent to
// its own windows.
//
// For views: a view calls NativeOpened from CreateNative, NativeClosed from
// DestroyNative, NativeChanged from Render of the window itself (control 0),
// and DispatchNativeMessages in Pump before it waits; what the operator does
// to the native window enters the frame's chain at its head through
// DeliverNativeMessage: the close box as WM_CLOSE, the minimise, maximise
// and restore buttons as WM_SYSCOMMAND, tray clicks as the icon's callback
// message, a tray host coming back as the registered "TaskbarCreated".
// NativeHeadlessView does all this for windows without widgets.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/eventloop.h"
#include "platform/view.h"

namespace platform::ui {

class Window;

using HWND = uint64_t;
using UINT = uint32_t;
using WPARAM = uint64_t;
using LPARAM = int64_t;
using LRESULT = int64_t;
using WNDPROC = LRESULT (*)(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Messages the platform's procedure knows.
inline constexpr UINT WM_SIZE = 0x0005;             // wParam: SIZE_*
inline constexpr UINT WM_ACTIVATE = 0x0006;         // wParam: WA_*
inline constexpr UINT WM_SETTEXT = 0x000C;          // lParam: const char* (UTF-8)
inline constexpr UINT WM_GETTEXT = 0x000D;          // wParam: buffer bytes, lParam: char*
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUERYENDSESSION = 0x0011;
inline constexpr UINT WM_ENDSESSION = 0x0016;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;       // wParam: 1 shown, 0 hidden
inline constexpr UINT WM_SYSCOMMAND = 0x0112;       // wParam: SC_*
inline constexpr UINT WM_POWERBROADCAST = 0x0218;
inline constexpr UINT WM_DEVICECHANGE = 0x0219;
inline constexpr UINT WM_WTSSESSION_CHANGE = 0x02B1;
// Mouse messages: what a notification icon's callback message carries in
// lParam (platform/shellnotify.h); the platform's procedure answers them 0.
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;
inline constexpr UINT WM_MBUTTONDOWN = 0x0207;
inline constexpr UINT WM_MBUTTONUP = 0x0208;
inline constexpr UINT WM_USER = 0x0400;
// RegisterWindowMessage gives numbers from here on.
inline constexpr UINT kFirstRegisteredMessage = 0xC000;

inline constexpr WPARAM SC_MINIMIZE = 0xF020;
inline constexpr WPARAM SC_MAXIMIZE = 0xF030;
inline constexpr WPARAM SC_CLOSE = 0xF060;
inline constexpr WPARAM SC_RESTORE = 0xF120;

inline constexpr WPARAM SIZE_RESTORED = 0;
inline constexpr WPARAM SIZE_MINIMIZED = 1;
inline constexpr WPARAM SIZE_MAXIMIZED = 2;

inline constexpr WPARAM WA_INACTIVE = 0;
inline constexpr WPARAM WA_ACTIVE = 1;
inline constexpr WPARAM WA_CLICKACTIVE = 2;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_MAXIMIZE = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_SHOWMINNOACTIVE = 7;
inline constexpr int SW_SHOWNA = 8;
inline constexpr int SW_RESTORE = 9;
inline constexpr int SW_SHOWDEFAULT = 10;
inline constexpr int SW_FORCEMINIMIZE = 11;

// SendMessageTimeout flags.
inline constexpr UINT SMTO_NORMAL = 0x0;
inline constexpr UINT SMTO_ABORTIFHUNG = 0x2;
// A thread counts as hung when a message has waited this long for it.
inline constexpr int kHungMilliseconds = 5000;

// The process named by a handle.
inline constexpr uint32_t HandleProcess(HWND h) { return static_cast<uint32_t>(h >> 32); }

// --- handles

// The window's handles while it is native, else 0.
HWND FrameHandle(const Window& w);
HWND ClientHandle(const Window& w);
// The window of a frame or client handle of this process, nullptr for any
// other handle. The window may be used only on its own thread.
Window* WindowFromHandle(HWND h);
bool IsWindow(HWND h);
bool IsClientHandle(HWND h);
// The number of the thread that owns the window (0 for no window).
int WindowThread(HWND h);

// The class name of a window's native window: given before the window
// opens (or while it is open); "VelornWindow" when none is given.
inline constexpr const char* kDefaultWindowClass = "VelornWindow";
void SetWindowClass(const Window& w, std::string className);
std::string WindowClassName(HWND h);  // "" for no window

// --- procedures and messages

// The platform's own procedure, at the tail of every chain. On a frame
// handle, on the window's thread:
//   WM_CLOSE            posts EVENT::CloseWindow to the window; 0
//   WM_GETTEXT          copies the caption (at most wParam-1 bytes, whole
//                       characters, NUL-terminated); the bytes copied
//   WM_GETTEXTLENGTH    the caption's length in bytes
//   WM_SETTEXT          sets the caption; 1
//   WM_SYSCOMMAND       SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE: ShowWindow with
//                       SW_MINIMIZE, SW_MAXIMIZE, SW_RESTORE; SC_CLOSE:
//                       WM_CLOSE to the head of the chain; 0
//   WM_SIZE             (sent by ShowWindow when the state changes) posts
//                       EVENT::Iconized, EVENT::Maximized or EVENT::Restored
//   WM_ACTIVATE         posts EVENT::GainFocus (active) or EVENT::LoseFocus
//   WM_QUERYENDSESSION  1
//   WM_ENDSESSION       wParam 1 (the session ends): posts EVENT::CloseDown
//                       to the window, so a window that no procedure in
//                       front answers for closes with the session; 0
// Everything else, and every message to a client handle: 0.
LRESULT PlatformWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The head of a handle's chain (nullptr for no window).
WNDPROC GetWindowProc(HWND h);
// Puts proc at the head of the handle's chain; returns the procedure it
// replaced (nullptr, and nothing changed, for no window or no proc).
WNDPROC SetWindowProc(HWND h, WNDPROC proc);
// Calls a procedure of a chain: a procedure's way to hand a message on.
// A null proc answers 0.
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Sends a message to the head of the handle's chain and returns its answer.
// From another thread it waits until the window's thread has dispatched it
// (0 when the window goes first). WM_GETTEXT and WM_SETTEXT buffers are
// copied across threads; other pointers in wParam or lParam are passed as
// they are.
LRESULT SendMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
// As SendMessage, waiting at most timeoutMs for another thread (with
// SMTO_ABORTIFHUNG not at all when that thread is hung). False when the
// message was not answered in time (it is then not delivered later) or the
// handle names no window.
bool SendMessageTimeout(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                        LRESULT* result);
// Queues a message for the window's thread (any thread); false for no window.
bool PostMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
// The number of a named message, the same for the same name (case ignored)
// within the process: kFirstRegisteredMessage and up; 0 for an empty name or
// when the numbers are used up.
UINT RegisterWindowMessage(std::string_view name);

// --- the desktop session (any thread may call these)

// The session is about to end: at the thread's next dispatch each of its
// native windows gets WM_QUERYENDSESSION (wParam 0, lParam 0) through its
// chain. The answers are not collected: nothing here can refuse the end.
void QueryEndSession(int thread);
// The session ends: at the thread's next dispatch each of its native
// windows gets WM_QUERYENDSESSION (unless it had one) and then WM_ENDSESSION
// with wParam 1, once each; a window that becomes native later on that
// thread gets both at the dispatch after it opened. The thread's queue is
// woken. For the rest of the process's life.
void EndSession(int thread);
bool SessionEnded(int thread);
// A close-down is on its way to the calling thread's windows: the session
// has ended for the thread (EndSession, also before its messages are
// dispatched) or an EVENT::CloseDown waits in its queue (a service stop).
// Long work in a handler (a task scan) asks it before each step that a
// close-down would cut short.
bool CloseDownPending();
// Posts WM_POWERBROADCAST with the power event (PBT_*) to each native window
// of the thread.
inline constexpr WPARAM PBT_APMQUERYSUSPEND = 0x0;
inline constexpr WPARAM PBT_APMQUERYSTANDBY = 0x1;
inline constexpr WPARAM PBT_APMSUSPEND = 0x4;
inline constexpr WPARAM PBT_APMSTANDBY = 0x5;
inline constexpr WPARAM PBT_APMRESUMESUSPEND = 0x7;
inline constexpr WPARAM PBT_APMBATTERYLOW = 0x9;
inline constexpr WPARAM PBT_APMPOWERSTATUSCHANGE = 0xA;
inline constexpr WPARAM PBT_APMRESUMEAUTOMATIC = 0x12;
void BroadcastPower(int thread, WPARAM event);

// --- window state (windows of this process)

// Shows, hides, minimises, maximises or restores a window (SW_*). On the
// window's thread at once, else posted to it. The window's Hide, Iconize and
// Maximize change; WM_SHOWWINDOW goes through the chain when its visibility
// changes and WM_SIZE when its state does. False for no window; on the
// window's thread, whether it was visible before.
bool ShowWindow(HWND h, int command);
// Puts the window on top of the process's windows and makes it active: the
// thread's foreground handler (SetForegroundHandler) raises it natively,
// then WM_ACTIVATE (WA_ACTIVE) goes through the chain. On the window's
// thread at once, else posted to it. False for no window.
bool SetForegroundWindow(HWND h);
// The window's iconized state, also while it is hidden (any thread).
bool IsIconic(HWND h);

// --- the process's top-level windows

struct TopWindowInfo {
  HWND handle = 0;        // the frame's handle
  int thread = 0;         // the owning thread's number
  std::string title;      // the caption
  std::string text;       // untitled windows: the chain's answer to WM_GETTEXT
  std::string className;
  bool hidden = false;
  bool iconic = false;
};
// The native windows of this process, top of the order first (the window
// opened or brought to the front last). Read from a snapshot that each
// window's thread keeps up to date (any thread; never waits for a window's
// thread). The text of an untitled window is its chain's answer as of its
// thread's last dispatch (DispatchNativeMessages asks it before it delivers
// anything).
std::vector<TopWindowInfo> TopWindows();
std::optional<TopWindowInfo> TopWindow(HWND h);

// --- for views

void NativeOpened(Window& w);
void NativeChanged(Window& w, Property p);
void NativeClosed(Window& w);
// Dispatches the messages sent and posted to the calling thread's windows
// (those there when it starts; later ones wake the thread's queue), then the
// session's messages due to them (QueryEndSession, EndSession), and
// refreshes the thread's entries of the top-level list.
void DispatchNativeMessages();
// What the view reports: SendMessage to the window's frame (0 when the
// window is not native).
LRESULT DeliverNativeMessage(Window& w, UINT msg, WPARAM wParam, LPARAM lParam);
// How the calling thread's view raises and activates a window natively
// (SetForegroundWindow); empty for none.
void SetForegroundHandler(std::function<void(Window&)> handler);

// The headless view of native windows: no widgets, every window native.
class NativeHeadlessView : public HeadlessView {
 public:
  void CreateNative(Window& w) override { NativeOpened(w); }
  void DestroyNative(Window& w) override { NativeClosed(w); }
  void Render(Window& w, int control, Property p) override {
    if (control == 0) NativeChanged(w, p);
  }
  void Pump(EventQueue& q, uint64_t seen, std::optional<TimePoint> deadline) override {
    DispatchNativeMessages();
    q.WaitUntil(seen, deadline);
  }
};
// One instance for any thread.
NativeHeadlessView& SharedNativeHeadlessView();

}  // namespace platform::ui
