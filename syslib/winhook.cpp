#include "syslib/winhook.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "platform/cmdline.h"
#include "platform/eventloop.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "syslib/debugout.h"
#include "syslib/dllhelp.h"
#include "syslib/librarylock.h"
#include "syslib/win32error.h"
#include "syslib/wtsapi.h"

namespace syslib {
namespace {

namespace EV = pu::EVENT;

constexpr uint32_t kNoLastError = 0xFFFFFFFFu;
constexpr uint32_t kInvalidWindowHandle = 1400;
constexpr int64_t kLastMessage = 0xFFFF;

struct LastValues {
  LONG wtsEvent = 0, wtsId = 0;
  LONG sysMessage = 0, sysWParam = 0, sysLParam = 0;
  LONG otherMessage = 0, otherWParam = 0, otherLParam = 0;
  pu::HWND otherHandle = 0;
};

struct Tables {
  std::vector<AlertRecord> wa;
  std::vector<LONG> ma;
  LastValues last;
};

Tables& Thread() {
  thread_local Tables t;
  return t;
}

constexpr LONG kEventBase = 1280;
std::atomic<pu::UINT> gTaskbarRestart{0};
ProcCache gRegister{0}, gUnregister{0};

std::string Num(pu::HWND h) { return std::to_string(h); }

void Fail(LONG code, const std::string& detail) {
  SetLibraryErrorDetail(detail);
  SetLibraryError(code);
}

AlertRecord* FindAny(Tables& t, pu::HWND h) {
  for (AlertRecord& r : t.wa)
    if (r.HANDEL == h) return &r;
  return nullptr;
}

AlertRecord* FindPair(Tables& t, pu::HWND h, LONG message) {
  for (AlertRecord& r : t.wa)
    if (r.HANDEL == h && r.MESSAGE == message) return &r;
  return nullptr;
}

// Posts to the window of hwnd on the thread, or to the thread.
void PostFor(int thread, pu::HWND hwnd, int event) {
  const pu::Window* w = pu::WindowThread(hwnd) == thread ? pu::WindowFromHandle(hwnd) : nullptr;
  if (w != nullptr) pu::PostToWindow(thread, w->Id(), event);
  else pu::PostToThread(thread, event);
}

int EventFor(pu::UINT message, pu::WPARAM wParam, pu::LPARAM lParam) {
  const pu::UINT restart = gTaskbarRestart.load();
  if (message == TaskBarCallBackMsg) return static_cast<int>(kEventBase + 5000 + lParam);
  if (restart != 0 && message == restart) return kEventBase + 5501;
  switch (message) {
    case pu::WM_SYSCOMMAND:
      return kEventBase + 5502;
    case pu::WM_QUERYENDSESSION:
      return kEventBase + 5503;
    case pu::WM_ENDSESSION:
      return kEventBase + (wParam == 0 ? 5504 : 5505);
    case pu::WM_WTSSESSION_CHANGE:
      return kEventBase + 5506;
    default:
      return kEventBase;
  }
}

void KeepLastValues(Tables& t, pu::HWND hwnd, pu::UINT message, pu::WPARAM wParam, pu::LPARAM lParam) {
  const auto wp = static_cast<LONG>(wParam), lp = static_cast<LONG>(lParam);
  const pu::UINT restart = gTaskbarRestart.load();
  if (message == pu::WM_SYSCOMMAND) {
    t.last.sysMessage = static_cast<LONG>(message);
    t.last.sysWParam = wp;
    t.last.sysLParam = lp;
  } else if (message == pu::WM_WTSSESSION_CHANGE) {
    t.last.wtsEvent = wp;
    t.last.wtsId = lp;
  } else if (message != TaskBarCallBackMsg && (restart == 0 || message != restart)) {
    t.last.otherMessage = static_cast<LONG>(message);
    t.last.otherWParam = wp;
    t.last.otherLParam = lp;
    t.last.otherHandle = hwnd;
  }
  if (!platform::CommandHas(kHelpTraceSwitch)) return;
  if (message == pu::WM_SYSCOMMAND) OutputDebugStringA("WinAccept WH::WM_SYSCOMMAND\r\n");
  if (message == WM_HELP) {
    OutputDebugStringA("WinAccept WH::WM_HELP BEFORE PEEK\r\n");
    OutputDebugStringA("WinAccept WH::WM_HELP AFTER PEEK\r\n");
  }
}

void AddAlerts(pu::HWND handle, int64_t first, int64_t last, LONG action) {
  first = std::max<int64_t>(first, 0);
  last = std::min(last, kLastMessage);
  // Nothing to alert: a window subclassed without records would have every
  // message answered 0.
  if (first > last) return;
  std::lock_guard lock(LibraryLock());
  Tables& t = Thread();
  pu::WNDPROC previous = nullptr;
  if (const AlertRecord* r = FindAny(t, handle)) {
    previous = r->RETURNTO;
  } else {
    SetLastError(kNoLastError);
    previous = pu::SetWindowProc(handle, WinAccept);
    if (previous == nullptr) {
      // No such window: records would never be consulted, and would make a
      // later alert take the handle for subclassed.
      SetLastError(kInvalidWindowHandle);
      Fail(kErrAddAlerts, "WinAlert Error : SetLongWindow failed, ch:handel=" + Num(handle) + " " + GetLastErrorText());
      return;
    }
  }
  for (int64_t m = first; m <= last; ++m) {
    const auto message = static_cast<LONG>(m);
    if (AlertRecord* r = FindPair(t, handle, message)) {
      r->ACTION = action;
      continue;
    }
    AlertRecord r;
    r.HANDEL = handle;
    r.MESSAGE = message;
    r.ACTION = action;
    r.RETURNTO = previous;
    r.THREAD = pu::ThreadNumber();
    r.ISCLIENTAREA = pu::IsClientHandle(handle) ? 1 : 0;
    if (message == static_cast<LONG>(pu::WM_WTSSESSION_CHANGE) && r.ISCLIENTAREA == 0 &&
        LoadDLLProc("Wtsapi32", "WTSRegisterSessionNotification", gRegister) == 0) {
      const auto reg = reinterpret_cast<WTSREGISTERSESSIONNOTIFICATION>(gRegister.load());
      if (reg(handle, NOTIFY_FOR_ALL_SESSIONS) != 0) {
        r.WTSNOTIFYENABLED = 1;
      } else {
        Fail(kErrAddAlerts, "WinAlert Error : WTSRegisterSessionNotification, wa:Handel = " + Num(handle) + " " +
                                GetLastErrorText());
      }
    }
    const auto at = std::upper_bound(t.wa.begin(), t.wa.end(), handle,
                                     [](pu::HWND h, const AlertRecord& x) { return h < x.HANDEL; });
    t.wa.insert(at, r);
    const auto ma = std::lower_bound(t.ma.begin(), t.ma.end(), message);
    if (ma == t.ma.end() || *ma != message) t.ma.insert(ma, message);
  }
}

}  // namespace

const std::vector<AlertRecord>& WA() { return Thread().wa; }
const std::vector<LONG>& MA() { return Thread().ma; }
LONG EventBase() { return kEventBase; }

pu::UINT WM_TaskBarRestart() { return gTaskbarRestart.load(); }
void SetTaskBarRestartMessage(pu::UINT message) { gTaskbarRestart.store(message); }

void WinAlert(LONG first, uint8_t remove, LONG last, uint8_t single, uint8_t defaultAction, LONG action) {
  SetLibraryProcedureName("WinAlert");
  if (remove != 0) {
    if (single != 0 && defaultAction != 0) RemoveAlerts();
    return;
  }
  const int64_t end = single != 0 ? first : last;
  const LONG bits = defaultAction != 0 ? kDefaultAlertAction : action;
  const pu::Window* target = pu::TargetWindow();
  const pu::HWND frame = target != nullptr ? pu::FrameHandle(*target) : 0;
  const pu::HWND client = target != nullptr ? pu::ClientHandle(*target) : 0;
  AddAlerts(frame, first, end, bits);
  AddAlerts(client, first, end, bits);
}

pu::LRESULT WinAccept(pu::HWND hwnd, pu::UINT message, pu::WPARAM wParam, pu::LPARAM lParam) {
  if (!platform::ThreadAttached()) platform::ThreadAttach(false);
  std::unique_lock lock(LibraryLock());
  SetLibraryProcedureName("WinAccept");
  Tables& t = Thread();
  const bool ending = message == pu::WM_ENDSESSION && wParam != 0;

  const AlertRecord* found = nullptr;
  if (message <= kLastMessage && std::binary_search(t.ma.begin(), t.ma.end(), static_cast<LONG>(message))) {
    found = FindPair(t, hwnd, static_cast<LONG>(message));
    if (found != nullptr && message == WM_MOUSEWHEEL && found->ISCLIENTAREA == 0) found = nullptr;
    if (found != nullptr && message == WM_PAINT && found->ISCLIENTAREA != 0) found = nullptr;
  }

  if (found == nullptr) {
    const AlertRecord* any = FindAny(t, hwnd);
    if (any == nullptr) {
      Fail(kErrWinAccept, "WinAccept get on queue WA failed(2), wa:handel = " + Num(hwnd));
      return 0;
    }
    if (ending) return 0;
    const pu::WNDPROC previous = any->RETURNTO;
    lock.unlock();
    return pu::CallWindowProc(previous, hwnd, message, wParam, lParam);
  }

  const AlertRecord r = *found;
  KeepLastValues(t, hwnd, message, wParam, lParam);
  if ((r.ACTION & kAlertTranslate) != 0) PostTranslatedEvent(hwnd, message);
  else if ((r.ACTION & kAlertPostEvent) != 0) PostFor(r.THREAD, hwnd, EventFor(message, wParam, lParam));
  if (ending) return 0;
  lock.unlock();
  if ((r.ACTION & kAlertCallPrevious) != 0) return pu::CallWindowProc(r.RETURNTO, hwnd, message, wParam, lParam);
  return (r.ACTION & kAlertAnswer1) != 0 ? 1 : 0;
}

namespace {

LONG ReadValue(std::string_view name, LONG LastValues::*value, uint8_t reset) {
  SetLibraryProcedureName(name);
  LONG& v = Thread().last.*value;
  const LONG read = v;
  if (reset != 0) v = 0;
  return read;
}

}  // namespace

LONG WinWtsEvent(uint8_t reset) { return ReadValue("WinWtsEvent", &LastValues::wtsEvent, reset); }

LONG WinWtsID() { return Thread().last.wtsId; }

LONG WinSysEvent(uint8_t reset) { return ReadValue("WinSysEvent", &LastValues::sysMessage, reset); }

LONG Winhook() { return Thread().last.otherMessage; }

void RemoveAlerts() {
  const pu::Window* target = pu::TargetWindow();
  if (target == nullptr || pu::FrameHandle(*target) == 0) return;
  CloseHandle(pu::ClientHandle(*target));
  CloseHandle(pu::FrameHandle(*target));
}

void CloseHandle(pu::HWND handle) {
  std::lock_guard lock(LibraryLock());
  Tables& t = Thread();
  pu::WNDPROC previous = nullptr;
  for (auto it = t.wa.begin(); it != t.wa.end();) {
    if (it->HANDEL != handle) {
      ++it;
      continue;
    }
    if (it->MESSAGE == static_cast<LONG>(pu::WM_WTSSESSION_CHANGE) && it->WTSNOTIFYENABLED == 1 &&
        LoadDLLProc("Wtsapi32", "WTSUnRegisterSessionNotification", gUnregister) == 0) {
      const auto unreg = reinterpret_cast<WTSUNREGISTERSESSIONNOTIFICATION>(gUnregister.load());
      if (unreg(handle) == 0)
        Fail(kErrCloseHandle, "WinAlert Error : WTSUnRegisterSessionNotification, wa:Handel = " + Num(handle) + " " +
                                  GetLastErrorText());
    }
    previous = it->RETURNTO;
    it = t.wa.erase(it);
  }
  if (previous == nullptr) return;
  SetLastError(kNoLastError);
  if (pu::SetWindowProc(handle, previous) == nullptr) {
    SetLastError(kInvalidWindowHandle);
    Fail(kErrCloseHandle, "WinAlert Error(2) : SetLongWindow failed, ch:handel= " + Num(handle) + " " +
                              GetLastErrorText());
  }
}

void PostTranslatedEvent(pu::HWND hwnd, pu::UINT message) {
  int event = 0;
  switch (message) {
    case pu::WM_CLOSE:
      event = EV::CloseWindow;
      break;
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
      event = EV::MouseMove;
      break;
    case WM_TIMER:
      event = EV::Timer;
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
      event = EV::Accepted;
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_NCLBUTTONUP:
    case WM_NCRBUTTONUP:
    case WM_NCMBUTTONUP:
      event = EV::MouseUp;
      break;
    default:
      return;
  }
  PostFor(pu::ThreadNumber(), hwnd, event);
}

}  // namespace syslib
