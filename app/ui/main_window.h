// The main window: the sheet of five tabs, the legend below it, and the
// controller whose timer tick drives the engine.
//
// Main runs it on the calling thread (the first thread of a window program,
// or the service's worker thread) until it closes down. The window holds the
// four record files open, creates the settings record when there is none,
// connects the port and, once connected and once its notification icon is
// in the tray, hides itself there. The close box, Alt+F4 and the minimise
// button only hide it (or, while it has no icon in the tray, minimise it);
// a click on the icon brings it back. It closes down on the end-session
// event (916h), on a service stop and on the confirmed exit; with the port
// open the close-down switches the amplifier and every zone off and closes
// the port.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/engine/engine.h"
#include "app/engine/engine_view.h"
#include "app/ui/main_lists.h"
#include "app/ui/output_buttons.h"
#include "platform/filedialog.h"
#include "platform/window.h"
#include "service/endsession.h"

namespace app::ui {

namespace pu = platform::ui;

inline constexpr int kMainTimer = 25;  // hundredths
inline constexpr int kSettingsErrorExit = 5;

// The event the window posts itself to add its notification icon. It also
// handles the hook's TaskbarRestartEvent, TrayLeftDownEvent and
// TrayLeftUpEvent (syslib/winhook.h) and the session-end subclass's
// EndSessionEvent (service/endsession.h).
inline constexpr int TrayLoadIconEvent = 6790;

// Alert keys.
inline constexpr int kKeyCtrlQ = 0x251;
inline constexpr int kKeyCtrlS = 0x253;

// The colours of the legend and of a chosen output (00BBGGRRh).
inline constexpr int32_t kRed = 0xFF;
inline constexpr int32_t kOrange = 0x80FF;
inline constexpr int32_t kGrey = 0x808080;

inline constexpr int kOutputNames = 40;

// The state the window shows that is its own (the engine keeps the rest).
struct MainLocals {
  std::string statusText;          // ?INFO_TEXT and ?INFO_TEXT:2, 100 characters
  std::string stepText;            // ?DEBUG_TEXT, 100 characters
  uint8_t ShowActiveOnly = 0;      // ?FILTR_ZOBRAZENI
  std::array<std::string, kOutputNames + 1> OutputNames{};  // [1..40]
  uint8_t LiveButtonOn = 0;
  uint8_t CopyKeepsRecord = 0;
  uint8_t LastTaskSortOrder = 0;
  std::string Opakovat;            // "ANO" / "NE"
  std::array<std::string, 11> PresetNibbles{};  // [1..10]
};

// The label of output k's button (k = 1 .. 32).
std::string OutputButton(int k);

// The box of a settings record that could not be read or written:
// "Chyba č." & code, with the code's text.
void SettingsErrorBox(int code);

// Adds the window's controls, in window order, each bound to its variable
// (the window's own or the engine's).
void BuildMainWindow(pu::Window& w, MainLocals& locals, engine::Engine& engine);

class MainWindow : public pu::WindowController, public engine::EngineView {
 public:
  // The engine talks to the devices through ops (the serial library's
  // unless a test gives its own).
  explicit MainWindow(engine::PortOps ops = engine::LibraryPort());
  ~MainWindow() override;

  int SetUp() override;
  int TearDown() override;
  int OnAnyEvent() override;
  int OnWindowEvent() override;
  // The operator's commands (main_commands.cpp), in three stages: the
  // volume control, the tab's live toggle and the exit's question and
  // switch-off; the standard handling; every other command and the exit's
  // close-down. kConsumed when a command stopped (refused, cancelled),
  // else the standard handling's result.
  int OnControlAccepted() override;
  void Refresh(uint8_t force) override;
  void SetHotKeys() override;
  // Opens the task editor for the task list with request 1 (insert) or 2
  // (change); 2 (cancelled) for a window run to view.
  uint8_t RunTaskForm(int procedure, uint8_t request);
  // The opening steps (the open event).
  void HandleMainOpenWindow();

  // EngineView
  void SetText(std::string_view label, std::string_view text) override;
  void SetHidden(std::string_view label, bool hidden) override;
  void SetEnabled(std::string_view label, bool enabled) override;
  void SetFontColor(std::string_view label, int32_t color) override;
  void RefreshTaskList() override;

  pu::Window& Win() { return window_; }
  MainLocals& Locals() { return locals_; }
  // The engine the window owns; what the window opens is given its parts.
  engine::Engine& Engine() { return engine_; }
  MainLists& Lists() { return lists_; }
  // True while the window's notification icon is in the tray.
  bool IconInTray() const { return iconInTray_; }
  // The file picker of ?LOOKUPFILE: WAV files.
  const platform::FileDialogRequest& WavPicker() const { return wavPicker_; }

 private:
  // Adds the window's notification icon; the window hides there when it
  // was waiting for it.
  void AddTrayIcon();
  // Hides the window into the tray, or, without an icon there, minimises it.
  void HideToTray();
  // Whether the window's icon is in the tray and a tray host shows it.
  bool CanHide() const;
  // Shows the controls the tick changes whose value moved on.
  void ShowTickValues();
  // Every relay off and the port closed, as the confirmed exit leaves them.
  void SwitchInstallationOff();

  class Commands;  // main_commands.cpp
  friend class Commands;

  pu::Window window_;
  MainLocals locals_;
  engine::Engine engine_;
  MainLists lists_;
  service::EndSessionClass endSession_;
  platform::FileDialogRequest wavPicker_{"Otevřít soubor", "soubory WAV", "*.WAV", {}};
  bool filesOpen_ = false;
  bool iconInTray_ = false;
  bool hideWhenIconed_ = false;
};

// Runs the main window; returns when it has closed. The window carries the
// main window's class (service::MainWindowClass(InstanceName)) and caption
// (CaptionText); the window list is served while it is open. Writes
// "velorn: ready" to standard output once the window has opened ("velorn:
// restored" and "velorn: front" when it is restored or brought to the
// front). Closes down on the end of the session (its session-end
// subclass's EndSessionEvent) and on RequestMainEnd.
void Main();
// Asks a running Main to close down (from any thread).
void RequestMainEnd();

}  // namespace app::ui
