#include "app/ui/system_tools.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/window.h"
#include "syslib/dllhelp.h"
#include "tests/support/fake_programs.h"

namespace app::ui {
namespace {

namespace pu = platform::ui;

// An operator who notes every box that opens and presses its OK button.
class BoxOperator : public pu::HeadlessView {
 public:
  struct Box {
    std::string icon, title, text;
  };
  std::vector<Box> boxes;

  bool Interactive() const override { return true; }
  void Pump(pu::EventQueue& q, uint64_t gen, std::optional<pu::TimePoint> deadline) override {
    pu::Window& w = *pu::ThreadWindows().back();
    if (w.Find("?BUTTON_OK") == nullptr) return HeadlessView::Pump(q, gen, deadline);
    boxes.push_back({w["?IMAGE1"].Image(), w.Text(), w["?UZIVATELSKY_TEXT"].Text()});
    w.Press("?BUTTON_OK");
  }
};

class SystemTools : public testing::Test {
 protected:
  BoxOperator op;
  testsupport::FakePrograms fakes;
  testsupport::ScopedProgramSignals signals;
  void SetUp() override { pu::SetThreadView(&op); }
  void TearDown() override { pu::SetThreadView(nullptr); }
};

const std::string kVolume = syslib::GetWindowsFolder() + "\\system32\\sndvol32.exe";
const std::string kRecorder = syslib::GetWindowsFolder() + "\\system32\\sndrec32.exe";

TEST_F(SystemTools, NoProgramFoundShowsTheBoxNamingTheProgramsLookedFor) {
  testsupport::ScopedPath path(fakes.bin());
  const struct {
    std::string command, names;
  } cases[] = {{kVolume, "pavucontrol, pavucontrol-qt"}, {kRecorder, "gnome-sound-recorder, audacity"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    op.boxes.clear();
    RunSystemTool(c.command);
    ASSERT_EQ(op.boxes.size(), 1u);
    EXPECT_EQ(op.boxes[0].icon, "stop.ico");
    EXPECT_EQ(op.boxes[0].title, "Chyba");
    EXPECT_EQ(op.boxes[0].text,
              "Program nelze spustit !\r\n\r\nV systému nebyl nalezen žádný z programů: " + c.names +
                  ".\r\nNainstalujte jeden z nich a poté akci opakujte.");
  }
  EXPECT_EQ(fakes.Reports().size(), 0u);
}

TEST_F(SystemTools, AProgramFoundStartsWithoutABox) {
  fakes.Add("pavucontrol-qt");
  fakes.Add("gnome-sound-recorder");
  testsupport::ScopedPath path(fakes.bin());
  const struct {
    std::string command, started;
  } cases[] = {{kVolume, "pavucontrol-qt"}, {kRecorder, "gnome-sound-recorder"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    RunSystemTool(c.command);
    const auto probe = fakes.Release();
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->name, c.started);
  }
  EXPECT_EQ(op.boxes.size(), 0u);
  EXPECT_EQ(testsupport::ZombieChildren(), std::vector<pid_t>{});
}

// Any other text: no box and nothing started, whatever is on PATH.
TEST_F(SystemTools, AnyOtherTextDoesNothing) {
  fakes.Add("pavucontrol");
  testsupport::ScopedPath path(fakes.bin());
  for (const std::string& text : {std::string("pavucontrol"), std::string("C:\\WINDOWS\\system32\\sndvol32.exe"),
                                 syslib::GetWindowsFolder() + "\\system32\\mplay32.exe"})
    RunSystemTool(text);
  RunSystemTool(kVolume);
  ASSERT_TRUE(fakes.Release());
  EXPECT_EQ(fakes.Reports().size(), 1u);
  EXPECT_EQ(op.boxes.size(), 0u);
}

}  // namespace
}  // namespace app::ui
