// Modules: the program itself, the modules built into it and shared objects,
// loaded by name at run time; and the icons loaded from them or from files.
//
// Built-in modules (names without regard to case, ".dll" optional):
//   "Wtsapi32"     WTSRegisterSessionNotification, WTSUnRegisterSessionNotification
//                  (syslib/wtsapi.h)
//   "shell32.dll"  DllGetVersion (syslib/dllhelp.h): version 6.0
//   "version.dll"  GetFileVersionInfoSizeA, GetFileVersionInfoA, VerQueryValueA
//                  (syslib/version.h)
// Any other name is a shared object for dlopen (its rules for names apply).
//
// Failures leave the thread's Win32 last error (syslib/win32error.h): 126 no
// such module, 127 no such function, 2 no such file, 13 not an icon, 1814 no
// resource of that name. Handles are non-zero numbers, never reused; the
// program's own is kProgramModule. Any thread; the tables are locked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/icons.h"

namespace syslib {

using HMODULE = uint32_t;
using HICON = platform::ui::HICON;
// A function's address as a number (0: none).
using FARPROC = uintptr_t;

inline constexpr HMODULE kProgramModule = 1;

// Loads a module (a loaded one again: counted, the same handle); 0 on
// failure (126).
HMODULE LoadLibraryA(std::string_view name);
// A function of a loaded module; 0 on failure (127; 6 for no such handle).
FARPROC GetProcAddress(HMODULE module, std::string_view name);
// Drops one load; the module goes with its last. False for a handle that is
// not loaded (6), or for the program's.
bool FreeLibrary(HMODULE module);
// A module that is loaded, by name; the program's for null (or the name of
// its file); 0 when none is loaded under that name (126).
HMODULE GetModuleHandleA(const std::string* name);
// How many times LoadLibraryA was called, for tests.
uint64_t LoadLibraryCalls();

// The program's resources are the files it carries (platform/carried.h),
// each named after its file with the first "." made "_" ("stop.ico" is the
// resource stop_ico); other modules have none.
inline constexpr uint32_t IMAGE_ICON = 1;
inline constexpr uint32_t LR_LOADFROMFILE = 0x10;
// Loads an icon: with LR_LOADFROMFILE the name is a file (relative to the
// current folder; never a carried file), else a resource of the module.
// Only icon files are icons. The size is the one asked for (0: the icon's
// own). 0 on failure, with the last error set. Icons stay loaded for the
// rest of the run, in the icon store (platform/icons.h: their bytes and the
// name they were loaded under).
HICON LoadImageA(HMODULE module, std::string_view name, uint32_t type, int cx, int cy, uint32_t flags);

}  // namespace syslib
