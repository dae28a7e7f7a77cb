// SQLite loadable extension: registers the collation CZ_NOCASE of the record
// files, so that the sqlite3 tool can check them and read them in key order:
//   sqlite3 Tasks.tps ".load /path/to/cznocase" "PRAGMA integrity_check"
#include <sqlite3ext.h>

#include "platform/cz_collation.h"

SQLITE_EXTENSION_INIT1

extern "C" __attribute__((visibility("default"))) int sqlite3_cznocase_init(sqlite3* db, char** error,
                                                                              const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  (void)error;
  return sqlite3_create_collation_v2(db, platform::rec::kCzNoCase, SQLITE_UTF8, nullptr,
                                     platform::rec::CollateCzNoCase, nullptr);
}
