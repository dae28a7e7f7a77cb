#include "platform/window.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ini.h"
#include "platform/locale_texts.h"
#include "platform/msgbox.h"
#include "platform/stdtime.h"
#include "tests/support/tempdir.h"

namespace platform::ui {
namespace {

TEST(WindowPictures, FormatAndParse) {
  locale::UninstallCzechTexts();
  const StdTime t = TimeFromHms(8, 5, 9);
  const StdDate d = DateFromYmd(2024, 3, 7);
  struct Case {
    const char* picture;
    Value value;
    const char* shown;
  } cases[] = {
      {"@t7", int64_t{t}, "08:05:09"},
      {"@T4", int64_t{TimeFromHms(23, 59, 59, 99)}, "23:59:59"},
      {"@t1", int64_t{t}, "08:05"},
      {"@t7", int64_t{kMidnight}, "00:00:00"},
      {"@t7", int64_t{0}, ""},
      {"@d17", int64_t{d}, "07.03.2024"},
      {"@d17B", int64_t{0}, ""},
      {"@d17", int64_t{0}, ""},
      {"@d4", int64_t{d}, "March 7, 2024"},
      {"@s5", std::string("abcdefg"), "abcde"},
      {"@s3", std::string("čřž€x"), "čřž"},
      {"@n3", int64_t{42}, "42"},
      {"@n3", int64_t{1000}, "###"},
      {"@n3", int64_t{0}, "0"},
      {"@n3B", int64_t{0}, ""},
      {"@n-14", int64_t{-12345}, "-12345"},
      {"@N3", std::string("7"), "7"},
      {"", std::string("as is"), "as is"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatPicture(c.picture, c.value), c.shown) << c.picture;
}

TEST(WindowPictures, ParseTypedTexts) {
  locale::UninstallCzechTexts();
  struct Case {
    const char* picture;
    const char* typed;
    std::optional<Value> value;
  } cases[] = {
      {"@t7", "08:05:09", int64_t{TimeFromHms(8, 5, 9)}},
      {"@t7", "8:5", int64_t{TimeFromHms(8, 5, 0)}},
      {"@t7", " 17 ", int64_t{TimeFromHms(17, 0, 0)}},
      {"@t7", "00:00:00", int64_t{kMidnight}},
      {"@t7", "", int64_t{0}},
      {"@t7", "24:00:00", std::nullopt},
      {"@t7", "12:60", std::nullopt},
      {"@t7", "1:2:3:4", std::nullopt},
      {"@t7", "ab", std::nullopt},
      {"@d17", "07.03.2024", int64_t{DateFromYmd(2024, 3, 7)}},
      {"@d17", "7. 3. 2024", int64_t{DateFromYmd(2024, 3, 7)}},
      {"@d17", "1.2.24", int64_t{DateFromYmd(2024, 2, 1)}},
      {"@d17", "29.02.2023", std::nullopt},
      {"@d17", "1.1.1800", std::nullopt},
      {"@d17", "", int64_t{0}},
      {"@d4", "March 7, 2024", int64_t{DateFromYmd(2024, 3, 7)}},
      {"@s5", "abcdefgh", std::string("abcde")},
      {"@n3", "254", int64_t{254}},
      {"@n3", "1000", std::nullopt},
      {"@n3", "-1", std::nullopt},
      {"@n-4", "-12", int64_t{-12}},
      {"@n3", "1a", std::nullopt},
      {"@n3", "", int64_t{0}},
  };
  for (const auto& c : cases) {
    const auto got = ParsePicture(c.picture, c.typed);
    ASSERT_EQ(got.has_value(), c.value.has_value()) << c.picture << " '" << c.typed << "'";
    if (got) {
      EXPECT_EQ(*got, *c.value) << c.picture << " '" << c.typed << "'";
    }
  }
}

TEST(WindowPictures, FormattedValuesReadBack) {
  for (const char* pic : {"@t7", "@t4"})
    for (int h = 0; h < 24; ++h) {
      const Value v = int64_t{TimeFromHms(h, (h * 7) % 60, (h * 13) % 60)};
      EXPECT_EQ(ParsePicture(pic, FormatPicture(pic, v)), v);
    }
  for (StdDate d = DateFromYmd(1999, 12, 25); d < DateFromYmd(2000, 3, 5); ++d) {
    const Value v = int64_t{d};
    EXPECT_EQ(ParsePicture("@d17", FormatPicture("@d17", v)), v);
    EXPECT_EQ(ParsePicture("@d4", FormatPicture("@d4", v)), v);
  }
}

TEST(WindowControls, FoundByLabelInWindowOrderWithTheirProperties) {
  Window w("Main");
  Control& sheet = w.Add(ControlKind::Sheet, "?SHEET1");
  Control& tab = w.Add(ControlKind::Tab, "?TAB3", "Hlavní panel", &sheet);
  w.Add(ControlKind::Text, "?SYS_TIME", {}, &tab);
  w.Add(ControlKind::Text, "?INFO_TEXT", {}, &tab).SetBold(true).SetFontColor(0xFF);
  w.Add(ControlKind::Button, "?BUTTON_ZAPNI", "Hlášení", &tab).SetImage("sound.gif").SetTip("Zapne");
  Control& tab5 = w.Add(ControlKind::Tab, "?TAB5", "Servis", &sheet);
  w.Add(ControlKind::Text, "?INTLACITKA", {}, &tab5);
  tab5.Hide();

  EXPECT_EQ(w.ControlCount(), 7);
  EXPECT_EQ(w.Number("?SHEET1"), 1);
  EXPECT_EQ(w.Number("?BUTTON_ZAPNI"), 5);
  EXPECT_EQ(w.Number("?NONE"), 0);
  EXPECT_EQ(w.Find("?NONE"), nullptr);
  EXPECT_EQ(w.At(5), &w["?BUTTON_ZAPNI"]);
  EXPECT_EQ(sheet.Children(), (std::vector<Control*>{&tab, &tab5}));

  Control& b = w["?BUTTON_ZAPNI"];
  EXPECT_EQ(b.Text(), "Hlášení");
  EXPECT_EQ(b.Image(), "sound.gif");
  EXPECT_EQ(b.Tip(), "Zapne");
  EXPECT_EQ(b.Color(), kNormalColor);
  b.SetColor(0xFF).Disable();
  EXPECT_EQ(b.Color(), 0xFF);
  EXPECT_FALSE(b.Enabled());
  b.SetColor(kNormalColor).Enable();
  EXPECT_EQ(b.Color(), -1);
  EXPECT_TRUE(b.Enabled());
  EXPECT_TRUE(w["?INFO_TEXT"].Bold());
  EXPECT_EQ(w["?INFO_TEXT"].FontColor(), 0xFF);
  // A control on a hidden tab is not visible; showing the tab shows it.
  EXPECT_FALSE(w["?INTLACITKA"].Hidden());
  EXPECT_FALSE(w["?INTLACITKA"].Visible());
  tab5.Show();
  EXPECT_TRUE(w["?INTLACITKA"].Visible());
}

TEST(WindowControlsDeathTest, DuplicateLabelIsAProgrammingError) {
  Window w;
  w.Add(ControlKind::Button, "?OK");
  EXPECT_DEATH(w.Add(ControlKind::Button, "?OK"), "label in use");
  EXPECT_DEATH(w["?MISSING"], "no control");
}

struct BoundForm {
  int32_t time = 0;
  int32_t date = 0;
  std::string name;
  uint8_t count = 0;
  uint8_t active = 0;
  uint8_t endless = 0;
  std::string port;
  int32_t tabNo = 0;
  Window w;
  BoundForm() {
    w.Add(ControlKind::Entry, "?TIME").SetPicture("@t7").Bind(time);
    w.Add(ControlKind::Entry, "?DATE").SetPicture("@d17").Bind(date);
    w.Add(ControlKind::Entry, "?NAME").SetPicture("@s5").Bind(name);
    w.Add(ControlKind::Spin, "?COUNT").SetPicture("@n3").SetRange(0, 254).Bind(count);
    w.Add(ControlKind::Check, "?ACTIVE", " Aktivní").Bind(active);
    Control& opt = w.Add(ControlKind::Option, "?OPAKOVANI", "Počet opakování");
    opt.Bind(endless);
    w.Add(ControlKind::Radio, "?OPAKOVANI:RADIO1", " Nekonečně", &opt).SetRadioValue(int64_t{1});
    w.Add(ControlKind::Radio, "?OPAKOVANI:RADIO2", {}, &opt).SetRadioValue(int64_t{0});
    w.Add(ControlKind::DropList, "?COM:PORT").SetChoices({"COM1", "COM2", "COM3"}).Bind(port);
    w.Add(ControlKind::Sheet, "?SHEET").Bind(tabNo);
  }
};

TEST(WindowBinding, DisplayShowsVariablesAndUpdateReadsControls) {
  BoundForm f;
  f.time = TimeFromHms(12, 30, 0);
  f.date = DateFromYmd(2024, 1, 31);
  f.name = "Hlášení";
  f.count = 3;
  f.active = 1;
  f.endless = 0;
  f.port = "COM2  ";  // blank-padded as record fields are
  f.tabNo = 2;
  f.w.Display();
  EXPECT_EQ(f.w["?TIME"].Text(), "12:30:00");
  EXPECT_EQ(f.w["?DATE"].Text(), "31.01.2024");
  EXPECT_EQ(f.w["?NAME"].Text(), "Hláše");
  EXPECT_EQ(f.w["?COUNT"].Text(), "3");
  EXPECT_TRUE(f.w["?ACTIVE"].Checked());
  EXPECT_EQ(f.w["?OPAKOVANI"].Choice(), 2);
  EXPECT_EQ(f.w["?COM:PORT"].Choice(), 2);
  EXPECT_EQ(f.w["?COM:PORT"].Text(), "COM2");
  EXPECT_EQ(f.w["?SHEET"].Choice(), 2);

  // Nothing moves into the variables until Update.
  f.w["?TIME"].SetText("7:00");
  f.w["?NAME"].SetText("abcdefgh");
  f.w["?COUNT"].SetText("200");
  f.w["?ACTIVE"].SetChecked(false);
  f.w["?OPAKOVANI"].SetChoice(1);
  f.w["?COM:PORT"].SetChoice(3);
  EXPECT_EQ(f.time, TimeFromHms(12, 30, 0));
  EXPECT_TRUE(f.w.Update());
  EXPECT_EQ(f.time, TimeFromHms(7, 0, 0));
  EXPECT_EQ(f.name, "abcde");
  EXPECT_EQ(f.count, 200);
  EXPECT_EQ(f.active, 0);
  EXPECT_EQ(f.endless, 1);
  EXPECT_EQ(f.port, "COM3");
}

TEST(WindowBinding, ATextThatDoesNotFitLeavesTheVariable) {
  struct Case {
    const char* label;
    const char* typed;
  } cases[] = {
      {"?TIME", "25:00"},
      {"?DATE", "31.02.2024"},
      {"?COUNT", "255"},  // outside the spin box's range
      {"?COUNT", "x"},
  };
  for (const auto& c : cases) {
    BoundForm f;
    f.time = 5;
    f.date = 77000;
    f.count = 9;
    f.w.Display();
    f.w[c.label].SetText(c.typed);
    EXPECT_FALSE(f.w.Update(c.label)) << c.label << " " << c.typed;
    EXPECT_EQ(f.time, 5);
    EXPECT_EQ(f.date, 77000);
    EXPECT_EQ(f.count, 9);
  }
  // A number the variable's type cannot hold does not fit either.
  uint8_t small = 1;
  Window w;
  w.Add(ControlKind::Entry, "?N").SetPicture("@n4").Bind(small).SetText("300");
  EXPECT_FALSE(w.Update());
  EXPECT_EQ(small, 1);
}

TEST(WindowBinding, RequiredEntriesCountBlankTextAndZeroDatesAsEmpty) {
  int32_t date = 0, time = 0;
  std::string file;
  Window w;
  w.Add(ControlKind::Entry, "?NAME").SetPicture("@s20");
  w.Add(ControlKind::Entry, "?DATE").SetPicture("@d17").SetRequired(true).Bind(date);
  w.Add(ControlKind::Entry, "?TIME").SetPicture("@t7").SetRequired(true).Bind(time);
  w.Add(ControlKind::Entry, "?FILE").SetPicture("@s255").SetRequired(true).Bind(file);
  w.Display();
  EXPECT_EQ(w.FirstEmptyRequired(), w.Number("?DATE"));
  date = DateFromYmd(2024, 5, 5);
  w.Display();
  EXPECT_EQ(w.FirstEmptyRequired(), w.Number("?TIME"));
  time = TimeFromHms(1, 0, 0);
  file = "   ";
  w.Display();
  EXPECT_EQ(w.FirstEmptyRequired(), w.Number("?FILE"));
  file = "a.wav";
  w.Display();
  EXPECT_EQ(w.FirstEmptyRequired(), 0);
  // A text the variable has not taken does not fill the entry.
  file = "";
  EXPECT_EQ(w.FirstEmptyRequired(), w.Number("?FILE"));
  w["?DATE"].SetText("");
  EXPECT_EQ(w.FirstEmptyRequired(), w.Number("?FILE"));
}

// A form run through the model: the operator's actions are queued user
// actions, handled by the loop.
struct Form : WindowController {
  explicit Form(BoundForm& bf) : WindowController(bf.w), f(bf) {}
  BoundForm& f;
  std::function<void(Window&)> onOpen;
  std::vector<std::string> log;
  int consumeAcceptedOf = 0;
  int OnWindowEvent() override {
    if (window().EventNumber() == EVENT::OpenWindow && onOpen) onOpen(window());
    return WindowController::OnWindowEvent();
  }
  int OnControlAccepted() override {
    log.push_back("accepted " + window().At(window().Accepted())->Label());
    if (window().Accepted() == consumeAcceptedOf) return kConsumed;
    return WindowController::OnControlAccepted();
  }
  int OnControlSelected() override {
    log.push_back("selected " + window().At(window().Field())->Label());
    return WindowController::OnControlSelected();
  }
  int OnFieldEvent() override {
    const int e = window().EventNumber();
    if (e != EVENT::Accepted && e != EVENT::Selected)
      log.push_back("field " + std::to_string(e) + " " + window().At(window().Field())->Label());
    else
      log.push_back("field " + window().At(window().Field())->Label());
    return WindowController::OnFieldEvent();
  }
};

TEST(WindowDispatch, AcceptingAControlUpdatesItsVariableFirst) {
  BoundForm f;
  f.w.Add(ControlKind::Button, "?OK");
  f.w.Add(ControlKind::Button, "?CANCEL");
  Form form(f);
  form.OkControl = f.w.Number("?OK");
  form.onOpen = [&](Window& w) {
    w.Enter("?TIME", "10:11:12");
    w.Press("?ACTIVE");
    w.Press("?OPAKOVANI:RADIO1");
    w.Choose("?COM:PORT", 1);
    w.Step("?COUNT", +1);
    w.Press("?OK");
  };
  f.date = 1000;
  f.w.Display();
  FormRequest = ChangeRecord;
  const int response = form.Run();
  EXPECT_EQ(response, RequestCompleted);
  EXPECT_EQ(FormResponse, RequestCompleted);
  EXPECT_EQ(form.Request, ChangeRecord);
  EXPECT_EQ(FormRequest, 0);
  EXPECT_EQ(f.time, TimeFromHms(10, 11, 12));
  EXPECT_EQ(f.date, 1000);
  EXPECT_EQ(f.active, 1);
  EXPECT_EQ(f.endless, 1);
  EXPECT_EQ(f.port, "COM1");
  EXPECT_EQ(f.count, 1);
  const std::vector<std::string> want = {
      "selected ?TIME", "field ?TIME",  // the first field gets the focus at opening
      "accepted ?TIME", "field ?TIME",
      "selected ?ACTIVE", "field ?ACTIVE",
      "accepted ?ACTIVE", "field ?ACTIVE",
      "selected ?OPAKOVANI:RADIO1", "field ?OPAKOVANI:RADIO1",
      "accepted ?OPAKOVANI", "field ?OPAKOVANI",
      "selected ?COM:PORT", "field ?COM:PORT",
      "field 2 ?COM:PORT",  // NewSelection
      "accepted ?COM:PORT", "field ?COM:PORT",
      "selected ?COUNT", "field ?COUNT",
      "field 2 ?COUNT",
      "selected ?OK", "field ?OK",
      "accepted ?OK", "field ?OK",
  };
  EXPECT_EQ(form.log, want);
}

// The operator at a window: each time its loop waits, the next step.
struct Stepper final : HeadlessView {
  std::vector<std::function<void(Window&)>> steps;
  std::size_t done = 0;
  bool Interactive() const override { return true; }
  void Pump(EventQueue&, uint64_t, std::optional<TimePoint>) override {
    Window& w = *ThreadWindows().back();
    if (done < steps.size()) return steps[done++](w);
    ADD_FAILURE() << "the window still waits after the last step";
    w.Post(EVENT::CloseDown);
  }
};
struct WithStepper {
  Stepper view;
  int beeps = 0;
  WithStepper() {
    SetThreadView(&view);
    SetBeepView([this](BoxIcon) { ++beeps; });
  }
  ~WithStepper() {
    SetBeepView(nullptr);
    SetThreadView(nullptr);
  }
};

TEST(WindowDispatch, ARefusedTextIsShownNoMoreKeepsTheFocusAndWhatFollowedItIsDropped) {
  struct Case {
    const char* label;
    const char* typed;
    const char* shown;  // after it
  } cases[] = {
      {"?DATE", "30.02.2024", "01.04.2024"},  // kept
      {"?TIME", "25:00", "08:00:00"},
      {"?COUNT", "x", "9"},
      {"?COUNT", "255", "254"},  // a spin box: the nearest end of its range
      {"?COUNT", "1000", "254"},
      {"?COUNT", "-3", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.label) + " '" + c.typed + "'");
    BoundForm f;
    f.w.Add(ControlKind::Button, "?OK");
    f.time = TimeFromHms(8, 0, 0);
    f.date = DateFromYmd(2024, 4, 1);
    f.count = 9;
    Form form(f);
    form.OkControl = f.w.Number("?OK");
    WithStepper op;
    std::string shown, focus;
    std::vector<std::string> logged;
    op.view.steps = {
        [&](Window& w) {
          w.Display();
          form.log.clear();
          // In one breath: the text, a check box, ?OK.
          w.Enter(c.label, c.typed);
          w.Press("?ACTIVE");
          w.Press("?OK");
        },
        [&](Window& w) {
          shown = w[c.label].Text();
          focus = w.At(w.Focus())->Label();
          logged = form.log;
          w.Press("?OK");
        },
    };
    EXPECT_EQ(form.Run(), RequestCompleted);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(focus, c.label);
    EXPECT_EQ(op.beeps, 1);
    EXPECT_EQ(f.active, 0) << "the check box clicked after the refused text";
    // The focus moves to the field (?TIME, the first, has it), the text is
    // refused (26), the focus comes back to it; nothing else.
    const std::string label = c.label;
    std::vector<std::string> want;
    if (label != "?TIME") want = {"selected " + label, "field " + label};
    for (const std::string& e : {"field 26 " + label, "selected " + label, "field " + label}) want.push_back(e);
    EXPECT_EQ(logged, want);
    EXPECT_EQ(FormatPicture(f.w[c.label].PictureText(), f.w[c.label].Bound().Get()), c.shown);
  }
}

TEST(WindowDispatch, ATakenTextIsShownAsItsVariableHoldsIt) {
  BoundForm f;
  Form form(f);
  WithStepper op;
  std::vector<std::string> seen;
  op.view.steps = {
      [&](Window& w) {
        w.Enter("?TIME", "8:5");
        w.Enter("?NAME", "abcdefgh");  // cut to its five characters
      },
      [&](Window& w) {
        seen.push_back(w["?TIME"].Text());
        seen.push_back(w["?NAME"].Text());
        w.Enter("?NAME", "č☺€");  // the smile has no Windows-1250 byte
      },
      [&](Window& w) {
        seen.push_back(w["?NAME"].Text());
        w.Post(EVENT::CloseWindow);
      },
  };
  form.Run();
  EXPECT_EQ(seen, (std::vector<std::string>{"08:05:00", "abcde", "č?€"}));
  EXPECT_EQ(f.name, "č?€");
}

TEST(WindowDispatch, ControlsShowTheirVariablesAgainAfterAHandlerOrADialogChangedThem) {
  BoundForm f;
  f.w.Add(ControlKind::Button, "?SET");
  f.w.Add(ControlKind::Button, "?DIALOG");
  WithStepper op;
  std::vector<std::string> seen;
  std::string shownWhenTheDialogEnded;
  struct Setter : Form {
    using Form::Form;
    std::string* seenAfterDialog = nullptr;
    int OnControlAccepted() override {
      if (window().Accepted() == window().Number("?SET")) {
        f.name = "nové";
        f.count = 42;
        f.endless = 1;
      } else if (window().Accepted() == window().Number("?DIALOG")) {
        // A dialog above changes the window's variable.
        Window dialog;
        dialog.Add(ControlKind::Entry, "?NAME").SetPicture("@s5").Bind(f.name);
        WindowController(dialog).Run();
        *seenAfterDialog = window()["?NAME"].Text();
      }
      return Form::OnControlAccepted();
    }
  } setter(f);
  setter.seenAfterDialog = &shownWhenTheDialogEnded;
  op.view.steps = {
      [&](Window& w) { w.Press("?SET"); },
      [&](Window& w) {
        seen.push_back(w["?NAME"].Text());
        seen.push_back(w["?COUNT"].Text());
        seen.push_back(std::to_string(w["?OPAKOVANI"].Choice()));
        w.Press("?DIALOG");
      },
      [&](Window& dialog) {
        dialog.Enter("?NAME", "z okna");
        dialog.Post(EVENT::CloseWindow);
      },
      [&](Window& w) { w.Post(EVENT::CloseWindow); },
  };
  setter.Run();
  EXPECT_EQ(seen, (std::vector<std::string>{"nové", "42", "1"}));
  EXPECT_EQ(shownWhenTheDialogEnded, "z okn");
}

TEST(WindowDispatch, AConsumedAcceptedEventStopsThere) {
  BoundForm f;
  f.w.Add(ControlKind::Button, "?OK");
  Form form(f);
  form.OkControl = f.w.Number("?OK");
  form.consumeAcceptedOf = f.w.Number("?OK");
  form.onOpen = [&](Window& w) {
    w.Press("?OK");  // consumed: the standard handling would close
    w.CloseBox();
  };
  EXPECT_EQ(form.Run(), RequestCancelled);
  EXPECT_EQ(form.log.back(), "accepted ?OK");
}

TEST(WindowKeys, EscIsTheCloseBoxUnlessAnAlertKeyTakesItOrTheWindowSaysNo) {
  struct Case {
    const char* what;
    bool alert, escapeCloses;
    int event;  // what Esc gave
  } cases[] = {
      {"a dialog", false, true, EVENT::CloseWindow},
      {"a window with Esc as an alert key", true, true, EVENT::AlertKey},
      {"a window whose Esc does not close it", false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Window w;
    w.SetEscapeCloses(c.escapeCloses);
    if (c.alert) w.Alert(kEscapeKey);
    struct C : WindowController {
      using WindowController::WindowController;
      int got = 0;
      int OnWindowEvent() override {
        const int e = window().EventNumber();
        if (e == EVENT::OpenWindow) {
          window().PressKey(kEscapeKey);
          window().Post(EVENT::User);
        } else if (e == EVENT::CloseWindow || e == EVENT::AlertKey) {
          got = e;
        } else if (e == EVENT::User) {
          window().Post(EVENT::CloseDown);
        }
        return WindowController::OnWindowEvent();
      }
    } ctl(w);
    ctl.Run();
    EXPECT_EQ(ctl.got, c.event);
  }
}

TEST(WindowFocus, OpeningFocusesTheFirstUsableControlAndSelectMovesIt) {
  Window w;
  w.Add(ControlKind::Prompt, "?STRING1", "Port:");
  w.Add(ControlKind::Button, "?DISABLED").Disable();
  Control& tab = w.Add(ControlKind::Tab, "?TAB5");
  w.Add(ControlKind::Button, "?ON_HIDDEN_TAB", {}, &tab);
  tab.Hide();
  w.Add(ControlKind::Entry, "?FIRST");
  w.Add(ControlKind::Button, "?LAST");
  struct C : WindowController {
    using WindowController::WindowController;
    std::vector<int> selected;
    int focusAtOpen = 0;
    int OnWindowEvent() override {
      if (window().EventNumber() == EVENT::OpenWindow) {
        focusAtOpen = window().Focus();
        window().Select("?LAST");
      }
      return WindowController::OnWindowEvent();
    }
    int OnControlSelected() override {
      selected.push_back(window().Field());
      if (window().Field() == window().Number("?LAST")) window().Post(EVENT::CloseWindow);
      return kGoOn;
    }
  } c(w);
  c.Run();
  EXPECT_EQ(c.focusAtOpen, w.Number("?FIRST"));
  EXPECT_EQ(c.selected, (std::vector<int>{w.Number("?FIRST"), w.Number("?LAST")}));
  EXPECT_EQ(w.Focus(), w.Number("?LAST"));
}

TEST(WindowPlacement, DialogPositionsRoundTripThroughTheIniFile) {
  testsupport::TempDir dir;
  IniStore store(dir.file("velorn.INI"));
  SetPlacementStore(&store);
  const Placement saved{120, 80, 640, 480, true, false};
  {
    Window w("Editace_uloh");
    w.SetKeepsPlace(true).SetDesignedMinimum(true);
    struct Closer : WindowController {
      Placement p;
      Closer(Window& win, Placement pl) : WindowController(win), p(pl) {}
      int OnWindowEvent() override {
        if (window().EventNumber() == EVENT::OpenWindow) {
          window().SetPlacement(p);
          window().Post(EVENT::CloseWindow);
        }
        return WindowController::OnWindowEvent();
      }
    } closer(w, saved);
    closer.Run();
  }
  EXPECT_EQ(store.GetString("Editace_uloh", "XPos"), "120");
  EXPECT_EQ(store.GetString("Editace_uloh", "YPos"), "80");
  EXPECT_EQ(store.GetString("Editace_uloh", "Width"), "640");
  EXPECT_EQ(store.GetString("Editace_uloh", "Height"), "480");
  EXPECT_EQ(store.GetString("Editace_uloh", "Maximize"), "Yes");
  EXPECT_EQ(store.GetString("Editace_uloh", "Minimize"), "No");
  {
    Window w("Editace_uloh");
    w.SetKeepsPlace(true).SetDesignedMinimum(true);
    w.Open();
    EXPECT_EQ(w.GetPlacement(), saved);
    w.Close();
  }
  {
    // Without a resizer it is sized by its contents: the place only.
    Window w("Editace_uloh");
    w.SetKeepsPlace(true);
    w.Open();
    EXPECT_EQ(w.GetPlacement(), (Placement{120, 80, 0, 0, true, false}));
    w.Close();
  }
  {
    // A window that does not keep its place neither reads nor writes.
    Window w("Jiny");
    w.Open();
    EXPECT_EQ(w.GetPlacement(), Placement{});
    w.Close();
    EXPECT_FALSE(RestorePlacement(w, store));
  }
  SetPlacementStore(nullptr);
  EXPECT_EQ(store.GetString("Jiny", "XPos"), "");
}

TEST(WindowPlacement, NoStoreNoPlacement) {
  SetPlacementStore(nullptr);
  Window w("Volba_vystupu");
  w.SetKeepsPlace(true);
  WindowController c(w);
  w.Open();
  w.Post(EVENT::CloseWindow);
  EXPECT_EQ(c.Run(), RequestCancelled);
}

TEST(WindowFormRequests, AreTheThreadsOwn) {
  FormRequest = InsertRecord;
  std::thread([] {
    EXPECT_EQ(FormRequest, 0);
    FormRequest = ViewRecord;
  }).join();
  EXPECT_EQ(FormRequest, InsertRecord);
  FormRequest = 0;
}

}  // namespace
}  // namespace platform::ui
