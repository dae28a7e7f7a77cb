// The library's error state: per thread, the last library error code, its
// detail text and the name of the public procedure entered last.
//
// Library codes are 0A0000001h..0A0000058h (bit 31 and bit 29 set); as
// signed LONGs they are negative. A code without bit 29 is a Win32 error
// number. Every public library procedure first calls
// SetLibraryProcedureName with its own name; a failure puts its detail in
// SetLibraryErrorDetail, then calls SetLibraryError(code).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace syslib {

using LONG = int32_t;

// The library code 0A0000001h + index, as the negative LONG it is.
constexpr LONG LibCode(uint32_t index) { return static_cast<LONG>(0xA0000001u + index); }
constexpr LONG kFirstLibCode = LibCode(0);      // 0A0000001h
constexpr LONG kLastLibCode = LibCode(0x57);    // 0A0000058h
constexpr uint32_t kCustomerBit = 0x20000000u;

// Named codes that this system sets.
constexpr LONG kErrEmptyPort = static_cast<LONG>(0xA000000Du);
constexpr LONG kErrNewPortOpen = static_cast<LONG>(0xA0000014u);
constexpr LONG kErrNewPortBuffers = static_cast<LONG>(0xA0000015u);
constexpr LONG kErrWritePort = static_cast<LONG>(0xA0000019u);
constexpr LONG kErrReadPort = static_cast<LONG>(0xA000001Au);
constexpr LONG kErrUseCommEvents = static_cast<LONG>(0xA0000029u);
constexpr LONG kErrMonitorCommEvents = static_cast<LONG>(0xA000002Au);
constexpr LONG kErrFileVersionInfo = static_cast<LONG>(0xA0000031u);
constexpr LONG kErrWritePortWait = static_cast<LONG>(0xA0000037u);

// Clears the code and the detail; sets the procedure name (cut to 255)
// unless nameOmitted.
void SetLibraryProcedureName(std::string_view name, bool nameOmitted = false);
// Sets the detail text of the failure about to be recorded (cut to 255).
void SetLibraryErrorDetail(std::string_view detail);
// Records the code as the thread's last library error and returns it; with
// "/debug" the full text goes to the event logger as a plain line.
LONG SetLibraryError(LONG code);

// The text of a code (no suffix). With no code: the last error's text, ", ",
// its detail, ", ", the procedure name, cut to 255. Code 0 gives "".
// Unknown library codes give "Unknown Winhook error code".
std::string GetLibraryErrorText(std::optional<LONG> code = std::nullopt);
// The system text of the thread's last Win32 error without its line end.
std::string GetLastErrorText();

// The thread's state, for tests and the event logger.
LONG LibraryErrorCode();
std::string LibraryErrorDetail();
std::string LibraryProcedureName();

}  // namespace syslib
