// A temporary folder for one test, removed afterwards; optionally current
// while the test runs.
#pragma once

#include <string>

namespace testsupport {

class TempDir {
 public:
  explicit TempDir(bool makeCurrent = false);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::string previous_;
};

// Reads a whole file ("" when missing).
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// Every file below a folder with its bytes, for before/after comparisons.
std::string SnapshotFolder(const std::string& path);

}  // namespace testsupport
