// The list of top-level windows (per thread) and the calls made on a window
// found in it.
//
// The list holds the native windows of this process (platform/winproc.h)
// and those of every other Velorn process of the user: each process with
// windows serves them on a local socket of its own in the runtime folder
// (StartWindowListServer), from a thread of its own over the snapshot that
// its window threads keep, so a window thread busy for seconds does not
// slow anyone down. A process gets kPeerTimeoutMs to answer; a silent one
// is left out.
//
// Sockets of processes that died (killed, crashed) do not pile up: an
// enumeration, a request and the server's start remove a socket that nobody
// listens on (a socket is named only once it listens, so its process is
// gone, whatever process has its id now), and a temporary name whose
// process no longer exists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/winproc.h"

namespace service {

using platform::ui::HWND;

struct WinEntry {
  std::string title;      // Q:WIN:TITLE, at most 1022 characters
  HWND handle = 0;        // Q:WIN:HANDLE
  std::string className;  // Q:WIN:CLASS, at most 1022 characters
};

inline constexpr int kSwRestore = platform::ui::SW_RESTORE;
inline constexpr std::size_t kWinTextChars = 1022;
// What another process gets to answer one request.
inline constexpr int kPeerTimeoutMs = 100;

// The calling thread's window list Q:WIN.
std::vector<WinEntry>& QWin();
// Empties QWin() and fills it with the top-level windows: those of this
// process first, then those of the other processes, each top first. A
// window is listed with its caption when it has one (blanks count); an
// untitled one with its answer to WM_GETTEXT when that holds a non-blank
// character; else it is left out.
void EnumerateTopWindows();
// Whether an entry is the main window of the instance whose name is given:
// its class carries that name and its title holds "vELORN" (case ignored).
bool IsInstanceWindow(const WinEntry& e, std::string_view instanceName);
// The class name of an instance's main window.
std::string MainWindowClass(std::string_view instanceName);

// For a window of any Velorn process: its iconized state (also while it is
// hidden); a restore or other ShowWindow command and bring-to-front, posted
// to the window's thread. False when the window or its process does not
// answer.
bool IsIconic(HWND handle);
bool ShowWindow(HWND handle, int command);
bool SetForegroundWindow(HWND handle);

// The server of this process's windows: started once (later calls return
// whether it runs); false when there is no runtime folder or the socket
// cannot be made. Stop removes the socket.
bool StartWindowListServer();
void StopWindowListServer();
// The socket of a process in the runtime folder ("" without one).
std::string WindowListSocket(uint32_t pid);

// Removes the socket file at path when it is still the file (device and
// inode) that was found dead; a file put under that name since, by a
// process that got the dead one's id, is kept. True when it was removed.
bool RemoveDeadSocket(const std::string& path, uint64_t device, uint64_t inode);

}  // namespace service
