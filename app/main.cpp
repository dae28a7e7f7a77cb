#include "app/program.h"
#include "app/ui/window_view.h"
#include "platform/cmdline.h"
#include "platform/thread.h"

int main(int argc, char** argv) {
  platform::BlockSignals();
  platform::SetCommandLine(argc, argv);
  app::InitGlobals();
  app::RegisterProgramThreadHooks();
  app::SetWindowViewFactory([] { return std::make_shared<app::ui::WindowView>(); });
  platform::ThreadAttach(/*firstThread=*/true);
  const int status = app::ProgramMain();
  platform::ThreadDetach();
  return status;
}
