#include "platform/locale_texts.h"

#include <atomic>
#include <iterator>

namespace platform::locale {
namespace {

struct CodeText {
  int code;
  std::string_view text;
};

constexpr CodeText kEnglishErrors[] = {
    {FileNotFound, "File Not Found"},
    {PathNotFound, "Path Not Found"},
    {TooManyOpenFiles, "Too Many Open Files"},
    {AccessDenied, "Access Denied"},
    {MemoryCorrupted, "Memory Corrupted"},
    {NoMemory, "Insufficient Memory"},
    {BadDrive, "Invalid Drive"},
    {EntryNotFound, "Entry Not Found"},
    {FileLocked, "File Is Already Locked"},
    {RecordNotAvailable, "Record Not Available"},
    {RecordNotFound, "Record Not Found"},
    {InvalidDataFile, "Invalid Data File"},
    {FileNotOpen, "File Not Open"},
    {InvalidKeyFile, "Invalid Key File"},
    {DuplicateKey, "Creates Duplicate Key"},
    {RecordHeld, "Record Is Already Held"},
    {InvalidFileName, "Invalid Filename"},
    {KeysMustBeRebuilt, "Key File Must Be Rebuilt"},
    {InvalidRecordDeclaration, "Invalid Record Declaration"},
    {CannotLogTransaction, "Unable to Log Transaction"},
    {FileAlreadyOpen, "File Already Open"},
    {NoCreateAttribute, "No Create Attribute"},
    {FileMustBeShared, "File Must Be Shared"},
    {LogoutActive, "Logout Already Active"},
    {InvalidMemoFile, "Invalid Memo File"},
    {ExclusiveRequired, "Exclusive Access Required"},
    {SharingViolation, "Sharing Violation"},
    {CannotRollBack, "Unable to Rollback Transaction"},
    {MemoMissing, "Memo File is Missing"},
    {InvalidFieldType, "Invalid Field Type Descriptor"},
    {InvalidIndexString, "Invalid Index String"},
    {CannotAccessIndex, "Unable To Access Index"},
    {InvalidParameterCount, "Invalid Number Of Parameters"},
    {UnsupportedDataType, "Unsupported Data Type in File"},
    {UnsupportedFunction, "Function Not Supported"},
    {ChangedByOther, "Record Changed By Another Station"},
    {FileSystemError, "File System Error"},
    {LogoutNotActive, "No Logout Active"},
    {KeyBuildRunning, "Key Build In Progress"},
    {KeyBuildCancelled, "Key Build Cancelled"},
    {RecordLimit, "Record Limit Exceeded"},
    {StreamError, "Stream Error"},
    {TriggerError, "Trigger Error"},
};

// A few conditions keep an English text in the Czech table.
constexpr CodeText kCzechErrors[] = {
    {FileNotFound, "Soubor nenalezen"},
    {PathNotFound, "Cesta nebyla nalezena"},
    {TooManyOpenFiles, "Příliš mnoho otevřených souborů"},
    {AccessDenied, "Přístup odepřen"},
    {MemoryCorrupted, "Chyba v přístupu k paměti"},
    {NoMemory, "Nedostatek volné paměti"},
    {BadDrive, "Chybný disk"},
    {EntryNotFound, "Položka nebyla nalezena"},
    {FileLocked, "Databáze je již uzamčena"},
    {RecordNotAvailable, "Záznam není přístupný"},
    {RecordNotFound, "Záznam nebyl nalezen"},
    {InvalidDataFile, "Poškozený databázový soubor"},
    {FileNotOpen, "Databáze není otevřena"},
    {InvalidKeyFile, "Špatná hlavička databáze"},
    {DuplicateKey, "Vytvářím duplicitní klíč"},
    {RecordHeld, "Record Is Already Held"},
    {InvalidFileName, "Chybný název souboru"},
    {KeysMustBeRebuilt, "Indexy souboru musí být rekonstruovány"},
    {InvalidRecordDeclaration, "Chybná deklarace databáze"},
    {CannotLogTransaction, "Unable to log transaction"},
    {FileAlreadyOpen, "Databáze je již otevřena"},
    {NoCreateAttribute, "Databáze nemá atribut pro vytvoření"},
    {FileMustBeShared, "Databáze musí být sdílena"},
    {LogoutActive, "Logout Already Active"},
    {InvalidMemoFile, "Invalid Memo File"},
    {ExclusiveRequired, "Vyžadován exklusivní přístup"},
    {SharingViolation, "Chyba sdílení"},
    {CannotRollBack, "Unable to rollback transaction"},
    {MemoMissing, "Memo File is Missing"},
    {InvalidFieldType, "Invalid Field Type Descriptor"},
    {InvalidIndexString, "Invalid Index String"},
    {CannotAccessIndex, "Nemohu přečíst index"},
    {InvalidParameterCount, "Invalid Number Of Parameters"},
    {UnsupportedDataType, "Unsupported Data Type in File"},
    {UnsupportedFunction, "Funkce není podporována"},
    {ChangedByOther, "Záznam byl již změněn jinou stanicí"},
    {FileSystemError, "Chyba databázového systému"},
    {LogoutNotActive, "No Logout Active"},
    {KeyBuildRunning, "Probíhá reindexace"},
    {KeyBuildCancelled, "Reindexace stornována"},
    {RecordLimit, "Překročen počet zázamů"},  // the text as installed, typo included
    {StreamError, "Stream Error"},
    {TriggerError, "Trigger Error"},
};

static_assert(std::size(kEnglishErrors) == 43 && std::size(kCzechErrors) == 43);

std::atomic<bool> gCzech{false};

template <std::size_t N>
const CodeText* Find(const CodeText (&table)[N], int code) {
  for (const CodeText& e : table) {
    if (e.code == code) return &e;
  }
  return nullptr;
}

}  // namespace

void InstallCzechTexts() { gCzech.store(true, std::memory_order_release); }

void UninstallCzechTexts() { gCzech.store(false, std::memory_order_release); }

bool CzechTextsInstalled() { return gCzech.load(std::memory_order_acquire); }

std::string ErrorText(int code) {
  const bool czech = CzechTextsInstalled();
  const CodeText* e = czech ? Find(kCzechErrors, code) : nullptr;
  if (e == nullptr) e = Find(kEnglishErrors, code);
  if (e != nullptr) return std::string(e->text);
  return (czech ? "Neznámá chyba (" : "Unknown error (") + std::to_string(code) + ")";
}

const std::vector<std::string>& ButtonCaptions() {
  static const std::vector<std::string> english = {"OK",     "&Yes",    "&No",     "&Abort",
                                                   "&Retry", "&Ignore", "&Cancel", "&Help"};
  static const std::vector<std::string> czech = {"OK",     "&Ano",     "&Ne",     "&Přeruš",
                                                 "&Znovu", "&Ignoruj", "&Storno", "&Pomoc"};
  return CzechTextsInstalled() ? czech : english;
}

const std::vector<std::string>& MonthNames() {
  static const std::vector<std::string> english = {"January", "February", "March",     "April",
                                                   "May",     "June",     "July",      "August",
                                                   "September", "October", "November", "December"};
  static const std::vector<std::string> czech = {"Leden",    "Únor",  "Březen", "Duben",
                                                 "Květen",   "Červen", "Červenec", "Srpen",
                                                 "Září",     "Říjen", "Listopad", "Prosinec"};
  return CzechTextsInstalled() ? czech : english;
}

std::string_view BeforeNoonMark() { return CzechTextsInstalled() ? "Dop." : "AM"; }

std::string_view AfterNoonMark() { return CzechTextsInstalled() ? "Odp." : "PM"; }

}  // namespace platform::locale
