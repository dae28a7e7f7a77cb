#include "platform/recordfile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

#include "platform/cz_collation.h"
#include "platform/locale_texts.h"
#include "platform/stdtime.h"
#include "platform/text.h"

namespace platform::rec {

namespace {

using namespace platform::locale;

thread_local ErrorCode tLastError = NoError;
thread_local std::string tLastDetail;
std::atomic<int64_t> gRecoveryUnitMs{1000};
std::atomic<bool> gSimulatedWriteProtection{false};

constexpr const char* kFormat = "velorn-records-1";
// Marks our files in the database header ("Vlrn"), so that a file known to
// be ours is opened without a separate read-only look first.
constexpr int32_t kApplicationId = 0x566c726e;
// The order CZ_NOCASE gives; raised whenever that order changes, so that the
// indexes of files made under an older order are rebuilt at their next open
// (an index kept in another order than its collation's misses records).
constexpr const char* kCollationVersion = "cz-2";

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

// A database with no application id and nothing in it at all, not even a
// table: a creation of ours cut short (an older version switched a new file
// to the write-ahead log before it made the tables; a journal rolled back
// leaves an empty one).
bool BlankDatabase(sqlite3* db) {
  Prepared q(db, "SELECT (SELECT count(*) FROM sqlite_master), (SELECT application_id FROM pragma_application_id)");
  return q && sqlite3_step(q.st) == SQLITE_ROW && sqlite3_column_int64(q.st, 0) == 0 &&
         sqlite3_column_int64(q.st, 1) == 0;
}

using FileId = std::pair<dev_t, ino_t>;

// The files this process has connections to, by device and inode, each with
// its turn (below) while an instance holds it.
struct OpenFiles {
  std::mutex mutex;
  std::map<FileId, std::weak_ptr<std::mutex>> turns;
};
OpenFiles& Registry() {
  static auto* registry = new OpenFiles;
  return *registry;
}

// The turn of this process on a file (by device and inode). Each operation
// runs in its turn, so the program's own threads wait for each other's short
// transactions instead of failing with 5; only another process's lock is
// subject to the lock-recovery time.
std::shared_ptr<std::mutex> FileTurn(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::make_shared<std::mutex>();
  OpenFiles& r = Registry();
  std::lock_guard lock(r.mutex);
  for (auto it = r.turns.begin(); it != r.turns.end();)
    it = it->second.expired() ? r.turns.erase(it) : std::next(it);
  std::weak_ptr<std::mutex>& slot = r.turns[{st.st_dev, st.st_ino}];
  std::shared_ptr<std::mutex> turn = slot.lock();
  if (!turn) {
    turn = std::make_shared<std::mutex>();
    slot = turn;
  }
  return turn;
}

bool HeldFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  OpenFiles& r = Registry();
  std::lock_guard lock(r.mutex);
  const auto it = r.turns.find({st.st_dev, st.st_ino});
  return it != r.turns.end() && !it->second.expired();
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
  return NoError;
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

ErrorCode LastError() { return tLastError; }

std::string LastErrorText() {
  if (tLastError == 0) return {};
  std::string t = ErrorText(tLastError);
  return t;
}

bool HeldOpenHere(const std::string& path) {
  if (HeldFile(path)) return true;
  for (std::string_view beside : {"-wal", "-shm"})
    if (path.size() > beside.size() && std::string_view(path).ends_with(beside) &&
        HeldFile(path.substr(0, path.size() - beside.size())))
      return true;
  return false;
}

void SimulateWriteProtection(bool on) { gSimulatedWriteProtection = on; }

void SetLockRecoveryUnit(std::chrono::milliseconds unit) { gRecoveryUnitMs = unit.count(); }
std::chrono::milliseconds LockRecoveryUnit() { return std::chrono::milliseconds(gRecoveryUnitMs.load()); }

RecordFile::RecordFile(const FileDecl& decl, void* buffer) : decl_(decl), buf_(buffer) {
  for (size_t i = 0; i < decl_.keys.size(); ++i)
    if (decl_.keys[i].autoNumber && decl_.keys[i].fields.size() == 1) autoKey_ = static_cast<int>(i);
}

RecordFile::~RecordFile() { Close(); }

ErrorCode RecordFile::Fail(ErrorCode code, std::string detail) {
  tLastError = code;
  tLastDetail = std::move(detail);
  return code;
}

ErrorCode RecordFile::Ok() {
  tLastError = NoError;
  tLastDetail.clear();
  return NoError;
}

int RecordFile::BusyWait() const {
  const int64_t ms = static_cast<int64_t>(recover_) * gRecoveryUnitMs.load();
  return ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms);
}

ErrorCode RecordFile::MapSqlite(int rc) const {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW: return NoError;
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

// What the file on disk is, before SQLite is let near it: 0 possibly ours
// (an SQLite database; *marked when its header carries our mark), 2 missing
// or empty, 36 foreign. The header is read through SQLite's own file layer:
// a close() of the file by anything else would drop every lock this process
// holds on it (POSIX locks belong to the process), those of its open
// connections included, and another reader would then take the file for
// unused and remove its log and shared memory.
ErrorCode RecordFile::CheckFile(bool* marked) {
  struct stat st {};
  if (::stat(decl_.fileName.c_str(), &st) != 0) {
    if (errno == ENOENT) return FileNotFound;
    if (errno == ENOTDIR) return PathNotFound;
    return AccessDenied;
  }
  if (!S_ISREG(st.st_mode)) return AccessDenied;
  if (st.st_size == 0) return FileNotFound;
  unsigned char head[100] = {};
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(decl_.fileName.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  const int openErrno = errno;
  sqlite3_file* file = nullptr;
  if (rc == SQLITE_OK) rc = sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file);
  if (rc == SQLITE_OK) {
    // A short read fills the rest with zeros and says so.
    rc = file != nullptr && file->pMethods != nullptr ? file->pMethods->xRead(file, head, sizeof head, 0)
                                                      : SQLITE_CANTOPEN;
  }
  sqlite3_close(db);
  if (rc == SQLITE_CANTOPEN)
    return openErrno == EMFILE || openErrno == ENFILE ? TooManyOpenFiles : AccessDenied;
  if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ) return MapSqlite(rc);
  const int64_t size = st.st_size;
  if (size < 16 || std::memcmp(head, "SQLite format 3", 16) != 0) return InvalidDataFile;
  const auto id = static_cast<int32_t>(static_cast<uint32_t>(head[68]) << 24 | static_cast<uint32_t>(head[69]) << 16 |
                                       static_cast<uint32_t>(head[70]) << 8 | head[71]);
  if (marked) *marked = size >= static_cast<int64_t>(sizeof head) && id == kApplicationId;
  return NoError;
}

ErrorCode RecordFile::Connect(int flags, const std::string& name) {
  if (gSimulatedWriteProtection && (flags & SQLITE_OPEN_READWRITE))
    flags = (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(name.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const ErrorCode code = MapSqlite(rc);
    sqlite3_close(db);
    return code;
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_create_collation_v2(db, kCzNoCase, SQLITE_UTF8, nullptr, CollateCzNoCase, nullptr);
  sqlite3_busy_timeout(db, BusyWait());
  db_ = db;
  turn_ = FileTurn(name);
  return NoError;
}

ErrorCode RecordFile::Exec(const char* sql) {
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  return MapSqlite(rc);
}

// Checks that the open database is one of ours with this layout.
ErrorCode RecordFile::Verify() {
  Prepared q(db_, "SELECT name, value FROM velorn_meta");
  if (!q) {
    const int rc = sqlite3_errcode(db_);
    if ((rc & 0xff) == SQLITE_ERROR) return InvalidRecordDeclaration;  // no such table: not ours
    return MapSqlite(rc);
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
  return NoError;
}

// Checks an existing database through a read-only connection that never
// checkpoints, so a foreign file (a WAL database, say) is not changed by
// being looked at. A hot journal (after a crash) cannot be rolled back
// read-only and is left to the read-write open that follows.
ErrorCode RecordFile::VerifyReadOnly() {
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
  ErrorCode c;
  {
    InTurn turn(FileTurn(decl_.fileName));
    c = Verify();
  }
  if (c != 0 && sqlite3_extended_errcode(ro) == SQLITE_READONLY_ROLLBACK) c = NoError;
  db_ = rw;
  sqlite3_close(ro);
  return c;
}

ErrorCode RecordFile::Open() {
  if (db_) return Fail(FileAlreadyOpen);
  bool marked = false;
  if (const ErrorCode c = CheckFile(&marked); c != 0) return Fail(c, decl_.fileName);
  if (!marked) {
    if (ErrorCode c = VerifyReadOnly(); c != 0) {
      // A creation cut short is no file yet: Create completes it.
      if (c == InvalidRecordDeclaration && InterruptedCreation()) c = FileNotFound;
      return Fail(c, decl_.fileName);
    }
  }
  if (const ErrorCode c = Connect(SQLITE_OPEN_READWRITE); c != 0) return Fail(c, decl_.fileName);
  // SQLite falls back to reading alone, without a word, when the file or
  // its folder is write-protected.
  if (sqlite3_db_readonly(db_, "main") != 0) {
    Close();
    return Fail(AccessDenied, decl_.fileName);
  }
  ErrorCode c;
  {
    InTurn turn(turn_);
    c = Verify();
    // A creation cut short is no file yet: Create completes it.
    if (c == InvalidRecordDeclaration && !marked && BlankDatabase(db_)) c = FileNotFound;
    if (c == 0) c = EnableWal();
    if (c == 0) c = ReindexIfOrderChanged();
    if (c == 0 && !marked) c = Exec(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
    if (c == 0) c = ProbeWrite();
  }
  if (c != 0) {
    Close();
    return Fail(c, decl_.fileName);
  }
  order_ = Order::None;
  current_ = 0;
  return Ok();
}

// Readers never hold up writers and writers never hold up readers: a
// reading may stay open while the caller talks to a device for seconds.
ErrorCode RecordFile::EnableWal() {
  Prepared q(db_, "PRAGMA journal_mode=WAL");
  const int rc = q ? sqlite3_step(q.st) : sqlite3_errcode(db_);
  if (rc != SQLITE_ROW) return MapSqlite(rc);
  const auto* mode = reinterpret_cast<const char*>(sqlite3_column_text(q.st, 0));
  // Another mode stays when the file cannot take the write-ahead log.
  return mode && std::strcmp(mode, "wal") == 0 ? NoError : AccessDenied;
}

// Rebuilds the text indexes when the file was indexed under another order
// of CZ_NOCASE than this program's.
ErrorCode RecordFile::ReindexIfOrderChanged() {
  {
    Prepared q(db_, "SELECT value FROM velorn_meta WHERE name = 'collation'");
    if (!q) return MapSqlite(sqlite3_errcode(db_));
    const int rc = sqlite3_step(q.st);
    if (rc == SQLITE_ROW) {
      const auto* v = reinterpret_cast<const char*>(sqlite3_column_text(q.st, 0));
      if (v != nullptr && std::strcmp(v, kCollationVersion) == 0) return NoError;
    } else if (rc != SQLITE_DONE) {
      return MapSqlite(rc);
    }
  }
  if (const ErrorCode c = Exec("BEGIN IMMEDIATE"); c != 0) return c;
  ErrorCode c = Exec((std::string("REINDEX ") + kCzNoCase).c_str());
  if (c == 0) {
    Prepared ins(db_, "INSERT OR REPLACE INTO velorn_meta (name, value) VALUES ('collation', ?1)");
    sqlite3_bind_text(ins.st, 1, kCollationVersion, -1, SQLITE_STATIC);
    if (const int rc = sqlite3_step(ins.st); rc != SQLITE_DONE) c = MapSqlite(rc);
  }
  if (c != 0) {
    Exec("ROLLBACK");
    return c;
  }
  return Exec("COMMIT");
}

// An open asks for writing: it is refused while another connection writes
// the file (after the lock-recovery time), as any write would be.
ErrorCode RecordFile::ProbeWrite() {
  if (const ErrorCode c = Exec("BEGIN IMMEDIATE"); c != 0) return c;
  return Exec("ROLLBACK");
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

// Puts the tables, the indexes, the mark and the layout into a database
// without tables, in one transaction, then switches it to the write-ahead
// log (which cannot change inside a transaction). A database that got
// tables meanwhile is left to Verify.
ErrorCode RecordFile::InstallSchema() {
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
    if (f.IsText() && noCase) sql += std::string(" COLLATE ") + kCzNoCase;
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
  sql += "PRAGMA application_id = " + std::to_string(kApplicationId) + ";";
  if (const ErrorCode c = Exec("BEGIN EXCLUSIVE"); c != 0) return c;
  ErrorCode c = NoError;
  {
    Prepared q(db_, "SELECT count(*) FROM sqlite_master");
    if (!q || sqlite3_step(q.st) != SQLITE_ROW) c = MapSqlite(sqlite3_errcode(db_));
    else if (sqlite3_column_int64(q.st, 0) != 0) c = InvalidRecordDeclaration;  // not blank: Verify decides
  }
  if (c == 0) c = Exec(sql.c_str());
  if (c == 0) {
    Prepared ins(db_, "INSERT OR IGNORE INTO velorn_meta (name, value) VALUES (?1, ?2)");
    const std::string sig = decl_.Signature();
    const std::pair<const char*, std::string> rows[] = {
        {"format", kFormat}, {"label", decl_.label}, {"layout", sig}, {"collation", kCollationVersion}};
    for (const auto& [n, v] : rows) {
      sqlite3_reset(ins.st);
      sqlite3_bind_text(ins.st, 1, n, -1, SQLITE_STATIC);
      sqlite3_bind_text(ins.st, 2, v.c_str(), -1, SQLITE_TRANSIENT);
      if (const int rc = sqlite3_step(ins.st); rc != SQLITE_DONE) c = MapSqlite(rc);
    }
  }
  if (c == InvalidRecordDeclaration) {
    Exec("ROLLBACK");
    return NoError;
  }
  if (c != 0) {
    Exec("ROLLBACK");
    return c;
  }
  if (const ErrorCode done = Exec("COMMIT"); done != 0) return done;
  return EnableWal();
}

// The file is a blank database, looked at through a read-only connection
// that never checkpoints.
bool RecordFile::InterruptedCreation() {
  sqlite3* ro = nullptr;
  bool blank = false;
  if (sqlite3_open_v2(decl_.fileName.c_str(), &ro, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK) {
    sqlite3_db_config(ro, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_busy_timeout(ro, BusyWait());
    blank = BlankDatabase(ro);
  }
  sqlite3_close(ro);
  return blank;
}

namespace {

// The folder of a file name ("." for a bare name) and its last part.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// The creation of the files of one folder, one process at a time (a flock
// on the folder: it touches no lock of the record files themselves).
class FolderCreationLock {
 public:
  explicit FolderCreationLock(const std::string& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0)
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~FolderCreationLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderCreationLock(const FolderCreationLock&) = delete;
  FolderCreationLock& operator=(const FolderCreationLock&) = delete;
  // Makes the folder's entries written so far durable.
  bool Sync() const { return fd_ < 0 || ::fsync(fd_) == 0; }

 private:
  const int fd_;
};

void RemoveWithCompanions(const std::string& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
}

// The file a name ends at through its links (a dangling link names the file
// to make), so that a creation leaves a link a link.
std::string LinkTarget(const std::string& name) {
  std::string path = name;
  for (int hop = 0; hop < 16; ++hop) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    if (n <= 0 || static_cast<size_t>(n) == sizeof buf) break;
    std::string to(buf, static_cast<size_t>(n));
    if (to.front() != '/') to = SplitPath(path).first + "/" + to;
    path = to;
  }
  return path;
}

// Moves the complete file to its name: over an empty file that stands
// there, else only while the name is free (a link where the file system
// cannot refuse a rename over a name).
ErrorCode PutInPlace(const std::string& temp, const std::string& name, bool overEmpty) {
  if (overEmpty) return ::rename(temp.c_str(), name.c_str()) == 0 ? NoError : AccessDenied;
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) return NoError;
  if (errno == EINVAL && ::link(temp.c_str(), name.c_str()) == 0) {
    ::unlink(temp.c_str());
    return NoError;
  }
  // Made meanwhile by someone who does not take the folder's lock: theirs
  // stays, and the open that follows judges it.
  return errno == EEXIST ? NoError : errno == ENOSPC ? FileSystemError : AccessDenied;
}

}  // namespace

// The file complete on a temporary name beside it (a leftover of a creation
// cut short is removed first), then renamed into place while the name is
// still missing or empty.
ErrorCode RecordFile::CreateWhole() {
  const std::string target = LinkTarget(decl_.fileName);
  const auto [folder, base] = SplitPath(target);
  const std::string temp = (folder == "." ? std::string() : folder + "/") + "." + base + ".new";
  FolderCreationLock creating(folder);
  // Another process may have made the file meanwhile.
  bool marked = false;
  if (const ErrorCode c = CheckFile(&marked); c != FileNotFound) return c;
  // An empty file there gives the new one its mode and owner.
  struct stat empty {};
  const bool overEmpty = ::stat(target.c_str(), &empty) == 0;
  RemoveWithCompanions(temp);
  ErrorCode c = Connect(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, temp);
  if (c == 0) {
    InTurn turn(turn_);
    c = InstallSchema();
    if (c == 0) c = Verify();
  }
  Close();
  // The last close folds the log back into the file and removes it: a log
  // left over holds what the file lacks.
  struct stat st {};
  if (c == 0 && ::stat((temp + "-wal").c_str(), &st) == 0) c = FileSystemError;
  if (c == 0 && overEmpty &&
      (::chmod(temp.c_str(), empty.st_mode & 07777) != 0 || ::chown(temp.c_str(), empty.st_uid, empty.st_gid) != 0))
    c = AccessDenied;
  if (c == 0) {
    // A log or journal left beside a missing or empty file belongs to no
    // file now; SQLite would replay it into the new one.
    ::unlink((target + "-journal").c_str());
    ::unlink((target + "-wal").c_str());
    c = PutInPlace(temp, target, overEmpty);
  }
  if (c == 0 && !creating.Sync()) c = FileSystemError;
  if (c != 0) RemoveWithCompanions(temp);
  return c;
}

ErrorCode RecordFile::Create() {
  if (db_) return Fail(FileAlreadyOpen);
  bool marked = false;
  const ErrorCode check = CheckFile(&marked);
  if (check != 0 && check != FileNotFound) return Fail(check, decl_.fileName);
  if (check == FileNotFound) {
    const ErrorCode c = CreateWhole();
    return c == 0 ? Ok() : Fail(c, decl_.fileName);
  }
  // An SQLite database already: ours is left as it is, a creation cut short
  // is completed in place, another is refused.
  ErrorCode v = marked ? NoError : VerifyReadOnly();
  if (v == 0 || (v == InvalidRecordDeclaration && InterruptedCreation())) {
    v = Connect(SQLITE_OPEN_READWRITE);
    if (v == 0) {
      InTurn turn(turn_);
      v = Verify();
      if (v == InvalidRecordDeclaration && !marked && BlankDatabase(db_)) {
        v = InstallSchema();
        if (v == 0) v = Verify();
      }
    }
    Close();
  }
  return v == 0 ? Ok() : Fail(v, decl_.fileName);
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

void RecordFile::Close() {
  EndReading();
  if (logout_) {
    for (auto& [sql, st] : cache_) sqlite3_reset(st);
    Exec("ROLLBACK");
    logout_ = false;
  }
  for (auto& [sql, st] : cache_) sqlite3_finalize(st);
  cache_.clear();
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  turn_.reset();
  order_ = Order::None;
  current_ = 0;
}

ErrorCode RecordFile::Send(std::string_view option) {
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
  EndRun();
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

void RecordFile::EndRun() {
  if (!run_) return;
  sqlite3_reset(run_);
  run_ = nullptr;
  met_.insert(metInRun_.begin(), metInRun_.end());
  metInRun_.clear();
}

void RecordFile::EndReading() {
  EndRun();
  std::unordered_set<int64_t>().swap(met_);
  std::vector<int64_t>().swap(metInRun_);
}

ErrorCode RecordFile::SetFileOrder() {
  EndReading();
  order_ = Order::None;
  if (!db_) return Fail(FileNotOpen);
  order_ = Order::File;
  key_ = -1;
  started_ = false;
  keyColumns_.clear();
  return Ok();
}

ErrorCode RecordFile::SetKeyOrder(int key) {
  EndReading();
  order_ = Order::None;
  if (!db_) return Fail(FileNotOpen);
  if (key < 0 || key >= static_cast<int>(decl_.keys.size())) return Fail(CannotAccessIndex);
  order_ = Order::Key;
  key_ = key;
  started_ = false;
  keyColumns_.clear();
  // Column 0 of a row is the rowid, then the fields in declaration order.
  for (int f : decl_.keys[static_cast<size_t>(key)].fields) keyColumns_.push_back(f + 1);
  lastKeyValues_.resize(keyColumns_.size());
  return Ok();
}

ErrorCode RecordFile::SetKeyFromBuffer(int key) {
  if (const ErrorCode c = SetKeyOrder(key); c != 0) return c;
  order_ = Order::KeyFromBuffer;
  fromValues_.clear();
  for (int f : decl_.keys[static_cast<size_t>(key)].fields)
    fromValues_.push_back(ToColumn(f, decl_.fields[static_cast<size_t>(f)].get(buf_)));
  return Ok();
}

ErrorCode RecordFile::StartRun() {
  // From the start, from the buffer's key values, or after the record last
  // read (its key values as read, then its file order).
  std::string sql = "SELECT rowid, " + ColumnList() + " FROM records";
  std::vector<std::string> where;
  const std::vector<Value>* binds = nullptr;
  if (order_ == Order::File) {
    if (started_) where.push_back("rowid > ?");
  } else {
    const KeyDecl& k = decl_.keys[static_cast<size_t>(key_)];
    if (const std::string f = OptionalFilter(key_); !f.empty()) where.push_back(f);
    std::string tuple = "(";
    for (size_t i = 0; i < k.fields.size(); ++i)
      tuple += (i ? ", " : "") + Quote(decl_.fields[static_cast<size_t>(k.fields[i])].name);
    std::string marks;
    for (size_t i = 0; i < k.fields.size(); ++i) marks += (i ? ", ?" : "?");
    if (started_) {
      where.push_back(tuple + ", rowid) > (" + marks + ", ?)");
      binds = &lastKeyValues_;
    } else if (order_ == Order::KeyFromBuffer) {
      where.push_back(tuple + ") >= (" + marks + ")");
      binds = &fromValues_;
    }
  }
  for (size_t i = 0; i < where.size(); ++i) sql += (i ? " AND " : " WHERE ") + where[i];
  sql += " ORDER BY " + (order_ == Order::File ? std::string("rowid") : KeyOrderBy(key_));

  sqlite3_stmt* st = Cached(sql);
  if (!st) return Fail(MapSqlite(sqlite3_errcode(db_)), sqlite3_errmsg(db_));
  int pos = 1;
  if (binds)
    for (const Value& v : *binds) BindField(st, pos++, -1, v);
  if (started_) sqlite3_bind_int64(st, pos, lastRowid_);
  run_ = st;
  return NoError;
}

ErrorCode RecordFile::Next() {
  if (!db_) return Fail(FileNotOpen);
  if (order_ == Order::None) return Fail(RecordNotAvailable);
  if (!run_) {
    if (const ErrorCode c = StartRun(); c != 0) return c;
  }
  for (;;) {
    const int rc = sqlite3_step(run_);
    if (rc != SQLITE_ROW) {
      if (rc == SQLITE_DONE) {
        EndReading();
        return Fail(RecordNotAvailable);
      }
      const std::string detail = sqlite3_errmsg(db_);
      EndRun();
      return Fail(MapSqlite(rc), detail);
    }
    const int64_t row = sqlite3_column_int64(run_, 0);
    // A record rewritten to a later key value is met once only.
    if (!met_.empty() && met_.count(row) != 0) continue;
    metInRun_.push_back(row);
    started_ = true;
    lastRowid_ = row;
    for (size_t i = 0; i < keyColumns_.size(); ++i) {
      const int col = keyColumns_[i];
      Value& v = lastKeyValues_[i];
      if (sqlite3_column_type(run_, col) == SQLITE_TEXT) {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(run_, col));
        const size_t n = static_cast<size_t>(sqlite3_column_bytes(run_, col));
        if (auto* text = std::get_if<std::string>(&v)) text->assign(t ? t : "", n);
        else v = std::string(t ? t : "", n);
      } else {
        v = static_cast<int64_t>(sqlite3_column_int64(run_, col));
      }
    }
    ReadRow(run_);
    current_ = row;
    return Ok();
  }
}

ErrorCode RecordFile::PrimeAutoNumber() {
  if (autoKey_ < 0) return Ok();
  if (!db_) return Fail(FileNotOpen);
  EndRun();
  const int f = decl_.keys[static_cast<size_t>(autoKey_)].fields[0];
  const FieldDecl& fd = decl_.fields[static_cast<size_t>(f)];
  Prepared q(db_, "SELECT COALESCE(MAX(" + Quote(fd.name) + "), 0) + 1 FROM records");
  const int rc = q ? sqlite3_step(q.st) : sqlite3_errcode(db_);
  if (rc != SQLITE_ROW) return Fail(MapSqlite(rc));
  primedNumber_ = sqlite3_column_int64(q.st, 0);
  fd.set(buf_, primedNumber_);
  return Ok();
}

ErrorCode RecordFile::Add() {
  if (!db_) return Fail(FileNotOpen);
  EndRun();
  // Inside a transaction of Logout this connection holds the file already.
  InTurn turn(logout_ ? nullptr : turn_);
  if (!logout_) {
    if (const ErrorCode c = Exec("BEGIN IMMEDIATE"); c != 0) return Fail(c);
  }
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
    // Inside a transaction only the failed statement is undone.
    const std::string detail = sqlite3_errmsg(db_);
    if (!logout_) Exec("ROLLBACK");
    return Fail(MapSqlite(rc), detail);
  }
  const int64_t row = sqlite3_last_insert_rowid(db_);
  if (!logout_) {
    if (const ErrorCode c = Exec("COMMIT"); c != 0) {
      Exec("ROLLBACK");
      return Fail(c);
    }
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

ErrorCode RecordFile::Put() {
  if (!db_) return Fail(FileNotOpen);
  if (current_ == 0) return Fail(RecordNotAvailable);
  EndRun();
  InTurn turn(logout_ ? nullptr : turn_);
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

ErrorCode RecordFile::Delete() {
  if (!db_) return Fail(FileNotOpen);
  if (current_ == 0) return Fail(RecordNotAvailable);
  EndRun();
  InTurn turn(logout_ ? nullptr : turn_);
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

ErrorCode RecordFile::Logout() {
  if (!db_) return Fail(FileNotOpen);
  if (logout_) return Fail(LogoutActive);
  EndRun();
  InTurn turn(turn_);
  if (const ErrorCode c = Exec("BEGIN IMMEDIATE"); c != 0) return Fail(c, sqlite3_errmsg(db_));
  logout_ = true;
  return Ok();
}

ErrorCode RecordFile::Commit() {
  if (!db_) return Fail(FileNotOpen);
  if (!logout_) return Fail(LogoutNotActive);
  EndRun();
  logout_ = false;
  if (const ErrorCode c = Exec("COMMIT"); c != 0) {
    const std::string detail = sqlite3_errmsg(db_);
    if (!sqlite3_get_autocommit(db_)) Exec("ROLLBACK");
    return Fail(c, detail);
  }
  return Ok();
}

ErrorCode RecordFile::Rollback() {
  if (!db_) return Fail(FileNotOpen);
  if (!logout_) return Fail(LogoutNotActive);
  EndRun();
  logout_ = false;
  if (!sqlite3_get_autocommit(db_)) {
    if (const ErrorCode c = Exec("ROLLBACK"); c != 0) return Fail(c, sqlite3_errmsg(db_));
  }
  return Ok();
}

void RecordFile::ClearBuffer() {
  for (const auto& f : decl_.fields) {
    if (f.IsText()) f.set(buf_, std::string());
    else f.set(buf_, int64_t{0});
  }
}

}  // namespace platform::rec
