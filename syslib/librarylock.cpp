#include "syslib/librarylock.h"

namespace syslib {

std::recursive_mutex& LibraryLock() {
  // Never destroyed: a thread may still log while static objects are torn down.
  static auto* lock = new std::recursive_mutex;
  return *lock;
}

}  // namespace syslib
