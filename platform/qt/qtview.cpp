#include "platform/qt/qtview.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/qt/images.h"
#include "platform/qt/listview.h"
#include "platform/text.h"
#include "platform/winproc.h"

namespace platform::qt {

namespace {

namespace pu = platform::ui;
using pu::ControlKind;
using pu::Property;

constexpr const char* kControlProperty = "velornControl";
// The width a wrapping text keeps at least, and beyond which it wraps.
constexpr int kTextMinWidth = 120, kTextMaxWidth = 440;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toStdString(); }

// Texts keep their line breaks as "\r\n".
QString PlainText(std::string_view s) {
  QString t = Q(s);
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return t;
}

// 00BBGGRRh
QColor ColorOf(int32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

QPixmap Picture(std::string_view name) {
  const QImage image = LoadImage(name);
  return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

// Frame positions are worked out from the client rectangle and the native
// window's frame margins: the toolkit's own frame rectangle of a window may
// lag behind until the window has been moved once. The margins are the
// window manager's while it frames the window; an unmapped window has none
// (X takes the frame away with the window), so a window's frame positions
// go through the margins it had (Impl::Frame).
QMargins FrameMargins(const QWidget* top) {
  const QWindow* h = top->windowHandle();
  return h != nullptr ? h->frameMargins() : QMargins();
}

bool IsField(ControlKind k) {
  switch (k) {
    case ControlKind::Entry:
    case ControlKind::Spin:
    case ControlKind::DropList:
    case ControlKind::Text:
    case ControlKind::Prompt:
      return true;
    default:
      return false;
  }
}

// A spin box whose text and steps are the model's: its arrows and the
// up and down keys step the control, whatever its picture.
class ModelSpin final : public QAbstractSpinBox {
 public:
  ModelSpin(QWidget* parent, std::function<void(int)> step) : QAbstractSpinBox(parent), step_(std::move(step)) {
    lineEdit()->setContextMenuPolicy(Qt::NoContextMenu);
    setContextMenuPolicy(Qt::NoContextMenu);
  }
  void stepBy(int steps) override { step_(steps); }
  void SetShownText(const QString& t) {
    if (lineEdit()->text() != t) lineEdit()->setText(t);
  }
  QString ShownText() const { return lineEdit()->text(); }

 protected:
  StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

 private:
  std::function<void(int)> step_;
};

// A child of a container laid out as a grid (pu::Control::Columns).
bool InGrid(const pu::Control& c) { return c.Parent() != nullptr && c.Parent()->Columns() > 0; }

// A control on a page of a sheet. Texts there do not wrap: a sheet asks
// only its pages that wrap for their height at a width.
bool OnSheet(const pu::Control& c) {
  for (const pu::Control* p = c.Parent(); p != nullptr; p = p->Parent())
    if (p->Kind() == ControlKind::Tab && p->Parent() != nullptr && p->Parent()->Kind() == ControlKind::Sheet)
      return true;
  return false;
}

// A button that shows where the focus is whatever its look: a flat button
// has no panel for the style to mark, and the style marks a raised one only
// once the keyboard has moved the focus.
class ModelButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPushButton::paintEvent(e);
    if (!hasFocus()) return;
    QPainter p(this);
    p.setPen(QPen(palette().color(QPalette::Highlight), 1));
    p.drawRect(rect().adjusted(2, 2, -3, -3));
  }
};

// A sheet lays its tab bar and its pages out, repaints itself whole and has
// the window laid out again at every layout request, and a text on a page
// makes one at each change (a clock: every second). A request that finds
// the tab bar and the sheet asking for the sizes they asked for when the
// sheet was last laid out has nothing to change and is dropped.
class ModelSheet final : public QTabWidget {
 public:
  using QTabWidget::QTabWidget;

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::LayoutRequest) {
      const Hints now = Current();
      if (now == laidOut_) return true;
      laidOut_ = now;
    }
    return QTabWidget::event(e);
  }
  // Both lay the sheet out, as a request does.
  void showEvent(QShowEvent* e) override {
    QTabWidget::showEvent(e);
    laidOut_ = Current();
  }
  void resizeEvent(QResizeEvent* e) override {
    QTabWidget::resizeEvent(e);
    laidOut_ = Current();
  }

 private:
  struct Hints {
    QSize bar, barMinimum, sheet, sheetMinimum;
    bool operator==(const Hints&) const = default;
  };
  Hints Current() const {
    return {tabBar()->sizeHint(), tabBar()->minimumSizeHint(), sizeHint(), minimumSizeHint()};
  }
  Hints laidOut_;  // empty sizes: never laid out
};

// A button in a grid cell: as wide as its text needs and at least square,
// without the style's minimum width of a text button, so that a grid of
// short captions stays compact.
class CellButton final : public ModelButton {
 public:
  using ModelButton::ModelButton;
  QSize sizeHint() const override {
    const QSize base = QPushButton::sizeHint();
    const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, this);
    int textWidth = fontMetrics().horizontalAdvance(text()) + 2 * margin;
    if (!icon().isNull()) textWidth += iconSize().width() + margin;
    return {std::max(base.height(), textWidth), base.height()};
  }
  QSize minimumSizeHint() const override { return sizeHint(); }
};

}  // namespace

class QtView::Impl {
 public:
  struct Native {
    pu::Window* model = nullptr;
    QWidget* top = nullptr;
    bool adopted = false;
    std::vector<QWidget*> controls;                  // by control number - 1
    std::vector<std::pair<QTabWidget*, int>> tabs;   // a tab's sheet and index
    QByteArray wallpaper;     // encoded: decoded when drawn, at the window's size
    QPixmap scaledWallpaper;  // the wallpaper at the window's size, made once per size
    QSize wallpaperFor;       // the size it was made for (also when it could not be)
    QMargins frame;         // frame margins last seen in the normal state
    QMargins fitFrame;      // frame margins when it was last fitted to its contents
    int syncing = 0;        // > 0 while the view itself writes widget or model
    bool shown = false;     // shown at least once
    bool showPending = false;  // to be shown again at the next flush
    bool statePending = false;  // to take the model's state at the next flush
    bool restoring = false;    // shown restored from minimised, not yet on the screen or active
    bool autoSize = false;  // sized by its contents
    bool positioned = false;
    bool layoutDirty = false;
    std::set<int> unshownTexts;  // controls whose text changed while the window was away
    enum class Modal { Unknown, Wanted, Ended } modal = Modal::Unknown;
  };

  Impl() {
    deadline_.setSingleShot(true);
    deadline_.setTimerType(Qt::PreciseTimer);
    filter_ = std::make_unique<Filter>(*this);
    qApp->installEventFilter(filter_.get());
    focus_ = QObject::connect(qApp, &QApplication::focusChanged, [this](QWidget*, QWidget* now) { FocusMoved(now); });
  }

  ~Impl() {
    QObject::disconnect(focus_);
    qApp->removeEventFilter(filter_.get());
    for (auto& [id, n] : natives_)
      if (!n->adopted) delete n->top;
    if (waitCursor_) QApplication::restoreOverrideCursor();
  }

  // --- the top-level widget

  class Top final : public QWidget {
   public:
    Top(Impl& impl, pu::WindowId id, Qt::WindowFlags flags) : QWidget(nullptr, flags), impl_(impl), id_(id) {}

   protected:
    // Only the exposed part of the wallpaper is drawn; it is decoded at the
    // window's size once per size (a clock ticking above it repaints every
    // second), and nothing larger is kept.
    void paintEvent(QPaintEvent* e) override {
      Native* n = impl_.Find(id_);
      if (n == nullptr || n->wallpaper.isEmpty()) return;
      const qreal ratio = devicePixelRatioF();
      const QSize pixels = (QSizeF(size()) * ratio).toSize();
      if (n->wallpaperFor != pixels) {
        n->wallpaperFor = pixels;
        n->scaledWallpaper = QPixmap::fromImage(DecodePictureAt(n->wallpaper, pixels));
        n->scaledWallpaper.setDevicePixelRatio(ratio);
      }
      if (n->scaledWallpaper.isNull()) return;
      QPainter p(this);
      const QRect r = e->rect();
      p.drawPixmap(r, n->scaledWallpaper, QRectF(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio).toRect());
    }
    void closeEvent(QCloseEvent* e) override {
      e->ignore();
      if (Native* n = impl_.Find(id_)) impl_.OperatorClose(*n);
    }
    void changeEvent(QEvent* e) override {
      QWidget::changeEvent(e);
      if (e->type() == QEvent::WindowStateChange)
        if (Native* n = impl_.Find(id_)) impl_.StateChanged(*n);
      if (e->type() == QEvent::ActivationChange && isActiveWindow())
        if (Native* n = impl_.Find(id_)) n->restoring = false;
    }
    void moveEvent(QMoveEvent* e) override {
      QWidget::moveEvent(e);
      if (Native* n = impl_.Find(id_)) impl_.Moved(*n);
    }
    void resizeEvent(QResizeEvent* e) override {
      QWidget::resizeEvent(e);
      if (Native* n = impl_.Find(id_)) impl_.Moved(*n);
    }
    // Esc that no control took (no alert key claimed it first): the close
    // box, for a window whose Esc closes it.
    void keyPressEvent(QKeyEvent* e) override {
      Native* n = impl_.Find(id_);
      if (n != nullptr && e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier &&
          n->model->EscapeCloses()) {
        impl_.OperatorClose(*n);
        return;
      }
      QWidget::keyPressEvent(e);
    }

   private:
    Impl& impl_;
    pu::WindowId id_;
  };

  // Keys for the whole application: alert keys and Alt+F4; the close box of
  // adopted windows.
  class Filter final : public QObject {
   public:
    explicit Filter(Impl& impl) : impl_(impl) {}
    bool eventFilter(QObject* obj, QEvent* e) override { return impl_.Filtered(obj, e); }

   private:
    Impl& impl_;
  };

  Native* Find(pu::WindowId id) const {
    auto it = natives_.find(id);
    return it == natives_.end() ? nullptr : it->second.get();
  }
  Native* FindTop(const QWidget* top) const {
    auto it = byTop_.find(top);
    return it == byTop_.end() ? nullptr : Find(it->second);
  }

  struct Sync {
    explicit Sync(Native& n) : n_(n) { ++n_.syncing; }
    ~Sync() { --n_.syncing; }
    Native& n_;
  };

  // --- the frame

  // The window's frame margins: the window manager's while it frames the
  // window; while it has no frame (not shown yet, or hidden), those it had
  // when last framed in its normal state, else those the window manager
  // last gave a window. Placed through margins it does not have, a window
  // that was hidden would come back that much higher and further left.
  QMargins Frame(const Native& n) const {
    const QMargins now = FrameMargins(n.top);
    if (!now.isNull()) return now;
    return !n.frame.isNull() ? n.frame : lastFrame_;
  }
  QRect Outer(const Native& n) const { return n.top->geometry().marginsAdded(Frame(n)); }
  void MoveFrame(Native& n, QPoint framePos) {
    const QMargins m = Frame(n);
    n.top->setGeometry(QRect(framePos + QPoint(m.left(), m.top()), n.top->size()));
  }
  // Remembers the margins the window manager gives a shown window in its
  // normal state.
  void NoteFrame(Native& n) {
    if (!n.shown || !n.top->isVisible() || !Normal(n.top)) return;
    const QMargins now = FrameMargins(n.top);
    if (now.isNull()) return;
    n.frame = now;
    lastFrame_ = now;
  }

  // --- building

  void Create(pu::Window& w) {
    if (Find(w.Id()) != nullptr) return;
    auto n = std::make_unique<Native>();
    n->model = &w;
    const auto ws = pu::ThreadWindows();
    const bool above = !ws.empty() && ws.front() != &w;
    if (auto a = adopt_.find(w.Id()); a != adopt_.end()) {
      n->adopted = true;
      n->top = a->second;
      adopt_.erase(a);
    } else {
      n->top = new Top(*this, w.Id(), above ? Qt::Dialog : Qt::Window);
      n->top->setObjectName(Q(w.ProcedureName()));
      n->controls.assign(static_cast<std::size_t>(w.ControlCount()), nullptr);
      n->tabs.assign(static_cast<std::size_t>(w.ControlCount()), {nullptr, -1});
      auto* box = new QVBoxLayout(n->top);
      Build(*n, n->top, box, nullptr);
    }
    Native& ref = *n;
    byTop_[ref.top] = w.Id();
    natives_[w.Id()] = std::move(n);
    if (ref.adopted) return;

    Sync s(ref);
    for (Property p : {Property::Caption, Property::Icon, Property::Wallpaper, Property::Font}) RenderWindow(ref, p);
    for (int i = 1; i <= w.ControlCount(); ++i) {
      pu::Control& c = *w.At(i);
      for (Property p : {Property::Text, Property::Tip, Property::Image, Property::Hide, Property::Enable,
                         Property::Color, Property::ReadOnly, Property::Flat, Property::Center, Property::Choices})
        RenderControl(ref, c, p);
    }
    const pu::Placement& p = w.GetPlacement();
    ref.autoSize = p.width <= 0 || p.height <= 0;
    ref.positioned = !ref.autoSize || p.x != 0 || p.y != 0;
    if (ref.autoSize) {
      FitContents(ref);
    } else {
      ref.top->resize(p.width, p.height);
    }
    // A window without a place of its own stands, until it is first shown,
    // where it would be shown alone: fitted on the desktop before it is
    // shown (also while it stays hidden), it keeps the place its first show
    // gives it unless the fit had to move it.
    if (ref.positioned) {
      MoveFrame(ref, QPoint(p.x, p.y));
    } else {
      Place(ref, ScreenCentre());
    }
    ref.top->setWindowState(WantedState(w));
    if (QWidget* f = ControlOf(ref, w.Focus())) f->setFocus(Qt::OtherFocusReason);
    WriteBack(ref);
  }

  // The controls whose parent is `parent` (nullptr: the window), laid out in
  // `box` on `host`.
  void Build(Native& n, QWidget* host, QBoxLayout* box, pu::Control* parent) {
    pu::Window& w = *n.model;
    std::vector<pu::Control*> items, buttons;
    for (int i = 1; i <= w.ControlCount(); ++i)
      if (w.At(i)->Parent() == parent) items.push_back(w.At(i));
    if (parent != nullptr && parent->Columns() > 0) {
      auto* grid = new QGridLayout;
      grid->setSpacing(2);
      LayGrid(n, host, grid, items, parent->Columns(), true);
      // Room to spare goes below the grid, not between its rows.
      grid->setRowStretch(grid->rowCount(), 1);
      box->addLayout(grid);
      return;
    }
    const auto at = [&](std::size_t k) { return k < items.size() ? items[k] : nullptr; };
    std::vector<bool> used(items.size(), false);
    // The next item that is not a button (buttons go to the bottom).
    const auto nextFlow = [&](std::size_t k) {
      for (std::size_t j = k + 1; j < items.size(); ++j)
        if (!used[j] && items[j]->Kind() != ControlKind::Button) return j;
      return items.size();
    };
    QGridLayout* form = nullptr;
    int formRows = 0;
    bool grows = false;  // a list takes the spare height
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (used[i]) continue;
      pu::Control& c = *items[i];
      pu::Control* next = at(i + 1);
      if (c.Kind() == ControlKind::Button) {
        buttons.push_back(&c);
        continue;
      }
      if (c.Kind() == ControlKind::Prompt && next != nullptr && IsField(next->Kind())) {
        if (form == nullptr) {
          form = new QGridLayout;
          form->setColumnStretch(1, 1);
          box->addLayout(form);
          formRows = 0;
        }
        form->addWidget(Make(n, c, host), formRows, 0);
        QWidget* field = Make(n, *next, host);
        used[i + 1] = true;
        // A field whose values are short (a time, a number, a port) is as
        // wide as they need, with what follows it beside it; the others
        // take the row's width.
        QHBoxLayout* narrow = nullptr;
        if (const int width = NarrowWidth(*next, field); width > 0) {
          field->setFixedWidth(width);
          narrow = new QHBoxLayout;
          narrow->addWidget(field);
          form->addLayout(narrow, formRows, 1, 1, 3);
        } else {
          form->addWidget(field, formRows, 1);
        }
        // What stands right after the field on its row: a button with only
        // a picture (a lookup), then a prompt that starts no pair (a unit).
        int column = 2;
        std::size_t k = i + 2;
        if (pu::Control* b = at(k); b != nullptr && b->Kind() == ControlKind::Button && b->Text().empty()) {
          if (narrow != nullptr)
            narrow->addWidget(Make(n, *b, host));
          else
            form->addWidget(Make(n, *b, host), formRows, column++);
          used[k++] = true;
        }
        if (pu::Control* u = at(k);
            u != nullptr && u->Kind() == ControlKind::Prompt && (at(k + 1) == nullptr || !IsField(at(k + 1)->Kind()))) {
          if (narrow != nullptr)
            narrow->addWidget(Make(n, *u, host));
          else
            form->addWidget(Make(n, *u, host), formRows, column);
          used[k] = true;
        }
        if (narrow != nullptr) narrow->addStretch(1);
        ++formRows;
        continue;
      }
      form = nullptr;
      const std::size_t j = nextFlow(i);
      pu::Control* partner = at(j);
      const bool pair =
          partner != nullptr && ((c.Kind() == ControlKind::Image && partner->Kind() == ControlKind::Text) ||
                                 (c.Kind() == ControlKind::Text && partner->Kind() == ControlKind::Image));
      if (pair) {
        pu::Control& image = c.Kind() == ControlKind::Image ? c : *partner;
        pu::Control& text = c.Kind() == ControlKind::Image ? *partner : c;
        auto* row = new QHBoxLayout;
        row->setSpacing(14);
        row->addWidget(Make(n, image, host), 0, Qt::AlignTop);
        row->addWidget(Make(n, text, host), 1);
        box->addLayout(row);
        used[j] = true;
        continue;
      }
      // A legend: boxes each followed by its prompt, in one row.
      if (c.Kind() == ControlKind::Box && next != nullptr && next->Kind() == ControlKind::Prompt) {
        auto* row = new QHBoxLayout;
        std::size_t k = i;
        for (; at(k) != nullptr && at(k)->Kind() == ControlKind::Box && at(k + 1) != nullptr &&
               at(k + 1)->Kind() == ControlKind::Prompt;
             k += 2) {
          if (k > i) row->addSpacing(18);
          row->addWidget(Make(n, *items[k], host), 0, Qt::AlignVCenter);
          row->addWidget(Make(n, *items[k + 1], host), 0, Qt::AlignVCenter);
          used[k] = used[k + 1] = true;
        }
        row->addStretch(1);
        box->addLayout(row);
        continue;
      }
      // A list takes the height the box has to spare.
      const bool list = c.Kind() == ControlKind::List;
      box->addWidget(Make(n, c, host), list ? 1 : 0);
      grows = grows || list;
    }
    if (!buttons.empty()) {
      constexpr int kPerRow = 8;
      auto* grid = new QGridLayout;
      LayGrid(n, host, grid, buttons, kPerRow, false);
      auto* row = new QHBoxLayout;
      row->addStretch(1);
      row->addLayout(grid);
      row->addStretch(1);
      if (!grows) box->addStretch(1);
      box->addLayout(row);
    }
  }

  // The width a field of short values needs (times, dates, numbers, texts
  // of at most 20 characters, fixed choices), 0 for a field that takes the
  // width its row has.
  static int NarrowWidth(const pu::Control& c, QWidget* field) {
    const pu::Picture picture = pu::Picture::Parse(c.PictureText());
    const QFontMetrics& fm = field->fontMetrics();
    int text = 0;
    if (c.Kind() == ControlKind::DropList) {
      if (c.Source() != nullptr || c.Choices().empty()) return 0;
      for (const std::string& choice : c.Choices()) text = std::max(text, fm.horizontalAdvance(Q(choice)));
      QStyleOptionComboBox o;
      o.initFrom(field);
      return field->style()->sizeFromContents(QStyle::CT_ComboBox, &o, QSize(text, fm.height()), field).width() + 8;
    }
    if (c.Kind() != ControlKind::Entry && c.Kind() != ControlKind::Spin) return 0;
    switch (picture.kind) {
      case pu::Picture::Kind::Time:
        text = fm.horizontalAdvance(QStringLiteral("00:00:00"));
        break;
      case pu::Picture::Kind::Date:
        text = fm.horizontalAdvance(QStringLiteral("00.00.0000"));
        break;
      case pu::Picture::Kind::Number:
        text = fm.horizontalAdvance(QString(std::max(picture.width, 1), QLatin1Char('0')));
        break;
      case pu::Picture::Kind::String:
        if (picture.width <= 0 || picture.width > 20) return 0;
        text = fm.averageCharWidth() * picture.width;
        break;
      default:
        return 0;
    }
    const int arrows = c.Kind() == ControlKind::Spin ? field->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    return text + arrows + 2 * field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 16;
  }

  // Lays controls out in a grid: each in its own cell (pu::Control::SetCell),
  // the others in the next cells in window order. keepHidden: a hidden cell
  // keeps its place.
  void LayGrid(Native& n, QWidget* host, QGridLayout* grid, const std::vector<pu::Control*>& items, int columns,
             bool keepHidden) {
    int k = 0;
    for (pu::Control* c : items) {
      QWidget* cell = Make(n, *c, host);
      if (keepHidden) {
        QSizePolicy policy = cell->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        cell->setSizePolicy(policy);
      }
      if (c->HasCell()) {
        grid->addWidget(cell, c->GridCell().row, c->GridCell().column, 1, c->GridCell().span);
      } else {
        grid->addWidget(cell, k / columns, k % columns);
        ++k;
      }
    }
  }

  // What the operator typed into an entry or spin box of the window and the
  // window has not taken yet (its widget shows another text than the
  // model's) is entered before another control acts: a button's access key
  // clicks it without moving the focus, a window that is not active gets no
  // focus change, and ?OK is to see what the fields show.
  void TakeTyping(Native& n, int acting) {
    pu::Window& w = *n.model;
    for (int i = 1; i <= w.ControlCount(); ++i) {
      pu::Control& c = *w.At(i);
      if (i == acting || c.ReadOnly()) continue;
      QWidget* wgt = ControlOf(n, i);
      QString typed;
      if (auto* e = qobject_cast<QLineEdit*>(wgt); e != nullptr && c.Kind() == ControlKind::Entry)
        typed = e->text();
      else if (auto* s = dynamic_cast<ModelSpin*>(wgt); s != nullptr && c.Kind() == ControlKind::Spin)
        typed = s->ShownText();
      else
        continue;
      if (S(typed) != c.Text()) w.Enter(c.Label(), S(typed));
    }
  }

  template <class F>
  void Act(pu::WindowId id, int number, F action) {
    Native* n = Find(id);
    if (n == nullptr || n->syncing > 0) return;
    pu::Window& w = *n->model;
    pu::Control* c = w.At(number);
    if (c != nullptr && w.IsOpen() && !w.Held()) {
      TakeTyping(*n, number);
      action(w, *c);
    }
    // The widget shows what the model holds, also when it did not take
    // the action.
    if ((n = Find(id)) != nullptr && (c = n->model->At(number)) != nullptr) RenderControl(*n, *c, Property::Contents);
  }

  QWidget* Make(Native& n, pu::Control& c, QWidget* host) {
    const pu::WindowId id = n.model->Id();
    const int num = c.Number();
    QWidget* made = nullptr;
    switch (c.Kind()) {
      case ControlKind::Button: {
        auto* b = InGrid(c) ? new CellButton(host) : new ModelButton(host);
        b->setAutoDefault(false);
        QObject::connect(b, &QPushButton::clicked, b,
                         [this, id, num] { Act(id, num, [](pu::Window& w, pu::Control& k) { w.Press(k.Label()); }); });
        made = b;
        break;
      }
      case ControlKind::Check: {
        auto* b = new QCheckBox(host);
        QObject::connect(b, &QCheckBox::clicked, b,
                         [this, id, num] { Act(id, num, [](pu::Window& w, pu::Control& k) { w.Press(k.Label()); }); });
        made = b;
        break;
      }
      case ControlKind::Radio: {
        auto* b = new QRadioButton(host);
        b->setAutoExclusive(false);  // the model says which one is chosen
        QObject::connect(b, &QRadioButton::clicked, b,
                         [this, id, num] { Act(id, num, [](pu::Window& w, pu::Control& k) { w.Press(k.Label()); }); });
        made = b;
        break;
      }
      case ControlKind::Entry: {
        auto* e = new QLineEdit(host);
        e->setContextMenuPolicy(Qt::NoContextMenu);
        QObject::connect(e, &QLineEdit::returnPressed, e, [this, id, num, e] {
          Act(id, num, [e](pu::Window& w, pu::Control& k) { w.Enter(k.Label(), S(e->text())); });
        });
        QObject::connect(e, &QLineEdit::editingFinished, e, [this, id, num, e] {
          Act(id, num, [e](pu::Window& w, pu::Control& k) {
            if (S(e->text()) != k.Text()) w.Enter(k.Label(), S(e->text()));
          });
        });
        made = e;
        break;
      }
      case ControlKind::Spin: {
        auto* s = new ModelSpin(host, [this, id, num](int steps) {
          Act(id, num, [steps](pu::Window& w, pu::Control& k) {
            for (int i = 0; i < std::abs(steps); ++i) w.Step(k.Label(), steps > 0 ? 1 : -1);
          });
        });
        QObject::connect(s, &QAbstractSpinBox::editingFinished, s, [this, id, num, s] {
          Act(id, num, [s](pu::Window& w, pu::Control& k) {
            if (S(s->ShownText()) != k.Text()) w.Enter(k.Label(), S(s->ShownText()));
          });
        });
        made = s;
        break;
      }
      case ControlKind::DropList: {
        if ((made = MakeRecordList(host, c)) != nullptr) break;
        auto* b = new QComboBox(host);
        QObject::connect(b, &QComboBox::activated, b, [this, id, num](int index) {
          Act(id, num, [index](pu::Window& w, pu::Control& k) { w.Choose(k.Label(), index + 1); });
        });
        made = b;
        break;
      }
      case ControlKind::List: {
        if ((made = MakeRecordList(host, c)) != nullptr) break;
        auto* l = new QListWidget(host);
        QObject::connect(l, &QListWidget::currentRowChanged, l, [this, id, num](int row) {
          Act(id, num, [row](pu::Window& w, pu::Control& k) {
            if (row + 1 != k.Choice()) w.Choose(k.Label(), row + 1);
          });
        });
        made = l;
        break;
      }
      case ControlKind::Sheet: {
        auto* t = new ModelSheet(host);
        // The sheet is as wide as its tabs' captions: none is cut or scrolled.
        t->setUsesScrollButtons(false);
        made = t;
        Register(n, c, t);
        for (pu::Control* tab : c.Children()) {
          auto* page = new QWidget;
          auto* box = new QVBoxLayout(page);
          if (tab->Kind() == ControlKind::Tab) Build(n, page, box, tab);
          const int index = t->addTab(page, QString());
          Register(n, *tab, page);
          n.tabs[static_cast<std::size_t>(tab->Number() - 1)] = {t, index};
        }
        QObject::connect(t, &QTabWidget::currentChanged, t, [this, id, num](int index) {
          Act(id, num, [index](pu::Window& w, pu::Control& k) {
            if (index + 1 != k.Choice()) w.Choose(k.Label(), index + 1);
          });
        });
        return made;
      }
      case ControlKind::Group:
      case ControlKind::Option:
      case ControlKind::Tab: {
        auto* g = new QGroupBox(host);
        auto* box = new QVBoxLayout(g);
        Register(n, c, g);
        Build(n, g, box, &c);
        return g;
      }
      case ControlKind::Prompt:
      case ControlKind::Text: {
        auto* l = new QLabel(host);
        l->setTextFormat(Qt::PlainText);
        if (c.Kind() == ControlKind::Text && !InGrid(c) && !OnSheet(c)) {
          l->setWordWrap(true);
          l->setMinimumWidth(kTextMinWidth);
        }
        made = l;
        break;
      }
      case ControlKind::Image: {
        auto* l = new QLabel(host);
        l->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
        made = l;
        break;
      }
      case ControlKind::Box: {
        auto* f = new QFrame(host);
        f->setFrameShape(QFrame::Box);
        f->setMinimumSize(16, 16);
        made = f;
        break;
      }
      case ControlKind::Region:  // drawn by the list it lies on
        made = new QWidget(host);
        break;
      case ControlKind::Line: {
        auto* f = new QFrame(host);
        f->setFrameShape(QFrame::HLine);
        f->setFrameShadow(QFrame::Sunken);
        made = f;
        break;
      }
    }
    Register(n, c, made);
    return made;
  }

  void Register(Native& n, pu::Control& c, QWidget* wgt) {
    wgt->setObjectName(Q(c.Label()));
    wgt->setProperty(kControlProperty, c.Number());
    n.controls[static_cast<std::size_t>(c.Number() - 1)] = wgt;
  }

  QWidget* ControlOf(const Native& n, int number) const {
    return number >= 1 && number <= static_cast<int>(n.controls.size())
               ? n.controls[static_cast<std::size_t>(number - 1)]
               : nullptr;
  }

  // --- rendering

  void RenderControl(Native& n, pu::Control& c, Property p) {
    QWidget* wgt = ControlOf(n, c.Number());
    if (wgt == nullptr) return;
    Sync s(n);
    if ((p == Property::Text || p == Property::Contents || p == Property::Choices) && RecordListOf(c) != nullptr)
      return RenderRecordList(wgt, c, p);
    const auto [sheet, tabIndex] = n.tabs[static_cast<std::size_t>(c.Number() - 1)];
    switch (p) {
      case Property::Text:
      case Property::Contents: {
        // A window that is away (in the tray, or kept hidden since it was
        // made) takes the static texts that changed meanwhile when it is
        // shown: a clock ticking on it lays nothing out while nobody sees
        // it. A field gets its value at once, so that no late commit of
        // what was typed in it overwrites the program's.
        if (c.Kind() == ControlKind::Text && Away(n)) {
          n.unshownTexts.insert(c.Number());
          return;
        }
        // A text that needs no other size (a clock ticking), or one that is
        // hidden (it takes its room when shown), leaves the window's layout
        // as it is: fitting it again repaints it whole. A hidden one is not
        // measured (its text laid out) at all.
        const bool hidden = wgt->isHidden();
        const QSize hintBefore = sheet != nullptr || hidden ? QSize() : wgt->sizeHint();
        RenderContents(n, c, wgt, sheet, tabIndex);
        if (sheet == nullptr && (hidden || wgt->sizeHint() == hintBefore)) return;
        break;
      }
      case Property::Tip:
        if (sheet != nullptr)
          sheet->setTabToolTip(tabIndex, Q(c.Tip()));
        else
          wgt->setToolTip(Q(c.Tip()));
        break;
      case Property::Image:
        if (auto* b = qobject_cast<QPushButton*>(wgt)) {
          const QPixmap pm = Picture(c.Image());
          b->setIcon(pm.isNull() ? QIcon() : QIcon(pm));
          if (!pm.isNull()) b->setIconSize(pm.size());
        } else if (c.Kind() == ControlKind::Image) {
          static_cast<QLabel*>(wgt)->setPixmap(Picture(c.Image()));
        }
        break;
      case Property::Hide:
        if (sheet != nullptr)
          sheet->setTabVisible(tabIndex, !c.Hidden());
        else
          wgt->setVisible(!c.Hidden());
        break;
      case Property::Enable:
        if (sheet != nullptr)
          sheet->setTabEnabled(tabIndex, c.Enabled());
        else
          wgt->setEnabled(c.Enabled());
        break;
      case Property::Color:
      case Property::FontColor:
      case Property::Bold:
        RenderLook(c, wgt);
        break;
      case Property::ReadOnly:
        if (auto* e = qobject_cast<QLineEdit*>(wgt)) e->setReadOnly(c.ReadOnly());
        if (auto* e = qobject_cast<QAbstractSpinBox*>(wgt)) e->setReadOnly(c.ReadOnly());
        break;
      case Property::Flat:
        if (auto* b = qobject_cast<QPushButton*>(wgt)) b->setFlat(c.Flat());
        break;
      case Property::Center:
        if (auto* l = qobject_cast<QLabel*>(wgt); l != nullptr && c.Kind() != ControlKind::Image)
          l->setAlignment((c.Center() ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        break;
      case Property::Choices:
        RenderChoices(c, wgt);
        RenderContents(n, c, wgt, sheet, tabIndex);
        break;
      case Property::Focus:
        if (sheet == nullptr) wgt->setFocus(Qt::OtherFocusReason);
        break;
      default:
        break;
    }
    if (p == Property::Text || p == Property::Contents || p == Property::Image || p == Property::Hide ||
        p == Property::Choices || p == Property::Bold)
      n.layoutDirty = true;
  }

  // Not on the screen and not to be shown at the next flush.
  static bool Away(const Native& n) {
    if (n.adopted || n.top->isVisible() || n.showPending) return false;
    return n.shown || n.model->Hidden();
  }

  void RenderUnshown(Native& n) {
    for (int number : std::exchange(n.unshownTexts, {}))
      if (pu::Control* c = n.model->At(number); c != nullptr) RenderControl(n, *c, Property::Text);
  }

  void RenderContents(Native& n, pu::Control& c, QWidget* wgt, QTabWidget* sheet, int tabIndex) {
    const QString text = Q(c.Text());
    switch (c.Kind()) {
      case ControlKind::Button:
        static_cast<QPushButton*>(wgt)->setText(text);
        break;
      case ControlKind::Check:
        static_cast<QCheckBox*>(wgt)->setText(text);
        static_cast<QCheckBox*>(wgt)->setChecked(c.Checked());
        break;
      case ControlKind::Radio: {
        auto* b = static_cast<QRadioButton*>(wgt);
        b->setText(text);
        if (pu::Control* g = c.Parent(); g != nullptr && g->Kind() == ControlKind::Option) RenderRadios(n, *g);
        break;
      }
      case ControlKind::Option:
        static_cast<QGroupBox*>(wgt)->setTitle(text);
        RenderRadios(n, c);
        break;
      case ControlKind::Group:
        static_cast<QGroupBox*>(wgt)->setTitle(text);
        break;
      case ControlKind::Tab:
        if (sheet != nullptr)
          sheet->setTabText(tabIndex, text);
        else
          static_cast<QGroupBox*>(wgt)->setTitle(text);
        break;
      case ControlKind::Entry: {
        auto* e = static_cast<QLineEdit*>(wgt);
        if (e->text() != text) e->setText(text);
        break;
      }
      case ControlKind::Spin:
        static_cast<ModelSpin*>(wgt)->SetShownText(text);
        break;
      case ControlKind::DropList: {
        auto* b = static_cast<QComboBox*>(wgt);
        if (b->currentIndex() != c.Choice() - 1) b->setCurrentIndex(c.Choice() - 1);
        break;
      }
      case ControlKind::List: {
        auto* l = static_cast<QListWidget*>(wgt);
        if (l->currentRow() != c.Choice() - 1) l->setCurrentRow(c.Choice() - 1);
        break;
      }
      case ControlKind::Sheet: {
        auto* t = static_cast<QTabWidget*>(wgt);
        if (c.Choice() >= 1 && c.Choice() <= t->count() && t->currentIndex() != c.Choice() - 1)
          t->setCurrentIndex(c.Choice() - 1);
        break;
      }
      case ControlKind::Prompt:
        static_cast<QLabel*>(wgt)->setText(text);
        break;
      case ControlKind::Text:
        static_cast<QLabel*>(wgt)->setText(PlainText(c.Text()));
        break;
      default:
        break;
    }
  }

  void RenderRadios(Native& n, pu::Control& group) {
    int i = 0;
    for (pu::Control* r : group.Children()) {
      if (r->Kind() != ControlKind::Radio) continue;
      ++i;
      if (auto* b = qobject_cast<QRadioButton*>(ControlOf(n, r->Number()))) b->setChecked(i == group.Choice());
    }
  }

  void RenderChoices(pu::Control& c, QWidget* wgt) {
    QStringList rows;
    if (pu::ListSource* src = c.Source()) {
      const int count = src->Rows();
      for (int r = 1; r <= count; ++r) rows << Q(src->Cell(r, 1));
    } else {
      for (const std::string& s : c.Choices()) rows << Q(s);
    }
    if (auto* b = qobject_cast<QComboBox*>(wgt)) {
      b->clear();
      b->addItems(rows);
    } else if (auto* l = qobject_cast<QListWidget*>(wgt)) {
      l->clear();
      l->addItems(rows);
    }
  }

  // Colour, font colour and bold; a colour of -1 leaves the role to the
  // window's palette.
  static void RenderLook(pu::Control& c, QWidget* wgt) {
    QPalette pal;
    pal.setResolveMask(0);
    const bool filled = c.Color() != pu::kNormalColor;
    if (filled) {
      const QColor col = ColorOf(c.Color());
      for (auto role : {QPalette::Button, QPalette::Window, QPalette::Base}) pal.setColor(role, col);
    }
    if (c.FontColor() != pu::kNormalColor) {
      const QColor col = ColorOf(c.FontColor());
      for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) pal.setColor(role, col);
    }
    wgt->setPalette(pal);
    switch (c.Kind()) {
      case ControlKind::Text:
      case ControlKind::Prompt:
      case ControlKind::Box:
      case ControlKind::Check:
      case ControlKind::Radio:
      case ControlKind::Group:
      case ControlKind::Option:
        wgt->setAutoFillBackground(filled);
        break;
      default:
        break;
    }
    QFont f;
    f.setResolveMask(0);
    if (c.Bold()) f.setBold(true);
    wgt->setFont(f);
  }

  void RenderWindow(Native& n, Property p) {
    pu::Window& w = *n.model;
    QWidget* top = n.top;
    switch (p) {
      case Property::Caption:
        // A fixed-length caption is shown without its padding.
        top->setWindowTitle(Q(text::TrimRight(w.Text())));
        n.layoutDirty = true;
        break;
      case Property::Icon: {
        if (n.adopted) break;
        const QPixmap pm = Picture(w.Icon());
        top->setWindowIcon(pm.isNull() ? QIcon() : QIcon(pm));
        break;
      }
      case Property::Wallpaper:
        n.wallpaper = ReadPicture(w.Wallpaper());
        n.scaledWallpaper = QPixmap();
        n.wallpaperFor = QSize();
        top->update();
        break;
      case Property::Font:
        if (n.adopted) break;
        if (!w.FontName().empty() && w.FontPoints() > 0)
          top->setFont(QFont(Q(w.FontName()), w.FontPoints()));
        else
          top->setFont(QFont());
        n.layoutDirty = true;
        break;
      case Property::Placement:
        if (n.syncing == 0) ApplyPlacement(n);
        break;
      case Property::Iconize:
      case Property::Maximize:
        // At the next flush: a window minimised and restored again in one
        // handler (a tray click on a shown window) is never minimised, so
        // the window manager has no late report of it to give.
        if (n.syncing == 0) n.statePending = true;
        break;
      case Property::Hide:
        if (n.syncing == 0) ApplyVisible(n);
        break;
      case Property::Cursor: {
        const bool wait = pu::CurrentCursor() == pu::Cursor::Wait;
        if (wait && !waitCursor_) QApplication::setOverrideCursor(Qt::WaitCursor);
        if (!wait && waitCursor_) QApplication::restoreOverrideCursor();
        waitCursor_ = wait;
        break;
      }
      default:
        break;
    }
  }

  // --- placement and state

  static Qt::WindowStates WantedState(const pu::Window& w) {
    Qt::WindowStates s = Qt::WindowNoState;
    if (w.Maximized()) s |= Qt::WindowMaximized;
    if (w.Iconized()) s |= Qt::WindowMinimized;
    return s;
  }
  static Qt::WindowStates StateOf(const QWidget* top) {
    return top->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized);
  }
  static bool Normal(const QWidget* top) { return StateOf(top) == Qt::WindowNoState; }

  void ApplyPlacement(Native& n) {
    if (n.adopted) return;
    const pu::Placement& p = n.model->GetPlacement();
    if (p.width > 0 && p.height > 0 && QSize(p.width, p.height) != n.top->size()) n.autoSize = false;
    if (QPoint(p.x, p.y) != Outer(n).topLeft()) n.positioned = true;
    n.statePending = true;
    if (Normal(n.top)) ApplyRect(n);
  }

  void ApplyRect(Native& n) {
    const pu::Placement& p = n.model->GetPlacement();
    Sync s(n);
    if (p.width > 0 && p.height > 0) n.top->resize(p.width, p.height);
    MoveFrame(n, QPoint(p.x, p.y));
  }

  // A window that is not shown takes its state when it is shown: the
  // toolkit maps a minimised window that it is told to restore.
  void ApplyState(Native& n) {
    if (n.top->isVisible()) SetState(n);
  }
  void SetState(Native& n) {
    if (n.adopted) return;
    const Qt::WindowStates want = WantedState(*n.model);
    if (StateOf(n.top) == want) return;
    {
      Sync s(n);
      n.top->setWindowState((n.top->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized)) | want);
    }
    // Back in its normal state, the window takes its normal placement,
    // which may have been written meanwhile.
    if (want == Qt::WindowNoState) ApplyRect(n);
  }

  void ApplyVisible(Native& n) {
    if (n.model->Hidden()) {
      n.showPending = false;
      Sync s(n);
      n.top->hide();
    } else if (n.shown && !n.top->isVisible()) {
      // Shown at the next flush, in the state the window has then: shown
      // minimised and restored at once, it would be reported minimised by
      // the window manager late, as if the operator had minimised it.
      n.showPending = true;
    }
  }

  void ShowPending(Native& n) {
    n.showPending = false;
    n.restoring = (StateOf(n.top) & Qt::WindowMinimized) && !n.model->Iconized();
    SetState(n);
    Sync s(n);
    n.top->show();
  }

  // The model's placement from the widget: the normal rectangle only while
  // the window is in its normal state.
  void WriteBack(Native& n) {
    if (n.adopted || !Normal(n.top)) return;
    pu::Placement p = n.model->GetPlacement();
    const QPoint pos = Outer(n).topLeft();
    p.x = pos.x();
    p.y = pos.y();
    p.width = n.top->width();
    p.height = n.top->height();
    if (p == n.model->GetPlacement()) return;
    Sync s(n);
    n.model->SetPlacement(p);
  }

  void Moved(Native& n) {
    if (n.syncing > 0) return;
    NoteFrame(n);
    WriteBack(n);
  }

  // The operator minimised, maximised or restored the window: the window's
  // procedures decide, and the widget then shows what the model holds.
  void StateChanged(Native& n) {
    if (n.syncing > 0 || n.adopted) return;
    pu::Window& w = *n.model;
    if (!n.top->isVisible()) {
      // Nobody acts on a window that is not shown: what the window system
      // says of it after a hide (X does so late) is not the operator's.
      ApplyState(n);
      return;
    }
    const Qt::WindowStates now = StateOf(n.top);
    if (n.restoring && (now & Qt::WindowMinimized) && !w.Iconized()) {
      // The window manager took the window in minimised, as it was hidden,
      // before it learnt of the restore: not the operator's doing. (Once
      // the window is on the screen or active, a minimise is.)
      n.restoring = false;
      ApplyState(n);
      return;
    }
    pu::WPARAM command = 0;
    if ((now & Qt::WindowMinimized) && !w.Iconized())
      command = pu::SC_MINIMIZE;
    else if (!(now & Qt::WindowMinimized) && w.Iconized())
      command = pu::SC_RESTORE;
    else if ((now & Qt::WindowMaximized) && !w.Maximized())
      command = pu::SC_MAXIMIZE;
    else if (!(now & Qt::WindowMaximized) && w.Maximized())
      command = pu::SC_RESTORE;
    if (command == 0) return;
    const pu::WindowId id = w.Id();
    if (pu::FrameHandle(w) != 0) {
      pu::DeliverNativeMessage(w, pu::WM_SYSCOMMAND, command, 0);
    } else if (command == pu::SC_MINIMIZE) {
      w.Minimize();
    } else {
      w.SetIconize(false);
      w.SetMaximize(command == pu::SC_MAXIMIZE);
    }
    if (Native* still = Find(id)) {
      ApplyState(*still);
      if (Normal(still->top)) ApplyRect(*still);
    }
  }

  void OperatorClose(Native& n) {
    pu::Window& w = *n.model;
    if (!w.IsOpen() || w.Held()) return;
    if (pu::FrameHandle(w) != 0)
      pu::DeliverNativeMessage(w, pu::WM_CLOSE, 0, 0);
    else
      w.CloseBox();
  }

  bool Filtered(QObject* obj, QEvent* e) {
    if (Hold(obj, e)) return true;
    if (e->type() == QEvent::Expose && obj->isWindowType() && static_cast<QWindow*>(obj)->isExposed()) {
      // On the screen: the window manager took it in restored, and what
      // it reports from now on is the operator's doing.
      for (auto& [id, n] : natives_)
        if (n->top->windowHandle() == obj) n->restoring = false;
      return false;
    }
    if (e->type() == QEvent::Close) {
      Native* n = obj->isWidgetType() ? FindTop(static_cast<QWidget*>(obj)) : nullptr;
      if (n == nullptr || !n->adopted) return false;
      e->ignore();
      OperatorClose(*n);
      return true;
    }
    if (e->type() != QEvent::KeyPress || !obj->isWidgetType()) return false;
    Native* n = FindTop(static_cast<QWidget*>(obj)->window());
    if (n == nullptr) return false;
    const auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_F4 && (k->modifiers() & Qt::AltModifier)) {
      OperatorClose(*n);
      return true;
    }
    const int code = KeyCodeOf(k->key(), static_cast<unsigned>(k->modifiers().toInt()));
    pu::Window& w = *n->model;
    if (code == 0 || !w.HasAlert(code) || !w.IsOpen() || w.Held()) return false;
    w.PressKey(code);
    return true;
  }

  void FocusMoved(QWidget* now) {
    for (QWidget* wgt = now; wgt != nullptr && !wgt->isWindow(); wgt = wgt->parentWidget()) {
      const QVariant v = wgt->property(kControlProperty);
      if (!v.isValid()) continue;
      Native* n = FindTop(wgt->window());
      if (n == nullptr || n->syncing > 0) return;
      pu::Window& w = *n->model;
      const int number = v.toInt();
      if (w.IsOpen() && !w.Held() && w.Focus() != number) {
        Sync s(*n);
        w.Select(number);
      }
      return;
    }
  }

  // --- showing

  void Relayout(Native& n) {
    // Minimised or maximised, it is fitted once it is back in its normal
    // state.
    if (n.autoSize && !n.adopted && !Normal(n.top)) return;
    n.layoutDirty = false;
    if (!n.autoSize || n.adopted) return;
    FitContents(n);
    // The window stays where placement put it: it grows and shrinks from
    // its top left corner.
    if (n.shown) {
      const QRect outer = Outer(n);
      const QRect kept = OnScreen(outer, outer.center());
      if (kept.topLeft() != outer.topLeft()) {
        Sync s(n);
        MoveFrame(n, kept.topLeft());
      }
    }
    WriteBack(n);
  }

  // Sizes a window to its contents: the width its layout asks for, the
  // height its layout needs at that width (every wrapped line whole), both
  // at most what the work area of its screen holds.
  void FitContents(Native& n) {
    Sync s(n);
    QWidget* top = n.top;
    // Texts wrap only past a width that shows most lines whole.
    std::vector<QLabel*> texts;
    for (int i = 1; i <= n.model->ControlCount(); ++i) {
      if (n.model->At(i)->Kind() != ControlKind::Text || InGrid(*n.model->At(i))) continue;
      auto* l = qobject_cast<QLabel*>(ControlOf(n, i));
      if (l == nullptr || !l->wordWrap()) continue;
      int natural = 0;
      for (const QString& line : l->text().split(QLatin1Char('\n')))
        natural = std::max(natural, l->fontMetrics().horizontalAdvance(line));
      l->setMinimumWidth(std::clamp(natural + 2, kTextMinWidth, kTextMaxWidth));
      texts.push_back(l);
    }
    QLayout* layout = top->layout();
    if (layout == nullptr) {
      top->adjustSize();
      return;
    }
    // What changed on a tab not shown has not reached its page's layout:
    // the sheet is as large as its largest page from the start.
    for (const auto& [sheet, index] : n.tabs)
      if (sheet != nullptr && sheet->widget(index) != nullptr && sheet->widget(index)->layout() != nullptr) {
        // The containers on a page not shown are laid out again first: the
        // toolkit lays out only what is shown, so a group box there kept the
        // size it had before its buttons got their pictures, and the page
        // grew by that when it was first shown.
        const QList<QWidget*> inner = sheet->widget(index)->findChildren<QWidget*>();
        for (auto it = inner.rbegin(); it != inner.rend(); ++it)
          if (QLayout* l = (*it)->layout()) {
            l->invalidate();
            l->activate();
            (*it)->updateGeometry();
          }
        sheet->widget(index)->layout()->invalidate();
        sheet->widget(index)->layout()->activate();
        sheet->updateGeometry();
      }
    // Changed texts reach the nested layouts' sizes only when it is
    // activated.
    layout->activate();
    const QScreen* screen = top->screen() != nullptr ? top->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1 << 20, 1 << 20);
    const QMargins frame = Frame(n);  // not framed yet: as it was, or as the others are
    n.fitFrame = FrameMargins(top);
    const int maxWidth = area.width() - frame.left() - frame.right();
    const int maxHeight = area.height() - frame.top() - frame.bottom();
    // Wide enough for its caption beside the window manager's icon and
    // buttons (about eight lines high together), as far as the screen allows.
    QFont captionFont = QApplication::font();  // the window manager draws in its own font, not the window's
    captionFont.setBold(true);
    const QFontMetrics caption(captionFont);
    const int captionWidth = caption.horizontalAdvance(top->windowTitle()) + 8 * caption.height();
    const int width =
        std::min(std::max({top->sizeHint().width(), top->minimumSizeHint().width(), captionWidth}), maxWidth);
    int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : top->sizeHint().height();
    if (height > maxHeight) {
      // More text than the screen holds: the texts give way, so that the
      // buttons stay in view.
      for (QLabel* l : texts) l->setMinimumHeight(1);
      layout->activate();
      height = maxHeight;
    }
    top->resize(width, height);
  }

  // The rectangle moved as little as needed to lie in the work area of the
  // screen that holds `on`.
  static QRect OnScreen(QRect r, QPoint on) {
    QScreen* screen = QGuiApplication::screenAt(on);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return r;
    const QRect area = screen->availableGeometry();
    if (r.right() > area.right()) r.moveRight(area.right());
    if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
    if (r.left() < area.left()) r.moveLeft(area.left());
    if (r.top() < area.top()) r.moveTop(area.top());
    return r;
  }

  static QPoint ScreenCentre() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s != nullptr ? s->availableGeometry().center() : QPoint();
  }

  // Centres the window on a point, kept on the screen the point is on.
  void Place(Native& n, QPoint centre) {
    QRect r(QPoint(0, 0), Outer(n).size());
    r.moveCenter(centre);
    Sync s(n);
    MoveFrame(n, OnScreen(r, centre).topLeft());
  }

  void FirstShow(Native& n) {
    pu::Window& w = *n.model;
    const auto ws = pu::ThreadWindows();
    const bool above = !ws.empty() && ws.front() != &w;
    Native* below = nullptr;
    for (pu::Window* other : ws) {
      if (other == &w) break;
      if (Native* o = Find(other->Id()); o != nullptr && o->shown && o->top->isVisible()) below = o;
    }
    QWidget* owner = below != nullptr ? below->top : nullptr;
    if (!n.adopted && !n.positioned) {
      Place(n, below != nullptr ? Outer(*below).center() : ScreenCentre());
      n.positioned = true;
    }
    if (above && n.modal != Native::Modal::Ended) n.top->setWindowModality(Qt::ApplicationModal);
    n.top->createWinId();
    if (owner != nullptr && n.top->windowHandle() != nullptr) {
      owner->createWinId();
      n.top->windowHandle()->setTransientParent(owner->windowHandle());
    }
    n.shown = true;
    n.restoring = (StateOf(n.top) & Qt::WindowMinimized) && !w.Iconized();
    {
      Sync s(n);
      if (n.adopted) {
        n.top->show();
      } else {
        n.top->setWindowState((n.top->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized)) |
                              WantedState(w));
        n.top->show();
      }
    }
    // The designed size: what the filled-in contents need once shown (a
    // window sized by its contents takes it whole, not capped at a part of
    // the screen, and stays centred where it was placed).
    if (!n.adopted && w.DesignedMinimum()) {
      Sync s(n);
      const QPoint centre = Outer(n).center();
      // Layouts learn their contents' sizes through posted requests.
      QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
      const QSize designed = n.top->sizeHint().expandedTo(n.top->minimumSizeHint());
      n.top->setMinimumSize(designed);
      if (n.autoSize && n.top->size() != designed) {
        n.top->resize(designed);
        Place(n, centre);
      }
    }
    if (above || ws.size() == 1) {
      n.top->raise();
      n.top->activateWindow();
    }
    // From now on only Raise activates it.
    n.top->setAttribute(Qt::WA_ShowWithoutActivating);
    if (QWidget* f = ControlOf(n, w.Focus())) {
      Sync s(n);
      f->setFocus(Qt::OtherFocusReason);
    }
    WriteBack(n);
  }

  void Flush() {
    for (pu::Window* w : pu::ThreadWindows()) {
      Native* n = Find(w->Id());
      if (n == nullptr) continue;
      if (n->statePending) {
        n->statePending = false;
        ApplyState(*n);
      }
      // Framed by the window manager since it was fitted (X tells no move
      // when it frames a window): fitted again, with its frame.
      NoteFrame(*n);
      if (!n->unshownTexts.empty() && !Away(*n)) RenderUnshown(*n);
      if (n->autoSize && n->shown && !n->adopted && n->top->isVisible() && FrameMargins(n->top) != n->fitFrame)
        n->layoutDirty = true;
      if (n->layoutDirty) Relayout(*n);
      if (!n->shown && !w->Hidden()) FirstShow(*n);
      if (n->showPending) ShowPending(*n);
      if (n->modal == Native::Modal::Ended && n->top->isModal() && n->top->isVisible()) {
        // Its loop has ended but it stays open: it no longer holds others.
        Sync s(*n);
        n->top->hide();
        n->top->setWindowModality(Qt::NonModal);
        n->top->show();
      }
    }
  }

  // --- input that comes while the model is behind

  // The operator's input waits while the running window has events queued
  // that its loop has not handled yet (a click it has not acted on, a key
  // typed during a scan): once the loop has caught up, it goes on in order,
  // routed by the toolkit as it would have been then (keys to the control
  // that has the focus then). Delivered at once, keys typed after a click
  // on "Vlož" would reach the button, not the editor that the click opens.
  // Input is held where the window system delivers it, at the native
  // window, before the toolkit routes it to a widget (or to its parents);
  // a button's access key, which the toolkit turns into a shortcut before
  // that, is held at the button.
  static bool InputEvent(QEvent::Type t) {
    switch (t) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
        return true;
      default:
        return false;
    }
  }
  static bool KeyEvent(QEvent::Type t) { return t == QEvent::KeyPress || t == QEvent::KeyRelease; }

  // The running window has queued events its loop will take before it waits.
  static bool ModelBehind() {
    pu::Window* target = pu::TargetWindow();
    if (target == nullptr) return false;
    const auto ws = pu::ThreadWindows();
    return pu::ThisThreadQueue().HasFor(target->Id(), !ws.empty() && ws.front() == target);
  }

  // The window of ours, not adopted, whose native window this is.
  const Native* NativeOfWindow(const QObject* obj) const {
    for (const auto& [id, n] : natives_)
      if (!n->adopted && n->top->windowHandle() == obj) return n.get();
    return nullptr;
  }

  bool Hold(QObject* obj, QEvent* e) {
    if (replaying_) return false;
    if (e->type() == QEvent::Shortcut) {
      if (!obj->isWidgetType() || qobject_cast<QAbstractButton*>(obj) == nullptr) return false;
      const Native* n = FindTop(static_cast<QWidget*>(obj)->window());
      if (n == nullptr || n->adopted) return false;
    } else {
      if (!InputEvent(e->type()) || !obj->isWindowType() || NativeOfWindow(obj) == nullptr) return false;
      // A move alone waits only behind input that waits (a drag keeps its
      // order).
      if (held_.empty() && e->type() == QEvent::MouseMove) return false;
    }
    if (held_.empty() && !ModelBehind()) return false;
    held_.push_back({obj, std::unique_ptr<QEvent>(e->clone())});
    return true;
  }

  // Delivers the input that waits, until what it does queues events again.
  void Replay() {
    while (!held_.empty() && !ModelBehind()) {
      Held h = std::move(held_.front());
      held_.pop_front();
      QObject* to = h.receiver;
      if (KeyEvent(h.event->type())) {
        // To the window that has the focus now, when it is one of ours.
        if (QWindow* f = QGuiApplication::focusWindow(); f != nullptr && NativeOfWindow(f) != nullptr) to = f;
      }
      if (to == nullptr) continue;
      if (h.event->type() == QEvent::Shortcut) {
        // A button's access key clicks it at once, not a moment later as
        // the toolkit's animated click would: what follows waits for it.
        auto* b = static_cast<QAbstractButton*>(to);
        if (b->isEnabled() && b->isVisible()) b->click();
        continue;
      }
      replaying_ = true;
      QCoreApplication::sendEvent(to, h.event.get());
      replaying_ = false;
    }
  }

  void Watch(pu::EventQueue& q) {
    if (watched_ == &q) return;
    const int fd = q.WakeFd();
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [fd] {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t r = ::read(fd, &count, sizeof count);
    });
    watched_ = &q;
  }

  std::map<pu::WindowId, std::unique_ptr<Native>> natives_;
  std::unordered_map<const QWidget*, pu::WindowId> byTop_;
  std::map<pu::WindowId, QWidget*> adopt_;
  std::unique_ptr<Filter> filter_;
  QMetaObject::Connection focus_;
  QTimer deadline_;
  std::unique_ptr<QSocketNotifier> notifier_;
  pu::EventQueue* watched_ = nullptr;
  bool waitCursor_ = false;
  struct Held {
    QPointer<QObject> receiver;
    std::unique_ptr<QEvent> event;
  };
  std::deque<Held> held_;  // input that waits for the model, oldest first
  bool replaying_ = false;
  QMargins lastFrame_;  // the frame the window manager last gave a window
};

// --- QtView

QtView::QtView() : d_(std::make_unique<Impl>()) {
  pu::SetForegroundHandler([this](pu::Window& w) { Raise(w, true); });
}

QtView::~QtView() { pu::SetForegroundHandler(nullptr); }

void QtView::CreateNative(pu::Window& w) {
  pu::NativeOpened(w);
  d_->Create(w);
}

void QtView::DestroyNative(pu::Window& w) {
  pu::NativeClosed(w);
  auto it = d_->natives_.find(w.Id());
  if (it == d_->natives_.end()) return;
  std::unique_ptr<Impl::Native> n = std::move(it->second);
  d_->natives_.erase(it);
  d_->byTop_.erase(n->top);
  if (n->adopted) {
    n->top->hide();
    n->top->setWindowModality(Qt::NonModal);
  } else {
    delete n->top;
  }
}

void QtView::Render(pu::Window& w, int control, pu::Property p) {
  if (Impl::Native* n = d_->Find(w.Id())) {
    if (control == 0) {
      d_->RenderWindow(*n, p);
    } else if (pu::Control* c = w.At(control); c != nullptr && !n->adopted) {
      d_->RenderControl(*n, *c, p);
    }
  }
  if (control == 0) pu::NativeChanged(w, p);
}

void QtView::ShowModal(pu::Window& w, bool modal) {
  Impl::Native* n = d_->Find(w.Id());
  if (n == nullptr) return;
  n->modal = modal ? Impl::Native::Modal::Wanted : Impl::Native::Modal::Ended;
  if (modal && n->shown && !n->top->isModal()) {
    Impl::Sync s(*n);
    const bool visible = n->top->isVisible();
    n->top->hide();
    n->top->setWindowModality(Qt::ApplicationModal);
    if (visible) n->top->show();
  }
}

void QtView::Pump(pu::EventQueue& q, uint64_t seen, std::optional<pu::TimePoint> deadline) {
  pu::DispatchNativeMessages();
  d_->Watch(q);
  d_->Flush();
  d_->Replay();
  // Nothing to wait for: the input that is there is still dispatched.
  const bool due = deadline && *deadline <= GetClock().Now();
  if (q.Generation() != seen || due) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return;
  }
  if (deadline) {
    const auto left = *deadline - GetClock().Now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    d_->deadline_.start(static_cast<int>(std::min<int64_t>(ms, 24 * 3600 * 1000)));
  }
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  d_->deadline_.stop();
}

std::optional<pu::ScreenRect> QtView::VirtualScreen() const {
  QScreen* s = QGuiApplication::primaryScreen();
  if (s == nullptr) return std::nullopt;
  const QRect r = s->virtualGeometry();
  return pu::ScreenRect{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

std::optional<pu::ScreenRect> QtView::WorkArea() const {
  QScreen* s = QGuiApplication::primaryScreen();
  if (s == nullptr) return std::nullopt;
  const QRect r = s->availableGeometry();
  return pu::ScreenRect{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

std::optional<pu::ScreenRect> QtView::OuterRect(const pu::Window& w) const {
  const Impl::Native* n = d_->Find(w.Id());
  if (n == nullptr) return std::nullopt;
  QRect r;
  if (Impl::Normal(n->top) || n->adopted) {
    r = d_->Outer(*n);
  } else {
    const pu::Placement& p = w.GetPlacement();
    const QMargins m = !n->frame.isNull() ? n->frame : d_->Frame(*n);
    r = QRect(p.x, p.y, p.width + m.left() + m.right(), p.height + m.top() + m.bottom());
  }
  return pu::ScreenRect{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

bool QtView::Raise(pu::Window& w, bool activate) {
  Flush();
  Impl::Native* n = d_->Find(w.Id());
  if (n == nullptr) return false;
  n->top->raise();
  if (activate) n->top->activateWindow();
  return true;
}

QWidget* QtView::NativeOf(const pu::Window& w) const {
  const Impl::Native* n = d_->Find(w.Id());
  return n != nullptr ? n->top : nullptr;
}

QWidget* QtView::ControlWidget(const pu::Window& w, std::string_view label) const {
  const Impl::Native* n = d_->Find(w.Id());
  return n != nullptr ? d_->ControlOf(*n, w.Number(label)) : nullptr;
}

void QtView::AdoptNative(const pu::Window& w, QWidget* widget) { d_->adopt_[w.Id()] = widget; }

void QtView::Flush() { d_->Flush(); }

int KeyCodeOf(int key, unsigned modifiers) {
  int code = 0;
  if (key >= Qt::Key_A && key <= Qt::Key_Z)
    code = 0x41 + (key - Qt::Key_A);
  else if (key >= Qt::Key_0 && key <= Qt::Key_9)
    code = 0x30 + (key - Qt::Key_0);
  else if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
    code = 0x70 + (key - Qt::Key_F1);
  else
    switch (key) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        code = 0x0D;
        break;
      case Qt::Key_Escape:
        code = 0x1B;
        break;
      case Qt::Key_Tab:
        code = 0x09;
        break;
      case Qt::Key_Backspace:
        code = 0x08;
        break;
      case Qt::Key_Space:
        code = 0x20;
        break;
      case Qt::Key_PageUp:
        code = 0x21;
        break;
      case Qt::Key_PageDown:
        code = 0x22;
        break;
      case Qt::Key_End:
        code = 0x23;
        break;
      case Qt::Key_Home:
        code = 0x24;
        break;
      case Qt::Key_Left:
        code = 0x25;
        break;
      case Qt::Key_Up:
        code = 0x26;
        break;
      case Qt::Key_Right:
        code = 0x27;
        break;
      case Qt::Key_Down:
        code = 0x28;
        break;
      case Qt::Key_Insert:
        code = 0x2D;
        break;
      case Qt::Key_Delete:
        code = 0x2E;
        break;
      default:
        return 0;
    }
  if (modifiers & Qt::ShiftModifier) code += 0x100;
  if (modifiers & Qt::ControlModifier) code += 0x200;
  if (modifiers & Qt::AltModifier) code += 0x400;
  return code;
}

}  // namespace platform::qt
