// The live announcement's progress window, "Probíhá hlášení": while it is
// open it follows the console once a second, tells the operator what to do
// and drives the ON-AIR lamp; closing it ends the announcement.
//
// Its caller has switched the chosen zones and the amplifier on before, and
// switches everything off after it returns; this window touches neither.
//
// Every timer event (100 hundredths), after the standard handling: the
// console is read (ReadConsoleState, on every call) and queried on the
// window's own console state, then by the state read:
//   3  ?TEXTIK "Probíhá hlášení...", lamp 501 (ON-AIR on);
//   2  ?TEXTIK "Po zapnutí tlačítka ON-AIR začne hlášení.", lamp 500;
//   1  ?TEXTIK "Vypněte tlačítko ON-AIR a zapněte tlačítko MIC.", lamp 500;
//   0  the first time only: ?TEXTIK "Zapněte hlavní tlačítko MIC.", no lamp;
//   4..9 nothing.
// A lamp command drains the answer of the query before it, so the next
// read finds nothing and gives 0: the window alternates between the real
// state and 0 once a second.
//
// ?OKBUTTON "&Konec hlášení" closes the window as the close box does (and
// Esc). However the window closes, a close-down included, lamp 500 goes out
// before its place is saved. The window keeps
// its place in the INI section "Info_window" and is fitted onto the visible
// desktop when it opens.
//
// It runs its own loop on the calling thread: the window below it (the
// engine's host) gets no timer events while it is open, so the scheduler and
// the live-announcement state machine wait.
#pragma once

#include "app/engine/protocol.h"

namespace app::ui {

inline constexpr const char* kInfoWindowProcedure = "Info_window";
inline constexpr int kInfoWindowTimer = 100;  // hundredths

// Opens the window and returns when it is closed. protocol: the hosting
// window's (its port); the window keeps a console state of its own, blank
// at every opening.
void Info_window(engine::Protocol& protocol);

}  // namespace app::ui
