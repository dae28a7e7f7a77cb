#include "app/ui/system_tools.h"

namespace app::ui {

void RunSystemTool(std::string_view) {}

}  // namespace app::ui
