// Program start-up, run modes and the end of the program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ini.h"

namespace app {

// The settings store on ".\velorn.INI".
platform::IniStore& SettingsStore();

// Single-instance guard state.
extern std::string MutexSourceText;
extern std::string InstanceMutexName;
extern long InstanceMutexHandle;
extern long MutexCreateError;
// The instance's name: the mutex name and the hash of the folder it guards
// (folders whose mutex names collide still differ here). The main window's
// class carries it. Empty with "/ForceRun".
extern std::string InstanceName;

inline constexpr const char* kDigitTable = "0123456789ABCDE";
inline constexpr const char* kAlreadyRunning = "Program je již spuštěn !";

// "VELORN" and the upper-cased short path, trailing blanks removed, cut to
// 63 characters.
std::string BuildMutexSourceText(std::string_view shortPath);
// The 38-character name built from a source text.
std::string BuildInstanceMutexName(std::string_view source);
// The instance name for a mutex name and the canonical folder it guards.
std::string BuildInstanceName(const std::string& mutexName, const std::string& canonicalFolder);

// The load and save hooks of the settings store: the "Preserved" values in
// the order GLO:Verze_programu, GLO:Pocet_spusteni_programu,
// GLO:Prvni_spusteni, GCU.
void LoadPreservedGlobals(platform::IniStore& store);
bool SavePreservedGlobals(platform::IniStore& store);

// Fills the fixed-length global texts with blanks (before ProgramMain).
void InitGlobals();
// Cursor, Czech locale texts, version and caption, start count, "/debug".
void SetupEnvironment();

// Makes the window-program mode's view (the toolkit's windows when the
// machine can show them); kept for the run of the main window. The program
// installs it; without one the windows stay headless.
using WindowViewFactory = std::function<std::shared_ptr<void>()>;
void SetWindowViewFactory(WindowViewFactory factory);

// Whether the command line runs the program as a service: "SERVICEPATH"
// without "/NOSERVICE", "/RS" or "/IS". Known from the first line of main,
// so that a stop read at any moment of the start goes to the service.
bool RunsAsService();

// The program's main procedure. Returns the process's exit status.
int ProgramMain();

// The per-thread start and end steps of the program's threads, registered
// with the platform once at start.
void RegisterProgramThreadHooks();

}  // namespace app
