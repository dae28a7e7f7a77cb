#include "syslib/dllhelp.h"

#include <map>
#include <memory>
#include <mutex>

#include "platform/cmdline.h"
#include "platform/text.h"
#include "syslib/win32error.h"

namespace syslib {
namespace {

using platform::text::TrimRight;

constexpr int32_t kS_OK = 0;
constexpr int32_t kE_INVALIDARG = static_cast<int32_t>(0x80070057u);

void DebugError(const std::string& detail) {
  if (!platform::CommandHas("/debug")) return;
  SetLibraryErrorDetail(detail);
  SetLibraryError(kErrLoadDLLProc);
}

// DllGetVersion's cache of each module.
ProcCache& VersionCache(std::string_view dll) {
  static std::mutex mutex;
  static auto* caches = new std::map<std::string, std::unique_ptr<ProcCache>>;
  std::string key = platform::text::UpperAscii(TrimRight(dll));
  std::lock_guard lock(mutex);
  auto& c = (*caches)[key];
  if (!c) c = std::make_unique<ProcCache>(0);
  return *c;
}

}  // namespace

LONG LoadDLLProc(std::string_view dll, std::string_view proc, ProcCache& cache, HMODULE* module) {
  const FARPROC held = cache.load();
  if (held == kProcNotFound) return 1;
  if (held != 0) return 0;
  const std::string dllName(TrimRight(dll)), procName(TrimRight(proc));
  const HMODULE m = LoadLibraryA(dllName);
  if (m == 0) {
    cache.store(kProcNotFound);
    DebugError("ds_LoadDLLProc error, LoadLibrary failed DLL=" + dllName + " " + GetLastErrorText());
    return 1;
  }
  const FARPROC address = GetProcAddress(m, procName);
  if (address != 0) {
    cache.store(address);
    if (module != nullptr) *module = m;
    return 0;
  }
  DebugError("ds_LoadDLLProc error, GetProcAddress failed Proc=" + procName + " DLL=" + dllName + " " +
             GetLastErrorText());
  if (!FreeLibrary(m)) DebugError("ds_LoadDLLProc error, FreeLibrary failed DLL=" + dllName + " " + GetLastErrorText());
  cache.store(kProcNotFound);
  return 1;
}

LONG ds_LoadDLLProc(std::string_view dll, std::string_view proc, ProcCache& cache, HMODULE* module) {
  SetLibraryProcedureName("ds_LoadDLLProc");
  return LoadDLLProc(dll, proc, cache, module);
}

int32_t Shell32DllGetVersion(DLLVERSIONINFO* info) {
  if (info == nullptr || info->cbSize < sizeof(DLLVERSIONINFO)) return kE_INVALIDARG;
  info->dwMajorVersion = 6;
  info->dwMinorVersion = 0;
  info->dwBuildNumber = 0;
  info->dwPlatformID = 2;
  return kS_OK;
}

LONG ds_GetDLLVersion(std::string_view dll, DllVersion& version) {
  SetLibraryProcedureName("ds_GetDLLVersion");
  ProcCache& cache = VersionCache(dll);
  if (LoadDLLProc(dll, "DllGetVersion", cache) != 0) return 1;
  DLLVERSIONINFO info;
  info.cbSize = sizeof info;
  const auto proc = reinterpret_cast<DLLGETVERSIONPROC>(cache.load());
  if (proc(&info) != kS_OK) {
    SetLibraryErrorDetail("ds_GetDLLVersion error, DllGetVersion DLL=" + std::string(TrimRight(dll)) + " " +
                          GetLastErrorText());
    SetLibraryError(kErrGetDLLVersion);
    return 1;
  }
  version.MAJORVERSION = info.dwMajorVersion;
  version.MINORVERSION = info.dwMinorVersion;
  version.BUILDNUMBER = info.dwBuildNumber;
  version.PLATFORMID = info.dwPlatformID;
  version.STRING = platform::text::TruncateChars(std::to_string(info.dwMajorVersion) + "." +
                                                     std::to_string(info.dwMinorVersion) + "." +
                                                     std::to_string(info.dwBuildNumber),
                                                 30);
  return 0;
}

HMODULE ds_GetHModule(std::string_view module, uint8_t self) {
  SetLibraryProcedureName("ds_GetHModule");
  const std::string name(TrimRight(module));
  const HMODULE h = GetModuleHandleA(self != 0 ? nullptr : &name);
  if (h == 0) {
    SetLibraryErrorDetail("ds_GetHModule Error, GetModuleHandle failed : " + GetLastErrorText());
    SetLibraryError(kErrGetHIcon);
  }
  return h;
}

HICON ds_GetHIcon(HMODULE module, std::string_view name, uint8_t own, int32_t size, uint8_t defaultSize) {
  SetLibraryProcedureName("ds_GetHIcon");
  const bool resource = name.starts_with('~');
  std::string used(resource ? name.substr(1) : name);
  if (resource) {
    if (const std::size_t dot = used.find('.'); dot != std::string::npos) used[dot] = '_';
  }
  HMODULE from = module;
  if (own != 0) {
    from = 0;
    if (resource) {
      from = GetModuleHandleA(nullptr);
      if (from == 0) {
        SetLibraryErrorDetail("ds_GetHIcon Error, GetModuleHandle failed : " + GetLastErrorText());
        SetLibraryError(kErrGetHIcon);
        return 0;
      }
    }
  }
  const int side = defaultSize != 0 ? 0 : size;
  const HICON icon = LoadImageA(from, used, IMAGE_ICON, side, side, from == 0 ? LR_LOADFROMFILE : 0);
  if (icon == 0) {
    SetLibraryErrorDetail("ds_GetHIcon Error : loadImage failed : " + GetLastErrorText() + " " + used);
    SetLibraryError(kErrGetHIcon);
  }
  return icon;
}

std::string GetWindowsFolder() { return kWindowsFolder; }

}  // namespace syslib
