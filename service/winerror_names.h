// Win32 error names: the readable symbolic name of a Windows
// error code, such as "ACCESS DENIED" for 5.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace service {

// The name of code (useCode non-zero) or of the calling thread's last Win32
// error (useCode 0, syslib::GetLastError(); code unused), without trailing
// blanks, at most 255 characters; "Unknown Status" for a code the table does
// not hold. Builds the table and its lookup queue on each call and frees them
// again; the last error is left unchanged.
std::string Win32ErrorName(uint8_t useCode, int32_t code);

// The constant data the table is built from, in the order of the Windows
// header (generated into winerror_table.inc by tools/gen_winerror_names.py).
struct Win32ErrorNameEntry {
  int32_t code;
  const char* name;
};
std::span<const Win32ErrorNameEntry> Win32ErrorNameEntries();

}  // namespace service
