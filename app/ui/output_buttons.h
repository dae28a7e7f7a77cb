// What the task editor and the two output dialogs share: the 32 output
// buttons named from OUTPUTS, preset decoding (the preset drop list is
// app/ui/preset_list.h), and the file fields that must hold a path exactly.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/window.h"

namespace app::ui {

inline constexpr int kOutputButtons = 32;
inline constexpr int32_t kChosenColor = 0x0000FF;  // red, 00BBGGRRh

// Output flags [1..40]; element 0 is unused.
using OutputFlags = std::array<uint8_t, 41>;
// Output names [1..40] (STRING(10)); element 0 is unused.
using OutputNameList = std::array<std::string, 41>;

// The refusal of a file that cannot be played, or of a path a file field
// cannot hold exactly.
inline constexpr const char* kFileRefusedText =
    "Nelze otevřít zvolený soubor !\r\n\r\nZadaný soubor neexistuje nebo je poškozený.\r\n"
    "Zadejte soubor znovu a poté akci opakujte.";
inline constexpr const char* kNoOutputQuestion =
    "Není specifikován žádný výstup !\r\n\r\nNespecifikovali jste výstupy, do kterých chcete přehrát hlášení.\r\n\r\n"
    "Chcete opravdu pokračovat?";

// True when a path fits a STRING(255) field exactly: at most 255
// characters, each of them one Windows-1250 holds. A path that does not
// would be stored cut or with "?", naming another file.
bool PathFitsField(std::string_view path);
// A text variable of a path entry: a text that does not fit (above) is
// refused (the entry gives Rejected) and the variable keeps its value.
platform::ui::Binding PathBinding(std::string& var);
// A time entry's variable: a time entered as 00:00:00 is held as no time (0).
platform::ui::Binding TimeBinding(int32_t& var);
// True for a regular file that opens for reading (a folder, a device, a
// missing file or a record file this program has open is not one).
bool PlayableFile(std::string_view path);

// Adds ?GROUP_1ST "Aktivní výstupy" (a grid of 8 columns) with ?BUTTON_1 ..
// ?BUTTON_32 on `parent`, then ?STRING8 "Předdefinované:" and the drop list
// ?PRE:NAZEV.
void AddOutputArea(platform::ui::Window& w, platform::ui::Control* parent);
std::string DialogOutputButton(int k);  // "?BUTTON_k"
// The output k of a button's control number, 0 when it is no output button.
int OutputOfControl(const platform::ui::Window& w, int control);

// Reads up to 40 names from the thread's OUTPUTS in OUT:KeyCislo order into
// names[1..]; the first failed read ends the reading, the rest stay blank.
void ReadOutputNames(OutputNameList& names);
// Button k gets name k and is disabled when the name is blank.
void ShowOutputNames(platform::ui::Window& w, const OutputNameList& names);
// The label of output k's button in a window: the dialogs' DialogOutputButton
// unless given (the main window's own).
using OutputButtonLabel = std::string (*)(int k);
// Colours button k when flags[k] is 1 (only 1 counts as chosen) and gives
// the others their normal colour.
void ShowChosenOutputs(platform::ui::Window& w, const OutputFlags& flags,
                       OutputButtonLabel button = DialogOutputButton);
// The toggle of output k: chosen (1) becomes not chosen, anything else 1.
void ToggleOutput(platform::ui::Window& w, OutputFlags& flags, int k, OutputButtonLabel button = DialogOutputButton);
// True when an element of flags[1..40] is 1.
bool AnyOutputChosen(const OutputFlags& flags);

// The preset in the thread's PRESET buffer: nibbles[1..10] from its mask
// (HexToBin of the second, then the first digit of each field); every flag
// cleared; outputs 1..32 chosen where the bit is "1" and the output has a
// name, coloured so, the others uncoloured; then the PRESET buffer cleared.
void ApplyPreset(platform::ui::Window& w, OutputFlags& flags, const OutputNameList& names,
                 std::array<std::string, 11>& nibbles, OutputButtonLabel button = DialogOutputButton);

}  // namespace app::ui
