#include "app/ui/output_buttons.h"

#include <fcntl.h>
#include <unistd.h>

#include "app/data/masks.h"
#include "app/data/records.h"
#include "platform/locale_texts.h"
#include "platform/recordfile.h"
#include "platform/stdtime.h"
#include "platform/text.h"
#include "syslib/sound.h"

namespace app::ui {

namespace pu = platform::ui;

bool PathFitsField(std::string_view path) {
  return platform::text::CharCount(path) <= 255 && platform::text::FitsCp1250(path);
}

pu::Binding PathBinding(std::string& var) {
  return pu::Binding([&var] { return pu::Value(var); },
                     [&var](const pu::Value& v) {
                       std::string s = pu::ValueText(v);
                       if (!PathFitsField(s)) return false;
                       var = std::move(s);
                       return true;
                     });
}

pu::Binding TimeBinding(int32_t& var) {
  return pu::Binding([&var] { return pu::Value(int64_t{var}); },
                     [&var](const pu::Value& v) {
                       const int64_t n = pu::ValueNumber(v);
                       if (n < 0 || n > platform::kLastTime) return false;
                       var = n == platform::kMidnight ? 0 : static_cast<int32_t>(n);
                       return true;
                     });
}

bool PlayableFile(std::string_view path) {
  if ((syslib::FileExistsByAttributes(path) & syslib::kAttrArchive) == 0) return false;
  // Opening and closing a record file of ours would drop our locks on it.
  if (platform::rec::HeldOpenHere(std::string(path))) return false;
  const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::string DialogOutputButton(int k) { return "?BUTTON_" + std::to_string(k); }

void AddOutputArea(pu::Window& w, pu::Control* parent) {
  pu::Control& group = w.Add(pu::ControlKind::Group, "?GROUP_1ST", "Aktivní výstupy", parent).SetColumns(8);
  for (int k = 1; k <= kOutputButtons; ++k) w.Add(pu::ControlKind::Button, DialogOutputButton(k), {}, &group);
  w.Add(pu::ControlKind::Prompt, "?STRING8", "Předdefinované:", parent);
  w.Add(pu::ControlKind::DropList, "?PRE:NAZEV", {}, parent);
}

int OutputOfControl(const pu::Window& w, int control) {
  const int first = w.Number("?BUTTON_1");
  return first != 0 && control >= first && control < first + kOutputButtons ? control - first + 1 : 0;
}

void ReadOutputNames(OutputNameList& names) {
  if (!data::HasFiles()) return;
  auto& f = data::Files().OUTPUTS;
  if (f.SetKeyOrder(data::OUT_KeyCislo) != 0) return;
  for (int i = 1; i <= 40; ++i) {
    if (f.Next() != 0) break;
    names[static_cast<std::size_t>(i)] = f.rec.NAZEV;
  }
}

namespace {
bool Blank(std::string_view s) { return platform::text::TrimRight(s).empty(); }
}  // namespace

void ShowOutputNames(pu::Window& w, const OutputNameList& names) {
  for (int k = 1; k <= kOutputButtons; ++k) {
    const std::string& name = names[static_cast<std::size_t>(k)];
    pu::Control& b = w[DialogOutputButton(k)];
    b.SetText(name);
    if (Blank(name)) b.Disable();
  }
}

void ShowChosenOutputs(pu::Window& w, const OutputFlags& flags, OutputButtonLabel button) {
  for (int k = 1; k <= kOutputButtons; ++k)
    w[button(k)].SetColor(flags[static_cast<std::size_t>(k)] == 1 ? kChosenColor : pu::kNormalColor);
}

void ToggleOutput(pu::Window& w, OutputFlags& flags, int k, OutputButtonLabel button) {
  uint8_t& f = flags[static_cast<std::size_t>(k)];
  if (f == 1) {
    w[button(k)].SetColor(pu::kNormalColor);
    f = 0;
  } else {
    w[button(k)].SetColor(kChosenColor);
    f = 1;
  }
}

bool AnyOutputChosen(const OutputFlags& flags) {
  for (int k = 1; k <= 40; ++k)
    if (flags[static_cast<std::size_t>(k)] == 1) return true;
  return false;
}

void ApplyPreset(pu::Window& w, OutputFlags& flags, const OutputNameList& names, std::array<std::string, 11>& nibbles,
                 OutputButtonLabel button) {
  auto& preset = data::Files().PRESET;
  const std::string* fields[5] = {&preset.rec.VYSTUP1_5, &preset.rec.VYSTUP2_5, &preset.rec.VYSTUP3_5,
                                  &preset.rec.VYSTUP4_5, &preset.rec.VYSTUP5_5};
  for (int g = 1; g <= 5; ++g) {
    const std::string& m = *fields[g - 1];
    nibbles[static_cast<std::size_t>(2 * g - 1)] = data::HexToBin(m.size() >= 2 ? m.substr(1, 1) : std::string(" "));
    nibbles[static_cast<std::size_t>(2 * g)] = data::HexToBin(m.size() >= 1 ? m.substr(0, 1) : std::string(" "));
  }
  flags.fill(0);
  for (int k = 1; k <= kOutputButtons; ++k) {
    const std::string& nibble = nibbles[static_cast<std::size_t>((k - 1) / 4 + 1)];
    const std::size_t bit = static_cast<std::size_t>((k - 1) % 4);
    const bool on = bit < nibble.size() && nibble[bit] == '1' && !Blank(names[static_cast<std::size_t>(k)]);
    w[button(k)].SetColor(on ? kChosenColor : pu::kNormalColor);
    if (on) flags[static_cast<std::size_t>(k)] = 1;
  }
  preset.ClearBuffer();
  w["?PRE:NAZEV"].SetChoice(0);
}

}  // namespace app::ui
