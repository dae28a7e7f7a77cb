#include "service/calendar.h"

#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/locale_texts.h"
#include "platform/picture.h"
#include "platform/text.h"
#include "platform/window.h"

namespace service {

namespace {

namespace pu = platform::ui;
using platform::StdDate;

constexpr std::size_t kHeaderChars = 30;
const char* const kWeekdayHeads[7] = {"Ne", "Po", "Út", "St", "Čt", "Pá", "So"};

bool ValidDate(StdDate d) { return d >= platform::kFirstDate && d <= platform::kLastDate; }

// The window as designed: the header over the grid of weekday heads and day
// buttons, then the command buttons. The group box and its grid draw the
// decoration.
struct CalendarForm {
  CalendarForm() : window(kCalendarProcedure) {
    using K = pu::ControlKind;
    window.SetText("Kalendář").SetIcon("CALENDAR.ICO").SetFont("MS Sans Serif", 8);
    window.Add(K::Text, "?HEADER", "Měsíc, Rok").SetCenter(true).SetBold(true);
    pu::Control& grid = window.Add(K::Group, "?GROUP1").SetColumns(7);
    for (int i = 0; i < 7; ++i)
      window.Add(K::Text, "?STRING" + std::to_string(i + 1), kWeekdayHeads[i], &grid).SetCenter(true);
    for (int k = 1; k <= kDayCells; ++k) window.Add(K::Button, "?BUTTON" + std::to_string(k), "00", &grid);
    window.Add(K::Button, "?TODAY", "&Dnes").SetImage("VCRbottom.gif");
    window.Add(K::Button, "?CLOSE", "Storno").SetImage("storno.gif");
    window.Add(K::Button, "?PREVYEAR").SetImage("VCRrewind.gif").SetTip("Předchozí rok");
    window.Add(K::Button, "?PREVMONTH").SetImage("VCRback.gif").SetTip("Předchozí měsíc");
    window.Add(K::Button, "?NEXTMONTH").SetImage("VCRplay.gif").SetTip("Další měsíc");
    window.Add(K::Button, "?NEXTYEAR").SetImage("VCRfastforward.GIF").SetTip("Další rok");
  }
  pu::Window window;
};

class CalendarWindow final : public pu::WindowController {
 public:
  CalendarWindow(pu::Window& w, std::string_view title, StdDate date)
      : WindowController(w), title_(title), date_(date), firstDay_(w.Number("?BUTTON1")) {}

  // State of one call.
  StdDate CalendarDate = 0;
  StdDate PickedDate = 0;
  int ShownMonth = 1;
  int ShownYear = 1801;  // wider than the month buttons can take it
  int FirstDayCell = 1;
  std::string HeaderText;

  int SetUp() override {
    const int r = WindowController::SetUp();
    if (r != pu::kGoOn) return r;
    Response = 0;
    window().SetFirstField(firstDay_);
    CancelControl = window().Number("?CLOSE");
    window().Open();
    PickedDate = date_;
    CalendarDate = ValidDate(date_) ? date_ : platform::GetClock().Today();
    ShowMonthOf(CalendarDate);
    const std::string_view title = platform::text::TrimRight(title_);
    window().SetText(title.empty() ? "Select Date" : std::string(title));
    FillCalendar();
    return pu::kGoOn;
  }

  int OnWindowEvent() override {
    const int r = WindowController::OnWindowEvent();
    if (window().EventNumber() == pu::EVENT::OpenWindow) {
      // Nobody sees it: it answers at once, as its close box would.
      if (!window().GetView().Interactive())
        window().Post(pu::EVENT::CloseWindow);
      else
        FocusDay(CalendarDate);
    }
    return r;
  }

  int OnControlAccepted() override {
    const int r = WindowController::OnControlAccepted();
    pu::Window& w = window();
    const int a = w.Accepted();
    if (a == 0) return r;
    const std::string& label = w.At(a)->Label();
    if (label == "?TODAY") {
      const StdDate today = platform::GetClock().Today();
      ShowMonthOf(today);
      FillCalendar();
      FocusDay(today);
      PickedDate = today;
      w.Post(pu::EVENT::CloseWindow);
    } else if (label == "?PREVMONTH") {
      if (--ShownMonth == 0) {
        ShownMonth = 12;
        --ShownYear;
      }
      FillCalendar();
    } else if (label == "?NEXTMONTH") {
      if (++ShownMonth == 13) {
        ShownMonth = 1;
        ++ShownYear;
      }
      FillCalendar();
    } else if (label == "?PREVYEAR") {
      if (--ShownYear < 1801) ShownYear = 2099;
      FillCalendar();
    } else if (label == "?NEXTYEAR") {
      if (++ShownYear > 2099) ShownYear = 1801;
      FillCalendar();
    } else if (a >= firstDay_ && a < firstDay_ + kDayCells) {
      const int n = std::atoi(w.At(a)->Text().c_str());
      const StdDate picked = platform::DateFromYmd(ShownYear, ShownMonth, n);
      if (picked != 0) {
        PickedDate = picked;
        w.Post(pu::EVENT::CloseWindow);
      }
    }
    return r;
  }

  // The grid of ShownMonth in ShownYear.
  void FillCalendar() {
    ClearDayCells();
    StdDate d = platform::DateFromYmd(ShownYear, ShownMonth, 1);
    FirstDayCell = 1 + d % 7;
    int year = 0, month = 0, day = 0;
    for (int n = 1; platform::YmdFromDate(d, year, month, day) && month == ShownMonth; ++n, ++d)
      DayCell(FirstDayCell + n - 1)
          .SetText(std::to_string(n))
          .SetTip(pu::FormatPicture("@d17", int64_t{d}))
          .Enable();
    HideEmptyDayCells();
    ShowMonthHeader();
    window().Display();
  }

  void ClearDayCells() {
    for (int k = 1; k <= kDayCells; ++k) DayCell(k).SetText({});
  }

  // Shows the cells from the first day to the last and hides the others.
  void HideEmptyDayCells() {
    for (int k = 1; k <= kDayCells; ++k) DayCell(k).Show();
    for (int k = 1; k <= kDayCells && DayCell(k).Text().empty(); ++k) DayCell(k).Hide();
    for (int k = kDayCells; k >= 1 && DayCell(k).Text().empty(); --k) DayCell(k).Hide();
  }

  // The month's name, a blank and the year, also for a month without a
  // valid day.
  void ShowMonthHeader() {
    const auto& names = platform::locale::MonthNames();
    HeaderText = platform::text::TruncateChars(names[static_cast<std::size_t>(ShownMonth - 1)] + " " +
                                                   std::to_string(ShownYear),
                                               kHeaderChars);
    window()["?HEADER"].SetText(HeaderText);
  }

 private:
  pu::Control& DayCell(int k) { return *window().At(firstDay_ + k - 1); }

  void ShowMonthOf(StdDate date) {
    int day = 0;
    platform::YmdFromDate(date, ShownYear, ShownMonth, day);
  }

  // The focus to the button of a date of the shown month.
  void FocusDay(StdDate date) {
    int year = 0, month = 0, day = 0;
    if (platform::YmdFromDate(date, year, month, day) && year == ShownYear && month == ShownMonth)
      window().Select(firstDay_ + FirstDayCell + day - 2);
  }

  std::string title_;
  StdDate date_;
  int firstDay_;
};

}  // namespace

StdDate SelectDate(std::string_view title, StdDate date, uint8_t, uint8_t) {
  CalendarForm form;
  CalendarWindow calendar(form.window, title, date);
  calendar.Run();
  return calendar.PickedDate;
}

}  // namespace service
