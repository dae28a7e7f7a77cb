// The files the program carries (drawn at build time by tools/gen_images.cpp
// and compiled into the program), by name. No toolkit needed.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace platform {

struct CarriedFile {
  const char* name;
  const unsigned char* data;
  std::size_t size;
};

// Every carried file.
std::span<const CarriedFile> CarriedFiles();
// The carried file of a name (case and any folder ignored); nullptr when the
// program carries none of that name.
const CarriedFile* FindCarried(std::string_view name);
// Its bytes; empty when the program carries none of that name.
std::span<const unsigned char> CarriedImage(std::string_view name);

}  // namespace platform
