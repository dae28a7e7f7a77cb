// What the operator types that a field cannot take, over the task editor,
// the playback dialog and the live output choice, for the tests through the
// window model and through the Qt view.
//
// Each row is played the same way: the operator types into the field and
// presses ?OK in the same breath; then looks at what the field shows, where
// the focus is, whether the window beeped and what box came; then presses
// ?OK again; a form still open after that is cancelled (the editor's
// question answered "Ano"). The task editor works on a stored task (kTask)
// or a new one, the playback dialog on kPlaybackFile, 00:00:10 and output 1,
// the live output choice on no output chosen.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/ui/output_buttons.h"
#include "app/ui/output_choice.h"
#include "app/ui/task_form.h"
#include "platform/picture.h"
#include "platform/recordfile.h"
#include "platform/stdtime.h"
#include "tests/app/form_operator.h"

namespace testsupport {

enum class Form { Change, Insert, Playback, Live };

// What the second ?OK does.
enum class Outcome {
  StoresShown,    // the editor stores the field as it shows it and closes
  StoresNothing,  // the editor stays open, the focus on `okFocus`
  PlaysShown,     // the dialog ends with 1: the caller plays what the fields show
  Refused,        // the dialog stays open after the box `box` again
};

struct RefusedEntry {
  const char* what;
  Form form;
  const char* field;   // typed into; nullptr: only ?OK is pressed
  std::string typed;
  std::string shown;   // what the field shows after the typing (and holds)
  const char* focus;   // where the focus is after it
  bool beep;           // the field refused the text
  std::string box;     // the box the first ?OK showed ("" none)
  Outcome outcome;
  const char* okFocus = nullptr;  // StoresNothing: where the second ?OK put the focus
};

inline const char* FormProcedure(Form f) {
  switch (f) {
    case Form::Change:
    case Form::Insert:
      return "Editace_uloh";
    case Form::Playback:
      return app::ui::kPlaybackProcedure;
    case Form::Live:
      return app::ui::kLiveProcedure;
  }
  return "";
}

// The stored task the editor's change rows open: Monday, three times,
// output 1.
inline app::data::TasksRecord RefusedEntriesTask(const std::string& wav) {
  app::data::TasksRecord t;
  t.AKTIVNI = 1;
  t.NAZEV = "Týdenní";
  t.PREHRAT = wav;
  t.DATUM_SPUSTENI = platform::DateFromYmd(2024, 11, 1);
  t.CAS_SPUSTENI = platform::TimeFromHms(8, 0, 0);
  t.DELKA_SOUBORU = platform::TimeFromHms(0, 0, 30);
  t.OPAKOVANI = "02";
  t.OPAKOVANI_POCET = 3;
  t.VYSTUP1_5 = "08";
  t.VYSTUP2_5 = t.VYSTUP3_5 = t.VYSTUP4_5 = t.VYSTUP5_5 = "00";
  return t;
}

// The stored task's field as its control shows it.
inline std::string StoredField(const app::data::TasksRecord& t, const std::string& label) {
  namespace pu = platform::ui;
  if (label == "?OPAKOVANI_POCET") return std::to_string(t.OPAKOVANI_POCET);
  if (label == "?TAS:DELKA_SOUBORU") return pu::FormatPicture("@t4", pu::Value(int64_t{t.DELKA_SOUBORU}));
  if (label == "?TAS:CAS_SPUSTENI") return pu::FormatPicture("@t4", pu::Value(int64_t{t.CAS_SPUSTENI}));
  if (label == "?TAS:DATUM_SPUSTENI") return pu::FormatPicture("@d17", pu::Value(int64_t{t.DATUM_SPUSTENI}));
  if (label == "?TAS:PREHRAT") return t.PREHRAT;
  if (label == "?TAS:NAZEV") return t.NAZEV;
  return "?";
}

// The playback dialog's field as its control shows it.
inline std::string PlaybackField(const std::string& file, platform::StdTime length, const std::string& label) {
  namespace pu = platform::ui;
  if (label == "?GLO:FILELENGHT") return pu::FormatPicture("@t4", pu::Value(int64_t{length}));
  return file;
}

// wav: a playable file; folder: a folder; the rows' paths are under them.
inline std::vector<RefusedEntry> RefusedEntries(const std::string& wav, const std::string& folder) {
  using app::ui::kFileRefusedText;
  using app::ui::kNoOutputsText;
  const std::string tooLong = "/tmp/" + std::string(300, 'x') + ".wav";  // 309 characters
  const std::string outside = "/tmp/hlášení ☺.wav";  // the smile has no Windows-1250 byte
  const std::string missing = folder + "/nikde.wav";
  return {
      // The task editor, changing the stored task.
      {"count above the range", Form::Change, "?OPAKOVANI_POCET", "255", "254", "?OPAKOVANI_POCET", true, "",
       Outcome::StoresShown},
      {"count below the range", Form::Change, "?OPAKOVANI_POCET", "-1", "0", "?OPAKOVANI_POCET", true, "",
       Outcome::StoresShown},
      {"count not a number", Form::Change, "?OPAKOVANI_POCET", "abc", "3", "?OPAKOVANI_POCET", true, "",
       Outcome::StoresShown},
      {"length not a time (90)", Form::Change, "?TAS:DELKA_SOUBORU", "90", "00:00:30", "?TAS:DELKA_SOUBORU", true,
       "", Outcome::StoresShown},
      {"length not a time (99:99:99)", Form::Change, "?TAS:DELKA_SOUBORU", "99:99:99", "00:00:30",
       "?TAS:DELKA_SOUBORU", true, "", Outcome::StoresShown},
      {"start time not a time", Form::Change, "?TAS:CAS_SPUSTENI", "abc", "08:00:00", "?TAS:CAS_SPUSTENI", true, "",
       Outcome::StoresShown},
      {"start date that does not exist", Form::Change, "?TAS:DATUM_SPUSTENI", "31.02.2025", "01.11.2024",
       "?TAS:DATUM_SPUSTENI", true, "", Outcome::StoresShown},
      {"path too long", Form::Change, "?TAS:PREHRAT", tooLong, wav, "?TAS:PREHRAT", true, "", Outcome::StoresShown},
      {"path outside Windows-1250", Form::Change, "?TAS:PREHRAT", outside, wav, "?TAS:PREHRAT", true, "",
       Outcome::StoresShown},
      // The task editor, a new task: the kept path is none, so the
      // required check takes the focus.
      {"new task, path too long", Form::Insert, "?TAS:PREHRAT", tooLong, "", "?TAS:PREHRAT", true, "",
       Outcome::StoresNothing, "?TAS:PREHRAT"},
      // The playback dialog.
      {"playback length 90", Form::Playback, "?GLO:FILELENGHT", "90", "00:00:10", "?GLO:FILELENGHT", true, "",
       Outcome::PlaysShown},
      {"playback length not a time", Form::Playback, "?GLO:FILELENGHT", "abc", "00:00:10", "?GLO:FILELENGHT", true,
       "", Outcome::PlaysShown},
      {"playback length 99:99:99", Form::Playback, "?GLO:FILELENGHT", "99:99:99", "00:00:10", "?GLO:FILELENGHT",
       true, "", Outcome::PlaysShown},
      {"playback path too long", Form::Playback, "?GLO:FILE2PLAY", tooLong, wav, "?GLO:FILE2PLAY", true, "",
       Outcome::PlaysShown},
      {"playback path outside Windows-1250", Form::Playback, "?GLO:FILE2PLAY", outside, wav, "?GLO:FILE2PLAY", true,
       "", Outcome::PlaysShown},
      // A path the field holds that names no file to play: taken, and
      // refused by ?OK with its box.
      {"playback of a folder", Form::Playback, "?GLO:FILE2PLAY", folder, folder, "?OK", false, kFileRefusedText,
       Outcome::Refused},
      {"playback of a missing file", Form::Playback, "?GLO:FILE2PLAY", missing, missing, "?OK", false,
       kFileRefusedText, Outcome::Refused},
      // The live output choice has no entry: ?OK without an output.
      {"live announcement without outputs", Form::Live, nullptr, "", "", "?OK", false, kNoOutputsText,
       Outcome::Refused},
  };
}

// What the operator sees at a moment of a row.
struct RefusedEntrySeen {
  std::string shown, held, focus;  // the field shows, its variable holds (in its picture), the focus
  int beeps = 0;
  std::vector<std::string> boxes;
  bool open = false;
};

// How a row ended.
struct RefusedEntryEnd {
  RefusedEntrySeen afterTyping, afterOk;
  uint8_t result = 0;  // the editor's response, the dialog's result
  uint8_t manual = 0;  // ManualPlaybackRequested
  std::string file;
  platform::StdTime length = 0;
};

// Runs the row's form on the thread's record files (TASKS open), the
// operator's steps being the view's; fills in what it returned and left.
inline void RunRefusedEntryForm(const RefusedEntry& row, const std::string& wav, RefusedEntryEnd& end) {
  namespace pu = platform::ui;
  {
    platform::rec::File<app::data::TasksRecord> f(app::data::TasksDecl());
    ASSERT_EQ(f.Open(), 0);
    f.SetFileOrder();
    while (f.Next() == 0) ASSERT_EQ(f.Delete(), 0);
    if (row.form == Form::Change) {
      f.rec = RefusedEntriesTask(wav);
      ASSERT_EQ(f.PrimeAutoNumber(), 0);
      ASSERT_EQ(f.Add(), 0);
      ReadTask(f.rec.ID);
    }
  }
  app::ui::OutputFlags outputs{};
  end.file = wav;
  end.length = platform::TimeFromHms(0, 0, 10);
  const app::ui::PlaybackShared shared{outputs, end.file, end.length, end.manual};
  switch (row.form) {
    case Form::Change:
    case Form::Insert:
      if (row.form == Form::Insert) {
        ASSERT_EQ(app::data::Controllers().TASKS.PrimeRecord(), 0);
      }
      pu::FormRequest = row.form == Form::Change ? pu::ChangeRecord : pu::InsertRecord;
      app::ui::Editace_uloh();
      end.result = pu::FormResponse;
      break;
    case Form::Playback:
      outputs[1] = 1;
      end.result = app::ui::Volba_vystupu(shared);
      break;
    case Form::Live:
      end.result = app::ui::Volba_vystupu2(shared);
      break;
  }
  EXPECT_TRUE(pu::ThreadWindows().empty());
}

// The row's checks: after the typing and the ?OK pressed with it, and
// what the second ?OK did.
inline void ExpectRefusedEntryEnd(const RefusedEntry& row, const RefusedEntryEnd& e) {
  EXPECT_TRUE(e.afterTyping.open);
  EXPECT_EQ(e.afterTyping.shown, row.shown);
  EXPECT_EQ(e.afterTyping.held, row.shown) << "the field shows what its variable holds";
  EXPECT_EQ(e.afterTyping.focus, row.focus);
  EXPECT_EQ(e.afterTyping.beeps, row.beep ? 1 : 0);
  EXPECT_EQ(e.afterTyping.boxes, row.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.box});
  const auto stored = StoredTasks();
  switch (row.outcome) {
    case Outcome::StoresShown:
      EXPECT_EQ(e.result, 1);
      ASSERT_EQ(stored.size(), 1u);
      EXPECT_EQ(StoredField(stored[0], row.field), row.shown);
      break;
    case Outcome::StoresNothing:
      EXPECT_TRUE(e.afterOk.open);
      EXPECT_EQ(e.afterOk.focus, row.okFocus);
      EXPECT_EQ(e.result, 2);
      EXPECT_TRUE(stored.empty());
      break;
    case Outcome::PlaysShown:
      EXPECT_EQ(e.result, 1);
      EXPECT_EQ(e.manual, 1);
      EXPECT_EQ(PlaybackField(e.file, e.length, row.field), row.shown);
      break;
    case Outcome::Refused:
      EXPECT_TRUE(e.afterOk.open);
      EXPECT_EQ(e.afterOk.boxes, std::vector<std::string>{row.box});
      EXPECT_EQ(e.result, 0);
      EXPECT_EQ(e.manual, 0);
      break;
  }
}

}  // namespace testsupport
