// The Qt view on Qt's offscreen platform: the event gate, the boxes and the
// file dialog, a window of controls driven through the toolkit, placement
// through the view, the carried images.
//
// With VELORN_SCREENSHOTS naming a folder, the windows are saved there as
// PNG files to be looked at.
#include "platform/qt/qtview.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/ui/messages.h"
#include "app/ui/window_view.h"
#include "platform/clock.h"
#include "platform/filedialog.h"
#include "platform/msgbox.h"
#include "platform/qt/images.h"
#include "platform/window.h"
#include "platform/winproc.h"
#include "syslib/placement.h"
#include "tests/support/qt_main.h"
#include "tests/support/tempdir.h"

namespace {

namespace pu = platform::ui;
namespace pq = platform::qt;
using namespace std::chrono_literals;

pq::QtView& View() { return testsupport::TestView(); }
using testsupport::Shot;

// The window on top of the thread's windows.
pu::Window& Top() { return *pu::ThreadWindows().back(); }
QWidget* Widget(pu::Window& w, std::string_view label) {
  QWidget* wgt = View().ControlWidget(w, label);
  EXPECT_NE(wgt, nullptr) << label;
  return wgt;
}
// Where the operator clicks: check boxes and radios on their mark.
void Click(pu::Window& w, std::string_view label) {
  QWidget* wgt = Widget(w, label);
  if (wgt == nullptr) return;
  const bool mark = qobject_cast<QCheckBox*>(wgt) != nullptr || qobject_cast<QRadioButton*>(wgt) != nullptr;
  QTest::mouseClick(wgt, Qt::LeftButton, {}, mark ? QPoint(6, wgt->height() / 2) : QPoint());
}

// Runs f from the dispatcher of whichever loop waits next (after ms).
void After(int ms, std::function<void()> f) { QTimer::singleShot(ms, qApp, std::move(f)); }

// Types a name into the file dialog and presses Enter, as the operator does.
void TypeFileName(QFileDialog* dialog, const std::string& name) {
  auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(edit, nullptr);
  edit->setText(QString::fromStdString(name));
  QTest::keyClick(edit, Qt::Key_Return);
}

QRect FrameOf(QWidget* w) { return w->frameGeometry(); }
QRect WorkArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// --- the gate

constexpr int kOpenModal = pu::EVENT::User + 1;
constexpr int kPeriod = 2;  // hundredths
constexpr auto kPeriodTime = 20ms;
constexpr int kModalMs = 200;

// A window whose timer runs; on its first program event it runs `modal`
// and records its ticks meanwhile and after.
struct Below final : pu::WindowController {
  Below(pu::Window& w, std::function<void()> m) : WindowController(w), modal(std::move(m)) {}
  std::function<void()> modal;
  int ticks = 0, ticksWhileModal = 0, acceptedBelow = 0;
  bool inModal = false;
  pu::TimePoint opened{}, closed{};
  std::vector<pu::TimePoint> after;

  int SetUp() override {
    WindowController::SetUp();
    window().SetTimer(kPeriod);
    return pu::kGoOn;
  }
  int OnControlAccepted() override {
    ++acceptedBelow;
    return WindowController::OnControlAccepted();
  }
  int OnWindowEvent() override {
    const int e = window().EventNumber();
    if (e == pu::EVENT::OpenWindow) window().Post(kOpenModal);
    if (e == kOpenModal) {
      inModal = true;
      opened = platform::GetClock().Now();
      modal();
      closed = platform::GetClock().Now();
      inModal = false;
    } else if (e == pu::EVENT::Timer) {
      ++ticks;
      if (inModal) ++ticksWhileModal;
      if (closed != pu::TimePoint{}) {
        after.push_back(platform::GetClock().Now());
        if (after.size() == 2) window().Post(pu::EVENT::CloseWindow);
      }
    }
    return WindowController::OnWindowEvent();
  }
};

// What the box shows while it is open, checked once.
void CheckOpenBox(const char* shot) {
  pu::Window& box = Top();
  QWidget* top = View().NativeOf(box);
  ASSERT_NE(top, nullptr);
  EXPECT_TRUE(top->isVisible());
  EXPECT_TRUE(top->isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), top);
  EXPECT_EQ(QThread::currentThread()->loopLevel(), 0);  // our loop drives Qt's dispatcher: no exec()
  EXPECT_TRUE(WorkArea().contains(FrameOf(top))) << shot;
  Shot(top, shot);
  // Input that reaches the held window anyway is dropped.
  pu::Window& below = *pu::ThreadWindows().front();
  Click(below, "?BELOW");
}

struct GateCase {
  const char* what;
  std::function<void()> modal;  // opens the modal window and checks its answer
};

TEST(QtGate, AModalWindowHoldsTheTicksOfTheWindowBelowAndOneTickFollows) {
  testsupport::TempDir dir(/*makeCurrent=*/true);
  testsupport::WriteFile(dir.file("hlaseni.wav"), "RIFF");
  const std::string wav = QDir(QString::fromStdString(dir.path())).canonicalPath().toStdString() + "/hlaseni.wav";
  app::ui::SetVisibleOnDesktopHook(app::ui::FitOnVisibleDesktop);

  const GateCase cases[] = {
      {"aMessage",
       [] {
         After(kModalMs, [] {
           CheckOpenBox("aMessage");
           Click(Top(), "?BUTTON_OK");
         });
         app::ui::aMessage("stop.ico", "Chyba připojení",
                           "Port COM1 nelze otevřít.\r\nZkontrolujte nastavení portu a připojení ústředny.");
       }},
      {"cMessage",
       [] {
         After(kModalMs, [] {
           CheckOpenBox("cMessage");
           Click(Top(), "?BUTTON1");
         });
         EXPECT_EQ(app::ui::cMessage("storno.gif", "Ne", "ok.gif", "Ano", "warning2.ico", "Potvrzení operace",
                                     "Chystáte se ukončit program !\r\n\r\nOpravdu chcete program ukončit?", 1),
                   1);
       }},
      {"plain box",
       [] {
         After(kModalMs, [] {
           CheckOpenBox("plainbox");
           Click(Top(), "?YES");
         });
         EXPECT_EQ(platform::MessageBox("Konzola hlásí zapnutý mikrofon.\r\nPokračovat?", "Upozornění",
                                        platform::BoxIcon::Question, platform::BoxYes | platform::BoxNo),
                   unsigned{platform::BoxYes});
       }},
      {"file dialog",
       [wav] {
         After(kModalMs, [wav] {
           CheckOpenBox("filedialog");
           auto* dialog = qobject_cast<QFileDialog*>(View().NativeOf(Top()));
           ASSERT_NE(dialog, nullptr);
           EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
           TypeFileName(dialog, wav);
         });
         EXPECT_EQ(platform::OpenFileDialog("Vyberte soubor", "Soubory WAV", "*.WAV"), wav);
       }},
  };
  for (const GateCase& c : cases) {
    pu::Window w("Okno");
    w.SetText("Pod oknem");
    w.Add(pu::ControlKind::Button, "?BELOW", "Tlačítko");
    Below below(w, c.modal);
    below.Run();
    EXPECT_EQ(below.ticksWhileModal, 0) << c.what;
    EXPECT_EQ(below.acceptedBelow, 0) << c.what;
    EXPECT_GE(below.closed - below.opened, std::chrono::milliseconds(kModalMs)) << c.what;
    ASSERT_EQ(below.after.size(), 2u) << c.what;
    // One tick at once, the next a whole period later: the held ticks
    // came as one.
    EXPECT_LT(below.after[0] - below.closed, kPeriodTime) << c.what;
    EXPECT_GE(below.after[1] - below.after[0], kPeriodTime - 2ms) << c.what;
    EXPECT_TRUE(pu::ThreadWindows().empty());
  }
  app::ui::SetVisibleOnDesktopHook(nullptr);
}

// --- the boxes

TEST(QtBoxes, ThePlainBoxAnswersByItsButtonsItsCloseBoxAndEsc) {
  using B = platform::BoxButton;
  struct Case {
    const char* what;
    unsigned buttons, defaultButton;
    std::function<void(pu::Window&, QWidget*)> act;
    unsigned answer;
    const char* focus;  // the label with the focus when it opens
  } cases[] = {
      {"OK", B::BoxOk, 0, [](pu::Window& w, QWidget*) { Click(w, "?OK"); }, B::BoxOk, "?OK"},
      {"No", B::BoxYes | B::BoxNo, 0, [](pu::Window& w, QWidget*) { Click(w, "?NO"); }, B::BoxNo, "?YES"},
      {"default button", B::BoxYes | B::BoxNo | B::BoxCancel, B::BoxNo,
       [](pu::Window& w, QWidget*) { Click(w, "?CANCEL"); }, B::BoxCancel, "?NO"},
      {"close box with Cancel", B::BoxOk | B::BoxCancel, 0, [](pu::Window&, QWidget* top) { top->close(); },
       B::BoxCancel, "?OK"},
      {"Esc on an OK box", B::BoxOk, 0, [](pu::Window&, QWidget* top) { QTest::keyClick(top, Qt::Key_Escape); },
       B::BoxOk, "?OK"},
      {"Alt+F4 on an OK box", B::BoxOk, 0,
       [](pu::Window&, QWidget* top) { QTest::keyClick(top, Qt::Key_F4, Qt::AltModifier); }, B::BoxOk, "?OK"},
      {"Yes/No cannot be closed", B::BoxYes | B::BoxNo, 0,
       [](pu::Window&, QWidget* top) {
         top->close();
         After(0, [] {
           EXPECT_TRUE(View().NativeOf(Top())->isVisible());
           Click(Top(), "?YES");
         });
       },
       B::BoxYes, "?YES"},
  };
  for (const Case& c : cases) {
    After(0, [&c] {
      pu::Window& w = Top();
      EXPECT_EQ(w.ProcedureName(), "MessageBox") << c.what;
      EXPECT_EQ(w.Focus(), w.Number(c.focus)) << c.what;
      c.act(w, View().NativeOf(w));
    });
    EXPECT_EQ(platform::MessageBox("Text", "Titulek", platform::BoxIcon::Information, c.buttons, c.defaultButton),
              c.answer)
        << c.what;
    EXPECT_TRUE(pu::ThreadWindows().empty());
  }
}

TEST(QtBoxes, TheFileDialogKeepsTheCurrentFolderAndGivesNothingWhenCancelled) {
  testsupport::TempDir dir(/*makeCurrent=*/true);
  testsupport::TempDir other;
  testsupport::WriteFile(other.file("jiny.wav"), "RIFF");
  const QString before = QDir::current().canonicalPath();
  struct Case {
    const char* what;
    bool accept;
  } cases[] = {{"chosen in another folder", true}, {"cancelled", false}};
  for (const Case& c : cases) {
    After(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(View().NativeOf(Top()));
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), "Vyberte soubor");
      EXPECT_EQ(dialog->nameFilters(), QStringList{"Soubory WAV (*.wav)"});
      EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), before);
      dialog->setDirectory(QString::fromStdString(other.path()));
      if (c.accept)
        TypeFileName(dialog, other.file("jiny.wav"));
      else
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    const std::string chosen = platform::OpenFileDialog("Vyberte soubor", "Soubory WAV", "*.wav");
    if (c.accept)
      EXPECT_EQ(QFileInfo(QString::fromStdString(chosen)).canonicalFilePath(),
                QFileInfo(QString::fromStdString(other.file("jiny.wav"))).canonicalFilePath());
    else
      EXPECT_EQ(chosen, "");
    EXPECT_EQ(QDir::current().canonicalPath(), before) << c.what;
  }
}

// --- a window of controls

constexpr int kStep = pu::EVENT::User + 2;
constexpr int kCtrlS = 0x253, kCtrlQ = 0x251;

int gWmCloses = 0;
pu::WNDPROC gNextProc = nullptr;
pu::LRESULT CountingProc(pu::HWND h, pu::UINT msg, pu::WPARAM wp, pu::LPARAM lp) {
  if (msg == pu::WM_CLOSE) ++gWmCloses;
  return pu::CallWindowProc(gNextProc, h, msg, wp, lp);
}

struct Form final : pu::WindowController {
  explicit Form(pu::Window& w) : WindowController(w) {}
  std::vector<std::function<void(Form&)>> steps;
  std::size_t next = 0;
  std::vector<std::pair<int, int>> fieldEvents;  // event, control; no Selected
  std::vector<int> keys;
  int closes = 0, iconized = 0, restored = 0;

  std::string name;
  int active = 0, mode = 1, count = 3, sheet = 1;
  std::string port = "COM1";

  int OnWindowEvent() override {
    pu::Window& w = window();
    switch (w.EventNumber()) {
      case pu::EVENT::OpenWindow:
        w.Post(kStep);
        break;
      case kStep:
        if (next < steps.size()) {
          steps[next++](*this);
          w.Post(kStep);
        }
        return pu::kConsumed;
      case pu::EVENT::AlertKey:
        keys.push_back(w.Keycode());
        if (w.Keycode() == kCtrlS) w["?TAB3"].Show();
        if (w.Keycode() == kCtrlQ) w["?TAB3"].Hide();
        break;
      case pu::EVENT::Iconized:
        ++iconized;
        break;
      case pu::EVENT::Restored:
        ++restored;
        break;
      case pu::EVENT::CloseWindow:
        if (++closes == 1) return pu::kConsumed;  // the first one only counts
        break;
      default:
        break;
    }
    return WindowController::OnWindowEvent();
  }
  int OnFieldEvent() override {
    if (window().EventNumber() != pu::EVENT::Selected) fieldEvents.emplace_back(window().EventNumber(), window().Field());
    return WindowController::OnFieldEvent();
  }
  std::vector<std::pair<int, int>> Take() { return std::exchange(fieldEvents, {}); }
};

void BuildForm(pu::Window& w, Form& f) {
  using K = pu::ControlKind;
  w.SetText("Ovládací prvky").SetFont("Tahoma", 8).SetWallpaper("back_blue.jpg").SetIcon("inform.ico");
  pu::Control& sheet = w.Add(K::Sheet, "?SHEET");
  sheet.Bind(f.sheet);
  pu::Control& t1 = w.Add(K::Tab, "?TAB1", "Hlavní", &sheet);
  pu::Control& t2 = w.Add(K::Tab, "?TAB2", "Nastavení", &sheet);
  pu::Control& t3 = w.Add(K::Tab, "?TAB3", "Servis", &sheet);
  t3.Hide();
  pu::Control& g = w.Add(K::Group, "?GROUP1", "Informace", &t1);
  w.Add(K::Prompt, "?P_JMENO", "Jméno:", &g);
  w.Add(K::Entry, "?JMENO", "", &g).SetPicture("@s20").Bind(f.name, 20);
  w.Add(K::Prompt, "?P_POCET", "Počet:", &g);
  w.Add(K::Spin, "?POCET", "", &g).SetPicture("@n3").SetRange(0, 10).Bind(f.count);
  w.Add(K::Prompt, "?P_PORT", "Port:", &g);
  w.Add(K::DropList, "?PORT", "", &g).SetChoices({"COM1", "COM2", "COM3"}).Bind(f.port);
  w.Add(K::Check, "?AKTIVNI", " Aktivní", &t1).Bind(f.active);
  pu::Control& opt = w.Add(K::Option, "?REZIM", "Režim", &t1);
  opt.Bind(f.mode);
  w.Add(K::Radio, "?R1", "Jednou", &opt).SetRadioValue(int64_t{1});
  w.Add(K::Radio, "?R2", "Týdně", &opt).SetRadioValue(int64_t{2});
  w.Add(K::Text, "?INFO", "Připojeno", &t1).SetFontColor(0x0000FF).SetBold(true);
  w.Add(K::Button, "?BUTTON_PLAY", "Přehraj", &t1).SetImage("ok.gif").SetTip("Přehraje hlášení");
  w.Add(K::Button, "?BUTTON_STOP", "Zastav", &t1).SetImage("storno.gif");
  w.Add(K::Text, "?T2", "Druhá záložka", &t2);
  w.Add(K::Text, "?T3", "Servisní záložka", &t3);
  w.Add(K::Button, "?BUTTON_KONEC", "Konec");
  w.Alert(kCtrlS);
  w.Alert(kCtrlQ);
}

TEST(QtControls, AWindowOfControlsTakesClicksKeysAndTheCloseBox) {
  using E = std::pair<int, int>;
  constexpr int A = pu::EVENT::Accepted, N = pu::EVENT::NewSelection;
  pu::Window w("Formular");
  Form form(w);
  BuildForm(w, form);
  const auto num = [&](const char* label) { return w.Number(label); };
  auto* sheet = qobject_cast<QTabWidget*>(View().ControlWidget(w, "?SHEET"));
  const auto top = [&] { return View().NativeOf(w); };
  gWmCloses = 0;

  form.steps = {
      [&](Form&) {
        w.Display();
        gNextProc = pu::SetWindowProc(pu::FrameHandle(w), CountingProc);
        sheet = qobject_cast<QTabWidget*>(View().ControlWidget(w, "?SHEET"));
        ASSERT_NE(sheet, nullptr);
        EXPECT_FALSE(sheet->isTabVisible(2));
        EXPECT_EQ(top()->findChild<QPushButton*>("?BUTTON_PLAY")->text(), "Přehraj");
        EXPECT_FALSE(top()->findChild<QPushButton*>("?BUTTON_PLAY")->icon().isNull());
        EXPECT_EQ(top()->findChild<QPushButton*>("?BUTTON_PLAY")->toolTip(), "Přehraje hlášení");
        EXPECT_EQ(qobject_cast<QLabel*>(Widget(w, "?INFO"))->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        EXPECT_TRUE(Widget(w, "?INFO")->font().bold());
        EXPECT_EQ(top()->windowTitle(), "Ovládací prvky");
        Shot(top(), "controls");
        Click(w, "?BUTTON_PLAY");
      },
      [&](Form& f) {
        EXPECT_EQ(f.Take(), (std::vector<E>{{A, num("?BUTTON_PLAY")}}));
        auto* e = qobject_cast<QLineEdit*>(Widget(w, "?JMENO"));
        QTest::keyClicks(e, "Pavel");
        QTest::keyClick(e, Qt::Key_Return);
      },
      [&](Form& f) {
        EXPECT_EQ(f.Take(), (std::vector<E>{{A, num("?JMENO")}}));
        EXPECT_EQ(f.name, "Pavel");
        Click(w, "?AKTIVNI");
        Click(w, "?R2");
      },
      [&](Form& f) {
        EXPECT_EQ(f.Take(), (std::vector<E>{{A, num("?AKTIVNI")}, {A, num("?REZIM")}}));
        EXPECT_EQ(f.active, 1);
        EXPECT_EQ(f.mode, 2);
        EXPECT_TRUE(qobject_cast<QRadioButton*>(Widget(w, "?R2"))->isChecked());
        EXPECT_FALSE(qobject_cast<QRadioButton*>(Widget(w, "?R1"))->isChecked());
        QTest::keyClick(Widget(w, "?POCET"), Qt::Key_Up);
        QTest::keyClick(Widget(w, "?POCET"), Qt::Key_Up);
        QTest::keyClick(Widget(w, "?PORT"), Qt::Key_Down);
      },
      [&](Form& f) {
        EXPECT_EQ(f.Take(), (std::vector<E>{{N, num("?POCET")}, {N, num("?POCET")}, {N, num("?PORT")}, {A, num("?PORT")}}));
        EXPECT_EQ(f.count, 5);
        EXPECT_EQ(f.port, "COM2");
        QTest::keyClick(Widget(w, "?JMENO"), Qt::Key_S, Qt::ControlModifier);
      },
      [&](Form& f) {
        EXPECT_EQ(f.keys, std::vector<int>{kCtrlS});
        EXPECT_TRUE(sheet->isTabVisible(2));
        QTest::mouseClick(sheet->tabBar(), Qt::LeftButton, {}, sheet->tabBar()->tabRect(1).center());
      },
      [&](Form& f) {
        EXPECT_EQ(f.Take(), (std::vector<E>{{N, num("?SHEET")}}));
        EXPECT_EQ(f.sheet, 2);
        w["?BUTTON_STOP"].Disable();
        w["?INFO"].SetColor(0x0000FF);
        EXPECT_FALSE(Widget(w, "?BUTTON_STOP")->isEnabled());
        EXPECT_EQ(Widget(w, "?INFO")->palette().color(QPalette::Window), QColor(255, 0, 0));
        EXPECT_TRUE(Widget(w, "?INFO")->autoFillBackground());
        w["?INFO"].SetColor(pu::kNormalColor);
        EXPECT_FALSE(Widget(w, "?INFO")->autoFillBackground());
        Click(w, "?BUTTON_STOP");  // disabled: nothing
        top()->showMinimized();
      },
      [&](Form& f) {
        EXPECT_EQ(f.Take(), std::vector<E>{});
        EXPECT_EQ(f.iconized, 1);
        EXPECT_TRUE(w.Iconized());
        top()->setWindowState(Qt::WindowNoState);
      },
      [&](Form& f) {
        EXPECT_EQ(f.restored, 1);
        EXPECT_FALSE(w.Iconized());
        QTest::keyClick(top(), Qt::Key_F4, Qt::AltModifier);
      },
      [&](Form& f) {
        EXPECT_EQ(f.closes, 1);  // consumed: still open
        EXPECT_EQ(gWmCloses, 1);
        EXPECT_TRUE(top()->isVisible());
        top()->close();  // the close box
      },
  };
  form.Run();
  EXPECT_EQ(form.next, form.steps.size());
  EXPECT_EQ(form.closes, 2);
  EXPECT_EQ(gWmCloses, 2);
  EXPECT_FALSE(QGuiApplication::quitOnLastWindowClosed());
  EXPECT_EQ(View().NativeOf(w), nullptr);
}

// --- placement through the view

pu::Placement PlacementOf(int x, int y, int width, int height) {
  pu::Placement p;
  p.x = x;
  p.y = y;
  p.width = width;
  p.height = height;
  return p;
}

TEST(QtPlacement, ScreensGiveTheDesktopAndAWindowIsFittedInPlaceOrInItsNormalPlacement) {
  const QRect screen = QGuiApplication::primaryScreen()->virtualGeometry();
  EXPECT_EQ(View().VirtualScreen(), (pu::ScreenRect{screen.x(), screen.y(), screen.x() + screen.width(),
                                                     screen.y() + screen.height()}));
  const QRect work = WorkArea();
  EXPECT_EQ(View().WorkArea(),
            (pu::ScreenRect{work.x(), work.y(), work.x() + work.width(), work.y() + work.height()}));

  for (bool maximized : {false, true}) {
    pu::Window w("Okno");
    w.Add(pu::ControlKind::Text, "?T", "Text");
    w.SetPlacement(PlacementOf(screen.right() - 100, 100, 300, 150));
    w.Open();
    if (maximized) w.SetMaximize(true);
    View().Flush();
    QWidget* top = View().NativeOf(w);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->isMaximized(), maximized);
    EXPECT_EQ(syslib::ds_VisibleOnDesktop(w, 1), 0);
    const QMargins frame = top->windowHandle()->frameMargins();
    const int fitted = work.x() + work.width() - 300 - frame.left() - frame.right();
    EXPECT_EQ(w.GetPlacement().x, fitted);
    EXPECT_EQ(w.Maximized(), maximized);
    EXPECT_EQ(top->isMaximized(), maximized);
    if (maximized) w.SetMaximize(false);  // comes back to the fitted place
    EXPECT_EQ(top->geometry().x() - frame.left(), fitted);
    EXPECT_EQ(top->width(), 300);
    w.Close();
  }
}

TEST(QtPlacement, ShowWindowBringsAHiddenMinimisedWindowBackActiveOrNot) {
  pu::Window other("Jine");
  other.Add(pu::ControlKind::Text, "?T", "Jiné okno");
  other.Open();
  View().Flush();
  for (uint8_t front : {uint8_t{1}, uint8_t{0}}) {
    pu::Window w("Okno");
    w.Add(pu::ControlKind::Text, "?T", "Text");
    w.Open();
    View().Flush();
    w.SetHide(true);
    w.SetIconize(true);
    View().Raise(other, true);
    ASSERT_TRUE(QTest::qWaitForWindowActive(View().NativeOf(other), 2000));
    QWidget* top = View().NativeOf(w);
    EXPECT_FALSE(top->isVisible());
    syslib::ds_ShowWindow(w, front);
    EXPECT_EQ(syslib::LibraryErrorCode(), 0);
    EXPECT_TRUE(top->isVisible());
    EXPECT_FALSE(top->isMinimized());
    EXPECT_FALSE(w.Hidden() || w.Iconized());
    // Made the foreground window or not: the window's procedures see
    // WM_ACTIVATE (GainFocus) only then.
    bool gained = false;
    while (auto e = pu::ThisThreadQueue().TakeFor(w.Id(), false)) gained = gained || e->number == pu::EVENT::GainFocus;
    EXPECT_EQ(gained, front != 0);
    if (front != 0) {
      EXPECT_TRUE(QTest::qWaitForWindowActive(top, 2000));
    } else {
      // The offscreen platform activates every window it shows; desktops
      // keep the shown window inactive.
      EXPECT_TRUE(top->testAttribute(Qt::WA_ShowWithoutActivating));
    }
    w.Close();
  }
  other.Close();
}

// --- the loop

TEST(QtLoop, AWaitingLoopUsesNoProcessorTime) {
  struct Idle final : pu::WindowController {
    using WindowController::WindowController;
    int ticks = 0;
    double cpuAtFirstTick = 0, cpuAtClose = 0;
    int OnWindowEvent() override {
      const int e = window().EventNumber();
      if (e == pu::EVENT::Timer && ++ticks == 1) cpuAtFirstTick = CpuSeconds();
      if (e == pu::EVENT::CloseWindow) cpuAtClose = CpuSeconds();
      return WindowController::OnWindowEvent();
    }
  };
  pu::Window w("Okno");
  w.Add(pu::ControlKind::Text, "?T", "Čeká");
  w.SetTimer(10);  // 100 ms
  Idle idle(w);
  After(350, [&] { w.Post(pu::EVENT::CloseWindow); });
  const auto start = platform::GetClock().Now();
  idle.Run();
  EXPECT_GE(platform::GetClock().Now() - start, 350ms);
  EXPECT_EQ(idle.ticks, 3);
  // About a quarter of a second of waiting between the first tick and the
  // close: it waited, it did not spin.
  EXPECT_LT(idle.cpuAtClose - idle.cpuAtFirstTick, 0.05);
}

// --- keys and images

TEST(QtKeys, KeysGiveTheModelsKeyCodes) {
  struct Case {
    int key;
    Qt::KeyboardModifiers mods;
    int code;
  } cases[] = {
      {Qt::Key_Q, Qt::ControlModifier, 0x251}, {Qt::Key_S, Qt::ControlModifier, 0x253},
      {Qt::Key_F1, Qt::NoModifier, 0x70},       {Qt::Key_X, Qt::AltModifier, 0x458},
      {Qt::Key_Tab, Qt::ShiftModifier, 0x109},  {Qt::Key_Escape, Qt::NoModifier, 0x1B},
      {Qt::Key_Return, Qt::NoModifier, 0x0D},   {Qt::Key_7, Qt::NoModifier, 0x37},
      {Qt::Key_Down, Qt::NoModifier, 0x28},     {Qt::Key_Shift, Qt::ShiftModifier, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(pq::KeyCodeOf(c.key, static_cast<unsigned>(c.mods.toInt())), c.code) << c.key;
}

TEST(QtImages, TheCarriedImagesLoadThroughTheImageLoader) {
  struct Case {
    const char* name;
    int width, height;
  } cases[] = {{"stop.ico", 32, 32},      {"inform.ico", 32, 32},      {"warning2.ico", 32, 32},
               {"ok.gif", 20, 20},        {"storno.gif", 20, 20},      {"back_blue.jpg", 480, 300},
               {"back_blue_big.jpg", 1280, 960}, {"OK.GIF", 20, 20}, {".\\stop.ico", 32, 32},
               {"CALENDAR.ICO", 32, 32}, {"VCRbottom.gif", 20, 20}, {"VCRrewind.gif", 20, 20},
               {"VCRback.gif", 20, 20},  {"VCRplay.gif", 20, 20},   {"vcrfastforward.gif", 20, 20},
               {"sound.ico", 32, 32},    {"cross.gif", 20, 20}};
  QImage sheet(1400, 420, QImage::Format_ARGB32);
  sheet.fill(QColor(0xEF, 0xEF, 0xEF));
  QPainter painter(&sheet);
  int x = 10;
  for (const Case& c : cases) {
    const QImage image = pq::LoadImage(c.name);
    ASSERT_FALSE(image.isNull()) << c.name;
    EXPECT_EQ(image.size(), QSize(c.width, c.height)) << c.name;
    if (c.width <= 32) {
      painter.drawImage(QRect(x, 10, c.width * 3, c.height * 3), image);
      x += c.width * 3 + 10;
    }
  }
  painter.drawImage(QRect(10, 120, 480, 300), pq::LoadImage("back_blue.jpg"));
  painter.drawImage(QRect(500, 120, 390, 292), pq::LoadImage("back_blue_big.jpg"));
  painter.end();
  const char* dir = std::getenv("VELORN_SCREENSHOTS");
  if (dir != nullptr && *dir != '\0') sheet.save(QString::fromUtf8(dir) + "/images.png");

  // The icons keep their transparency; the JPEG went through libjpeg.
  EXPECT_EQ(qAlpha(pq::LoadImage("stop.ico").pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(pq::LoadImage("stop.ico").pixel(16, 16)), 255);
  const auto jpeg = pq::CarriedImage("back_blue.jpg");
  EXPECT_EQ(pq::DecodeJpeg(jpeg).size(), QSize(480, 300));
  EXPECT_TRUE(pq::CarriedImage("nic.gif").empty());
  EXPECT_TRUE(pq::LoadImage("nic.gif").isNull());
}

TEST(QtImages, JpegFilesDecodeThroughLibjpegAndBrokenOnesGiveNothing) {
  testsupport::TempDir dir(/*makeCurrent=*/true);
  const auto jpeg = pq::CarriedImage("back_blue.jpg");
  const std::string bytes(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
  testsupport::WriteFile(dir.file("tapeta.jpg"), bytes);
  testsupport::WriteFile(dir.file("hlava.jpg"), bytes.substr(0, 20));
  testsupport::WriteFile(dir.file("text.jpg"), "not a picture");
  struct Case {
    const char* name;
    bool loads;
  } cases[] = {{"tapeta.jpg", true}, {"hlava.jpg", false}, {"text.jpg", false}, {"zadny.jpg", false}};
  for (const Case& c : cases) {
    const QImage image = pq::LoadImage(c.name);
    EXPECT_EQ(!image.isNull(), c.loads) << c.name;
    if (c.loads) {
      EXPECT_EQ(image.size(), QSize(480, 300)) << c.name;
    }
  }
}

}  // namespace

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
