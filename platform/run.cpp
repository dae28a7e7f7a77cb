#include "platform/run.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>

extern char** environ;

namespace platform {
namespace {

struct Tool {
  std::string_view tail;  // after the Windows folder
  std::array<std::string_view, 2> programs;
};

constexpr Tool kTools[] = {
    {"\\system32\\sndvol32.exe", {"pavucontrol", "pavucontrol-qt"}},
    {"\\system32\\sndrec32.exe", {"gnome-sound-recorder", "audacity"}},
};

std::string SearchPath() {
  if (const char* p = ::getenv("PATH")) return p;
  std::string path(::confstr(_CS_PATH, nullptr, 0), '\0');
  if (!path.empty()) ::confstr(_CS_PATH, path.data(), path.size());
  if (!path.empty()) path.pop_back();  // the terminating zero
  return path;
}

// The full path of name in PATH's first absolute folder that has it as an
// executable regular file; "" when none has.
std::string FindOnPath(std::string_view name) {
  const std::string path = SearchPath();
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string_view dir(path.data() + start, end - start);
    start = end + 1;
    if (dir.empty() || dir.front() != '/') continue;
    std::string file(dir);
    if (file.back() != '/') file += '/';
    file += name;
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0) return file;
  }
  return {};
}

// Starts program detached (see run.h); 0 or the errno of the failure. The
// intermediate process starts the program and ends with posix_spawn's
// result as its exit status; everything it needs is made before the fork,
// so it calls nothing but posix_spawn and _exit.
int Spawn(const std::string& program) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawnattr_init(&attr);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
  ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t none, all;
  ::sigemptyset(&none);
  // Every signal back to its default, the C library's own two (32 and 33)
  // included: sigfillset leaves them out, and posix_spawn leaves signals it
  // is not told to reset ignored in the program it starts.
  std::memset(&all, 0xFF, sizeof all);
  ::posix_spawnattr_setsigmask(&attr, &none);
  ::posix_spawnattr_setsigdefault(&attr, &all);
  ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};

  const pid_t middle = ::fork();
  if (middle == 0) {
    pid_t pid = 0;
    ::_exit(::posix_spawn(&pid, program.c_str(), &actions, &attr, argv, environ));
  }
  const int forkError = middle < 0 ? errno : 0;
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attr);
  if (middle < 0) return forkError;

  int status = 0;
  while (::waitpid(middle, &status, 0) < 0) {
    if (errno != EINTR) return errno;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : ECHILD;
}

}  // namespace

RunResult RunNoWait(std::string_view commandLine, std::string_view windowsFolder) {
  RunResult r;
  const Tool* tool = nullptr;
  for (const Tool& t : kTools) {
    if (commandLine.size() == windowsFolder.size() + t.tail.size() && commandLine.starts_with(windowsFolder) &&
        commandLine.ends_with(t.tail))
      tool = &t;
  }
  if (tool == nullptr) return r;
  for (std::string_view p : tool->programs) r.lookedFor.emplace_back(p);
  for (std::string_view p : tool->programs) {
    r.program = FindOnPath(p);
    if (!r.program.empty()) break;
  }
  if (r.program.empty()) {
    r.status = RunStatus::NoneFound;
    return r;
  }
  r.error = Spawn(r.program);
  r.status = r.error == 0 ? RunStatus::Started : RunStatus::Failed;
  return r;
}

}  // namespace platform
