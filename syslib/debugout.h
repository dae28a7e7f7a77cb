// Debug output and the event logger: plain text lines.
//
// OutputDebugStringA writes its text with one write() to standard error.
// LogEvent writes only when "/debug" is on the command line. The texts of
// window, field, user and library events and the stack-balance check come
// with the rest of the event logger; for now an event other than 0 keeps its
// text unchanged.
#pragma once

#include <cstdint>
#include <string_view>

#include "syslib/liberror.h"

namespace syslib {

// The debugger output: the zero-terminated text in one write() to standard
// error, under LibraryLock. errno is left unchanged.
void OutputDebugStringA(const char* text);

// The text without trailing blanks, then "\r\n" when addLineEnd is non-zero,
// cut to 1023 characters, to OutputDebugStringA.
void WriteDebugString(std::string_view text, uint8_t addLineEnd);

// The event logger: arguments in the logger's order; each no... flag, when
// non-zero, makes the matching argument ignored (empty name, event 0, field 0).
// The line: window name, a blank, [event number, a blank,] the text; with the
// line end. Nothing without "/debug".
void LogEvent(std::string_view windowName, std::string_view text, uint8_t noWindow, LONG event,
              uint8_t noEvent, LONG field, uint8_t noField);
// A plain text line: LogEvent("", text, 1, 0, 1, 0, 1).
void LogEvent(std::string_view text);

}  // namespace syslib
