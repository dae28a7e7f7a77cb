// The system service host: install, remove and run under the service manager.
#pragma once

namespace service {

// Runs the service under the service manager; returns when it has stopped,
// or at once after an error box when no service manager started the program.
void StartServiceDispatcher();
// Install and remove the service; each ends with a message box.
void InstallService();
void RemoveService();

}  // namespace service
