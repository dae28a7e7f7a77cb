// The Czech locale texts that start-up installs: the platform's file and
// queue error texts, the standard message-box button captions, month names
// and the before-noon / after-noon marks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::locale {

// Platform error codes of the record files (the numbers the record-file
// engine reports; 0 is success).
enum ErrorCode : int {
  NoError = 0,
  FileNotFound = 2,
  PathNotFound = 3,
  TooManyOpenFiles = 4,
  AccessDenied = 5,
  MemoryCorrupted = 7,
  NoMemory = 8,
  BadDrive = 15,
  EntryNotFound = 30,
  FileLocked = 32,
  RecordNotAvailable = 33,
  RecordNotFound = 35,
  InvalidDataFile = 36,
  FileNotOpen = 37,
  InvalidKeyFile = 38,
  DuplicateKey = 40,
  RecordHeld = 43,
  InvalidFileName = 45,
  KeysMustBeRebuilt = 46,
  InvalidRecordDeclaration = 47,
  CannotLogTransaction = 48,
  FileAlreadyOpen = 52,
  NoCreateAttribute = 54,
  FileMustBeShared = 55,
  LogoutActive = 56,
  InvalidMemoFile = 57,
  ExclusiveRequired = 63,
  SharingViolation = 64,
  CannotRollBack = 65,
  MemoMissing = 73,
  InvalidFieldType = 75,
  InvalidIndexString = 76,
  CannotAccessIndex = 77,
  InvalidParameterCount = 78,
  UnsupportedDataType = 79,
  UnsupportedFunction = 80,
  ChangedByOther = 89,
  FileSystemError = 90,
  LogoutNotActive = 91,
  KeyBuildRunning = 92,
  KeyBuildCancelled = 93,
  RecordLimit = 94,
  StreamError = 97,
  TriggerError = 100,
};

// Switches the error texts between the platform's own (English) texts and the
// Czech ones. Start-up installs the Czech ones (SetupEnvironment).
void InstallCzechTexts();
bool CzechTextsInstalled();
// Back to the platform's own texts (for tests).
void UninstallCzechTexts();

// The text of a platform error code: the Czech text once installed, else the
// platform's own English text. Codes in neither table give
// "Neznámá chyba (N)" / "Unknown error (N)".
std::string ErrorText(int code);

// Button captions in the order OK, Yes, No, Abort, Retry, Ignore, Cancel,
// Help ("OK", "&Ano", "&Ne", ... once installed; English before).
const std::vector<std::string>& ButtonCaptions();

// Month names, January first ("Leden", ... "Prosinec" once installed).
const std::vector<std::string>& MonthNames();

// "Dop." and "Odp." once installed ("AM", "PM" before).
std::string_view BeforeNoonMark();
std::string_view AfterNoonMark();

}  // namespace platform::locale
