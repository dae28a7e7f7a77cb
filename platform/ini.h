// The settings store: an INI file named relative to the folder that is
// current at each access. Every read opens and reads the file as it is now;
// every write reads the file, changes one entry and saves it through a
// temporary file in the same folder and a rename, so other sections, unknown
// ones included, are kept as they were. Bytes are kept as they are.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class IniStore {
 public:
  // fileName may use "\" as its folder separator (".\velorn.INI").
  explicit IniStore(std::string fileName);

  // Sets the store up: calls the load hook, then reads the list of managed
  // sections from "Sectors" / "__Dont_Touch_Me__".
  void Setup(const std::function<void(IniStore&)>& loadHook);
  // Closes the store: writes the managed-section list back.
  void Close();
  bool IsSetUp() const { return setUp_; }

  // Reads an entry; missing file, section or entry give def.
  std::string GetString(std::string_view section, std::string_view entry,
                        std::string_view def = "") const;
  // Reads a number; missing or not a number give 0 (leading digits count,
  // as with atol).
  long GetNumber(std::string_view section, std::string_view entry) const;

  // Writes an entry. False when the file could not be written; the file on
  // disk is then unchanged.
  bool PutString(std::string_view section, std::string_view entry, std::string_view value);
  bool PutNumber(std::string_view section, std::string_view entry, long value);

  // Sections the store manages (the dialogs' position sections).
  void ManageSection(std::string_view section);
  const std::vector<std::string>& ManagedSections() const { return managed_; }

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  bool setUp_ = false;
  std::vector<std::string> managed_;
};

}  // namespace platform
