// Test helper: works on Sample.tps in the current folder as another process
// would, and says on standard output how far it got.
//   records_child open              opens; prints "open N"
//   records_child create            creates; prints "create N"
//   records_child add NAME          opens and adds a record; prints "add N"
//   records_child names             opens; prints "name X" for each record
//                                   in file order, then "names N"
//   records_child logout PAUSE      opens, begins a transaction, then adds
//                                   "new", renames the record numbered 1 to
//                                   "renamed" and deletes the one numbered 2,
//                                   commits; after PAUSE of these writes it
//                                   prints "paused" and waits for its
//                                   standard input to close
//   records_child commit-full       creates the file, adds in one
//                                   transaction more than the disk holds,
//                                   commits; prints "commit N", then
//                                   "again N" for a second commit, "records
//                                   N" for the count, "add N" for one more
//                                   record and "records N" again
// N is the operation's error code. The exit status is 0 when every step
// gave 0.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/locale_texts.h"
#include "tests/platform/sample_records.h"

namespace {

using platform::rec::File;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int Report(const char* what, int rc) {
  Say(std::string(what) + " " + std::to_string(rc));
  return rc;
}

// Positions on the record numbered id through the number key.
bool Find(File<sample::Rec>& f, int32_t id) {
  f.ClearBuffer();
  f.rec.id = id;
  if (f.SetKeyFromBuffer(sample::kId) != 0) return false;
  return f.Next() == 0 && f.rec.id == id;
}

int Logout(int pause) {
  File<sample::Rec> f(sample::Decl());
  if (Report("open", f.Open()) != 0) return 1;
  if (Report("logout", f.Logout()) != 0) return 1;
  int written = 0;
  auto step = [&](const char* what, int rc) {
    if (Report(what, rc) != 0) return false;
    if (++written == pause) {
      Say("paused");
      char c;
      while (::read(0, &c, 1) > 0) {
      }
    }
    return true;
  };
  f.rec = sample::R("new");
  if (!step("add", f.Add())) return 1;
  if (!Find(f, 1)) return Report("find 1", 1);
  f.rec.name = "renamed";
  if (!step("put", f.Put())) return 1;
  if (!Find(f, 2)) return Report("find 2", 1);
  if (!step("delete", f.Delete())) return 1;
  return Report("commit", f.Commit()) == 0 ? 0 : 1;
}

int CommitFull() {
  File<sample::Rec> f(sample::Decl());
  if (Report("create", f.Create()) != 0 || Report("open", f.Open()) != 0) return 1;
  if (Report("logout", f.Logout()) != 0) return 1;
  for (int i = 0; i < 20000; ++i) {
    f.rec = sample::R("n" + std::to_string(i), 1, i + 2, 0, i + 1);
    if (const int rc = f.Add(); rc != 0) return Report("add", rc) == 0 ? 0 : 1;
  }
  Report("commit", f.Commit());
  Report("again", f.Commit());
  Report("records", static_cast<int>(f.Records()));
  f.rec = sample::R("one");
  Report("add", f.Add());
  Report("records", static_cast<int>(f.Records()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string role = argc > 1 ? argv[1] : "";
  File<sample::Rec> f(sample::Decl());
  if (role == "open" && argc == 2) return Report("open", f.Open()) == 0 ? 0 : 1;
  if (role == "create" && argc == 2) return Report("create", f.Create()) == 0 ? 0 : 1;
  if (role == "add" && argc == 3) {
    if (Report("open", f.Open()) != 0) return 1;
    f.rec = sample::R(argv[2]);
    return Report("add", f.Add()) == 0 ? 0 : 1;
  }
  if (role == "names" && argc == 2) {
    if (Report("open", f.Open()) != 0) return 1;
    int rc = f.SetFileOrder();
    while (rc == 0 && (rc = f.Next()) == 0) Say("name " + f.rec.name);
    return Report("names", rc == platform::locale::RecordNotAvailable ? 0 : rc) == 0 ? 0 : 1;
  }
  if (role == "logout" && argc == 3) return Logout(std::atoi(argv[2]));
  if (role == "commit-full" && argc == 2) return CommitFull();
  std::fprintf(stderr, "usage: records_child open|create|add NAME|names|logout PAUSE|commit-full\n");
  return 2;
}
