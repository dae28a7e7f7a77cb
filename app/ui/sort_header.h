// Sorting a list by clicking its column headers.
//
// A click on a header sorts the list by that column, a second click on it
// reverses the direction, Ctrl+click adds further columns to the sort and
// Shift+click returns the list to its own key order. Sorted columns carry a
// marker in their header text ("Čas[+]", or "Čas[-2]" for the second of
// several), and a header looks pressed while the mouse button is held on it
// (the list's header region, sunken, laid over the cell). The class reads no
// data: it builds an order text ("-UPPER(TAS:NAZEV),+TAS:CAS_SPUSTENI") and
// hands it to ApplySortOrder, which the list's owner supplies; the empty text
// means the list's own order. The sort is not kept between runs.
//
// The owner calls OnSortHeaderEvent first for every event of the window and
// skips its own handling when it answers nonzero. Everything runs on the
// window's thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/recordlist.h"

namespace app::ui {

inline constexpr int kMouseLeft = 0x001;
inline constexpr int kShiftMouseLeft = 0x101;
inline constexpr int kCtrlMouseLeft = 0x201;

class SortHeader {
 public:
  virtual ~SortHeader() = default;

  // One entry per column, in column order: its unmarked header text and
  // the row field it shows.
  struct HeaderEntry {
    std::string LISTHEADERTEXT;
    int FIELDNO = 0;
  };
  // One entry per sorted column, in the order of sorting: the column, and
  // the same number negated when it sorts descending.
  struct SortEntry {
    int LISTSORTCOLUMN = 0;
    int PREVLISTSORTCOLUMN = 0;
  };

  platform::ui::RecordList* LIST = nullptr;  // the list, its rows and its control
  std::vector<HeaderEntry> QUEUELISTHEADER;
  std::vector<SortEntry> QUEUELISTSORT;
  int REGIONCONTROL = 0;          // 0: not set up
  int16_t SORTORDER = 0;          // the column pressed last
  int16_t PREVSORTORDER = 0;      // the column clicked last; negative: sorted alone descending
  uint8_t MOUSEREGIONSTATUS = 0;  // 0 idle; 1 pressed, mouse over it; 2 pressed, mouse away
  uint8_t FORCECHANGESIGNORDER = 0;
  int32_t LASTKEYCODE = kMouseLeft;
  bool VIEW = false;              // the list's view decides which columns sort
  uint8_t DISABLENONVIEWCOLUMNS = 1;
  uint8_t NOCASE = 1;
  uint8_t USEPICTUREFORCASE = 0;
  uint8_t MULTIPLECOLUMNS = 1;

  // On the list (its window open or not); withView: only columns showing a
  // field of the list's record sort. A second call does nothing.
  void SetUpSortHeader(platform::ui::RecordList& list, bool withView);
  // The window alerts Shift+left and Ctrl+left clicks.
  void SetSortHotKeys(platform::ui::Window& w);
  // Nonzero: the event was the header's (consumed).
  uint8_t OnSortHeaderEvent();
  void PressHeaderCell();
  void ApplyHeaderClick();
  void SetSingleSortColumn(int column);
  void AddSortColumn(int column);
  void ResetToDefaultOrder();
  void BuildSortOrder();
  void RestoreHeaderTexts();
  // Empties the sort and restores the header texts.
  void ClearSortHeader();
  void TearDownSortHeader();

  // One item of the order text: sign + field, or sign + "UPPER(field)" for
  // text columns when case does not count.
  virtual std::string ColumnSortExpression(char sign, std::string_view fieldName, std::string_view picture);
  // Supplied by the owner: switches the list to the order text, or back to
  // its own order for "".
  virtual void ApplySortOrder(const std::string& order);
  virtual uint8_t IsViewColumn(std::string_view fieldName);
  virtual uint8_t IsColumnSortable(std::string_view fieldName);

 private:
  // The upper-cased name of the row field a column shows; "" none.
  std::string ColumnFieldName(int column) const;
  void PressedLook();
  void IdleLook();
  void HideRegion();
  int shifted_ = 0;  // the column whose header text the pressed look moved
};

}  // namespace app::ui
