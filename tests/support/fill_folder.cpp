// velorn_fill_folder: fills the record files of the current folder for a
// run of the real program, through the program's own record files.
//
//   velorn_fill_folder        settings "COM1", 12 named outputs, 2 presets,
//                             one task due a minute ago (outputs 1 and 9,
//                             one second of silence.wav, kept after its run)
//                             and 3 inactive tasks; silence.wav beside them
//
// Exits 0 when everything was written, 1 otherwise (with a line on
// standard error). The due task needs the clock a few minutes away from
// midnight; nearer it, exits 3.
#include <cstdio>
#include <fstream>
#include <string>

#include "app/data/records.h"
#include "platform/clock.h"
#include "platform/stdtime.h"
#include "syslib/sound.h"
#include "tests/support/wav.h"

namespace {

namespace rec = platform::rec;
using namespace app::data;

bool Fail(const char* what, int rc) {
  std::fprintf(stderr, "velorn_fill_folder: %s: %d\n", what, rc);
  return false;
}

template <class R>
bool Opened(rec::File<R>& f, const char* name) {
  if (const int rc = f.Create(); rc != 0) return Fail(name, rc);
  if (const int rc = f.Open(); rc != 0) return Fail(name, rc);
  return true;
}

// A tenth of a second of silence in the output format.
bool WriteSilence(const char* name) {
  const std::string silence(syslib::kSoundRate / 10 * 4, '\0');
  std::ofstream out(name, std::ios::binary);
  out << testsupport::MakeWav(silence, syslib::kSoundRate, 2, 16);
  return static_cast<bool>(out);
}

bool Fill() {
  rec::File<SettingsRecord> settings(SettingsDecl());
  if (!Opened(settings, "Settings.tps")) return false;
  settings.ClearBuffer();
  settings.PrimeAutoNumber();
  settings.rec.PORT = "COM1";
  if (const int rc = settings.Add(); rc != 0) return Fail("settings record", rc);

  rec::File<OutputsRecord> outputs(OutputsDecl());
  if (!Opened(outputs, "Outputs.tps")) return false;
  for (int k = 1; k <= 12; ++k) {
    outputs.ClearBuffer();
    outputs.rec.CISLO = k;
    outputs.rec.NAZEV = "Zóna " + std::to_string(k);
    if (const int rc = outputs.Add(); rc != 0) return Fail("output record", rc);
  }

  rec::File<PresetRecord> presets(PresetDecl());
  if (!Opened(presets, "Preset.tps")) return false;
  for (const char* name : {"Hala", "Všechny zóny"}) {
    presets.ClearBuffer();
    PrimePresetDefaults(presets.rec);
    presets.PrimeAutoNumber();
    presets.rec.NAZEV = name;
    presets.rec.VYSTUP1_5 = "FF";
    if (const int rc = presets.Add(); rc != 0) return Fail("preset record", rc);
  }

  rec::File<TasksRecord> tasks(TasksDecl());
  if (!Opened(tasks, "Tasks.tps")) return false;
  const platform::StdTime now = platform::GetClock().ClockTime();
  const platform::StdDate today = platform::GetClock().Today();
  for (int i = 0; i < 4; ++i) {
    tasks.ClearBuffer();
    PrimeTaskDefaults(tasks.rec);
    tasks.PrimeAutoNumber();
    tasks.rec.AKTIVNI = i == 0 ? 1 : 0;
    tasks.rec.DATUM_SPUSTENI = today;
    tasks.rec.CAS_SPUSTENI = now - 6000 + i;  // a minute ago
    tasks.rec.NAZEV = i == 0 ? "Polední hlášení" : "Neaktivní " + std::to_string(i);
    tasks.rec.PREHRAT = "silence.wav";
    tasks.rec.DELKA_SOUBORU = platform::TimeFromHms(0, 0, 1);
    tasks.rec.VYSTUP1_5 = "08";
    tasks.rec.VYSTUP2_5 = "08";
    tasks.rec.AUTOMATICKY_SMAZAT = 0;
    if (const int rc = tasks.Add(); rc != 0) return Fail("task record", rc);
  }
  return WriteSilence("silence.wav") || Fail("silence.wav", 0);
}

}  // namespace

int main() {
  const platform::StdTime now = platform::GetClock().ClockTime();
  if (now < platform::TimeFromHms(0, 3, 0) || now > platform::TimeFromHms(23, 55, 0)) {
    std::fprintf(stderr, "velorn_fill_folder: too near midnight for a due task\n");
    return 3;
  }
  return Fill() ? 0 : 1;
}
