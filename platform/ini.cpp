#include "platform/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

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

// The file as lines. Only a header line "[name]" and an entry line
// "name=value" mean anything; every other line (comments, text without "=",
// a "[" without "]") is kept as it stands and belongs to no entry.
class IniText {
 public:
  explicit IniText(std::string data) : data_(std::move(data)) { Split(); }

  const std::string& Data() const { return data_; }

  // The value of the first entry of that name in the sections of that name,
  // in file order; a NUL ends the value.
  std::optional<std::string_view> Find(std::string_view section, std::string_view entry) const {
    const Where w = Locate(section, entry);
    if (w.entry == kNone) return std::nullopt;
    const std::string_view value = ValueOf(lines_[w.entry]);
    return value.substr(0, value.find('\0'));
  }

  // Sets the entry that Find would read; else adds it after the last entry
  // of the first section of that name; else adds the section at the end.
  void Set(std::string_view section, std::string_view entry, std::string_view value) {
    const Where w = Locate(section, entry);
    if (w.entry != kNone) {
      const Line& l = lines_[w.entry];
      data_.replace(l.valueBegin, l.end - l.valueBegin, value);
    } else if (w.anchor != kNone) {
      const Line& l = lines_[w.anchor];
      const std::string_view eol = l.next > l.end ? std::string_view(data_).substr(l.end, l.next - l.end) : FileEol();
      std::string add(entry);
      add += '=';
      add += value;
      if (l.next > l.end) {
        data_.insert(l.next, add.append(eol));
      } else {
        data_.insert(l.next, std::string(eol).append(add));
      }
    } else {
      const std::string_view eol = FileEol();
      std::string add;
      if (!lines_.empty()) {
        const Line& last = lines_.back();
        if (last.next == last.end) add += eol;  // the last line has no line break
        if (!TrimSpaces(Content(last)).empty()) add += eol;
      }
      add.append("[").append(section).append("]").append(eol);
      add.append(entry).append("=").append(value).append(eol);
      data_ += add;
    }
    Split();
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  struct Line {
    size_t begin;       // first byte
    size_t end;         // end of the text, before "\r\n" or "\n"
    size_t next;        // start of the next line
    bool header;        // "[name]"
    bool entry;         // "name=value"
    std::string_view name;
    size_t valueBegin;  // entries: first byte of the value
  };

  struct Where {
    size_t entry = kNone;   // the entry line
    size_t anchor = kNone;  // the first section's last entry, or its header
  };

  std::string_view Content(const Line& l) const { return std::string_view(data_).substr(l.begin, l.end - l.begin); }
  std::string_view ValueOf(const Line& l) const {
    return TrimSpaces(std::string_view(data_).substr(l.valueBegin, l.end - l.valueBegin));
  }

  // The line break of the first line that has one; "\n" without any.
  std::string_view FileEol() const {
    for (const Line& l : lines_) {
      if (l.next > l.end) return std::string_view(data_).substr(l.end, l.next - l.end);
    }
    return "\n";
  }

  Where Locate(std::string_view section, std::string_view entry) const {
    Where w;
    bool inSection = false, firstSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
      const Line& l = lines_[i];
      if (l.header) {
        inSection = EqualsNoCase(l.name, section);
        firstSection = inSection && w.anchor == kNone;
        if (firstSection) w.anchor = i;
      } else if (inSection && l.entry && EqualsNoCase(l.name, entry)) {
        w.entry = i;
        return w;
      } else if (firstSection && l.entry) {
        w.anchor = i;
      }
    }
    return w;
  }

  void Split() {
    lines_.clear();
    const std::string_view all(data_);
    for (size_t begin = 0; begin < all.size();) {
      const size_t lf = all.find('\n', begin);
      Line l{};
      l.begin = begin;
      l.next = lf == std::string_view::npos ? all.size() : lf + 1;
      l.end = lf == std::string_view::npos ? all.size() : (lf > begin && all[lf - 1] == '\r' ? lf - 1 : lf);
      Classify(l);
      lines_.push_back(l);
      begin = l.next;
    }
  }

  void Classify(Line& l) const {
    const std::string_view text = Content(l);
    const std::string_view lead = text.substr(std::min(text.size(), text.find_first_not_of(" \t")));
    if (lead.starts_with('[')) {
      const size_t close = lead.find(']');
      if (close == std::string_view::npos) return;
      l.header = true;
      l.name = TrimSpaces(lead.substr(1, close - 1));
      return;
    }
    if (lead.starts_with(';')) return;
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) return;
    l.name = TrimSpaces(text.substr(0, eq));
    if (l.name.empty()) return;
    l.entry = true;
    const size_t value = text.find_first_not_of(" \t", eq + 1);
    l.valueBegin = l.begin + (value == std::string_view::npos ? text.size() : value);
  }

  std::string data_;
  std::vector<Line> lines_;
};

// Texts that a line of the file cannot carry so that they read back.
bool BadName(std::string_view s, std::string_view forbidden) {
  return TrimSpaces(s).size() != s.size() || s.empty() || s.find_first_of(forbidden) != std::string_view::npos;
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
  std::string data;
  mode_t mode = 0;
  if (ReadWhole(path_, data, mode) != ReadResult::kOk) return std::string(def);
  const IniText text(std::move(data));
  const std::optional<std::string_view> value = text.Find(section, entry);
  return value ? std::string(*value) : std::string(def);
}

long IniStore::GetNumber(std::string_view section, std::string_view entry) const {
  const std::string text = GetString(section, entry);
  return std::strtol(text.c_str(), nullptr, 10);
}

bool IniStore::PutString(std::string_view section, std::string_view entry,
                         std::string_view value) {
  using namespace std::string_view_literals;
  if (BadName(section, "]\r\n\0"sv) || BadName(entry, "=\r\n\0"sv) || entry.starts_with('[') ||
      entry.starts_with(';') || value.find_first_of("\r\n\0"sv) != std::string_view::npos) {
    return false;
  }
  std::lock_guard lock(g_writeMutex);
  std::string data;
  mode_t mode = 0;
  const ReadResult read = ReadWhole(path_, data, mode);
  if (read == ReadResult::kError) return false;
  IniText text(data);
  text.Set(section, entry, value);
  if (read == ReadResult::kOk && text.Data() == data) return true;
  return ReplaceFile(path_, text.Data(), read == ReadResult::kOk, mode);
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
