#include "platform/locale_texts.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace platform::locale {
namespace {

// Each test starts with the platform's own texts and leaves them so.
class LocaleTexts : public ::testing::Test {
 protected:
  void SetUp() override { UninstallCzechTexts(); }
  void TearDown() override { UninstallCzechTexts(); }
};

struct ErrorCase {
  int code;
  const char* english;
  const char* czech;
};

const ErrorCase kErrors[] = {
    {FileNotFound, "File Not Found", "Soubor nenalezen"},
    {PathNotFound, "Path Not Found", "Cesta nebyla nalezena"},
    {TooManyOpenFiles, "Too Many Open Files", "Příliš mnoho otevřených souborů"},
    {AccessDenied, "Access Denied", "Přístup odepřen"},
    {MemoryCorrupted, "Memory Corrupted", "Chyba v přístupu k paměti"},
    {NoMemory, "Insufficient Memory", "Nedostatek volné paměti"},
    {BadDrive, "Invalid Drive", "Chybný disk"},
    {EntryNotFound, "Entry Not Found", "Položka nebyla nalezena"},
    {FileLocked, "File Is Already Locked", "Databáze je již uzamčena"},
    {RecordNotAvailable, "Record Not Available", "Záznam není přístupný"},
    {RecordNotFound, "Record Not Found", "Záznam nebyl nalezen"},
    {InvalidDataFile, "Invalid Data File", "Poškozený databázový soubor"},
    {FileNotOpen, "File Not Open", "Databáze není otevřena"},
    {InvalidKeyFile, "Invalid Key File", "Špatná hlavička databáze"},
    {DuplicateKey, "Creates Duplicate Key", "Vytvářím duplicitní klíč"},
    {RecordHeld, "Record Is Already Held", "Record Is Already Held"},
    {InvalidFileName, "Invalid Filename", "Chybný název souboru"},
    {KeysMustBeRebuilt, "Key File Must Be Rebuilt", "Indexy souboru musí být rekonstruovány"},
    {InvalidRecordDeclaration, "Invalid Record Declaration", "Chybná deklarace databáze"},
    {CannotLogTransaction, "Unable to Log Transaction", "Unable to log transaction"},
    {FileAlreadyOpen, "File Already Open", "Databáze je již otevřena"},
    {NoCreateAttribute, "No Create Attribute", "Databáze nemá atribut pro vytvoření"},
    {FileMustBeShared, "File Must Be Shared", "Databáze musí být sdílena"},
    {LogoutActive, "Logout Already Active", "Logout Already Active"},
    {InvalidMemoFile, "Invalid Memo File", "Invalid Memo File"},
    {ExclusiveRequired, "Exclusive Access Required", "Vyžadován exklusivní přístup"},
    {SharingViolation, "Sharing Violation", "Chyba sdílení"},
    {CannotRollBack, "Unable to Rollback Transaction", "Unable to rollback transaction"},
    {MemoMissing, "Memo File is Missing", "Memo File is Missing"},
    {InvalidFieldType, "Invalid Field Type Descriptor", "Invalid Field Type Descriptor"},
    {InvalidIndexString, "Invalid Index String", "Invalid Index String"},
    {CannotAccessIndex, "Unable To Access Index", "Nemohu přečíst index"},
    {InvalidParameterCount, "Invalid Number Of Parameters", "Invalid Number Of Parameters"},
    {UnsupportedDataType, "Unsupported Data Type in File", "Unsupported Data Type in File"},
    {UnsupportedFunction, "Function Not Supported", "Funkce není podporována"},
    {ChangedByOther, "Record Changed By Another Station", "Záznam byl již změněn jinou stanicí"},
    {FileSystemError, "File System Error", "Chyba databázového systému"},
    {LogoutNotActive, "No Logout Active", "No Logout Active"},
    {KeyBuildRunning, "Key Build In Progress", "Probíhá reindexace"},
    {KeyBuildCancelled, "Key Build Cancelled", "Reindexace stornována"},
    {RecordLimit, "Record Limit Exceeded", "Překročen počet zázamů"},
    {StreamError, "Stream Error", "Stream Error"},
    {TriggerError, "Trigger Error", "Trigger Error"},
};

TEST_F(LocaleTexts, ErrorTextsBeforeAndAfterInstallation) {
  ASSERT_EQ(std::size(kErrors), 43u);
  EXPECT_FALSE(CzechTextsInstalled());
  for (const ErrorCase& e : kErrors) EXPECT_EQ(ErrorText(e.code), e.english) << e.code;

  InstallCzechTexts();
  EXPECT_TRUE(CzechTextsInstalled());
  for (const ErrorCase& e : kErrors) EXPECT_EQ(ErrorText(e.code), e.czech) << e.code;
}

TEST_F(LocaleTexts, UnknownCodes) {
  for (int code : {0, 1, 6, 31, 99, 101, -1, 12345}) {
    const std::string n = std::to_string(code);
    UninstallCzechTexts();
    EXPECT_EQ(ErrorText(code), "Unknown error (" + n + ")");
    InstallCzechTexts();
    EXPECT_EQ(ErrorText(code), "Neznámá chyba (" + n + ")");
  }
}

TEST_F(LocaleTexts, ButtonsMonthsAndMarks) {
  EXPECT_EQ(ButtonCaptions(),
            (std::vector<std::string>{"OK", "&Yes", "&No", "&Abort", "&Retry", "&Ignore", "&Cancel", "&Help"}));
  EXPECT_EQ(MonthNames(), (std::vector<std::string>{"January", "February", "March", "April", "May", "June",
                                                    "July", "August", "September", "October", "November",
                                                    "December"}));
  EXPECT_EQ(BeforeNoonMark(), "AM");
  EXPECT_EQ(AfterNoonMark(), "PM");

  InstallCzechTexts();
  EXPECT_EQ(ButtonCaptions(), (std::vector<std::string>{"OK", "&Ano", "&Ne", "&Přeruš", "&Znovu", "&Ignoruj",
                                                        "&Storno", "&Pomoc"}));
  EXPECT_EQ(MonthNames(), (std::vector<std::string>{"Leden", "Únor", "Březen", "Duben", "Květen", "Červen",
                                                    "Červenec", "Srpen", "Září", "Říjen", "Listopad",
                                                    "Prosinec"}));
  EXPECT_EQ(BeforeNoonMark(), "Dop.");
  EXPECT_EQ(AfterNoonMark(), "Odp.");
}

}  // namespace
}  // namespace platform::locale
