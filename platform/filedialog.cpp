#include "platform/filedialog.h"

#include <mutex>

#include "platform/fsutil.h"

namespace platform {

namespace {

std::mutex gMutex;
FileDialogView gView;

}  // namespace

std::string OpenFileDialog(std::string_view title, std::string_view filterName, std::string_view filterPattern,
                           std::string_view initialFile) {
  FileDialogView view;
  {
    std::lock_guard lock(gMutex);
    view = gView;
  }
  if (!view) return {};
  const std::string folder = CurrentDir();
  std::string chosen = view({std::string(title), std::string(filterName), std::string(filterPattern),
                             std::string(initialFile)});
  if (!folder.empty() && CurrentDir() != folder) ChangeDir(folder);
  return chosen;
}

void SetFileDialogView(FileDialogView view) {
  std::lock_guard lock(gMutex);
  gView = std::move(view);
}

}  // namespace platform
