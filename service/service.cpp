#include "service/service.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/eventloop.h"
#include "platform/fsutil.h"
#include "platform/msgbox.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "service/winerror_names.h"
#include "syslib/win32error.h"

extern char** environ;

namespace service {

std::atomic<int32_t> ServiceState{0};
std::atomic<uint8_t> ServiceRunning{0};
std::atomic<uint8_t> ServicePaused{0};
std::atomic<SERVICE_STATUS_HANDLE> ServiceStatusHandle{0};
std::atomic<HANDLE> ServiceStopEvent{nullptr};
std::atomic<int> ServiceWorkerThread{0};
std::string ServiceNameText;
std::string ServiceDisplayName;
std::string ServiceCommandLine;

namespace {

using platform::text::TrimRight;

constexpr int32_t kCheckPoint = 1;
constexpr int32_t kWaitHint = 1000;

std::function<void()> gMain;

// The worker, started and joined on ServiceMain's thread.
std::thread gWorker;
// The worker tells ServiceMain its thread number before it runs Main, so
// that a stop at any moment can post to it.
std::mutex gWorkerMutex;
std::condition_variable gWorkerKnown;
bool gWorkerPublished = false;

void Box(const std::string& text, const char* caption) { platform::MessageBox(text, caption); }

// "<name of the last error>" and the rest of the text.
std::string ErrorText(const char* rest) { return Win32ErrorName(0, 0) + rest; }

void Report(int32_t state) { ReportServiceStatus(state, 0, 0, kCheckPoint, kWaitHint); }

bool CreateWorkerThread() {
  {
    std::lock_guard lock(gWorkerMutex);
    gWorkerPublished = false;
  }
  try {
    gWorker = std::thread(RunMainInService);
  } catch (const std::system_error& e) {
    syslib::SetLastErrorFromErrno(e.code().value());
    return false;
  }
  std::unique_lock lock(gWorkerMutex);
  gWorkerKnown.wait(lock, [] { return gWorkerPublished; });
  return true;
}

// Opens the manager to change services; else the box for missing rights
// or for no manager at all.
bool OpenManager(ServiceManager& scm) {
  if (scm.OpenSCManagerA(STANDARD_RIGHTS_REQUIRED | SC_MANAGER_CREATE_SERVICE)) return true;
  if (scm.OpenSCManagerA(STANDARD_RIGHTS_REQUIRED))
    Box("This process requires administrator rights in order to create this service.", "Cannot Create Service");
  else
    Box(ErrorText(".\r\rNo Service Control Manager available.\rCheck your security access rights.\r\r"), "Error");
  return false;
}

// "VELORN_COMn=device" for every port named in the environment now, by n.
std::vector<std::string> PortEnvironment() {
  std::vector<std::pair<long, std::string>> ports;
  const std::string_view prefix = "VELORN_COM";
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    const std::string_view entry(*e);
    const size_t eq = entry.find('=');
    if (!entry.starts_with(prefix) || eq == std::string_view::npos || eq + 1 == entry.size()) continue;
    const std::string_view digits = entry.substr(prefix.size(), eq - prefix.size());
    if (digits.empty() || digits.size() > 3 || digits[0] == '0' ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    ports.emplace_back(std::strtol(std::string(digits).c_str(), nullptr, 10), std::string(entry));
  }
  std::sort(ports.begin(), ports.end());
  std::vector<std::string> env;
  for (auto& p : ports) env.push_back(std::move(p.second));
  return env;
}

}  // namespace

void SetMainProcedure(std::function<void()> main) { gMain = std::move(main); }

void StartServiceDispatcher() {
  platform::ThreadAttach(/*firstThread=*/true);
  ServiceNameText = "ServiceMain";
  // LOC:SERVICENAME, LOC:SERVICEPROC, then the closing entry.
  const SERVICE_TABLE_ENTRYA table[] = {{ServiceNameText.c_str(), ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) Box(ErrorText(".\rCannot start service."), "Error");
  if (HANDLE e = ServiceStopEvent.exchange(nullptr)) CloseHandle(e);
}

void ServiceMain(uint32_t /*argc*/, char** /*argv*/) {
  platform::ThreadAttach(/*firstThread=*/false);
  struct Detach {
    ~Detach() { platform::ThreadDetach(); }
  } detach;

  HANDLE stopEvent = CreateEventA(/*manualReset=*/true, /*initialState=*/false);
  if (HANDLE old = ServiceStopEvent.exchange(stopEvent)) CloseHandle(old);
  if (stopEvent == nullptr) {
    EndService();
    return;
  }
  ServiceState = SERVICE_RUNNING;
  ServiceStatusHandle = RegisterServiceCtrlHandlerA(ServiceNameText.c_str(), ServiceControlHandler);
  if (ServiceStatusHandle == 0) Box(ErrorText(".\rCannot register service handler."), "Error");
  Report(SERVICE_RUNNING);
  ServiceRunning = 1;
  if (!CreateWorkerThread()) {
    EndService();
    return;
  }
  for (;;) {
    if (WaitForSingleObject(stopEvent, kServiceWaitMs) == WAIT_OBJECT_0) ServiceRunning = 0;
    if (ServiceState == static_cast<int32_t>(SERVICE_STOP_PENDING) || ServiceRunning == 0) break;
  }
  EndService();
}

void EndService() {
  if (const int worker = ServiceWorkerThread.exchange(0); worker != 0)
    platform::ui::PostToThread(worker, platform::ui::EVENT::CloseDown);
  // The worker closes its record files before the manager hears "stopped".
  if (gWorker.joinable()) gWorker.join();
  ServiceState = SERVICE_STOPPED;
  Report(SERVICE_STOPPED);
}

void RunMainInService() {
  platform::ThreadAttach(/*firstThread=*/false);
  ServiceWorkerThread = platform::ui::ThreadNumber();
  {
    std::lock_guard lock(gWorkerMutex);
    gWorkerPublished = true;
  }
  gWorkerKnown.notify_all();
  if (gMain) gMain();
  SetEvent(ServiceStopEvent);
  platform::ThreadDetach();
}

void ServiceControlHandler(uint32_t control) {
  if (ServiceState == static_cast<int32_t>(SERVICE_RUNNING)) ServiceRunning = 1;
  ServicePaused = ServiceState == static_cast<int32_t>(SERVICE_PAUSED) ? 1 : 0;
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      ServiceState = SERVICE_STOP_PENDING;
      Report(SERVICE_STOP_PENDING);
      SetEvent(ServiceStopEvent);
      break;
    case SERVICE_CONTROL_PAUSE:
      if (ServiceRunning == 1 && ServicePaused == 0) {
        Report(SERVICE_PAUSE_PENDING);
        ServiceState = SERVICE_PAUSED;
      }
      break;
    case SERVICE_CONTROL_CONTINUE:
      if (ServicePaused == 1) {
        Report(SERVICE_CONTINUE_PENDING);
        ServiceState = SERVICE_RUNNING;
      }
      break;
    default:
      Report(ServiceState);
      break;
  }
}

SERVICE_STATUS ServiceStatusFor(int32_t state, int32_t win32ExitCode, int32_t serviceSpecificExitCode,
                                int32_t checkPoint, int32_t waitHint) {
  SERVICE_STATUS s;
  s.dwServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
  s.dwCurrentState = static_cast<uint32_t>(state);
  switch (state) {
    case SERVICE_STOP_PENDING:
      s.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
      break;
    case SERVICE_RUNNING:
      s.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
      break;
    default:
      s.dwControlsAccepted = 0;
      break;
  }
  if (serviceSpecificExitCode != 0) {
    s.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    s.dwServiceSpecificExitCode = static_cast<uint32_t>(serviceSpecificExitCode);
  } else {
    s.dwWin32ExitCode = static_cast<uint32_t>(win32ExitCode);
  }
  s.dwCheckPoint = static_cast<uint32_t>(checkPoint);
  s.dwWaitHint = static_cast<uint32_t>(waitHint);
  return s;
}

bool ReportServiceStatus(int32_t state, int32_t win32ExitCode, int32_t serviceSpecificExitCode, int32_t checkPoint,
                         int32_t waitHint) {
  return SetServiceStatus(ServiceStatusHandle,
                          ServiceStatusFor(state, win32ExitCode, serviceSpecificExitCode, checkPoint, waitHint));
}

void InstallService() {
  ServiceNameText = kServiceName;
  ServiceDisplayName = kServiceName;
  // GetModuleFileNameA
  const std::string module = platform::ExecutablePath();
  if (module.empty()) {
    Box("Invalid executable name.", "Error!");
    return;
  }
  const std::string folder = platform::ShortPath();
  const int folderErr = errno;
  ServiceCommandLine = std::string(TrimRight(module)) + " SERVICEPATH=" + folder;

  ServiceManager& scm = ServiceControlManager();
  if (!OpenManager(scm)) return;
  ServiceConfig config;
  config.name = ServiceNameText;
  config.displayName = ServiceDisplayName;
  config.serviceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
  config.startType = SERVICE_AUTO_START;
  config.errorControl = SERVICE_ERROR_NORMAL;
  // The exact path: a name that ends in blanks is still that file.
  config.command = {module, "SERVICEPATH=" + folder};
  config.environment = PortEnvironment();
  // Started in its data folder, as a window program started there: the
  // INI and the single-instance guard are that folder's.
  config.workingDirectory = folder;

  bool created = false;
  if (folder.empty()) syslib::SetLastErrorFromErrno(folderErr != 0 ? folderErr : ENOENT);
  else if (platform::text::CharCount(ServiceCommandLine) > kCommandLineChars)
    syslib::SetLastError(ERROR_FILENAME_EXCED_RANGE);
  else created = scm.CreateServiceA(config);
  if (!created) {
    Box(ErrorText(".\rCannot create Service Entry in Registry."), "Error");
    return;
  }
  Box("Service \"" + std::string(TrimRight(ServiceDisplayName)) + "\" installed.\rExecutable:  " + ServiceCommandLine +
          "\rWorking folder:  " + folder + "\rRestart:  on failure, after " + std::to_string(kRestartSeconds) + " s",
      "Finished");
}

void RemoveService() {
  ServiceManager& scm = ServiceControlManager();
  if (!OpenManager(scm)) return;
  ServiceNameText = kServiceName;
  if (!scm.OpenServiceA(ServiceNameText)) {
    Box(ErrorText(".\rCannot open and remove Service Entry in Registry."), "Error");
    return;
  }
  if (!scm.DeleteService(ServiceNameText)) {
    Box(ErrorText(".\rCannot remove Service Entry in Registry."), "Error");
    return;
  }
  Box("Service \"" + std::string(TrimRight(ServiceNameText)) + "\" removed.", "Finished");
}

}  // namespace service
