// A text file of lines (the debug log): each record is one line, written in
// Windows-1250 without trailing blanks and ended by CR LF.
#pragma once

#include <string>
#include <string_view>

namespace platform {

class LineFile {
 public:
  explicit LineFile(std::string fileName) : name_(std::move(fileName)) {}
  ~LineFile() { Close(); }
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  // Opens for reading and appending. With denyWrite, other writers that also
  // lock (other instances of this program) wait until Close; readers are not
  // affected; a lock another writer keeps for more than half a second gives
  // 5. Errors: 2 missing, 5 not a regular file or refused, 52 already open,
  // others through ErrnoToCode.
  int Open(bool denyWrite);
  // Makes the file, empty, when it does not exist (0 when it does).
  int Create();
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Appends one line (UTF-8 in, Windows-1250 on disk). 37 when not open;
  // write failures through ErrnoToCode. A line is written whole or not at all
  // as far as one write() can promise.
  int Append(std::string_view line);

  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  int fd_ = -1;
};

}  // namespace platform
