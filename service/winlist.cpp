#include "service/winlist.h"

#include "platform/text.h"

namespace service {

std::vector<WinEntry>& QWin() {
  thread_local std::vector<WinEntry> list;
  return list;
}

// No window of another instance can be reached yet: the list stays empty.
void EnumerateTopWindows() { QWin().clear(); }

std::string MainWindowClass(std::string_view instanceName) { return "VelornMain" + std::string(instanceName); }

bool IsInstanceWindow(const WinEntry& e, std::string_view instanceName) {
  return e.className == MainWindowClass(instanceName) &&
         platform::text::UpperAscii(e.title).find("VELORN") != std::string::npos;
}

bool IsIconic(long) { return false; }
void ShowWindow(long, int) {}
void SetForegroundWindow(long) {}

}  // namespace service
