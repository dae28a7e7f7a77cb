#include "platform/qt/trayshell.h"

#include <QBuffer>
#include <QByteArray>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QTimer>

#include "platform/icons.h"
#include "platform/text.h"

namespace platform::qt {

namespace {

namespace pu = platform::ui;

QIcon IconOf(pu::HICON handle) {
  const auto bytes = pu::IconBytes(handle);
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  QIcon icon;
  for (int i = 0; i < reader.imageCount(); ++i) {
    if (!reader.jumpToImage(i)) break;
    const QImage image = reader.read();
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

QString TipOf(const std::string& tip) {
  const std::string_view t = platform::text::TrimRight(tip);
  return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

}  // namespace

TrayShell::TrayShell(std::function<bool()> trayAvailable)
    : available_(trayAvailable ? std::move(trayAvailable) : [] { return QSystemTrayIcon::isSystemTrayAvailable(); }),
      hostThere_(available_()),
      timer_(std::make_unique<QTimer>()) {
  QObject::connect(timer_.get(), &QTimer::timeout, this, [this] { CheckTrayHost(); });
  timer_->start(1000);
  pu::SetThreadNotifyShell(this);
}

TrayShell::~TrayShell() {
  if (pu::ThreadNotifyShell() == this) pu::SetThreadNotifyShell(nullptr);
}

void TrayShell::Apply(Held& h, const pu::NOTIFYICONDATA& data) {
  if ((data.uFlags & pu::NIF_ICON) != 0) h.icon->setIcon(IconOf(data.hIcon));
  if ((data.uFlags & pu::NIF_TIP) != 0) h.icon->setToolTip(TipOf(data.szTip));
  if ((data.uFlags & pu::NIF_MESSAGE) != 0) h.callback = data.uCallbackMessage;
}

bool TrayShell::NotifyIcon(uint32_t message, const pu::NOTIFYICONDATA& data) {
  const Key key{data.hWnd, data.uID};
  auto it = icons_.find(key);
  switch (message) {
    case pu::NIM_ADD: {
      if (it != icons_.end() || !pu::IsWindow(data.hWnd) || !available_()) return false;
      Held& h = icons_[key];
      h.icon = std::make_unique<QSystemTrayIcon>();
      Apply(h, data);
      QObject::connect(h.icon.get(), &QSystemTrayIcon::activated, this,
                       [this, key](QSystemTrayIcon::ActivationReason reason) {
                         auto held = icons_.find(key);
                         if (held == icons_.end() || held->second.callback == 0) return;
                         const uint32_t callback = held->second.callback;
                         for (pu::LPARAM m : MouseMessages(reason)) pu::SendMessage(key.first, callback, key.second, m);
                       });
      h.icon->show();
      return true;
    }
    case pu::NIM_MODIFY:
      if (it == icons_.end()) return false;
      Apply(it->second, data);
      return true;
    case pu::NIM_DELETE:
      if (it == icons_.end()) return false;
      it->second.icon->hide();
      icons_.erase(it);
      return true;
    case pu::NIM_SETVERSION:
      return it != icons_.end();
    default:
      return false;
  }
}

QSystemTrayIcon* TrayShell::Icon(pu::HWND window, uint32_t id) const {
  auto it = icons_.find({window, id});
  return it != icons_.end() ? it->second.icon.get() : nullptr;
}

std::vector<pu::LPARAM> TrayShell::MouseMessages(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      return {pu::WM_LBUTTONDOWN, pu::WM_LBUTTONUP};
    case QSystemTrayIcon::DoubleClick:
      return {pu::WM_LBUTTONDBLCLK};
    case QSystemTrayIcon::Context:
      return {pu::WM_RBUTTONDOWN, pu::WM_RBUTTONUP};
    default:
      return {};
  }
}

void TrayShell::CheckTrayHost() {
  const bool there = available_();
  const bool appeared = there && !hostThere_;
  hostThere_ = there;
  if (!appeared) return;
  const pu::UINT message = pu::RegisterWindowMessage("TaskbarCreated");
  for (const pu::TopWindowInfo& w : pu::TopWindows()) pu::PostMessage(w.handle, message, 0, 0);
}

}  // namespace platform::qt
