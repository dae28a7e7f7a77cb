// The service control manager as the service host calls it, over systemd.
//
// Dispatcher: the program is a service when systemd started it with a
// notification socket (NOTIFY_SOCKET, a unit of Type=notify). The
// dispatcher runs the service's routine on a thread of its own while the
// calling thread waits for SIGTERM from the program's signal watch
// (platform/signals.h) and hands it to the registered control handler as
// the stop control. A status report is one notification: running
// "READY=1", stop pending "STOPPING=1", every report with "STATUS=" and the
// name of its state.
//
// Manager: the services are systemd units in a unit folder
// (/etc/systemd/system, or the folder named by VELORN_UNIT_DIR). Creating
// a service writes its unit and enables it for multi-user.target as
// `systemctl enable` would; deleting it removes both. Only on the system's
// own folder under a running systemd is the manager told to reload.
//
// Every failing call leaves a Windows error code in syslib::GetLastError().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace service {

// Windows error codes this layer and the service host set.
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t ERROR_INVALID_NAME = 123;
inline constexpr uint32_t ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr uint32_t ERROR_SERVICE_DOES_NOT_EXIST = 1060;
inline constexpr uint32_t ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
inline constexpr uint32_t ERROR_SERVICE_SPECIFIC_ERROR = 1066;
inline constexpr uint32_t ERROR_SERVICE_EXISTS = 1073;
inline constexpr uint32_t ERROR_SERVICE_NOT_IN_EXE = 1083;

// Access rights.
inline constexpr uint32_t DELETE = 0x10000;
inline constexpr uint32_t STANDARD_RIGHTS_REQUIRED = 0xF0000;
inline constexpr uint32_t SC_MANAGER_CREATE_SERVICE = 0x0002;
inline constexpr uint32_t SERVICE_ALL_ACCESS = 0xF01FF;

// Service type, start type, error control.
inline constexpr uint32_t SERVICE_WIN32_OWN_PROCESS = 0x10;
inline constexpr uint32_t SERVICE_INTERACTIVE_PROCESS = 0x100;
inline constexpr uint32_t SERVICE_AUTO_START = 2;
inline constexpr uint32_t SERVICE_ERROR_NORMAL = 1;

// Service states.
inline constexpr uint32_t SERVICE_STOPPED = 1;
inline constexpr uint32_t SERVICE_START_PENDING = 2;
inline constexpr uint32_t SERVICE_STOP_PENDING = 3;
inline constexpr uint32_t SERVICE_RUNNING = 4;
inline constexpr uint32_t SERVICE_CONTINUE_PENDING = 5;
inline constexpr uint32_t SERVICE_PAUSE_PENDING = 6;
inline constexpr uint32_t SERVICE_PAUSED = 7;

// Controls and the controls a state accepts.
inline constexpr uint32_t SERVICE_CONTROL_STOP = 1;
inline constexpr uint32_t SERVICE_CONTROL_PAUSE = 2;
inline constexpr uint32_t SERVICE_CONTROL_CONTINUE = 3;
inline constexpr uint32_t SERVICE_CONTROL_INTERROGATE = 4;
inline constexpr uint32_t SERVICE_CONTROL_SHUTDOWN = 5;
inline constexpr uint32_t SERVICE_ACCEPT_STOP = 1;
inline constexpr uint32_t SERVICE_ACCEPT_PAUSE_CONTINUE = 2;
inline constexpr uint32_t SERVICE_ACCEPT_SHUTDOWN = 4;

struct SERVICE_STATUS {
  uint32_t dwServiceType = 0;
  uint32_t dwCurrentState = 0;
  uint32_t dwControlsAccepted = 0;
  uint32_t dwWin32ExitCode = 0;
  uint32_t dwServiceSpecificExitCode = 0;
  uint32_t dwCheckPoint = 0;
  uint32_t dwWaitHint = 0;
};

// --- dispatcher

using LPSERVICE_MAIN_FUNCTIONA = void (*)(uint32_t argc, char** argv);
using LPHANDLER_FUNCTION = void (*)(uint32_t control);
using SERVICE_STATUS_HANDLE = uintptr_t;  // 0: none

struct SERVICE_TABLE_ENTRYA {
  const char* lpServiceName;
  LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
};

// Runs the first entry's routine (argument count 1, the entry's name) on a
// thread of its own and returns when it has returned. Meanwhile the signal
// watch's route is the dispatcher's: for each SIGTERM the calling thread
// calls the registered handler with SERVICE_CONTROL_STOP (a SIGTERM that
// comes before a handler is registered and a first status is reported
// waits for both); SIGINT and SIGHUP are dropped. At the end the route is
// cleared (signals wait).
// Fails with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when NOTIFY_SOCKET is
// unset or empty (no service manager started the program) or the table has
// no entry, and with the code of the errno when the thread cannot be made.
bool StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table);

// Registers the control handler while the dispatcher runs (the name is not
// checked: the service has its process to itself). Returns a non-zero
// handle; 0 with ERROR_SERVICE_NOT_IN_EXE when no dispatcher runs.
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* serviceName, LPHANDLER_FUNCTION handler);

// Sends the status as one notification (see the top). Fails with
// ERROR_INVALID_HANDLE for a handle that is not the registered one, with
// ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when NOTIFY_SOCKET is unset, and
// with the code of the errno when sending fails.
bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status);

// The notification that SetServiceStatus sends for a status.
std::string StatusNotification(const SERVICE_STATUS& status);

// --- events

// A Windows event object: manual or automatic reset.
class EventObject;
using HANDLE = EventObject*;
inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_TIMEOUT = 258;
inline constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;

// nullptr with ERROR_NOT_ENOUGH_MEMORY when the event cannot be made.
HANDLE CreateEventA(bool manualReset, bool initialState);
bool SetEvent(HANDLE event);
// WAIT_OBJECT_0 when the event is (or becomes) signalled within
// milliseconds, else WAIT_TIMEOUT; WAIT_FAILED for no event. An automatic
// event is reset by the wait that sees it.
uint32_t WaitForSingleObject(HANDLE event, uint32_t milliseconds);
// Frees the event; nothing may use it afterwards.
bool CloseHandle(HANDLE event);

// --- manager

// A service as it is created.
struct ServiceConfig {
  std::string name;
  std::string displayName;
  uint32_t serviceType = SERVICE_WIN32_OWN_PROCESS;
  uint32_t startType = SERVICE_AUTO_START;
  uint32_t errorControl = SERVICE_ERROR_NORMAL;
  std::vector<std::string> command;      // the program's full path, then its arguments
  std::vector<std::string> environment;  // "NAME=value", set for the service's process
  std::string workingDirectory;          // the service's current folder; "" for none
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // Whether the manager of the local machine opens with the desired
  // access (SC_MANAGER_CREATE_SERVICE | STANDARD_RIGHTS_REQUIRED to change
  // services, STANDARD_RIGHTS_REQUIRED alone to look).
  virtual bool OpenSCManagerA(uint32_t desiredAccess) = 0;
  // Creates the service; ERROR_SERVICE_EXISTS when it is there already.
  virtual bool CreateServiceA(const ServiceConfig& config) = 0;
  // Whether the service exists; ERROR_SERVICE_DOES_NOT_EXIST when not.
  virtual bool OpenServiceA(std::string_view name) = 0;
  // Deletes the service (a running one goes on running).
  virtual bool DeleteService(std::string_view name) = 0;
};

// The systemd unit folder as the manager.
//   OpenSCManagerA: the folder must be a folder (else the code of the
//     errno); to change services it must be writable (else
//     ERROR_ACCESS_DENIED, as for a read-only file system).
//   CreateServiceA: writes "<name>.service" and the link
//     "multi-user.target.wants/<name>.service" to it (made through a
//     temporary name and a rename, mode 0644). Refuses with
//     ERROR_INVALID_NAME, writing nothing, a value that is not UTF-8 or
//     holds a control character, and a program path that holds a quote or a
//     backslash (systemd runs no such program).
//   DeleteService: removes the link (when there) and the unit.
class UnitFolderManager : public ServiceManager {
 public:
  // The folder; "" takes UnitFolder() at each call.
  explicit UnitFolderManager(std::string folder = {});
  bool OpenSCManagerA(uint32_t desiredAccess) override;
  bool CreateServiceA(const ServiceConfig& config) override;
  bool OpenServiceA(std::string_view name) override;
  bool DeleteService(std::string_view name) override;

 private:
  std::string Folder() const;
  void Reload() const;
  std::string folder_;
};

inline constexpr const char* kSystemUnitFolder = "/etc/systemd/system";
// VELORN_UNIT_DIR when set and not empty, else kSystemUnitFolder.
std::string UnitFolder();

// The unit text for a service: Description (the display name), Type=notify,
// ExecStart (every word quoted; "\" and "\"" escaped, "%" as "%%", and in
// the arguments "$" as "$$"), WorkingDirectory= (as it is, "%" as "%%";
// systemd takes the value unquoted), an Environment= line per entry (quoted
// and escaped as ExecStart's, "$" as it is), Restart=on-failure after
// kRestartSeconds, WantedBy=multi-user.target.
inline constexpr int kRestartSeconds = 10;
std::string UnitText(const ServiceConfig& config);
// Whether a value can stand in a unit: UTF-8 without control characters.
bool UnitValueValid(std::string_view value);

// The manager the service host uses: the unit folder's, unless another one
// was set (tests); nullptr goes back to the unit folder's.
ServiceManager& ServiceControlManager();
void SetServiceControlManager(ServiceManager* manager);

}  // namespace service
