// A notification area for tests: records every request, holds the icons it
// took, and refuses what it is told to (and, as a shell does, a change or
// removal of an icon it does not hold, and a second add).
#pragma once

#include <set>
#include <utility>
#include <vector>

#include "platform/shellnotify.h"

namespace testsupport {

class RecordingShell final : public platform::ui::NotifyShell {
 public:
  struct Call {
    uint32_t message;
    platform::ui::NOTIFYICONDATA data;
    bool done;
  };
  // The calling thread's shell while alive.
  RecordingShell() { platform::ui::SetThreadNotifyShell(this); }
  ~RecordingShell() override { platform::ui::SetThreadNotifyShell(nullptr); }
  RecordingShell(const RecordingShell&) = delete;
  RecordingShell& operator=(const RecordingShell&) = delete;

  bool NotifyIcon(uint32_t message, const platform::ui::NOTIFYICONDATA& data) override {
    const std::pair key{data.hWnd, data.uID};
    const bool held = icons.contains(key);
    bool ok = !refuse.contains(message);
    if (message == platform::ui::NIM_ADD) ok = ok && !held;
    else ok = ok && held;
    if (ok && message == platform::ui::NIM_ADD) icons.insert(key);
    if (ok && message == platform::ui::NIM_DELETE) icons.erase(key);
    calls.push_back({message, data, ok});
    return ok;
  }
  // The shell starts again: it knows no icon.
  void Restart() { icons.clear(); }
  bool HostPresent() const override { return hostPresent; }

  bool hostPresent = true;  // a tray host shows the icons

  std::vector<Call> calls;
  std::set<uint32_t> refuse;  // messages refused whatever the icon
  std::set<std::pair<platform::ui::HWND, uint32_t>> icons;
};

}  // namespace testsupport
