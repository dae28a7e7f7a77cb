// A small record file for the record-file tests and their child helper:
// numbers, a flag, a time, a name, a date and a short code, with a key of
// each kind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/recordfile.h"
#include "platform/stdtime.h"

namespace sample {

struct Rec {
  int32_t id = 0;
  uint8_t flag = 0;
  platform::StdTime time = 0;
  std::string name;  // STRING(10)
  platform::StdDate date = 0;
  std::string code;  // CSTRING(3)
};

enum Key { kId, kFlagTime, kName, kDate };
constexpr int kFileOrder = -1;

inline platform::rec::FileDecl MakeDecl(int nameSize) {
  using platform::rec::Field;
  using platform::rec::FieldType;
  platform::rec::FileDecl d;
  d.label = "SAMPLE";
  d.fileName = "Sample.tps";
  d.recordBytes = 4 + 1 + 4 + nameSize + 4 + 3;
  d.fields = {
      Field("SAM:ID", FieldType::Long, 0, &Rec::id),
      Field("SAM:FLAG", FieldType::Byte, 4, &Rec::flag),
      Field("SAM:TIME", FieldType::Time, 5, &Rec::time),
      Field("SAM:NAME", FieldType::String, 9, &Rec::name, nameSize),
      Field("SAM:DATE", FieldType::Date, 9 + nameSize, &Rec::date),
      Field("SAM:CODE", FieldType::CString, 13 + nameSize, &Rec::code, 3),
  };
  d.keys = {
      {.name = "SAM:KeyId", .fields = {0}, .unique = true, .primary = true, .autoNumber = true, .optional = true},
      {.name = "SAM:KeyFlag_Time", .fields = {1, 2}, .optional = true},
      {.name = "SAM:KeyName", .fields = {3}, .noCase = true, .optional = true},
      {.name = "SAM:KeyDate", .fields = {4}},
  };
  return d;
}

inline const platform::rec::FileDecl& Decl() {
  static const platform::rec::FileDecl d = MakeDecl(10);
  return d;
}

inline Rec R(std::string name, uint8_t flag = 0, platform::StdTime time = 0, platform::StdDate date = 0,
             int32_t id = 0) {
  Rec r;
  r.id = id;
  r.flag = flag;
  r.time = time;
  r.name = std::move(name);
  r.date = date;
  return r;
}

}  // namespace sample
