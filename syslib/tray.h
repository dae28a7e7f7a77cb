// The notification-area icon: icons of the calling thread's target window
// in the thread's shell (platform/shellnotify.h), their pictures and tips.
//
// Clicks come back through the hook (syslib/winhook.h) as program events
// EventBase + 5000 + the mouse message (6793 left down, 6794 left up, ...),
// and a shell that comes back ("TaskbarCreated") as TaskbarRestartEvent.
// Tables are per thread: an icon is changed or removed only by the thread
// that added it. Every public function records its name first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shellnotify.h"
#include "platform/winproc.h"
#include "syslib/liberror.h"
#include "syslib/modules.h"

namespace syslib {

constexpr LONG kErrTaskbarAddIcon = static_cast<LONG>(0xA000004Du);
constexpr LONG kErrTaskbarRemoveIcon = static_cast<LONG>(0xA000004Eu);
constexpr LONG kErrTaskbarChangeIcon = static_cast<LONG>(0xA000004Fu);

// One icon the thread added.
struct IconRecord {
  platform::ui::HWND WINHANDLE = 0;  // the owning window's frame
  uint32_t ID = 0;
  uint32_t SHELLVERSION = 4;         // shell32's major version when added, at least 4
};
// A loaded picture, by the name it was asked for.
struct LoadedIcon {
  HICON ICONHANDLE = 0;
  std::string ICONNAME;  // trailing blanks removed, at most 255 characters
};

const std::vector<IconRecord>& IQ();
const std::vector<LoadedIcon>& IHQ();

// Records "WinTaskbarAddIcon". Adds an icon for the target window: its id is
// 1 + the highest id of the thread's icons (1 for the first), whatever
// window they belong to. Its picture: iconName (ds_GetHIcon; "~" names a
// resource; with ownModule the program's resources and otherwise files, else
// the resources of module), loaded once per thread and name. Its tip: empty
// with noTip, else the tip cleaned (CleanTipText) and cut to 127
// characters; callback TaskBarCallBackMsg. With setVersion and a shell of
// version 5 or later, NOTIFYICON_VERSION is asked for afterwards. Also
// registers "TaskbarCreated" (once per process) and alerts it and the
// callback message for the window (WinAlert).
// Result: the id; 0 for an empty icon name (no error), a picture that
// cannot be loaded (ds_GetHIcon's error) or a refused NIM_ADD (0A000004Dh
// "WinTaskbarAddIcon Error : shell_notifyIcon failed"). A refused
// NIM_SETVERSION sets 0A000004Dh "WinTaskbarAddIcon Error : Setversion
// failed : <text>" and still gives the id.
LONG WinTaskbarAddIcon(std::string_view module, std::string_view tip, std::string_view iconName, uint8_t noTip,
                       uint8_t setVersion, uint8_t ownModule);

// Records "WinTaskbarChangeIcon". Gives the icon (the target window's first
// with byWindow or id 0, else the thread's icon of that id) the picture and
// the tip; when the shell does not know it (NIM_MODIFY refused) adds it
// again with the same id and callback; both refused: 0A000004Fh
// "WinTaskbarChangeIcon Error : shell_notifyIcon failed". An empty icon
// name, a picture that cannot be loaded or no such icon: nothing.
void WinTaskbarChangeIcon(std::string_view module, std::string_view tip, std::string_view iconName, LONG id,
                          uint8_t byWindow, uint8_t noTip, uint8_t ownModule);

// Records "WinTaskbarRemoveIcon". Removes every icon of the target window
// (all non-zero) or the thread's icon of that id: NIM_DELETE, the record
// goes even when the shell refuses (0A000004Eh "WinTaskbarRemoveIcon Error :
// shell_notifyIcon failed"). No such icon: nothing. Alerts and loaded
// pictures stay.
void WinTaskbarRemoveIcon(LONG id, uint8_t all);

// --- internal routines
// The thread's picture of that name (trailing blanks ignored), loaded on
// first use; 0 when it cannot be loaded (the error of ds_GetHIcon or
// ds_GetHModule).
HICON LoadTrayIcon(std::string_view module, std::string_view iconName, uint8_t ownModule);
// The index in IQ of the target window's first icon (byWindow) or of the
// icon of that id; -1 for none.
int FindTrayIcon(uint32_t id, uint8_t byWindow);
// A fresh structure for an icon: cbSize by its shell version (88 below 5,
// 488 for 5, 504 from 6), hWnd and uID.
platform::ui::NOTIFYICONDATA SetIconDataSize(const IconRecord& icon);
// The text in a 255-character field; below shell version 5 every CR and LF
// a blank; trailing blanks removed.
std::string CleanTipText(std::string_view text, uint32_t shellVersion);
// NIM_DELETE for the icon at that index of IQ, then its record goes.
void DeleteTrayIcon(int index);

}  // namespace syslib
