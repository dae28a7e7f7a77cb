// The calendar dialog through the window model: an operator view looks at
// the window each time it waits and acts on it; the clock is a test clock.
#include "service/calendar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/locale_texts.h"
#include "platform/stdtime.h"
#include "platform/window.h"
#include "tests/support/fake_clock.h"

namespace service {
namespace {

namespace pu = platform::ui;
using platform::DateFromYmd;
using platform::StdDate;

using Step = std::function<void(pu::Window&)>;

// A view somebody sees: each time the calendar waits for the operator, the
// next step looks at it and acts. Focus moves and header texts are noted as
// the window makes them.
class Operator final : public pu::HeadlessView {
 public:
  std::vector<Step> steps;
  std::size_t done = 0;
  std::vector<std::string> focused, headers;

  bool Interactive() const override { return true; }
  void Render(pu::Window& w, int control, pu::Property p) override {
    if (control == 0) return;
    if (p == pu::Property::Focus) focused.push_back(w.At(control)->Label());
    if (p == pu::Property::Text && w.At(control)->Label() == "?HEADER") headers.push_back(w.At(control)->Text());
  }
  void Pump(pu::EventQueue&, uint64_t, std::optional<pu::TimePoint>) override {
    pu::Window& w = *pu::ThreadWindows().back();
    if (done < steps.size()) {
      steps[done++](w);
      return;
    }
    ADD_FAILURE() << "the calendar still waits after the last step";
    w.CloseBox();
  }
};

class Calendar : public testing::Test {
 protected:
  Calendar() : clock_(DateFromYmd(2024, 10, 15), platform::TimeFromHms(9, 30, 0)), guard_(&clock_) {
    platform::locale::InstallCzechTexts();
    pu::SetThreadView(&op);
  }
  ~Calendar() override { pu::SetThreadView(nullptr); }

  StdDate Run(StdDate date, std::vector<Step> steps, std::string_view title = "Datum spuštění") {
    op = Operator();
    op.steps = std::move(steps);
    const StdDate picked = SelectDate(title, date, 0, 0);
    EXPECT_EQ(op.done, op.steps.size());
    EXPECT_TRUE(pu::ThreadWindows().empty());
    return picked;
  }

  Operator op;

 private:
  testsupport::FakeClock clock_;
  testsupport::ClockGuard guard_;
};

std::string Cell(int k) { return "?BUTTON" + std::to_string(k); }

// The grid shows the days of year/month on the cells first .. last (0, 0:
// none), each with its number and short date, and hides every other cell.
void ExpectMonth(pu::Window& w, int year, int month, const std::string& header, int first, int last) {
  SCOPED_TRACE(header);
  EXPECT_EQ(w["?HEADER"].Text(), header);
  for (int k = 1; k <= kDayCells; ++k) {
    const pu::Control& c = w[Cell(k)];
    const bool inMonth = first > 0 && k >= first && k <= last;
    EXPECT_EQ(c.Visible(), inMonth) << Cell(k);
    if (!inMonth) continue;
    const int day = k - first + 1;
    char tip[40];
    std::snprintf(tip, sizeof tip, "%02d.%02d.%04d", day, month, year);
    EXPECT_EQ(c.Text(), std::to_string(day)) << Cell(k);
    EXPECT_EQ(c.Tip(), tip) << Cell(k);
    EXPECT_TRUE(c.Enabled()) << Cell(k);
  }
}

TEST_F(Calendar, AMonthFillsConsecutiveCellsFromItsFirstWeekdaySundayFirst) {
  struct Case {
    int year, month, day;
    const char* header;
    int first, last;
  } cases[] = {
      {2024, 10, 15, "Říjen 2024", 3, 33},
      {2015, 2, 1, "Únor 2015", 1, 28},      // starts on a Sunday: the last 14 hidden
      {2020, 8, 31, "Srpen 2020", 7, 37},    // starts on a Saturday: six rows
      {1801, 1, 1, "Leden 1801", 5, 35},     // the first date there is
      {2000, 2, 29, "Únor 2000", 3, 31},     // a leap year's February
      {9999, 12, 31, "Prosinec 9999", 4, 34},  // the last date there is
  };
  for (const Case& c : cases) {
    const int startCell = c.first + c.day - 1;
    const StdDate picked = Run(DateFromYmd(c.year, c.month, c.day), {[&](pu::Window& w) {
                                 ExpectMonth(w, c.year, c.month, c.header, c.first, c.last);
                                 EXPECT_EQ(w.Focus(), w.Number(Cell(startCell))) << c.header;
                                 w.Press(Cell(c.last));
                               }});
    EXPECT_EQ(picked, DateFromYmd(c.year, c.month, c.last - c.first + 1)) << c.header;
    EXPECT_EQ(pu::FormResponse, 0) << c.header;
  }
}

TEST_F(Calendar, MonthButtonsGoOnWithoutBoundAndYearButtonsWrapWithin1801To2099) {
  struct Case {
    int year, month, day;
    std::vector<const char*> presses;
    int shownYear, shownMonth;
    const char* header;
    int first, last;  // 0, 0: a month without valid days
  } cases[] = {
      {1801, 3, 10, {"?PREVYEAR"}, 2099, 3, "Březen 2099", 1, 31},
      {2099, 5, 1, {"?NEXTYEAR"}, 1801, 5, "Květen 1801", 6, 36},
      {2150, 6, 1, {"?PREVYEAR"}, 2149, 6, "Červen 2149", 1, 30},
      {2150, 6, 1, {"?NEXTYEAR"}, 1801, 6, "Červen 1801", 2, 31},
      {2099, 12, 24, {"?NEXTMONTH"}, 2100, 1, "Leden 2100", 6, 36},
      {2000, 3, 1, {"?PREVMONTH"}, 2000, 2, "Únor 2000", 3, 31},
      {1801, 1, 1, {"?PREVMONTH"}, 1800, 12, "Prosinec 1800", 0, 0},
      {1801, 1, 1, {"?PREVMONTH", "?PREVMONTH"}, 1800, 11, "Listopad 1800", 0, 0},
      {1801, 1, 1, {"?PREVMONTH", "?NEXTMONTH"}, 1801, 1, "Leden 1801", 5, 35},
      {1801, 1, 1, {"?PREVMONTH", "?PREVYEAR"}, 2099, 12, "Prosinec 2099", 3, 33},
      {9999, 12, 31, {"?NEXTMONTH"}, 10000, 1, "Leden 10000", 0, 0},
      {9999, 12, 31, {"?NEXTMONTH", "?PREVMONTH"}, 9999, 12, "Prosinec 9999", 4, 34},
      {9999, 12, 31, {"?NEXTMONTH", "?NEXTYEAR"}, 1801, 1, "Leden 1801", 5, 35},
  };
  for (const Case& c : cases) {
    const StdDate start = DateFromYmd(c.year, c.month, c.day);
    std::vector<Step> steps;
    for (const char* press : c.presses) steps.push_back([press](pu::Window& w) { w.Press(press); });
    steps.push_back([&](pu::Window& w) {
      ExpectMonth(w, c.shownYear, c.shownMonth, c.header, c.first, c.last);
      // A hidden cell takes no press; a shown one picks its day.
      if (c.first != 1) w.Press(Cell(c.first == 0 ? 1 : c.first - 1));
      w.Press(c.first > 0 ? Cell(c.first) : std::string("?CLOSE"));
    });
    const StdDate picked = Run(start, steps);
    EXPECT_EQ(picked, c.first > 0 ? DateFromYmd(c.shownYear, c.shownMonth, 1) : start) << c.header;
  }
}

TEST_F(Calendar, TheDatePickedIsOfTheMonthShownAfterAnyMoves) {
  const StdDate picked = Run(DateFromYmd(2024, 10, 15), {
                                                            [](pu::Window& w) { w.Press("?NEXTMONTH"); },
                                                            [](pu::Window& w) { w.Press("?NEXTMONTH"); },
                                                            [](pu::Window& w) { w.Press("?PREVYEAR"); },
                                                            [](pu::Window& w) {
                                                              ExpectMonth(w, 2023, 12, "Prosinec 2023", 6, 36);
                                                              w.Press(Cell(30));
                                                            },
                                                        });
  EXPECT_EQ(picked, DateFromYmd(2023, 12, 25));
  EXPECT_EQ(op.headers, (std::vector<std::string>{"Říjen 2024", "Listopad 2024", "Prosinec 2024", "Prosinec 2023"}));
}

// Today is 15 October 2024 (a Tuesday): "Říjen 2024" on ?BUTTON3 .. ?BUTTON33,
// today on ?BUTTON17.
TEST_F(Calendar, NoDateOrAnImpossibleOneOpensOnTodayAndCancelGivesTheDateBack) {
  struct Case {
    const char* what;
    StdDate date;
    bool closeBox;  // else ?CLOSE
    uint8_t response;
  } cases[] = {
      {"no date", 0, false, 2},
      {"no date, close box", 0, true, 0},
      {"before 1801", platform::kFirstDate - 1, false, 2},
      {"after 9999", platform::kLastDate + 1, false, 2},
      {"negative", -1, true, 0},
  };
  for (const Case& c : cases) {
    pu::FormRequest = pu::ChangeRecord;
    const StdDate picked = Run(c.date, {[&](pu::Window& w) {
                                 EXPECT_EQ(pu::FormRequest, 0) << c.what;
                                 EXPECT_EQ(pu::FormResponse, 0) << c.what;
                                 ExpectMonth(w, 2024, 10, "Říjen 2024", 3, 33);
                                 EXPECT_EQ(w.Focus(), w.Number("?BUTTON17")) << c.what;
                                 if (c.closeBox)
                                   w.CloseBox();
                                 else
                                   w.Press("?CLOSE");
                               }});
    EXPECT_EQ(picked, c.date) << c.what;
    EXPECT_EQ(pu::FormResponse, c.response) << c.what;
  }
}

TEST_F(Calendar, TodayPicksTodayFromAnotherMonth) {
  const StdDate picked = Run(DateFromYmd(2020, 8, 7), {
                                                          [](pu::Window& w) { w.Press("?NEXTYEAR"); },
                                                          [](pu::Window& w) { w.Press("?TODAY"); },
                                                      });
  EXPECT_EQ(picked, DateFromYmd(2024, 10, 15));
  EXPECT_EQ(pu::FormResponse, 0);
  EXPECT_EQ(op.headers, (std::vector<std::string>{"Srpen 2020", "Srpen 2021", "Říjen 2024"}));
  // The starting day first, then the button pressed, then today's button.
  EXPECT_EQ(op.focused, (std::vector<std::string>{"?BUTTON13", "?NEXTYEAR", "?TODAY", "?BUTTON17"}));
}

TEST_F(Calendar, TheCaptionIsTheTitleWithoutTrailingBlanksOrSelectDate) {
  struct Case {
    const char* title;
    const char* caption;
  } cases[] = {
      {"Datum spuštění", "Datum spuštění"},
      {"Datum spuštění   ", "Datum spuštění"},
      {"  Datum", "  Datum"},
      {"   ", "Select Date"},
      {"", "Select Date"},
  };
  for (const Case& c : cases) {
    std::string caption;
    Run(0,
        {[&](pu::Window& w) {
          caption = w.Text();
          w.Press("?CLOSE");
        }},
        c.title);
    EXPECT_EQ(caption, c.caption) << "'" << c.title << "'";
  }
}

TEST_F(Calendar, TheWindowCarriesItsTextsImagesAndTips) {
  Run(DateFromYmd(2024, 10, 15), {[](pu::Window& w) {
        EXPECT_EQ(w.ProcedureName(), "SelectDate");
        EXPECT_EQ(w.Icon(), "CALENDAR.ICO");
        EXPECT_FALSE(w.KeepsPlace());
        const char* heads[] = {"Ne", "Po", "Út", "St", "Čt", "Pá", "So"};
        for (int i = 0; i < 7; ++i) EXPECT_EQ(w["?STRING" + std::to_string(i + 1)].Text(), heads[i]);
        // The day cells lie in ?GROUP1 in window order after the heads, 7 a row.
        pu::Control& grid = w["?GROUP1"];
        EXPECT_EQ(grid.Columns(), 7);
        const auto cells = grid.Children();
        ASSERT_EQ(cells.size(), 7u + kDayCells);
        for (int k = 1; k <= kDayCells; ++k) EXPECT_EQ(cells[6 + k]->Label(), Cell(k));
        struct Button {
          const char *label, *text, *image, *tip;
        } buttons[] = {
            {"?TODAY", "&Dnes", "VCRbottom.gif", ""},
            {"?CLOSE", "Storno", "storno.gif", ""},
            {"?PREVYEAR", "", "VCRrewind.gif", "Předchozí rok"},
            {"?PREVMONTH", "", "VCRback.gif", "Předchozí měsíc"},
            {"?NEXTMONTH", "", "VCRplay.gif", "Další měsíc"},
            {"?NEXTYEAR", "", "VCRfastforward.GIF", "Další rok"},
        };
        for (const Button& b : buttons) {
          EXPECT_EQ(w[b.label].Text(), b.text) << b.label;
          EXPECT_EQ(w[b.label].Image(), b.image) << b.label;
          EXPECT_EQ(w[b.label].Tip(), b.tip) << b.label;
        }
        w.Press("?CLOSE");
      }});
}

// Nobody sees the window: it answers at once as its close box would.
TEST_F(Calendar, HeadlessItClosesAtOnceWithTheDateGiven) {
  pu::SetThreadView(nullptr);
  for (StdDate date : {StdDate{0}, DateFromYmd(2024, 2, 29)}) {
    EXPECT_EQ(SelectDate("Datum", date), date);
    EXPECT_EQ(pu::FormResponse, 0);
    EXPECT_TRUE(pu::ThreadWindows().empty());
  }
}

}  // namespace
}  // namespace service
