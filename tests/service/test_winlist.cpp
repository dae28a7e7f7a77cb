#include "service/winlist.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/instance_lock.h"
#include "platform/window.h"
#include "tests/support/child.h"
#include "tests/support/tempdir.h"

namespace service {
namespace {

using namespace std::chrono_literals;
namespace ui = platform::ui;
using testsupport::Child;
using testsupport::TempDir;

const std::string kHolder = std::string(VELORN_TOOLS_DIR) + "/velorn_winholder";

// A runtime folder of the test binary's own, set before any thread starts.
class RuntimeFolder : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = std::make_unique<TempDir>();
    ::chmod(dir_->path().c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", dir_->path().c_str(), 1);
  }
  void TearDown() override { dir_.reset(); }
  static std::string Path() { return std::getenv("XDG_RUNTIME_DIR"); }

 private:
  std::unique_ptr<TempDir> dir_;
};
[[maybe_unused]] const auto* const kRuntime = ::testing::AddGlobalTestEnvironment(new RuntimeFolder);

struct NativeThread {
  NativeThread() { ui::SetThreadView(&ui::SharedNativeHeadlessView()); }
  ~NativeThread() { ui::SetThreadView(nullptr); }
};

// Answers WM_GETTEXT with the text kept for its handle (any thread).
std::mutex gAnswersMutex;
std::vector<std::pair<HWND, std::string>> gAnswers;
std::vector<std::pair<HWND, ui::WNDPROC>> gPrev;

ui::LRESULT Answering(HWND h, ui::UINT msg, ui::WPARAM wp, ui::LPARAM lp) {
  std::string answer;
  ui::WNDPROC prev = nullptr;
  bool has = false;
  {
    std::lock_guard lock(gAnswersMutex);
    for (const auto& [ah, text] : gAnswers)
      if (ah == h) answer = text, has = true;
    for (const auto& [ph, p] : gPrev)
      if (ph == h) prev = p;
  }
  if (msg == ui::WM_GETTEXT && has && wp > answer.size()) {
    answer.copy(reinterpret_cast<char*>(lp), answer.size());
    reinterpret_cast<char*>(lp)[answer.size()] = '\0';
    return static_cast<ui::LRESULT>(answer.size());
  }
  return ui::CallWindowProc(prev, h, msg, wp, lp);
}

void AnswerText(HWND h, std::string text) {
  std::lock_guard lock(gAnswersMutex);
  gAnswers.emplace_back(h, std::move(text));
  gPrev.emplace_back(h, ui::SetWindowProc(h, Answering));
}

struct WindowSpec {
  std::string title;
  std::optional<std::string> answer;
  bool hidden = false, iconic = false;
  std::string className = "TestClass";
};
WindowSpec Spec(std::string title, std::optional<std::string> answer = std::nullopt, bool hidden = false,
                bool iconic = false, std::string className = "TestClass") {
  WindowSpec s;
  s.title = std::move(title);
  s.answer = std::move(answer);
  s.hidden = hidden;
  s.iconic = iconic;
  s.className = std::move(className);
  return s;
}

// Windows on a thread of their own, which runs the first one's loop and
// records its events.
class WindowsThread {
 public:
  explicit WindowsThread(std::vector<WindowSpec> specs) : specs_(std::move(specs)) {
    auto handles = opened_.get_future();
    thread_ = std::thread([this] {
      NativeThread native;
      std::vector<std::unique_ptr<ui::Window>> ws;
      std::vector<HWND> hs;
      for (const auto& s : specs_) ws.push_back(OpenWindow(s, hs));
      opened_.set_value(hs);
      Recorder c(*ws.front(), *this);
      c.Run();
    });
    handles_ = handles.get();
  }
  ~WindowsThread() {
    ui::PostMessage(handles_.front(), ui::WM_CLOSE, 0, 0);
    thread_.join();
  }
  const std::vector<HWND>& handles() const { return handles_; }
  // Waits until the first window's loop has handled the event.
  bool WaitFor(int event) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, 5s, [&] { return std::find(events_.begin(), events_.end(), event) != events_.end(); });
  }

  static std::unique_ptr<ui::Window> OpenWindow(const WindowSpec& s, std::vector<HWND>& hs) {
    auto w = std::make_unique<ui::Window>();
    ui::SetWindowClass(*w, s.className);
    w->SetText(s.title);
    w->SetHide(s.hidden);
    w->SetIconize(s.iconic);
    w->Open();
    hs.push_back(ui::FrameHandle(*w));
    if (s.answer) AnswerText(hs.back(), *s.answer);
    return w;
  }

 private:
  class Recorder : public ui::WindowController {
   public:
    Recorder(ui::Window& w, WindowsThread& t) : WindowController(w), t_(t) {}
    int OnWindowEvent() override {
      {
        std::lock_guard lock(t_.mutex_);
        t_.events_.push_back(window().EventNumber());
      }
      t_.cv_.notify_all();
      return WindowController::OnWindowEvent();
    }

   private:
    WindowsThread& t_;
  };

  const std::vector<WindowSpec> specs_;
  std::promise<std::vector<HWND>> opened_;
  std::thread thread_;
  std::vector<HWND> handles_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<int> events_;
};

// A handle of the same process that names no window.
HWND NoWindowOf(HWND h) { return (h & ~HWND{0xffffffff}) | 0xfffffffe; }

const WinEntry* Find(HWND h) {
  for (const auto& e : QWin())
    if (e.handle == h) return &e;
  return nullptr;
}

std::vector<WinEntry> Of(uint32_t pid) {
  std::vector<WinEntry> out;
  for (const auto& e : QWin())
    if (ui::HandleProcess(e.handle) == pid) out.push_back(e);
  return out;
}

const std::string kLong = std::string(1100, 'x');

// The cases of a window list, for windows on the enumerating thread and on
// another thread (the answers of the latter come from its thread's list).
const std::vector<WindowSpec> kCases = {
    Spec("Titled", std::nullopt, false, false, "ClassTitled"),
    Spec("   "),         // blanks are a title
    Spec("", "Answered"),  // an untitled window answering
    Spec("", "   "),     // answering blanks only: left out
    Spec(""),            // no title at all: left out
    Spec("Hidden", std::nullopt, true),
    Spec("Minimised", std::nullopt, true, true),
    Spec(kLong, std::nullopt, false, false, kLong),
};
struct Expect {
  bool listed;
  std::string title;
};
const std::vector<Expect> kExpected = {
    {true, "Titled"}, {true, "   "},      {true, "Answered"},
    {false, ""},      {false, ""},        {true, "Hidden"},
    {true, "Minimised"}, {true, std::string(1022, 'x')},
};

void CheckCases(const std::vector<HWND>& hs, const std::string& where) {
  for (std::size_t i = 0; i < kCases.size(); ++i) {
    const WinEntry* e = Find(hs[i]);
    ASSERT_EQ(e != nullptr, kExpected[i].listed) << where << " case " << i;
    if (e == nullptr) continue;
    EXPECT_EQ(e->title, kExpected[i].title) << where << " case " << i;
    EXPECT_EQ(e->className, kCases[i].className.substr(0, kWinTextChars)) << where << " case " << i;
  }
}

TEST(WinList, TheCasesOfAListOnTheCallingThreadAndAnother) {
  NativeThread native;
  std::vector<HWND> own;
  std::vector<std::unique_ptr<ui::Window>> ws;
  for (const auto& s : kCases) ws.push_back(WindowsThread::OpenWindow(s, own));
  WindowsThread other(kCases);
  // The other thread has dispatched once its reply comes.
  ui::SendMessage(other.handles().front(), ui::WM_GETTEXTLENGTH, 0, 0);

  EnumerateTopWindows();
  CheckCases(own, "calling thread");
  CheckCases(other.handles(), "other thread");
  // Top first: the other thread's windows opened last.
  const auto pos = [](HWND h) {
    return std::find_if(QWin().begin(), QWin().end(), [h](const WinEntry& e) { return e.handle == h; }) - QWin().begin();
  };
  EXPECT_LT(pos(other.handles().back()), pos(other.handles().front()));
  EXPECT_LT(pos(other.handles().front()), pos(own.back()));
}

TEST(WinList, EachThreadHasItsOwnListAndASecondCallReplacesIt) {
  NativeThread native;
  std::vector<HWND> hs;
  auto a = WindowsThread::OpenWindow(Spec("A"), hs);
  auto b = WindowsThread::OpenWindow(Spec("B"), hs);
  EnumerateTopWindows();
  ASSERT_TRUE(Find(hs[0]) && Find(hs[1]));
  const std::size_t first = QWin().size();

  std::size_t seenThere = 99;
  std::thread([&] {
    seenThere = QWin().size();  // a fresh thread's list is empty
    EnumerateTopWindows();
  }).join();
  EXPECT_EQ(seenThere, 0u);
  EXPECT_EQ(QWin().size(), first) << "the other thread's list is its own";

  b->Close();
  EnumerateTopWindows();
  EXPECT_EQ(QWin().size(), first - 1);
  EXPECT_TRUE(Find(hs[0]));
  EXPECT_FALSE(Find(hs[1]));
  EXPECT_EQ(std::count_if(QWin().begin(), QWin().end(), [&](const WinEntry& e) { return e.handle == hs[0]; }), 1);
}

TEST(WinList, IsIconicAndRequestsOnWindowsOfThisProcess) {
  WindowsThread t({Spec("Main", std::nullopt, true, true)});
  const HWND h = t.handles()[0];
  EXPECT_TRUE(IsIconic(h)) << "iconized while hidden";
  EXPECT_TRUE(ShowWindow(h, kSwRestore));
  ASSERT_TRUE(t.WaitFor(ui::EVENT::Restored)) << "posted to the window's thread";
  EXPECT_FALSE(IsIconic(h));
  EXPECT_FALSE(ui::TopWindow(h)->hidden);
  EXPECT_TRUE(SetForegroundWindow(h));
  ASSERT_TRUE(t.WaitFor(ui::EVENT::GainFocus));
  EXPECT_FALSE(IsIconic(0));
  EXPECT_FALSE(ShowWindow(NoWindowOf(h), kSwRestore)) << "no such window";
}

// --- other processes

class Peer {
 public:
  explicit Peer(std::vector<std::string> args) {
    testsupport::ChildOptions o;
    o.env = {"XDG_RUNTIME_DIR=" + RuntimeFolder::Path()};
    child_ = std::make_unique<Child>(kHolder, args, o);
    ready_ = child_->WaitForOutput("velorn: ready", 10s);
  }
  bool ready() const { return ready_; }
  Child& child() { return *child_; }
  uint32_t pid() const { return static_cast<uint32_t>(child_->pid()); }
  int Stop() {
    child_->CloseStdin();
    return child_->Wait(10s);
  }

 private:
  std::unique_ptr<Child> child_;
  bool ready_ = false;
};

TEST(WinList, WindowsOfAnotherProcessAreListedAndReachable) {
  Peer peer({"--class", "PeerMain", "--title", "Peer main", "--hidden", "--iconic", "--open",  //
             "--answer", "Peer answered", "--open",                                             //
             "--answer", "  ", "--open",                                                        //
             "--title", "  ", "--open"});
  ASSERT_TRUE(peer.ready()) << peer.child().err();
  EnumerateTopWindows();
  const auto list = Of(peer.pid());
  ASSERT_EQ(list.size(), 3u);
  // Top first: in the reverse order of opening.
  EXPECT_EQ(list[0].title, "  ");
  EXPECT_EQ(list[1].title, "Peer answered");
  EXPECT_EQ(list[1].className, ui::kDefaultWindowClass);
  EXPECT_EQ(list[2].title, "Peer main");
  EXPECT_EQ(list[2].className, "PeerMain");

  const HWND main = list[2].handle;
  EXPECT_TRUE(IsIconic(main));
  EXPECT_TRUE(ShowWindow(main, kSwRestore));
  EXPECT_TRUE(peer.child().WaitForOutput("velorn: restored " + std::to_string(main), 5s));
  EXPECT_FALSE(IsIconic(main));
  EXPECT_TRUE(SetForegroundWindow(main));
  EXPECT_TRUE(peer.child().WaitForOutput("velorn: front " + std::to_string(main), 5s));
  EXPECT_FALSE(ShowWindow(NoWindowOf(main), kSwRestore)) << "no such window there";
  EXPECT_EQ(peer.Stop(), 0);
  EXPECT_FALSE(IsIconic(main)) << "the process is gone";
  EXPECT_NE(::access(WindowListSocket(peer.pid()).c_str(), F_OK), 0) << "its socket went with it";
}

TEST(WinList, AnotherProcessListsTheWindowsOfThisOne) {
  ASSERT_TRUE(StartWindowListServer());
  EXPECT_TRUE(StartWindowListServer()) << "once";
  WindowsThread t({Spec("Served"), Spec("", "Served answer"), Spec("")});
  ui::SendMessage(t.handles()[0], ui::WM_GETTEXTLENGTH, 0, 0);  // its thread has dispatched

  Child lister(kHolder, {"--list"}, {"", {"XDG_RUNTIME_DIR=" + RuntimeFolder::Path()}, true});
  ASSERT_EQ(lister.Wait(10s), 0) << lister.err();
  EXPECT_NE(lister.out().find(std::to_string(t.handles()[0]) + "|TestClass|Served\n"), std::string::npos)
      << lister.out();
  EXPECT_NE(lister.out().find(std::to_string(t.handles()[1]) + "|TestClass|Served answer\n"), std::string::npos)
      << lister.out();
  EXPECT_EQ(lister.out().find(std::to_string(t.handles()[2]) + "|"), std::string::npos) << lister.out();

  StopWindowListServer();
  EXPECT_NE(::access(WindowListSocket(static_cast<uint32_t>(::getpid())).c_str(), F_OK), 0);
}

TEST(WinList, ASilentProcessIsSkippedInTime) {
  Peer silent({"--title", "Silent", "--open"});
  Peer awake({"--title", "Awake", "--open"});
  ASSERT_TRUE(silent.ready() && awake.ready());
  const auto spid = static_cast<pid_t>(silent.pid());
  int st = 0;
  ::kill(spid, SIGSTOP);
  ASSERT_EQ(::waitpid(spid, &st, WUNTRACED), spid);
  ASSERT_TRUE(WIFSTOPPED(st));

  // How long the silent process is given is a figure: bench_waits.
  EnumerateTopWindows();
  EXPECT_TRUE(Of(silent.pid()).empty());
  ASSERT_EQ(Of(awake.pid()).size(), 1u);
  EXPECT_EQ(Of(awake.pid())[0].title, "Awake");
  EXPECT_EQ(::access(WindowListSocket(silent.pid()).c_str(), F_OK), 0) << "a silent socket is kept";

  // A request to a silent window gives up as well.
  EXPECT_FALSE(IsIconic((static_cast<HWND>(silent.pid()) << 32) | 2));

  ::kill(spid, SIGCONT);
  ASSERT_EQ(::waitpid(spid, &st, WCONTINUED), spid);
  ASSERT_TRUE(WIFCONTINUED(st));
  EnumerateTopWindows();
  ASSERT_EQ(Of(silent.pid()).size(), 1u);
  EXPECT_EQ(Of(silent.pid())[0].title, "Silent");
}

TEST(WinList, ASocketNobodyListensOnIsRemoved) {
  // A dead process's socket: bound, never listening.
  const uint32_t dead = 0x7ffffff0;
  const std::string path = WindowListSocket(dead);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(fd);
  // Not a socket: never removed.
  const std::string plain = WindowListSocket(dead + 1);
  testsupport::WriteFile(plain, "x");

  EnumerateTopWindows();
  EXPECT_NE(::access(path.c_str(), F_OK), 0);
  EXPECT_EQ(::access(plain.c_str(), F_OK), 0);
  ::unlink(plain.c_str());
}

// A socket bound under a name and never listening: what a process killed
// at once leaves behind. Its inode.
ino_t BindDead(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << path;
  ::close(fd);
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_ino;
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// The files of the runtime folder whose name holds a text.
int FilesNamed(const std::string& part) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(platform::RuntimeDir()))
    if (e.path().filename().string().find(part) != std::string::npos) ++n;
  return n;
}

// A process id that no process has: a child that ended and was reaped.
uint32_t GonePid() {
  Child gone("/bin/true", {});
  EXPECT_EQ(gone.Wait(10s), 0);
  return static_cast<uint32_t>(gone.pid());
}

TEST(WinList, SocketsOfProcessesThatAreGoneGoAtAStartAndAtAnEnumeration) {
  const auto tmpOf = [](uint32_t pid) {
    const std::string sock = WindowListSocket(pid);
    return sock.substr(0, sock.size() - 5) + ".tmp";
  };
  for (const bool start : {true, false}) {
    const char* const when = start ? "start" : "enumeration";
    StopWindowListServer();
    Peer killed({"--title", "Killed", "--open"});
    Peer live({"--title", "Live", "--open"});
    Peer stopped({"--title", "Stopped", "--open"});
    ASSERT_TRUE(killed.ready() && live.ready() && stopped.ready());
    killed.child().Signal(SIGKILL);
    ASSERT_EQ(killed.child().Wait(10s), 128 + SIGKILL);
    ASSERT_TRUE(Exists(WindowListSocket(killed.pid()))) << "a killed process leaves its socket";
    ::kill(static_cast<pid_t>(stopped.pid()), SIGSTOP);
    // A living process that has the id of a dead one, not listening.
    Child reused("/bin/sleep", {"30"});
    const auto rpid = static_cast<uint32_t>(reused.pid());
    BindDead(WindowListSocket(rpid));
    BindDead(tmpOf(rpid));
    const uint32_t gone = GonePid();
    BindDead(tmpOf(gone));
    testsupport::WriteFile(WindowListSocket(gone), "not a socket");

    struct Case {
      const char* what;
      std::string path;
      bool kept;
    } cases[] = {
        {"killed with SIGKILL", WindowListSocket(killed.pid()), false},
        {"its id now another process's, nobody listening", WindowListSocket(rpid), false},
        {"living", WindowListSocket(live.pid()), true},
        {"stopped", WindowListSocket(stopped.pid()), true},
        {"temporary name, process gone", tmpOf(gone), false},
        {"temporary name, process living", tmpOf(rpid), true},
        {"not a socket", WindowListSocket(gone), true},
    };
    if (start) {
      ASSERT_TRUE(StartWindowListServer());
    } else {
      EnumerateTopWindows();
    }
    for (const Case& c : cases) EXPECT_EQ(Exists(c.path), c.kept) << when << ": " << c.what;
    EXPECT_EQ(FilesNamed(".gone-"), 0) << when;
    if (!start) {
      EXPECT_EQ(Of(live.pid()).size(), 1u) << "the living one is listed";
    }

    StopWindowListServer();
    ::kill(static_cast<pid_t>(stopped.pid()), SIGCONT);
    for (const Case& c : cases) ::unlink(c.path.c_str());
  }
}

TEST(WinList, ASocketThatTookTheNameOfADeadOneIsKept) {
  // The dead socket is found, then a process that got the dead one's id
  // puts its own under the name before the removal.
  struct Case {
    const char* what;
    bool replaced;
    bool removed;
  } cases[] = {{"still the dead one", false, true}, {"replaced by a listening one", true, false}};
  for (const Case& c : cases) {
    const std::string path = WindowListSocket(0x7ffffff2);
    const ino_t dead = BindDead(path);
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    int listening = -1;
    if (c.replaced) {
      // As a server does: bound under another name, listening, renamed.
      const std::string tmp = path + ".new";
      listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      std::strncpy(addr.sun_path, tmp.c_str(), sizeof addr.sun_path - 1);
      ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
      ASSERT_EQ(::listen(listening, 4), 0);
      ASSERT_EQ(::rename(tmp.c_str(), path.c_str()), 0);
    }
    EXPECT_EQ(RemoveDeadSocket(path, st.st_dev, dead), c.removed) << c.what;
    EXPECT_EQ(Exists(path), !c.removed) << c.what;
    EXPECT_EQ(FilesNamed(".gone-"), 0) << c.what;
    if (c.replaced) {
      // Still reachable under its name.
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
      EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << c.what;
      ::close(fd);
      ::close(listening);
    }
    ::unlink(path.c_str());
  }
  EXPECT_FALSE(RemoveDeadSocket(WindowListSocket(0x7ffffff3), 0, 0)) << "nothing there";
}

}  // namespace
}  // namespace service
