// LibraryLock: the library-wide re-entrant lock that the hook and
// the event logger take. It exists from its first use to
// the end of the program.
#pragma once

#include <mutex>

namespace syslib {

std::recursive_mutex& LibraryLock();

}  // namespace syslib
