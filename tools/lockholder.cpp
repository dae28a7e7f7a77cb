// Test helper: holds a lock for another process until its standard input
// closes.
//   velorn_lockholder record FILE    an exclusive lock on a record file
// Prints "held" once the lock is taken.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "record") != 0) {
    std::fprintf(stderr, "usage: velorn_lockholder record FILE\n");
    return 2;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "lockholder: %s\n", sqlite3_errmsg(db));
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  char c;
  while (::read(0, &c, 1) > 0) {
  }
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return 0;
}
