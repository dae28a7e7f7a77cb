#include "app/ui/main_window.h"

#include <unistd.h>

#include <functional>
#include <mutex>
#include <string_view>

#include "app/globals.h"
#include "app/program.h"
#include "app/ui/engine_host.h"
#include "platform/window.h"
#include "platform/winproc.h"
#include "service/endsession.h"
#include "service/winlist.h"

namespace app::ui {

namespace {

namespace pui = platform::ui;

void Say(std::string_view line) { [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, line.data(), line.size()); }

// The running Main's window, for RequestMainEnd.
struct Running {
  std::mutex mutex;
  int thread = 0;
  pui::WindowId window = 0;
  bool endAsked = false;
};
Running& Run() {
  static Running* r = new Running;
  return *r;
}

// Until the real main window exists: the engine's host, with the main
// window's class and caption, reporting what reaches it. It hears the end
// of the session through the session-end subclass and closes down on it.
class StandIn : public EngineHost {
 public:
  std::function<void()> opened;
  service::EndSessionClass endSession;

  int SetUp() override {
    const int r = EngineHost::SetUp();
    if (r == pui::kGoOn) service::EndSessionAttach(endSession, 1, 1, 1, 1);
    return r;
  }

  int TearDown() override {
    service::EndSessionDetach(endSession);
    return EngineHost::TearDown();
  }

  int OnWindowEvent() override {
    switch (Win().EventNumber()) {
      case service::EndSessionEvent:
        pui::PostEvent(pui::EVENT::CloseDown);
        break;
      case pui::EVENT::OpenWindow: {
        if (opened) opened();
        const int r = EngineHost::OnWindowEvent();
        Say("velorn: ready\n");
        return r;
      }
      case pui::EVENT::Restored:
        Say("velorn: restored\n");
        break;
      case pui::EVENT::GainFocus:
        Say("velorn: front\n");
        break;
      default:
        break;
    }
    return EngineHost::OnWindowEvent();
  }
};

}  // namespace

void RequestMainEnd() {
  Running& r = Run();
  std::lock_guard lock(r.mutex);
  if (r.window != 0) pui::PostToWindow(r.thread, r.window, pui::EVENT::CloseDown);
  else r.endAsked = true;
}

void Main() {
  if (GCU == 0) GCU = 1;

  pui::View& before = pui::ThreadView();
  if (!before.Interactive()) pui::SetThreadView(&pui::SharedNativeHeadlessView());

  {
    StandIn c;
    pui::Window& w = c.Win();
    pui::SetWindowClass(w, service::MainWindowClass(InstanceName));
    w.SetText(CaptionText);
    // Listed from the start: the boxes of the opening steps too.
    service::StartWindowListServer();
    c.opened = [&] {
      Running& r = Run();
      std::lock_guard lock(r.mutex);
      r.thread = w.ThreadNumber();
      r.window = w.Id();
      if (r.endAsked) w.Post(pui::EVENT::CloseDown);
    };
    c.Run();
    service::EndSessionUnlink(c.endSession);
  }

  {
    Running& r = Run();
    std::lock_guard lock(r.mutex);
    r.thread = 0;
    r.window = 0;
    r.endAsked = false;
  }
  service::StopWindowListServer();
  pui::SetThreadView(&before);
}

}  // namespace app::ui
