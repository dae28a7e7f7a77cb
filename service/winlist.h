// The list of top-level windows (per thread) and the calls made on a window
// found in it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace service {

struct WinEntry {
  std::string title;
  long handle = 0;
  std::string className;
};

inline constexpr int kSwRestore = 9;

// The calling thread's window list Q:WIN.
std::vector<WinEntry>& QWin();
// Fills QWin() with all top-level windows of the running instances.
void EnumerateTopWindows();
// Whether an entry is the main window of the instance whose mutex name is
// given: its class carries that name and its title holds "vELORN" (case
// ignored).
bool IsInstanceWindow(const WinEntry& e, std::string_view instanceName);
// The class name of an instance's main window.
std::string MainWindowClass(std::string_view instanceName);

bool IsIconic(long handle);
void ShowWindow(long handle, int command);
void SetForegroundWindow(long handle);

}  // namespace service
