#include "platform/ini.h"

// Narrow strings only: bytes pass through unconverted. The template bodies
// are compiled here rather than taken from the packaged library.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace platform {
namespace {

constexpr const char* kSectorsSection = "Sectors";
constexpr const char* kSectorsEntry = "__Dont_Touch_Me__";

// Serialises read-modify-write cycles within the process.
std::mutex g_writeMutex;
std::atomic<unsigned> g_tempCounter{0};

enum class ReadResult { kOk, kMissing, kError };

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded.
  bool Close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Reads the whole file; mode receives its permission bits.
ReadResult ReadWhole(const std::string& path, std::string& data, mode_t& mode) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::kMissing : ReadResult::kError;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::kError;
  mode = st.st_mode & 07777;
  data.clear();
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return ReadResult::kError;
    }
    data.append(buf, static_cast<size_t>(n));
  }
  return ReadResult::kOk;
}

void Configure(CSimpleIniA& ini) {
  ini.SetUnicode(false);
  ini.SetMultiKey(false);
  ini.SetMultiLine(false);
  ini.SetSpaces(false);
}

// Loads the file as it is now; a missing or unreadable file leaves ini empty.
void LoadForRead(const std::string& path, CSimpleIniA& ini) {
  Configure(ini);
  std::string data;
  mode_t mode = 0;
  if (ReadWhole(path, data, mode) == ReadResult::kOk) ini.LoadData(data);
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : (slash == 0 ? "/" : path.substr(0, slash));
  Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
}

// Replaces path with data through a temporary file beside it.
bool ReplaceFile(const std::string& path, const std::string& data, bool keepMode, mode_t mode) {
  const std::string temp = path + ".tmp." + std::to_string(::getpid()) + "." +
                           std::to_string(g_tempCounter.fetch_add(1));
  Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.get() < 0) return false;
  bool ok = (!keepMode || ::fchmod(fd.get(), mode) == 0) && WriteAll(fd.get(), data) &&
            ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  SyncFolderOf(path);
  return true;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::string_view TrimSpaces(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

}  // namespace

IniStore::IniStore(std::string fileName) : path_(std::move(fileName)) {
  std::replace(path_.begin(), path_.end(), '\\', '/');
}

void IniStore::Setup(const std::function<void(IniStore&)>& loadHook) {
  setUp_ = true;
  if (loadHook) loadHook(*this);
  const std::string list = GetString(kSectorsSection, kSectorsEntry);
  std::string_view rest = list;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    ManageSection(TrimSpaces(rest.substr(0, comma)));
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
  }
}

void IniStore::Close() {
  if (!setUp_) return;
  std::string list;
  for (const std::string& name : managed_) {
    if (!list.empty()) list += ',';
    list += name;
  }
  PutString(kSectorsSection, kSectorsEntry, list);
  setUp_ = false;
}

std::string IniStore::GetString(std::string_view section, std::string_view entry,
                                std::string_view def) const {
  CSimpleIniA ini;
  LoadForRead(path_, ini);
  const char* value = ini.GetValue(std::string(section).c_str(), std::string(entry).c_str());
  return value != nullptr ? std::string(value) : std::string(def);
}

long IniStore::GetNumber(std::string_view section, std::string_view entry) const {
  const std::string text = GetString(section, entry);
  return std::strtol(text.c_str(), nullptr, 10);
}

bool IniStore::PutString(std::string_view section, std::string_view entry,
                         std::string_view value) {
  // A line break would split the entry into lines of its own.
  if (HasLineBreak(section) || HasLineBreak(entry) || HasLineBreak(value)) return false;
  std::lock_guard lock(g_writeMutex);
  std::string data;
  mode_t mode = 0;
  const ReadResult read = ReadWhole(path_, data, mode);
  if (read == ReadResult::kError) return false;
  CSimpleIniA ini;
  Configure(ini);
  if (read == ReadResult::kOk && ini.LoadData(data) < 0) return false;
  if (ini.SetValue(std::string(section).c_str(), std::string(entry).c_str(),
                   std::string(value).c_str()) < 0) {
    return false;
  }
  std::string out;
  if (ini.Save(out) < 0) return false;
  return ReplaceFile(path_, out, read == ReadResult::kOk, mode);
}

bool IniStore::PutNumber(std::string_view section, std::string_view entry, long value) {
  return PutString(section, entry, std::to_string(value));
}

void IniStore::ManageSection(std::string_view section) {
  if (section.empty()) return;
  for (const std::string& name : managed_) {
    if (EqualsNoCase(name, section)) return;
  }
  managed_.emplace_back(section);
}

}  // namespace platform
