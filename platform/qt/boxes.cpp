#include "platform/qt/boxes.h"

#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QMimeDatabase>
#include <QTreeView>
#include <QLineEdit>
#include <array>
#include <vector>

#include "platform/locale_texts.h"
#include "platform/qt/qtview.h"
#include "platform/window.h"

namespace platform::qt {

namespace {

namespace pu = platform::ui;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

constexpr int kEnter = 0x0D, kEscape = 0x1B;

struct ButtonName {
  unsigned flag;
  const char* label;
};
constexpr std::array<ButtonName, 8> kButtons{{{BoxOk, "?OK"},
                                              {BoxYes, "?YES"},
                                              {BoxNo, "?NO"},
                                              {BoxAbort, "?ABORT"},
                                              {BoxRetry, "?RETRY"},
                                              {BoxIgnore, "?IGNORE"},
                                              {BoxCancel, "?CANCEL"},
                                              {BoxHelp, "?HELP"}}};

const char* IconFile(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Hand:
      return "stop.ico";
    case BoxIcon::Information:
      return "inform.ico";
    case BoxIcon::Exclamation:
    case BoxIcon::Question:
      return "warning2.ico";
    case BoxIcon::None:
      break;
  }
  return nullptr;
}

class PlainBox final : public pu::WindowController {
 public:
  PlainBox(pu::Window& w, unsigned buttons) : WindowController(w), buttons_(buttons) {}

  unsigned Answer = 0;

  int OnControlAccepted() override {
    const int a = window().Accepted();
    for (const ButtonName& b : kButtons)
      if (a != 0 && a == window().Number(b.label)) {
        Answer = b.flag;
        window().EndLoop();
      }
    return WindowController::OnControlAccepted();
  }

  int OnWindowEvent() override {
    const int e = window().EventNumber();
    if (e == pu::EVENT::AlertKey && window().Keycode() == kEnter) {
      const pu::Control* focused = window().At(window().Focus());
      window().Press(focused != nullptr && focused->Kind() == pu::ControlKind::Button ? focused->Label()
                                                                                      : FirstButton());
      return pu::kConsumed;
    }
    if (e == pu::EVENT::AlertKey && window().Keycode() == kEscape) {
      // The refusing answer, as a box nobody sees gives it.
      const unsigned refusing = HeadlessAnswer(buttons_);
      for (const ButtonName& b : kButtons)
        if (b.flag == refusing) window().Press(b.label);
      return pu::kConsumed;
    }
    if (e == pu::EVENT::CloseWindow && Answer == 0) {
      const unsigned a = (buttons_ & BoxCancel)                              ? unsigned{BoxCancel}
                         : (buttons_ & BoxEscapeNo) && (buttons_ & BoxNo) ? unsigned{BoxNo}
                         : buttons_ == BoxOk                               ? unsigned{BoxOk}
                                                                           : 0u;
      if (a == 0) return pu::kConsumed;  // the box has to be answered
      Answer = a;
    }
    return WindowController::OnWindowEvent();
  }

 private:
  std::string_view FirstButton() const {
    for (const ButtonName& b : kButtons)
      if (buttons_ & b.flag) return b.label;
    return "?OK";
  }
  unsigned buttons_;
};

void WriteLine(std::string line) {
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  line += '\n';
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// The sizes and dates of the file list in the program's forms (the default
// locale's): the toolkit's file model gives them in the machine's.
class LocalForms final : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override {
    constexpr int kSize = 1, kDate = 3;
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role == Qt::DisplayRole && files != nullptr && (index.column() == kSize || index.column() == kDate)) {
      const QFileInfo info = files->fileInfo(mapToSource(index));
      if (index.column() == kDate) return QLocale().toString(info.lastModified(), QLocale::ShortFormat);
      if (info.isFile()) return QLocale().formattedDataSize(info.size());
    }
    return QIdentityProxyModel::data(index, role);
  }
};

// Icons and types from a file's kind and name alone. The toolkit's own look
// into each file's contents opens and closes the program's record files,
// which would drop the locks its connections hold on them.
class NameOnlyIcons final : public QFileIconProvider {
 public:
  QIcon icon(const QFileInfo& info) const override {
    return QFileIconProvider::icon(info.isDir() ? QFileIconProvider::Folder : QFileIconProvider::File);
  }
  QString type(const QFileInfo& info) const override {
    return QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment();
  }
};

// Takes existing files only and never opens a box of its own: a name that
// names no file leaves the dialog open.
class OpenDialog final : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;
  void accept() override {
    const QStringList files = selectedFiles();
    if (files.size() == 1) {
      const QFileInfo info(files.front());
      if (info.isFile() || info.isDir()) {
        QFileDialog::accept();  // a folder is entered, a file taken
        return;
      }
    }
    QApplication::beep();
  }
};

class FileDialogController final : public pu::WindowController {
 public:
  using WindowController::WindowController;
};

}  // namespace

unsigned ShowMessageBox(QtView& view, std::string_view text, std::string_view caption, BoxIcon icon,
                        unsigned buttons, unsigned defaultButton) {
  if (buttons == 0) buttons = BoxOk;
  if (&pu::ThreadView() != &view) {
    WriteLine(std::string(caption) + ": " + std::string(text));
    return HeadlessAnswer(buttons);
  }
  pu::Window w("MessageBox");
  w.SetText(std::string(caption));
  if (const char* file = IconFile(icon)) w.Add(pu::ControlKind::Image, "?ICON").SetImage(file);
  w.Add(pu::ControlKind::Text, "?TEXT", std::string(text));
  const auto& captions = locale::ButtonCaptions();
  int first = 0;
  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    if (!(buttons & kButtons[i].flag)) continue;
    pu::Control& b = w.Add(pu::ControlKind::Button, kButtons[i].label, i < captions.size() ? captions[i] : "");
    if (first == 0 || kButtons[i].flag == defaultButton) first = b.Number();
  }
  w.SetFirstField(first);
  w.Alert(kEnter);
  w.Alert(kEscape);
  PlainBox box(w, buttons);
  box.Run();
  return box.Answer != 0 ? box.Answer : HeadlessAnswer(buttons);
}

std::string ShowOpenFileDialog(QtView& view, const FileDialogRequest& r) {
  if (&pu::ThreadView() != &view) return {};
  OpenDialog dialog(nullptr, Q(r.title), QDir::currentPath());
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  NameOnlyIcons icons;
  dialog.setIconProvider(&icons);
  dialog.setOption(QFileDialog::ReadOnly);  // no renaming, deleting or new folders
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setProxyModel(new LocalForms(&dialog));
  dialog.resize(720, 460);  // the list's four columns whole
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilter(Q(r.filterName) + QStringLiteral(" (") + Q(r.filterPattern) + QStringLiteral(")"));
  if (!r.initialFile.empty()) dialog.selectFile(Q(r.initialFile));
  // The size, type and date columns as wide as what they show, once the
  // folder has been read.
  auto* files = dialog.findChild<QFileSystemModel*>();
  auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  if (files != nullptr && list != nullptr)
    QObject::connect(files, &QFileSystemModel::directoryLoaded, list, [list] {
      for (int column = 1; column <= 3; ++column) list->resizeColumnToContents(column);
    });
  // Context menus run loops of their own, which would hold every window.
  for (QWidget* child : dialog.findChildren<QWidget*>()) child->setContextMenuPolicy(Qt::NoContextMenu);

  pu::Window w("FileDialog");
  w.SetText(r.title);
  view.AdoptNative(w, &dialog);
  std::string chosen;
  QObject::connect(&dialog, &QDialog::finished, &dialog, [&](int result) {
    if (result == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      chosen = dialog.selectedFiles().front().toStdString();
    w.Post(pu::EVENT::CloseWindow);
  });
  FileDialogController c(w);
  c.Run();
  return chosen;
}

}  // namespace platform::qt
