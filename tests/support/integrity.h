// A record file checked as another reader would check it.
#pragma once

#include <string>

namespace testsupport {

// PRAGMA integrity_check of one file through a read-only connection with the
// program's Czech collation (the plain sqlite3 tool cannot check the indexes
// that use it): "ok", or what SQLite found.
std::string IntegrityCheck(const std::string& file);

}  // namespace testsupport
