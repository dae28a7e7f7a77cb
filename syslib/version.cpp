#include "syslib/version.h"

#include <fstream>
#include <iterator>

#include "platform/fsutil.h"

namespace syslib {

namespace {

// The version resource compiled into every program file that links this
// library: a marker, then item/value pairs separated by NULs, then an empty item.
#define VELORN_VERSION_MARK "\x01VELORN-VERSION-RESOURCE\x01"
[[gnu::used]] const char kVersionResource[] = VELORN_VERSION_MARK "\0ProductVersion\0" VELORN_PRODUCT_VERSION
                                              "\0FileVersion\0" VELORN_PRODUCT_VERSION "\0\0";

// The marker, built at run time so that only the resource holds it whole.
std::string Marker() {
  std::string m = "\x01" "VELORN-VERSION-";
  m += "RESOURCE\x01";
  return m;
}

}  // namespace

std::string ds_GetFileVersionInfo(std::string_view item, uint8_t fileVersion, const std::string* fileName) {
  (void)fileVersion;
  (void)kVersionResource;
  const std::string path = fileName ? *fileName : platform::ExecutablePath();
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string mark = Marker();
  const size_t at = data.find(mark);
  if (at == std::string::npos) return {};
  size_t pos = at + mark.size() + 1;
  while (pos < data.size()) {
    const size_t nameEnd = data.find('\0', pos);
    if (nameEnd == std::string::npos || nameEnd == pos) break;
    const size_t valueEnd = data.find('\0', nameEnd + 1);
    if (valueEnd == std::string::npos) break;
    if (std::string_view(data).substr(pos, nameEnd - pos) == item) return data.substr(nameEnd + 1, valueEnd - nameEnd - 1);
    pos = valueEnd + 1;
  }
  return {};
}

}  // namespace syslib
