#include "platform/fsutil.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/locale_texts.h"

namespace platform {

std::string CurrentDir() {
  std::unique_ptr<char, decltype(&free)> p(getcwd(nullptr, 0), &free);
  return p ? std::string(p.get()) : std::string();
}

bool ChangeDir(const std::string& path) { return !path.empty() && ::chdir(path.c_str()) == 0; }

std::string ShortPath(const std::string& path) {
  const std::string target = path.empty() ? std::string(".") : path;
  std::unique_ptr<char, decltype(&free)> p(realpath(target.c_str(), nullptr), &free);
  return p ? std::string(p.get()) : std::string();
}

std::string ExecutablePath() {
  char buf[PATH_MAX + 1];
  const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

int ErrnoToCode(int err) {
  using namespace platform::locale;
  switch (err) {
    case 0: return NoError;
    case ENOENT: return FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG: return PathNotFound;
    case EMFILE:
    case ENFILE: return TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ELOOP: return AccessDenied;
    case ENOMEM: return NoMemory;
    case ENODEV:
    case ENXIO: return BadDrive;
    case EBUSY:
    case EWOULDBLOCK: return SharingViolation;
    default: return FileSystemError;
  }
}

}  // namespace platform
