#include "service/winerror_names.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "syslib/win32error.h"

namespace service {
namespace {

constexpr Win32ErrorNameEntry kEntries[] = {
#include "service/winerror_table.inc"
};

constexpr std::size_t kMaxChars = 255;
constexpr std::string_view kUnknown = "Unknown Status";

// One record of SYSERRQ: the code and the name inside the table block.
struct SysErrRecord {
  int32_t value;
  std::string_view text;
};
using SysErrQueue = std::vector<SysErrRecord>;  // ascending by value

// Win32ErrorNameTable: count (2 bytes), then per entry the name's length
// (1 byte), the name and the code (4 bytes), little-endian.
std::unique_ptr<std::vector<uint8_t>> BuildTable() {
  auto block = std::make_unique<std::vector<uint8_t>>();
  const auto count = static_cast<uint16_t>(std::size(kEntries));
  block->push_back(static_cast<uint8_t>(count & 0xFF));
  block->push_back(static_cast<uint8_t>(count >> 8));
  for (const auto& e : kEntries) {
    const std::size_t n = std::strlen(e.name);
    block->push_back(static_cast<uint8_t>(n));
    block->insert(block->end(), e.name, e.name + n);
    const auto u = static_cast<uint32_t>(e.code);
    for (int shift = 0; shift < 32; shift += 8) block->push_back(static_cast<uint8_t>(u >> shift));
  }
  return block;
}

std::unique_ptr<SysErrQueue> UnpackErrorNames(const std::vector<uint8_t>& block) {
  auto queue = std::make_unique<SysErrQueue>();
  const std::size_t count = static_cast<std::size_t>(block[0]) | (static_cast<std::size_t>(block[1]) << 8);
  queue->reserve(count);
  std::size_t at = 2;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t n = block[at];
    const std::string_view text(reinterpret_cast<const char*>(block.data() + at + 1), n);
    uint32_t u = 0;
    for (std::size_t k = 0; k < 4; ++k) u |= static_cast<uint32_t>(block[at + 1 + n + k]) << (8 * k);
    const SysErrRecord rec{static_cast<int32_t>(u), text};
    const auto pos = std::upper_bound(queue->begin(), queue->end(), rec.value,
                                      [](int32_t v, const SysErrRecord& r) { return v < r.value; });
    queue->insert(pos, rec);
    at += 1 + n + 4;
  }
  return queue;
}

std::string GetErrorNameByCode(const SysErrQueue& queue, int32_t code) {
  const auto it = std::lower_bound(queue.begin(), queue.end(), code,
                                   [](const SysErrRecord& r, int32_t v) { return r.value < v; });
  if (it == queue.end() || it->value != code) return std::string(kUnknown);
  return std::string(platform::text::TrimRight(it->text));
}

int32_t GetLastErrorCode() { return static_cast<int32_t>(syslib::GetLastError()); }

std::string GetLastErrorName(const SysErrQueue& queue) { return GetErrorNameByCode(queue, GetLastErrorCode()); }

void FreeErrorNameQueue(std::unique_ptr<SysErrQueue>& queue) { queue.reset(); }

}  // namespace

std::string Win32ErrorName(uint8_t useCode, int32_t code) {
  auto block = BuildTable();
  auto queue = UnpackErrorNames(*block);
  std::string work = platform::text::TruncateChars(
      useCode == 0 ? GetLastErrorName(*queue) : GetErrorNameByCode(*queue, code), kMaxChars);
  FreeErrorNameQueue(queue);
  block.reset();
  return std::string(platform::text::TrimRight(work));
}

std::span<const Win32ErrorNameEntry> Win32ErrorNameEntries() { return kEntries; }

}  // namespace service
