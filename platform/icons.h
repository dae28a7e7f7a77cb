// The icon store: icons loaded for the rest of the run, each the bytes of an
// icon file under a handle. Loaders (syslib's LoadImageA) put icons in; a
// shell's view reads their bytes. Any thread; the store is locked.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform::ui {

using HICON = uint32_t;

// Keeps an icon and gives its handle (non-zero, never reused): bytes read
// from a file, held by the store, or bytes the program carries, which stay
// where they are.
HICON KeepIcon(std::string name, std::vector<unsigned char> bytes);
HICON KeepCarriedIcon(std::string name, std::span<const unsigned char> bytes);
// The bytes of a kept icon, valid for the rest of the run; empty for no icon.
std::span<const unsigned char> IconBytes(HICON icon);
// The name it was kept under; "" for no icon.
std::string IconName(HICON icon);

}  // namespace platform::ui
