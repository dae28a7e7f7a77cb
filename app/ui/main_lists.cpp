#include "app/ui/main_lists.h"

namespace app::ui {

void MainLists::SetUp(platform::ui::Window&) {}
void MainLists::SetUpRest(platform::ui::Window&) {}
int MainLists::TaskRows() const { return 0; }
void MainLists::RefreshTaskList() {}
void MainLists::SetTaskFilter(bool) {}
void MainLists::SortHeaderSetUp(platform::ui::Window&) {}
int MainLists::SortHeaderTakeEvent(platform::ui::Window&) { return platform::ui::kGoOn; }
void MainLists::SortHeaderSetAlerts(platform::ui::Window&) {}
void MainLists::SortHeaderTearDown() {}

}  // namespace app::ui
