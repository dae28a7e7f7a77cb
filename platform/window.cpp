#include "platform/window.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/msgbox.h"
#include "platform/text.h"
#include "platform/window_state.h"

namespace platform::ui {

namespace {

std::atomic<WindowId> gNextId{1};
std::atomic<IniStore*> gPlacementStore{nullptr};

HeadlessView& Headless() {
  static HeadlessView* v = new HeadlessView;
  return *v;
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "window model: %s\n", what.c_str());
  std::abort();
}

bool HoldsValue(ControlKind k) {
  switch (k) {
    case ControlKind::Entry:
    case ControlKind::Spin:
    case ControlKind::Check:
    case ControlKind::Option:
    case ControlKind::DropList:
    case ControlKind::List:
    case ControlKind::Sheet:
      return true;
    default:
      return false;
  }
}

}  // namespace

// --- views

void SetThreadView(View* view) { ThisThread().view = view; }
View& ThreadView() {
  View* v = ThisThread().view;
  return v != nullptr ? *v : Headless();
}

void SetCursor(Cursor c) {
  ThreadState& st = ThisThread();
  st.cursor = c;
  if (!st.windows.empty()) {
    Window* top = st.windows.back();
    top->GetView().Render(*top, 0, Property::Cursor);
  }
}
Cursor CurrentCursor() { return ThisThread().cursor; }

Window* TargetWindow() {
  const ThreadState& st = ThisThread();
  return st.running != nullptr && (st.running->IsOpen() || st.running == st.settingUp) ? st.running : nullptr;
}

std::vector<Window*> ThreadWindows() { return ThisThread().windows; }

// --- bindings

Binding Binding::Of(std::string& var, std::size_t maxChars) {
  return Binding([&var] { return Value(var); },
                 [&var, maxChars](const Value& v) {
                   // A STRING variable holds Windows-1250 text: '?' for what
                   // it cannot hold, as the record files store it.
                   std::string s = text::FromCp1250(text::ToCp1250(ValueText(v)));
                   var = maxChars > 0 ? text::TruncateChars(s, maxChars) : std::move(s);
                   return true;
                 });
}

// --- controls

Control::Control(Window* owner, int number, ControlKind kind, std::string label, std::string text, Control* parent)
    : owner_(owner), number_(number), kind_(kind), label_(std::move(label)), parent_(parent), text_(std::move(text)) {}

void Control::Changed(Property p) { owner_->Changed(number_, p); }

Control& Control::SetText(std::string t) {
  text_ = std::move(t);
  Changed(Property::Text);
  return *this;
}
Control& Control::SetTip(std::string t) {
  tip_ = std::move(t);
  Changed(Property::Tip);
  return *this;
}
Control& Control::SetImage(std::string f) {
  image_ = std::move(f);
  Changed(Property::Image);
  return *this;
}
Control& Control::SetHide(bool h) {
  hidden_ = h;
  Changed(Property::Hide);
  return *this;
}
bool Control::Visible() const {
  for (const Control* c = this; c != nullptr; c = c->parent_)
    if (c->hidden_) return false;
  return true;
}
Control& Control::SetEnabled(bool e) {
  enabled_ = e;
  Changed(Property::Enable);
  return *this;
}
Control& Control::SetColor(int32_t c) {
  color_ = c;
  Changed(Property::Color);
  return *this;
}
Control& Control::SetFontColor(int32_t c) {
  fontColor_ = c;
  Changed(Property::FontColor);
  return *this;
}
Control& Control::SetBold(bool b) {
  bold_ = b;
  Changed(Property::Bold);
  return *this;
}
Control& Control::SetReadOnly(bool r) {
  readOnly_ = r;
  Changed(Property::ReadOnly);
  return *this;
}
Control& Control::SetFlat(bool f) {
  flat_ = f;
  Changed(Property::Flat);
  return *this;
}
Control& Control::SetCenter(bool c) {
  center_ = c;
  Changed(Property::Center);
  return *this;
}
Control& Control::SetRequired(bool r) {
  required_ = r;
  return *this;
}
Control& Control::SetLineHeight(int h) {
  lineHeight_ = h;
  Changed(Property::Choices);
  return *this;
}
Control& Control::SetColumns(int columns) {
  columns_ = columns > 0 ? columns : 0;
  return *this;
}
Control& Control::SetCell(int row, int column, int span) {
  cell_ = Cell{row, column, span > 0 ? span : 1};
  return *this;
}
Control& Control::SetPicture(std::string p) {
  pictureText_ = std::move(p);
  picture_ = Picture::Parse(pictureText_);
  return *this;
}
Control& Control::Bind(Binding b) {
  binding_ = std::move(b);
  return *this;
}
Control& Control::SetChecked(bool c) {
  checked_ = c;
  Changed(Property::Contents);
  return *this;
}
Control& Control::SetCheckValues(Value on, Value off) {
  checkOn_ = std::move(on);
  checkOff_ = std::move(off);
  return *this;
}
Control& Control::SetRadioValue(Value v) {
  radioValue_ = std::move(v);
  return *this;
}
Control& Control::SetChoice(int c) {
  choice_ = c;
  if (kind_ == ControlKind::DropList && source_ == nullptr)
    text_ = c >= 1 && c <= static_cast<int>(choices_.size()) ? choices_[static_cast<std::size_t>(c - 1)] : "";
  Changed(Property::Contents);
  return *this;
}
Control& Control::SetChoices(std::vector<std::string> choices) {
  choices_ = std::move(choices);
  Changed(Property::Choices);
  return *this;
}
Control& Control::SetSource(std::shared_ptr<ListSource> source) {
  source_ = std::move(source);
  Changed(Property::Choices);
  return *this;
}
Control& Control::SetRange(int64_t low, int64_t high, int64_t step) {
  low_ = low;
  high_ = high;
  step_ = step > 0 ? step : 1;
  Changed(Property::Range);
  return *this;
}
std::vector<Control*> Control::Children() const {
  std::vector<Control*> out;
  for (int n = 1; n <= owner_->ControlCount(); ++n) {
    Control* c = owner_->At(n);
    if (c->parent_ == this) out.push_back(c);
  }
  return out;
}

// --- windows

Window::Window(std::string procedureName)
    : id_(gNextId.fetch_add(1)), procedure_(std::move(procedureName)), queue_(ThisThread().queue), view_(&ThreadView()) {}

Window::~Window() { Close(); }

Control& Window::Add(ControlKind kind, std::string label, std::string text, Control* parent) {
  if (!label.empty() && Find(label) != nullptr) Fail("label in use: " + label);
  const int number = ControlCount() + 1;
  controls_.push_back(std::unique_ptr<Control>(new Control(this, number, kind, std::move(label), std::move(text), parent)));
  return *controls_.back();
}

Control* Window::Find(std::string_view label) {
  for (auto& c : controls_)
    if (c->label_ == label) return c.get();
  return nullptr;
}
const Control* Window::Find(std::string_view label) const {
  for (const auto& c : controls_)
    if (c->label_ == label) return c.get();
  return nullptr;
}
Control& Window::operator[](std::string_view label) {
  Control* c = Find(label);
  if (c == nullptr) Fail("no control " + std::string(label) + " in " + procedure_);
  return *c;
}
Control* Window::At(int number) {
  return number >= 1 && number <= ControlCount() ? controls_[static_cast<std::size_t>(number - 1)].get() : nullptr;
}
int Window::Number(std::string_view label) const {
  const Control* c = Find(label);
  return c != nullptr ? c->number_ : 0;
}
void Window::AddComponent(WindowComponent* c) { components_.push_back(c); }
void Window::RemoveComponent(WindowComponent* c) { std::erase(components_, c); }

void Window::Changed(int control, Property p) {
  if (open_) view_->Render(*this, control, p);
}

Window& Window::SetText(std::string caption) {
  caption_ = std::move(caption);
  Changed(0, Property::Caption);
  return *this;
}
Window& Window::SetIcon(std::string file) {
  icon_ = std::move(file);
  Changed(0, Property::Icon);
  return *this;
}
Window& Window::SetWallpaper(std::string file) {
  wallpaper_ = std::move(file);
  Changed(0, Property::Wallpaper);
  return *this;
}
Window& Window::SetFont(std::string name, int points) {
  fontName_ = std::move(name);
  fontPoints_ = points;
  Changed(0, Property::Font);
  return *this;
}
Window& Window::SetTimer(int hundredths) {
  timer_ = hundredths > 0 ? hundredths : 0;
  ArmTimer();
  return *this;
}
void Window::ArmTimer() {
  if (open_ && timer_ > 0)
    nextTick_ = GetClock().Now() + std::chrono::milliseconds(10 * static_cast<int64_t>(timer_));
  else
    nextTick_.reset();
  if (open_) queue_->Wake();
}
Window& Window::SetHide(bool hide) {
  hidden_ = hide;
  Changed(0, Property::Hide);
  return *this;
}
Window& Window::SetIconize(bool iconize) {
  placement_.minimized = iconize;
  Changed(0, Property::Iconize);
  return *this;
}
Window& Window::SetMaximize(bool maximize) {
  placement_.maximized = maximize;
  Changed(0, Property::Maximize);
  return *this;
}
Window& Window::SetPlacement(const Placement& p) {
  placement_ = p;
  Changed(0, Property::Placement);
  return *this;
}
Window& Window::SetKeepsPlace(bool keeps) {
  keepsPlace_ = keeps;
  return *this;
}
Window& Window::SetDesignedMinimum(bool on) {
  designedMinimum_ = on;
  return *this;
}
Window& Window::SetEscapeCloses(bool on) {
  escapeCloses_ = on;
  return *this;
}
Window& Window::SetAcceptAll(bool on) {
  acceptAll_ = on;
  return *this;
}
void Window::Alert(int key) {
  if (!HasAlert(key)) alerts_.push_back(key);
}
void Window::Unalert(int key) { std::erase(alerts_, key); }
bool Window::HasAlert(int key) const { return std::find(alerts_.begin(), alerts_.end(), key) != alerts_.end(); }
Window& Window::SetFirstField(int number) {
  firstField_ = number;
  return *this;
}

bool Window::Focusable(const Control& c) const {
  switch (c.kind_) {
    case ControlKind::Button:
    case ControlKind::Entry:
    case ControlKind::Check:
    case ControlKind::Radio:
    case ControlKind::Spin:
    case ControlKind::DropList:
    case ControlKind::List:
      break;
    default:
      return false;
  }
  if (!c.Visible()) return false;
  for (const Control* p = &c; p != nullptr; p = p->parent_)
    if (!p->enabled_) return false;
  return true;
}

void Window::Open() {
  if (open_) return;
  ThreadState& st = ThisThread();
  queue_ = st.queue;
  view_ = &ThreadView();
  thread_ = st.number;
  open_ = true;
  opened_ = true;
  endLoop_ = false;
  openHandled_ = false;
  st.windows.push_back(this);
  queue_->AddWindow(id_);
  if (keepsPlace_) {
    if (IniStore* store = PlacementStore()) RestorePlacement(*this, *store);
  }
  int first = 0;
  if (firstField_ > 0 && At(firstField_) != nullptr) {
    first = firstField_;
  } else {
    for (auto& c : controls_)
      if (Focusable(*c)) {
        first = c->number_;
        break;
      }
  }
  focus_ = first;
  // The opening events come before anything posted while the window was
  // being set up.
  if (first != 0) queue_->Push({EVENT::Selected, first, 0, id_}, true);
  queue_->Push({EVENT::OpenWindow, 0, 0, id_}, true);
  ArmTimer();
  view_->CreateNative(*this);
}

void Window::Close() {
  if (!open_) return;
  ThreadState& st = ThisThread();
  open_ = false;
  endLoop_ = true;
  nextTick_.reset();
  std::erase(st.windows, this);
  queue_->RemoveWindow(id_);
  view_->DestroyNative(*this);
}

void Window::Select(int number) {
  if (At(number) == nullptr) return;
  focus_ = number;
  Changed(number, Property::Focus);
  if (open_) queue_->Push({EVENT::Selected, number, 0, id_});
}
void Window::Select(std::string_view label) { Select(Number(label)); }

// --- bound variables

void Window::DisplayControl(Control& c) {
  if (!c.binding_) return;
  const Value v = c.binding_.Get();
  switch (c.kind_) {
    case ControlKind::Check:
      c.checked_ = SameValue(v, c.checkOn_);
      break;
    case ControlKind::Option: {
      c.choice_ = 0;
      int i = 0;
      for (Control* r : c.Children()) {
        if (r->kind_ != ControlKind::Radio) continue;
        ++i;
        if (SameValue(v, r->radioValue_)) {
          c.choice_ = i;
          break;
        }
      }
      break;
    }
    case ControlKind::DropList:
      if (c.source_ == nullptr) {
        c.choice_ = 0;
        c.text_.clear();
        for (std::size_t i = 0; i < c.choices_.size(); ++i)
          if (SameValue(v, Value(c.choices_[i]))) {
            c.choice_ = static_cast<int>(i) + 1;
            c.text_ = c.choices_[i];
            break;
          }
      }
      break;
    case ControlKind::Sheet:
    case ControlKind::List:
      c.choice_ = static_cast<int>(ValueNumber(v));
      break;
    default:
      c.text_ = FormatPicture(c.picture_, v);
      break;
  }
  c.shown_ = v;
  c.hasShown_ = true;
  Changed(c.number_, Property::Contents);
}

bool Window::UpdateControl(Control& c) {
  if (!c.binding_ || !HoldsValue(c.kind_)) return true;
  bool taken = true;
  switch (c.kind_) {
    case ControlKind::Entry:
    case ControlKind::Spin: {
      auto v = ParsePicture(c.picture_, c.text_);
      if (!v) return false;
      if (c.kind_ == ControlKind::Spin && c.high_ > c.low_) {
        const int64_t n = ValueNumber(*v);
        if (n < c.low_ || n > c.high_) return false;
      }
      if (!c.binding_.Set(*v)) return false;
      // The entry shows what its variable took, in the picture's form (a
      // time typed "8:5" as "08:05:00", a text cut to its field).
      if (FormatPicture(c.picture_, c.binding_.Get()) != c.text_) {
        DisplayControl(c);
        return true;
      }
      break;
    }
    case ControlKind::Check:
      taken = c.binding_.Set(c.checked_ ? c.checkOn_ : c.checkOff_);
      break;
    case ControlKind::Option: {
      int i = 0;
      for (Control* r : c.Children()) {
        if (r->kind_ != ControlKind::Radio) continue;
        if (++i == c.choice_) {
          taken = c.binding_.Set(r->radioValue_);
          break;
        }
      }
      break;
    }
    case ControlKind::DropList:
      if (c.source_ == nullptr && c.choice_ >= 1 && c.choice_ <= static_cast<int>(c.choices_.size()))
        taken = c.binding_.Set(Value(c.choices_[static_cast<std::size_t>(c.choice_ - 1)]));
      break;
    case ControlKind::Sheet:
    case ControlKind::List:
      taken = c.binding_.Set(Value(int64_t{c.choice_}));
      break;
    default:
      break;
  }
  if (!taken) return false;
  c.shown_ = c.binding_.Get();
  c.hasShown_ = true;
  return true;
}

namespace {

// A whole number written in the text (blanks around it, a minus sign
// allowed), whatever a picture allows; nullopt for anything else.
std::optional<int64_t> WrittenNumber(std::string_view t) {
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  const bool minus = !t.empty() && t.front() == '-';
  if (minus) t.remove_prefix(1);
  if (t.empty() || t.size() > 18 || t.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  int64_t n = 0;
  for (char ch : t) n = n * 10 + (ch - '0');
  return minus ? -n : n;
}

}  // namespace

void Window::Refuse(Control& c) {
  // A spin box goes to the end of its range nearest to a number beyond it.
  if (c.kind_ == ControlKind::Spin && c.high_ > c.low_ && c.binding_)
    if (const auto n = WrittenNumber(c.text_); n && (*n < c.low_ || *n > c.high_))
      c.binding_.Set(Value(std::clamp(*n, c.low_, c.high_)));
  DisplayControl(c);
  // What the operator did after it was done on a value the window did not
  // take.
  if (queue_) queue_->DropFieldEvents(id_);
  Select(c.number_);
  platform::Beep(platform::BoxIcon::None);
}

void Window::DisplayChanged() {
  for (auto& c : controls_) {
    if (!c->binding_) continue;
    if (!c->hasShown_ || !SameValue(c->binding_.Get(), c->shown_)) DisplayControl(*c);
  }
}

void Window::Display() {
  for (auto& c : controls_) DisplayControl(*c);
}
void Window::Display(std::string_view label) { Display(Number(label)); }
void Window::Display(int number) {
  if (Control* c = At(number)) DisplayControl(*c);
}
bool Window::Update() {
  bool ok = true;
  for (auto& c : controls_) ok = UpdateControl(*c) && ok;
  return ok;
}
bool Window::Update(std::string_view label) { return Update(Number(label)); }
bool Window::Update(int number) {
  Control* c = At(number);
  return c == nullptr || UpdateControl(*c);
}

int Window::FirstEmptyRequired() const {
  for (const auto& c : controls_) {
    if (!c->required_) continue;
    std::optional<Value> v;
    if (c->binding_)
      v = c->binding_.Get();
    else
      v = ParsePicture(c->picture_, c->text_);
    const std::string shown = v ? FormatPicture(c->picture_, *v) : c->text_;
    if (text::TrimRight(shown).find_first_not_of(' ') == std::string_view::npos) return c->number_;
    const auto kind = c->picture_.kind;
    if ((kind == Picture::Kind::Date || kind == Picture::Kind::Time) && (!v || ValueNumber(*v) == 0))
      return c->number_;
  }
  return 0;
}

// --- events and the loop

void Window::Post(int event, int control, int key) {
  if (auto q = queue_) q->Push({event, control, key, id_});
}

bool Window::Held() const {
  const auto& ws = ThisThread().windows;
  auto it = std::find(ws.begin(), ws.end(), this);
  return it != ws.end() && it + 1 != ws.end();
}

void Window::EndLoop() {
  endLoop_ = true;
  if (queue_) queue_->Wake();
}

void Window::Dispatch(WindowController& controller, const Event& e) {
  current_ = e;
  if ((e.number == EVENT::Accepted || e.number == EVENT::NewSelection) && e.control != 0) {
    Control* c = At(e.control);
    if (c != nullptr && !UpdateControl(*c)) {
      current_.number = EVENT::Rejected;
      Refuse(*c);
    }
  }
  controller.OnAnyEvent();
  DisplayChanged();
  if (e.number == EVENT::OpenWindow && !openHandled_) {
    openHandled_ = true;
    ArmTimer();
  }
}

namespace {
constexpr int kPumpEvery = 16;  // events in a row between two looks at the view
}  // namespace

void Window::RunLoop(WindowController& controller) {
  if (!open_ || running_) return;
  ThreadState& st = ThisThread();
  running_ = true;
  endLoop_ = false;
  const bool modal = st.windows.front() != this;
  if (modal) view_->ShowModal(*this, true);
  int burst = 0;
  bool ticked = false;  // the last event handled was a tick
  while (open_ && !endLoop_) {
    const uint64_t seen = queue_->Generation();
    const bool first = !st.windows.empty() && st.windows.front() == this;
    // A due tick goes first, so a stream of posted events cannot starve the
    // timer (at most one tick a period gets in between). After a tick come
    // one queued event and a look at the view, so ticks that take longer
    // than their period cannot starve those either.
    if (nextTick_ && openHandled_ && !ticked) {
      const TimePoint now = GetClock().Now();
      if (now >= *nextTick_) {
        const auto period = std::chrono::milliseconds(10 * static_cast<int64_t>(timer_));
        *nextTick_ += period;
        if (*nextTick_ <= now) *nextTick_ = now + period;
        Dispatch(controller, {EVENT::Timer, 0, 0, id_});
        ticked = true;
        continue;
      }
    }
    const bool afterTick = ticked;
    ticked = false;
    if (auto e = queue_->TakeFor(id_, first)) {
      Dispatch(controller, *e);
      // Nor can it starve the view's own input.
      if (++burst >= kPumpEvery || afterTick) {
        burst = 0;
        view_->Pump(*queue_, seen, GetClock().Now());
      }
      continue;
    }
    burst = 0;
    view_->Pump(*queue_, seen, openHandled_ ? nextTick_ : std::nullopt);
  }
  if (modal) {
    view_->ShowModal(*this, false);
    // The windows it held show what it changed, before the handler that
    // ran it goes on.
    for (Window* below : st.windows)
      if (below != this) below->DisplayChanged();
  }
  running_ = false;
}

// --- user actions

namespace {

void MoveFocus(Window& w, Control& c) {
  if (w.Focus() != c.Number()) w.Select(c.Number());
}

}  // namespace

void Window::Press(std::string_view label) {
  Control& c = (*this)[label];
  if (!open_ || !Focusable(c)) return;
  MoveFocus(*this, c);
  switch (c.kind_) {
    case ControlKind::Check:
      c.SetChecked(!c.checked_);
      Post(EVENT::Accepted, c.number_);
      break;
    case ControlKind::Radio: {
      Control* group = c.parent_;
      if (group == nullptr || group->kind_ != ControlKind::Option) {
        Post(EVENT::Accepted, c.number_);
        break;
      }
      int i = 0;
      for (Control* r : group->Children()) {
        if (r->kind_ != ControlKind::Radio) continue;
        ++i;
        if (r == &c) group->SetChoice(i);
      }
      Post(EVENT::Accepted, group->number_);
      break;
    }
    default:
      Post(EVENT::Accepted, c.number_);
      break;
  }
}

void Window::Enter(std::string_view label, std::string text) {
  Control& c = (*this)[label];
  if (!open_ || !Focusable(c) || c.readOnly_) return;
  MoveFocus(*this, c);
  c.SetText(std::move(text));
  Post(EVENT::Accepted, c.number_);
}

void Window::Choose(std::string_view label, int choice) {
  Control& c = (*this)[label];
  if (!open_) return;
  if (c.kind_ == ControlKind::Sheet) {
    c.SetChoice(choice);
    Post(EVENT::NewSelection, c.number_);
    return;
  }
  if (!Focusable(c)) return;
  MoveFocus(*this, c);
  c.SetChoice(choice);
  Post(EVENT::NewSelection, c.number_);
  if (c.kind_ == ControlKind::DropList) Post(EVENT::Accepted, c.number_);
}

void Window::Step(std::string_view label, int direction) {
  Control& c = (*this)[label];
  if (!open_ || !Focusable(c) || c.kind_ != ControlKind::Spin) return;
  MoveFocus(*this, c);
  const auto v = ParsePicture(c.picture_, c.text_);
  int64_t n = v ? ValueNumber(*v) : c.low_;
  n += direction >= 0 ? c.step_ : -c.step_;
  if (c.high_ > c.low_) n = std::clamp(n, c.low_, c.high_);
  c.SetText(FormatPicture(c.picture_, Value(n)));
  Post(EVENT::NewSelection, c.number_);
}

void Window::PressKey(int keycode) {
  if (!open_) return;
  if (HasAlert(keycode))
    Post(EVENT::AlertKey, 0, keycode);
  else if (keycode == kEscapeKey && escapeCloses_)
    CloseBox();
}

void Window::CloseBox() { Post(EVENT::CloseWindow); }

void Window::Minimize() {
  if (!open_) return;
  SetIconize(true);
  Post(EVENT::Iconized);
}

// --- the controller

int WindowController::Run() {
  ThreadState& st = ThisThread();
  Window* const outer = st.running;
  st.running = &window_;
  // Events the window posts to itself in SetUp wait for it.
  st.queue->AddWindow(window_.Id());
  st.settingUp = &window_;
  int result = SetUp();
  st.settingUp = nullptr;
  if (result != kGoOn) {
    window_.Close();
    st.queue->RemoveWindow(window_.Id());
    Response = RequestCancelled;
  } else {
    if (!window_.IsOpen()) window_.Open();
    SetCaptionAndRun();
    TearDown();
    window_.Close();
  }
  FormResponse = Response;
  st.running = outer;
  return Response;
}

int WindowController::SetUp() {
  Request = FormRequest;
  FormRequest = 0;
  FormResponse = 0;
  return kGoOn;
}

void WindowController::SetCaptionAndRun() { window_.RunLoop(*this); }

int WindowController::TearDown() {
  if (window_.HasOpened() && window_.KeepsPlace()) {
    if (IniStore* store = PlacementStore()) SavePlacement(window_, *store);
  }
  window_.Close();
  FormResponse = Response;
  return kGoOn;
}

int WindowController::OnAnyEvent() {
  Window& w = window_;
  const Event& e = w.CurrentEvent();
  if (e.control == 0) return OnWindowEvent();
  int r = kGoOn;
  if (e.number == EVENT::Accepted)
    r = OnControlAccepted();
  else if (e.number == EVENT::Selected)
    r = OnControlSelected();
  if (r != kGoOn) return r;
  r = OnFieldEvent();
  if (r != kGoOn) return r;
  for (WindowComponent* c : w.components_) {
    r = c->TakeEvent(w);
    if (r != kGoOn) return r;
  }
  return kGoOn;
}

int WindowController::OnWindowEvent() {
  switch (window_.EventNumber()) {
    case EVENT::CloseWindow:
    case EVENT::CloseDown:
      window_.EndLoop();
      break;
    default:
      break;
  }
  return kGoOn;
}

int WindowController::OnControlAccepted() {
  const int a = window_.Accepted();
  if (a == 0) return kGoOn;
  if (a == OkControl) {
    Response = RequestCompleted;
    window_.EndLoop();
  } else if (a == CancelControl) {
    Response = RequestCancelled;
    window_.EndLoop();
  }
  return kGoOn;
}

int WindowController::OnControlSelected() { return kGoOn; }
int WindowController::OnFieldEvent() { return kGoOn; }

void WindowController::Refresh(uint8_t force) {
  for (WindowComponent* c : window_.components_) c->Refresh(window_, force);
  window_.Display();
}

void WindowController::SetHotKeys() {
  for (WindowComponent* c : window_.components_) c->SetAlerts(window_);
}

// --- placement

void SetPlacementStore(IniStore* store) { gPlacementStore.store(store); }
IniStore* PlacementStore() { return gPlacementStore.load(); }

bool RestorePlacement(Window& w, const IniStore& store) {
  const std::string& s = w.ProcedureName();
  if (s.empty() || store.GetString(s, "XPos").empty()) return false;
  Placement p;
  p.x = static_cast<int>(store.GetNumber(s, "XPos"));
  p.y = static_cast<int>(store.GetNumber(s, "YPos"));
  if (w.DesignedMinimum()) {
    p.width = static_cast<int>(store.GetNumber(s, "Width"));
    p.height = static_cast<int>(store.GetNumber(s, "Height"));
  }
  p.maximized = store.GetString(s, "Maximize") == "Yes";
  p.minimized = store.GetString(s, "Minimize") == "Yes";
  w.SetPlacement(p);
  return true;
}

bool SavePlacement(const Window& w, IniStore& store) {
  const std::string& s = w.ProcedureName();
  if (s.empty()) return false;
  const Placement& p = w.GetPlacement();
  bool ok = store.PutNumber(s, "XPos", p.x);
  ok = store.PutNumber(s, "YPos", p.y) && ok;
  ok = store.PutNumber(s, "Width", p.width) && ok;
  ok = store.PutNumber(s, "Height", p.height) && ok;
  ok = store.PutString(s, "Maximize", p.maximized ? "Yes" : "No") && ok;
  ok = store.PutString(s, "Minimize", p.minimized ? "Yes" : "No") && ok;
  store.ManageSection(s);
  return ok;
}

}  // namespace platform::ui
