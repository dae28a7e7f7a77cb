// The program start: runs a Windows command line without waiting for it.
//
// Only two command lines are known, below the Windows folder the caller
// gives, each standing for programs tried in this order:
//   folder & "\system32\sndvol32.exe": the volume control, pavucontrol, else
//     pavucontrol-qt;
//   folder & "\system32\sndrec32.exe": the sound recorder,
//     gnome-sound-recorder, else audacity.
// A command line must match one of them exactly (case and blanks included);
// any other text is refused and nothing is started.
//
// The first of the programs found on PATH is started: an executable regular
// file in one of PATH's absolute folders (empty and relative entries, which
// would name the current folder, are skipped; with PATH unset, the system's
// default path). It runs detached: in a session of its own, the child of an
// intermediate process that ends at once and is reaped here, so no zombie is
// left and the program itself is never waited for. It gets an empty signal
// mask and every signal at its default disposition (the caller's blocked and
// ignored signals do not pass on), standard input, output and error on
// /dev/null, no other descriptor of the caller (close-on-exec or not), the
// caller's environment and no arguments.
//
// The call returns as soon as the program has been executed, or has failed to
// be; it never waits for the program itself. Any thread may call it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RunStatus {
  Started,    // the program runs
  NoneFound,  // a known command line, none of its programs found: nothing started
  Refused,    // not a known command line: nothing started
  Failed,     // a program found but not started (error: the errno)
};

struct RunResult {
  RunStatus status = RunStatus::Refused;
  // The programs the command line stands for, in the order looked for;
  // empty when refused.
  std::vector<std::string> lookedFor;
  std::string program;  // Started, Failed: the full path of the program
  int error = 0;        // Failed: the errno of the fork, the wait or the execution
};

// Starts the program a command line stands for (see above). windowsFolder:
// the Windows folder the known command lines begin with.
RunResult RunNoWait(std::string_view commandLine, std::string_view windowsFolder);

}  // namespace platform
