#include "platform/shellnotify.h"

namespace platform::ui {
namespace {

NotifyShell*& Shell() {
  thread_local NotifyShell* shell = nullptr;
  return shell;
}

}  // namespace

void SetThreadNotifyShell(NotifyShell* shell) { Shell() = shell; }
NotifyShell* ThreadNotifyShell() { return Shell(); }
bool TrayHostPresent() { return Shell() != nullptr && Shell()->HostPresent(); }

int32_t Shell_NotifyIcon(uint32_t message, const NOTIFYICONDATA* data) {
  NotifyShell* shell = Shell();
  return shell != nullptr && data != nullptr && shell->NotifyIcon(message, *data) ? 1 : 0;
}

}  // namespace platform::ui
