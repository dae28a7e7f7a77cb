// DLL, version and folder helpers: a function of a module loaded at run time
// into a caller's cache, a module's own version, module handles, icons from
// a module or a file, and the Windows folder.
//
// Every function but GetWindowsFolder first records its own procedure name,
// which clears the thread's library error; failures are told by the result
// and, as each says, by the thread's library error with a detail text.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "syslib/liberror.h"
#include "syslib/modules.h"

namespace syslib {

constexpr LONG kErrGetDLLVersion = static_cast<LONG>(0xA0000038u);
constexpr LONG kErrLoadDLLProc = static_cast<LONG>(0xA000003Au);
constexpr LONG kErrGetHIcon = static_cast<LONG>(0xA000003Cu);

// A function's entry-point cache, owned by the caller: 0 not looked up yet,
// kProcNotFound looking it up failed (never tried again), else its address.
using ProcCache = std::atomic<FARPROC>;
inline constexpr FARPROC kProcNotFound = ~FARPROC{0};

// Records "ds_LoadDLLProc". 0: the cache holds the function's address (a
// cache that holds one already: nothing is loaded again); the module's
// handle goes to *module when given, and the module stays loaded. 1: not
// available (the cache is then kProcNotFound). Only with "/debug" on the
// command line is a failure also a library error (0A000003Ah) with the
// detail "ds_LoadDLLProc error, LoadLibrary failed DLL=<dll> <text>",
// "ds_LoadDLLProc error, GetProcAddress failed Proc=<proc> DLL=<dll> <text>"
// or, when the module cannot be freed either, "ds_LoadDLLProc error,
// FreeLibrary failed DLL=<dll> <text>" (<text>: GetLastErrorText). Names are
// used without trailing blanks.
LONG ds_LoadDLLProc(std::string_view dll, std::string_view proc, ProcCache& cache, HMODULE* module = nullptr);
// The same without recording a procedure name: the library's own lookups,
// which keep the error state of the procedure that makes them.
LONG LoadDLLProc(std::string_view dll, std::string_view proc, ProcCache& cache, HMODULE* module = nullptr);

// A module's DllGetVersion record.
struct DLLVERSIONINFO {
  uint32_t cbSize = 0;
  uint32_t dwMajorVersion = 0;
  uint32_t dwMinorVersion = 0;
  uint32_t dwBuildNumber = 0;
  uint32_t dwPlatformID = 0;
};
static_assert(sizeof(DLLVERSIONINFO) == 20);
using DLLGETVERSIONPROC = int32_t (*)(DLLVERSIONINFO*);
// shell32.dll's: 6.0, build 0, platform 2 (NT); 0 (S_OK). A record whose
// cbSize is below 20 is refused (E_INVALIDARG), nothing written.
int32_t Shell32DllGetVersion(DLLVERSIONINFO* info);

struct DllVersion {
  uint32_t MAJORVERSION = 0;
  uint32_t MINORVERSION = 0;
  uint32_t BUILDNUMBER = 0;
  uint32_t PLATFORMID = 0;
  std::string STRING;  // "major.minor.build", at most 30 characters
};

// Records "ds_GetDLLVersion". Calls the module's DllGetVersion (one cache per
// module name) with a zeroed record of cbSize 20. 0: the record is filled.
// 1: no DllGetVersion, or it did not answer S_OK (0); then library error
// 0A0000038h with "ds_GetDLLVersion error, DllGetVersion DLL=<dll> <text>",
// and the record is not touched.
LONG ds_GetDLLVersion(std::string_view dll, DllVersion& version);

// Records "ds_GetHModule". The program's handle with self non-zero, else the
// loaded module of that name (trailing blanks ignored). 0 on failure, with
// library error 0A000003Ch and "ds_GetHModule Error, GetModuleHandle failed
// : <text>".
HMODULE ds_GetHModule(std::string_view module, uint8_t self);

// Records "ds_GetHIcon". A name that begins with "~" names a resource: the
// rest, its first "." made "_" ("~velorn.ico" is velorn_ico). With own
// non-zero, "~" names are resources of the program and other names are icon
// files (relative to the current folder); with own zero, both are resources
// of the given module (0: files). size is the width and height asked for,
// 0 with defaultSize non-zero. 0 on failure, with library error 0A000003Ch
// and "ds_GetHIcon Error : loadImage failed : <text> <name used>".
HICON ds_GetHIcon(HMODULE module, std::string_view name, uint8_t own, int32_t size, uint8_t defaultSize);

// The Windows folder: a fixed folder of ours, kWindowsFolder. Records no
// name and sets no error.
inline constexpr const char* kWindowsFolder = "/usr/lib/velorn/windows";
std::string GetWindowsFolder();

}  // namespace syslib
