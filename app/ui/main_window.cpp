#include "app/ui/main_window.h"

#include "app/engine/live.h"

#include <unistd.h>

#include <functional>
#include <mutex>

#include "app/data/debuglog.h"
#include "app/data/records.h"
#include "app/globals.h"
#include "app/program.h"
#include "app/ui/messages.h"
#include "app/ui/task_form.h"
#include "platform/locale_texts.h"
#include "platform/msgbox.h"
#include "platform/shellnotify.h"
#include "platform/text.h"
#include "platform/winproc.h"
#include "service/endsession.h"
#include "service/winlist.h"
#include "syslib/placement.h"
#include "syslib/tray.h"
#include "syslib/winhook.h"

namespace app::ui {

namespace {

constexpr std::size_t kTextChars = 100;
constexpr const char* kStatusLabels[] = {"?INFO_TEXT", "?INFO_TEXT:2"};
// The values the tick moves on, shown by the window.
constexpr const char* kTickValues[] = {"?GLO:TIMEOUT", "?INTLACITKA", "?LAST_HIST", "?HIST0",
                                       "?HIST1",       "?HIST2",      "?HIST3",     "?GLO:HLASENI"};

std::string Caption() { return std::string(platform::text::TrimRight(CaptionText)); }
constexpr const char* kIcon = "velorn.ico";

void Say(std::string_view line) { [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, line.data(), line.size()); }

// The engine's lines on the program's output (a service's journal).
void ReportLine(std::string_view line) { Say("velorn: " + std::string(line) + "\n"); }

}  // namespace

MainWindow::MainWindow(engine::PortOps ops)
    : pu::WindowController(window_),
      window_("Main"),
      engine_({.view = this,
               .errorBox = aMessage,
               .endProgram = platform::Halt,
               .closingDown = pu::CloseDownPending,
               .report = ReportLine},
              std::move(ops)) {
  engine::InstallLiveStateMachine(engine_);
  BuildMainWindow(window_, locals_, engine_);
  window_.SetTimer(kMainTimer);
  // No dialog: Esc does not hide it.
  window_.SetEscapeCloses(false);
}

MainWindow::~MainWindow() { service::EndSessionUnlink(endSession_); }

int MainWindow::SetUp() {
  const int r = pu::WindowController::SetUp();
  if (r != pu::kGoOn) return r;
  if (!data::HasControllers()) data::ThreadSetUpDataFiles();
  auto& c = data::Controllers();
  for (data::Controller* ctl : {&c.OUTPUTS, &c.PRESET, &c.SETTINGS, &c.TASKS}) ctl->Open();
  filesOpen_ = true;
  lists_.SetUp(window_, locals_, [this](int procedure, uint8_t request) { return RunTaskForm(procedure, request); },
               Request == pu::ViewRecord);
  window_.Open();
  syslib::WinAlert(platform::ui::WM_WTSSESSION_CHANGE, 0, 0, 1, 1, 0);
  // The icon is added once the loop reaches this, after the open event.
  window_.Post(TrayLoadIconEvent);
  window_["?LIST"].SetLineHeight(10);
  window_["?LIST:2"].SetLineHeight(10);
  service::EndSessionAttach(endSession_, 1, 1, 1, 1);
  lists_.SetUpRest(window_);
  syslib::ds_VisibleOnDesktop(window_, 1);
  SetHotKeys();
  lists_.SortHeaderSetUp(window_);
  return pu::kGoOn;
}

int MainWindow::TearDown() {
  if (window_.HasOpened()) {
    syslib::WinTaskbarRemoveIcon(0, 1);
    iconInTray_ = false;
  }
  // While the window is still open: the standard tear-down closes it.
  service::EndSessionDetach(endSession_);
  const int r = pu::WindowController::TearDown();
  if (filesOpen_) {
    auto& c = data::Controllers();
    for (data::Controller* ctl : {&c.OUTPUTS, &c.PRESET, &c.SETTINGS, &c.TASKS}) ctl->Close();
    filesOpen_ = false;
    lists_.SortHeaderTearDown();
  }
  return r;
}

int MainWindow::OnAnyEvent() {
  if (lists_.SortHeaderTakeEvent(window_) == pu::kConsumed) return pu::kConsumed;
  const int r = pu::WindowController::OnAnyEvent();
  switch (window_.EventNumber()) {
    case syslib::TaskbarRestartEvent:
      // A tray host came back, or came for the first time: the window's
      // icon goes (back) into it.
      if (iconInTray_)
        syslib::WinTaskbarChangeIcon("", Caption(), kIcon, 0, 1, 0, 1);
      else
        AddTrayIcon();
      break;
    case TrayLoadIconEvent:
      AddTrayIcon();
      break;
    case syslib::TrayLeftDownEvent:
      if (!window_.Iconized()) window_.SetIconize(true);
      window_.SetHide(false);
      window_.SetIconize(false);
      break;
    case syslib::TrayLeftUpEvent:
      syslib::ds_ShowWindow(window_, 1);
      break;
    default:
      break;
  }
  return r;
}

int MainWindow::OnWindowEvent() {
  switch (window_.EventNumber()) {
    case service::EndSessionEvent:
      window_.Post(pu::EVENT::CloseDown);
      return pu::WindowController::OnWindowEvent();
    case pu::EVENT::CloseWindow:
      window_.SetIconize(true);
      window_.Post(pu::EVENT::Iconized);
      return pu::kConsumed;
    case pu::EVENT::CloseDown:
      SwitchInstallationOff();
      return pu::WindowController::OnWindowEvent();
    default:
      break;
  }
  const int r = pu::WindowController::OnWindowEvent();
  switch (window_.EventNumber()) {
    case pu::EVENT::AlertKey:
      if (window_.Keycode() == kKeyCtrlS || window_.Keycode() == kKeyCtrlQ) {
        window_["?TAB5"].SetHide(window_.Keycode() == kKeyCtrlQ);
        window_.Display();
      }
      break;
    case pu::EVENT::Iconized:
      if (CanHide()) window_.SetHide(true);
      return pu::kConsumed;
    case pu::EVENT::OpenWindow:
      HandleMainOpenWindow();
      break;
    case pu::EVENT::Timer:
      engine_.scheduler.HandleTimerTick();
      ShowTickValues();
      // The tray host went: the window comes back minimised.
      if (window_.Hidden() && !CanHide()) window_.SetHide(false);
      break;
    default:
      break;
  }
  return r;
}

void MainWindow::HandleMainOpenWindow() {
  data::Controller& settings = data::Controllers().SETTINGS;
  auto& file = data::Files().SETTINGS;
  if (file.Records() == 0) {
    settings.PrimeRecord();
    file.rec.PORT = "COM1";
    if (const int rc = settings.Insert(); rc != 0) {
      platform::ReportFileError(file.Decl().fileName, rc);
      SettingsErrorBox(rc);
      // A program that could not keep its settings did not end well.
      platform::Halt(kSettingsErrorExit);
    }
  }
  file.SetFileOrder();
  (void)file.Next();  // a failed read leaves the buffer as it is
  engine_.portState.COM_PORT = file.rec.PORT;
  engine_.portState.GLO_AMP_DELAY = file.rec.AMP_DELAY;
  if (GCU == 0) GCU = 1;
  window_.Alert(kKeyCtrlQ);
  window_.Alert(kKeyCtrlS);
  window_.SetText(Caption());
  // A start that is already being closed down leaves the port alone: the
  // greeting and the silencing would only hold the close-down up.
  if (!pu::CloseDownPending() && engine_.protocol.ConnectPort() == 1) {
    // The window leaves the screen once its icon is in the tray.
    if (iconInTray_)
      HideToTray();
    else
      hideWhenIconed_ = true;
    engine_.protocol.SilenceOutputs();
  }
  if (data::DebugEnabled == 1) {
    window_["?DEBUG_TEXT"].Show();
    window_["?GLO:TIMEOUT"].Show();
  }
  window_["?BUTTON51"].SetText("Začít hlášení");
  engine_.schedulerState.GLO_FILELENGHT = platform::TimeFromHms(0, 0, 10);

  pu::SetCursor(pu::Cursor::Wait);
  auto& outputs = data::Files().OUTPUTS;
  outputs.SetKeyOrder(data::OUT_KeyCislo);
  for (int k = 1; k <= kOutputNames && outputs.Next() == 0; ++k)
    locals_.OutputNames[static_cast<std::size_t>(k)] = outputs.rec.NAZEV;
  for (int k = 1; k <= kOutputButtons; ++k) {
    const std::string& name = locals_.OutputNames[static_cast<std::size_t>(k)];
    window_[OutputButton(k)].SetText(std::string(platform::text::TrimRight(name)));
    window_[OutputButton(k)].SetEnabled(!platform::text::TrimRight(name).empty());
  }
  ShowChosenOutputs(window_, engine_.schedulerState.OutputSelected, OutputButton);
  pu::SetCursor(pu::Cursor::Normal);
  Refresh(0);
}

void SettingsErrorBox(int code) {
  aMessage("stop.ico", "Chyba č." + std::to_string(code),
           "Při čtení nebo zápisu do databáze Settings.tps vznikla chyba č.: 0x0" + std::to_string(code) + " !\r\n" +
               "-> " + platform::locale::ErrorText(code));
}

void MainWindow::Refresh(uint8_t force) {
  if (window_.AcceptAll()) return;
  window_["?COPY"].SetEnabled(lists_.TaskRows() > 0);
  pu::WindowController::Refresh(force);
}

uint8_t MainWindow::RunTaskForm(int /*procedure*/, uint8_t request) {
  if (Request == pu::ViewRecord) return pu::RequestCancelled;
  pu::FormRequest = request;
  Editace_uloh();
  return pu::FormResponse;
}

void MainWindow::SetHotKeys() {
  pu::WindowController::SetHotKeys();
  lists_.SortHeaderSetAlerts(window_);
}

void MainWindow::AddTrayIcon() {
  iconInTray_ = syslib::WinTaskbarAddIcon("", Caption(), kIcon, 0, 0, 1) != 0;
  // Without an icon the window stays where the operator sees it, also when
  // a tray host comes later.
  if (iconInTray_ && hideWhenIconed_) HideToTray();
  hideWhenIconed_ = false;
}

void MainWindow::HideToTray() {
  hideWhenIconed_ = false;
  window_.SetIconize(true);
  if (CanHide()) window_.SetHide(true);
}

bool MainWindow::CanHide() const { return iconInTray_ && pu::TrayHostPresent(); }

void MainWindow::ShowTickValues() {
  for (const char* label : kTickValues) {
    const pu::Control& c = window_[label];
    if (pu::FormatPicture(c.PictureText(), c.Bound().Get()) != c.Text()) window_.Display(label);
  }
}

void MainWindow::SwitchInstallationOff() {
  engine::PortState& port = engine_.portState;
  if (port.PortHandle < 0) return;
  engine_.protocol.MainRelayOff();
  engine_.protocol.ResetAllOutputs();
  engine_.protocol.DisconnectPort();
  port.PortHandle = -1;
}

// --- EngineView

void MainWindow::SetText(std::string_view label, std::string_view text) {
  std::string* var = nullptr;
  if (label == "?INFO_TEXT" || label == "?INFO_TEXT:2")
    var = &locals_.statusText;
  else if (label == "?DEBUG_TEXT")
    var = &locals_.stepText;
  if (var != nullptr) {
    std::string t = platform::text::TruncateChars(text, kTextChars);
    if (t == *var) return;
    *var = std::move(t);
    if (var == &locals_.stepText) {
      window_.Display("?DEBUG_TEXT");
    } else {
      for (const char* l : kStatusLabels) window_.Display(l);
    }
    return;
  }
  if (pu::Control* c = window_.Find(label); c != nullptr && c->Text() != text) c->SetText(std::string(text));
}

void MainWindow::SetHidden(std::string_view label, bool hidden) {
  if (pu::Control* c = window_.Find(label); c != nullptr && c->Hidden() != hidden) c->SetHide(hidden);
}

void MainWindow::SetEnabled(std::string_view label, bool enabled) {
  if (pu::Control* c = window_.Find(label); c != nullptr && c->Enabled() != enabled) c->SetEnabled(enabled);
}

void MainWindow::SetFontColor(std::string_view label, int32_t color) {
  if (pu::Control* c = window_.Find(label); c != nullptr && c->FontColor() != color) c->SetFontColor(color);
}

void MainWindow::RefreshTaskList() { lists_.RefreshTaskList(); }

// --- Main

namespace {

// The running Main's window, for RequestMainEnd.
struct Running {
  std::mutex mutex;
  int thread = 0;
  pu::WindowId window = 0;
  bool endAsked = false;
};
Running& Current() {
  static Running* r = new Running;
  return *r;
}

// The main window of the program's run: it reports what reaches it.
class ProgramMainWindow final : public MainWindow {
 public:
  std::function<void()> opened;

  int OnWindowEvent() override {
    switch (Win().EventNumber()) {
      case pu::EVENT::OpenWindow: {
        if (opened) opened();
        const int r = MainWindow::OnWindowEvent();
        Say("velorn: ready\n");
        return r;
      }
      case pu::EVENT::Restored:
        Say("velorn: restored\n");
        break;
      case pu::EVENT::GainFocus:
        Say("velorn: front\n");
        break;
      default:
        break;
    }
    return MainWindow::OnWindowEvent();
  }
};

}  // namespace

void RequestMainEnd() {
  Running& r = Current();
  std::lock_guard lock(r.mutex);
  if (r.window != 0)
    pu::PostToWindow(r.thread, r.window, pu::EVENT::CloseDown);
  else
    r.endAsked = true;
}

void Main() {
  pu::View& before = pu::ThreadView();
  if (!before.Interactive()) pu::SetThreadView(&pu::SharedNativeHeadlessView());
  {
    ProgramMainWindow c;
    pu::Window& w = c.Win();
    pu::SetWindowClass(w, service::MainWindowClass(InstanceName));
    w.SetText(Caption());
    // Listed from the start: the boxes of the opening steps too.
    service::StartWindowListServer();
    c.opened = [&] {
      Running& r = Current();
      std::lock_guard lock(r.mutex);
      r.thread = w.ThreadNumber();
      r.window = w.Id();
      if (r.endAsked) w.Post(pu::EVENT::CloseDown);
    };
    c.Run();
  }
  {
    Running& r = Current();
    std::lock_guard lock(r.mutex);
    r.thread = 0;
    r.window = 0;
    r.endAsked = false;
  }
  service::StopWindowListServer();
  pu::SetThreadView(&before);
}

}  // namespace app::ui
