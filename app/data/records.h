// The application's record files: their layouts, keys, new-record defaults,
// per-thread instances and controllers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/linefile.h"
#include "platform/recordfile.h"
#include "platform/stdtime.h"

namespace app::data {

using platform::StdDate;
using platform::StdTime;

// TASKS, "Tasks.tps", 341 bytes: scheduled announcement tasks.
struct TasksRecord {
  int32_t ID = 0;                     // auto-numbered
  uint8_t AKTIVNI = 0;                // 1 active
  StdDate DATUM_SPUSTENI = 0;         // first run
  StdTime CAS_SPUSTENI = 0;           // time of day of the run
  std::string OPAKOVANI;              // CSTRING(3): weekday mask, two hex digits
  uint8_t OPAKOVANI_POCET = 0;        // weekly runs left; 255 endless
  StdDate POSLEDNI_SPUSTENI = 0;      // last run
  std::string NAZEV;                  // STRING(50)
  std::string PREHRAT;                // STRING(255): WAV file
  StdTime DELKA_SOUBORU = 0;          // play length, as a time of day
  std::string VYSTUP1_5, VYSTUP2_5, VYSTUP3_5, VYSTUP4_5, VYSTUP5_5;  // STRING(2) output masks
  uint8_t AUTOMATICKY_SMAZAT = 0;     // 1 delete after the last run
};
enum TasksKey { TAS_KeyId, TAS_KeyDatum, TAS_KeyCas, TAS_KeyDatum_Cas, TAS_KeyAkt_Cas, TAS_KeyAktivni, TAS_KeyNazev };

// PRESET, "Preset.tps", 34 bytes: named sets of outputs (read only).
struct PresetRecord {
  int32_t ID = 0;
  std::string NAZEV;  // STRING(20)
  std::string VYSTUP1_5, VYSTUP2_5, VYSTUP3_5, VYSTUP4_5, VYSTUP5_5;
};
enum PresetKey { PRE_KeyId };

// OUTPUTS, "Outputs.tps", 14 bytes: the outputs' names.
struct OutputsRecord {
  int32_t CISLO = 0;
  std::string NAZEV;  // STRING(10)
};
enum OutputsKey { OUT_KeyCislo, OUT_KeyNazev };

// SETTINGS, "Settings.tps", 12 bytes: one record of communication settings.
struct SettingsRecord {
  int32_t ID = 0;
  std::string PORT;         // STRING(4), "COM1"
  StdTime AMP_DELAY = 0;    // amplifier delay, as a time of day
};
enum SettingsKey { SET_KeyId };

inline constexpr int kLockRecovery = 10;  // "Recover=10": ten lock-recovery units

const platform::rec::FileDecl& TasksDecl();
const platform::rec::FileDecl& PresetDecl();
const platform::rec::FileDecl& OutputsDecl();
const platform::rec::FileDecl& SettingsDecl();
inline constexpr const char* kDebugFileName = "Debug.log";
inline constexpr int kDebugLineChars = 255;

// New-record defaults.
void PrimeTaskDefaults(TasksRecord& r);
void PrimePresetDefaults(PresetRecord& r);

// A thread's instances of the five files, each with its own buffer.
struct DataFiles {
  platform::rec::File<SettingsRecord> SETTINGS{SettingsDecl()};
  platform::rec::File<OutputsRecord> OUTPUTS{OutputsDecl()};
  platform::rec::File<PresetRecord> PRESET{PresetDecl()};
  platform::LineFile DEBUG{kDebugFileName};
  platform::rec::File<TasksRecord> TASKS{TasksDecl()};
};

// The controller of one record file on one thread: opens on first use
// (creating the file when missing, retrying once with the lock-recovery
// setting when another process holds it) and closes after the last user;
// reports open failures through the error reporter.
class Controller {
 public:
  Controller(platform::rec::RecordFile& file, std::function<void()> primeDefaults)
      : file_(file), prime_(std::move(primeDefaults)) {}
  // 0, or the error code of the failed open (already reported).
  int Open();
  void Close();
  int Users() const { return users_; }
  // Prepares a new record: cleared unless keepBuffer, the defaults, then the
  // auto-number.
  int PrimeRecord(bool keepBuffer = false);
  int Insert() { return file_.Add(); }
  int Update() { return file_.Put(); }
  int DeleteRecord() { return file_.Delete(); }
  platform::rec::RecordFile& File() { return file_; }

 private:
  platform::rec::RecordFile& file_;
  std::function<void()> prime_;
  int users_ = 0;
};

struct DataControllers {
  explicit DataControllers(DataFiles& f);
  Controller SETTINGS, OUTPUTS, PRESET, TASKS;
};

// The calling thread's files; they exist between the thread's attach and
// detach (AttachThreadFiles / DetachThreadFiles).
DataFiles& Files();
bool HasFiles();
void AttachThreadFiles();   // instances in the order SETTINGS, OUTPUTS, PRESET, DEBUG, TASKS
void DetachThreadFiles();   // freed in the order TASKS, DEBUG, PRESET, OUTPUTS, SETTINGS

// The calling thread's controllers.
DataControllers& Controllers();
bool HasControllers();
void ConstructDataFileControllers();
void SetUpDataFiles();
void ReleaseDataFiles();
void ThreadSetUpDataFiles();    // construct, then set up
void ThreadReleaseDataFiles();  // release

}  // namespace app::data
