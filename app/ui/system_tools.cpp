#include "app/ui/system_tools.h"

#include <string>

#include "app/ui/messages.h"
#include "platform/run.h"
#include "syslib/dllhelp.h"

namespace app::ui {

void RunSystemTool(std::string_view command) {
  const platform::RunResult r = platform::RunNoWait(command, syslib::GetWindowsFolder());
  if (r.status != platform::RunStatus::NoneFound) return;
  std::string names;
  for (const std::string& p : r.lookedFor) names += (names.empty() ? "" : ", ") + p;
  aMessage("stop.ico", "Chyba",
           "Program nelze spustit !\r\n\r\nV systému nebyl nalezen žádný z programů: " + names +
               ".\r\nNainstalujte jeden z nich a poté akci opakujte.");
}

}  // namespace app::ui
