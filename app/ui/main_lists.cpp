#include "app/ui/main_lists.h"

#include <cstdlib>

#include "app/ui/main_window.h"
#include "app/ui/task_form.h"
#include "platform/text.h"

namespace app::ui {

namespace pu = platform::ui;

namespace {

constexpr int kTaskListUpdateProcedure = 1;
constexpr int kTextColumns[] = {2, 3, 4, 5, 6};  // "Čas" .. "Naposledy spuštěno"

// The four colour fields of a row field: normal and selected, text and
// background.
void AddColourFields(pu::RecordList& list, const std::string& field) {
  for (const char* part : {"_NORMALFG", "_NORMALBG", "_SELECTEDFG", "_SELECTEDBG"}) list.AddField(field + part);
}

}  // namespace

// --- TaskList

void TaskList::SetUpTaskList(pu::Window& w, std::function<uint8_t(int, uint8_t)> runForm, bool view) {
  if (!Init(w, "?LIST", kTaskListFormat)) return;
  copy_ = w.Find("?COPY");
  if (!view_.IsOpen() && view_.Open() != 0) return;
  SetFile(view_);
  SetUpdateFile(data::Files().TASKS, [](bool keep) { return data::Controllers().TASKS.PrimeRecord(keep); });
  if (!view) SetUpdateControls("?INSERT", "?CHANGE", "");
  SetUpdateProcedure(kTaskListUpdateProcedure, std::move(runForm));
}

void TaskList::SetUpRest() {
  if (File() == nullptr) return;
  AddSortOrder(data::TAS_KeyCas);
  AddFileField("TAS:AKTIVNI");
  iconField_ = AddField("TAS:AKTIVNI_ICON");
  AddFileField("TAS:CAS_SPUSTENI");
  AddColourFields(*this, "TAS:CAS_SPUSTENI");
  AddField("OPAKOVAT", [this] { return pu::Value(locals_.Opakovat); });
  AddColourFields(*this, "OPAKOVAT");
  AddFileField("TAS:DATUM_SPUSTENI");
  AddColourFields(*this, "TAS:DATUM_SPUSTENI");
  AddFileField("TAS:NAZEV");
  AddColourFields(*this, "TAS:NAZEV");
  AddFileField("TAS:POSLEDNI_SPUSTENI");
  AddColourFields(*this, "TAS:POSLEDNI_SPUSTENI");
  AddFileField("TAS:ID");
  AddFileField("TAS:OPAKOVANI");
  SetIcons({"~Tag.ico", "~Untag.ico"});
  AddPopupItem(kCopyTaskItem, "?COPY");
}

int TaskList::PrepareTaskForInsert(bool keep) {
  if (locals_.CopyKeepsRecord == 1) {
    keep = true;
    locals_.CopyKeepsRecord = 0;
    // The copy starts from the selected task as stored, whatever the
    // buffer holds since (a scan reads tasks through it).
    if (const int rc = FetchSelected(); rc != 0) {
      CopyTaskPending = 0;
      return rc;
    }
  }
  return RecordList::PrimeRecord(keep);
}

void TaskList::RefillTaskList() {
  RecordList::Refill();
  ShowCopyState();
}

int TaskList::TakeEvent(pu::Window& w) {
  const int r = RecordList::TakeEvent(w);
  // An insert or a change through the editor reloads the page itself.
  ShowCopyState();
  return r;
}

void TaskList::ShowCopyState() {
  const bool any = Rows() > 0;
  if (copy_ != nullptr && copy_->Enabled() != any) copy_->SetEnabled(any);
  SetPopupItemEnabled(1, any);
}

void TaskList::FillTaskRow(pu::ListRow& row) {
  // A view may fill rows between the window's opening and the field pairs.
  if (iconField_ == 0) return RecordList::FillRow(row);
  const data::TasksRecord& t = view_.rec;
  const std::string mask(platform::text::TrimRight(t.OPAKOVANI));
  locals_.Opakovat = mask.empty() || std::strtol(mask.c_str(), nullptr, 16) == 0 ? "NE" : "ANO";
  RecordList::FillRow(row);
  pu::CellColors c;
  if (t.AKTIVNI == 0) {
    c.fg = kInactiveColor;
    c.selectedFg = kSelectedTextColor;
  } else if (t.AUTOMATICKY_SMAZAT == 1) {
    c.fg = kAutoDeleteColor;
    c.selectedFg = kSelectedTextColor;
  }
  for (int column : kTextColumns) {
    const std::size_t first = static_cast<std::size_t>(Column(column).colorField - 1);
    row.fields[first] = int64_t{c.fg};
    row.fields[first + 1] = int64_t{c.bg};
    row.fields[first + 2] = int64_t{c.selectedFg};
    row.fields[first + 3] = int64_t{c.selectedBg};
  }
  row.fields[static_cast<std::size_t>(iconField_ - 1)] = int64_t{t.AKTIVNI == 1 ? 1 : 2};
}

int TaskList::ChangeTaskSortOrder(int order) {
  const int r = RecordList::SetSort(order);
  if (order != locals_.LastTaskSortOrder) header_.ClearSortHeader();
  locals_.LastTaskSortOrder = static_cast<uint8_t>(order);
  return r;
}

void TaskList::ApplySortOrder(const std::string& order) {
  if (order.empty())
    SetSort(1);
  else
    SetOrderText(order);
  Refill();
}

// --- OutputList

void OutputList::SetUpOutputList(pu::Window& w, bool view) {
  if (!Init(w, "?LIST:2", kOutputListFormat)) return;
  if (!view_.IsOpen() && view_.Open() != 0) return;
  SetFile(view_);
  SetUpdateFile(data::Files().OUTPUTS, [](bool keep) { return data::Controllers().OUTPUTS.PrimeRecord(keep); });
  // A number 0 is refused as an empty required entry is.
  auto number = std::make_shared<pu::CellEditor>();
  number->required = true;
  SetEditor(1, std::move(number));
  SetEditor(2, std::make_shared<pu::CellEditor>());
  if (!view) SetUpdateControls("?INSERT:2", "?CHANGE:2", "?DELETE:2");
}

void OutputList::SetUpRest() {
  if (File() == nullptr) return;
  AddSortOrder(data::OUT_KeyCislo);
  AddFileField("OUT:CISLO");
  AddFileField("OUT:NAZEV");
}

// --- MainLists

MainLists::MainLists() = default;
MainLists::~MainLists() = default;

void MainLists::SetUp(pu::Window& w, MainLocals& locals, std::function<uint8_t(int, uint8_t)> runTaskForm, bool view) {
  tasks_ = std::make_unique<TaskList>(locals, header_);
  header_.tasks = tasks_.get();
  tasks_->SetUpTaskList(w, std::move(runTaskForm), view);
  outputs_.SetUpOutputList(w, view);
  presets_.SetUpPresetDropList(w, "?PRE:NAZEV");
}

void MainLists::SetUpRest(pu::Window&) {
  if (!tasks_) return;
  tasks_->SetUpRest();
  outputs_.SetUpRest();
  tasks_->Refill();
  outputs_.Refill();
}

int MainLists::TaskRows() const { return tasks_ ? tasks_->Rows() : 0; }

void MainLists::RefreshTaskList() {
  if (tasks_) tasks_->Refill();
}

void MainLists::SetTaskFilter(bool activeOnly) {
  if (tasks_) tasks_->SetFilter(activeOnly ? kActiveTasksFilter : "");
}

void MainLists::SortHeaderSetUp(pu::Window&) {
  if (tasks_ && tasks_->File() != nullptr) header_.SetUpSortHeader(*tasks_, true);
}

int MainLists::SortHeaderTakeEvent(pu::Window&) { return header_.OnSortHeaderEvent() != 0 ? pu::kConsumed : pu::kGoOn; }

void MainLists::SortHeaderSetAlerts(pu::Window& w) { header_.SetSortHotKeys(w); }

void MainLists::SortHeaderTearDown() { header_.TearDownSortHeader(); }

}  // namespace app::ui
