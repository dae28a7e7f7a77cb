#include "platform/filedialog.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/fsutil.h"
#include "tests/support/tempdir.h"

namespace platform {
namespace {

TEST(FileDialog, WithoutAViewItAnswersAtOnceWithNoName) {
  SetFileDialogView(nullptr);
  EXPECT_EQ(OpenFileDialog("Vyberte soubor", "Soubory WAV", "*.wav"), "");
}

TEST(FileDialog, TheViewGetsTheRequestAndTheCurrentFolderIsKept) {
  testsupport::TempDir start(/*makeCurrent=*/true);
  testsupport::TempDir elsewhere;
  const std::string before = CurrentDir();
  FileDialogRequest seen;
  SetFileDialogView([&](const FileDialogRequest& r) {
    seen = r;
    ChangeDir(elsewhere.path());  // the operator went to another folder
    return elsewhere.file("a.wav");
  });
  EXPECT_EQ(OpenFileDialog("Vyberte soubor", "soubory WAV", "*.WAV", "stare.wav"), elsewhere.file("a.wav"));
  SetFileDialogView(nullptr);
  EXPECT_EQ(seen.title, "Vyberte soubor");
  EXPECT_EQ(seen.filterName, "soubory WAV");
  EXPECT_EQ(seen.filterPattern, "*.WAV");
  EXPECT_EQ(seen.initialFile, "stare.wav");
  EXPECT_EQ(CurrentDir(), before);
}

}  // namespace
}  // namespace platform
