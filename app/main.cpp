#include "app/program.h"
#include "app/ui/main_window.h"
#include "app/ui/window_view.h"
#include "platform/cmdline.h"
#include "platform/eventloop.h"
#include "platform/signals.h"
#include "platform/sleepwatch.h"
#include "platform/thread.h"
#include "platform/winproc.h"
#include "service/service.h"
#include "syslib/serial.h"

int main(int argc, char** argv) {
  platform::BlockSignals();
  platform::SetCommandLine(argc, argv);
  // SIGTERM, SIGINT and SIGHUP end the session of the windows of this, the
  // first thread, from before anything can show a box; in service mode they
  // wait from the start for the dispatcher, which takes SIGTERM as the
  // service's stop. logind's sleep and wake reach the windows as power
  // events.
  platform::StartSignalWatch();
  const int windows = platform::ui::ThreadNumber();
  if (!app::RunsAsService()) platform::SetSignalRoute([windows](int) { platform::ui::EndSession(windows); });
  platform::SleepWatch sleep([windows](bool sleeping) {
    platform::ui::BroadcastPower(windows, sleeping ? platform::ui::PBT_APMSUSPEND : platform::ui::PBT_APMRESUMEAUTOMATIC);
  });
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
  platform::StopSignalWatch();
  return status;
}
