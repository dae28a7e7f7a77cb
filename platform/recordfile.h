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
// Reading in key order goes on after the position of the record last read
// (its key values as read, then its file order), so a delete or a rewrite
// during a read loses nothing: records with equal key values are still met,
// and no record is met twice between two Set calls.
//
// Every operation returns a platform error code (platform/locale_texts.h),
// 0 on success, and leaves it as the thread's last error (LastError()).
//
// Errors of Open: 2 the file does not exist or has 0 bytes; 5 another
// process holds it locked (after waiting the lock-recovery time, see Send);
// 36 the file is not an SQLite database; 47 it is an SQLite database that is
// not one of ours or has another layout; 52 this instance is already open;
// 90 any other failure. Files that give 36 or 47 are never written.
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

// The thread's last error code and its text.
int LastError();
std::string LastErrorText();

// The lock-recovery unit: "Recover=N" waits N units for a locked file.
// One second unless changed (tests shorten it).
void SetLockRecoveryUnit(std::chrono::milliseconds unit);
std::chrono::milliseconds LockRecoveryUnit();

class RecordFile {
 public:
  // buffer: the record struct the fields are bound to; it must outlive this.
  RecordFile(const FileDecl& decl, void* buffer);
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  const FileDecl& Decl() const { return decl_; }
  bool IsOpen() const { return db_ != nullptr; }

  // Opens the file named in the declaration, relative to the current folder.
  int Open();
  // Makes the file on disk, empty. A file that is already one of ours is
  // left as it is (0); one that is not gives 36 or 47 and is not touched.
  int Create();
  // Closes the file; the buffer keeps its contents.
  void Close();

  // Passes an option: "Recover=N" sets the lock-recovery time of the next
  // open and of every operation to N units. Unknown options give 80.
  int Send(std::string_view option);

  // Number of records; -1 (error 37) when not open.
  int64_t Records();

  // Positioning; the next Next() starts there.
  int SetFileOrder();
  int SetKeyOrder(int key);
  // The first record whose key value is not below the key fields now in the
  // buffer, then the following ones in key order.
  int SetKeyFromBuffer(int key);

  // Reads the next record into the buffer; 33 at the end.
  int Next();

  // Stores the buffer as a new record (it becomes the current record).
  int Add();
  // Replaces the current record (the one last read or added) with the buffer.
  int Put();
  // Removes the current record; the read position stays where it was.
  int Delete();

  // Clears the buffer: texts empty, numbers, dates and times 0.
  void ClearBuffer();
  // Puts the highest value of the auto-numbered key plus one (1 in an empty
  // file) into its field. Add keeps that number unless another process has
  // taken it meanwhile, in which case the record gets the highest + 1 then.
  int PrimeAutoNumber();

  // True while a current record exists (after a read or add, until delete).
  bool HasCurrent() const { return current_ != 0; }

 private:
  friend class RecordQuery;  // views of the file (platform/recordquery.h)
  enum class Order { None, File, Key, KeyFromBuffer };

  int Fail(int code, std::string detail = {});
  int Ok();
  int CheckFile(bool forCreate);
  int Connect(int flags);
  int Verify();
  int VerifyReadOnly();
  int InstallSchema();
  std::string ColumnList() const;
  std::string KeyOrderBy(int key) const;
  std::string OptionalFilter(int key) const;
  void BindBuffer(sqlite3_stmt* st, int first) const;
  void BindField(sqlite3_stmt* st, int pos, int field, const Value& v) const;
  Value ToColumn(int field, const Value& v) const;
  void ReadRow(sqlite3_stmt* st);
  int MapSqlite(int rc) const;
  int BusyWait() const;
  int Exec(const char* sql);
  // A prepared statement kept for this connection, reset and unbound.
  sqlite3_stmt* Cached(const std::string& sql);

  const FileDecl& decl_;
  void* buf_;
  sqlite3* db_ = nullptr;
  // This process's turn on the file, shared by every instance over it.
  std::shared_ptr<std::mutex> turn_;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;
  int recover_ = 0;

  Order order_ = Order::None;
  int key_ = -1;
  bool started_ = false;
  int64_t lastRowid_ = 0;
  std::vector<Value> lastKeyValues_;  // column values of the record last read
  std::vector<Value> fromValues_;     // SetKeyFromBuffer's start values
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
