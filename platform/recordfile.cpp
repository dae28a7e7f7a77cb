#include "platform/recordfile.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

#include "platform/locale_texts.h"
#include "platform/stdtime.h"
#include "platform/text.h"

namespace platform::rec {

namespace {

using namespace platform::locale;

thread_local int tLastError = 0;
thread_local std::string tLastDetail;
std::atomic<int64_t> gRecoveryUnitMs{1000};

constexpr const char* kCollation = "CZ_NOCASE";
constexpr const char* kFormat = "velorn-records-1";

int CollateCz(void*, int la, const void* a, int lb, const void* b) {
  return text::CompareCzNoCase(std::string_view(static_cast<const char*>(a), static_cast<size_t>(la)),
                               std::string_view(static_cast<const char*>(b), static_cast<size_t>(lb)));
}

std::string Quote(std::string_view name) {
  std::string q = "\"";
  for (char c : name) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

// A prepared statement that finalizes itself.
struct Prepared {
  sqlite3_stmt* st = nullptr;
  Prepared(sqlite3* db, const std::string& sql) { sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr); }
  ~Prepared() { sqlite3_finalize(st); }
  Prepared(const Prepared&) = delete;
  Prepared& operator=(const Prepared&) = delete;
  explicit operator bool() const { return st != nullptr; }
};

// The turn of this process on a file (by device and inode). Each operation
// runs in its turn, so the program's own threads wait for each other's short
// transactions instead of failing with 5; only another process's lock is
// subject to the lock-recovery time.
std::shared_ptr<std::mutex> FileTurn(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::make_shared<std::mutex>();
  static std::mutex registryMutex;
  static auto* registry = new std::map<std::pair<dev_t, ino_t>, std::weak_ptr<std::mutex>>;
  std::lock_guard lock(registryMutex);
  for (auto it = registry->begin(); it != registry->end();)
    it = it->second.expired() ? registry->erase(it) : std::next(it);
  std::weak_ptr<std::mutex>& slot = (*registry)[{st.st_dev, st.st_ino}];
  std::shared_ptr<std::mutex> turn = slot.lock();
  if (!turn) {
    turn = std::make_shared<std::mutex>();
    slot = turn;
  }
  return turn;
}

// Holds a file's turn for the length of one operation.
class InTurn {
 public:
  explicit InTurn(std::shared_ptr<std::mutex> turn) : turn_(std::move(turn)) {
    if (turn_) turn_->lock();
  }
  ~InTurn() {
    if (turn_) turn_->unlock();
  }
  InTurn(const InTurn&) = delete;
  InTurn& operator=(const InTurn&) = delete;

 private:
  std::shared_ptr<std::mutex> turn_;
};

}  // namespace

int FieldDecl::Bytes() const {
  switch (type) {
    case FieldType::Byte: return 1;
    case FieldType::Long:
    case FieldType::Date:
    case FieldType::Time: return 4;
    case FieldType::String:
    case FieldType::CString: return size;
  }
  return 0;
}

int FileDecl::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].name == name) return static_cast<int>(i);
  return -1;
}

int FileDecl::KeyIndex(std::string_view name) const {
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i].name == name) return static_cast<int>(i);
  return -1;
}

std::string FileDecl::Signature() const {
  std::string s = label + ";" + std::to_string(recordBytes);
  for (const auto& f : fields)
    s += ";" + f.name + ":" + std::to_string(static_cast<int>(f.type)) + ":" + std::to_string(f.size) + "@" +
         std::to_string(f.offset);
  for (const auto& k : keys) {
    s += ";" + k.name + "(";
    for (int f : k.fields) s += std::to_string(f) + ",";
    s += ")";
    s += k.unique ? "U" : "";
    s += k.primary ? "P" : "";
    s += k.autoNumber ? "A" : "";
    s += k.noCase ? "C" : "";
    s += k.optional ? "O" : "";
  }
  return s;
}

int LastError() { return tLastError; }

std::string LastErrorText() {
  if (tLastError == 0) return {};
  std::string t = ErrorText(tLastError);
  return t;
}

void SetLockRecoveryUnit(std::chrono::milliseconds unit) { gRecoveryUnitMs = unit.count(); }
std::chrono::milliseconds LockRecoveryUnit() { return std::chrono::milliseconds(gRecoveryUnitMs.load()); }

RecordFile::RecordFile(const FileDecl& decl, void* buffer) : decl_(decl), buf_(buffer) {
  for (size_t i = 0; i < decl_.keys.size(); ++i)
    if (decl_.keys[i].autoNumber && decl_.keys[i].fields.size() == 1) autoKey_ = static_cast<int>(i);
}

RecordFile::~RecordFile() { Close(); }

int RecordFile::Fail(int code, std::string detail) {
  tLastError = code;
  tLastDetail = std::move(detail);
  return code;
}

int RecordFile::Ok() {
  tLastError = 0;
  tLastDetail.clear();
  return 0;
}

int RecordFile::BusyWait() const {
  const int64_t ms = static_cast<int64_t>(recover_) * gRecoveryUnitMs.load();
  return ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms);
}

int RecordFile::MapSqlite(int rc) const {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW: return 0;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return AccessDenied;
    case SQLITE_CONSTRAINT: return DuplicateKey;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return InvalidDataFile;
    case SQLITE_NOMEM: return NoMemory;
    case SQLITE_CANTOPEN: return AccessDenied;
    case SQLITE_READONLY:
    case SQLITE_PERM: return AccessDenied;
    case SQLITE_FULL:
    case SQLITE_IOERR: return FileSystemError;
    default: return FileSystemError;
  }
}

// What the file on disk is, before SQLite is let near it: 0 ours or
// possibly ours (an SQLite database), 2 missing or empty, 36 foreign.
int RecordFile::CheckFile(bool forCreate) {
  const int fd = ::open(decl_.fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return FileNotFound;
    if (errno == ENOTDIR) return PathNotFound;
    if (errno == EMFILE || errno == ENFILE) return TooManyOpenFiles;
    return AccessDenied;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return AccessDenied;
  }
  if (st.st_size == 0) {
    ::close(fd);
    return FileNotFound;
  }
  char head[16] = {};
  const ssize_t n = ::read(fd, head, sizeof head);
  ::close(fd);
  if (n != static_cast<ssize_t>(sizeof head) || std::memcmp(head, "SQLite format 3", 16) != 0)
    return InvalidDataFile;
  (void)forCreate;
  return 0;
}

int RecordFile::Connect(int flags) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(decl_.fileName.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const int code = MapSqlite(rc);
    sqlite3_close(db);
    return code;
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_create_collation_v2(db, kCollation, SQLITE_UTF8, nullptr, CollateCz, nullptr);
  sqlite3_busy_timeout(db, BusyWait());
  db_ = db;
  turn_ = FileTurn(decl_.fileName);
  return 0;
}

int RecordFile::Exec(const char* sql) {
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  return MapSqlite(rc);
}

// Checks that the open database is one of ours with this layout.
int RecordFile::Verify() {
  Prepared q(db_, "SELECT name, value FROM velorn_meta");
  if (!q) {
    const int rc = sqlite3_errcode(db_);
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) return AccessDenied;
    if ((rc & 0xff) == SQLITE_NOTADB || (rc & 0xff) == SQLITE_CORRUPT) return InvalidDataFile;
    return InvalidRecordDeclaration;  // no such table: not ours
  }
  std::string format, layout;
  int rc;
  while ((rc = sqlite3_step(q.st)) == SQLITE_ROW) {
    const auto* n = reinterpret_cast<const char*>(sqlite3_column_text(q.st, 0));
    const auto* v = reinterpret_cast<const char*>(sqlite3_column_text(q.st, 1));
    if (!n || !v) continue;
    if (std::strcmp(n, "format") == 0) format = v;
    if (std::strcmp(n, "layout") == 0) layout = v;
  }
  if (rc != SQLITE_DONE) return MapSqlite(rc);
  if (format != kFormat || layout != decl_.Signature()) return InvalidRecordDeclaration;
  return 0;
}

// Checks an existing database through a read-only connection that never
// checkpoints, so a foreign file (a WAL database, say) is not changed by
// being looked at. Ours never use WAL; a hot journal (after a crash) cannot
// be rolled back read-only and is left to the read-write open that follows.
int RecordFile::VerifyReadOnly() {
  sqlite3* ro = nullptr;
  int rc = sqlite3_open_v2(decl_.fileName.c_str(), &ro, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(ro);
    return MapSqlite(rc);
  }
  sqlite3_extended_result_codes(ro, 1);
  sqlite3_db_config(ro, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_busy_timeout(ro, BusyWait());
  sqlite3* const rw = db_;
  db_ = ro;
  int c;
  {
    InTurn turn(FileTurn(decl_.fileName));
    c = Verify();
  }
  if (c != 0 && sqlite3_extended_errcode(ro) == SQLITE_READONLY_ROLLBACK) c = 0;
  db_ = rw;
  sqlite3_close(ro);
  return c;
}

int RecordFile::Open() {
  if (db_) return Fail(FileAlreadyOpen);
  if (const int c = CheckFile(false); c != 0) return Fail(c, decl_.fileName);
  if (const int c = VerifyReadOnly(); c != 0) return Fail(c, decl_.fileName);
  if (const int c = Connect(SQLITE_OPEN_READWRITE); c != 0) return Fail(c, decl_.fileName);
  int c;
  {
    InTurn turn(turn_);
    c = Verify();
  }
  if (c != 0) {
    Close();
    return Fail(c, decl_.fileName);
  }
  order_ = Order::None;
  current_ = 0;
  return Ok();
}

std::string RecordFile::ColumnList() const {
  std::string s;
  for (size_t i = 0; i < decl_.fields.size(); ++i) s += (i ? ", " : "") + Quote(decl_.fields[i].name);
  return s;
}

std::string RecordFile::OptionalFilter(int key) const {
  const KeyDecl& k = decl_.keys[static_cast<size_t>(key)];
  if (!k.optional) return {};
  std::string s = "NOT (";
  for (size_t i = 0; i < k.fields.size(); ++i) {
    const FieldDecl& f = decl_.fields[static_cast<size_t>(k.fields[i])];
    s += (i ? " AND " : "") + Quote(f.name) + (f.IsText() ? " = ''" : " = 0");
  }
  return s + ")";
}

std::string RecordFile::KeyOrderBy(int key) const {
  std::string s;
  for (int f : decl_.keys[static_cast<size_t>(key)].fields) s += Quote(decl_.fields[static_cast<size_t>(f)].name) + ", ";
  return s + "rowid";
}

int RecordFile::InstallSchema() {
  // Rows are numbered without reuse: a deleted record's place in file order
  // never goes to a new one, so read positions stay valid.
  std::string sql = "CREATE TABLE IF NOT EXISTS records (velorn_row INTEGER PRIMARY KEY AUTOINCREMENT";
  for (size_t i = 0; i < decl_.fields.size(); ++i) {
    const FieldDecl& f = decl_.fields[i];
    bool noCase = false;
    for (const auto& k : decl_.keys)
      for (int kf : k.fields)
        if (kf == static_cast<int>(i) && k.noCase) noCase = true;
    sql += ", " + Quote(f.name) + (f.IsText() ? " TEXT NOT NULL DEFAULT ''" : " INTEGER NOT NULL DEFAULT 0");
    if (f.IsText() && noCase) sql += std::string(" COLLATE ") + kCollation;
  }
  sql += ");";
  for (size_t i = 0; i < decl_.keys.size(); ++i) {
    const KeyDecl& k = decl_.keys[i];
    sql += std::string("CREATE ") + (k.unique ? "UNIQUE " : "") + "INDEX IF NOT EXISTS " + Quote(k.name) +
           " ON records (";
    for (size_t j = 0; j < k.fields.size(); ++j) sql += (j ? ", " : "") + Quote(decl_.fields[static_cast<size_t>(k.fields[j])].name);
    sql += ")";
    if (k.optional) sql += " WHERE " + OptionalFilter(static_cast<int>(i));
    sql += ";";
  }
  sql += "CREATE TABLE IF NOT EXISTS velorn_meta (name TEXT PRIMARY KEY, value TEXT NOT NULL);";
  if (const int c = Exec("BEGIN EXCLUSIVE"); c != 0) return c;
  int c = Exec(sql.c_str());
  if (c == 0) {
    Prepared ins(db_, "INSERT OR IGNORE INTO velorn_meta (name, value) VALUES (?1, ?2)");
    const std::string sig = decl_.Signature();
    const std::pair<const char*, std::string> rows[] = {{"format", kFormat}, {"label", decl_.label}, {"layout", sig}};
    for (const auto& [n, v] : rows) {
      sqlite3_reset(ins.st);
      sqlite3_bind_text(ins.st, 1, n, -1, SQLITE_STATIC);
      sqlite3_bind_text(ins.st, 2, v.c_str(), -1, SQLITE_TRANSIENT);
      if (const int rc = sqlite3_step(ins.st); rc != SQLITE_DONE) c = MapSqlite(rc);
    }
  }
  if (c != 0) {
    Exec("ROLLBACK");
    return c;
  }
  return Exec("COMMIT");
}

int RecordFile::Create() {
  if (db_) return Fail(FileAlreadyOpen);
  const int check = CheckFile(true);
  if (check != 0 && check != FileNotFound) return Fail(check, decl_.fileName);
  if (check == 0) {
    // An SQLite database already: ours is left as it is, another is refused.
    const int v = VerifyReadOnly();
    return v == 0 ? Ok() : Fail(v, decl_.fileName);
  }
  if (const int c = Connect(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE); c != 0) return Fail(c, decl_.fileName);
  int c;
  {
    InTurn turn(turn_);
    c = InstallSchema();
    if (c == 0) c = Verify();
  }
  Close();
  return c == 0 ? Ok() : Fail(c, decl_.fileName);
}

sqlite3_stmt* RecordFile::Cached(const std::string& sql) {
  auto it = cache_.find(sql);
  if (it != cache_.end()) {
    sqlite3_reset(it->second);
    sqlite3_clear_bindings(it->second);
    return it->second;
  }
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return nullptr;
  }
  cache_.emplace(sql, st);
  return st;
}

int RecordFile::Logout() {
  if (!db_) return Fail(FileNotOpen);
  if (logout_) return Fail(LogoutActive);
  InTurn turn(turn_);
  if (const int c = Exec("BEGIN IMMEDIATE"); c != 0) return Fail(c);
  logout_ = true;
  return Ok();
}

int RecordFile::Commit() {
  if (!logout_) return Fail(LogoutNotActive);
  InTurn turn(turn_);
  logout_ = false;
  if (const int c = Exec("COMMIT"); c != 0) {
    Exec("ROLLBACK");
    return Fail(c);
  }
  return Ok();
}

int RecordFile::Rollback() {
  if (!logout_) return Fail(LogoutNotActive);
  InTurn turn(turn_);
  logout_ = false;
  return Exec("ROLLBACK") == 0 ? Ok() : Fail(FileSystemError);
}

void RecordFile::Close() {
  if (logout_) Rollback();
  for (auto& [sql, st] : cache_) sqlite3_finalize(st);
  cache_.clear();
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  turn_.reset();
  order_ = Order::None;
  current_ = 0;
  met_.clear();
}

int RecordFile::Send(std::string_view option) {
  constexpr std::string_view kRecover = "Recover=";
  if (option.size() > kRecover.size() && text::UpperAscii(option.substr(0, kRecover.size())) == "RECOVER=") {
    int n = 0;
    for (char c : option.substr(kRecover.size())) {
      if (c < '0' || c > '9') return Fail(UnsupportedFunction);
      n = n > 100000 ? n : n * 10 + (c - '0');
    }
    recover_ = n;
    if (db_) sqlite3_busy_timeout(db_, BusyWait());
    return Ok();
  }
  return Fail(UnsupportedFunction, std::string(option));
}

int64_t RecordFile::Records() {
  if (!db_) {
    Fail(FileNotOpen);
    return -1;
  }
  InTurn turn(turn_);
  Prepared q(db_, "SELECT COUNT(*) FROM records");
  const int rc = q ? sqlite3_step(q.st) : sqlite3_errcode(db_);
  if (rc != SQLITE_ROW) {
    Fail(MapSqlite(rc));
    return -1;
  }
  Ok();
  return sqlite3_column_int64(q.st, 0);
}

Value RecordFile::ToColumn(int field, const Value& v) const {
  const FieldDecl& f = decl_.fields[static_cast<size_t>(field)];
  switch (f.type) {
    case FieldType::Byte: return static_cast<int64_t>(static_cast<uint8_t>(std::get<int64_t>(v)));
    case FieldType::Long: return static_cast<int64_t>(static_cast<int32_t>(std::get<int64_t>(v)));
    case FieldType::Date:
      return static_cast<int64_t>(PackField(DateToField(static_cast<StdDate>(std::get<int64_t>(v)))));
    case FieldType::Time:
      return static_cast<int64_t>(PackField(TimeToField(static_cast<StdTime>(std::get<int64_t>(v)))));
    case FieldType::String:
    case FieldType::CString: {
      const size_t max = static_cast<size_t>(f.type == FieldType::String ? f.size : f.size - 1);
      std::string t = text::FromCp1250(text::ToCp1250(text::TruncateChars(std::get<std::string>(v), max)));
      if (f.type == FieldType::String) t = std::string(text::TrimRight(t));
      return t;
    }
  }
  return int64_t{0};
}

void RecordFile::BindField(sqlite3_stmt* st, int pos, int field, const Value& column) const {
  (void)field;
  if (const auto* n = std::get_if<int64_t>(&column)) sqlite3_bind_int64(st, pos, *n);
  else sqlite3_bind_text(st, pos, std::get<std::string>(column).c_str(), -1, SQLITE_TRANSIENT);
}

void RecordFile::BindBuffer(sqlite3_stmt* st, int first) const {
  for (size_t i = 0; i < decl_.fields.size(); ++i) {
    const int fi = static_cast<int>(i);
    BindField(st, first + fi, fi, ToColumn(fi, decl_.fields[i].get(buf_)));
  }
}

void RecordFile::ReadRow(sqlite3_stmt* st) {
  // Column 0 is the rowid, then the fields in declaration order.
  for (size_t i = 0; i < decl_.fields.size(); ++i) {
    const FieldDecl& f = decl_.fields[i];
    const int col = static_cast<int>(i) + 1;
    switch (f.type) {
      case FieldType::Byte:
      case FieldType::Long: f.set(buf_, static_cast<int64_t>(sqlite3_column_int64(st, col))); break;
      case FieldType::Date:
        f.set(buf_, static_cast<int64_t>(DateFromField(UnpackField(static_cast<uint32_t>(sqlite3_column_int64(st, col))))));
        break;
      case FieldType::Time:
        f.set(buf_, static_cast<int64_t>(TimeFromField(UnpackField(static_cast<uint32_t>(sqlite3_column_int64(st, col))))));
        break;
      case FieldType::String:
      case FieldType::CString: {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        f.set(buf_, std::string(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(st, col))));
        break;
      }
    }
  }
}

int RecordFile::SetFileOrder() {
  if (!db_) return Fail(FileNotOpen);
  order_ = Order::File;
  key_ = -1;
  started_ = false;
  met_.clear();
  return Ok();
}

int RecordFile::SetKeyOrder(int key) {
  if (!db_) return Fail(FileNotOpen);
  if (key < 0 || key >= static_cast<int>(decl_.keys.size())) return Fail(CannotAccessIndex);
  order_ = Order::Key;
  key_ = key;
  started_ = false;
  met_.clear();
  return Ok();
}

int RecordFile::SetKeyFromBuffer(int key) {
  if (const int c = SetKeyOrder(key); c != 0) return c;
  order_ = Order::KeyFromBuffer;
  fromValues_.clear();
  for (int f : decl_.keys[static_cast<size_t>(key)].fields)
    fromValues_.push_back(ToColumn(f, decl_.fields[static_cast<size_t>(f)].get(buf_)));
  return Ok();
}

int RecordFile::Next() {
  if (!db_) return Fail(FileNotOpen);
  if (order_ == Order::None) return Fail(RecordNotAvailable);
  InTurn turn(turn_);
  const std::string cols = "rowid, " + ColumnList();
  for (;;) {
    std::string sql = "SELECT " + cols + " FROM records";
    std::vector<std::string> where;
    std::vector<Value> binds;
    if (order_ == Order::File) {
      if (started_) {
        where.push_back("rowid > ?");
        binds.emplace_back(lastRowid_);
      }
    } else {
      const KeyDecl& k = decl_.keys[static_cast<size_t>(key_)];
      if (const std::string f = OptionalFilter(key_); !f.empty()) where.push_back(f);
      std::string tuple = "(";
      for (size_t i = 0; i < k.fields.size(); ++i)
        tuple += (i ? ", " : "") + Quote(decl_.fields[static_cast<size_t>(k.fields[i])].name);
      if (started_) {
        std::string w = tuple + ", rowid) > (";
        for (size_t i = 0; i < k.fields.size(); ++i) w += "?, ";
        where.push_back(w + "?)");
        binds.insert(binds.end(), lastKeyValues_.begin(), lastKeyValues_.end());
        binds.emplace_back(lastRowid_);
      } else if (order_ == Order::KeyFromBuffer) {
        std::string w = tuple + ") >= (";
        for (size_t i = 0; i < k.fields.size(); ++i) w += (i ? ", ?" : "?");
        where.push_back(w + ")");
        binds.insert(binds.end(), fromValues_.begin(), fromValues_.end());
      }
    }
    for (size_t i = 0; i < where.size(); ++i) sql += (i ? " AND " : " WHERE ") + where[i];
    sql += " ORDER BY " + (order_ == Order::File ? std::string("rowid") : KeyOrderBy(key_)) + " LIMIT 1";

    sqlite3_stmt* st = Cached(sql);
    if (!st) return Fail(MapSqlite(sqlite3_errcode(db_)), sqlite3_errmsg(db_));
    for (size_t i = 0; i < binds.size(); ++i) BindField(st, static_cast<int>(i) + 1, -1, binds[i]);
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) {
      const std::string detail = rc == SQLITE_DONE ? std::string() : sqlite3_errmsg(db_);
      sqlite3_reset(st);
      return Fail(rc == SQLITE_DONE ? RecordNotAvailable : MapSqlite(rc), detail);
    }

    started_ = true;
    lastRowid_ = sqlite3_column_int64(st, 0);
    if (order_ != Order::File) {
      lastKeyValues_.clear();
      for (int f : decl_.keys[static_cast<size_t>(key_)].fields) {
        const int col = f + 1;
        if (sqlite3_column_type(st, col) == SQLITE_TEXT) {
          const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
          lastKeyValues_.emplace_back(std::string(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(st, col))));
        } else {
          lastKeyValues_.emplace_back(static_cast<int64_t>(sqlite3_column_int64(st, col)));
        }
      }
    }
    // A record rewritten to a later key value is met once only.
    if (!met_.insert(lastRowid_).second) {
      sqlite3_reset(st);
      continue;
    }
    ReadRow(st);
    sqlite3_reset(st);
    current_ = lastRowid_;
    return Ok();
  }
}

int RecordFile::PrimeAutoNumber() {
  if (autoKey_ < 0) return Ok();
  if (!db_) return Fail(FileNotOpen);
  InTurn turn(turn_);
  const int f = decl_.keys[static_cast<size_t>(autoKey_)].fields[0];
  const FieldDecl& fd = decl_.fields[static_cast<size_t>(f)];
  Prepared q(db_, "SELECT COALESCE(MAX(" + Quote(fd.name) + "), 0) + 1 FROM records");
  const int rc = q ? sqlite3_step(q.st) : sqlite3_errcode(db_);
  if (rc != SQLITE_ROW) return Fail(MapSqlite(rc));
  primedNumber_ = sqlite3_column_int64(q.st, 0);
  fd.set(buf_, primedNumber_);
  return Ok();
}

int RecordFile::Add() {
  if (!db_) return Fail(FileNotOpen);
  InTurn turn(turn_);
  if (const int c = logout_ ? 0 : Exec("BEGIN IMMEDIATE"); c != 0) return Fail(c);
  // The number primed for this insert may have been taken by another
  // process since: the record then gets the highest + 1.
  if (autoKey_ >= 0 && primedNumber_ != 0) {
    const int f = decl_.keys[static_cast<size_t>(autoKey_)].fields[0];
    const FieldDecl& fd = decl_.fields[static_cast<size_t>(f)];
    if (std::get<int64_t>(fd.get(buf_)) == primedNumber_) {
      Prepared q(db_, "SELECT EXISTS (SELECT 1 FROM records WHERE " + Quote(fd.name) + " = ?1), COALESCE(MAX(" +
                          Quote(fd.name) + "), 0) + 1 FROM records");
      if (q) sqlite3_bind_int64(q.st, 1, primedNumber_);
      if (q && sqlite3_step(q.st) == SQLITE_ROW && sqlite3_column_int64(q.st, 0) != 0)
        fd.set(buf_, static_cast<int64_t>(sqlite3_column_int64(q.st, 1)));
    }
  }
  std::string sql = "INSERT INTO records (" + ColumnList() + ") VALUES (";
  for (size_t i = 0; i < decl_.fields.size(); ++i) sql += (i ? ", ?" : "?");
  sql += ")";
  sqlite3_stmt* ins = Cached(sql);
  int rc = ins ? SQLITE_OK : sqlite3_errcode(db_);
  if (ins) {
    BindBuffer(ins, 1);
    rc = sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  if (rc != SQLITE_DONE) {
    const std::string detail = sqlite3_errmsg(db_);
    if (!logout_) Exec("ROLLBACK");
    return Fail(MapSqlite(rc), detail);
  }
  const int64_t row = sqlite3_last_insert_rowid(db_);
  if (const int c = logout_ ? 0 : Exec("COMMIT"); c != 0) {
    Exec("ROLLBACK");
    return Fail(c);
  }
  primedNumber_ = 0;
  current_ = row;
  // The buffer holds what the file holds.
  for (size_t i = 0; i < decl_.fields.size(); ++i) {
    const int fi = static_cast<int>(i);
    const FieldDecl& f = decl_.fields[i];
    if (f.IsText()) f.set(buf_, ToColumn(fi, f.get(buf_)));
  }
  return Ok();
}

int RecordFile::Put() {
  if (!db_) return Fail(FileNotOpen);
  if (current_ == 0) return Fail(RecordNotAvailable);
  InTurn turn(turn_);
  std::string sql = "UPDATE records SET ";
  for (size_t i = 0; i < decl_.fields.size(); ++i) sql += (i ? ", " : "") + Quote(decl_.fields[i].name) + " = ?";
  sql += " WHERE rowid = ?";
  sqlite3_stmt* up = Cached(sql);
  if (!up) return Fail(MapSqlite(sqlite3_errcode(db_)));
  BindBuffer(up, 1);
  sqlite3_bind_int64(up, static_cast<int>(decl_.fields.size()) + 1, current_);
  const int rc = sqlite3_step(up);
  sqlite3_reset(up);
  if (rc != SQLITE_DONE) return Fail(MapSqlite(rc), sqlite3_errmsg(db_));
  if (sqlite3_changes(db_) == 0) return Fail(RecordNotFound);
  return Ok();
}

int RecordFile::Delete() {
  if (!db_) return Fail(FileNotOpen);
  if (current_ == 0) return Fail(RecordNotAvailable);
  InTurn turn(turn_);
  sqlite3_stmt* del = Cached("DELETE FROM records WHERE rowid = ?1");
  if (!del) return Fail(MapSqlite(sqlite3_errcode(db_)));
  sqlite3_bind_int64(del, 1, current_);
  const int rc = sqlite3_step(del);
  sqlite3_reset(del);
  if (rc != SQLITE_DONE) return Fail(MapSqlite(rc), sqlite3_errmsg(db_));
  const bool gone = sqlite3_changes(db_) != 0;
  current_ = 0;
  return gone ? Ok() : Fail(RecordNotFound);
}

void RecordFile::ClearBuffer() {
  for (const auto& f : decl_.fields) {
    if (f.IsText()) f.set(buf_, std::string());
    else f.set(buf_, int64_t{0});
  }
}

}  // namespace platform::rec
