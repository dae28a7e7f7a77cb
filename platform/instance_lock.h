// The named mutex of the single-instance guard, as a lock file.
//
// The lock file lives in the runtime folder: $XDG_RUNTIME_DIR/velorn when
// that variable names a folder of ours that nobody else can write, else for
// root /run/velorn; there is none otherwise. Its name is the mutex name
// followed by a hash of the full canonical folder it guards, so two folders
// whose mutex names collide never share one lock. The file is opened
// close-on-exec and without following links; the lock dies with the process.
#pragma once

#include <string>

namespace platform {

inline constexpr long kErrorAlreadyExists = 183;

struct MutexResult {
  long handle = 0;  // 0 when no mutex was made
  long error = 0;   // 0, kErrorAlreadyExists, or another failure (errno-based)
};

// The runtime folder (created 0700 when missing); "" when there is none.
std::string RuntimeDir();

// The lock file's name for a mutex name and the folder it guards.
std::string LockFileName(const std::string& mutexName, const std::string& canonicalFolder);

// Creates (or opens) the mutex. When another process holds it, the handle is
// valid (to be closed) and error is kErrorAlreadyExists.
MutexResult CreateInstanceMutex(const std::string& mutexName, const std::string& canonicalFolder);
// Releases a mutex this process holds.
void ReleaseInstanceMutex(long handle);
// Closes a handle from CreateInstanceMutex.
void CloseInstanceMutex(long handle);

}  // namespace platform
