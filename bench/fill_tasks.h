// Tasks written straight into the table of Tasks.tps (which the record
// engine has made in the current folder), in one transaction: record by
// record a large file would take minutes. What is measured then reads
// through the record engine alone.
#pragma once

#include <sqlite3.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "platform/stdtime.h"
#include "platform/text.h"

namespace bench {

struct Task {
  int active = 1;
  platform::StdTime time = 0;
  std::string name;
  std::string outputs = "00";       // TAS:VYSTUP1_5
  platform::StdTime length = 0;     // TAS:DELKA_SOUBORU
  int autoDelete = 1;               // TAS:AUTOMATICKY_SMAZAT
};

inline int CollateCz(void*, int la, const void* a, int lb, const void* b) {
  return platform::text::CompareCzNoCase(std::string_view(static_cast<const char*>(a), static_cast<size_t>(la)),
                                         std::string_view(static_cast<const char*>(b), static_cast<size_t>(lb)));
}

// Task i (from 0) gets the number i + 1, the date 10.12.2026 and no
// weekdays; the rest comes from task(i).
inline void FillTasks(int n, const std::function<Task(int)>& task) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2("Tasks.tps", &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) std::abort();
  sqlite3_create_collation_v2(db, "CZ_NOCASE", SQLITE_UTF8, nullptr, CollateCz, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO records (\"TAS:ID\", \"TAS:AKTIVNI\", \"TAS:DATUM_SPUSTENI\", "
                     "\"TAS:CAS_SPUSTENI\", \"TAS:OPAKOVANI\", \"TAS:NAZEV\", \"TAS:VYSTUP1_5\", "
                     "\"TAS:DELKA_SOUBORU\", \"TAS:AUTOMATICKY_SMAZAT\") VALUES (?, ?, ?, ?, '00', ?, ?, ?, ?)",
                     -1, &ins, nullptr);
  const auto date = platform::PackField(platform::DateToField(platform::DateFromYmd(2026, 12, 10)));
  for (int i = 0; i < n; ++i) {
    const Task t = task(i);
    sqlite3_reset(ins);
    sqlite3_bind_int(ins, 1, i + 1);
    sqlite3_bind_int(ins, 2, t.active);
    sqlite3_bind_int64(ins, 3, date);
    sqlite3_bind_int64(ins, 4, platform::PackField(platform::TimeToField(t.time)));
    sqlite3_bind_text(ins, 5, t.name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 6, t.outputs.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(ins, 7, platform::PackField(platform::TimeToField(t.length)));
    sqlite3_bind_int(ins, 8, t.autoDelete);
    if (sqlite3_step(ins) != SQLITE_DONE) std::abort();
  }
  sqlite3_finalize(ins);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

}  // namespace bench
