// The Qt widgets of lists and drop lists over record views
// (platform/recordlist.h), for the Qt view (qtview.h).
//
// A list is a multi-column item view beside a scroll bar of its own: the
// view holds only the page the list loaded and no scroll range of its own;
// the bar shows the records before the page among the records in the view.
// A delegate paints each cell's colours (normal and selected) and icon. The
// header's own sorting and clicking are off: every press on the header or a
// row goes to the list as a mouse press (key code, row, column, on a
// border or not), a press on a resizable column's border also resizes it
// as usual, and while a press on a cell is held the mouse leaving,
// re-entering and being released reach the list's header region; the
// region is drawn as a sunken frame over its section. Keys: arrows, pages,
// Home and End scroll, Enter and a double click activate a row, typed
// characters go to the locator; the right button opens the popup menu
// without a loop of its own. The in-place edit shows an entry over the cell
// of the column being edited. The number of rows that fit goes to the list
// as its page size.
//
// A drop list is a combo box whose popup shows the list's columns.
#pragma once

#include "platform/recordlist.h"
#include "platform/view.h"

class QWidget;

namespace platform::qt {

// The list a control shows when it is one over a record view; else nullptr.
ui::RecordList* RecordListOf(const ui::Control& c);
// The widget of such a control, in host.
QWidget* MakeRecordList(QWidget* host, ui::Control& c);
// Shows what changed.
void RenderRecordList(QWidget* widget, ui::Control& c, ui::Property p);

}  // namespace platform::qt
