// The open-file dialog: the operator picks one existing file.
//
// The dialog is shown by the view installed for the process. Without one
// (the headless form) it answers at once with an empty name, as a cancelled
// dialog does.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform {

struct FileDialogRequest {
  std::string title;
  std::string filterName;     // "Soubory WAV"
  std::string filterPattern;  // "*.wav"; letters match in either case
  std::string initialFile;    // may be empty
};

// Shows the dialog with its single filter and returns the chosen file's
// full path, or "" when the operator cancelled. The current folder is the
// same afterwards, wherever the operator went in the dialog.
std::string OpenFileDialog(std::string_view title, std::string_view filterName, std::string_view filterPattern,
                           std::string_view initialFile = {});

// A view's dialog: installed by a window view, removed with nullptr.
using FileDialogView = std::function<std::string(const FileDialogRequest&)>;
void SetFileDialogView(FileDialogView view);

}  // namespace platform
