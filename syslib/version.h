// Version information of program files: the version resource that the
// program carries, the functions of the built-in "version.dll" over it, and
// ds_GetFileVersionInfo.
//
// The resource is the ELF section kVersionSection of a program file, read by
// seeking to it (never the whole file). Its block, little-endian:
//   uint32 length of the block in bytes (from its start)
//   "VLVR"
//   records, each: uint16 record length (from its start), uint16 value
//   length in bytes, the key as NUL-terminated text, the value
// Keys: "\VarFileInfo\Translation" (value: language and code page, uint16
// each) and "\StringFileInfo\LLLLCCCC\<item>" (LLLL language, CCCC code page
// in upper-case hexadecimal; value: the text and its NUL). The program's:
// translation 0405h, 04E2h (Czech, Windows-1250); "ProductVersion" and
// "FileVersion", both the project's version.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "syslib/liberror.h"

namespace syslib {

inline constexpr const char* kVersionSection = ".velorn_version";
inline constexpr uint32_t kVersionBufferSize = 5000;

// "version.dll". Failures leave the Win32 last error: 2 (and the like) for a
// file that cannot be read, 1812 for one that is not a program file, 1813 for
// one without a version resource; 1813 from VerQueryValueA for a key that is
// not in the bytes read.
//
// The size of the file's version block; 0 on failure. *handle := 0.
uint32_t GetFileVersionInfoSizeA(const char* file, uint32_t* handle);
// Reads the first len bytes of the block (all of it when shorter) into data;
// the block then counts as long as what was read. FALSE (0) on failure.
int32_t GetFileVersionInfoA(const char* file, uint32_t handle, uint32_t len, void* data);
// Finds a key in a block read by GetFileVersionInfoA (keys compare without
// regard to case; a record that does not lie whole within the block counts
// as absent): *buffer := its value, *len := the value's length (characters
// with the NUL for texts, bytes for the translation). FALSE (0) when absent.
int32_t VerQueryValueA(const void* block, const char* subBlock, void** buffer, uint32_t* len);

using GETFILEVERSIONINFOSIZEA = uint32_t (*)(const char*, uint32_t*);
using GETFILEVERSIONINFOA = int32_t (*)(const char*, uint32_t, uint32_t, void*);
using VERQUERYVALUEA = int32_t (*)(const void*, const char*, void**, uint32_t*);

// Records "ds_GetFileVersionInfo". The value of a version item
// ("ProductVersion", ...; "FileVersion" whatever the item when fileVersion is
// non-zero) of a program file: the running program's own when fileName is
// null, else that file (trailing blanks ignored). Reads at most
// kVersionBufferSize bytes of the block. '' on failure, with library error
// 0A0000031h and the detail: "GetFileVersionInfoSizeA not found.",
// "GetFileVersionInfoA not found.", "VerQueryValueA not found.", or the
// Win32 error's text. A block larger than the buffer sets 0A0000031h with
// "BufferSize to small: <size>" and still gives a value that lies whole in
// the bytes read. Any thread.
std::string ds_GetFileVersionInfo(std::string_view item, uint8_t fileVersion, const std::string* fileName = nullptr);

}  // namespace syslib
