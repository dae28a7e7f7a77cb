#include "app/program.h"
#include "app/ui/main_window.h"
#include "app/ui/window_view.h"
#include "platform/cmdline.h"
#include "platform/eventloop.h"
#include "platform/thread.h"
#include "service/service.h"
#include "syslib/serial.h"

int main(int argc, char** argv) {
  platform::BlockSignals();
  platform::SetCommandLine(argc, argv);
  app::InitGlobals();
  app::RegisterProgramThreadHooks();
  // The serial monitor's events go to the thread that asked for them.
  syslib::SetCommEventSink([](int thread, int event) { platform::ui::PostToThread(thread, event); });
  // In service mode the worker thread runs the main window.
  service::SetMainProcedure(app::ui::Main);
  app::SetWindowViewFactory([] { return std::make_shared<app::ui::WindowView>(); });
  platform::ThreadAttach(/*firstThread=*/true);
  const int status = app::ProgramMain();
  platform::ThreadDetach();
  return status;
}
