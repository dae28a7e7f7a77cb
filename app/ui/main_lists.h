// The main window's lists: the task list on ?LIST, the output list on
// ?LIST:2, the preset drop list on ?PRE:NAZEV and the task list's
// column-header sorting (TaskListSortHeader).
//
// Each list reads through an instance of its file of its own (opened at
// SetUp, closed with the lists) and writes through the window thread's
// instance (app/data/records.h), whose buffer the forms and the window's
// commands work on.
//
// TaskList: every task of Tasks.tps in TAS:KeyCas order (or the order of the
// clicked headers), through the filter SetTaskFilter gives. A row shows the
// active flag with icon 1 "~Tag.ico" (AKTIVNI 1) or 2 "~Untag.ico" (any
// other value), the time, OPAKOVAT ("ANO" for a weekday mask with a day,
// "NE" for "00" or none), the first date, the description and the last run
// (blank when none); its five text columns are red (FFh, selected white)
// for an inactive task, orange (80FFh, selected white) for an active one
// that deletes itself after its last run, else in the list's colours (-1).
// ?INSERT and ?CHANGE (and Enter or a double click on a row) run the task
// editor through the update procedure (1 insert, 2 change); the selected
// task is read by TAS:ID through the thread's TASKS instance before a change
// or a copy. An insert with MainLocals::CopyKeepsRecord 1 is a copy: it
// keeps TAS:NAZEV, TAS:PREHRAT and TAS:DELKA_SOUBORU of the selected task
// (read anew, whatever the buffer held), gets every other default and the
// next TAS:ID; without a selected task that still exists it opens nothing
// and clears CopyTaskPending. The popup item "&Kopíruj úlohu" presses ?COPY.
// Every refill enables ?COPY and the popup item exactly while the list has
// rows. The list deletes nothing.
//
// OutputList: Outputs.tps in OUT:KeyCislo order, both columns edited in
// place (?INSERT:2 a new row, ?CHANGE:2 / Enter / double click the selected
// row, ?DELETE:2 removes it at once). An accepted edit is written at once;
// a number already used is refused with error 40 (reported, nothing
// changed, the edit stays open); a number 0 or none is refused as an empty
// required entry (the edit stays on the number, nothing written): a record
// numbered 0 would drop out of OUT:KeyCislo, which the list and the output
// buttons read in.
//
// PresetDropList: app/ui/preset_list.h.
//
// Everything runs on the window's thread; the lists go before the window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/data/records.h"
#include "app/ui/preset_list.h"
#include "app/ui/sort_header.h"
#include "platform/recordlist.h"
#include "platform/window.h"

namespace app::ui {

struct MainLocals;

// The lists' format texts.
inline constexpr const char* kTaskListFormat =
    "12C|I~A~@n3@24R(2)|*~Čas~C(0)@t7@36C|*~Opakování~@s5@48C|*~První spuštění~@d17@204L(2)|M*~Popis "
    "úlohy~@s50@40L(2)|*~Naposledy spuštěno~@d17B@";
inline constexpr const char* kOutputListFormat = "20C|~Číslo~@N3@40L(2)|~Název~@s10@";
inline constexpr const char* kPortDropFormat = "16L(2)|M~Port~@s4@";

// The task list's filter of active tasks.
inline constexpr const char* kActiveTasksFilter = "TAS:Aktivni=1";
inline constexpr const char* kCopyTaskItem = "&Kopíruj úlohu";

// The row colours (00BBGGRRh; -1 the list's own).
inline constexpr int32_t kInactiveColor = 0xFF;
inline constexpr int32_t kAutoDeleteColor = 0x80FF;
inline constexpr int32_t kSelectedTextColor = 0xFFFFFF;

class TaskListSortHeaderClass;

class TaskList final : public platform::ui::RecordList {
 public:
  TaskList(MainLocals& locals, SortHeader& header) : locals_(locals), header_(header) {}
  // Opens the list's own TASKS and sets the list up on ?LIST (before the
  // window opens); runForm runs the task editor (procedure, request) ->
  // response. With view (a window run to view) no update controls.
  void SetUpTaskList(platform::ui::Window& w, std::function<uint8_t(int, uint8_t)> runForm, bool view);
  // Once the window is open: order, field pairs, icons, popup item.
  void SetUpRest();
  // The preparation of a new task (PrimeRecord): keep the buffer when
  // asked or for a copy (CopyKeepsRecord consumed); defaults; next TAS:ID.
  int PrepareTaskForInsert(bool keep);
  // The platform's refill; then ?COPY and the popup item follow the rows.
  void RefillTaskList();
  // The row fill (FillRow).
  void FillTaskRow(platform::ui::ListRow& row);
  // SetSort: a change of order number clears the header's marks.
  int ChangeTaskSortOrder(int order);
  // An order text of the clicked headers; "" the list's own order again.
  void ApplySortOrder(const std::string& order);

  int PrimeRecord(bool keep) override { return PrepareTaskForInsert(keep); }
  void Refill() override { RefillTaskList(); }
  void FillRow(platform::ui::ListRow& row) override { FillTaskRow(row); }
  int SetSort(int order) override { return ChangeTaskSortOrder(order); }
  int TakeEvent(platform::ui::Window& w) override;

 private:
  // ?COPY and the popup item enabled exactly while the list has rows.
  void ShowCopyState();
  MainLocals& locals_;
  SortHeader& header_;
  platform::rec::File<data::TasksRecord> view_{data::TasksDecl()};
  platform::ui::Control* copy_ = nullptr;  // ?COPY
  int iconField_ = 0;
};

// The sort header of the task list: its order goes to the task list.
class TaskListSortHeaderClass final : public SortHeader {
 public:
  TaskList* tasks = nullptr;
  void ApplySortOrder(const std::string& order) override {
    if (tasks != nullptr) tasks->ApplySortOrder(order);
  }
};

class OutputList final : public platform::ui::RecordList {
 public:
  // Opens the list's own OUTPUTS and sets the list up on ?LIST:2 with its
  // in-place editors (before the window opens).
  void SetUpOutputList(platform::ui::Window& w, bool view);
  void SetUpRest();
  void RefillOutputList() { RecordList::Refill(); }
  void Refill() override { RefillOutputList(); }

 private:
  platform::rec::File<data::OutputsRecord> view_{data::OutputsDecl()};
};

class MainLists {
 public:
  MainLists();
  ~MainLists();
  MainLists(const MainLists&) = delete;
  MainLists& operator=(const MainLists&) = delete;

  // TaskList on ?LIST and OutputList on ?LIST:2, before the window opens.
  void SetUp(platform::ui::Window& w, MainLocals& locals, std::function<uint8_t(int, uint8_t)> runTaskForm,
             bool view = false);
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

  // The lists (after SetUp).
  TaskList& Tasks() { return *tasks_; }
  OutputList& Outputs() { return outputs_; }
  PresetDropList& Presets() { return presets_; }
  TaskListSortHeaderClass& TaskListSortHeader() { return header_; }

 private:
  TaskListSortHeaderClass header_;
  std::unique_ptr<TaskList> tasks_;
  OutputList outputs_;
  PresetDropList presets_;
};

}  // namespace app::ui
