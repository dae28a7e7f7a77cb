// Record-file declarations for tests: keys and whole files in one call.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/recordfile.h"

namespace testsupport {

// A case-insensitive key; a unique one is also primary and auto-numbered.
inline platform::rec::KeyDecl Key(std::string name, std::vector<int> fields, bool unique, bool optional = true) {
  platform::rec::KeyDecl k;
  k.name = std::move(name);
  k.fields = std::move(fields);
  k.unique = k.primary = k.autoNumber = unique;
  k.noCase = true;
  k.optional = optional;
  return k;
}

inline platform::rec::FileDecl Decl(std::string label, std::string fileName, int recordBytes,
                                    std::vector<platform::rec::FieldDecl> fields,
                                    std::vector<platform::rec::KeyDecl> keys) {
  platform::rec::FileDecl f;
  f.label = std::move(label);
  f.fileName = std::move(fileName);
  f.recordBytes = recordBytes;
  f.fields = std::move(fields);
  f.keys = std::move(keys);
  return f;
}

}  // namespace testsupport
