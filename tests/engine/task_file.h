// Tasks.tps in the test's current folder, for engine tests: tasks added with
// the new-record defaults and read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>

#include "app/data/records.h"

namespace testsupport {

using TaskFile = platform::rec::File<app::data::TasksRecord>;

// Adds a task: the new-record defaults and the next number, then what fill
// sets (the number stays). Makes the file when it is missing. Its number.
inline int32_t AddTask(const std::function<void(app::data::TasksRecord&)>& fill) {
  TaskFile f(app::data::TasksDecl());
  EXPECT_EQ(f.Create(), 0);
  EXPECT_EQ(f.Open(), 0);
  f.ClearBuffer();
  app::data::PrimeTaskDefaults(f.rec);
  f.PrimeAutoNumber();
  const int32_t id = f.rec.ID;
  fill(f.rec);
  f.rec.ID = id;
  EXPECT_EQ(f.Add(), 0);
  return id;
}

// Every task, by number.
inline std::map<int32_t, app::data::TasksRecord> ReadTasks() {
  std::map<int32_t, app::data::TasksRecord> all;
  TaskFile f(app::data::TasksDecl());
  EXPECT_EQ(f.Open(), 0);
  f.SetFileOrder();
  while (f.Next() == 0) all[f.rec.ID] = f.rec;
  return all;
}

// The first task in file order (blank when there is none).
inline app::data::TasksRecord FirstTask() {
  const auto all = ReadTasks();
  EXPECT_FALSE(all.empty());
  return all.empty() ? app::data::TasksRecord{} : all.begin()->second;
}

// Changes the first task in file order.
inline void ChangeFirstTask(const std::function<void(app::data::TasksRecord&)>& change) {
  TaskFile f(app::data::TasksDecl());
  ASSERT_EQ(f.Open(), 0);
  f.SetFileOrder();
  ASSERT_EQ(f.Next(), 0);
  change(f.rec);
  ASSERT_EQ(f.Put(), 0);
}

}  // namespace testsupport
