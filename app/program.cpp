#include "app/program.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "app/data/debuglog.h"
#include "app/data/records.h"
#include "app/globals.h"
#include "app/ui/main_window.h"
#include "app/ui/messages.h"
#include "platform/cmdline.h"
#include "platform/fsutil.h"
#include "platform/instance_lock.h"
#include "platform/locale_texts.h"
#include "platform/msgbox.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "service/service.h"
#include "service/winlist.h"
#include "syslib/version.h"

namespace app {

std::string CaptionText;
std::string GLO_Verze_programu;
int32_t GLO_Pocet_spusteni_programu = 0;
int32_t GLO_Prvni_spusteni = 0;
uint8_t GCU = 0;

std::string MutexSourceText;
std::string InstanceMutexName;
long InstanceMutexHandle = 0;
long MutexCreateError = 0;
std::string InstanceName;

namespace {

constexpr const char* kPreserved = "Preserved";
WindowViewFactory gWindowViewFactory;
constexpr int kExitBadWorkingFolder = 3;

using platform::text::PadChars;
using platform::text::TrimRight;

// True when another instance holds the mutex of this folder.
bool RunInstanceGuard() {
  const std::string folder = platform::ShortPath();
  MutexSourceText = BuildMutexSourceText(folder);
  InstanceMutexName = BuildInstanceMutexName(MutexSourceText);
  InstanceName = BuildInstanceName(InstanceMutexName, folder);
  const platform::MutexResult r = platform::CreateInstanceMutex(InstanceMutexName, folder);
  InstanceMutexHandle = r.handle;
  MutexCreateError = r.error;
  return MutexCreateError == platform::kErrorAlreadyExists;
}

void ActivateRunningInstance() {
  platform::CloseInstanceMutex(InstanceMutexHandle);
  InstanceMutexHandle = 0;
  {
    // A box on the display when there is one, as the main window would be.
    const std::shared_ptr<void> view = gWindowViewFactory ? gWindowViewFactory() : nullptr;
    platform::MessageBox(kAlreadyRunning, "Stop", platform::BoxIcon::Exclamation, platform::BoxOk);
  }
  service::EnumerateTopWindows();
  for (const service::WinEntry& e : service::QWin()) {
    if (!service::IsInstanceWindow(e, InstanceName)) continue;
    if (e.handle == 0) break;
    if (service::IsIconic(e.handle)) service::ShowWindow(e.handle, service::kSwRestore);
    service::SetForegroundWindow(e.handle);
    break;
  }
}

}  // namespace

void SetWindowViewFactory(WindowViewFactory factory) { gWindowViewFactory = std::move(factory); }

platform::IniStore& SettingsStore() {
  static platform::IniStore store(".\\velorn.INI");
  return store;
}

std::string BuildMutexSourceText(std::string_view shortPath) {
  std::string s = "VELORN" + platform::text::UpperAscii(TrimRight(shortPath));
  if (s.size() > 63) s.resize(63);
  return s;
}

std::string BuildInstanceMutexName(std::string_view source) {
  std::string name = "{";
  for (int i = 1; i <= 32; ++i) {
    const unsigned c = static_cast<size_t>(i) <= source.size() ? static_cast<unsigned char>(source[static_cast<size_t>(i) - 1]) : 32u;
    const unsigned m = (static_cast<unsigned>(i) + c) % 16;
    name += kDigitTable[m == 0 ? 0 : m - 1];
    if (i == 8 || i == 12 || i == 16 || i == 20) name += '-';
  }
  return name + "}";
}

std::string BuildInstanceName(const std::string& mutexName, const std::string& canonicalFolder) {
  std::string name = platform::LockFileName(mutexName, canonicalFolder);
  const std::string_view ext = ".lock";
  if (std::string_view(name).ends_with(ext)) name.resize(name.size() - ext.size());
  return name;
}

void LoadPreservedGlobals(platform::IniStore& store) {
  GLO_Verze_programu = PadChars(store.GetString(kPreserved, "GLO:Verze_programu"), 10);
  GLO_Pocet_spusteni_programu = static_cast<int32_t>(
      std::clamp<long>(store.GetNumber(kPreserved, "GLO:Pocet_spusteni_programu"), INT32_MIN, INT32_MAX));
  GLO_Prvni_spusteni = static_cast<int32_t>(store.GetNumber(kPreserved, "GLO:Prvni_spusteni"));
  GCU = static_cast<uint8_t>(store.GetNumber(kPreserved, "GCU") & 0xff);
}

bool SavePreservedGlobals(platform::IniStore& store) {
  bool ok = store.PutString(kPreserved, "GLO:Verze_programu", TrimRight(GLO_Verze_programu));
  ok = store.PutNumber(kPreserved, "GLO:Pocet_spusteni_programu", GLO_Pocet_spusteni_programu) && ok;
  ok = store.PutNumber(kPreserved, "GLO:Prvni_spusteni", GLO_Prvni_spusteni) && ok;
  ok = store.PutNumber(kPreserved, "GCU", GCU) && ok;
  return ok;
}

void InitGlobals() {
  GLO_Verze_programu = std::string(10, ' ');
  CaptionText = std::string(255, ' ');
  data::DebugLine() = std::string(data::kDebugLineChars, ' ');
}

void SetupEnvironment() {
  platform::locale::InstallCzechTexts();
  const std::string version = platform::text::TruncateChars(syslib::ds_GetFileVersionInfo("ProductVersion", 0), 10);
  GLO_Verze_programu = PadChars(platform::text::TruncateChars(version, 3), 10);
  CaptionText = PadChars(" vELORN v. " + GLO_Verze_programu, 255);
  if (GLO_Pocet_spusteni_programu < INT32_MAX) ++GLO_Pocet_spusteni_programu;
  if (platform::CommandHas("/debug")) data::DebugEnabled = 1;
}

bool RunsAsService() {
  return !TrimRight(platform::CommandQuery("SERVICEPATH")).empty() && !platform::CommandHas("/NOSERVICE") &&
         !platform::CommandHas("/RS") && !platform::CommandHas("/IS");
}

int ProgramMain() {
  const bool forceRun = platform::CommandHas("/ForceRun");
  if (!forceRun && RunInstanceGuard()) {
    ActivateRunningInstance();
    return 0;
  }

  SettingsStore().Setup(LoadPreservedGlobals);
  // The dialogs keep their places in its sections, each under its
  // procedure's name.
  platform::ui::SetPlacementStore(&SettingsStore());
  data::ConstructDataFileControllers();
  data::SetUpDataFiles();
  data::SetDebugErrorBox(ui::aMessage);
  SetupEnvironment();

  const std::string servicePath = std::string(TrimRight(platform::CommandQuery("SERVICEPATH")));
  const bool hasServicePath = !servicePath.empty();
  int folderErr = 0;
  if (hasServicePath && !platform::ChangeDir(servicePath)) folderErr = errno;

  if (platform::CommandHas("/RS")) {
    service::RemoveService();
    return 0;
  }
  if (platform::CommandHas("/IS")) {
    service::InstallService();
    return 0;
  }
  if (hasServicePath && folderErr != 0) {
    // Running in the start folder would make empty record files there.
    platform::MessageBox("Pracovní složku \"" + servicePath + "\" nelze otevřít: " + std::strerror(folderErr) +
                             ".\r\nProgram bude ukončen.",
                         "Chyba", platform::BoxIcon::Hand, platform::BoxOk);
    if (!forceRun && InstanceMutexHandle != 0) {
      platform::ReleaseInstanceMutex(InstanceMutexHandle);
      platform::CloseInstanceMutex(InstanceMutexHandle);
      InstanceMutexHandle = 0;
    }
    return kExitBadWorkingFolder;
  }

  if (RunsAsService()) {
    // The dispatcher routes SIGTERM, SIGINT and SIGHUP itself (its stop
    // request); until it does they wait (main set no route).
    service::StartServiceDispatcher();
  } else {
    const std::shared_ptr<void> view = gWindowViewFactory ? gWindowViewFactory() : nullptr;
    ui::Main();
  }

  SavePreservedGlobals(SettingsStore());
  if (!forceRun && InstanceMutexHandle != 0) {
    platform::ReleaseInstanceMutex(InstanceMutexHandle);
    platform::CloseInstanceMutex(InstanceMutexHandle);
    InstanceMutexHandle = 0;
  }
  platform::ui::SetPlacementStore(nullptr);
  SettingsStore().Close();
  return 0;
}

void RegisterProgramThreadHooks() {
  platform::RegisterThreadHooks(
      [](bool first) {
        data::AttachThreadFiles();
        service::QWin().clear();
        if (!first) data::ThreadSetUpDataFiles();
      },
      [] {
        data::ThreadReleaseDataFiles();
        service::QWin().clear();
        data::DetachThreadFiles();
      });
}

}  // namespace app
