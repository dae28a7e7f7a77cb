// The Qt Widgets view of the window model, on the GUI thread.
//
// Each open model window is a top-level widget: its controls are laid out
// by kind and parent (prompts beside their fields, with a picture-only
// button and a prompt that follow a field on its row; an image beside its
// text; boxes each followed by a prompt in one row, as a legend; the buttons
// of a container in a grid at its bottom, eight to a row; tabs in a tab
// widget; group boxes and radio groups around their controls; the children
// of a container with columns in a grid of compact cells; a control with a
// cell of its own in that cell of its grid). Each control's
// widget carries its label as its object name ("?BUTTON_OK"). What the
// operator does comes back through the window's user actions (Press, Enter,
// Choose, Step, PressKey); the close box, Alt+F4 and the minimise, maximise
// and restore buttons enter the window's procedure chain as WM_CLOSE and
// WM_SYSCOMMAND (platform/winproc.h).
//
// The model's loops drive Qt's dispatcher: Pump processes Qt events, waiting
// for more, and is woken through the thread queue's eventfd or at the next
// timer deadline; nothing here calls exec(). A window above others of its
// thread is application-modal, so the windows it holds take no input; any
// input that reaches a held window anyway is dropped.
//
// A window that the model gives no size takes the size its contents need
// (its wrapped texts whole, at most its screen's work area, wide enough for
// its caption), again whenever they change or the window manager frames it,
// growing and shrinking from its top left corner; it is shown when its loop
// first waits, so that it appears filled in; without a position of its own
// it opens centred on the window below it (or on the primary screen);
// until then it stands centred on the primary screen's work area, so that a
// fit on the desktop before its first show (also while it is hidden) gives
// it a position of its own only when it had to move it.
// Captions are shown without trailing blanks; a focused button shows a
// frame.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "platform/desktop.h"
#include "platform/view.h"
#include "platform/window.h"

class QWidget;

namespace platform::qt {

class QtView final : public ui::View, public ui::Desktop {
 public:
  // On the thread of the QApplication, which must exist; becomes that
  // thread's raiser of windows (SetForegroundHandler).
  QtView();
  ~QtView() override;
  QtView(const QtView&) = delete;
  QtView& operator=(const QtView&) = delete;

  bool Interactive() const override { return true; }
  void CreateNative(ui::Window& w) override;
  void DestroyNative(ui::Window& w) override;
  void Render(ui::Window& w, int control, ui::Property p) override;
  void ShowModal(ui::Window& w, bool modal) override;
  void Pump(ui::EventQueue& q, uint64_t seen, std::optional<ui::TimePoint> deadline) override;

  std::optional<ui::ScreenRect> VirtualScreen() const override;
  std::optional<ui::ScreenRect> WorkArea() const override;
  std::optional<ui::ScreenRect> OuterRect(const ui::Window& w) const override;
  bool Raise(ui::Window& w, bool activate) override;

  // The top-level widget of an open window, the widget of one of its
  // controls (a tab's page for a tab); nullptr when there is none.
  QWidget* NativeOf(const ui::Window& w) const;
  QWidget* ControlWidget(const ui::Window& w, std::string_view label) const;
  // The window's native window will be this widget, built by the caller
  // (a dialog of the toolkit's own, such as the file dialog), instead of one
  // built from its controls. Set before the window opens; not owned: the
  // view shows it, and hides it when the window closes.
  void AdoptNative(const ui::Window& w, QWidget* widget);
  // Lays out what changed and shows the windows that wait to be shown
  // (Pump does this before it waits).
  void Flush();

 private:
  class Impl;
  std::unique_ptr<Impl> d_;
};

// The window model's key code of a key: the key's code (letters 41h..5Ah,
// digits 30h..39h, F1 70h .. F12 7Bh, Enter 0Dh, Esc 1Bh, arrows, ...) plus
// Shift 100h, Ctrl 200h and Alt 400h. 0 for a key without a code.
int KeyCodeOf(int qtKey, unsigned qtModifiers);

}  // namespace platform::qt
