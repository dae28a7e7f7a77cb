// The Qt view on Qt's offscreen platform: the event gate, the boxes and the
// file dialog, a window of controls driven through the toolkit, placement
// through the view, the carried images.
//
// With VELORN_SCREENSHOTS naming a folder, the windows are saved there as
// PNG files to be looked at.
#include "platform/qt/qtview.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QTreeView>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
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
#include "platform/recordfile.h"
#include "platform/text.h"
#include "platform/window.h"
#include "platform/winproc.h"
#include "syslib/placement.h"
#include "tests/support/child.h"
#include "tests/support/qt_main.h"
#include "tests/support/tempdir.h"

// Texts and points in failure messages as such.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QPoint& p, std::ostream* os) { *os << '(' << p.x() << ", " << p.y() << ')'; }

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

using testsupport::OnDisplay;

// The outer rectangle of a top-level window, frame included.
QRect Outer(QWidget* top) {
  const QWindow* h = top->windowHandle();
  return h != nullptr ? top->geometry().marginsAdded(h->frameMargins()) : top->geometry();
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

// --- the gate

constexpr int kOpenModal = pu::EVENT::User + 1;
constexpr int kModalClosed = pu::EVENT::User + 2;
constexpr int kPeriod = 2;  // hundredths
constexpr auto kPeriodTime = 20ms;
constexpr int kModalMs = 200;

// A window whose timer runs; on its first program event it runs `modal`
// and records its ticks meanwhile and after. When the modal window has
// closed it posts itself kModalClosed and records the order of what comes
// next ('T' a tick, 'C' that event).
struct Below final : pu::WindowController {
  Below(pu::Window& w, std::function<void()> m) : WindowController(w), modal(std::move(m)) {}
  std::function<void()> modal;
  int ticks = 0, ticksWhileModal = 0, acceptedBelow = 0;
  bool inModal = false;
  pu::TimePoint opened{}, closed{};
  std::vector<pu::TimePoint> after;
  std::string order;

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
      window().Post(kModalClosed);
    } else if (e == kModalClosed) {
      order += 'C';
    } else if (e == pu::EVENT::Timer) {
      ++ticks;
      if (inModal) ++ticksWhileModal;
      if (closed != pu::TimePoint{}) {
        order += 'T';
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
    // A gate that never lets the ticks through again fails instead of
    // hanging.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [&] {
      ADD_FAILURE() << c.what << ": no two ticks after the modal window";
      w.Post(pu::EVENT::CloseWindow);
    });
    giveUp.start(20000);
    below.Run();
    EXPECT_EQ(below.ticksWhileModal, 0) << c.what;
    EXPECT_EQ(below.acceptedBelow, 0) << c.what;
    // The modal window was open for many periods of the window below ...
    EXPECT_GE(below.closed - below.opened, std::chrono::milliseconds(kModalMs)) << c.what;
    ASSERT_EQ(below.after.size(), 2u) << c.what;
    // ... yet one held tick comes at once, before an event posted when the
    // modal window closed, and the next keeps the period from there
    // instead of catching up: the held ticks came as one.
    EXPECT_EQ(below.order.substr(0, 2), "TC") << c.what;
    EXPECT_GE(below.after[1] - below.closed, kPeriodTime) << c.what;
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

// --- boxes as the operator meets them

constexpr auto kShownLimit = 10s;

// Polls from the dispatcher of whichever loop waits next until the window
// on top of the thread's windows (above `below` others) is shown and active
// and, on a display, framed by the window manager; then runs f. A window
// that does not show in time is closed, with a failure.
void WhenShown(std::size_t below, std::function<void(pu::Window&, QWidget*)> f) {
  auto* poll = new QTimer(qApp);
  const auto until = std::chrono::steady_clock::now() + kShownLimit;
  QObject::connect(poll, &QTimer::timeout, poll, [poll, below, until, f = std::move(f)] {
    View().Flush();  // what the window system said meanwhile is laid out, as the loop does before it waits
    const auto ws = pu::ThreadWindows();
    QWidget* top = ws.size() > below ? View().NativeOf(*ws.back()) : nullptr;
    const QWindow* h = top != nullptr ? top->windowHandle() : nullptr;
    const bool ready = h != nullptr && top->isVisible() && h->isExposed() && QApplication::activeWindow() == top &&
                       (!OnDisplay() || !h->frameMargins().isNull());
    if (!ready && std::chrono::steady_clock::now() < until) return;
    poll->stop();
    poll->deleteLater();
    if (!ready) {
      ADD_FAILURE() << "the window did not show";
      if (ws.size() > below) ws.back()->Close();
      return;
    }
    f(*ws.back(), top);
  });
  poll->start(10);
}

// Closes the window on top when it is still open after a while (what should
// have closed it did nothing), with a failure; disarmed when it goes.
class Deadline {
 public:
  explicit Deadline(std::string what) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [what = std::move(what)] {
      ADD_FAILURE() << what << ": still open";
      if (!pu::ThreadWindows().empty()) pu::ThreadWindows().back()->Close();
    });
    timer_.start(10000);
  }

 private:
  QTimer timer_;
};

const char* XKeyName(Qt::Key k) {
  switch (k) {
    case Qt::Key_Return:
      return "Return";
    case Qt::Key_Escape:
      return "Escape";
    case Qt::Key_Tab:
      return "Tab";
    case Qt::Key_Space:
      return "space";
    default:
      return "";
  }
}

// Types keys as the operator does: on a display through the X server
// (xdotool, to the window with the input focus), else into the widget with
// the focus.
void Type(const std::vector<Qt::Key>& keys) {
  if (OnDisplay()) {
    std::vector<std::string> args{"key", "--delay", "30"};
    for (Qt::Key k : keys) args.emplace_back(XKeyName(k));
    testsupport::Child xdotool(QStandardPaths::findExecutable("xdotool").toStdString(), args, {"", {}, false});
    EXPECT_EQ(xdotool.Wait(10s), 0) << xdotool.err();
    return;
  }
  for (Qt::Key k : keys) {
    QWidget* to = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : QApplication::activeWindow();
    ASSERT_NE(to, nullptr);
    QTest::keyClick(to, k);
  }
}

enum class BoxKind { Message, Question, YesNo, Ok, YesNoCancel };

// Shows a box of a kind: aMessage gives 1 once it has closed, cMessage its
// result, the plain box its answer.
unsigned ShowBox(BoxKind kind, const std::string& text, uint8_t style = 1) {
  using B = platform::BoxButton;
  switch (kind) {
    case BoxKind::Message:
      app::ui::aMessage("stop.ico", "Chyba připojení", text);
      return 1;
    case BoxKind::Question:
      return app::ui::cMessage("storno.gif", "Ne", "ok.gif", "Ano", "warning2.ico", "Potvrzení operace", text, style);
    case BoxKind::YesNo:
      return platform::MessageBox(text, "Upozornění", platform::BoxIcon::Question, B::BoxYes | B::BoxNo);
    case BoxKind::Ok:
      return platform::MessageBox(text, "Stop", platform::BoxIcon::Exclamation, B::BoxOk);
    case BoxKind::YesNoCancel:
      return platform::MessageBox(text, "Upozornění", platform::BoxIcon::Question,
                                  B::BoxYes | B::BoxNo | B::BoxCancel, B::BoxNo);
  }
  return 0;
}

// The label of a box's text and of the button that refuses.
const char* TextLabel(BoxKind kind) {
  return kind == BoxKind::Message || kind == BoxKind::Question ? "?UZIVATELSKY_TEXT" : "?TEXT";
}
const char* RefusingLabel(BoxKind kind) {
  switch (kind) {
    case BoxKind::Message:
      return "?BUTTON_OK";
    case BoxKind::Question:
      return "?BUTTON2";
    case BoxKind::YesNo:
      return "?NO";
    case BoxKind::Ok:
      return "?OK";
    case BoxKind::YesNoCancel:
      return "?CANCEL";
  }
  return "";
}

// Words, blank-separated, to n characters.
std::string Words(std::size_t n) {
  static const char* const kWords[] = {"Zkontrolujte", "zda", "zvolený", "port", "existuje", "a", "zda", "ho",
                                       "nepoužívá", "nějaká", "jiná", "aplikace."};
  std::string out;
  for (std::size_t i = 0; platform::text::CharCount(out) < n; ++i) {
    if (!out.empty()) out += ' ';
    out += kWords[i % std::size(kWords)];
  }
  return platform::text::TruncateChars(out, n);
}

const std::string kConnectionText =
    "Nelze se připojit k portu COM1 !\r\n\r\nZkontrolujte, zda zvolený port existuje a zda ho nepoužívá nějaká "
    "jiná aplikace. Poté pokus zopakujte.";

TEST(QtBoxLook, ABoxIsAsTallAsItsTextNeedsUpToTheWorkArea) {
  std::string lines;  // more lines than the screen holds
  for (int i = 1; i <= 150; ++i) lines += "Řádek " + std::to_string(i) + "\r\n";
  struct Case {
    const char* shot;
    BoxKind kind;
    std::string text;
    bool fillsWorkArea;
    int shownChars;  // -1: not checked
  } cases[] = {
      {"aMessage_connection", BoxKind::Message, kConnectionText, false, -1},
      {"aMessage_800", BoxKind::Message, Words(800), false, 800},
      {"aMessage_3000", BoxKind::Message, Words(3000), false, 2047},
      {"aMessage_lines", BoxKind::Message, lines, true, -1},
      {"cMessage", BoxKind::Question, "Chystáte se ukončit program !\r\n\r\nOpravdu chcete program ukončit?", false, -1},
      {"plainbox", BoxKind::YesNo, "Konzola hlásí zapnutý mikrofon.\r\nPokračovat?", false, -1},
      {"plainbox_long", BoxKind::Ok, Words(600), false, 600},
  };
  app::ui::SetVisibleOnDesktopHook(app::ui::FitOnVisibleDesktop);
  for (const Case& c : cases) {
    WhenShown(0, [&c](pu::Window& w, QWidget* top) {
      auto* text = top->findChild<QLabel*>(TextLabel(c.kind));
      ASSERT_NE(text, nullptr) << c.shot;
      const QRect work = WorkArea(), outer = Outer(top);
      EXPECT_TRUE(work.contains(outer)) << c.shot;
      if (c.fillsWorkArea) {
        EXPECT_EQ(outer.height(), work.height()) << c.shot;
      } else {
        // As tall as the layout needs at the window's width: every line of
        // the text whole, nothing cut at the bottom.
        EXPECT_EQ(top->height(), top->layout()->totalHeightForWidth(top->width())) << c.shot;
        EXPECT_GE(text->height(), text->heightForWidth(text->width())) << c.shot;
      }
      if (c.shownChars >= 0) {
        EXPECT_EQ(text->text().size(), c.shownChars) << c.shot;
      }
      Shot(top, c.shot);
      Click(w, RefusingLabel(c.kind));
    });
    Deadline d(c.shot);
    ShowBox(c.kind, c.text);
    EXPECT_TRUE(pu::ThreadWindows().empty());
  }
  app::ui::SetVisibleOnDesktopHook(nullptr);
}

TEST(QtBoxLook, TheFocusedButtonShowsAFrameFlatOrRaised) {
  for (uint8_t style : {uint8_t{1}, uint8_t{0}}) {
    WhenShown(0, [style](pu::Window& w, QWidget* top) {
      auto* first = qobject_cast<QPushButton*>(Widget(w, "?BUTTON2"));
      auto* second = qobject_cast<QPushButton*>(Widget(w, "?BUTTON1"));
      ASSERT_TRUE(first != nullptr && second != nullptr);
      EXPECT_EQ(first->isFlat(), style != 0);
      EXPECT_TRUE(first->hasFocus());
      const QImage focused = first->grab().toImage();
      Shot(top, style != 0 ? "cMessage_flat_focus" : "cMessage_raised_focus");
      second->setFocus(Qt::OtherFocusReason);
      EXPECT_EQ(w.Focus(), w.Number("?BUTTON1"));
      const QImage unfocused = first->grab().toImage();
      // The frame runs along every side, inside the button.
      const int x = focused.width() / 2, y = focused.height() / 2;
      const auto differs = [&](std::initializer_list<QPoint> band) {
        for (QPoint p : band)
          if (focused.pixel(p) != unfocused.pixel(p)) return true;
        return false;
      };
      EXPECT_TRUE(differs({{x, 1}, {x, 2}, {x, 3}})) << "top, style " << int(style);
      EXPECT_TRUE(differs({{x, focused.height() - 2}, {x, focused.height() - 3}, {x, focused.height() - 4}}))
          << "bottom, style " << int(style);
      EXPECT_TRUE(differs({{1, y}, {2, y}, {3, y}})) << "left, style " << int(style);
      EXPECT_TRUE(differs({{focused.width() - 2, y}, {focused.width() - 3, y}, {focused.width() - 4, y}}))
          << "right, style " << int(style);
      Click(w, "?BUTTON2");
    });
    Deadline d("focus frame");
    EXPECT_EQ(ShowBox(BoxKind::Question, "Opravdu smazat úlohu?", style), 2u);
  }
}

TEST(QtBoxKeys, EnterEscAndTabThenSpaceGiveEachBoxItsAnswer) {
  using B = platform::BoxButton;
  using K = std::vector<Qt::Key>;
  const K enter{Qt::Key_Return}, esc{Qt::Key_Escape}, tabSpace{Qt::Key_Tab, Qt::Key_Space},
      tabEnter{Qt::Key_Tab, Qt::Key_Return};
  struct Case {
    const char* what;
    BoxKind kind;
    K keys;
    unsigned answer;
  } cases[] = {
      {"aMessage Enter", BoxKind::Message, enter, 1},
      {"aMessage Esc", BoxKind::Message, esc, 1},
      {"aMessage Tab Space", BoxKind::Message, tabSpace, 1},
      {"cMessage Enter: the focused first pair", BoxKind::Question, enter, 2},
      {"cMessage Esc: the refusing first pair", BoxKind::Question, esc, 2},
      {"cMessage Tab Space: the second pair", BoxKind::Question, tabSpace, 1},
      {"cMessage Tab Enter: the focused second pair", BoxKind::Question, tabEnter, 1},
      {"Yes/No Enter", BoxKind::YesNo, enter, B::BoxYes},
      {"Yes/No Esc", BoxKind::YesNo, esc, B::BoxNo},
      {"Yes/No Tab Space", BoxKind::YesNo, tabSpace, B::BoxNo},
      {"OK Enter", BoxKind::Ok, enter, B::BoxOk},
      {"OK Esc", BoxKind::Ok, esc, B::BoxOk},
      {"OK Tab Space", BoxKind::Ok, tabSpace, B::BoxOk},
      {"Yes/No/Cancel, default No: Enter", BoxKind::YesNoCancel, enter, B::BoxNo},
      {"Yes/No/Cancel, default No: Esc", BoxKind::YesNoCancel, esc, B::BoxCancel},
      {"Yes/No/Cancel, default No: Tab Space", BoxKind::YesNoCancel, tabSpace, B::BoxCancel},
  };
  for (const Case& c : cases) {
    WhenShown(0, [&c](pu::Window&, QWidget*) { Type(c.keys); });
    Deadline d(c.what);
    EXPECT_EQ(ShowBox(c.kind, "Stiskněte klávesu."), c.answer) << c.what;
    EXPECT_TRUE(pu::ThreadWindows().empty()) << c.what;
  }
}

TEST(QtBoxes, TheFileDialogSpeaksCzech) {
  testsupport::TempDir dir(/*makeCurrent=*/true);
  testsupport::WriteFile(dir.file("hlaseni.wav"), "RIFF");
  const QFileInfo file(QString::fromStdString(dir.file("hlaseni.wav")));
  const QLocale czech(QLocale::Czech, QLocale::CzechRepublic);
  WhenShown(0, [&](pu::Window&, QWidget* top) {
    auto* dialog = qobject_cast<QFileDialog*>(top);
    ASSERT_NE(dialog, nullptr);
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), "Zrušit");
    EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text(), "&Otevřít");
    EXPECT_EQ(dialog->findChild<QLabel*>("lookInLabel")->text(), "Hledat v:");
    // The list as the operator sees it; the folder is read in the background.
    auto* list = dialog->findChild<QTreeView*>("treeView");
    ASSERT_NE(list, nullptr);
    QAbstractItemModel* shown = list->model();
    EXPECT_EQ(shown->headerData(1, Qt::Horizontal).toString(), "Velikost");
    QModelIndex row;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const auto found = shown->match(shown->index(0, 0, list->rootIndex()), Qt::DisplayRole, "hlaseni.wav");
          if (!found.isEmpty()) row = found.front();
          return row.isValid() && !shown->data(row.siblingAtColumn(1)).toString().isEmpty();
        },
        5000));
    EXPECT_EQ(shown->data(row.siblingAtColumn(1)).toString(), "4 bajty");
    EXPECT_EQ(shown->data(row.siblingAtColumn(3)).toString(),
              czech.toString(file.lastModified(), QLocale::ShortFormat));
    EXPECT_TRUE(shown->data(row.siblingAtColumn(3)).toString().contains('.')) << "day.month.year";
    Shot(top, "filedialog");
    dialog->reject();
  });
  Deadline d("file dialog");
  EXPECT_EQ(platform::OpenFileDialog("Vyberte soubor", "Soubory WAV", "*.WAV"), "");
}

// The working folder holds the record files the program has open: showing
// them in the dialog reads nothing of them, so the program's locks stay and
// another reader leaves their log in place.
TEST(QtBoxes, TheFileDialogLeavesTheRecordFilesOfItsFolderAlone) {
  testsupport::TempDir dir(/*makeCurrent=*/true);
  testsupport::WriteFile(dir.file("hlaseni.wav"), "RIFF");
  struct Held {
    int32_t n = 0;
  };
  platform::rec::FileDecl decl;
  decl.label = "T";
  decl.fileName = "Tasks.tps";
  decl.recordBytes = 4;
  decl.fields = {platform::rec::Field("T:N", platform::rec::FieldType::Long, 0, &Held::n)};
  platform::rec::File<Held> file(decl);
  ASSERT_EQ(file.Create(), 0);
  ASSERT_EQ(file.Open(), 0);
  auto inode = [&](const char* name) {
    struct stat st {};
    return ::stat(dir.file(name).c_str(), &st) == 0 ? st.st_ino : 0;
  };
  const ino_t wal = inode("Tasks.tps-wal"), shm = inode("Tasks.tps-shm");
  ASSERT_NE(wal, 0u);
  WhenShown(0, [&](pu::Window&, QWidget* top) {
    auto* dialog = qobject_cast<QFileDialog*>(top);
    ASSERT_NE(dialog, nullptr);
    auto* list = dialog->findChild<QTreeView*>("treeView");
    ASSERT_NE(list, nullptr);
    // Every file shown, with its type.
    dialog->setNameFilter("*");
    QAbstractItemModel* shown = list->model();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const auto found = shown->match(shown->index(0, 0, list->rootIndex()), Qt::DisplayRole, "Tasks.tps-shm");
          return !found.isEmpty() && !shown->data(found.front().siblingAtColumn(2)).toString().isEmpty();
        },
        5000));
    QTest::qWait(200);
    dialog->reject();
  });
  Deadline d("file dialog");
  EXPECT_EQ(platform::OpenFileDialog("Vyberte soubor", "Soubory WAV", "*.WAV"), "");
  ASSERT_TRUE(testsupport::ReadWithSqliteTool(dir.file("Tasks.tps")));
  EXPECT_EQ(inode("Tasks.tps-wal"), wal);
  EXPECT_EQ(inode("Tasks.tps-shm"), shm);
}

TEST(QtControls, AFixedLengthCaptionIsShownWithoutItsPadding) {
  const std::string caption = " vELORN v. 1.0" + std::string(241, ' ');
  pu::Window w("Okno");
  w.SetText(caption);
  w.Add(pu::ControlKind::Text, "?T", "Text");
  w.Open();
  View().Flush();
  QWidget* top = View().NativeOf(w);
  EXPECT_EQ(top->windowTitle(), " vELORN v. 1.0");
  EXPECT_EQ(w.Text(), caption) << "the window keeps its text";
  w.SetText("   ");
  EXPECT_EQ(top->windowTitle(), "");
  w.Close();
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

// --- input while the loop is behind

// A window whose loop is behind: a program event waits in its queue while
// the operator clicks "Vlož" and types a name, then presses its access key
// and types another. "Vlož" moves the focus to a cleared name field; Enter
// there keeps the name.
TEST(QtInput, InputWhileTheLoopIsBehindReachesTheFieldFocusedByTheEarlierClickInOrder) {
  constexpr int kBehind = pu::EVENT::User + 3;
  struct Names final : pu::WindowController {
    using WindowController::WindowController;
    std::string typed;
    std::vector<std::string> names;
    std::vector<std::string> accepted;
    int OnControlAccepted() override {
      pu::Window& w = window();
      accepted.push_back(w.At(w.Accepted())->Label());
      if (w.Accepted() == w.Number("?VLOZ")) {
        typed.clear();
        w.Display("?NAZEV");
        w.Select("?NAZEV");
      } else if (w.Accepted() == w.Number("?NAZEV")) {
        names.push_back(typed);
        if (names.size() == 2) w.Post(pu::EVENT::CloseWindow);
      }
      return WindowController::OnControlAccepted();
    }
  };
  pu::Window w("Vystupy");
  w.SetText("Výstupy");
  w.Add(pu::ControlKind::Button, "?VLOZ", "&Vlož");
  w.Add(pu::ControlKind::Prompt, "?P_NAZEV", "Název:");
  Names names(w);
  w.Add(pu::ControlKind::Entry, "?NAZEV", "").SetPicture("@s10").Bind(names.typed, 10);
  Deadline d("the window behind its input");
  WhenShown(0, [](pu::Window& shown, QWidget* top) {
    shown.Post(kBehind);  // taken only once this handler of the toolkit's has returned
    // Through the native window, as the window system delivers it.
    QWindow* native = top->windowHandle();
    QWidget* vloz = Widget(shown, "?VLOZ");
    QTest::mouseClick(native, Qt::LeftButton, {}, vloz->mapTo(top, vloz->rect().center()));
    const auto type = [native](const char* text) {
      for (const char* c = text; *c != '\0'; ++c) QTest::keyClick(native, *c);
      QTest::keyClick(native, Qt::Key_Return);
    };
    type("Pokus");
    QTest::keyClick(native, Qt::Key_V, Qt::AltModifier);
    type("Druhy");
  });
  names.Run();
  EXPECT_EQ(names.names, (std::vector<std::string>{"Pokus", "Druhy"}));
  EXPECT_EQ(names.accepted, (std::vector<std::string>{"?VLOZ", "?NAZEV", "?VLOZ", "?NAZEV"}));
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
    // On a display, fitted once framed: the frame it has is the frame
    // counted.
    if (OnDisplay()) {
      ASSERT_TRUE(QTest::qWaitFor([top] { return !top->windowHandle()->frameMargins().isNull(); }, 5000));
    }
    EXPECT_EQ(top->isMaximized(), maximized);
    EXPECT_EQ(syslib::ds_VisibleOnDesktop(w, 1), 0);
    const QMargins frame = top->windowHandle()->frameMargins();
    const int fitted = work.x() + work.width() - 300 - frame.left() - frame.right();
    EXPECT_EQ(w.GetPlacement().x, fitted);
    EXPECT_EQ(w.Maximized(), maximized);
    EXPECT_EQ(top->isMaximized(), maximized);
    if (maximized) {
      w.SetMaximize(false);  // comes back to the fitted place
      View().Flush();
    }
    EXPECT_EQ(top->geometry().x() - frame.left(), fitted);
    EXPECT_EQ(top->width(), 300);
    w.Close();
  }
}

TEST(QtPlacement, AWindowSizedByItsContentsKeepsItsPlaceWhileTheyChange) {
  // Its text changes its width at every tick; under a window manager the
  // window is framed. Watched for five seconds: the first move fails.
  struct Ticking final : pu::WindowController {
    using WindowController::WindowController;
    int ticks = 0;
    int OnWindowEvent() override {
      if (window().EventNumber() == pu::EVENT::Timer) {
        ++ticks;
        window()["?CAS"].SetText("Aktuální stav: " + std::string(static_cast<std::size_t>(ticks % 9) * 3, '0') +
                                 std::to_string(ticks));
      }
      return WindowController::OnWindowEvent();
    }
  };
  pu::Window w("Stav");
  w.SetText("Stav");
  w.Add(pu::ControlKind::Text, "?CAS", "Aktuální stav:");
  w.SetTimer(5);
  Ticking ticking(w);
  QPoint placed, last;
  WhenShown(0, [&](pu::Window&, QWidget* top) {
    placed = last = Outer(top).topLeft();
    const auto until = std::chrono::steady_clock::now() + 5s;
    auto* watch = new QTimer(qApp);
    QObject::connect(watch, &QTimer::timeout, watch, [&, watch, top, until] {
      last = Outer(top).topLeft();
      if (last == placed && std::chrono::steady_clock::now() < until) return;
      watch->stop();
      watch->deleteLater();
      w.Post(pu::EVENT::CloseWindow);
    });
    watch->start(20);
  });
  Deadline d("a window sized by its contents");
  ticking.Run();
  EXPECT_EQ(last, placed);
  if (last == placed) {
    EXPECT_GE(ticking.ticks, 50) << "its contents changed all the while";
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

TEST(QtPlacement, TextsChangedWhileAWindowIsAwayComeWithItAndItFitsThem) {
  // Away after it was shown (the tray, from its normal state or minimised),
  // or hidden since it was opened: a static text set meanwhile, longer than
  // the window, is there and fitted when it is shown; a field's value is
  // there at once.
  enum class Away { FromNormal, FromMinimised, FromTheStart };
  for (const Away away : {Away::FromNormal, Away::FromMinimised, Away::FromTheStart}) {
    SCOPED_TRACE(static_cast<int>(away));
    pu::Window w("Okno");
    w.Add(pu::ControlKind::Text, "?T", "Krátký");
    w.Add(pu::ControlKind::Entry, "?E", "první");
    if (away == Away::FromTheStart) w.SetHide(true);
    w.Open();
    View().Flush();
    QWidget* top = View().NativeOf(w);
    if (away != Away::FromTheStart) {
      ASSERT_TRUE(top->isVisible());
      if (away == Away::FromMinimised) {
        w.SetIconize(true);
        View().Flush();
      }
      w.SetHide(true);
      View().Flush();
    }
    ASSERT_FALSE(top->isVisible());
    const std::string longer = "Aktuální stav: " + std::string(60, 'W');
    w["?T"].SetText(longer);
    w["?E"].SetText("druhá");
    View().Flush();
    auto* entry = qobject_cast<QLineEdit*>(View().ControlWidget(w, "?E"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text().toStdString(), "druhá") << "a field away from the screen kept its old value";
    w.SetIconize(false);
    w.SetHide(false);
    View().Flush();
    View().Flush();
    ASSERT_TRUE(top->isVisible());
    EXPECT_FALSE(top->isMinimized());
    auto* label = qobject_cast<QLabel*>(View().ControlWidget(w, "?T"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().toStdString(), longer);
    EXPECT_GE(label->width(), label->sizeHint().width()) << "the window was not fitted to the text";
    w.Close();
  }
}

TEST(QtLoop, AWaitingLoopWakesOnlyForItsTicks) {
  // The dispatcher's waits, counted from the first tick to the third: a
  // wait or two per tick. A loop that spun would never wait, one that
  // polled would wait hundreds of times. (The processor time it takes is a
  // figure: bench/bench_idle.)
  struct Idle final : pu::WindowController {
    using WindowController::WindowController;
    int ticks = 0;
    int waits = 0, waitsAtFirstTick = 0, waitsAtLastTick = 0;
    int OnWindowEvent() override {
      if (window().EventNumber() == pu::EVENT::Timer) {
        if (++ticks == 1) {
          waitsAtFirstTick = waits;
        } else if (ticks == 3) {
          waitsAtLastTick = waits;
          window().Post(pu::EVENT::CloseWindow);
        }
      }
      return WindowController::OnWindowEvent();
    }
  };
  pu::Window w("Okno");
  w.Add(pu::ControlKind::Text, "?T", "Čeká");
  w.SetTimer(10);  // 100 ms
  Idle idle(w);
  const auto counting = QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                                         [&] { ++idle.waits; });
  idle.Run();
  QObject::disconnect(counting);
  EXPECT_EQ(idle.ticks, 3);
  const int waits = idle.waitsAtLastTick - idle.waitsAtFirstTick;
  EXPECT_GE(waits, 2) << "it waited for each tick";
  EXPECT_LE(waits, 8) << "a wait or two per tick, no more";
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
  const auto jpeg = platform::CarriedImage("back_blue.jpg");
  EXPECT_EQ(pq::DecodeJpeg(jpeg).size(), QSize(480, 300));
  EXPECT_TRUE(platform::CarriedImage("nic.gif").empty());
  EXPECT_TRUE(pq::LoadImage("nic.gif").isNull());
}

TEST(QtImages, JpegFilesDecodeThroughLibjpegAndBrokenOnesGiveNothing) {
  testsupport::TempDir dir(/*makeCurrent=*/true);
  const auto jpeg = platform::CarriedImage("back_blue.jpg");
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

TEST(QtImages, AWallpaperIsKeptEncodedAndDecodedAtTheSizeItIsDrawnAt) {
  const QByteArray big = pq::ReadPicture("back_blue_big.jpg");
  const auto carried = platform::CarriedImage("back_blue_big.jpg");
  ASSERT_FALSE(big.isEmpty());
  EXPECT_EQ(big.constData(), reinterpret_cast<const char*>(carried.data())) << "the carried bytes are not copied";
  const QImage whole = pq::LoadImage("back_blue_big.jpg");
  for (const QSize size : {QSize(640, 620), QSize(1280, 960), QSize(100, 40), QSize(1500, 1100)}) {
    const QImage image = pq::DecodePictureAt(big, size);
    ASSERT_EQ(image.size(), size) << size.width();
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    // The same picture as the whole one scaled, up to the resampling.
    const QImage scaled = whole.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (const QPoint at : {QPoint(0, 0), QPoint(size.width() / 2, size.height() / 2),
                            QPoint(size.width() - 1, size.height() - 1)}) {
      const QColor a = image.pixelColor(at), b = scaled.pixelColor(at);
      EXPECT_LE(std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()), 24)
          << size.width() << " at " << at.x() << "," << at.y();
    }
  }
  EXPECT_EQ(pq::DecodePictureAt(pq::ReadPicture("ok.gif"), QSize(40, 30)).size(), QSize(40, 30));

  // A file is read when the wallpaper is set, and decoded later.
  testsupport::TempDir dir(/*makeCurrent=*/true);
  testsupport::WriteFile(dir.file("tapeta.jpg"), std::string(big.constData(), static_cast<std::size_t>(big.size())));
  const QByteArray file = pq::ReadPicture("tapeta.jpg");
  ASSERT_EQ(::unlink(dir.file("tapeta.jpg").c_str()), 0);
  EXPECT_EQ(pq::DecodePictureAt(file, QSize(320, 240)).size(), QSize(320, 240));

  EXPECT_TRUE(pq::ReadPicture("zadna.jpg").isEmpty());
  EXPECT_TRUE(pq::ReadPicture("").isEmpty());
  EXPECT_TRUE(pq::DecodePictureAt(QByteArray("not a picture"), QSize(10, 10)).isNull());
  EXPECT_TRUE(pq::DecodePictureAt(big.left(40), QSize(10, 10)).isNull());
  EXPECT_TRUE(pq::DecodePictureAt(big, QSize()).isNull());
}

}  // namespace

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
