#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

// A folder that only we can write: ours, a real folder (not a link), and
// without write bits for group and others.
bool PrivateFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string EnsureSub(const std::string& base) {
  if (base.empty() || !PrivateFolder(base)) return {};
  const std::string dir = base + "/velorn";
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  return PrivateFolder(dir) ? dir : std::string();
}

uint64_t Fnv1a(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

std::string RuntimeDir() {
  if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) {
    if (std::string d = EnsureSub(x); !d.empty()) return d;
  }
  if (::geteuid() == 0) return EnsureSub("/run");
  return {};
}

std::string LockFileName(const std::string& mutexName, const std::string& canonicalFolder) {
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(canonicalFolder)));
  return mutexName + "-" + hash + ".lock";
}

MutexResult CreateInstanceMutex(const std::string& mutexName, const std::string& canonicalFolder) {
  const std::string dir = RuntimeDir();
  if (dir.empty()) return {0, EACCES};
  const std::string path = dir + "/" + LockFileName(mutexName, canonicalFolder);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
  if (fd < 0) return {0, errno};
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return {fd, kErrorAlreadyExists};
    const int e = errno;
    ::close(fd);
    return {0, e};
  }
  return {fd, 0};
}

void ReleaseInstanceMutex(long handle) {
  if (handle > 0) ::flock(static_cast<int>(handle), LOCK_UN);
}

void CloseInstanceMutex(long handle) {
  if (handle > 0) ::close(static_cast<int>(handle));
}

}  // namespace platform
