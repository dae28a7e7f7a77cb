// An EngineView for tests: keeps every write the engine makes to the window,
// in order, as (kind, label, value): "text" with the text, "hidden" and
// "enabled" with "1"/"0", "color" with the number, "refresh".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/engine/engine_view.h"

namespace testsupport {

struct ViewWrite {
  std::string kind, label, value;
  bool operator==(const ViewWrite&) const = default;
};

class RecordingView : public app::engine::EngineView {
 public:
  std::vector<ViewWrite> writes;

  void SetText(std::string_view label, std::string_view text) override { Add("text", label, std::string(text)); }
  void SetHidden(std::string_view label, bool hidden) override { Add("hidden", label, hidden ? "1" : "0"); }
  void SetEnabled(std::string_view label, bool enabled) override { Add("enabled", label, enabled ? "1" : "0"); }
  void SetFontColor(std::string_view label, int32_t color) override { Add("color", label, std::to_string(color)); }
  void RefreshTaskList() override { Add("refresh", "", ""); }

  // The values written to one label in one kind, in order.
  std::vector<std::string> Values(std::string_view kind, std::string_view label) const {
    std::vector<std::string> v;
    for (const auto& w : writes)
      if (w.kind == kind && w.label == label) v.push_back(w.value);
    return v;
  }
  // The last value written there ("" when none).
  std::string Last(std::string_view kind, std::string_view label) const {
    const auto v = Values(kind, label);
    return v.empty() ? std::string() : v.back();
  }
  size_t Refreshes() const { return Values("refresh", "").size(); }

 private:
  void Add(const char* kind, std::string_view label, std::string value) {
    writes.push_back({kind, std::string(label), std::move(value)});
  }
};

}  // namespace testsupport
