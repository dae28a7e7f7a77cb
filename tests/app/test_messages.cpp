#include "app/ui/messages.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <string>

#include "platform/clock.h"
#include "platform/text.h"
#include "platform/window.h"

namespace app::ui {
namespace {

namespace pu = platform::ui;

// A view somebody sees: when a box has opened and waits, it notes what the
// box shows and acts on it as the operator would.
class OperatorView : public pu::HeadlessView {
 public:
  struct Seen {
    std::string caption, icon, text, image, b1Text, b1Image, b2Text, b2Image;
    int focus = 0, controls = 0;
    bool flat = false, center = false;
    std::vector<std::string> labels;
  };
  std::function<void(pu::Window&)> act;
  std::optional<pu::TimePoint> notBefore;  // the operator takes this long
  Seen seen;
  int opened = 0;

  bool Interactive() const override { return true; }
  void CreateNative(pu::Window&) override { ++opened; }
  void Pump(pu::EventQueue& q, uint64_t gen, std::optional<pu::TimePoint> deadline) override {
    pu::Window& w = *pu::ThreadWindows().back();
    if (!act || w.Find("?UZIVATELSKY_TEXT") == nullptr) return HeadlessView::Pump(q, gen, deadline);
    if (notBefore && platform::GetClock().Now() < *notBefore) {
      return HeadlessView::Pump(q, gen, deadline && *deadline < *notBefore ? deadline : notBefore);
    }
    seen.caption = w.Text();
    seen.icon = w.Icon();
    seen.text = w["?UZIVATELSKY_TEXT"].Text();
    seen.image = w["?IMAGE1"].Image();
    seen.focus = w.Focus();
    seen.controls = w.ControlCount();
    seen.labels.clear();
    for (int n = 1; n <= w.ControlCount(); ++n) seen.labels.push_back(w.At(n)->Label());
    if (auto* b = w.Find("?BUTTON2")) {
      seen.b2Text = b->Text();
      seen.b2Image = b->Image();
      seen.flat = b->Flat();
      seen.center = b->Center();
      seen.b1Text = w["?BUTTON1"].Text();
      seen.b1Image = w["?BUTTON1"].Image();
    }
    auto a = std::move(act);
    act = nullptr;
    a(w);
  }
};

struct WithView {
  OperatorView view;
  WithView() { pu::SetThreadView(&view); }
  ~WithView() { pu::SetThreadView(nullptr); }
};

uint8_t Ask(uint8_t style = 1) {
  return cMessage("storno.gif", "Ne", "ok.gif", "Ano", "warning2.ico", "Potvrzení operace",
                  "Chystáte se ukončit program !\r\n\r\nOpravdu?", style);
}

TEST(cMessage, AnswersByTheButtonPressedOrZeroForTheCloseBox) {
  struct Case {
    const char* action;
    uint8_t result;
  } cases[] = {{"?BUTTON2", 2}, {"?BUTTON1", 1}, {"close", 0}};
  for (const auto& c : cases) {
    WithView v;
    const std::string action = c.action;
    v.view.act = [action](pu::Window& w) {
      if (action == "close")
        w.CloseBox();
      else
        w.Press(action);
    };
    pu::FormRequest = 6;
    EXPECT_EQ(Ask(), c.result) << c.action;
    EXPECT_EQ(pu::FormRequest, 0);
    EXPECT_EQ(v.view.seen.labels,
              (std::vector<std::string>{"?BUTTON2", "?BUTTON1", "?UZIVATELSKY_TEXT", "?IMAGE1"}));
    EXPECT_EQ(v.view.seen.focus, 1);  // the refusing first pair
    EXPECT_EQ(v.view.seen.caption, "Potvrzení operace");
    EXPECT_EQ(v.view.seen.icon, "warning2.ico");
    EXPECT_EQ(v.view.seen.image, "warning2.ico");
    EXPECT_EQ(v.view.seen.b2Text, "Ne");
    EXPECT_EQ(v.view.seen.b2Image, "storno.gif");
    EXPECT_EQ(v.view.seen.b1Text, "Ano");
    EXPECT_EQ(v.view.seen.b1Image, "ok.gif");
    EXPECT_EQ(v.view.seen.text, "Chystáte se ukončit program !\r\n\r\nOpravdu?");
    EXPECT_TRUE(pu::ThreadWindows().empty());
  }
}

TEST(cMessage, StyleZeroGivesRaisedCentredButtonsOtherStylesFlatOnes) {
  for (uint8_t style : {uint8_t{0}, uint8_t{1}, uint8_t{7}}) {
    WithView v;
    v.view.act = [](pu::Window& w) { w.Press("?BUTTON1"); };
    EXPECT_EQ(Ask(style), 1);
    EXPECT_EQ(v.view.seen.flat, style != 0) << int(style);
    EXPECT_EQ(v.view.seen.center, style == 0) << int(style);
  }
}

TEST(cMessage, HeadlessAnswersAtOnceWithTheScriptedOrTheRefusingAnswer) {
  struct Case {
    const char* script;  // nullptr: none
    uint8_t result;
  } cases[] = {{"yes", 1}, {"OK", 1}, {"no", 2}, {"cancel", 2}, {"retry", 2}, {nullptr, 2}};
  for (const auto& c : cases) {
    if (c.script)
      ::setenv("VELORN_MSGBOX_ANSWERS", c.script, 1);
    else
      ::unsetenv("VELORN_MSGBOX_ANSWERS");
    testing::internal::CaptureStderr();
    const uint8_t r = Ask();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, c.result) << (c.script ? c.script : "(none)");
    EXPECT_EQ(err, "Potvrzení operace: Chystáte se ukončit program !    Opravdu?\n");
  }
  ::unsetenv("VELORN_MSGBOX_ANSWERS");
}

TEST(aMessage, ShowsTheTextCutAt2047CharactersWithItsLineBreaks) {
  std::string text = "Řádek 1\r\nŘádek 2\r\n";
  while (platform::text::CharCount(text) < 3000) text += "čž";
  WithView v;
  v.view.act = [](pu::Window& w) { w.Press("?BUTTON_OK"); };
  aMessage("stop.ico", "Chyba", text);
  EXPECT_EQ(v.view.seen.labels, (std::vector<std::string>{"?BUTTON_OK", "?UZIVATELSKY_TEXT", "?IMAGE1"}));
  EXPECT_EQ(v.view.seen.focus, 1);
  EXPECT_EQ(v.view.seen.caption, "Chyba");
  EXPECT_EQ(v.view.seen.icon, "stop.ico");
  EXPECT_EQ(v.view.seen.image, "stop.ico");
  EXPECT_EQ(platform::text::CharCount(v.view.seen.text), kMessageTextChars);
  EXPECT_EQ(v.view.seen.text, platform::text::TruncateChars(text, kMessageTextChars));
  EXPECT_EQ(v.view.seen.text.rfind("Řádek 1\r\nŘádek 2\r\n", 0), 0u);
}

TEST(aMessage, HeadlessWritesOneLineAndReturns) {
  ::unsetenv("VELORN_MSGBOX_ANSWERS");
  testing::internal::CaptureStderr();
  aMessage("inform.ico", "Hotovo", "Uloženo.\r\nKonec.");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Hotovo: Uloženo.  Konec.\n");
  EXPECT_TRUE(pu::ThreadWindows().empty());
}

int gFits = 0;
void CountFit(pu::Window& w) {
  if (w.IsOpen()) ++gFits;
}

TEST(MessageBoxes, AreFittedOntoTheDesktopTwiceWhenTheyOpen) {
  gFits = 0;
  SetVisibleOnDesktopHook(CountFit);
  testing::internal::CaptureStderr();
  aMessage("stop.ico", "Chyba", "x");
  Ask();
  testing::internal::GetCapturedStderr();
  SetVisibleOnDesktopHook(nullptr);
  EXPECT_EQ(gFits, 4);
}

// A box opened by a window's timer handler holds that window: it gets no
// tick while the box waits for the operator.
TEST(MessageBoxes, HoldTheWindowThatOpenedThem) {
  struct Main : pu::WindowController {
    using WindowController::WindowController;
    int ticks = 0;
    bool inBox = false;
    int ticksInBox = 0;
    uint8_t answer = 9;
    int SetUp() override {
      WindowController::SetUp();
      window().SetTimer(1);
      return pu::kGoOn;
    }
    int OnWindowEvent() override {
      if (window().EventNumber() == pu::EVENT::Timer) {
        ++ticks;
        if (inBox) ++ticksInBox;
        if (ticks == 1) {
          inBox = true;
          answer = Ask();
          inBox = false;
        } else {
          window().Post(pu::EVENT::CloseDown);
        }
      }
      return WindowController::OnWindowEvent();
    }
  };
  WithView v;
  // The operator takes a while: the box waits through several of the main
  // window's periods before the answer.
  v.view.notBefore = platform::GetClock().Now() + std::chrono::milliseconds(100);
  v.view.act = [](pu::Window& bw) { bw.Press("?BUTTON1"); };
  pu::Window w;
  Main m(w);
  m.Run();
  EXPECT_EQ(m.answer, 1);
  EXPECT_EQ(m.ticksInBox, 0);
  EXPECT_EQ(m.ticks, 2);  // the tick that opened the box and the one pending after it
}

}  // namespace
}  // namespace app::ui
