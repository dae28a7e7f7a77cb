// Folders, paths and the mapping of system errors to platform error codes.
#pragma once

#include <string>

namespace platform {

// The current folder, absolute; "" when it cannot be read.
std::string CurrentDir();
// Makes a folder current; false (and the current folder unchanged) on failure.
bool ChangeDir(const std::string& path);
// The canonical absolute form of a folder (the short path of the system);
// the current folder when path is empty; "" when it cannot be resolved.
std::string ShortPath(const std::string& path = {});
// The full path of the running program's file.
std::string ExecutablePath();
// A platform error code (platform/locale_texts.h) for an errno value.
int ErrnoToCode(int err);

}  // namespace platform
