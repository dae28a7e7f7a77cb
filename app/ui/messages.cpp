#include "app/ui/messages.h"

#include <atomic>
#include <string>

#include "platform/msgbox.h"
#include "platform/text.h"
#include "platform/window.h"

namespace app::ui {

namespace pu = platform::ui;

namespace {

std::atomic<VisibleOnDesktopHook> gVisibleOnDesktop{nullptr};

constexpr int kEnterKey = 0x0D, kEscKey = 0x1B;

platform::BoxIcon IconOf(std::string_view icon) {
  if (icon == "stop.ico") return platform::BoxIcon::Hand;
  if (icon == "inform.ico") return platform::BoxIcon::Information;
  if (icon == "warning2.ico") return platform::BoxIcon::Question;
  return platform::BoxIcon::Exclamation;
}

// The look and controls both boxes share; the buttons come first.
struct Box {
  explicit Box(const char* procedure) : window(procedure) {
    window.SetFont("Tahoma", 8).SetWallpaper("back_blue.jpg");
  }
  void AddContents() {
    window.Add(pu::ControlKind::Text, "?UZIVATELSKY_TEXT").Bind(text, kMessageTextChars);
    window.Add(pu::ControlKind::Image, "?IMAGE1");
  }
  pu::Window window;
  std::string text;  // CSTRING(2048)
};

class BoxController : public pu::WindowController {
 public:
  BoxController(Box& box, std::string_view icon, std::string_view title, std::string_view text)
      : WindowController(box.window), box_(box), icon_(icon), title_(title), text_(text) {}

  int SetUp() override {
    const int r = WindowController::SetUp();
    if (r != pu::kGoOn) return r;
    window().SetFirstField(1);
    window().Alert(kEnterKey);
    window().Alert(kEscKey);
    window().Open();
    if (auto hook = gVisibleOnDesktop.load()) {
      hook(window());
      hook(window());
    }
    return pu::kGoOn;
  }

  int OnWindowEvent() override {
    if (window().EventNumber() == pu::EVENT::OpenWindow) {
      pu::SetCursor(pu::Cursor::Normal);
      window().SetText(title_).SetIcon(icon_);
      window()["?IMAGE1"].SetImage(icon_);
      box_.text = platform::text::TruncateChars(text_, kMessageTextChars);
      Opened();
      window().Display();
      if (!window().GetView().Interactive()) AnswerHeadless();
    } else if (window().EventNumber() == pu::EVENT::AlertKey) {
      // Enter presses the button with the focus (else the first), Esc the
      // refusing one.
      if (window().Keycode() == kEnterKey) {
        const pu::Control* focused = window().At(window().Focus());
        window().Press(focused != nullptr && focused->Kind() == pu::ControlKind::Button ? focused->Label()
                                                                                        : window().At(1)->Label());
        return pu::kConsumed;
      }
      if (window().Keycode() == kEscKey) {
        window().Press(RefusingButton());
        return pu::kConsumed;
      }
    }
    return WindowController::OnWindowEvent();
  }

 protected:
  virtual void Opened() {}
  virtual void AnswerHeadless() = 0;
  virtual const char* RefusingButton() const = 0;
  Box& box_;
  std::string icon_, title_, text_;
};

class MessageController final : public BoxController {
 public:
  using BoxController::BoxController;
  int OnControlAccepted() override {
    if (window().Accepted() == window().Number("?BUTTON_OK")) window().Post(pu::EVENT::CloseWindow);
    return WindowController::OnControlAccepted();
  }

 private:
  void AnswerHeadless() override {
    platform::MessageBox(box_.text, title_, IconOf(icon_), platform::BoxOk);
    window().Press("?BUTTON_OK");
  }
  const char* RefusingButton() const override { return "?BUTTON_OK"; }
};

class QuestionController final : public BoxController {
 public:
  QuestionController(Box& box, std::string_view image1, std::string_view label1, std::string_view image2,
                     std::string_view label2, std::string_view icon, std::string_view title,
                     std::string_view text, uint8_t style)
      : BoxController(box, icon, title, text),
        image1_(image1), label1_(label1), image2_(image2), label2_(label2), style_(style) {}

  uint8_t DialogResult = 0;

  int OnControlAccepted() override {
    const int a = window().Accepted();
    if (a == window().Number("?BUTTON2")) {
      DialogResult = 2;
      window().Post(pu::EVENT::CloseWindow);
    } else if (a == window().Number("?BUTTON1")) {
      DialogResult = 1;
      window().Post(pu::EVENT::CloseWindow);
    }
    return WindowController::OnControlAccepted();
  }

 private:
  void Opened() override {
    pu::Control& b2 = window()["?BUTTON2"];
    pu::Control& b1 = window()["?BUTTON1"];
    b2.SetText(label1_).SetImage(image1_);
    b1.SetText(label2_).SetImage(image2_);
    for (pu::Control* b : {&b2, &b1}) {
      b->SetFlat(style_ != 0);
      if (style_ == 0) b->SetCenter(true);
    }
  }
  void AnswerHeadless() override {
    const unsigned a = platform::MessageBox(box_.text, title_, IconOf(icon_),
                                            platform::BoxOk | platform::BoxYes | platform::BoxNo | platform::BoxCancel);
    window().Press(a == platform::BoxYes || a == platform::BoxOk ? "?BUTTON1" : "?BUTTON2");
  }
  // The first pair: every caller passes its refusing pair first.
  const char* RefusingButton() const override { return "?BUTTON2"; }
  std::string image1_, label1_, image2_, label2_;
  uint8_t style_;
};

}  // namespace

void SetVisibleOnDesktopHook(VisibleOnDesktopHook hook) { gVisibleOnDesktop.store(hook); }

void aMessage(std::string_view icon, std::string_view title, std::string_view text) {
  Box box("aMessage");
  box.window.Add(pu::ControlKind::Button, "?BUTTON_OK", "OK").SetImage("ok.gif");
  box.AddContents();
  MessageController c(box, icon, title, text);
  c.Run();
}

uint8_t cMessage(std::string_view image1, std::string_view label1, std::string_view image2, std::string_view label2,
                 std::string_view icon, std::string_view title, std::string_view text, uint8_t style) {
  Box box("cMessage");
  box.window.Add(pu::ControlKind::Button, "?BUTTON2");
  box.window.Add(pu::ControlKind::Button, "?BUTTON1");
  box.AddContents();
  QuestionController c(box, image1, label1, image2, label2, icon, title, text, style);
  c.Run();
  return c.DialogResult;
}

}  // namespace app::ui
