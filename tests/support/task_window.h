// A test window with a list in the task list's format over a real
// Tasks.tps, its rows and colours, and a column-header sort whose order
// switches the list (as the main window's will).
#pragma once

#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/ui/sort_header.h"
#include "platform/recordlist.h"
#include "platform/window.h"

namespace testsupport {

inline constexpr const char* kTaskListFormat =
    "12C|I~A~@n3@24R(2)|*~Čas~C(0)@t7@36C|*~Opakování~@s5@48C|*~První spuštění~@d17@204L(2)|M*~Popis "
    "úlohy~@s50@40L(2)|*~Naposledy spuštěno~@d17B@";

// Rows as the task list fills them: the repeat text, the colours of the
// five text columns (inactive red, self-deleting orange) and the icon.
class TaskRows : public platform::ui::RecordList {
 public:
  explicit TaskRows(app::data::TasksRecord& rec) : rec_(rec) {}
  void FillRow(platform::ui::ListRow& row) override;
  std::string Opakovat;

 private:
  app::data::TasksRecord& rec_;
};

class TaskSort : public app::ui::SortHeader {
 public:
  void ApplySortOrder(const std::string& order) override;
  std::vector<std::string> applied;  // every order text handed over
};

// The window (procedure "Main"), its task list on ?LIST and the sort
// header, over Tasks.tps in the current folder (created when missing).
class TaskWindow {
 public:
  TaskWindow();
  ~TaskWindow();
  // Eight tasks whose descriptions differ in case and diacritics, in file
  // order: "cesta" 10:00 (weekdays "0A", run 4.3.2026), "Čas" 8:00, "Ahoj"
  // 12:00, "CESTA" 9:00, "ryba" 7:00 inactive, "čaj" 11:00 deleting
  // itself, "áčko" 6:00, "Řeka" 13:00 deleting itself (every day).
  static void AddCzechTasks();
  // Adds a task through another instance of the file.
  static void AddTask(const std::string& name, platform::StdTime time, uint8_t active = 1, uint8_t autoDelete = 0,
                      const std::string& weekdays = "00", platform::StdDate last = 0);

  platform::ui::Window window{"Main"};
  platform::rec::File<app::data::TasksRecord> own{app::data::TasksDecl()};
  TaskRows list{own.rec};
  TaskSort header;

  // The descriptions on the page, top first; the six header texts.
  std::vector<std::string> Names() const;
  std::vector<std::string> Headers() const;
  // Ends set-up once the window is open: the sort header and its keys.
  void SetUpHeader();
};

}  // namespace testsupport
