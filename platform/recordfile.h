// Keyed record files on SQLite.
//
// A record file is one SQLite database holding one table of fixed-layout
// records and one index per key. A program declares each file once
// (FileDecl: fields bound to the members of a record struct, keys with their
// attributes) and every thread makes its own RecordFile instances over it:
// an instance owns its record buffer (the struct), its connection, its
// position and its open state. Only the file on disk is shared.
//
// Field kinds and how the buffer holds them:
//   Byte, Long      integer members (uint8_t, int32_t)
//   Date, Time      standard dates and times (platform/stdtime.h); the file
//                   keeps the 4-byte DATE and TIME forms, converted on every
//                   read and write
//   String(n)       std::string, UTF-8; written cut to n characters, with
//                   what Windows-1250 cannot hold turned into '?'; read
//                   back without trailing blanks
//   CString(n)      as String, at most n-1 characters, kept as written
//
// Keys: ascending; unique keys refuse duplicates (error 40, nothing
// changed); case-insensitive keys compare text in Czech order
// (text::CompareCzNoCase); optional keys leave out records whose key fields
// are all empty (blank text, zero numbers, no date, no time); ties break by
// file order (the order records were added in).
//
// A reading starts at a Set call and ends at the end of the file (33), the
// next Set call or Close. It steps one statement inside one read transaction, so a
// record costs what SQLite costs; the read transaction ends at every write,
// transaction call, Records or PrimeAutoNumber of this instance, and the
// reading then goes on in a new one after the position of the record last
// read (its key values as read, then its file order). So a delete or a
// rewrite during a reading loses nothing: records with equal key values are
// still met, and no record is met twice in one reading. Between those points
// a reading sees the file as it was when its read transaction began; what
// other instances write meanwhile is seen from the next one on. The files
// keep a write-ahead log: an open reading never holds up a writer (of this
// process or another) and a writer never holds up a reading, however long
// the caller takes between two Next calls.
//
// Results: every call that can fail returns an ErrorCode (the platform's
// error codes, platform/locale_texts.h; NoError is 0) and leaves it as the
// calling thread's last error (LastError). Codes common to all calls: 37
// FileNotOpen when the instance is not open, 5 AccessDenied when another
// connection holds the file for longer than the lock-recovery time (see
// Send), 8 NoMemory, 36 InvalidDataFile for a damaged file, 90
// FileSystemError for any other failure of the system (a full disk, an I/O
// error). Each call below lists its own.
//
// Threads: an instance is used by one thread at a time; instances over the
// same file on different threads or in different processes work side by
// side.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

#include "platform/locale_texts.h"

struct sqlite3;
struct sqlite3_stmt;

namespace platform::rec {

enum class FieldType : uint8_t { Byte, Long, Date, Time, String, CString };

using Value = std::variant<int64_t, std::string>;

struct FieldDecl {
  std::string name;  // "TAS:NAZEV"; also the column's name
  FieldType type = FieldType::Long;
  int size = 0;      // n of String(n) / CString(n)
  int offset = 0;    // byte offset in the record layout
  std::function<Value(const void*)> get;
  std::function<void(void*, const Value&)> set;

  int Bytes() const;  // 1 for Byte, 4 for Long/Date/Time, n for texts
  bool IsText() const { return type == FieldType::String || type == FieldType::CString; }
};

// Binds a field to a member of the record struct R.
template <class R, class M>
FieldDecl Field(std::string name, FieldType type, int offset, M R::*member, int size = 0) {
  FieldDecl f;
  f.name = std::move(name);
  f.type = type;
  f.size = size;
  f.offset = offset;
  f.get = [member](const void* r) -> Value {
    const M& m = static_cast<const R*>(r)->*member;
    if constexpr (std::is_same_v<M, std::string>) return m;
    else return static_cast<int64_t>(m);
  };
  f.set = [member](void* r, const Value& v) {
    M& m = static_cast<R*>(r)->*member;
    if constexpr (std::is_same_v<M, std::string>) m = std::get<std::string>(v);
    else m = static_cast<M>(std::get<int64_t>(v));
  };
  return f;
}

struct KeyDecl {
  std::string name;          // "TAS:KeyAkt_Cas"
  std::vector<int> fields;   // indexes into FileDecl::fields
  bool unique = false;
  bool primary = false;
  bool autoNumber = false;   // single-field key numbered by PrimeAutoNumber
  bool noCase = false;
  bool optional = false;
};

struct FileDecl {
  std::string label;     // "TASKS"
  std::string fileName;  // "Tasks.tps", relative to the current folder at open
  int recordBytes = 0;
  std::vector<FieldDecl> fields;
  std::vector<KeyDecl> keys;

  int FieldIndex(std::string_view name) const;  // -1 when absent
  int KeyIndex(std::string_view name) const;    // -1 when absent
  // The layout as text, kept in every file to recognise it.
  std::string Signature() const;
};

using ErrorCode = platform::locale::ErrorCode;

// The calling thread's last error code (0 after a success) and its text
// (empty after a success).
[[nodiscard]] ErrorCode LastError();
[[nodiscard]] std::string LastErrorText();

// The lock-recovery unit: "Recover=N" waits N units for a locked file.
// One second unless changed (tests shorten it). Any thread, any time.
void SetLockRecoveryUnit(std::chrono::milliseconds unit);
[[nodiscard]] std::chrono::milliseconds LockRecoveryUnit();

// True when path names a record file that this process has a connection
// to, or that file's log or shared memory ("-wal", "-shm" beside it). Such
// a file must not be opened by anything but the record files: closing any
// descriptor of it drops every lock the process holds on it (POSIX locks
// belong to the process), and another reader would then take the file for
// unused and remove its log under the open connections. Any thread.
[[nodiscard]] bool HeldOpenHere(const std::string& path);

// Test seam for systems where a test cannot write-protect a file: while on,
// opens and creates connect as they do to a write-protected file.
void SimulateWriteProtection(bool on);

class RecordFile {
 public:
  // buffer: the record struct the fields are bound to; it must outlive this.
  // The instance starts closed.
  RecordFile(const FileDecl& decl, void* buffer);
  // Closes the file (see Close).
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  [[nodiscard]] const FileDecl& Decl() const { return decl_; }
  [[nodiscard]] bool IsOpen() const { return db_ != nullptr; }

  // Opens the file named in the declaration, relative to the current folder,
  // for reading and writing, shared with other instances and processes.
  // When: closed. Gives 52 FileAlreadyOpen when open already; 2 FileNotFound
  // when the file does not exist, has 0 bytes or is a creation cut short
  // (see Create); 3 PathNotFound when a
  // folder of its path is a file; 4 TooManyOpenFiles; 5 AccessDenied when
  // another connection writes the file (after the lock-recovery time), when
  // the name is a folder or when the file, its folder or the log beside it
  // cannot be written (the file is left as it was); 36 InvalidDataFile when
  // it is not an SQLite database; 47 InvalidRecordDeclaration when it is an
  // SQLite database that is not one of ours or has another layout. Files
  // that give 36 or 47 are never written. After a failure it stays closed.
  [[nodiscard]] ErrorCode Open();
  // Makes the file on disk, empty. When: closed. The file appears whole or
  // not at all: it is made complete (tables, mark, write-ahead log mode) on
  // a temporary name beside it and renamed into place, so a kill or a full
  // disk leaves the name missing (or empty) as it was. A file that is
  // already one of ours is left as it is (0). An SQLite file with no tables
  // at all and no application id (a creation of ours cut short by an older
  // version) is completed in place, in one transaction. Any other file that
  // is not ours gives 36 or 47 and is not touched; 5 when the folder cannot
  // be written; 52 when open. The instance stays closed.
  [[nodiscard]] ErrorCode Create();
  // Closes the file; the buffer keeps its contents. An open transaction of
  // Logout is rolled back, an open reading ended. Any time; nothing when
  // closed.
  void Close();

  // Passes an option. "Recover=N" (N decimal digits, case ignored in the
  // word) sets the lock-recovery time of the next open and of every later
  // operation to N units; 0 gives up at once. Unknown options and other
  // numbers give 80 UnsupportedFunction and change nothing. Any time.
  ErrorCode Send(std::string_view option);

  // Number of records; -1 after a failure (37 when closed). When: open.
  // Ends the read transaction of a reading (see above), not the reading.
  [[nodiscard]] int64_t Records();

  // Start a reading: in file order, in the order of key (an index into the
  // declaration's keys) from its lowest value, or in that order from the
  // first record whose key value is not below the key fields now in the
  // buffer. The next Next reads the first record. When: open; any earlier
  // reading ends. Give 37 when closed, 77 CannotAccessIndex for a key that
  // does not exist; after a failure there is no reading (Next gives 33).
  ErrorCode SetFileOrder();
  ErrorCode SetKeyOrder(int key);
  ErrorCode SetKeyFromBuffer(int key);

  // Reads the next record of the reading into the buffer; it becomes the
  // current record. When: open. Gives 33 RecordNotAvailable at the end
  // (the reading ends; a later Next goes on after the record last read,
  // in a new reading) and when no reading was started; after another
  // failure the reading stays where it was.
  [[nodiscard]] ErrorCode Next();

  // Stores the buffer as a new record, entered in every key; it becomes the
  // current record and the buffer holds what the file holds (texts cut).
  // When: open. Gives 40 DuplicateKey when a unique key has its value
  // already (nothing is stored). A reading goes on where it was.
  [[nodiscard]] ErrorCode Add();
  // Replaces the current record with the buffer, keys updated. When: open,
  // with a current record (after a Next or an Add that gave 0, not after a
  // Delete). Gives 33 without a current record, 35 RecordNotFound when the
  // record is no longer in the file, 40 as Add (nothing changed). A reading
  // goes on after the record last read, not meeting this one again.
  [[nodiscard]] ErrorCode Put();
  // Removes the current record; there is no current record afterwards.
  // When and errors as Put (but 40). A reading goes on where it was.
  [[nodiscard]] ErrorCode Delete();

  // Begins a write transaction on this instance's connection: every Add,
  // Put and Delete of this instance until Commit or Rollback joins it, and
  // none of them counts for others until the commit; a process that ends
  // meanwhile leaves none of them. When: open, without a transaction. Gives
  // 56 LogoutActive when one is active on this instance, 5 when another
  // connection writes the file (after the lock-recovery time). Meanwhile
  // other instances (on this thread too) read as before; their writes wait
  // for the lock-recovery time and then give 5.
  [[nodiscard]] ErrorCode Logout();
  // Makes the transaction's writes durable and ends it. When: during a
  // transaction. Gives 91 LogoutNotActive without one; when the commit
  // fails, the transaction is rolled back, ended, and the error returned.
  [[nodiscard]] ErrorCode Commit();
  // Undoes the transaction's writes and ends it. When: during a
  // transaction; 91 without one.
  ErrorCode Rollback();

  // Clears the buffer: texts empty, numbers, dates and times 0. Any time.
  void ClearBuffer();
  // Puts the highest value of the auto-numbered key plus one (1 in an empty
  // file) into its field; 0 and nothing done for a file without one. When:
  // open. Add keeps that number unless another process has taken it
  // meanwhile, in which case the record gets the highest + 1 then.
  ErrorCode PrimeAutoNumber();

  // True while a current record exists (after a read or add, until delete).
  [[nodiscard]] bool HasCurrent() const { return current_ != 0; }

 private:
  friend class RecordQuery;  // views of the file (platform/recordquery.h)
  enum class Order { None, File, Key, KeyFromBuffer };

  // The reading's statement: prepared when the reading starts or goes on
  // after a write, then stepped record by record inside one read
  // transaction.
  ErrorCode StartRun();
  // Ends the read transaction; the next Next goes on after the record last
  // read.
  void EndRun();
  // Ends the reading: forgets the records met.
  void EndReading();
  ErrorCode EnableWal();
  ErrorCode ProbeWrite();
  ErrorCode ReindexIfOrderChanged();

  ErrorCode Fail(ErrorCode code, std::string detail = {});
  ErrorCode Ok();
  ErrorCode CheckFile(bool* marked);
  ErrorCode Connect(int flags, const std::string& name);
  ErrorCode Connect(int flags) { return Connect(flags, decl_.fileName); }
  ErrorCode Verify();
  ErrorCode VerifyReadOnly();
  ErrorCode InstallSchema();
  bool InterruptedCreation();
  ErrorCode CreateWhole();
  std::string ColumnList() const;
  std::string KeyOrderBy(int key) const;
  std::string OptionalFilter(int key) const;
  void BindBuffer(sqlite3_stmt* st, int first) const;
  void BindField(sqlite3_stmt* st, int pos, int field, const Value& v) const;
  Value ToColumn(int field, const Value& v) const;
  void ReadRow(sqlite3_stmt* st);
  ErrorCode MapSqlite(int rc) const;
  int BusyWait() const;
  ErrorCode Exec(const char* sql);
  // A prepared statement kept for this connection, reset and unbound.
  sqlite3_stmt* Cached(const std::string& sql);

  const FileDecl& decl_;
  void* buf_;
  sqlite3* db_ = nullptr;
  // This process's turn on the file, shared by every instance over it.
  std::shared_ptr<std::mutex> turn_;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;
  int recover_ = 0;
  bool logout_ = false;  // a transaction of Logout is open

  Order order_ = Order::None;
  int key_ = -1;
  bool started_ = false;
  int64_t lastRowid_ = 0;
  std::vector<Value> lastKeyValues_;  // column values of the record last read
  std::vector<Value> fromValues_;     // SetKeyFromBuffer's start values
  std::vector<int> keyColumns_;       // the key's columns in the reading's rows
  sqlite3_stmt* run_ = nullptr;       // the reading's statement while stepped
  // Records met in this reading: those of the statement stepped now, and
  // those of earlier statements of the reading (after a write the reading
  // goes on in a new one, where a rewritten record may come again).
  std::vector<int64_t> metInRun_;
  std::unordered_set<int64_t> met_;
  int64_t current_ = 0;

  int autoKey_ = -1;
  int64_t primedNumber_ = 0;
};

// A RecordFile that owns its record struct.
template <class R>
class File : public RecordFile {
 public:
  explicit File(const FileDecl& decl) : RecordFile(decl, &rec) {}
  R rec{};
};

}  // namespace platform::rec
