#include "platform/linefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fsutil.h"
#include "platform/locale_texts.h"
#include "platform/text.h"

namespace platform {

namespace {
constexpr int kLockAttempts = 10;
constexpr useconds_t kLockPauseMicros = 50000;
}  // namespace

int LineFile::Open(bool denyWrite) {
  if (fd_ >= 0) return locale::FileAlreadyOpen;
  const int fd = ::open(name_.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return ErrnoToCode(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return locale::AccessDenied;
  }
  if (denyWrite) {
    // Another writer holds the file only for one line; one that holds it
    // longer makes this open fail instead of freezing the caller.
    int rc = -1;
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
      rc = ::flock(fd, LOCK_EX | LOCK_NB);
      if (rc == 0 || errno != EWOULDBLOCK) break;
      ::usleep(kLockPauseMicros);
    }
    if (rc != 0) {
      const int e = errno;
      ::close(fd);
      return e == EWOULDBLOCK ? locale::AccessDenied : ErrnoToCode(e);
    }
  }
  fd_ = fd;
  return 0;
}

int LineFile::Create() {
  const int fd = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return errno == EEXIST ? 0 : ErrnoToCode(errno);
  ::close(fd);
  return 0;
}

void LineFile::Close() {
  if (fd_ >= 0) ::close(fd_);  // also releases the lock
  fd_ = -1;
}

int LineFile::Append(std::string_view line) {
  if (fd_ < 0) return locale::FileNotOpen;
  std::string out = text::ToCp1250(text::TrimRight(line));
  out += "\r\n";
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::write(fd_, out.data() + done, out.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoToCode(errno);
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace platform
