#include "tests/support/tempdir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir(bool makeCurrent) {
  std::string tmpl = (fs::temp_directory_path() / "velorn-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = fs::canonical(tmpl).string();
  if (makeCurrent) {
    previous_ = fs::current_path().string();
    fs::current_path(path_);
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!previous_.empty()) fs::current_path(previous_, ec);
  fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string SnapshotFolder(const std::string& path) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(path)) {
    const std::string rel = fs::relative(e.path(), path).string();
    files[rel] = e.is_regular_file() ? ReadFile(e.path().string()) : std::string("<dir>");
  }
  std::string s;
  for (const auto& [name, bytes] : files) s += name + "\n" + std::to_string(bytes.size()) + "\n" + bytes + "\n";
  return s;
}

}  // namespace testsupport
