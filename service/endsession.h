// The session-end subclass: a window hears about the end of the desktop
// session, device changes and power events, which arrive as messages on its
// procedure chain (platform/winproc.h), as program events of its own.
//
// An instance put on the current window with EndSessionAttach stands in
// front of the window's procedure: it answers WM_QUERYENDSESSION and
// WM_ENDSESSION itself with the values given at the attach (they go no
// further), posts the events below, and hands every other message to the
// procedure that was in front before it.
//
// Instances nest per thread: the newest linked one is the thread's current
// instance, and the answers, and whether events are posted, always come from
// it, whichever subclassed window got the message. What a window passes on
// goes to the procedure that window had before its own attach (the newest
// linked instance attached to it; with none, the platform's own procedure).
//
// Everything here runs on the window's thread; nothing reports an error.
#pragma once

#include <cstdint>

#include "platform/winproc.h"

namespace service {

// Program events, posted to the window whose message it was, without a
// control or parameter.
inline constexpr int EndSessionQueryEvent = 0x911;    // WM_QUERYENDSESSION, normal events
inline constexpr int EndSessionEvent = 0x916;         // WM_ENDSESSION, either wParam, normal events
inline constexpr int PowerStatusChangeEvent = 0xB12;  // WM_POWERBROADCAST, extended events:
inline constexpr int PowerBatteryLowEvent = 0xB13;    //   PBT_APMPOWERSTATUSCHANGE, PBT_APMBATTERYLOW,
inline constexpr int PowerStandbyEvent = 0xB14;       //   PBT_APMSTANDBY, PBT_APMSUSPEND,
inline constexpr int PowerSuspendEvent = 0xB15;       //   PBT_APMQUERYSTANDBY, PBT_APMQUERYSUSPEND,
inline constexpr int PowerQueryStandbyEvent = 0xB16;  //   any other wParam (the resume
inline constexpr int PowerQuerySuspendEvent = 0xB17;  //   notifications among them)
inline constexpr int PowerOtherEvent = 0xB18;
inline constexpr int DeviceChangeEvent = 0xB19;       // WM_DEVICECHANGE, extended events

struct EndSessionClass {
  int32_t RETVALQUERY = 0;         // the answer to WM_QUERYENDSESSION
  int32_t RETVALEND = 0;           // the answer to WM_ENDSESSION
  uint8_t SENDNORMALEVENTS = 0;    // 1: EndSessionQueryEvent and EndSessionEvent
  uint8_t SENDEXTENDEDEVENTS = 0;  // 1: the power and device events
  platform::ui::HWND HWND = 0;     // the subclassed window's frame
  platform::ui::WNDPROC HWNDPROC = nullptr;  // its procedure before the attach; nullptr none recorded
  EndSessionClass* PREVIOUSCLASS = nullptr;  // the thread's current instance at the attach
};

// The power event posted for a WM_POWERBROADCAST wParam.
int PowerEventFor(platform::ui::WPARAM wParam);

// Subclasses the calling thread's current window (platform::ui::
// TargetWindow(), once it is open) and makes the instance the thread's
// current one. The main window attaches with (1, 1, 1, 1). Without a current
// native window only the second part happens. An instance still linked is
// unlinked first.
void EndSessionAttach(EndSessionClass& instance, int32_t retValQuery, int32_t retValEnd, uint8_t extended,
                      uint8_t normal);
// Puts back the window's earlier procedure when EndSessionWindowProc is
// still in front of it; when another procedure has been put in front since,
// nothing changes. At the window's tear-down, while it is open.
void EndSessionDetach(EndSessionClass& instance);
// Takes the instance off the thread's instances (the one before it is
// current again when it was the current one). When its life ends.
void EndSessionUnlink(EndSessionClass& instance);
// The thread's current instance (nullptr none).
EndSessionClass* CurrentEndSession();

// The procedure EndSessionAttach puts in front of a window.
platform::ui::LRESULT EndSessionWindowProc(platform::ui::HWND hwnd, platform::ui::UINT message,
                                           platform::ui::WPARAM wParam, platform::ui::LPARAM lParam);

}  // namespace service
