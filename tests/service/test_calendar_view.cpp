// The calendar in the Qt view on the offscreen platform, clicked as the
// operator clicks it. With VELORN_SCREENSHOTS naming a folder, the window
// is saved there as calendar.png.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "platform/qt/qtview.h"
#include "platform/stdtime.h"
#include "platform/window.h"
#include "service/calendar.h"
#include "tests/support/fake_clock.h"
#include "tests/support/qt_main.h"

namespace {

namespace pu = platform::ui;
namespace pq = platform::qt;

pq::QtView& View() { return testsupport::TestView(); }
using testsupport::Shot;
pu::Window& Top() { return *pu::ThreadWindows().back(); }

template <class W>
W* Widget(std::string_view label) {
  auto* w = qobject_cast<W*>(View().ControlWidget(Top(), label));
  EXPECT_NE(w, nullptr) << label;
  return w;
}

// Runs `then` from the dispatcher of the waiting loop once `ready` holds;
// gives up (a failure, the window closed) after about two seconds.
void When(std::function<bool()> ready, std::function<void()> then, int tries = 400) {
  QTimer::singleShot(5, qApp, [ready = std::move(ready), then = std::move(then), tries]() mutable {
    if (ready()) return then();
    if (tries == 0) {
      ADD_FAILURE() << "the calendar did not get there";
      Top().CloseBox();
      return;
    }
    When(std::move(ready), std::move(then), tries - 1);
  });
}

QRect InTop(QWidget* w) { return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size()); }

// What the operator would see wrong: a button or text narrower than what
// it shows, visible buttons that overlap, heads off their columns, a
// window off the screen.
void ExpectLaidOut(QWidget* top) {
  std::vector<QPushButton*> shown;
  for (QPushButton* b : top->findChildren<QPushButton*>()) {
    if (!b->isVisible()) continue;
    shown.push_back(b);
    const QString text = b->text().remove(QLatin1Char('&'));
    const int needs = b->fontMetrics().horizontalAdvance(text) + (b->icon().isNull() ? 0 : b->iconSize().width());
    EXPECT_GE(b->width(), needs + 4) << b->objectName().toStdString();
    EXPECT_GE(b->height(), b->fontMetrics().height() + 4) << b->objectName().toStdString();
  }
  EXPECT_EQ(shown.size(), 31u + 6u);
  for (std::size_t i = 0; i < shown.size(); ++i)
    for (std::size_t j = i + 1; j < shown.size(); ++j)
      EXPECT_FALSE(InTop(shown[i]).intersects(InTop(shown[j])))
          << shown[i]->objectName().toStdString() << " " << shown[j]->objectName().toStdString();
  for (QLabel* l : top->findChildren<QLabel*>()) {
    if (!l->isVisible()) continue;
    EXPECT_GE(l->contentsRect().width(), l->fontMetrics().horizontalAdvance(l->text())) << l->objectName().toStdString();
  }
  // Each head stands over its column (the second row is full in every month).
  for (int i = 1; i <= 7; ++i) {
    QWidget* head = View().ControlWidget(Top(), "?STRING" + std::to_string(i));
    QWidget* cell = View().ControlWidget(Top(), "?BUTTON" + std::to_string(7 + i));
    ASSERT_TRUE(head != nullptr && cell != nullptr);
    EXPECT_NEAR(InTop(head).center().x(), InTop(cell).center().x(), 1) << i;
    EXPECT_LT(InTop(head).bottom(), InTop(cell).top()) << i;
  }
  EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(top->frameGeometry()));
}

TEST(CalendarView, OctoberShowsItsGridAndAClickedDayIsPicked) {
  testsupport::FakeClock clock(platform::DateFromYmd(2024, 10, 15), platform::TimeFromHms(9, 30, 0));
  testsupport::ClockGuard guard(&clock);
  QSize octoberSize;
  When([] { return !pu::ThreadWindows().empty() && View().NativeOf(Top()) != nullptr &&
                   View().NativeOf(Top())->isVisible(); },
       [&] {
         QWidget* top = View().NativeOf(Top());
         EXPECT_EQ(top->windowTitle(), "Datum spuštění");
         EXPECT_FALSE(top->windowIcon().isNull());
         EXPECT_EQ(Widget<QLabel>("?HEADER")->text(), "Říjen 2024");
         EXPECT_EQ(top->focusWidget(), Widget<QPushButton>("?BUTTON17"));
         EXPECT_EQ(Widget<QPushButton>("?BUTTON17")->toolTip(), "15.10.2024");
         EXPECT_FALSE(Widget<QPushButton>("?BUTTON2")->isVisible());
         EXPECT_FALSE(Widget<QPushButton>("?BUTTON34")->isVisible());
         for (const char* label : {"?TODAY", "?CLOSE", "?PREVYEAR", "?PREVMONTH", "?NEXTMONTH", "?NEXTYEAR"})
           EXPECT_FALSE(Widget<QPushButton>(label)->icon().isNull()) << label;
         ExpectLaidOut(top);
         Shot(top, "calendar");
         octoberSize = top->size();
         QTest::mouseClick(Widget<QPushButton>("?NEXTMONTH"), Qt::LeftButton);
         When([] { return Widget<QLabel>("?HEADER")->text() == "Listopad 2024"; },
              [&] {
                // Another month, the same window: hidden cells keep their place.
                EXPECT_EQ(View().NativeOf(Top())->size(), octoberSize);
                EXPECT_FALSE(Widget<QPushButton>("?BUTTON5")->isVisible());
                EXPECT_EQ(Widget<QPushButton>("?BUTTON20")->text(), "15");
                QTest::mouseClick(Widget<QPushButton>("?BUTTON20"), Qt::LeftButton);
              });
       });
  EXPECT_EQ(service::SelectDate("Datum spuštění", 0), platform::DateFromYmd(2024, 11, 15));
  EXPECT_TRUE(pu::ThreadWindows().empty());
}

}  // namespace

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
