// The task editor: the form in which the operator adds a task, changes one
// or looks at one, over the calling thread's TASKS record buffer.
//
// Before Editace_uloh the caller sets platform::ui::FormRequest (1 insert or
// copy, 2 change, 3 delete, 6 view) and prepares the thread's TASKS buffer:
// a new record (Controller::PrimeRecord; for a copy with the copied task's
// fields kept and CopyTaskPending 1), or, for a change, the task read so
// that it is the current record of the thread's TASKS instance. After it,
// FormResponse is 1 when the task was added (TAS:ID from the
// auto-numbering) or rewritten, and nothing in TASKS was written otherwise.
// A change that changed nothing writes nothing and still gives 1. A view
// always gives 2; a delete is refused before the loop (platform/recordform.h).
//
// The form (procedure kTaskFormProcedure, icon "clock.ico", Tahoma 8,
// background "back_blue_big.jpg"; resizable with its designed size as the
// minimum; position and size kept in the INI section "Editace_uloh") edits
// most fields directly. The weekday mask, the count and the output mask are
// shown as seven day checks (?PONDELI .. ?NEDELE), the radio group
// ?OPAKOVANI (endless / a number of times) with the count ?OPAKOVANI_POCET,
// and the 32 output buttons; a change loads them from the record, ?OK
// encodes them into it (TAS:VYSTUP5_5 always "00", an endless repeat as the
// count 255, which also clears TAS:AUTOMATICKY_SMAZAT). ?OK first checks,
// in order: an empty required entry (date, time, file, length; 00:00:00 is
// no time) takes the focus without a message; no output chosen asks
// "Potvrzení operace" ("Zpět" or the question closed without a button keep
// the form open); a count above 0 without a day is refused with "Chybí
// potřebné údaje !". Only then does the record form complete.
//
// ?BUTTON_PLAY plays TAS:PREHRAT (syslib::PlayWaveAsync) and switches
// nothing. ?CALENDAR picks TAS:DATUM_SPUSTENI (service::SelectDate); a
// cancelled calendar keeps it. ?LOOKUPFILE picks TAS:PREHRAT ("Vyberte
// soubor", "Soubory WAV", "*.wav"); a cancel empties it; a path the field
// cannot hold exactly is refused with the file box and the field keeps its
// value (a typed one is refused by the entry). Ctrl+H copies a field of the
// last task saved on this thread (TaskHistoryRecord) into the focused entry.
//
// The caller's thread must have its record files set up
// (app::data::ThreadSetUpDataFiles).
#pragma once

#include <cstdint>

#include "app/data/records.h"

namespace app::ui {

inline constexpr const char* kTaskFormProcedure = "Editace_uloh";

// 1 marks an insert that is a copy; set by the caller, cleared when the form
// ends.
extern uint8_t CopyTaskPending;

// The thread's copy of the last task the form saved (blank at first).
data::TasksRecord& TaskHistoryRecord();

// Binds the preset drop list's own view to the thread's PRESET file; called
// when a thread starts (the form calls it when the thread has not).
void InitTaskFormPresetView();

void Editace_uloh();

}  // namespace app::ui
