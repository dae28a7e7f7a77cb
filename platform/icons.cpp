#include "platform/icons.h"

#include <memory>
#include <mutex>

namespace platform::ui {
namespace {

struct Icon {
  std::string name;
  std::vector<unsigned char> owned;  // a file's bytes
  std::span<const unsigned char> bytes;
};

struct Store {
  std::mutex mutex;
  std::vector<std::unique_ptr<Icon>> icons;  // handle = index + 1
};

Store& S() {
  static auto* s = new Store;  // outlives every thread
  return *s;
}

HICON Add(std::unique_ptr<Icon> icon) {
  Store& s = S();
  std::lock_guard lock(s.mutex);
  s.icons.push_back(std::move(icon));
  return static_cast<HICON>(s.icons.size());
}

}  // namespace

HICON KeepIcon(std::string name, std::vector<unsigned char> bytes) {
  auto icon = std::make_unique<Icon>();
  icon->name = std::move(name);
  icon->owned = std::move(bytes);
  icon->bytes = icon->owned;
  return Add(std::move(icon));
}

HICON KeepCarriedIcon(std::string name, std::span<const unsigned char> bytes) {
  auto icon = std::make_unique<Icon>();
  icon->name = std::move(name);
  icon->bytes = bytes;
  return Add(std::move(icon));
}

std::span<const unsigned char> IconBytes(HICON icon) {
  Store& s = S();
  std::lock_guard lock(s.mutex);
  if (icon == 0 || icon > s.icons.size()) return {};
  return s.icons[icon - 1]->bytes;
}

std::string IconName(HICON icon) {
  Store& s = S();
  std::lock_guard lock(s.mutex);
  if (icon == 0 || icon > s.icons.size()) return {};
  return s.icons[icon - 1]->name;
}

}  // namespace platform::ui
