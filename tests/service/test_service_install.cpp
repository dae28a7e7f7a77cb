// Installing and removing the service: into a unit folder of the test's
// own, and through a scripted manager for the cases a root test cannot
// make (missing rights). Every box is recorded as "caption: text".
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/fsutil.h"
#include "platform/msgbox.h"
#include "service/scm.h"
#include "service/service.h"
#include "syslib/win32error.h"
#include "tests/support/child.h"
#include "tests/support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::SnapshotFolder;
using testsupport::TempDir;
using Boxes = std::vector<std::string>;

// The box after "/IS" from the folder, with the program at exe.
std::string Installed(const std::string& exe, const std::string& folder) {
  return "Finished: Service \"vELORN\" installed.\rExecutable:  " + exe + " SERVICEPATH=" + folder +
         "\rWorking folder:  " + folder + "\rRestart:  on failure, after 10 s";
}
constexpr const char* kRemoved = "Finished: Service \"vELORN\" removed.";
constexpr const char* kExists = "Error: SERVICE EXISTS.\rCannot create Service Entry in Registry.";
constexpr const char* kDoesNotExist = "Error: SERVICE DOES NOT EXIST.\rCannot open and remove Service Entry in Registry.";
constexpr const char* kRights =
    "Cannot Create Service: This process requires administrator rights in order to create this service.";

class Install : public ::testing::Test {
 protected:
  Install() {
    ::setenv("VELORN_UNIT_DIR", units_.path().c_str(), 1);
    for (const char* v : {"VELORN_COM1", "VELORN_COM2", "VELORN_COM12", "VELORN_COM0", "VELORN_COMX", "VELORN_LPT1"})
      ::unsetenv(v);
    start_ = fs::current_path().string();
    platform::SetBoxView([this](std::string_view text, std::string_view caption, platform::BoxIcon icon,
                                unsigned buttons, unsigned) {
      EXPECT_EQ(icon, platform::BoxIcon::None);
      EXPECT_EQ(buttons, unsigned{platform::BoxOk});
      boxes_.push_back(std::string(caption) + ": " + std::string(text));
      return unsigned{platform::BoxOk};
    });
  }
  ~Install() override {
    fs::current_path(start_);
    platform::SetBoxView(nullptr);
    service::SetServiceControlManager(nullptr);
    ::unsetenv("VELORN_UNIT_DIR");
    for (const char* v : {"VELORN_COM1", "VELORN_COM2", "VELORN_COM12", "VELORN_COM0", "VELORN_COMX", "VELORN_LPT1"})
      ::unsetenv(v);
  }

  // Makes a folder of that name in a temporary folder and makes it current;
  // returns its path.
  std::string EnterDataFolder(const std::string& name) {
    const std::string path = data_.path() + "/" + name;
    fs::create_directories(path);
    fs::current_path(path);
    return path;
  }
  std::string Unit() const { return units_.file("vELORN.service"); }
  std::string Link() const { return units_.path() + "/multi-user.target.wants/vELORN.service"; }
  Boxes TakeBoxes() { return std::exchange(boxes_, {}); }

  TempDir units_;
  TempDir data_;
  std::string start_;
  Boxes boxes_;
};

TEST_F(Install, WritesAQuotedUnitAndEnablesIt) {
  const std::string folder = EnterDataFolder("da ta%h$HOME\"q\\b");
  ::setenv("VELORN_COM12", "/dev/serial/by-id/x%y$z", 1);
  ::setenv("VELORN_COM1", "/dev/ttyUSB0", 1);
  ::setenv("VELORN_COM2", "", 1);      // set but empty: no port
  ::setenv("VELORN_COM0", "/dev/x", 1);  // no such port number
  ::setenv("VELORN_COMX", "/dev/x", 1);
  ::setenv("VELORN_LPT1", "/dev/x", 1);
  const std::string exe = platform::ExecutablePath();

  service::InstallService();
  EXPECT_EQ(TakeBoxes(), Boxes{Installed(exe, folder)});
  EXPECT_EQ(service::ServiceCommandLine, exe + " SERVICEPATH=" + folder);

  const std::string escapedFolder = data_.path() + "/da ta%%h$$HOME\\\"q\\\\b";
  EXPECT_EQ(ReadFile(Unit()),
            "[Unit]\n"
            "Description=vELORN\n"
            "\n"
            "[Service]\n"
            "Type=notify\n"
            "ExecStart=\"" + exe + "\" \"SERVICEPATH=" + escapedFolder + "\"\n"
            "WorkingDirectory=" + data_.path() + "/da ta%%h$HOME\"q\\b\n"
            "Environment=\"VELORN_COM1=/dev/ttyUSB0\"\n"
            "Environment=\"VELORN_COM12=/dev/serial/by-id/x%%y$z\"\n"
            "Restart=on-failure\n"
            "RestartSec=10\n"
            "\n"
            "[Install]\n"
            "WantedBy=multi-user.target\n");
  struct stat st {};
  ASSERT_EQ(::stat(Unit().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_EQ(fs::read_symlink(Link()).string(), Unit());
  EXPECT_EQ(SnapshotFolder(folder), "") << "nothing in the data folder";

  int status = 0;
  std::string out;
  if (!testsupport::VerifyUnit(Unit(), &status, &out)) {
    std::printf("systemd-analyze is not installed: the unit was not verified\n");
    return;
  }
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out, "");
}

TEST_F(Install, TheFourBoxesWordForWord) {
  const std::string folder = EnterDataFolder("data");
  const std::string exe = platform::ExecutablePath();

  service::InstallService();
  const std::string unit = ReadFile(Unit());
  service::InstallService();
  EXPECT_EQ(ReadFile(Unit()), unit) << "an existing unit is left as it is";
  service::RemoveService();
  EXPECT_FALSE(fs::exists(fs::symlink_status(Unit())));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Link())));
  service::RemoveService();
  EXPECT_EQ(TakeBoxes(), (Boxes{Installed(exe, folder), kExists, kRemoved, kDoesNotExist}));

  // A stale link without its unit is replaced by the next installation.
  fs::create_symlink("/nowhere", Link());
  service::InstallService();
  EXPECT_EQ(fs::read_symlink(Link()).string(), Unit());
  EXPECT_EQ(ReadFile(Unit()), unit);
}

TEST_F(Install, UnsafeOrOverlongCommandLinesAreRefusedWithNothingWritten) {
  const std::string exe = platform::ExecutablePath();
  // The command line is exe + " SERVICEPATH=" + folder; a folder of this
  // many characters below the data folder gives a line of 255.
  const size_t fill255 = 255 - exe.size() - std::string(" SERVICEPATH=").size() - data_.path().size() - 1;
  ASSERT_GT(fill255, 10u);
  const std::string invalid = "Error: INVALID NAME.\rCannot create Service Entry in Registry.";
  const std::string tooLong = "Error: FILENAME EXCED RANGE.\rCannot create Service Entry in Registry.";
  auto fill = [](size_t chars, const std::string& unit) {
    std::string s;
    for (size_t i = 0; i < chars; ++i) s += unit;
    return s;
  };
  struct Row {
    const char* what;
    std::string folderName;
    const char* port;  // VELORN_COM1, nullptr: unset
    std::string box;   // "" installs
  } rows[] = {
      {"line feed in the folder", "a\nb", nullptr, invalid},
      {"tab in the folder", "a\tb", nullptr, invalid},
      {"DEL in the folder", "a\x7f" "b", nullptr, invalid},
      {"not UTF-8", "a\xff" "b", nullptr, invalid},
      {"line feed in a port", "p", "/dev/ttyS0\nExecStartPre=/bin/false", invalid},
      // The working folder is taken unquoted: these would name another.
      {"a blank at the folder's end", "data ", nullptr, invalid},
      {"a backslash at the folder's end", "data\\", nullptr, invalid},
      {"256 characters", fill(fill255 + 1, "x"), nullptr, tooLong},
      {"256 characters, some of two bytes", fill(fill255 - 9, "x") + fill(10, "č"), nullptr, tooLong},
      {"255 characters", fill(fill255, "x"), nullptr, ""},
      {"255 characters, some of two bytes", fill(fill255 - 10, "x") + fill(10, "č"), nullptr, ""},
  };
  fs::create_directories(fs::path(Link()).parent_path());  // as on a system
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    if (r.port) ::setenv("VELORN_COM1", r.port, 1);
    else ::unsetenv("VELORN_COM1");
    const std::string folder = EnterDataFolder(r.folderName);
    const std::string before = SnapshotFolder(units_.path());
    service::InstallService();
    if (r.box.empty()) {
      EXPECT_EQ(TakeBoxes(), Boxes{Installed(exe, folder)});
      service::RemoveService();
      EXPECT_EQ(TakeBoxes(), Boxes{kRemoved});
    } else {
      EXPECT_EQ(TakeBoxes(), Boxes{r.box});
    }
    EXPECT_EQ(SnapshotFolder(units_.path()), before) << "nothing written, or nothing left";
    fs::current_path(data_.path());
    fs::remove_all(folder);
  }
}

// A manager that answers as scripted and records what it was asked.
class ScriptedManager : public service::ServiceManager {
 public:
  uint32_t fullAccessError = 0;  // 0: opens
  uint32_t lookAccessError = 0;
  uint32_t createError = 0;
  uint32_t openServiceError = 0;
  uint32_t deleteError = 0;
  std::vector<std::string> calls;

  bool OpenSCManagerA(uint32_t access) override {
    calls.push_back("open " + std::to_string(access));
    return Answer(access == service::STANDARD_RIGHTS_REQUIRED ? lookAccessError : fullAccessError);
  }
  bool CreateServiceA(const service::ServiceConfig& c) override {
    calls.push_back("create " + c.name + " " + std::to_string(c.serviceType) + " " + std::to_string(c.startType) +
                    " " + std::to_string(c.errorControl));
    return Answer(createError);
  }
  bool OpenServiceA(std::string_view name) override {
    calls.push_back("open service " + std::string(name));
    return Answer(openServiceError);
  }
  bool DeleteService(std::string_view name) override {
    calls.push_back("delete " + std::string(name));
    return Answer(deleteError);
  }

 private:
  static bool Answer(uint32_t error) {
    if (error == 0) return true;
    syslib::SetLastError(error);
    return false;
  }
};

TEST_F(Install, RightsAndManagerFailuresGiveTheirBoxes) {
  EnterDataFolder("data");
  const std::string openFull = "open 983042", openLook = "open 983040";
  const std::string noManager =
      "Error: SERVER UNAVAILABLE.\r\rNo Service Control Manager available.\rCheck your security access rights.\r\r";
  struct Row {
    const char* what;
    bool install;
    ScriptedManager m;
    std::string box;
    std::vector<std::string> calls;
  };
  auto manager = [](uint32_t full, uint32_t look, uint32_t create, uint32_t open, uint32_t del) {
    ScriptedManager m;
    m.fullAccessError = full;
    m.lookAccessError = look;
    m.createError = create;
    m.openServiceError = open;
    m.deleteError = del;
    return m;
  };
  Row rows[] = {
      {"install without rights", true, manager(5, 0, 0, 0, 0), kRights, {openFull, openLook}},
      {"remove without rights", false, manager(5, 0, 0, 0, 0), kRights, {openFull, openLook}},
      {"install, no manager", true, manager(5, 1722, 0, 0, 0), noManager, {openFull, openLook}},
      {"remove, no manager", false, manager(5, 1722, 0, 0, 0), noManager, {openFull, openLook}},
      {"create refused", true, manager(0, 0, 5, 0, 0),
       "Error: ACCESS DENIED.\rCannot create Service Entry in Registry.", {openFull, "create vELORN 272 2 1"}},
      {"delete refused", false, manager(0, 0, 0, 0, 5), "Error: ACCESS DENIED.\rCannot remove Service Entry in Registry.",
       {openFull, "open service vELORN", "delete vELORN"}},
  };
  for (Row& r : rows) {
    SCOPED_TRACE(r.what);
    service::SetServiceControlManager(&r.m);
    r.install ? service::InstallService() : service::RemoveService();
    EXPECT_EQ(TakeBoxes(), Boxes{r.box});
    EXPECT_EQ(r.m.calls, r.calls);
  }
  service::SetServiceControlManager(nullptr);
  EXPECT_EQ(SnapshotFolder(units_.path()), "");
}

TEST_F(Install, AUnitFolderThatIsNoFolderIsNoManager) {
  EnterDataFolder("data");
  const std::string tail = ".\r\rNo Service Control Manager available.\rCheck your security access rights.\r\r";
  struct Row {
    const char* what;
    std::string folder;
    std::string box;
  } rows[] = {
      {"missing", units_.path() + "/missing", "Error: FILE NOT FOUND" + tail},
      {"a file", units_.file("file"), "Error: PATH NOT FOUND" + tail},
  };
  testsupport::WriteFile(units_.file("file"), "");
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ::setenv("VELORN_UNIT_DIR", r.folder.c_str(), 1);
    service::InstallService();
    service::RemoveService();
    EXPECT_EQ(TakeBoxes(), (Boxes{r.box, r.box}));
  }
}

}  // namespace
