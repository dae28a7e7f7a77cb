#include "syslib/version.h"

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/fsutil.h"
#include "platform/text.h"
#include "syslib/dllhelp.h"
#include "syslib/win32error.h"

namespace syslib {
namespace {

constexpr uint32_t kNotProgramFile = 1812;  // ERROR_RESOURCE_DATA_NOT_FOUND
constexpr uint32_t kNoVersion = 1813;       // ERROR_RESOURCE_TYPE_NOT_FOUND
constexpr std::size_t kHeader = 8;          // length, magic
constexpr uint64_t kMaxSectionNames = 1 << 20;

// --- the program's own block, built at compile time

struct Item {
  std::string_view key;
  std::string_view text;  // a text value (its NUL is added)
  bool translation;       // the value is the translation instead
};

constexpr uint16_t kLanguage = 0x0405;  // Czech
constexpr uint16_t kCodePage = 0x04E2;  // 1250
constexpr Item kItems[] = {
    {"\\VarFileInfo\\Translation", {}, true},
    {"\\StringFileInfo\\040504E2\\ProductVersion", VELORN_PRODUCT_VERSION, false},
    {"\\StringFileInfo\\040504E2\\FileVersion", VELORN_PRODUCT_VERSION, false},
};

constexpr std::size_t ValueBytes(const Item& i) { return i.translation ? 4 : i.text.size() + 1; }
constexpr std::size_t RecordBytes(const Item& i) { return 4 + i.key.size() + 1 + ValueBytes(i); }

constexpr std::size_t BlockBytes() {
  std::size_t n = kHeader;
  for (const Item& i : kItems) n += RecordBytes(i);
  return n;
}

template <std::size_t N>
constexpr void Put16(std::array<unsigned char, N>& a, std::size_t at, std::size_t v) {
  a[at] = static_cast<unsigned char>(v & 0xFF);
  a[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

constexpr std::array<unsigned char, BlockBytes()> MakeBlock() {
  std::array<unsigned char, BlockBytes()> a{};
  Put16(a, 0, BlockBytes() & 0xFFFF);
  Put16(a, 2, BlockBytes() >> 16);
  a[4] = 'V', a[5] = 'L', a[6] = 'V', a[7] = 'R';
  std::size_t at = kHeader;
  for (const Item& i : kItems) {
    Put16(a, at, RecordBytes(i));
    Put16(a, at + 2, ValueBytes(i));
    std::size_t p = at + 4;
    for (char c : i.key) a[p++] = static_cast<unsigned char>(c);
    a[p++] = 0;
    if (i.translation) {
      Put16(a, p, kLanguage);
      Put16(a, p + 2, kCodePage);
    } else {
      for (char c : i.text) a[p++] = static_cast<unsigned char>(c);
      a[p] = 0;
    }
    at += RecordBytes(i);
  }
  return a;
}

}  // namespace

// The program's version resource, in a section of its own.
extern const std::array<unsigned char, BlockBytes()> kVersionBlock;
[[gnu::used, gnu::section(".velorn_version")]] const std::array<unsigned char, BlockBytes()> kVersionBlock =
    MakeBlock();

namespace {

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

class File {
 public:
  explicit File(const char* name) : fd_(name != nullptr ? ::open(name, O_RDONLY | O_CLOEXEC) : -1) {
    if (fd_ < 0) SetLastErrorFromErrno(name != nullptr ? errno : ENOENT);
  }
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  bool Open() const { return fd_ >= 0; }
  // Reads exactly n bytes at offset; false (last error set) otherwise.
  bool ReadAt(void* out, std::size_t n, uint64_t offset) const {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t r = ::pread(fd_, static_cast<char*>(out) + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        if (r < 0) SetLastErrorFromErrno(errno);
        else SetLastError(kNotProgramFile);
        return false;
      }
      done += static_cast<std::size_t>(r);
    }
    return true;
  }

 private:
  int fd_;
};

struct Section {
  uint64_t offset = 0;
  uint64_t size = 0;
};

// Finds the version section of an ELF file by its section headers; false
// with the last error set.
bool FindVersionSection(const File& f, Section& out) {
  Elf64_Ehdr eh{};
  if (!f.ReadAt(&eh, sizeof eh, 0)) {
    if (GetLastError() == kNotProgramFile || GetLastError() == 0) SetLastError(kNotProgramFile);
    return false;
  }
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
      eh.e_ident[EI_DATA] != ELFDATA2LSB || eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shoff == 0 ||
      eh.e_shstrndx >= eh.e_shnum) {
    SetLastError(kNotProgramFile);
    return false;
  }
  std::vector<Elf64_Shdr> sh(eh.e_shnum);
  if (!f.ReadAt(sh.data(), sh.size() * sizeof(Elf64_Shdr), eh.e_shoff)) return false;
  const Elf64_Shdr& names = sh[eh.e_shstrndx];
  if (names.sh_size > kMaxSectionNames) {
    SetLastError(kNotProgramFile);
    return false;
  }
  std::vector<char> text(names.sh_size + 1, '\0');
  if (!f.ReadAt(text.data(), names.sh_size, names.sh_offset)) return false;
  for (const Elf64_Shdr& s : sh) {
    if (s.sh_name >= names.sh_size || s.sh_type == SHT_NOBITS) continue;
    if (std::strcmp(text.data() + s.sh_name, kVersionSection) != 0) continue;
    if (s.sh_size < kHeader || s.sh_size > 0xFFFFFFFFu) break;
    out = {s.sh_offset, s.sh_size};
    return true;
  }
  SetLastError(kNoVersion);
  return false;
}

bool SameKey(const char* a, std::string_view b) {
  const std::size_t n = std::strlen(a);
  if (n != b.size()) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// "version.dll"'s entry points, each looked up once.
ProcCache gSizeProc{0}, gInfoProc{0}, gQueryProc{0};

std::string Fail(const std::string& detail) {
  SetLibraryErrorDetail(detail);
  SetLibraryError(kErrFileVersionInfo);
  return {};
}

}  // namespace

uint32_t GetFileVersionInfoSizeA(const char* file, uint32_t* handle) {
  if (handle != nullptr) *handle = 0;
  const File f(file);
  Section s;
  if (!f.Open() || !FindVersionSection(f, s)) return 0;
  return static_cast<uint32_t>(s.size);
}

int32_t GetFileVersionInfoA(const char* file, uint32_t /*handle*/, uint32_t len, void* data) {
  const File f(file);
  Section s;
  if (!f.Open() || !FindVersionSection(f, s)) return 0;
  if (data == nullptr || len < kHeader) {
    SetLastError(122);  // ERROR_INSUFFICIENT_BUFFER
    return 0;
  }
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(len, s.size));
  auto* out = static_cast<unsigned char*>(data);
  if (!f.ReadAt(out, n, s.offset)) return 0;
  // The block is as long as what was read.
  const uint32_t length = std::min(Le32(out), n);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>((length >> (8 * i)) & 0xFF);
  return 1;
}

int32_t VerQueryValueA(const void* block, const char* subBlock, void** buffer, uint32_t* len) {
  if (buffer != nullptr) *buffer = nullptr;
  if (len != nullptr) *len = 0;
  const auto* b = static_cast<const unsigned char*>(block);
  if (b == nullptr || subBlock == nullptr || std::memcmp(b + 4, "VLVR", 4) != 0) {
    SetLastError(kNoVersion);
    return 0;
  }
  const std::size_t length = Le32(b);
  std::size_t at = kHeader;
  while (at + 4 <= length) {
    const std::size_t size = Le16(b + at), valueBytes = Le16(b + at + 2);
    if (size < 4 || at + size > length) break;
    const char* key = reinterpret_cast<const char*>(b + at + 4);
    const std::size_t keyLen = strnlen(key, size - 4);
    const bool whole = keyLen < size - 4 && 4 + keyLen + 1 + valueBytes <= size;
    if (whole && SameKey(key, subBlock)) {
      if (buffer != nullptr) *buffer = const_cast<unsigned char*>(b + at + 4 + keyLen + 1);
      if (len != nullptr) *len = static_cast<uint32_t>(valueBytes);
      return 1;
    }
    at += size;
  }
  SetLastError(kNoVersion);
  return 0;
}

std::string ds_GetFileVersionInfo(std::string_view item, uint8_t fileVersion, const std::string* fileName) {
  SetLibraryProcedureName("ds_GetFileVersionInfo");
  std::string file = fileName != nullptr ? std::string(platform::text::TrimRight(*fileName))
                                         : platform::ExecutablePath();

  if (LoadDLLProc("version.dll", "GetFileVersionInfoSizeA", gSizeProc) != 0)
    return Fail("GetFileVersionInfoSizeA not found.");
  uint32_t handle = 0;
  const uint32_t size = reinterpret_cast<GETFILEVERSIONINFOSIZEA>(gSizeProc.load())(file.c_str(), &handle);
  if (size == 0) return Fail(GetLastErrorText());
  if (size > kVersionBufferSize) Fail("BufferSize to small: " + std::to_string(size));

  if (LoadDLLProc("version.dll", "GetFileVersionInfoA", gInfoProc) != 0) return Fail("GetFileVersionInfoA not found.");
  std::vector<unsigned char> buffer(kVersionBufferSize);
  if (reinterpret_cast<GETFILEVERSIONINFOA>(gInfoProc.load())(file.c_str(), handle, kVersionBufferSize,
                                                                buffer.data()) == 0)
    return Fail(GetLastErrorText());

  if (LoadDLLProc("version.dll", "VerQueryValueA", gQueryProc) != 0) return Fail("VerQueryValueA not found.");
  const auto query = reinterpret_cast<VERQUERYVALUEA>(gQueryProc.load());
  void* value = nullptr;
  uint32_t valueLen = 0;
  if (query(buffer.data(), "\\VarFileInfo\\Translation", &value, &valueLen) == 0 || valueLen < 4)
    return Fail(GetLastErrorText());
  const auto* t = static_cast<const unsigned char*>(value);
  const uint16_t language = Le16(t), codePage = Le16(t + 2);

  // Four upper-case digits each, as ds_FormatHex gives them; formatted here
  // so that the error state of this call stays.
  char digits[9];
  std::snprintf(digits, sizeof digits, "%04X%04X", static_cast<unsigned>(language), static_cast<unsigned>(codePage));
  const std::string prefix = "\\StringFileInfo\\" + std::string(digits) + "\\";
  const std::string key = prefix + (fileVersion != 0 ? std::string("FileVersion")
                                                     : std::string(platform::text::TrimRight(item)));
  if (query(buffer.data(), key.c_str(), &value, &valueLen) == 0) return Fail(GetLastErrorText());
  const char* text = static_cast<const char*>(value);
  return std::string(text, strnlen(text, valueLen));
}

}  // namespace syslib
