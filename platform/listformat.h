// Column formats of lists and drop lists: what each column shows and how.
//
// A format is a sequence of columns, each written as
//
//   width [justification [(offset)]] modifiers [~header~ [justification [(offset)]]] @picture@
//
//   width           in dialog units (a quarter of the font's average
//                   character width)
//   justification   L left, R right, C centred, D decimal; L when absent;
//                   the offset (dialog units) moves the text away from its
//                   side
//   modifiers       | a border on the column's right; M the operator may
//                   resize the column; * four colour fields follow the
//                   column's field in the row (text and background, normal
//                   and selected; -1 the list's own); I an icon-number field
//                   follows (after the colours), 0 no icon
//   ~header~        the column's header text, with its own justification
//                   and offset (the column's when absent)
//   @picture@       the display picture of the column's field
//                   (platform/picture.h), e.g. @t7@, @d17B@, @n-14@
//
// Row fields are numbered from 1 in column order: each column takes one
// field for its value, then four for "*", then one for "I".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

struct ListColumn {
  int width = 0;
  char justify = 'L';
  int offset = 0;
  bool rightBorder = false;
  bool resizable = false;
  bool colors = false;
  bool icon = false;
  std::string header;
  char headerJustify = 'L';
  int headerOffset = 0;
  std::string picture;  // "@t7"; empty: the value shown as it is
  int field = 0;        // the row field the column shows
  int colorField = 0;   // first of the four colour fields; 0 none
  int iconField = 0;    // 0 none

  bool operator==(const ListColumn&) const = default;
};

struct ListFormat {
  std::vector<ListColumn> columns;
  int fields = 0;  // row fields the columns use
};

// The columns of a format text; nullopt for a text that does not follow the
// grammar above (an unknown modifier, a missing width, an unclosed header
// or picture) or has no column.
std::optional<ListFormat> ParseListFormat(std::string_view format);

}  // namespace platform::ui
