#include "app/data/records.h"

#include "platform/locale_texts.h"
#include "platform/msgbox.h"

namespace app::data {

namespace {

using platform::rec::Field;
using platform::rec::FieldType;
using platform::rec::FileDecl;
using platform::rec::KeyDecl;

KeyDecl Key(std::string name, std::vector<int> fields, bool unique, bool primary, bool autoNumber,
            bool optional = true) {
  KeyDecl k;
  k.name = std::move(name);
  k.fields = std::move(fields);
  k.unique = unique;
  k.primary = primary;
  k.autoNumber = autoNumber;
  k.noCase = true;
  k.optional = optional;
  return k;
}

FileDecl MakeTasks() {
  using R = TasksRecord;
  FileDecl d;
  d.label = "TASKS";
  d.fileName = "Tasks.tps";
  d.recordBytes = 341;
  d.fields = {
      Field("TAS:ID", FieldType::Long, 0, &R::ID),
      Field("TAS:AKTIVNI", FieldType::Byte, 4, &R::AKTIVNI),
      Field("TAS:DATUM_SPUSTENI", FieldType::Date, 5, &R::DATUM_SPUSTENI),
      Field("TAS:CAS_SPUSTENI", FieldType::Time, 9, &R::CAS_SPUSTENI),
      Field("TAS:OPAKOVANI", FieldType::CString, 13, &R::OPAKOVANI, 3),
      Field("TAS:OPAKOVANI_POCET", FieldType::Byte, 16, &R::OPAKOVANI_POCET),
      Field("TAS:POSLEDNI_SPUSTENI", FieldType::Date, 17, &R::POSLEDNI_SPUSTENI),
      Field("TAS:NAZEV", FieldType::String, 21, &R::NAZEV, 50),
      Field("TAS:PREHRAT", FieldType::String, 71, &R::PREHRAT, 255),
      Field("TAS:DELKA_SOUBORU", FieldType::Time, 326, &R::DELKA_SOUBORU),
      Field("TAS:VYSTUP1_5", FieldType::String, 330, &R::VYSTUP1_5, 2),
      Field("TAS:VYSTUP2_5", FieldType::String, 332, &R::VYSTUP2_5, 2),
      Field("TAS:VYSTUP3_5", FieldType::String, 334, &R::VYSTUP3_5, 2),
      Field("TAS:VYSTUP4_5", FieldType::String, 336, &R::VYSTUP4_5, 2),
      Field("TAS:VYSTUP5_5", FieldType::String, 338, &R::VYSTUP5_5, 2),
      Field("TAS:AUTOMATICKY_SMAZAT", FieldType::Byte, 340, &R::AUTOMATICKY_SMAZAT),
  };
  const int id = 0, aktivni = 1, datum = 2, cas = 3, nazev = 7;
  d.keys = {
      Key("TAS:KeyId", {id}, true, true, true),
      Key("TAS:KeyDatum", {datum}, false, false, false),
      Key("TAS:KeyCas", {cas}, false, false, false),
      Key("TAS:KeyDatum_Cas", {datum, cas}, false, false, false),
      Key("TAS:KeyAkt_Cas", {aktivni, cas}, false, false, false),
      Key("TAS:KeyAktivni", {aktivni}, false, false, false),
      Key("TAS:KeyNazev", {nazev}, false, false, false),
  };
  return d;
}

FileDecl MakePreset() {
  using R = PresetRecord;
  FileDecl d;
  d.label = "PRESET";
  d.fileName = "Preset.tps";
  d.recordBytes = 34;
  d.fields = {
      Field("PRE:ID", FieldType::Long, 0, &R::ID),
      Field("PRE:NAZEV", FieldType::String, 4, &R::NAZEV, 20),
      Field("PRE:VYSTUP1_5", FieldType::String, 24, &R::VYSTUP1_5, 2),
      Field("PRE:VYSTUP2_5", FieldType::String, 26, &R::VYSTUP2_5, 2),
      Field("PRE:VYSTUP3_5", FieldType::String, 28, &R::VYSTUP3_5, 2),
      Field("PRE:VYSTUP4_5", FieldType::String, 30, &R::VYSTUP4_5, 2),
      Field("PRE:VYSTUP5_5", FieldType::String, 32, &R::VYSTUP5_5, 2),
  };
  d.keys = {Key("PRE:KeyId", {0}, true, true, true)};
  return d;
}

FileDecl MakeOutputs() {
  using R = OutputsRecord;
  FileDecl d;
  d.label = "OUTPUTS";
  d.fileName = "Outputs.tps";
  d.recordBytes = 14;
  d.fields = {
      Field("OUT:CISLO", FieldType::Long, 0, &R::CISLO),
      Field("OUT:NAZEV", FieldType::String, 4, &R::NAZEV, 10),
  };
  d.keys = {Key("OUT:KeyCislo", {0}, true, true, true), Key("OUT:KeyNazev", {1}, false, false, false)};
  return d;
}

FileDecl MakeSettings() {
  using R = SettingsRecord;
  FileDecl d;
  d.label = "SETTINGS";
  d.fileName = "Settings.tps";
  d.recordBytes = 12;
  d.fields = {
      Field("SET:ID", FieldType::Long, 0, &R::ID),
      Field("SET:PORT", FieldType::String, 4, &R::PORT, 4),
      Field("SET:AMP_DELAY", FieldType::Time, 8, &R::AMP_DELAY),
  };
  d.keys = {Key("SET:KeyId", {0}, true, true, true, /*optional=*/false)};
  return d;
}

thread_local std::unique_ptr<DataFiles> tFiles;
thread_local std::unique_ptr<DataControllers> tControllers;
thread_local bool tControllersSetUp = false;

}  // namespace

const FileDecl& TasksDecl() {
  static const FileDecl d = MakeTasks();
  return d;
}
const FileDecl& PresetDecl() {
  static const FileDecl d = MakePreset();
  return d;
}
const FileDecl& OutputsDecl() {
  static const FileDecl d = MakeOutputs();
  return d;
}
const FileDecl& SettingsDecl() {
  static const FileDecl d = MakeSettings();
  return d;
}

void PrimeTaskDefaults(TasksRecord& r) {
  r.AKTIVNI = 1;
  r.OPAKOVANI = "00";
  r.OPAKOVANI_POCET = 0;
  r.POSLEDNI_SPUSTENI = 0;
  r.VYSTUP1_5 = r.VYSTUP2_5 = r.VYSTUP3_5 = r.VYSTUP4_5 = r.VYSTUP5_5 = "00";
  r.AUTOMATICKY_SMAZAT = 1;
}

void PrimePresetDefaults(PresetRecord& r) {
  r.VYSTUP1_5 = r.VYSTUP2_5 = r.VYSTUP3_5 = r.VYSTUP4_5 = r.VYSTUP5_5 = "00";
}

int Controller::Open() {
  if (users_ > 0) {
    ++users_;
    return 0;
  }
  using namespace platform::locale;
  int rc = file_.Open();
  if (rc == FileNotFound) {
    rc = file_.Create();
    if (rc == 0) rc = file_.Open();
  }
  if (rc == AccessDenied) {
    file_.Send("Recover=" + std::to_string(kLockRecovery));
    rc = file_.Open();
  }
  if (rc != 0) {
    platform::ReportFileError(file_.Decl().fileName, rc);
    return rc;
  }
  // Every later operation waits out another process's short lock too.
  file_.Send("Recover=" + std::to_string(kLockRecovery));
  users_ = 1;
  return 0;
}

void Controller::Close() {
  if (users_ == 0) return;
  if (--users_ == 0) file_.Close();
}

int Controller::PrimeRecord(bool keepBuffer) {
  if (!keepBuffer) file_.ClearBuffer();
  if (prime_) prime_();
  return file_.PrimeAutoNumber();
}

DataControllers::DataControllers(DataFiles& f)
    : SETTINGS(f.SETTINGS, nullptr),
      OUTPUTS(f.OUTPUTS, nullptr),
      PRESET(f.PRESET, [&f] { PrimePresetDefaults(f.PRESET.rec); }),
      TASKS(f.TASKS, [&f] { PrimeTaskDefaults(f.TASKS.rec); }) {}

DataFiles& Files() { return *tFiles; }
bool HasFiles() { return tFiles != nullptr; }

void AttachThreadFiles() {
  if (!tFiles) tFiles = std::make_unique<DataFiles>();
}

void DetachThreadFiles() { tFiles.reset(); }

DataControllers& Controllers() { return *tControllers; }
bool HasControllers() { return tControllers != nullptr && tControllersSetUp; }

void ConstructDataFileControllers() {
  AttachThreadFiles();
  if (!tControllers) tControllers = std::make_unique<DataControllers>(*tFiles);
}

void SetUpDataFiles() { tControllersSetUp = tControllers != nullptr; }

void ReleaseDataFiles() {
  if (tControllers) {
    for (Controller* c : {&tControllers->TASKS, &tControllers->PRESET, &tControllers->OUTPUTS, &tControllers->SETTINGS})
      while (c->Users() > 0) c->Close();
  }
  tControllers.reset();
  tControllersSetUp = false;
}

void ThreadSetUpDataFiles() {
  ConstructDataFileControllers();
  SetUpDataFiles();
}

void ThreadReleaseDataFiles() { ReleaseDataFiles(); }

}  // namespace app::data
