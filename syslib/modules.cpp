#include "syslib/modules.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

#include "platform/fsutil.h"
#include "platform/carried.h"
#include "platform/icons.h"
#include "syslib/dllhelp.h"
#include "syslib/version.h"
#include "syslib/win32error.h"
#include "syslib/wtsapi.h"

namespace syslib {
namespace {

constexpr uint32_t kInvalidHandle = 6;          // ERROR_INVALID_HANDLE
constexpr uint32_t kInvalidData = 13;           // ERROR_INVALID_DATA
constexpr uint32_t kNoSuchModule = 126;         // ERROR_MOD_NOT_FOUND
constexpr uint32_t kNoSuchProc = 127;           // ERROR_PROC_NOT_FOUND
constexpr uint32_t kResourceNameNotFound = 1814;
constexpr off_t kMaxIconFile = 4 << 20;

struct Export {
  std::string_view name;
  FARPROC address;
};

template <class F>
FARPROC Address(F f) {
  return reinterpret_cast<FARPROC>(f);
}

struct BuiltIn {
  std::string_view name;  // without ".dll"
  std::vector<Export> exports;
};

const std::vector<BuiltIn>& BuiltIns() {
  static const std::vector<BuiltIn> modules = {
      {"wtsapi32",
       {{"WTSRegisterSessionNotification", Address(&WTSRegisterSessionNotification)},
        {"WTSUnRegisterSessionNotification", Address(&WTSUnRegisterSessionNotification)}}},
      {"shell32", {{"DllGetVersion", Address(&Shell32DllGetVersion)}}},
      {"version",
       {{"GetFileVersionInfoSizeA", Address(&GetFileVersionInfoSizeA)},
        {"GetFileVersionInfoA", Address(&GetFileVersionInfoA)},
        {"VerQueryValueA", Address(&VerQueryValueA)}}},
  };
  return modules;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

// A module's name as modules are known by: lower case, without ".dll".
std::string ModuleKey(std::string_view name) {
  std::string key = LowerText(name);
  if (key.size() > 4 && key.ends_with(".dll")) key.resize(key.size() - 4);
  return key;
}

const BuiltIn* FindBuiltIn(const std::string& key) {
  for (const BuiltIn& b : BuiltIns())
    if (b.name == key) return &b;
  return nullptr;
}

struct Loaded {
  std::string key;
  const BuiltIn* builtIn = nullptr;
  void* dl = nullptr;
  int loads = 0;
};

struct Tables {
  std::mutex mutex;
  std::map<HMODULE, Loaded> modules;
  HMODULE next = kProgramModule + 1;
};

Tables& T() {
  static auto* t = new Tables;  // outlives every thread
  return *t;
}

std::atomic<uint64_t> gLoadCalls{0};

std::string ProgramKey() {
  const std::string path = platform::ExecutablePath();
  const std::size_t cut = path.find_last_of('/');
  return ModuleKey(cut == std::string::npos ? path : path.substr(cut + 1));
}

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// An icon file: reserved 0, type 1, at least one image, every image within.
bool IsIcon(std::span<const unsigned char> b) {
  if (b.size() < 6 || Le16(b.data()) != 0 || Le16(b.data() + 2) != 1) return false;
  const std::size_t count = Le16(b.data() + 4);
  if (count == 0 || b.size() < 6 + 16 * count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* e = b.data() + 6 + 16 * i;
    const uint64_t size = Le32(e + 8), offset = Le32(e + 12);
    if (size == 0 || offset + size > b.size()) return false;
  }
  return true;
}

bool ReadIconFile(const std::string& name, std::vector<unsigned char>& out) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (!ok) SetLastErrorFromErrno(errno);
  else if (!S_ISREG(st.st_mode)) {
    SetLastErrorFromErrno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    ok = false;
  } else if (st.st_size > kMaxIconFile) {
    SetLastError(kInvalidData);
    ok = false;
  }
  if (ok) {
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (ok && done < out.size()) {
      const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        SetLastErrorFromErrno(n < 0 ? errno : EIO);
        ok = false;
      } else {
        done += static_cast<std::size_t>(n);
      }
    }
  }
  ::close(fd);
  return ok;
}

// The carried file whose resource name (first "." made "_") is name.
const platform::CarriedFile* CarriedResource(std::string_view name) {
  const std::string want = LowerText(name);
  for (const platform::CarriedFile& f : platform::CarriedFiles()) {
    std::string res = LowerText(f.name);
    if (const std::size_t dot = res.find('.'); dot != std::string::npos) res[dot] = '_';
    if (res == want) return &f;
  }
  return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(std::string_view name) {
  ++gLoadCalls;
  const std::string key = ModuleKey(name);
  Tables& t = T();
  std::lock_guard lock(t.mutex);
  for (auto& [handle, m] : t.modules)
    if (m.key == key) {
      ++m.loads;
      return handle;
    }
  Loaded m;
  m.key = key;
  m.builtIn = FindBuiltIn(key);
  if (m.builtIn == nullptr) {
    const std::string file(name);
    if (!file.empty()) m.dl = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m.dl == nullptr) {
      SetLastError(kNoSuchModule);
      return 0;
    }
  }
  m.loads = 1;
  const HMODULE handle = t.next++;
  t.modules.emplace(handle, std::move(m));
  return handle;
}

FARPROC GetProcAddress(HMODULE module, std::string_view name) {
  Tables& t = T();
  std::lock_guard lock(t.mutex);
  auto it = t.modules.find(module);
  if (it == t.modules.end()) {
    SetLastError(module == kProgramModule ? kNoSuchProc : kInvalidHandle);
    return 0;
  }
  FARPROC address = 0;
  if (const BuiltIn* b = it->second.builtIn) {
    for (const Export& e : b->exports)
      if (e.name == name) address = e.address;
  } else if (!name.empty()) {
    address = reinterpret_cast<FARPROC>(::dlsym(it->second.dl, std::string(name).c_str()));
  }
  if (address == 0) SetLastError(kNoSuchProc);
  return address;
}

bool FreeLibrary(HMODULE module) {
  Tables& t = T();
  std::lock_guard lock(t.mutex);
  auto it = t.modules.find(module);
  if (it == t.modules.end()) {
    SetLastError(kInvalidHandle);
    return false;
  }
  if (--it->second.loads > 0) return true;
  if (it->second.dl != nullptr) ::dlclose(it->second.dl);
  t.modules.erase(it);
  return true;
}

HMODULE GetModuleHandleA(const std::string* name) {
  if (name == nullptr) return kProgramModule;
  const std::string key = ModuleKey(*name);
  if (!key.empty() && key == ProgramKey()) return kProgramModule;
  Tables& t = T();
  std::lock_guard lock(t.mutex);
  for (const auto& [handle, m] : t.modules)
    if (m.key == key) return handle;
  SetLastError(kNoSuchModule);
  return 0;
}

uint64_t LoadLibraryCalls() { return gLoadCalls.load(); }

HICON LoadImageA(HMODULE module, std::string_view name, uint32_t type, int /*cx*/, int /*cy*/, uint32_t flags) {
  if (type != IMAGE_ICON) {
    SetLastError(kInvalidData);
    return 0;
  }
  if ((flags & LR_LOADFROMFILE) != 0) {
    std::vector<unsigned char> bytes;
    if (name.empty()) {
      SetLastErrorFromErrno(ENOENT);
      return 0;
    }
    if (!ReadIconFile(std::string(name), bytes)) return 0;
    if (!IsIcon(bytes)) {
      SetLastError(kInvalidData);
      return 0;
    }
    return platform::ui::KeepIcon(std::string(name), std::move(bytes));
  }
  const platform::CarriedFile* f = module == kProgramModule ? CarriedResource(name) : nullptr;
  if (f == nullptr) {
    SetLastError(kResourceNameNotFound);
    return 0;
  }
  const std::span<const unsigned char> bytes(f->data, f->size);
  if (!IsIcon(bytes)) {
    SetLastError(kInvalidData);
    return 0;
  }
  return platform::ui::KeepCarriedIcon(std::string(name), bytes);
}

}  // namespace syslib
