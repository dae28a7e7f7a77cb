#include "app/program.h"
#include "platform/cmdline.h"
#include "platform/thread.h"

int main(int argc, char** argv) {
  platform::BlockSignals();
  platform::SetCommandLine(argc, argv);
  app::InitGlobals();
  app::RegisterProgramThreadHooks();
  platform::ThreadAttach(/*firstThread=*/true);
  const int status = app::ProgramMain();
  platform::ThreadDetach();
  return status;
}
