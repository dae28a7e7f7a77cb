// The main window's lists: the task list on ?LIST, the output list on
// ?LIST:2, the preset drop list on ?PRE:NAZEV and the task list's
// column-header sorting (TaskListSortHeader).
//
// Not built yet: this stand-in leaves the three controls empty, sorts
// nothing and takes no event. The main window calls each hook at its place
// in the window's life; the lists fill them in.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace app::ui {

// The lists' format texts.
inline constexpr const char* kTaskListFormat =
    "12C|I~A~@n3@24R(2)|*~Čas~C(0)@t7@36C|*~Opakování~@s5@48C|*~První spuštění~@d17@204L(2)|M*~Popis "
    "úlohy~@s50@40L(2)|*~Naposledy spuštěno~@d17B@";
inline constexpr const char* kOutputListFormat = "20C|~Číslo~@N3@40L(2)|~Název~@s10@";
inline constexpr const char* kPresetDropFormat = "92L(2)|M@s20@56R(2)|M@n-14@";
inline constexpr const char* kPortDropFormat = "16L(2)|M~Port~@s4@";

class MainLists {
 public:
  // TaskList on ?LIST and OutputList on ?LIST:2, before the window opens.
  void SetUp(platform::ui::Window& w);
  // After the window opened: the rest of the list set-up, PresetDropList on
  // ?PRE:NAZEV, the task list's popup menu.
  void SetUpRest(platform::ui::Window& w);
  // The task list's rows.
  int TaskRows() const;
  // Reloads the task list (after a scan booked a run, a filter change).
  void RefreshTaskList();
  // The task list's filter: only active tasks ("TAS:Aktivni=1") or every
  // task (the empty filter). Takes effect at the next refill.
  void SetTaskFilter(bool activeOnly);

  // TaskListSortHeader: its set-up on ?LIST, its share of every event
  // (kConsumed for a click on a column head), its keys, its tear-down.
  void SortHeaderSetUp(platform::ui::Window& w);
  int SortHeaderTakeEvent(platform::ui::Window& w);
  void SortHeaderSetAlerts(platform::ui::Window& w);
  void SortHeaderTearDown();
};

}  // namespace app::ui
