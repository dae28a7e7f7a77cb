#include "platform/qt/listview.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QWheelEvent>
#include <algorithm>
#include <map>
#include <vector>
#include <memory>
#include <qdrawutil.h>
#include <string>

#include "platform/picture.h"
#include "platform/qt/images.h"
#include "platform/stdtime.h"
#include "platform/window.h"

namespace platform::qt {

namespace {

namespace pu = platform::ui;

constexpr int kMouseRight = 0x02;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QColor ColorOf(int32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

// Dialog units: a quarter of the average width of the letters, an eighth of
// the character height.
int AverageLetter(const QWidget* w) {
  static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return std::max(1, (w->fontMetrics().horizontalAdvance(letters) / 26 + 1) / 2);
}
int DluX(const QWidget* w, int dlu) { return dlu * AverageLetter(w) / 4; }
int DluY(const QWidget* w, int dlu) { return dlu * w->fontMetrics().height() / 8; }
int ToDluX(const QWidget* w, int px) { return px * 4 / AverageLetter(w); }

// What a date or time column needs to show its widest text whole in the
// list's font (wider than designed where the font is wider than the one
// the design was made in): the text, the cell's margins, the offset. 0 for
// other columns, which keep the design's width.
int FixedFormWidth(const QWidget* w, const pu::ListColumn& c) {
  const pu::Picture picture = pu::Picture::Parse(c.picture);
  std::vector<int64_t> samples;
  if (picture.kind == pu::Picture::Kind::Date)
    for (int month = 1; month <= 12; ++month) samples.push_back(DateFromYmd(2088, month, 28));
  else if (picture.kind == pu::Picture::Kind::Time)
    for (int hour : {8, 18, 20, 23}) samples.push_back(TimeFromHms(hour, 48, 58));
  if (samples.empty()) return 0;
  int text = 0;
  for (int64_t v : samples)
    text = std::max(text, w->fontMetrics().horizontalAdvance(Q(pu::FormatPicture(picture, pu::Value{v}))));
  const int margin = w->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
  return text + 2 * margin + DluX(w, c.offset) + 1;
}
// What a column needs to show its header text whole (0 without one).
int HeaderWidth(const QWidget* w, const pu::ListColumn& c) {
  if (c.header.empty()) return 0;
  const int margin = w->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, w);
  return w->fontMetrics().horizontalAdvance(Q(c.header)) + 2 * margin + DluX(w, c.headerOffset) + 2;
}
// What a column with an icon needs to show the icon and its widest number
// beside it (the "A" column's icon and "1" ran into "Čas"): 0 for others.
int IconColumnWidth(const QWidget* w, const pu::ListColumn& c, int iconSide) {
  if (!c.icon) return 0;
  const pu::Picture picture = pu::Picture::Parse(c.picture);
  const int digits = picture.kind == pu::Picture::Kind::Number && picture.width > 0 ? picture.width : 1;
  const int margin = w->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
  return iconSide + 2 * margin + w->fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0'))) +
         DluX(w, c.offset) + 4;
}
// A column's width in pixels.
int ColumnPixels(const QWidget* w, const pu::ListColumn& c, int iconSide = 16) {
  return std::max({DluX(w, c.width), FixedFormWidth(w, c), HeaderWidth(w, c), IconColumnWidth(w, c, iconSide)});
}

Qt::Alignment AlignOf(char justify) {
  switch (justify) {
    case 'R':
    case 'D': return Qt::AlignRight;
    case 'C': return Qt::AlignHCenter;
    default: return Qt::AlignLeft;
  }
}

int MouseKey(Qt::MouseButton button, Qt::KeyboardModifiers m) {
  int key = button == Qt::RightButton ? kMouseRight : 0x01;
  if (m & Qt::ShiftModifier) key += 0x100;
  if (m & Qt::ControlModifier) key += 0x200;
  return key;
}

// The operator's input reaches a window only while it is open and on top.
bool TakesInput(const pu::RecordList& list) {
  const pu::Window& w = list.GetWindow();
  return w.IsOpen() && !w.Held();
}

// The page the list holds, a row per row, a column per column; a new row
// being edited in place after it.
class PageModel final : public QAbstractTableModel {
 public:
  PageModel(pu::RecordList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {}

  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : shown_; }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : list_.Columns(); }

  QVariant data(const QModelIndex& index, int role) const override {
    const int row = index.row() + 1, col = index.column() + 1;
    if (!index.isValid() || row > list_.Rows() || col > list_.Columns()) return {};
    const pu::CellColors colors = list_.Colors(row, col);
    switch (role) {
      case Qt::DisplayRole: return Q(list_.Cell(row, col));
      case Qt::TextAlignmentRole: return QVariant::fromValue(AlignOf(list_.Column(col).justify) | Qt::AlignVCenter);
      case Qt::ForegroundRole: return colors.fg != pu::kNormalColor ? QVariant(QBrush(ColorOf(colors.fg))) : QVariant();
      case Qt::BackgroundRole: return colors.bg != pu::kNormalColor ? QVariant(QBrush(ColorOf(colors.bg))) : QVariant();
      case Qt::DecorationRole: {
        const int icon = list_.Icon(row, col);
        // As an icon: drawn at the view's icon size, whatever the picture's.
        return icon > 0 ? QVariant(QIcon(Icon(icon))) : QVariant();
      }
      default: return {};
    }
  }

  QVariant headerData(int section, Qt::Orientation o, int role) const override {
    if (o != Qt::Horizontal || role != Qt::DisplayRole || section >= list_.Columns()) return {};
    return Q(list_.Column(section + 1).header);
  }

  // Tells the views what changed: rows come and go, every cell and header
  // may have changed.
  void Sync() {
    const int now = list_.Rows() + (list_.EditingNewRow() ? 1 : 0);
    if (now > shown_) {
      beginInsertRows({}, shown_, now - 1);
      shown_ = now;
      endInsertRows();
    } else if (now < shown_) {
      beginRemoveRows({}, now, shown_ - 1);
      shown_ = now;
      endRemoveRows();
    }
    if (shown_ > 0 && list_.Columns() > 0) emit dataChanged(index(0, 0), index(shown_ - 1, list_.Columns() - 1));
    if (list_.Columns() > 0) emit headerDataChanged(Qt::Horizontal, 0, list_.Columns() - 1);
  }

 private:
  QPixmap Icon(int n) const {
    const auto& files = list_.Icons();
    if (n < 1 || n > static_cast<int>(files.size())) return {};
    const std::string& file = files[static_cast<std::size_t>(n - 1)];
    auto it = icons_.find(file);
    if (it == icons_.end()) it = icons_.emplace(file, QPixmap::fromImage(LoadImage(file))).first;
    return it->second;
  }

  pu::RecordList& list_;
  int shown_ = 0;
  mutable std::map<std::string, QPixmap> icons_;
};

// Each cell's own colours, also when selected.
class CellDelegate final : public QStyledItemDelegate {
 public:
  CellDelegate(pu::RecordList& list, QObject* parent) : QStyledItemDelegate(parent), list_(list) {}
  int rowHeight = 0;

  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem o(option);
    if (index.column() < list_.Columns() && o.widget != nullptr) {
      // The column's offset from its side.
      const pu::ListColumn& c = list_.Column(index.column() + 1);
      const int shift = DluX(o.widget, c.offset);
      if (AlignOf(c.justify) & Qt::AlignLeft) o.rect.setLeft(o.rect.left() + shift);
      if (AlignOf(c.justify) & Qt::AlignRight) o.rect.setRight(o.rect.right() - shift);
    }
    if (o.state & QStyle::State_Selected) {
      const pu::CellColors c = list_.Colors(index.row() + 1, index.column() + 1);
      if (c.selectedFg != pu::kNormalColor) o.palette.setColor(QPalette::HighlightedText, ColorOf(c.selectedFg));
      if (c.selectedBg != pu::kNormalColor) o.palette.setColor(QPalette::Highlight, ColorOf(c.selectedBg));
    }
    QStyledItemDelegate::paint(p, o, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    if (rowHeight > 0) s.setHeight(rowHeight);
    return s;
  }

 private:
  pu::RecordList& list_;
};

// The header: presses go to the list; a border press also resizes.
class ListHeader final : public QHeaderView {
 public:
  ListHeader(pu::RecordList& list, QWidget* parent) : QHeaderView(Qt::Horizontal, parent), list_(list) {
    setSectionsClickable(false);
    setSortIndicatorShown(false);
    setSectionsMovable(false);
    setHighlightSections(false);
    setStretchLastSection(false);
  }

  // The pressed section's rectangle in the header.
  QRect SectionRect(int logical) const {
    return QRect(sectionViewportPosition(logical), 0, sectionSize(logical), height());
  }

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton || !TakesInput(list_)) return;
    const QPoint pos = e->position().toPoint();
    const int logical = logicalIndexAt(pos);
    const bool border = OnBorder(pos.x());
    list_.MouseDown(MouseKey(e->button(), e->modifiers()), 0, logical + 1, border);
    if (border) {
      QHeaderView::mousePressEvent(e);  // the resize
      return;
    }
    pressed_ = logical;
    inside_ = true;
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override { mousePressEvent(e); }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (pressed_ < 0) {
      QHeaderView::mouseMoveEvent(e);
      return;
    }
    const bool inside = SectionRect(pressed_).contains(e->position().toPoint());
    if (!TakesInput(list_)) return;
    if (inside != inside_)
      list_.RegionMouse(inside ? pu::EVENT::MouseIn : pu::EVENT::MouseOut, inside);
    else
      list_.RegionMouse(pu::EVENT::MouseMove, inside);
    inside_ = inside;
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (pressed_ < 0) {
      QHeaderView::mouseReleaseEvent(e);
      Resized();
      return;
    }
    const bool inside = SectionRect(pressed_).contains(e->position().toPoint());
    pressed_ = -1;
    if (TakesInput(list_)) list_.RegionMouse(pu::EVENT::MouseUp, inside);
  }

  void paintSection(QPainter* p, const QRect& rect, int logical) const override {
    if (!rect.isValid() || logical >= list_.Columns()) return;
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logical;
    opt.state |= QStyle::State_Enabled | QStyle::State_Raised;
    style()->drawControl(QStyle::CE_HeaderSection, &opt, p, this);
    const pu::ListColumn& c = list_.Column(logical + 1);
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    QRect text = rect.adjusted(margin, 0, -margin, 0);
    const int shift = DluX(this, c.headerOffset);
    const Qt::Alignment a = AlignOf(c.headerJustify);
    if (a & Qt::AlignLeft)
      text.setLeft(text.left() + shift);
    else if (a & Qt::AlignRight)
      text.setRight(text.right() - shift);
    else
      text.translate(shift, 0);
    p->save();
    p->setClipRect(rect);
    p->setPen(palette().color(QPalette::ButtonText));
    p->drawText(text, a | Qt::AlignVCenter, Q(c.header));
    if (list_.RegionShown() && list_.RegionColumn() == logical + 1 && list_.RegionBevelOuter() != 0)
      qDrawShadePanel(p, rect, palette(), true, 2);
    p->restore();
  }

 private:
  // On the border of a column the operator may resize: the section's right
  // edge, or its left edge when the section before may be resized.
  bool OnBorder(int x) const {
    const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    const int logical = logicalIndexAt(x);
    if (logical < 0) return false;
    const int left = sectionViewportPosition(logical), right = left + sectionSize(logical);
    if (right - x <= grip && sectionResizeMode(logical) == Interactive) return true;
    const int visual = visualIndex(logical);
    if (x - left < grip && visual > 0) return sectionResizeMode(logicalIndex(visual - 1)) == Interactive;
    return false;
  }
  void Resized() {
    for (int i = 0; i < count() && i < list_.Columns(); ++i) list_.SetColumnWidth(i + 1, ToDluX(this, sectionSize(i)));
  }

  pu::RecordList& list_;
  int pressed_ = -1;
  bool inside_ = false;
};

// The rows: presses, keys and the wheel go to the list.
class ListTable final : public QTreeView {
 public:
  ListTable(pu::RecordList& list, QWidget* parent) : QTreeView(parent), list_(list) {
    model_ = new PageModel(list, this);
    delegate_ = new CellDelegate(list, this);
    setHeader(new ListHeader(list, this));
    setModel(model_);
    setItemDelegate(delegate_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The list's frame goes round the rows and the scroll bar together.
    setFrameShape(QFrame::NoFrame);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setIconSize(QSize(16, 16));
    editor_ = new QLineEdit(viewport());
    editor_->hide();
    editor_->installEventFilter(&keys_);
    keys_.table = this;
    QObject::connect(editor_, &QLineEdit::textEdited, editor_, [this](const QString& t) {
      if (list_.Editing()) list_.EditType(list_.EditColumn(), t.toStdString());
    });
  }

  PageModel* Model() const { return model_; }
  // What the columns take once sized; -1 before.
  int ColumnsWidth() const { return sized_ ? header()->length() : -1; }

  void Render() {
    const int lineHeight = list_.GetControl().LineHeight();
    delegate_->rowHeight = lineHeight > 0 ? DluY(this, lineHeight) : 0;
    // Icons fit in the row.
    const int side = delegate_->rowHeight > 4 ? std::min(16, delegate_->rowHeight - 2) : 16;
    if (iconSize() != QSize(side, side)) setIconSize(QSize(side, side));
    auto* h = static_cast<ListHeader*>(header());
    if (!sized_ && list_.Columns() > 0) {
      sized_ = true;
      for (int c = 1; c <= list_.Columns(); ++c) {
        h->resizeSection(c - 1, ColumnPixels(this, list_.Column(c), side));
        h->setSectionResizeMode(c - 1, list_.Column(c).resizable ? QHeaderView::Interactive : QHeaderView::Fixed);
      }
      if (parentWidget() != nullptr) parentWidget()->updateGeometry();  // the list box's width follows
    }
    model_->Sync();
    const int sel = list_.Selected();
    if (sel > 0)
      selectionModel()->setCurrentIndex(model_->index(sel - 1, 0),
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    else
      selectionModel()->clearSelection();
    h->viewport()->update();
    viewport()->update();
    RenderEdit();
    Fit();
  }

  // The rows that fit go to the list as its page.
  void Fit() {
    const int rowHeight = std::max(1, delegate_->rowHeight > 0 ? delegate_->rowHeight : sizeHintForRow(0));
    const int fits = std::max(1, viewport()->height() / std::max(rowHeight, fontMetrics().height()));
    if (fits != list_.Items() && TakesInput(list_)) list_.SetItems(fits);
  }

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    setFocus(Qt::MouseFocusReason);
    if (!TakesInput(list_)) return;
    const QPoint pos = e->position().toPoint();
    const QModelIndex at = indexAt(pos);
    if (!at.isValid() || at.row() >= list_.Rows()) return;
    const int column = header()->logicalIndexAt(pos.x()) + 1;
    list_.MouseDown(MouseKey(e->button(), e->modifiers()), at.row() + 1, column, false);
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    const QModelIndex at = indexAt(e->position().toPoint());
    if (e->button() == Qt::LeftButton && at.isValid() && at.row() < list_.Rows() && TakesInput(list_))
      list_.Activate(at.row() + 1);
  }
  void mouseMoveEvent(QMouseEvent*) override {}
  void mouseReleaseEvent(QMouseEvent*) override {}
  void wheelEvent(QWheelEvent* e) override {
    if (!TakesInput(list_)) return;
    const int steps = e->angleDelta().y() / 40;
    for (int i = 0; i < std::abs(steps); ++i) list_.Scroll(steps > 0 ? pu::EVENT::ScrollUp : pu::EVENT::ScrollDown);
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (!TakesInput(list_)) return;
    switch (e->key()) {
      case Qt::Key_Up: list_.Scroll(pu::EVENT::ScrollUp); return;
      case Qt::Key_Down: list_.Scroll(pu::EVENT::ScrollDown); return;
      case Qt::Key_PageUp: list_.Scroll(pu::EVENT::PageUp); return;
      case Qt::Key_PageDown: list_.Scroll(pu::EVENT::PageDown); return;
      case Qt::Key_Home: list_.Scroll(pu::EVENT::ScrollTop); return;
      case Qt::Key_End: list_.Scroll(pu::EVENT::ScrollBottom); return;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (list_.Selected() > 0) list_.Activate(list_.Selected());
        return;
      case Qt::Key_Backspace: list_.TypeLocator("\b"); return;
      default: break;
    }
    const QString t = e->text();
    if (!t.isEmpty() && t.at(0).isPrint() && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      list_.TypeLocator(t.toStdString());
      return;
    }
    QTreeView::keyPressEvent(e);
  }
  void contextMenuEvent(QContextMenuEvent* e) override {
    if (!TakesInput(list_) || list_.PopupItems().empty()) return;
    const QModelIndex at = indexAt(e->pos());
    if (at.isValid() && at.row() < list_.Rows() && at.row() + 1 != list_.Selected())
      list_.MouseDown(kMouseRight, at.row() + 1, at.column() + 1, false);
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto& items = list_.PopupItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
      QAction* a = menu->addAction(Q(items[i].text));
      a->setEnabled(items[i].enabled);
      const int item = static_cast<int>(i) + 1;
      QObject::connect(a, &QAction::triggered, menu, [this, item] {
        if (TakesInput(list_)) list_.ChoosePopup(item);
      });
    }
    menu->popup(e->globalPos());  // no loop of its own
  }
  void resizeEvent(QResizeEvent* e) override {
    QTreeView::resizeEvent(e);
    Fit();
  }

 private:
  // The in-place editor's keys.
  struct EditKeys final : QObject {
    ListTable* table = nullptr;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() != QEvent::KeyPress) return false;
      const auto* k = static_cast<QKeyEvent*>(e);
      int key = 0;
      switch (k->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: key = 0x0D; break;
        case Qt::Key_Escape: key = 0x1B; break;
        case Qt::Key_Tab: key = 0x09; break;
        case Qt::Key_Backtab: key = 0x109; break;
        default: return false;
      }
      if (TakesInput(table->list_)) table->list_.EditKey(key);
      return true;
    }
  };

  void RenderEdit() {
    if (!list_.Editing()) {
      if (editor_->isVisible()) {
        editor_->hide();
        setFocus(Qt::OtherFocusReason);
      }
      return;
    }
    const int col = list_.EditColumn();
    const QRect cell = visualRect(model_->index(list_.EditRow() - 1, col - 1));
    editor_->setGeometry(cell);
    const QString text = Q(list_.EditText(col));
    if (editor_->text() != text || editColumn_ != col) editor_->setText(text);
    editColumn_ = col;
    editor_->show();
    editor_->setFocus(Qt::OtherFocusReason);
  }

  pu::RecordList& list_;
  PageModel* model_;
  CellDelegate* delegate_;
  QLineEdit* editor_;
  EditKeys keys_;
  int editColumn_ = 0;
  bool sized_ = false;
};

// The list and its scroll bar.
class ListBox final : public QFrame {
 public:
  ListBox(pu::RecordList& list, QWidget* host) : QFrame(host), list_(list) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    table_ = new ListTable(list, this);
    bar_ = new QScrollBar(Qt::Vertical, this);
    row->addWidget(table_, 1);
    row->addWidget(bar_);
    setFocusProxy(table_);
    QObject::connect(bar_, &QScrollBar::actionTriggered, bar_, [this](int action) {
      if (!TakesInput(list_)) return;
      switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: list_.Scroll(pu::EVENT::ScrollDown); break;
        case QAbstractSlider::SliderSingleStepSub: list_.Scroll(pu::EVENT::ScrollUp); break;
        case QAbstractSlider::SliderPageStepAdd: list_.Scroll(pu::EVENT::PageDown); break;
        case QAbstractSlider::SliderPageStepSub: list_.Scroll(pu::EVENT::PageUp); break;
        case QAbstractSlider::SliderToMinimum: list_.Scroll(pu::EVENT::ScrollTop); break;
        case QAbstractSlider::SliderToMaximum: list_.Scroll(pu::EVENT::ScrollBottom); break;
        default: break;
      }
    });
    QObject::connect(bar_, &QScrollBar::sliderReleased, bar_, [this] {
      if (TakesInput(list_)) list_.DragThumb(bar_->sliderPosition());
    });
  }

  void Render() {
    table_->Render();
    const int64_t beyond = std::max<int64_t>(0, list_.ViewRecords() - list_.Rows());
    bar_->setRange(0, static_cast<int>(std::min<int64_t>(beyond, 0x7fffffff)));
    bar_->setPageStep(std::max(1, list_.Rows()));
    if (!bar_->isSliderDown()) bar_->setValue(static_cast<int>(std::min<int64_t>(list_.RecordsBefore(), 0x7fffffff)));
    bar_->setEnabled(beyond > 0);
  }

  // Wide enough for every column, the scroll bar and the frame: a list
  // whose columns fit shows no horizontal scroll bar.
  QSize sizeHint() const override {
    int width = bar_->sizeHint().width() + 2 * frameWidth();
    if (const int columns = table_->ColumnsWidth(); columns >= 0)
      width += columns;
    else
      for (int c = 1; c <= list_.Columns(); ++c) width += ColumnPixels(this, list_.Column(c), table_->iconSize().width());
    return {width, 12 * fontMetrics().height()};
  }

 private:
  pu::RecordList& list_;
  ListTable* table_;
  QScrollBar* bar_;
};

// A drop list: a combo box whose popup shows the columns.
class DropBox final : public QComboBox {
 public:
  DropBox(pu::RecordList& list, QWidget* host) : QComboBox(host), list_(list) {
    model_ = new PageModel(list, this);
    setModel(model_);
    auto* view = new QTreeView;
    view->setHeaderHidden(true);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setAllColumnsShowFocus(true);
    setView(view);
    setModelColumn(0);
    QObject::connect(this, &QComboBox::activated, this, [this](int index) {
      if (TakesInput(list_)) list_.GetWindow().Choose(list_.GetControl().Label(), index + 1);
    });
  }

  void Render() {
    model_->Sync();
    auto* v = static_cast<QTreeView*>(view());
    for (int c = 1; c <= list_.Columns(); ++c) v->setColumnWidth(c - 1, ColumnPixels(this, list_.Column(c)));
    const int sel = list_.GetControl().Choice();
    if (currentIndex() != sel - 1) setCurrentIndex(sel - 1);
  }

 private:
  pu::RecordList& list_;
  PageModel* model_;
};

}  // namespace

pu::RecordList* RecordListOf(const pu::Control& c) {
  if (c.Kind() != pu::ControlKind::List && c.Kind() != pu::ControlKind::DropList) return nullptr;
  return dynamic_cast<pu::RecordList*>(c.Source());
}

QWidget* MakeRecordList(QWidget* host, pu::Control& c) {
  pu::RecordList* list = RecordListOf(c);
  if (list == nullptr) return nullptr;
  if (c.Kind() == pu::ControlKind::DropList) return new DropBox(*list, host);
  return new ListBox(*list, host);
}

void RenderRecordList(QWidget* widget, pu::Control& c, pu::Property) {
  if (RecordListOf(c) == nullptr) return;
  if (auto* box = dynamic_cast<ListBox*>(widget))
    box->Render();
  else if (auto* drop = dynamic_cast<DropBox*>(widget))
    drop->Render();
}

}  // namespace platform::qt
