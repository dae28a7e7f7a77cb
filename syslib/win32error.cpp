#include "syslib/win32error.h"

#include <locale.h>

#include <cerrno>
#include <cstring>

namespace syslib {
namespace {

constexpr uint32_t kGenFailure = 31;  // ERROR_GEN_FAILURE

struct ErrnoWin32 {
  int err;
  uint32_t code;
};

// errno -> Win32 number. The first errno listed for a number is the one whose
// text the number gives when it was not set from an errno of its own.
constexpr ErrnoWin32 kMap[] = {
    {ENOENT, 2},         // ERROR_FILE_NOT_FOUND
    {ENOTDIR, 3},        // ERROR_PATH_NOT_FOUND
    {ENAMETOOLONG, 3},
    {EMFILE, 4},         // ERROR_TOO_MANY_OPEN_FILES
    {ENFILE, 4},
    {EACCES, 5},         // ERROR_ACCESS_DENIED
    {EPERM, 5},
    {EISDIR, 5},
    {EBADF, 6},          // ERROR_INVALID_HANDLE
    {ENOMEM, 8},         // ERROR_NOT_ENOUGH_MEMORY
    {E2BIG, 10},         // ERROR_BAD_ENVIRONMENT
    {EXDEV, 17},         // ERROR_NOT_SAME_DEVICE
    {EROFS, 19},         // ERROR_WRITE_PROTECT
    {ETXTBSY, 32},       // ERROR_SHARING_VIOLATION
    {ENOTTY, 1},         // ERROR_INVALID_FUNCTION
    {ENOSYS, 50},        // ERROR_NOT_SUPPORTED
    {EOPNOTSUPP, 50},
    {ENODEV, 55},        // ERROR_DEV_NOT_EXIST
    {ECONNRESET, 64},    // ERROR_NETNAME_DELETED
    {EINVAL, 87},        // ERROR_INVALID_PARAMETER
    {EPIPE, 109},        // ERROR_BROKEN_PIPE
    {ENOSPC, 112},       // ERROR_DISK_FULL
    {EDQUOT, 112},
    {ERANGE, 122},       // ERROR_INSUFFICIENT_BUFFER
    {ECHILD, 128},       // ERROR_WAIT_NO_CHILDREN
    {ESPIPE, 132},       // ERROR_SEEK_ON_DEVICE
    {ENOTEMPTY, 145},    // ERROR_DIR_NOT_EMPTY
    {EBUSY, 170},        // ERROR_BUSY
    {EEXIST, 183},       // ERROR_ALREADY_EXISTS
    {ENOEXEC, 193},      // ERROR_BAD_EXE_FORMAT
    {EFBIG, 223},        // ERROR_FILE_TOO_LARGE
    {EFAULT, 487},       // ERROR_INVALID_ADDRESS
    {EOVERFLOW, 534},    // ERROR_ARITHMETIC_OVERFLOW
    {EINTR, 995},        // ERROR_OPERATION_ABORTED
    {EAGAIN, 997},       // ERROR_IO_PENDING
    {EINPROGRESS, 997},
    {EILSEQ, 1113},      // ERROR_NO_UNICODE_TRANSLATION
    {EIO, 1117},         // ERROR_IO_DEVICE
    {EDEADLK, 1131},     // ERROR_POSSIBLE_DEADLOCK
    {EMLINK, 1142},      // ERROR_TOO_MANY_LINKS
    {ENXIO, 1167},       // ERROR_DEVICE_NOT_CONNECTED
    {ECANCELED, 1223},   // ERROR_CANCELLED
    {ECONNREFUSED, 1225},// ERROR_CONNECTION_REFUSED
    {ENETUNREACH, 1231}, // ERROR_NETWORK_UNREACHABLE
    {EHOSTUNREACH, 1232},// ERROR_HOST_UNREACHABLE
    {ECONNABORTED, 1236},// ERROR_CONNECTION_ABORTED
    {ENOBUFS, 1450},     // ERROR_NO_SYSTEM_RESOURCES
    {ETIMEDOUT, 1460},   // ERROR_TIMEOUT
    {ELOOP, 1921},       // ERROR_CANT_RESOLVE_FILENAME
};

// Numbers that no errno stands for, with texts of our own.
struct FixedText {
  uint32_t code;
  const char* text;
};
constexpr FixedText kFixed[] = {
    {13, "Invalid data"},                  // ERROR_INVALID_DATA
    {126, "Module not found"},             // ERROR_MOD_NOT_FOUND
    {127, "Procedure not found"},          // ERROR_PROC_NOT_FOUND
    {1400, "Invalid window handle"},       // ERROR_INVALID_WINDOW_HANDLE
    {1812, "No resources in the file"},    // ERROR_RESOURCE_DATA_NOT_FOUND
    {1813, "Resource type not found"},     // ERROR_RESOURCE_TYPE_NOT_FOUND
    {1814, "Resource name not found"},     // ERROR_RESOURCE_NAME_NOT_FOUND
};

thread_local uint32_t tLastError = 0;
thread_local int tLastErrno = 0;

locale_t CLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

std::string ErrnoText(int err) {
  const locale_t loc = CLocale();
  if (loc == static_cast<locale_t>(nullptr)) return {};
  const char* s = strerror_l(err, loc);
  return s ? std::string(s) : std::string();
}

}  // namespace

uint32_t GetLastError() { return tLastError; }

void SetLastError(uint32_t code) {
  if (tLastErrno != 0 && Win32FromErrno(tLastErrno) != code) tLastErrno = 0;
  tLastError = code;
}

uint32_t Win32FromErrno(int err) {
  if (err == 0) return 0;
  for (const auto& m : kMap)
    if (m.err == err) return m.code;
  return kGenFailure;
}

uint32_t SetLastErrorFromErrno(int err) {
  tLastErrno = err;
  tLastError = Win32FromErrno(err);
  return tLastError;
}

int LastErrno() { return tLastErrno; }

std::string FormatSystemMessage(uint32_t code) {
  const int saved = errno;
  int err = -1;
  if (code == 0) {
    err = 0;
  } else if (tLastErrno != 0 && Win32FromErrno(tLastErrno) == code) {
    err = tLastErrno;
  } else {
    for (const auto& m : kMap)
      if (m.code == code) {
        err = m.err;
        break;
      }
  }
  std::string text;
  if (err < 0) {
    for (const auto& f : kFixed)
      if (f.code == code) text = std::string(f.text) + "\r\n";
  } else {
    text = ErrnoText(err);
    if (!text.empty()) text += "\r\n";
  }
  errno = saved;
  return text;
}

}  // namespace syslib
