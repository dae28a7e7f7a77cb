#include "app/ui/sort_header.h"

#include <cstdlib>

#include "platform/text.h"

namespace app::ui {

namespace pu = platform::ui;

namespace {

bool IsClick(int key) { return key == kMouseLeft || key == kShiftMouseLeft || key == kCtrlMouseLeft; }

}  // namespace

void SortHeader::SetUpSortHeader(pu::RecordList& list, bool withView) {
  if (REGIONCONTROL != 0) return;
  LIST = &list;
  REGIONCONTROL = list.MakeRegion();
  IdleLook();
  FORCECHANGESIGNORDER = 0;
  LASTKEYCODE = kMouseLeft;
  NOCASE = 1;
  USEPICTUREFORCASE = 0;
  DISABLENONVIEWCOLUMNS = 1;
  VIEW = withView;
  SORTORDER = 0;
  PREVSORTORDER = 0;
  QUEUELISTHEADER.clear();
  QUEUELISTSORT.clear();
  for (int c = 1; c <= list.Columns(); ++c) QUEUELISTHEADER.push_back({list.Column(c).header, list.ColumnField(c)});
  list.Alert(kMouseLeft);
  MOUSEREGIONSTATUS = 0;
  MULTIPLECOLUMNS = 1;
}

void SortHeader::SetSortHotKeys(pu::Window& w) {
  w.Alert(kShiftMouseLeft);
  w.Alert(kCtrlMouseLeft);
}

uint8_t SortHeader::OnSortHeaderEvent() {
  if (REGIONCONTROL == 0 || LIST == nullptr) return 0;
  pu::Window& w = LIST->GetWindow();
  const pu::Event& e = w.CurrentEvent();
  const int list = LIST->GetControl().Number();
  const pu::MousePress& press = LIST->LastPress();
  if (e.number == pu::EVENT::PreAlertKey) {
    LASTKEYCODE = e.key;
    return IsClick(e.key) ? 1 : 0;
  }
  if (e.number == pu::EVENT::AlertKey && e.control == list && e.key == kMouseLeft && LIST->GetControl().Visible()) {
    if (press.row == 0 && !press.border) {
      PressHeaderCell();
      MOUSEREGIONSTATUS = 1;
      LASTKEYCODE = e.key;
      return 1;
    }
    if (press.row > 0) {
      w.Choose(LIST->GetControl().Label(), press.row);
      return 2;
    }
  }
  if (e.number == pu::EVENT::AlertKey && IsClick(e.key) && pu::RecordList::LastPressed() == LIST && press.row == 0 &&
      LIST->GetControl().Visible() && !press.border && press.column != 0) {
    PressHeaderCell();
    MOUSEREGIONSTATUS = 1;
    LASTKEYCODE = e.key;
    return 1;
  }
  if (e.control == REGIONCONTROL) {
    switch (e.number) {
      case pu::EVENT::MouseUp:
        if (MOUSEREGIONSTATUS == 1)
          ApplyHeaderClick();
        else
          HideRegion();
        MOUSEREGIONSTATUS = 0;
        w.Select(list);
        break;
      case pu::EVENT::MouseOut:
        if (MOUSEREGIONSTATUS == 1 && !LIST->MouseInRegion()) {
          IdleLook();
          MOUSEREGIONSTATUS = 2;
        }
        break;
      case pu::EVENT::MouseIn:
      case pu::EVENT::MouseMove:
        if (MOUSEREGIONSTATUS == 2 && LIST->MouseInRegion()) {
          PressedLook();
          MOUSEREGIONSTATUS = 1;
        }
        break;
      default:
        break;
    }
  }
  return 0;
}

void SortHeader::PressHeaderCell() {
  const int column = LIST->LastPress().column;
  if (column < 1 || column > LIST->Columns() || !IsViewColumn(ColumnFieldName(column))) return;
  SORTORDER = static_cast<int16_t>(column);
  LIST->PlaceRegion(column);
  if (pu::Control* r = LIST->GetWindow().At(REGIONCONTROL)) r->Show();
  PressedLook();
}

void SortHeader::PressedLook() {
  LIST->SetRegionBevel(-1, -1);
  if (shifted_ == 0 && SORTORDER >= 1 && SORTORDER <= LIST->Columns()) {
    shifted_ = SORTORDER;
    LIST->SetHeaderOffset(shifted_, LIST->Column(shifted_).headerOffset + 1);
  }
}

void SortHeader::IdleLook() {
  LIST->SetRegionBevel(0, 0);
  if (shifted_ != 0) {
    LIST->SetHeaderOffset(shifted_, LIST->Column(shifted_).headerOffset - 1);
    shifted_ = 0;
  }
}

void SortHeader::HideRegion() {
  if (pu::Control* r = LIST->GetWindow().At(REGIONCONTROL)) r->Hide();
}

void SortHeader::ApplyHeaderClick() {
  const int column = LIST->LastPress().column;
  if (!IsViewColumn(ColumnFieldName(column))) return;
  SORTORDER = static_cast<int16_t>(column);
  HideRegion();
  FORCECHANGESIGNORDER = 1;
  switch (LASTKEYCODE) {
    case kMouseLeft:
      SetSingleSortColumn(column);
      break;
    case kCtrlMouseLeft:
      if (MULTIPLECOLUMNS == 1)
        AddSortColumn(column);
      else
        SetSingleSortColumn(column);
      break;
    case kShiftMouseLeft:
      ResetToDefaultOrder();
      break;
    default:
      break;
  }
  BuildSortOrder();
  if (std::abs(PREVSORTORDER) != SORTORDER) PREVSORTORDER = SORTORDER;
  IdleLook();
  LIST->GetWindow().Post(pu::EVENT::NewSelection, LIST->GetControl().Number());
}

void SortHeader::SetSingleSortColumn(int column) {
  if (column == std::abs(PREVSORTORDER))
    PREVSORTORDER = static_cast<int16_t>(-PREVSORTORDER);
  else
    PREVSORTORDER = static_cast<int16_t>(column);
  QUEUELISTSORT = {{column, PREVSORTORDER}};
}

void SortHeader::AddSortColumn(int column) {
  for (SortEntry& e : QUEUELISTSORT)
    if (e.LISTSORTCOLUMN == column) {
      e.PREVLISTSORTCOLUMN = -e.PREVLISTSORTCOLUMN;
      return;
    }
  QUEUELISTSORT.push_back({column, column});
}

void SortHeader::ResetToDefaultOrder() {
  ClearSortHeader();
  ApplySortOrder({});
}

void SortHeader::BuildSortOrder() {
  if (SORTORDER == 0) return;
  if (SORTORDER > LIST->Columns() || LIST->Column(SORTORDER).width == 0) {
    SORTORDER = static_cast<int16_t>(std::abs(PREVSORTORDER));
    return;
  }
  RestoreHeaderTexts();
  std::string order;
  const std::size_t n = QUEUELISTSORT.size();
  for (std::size_t i = 0; i < n; ++i) {
    const SortEntry& e = QUEUELISTSORT[i];
    const int column = e.LISTSORTCOLUMN;
    if (column < 1 || column > LIST->Columns()) continue;
    const char sign = e.PREVLISTSORTCOLUMN == -column ? '-' : '+';
    const std::string plain(platform::text::TrimRight(QUEUELISTHEADER[static_cast<std::size_t>(column - 1)].LISTHEADERTEXT));
    LIST->SetHeaderText(column, plain + "[" + sign + (n > 1 ? std::to_string(i + 1) : std::string()) + "]");
    const std::string item =
        ColumnSortExpression(sign, LIST->FieldName(LIST->ColumnField(column)), LIST->Column(column).picture);
    order += (order.empty() ? "" : ",") + item;
  }
  ApplySortOrder(order);
  FORCECHANGESIGNORDER = 0;
}

void SortHeader::RestoreHeaderTexts() {
  if (LIST == nullptr) return;
  for (int c = 1; c <= LIST->Columns(); ++c)
    for (const HeaderEntry& h : QUEUELISTHEADER)
      if (h.FIELDNO == LIST->ColumnField(c)) {
        LIST->SetHeaderText(c, h.LISTHEADERTEXT);
        break;
      }
}

void SortHeader::ClearSortHeader() {
  QUEUELISTSORT.clear();
  PREVSORTORDER = 0;
  RestoreHeaderTexts();
}

void SortHeader::TearDownSortHeader() {
  if (LIST == nullptr) return;
  ClearSortHeader();
  RestoreHeaderTexts();
  QUEUELISTHEADER.clear();
  QUEUELISTSORT.clear();
  if (shifted_ != 0) IdleLook();
  LIST->ForgetRegion();
  REGIONCONTROL = 0;
}

std::string SortHeader::ColumnSortExpression(char sign, std::string_view fieldName, std::string_view picture) {
  const std::string pic = std::string(picture) + "@S";
  const char letter = static_cast<char>(pic[1] >= 'a' && pic[1] <= 'z' ? pic[1] - 'a' + 'A' : pic[1]);
  const std::string plain = std::string(1, sign) + std::string(fieldName);
  if (letter == 'N' || letter == 'T' || letter == 'D' || letter == 'E') return plain;
  if (NOCASE == 1 || (USEPICTUREFORCASE == 1 && letter == 'S'))
    return std::string(1, sign) + "UPPER(" + std::string(fieldName) + ")";
  return plain;
}

void SortHeader::ApplySortOrder(const std::string&) {}

uint8_t SortHeader::IsViewColumn(std::string_view fieldName) {
  if (fieldName.empty()) return 0;
  if (!VIEW || DISABLENONVIEWCOLUMNS == 0 || LIST == nullptr || LIST->File() == nullptr) return 1;
  const std::string want = platform::text::UpperAscii(fieldName);
  for (const auto& f : LIST->File()->Decl().fields)
    if (platform::text::UpperAscii(f.name) == want) return 1;
  return 0;
}

uint8_t SortHeader::IsColumnSortable(std::string_view) { return 1; }

std::string SortHeader::ColumnFieldName(int column) const {
  if (LIST == nullptr || column < 1 || column > LIST->Columns() ||
      static_cast<std::size_t>(column) > QUEUELISTHEADER.size())
    return {};
  return platform::text::UpperAscii(LIST->FieldName(QUEUELISTHEADER[static_cast<std::size_t>(column - 1)].FIELDNO));
}

}  // namespace app::ui
