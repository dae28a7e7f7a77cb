// Lists and drop lists over record views: the rows a list control shows,
// loaded a page at a time from the list's own view of a record file.
//
// A RecordList is a component of its window (window.h): it sees the
// window's events after the window's handlers let them go on. It reads
// through its own RecordFile instance and buffer (never the window's, never
// another reader's), in a key's order or in the order of an order text,
// through a filter (platform/recordquery.h), and holds only the rows it
// shows: a list a page of Items() rows, a drop list every record of its
// view. A refill reads that page and what the scroll bar needs (the
// records in the view and before the page), never the whole file.
//
// Rows. Each row holds row fields, declared in order with AddField /
// AddFileField (a field of the list's record, copied from its buffer by the
// row fill, the field pairs). The format (platform/listformat.h) names the
// row field each column shows, its colours and its icon. FillRow is the
// fill hook: its standard form copies the field pairs; an owner replaces it
// to compute fields and colours, calling the standard form. Each row also
// keeps its record's place in the view and its primary-key values.
//
// Selection: the list control's Choice, a row of the page (0 none). A
// refill keeps the selection on the same record while the view still holds
// it, at the same row when the records before it allow; else on the row of
// the same number.
//
// Operator actions (what a view does for the operator, and tests): each
// queues the events it gives, handled in the window's loop.
//   MouseDown        a press on the list: the header (row 0) or a row, the
//                    column, on a column's border or not; an alerted key
//                    gives PreAlertKey and AlertKey (control: the list when
//                    the list alerts it, else 0 for the window's alert),
//                    otherwise a press on a row selects it (NewSelection)
//   Scroll           ScrollUp / ScrollDown (the selection one row, the page
//                    following it), PageUp / PageDown, ScrollTop /
//                    ScrollBottom
//   DragThumb        the scroll bar's thumb to a record number
//   TypeLocator      a typed character (or Backspace, "\b") of the
//                    incremental locator: the list moves to the first
//                    record whose first order value is at or beyond the
//                    text typed so far
//   Activate         a double click or Enter on a row: the change control's
//                    work (or an in-place edit of the row)
//   ChoosePopup      an item of the popup menu: its control is pressed (the
//                    menu runs no loop of its own)
//   EditType/EditKey the in-place editor's text of a column; Enter accepts
//                    the row, Esc cancels it, Tab / Shift+Tab (9, 109h)
//                    move to the next / previous editable column
//   RegionMouse      the mouse entering, leaving, moving over or released
//                    after a press on the header region (below)
//
// Updates. With an update file (the window's instance of the file, whose
// buffer forms work on) and insert, change and delete controls, an accepted
// control inserts, changes or deletes: insert prepares a new record
// (PrimeRecord) in the update buffer; change reads the selected row's record
// through the update file by its primary key (FetchSelected), so that it is
// the current record there; then the update procedure runs (1 insert, 2
// change, 3 delete) and the list refills on the record the form left in the
// update buffer. Without an update procedure the list edits in place: insert
// and change open the in-place edit of a new or the selected row, delete
// removes the selected row's record at once.
//
// In-place edit: each column with an editor (SetEditor) shows an entry with
// the column's picture. Accepting reads every editor's text (a text that
// does not fit, or an empty required value, keeps the edit open on that
// column: -1), writes the values into the update buffer's fields and adds or
// rewrites the record; a failure (40 for a duplicate key) is reported
// through the error reporter, changes nothing in the file and keeps the edit
// open. Cancel drops the edit. A new row stands after the page; with a full
// page the page scrolls by a row first, so that the new row is one of the
// Items() rows shown (a cancel refills the page).
//
// Header region: a Region control the list makes on request (MakeRegion),
// laid over a column's header cell, with bevels (-1 sunken, 0 none) and
// hidden or shown; its MouseIn, MouseOut, MouseMove and MouseUp events carry
// its control number and, as their key, 1 when the mouse was inside it
// (MouseInRegion).
//
// Drop lists: rows carry their record's primary key; choosing a row reads
// that record into the update buffer (by the primary key), so the accepted
// event that follows finds it there.
//
// Errors of reading a page are reported through the error reporter.
// A list lives on its window's thread, and goes before its window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/listformat.h"
#include "platform/recordquery.h"
#include "platform/window.h"

namespace platform::ui {

struct ListRow {
  std::vector<Value> fields;    // row field n at index n - 1
  rec::ViewPosition position;   // its record's place in the view
  std::vector<Value> primary;   // its record's primary-key values
};

struct CellColors {
  int32_t fg = kNormalColor, bg = kNormalColor, selectedFg = kNormalColor, selectedBg = kNormalColor;
  bool operator==(const CellColors&) const = default;
};

struct MousePress {
  int key = 0;        // 1 left, 101h Shift+left, 201h Ctrl+left
  int row = 0;        // 0 the header
  int column = 0;     // 0 none
  bool border = false;
};

// The editor of one column in place: an entry with the column's picture.
class CellEditor {
 public:
  virtual ~CellEditor() = default;
  // A required column refuses an empty value (blank, 0) as a required
  // entry does.
  bool required = false;
  // The text the edit starts with.
  virtual std::string Show(const ListColumn& column, const Value& v) const;
  // The value of a typed text; nullopt when it does not fit.
  virtual std::optional<Value> Read(const ListColumn& column, std::string_view text) const;
};

struct PopupItem {
  std::string text;
  std::string control;  // pressed when the item is chosen
  bool enabled = true;
};

class RecordList : public ListSource, public WindowComponent {
 public:
  RecordList();
  ~RecordList() override;
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;

  // --- set-up
  // The list on control `label` (List or DropList) of w, showing `format`;
  // becomes the control's source and a component of w. Before the window
  // opens. False for no such control or a format that does not parse.
  bool Init(Window& w, std::string_view label, std::string_view format);
  // The list's own instance of the file (open), with its buffer.
  void SetFile(rec::RecordFile& file, void* buffer);
  template <class R>
  void SetFile(rec::File<R>& file) { SetFile(file, &file.rec); }
  // Row fields, in order; the number of the field declared (1 ..).
  int AddField(std::string name, std::function<Value()> source = {});
  // A field of the list's record by its name, filled from the list's
  // buffer; 0 for no such field.
  int AddFileField(std::string_view fileField);
  // The rows a page holds (lists; at least 1). Default 10.
  void SetItems(int items);
  int Items() const { return items_; }
  void SetIcons(std::vector<std::string> files);
  const std::vector<std::string>& Icons() const { return icons_; }
  void AddPopupItem(std::string text, std::string control);
  void SetPopupItemEnabled(int item, bool enabled);
  const std::vector<PopupItem>& PopupItems() const { return popup_; }

  // --- orders and filter
  // A key's order; its number (1 ..). The first added is in force until
  // SetSort changes it. With a locator on the key's first field.
  int AddSortOrder(int key);
  // Changes to order n (its own order again when an order text was in
  // force); 1 when the order in force changed, else 0.
  virtual int SetSort(int order);
  int SortOrder() const { return sortOrder_; }
  // An order text in place of the key order (its first item's field for
  // the locator); 0, or 76 with the order unchanged. An empty text goes
  // back to the key order.
  int SetOrderText(std::string_view text);
  const std::string& OrderText() const { return orderText_; }
  // 0, or 76 with the filter unchanged; empty: no filter.
  int SetFilter(std::string_view text);
  const std::string& FilterText() const { return filterText_; }

  // --- the page
  // Rereads the page, keeping the selection (above). Lists: also the
  // counts for the scroll bar.
  void Refill() override;
  int Rows() override { return static_cast<int>(rows_.size()); }
  const ListRow& Row(int row) const { return rows_[static_cast<std::size_t>(row - 1)]; }
  std::string Cell(int row, int column) override;
  CellColors Colors(int row, int column) const;
  int Icon(int row, int column) const;  // 0 none
  // Records in the view and before the page's first row (lists).
  int64_t ViewRecords() const { return viewRecords_; }
  int64_t RecordsBefore() const { return recordsBefore_; }
  int Selected() const;
  // Selects a row of the page (0 none) as the program does: no event.
  void Select(int row);
  Control& GetControl() const { return *control_; }
  Window& GetWindow() const { return *window_; }
  rec::RecordFile* File() const { return file_; }

  // --- columns and header
  int Columns() const { return static_cast<int>(format_.columns.size()); }
  const ListColumn& Column(int column) const { return format_.columns[static_cast<std::size_t>(column - 1)]; }
  // The row field of a column; 0 for no such column.
  int ColumnField(int column) const;
  // The declared name of a row field ("" none).
  std::string FieldName(int field) const;
  void SetHeaderText(int column, std::string text);
  void SetHeaderOffset(int column, int offset);
  void SetColumnWidth(int column, int width);  // dialog units

  // --- keys, mouse and the header region
  void Alert(int key);
  void Unalert(int key);
  bool HasAlert(int key) const;
  const MousePress& LastPress() const { return press_; }
  // The list the operator pressed last on this thread.
  static const RecordList* LastPressed();
  // The header region: made once (its control number), laid over a
  // column, bevels, hidden with its control's Hide. Forget: the list stops
  // showing it (the control stays in the window, hidden).
  int MakeRegion();
  int RegionControl() const { return region_; }
  void PlaceRegion(int column);
  int RegionColumn() const { return regionColumn_; }
  void SetRegionBevel(int inner, int outer);
  int RegionBevelInner() const { return bevelInner_; }
  int RegionBevelOuter() const { return bevelOuter_; }
  bool RegionShown() const;
  void ForgetRegion();
  // Where the mouse was: for a region event, when it came.
  bool MouseInRegion() const;

  // --- operator actions (above)
  void MouseDown(int key, int row, int column, bool border);
  void Scroll(int event);
  void DragThumb(int64_t recordsBefore);
  void TypeLocator(std::string_view typed);
  const std::string& LocatorText() const { return locator_; }
  void Activate(int row);
  void ChoosePopup(int item);
  void EditType(int column, std::string text);
  void EditKey(int key);
  void RegionMouse(int event, bool inside);

  // --- updates
  void SetUpdateFile(rec::RecordFile& file, void* buffer, std::function<int(bool keep)> prime);
  template <class R>
  void SetUpdateFile(rec::File<R>& file, std::function<int(bool keep)> prime) {
    SetUpdateFile(file, &file.rec, std::move(prime));
  }
  // Labels; empty: none.
  void SetUpdateControls(std::string insert, std::string change, std::string remove);
  // The form that inserts and changes: (procedure number, request) ->
  // response (1 completed). Without one the list edits in place.
  void SetUpdateProcedure(int number, std::function<uint8_t(int, uint8_t)> run);
  // The preparation of a new record in the update buffer: cleared unless
  // keep, defaults, auto-number (the prime function given).
  virtual int PrimeRecord(bool keep);
  // Reads the selected row's record into the update buffer by its primary
  // key, as the current record of the update file; 0, 33 without a
  // selection or when the record has gone.
  int FetchSelected();
  int Insert();
  int Change();
  int Delete();

  // --- in-place edit
  void SetEditor(int column, std::shared_ptr<CellEditor> editor);  // nullptr: not edited
  bool Editing() const { return editRow_ != 0; }
  bool EditingNewRow() const { return editInsert_; }
  int EditRow() const { return editRow_; }       // the row edited (a new row: after the page, at most Items())
  int EditColumn() const { return editColumn_; }  // the column whose editor has the focus
  bool Editable(int column) const;
  std::string EditText(int column) const;
  int BeginEdit(bool insert);
  // 0 written; -1 a text that does not fit or an empty required value (the
  // edit moves to that column); a record-file error code.
  int AcceptEdit();
  void CancelEdit();

  // --- the fill hook: fills a row from the list's buffer.
  virtual void FillRow(ListRow& row);

  // WindowComponent
  int TakeEvent(Window& w) override;
  void Refresh(Window& w, uint8_t force) override;

 private:
  struct FieldSpec {
    std::string name;
    std::function<Value()> source;
    int fileField = -1;
  };
  struct Order {
    int key = -1;
  };
  bool IsDrop() const;
  void ApplyView();
  // Loading pages.
  using Loaded = std::vector<ListRow>;
  Loaded ReadRows(const rec::ViewPosition* from, bool inclusive, bool backward, int n);
  Loaded ReadAllRows();
  void SetPage(Loaded rows, int selected);
  void PageFrom(const rec::ViewPosition* pos, int selected);
  void PageAround(const rec::ViewPosition& pos, int selected);
  void PageOnPrimary(const std::vector<Value>& primary);
  void Counts();
  void Shown();
  void ReportRead();
  void MoveSelection(int to);
  void Navigate(int event);
  void Locate();
  std::vector<rec::FilterTerm> PrimaryTerms(const std::vector<Value>& values) const;
  std::vector<Value> UpdatePrimary() const;
  int FetchPrimary(const std::vector<Value>& values);
  int UpdateField(int rowField) const;  // the update buffer's field of a row field; -1 none
  void TakeEditKey(int key);
  void LoadChoice();

  Window* window_ = nullptr;
  Control* control_ = nullptr;
  ListFormat format_;
  rec::RecordFile* file_ = nullptr;
  void* buffer_ = nullptr;
  std::unique_ptr<rec::RecordQuery> query_;
  std::vector<FieldSpec> fields_;
  int items_ = 10;
  std::vector<std::string> icons_;
  std::vector<PopupItem> popup_;
  std::vector<int> alerts_;

  std::vector<Order> orders_;
  int sortOrder_ = 0;
  std::string orderText_, filterText_;

  std::vector<ListRow> rows_;
  int64_t viewRecords_ = 0, recordsBefore_ = 0;
  int64_t thumbWanted_ = 0;
  std::string locator_;

  MousePress press_;
  int region_ = 0, regionColumn_ = 0, bevelInner_ = 0, bevelOuter_ = 0;
  bool mouseInRegion_ = false;

  rec::RecordFile* update_ = nullptr;
  void* updateBuffer_ = nullptr;
  std::function<int(bool)> prime_;
  std::string insertControl_, changeControl_, deleteControl_;
  int procedure_ = 0;
  std::function<uint8_t(int, uint8_t)> run_;

  std::vector<std::shared_ptr<CellEditor>> editors_;  // by column - 1
  int editRow_ = 0, editColumn_ = 0;
  bool editInsert_ = false;
  bool editScrolled_ = false;  // the page scrolled for the new row
  std::vector<std::string> editTexts_;  // by column - 1
  std::vector<Value> editPrimary_;
};

}  // namespace platform::ui
