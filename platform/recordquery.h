// Views of a record file: its records in a chosen order, through a filter,
// read a page at a time.
//
// A view reads through a RecordFile instance of its own (open; the records
// it reads land in that instance's buffer) and never moves that instance's
// own read position. Its order is either a key's (an optional key leaves out
// the records it does not hold) or a list of order items over declared
// fields, each ascending or descending and, for text, either as the field
// compares or without regard to case in Czech order; ties always break by
// file order. The filter is a list of "field = value" terms, all of which a
// record must meet.
//
// Order and filter texts are parsed against the file's declaration, never
// put into a statement: field names match without regard to case, values
// are bound as parameters.
//
//   order text    items separated by ",": "+F" or "-F" ascending or
//                 descending on the field F, "+UPPER(F)" / "-UPPER(F)" on a
//                 text field without regard to case ("+" may be left out)
//   filter text   terms "F=value" joined by " AND " (any case); the value a
//                 whole number (dates and times as standard dates and times)
//                 or a text in single quotes ('' for a quote)
//
// A record's place in a view (ViewPosition) is its order values as stored
// and its place in file order; pages are read forward or backward from such
// a place, so a page costs what it reads, not what lies before it. An order
// whose first item is a text field with an optional key of its own, and
// whose filter names no key's first field, reads and counts through that
// key's index: the records whose field is empty, which the key leaves out,
// are read apart (before the others ascending, after them descending).
//
// Every call returns 0 or a platform error code (platform/locale_texts.h)
// and leaves it as the thread's last error: 37 the file is not open, 76 an
// order or filter text that does not parse or names an unknown field, 33
// nothing found, other codes as the record file gives them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/recordfile.h"

struct sqlite3_stmt;

namespace platform::rec {

struct OrderItem {
  int field = 0;            // index into FileDecl::fields
  bool descending = false;
  bool noCase = false;      // UPPER(F): Czech order without regard to case
  bool operator==(const OrderItem&) const = default;
};

struct FilterTerm {
  int field = 0;
  Value value;              // as the record buffer holds it
  bool operator==(const FilterTerm&) const = default;
};

// Parsed texts; nullopt when a text does not parse or names an unknown
// field. UPPER of a number, date or time is the field itself. An empty or
// blank text gives no items.
std::optional<std::vector<OrderItem>> ParseOrderText(const FileDecl& decl, std::string_view text);
std::optional<std::vector<FilterTerm>> ParseFilterText(const FileDecl& decl, std::string_view text);

struct ViewPosition {
  std::vector<Value> values;  // the order fields' stored values
  int64_t row = 0;            // file order; 0 no position
  bool operator==(const ViewPosition&) const = default;
};

class RecordQuery {
 public:
  explicit RecordQuery(RecordFile& file);
  ~RecordQuery();
  RecordQuery(const RecordQuery&) = delete;
  RecordQuery& operator=(const RecordQuery&) = delete;

  RecordFile& File() const { return file_; }

  // The order: a key's (76 for no such key), or items (an empty list is
  // file order). A text form parses first and changes nothing on 76.
  int SetKey(int key);
  int SetOrder(std::vector<OrderItem> items);
  int SetOrder(std::string_view text);
  int SetFilter(std::vector<FilterTerm> terms);
  int SetFilter(std::string_view text);
  const std::vector<OrderItem>& Order() const { return order_; }
  int Key() const { return key_; }  // -1 when ordered by items

  // Reads up to n records in view order (backward: in reverse view order),
  // from the first (last) record of the view, or from a position: after it
  // (backward: before it), or at it when inclusive. Each record is read into
  // the buffer and `each` is called with its position. 0 also when fewer
  // than n (or none) were found.
  using Each = std::function<void(const ViewPosition&)>;
  int Read(const ViewPosition* from, bool inclusive, bool backward, int n, const Each& each);
  // Reads up to n records from the first whose first order value is at or
  // beyond `value` (as the buffer holds it) in view order.
  int ReadFrom(const Value& value, int n, const Each& each);
  // Reads up to n records after skipping `skip` from the start.
  int ReadAt(int64_t skip, int n, const Each& each);

  // The record of file place `row`, when the view holds it: read into the
  // buffer, its position in `pos`; 33 when the view does not hold it.
  int Find(int64_t row, ViewPosition& pos);
  // The first record in view order that also meets `terms`; 33 none.
  int FindWhere(const std::vector<FilterTerm>& terms, ViewPosition& pos);

  // Records in the view, and before a position; -1 on an error. The
  // view's count, when the caller has it from Count (and nothing changed
  // since), may spare CountBefore a pass over the file.
  int64_t Count();
  int64_t CountBefore(const ViewPosition& pos, int64_t count = -1);

 private:
  struct Sql {
    explicit Sql(std::string t) : text(std::move(t)) {}
    std::string text;
    std::vector<Value> binds;
    bool where = false;
    std::vector<int> keys;  // optional keys whose condition is in
    void And(std::string cond) {
      text += (where ? " AND " : " WHERE ") + cond;
      where = true;
    }
  };
  struct Cmp {
    int field;        // -1: file order
    bool descending;
    bool noCase;
  };
  std::vector<Cmp> Comparisons() const;
  void AddWhere(Sql& sql, const std::vector<FilterTerm>* extra) const;
  void AddOptional(Sql& sql, int key) const;
  void AddImplied(Sql& sql, int field, const Value& column) const;
  void AddLowerBound(Sql& sql, int field, const Value& column) const;
  // The records beyond (or, inclusive, at or beyond) a position in the
  // direction given.
  void AddBeyond(Sql& sql, const ViewPosition& pos, bool inclusive, bool backward) const;
  std::string OrderBy(bool backward) const;
  // The optional key on the first order item's text field alone, whose
  // index orders the records as that item does; -1 none. Such a view is
  // read in two parts: the records whose first value is empty (first going
  // up, last going down), which the key leaves out, and those it holds.
  int SplitKey() const;
  bool InEmptyPart(const ViewPosition& pos) const;
  void AddPart(Sql& sql, int key, bool empty) const;
  int ReadPart(const ViewPosition* from, bool inclusive, bool backward, int n, const Each& each, int key,
               bool empty);
  // Reads up to n records part by part: the empty part first going up,
  // last going down; `pass` leaves a part out, `read` reads up to `left`
  // records from one.
  int ReadParts(bool up, int n, const Each& each, const std::function<bool(bool empty)>& pass,
                const std::function<int(bool empty, int left, const Each& counted)>& read);
  int ReadAtPart(int64_t skip, int n, const Each& each, int key, bool empty);
  int ReadFromPart(const Value& bound, int n, const Each& each, int key, bool empty);
  int64_t CountPart(const ViewPosition* before, int key, bool empty);
  int64_t CountSide(const ViewPosition& pos, int key, bool before);
  int Run(Sql& sql, int n, const Each* each, int64_t* count);

  RecordFile& file_;
  int key_ = -1;
  std::vector<OrderItem> order_;
  std::vector<FilterTerm> filter_;
};

}  // namespace platform::rec
