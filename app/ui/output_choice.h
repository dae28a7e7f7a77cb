// The two output dialogs: Volba_vystupu, the file, length and outputs of an
// operator's playback, and Volba_vystupu2, the outputs of a live
// announcement. Both are modal windows of the window model on the calling
// thread (the caller's windows, timer ticks included, wait) and work
// directly on the shared state they are given: a cancelled dialog leaves
// the operator's edits in it. Neither plays anything or talks to a device.
//
// Both windows: caption "Specifikace výstupů", icon "sound_none.ico",
// Tahoma 8, background "back_blue_big.jpg"; the controls follow the window's
// size and the designed size is the minimum; the position and size are kept
// in the INI section of the procedure's name (the placement store,
// platform/window.h). The 32 output buttons carry the names of the first 32
// records of OUTPUTS in OUT:KeyCislo order (a blank name disables its
// button), a chosen output's button is red (0000FFh); only the value 1 in
// OutputSelected counts as chosen. A preset chosen in ?PRE:NAZEV replaces the
// whole choice (outputs 33..40 cleared) with its named outputs and leaves the
// drop list showing no preset.
//
// The caller's thread must have its record files set up
// (app::data::ThreadSetUpDataFiles).
#pragma once

#include <cstdint>
#include <string>

#include "app/engine/scheduler.h"
#include "app/ui/output_buttons.h"
#include "platform/stdtime.h"

namespace app::ui {

// The shared state of the operator's playback that the dialogs read and
// write (owned by the window that runs the engine).
struct PlaybackShared {
  OutputFlags& OutputSelected;              // [1..40], 1 chosen
  std::string& GLO_FILE2PLAY;               // STRING(255)
  platform::StdTime& GLO_FILELENGHT;        // a time of day read as a duration
  uint8_t& ManualPlaybackRequested;
};
// The playback state of the engine that the calling window hosts.
PlaybackShared EnginePlayback(engine::SchedulerState& s);

// The refusals of a playback without a length and of a live announcement
// without outputs (also the main window's).
inline constexpr const char* kLengthMissingText =
    "Chybí potřebné údaje !\r\n\r\nNezadali jste délku přehrávaného souboru.\r\nZadejte délku soubor a poté "
    "akci opakujte.";
inline constexpr const char* kNoOutputsText =
    "Není specifikován žádný výstup !\r\n\r\nNespecifikovali jste výstupy, do kterých chcete přehrát "
    "hlášení.\r\n\r\nBez zvolených výstupů nelze spustit hlášení.";

inline constexpr const char* kPlaybackProcedure = "Volba_vystupu";
inline constexpr const char* kLiveProcedure = "Volba_vystupu2";

// Returns 1 after a confirmed ?OK, else 0. ?OK checks in order, each
// failure showing its box and keeping the dialog open:
//   GLO_FILE2PLAY (without trailing blanks) names no regular file that
//   opens for reading: aMessage "Chyba", kFileRefusedText;
//   GLO_FILELENGHT is not above 0: aMessage "Chyba", "Chybí potřebné údaje !...";
//   no output chosen: cMessage "Potvrzení operace"; "Zpět" or the question
//   closed without a button keeps the dialog open, "OK" goes on;
// then ManualPlaybackRequested := 1. The picker ("Vyberte soubor",
// "soubory WAV", "*.WAV") sets GLO_FILE2PLAY to the chosen path or empties
// it when cancelled; a path the field cannot hold exactly is refused with
// the kFileRefusedText box and the field keeps its value (a typed one is
// refused by the entry). The focus starts in ?GLO:FILE2PLAY.
uint8_t Volba_vystupu(const PlaybackShared& shared);

// Returns 1 after ?OK with at least one output chosen, else 0. ?OK without
// one shows aMessage "Žádné výstupy" and keeps the dialog open. Touches only
// OutputSelected. The focus starts on ?BUTTON_1.
uint8_t Volba_vystupu2(const PlaybackShared& shared);

}  // namespace app::ui
