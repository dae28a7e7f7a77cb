#include "tests/support/integrity.h"

#include <sqlite3.h>

#include <string_view>

#include "platform/text.h"

namespace testsupport {

std::string IntegrityCheck(const std::string& file) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_create_collation(db, "CZ_NOCASE", SQLITE_UTF8, nullptr, [](void*, int la, const void* a, int lb,
                                                                       const void* b) {
      return platform::text::CompareCzNoCase(std::string_view(static_cast<const char*>(a), static_cast<size_t>(la)),
                                             std::string_view(static_cast<const char*>(b), static_cast<size_t>(lb)));
    });
    result.clear();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK)
      while (sqlite3_step(st) == SQLITE_ROW) result += reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    else result = sqlite3_errmsg(db);
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return result;
}

}  // namespace testsupport
