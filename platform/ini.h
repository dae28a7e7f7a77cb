// The settings store: an INI file named relative to the folder that is
// current at each access. Every read opens and reads the file as it is now.
//
// Reading: a line "[name]" opens a section; a line "name=value" is an entry
// of the section above it. Names compare without regard to ASCII case and
// without the blanks around them; the value is the text after the first "="
// without the blanks around it, up to a NUL. Of several entries of one name
// in the sections of one name the first in the file counts. Every other line
// (a comment starting with ";", text without "=", a "[" without "]", entries
// before the first section) is no entry.
//
// Writing: a write reads the file, changes only the line of the entry that a
// read would find (the text after its "=" and the blanks behind it), or adds
// the entry after the last entry of the first section of that name, or adds
// the section at the end; new lines take the file's line break (CR LF or LF,
// LF for a new file). Every other byte stays as it was. The file is replaced
// through a temporary file in the same folder and a rename, keeping its
// permission bits; a write that changes nothing leaves the file untouched.
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

  // Writes an entry. False, with the file on disk unchanged, when it could
  // not be read or written (a folder in its place, a missing folder, a full
  // disk) or when the names or the value cannot stand in a line: a line break
  // or NUL anywhere, an empty name, blanks around a name, "]" in the
  // section, "=" in the entry or an entry starting with "[" or ";". Blanks
  // around the value are not read back.
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
