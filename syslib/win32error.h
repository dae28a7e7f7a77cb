// The Win32 last-error of our own: per thread, Win32-numbered, set by every
// failing library call from its errno.
#pragma once

#include <cstdint>
#include <string>

namespace syslib {

uint32_t GetLastError();
// Sets the number. The errno last set on this thread (SetLastErrorFromErrno)
// is kept for the texts only when it maps to this number.
void SetLastError(uint32_t code);
// Sets the last error from an errno value (ENOENT -> 2, EACCES -> 5, ...)
// and returns the Win32 number. An errno without a Win32 counterpart gives
// ERROR_GEN_FAILURE (31); its own text is still given for 31 while it is the
// thread's last errno.
uint32_t SetLastErrorFromErrno(int err);
// The Win32 number an errno maps to (what SetLastErrorFromErrno would set).
uint32_t Win32FromErrno(int err);
// The errno last set on this thread through SetLastErrorFromErrno (kept by
// SetLastError when it maps to the new number); 0 when none.
int LastErrno();
// The system's message text of a Win32 number, ended by CR LF as the system
// gives it; "" for a number without text. Texts come from strerror in the C
// locale for the errno the number was set from, or a fixed text.
// The errno is the thread's last errno when it maps to the number, else the
// first errno that maps to it; 0 gives "Success\r\n"; a number that no errno
// maps to gives a fixed text of ours (13 invalid data, 126 module and 127
// procedure not found, 1400 invalid window handle, 1812..1814
// resource not found) or "".
std::string FormatSystemMessage(uint32_t code);

}  // namespace syslib
