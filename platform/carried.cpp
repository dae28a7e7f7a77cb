#include "platform/carried.h"

namespace platform {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string_view BaseName(std::string_view path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace

const CarriedFile* FindCarried(std::string_view name) {
  const std::string_view base = BaseName(name);
  for (const CarriedFile& f : CarriedFiles())
    if (SameName(base, f.name)) return &f;
  return nullptr;
}

std::span<const unsigned char> CarriedImage(std::string_view name) {
  const CarriedFile* f = FindCarried(name);
  return f != nullptr ? std::span<const unsigned char>(f->data, f->size) : std::span<const unsigned char>();
}

}  // namespace platform
