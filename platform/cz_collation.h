// The collation CZ_NOCASE through which the record files' case-insensitive
// keys compare text: Czech order without regard to letter case
// (text::CompareCzNoCase). The record files register it on every connection;
// the loadable extension cznocase registers the same function in the sqlite3
// tool (".load cznocase").
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/text.h"

namespace platform::rec {

inline constexpr const char* kCzNoCase = "CZ_NOCASE";

// An SQLite collating function (sqlite3_create_collation_v2): UTF-8 texts
// of the given byte lengths; <0, 0 or >0.
inline int CollateCzNoCase(void*, int la, const void* a, int lb, const void* b) {
  return text::CompareCzNoCase(std::string_view(static_cast<const char*>(a), static_cast<size_t>(la)),
                               std::string_view(static_cast<const char*>(b), static_cast<size_t>(lb)));
}

}  // namespace platform::rec
