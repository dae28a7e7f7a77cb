#include "platform/recordlist.h"

#include <algorithm>
#include <utility>
#include <climits>

#include "platform/locale_texts.h"
#include "platform/msgbox.h"
#include "platform/text.h"

namespace platform::ui {

namespace {

using platform::locale::RecordNotAvailable;

thread_local const RecordList* tLastPressed = nullptr;

constexpr int kTab = 0x09, kShiftTab = 0x109, kEnter = 0x0D, kEsc = 0x1B;

bool EmptyValue(const Value& v) {
  if (const auto* n = std::get_if<int64_t>(&v)) return *n == 0;
  return text::TrimRight(std::get<std::string>(v)).empty();
}

// A value in the form a field of this type holds.
Value AsFieldValue(const rec::FieldDecl& f, const Value& v) {
  if (f.IsText()) return Value(ValueText(v));
  return Value(ValueNumber(v));
}

// The picture a record field is typed in when no column shows it.
std::string DefaultPicture(const rec::FieldDecl& f) {
  switch (f.type) {
    case rec::FieldType::Date: return "@d17";
    case rec::FieldType::Time: return "@t7";
    case rec::FieldType::String:
    case rec::FieldType::CString: return "@s" + std::to_string(f.size);
    default: return "@n-14";
  }
}

}  // namespace

std::string CellEditor::Show(const ListColumn& column, const Value& v) const {
  return FormatPicture(column.picture, v);
}

std::optional<Value> CellEditor::Read(const ListColumn& column, std::string_view text) const {
  return ParsePicture(column.picture, text);
}

RecordList::RecordList() = default;

RecordList::~RecordList() {
  if (tLastPressed == this) tLastPressed = nullptr;
  if (control_ != nullptr) control_->SetSource(nullptr);
  if (window_ != nullptr) window_->RemoveComponent(this);
}

// --- set-up

bool RecordList::Init(Window& w, std::string_view label, std::string_view format) {
  Control* c = w.Find(label);
  if (c == nullptr || (c->Kind() != ControlKind::List && c->Kind() != ControlKind::DropList)) return false;
  auto f = ParseListFormat(format);
  if (!f) return false;
  window_ = &w;
  control_ = c;
  format_ = std::move(*f);
  editors_.assign(format_.columns.size(), nullptr);
  editTexts_.assign(format_.columns.size(), std::string());
  // The control shows this list; the list owns itself.
  c->SetSource(std::shared_ptr<ListSource>(std::shared_ptr<void>(), this));
  w.AddComponent(this);
  return true;
}

void RecordList::SetFile(rec::RecordFile& file, void* buffer) {
  file_ = &file;
  buffer_ = buffer;
  query_ = std::make_unique<rec::RecordQuery>(file);
  ApplyView();
}

int RecordList::AddField(std::string name, std::function<Value()> source) {
  fields_.push_back({std::move(name), std::move(source), -1});
  return static_cast<int>(fields_.size());
}

int RecordList::AddFileField(std::string_view fileField) {
  if (file_ == nullptr) return 0;
  const int f = file_->Decl().FieldIndex(fileField);
  if (f < 0) return 0;
  const rec::FieldDecl* decl = &file_->Decl().fields[static_cast<std::size_t>(f)];
  fields_.push_back({decl->name, [this, decl] { return decl->get(buffer_); }, f});
  return static_cast<int>(fields_.size());
}

void RecordList::SetItems(int items) {
  items = std::max(items, 1);
  if (items == items_) return;
  items_ = items;
  if (file_ != nullptr && !IsDrop() && file_->IsOpen()) Refill();
}

void RecordList::SetIcons(std::vector<std::string> files) {
  icons_ = std::move(files);
  Shown();
}

void RecordList::AddPopupItem(std::string text, std::string control) {
  popup_.push_back({std::move(text), std::move(control), true});
}

void RecordList::SetPopupItemEnabled(int item, bool enabled) {
  if (item >= 1 && item <= static_cast<int>(popup_.size())) popup_[static_cast<std::size_t>(item - 1)].enabled = enabled;
}

bool RecordList::IsDrop() const { return control_ != nullptr && control_->Kind() == ControlKind::DropList; }

// --- orders and filter

void RecordList::ApplyView() {
  if (!query_) return;
  if (!orderText_.empty())
    query_->SetOrder(orderText_);
  else if (sortOrder_ >= 1)
    query_->SetKey(orders_[static_cast<std::size_t>(sortOrder_ - 1)].key);
  else
    query_->SetOrder(std::vector<rec::OrderItem>{});
  query_->SetFilter(filterText_);
}

int RecordList::AddSortOrder(int key) {
  orders_.push_back({key});
  if (sortOrder_ == 0) sortOrder_ = 1;
  ApplyView();
  return static_cast<int>(orders_.size());
}

int RecordList::SetSort(int order) {
  if (order < 1 || order > static_cast<int>(orders_.size())) return 0;
  const bool changed = order != sortOrder_ || !orderText_.empty();
  sortOrder_ = order;
  orderText_.clear();
  ApplyView();
  return changed ? 1 : 0;
}

int RecordList::SetOrderText(std::string_view text) {
  if (file_ == nullptr) return locale::FileNotOpen;
  if (!rec::ParseOrderText(file_->Decl(), text)) return locale::InvalidIndexString;
  orderText_ = text::TrimRight(text);
  ApplyView();
  return 0;
}

int RecordList::SetFilter(std::string_view text) {
  if (file_ == nullptr) return locale::FileNotOpen;
  if (!rec::ParseFilterText(file_->Decl(), text)) return locale::InvalidIndexString;
  filterText_ = text::TrimRight(text);
  ApplyView();
  return 0;
}

// --- loading

void RecordList::ReportRead() {
  const int code = rec::LastError();
  if (code != 0 && code != RecordNotAvailable && file_ != nullptr) ReportRecordError(file_->Decl().fileName, code, false);
}

RecordList::Loaded RecordList::ReadRows(const rec::ViewPosition* from, bool inclusive, bool backward, int n) {
  Loaded rows;
  if (!query_ || n <= 0) return rows;
  const int rc = query_->Read(from, inclusive, backward, n, [&](const rec::ViewPosition& pos) {
    ListRow row;
    row.position = pos;
    FillRow(row);
    rows.push_back(std::move(row));
  });
  if (rc != 0) ReportRead();
  return rows;
}

RecordList::Loaded RecordList::ReadAllRows() { return ReadRows(nullptr, false, false, INT_MAX); }

void RecordList::FillRow(ListRow& row) {
  row.fields.assign(std::max<std::size_t>(fields_.size(), static_cast<std::size_t>(format_.fields)), Value(int64_t{0}));
  for (std::size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].source) row.fields[i] = fields_[i].source();
  row.primary.clear();
  if (file_ == nullptr) return;
  const rec::FileDecl& d = file_->Decl();
  for (const rec::KeyDecl& k : d.keys) {
    if (!k.primary) continue;
    for (int f : k.fields) row.primary.push_back(d.fields[static_cast<std::size_t>(f)].get(buffer_));
    break;
  }
}

void RecordList::Counts() {
  if (IsDrop() || !query_) {
    viewRecords_ = static_cast<int64_t>(rows_.size());
    recordsBefore_ = 0;
    return;
  }
  const int64_t count = query_->Count();
  viewRecords_ = std::max<int64_t>(count, static_cast<int64_t>(rows_.size()));
  recordsBefore_ = rows_.empty() ? 0 : std::max<int64_t>(query_->CountBefore(rows_.front().position, count), 0);
}

void RecordList::Shown() {
  if (control_ != nullptr) control_->SetSource(std::shared_ptr<ListSource>(std::shared_ptr<void>(), this));
}

void RecordList::SetPage(Loaded rows, int selected) {
  rows_ = std::move(rows);
  Counts();
  Shown();
  const int n = static_cast<int>(rows_.size());
  if (control_ != nullptr) control_->SetChoice(n == 0 ? 0 : std::clamp(selected, 1, n));
}

void RecordList::PageFrom(const rec::ViewPosition* pos, int selected) {
  Loaded after = ReadRows(pos, true, false, items_);
  Loaded before;
  if (static_cast<int>(after.size()) < items_ && (pos != nullptr || !after.empty())) {
    const rec::ViewPosition* from = after.empty() ? pos : &after.front().position;
    before = ReadRows(from, false, true, items_ - static_cast<int>(after.size()));
  }
  const int anchor = static_cast<int>(before.size()) + 1;
  std::reverse(before.begin(), before.end());
  before.insert(before.end(), std::make_move_iterator(after.begin()), std::make_move_iterator(after.end()));
  SetPage(std::move(before), selected > 0 ? selected : anchor);
}

void RecordList::PageAround(const rec::ViewPosition& pos, int selected) {
  selected = std::clamp(selected, 1, items_);
  Loaded before = ReadRows(&pos, false, true, selected - 1);
  Loaded after = ReadRows(&pos, true, false, items_ - static_cast<int>(before.size()));
  const int total = static_cast<int>(before.size() + after.size());
  if (static_cast<int>(before.size()) == selected - 1 && total < items_) {
    const rec::ViewPosition& from = before.empty() ? pos : before.back().position;
    Loaded more = ReadRows(&from, false, true, items_ - total);
    before.insert(before.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  }
  const int anchor = static_cast<int>(before.size()) + 1;
  std::reverse(before.begin(), before.end());
  before.insert(before.end(), std::make_move_iterator(after.begin()), std::make_move_iterator(after.end()));
  SetPage(std::move(before), anchor);
}

void RecordList::Refill() {
  if (!query_ || file_ == nullptr || !file_->IsOpen()) return;
  const int sel = Selected();
  if (IsDrop()) {
    const int64_t chosen = sel > 0 ? rows_[static_cast<std::size_t>(sel - 1)].position.row : 0;
    Loaded rows = ReadAllRows();
    int keep = 0;
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].position.row == chosen) keep = static_cast<int>(i) + 1;
    rows_ = std::move(rows);
    Counts();
    Shown();
    control_->SetChoice(keep);
    return;
  }
  if (sel > 0) {
    rec::ViewPosition pos;
    if (query_->Find(rows_[static_cast<std::size_t>(sel - 1)].position.row, pos) == 0) {
      PageAround(pos, sel);
      return;
    }
    ReportRead();
  }
  if (!rows_.empty()) {
    const rec::ViewPosition top = rows_.front().position;
    PageFrom(&top, std::max(sel, 1));
  } else {
    PageFrom(nullptr, 1);
  }
}

void RecordList::PageOnPrimary(const std::vector<Value>& primary) {
  rec::ViewPosition pos;
  if (query_ && !primary.empty() && query_->FindWhere(PrimaryTerms(primary), pos) == 0) {
    PageAround(pos, std::max(Selected(), 1));
    return;
  }
  Refill();
}

std::string RecordList::Cell(int row, int column) {
  if (row < 1 || row > Rows() || column < 1 || column > Columns()) return {};
  const ListColumn& c = Column(column);
  const auto& fields = Row(row).fields;
  if (c.field < 1 || c.field > static_cast<int>(fields.size())) return {};
  return FormatPicture(c.picture, fields[static_cast<std::size_t>(c.field - 1)]);
}

CellColors RecordList::Colors(int row, int column) const {
  CellColors out;
  if (row < 1 || row > static_cast<int>(rows_.size()) || column < 1 || column > Columns()) return out;
  const ListColumn& c = Column(column);
  const auto& f = Row(row).fields;
  if (c.colorField < 1 || c.colorField + 3 > static_cast<int>(f.size())) return out;
  auto at = [&](int k) { return static_cast<int32_t>(ValueNumber(f[static_cast<std::size_t>(c.colorField - 1 + k)])); };
  return {at(0), at(1), at(2), at(3)};
}

int RecordList::Icon(int row, int column) const {
  if (row < 1 || row > static_cast<int>(rows_.size()) || column < 1 || column > Columns()) return 0;
  const ListColumn& c = Column(column);
  const auto& f = Row(row).fields;
  if (c.iconField < 1 || c.iconField > static_cast<int>(f.size())) return 0;
  return static_cast<int>(ValueNumber(f[static_cast<std::size_t>(c.iconField - 1)]));
}

int RecordList::Selected() const {
  if (control_ == nullptr) return 0;
  const int c = control_->Choice();
  return c >= 1 && c <= static_cast<int>(rows_.size()) ? c : 0;
}

void RecordList::Select(int row) {
  if (control_ != nullptr) control_->SetChoice(row >= 1 && row <= static_cast<int>(rows_.size()) ? row : 0);
}

// --- columns and header

int RecordList::ColumnField(int column) const {
  return column >= 1 && column <= Columns() ? Column(column).field : 0;
}

std::string RecordList::FieldName(int field) const {
  return field >= 1 && field <= static_cast<int>(fields_.size()) ? fields_[static_cast<std::size_t>(field - 1)].name
                                                                 : std::string();
}

void RecordList::SetHeaderText(int column, std::string text) {
  if (column < 1 || column > Columns()) return;
  format_.columns[static_cast<std::size_t>(column - 1)].header = std::move(text);
  Shown();
}

void RecordList::SetHeaderOffset(int column, int offset) {
  if (column < 1 || column > Columns()) return;
  format_.columns[static_cast<std::size_t>(column - 1)].headerOffset = offset;
  Shown();
}

void RecordList::SetColumnWidth(int column, int width) {
  if (column < 1 || column > Columns()) return;
  format_.columns[static_cast<std::size_t>(column - 1)].width = std::max(width, 0);
}

// --- keys, mouse, region

void RecordList::Alert(int key) {
  if (!HasAlert(key)) alerts_.push_back(key);
}
void RecordList::Unalert(int key) { std::erase(alerts_, key); }
bool RecordList::HasAlert(int key) const { return std::find(alerts_.begin(), alerts_.end(), key) != alerts_.end(); }

const RecordList* RecordList::LastPressed() { return tLastPressed; }

int RecordList::MakeRegion() {
  if (region_ != 0 || window_ == nullptr) return region_;
  std::string label = control_->Label() + ":REGION";
  while (window_->Find(label) != nullptr) label += "_";
  Control& r = window_->Add(ControlKind::Region, label);
  r.Hide();
  region_ = r.Number();
  return region_;
}

void RecordList::PlaceRegion(int column) {
  regionColumn_ = column >= 1 && column <= Columns() ? column : 0;
  Shown();
}

void RecordList::SetRegionBevel(int inner, int outer) {
  bevelInner_ = inner;
  bevelOuter_ = outer;
  Shown();
}

bool RecordList::RegionShown() const {
  if (region_ == 0 || regionColumn_ == 0) return false;
  const Control* r = window_->At(region_);
  return r != nullptr && !r->Hidden();
}

void RecordList::ForgetRegion() {
  if (region_ != 0)
    if (Control* r = window_->At(region_)) r->Hide();
  region_ = 0;
  regionColumn_ = 0;
  Shown();
}

// --- operator actions

void RecordList::MouseDown(int key, int row, int column, bool border) {
  if (window_ == nullptr || !window_->IsOpen()) return;
  tLastPressed = this;
  press_ = {key, row, column, border};
  locator_.clear();
  const int me = control_->Number();
  if (HasAlert(key) || window_->HasAlert(key)) {
    const int target = HasAlert(key) ? me : 0;
    window_->Post(EVENT::PreAlertKey, target, key);
    window_->Post(EVENT::AlertKey, target, key);
    return;
  }
  if (row >= 1 && row <= Rows() && !Editing()) window_->Choose(control_->Label(), row);
}

void RecordList::Scroll(int event) {
  if (window_ != nullptr && window_->IsOpen()) window_->Post(event, control_->Number());
}

void RecordList::DragThumb(int64_t recordsBefore) {
  thumbWanted_ = recordsBefore;
  Scroll(EVENT::ScrollDrag);
}

void RecordList::TypeLocator(std::string_view typed) {
  if (window_ == nullptr || !window_->IsOpen()) return;
  if (typed == "\b") {
    if (!locator_.empty()) {
      std::size_t cut = locator_.size() - 1;
      while (cut > 0 && (static_cast<unsigned char>(locator_[cut]) & 0xC0) == 0x80) --cut;
      locator_.erase(cut);
    }
  } else {
    locator_ += typed;
  }
  window_->Post(EVENT::Locate, control_->Number());
}

void RecordList::Activate(int row) {
  if (window_ == nullptr || !window_->IsOpen() || row < 1 || row > Rows()) return;
  if (row != Selected()) window_->Choose(control_->Label(), row);
  window_->Post(EVENT::Accepted, control_->Number());
}

void RecordList::ChoosePopup(int item) {
  if (window_ == nullptr || item < 1 || item > static_cast<int>(popup_.size())) return;
  const PopupItem& p = popup_[static_cast<std::size_t>(item - 1)];
  if (p.enabled && window_->Find(p.control) != nullptr) window_->Press(p.control);
}

void RecordList::EditType(int column, std::string text) {
  if (!Editing() || !Editable(column)) return;
  editTexts_[static_cast<std::size_t>(column - 1)] = std::move(text);
  editColumn_ = column;
}

void RecordList::EditKey(int key) {
  if (Editing() && window_->IsOpen()) window_->Post(EVENT::Accepted, control_->Number(), key);
}

void RecordList::RegionMouse(int event, bool inside) {
  mouseInRegion_ = inside;
  if (region_ != 0 && window_ != nullptr && window_->IsOpen()) window_->Post(event, region_, inside ? 1 : 0);
}

bool RecordList::MouseInRegion() const {
  // A region event carries where the mouse was when it came.
  if (window_ != nullptr && region_ != 0 && window_->CurrentEvent().control == region_)
    return window_->CurrentEvent().key != 0;
  return mouseInRegion_;
}

// --- navigation

void RecordList::MoveSelection(int to) {
  if (to == Selected() || to < 1 || to > Rows()) return;
  control_->SetChoice(to);
  window_->Post(EVENT::NewSelection, control_->Number());
}

void RecordList::Navigate(int event) {
  const int sel = Selected();
  const int n = Rows();
  Loaded page;
  int selected = sel;
  switch (event) {
    case EVENT::ScrollDown: {
      if (sel < n) return MoveSelection(sel + 1);
      if (n == 0) return;
      Loaded next = ReadRows(&rows_.back().position, false, false, 1);
      if (next.empty()) return;
      page.assign(std::make_move_iterator(rows_.begin() + 1), std::make_move_iterator(rows_.end()));
      page.push_back(std::move(next.front()));
      selected = static_cast<int>(page.size());
      break;
    }
    case EVENT::ScrollUp: {
      if (sel > 1) return MoveSelection(sel - 1);
      if (n == 0) return;
      Loaded prev = ReadRows(&rows_.front().position, false, true, 1);
      if (prev.empty()) return;
      page.push_back(std::move(prev.front()));
      page.insert(page.end(), std::make_move_iterator(rows_.begin()), std::make_move_iterator(rows_.end() - 1));
      selected = 1;
      break;
    }
    case EVENT::PageDown: {
      if (n == 0) return;
      Loaded next = ReadRows(&rows_.back().position, false, false, items_);
      if (next.empty()) return MoveSelection(n);
      page = std::move(rows_);
      page.insert(page.end(), std::make_move_iterator(next.begin()), std::make_move_iterator(next.end()));
      if (static_cast<int>(page.size()) > items_) page.erase(page.begin(), page.end() - items_);
      break;
    }
    case EVENT::PageUp: {
      if (n == 0) return;
      Loaded prev = ReadRows(&rows_.front().position, false, true, items_);
      if (prev.empty()) return MoveSelection(1);
      std::reverse(prev.begin(), prev.end());
      page = std::move(prev);
      page.insert(page.end(), std::make_move_iterator(rows_.begin()), std::make_move_iterator(rows_.end()));
      if (static_cast<int>(page.size()) > items_) page.resize(static_cast<std::size_t>(items_));
      break;
    }
    case EVENT::ScrollTop:
      page = ReadRows(nullptr, false, false, items_);
      selected = 1;
      break;
    case EVENT::ScrollBottom:
      page = ReadRows(nullptr, false, true, items_);
      std::reverse(page.begin(), page.end());
      selected = static_cast<int>(page.size());
      break;
    case EVENT::ScrollDrag: {
      Loaded at;
      if (query_)
        query_->ReadAt(thumbWanted_, 1, [&](const rec::ViewPosition& pos) {
          ListRow row;
          row.position = pos;
          at.push_back(std::move(row));
        });
      if (at.empty()) return;
      PageFrom(&at.front().position, std::max(sel, 1));
      window_->Post(EVENT::NewSelection, control_->Number());
      return;
    }
    default:
      return;
  }
  SetPage(std::move(page), selected);
  window_->Post(EVENT::NewSelection, control_->Number());
}

void RecordList::Locate() {
  if (!query_ || locator_.empty()) return;
  const std::vector<rec::OrderItem>& items = query_->Order();
  int field = -1;
  if (query_->Key() >= 0)
    field = file_->Decl().keys[static_cast<std::size_t>(query_->Key())].fields.front();
  else if (!items.empty())
    field = items.front().field;
  if (field < 0) return;
  const rec::FieldDecl& fd = file_->Decl().fields[static_cast<std::size_t>(field)];
  std::string picture = DefaultPicture(fd);
  for (const ListColumn& c : format_.columns)
    if (c.field >= 1 && c.field <= static_cast<int>(fields_.size()) &&
        fields_[static_cast<std::size_t>(c.field - 1)].fileField == field && !c.picture.empty())
      picture = c.picture;
  auto value = ParsePicture(picture, locator_);
  if (!value) return;
  Loaded found;
  query_->ReadFrom(AsFieldValue(fd, *value), 1, [&](const rec::ViewPosition& pos) {
    ListRow row;
    row.position = pos;
    found.push_back(std::move(row));
  });
  if (found.empty()) {
    Navigate(EVENT::ScrollBottom);
    return;
  }
  PageFrom(&found.front().position, 0);
  window_->Post(EVENT::NewSelection, control_->Number());
}

// --- updates

void RecordList::SetUpdateFile(rec::RecordFile& file, void* buffer, std::function<int(bool keep)> prime) {
  update_ = &file;
  updateBuffer_ = buffer;
  prime_ = std::move(prime);
}

void RecordList::SetUpdateControls(std::string insert, std::string change, std::string remove) {
  insertControl_ = std::move(insert);
  changeControl_ = std::move(change);
  deleteControl_ = std::move(remove);
}

void RecordList::SetUpdateProcedure(int number, std::function<uint8_t(int, uint8_t)> run) {
  procedure_ = number;
  run_ = std::move(run);
}

int RecordList::PrimeRecord(bool keep) {
  if (prime_) return prime_(keep);
  if (update_ == nullptr) return locale::FileNotOpen;
  if (!keep) update_->ClearBuffer();
  return update_->PrimeAutoNumber();
}

std::vector<rec::FilterTerm> RecordList::PrimaryTerms(const std::vector<Value>& values) const {
  std::vector<rec::FilterTerm> terms;
  const rec::FileDecl& d = file_->Decl();
  for (const rec::KeyDecl& k : d.keys) {
    if (!k.primary) continue;
    for (std::size_t i = 0; i < k.fields.size() && i < values.size(); ++i) terms.push_back({k.fields[i], values[i]});
    break;
  }
  return terms;
}

std::vector<Value> RecordList::UpdatePrimary() const {
  std::vector<Value> values;
  if (update_ == nullptr) return values;
  const rec::FileDecl& d = update_->Decl();
  for (const rec::KeyDecl& k : d.keys) {
    if (!k.primary) continue;
    for (int f : k.fields) values.push_back(d.fields[static_cast<std::size_t>(f)].get(updateBuffer_));
    break;
  }
  return values;
}

int RecordList::FetchPrimary(const std::vector<Value>& values) {
  if (update_ == nullptr) return RecordNotAvailable;
  const rec::FileDecl& d = update_->Decl();
  int key = -1;
  for (std::size_t k = 0; k < d.keys.size(); ++k)
    if (d.keys[k].primary) key = static_cast<int>(k);
  if (key < 0 || values.size() != d.keys[static_cast<std::size_t>(key)].fields.size()) return RecordNotAvailable;
  const auto& kf = d.keys[static_cast<std::size_t>(key)].fields;
  for (std::size_t i = 0; i < kf.size(); ++i) d.fields[static_cast<std::size_t>(kf[i])].set(updateBuffer_, values[i]);
  if (const int rc = update_->SetKeyFromBuffer(key); rc != 0) return rc;
  if (const int rc = update_->Next(); rc != 0) return rc;
  for (std::size_t i = 0; i < kf.size(); ++i)
    if (!SameValue(d.fields[static_cast<std::size_t>(kf[i])].get(updateBuffer_), values[i])) return RecordNotAvailable;
  return 0;
}

int RecordList::FetchSelected() {
  const int sel = Selected();
  if (sel == 0) return RecordNotAvailable;
  return FetchPrimary(Row(sel).primary);
}

int RecordList::Insert() {
  if (update_ == nullptr) return locale::FileNotOpen;
  if (!run_) return BeginEdit(true);
  if (const int rc = PrimeRecord(false); rc != 0) return rc;
  if (run_(procedure_, InsertRecord) == RequestCompleted)
    PageOnPrimary(UpdatePrimary());
  else
    Refill();
  return 0;
}

int RecordList::Change() {
  if (const int rc = FetchSelected(); rc != 0) {
    Refill();
    return rc;
  }
  if (!run_) return BeginEdit(false);
  run_(procedure_, ChangeRecord);
  Refill();
  return 0;
}

int RecordList::Delete() {
  if (const int rc = FetchSelected(); rc != 0) {
    Refill();
    return rc;
  }
  int rc = 0;
  if (run_) {
    run_(procedure_, DeleteRecord);
  } else if ((rc = update_->Delete()) != 0) {
    ReportRecordError(update_->Decl().fileName, rc, true);
  }
  Refill();
  return rc;
}

// --- in-place edit

void RecordList::SetEditor(int column, std::shared_ptr<CellEditor> editor) {
  if (column >= 1 && column <= Columns()) editors_[static_cast<std::size_t>(column - 1)] = std::move(editor);
}

bool RecordList::Editable(int column) const {
  return column >= 1 && column <= Columns() && editors_[static_cast<std::size_t>(column - 1)] != nullptr;
}

std::string RecordList::EditText(int column) const {
  return Editable(column) ? editTexts_[static_cast<std::size_t>(column - 1)] : std::string();
}

int RecordList::UpdateField(int rowField) const {
  return rowField >= 1 && rowField <= static_cast<int>(fields_.size()) ? fields_[static_cast<std::size_t>(rowField - 1)].fileField
                                                                       : -1;
}

int RecordList::BeginEdit(bool insert) {
  if (update_ == nullptr) return locale::FileNotOpen;
  int first = 0;
  for (int c = Columns(); c >= 1; --c)
    if (Editable(c)) first = c;
  if (first == 0) return -1;
  const int sel = Selected();
  if (!insert && sel == 0) return RecordNotAvailable;
  if (insert) {
    if (const int rc = PrimeRecord(false); rc != 0) return rc;
    editPrimary_.clear();
  } else {
    editPrimary_ = Row(sel).primary;
  }
  const rec::FileDecl& d = update_->Decl();
  for (int c = 1; c <= Columns(); ++c) {
    if (!Editable(c)) continue;
    const ListColumn& col = Column(c);
    Value v(int64_t{0});
    if (insert) {
      if (const int f = UpdateField(col.field); f >= 0) v = d.fields[static_cast<std::size_t>(f)].get(updateBuffer_);
    } else {
      v = Row(sel).fields[static_cast<std::size_t>(col.field - 1)];
    }
    editTexts_[static_cast<std::size_t>(c - 1)] = editors_[static_cast<std::size_t>(c - 1)]->Show(col, v);
  }
  if (insert && items_ > 0 && Rows() >= items_) {
    // A full page: it scrolls a row, so that the new row is shown whole.
    rows_.erase(rows_.begin(), rows_.begin() + (Rows() - items_ + 1));
    Counts();
    if (control_ != nullptr) control_->SetChoice(std::max(sel - 1, 0));
    editScrolled_ = true;
  }
  editInsert_ = insert;
  editRow_ = insert ? Rows() + 1 : sel;
  editColumn_ = first;
  Shown();
  return 0;
}

int RecordList::AcceptEdit() {
  if (!Editing()) return 0;
  std::vector<std::pair<int, Value>> values;  // column, value
  for (int c = 1; c <= Columns(); ++c) {
    if (!Editable(c)) continue;
    const CellEditor& e = *editors_[static_cast<std::size_t>(c - 1)];
    auto v = e.Read(Column(c), editTexts_[static_cast<std::size_t>(c - 1)]);
    if (!v || (e.required && EmptyValue(*v))) {
      editColumn_ = c;
      Shown();
      return -1;
    }
    values.emplace_back(c, std::move(*v));
  }
  if (!editInsert_) {
    if (const int rc = FetchPrimary(editPrimary_); rc != 0) {
      CancelEdit();
      Refill();
      return rc;
    }
  }
  const rec::FileDecl& d = update_->Decl();
  for (const auto& [c, v] : values) {
    const int f = UpdateField(Column(c).field);
    if (f < 0) continue;
    const rec::FieldDecl& fd = d.fields[static_cast<std::size_t>(f)];
    fd.set(updateBuffer_, AsFieldValue(fd, v));
  }
  const int rc = editInsert_ ? update_->Add() : update_->Put();
  if (rc != 0) {
    ReportRecordError(d.fileName, rc, true);
    return rc;
  }
  editRow_ = 0;
  editInsert_ = false;
  editScrolled_ = false;
  PageOnPrimary(UpdatePrimary());
  return 0;
}

void RecordList::CancelEdit() {
  const bool scrolled = std::exchange(editScrolled_, false);
  editRow_ = 0;
  editInsert_ = false;
  Shown();
  // The page that scrolled for the new row is a full one again.
  if (scrolled) Refill();
}

void RecordList::TakeEditKey(int key) {
  switch (key) {
    case kEnter:
      AcceptEdit();
      break;
    case kEsc:
      CancelEdit();
      break;
    case kTab:
    case kShiftTab: {
      const int step = key == kTab ? 1 : -1;
      for (int c = editColumn_ + step; c >= 1 && c <= Columns(); c += step)
        if (Editable(c)) {
          editColumn_ = c;
          break;
        }
      Shown();
      break;
    }
    default:
      break;
  }
}

void RecordList::LoadChoice() {
  const int sel = Selected();
  if (sel > 0 && update_ != nullptr) FetchPrimary(Row(sel).primary);
}

// --- events

int RecordList::TakeEvent(Window& w) {
  if (control_ == nullptr) return kGoOn;
  const Event& e = w.CurrentEvent();
  if (e.control == control_->Number()) {
    switch (e.number) {
      case EVENT::ScrollUp:
      case EVENT::ScrollDown:
      case EVENT::PageUp:
      case EVENT::PageDown:
      case EVENT::ScrollTop:
      case EVENT::ScrollBottom:
      case EVENT::ScrollDrag:
        if (!Editing()) {
          locator_.clear();
          Navigate(e.number);
        }
        break;
      case EVENT::Locate:
        if (!Editing()) Locate();
        break;
      case EVENT::Accepted:
        if (Editing())
          TakeEditKey(e.key);
        else if (!IsDrop() && e.key == 0 && update_ != nullptr && !changeControl_.empty())
          Change();
        break;
      case EVENT::NewSelection:
        if (IsDrop()) LoadChoice();
        break;
      default:
        break;
    }
    return kGoOn;
  }
  if (e.number == EVENT::Accepted && e.control != 0) {
    const std::string& label = w.At(e.control)->Label();
    if (!insertControl_.empty() && label == insertControl_)
      Insert();
    else if (!changeControl_.empty() && label == changeControl_)
      Change();
    else if (!deleteControl_.empty() && label == deleteControl_)
      Delete();
  }
  return kGoOn;
}

void RecordList::Refresh(Window&, uint8_t) { Refill(); }

}  // namespace platform::ui
