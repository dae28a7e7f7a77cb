// A Tasks.tps filled fast for the benchmarks: the table is written directly
// in one transaction (record by record it would take minutes); what is
// measured goes through the record file alone.
#pragma once

#include <sqlite3.h>

#include <cstdlib>
#include <random>
#include <string>

#include "platform/cz_collation.h"
#include "platform/stdtime.h"

namespace benchfill {

// Adds n tasks to the Tasks.tps the record file made in the current folder:
// the first `due` of them active at 10-second steps after `from`, the rest
// spread over the day outside [from, until], a tenth of those inactive.
inline void FillTasks(int n, int due, platform::StdTime from, platform::StdTime until) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2("Tasks.tps", &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) std::abort();
  sqlite3_create_collation_v2(db, platform::rec::kCzNoCase, SQLITE_UTF8, nullptr, platform::rec::CollateCzNoCase,
                              nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO records (\"TAS:ID\", \"TAS:AKTIVNI\", \"TAS:DATUM_SPUSTENI\", "
                     "\"TAS:CAS_SPUSTENI\", \"TAS:OPAKOVANI\", \"TAS:NAZEV\", \"TAS:VYSTUP1_5\", "
                     "\"TAS:AUTOMATICKY_SMAZAT\") VALUES (?, ?, ?, ?, '00', ?, '00', 1)",
                     -1, &ins, nullptr);
  std::mt19937 rng(42);
  std::uniform_int_distribution<int32_t> time(1, platform::kLastTime);
  const auto today = platform::PackField(platform::DateToField(platform::DateFromYmd(2026, 12, 10)));
  for (int i = 0; i < n; ++i) {
    int32_t c = from + 1000 * (i + 1);
    int active = 1;
    if (i >= due) {
      do c = time(rng);
      while (c > from && c <= until);
      active = (i % 10 == 0) ? 0 : 1;
    }
    const std::string name = "Úloha " + std::to_string(i + 1);
    sqlite3_reset(ins);
    sqlite3_bind_int(ins, 1, i + 1);
    sqlite3_bind_int(ins, 2, active);
    sqlite3_bind_int64(ins, 3, today);
    sqlite3_bind_int64(ins, 4, platform::PackField(platform::TimeToField(c)));
    sqlite3_bind_text(ins, 5, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(ins) != SQLITE_DONE) std::abort();
  }
  sqlite3_finalize(ins);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

}  // namespace benchfill
