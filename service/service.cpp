#include "service/service.h"

#include "platform/msgbox.h"

namespace service {

// Until the service host is built, every call ends as it does where no
// service manager is there.
void StartServiceDispatcher() {
  platform::MessageBox("FAILED SERVICE CONTROLLER CONNECT.\rCannot start service.", "Error");
}

void InstallService() {
  platform::MessageBox("CALL NOT IMPLEMENTED.\rCannot create Service Entry in Registry.", "Error");
}

void RemoveService() {
  platform::MessageBox("CALL NOT IMPLEMENTED.\rCannot open and remove Service Entry in Registry.", "Error");
}

}  // namespace service
