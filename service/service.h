// The system service host: install, remove and run under the service
// manager (service/scm.h: systemd).
//
// In service mode the first thread stays in StartServiceDispatcher, which
// reads SIGTERM as the stop control; ServiceMain runs on a thread of its
// own and starts the worker thread, which runs the main procedure (set with
// SetMainProcedure) headless until it closes. A stop posts the close-down
// event to the worker and waits for the worker to end before the stopped
// state is reported, so no record file is open when the process ends.
//
// Every box here is the platform's plain box with a caption, no icon and an
// OK button; error texts begin with the name of the Windows error code.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "service/scm.h"

namespace service {

// --- shared values (one each per process)

// The state as last set here: 1 stopped, 3 stop pending, 4 running, 7 paused.
extern std::atomic<int32_t> ServiceState;
// 1 from the report of the running state until the stop event is seen; the
// control handler sets it to 1 whenever ServiceState is 4.
extern std::atomic<uint8_t> ServiceRunning;
// 1 when ServiceState is 7; refreshed by the control handler on every call.
extern std::atomic<uint8_t> ServicePaused;
extern std::atomic<SERVICE_STATUS_HANDLE> ServiceStatusHandle;
// Manual reset; signalled by a stop or shutdown request and by the worker
// when the main procedure has returned.
extern std::atomic<HANDLE> ServiceStopEvent;
// The worker's platform thread number (platform/eventloop.h), 0 when none.
extern std::atomic<int> ServiceWorkerThread;
// "ServiceMain" for the dispatcher table and the handler, "vELORN" for
// installation and removal.
extern std::string ServiceNameText;
extern std::string ServiceDisplayName;
// The command line registered at installation (at most 255 characters).
extern std::string ServiceCommandLine;

inline constexpr const char* kServiceName = "vELORN";
inline constexpr int32_t kServiceWaitMs = 65535;
inline constexpr std::size_t kCommandLineChars = 255;

// The procedure the worker runs (the main window); it runs headless on the
// worker and returns when its window has closed, which the close-down event
// posted to the worker's thread brings about.
void SetMainProcedure(std::function<void()> main);

// --- routines

// Runs the service; returns when it has stopped, or at once after the box
// "Error" "<error name>.\rCannot start service." when the dispatcher cannot
// start (no service manager started the program: "FAILED SERVICE
// CONTROLLER CONNECT").
void StartServiceDispatcher();
// The service's main routine, on the dispatcher's thread for it.
void ServiceMain(uint32_t argc, char** argv);
// The control handler (stop 1, pause 2, continue 3, interrogate 4,
// shutdown 5, any other code as interrogate).
void ServiceControlHandler(uint32_t control);
// Posts the close-down event to the worker, waits for the worker to end,
// reports the stopped state.
void EndService();
// The worker's body: attaches the thread, runs the main procedure, signals
// ServiceStopEvent.
void RunMainInService();
// Fills a status (own process, the controls the state accepts, check point
// and wait hint) and reports it; the result of SetServiceStatus.
bool ReportServiceStatus(int32_t state, int32_t win32ExitCode, int32_t serviceSpecificExitCode, int32_t checkPoint,
                         int32_t waitHint);
// The status ReportServiceStatus sends.
SERVICE_STATUS ServiceStatusFor(int32_t state, int32_t win32ExitCode, int32_t serviceSpecificExitCode,
                                int32_t checkPoint, int32_t waitHint);

// Installs the service through ServiceControlManager(): the program's path
// and "SERVICEPATH=" with the current folder, the current folder as its
// working folder, every VELORN_COMn set now in the service's environment,
// and a restart after a failure. Refused with "INVALID NAME" for a value the
// unit cannot hold (service/scm.h) and with "FILENAME EXCED RANGE" for a
// command line over 255 characters; nothing is written then. Ends with the
// box "Finished" (the command line, unquoted, the working folder and the
// restart) or an error box.
void InstallService();
// Removes the service (a running one is not stopped); ends with a box.
void RemoveService();

}  // namespace service
