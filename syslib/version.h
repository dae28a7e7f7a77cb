// Version information of a program file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace syslib {

// The value of a version item ("ProductVersion", "FileVersion") of a program
// file: the running program's own file when fileName is null. '' when the
// file carries no version information or not that item.
std::string ds_GetFileVersionInfo(std::string_view item, uint8_t fileVersion, const std::string* fileName = nullptr);

}  // namespace syslib
