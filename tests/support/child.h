// A child process with pipes on its standard streams, for tests that run the
// real executable or a helper tool.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

struct ChildOptions {
  std::string cwd;                  // "" = the test's current folder
  std::vector<std::string> env;     // "NAME=value" added to (or replacing in) the environment
  bool pipeStdin = true;            // keep a pipe to the child's standard input
  // Start from an empty environment: only env, and the sanitizers' options
  // of an instrumented build.
  bool cleanEnv = false;
};

class Child {
 public:
  Child(const std::string& exe, const std::vector<std::string>& args, const ChildOptions& opts = {});
  ~Child();  // kills and reaps a child still running
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  // Waits until a line of standard output contains text; false on time-out
  // or when the child closed its output first.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
  // Sends a signal.
  void Signal(int sig);
  // Closes the pipe to the child's standard input.
  void CloseStdin();
  // Waits for the end; the exit status, 128+signal when killed, -1 on time-out.
  int Wait(std::chrono::milliseconds timeout);
  // Everything read so far (Wait reads the rest).
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  void Pump(int timeoutMs);
  pid_t pid_ = -1;
  int in_ = -1, outFd_ = -1, errFd_ = -1;
  std::string out_, err_;
  int status_ = -1;
  bool reaped_ = false;
};

// Whether a child can be given a private mount namespace here (as root,
// with the unshare tool), so that a test can write-protect a folder or a
// file for that child alone with read-only bind mounts.
bool PrivateMountsWork();

// The arguments for a Child of "/usr/bin/unshare" that runs the shell
// commands `mounts` (mount(8) commands; the child's environment is theirs)
// in a private mount namespace, then exe with args in the folder cwd.
std::vector<std::string> InPrivateMounts(const std::string& mounts, const std::string& cwd, const std::string& exe,
                                         const std::vector<std::string>& args);
inline constexpr const char* kUnshare = "/usr/bin/unshare";

// The environment for a child run of the program: headless boxes, a
// runtime folder of the test's own for the instance lock, no service
// manager (NOTIFY_SOCKET empty) and a missing unit folder.
std::vector<std::string> ProgramEnv(const std::string& runtimeDir);
// Sets "NAME=value" in an environment list, replacing an entry of that name.
void SetEnv(std::vector<std::string>& env, const std::string& entry);

// Runs a command through the shell with standard error joined to standard
// output; its exit status (-1 when it did not exit), its output in *output.
int Shell(const std::string& command, std::string* output);
// Opens an SQLite file with the sqlite3 tool, reads its schema and closes
// it, as another reader of the program's record files would; true when the
// tool read it.
bool ReadWithSqliteTool(const std::string& dbFile);
// `systemd-analyze verify` on a unit file: its exit status and output;
// false when the tool is not installed.
bool VerifyUnit(const std::string& unitFile, int* status, std::string* output);

}  // namespace testsupport
