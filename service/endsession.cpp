#include "service/endsession.h"

#include "platform/eventloop.h"
#include "platform/window.h"

namespace service {

namespace pu = platform::ui;

namespace {

thread_local EndSessionClass* tCurrent = nullptr;

bool Linked(const EndSessionClass& instance) {
  for (const EndSessionClass* c = tCurrent; c != nullptr; c = c->PREVIOUSCLASS)
    if (c == &instance) return true;
  return false;
}

// Where a window's messages go on: its procedure before its own attach.
pu::WNDPROC PreviousOf(pu::HWND hwnd) {
  for (const EndSessionClass* c = tCurrent; c != nullptr; c = c->PREVIOUSCLASS)
    if (c->HWND == hwnd && c->HWNDPROC != nullptr && c->HWNDPROC != EndSessionWindowProc) return c->HWNDPROC;
  return pu::PlatformWindowProc;
}

void PostTo(pu::HWND hwnd, int event) {
  if (pu::Window* w = pu::WindowFromHandle(hwnd)) w->Post(event);
  else pu::PostEvent(event);
}

}  // namespace

int PowerEventFor(pu::WPARAM wParam) {
  switch (wParam) {
    case pu::PBT_APMPOWERSTATUSCHANGE:
      return PowerStatusChangeEvent;
    case pu::PBT_APMBATTERYLOW:
      return PowerBatteryLowEvent;
    case pu::PBT_APMSTANDBY:
      return PowerStandbyEvent;
    case pu::PBT_APMSUSPEND:
      return PowerSuspendEvent;
    case pu::PBT_APMQUERYSTANDBY:
      return PowerQueryStandbyEvent;
    case pu::PBT_APMQUERYSUSPEND:
      return PowerQuerySuspendEvent;
    default:
      return PowerOtherEvent;
  }
}

void EndSessionAttach(EndSessionClass& instance, int32_t retValQuery, int32_t retValEnd, uint8_t extended,
                      uint8_t normal) {
  if (Linked(instance)) EndSessionUnlink(instance);
  instance.RETVALQUERY = retValQuery;
  instance.RETVALEND = retValEnd;
  instance.SENDEXTENDEDEVENTS = extended;
  instance.SENDNORMALEVENTS = normal;
  const pu::Window* w = pu::TargetWindow();
  instance.HWND = w != nullptr ? pu::FrameHandle(*w) : 0;
  instance.HWNDPROC = pu::GetWindowProc(instance.HWND);
  pu::SetWindowProc(instance.HWND, EndSessionWindowProc);
  instance.PREVIOUSCLASS = tCurrent;
  tCurrent = &instance;
}

void EndSessionDetach(EndSessionClass& instance) {
  if (instance.HWNDPROC != nullptr && pu::GetWindowProc(instance.HWND) == EndSessionWindowProc)
    pu::SetWindowProc(instance.HWND, instance.HWNDPROC);
}

void EndSessionUnlink(EndSessionClass& instance) {
  for (EndSessionClass** link = &tCurrent; *link != nullptr; link = &(*link)->PREVIOUSCLASS) {
    if (*link == &instance) {
      *link = instance.PREVIOUSCLASS;
      break;
    }
  }
  instance.PREVIOUSCLASS = nullptr;
}

EndSessionClass* CurrentEndSession() { return tCurrent; }

pu::LRESULT EndSessionWindowProc(pu::HWND hwnd, pu::UINT message, pu::WPARAM wParam, pu::LPARAM lParam) {
  if (const EndSessionClass* c = tCurrent) {
    switch (message) {
      case pu::WM_QUERYENDSESSION:
        if (c->SENDNORMALEVENTS != 0) PostTo(hwnd, EndSessionQueryEvent);
        return c->RETVALQUERY;
      case pu::WM_ENDSESSION:
        if (c->SENDNORMALEVENTS != 0) PostTo(hwnd, EndSessionEvent);
        return c->RETVALEND;
      case pu::WM_DEVICECHANGE:
        if (c->SENDEXTENDEDEVENTS != 0) PostTo(hwnd, DeviceChangeEvent);
        break;
      case pu::WM_POWERBROADCAST:
        if (c->SENDEXTENDEDEVENTS != 0) PostTo(hwnd, PowerEventFor(wParam));
        break;
      default:
        break;
    }
  }
  return pu::CallWindowProc(PreviousOf(hwnd), hwnd, message, wParam, lParam);
}

}  // namespace service
