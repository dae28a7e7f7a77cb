#include "service/winlist.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/instance_lock.h"
#include "platform/text.h"

namespace service {

namespace ui = platform::ui;

namespace {

using Steady = std::chrono::steady_clock;

// --- wire format (both ends on one machine: native byte order)
//
// Request: 24 bytes, one per connection. Reply: magic, payload length, payload.
//   List   -> u32 count, then per window: u64 handle, u8 hidden, u8 iconic,
//             str title, str text, str class (str: u32 length and bytes)
//   State  -> u8 exists, u8 iconic, u8 hidden
//   Show   -> u8 done (arg: the SW_ command)
//   Front  -> u8 done
constexpr uint32_t kMagic = 0x56574C31;  // "VWL1"
constexpr uint32_t kMaxReply = 16u << 20;
constexpr auto kServerClientLimit = std::chrono::seconds(1);

enum Op : uint32_t { kList = 1, kState = 2, kShow = 3, kFront = 4 };

struct Request {
  uint32_t magic = kMagic;
  uint32_t op = 0;
  uint64_t handle = 0;
  int32_t arg = 0;
  uint32_t reserved = 0;
};
static_assert(sizeof(Request) == 24);

void PutU32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); }
void PutU64(std::string& out, uint64_t v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); }
void PutStr(std::string& out, const std::string& s) {
  PutU32(out, static_cast<uint32_t>(s.size()));
  out += s;
}

class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}
  bool U8(uint8_t& v) { return Raw(&v, 1); }
  bool U32(uint32_t& v) { return Raw(&v, sizeof v); }
  bool U64(uint64_t& v) { return Raw(&v, sizeof v); }
  bool Str(std::string& s) {
    uint32_t n = 0;
    if (!U32(n) || data_.size() - pos_ < n) return false;
    s.assign(data_.substr(pos_, n));
    pos_ += n;
    return true;
  }

 private:
  bool Raw(void* out, std::size_t n) {
    if (data_.size() - pos_ < n) return false;
    std::memcpy(out, data_.data() + pos_, n);
    pos_ += n;
    return true;
  }
  std::string_view data_;
  std::size_t pos_ = 0;
};

std::string Framed(const std::string& payload) {
  std::string out;
  PutU32(out, kMagic);
  PutU32(out, static_cast<uint32_t>(payload.size()));
  return out + payload;
}

uint32_t OwnPid() { return static_cast<uint32_t>(::getpid()); }

bool Address(const std::string& path, sockaddr_un& addr) {
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// --- asking other processes

struct Peer {
  uint32_t pid = 0;
  std::string path;
  int fd = -1;
  std::string out;  // request bytes not yet written
  std::string in;
  std::optional<std::string> payload;  // the reply, once complete
};

// Complete when the framed reply has arrived; false on a malformed one.
bool ReplyComplete(Peer& p, bool& bad) {
  if (p.in.size() < 8) return false;
  uint32_t magic = 0, len = 0;
  std::memcpy(&magic, p.in.data(), 4);
  std::memcpy(&len, p.in.data() + 4, 4);
  if (magic != kMagic || len > kMaxReply) {
    bad = true;
    return false;
  }
  if (p.in.size() < 8 + static_cast<std::size_t>(len)) return false;
  p.payload = p.in.substr(8, len);
  return true;
}

void Close(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The socket file at a path; nullopt when there is none (or another kind
// of file).
std::optional<struct stat> SocketFile(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return std::nullopt;
  return st;
}

// Connects to the peer's socket. A socket that refuses (nobody listens: a
// socket gets its name only once it listens, so its process is gone) is
// removed. False when there is nothing to ask.
bool Connect(Peer& p) {
  sockaddr_un addr;
  if (!Address(p.path, addr)) return false;
  // The file as it was before the connect: the one found dead, if it
  // refuses.
  const auto before = SocketFile(p.path);
  if (!before) return false;
  p.fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (p.fd < 0) return false;
  if (::connect(p.fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return true;
  const int err = errno;
  Close(p.fd);
  if (err == ECONNREFUSED) RemoveDeadSocket(p.path, before->st_dev, before->st_ino);
  return false;
}

// Sends the request to every peer and collects the replies that arrive
// within the time allowed; every peer gets the same deadline.
void Ask(std::vector<Peer>& peers, const Request& req) {
  const auto deadline = Steady::now() + std::chrono::milliseconds(kPeerTimeoutMs);
  for (Peer& p : peers) {
    if (!Connect(p)) continue;
    p.out.assign(reinterpret_cast<const char*>(&req), sizeof req);
  }
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<Peer*> who;
    for (Peer& p : peers) {
      if (p.fd < 0) continue;
      fds.push_back({p.fd, static_cast<short>(p.out.empty() ? POLLIN : POLLOUT), 0});
      who.push_back(&p);
    }
    if (fds.empty()) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
    if (left <= 0) break;
    const int n = ::poll(fds.data(), fds.size(), static_cast<int>(left));
    if (n < 0 && errno != EINTR) break;
    for (std::size_t i = 0; n > 0 && i < fds.size(); ++i) {
      Peer& p = *who[i];
      if (fds[i].revents == 0) continue;
      if (!p.out.empty()) {
        const ssize_t w = ::send(p.fd, p.out.data(), p.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w > 0) p.out.erase(0, static_cast<std::size_t>(w));
        else if (w < 0 && errno != EAGAIN && errno != EINTR) Close(p.fd);
        continue;
      }
      char buf[8192];
      const ssize_t r = ::recv(p.fd, buf, sizeof buf, MSG_DONTWAIT);
      if (r > 0) {
        p.in.append(buf, static_cast<std::size_t>(r));
        bool bad = false;
        if (ReplyComplete(p, bad) || bad) Close(p.fd);
      } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
        Close(p.fd);
      }
    }
  }
  for (Peer& p : peers) Close(p.fd);
}

std::optional<std::string> AskOne(uint32_t pid, const Request& req) {
  std::vector<Peer> peers(1);
  peers[0].pid = pid;
  peers[0].path = WindowListSocket(pid);
  if (peers[0].path.empty()) return std::nullopt;
  Ask(peers, req);
  return peers[0].payload;
}

// The process id in a name "winlist-<pid><suffix>"; 0 when the name is not
// of that form.
uint32_t NamedPid(std::string_view name, std::string_view suffix) {
  constexpr std::string_view kPrefix = "winlist-";
  if (name.size() <= kPrefix.size() + suffix.size() || !name.starts_with(kPrefix) || !name.ends_with(suffix))
    return 0;
  const std::string_view digits = name.substr(kPrefix.size(), name.size() - kPrefix.size() - suffix.size());
  if (digits.size() > 10 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  const unsigned long long pid = std::stoull(std::string(digits));
  return pid > 0xffffffffull ? 0 : static_cast<uint32_t>(pid);
}

// The other processes' sockets, by process id. On the way, the temporary
// names of processes that are gone are removed (one that was killed between
// binding its socket and naming it).
std::vector<Peer> OtherPeers() {
  std::vector<Peer> peers;
  const std::string dir = platform::RuntimeDir();
  if (dir.empty()) return peers;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return peers;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name(e->d_name);
    if (const uint32_t pid = NamedPid(name, ".sock"); pid != 0 && pid != OwnPid()) {
      Peer p;
      p.pid = pid;
      p.path = dir + "/" + std::string(name);
      peers.push_back(std::move(p));
    } else if (const uint32_t owner = NamedPid(name, ".tmp"); owner != 0 && owner != OwnPid()) {
      const std::string path = dir + "/" + std::string(name);
      // Found before the process is asked for: a process that got the same
      // id later made a file of its own.
      const auto found = SocketFile(path);
      if (found && ::kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH)
        RemoveDeadSocket(path, found->st_dev, found->st_ino);
    }
  }
  ::closedir(d);
  std::sort(peers.begin(), peers.end(), [](const Peer& a, const Peer& b) { return a.pid < b.pid; });
  return peers;
}

// --- the list

bool HasNonBlank(std::string_view s) { return s.find_first_not_of(' ') != std::string_view::npos; }

// One top-level window: listed with its title when it has one, else with
// its answer to WM_GETTEXT when that is not blank.
template <class AskText>
void CollectTopWindow(HWND h, std::string_view className, std::string_view title, AskText askText) {
  if (h == 0) return;
  WinEntry e;
  e.className = platform::text::TruncateChars(className, kWinTextChars);
  e.title = platform::text::TruncateChars(title, kWinTextChars);
  if (e.title.empty()) {
    e.title = platform::text::TruncateChars(askText(), kWinTextChars);
    if (!HasNonBlank(e.title)) return;
  }
  e.handle = h;
  QWin().push_back(std::move(e));
}

// The answer of a window of the calling thread to WM_GETTEXT.
std::string AskOwnWindow(HWND h) {
  std::vector<char> buf(4 * kWinTextChars + 1);
  ui::LRESULT n = 0;
  if (!ui::SendMessageTimeout(h, ui::WM_GETTEXT, buf.size(), reinterpret_cast<ui::LPARAM>(buf.data()),
                              ui::SMTO_ABORTIFHUNG, static_cast<ui::UINT>(kPeerTimeoutMs), &n) ||
      n <= 0)
    return {};
  return std::string(buf.data(), std::min(std::strlen(buf.data()), static_cast<std::size_t>(n)));
}

void CollectPeer(const std::string& payload) {
  Reader r(payload);
  uint32_t count = 0;
  if (!r.U32(count)) return;
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t h = 0;
    uint8_t hidden = 0, iconic = 0;
    std::string title, text, cls;
    if (!r.U64(h) || !r.U8(hidden) || !r.U8(iconic) || !r.Str(title) || !r.Str(text) || !r.Str(cls)) return;
    CollectTopWindow(h, cls, title, [&] { return text; });
  }
}

// --- the server

std::string ListPayload() {
  const auto windows = ui::TopWindows();
  std::string out;
  PutU32(out, static_cast<uint32_t>(windows.size()));
  for (const auto& w : windows) {
    PutU64(out, w.handle);
    out += static_cast<char>(w.hidden ? 1 : 0);
    out += static_cast<char>(w.iconic ? 1 : 0);
    PutStr(out, w.title);
    PutStr(out, w.text);
    PutStr(out, w.className);
  }
  return out;
}

// ShowWindow on a window of this process: whether there is one.
bool ShowOwn(HWND h, int command) {
  if (!ui::IsWindow(h)) return false;
  ui::ShowWindow(h, command);
  return true;
}

std::string Answer(const Request& req) {
  // Only windows of this process are acted on.
  const bool own = ui::HandleProcess(req.handle) == OwnPid();
  switch (req.op) {
    case kList:
      return ListPayload();
    case kState: {
      const auto w = own ? ui::TopWindow(req.handle) : std::nullopt;
      std::string out;
      out += static_cast<char>(w ? 1 : 0);
      out += static_cast<char>(w && w->iconic ? 1 : 0);
      out += static_cast<char>(w && w->hidden ? 1 : 0);
      return out;
    }
    case kShow:
      return std::string(1, static_cast<char>(own && ShowOwn(req.handle, req.arg) ? 1 : 0));
    case kFront:
      return std::string(1, static_cast<char>(own && ui::SetForegroundWindow(req.handle) ? 1 : 0));
    default:
      return {};
  }
}

struct Conn {
  int fd = -1;
  std::string in, out;
  bool answered = false;
  Steady::time_point deadline;
};

class Server {
 public:
  bool Start() {
    std::lock_guard lock(mutex_);
    if (running_) return true;
    // The sockets of processes that died without removing theirs go.
    for (Peer& p : OtherPeers())
      if (Connect(p)) Close(p.fd);
    const std::string path = WindowListSocket(OwnPid());
    const std::string tmp = path.empty() ? std::string() : path.substr(0, path.size() - 5) + ".tmp";
    sockaddr_un addr;
    if (!Address(tmp, addr)) return false;
    listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_ < 0) return false;
    // Bound under a name nobody looks for, listening before it gets its
    // own: a connect to the real name never meets a socket not yet
    // listening, which would pass for a stale one.
    ::unlink(tmp.c_str());
    if (::bind(listen_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::chmod(tmp.c_str(), 0600) != 0 ||
        ::listen(listen_, 64) != 0 || ::rename(tmp.c_str(), path.c_str()) != 0) {
      ::unlink(tmp.c_str());
      Close(listen_);
      return false;
    }
    struct stat st {};
    ::stat(path.c_str(), &st);
    inode_ = st.st_ino;
    path_ = path;
    stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop_ < 0) {
      ::unlink(path.c_str());
      Close(listen_);
      return false;
    }
    running_ = true;
    thread_ = std::thread([this] { Serve(); });
    return true;
  }

  void Stop() {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stop_, &one, sizeof one);
    thread_.join();
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0 && st.st_ino == inode_) ::unlink(path_.c_str());
    Close(listen_);
    Close(stop_);
    running_ = false;
  }

 private:
  void Serve() {
    std::vector<Conn> conns;
    for (;;) {
      // Out of descriptors, a pending connection cannot be taken and would
      // keep the listener readable: it rests a while instead of spinning.
      const bool resting = Steady::now() < acceptRestUntil_;
      std::vector<pollfd> fds{{stop_, POLLIN, 0}, {resting ? -1 : listen_, POLLIN, 0}};
      auto next = resting ? acceptRestUntil_ : Steady::time_point::max();
      for (const Conn& c : conns) {
        fds.push_back({c.fd, static_cast<short>(c.answered ? POLLOUT : POLLIN), 0});
        next = std::min(next, c.deadline);
      }
      int timeout = -1;
      if (next != Steady::time_point::max()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - Steady::now()).count();
        timeout = static_cast<int>(std::clamp<long long>(left + 1, 0, 1000));
      }
      const int n = ::poll(fds.data(), fds.size(), timeout);
      if (n < 0) {
        // The server keeps serving: a transient failure costs a short pause.
        if (errno != EINTR) ::poll(nullptr, 0, 10);
        continue;
      }
      if ((fds[0].revents & POLLIN) != 0) {
        for (Conn& c : conns) Close(c.fd);
        return;
      }
      if ((fds[1].revents & POLLIN) != 0) Accept(conns);
      const auto now = Steady::now();
      for (std::size_t i = 2; i < fds.size(); ++i) {
        Conn& c = conns[i - 2];
        if (fds[i].revents != 0) Step(c);
        if (c.fd >= 0 && now >= c.deadline) Close(c.fd);
      }
      std::erase_if(conns, [](const Conn& c) { return c.fd < 0; });
    }
  }

  void Accept(std::vector<Conn>& conns) {
    for (;;) {
      const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
          acceptRestUntil_ = Steady::now() + std::chrono::milliseconds(100);
        return;
      }
      ucred cred {};
      socklen_t len = sizeof cred;
      if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::geteuid()) {
        ::close(fd);
        continue;
      }
      Conn c;
      c.fd = fd;
      c.deadline = Steady::now() + kServerClientLimit;
      conns.push_back(std::move(c));
    }
  }

  static void Step(Conn& c) {
    if (!c.answered) {
      char buf[sizeof(Request)];
      const ssize_t r = ::recv(c.fd, buf, sizeof(Request) - c.in.size(), MSG_DONTWAIT);
      if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR)) {
        Close(c.fd);
        return;
      }
      if (r > 0) c.in.append(buf, static_cast<std::size_t>(r));
      if (c.in.size() < sizeof(Request)) return;
      Request req;
      std::memcpy(&req, c.in.data(), sizeof req);
      if (req.magic != kMagic) {
        Close(c.fd);
        return;
      }
      c.out = Framed(Answer(req));
      c.answered = true;
    }
    const ssize_t w = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w > 0) c.out.erase(0, static_cast<std::size_t>(w));
    else if (w < 0 && errno != EAGAIN && errno != EINTR) c.out.clear();
    if (c.out.empty()) Close(c.fd);
  }

  std::mutex mutex_;
  bool running_ = false;
  int listen_ = -1, stop_ = -1;
  Steady::time_point acceptRestUntil_{};
  std::string path_;
  ino_t inode_ = 0;
  std::thread thread_;
};

Server& TheServer() {
  static Server* s = new Server;
  return *s;
}

}  // namespace

std::vector<WinEntry>& QWin() {
  thread_local std::vector<WinEntry> list;
  return list;
}

void EnumerateTopWindows() {
  QWin().clear();
  const int self = ui::ThreadNumber();
  for (const ui::TopWindowInfo& w : ui::TopWindows()) {
    if (w.thread == self)
      CollectTopWindow(w.handle, w.className, w.title, [&] { return AskOwnWindow(w.handle); });
    else
      CollectTopWindow(w.handle, w.className, w.title, [&] { return w.text; });
  }
  std::vector<Peer> peers = OtherPeers();
  Request req;
  req.op = kList;
  Ask(peers, req);
  for (const Peer& p : peers)
    if (p.payload) CollectPeer(*p.payload);
}

std::string MainWindowClass(std::string_view instanceName) { return "VelornMain" + std::string(instanceName); }

bool IsInstanceWindow(const WinEntry& e, std::string_view instanceName) {
  return e.className == MainWindowClass(instanceName) &&
         platform::text::UpperAscii(e.title).find("VELORN") != std::string::npos;
}

bool IsIconic(HWND handle) {
  const uint32_t pid = ui::HandleProcess(handle);
  if (handle == 0) return false;
  if (pid == OwnPid()) return ui::IsIconic(handle);
  Request req;
  req.op = kState;
  req.handle = handle;
  const auto reply = AskOne(pid, req);
  return reply && reply->size() >= 2 && (*reply)[0] != 0 && (*reply)[1] != 0;
}

bool ShowWindow(HWND handle, int command) {
  const uint32_t pid = ui::HandleProcess(handle);
  if (handle == 0) return false;
  if (pid == OwnPid()) return ShowOwn(handle, command);
  Request req;
  req.op = kShow;
  req.handle = handle;
  req.arg = command;
  const auto reply = AskOne(pid, req);
  return reply && !reply->empty() && (*reply)[0] != 0;
}

bool SetForegroundWindow(HWND handle) {
  const uint32_t pid = ui::HandleProcess(handle);
  if (handle == 0) return false;
  if (pid == OwnPid()) return ui::SetForegroundWindow(handle);
  Request req;
  req.op = kFront;
  req.handle = handle;
  const auto reply = AskOne(pid, req);
  return reply && !reply->empty() && (*reply)[0] != 0;
}

bool RemoveDeadSocket(const std::string& path, uint64_t device, uint64_t inode) {
  // Moved aside first, then judged: what was moved is removed only when it
  // is the file found dead, else it goes back under its name.
  static std::atomic<uint32_t> serial{0};
  const std::string aside = path + ".gone-" + std::to_string(OwnPid()) + "-" + std::to_string(serial++);
  if (::rename(path.c_str(), aside.c_str()) != 0) return false;
  const auto moved = SocketFile(aside);
  if (moved && moved->st_dev == device && moved->st_ino == inode) {
    ::unlink(aside.c_str());
    return true;
  }
  // Back under its name without replacing anything: should the name have
  // been taken once more meanwhile, the newer file stays.
  if (::link(aside.c_str(), path.c_str()) == 0 || errno == EEXIST)
    ::unlink(aside.c_str());
  else
    ::rename(aside.c_str(), path.c_str());
  return false;
}

bool StartWindowListServer() { return TheServer().Start(); }
void StopWindowListServer() { TheServer().Stop(); }

std::string WindowListSocket(uint32_t pid) {
  const std::string dir = platform::RuntimeDir();
  if (dir.empty()) return {};
  return dir + "/winlist-" + std::to_string(pid) + ".sock";
}

}  // namespace service
