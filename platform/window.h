// The window model: windows, their controls, bound variables, the window
// controller and its event loop.
//
// A Window is the structure: controls in window order (their numbers, 1 ..),
// found by label ("?BUTTON_OK"), each with its properties and an optional
// bound variable. A WindowController runs a window: SetUp, the event loop,
// TearDown. Its handlers return kGoOn (0) to let an event go on to the next
// stage and kConsumed (5) to end its handling:
//
//   OnAnyEvent            every event first; its standard form dispatches:
//     field events:       Accepted -> OnControlAccepted, Selected ->
//                         OnControlSelected; then OnFieldEvent; then the
//                         window's components (lists, drop lists)
//     window and program  OnWindowEvent (open, close box, close-down, timer,
//     events:             alert key on the window, iconized, program events)
//
// Standard handling: CloseWindow and CloseDown end the loop; an accepted
// OkControl sets Response 1 and ends it, an accepted CancelControl sets
// Response 2 and ends it.
//
// Keys: an operator's key that the window registered (Alert) comes as
// AlertKey; Esc without one is the window's close box (EscapeCloses).
//
// Threads: a window belongs to the thread that opens it and is used only on
// that thread, except Post, which any thread may call while the window
// exists. Windows of a thread nest: a window whose loop runs inside a
// handler of another holds the windows below it (eventloop.h).
//
// Bound variables: Display copies variables to their controls, Update
// copies what the controls show back to their variables. Accepting a control
// (an operator's action) updates that control's variable before
// OnControlAccepted sees it; an entry then shows its variable as taken (the
// picture's form). A text that does not fit its picture or its variable is
// refused: the event comes as Rejected, the variable keeps its value (a spin
// box takes the nearest end of its range for a number outside it), the
// control shows the variable again, keeps the focus, the view beeps, and the
// window's field events queued behind it (the operator's next clicks and
// entries, made on a value that was not taken) are dropped. After every
// event a window has handled, and in the windows below a window whose loop
// has ended, each control whose variable has changed since it was last
// shown or taken shows it again: what a control shows is what its variable
// holds.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/eventloop.h"
#include "platform/ini.h"
#include "platform/picture.h"
#include "platform/view.h"

namespace platform::ui {

enum class ControlKind {
  Button, Entry, Check, Option /* radio group */, Radio, Spin, DropList, List,
  Sheet, Tab, Group, Prompt, Text, Image, Box, Line,
  Region,  // a mouse-reporting area; lists make theirs (platform/recordlist.h)
};

// Colours are 00BBGGRRh; this is the control's normal colour.
inline constexpr int32_t kNormalColor = -1;

// The key code of Esc (key codes: platform/qt/qtview.h's KeyCodeOf).
inline constexpr int kEscapeKey = 0x1B;

// A variable bound to a control.
class Binding {
 public:
  Binding() = default;
  Binding(std::function<Value()> get, std::function<bool(const Value&)> set)
      : get_(std::move(get)), set_(std::move(set)) {}

  // An integer variable: a value outside its type does not fit.
  template <std::integral T>
  static Binding Of(T& var) {
    return Binding([&var] { return Value(static_cast<int64_t>(var)); },
                   [&var](const Value& v) {
                     const int64_t n = ValueNumber(v);
                     if (n < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
                         (n > 0 && static_cast<uint64_t>(n) > static_cast<uint64_t>(std::numeric_limits<T>::max())))
                       return false;
                     var = static_cast<T>(n);
                     return true;
                   });
  }
  // A text variable (Windows-1250 text: a character it cannot hold is
  // taken as '?'); maxChars > 0 cuts what is stored to that many characters.
  static Binding Of(std::string& var, std::size_t maxChars = 0);

  explicit operator bool() const { return static_cast<bool>(get_); }
  Value Get() const { return get_ ? get_() : Value(std::string()); }
  bool Set(const Value& v) const { return set_ ? set_(v) : false; }

 private:
  std::function<Value()> get_;
  std::function<bool(const Value&)> set_;
};

// The rows of a list or drop list. A source over a record file reads through
// its own view of the file: no refresh may move the file's record buffer or
// a sequential read that is under way.
class ListSource {
 public:
  virtual ~ListSource() = default;
  virtual int Rows() = 0;
  virtual std::string Cell(int row, int column) = 0;  // row from 1
  virtual void Refill() {}
};

class Window;

class Control {
 public:
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  int Number() const { return number_; }
  const std::string& Label() const { return label_; }
  ControlKind Kind() const { return kind_; }
  Control* Parent() const { return parent_; }
  Window& Owner() const { return *owner_; }

  // Caption of buttons, check boxes, radios, prompts, tabs and group boxes;
  // the shown text of entries, texts, spin boxes and drop lists.
  const std::string& Text() const { return text_; }
  Control& SetText(std::string text);
  const std::string& Tip() const { return tip_; }
  Control& SetTip(std::string tip);
  // A button's picture or an image control's file.
  const std::string& Image() const { return image_; }
  Control& SetImage(std::string file);

  bool Hidden() const { return hidden_; }
  Control& SetHide(bool hide);
  Control& Hide() { return SetHide(true); }
  Control& Show() { return SetHide(false); }
  // Not hidden, and no parent (tab, sheet, group) hidden.
  bool Visible() const;
  bool Enabled() const { return enabled_; }
  Control& SetEnabled(bool enabled);
  Control& Enable() { return SetEnabled(true); }
  Control& Disable() { return SetEnabled(false); }

  int32_t Color() const { return color_; }
  Control& SetColor(int32_t color);  // kNormalColor: no colour of its own
  int32_t FontColor() const { return fontColor_; }
  Control& SetFontColor(int32_t color);
  bool Bold() const { return bold_; }
  Control& SetBold(bool bold);
  bool ReadOnly() const { return readOnly_; }
  Control& SetReadOnly(bool readOnly);
  bool Flat() const { return flat_; }
  Control& SetFlat(bool flat);
  bool Center() const { return center_; }
  Control& SetCenter(bool center);
  // A required entry counts as empty when its text is blank or its date or
  // time is 0 (Window::FirstEmptyRequired).
  bool Required() const { return required_; }
  Control& SetRequired(bool required);
  int LineHeight() const { return lineHeight_; }
  Control& SetLineHeight(int height);
  // A container (group box, tab, radio group) whose children a view lays
  // out as a grid of this many columns: one child a cell, in window order,
  // row by row; a hidden child keeps its cell empty, so the grid does not
  // move. 0 (the default): the view's own arrangement. Set before the
  // window opens.
  int Columns() const { return columns_; }
  Control& SetColumns(int columns);
  // The control's cell in the grid a view lays it out in: its container's
  // grid of columns, or, for a button, the grid of buttons at the bottom of
  // a container without columns. Row and column from 0; span: the columns
  // it takes. Controls without a cell take the next cells in window order.
  // Set before the window opens.
  struct Cell {
    int row = -1, column = -1, span = 1;
  };
  const Cell& GridCell() const { return cell_; }
  bool HasCell() const { return cell_.row >= 0 && cell_.column >= 0; }
  Control& SetCell(int row, int column, int span = 1);

  const std::string& PictureText() const { return pictureText_; }
  Control& SetPicture(std::string picture);

  // The bound variable.
  Control& Bind(Binding b);
  template <class T>
  Control& Bind(T& var) { return Bind(Binding::Of(var)); }
  Control& Bind(std::string& var, std::size_t maxChars) { return Bind(Binding::Of(var, maxChars)); }
  const Binding& Bound() const { return binding_; }

  // Check box: its state and the values it gives its variable (1 and 0).
  bool Checked() const { return checked_; }
  Control& SetChecked(bool checked);
  Control& SetCheckValues(Value on, Value off);
  // Radio button: the value it gives its group's variable.
  const Value& RadioValue() const { return radioValue_; }
  Control& SetRadioValue(Value v);

  // Choice: the chosen row of a drop list or list, tab of a sheet, or radio
  // of a radio group (counted 1 .. among its radios); 0 none.
  int Choice() const { return choice_; }
  Control& SetChoice(int choice);
  // Fixed choices of a drop list ("COM1" ... ).
  const std::vector<std::string>& Choices() const { return choices_; }
  Control& SetChoices(std::vector<std::string> choices);
  // Rows from a source instead (lists, drop lists over record views).
  Control& SetSource(std::shared_ptr<ListSource> source);
  ListSource* Source() const { return source_.get(); }

  // Spin box range; steps clamp into it.
  Control& SetRange(int64_t low, int64_t high, int64_t step = 1);
  int64_t RangeLow() const { return low_; }
  int64_t RangeHigh() const { return high_; }
  int64_t RangeStep() const { return step_; }

  // Controls whose parent this is, in window order (tabs of a sheet, radios
  // of a group, controls on a tab).
  std::vector<Control*> Children() const;

 private:
  friend class Window;
  Control(Window* owner, int number, ControlKind kind, std::string label, std::string text, Control* parent);
  void Changed(Property p);

  Window* owner_;
  int number_;
  ControlKind kind_;
  std::string label_;
  Control* parent_;
  std::string text_, tip_, image_, pictureText_;
  Picture picture_;
  bool hidden_ = false, enabled_ = true, bold_ = false, readOnly_ = false, flat_ = false, center_ = false,
       required_ = false, checked_ = false;
  int32_t color_ = kNormalColor, fontColor_ = kNormalColor;
  int lineHeight_ = 0;
  int columns_ = 0;
  Cell cell_;
  Binding binding_;
  Value checkOn_ = int64_t{1}, checkOff_ = int64_t{0}, radioValue_ = int64_t{0};
  int choice_ = 0;
  Value shown_;            // the variable's value when last shown or taken
  bool hasShown_ = false;
  std::vector<std::string> choices_;
  std::shared_ptr<ListSource> source_;
  int64_t low_ = 0, high_ = 0, step_ = 1;
};

// A part of a window that sees its events after the handlers let them go
// on (lists, drop lists, locators). Not owned by the window.
class WindowComponent {
 public:
  virtual ~WindowComponent() = default;
  virtual int TakeEvent(Window& w) = 0;
  virtual void SetAlerts(Window&) {}
  virtual void Refresh(Window&, uint8_t /*force*/) {}
};

struct Placement {
  int x = 0, y = 0, width = 0, height = 0;
  bool maximized = false, minimized = false;
  bool operator==(const Placement&) const = default;
};

enum class Cursor { Normal, Wait };

class WindowController;

class Window {
 public:
  // The procedure's name names the INI section of the window's placement.
  explicit Window(std::string procedureName = {});
  ~Window();  // closes the window if it is open (on its own thread)
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // --- structure
  // Adds a control at the end of the window order. Labels are unique; a
  // second control with a label already in use is a programming error
  // (aborts). parent: the sheet of a tab, the group of a radio, the tab or
  // group box a control lies on.
  Control& Add(ControlKind kind, std::string label, std::string text = {}, Control* parent = nullptr);
  Control* Find(std::string_view label);
  const Control* Find(std::string_view label) const;
  // The control of a label that must exist (aborts when it does not).
  Control& operator[](std::string_view label);
  Control* At(int number);
  int Number(std::string_view label) const;  // 0 when there is none
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  void AddComponent(WindowComponent* c);
  void RemoveComponent(WindowComponent* c);

  // --- properties
  WindowId Id() const { return id_; }
  int ThreadNumber() const { return thread_; }  // the opening thread, 0 before
  const std::string& ProcedureName() const { return procedure_; }
  const std::string& Text() const { return caption_; }  // the caption
  Window& SetText(std::string caption);
  const std::string& Icon() const { return icon_; }
  Window& SetIcon(std::string file);
  const std::string& Wallpaper() const { return wallpaper_; }
  Window& SetWallpaper(std::string file);
  Window& SetFont(std::string name, int points);
  const std::string& FontName() const { return fontName_; }
  int FontPoints() const { return fontPoints_; }
  // Timer period in hundredths of a second; 0 none. Setting it restarts it.
  // No tick comes before the window's OpenWindow event has been handled;
  // the first comes one period after that.
  int Timer() const { return timer_; }
  Window& SetTimer(int hundredths);
  bool Hidden() const { return hidden_; }
  Window& SetHide(bool hide);
  bool Iconized() const { return placement_.minimized; }
  Window& SetIconize(bool iconize);
  bool Maximized() const { return placement_.maximized; }
  Window& SetMaximize(bool maximize);
  const Placement& GetPlacement() const { return placement_; }
  Window& SetPlacement(const Placement& p);
  // A window that keeps its place restores it when it opens and saves it at
  // tear-down, in the store of SetPlacementStore.
  bool KeepsPlace() const { return keepsPlace_; }
  Window& SetKeepsPlace(bool keeps);
  bool AcceptAll() const { return acceptAll_; }
  Window& SetAcceptAll(bool on);
  // A resizer: the controls follow the window's size, and the window cannot
  // become smaller than the size its contents were laid out at when it
  // opened (its designed size). Set before the window opens.
  bool DesignedMinimum() const { return designedMinimum_; }
  Window& SetDesignedMinimum(bool on);
  // Esc is the window's close box (CloseBox) unless an alert key takes it;
  // on by default (a main window that is no dialog turns it off).
  bool EscapeCloses() const { return escapeCloses_; }
  Window& SetEscapeCloses(bool on);
  // Alert keys: an operator's key registered here comes as AlertKey.
  void Alert(int key);
  void Unalert(int key);
  bool HasAlert(int key) const;
  // The control that gets the focus when the window opens (0: the first
  // enabled, visible control that can take the focus).
  Window& SetFirstField(int number);

  // --- state
  bool IsOpen() const { return open_; }
  bool HasOpened() const { return opened_; }  // opened at least once
  // Opens the window on the calling thread: queues OpenWindow, then Selected
  // for the first field, which gets the focus; restores the placement when
  // the window keeps its place. Opening an open window does nothing.
  void Open();
  // Closes at once: the native window goes, the window's queued events are
  // dropped. The loop, if running, ends after the current event.
  void Close();
  // The control with the focus (0 none).
  int Focus() const { return focus_; }
  // Moves the focus and queues Selected for the control.
  void Select(int number);
  void Select(std::string_view label);

  // --- bound variables
  void Display();                       // all controls
  void Display(std::string_view label);
  void Display(int number);
  bool Update();                        // false when a text did not fit
  bool Update(std::string_view label);
  bool Update(int number);
  // The first required entry that is empty, in window order; 0 none. A
  // bound entry is judged by its variable, as the control shows it.
  int FirstEmptyRequired() const;

  // --- events
  // Posts an event to this window (any thread while the window exists);
  // dropped when the window is not open.
  void Post(int event, int control = 0, int key = 0);
  // The event being handled.
  const Event& CurrentEvent() const { return current_; }
  int EventNumber() const { return current_.number; }
  int Field() const { return current_.control; }
  int Keycode() const { return current_.key; }
  // The accepted control during an Accepted event, else 0.
  int Accepted() const { return current_.number == EVENT::Accepted ? current_.control : 0; }

  // Runs the event loop until the window closes or its loop is ended
  // (WindowController::Run calls it). A loop that already runs, or a closed
  // window, returns at once.
  void RunLoop(WindowController& controller);
  void EndLoop();
  bool LoopRunning() const { return running_; }
  // True while the thread runs a window above this one.
  bool Held() const;

  // --- user actions: what a view does for the operator (and what tests do).
  // On the window's thread; each queues the events the action gives.
  void Press(std::string_view label);    // button click, check toggle, radio choice
  void Enter(std::string_view label, std::string text);  // typed into an entry or spin box
  void Choose(std::string_view label, int choice);       // drop list, list row, sheet tab
  void Step(std::string_view label, int direction);      // spin box arrows, +1 / -1
  void PressKey(int keycode);            // AlertKey when registered; Esc above
  void CloseBox();                       // CloseWindow
  void Minimize();                       // Iconized

  View& GetView() const { return *view_; }

 private:
  friend class Control;
  friend class WindowController;
  void Changed(int control, Property p);
  void DisplayControl(Control& c);
  bool UpdateControl(Control& c);
  // The refusal of a text the control could not take (see above).
  void Refuse(Control& c);
  // Shows each bound variable that changed since it was last shown or taken.
  void DisplayChanged();
  bool Focusable(const Control& c) const;
  void Dispatch(WindowController& controller, const Event& e);
  void ArmTimer();

  WindowId id_;
  std::string procedure_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<WindowComponent*> components_;
  std::string caption_, icon_, wallpaper_, fontName_;
  int fontPoints_ = 0;
  int timer_ = 0;
  std::optional<TimePoint> nextTick_;
  bool hidden_ = false, keepsPlace_ = false, acceptAll_ = false, designedMinimum_ = false, escapeCloses_ = true;
  Placement placement_;
  std::vector<int> alerts_;
  int firstField_ = 0;
  int focus_ = 0;
  bool open_ = false, opened_ = false, running_ = false, endLoop_ = false, openHandled_ = false;
  int thread_ = 0;
  std::shared_ptr<EventQueue> queue_;
  View* view_;
  Event current_;
};

// Runs a window: SetUp, the loop, TearDown. Derive and replace the handlers;
// call the base operation for the standard handling.
class WindowController {
 public:
  explicit WindowController(Window& w) : window_(w) {}
  virtual ~WindowController() = default;
  WindowController(const WindowController&) = delete;
  WindowController& operator=(const WindowController&) = delete;

  Window& window() const { return window_; }

  // SetUp (a result other than 0 ends the run with RequestCancelled, the
  // window closed); opens the window if SetUp did not; the loop; TearDown.
  // Returns Response, which is also left in FormResponse.
  int Run();

  uint8_t Request = 0;                    // the window's request (FormRequest at set-up)
  uint8_t Response = RequestCancelled;    // what Run returns
  int OkControl = 0;                      // accepted: Response 1, the window closes
  int CancelControl = 0;                  // accepted: Response 2, the window closes

  // Standard: Request := FormRequest; FormRequest, FormResponse := 0. 0.
  virtual int SetUp();
  // Between SetUp and TearDown. Standard: the window's loop.
  virtual void SetCaptionAndRun();
  // Standard: saves the placement of a window that keeps its place and
  // opened; closes the window; FormResponse := Response. 0.
  virtual int TearDown();
  virtual int OnAnyEvent();
  virtual int OnWindowEvent();
  virtual int OnControlAccepted();
  virtual int OnControlSelected();
  virtual int OnFieldEvent();
  // Standard: the components' refresh, then Display of the whole window.
  virtual void Refresh(uint8_t force);
  // Standard: every component registers its alert keys.
  virtual void SetHotKeys();

 private:
  Window& window_;
};

// The store of dialog placements (not owned; nullptr none, the default).
// Section: the window's procedure name; entries "XPos", "YPos", "Width",
// "Height" (numbers), "Maximize", "Minimize" ("Yes" / "No").
void SetPlacementStore(IniStore* store);
IniStore* PlacementStore();
// False (the window unchanged) when the section has no "XPos". A window
// without a resizer (DesignedMinimum) is sized by its contents: only its
// position and states come back, its kept size is not used.
bool RestorePlacement(Window& w, const IniStore& store);
bool SavePlacement(const Window& w, IniStore& store);

// The mouse cursor of the calling thread's windows.
void SetCursor(Cursor c);
Cursor CurrentCursor();

// The windows open on the calling thread, oldest first.
std::vector<Window*> ThreadWindows();
// The calling thread's target: the window whose controller runs (the
// innermost), while it is open or in its SetUp; nullptr when none.
Window* TargetWindow();

}  // namespace platform::ui
