#include "platform/recordquery.h"

#include <sqlite3.h>

#include <algorithm>
#include <mutex>

#include "platform/locale_texts.h"
#include "platform/text.h"

namespace platform::rec {

namespace {

using namespace platform::locale;

// The record files' Czech collation (registered on every connection).
constexpr const char* kNoCase = " COLLATE CZ_NOCASE";

std::string Quoted(std::string_view name) {
  std::string q = "\"";
  for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A declared field by its name in any case; -1 none.
int FieldByName(const FileDecl& decl, std::string_view name) {
  const std::string want = text::UpperAscii(Trim(name));
  for (std::size_t i = 0; i < decl.fields.size(); ++i)
    if (text::UpperAscii(decl.fields[i].name) == want) return static_cast<int>(i);
  return -1;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = s.find(sep);
    parts.push_back(s.substr(0, at));
    if (at == std::string_view::npos) return parts;
    s.remove_prefix(at + 1);
  }
}

// Splits at the word AND (any case) standing between blanks.
std::vector<std::string_view> SplitAnd(std::string_view s) {
  std::vector<std::string_view> parts;
  const std::string up = text::UpperAscii(s);
  std::size_t from = 0, at;
  while ((at = up.find(" AND ", from)) != std::string::npos) {
    parts.push_back(s.substr(from, at - from));
    from = at + 5;
  }
  parts.push_back(s.substr(from));
  return parts;
}

std::optional<Value> ParseValue(const FieldDecl& f, std::string_view v) {
  v = Trim(v);
  if (v.empty()) return std::nullopt;
  if (v.front() == '\'') {
    if (!f.IsText() || v.size() < 2 || v.back() != '\'') return std::nullopt;
    std::string out;
    const std::string_view body = v.substr(1, v.size() - 2);
    for (std::size_t i = 0; i < body.size(); ++i) {
      if (body[i] == '\'') {
        if (i + 1 >= body.size() || body[i + 1] != '\'') return std::nullopt;
        ++i;
      }
      out += body[i];
    }
    return Value(std::move(out));
  }
  if (f.IsText()) return std::nullopt;
  std::size_t i = v.front() == '-' || v.front() == '+' ? 1 : 0;
  if (i == v.size() || v.size() - i > 10) return std::nullopt;
  int64_t n = 0;
  for (; i < v.size(); ++i) {
    if (v[i] < '0' || v[i] > '9') return std::nullopt;
    n = n * 10 + (v[i] - '0');
  }
  return Value(v.front() == '-' ? -n : n);
}

// Resets a statement when it goes, so that it holds no lock on the file.
class Resetting {
 public:
  explicit Resetting(sqlite3_stmt* st) : st_(st) {}
  ~Resetting() { sqlite3_reset(st_); }
  Resetting(const Resetting&) = delete;
  Resetting& operator=(const Resetting&) = delete;

 private:
  sqlite3_stmt* st_;
};

}  // namespace

std::optional<std::vector<OrderItem>> ParseOrderText(const FileDecl& decl, std::string_view text) {
  std::vector<OrderItem> items;
  if (Trim(text).empty()) return items;
  for (std::string_view part : Split(text, ',')) {
    part = Trim(part);
    OrderItem item;
    if (!part.empty() && (part.front() == '+' || part.front() == '-')) {
      item.descending = part.front() == '-';
      part = Trim(part.substr(1));
    }
    const std::string up = text::UpperAscii(part);
    if (up.starts_with("UPPER(") && up.ends_with(")")) {
      part = part.substr(6, part.size() - 7);
      item.noCase = true;
    }
    item.field = FieldByName(decl, part);
    if (item.field < 0) return std::nullopt;
    // UPPER of a number, date or time is the value itself.
    if (!decl.fields[static_cast<std::size_t>(item.field)].IsText()) item.noCase = false;
    items.push_back(item);
  }
  return items;
}

std::optional<std::vector<FilterTerm>> ParseFilterText(const FileDecl& decl, std::string_view text) {
  std::vector<FilterTerm> terms;
  if (Trim(text).empty()) return terms;
  for (std::string_view part : SplitAnd(text)) {
    const std::size_t eq = part.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    FilterTerm t;
    t.field = FieldByName(decl, part.substr(0, eq));
    if (t.field < 0) return std::nullopt;
    auto v = ParseValue(decl.fields[static_cast<std::size_t>(t.field)], part.substr(eq + 1));
    if (!v) return std::nullopt;
    t.value = std::move(*v);
    terms.push_back(std::move(t));
  }
  return terms;
}

RecordQuery::RecordQuery(RecordFile& file) : file_(file) {}
RecordQuery::~RecordQuery() = default;

int RecordQuery::SetKey(int key) {
  if (key < 0 || key >= static_cast<int>(file_.decl_.keys.size())) return file_.Fail(InvalidIndexString);
  key_ = key;
  order_.clear();
  return file_.Ok();
}

int RecordQuery::SetOrder(std::vector<OrderItem> items) {
  key_ = -1;
  order_ = std::move(items);
  return file_.Ok();
}

int RecordQuery::SetOrder(std::string_view text) {
  auto items = ParseOrderText(file_.decl_, text);
  if (!items) return file_.Fail(InvalidIndexString, std::string(text));
  return SetOrder(std::move(*items));
}

int RecordQuery::SetFilter(std::vector<FilterTerm> terms) {
  filter_ = std::move(terms);
  return file_.Ok();
}

int RecordQuery::SetFilter(std::string_view text) {
  auto terms = ParseFilterText(file_.decl_, text);
  if (!terms) return file_.Fail(InvalidIndexString, std::string(text));
  return SetFilter(std::move(*terms));
}

std::vector<RecordQuery::Cmp> RecordQuery::Comparisons() const {
  std::vector<Cmp> out;
  const FileDecl& d = file_.decl_;
  if (key_ >= 0) {
    const KeyDecl& k = d.keys[static_cast<std::size_t>(key_)];
    for (int f : k.fields) out.push_back({f, false, k.noCase && d.fields[static_cast<std::size_t>(f)].IsText()});
  } else {
    for (const OrderItem& o : order_) out.push_back({o.field, o.descending, o.noCase});
  }
  out.push_back({-1, false, false});
  return out;
}

namespace {

std::string Expr(const FileDecl& d, int field, bool noCase) {
  if (field < 0) return "rowid";
  return Quoted(d.fields[static_cast<std::size_t>(field)].name) + (noCase ? kNoCase : "");
}

}  // namespace

void RecordQuery::AddWhere(Sql& sql, const std::vector<FilterTerm>* extra) const {
  if (key_ >= 0) AddOptional(sql, key_);
  for (const auto* list : {&filter_, extra}) {
    if (list == nullptr) continue;
    for (const FilterTerm& t : *list) {
      const Value column = file_.ToColumn(t.field, t.value);
      sql.And(Quoted(file_.decl_.fields[static_cast<std::size_t>(t.field)].name) + " = ?");
      sql.binds.push_back(column);
      if (const auto* n = std::get_if<int64_t>(&column); n == nullptr || *n != 0) AddImplied(sql, t.field, column);
    }
  }
}

void RecordQuery::AddOptional(Sql& sql, int key) const {
  for (int k : sql.keys)
    if (k == key) return;
  sql.keys.push_back(key);
  if (std::string f = file_.OptionalFilter(key); !f.empty()) sql.And(std::move(f));
}

// A query that holds only records whose `field` is this non-empty stored
// value or beyond it holds no record an optional key on the field leaves
// out: saying so lets the engine use that key's index.
void RecordQuery::AddImplied(Sql& sql, int field, const Value& column) const {
  if (const auto* t = std::get_if<std::string>(&column); t != nullptr && t->empty()) return;
  for (std::size_t k = 0; k < file_.decl_.keys.size(); ++k) {
    const KeyDecl& key = file_.decl_.keys[k];
    if (!key.optional) continue;
    for (int f : key.fields)
      if (f == field) AddOptional(sql, static_cast<int>(k));
  }
}

void RecordQuery::AddBeyond(Sql& sql, const ViewPosition& pos, bool inclusive, bool backward) const {
  const std::vector<Cmp> cmps = Comparisons();
  const FileDecl& d = file_.decl_;
  auto value = [&](std::size_t i) -> Value {
    return i + 1 == cmps.size() ? Value(pos.row) : (i < pos.values.size() ? pos.values[i] : Value(int64_t{0}));
  };
  auto op = [&](std::size_t i) { return std::string(cmps[i].descending != backward ? " <" : " >"); };
  std::string cond;
  std::vector<Value> binds;
  // (c0 > v0 OR (c0 = v0 AND (c1 > v1 OR (c1 = v1 AND ... rowid > r))))
  for (std::size_t i = 0; i < cmps.size(); ++i) {
    const std::string e = Expr(d, cmps[i].field, cmps[i].noCase);
    if (i + 1 == cmps.size()) {
      cond += e + op(i) + (inclusive ? "= ?" : " ?");
      binds.push_back(value(i));
    } else {
      cond += "(" + e + op(i) + " ? OR (" + e + " = ? AND ";
      binds.push_back(value(i));
      binds.push_back(value(i));
    }
  }
  for (std::size_t i = 0; i + 1 < cmps.size(); ++i) cond += "))";
  // The first value bounds the search, so that an index on it is used.
  if (cmps.size() > 1) {
    cond = Expr(d, cmps[0].field, cmps[0].noCase) + op(0) + "= ? AND (" + cond + ")";
    binds.insert(binds.begin(), value(0));
  }
  sql.And(std::move(cond));
  sql.binds.insert(sql.binds.end(), binds.begin(), binds.end());
  if (cmps.size() > 1 && op(0) == " >") AddLowerBound(sql, cmps[0].field, value(0));
}

// Records at or above a stored value: above the empty value when it is a
// positive number or a text.
void RecordQuery::AddLowerBound(Sql& sql, int field, const Value& column) const {
  if (const auto* n = std::get_if<int64_t>(&column); n != nullptr && *n <= 0) return;
  AddImplied(sql, field, column);
}

std::string RecordQuery::OrderBy(bool backward) const {
  std::string s = " ORDER BY ";
  const std::vector<Cmp> cmps = Comparisons();
  for (std::size_t i = 0; i < cmps.size(); ++i)
    s += (i ? ", " : "") + Expr(file_.decl_, cmps[i].field, cmps[i].noCase) +
         (cmps[i].descending != backward ? " DESC" : "");
  return s;
}

int RecordQuery::Run(Sql& sql, int n, const Each* each, int64_t* count) {
  RecordFile& f = file_;
  if (!f.db_) return f.Fail(FileNotOpen);
  // The page is collected first and handed out after the file's turn is
  // given back, so that `each` may use the file itself.
  std::vector<std::pair<ViewPosition, std::vector<Value>>> page;
  const std::vector<Cmp> cmps = Comparisons();
  int rc;
  {
    std::lock_guard turn(*f.turn_);
    sqlite3_stmt* st = f.Cached(sql.text);
    if (!st) return f.Fail(f.MapSqlite(sqlite3_errcode(f.db_)), sqlite3_errmsg(f.db_));
    for (std::size_t i = 0; i < sql.binds.size(); ++i) f.BindField(st, static_cast<int>(i) + 1, -1, sql.binds[i]);
    Resetting resetting(st);
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      if (count != nullptr) {
        *count = sqlite3_column_int64(st, 0);
        continue;
      }
      ViewPosition pos;
      pos.row = sqlite3_column_int64(st, 0);
      for (std::size_t i = 0; i + 1 < cmps.size(); ++i) {
        const int col = cmps[i].field + 1;
        if (sqlite3_column_type(st, col) == SQLITE_TEXT) {
          const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
          pos.values.emplace_back(std::string(t ? t : "", static_cast<std::size_t>(sqlite3_column_bytes(st, col))));
        } else {
          pos.values.emplace_back(static_cast<int64_t>(sqlite3_column_int64(st, col)));
        }
      }
      f.ReadRow(st);
      std::vector<Value> record;
      for (const FieldDecl& fd : f.decl_.fields) record.push_back(fd.get(f.buf_));
      page.emplace_back(std::move(pos), std::move(record));
      if (static_cast<int>(page.size()) >= n) break;
    }
  }
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return f.Fail(f.MapSqlite(rc));
  f.Ok();
  if (each == nullptr) return 0;
  for (auto& [pos, record] : page) {
    for (std::size_t i = 0; i < record.size(); ++i) f.decl_.fields[i].set(f.buf_, record[i]);
    (*each)(pos);
  }
  return 0;
}

namespace {
constexpr const char* kSelect = "SELECT rowid, ";

// Whether a text column (and so every index on it) compares through the
// Czech collation: it does when a case-blind key holds it.
bool ColumnNoCase(const FileDecl& d, int field) {
  for (const KeyDecl& k : d.keys)
    for (int kf : k.fields)
      if (kf == field && k.noCase) return true;
  return false;
}
}  // namespace

int RecordQuery::SplitKey() const {
  if (key_ >= 0 || order_.empty()) return -1;
  const FileDecl& d = file_.decl_;
  const OrderItem& first = order_.front();
  const FieldDecl& f = d.fields[static_cast<std::size_t>(first.field)];
  if (!f.IsText()) return -1;
  if (first.noCase && !ColumnNoCase(d, first.field)) return -1;
  // A filter on a key's first field hands the engine that key to search
  // by; the parts would then only add their condition to every record.
  for (const FilterTerm& t : filter_)
    for (const KeyDecl& k : d.keys)
      if (k.fields.front() == t.field) return -1;
  for (std::size_t k = 0; k < d.keys.size(); ++k)
    if (d.keys[k].optional && d.keys[k].fields == std::vector<int>{first.field}) return static_cast<int>(k);
  return -1;
}

// Whether a position's first value is empty as the column compares it.
bool RecordQuery::InEmptyPart(const ViewPosition& pos) const {
  const auto* t = pos.values.empty() ? nullptr : std::get_if<std::string>(&pos.values.front());
  if (t == nullptr) return true;
  return ColumnNoCase(file_.decl_, order_.front().field) ? text::CompareCzNoCase(*t, "") == 0 : t->empty();
}

void RecordQuery::AddPart(Sql& sql, int key, bool empty) const {
  if (key < 0) return;
  if (empty)
    sql.And("NOT " + file_.OptionalFilter(key));
  else
    AddOptional(sql, key);
}

int RecordQuery::ReadPart(const ViewPosition* from, bool inclusive, bool backward, int n, const Each& each, int key,
                          bool empty) {
  Sql sql(kSelect + file_.ColumnList() + " FROM records");
  AddWhere(sql, nullptr);
  AddPart(sql, key, empty);
  if (from != nullptr) AddBeyond(sql, *from, inclusive, backward);
  sql.text += OrderBy(backward) + " LIMIT " + std::to_string(n);
  return Run(sql, n, &each, nullptr);
}

int RecordQuery::Read(const ViewPosition* from, bool inclusive, bool backward, int n, const Each& each) {
  if (n <= 0) return file_.Ok();
  const int split = SplitKey();
  if (split < 0) return ReadPart(from, inclusive, backward, n, each, -1, false);
  // A part wholly behind the position is not read.
  const bool up = order_.front().descending == backward;
  const bool fromEmpty = from != nullptr && InEmptyPart(*from);
  return ReadParts(
      up, n, each, [&](bool empty) { return from != nullptr && empty == up && fromEmpty != empty; },
      [&](bool empty, int left, const Each& counted) {
        return ReadPart(from, inclusive, backward, left, counted, split, empty);
      });
}

int RecordQuery::ReadParts(bool up, int n, const Each& each, const std::function<bool(bool empty)>& pass,
                           const std::function<int(bool empty, int left, const Each& counted)>& read) {
  int left = n;
  const Each counted = [&](const ViewPosition& pos) {
    --left;
    each(pos);
  };
  for (const bool empty : {up, !up}) {
    if (left <= 0) break;
    if (pass(empty)) continue;
    if (const int rc = read(empty, left, counted); rc != 0) return rc;
  }
  return 0;
}

int RecordQuery::ReadFromPart(const Value& bound, int n, const Each& each, int key, bool empty) {
  const std::vector<Cmp> cmps = Comparisons();
  Sql sql(kSelect + file_.ColumnList() + " FROM records");
  AddWhere(sql, nullptr);
  AddPart(sql, key, empty);
  sql.And(Expr(file_.decl_, cmps[0].field, cmps[0].noCase) + (cmps[0].descending ? " <= ?" : " >= ?"));
  sql.binds.push_back(bound);
  if (!cmps[0].descending) AddLowerBound(sql, cmps[0].field, bound);
  sql.text += OrderBy(false) + " LIMIT " + std::to_string(n);
  return Run(sql, n, &each, nullptr);
}

int RecordQuery::ReadFrom(const Value& value, int n, const Each& each) {
  if (n <= 0) return file_.Ok();
  const std::vector<Cmp> cmps = Comparisons();
  if (cmps.size() < 2) return Read(nullptr, false, false, n, each);
  const Value bound = file_.ToColumn(cmps[0].field, value);
  const int split = SplitKey();
  if (split < 0) return ReadFromPart(bound, n, each, -1, false);
  // The parts in view order, as Read takes them; one wholly before the
  // value is not read.
  const bool up = !cmps[0].descending;
  ViewPosition at;
  at.values.push_back(bound);
  const bool boundEmpty = InEmptyPart(at);
  return ReadParts(
      up, n, each, [&](bool empty) { return empty == up && boundEmpty != empty; },
      [&](bool empty, int left, const Each& counted) { return ReadFromPart(bound, left, counted, split, empty); });
}

int RecordQuery::ReadAtPart(int64_t skip, int n, const Each& each, int key, bool empty) {
  Sql sql(kSelect + file_.ColumnList() + " FROM records");
  AddWhere(sql, nullptr);
  AddPart(sql, key, empty);
  sql.text += OrderBy(false) + " LIMIT " + std::to_string(n) + " OFFSET " + std::to_string(skip);
  return Run(sql, n, &each, nullptr);
}

int RecordQuery::ReadAt(int64_t skip, int n, const Each& each) {
  if (n <= 0) return file_.Ok();
  skip = std::max<int64_t>(skip, 0);
  const int split = SplitKey();
  if (split < 0) return ReadAtPart(skip, n, each, -1, false);
  // The first part in view order is passed whole when the skip is beyond
  // it; its size comes from the index (the empty part's as the rest of the
  // view's count).
  const bool up = !order_.front().descending;
  int error = 0;
  const int rc = ReadParts(
      up, n, each,
      [&](bool empty) {
        if (empty != up || error != 0) return error != 0;
        const int64_t keyed = CountPart(nullptr, split, false);
        const int64_t all = empty ? Count() : 0;
        if (keyed < 0 || all < 0) {
          error = LastError();
          return true;
        }
        const int64_t size = empty ? all - keyed : keyed;
        if (skip < size) return false;
        skip -= size;
        return true;
      },
      [&](bool empty, int left, const Each& counted) {
        const int64_t from = skip;
        skip = 0;
        return ReadAtPart(from, left, counted, split, empty);
      });
  return error != 0 ? error : rc;
}

int RecordQuery::Find(int64_t row, ViewPosition& pos) {
  Sql sql(kSelect + file_.ColumnList() + " FROM records");
  AddWhere(sql, nullptr);
  sql.And("rowid = ?");
  sql.binds.emplace_back(row);
  bool found = false;
  const Each take = [&](const ViewPosition& p) {
    pos = p;
    found = true;
  };
  if (const int rc = Run(sql, 1, &take, nullptr); rc != 0) return rc;
  return found ? 0 : file_.Fail(RecordNotAvailable);
}

int RecordQuery::FindWhere(const std::vector<FilterTerm>& terms, ViewPosition& pos) {
  Sql sql(kSelect + file_.ColumnList() + " FROM records");
  AddWhere(sql, &terms);
  sql.text += OrderBy(false) + " LIMIT 1";
  bool found = false;
  const Each take = [&](const ViewPosition& p) {
    pos = p;
    found = true;
  };
  if (const int rc = Run(sql, 1, &take, nullptr); rc != 0) return rc;
  return found ? 0 : file_.Fail(RecordNotAvailable);
}

int64_t RecordQuery::Count() {
  Sql sql("SELECT COUNT(*) FROM records");
  AddWhere(sql, nullptr);
  int64_t n = -1;
  return Run(sql, 1, nullptr, &n) == 0 ? n : -1;
}

int64_t RecordQuery::CountPart(const ViewPosition* before, int key, bool empty) {
  Sql sql("SELECT COUNT(*) FROM records");
  AddWhere(sql, nullptr);
  AddPart(sql, key, empty);
  if (before != nullptr) AddBeyond(sql, *before, false, true);
  int64_t n = -1;
  return Run(sql, 1, nullptr, &n) == 0 ? n : -1;
}

// Records of the key's part on one side of a position (before it, or at
// and after it): those beyond its first value, which the index counts
// alone, and those of the same first value.
int64_t RecordQuery::CountSide(const ViewPosition& pos, int key, bool before) {
  const std::vector<Cmp> cmps = Comparisons();
  const std::string first = Expr(file_.decl_, cmps[0].field, cmps[0].noCase);
  const Value v0 = pos.values.empty() ? Value(std::string()) : pos.values.front();
  int64_t total = 0;
  for (const bool same : {false, true}) {
    // Those of the same first value are few and lie together in the index,
    // whatever else a filter would let the engine choose.
    Sql sql(same ? "SELECT COUNT(*) FROM records INDEXED BY " +
                       Quoted(file_.decl_.keys[static_cast<std::size_t>(key)].name)
                 : std::string("SELECT COUNT(*) FROM records"));
    AddWhere(sql, nullptr);
    AddPart(sql, key, false);
    if (same) {
      sql.And(first + " = ?");
      sql.binds.push_back(v0);
      AddBeyond(sql, pos, !before, before);
    } else {
      sql.And(first + (cmps[0].descending != before ? " < ?" : " > ?"));
      sql.binds.push_back(v0);
    }
    int64_t n = -1;
    if (Run(sql, 1, nullptr, &n) != 0) return -1;
    total += n;
  }
  return total;
}

int64_t RecordQuery::CountBefore(const ViewPosition& pos, int64_t count) {
  const int split = SplitKey();
  if (split < 0) return CountPart(&pos, -1, false);
  const bool up = !order_.front().descending;
  if (InEmptyPart(pos)) {
    // Going down the key's part comes first, whole.
    const int64_t keyed = up ? 0 : CountPart(nullptr, split, false);
    const int64_t empty = CountPart(&pos, split, true);
    return keyed < 0 || empty < 0 ? -1 : keyed + empty;
  }
  if (!up) return CountSide(pos, split, true);
  // Going up the empty part comes first, and only the index-less scan of
  // the whole file counts it; the records at and after the position all lie
  // in the key's part, so with the view's count known those are counted.
  if (count >= 0) {
    const int64_t after = CountSide(pos, split, false);
    return after < 0 ? -1 : count - after;
  }
  const int64_t empty = CountPart(nullptr, split, true);
  const int64_t keyed = CountSide(pos, split, true);
  return keyed < 0 || empty < 0 ? -1 : keyed + empty;
}

}  // namespace platform::rec
