#include "platform/winproc.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "platform/window.h"
#include "platform/window_state.h"

namespace platform::ui {

namespace {

using Steady = std::chrono::steady_clock;

struct Native {
  Window* window = nullptr;  // used only on its thread
  WindowId id = 0;
  int thread = 0;
  HWND frame = 0;
  WNDPROC frameProc = PlatformWindowProc;
  WNDPROC clientProc = PlatformWindowProc;
  std::string className;
  std::string title, text;
  bool hidden = false, iconic = false;
  uint64_t z = 0;
  bool queryDue = false, queried = false, ended = false;  // the session's messages
};

enum class Kind { Message, Show, Front };

struct Posted {
  Kind kind = Kind::Message;
  HWND h = 0;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  Steady::time_point at;
};

struct Sent {
  HWND h = 0;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::vector<char> buffer;  // WM_GETTEXT: the receiver's copy
  std::string text;          // WM_SETTEXT: the receiver's copy
  int sender = 0;
  Steady::time_point at;
  LRESULT result = 0;
  bool done = false;
  bool abandoned = false;  // the sender stopped waiting
};

struct ThreadRec {
  std::weak_ptr<EventQueue> queue;
  std::deque<Posted> posted;
  std::deque<std::shared_ptr<Sent>> sent;
  std::condition_variable cv;  // a reply to this thread's send, or a message sent to it
  int windows = 0;
  int waiting = 0;  // sends of this thread under way
  bool sessionEnded = false;
};

struct State {
  std::mutex mutex;
  std::map<uint64_t, Native> windows;  // by serial
  std::map<WindowId, uint64_t> byId;
  std::map<WindowId, std::string> classes;
  std::map<int, std::unique_ptr<ThreadRec>> threads;
  std::map<std::string, UINT> messages;
  UINT nextMessage = kFirstRegisteredMessage;
  uint64_t nextSerial = 1;
  uint64_t z = 0;
};

State& S() {
  static State* s = new State;  // outlives every thread
  return *s;
}

uint32_t Pid() {
  static const uint32_t pid = static_cast<uint32_t>(::getpid());
  return pid;
}

HWND FrameOf(uint64_t serial) { return (static_cast<HWND>(Pid()) << 32) | (serial << 1); }

uint64_t SerialOf(HWND h) { return (h & 0xffffffffu) >> 1; }

// The window of a handle of this process; under the state's lock.
Native* Find(State& s, HWND h) {
  if (h == 0 || HandleProcess(h) != Pid()) return nullptr;
  auto it = s.windows.find(SerialOf(h));
  return it == s.windows.end() ? nullptr : &it->second;
}

Native* FindById(State& s, WindowId id) {
  auto it = s.byId.find(id);
  return it == s.byId.end() ? nullptr : &s.windows.at(it->second);
}

ThreadRec& Rec(State& s, int thread) {
  auto& r = s.threads[thread];
  if (!r) r = std::make_unique<ThreadRec>();
  return *r;
}

ThreadRec* FindRec(State& s, int thread) {
  auto it = s.threads.find(thread);
  return it == s.threads.end() ? nullptr : it->second.get();
}

// Drops a thread's record once nothing refers to it; under the lock.
void MaybeDrop(State& s, int thread) {
  auto it = s.threads.find(thread);
  if (it == s.threads.end()) return;
  const ThreadRec& r = *it->second;
  if (r.windows == 0 && r.waiting == 0 && r.posted.empty() && r.sent.empty() && !r.sessionEnded) s.threads.erase(it);
}

void Wake(ThreadRec& r) {
  if (auto q = r.queue.lock()) q->Wake();
  r.cv.notify_all();
}

WNDPROC HeadOf(const Native& n, HWND h) { return (h & 1) != 0 ? n.clientProc : n.frameProc; }

bool Hung(const ThreadRec& r, Steady::time_point now) {
  Steady::time_point oldest = now;
  if (!r.posted.empty()) oldest = std::min(oldest, r.posted.front().at);
  if (!r.sent.empty()) oldest = std::min(oldest, r.sent.front()->at);
  return now - oldest >= std::chrono::milliseconds(kHungMilliseconds);
}

// Copies up to size-1 bytes of text, whole UTF-8 characters, NUL-terminated.
LRESULT CopyText(const std::string& text, WPARAM size, char* out) {
  if (out == nullptr || size == 0) return 0;
  std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size - 1));
  while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return static_cast<LRESULT>(n);
}

// The chain's answer to WM_GETTEXT, on the window's thread.
std::string AskText(HWND h) {
  std::vector<char> buf(4096);
  const LRESULT n = SendMessage(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
  if (n <= 0) return {};
  return std::string(buf.data(), std::min<std::size_t>(static_cast<std::size_t>(n), std::strlen(buf.data())));
}

void RefreshText(HWND h) {
  std::string text = AskText(h);
  State& s = S();
  std::lock_guard lock(s.mutex);
  if (Native* n = Find(s, h)) n->text = std::move(text);
}

void UpdateSnapshot(Native& n, const Window& w) {
  n.title = w.Text();
  n.hidden = w.Hidden();
  n.iconic = w.Iconized();
}

// Delivers one message sent to a window of the calling thread; false when
// there is none.
bool DeliverOneSent(int self) {
  State& s = S();
  std::shared_ptr<Sent> m;
  WNDPROC proc = nullptr;
  {
    std::lock_guard lock(s.mutex);
    ThreadRec* r = FindRec(s, self);
    if (r == nullptr || r->sent.empty()) return false;
    m = std::move(r->sent.front());
    r->sent.pop_front();
    if (m->abandoned) return true;
    if (const Native* n = Find(s, m->h)) proc = HeadOf(*n, m->h);
  }
  LRESULT result = 0;
  if (proc != nullptr) {
    LPARAM l = m->lParam;
    if (m->msg == WM_GETTEXT) l = m->buffer.empty() ? 0 : reinterpret_cast<LPARAM>(m->buffer.data());
    if (m->msg == WM_SETTEXT && m->lParam != 0) l = reinterpret_cast<LPARAM>(m->text.c_str());
    result = proc(m->h, m->msg, m->wParam, l);
  }
  std::lock_guard lock(s.mutex);
  m->result = result;
  m->done = true;
  if (ThreadRec* r = FindRec(s, m->sender)) r->cv.notify_all();
  return true;
}

void ApplyShow(HWND h, int command);
void ApplyFront(HWND h);

// The session's messages due to the calling thread's windows: every query
// before the first end, in the order the windows opened.
void DeliverSession(int self) {
  State& s = S();
  std::vector<HWND> query, end;
  {
    std::lock_guard lock(s.mutex);
    const ThreadRec* r = FindRec(s, self);
    if (r == nullptr) return;
    for (auto& [serial, n] : s.windows) {
      if (n.thread != self) continue;
      if (n.queryDue || (r->sessionEnded && !n.queried)) {
        query.push_back(n.frame);
        n.queryDue = false;
        n.queried = true;
      }
      if (r->sessionEnded && !n.ended) {
        end.push_back(n.frame);
        n.ended = true;
      }
    }
  }
  for (HWND h : query) SendMessage(h, WM_QUERYENDSESSION, 0, 0);
  for (HWND h : end) SendMessage(h, WM_ENDSESSION, 1, 0);
}

bool DeliverOnePosted(int self) {
  State& s = S();
  Posted m;
  WNDPROC proc = nullptr;
  {
    std::lock_guard lock(s.mutex);
    ThreadRec* r = FindRec(s, self);
    if (r == nullptr || r->posted.empty()) return false;
    m = r->posted.front();
    r->posted.pop_front();
    const Native* n = Find(s, m.h);
    if (n == nullptr) return true;
    proc = HeadOf(*n, m.h);
  }
  switch (m.kind) {
    case Kind::Message:
      proc(m.h, m.msg, m.wParam, m.lParam);
      break;
    case Kind::Show:
      ApplyShow(m.h, static_cast<int>(m.wParam));
      break;
    case Kind::Front:
      ApplyFront(m.h);
      break;
  }
  return true;
}

std::function<void(Window&)>& ForegroundHandler() {
  thread_local std::function<void(Window&)> handler;
  return handler;
}

void ApplyShow(HWND h, int command) {
  Window* w = WindowFromHandle(h);
  if (w == nullptr) return;
  const HWND frame = h & ~HWND{1};
  const bool wasHidden = w->Hidden(), wasIconic = w->Iconized(), wasMax = w->Maximized();
  bool hidden = false, iconic = wasIconic, max = wasMax;
  switch (command) {
    case SW_HIDE:
      hidden = true;
      break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
      if (iconic) iconic = false;  // back to maximised when it was
      else max = false;
      break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
      iconic = true;
      break;
    case SW_MAXIMIZE:
      iconic = false;
      max = true;
      break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOW:
    case SW_SHOWNA:
      break;
    default:
      return;
  }
  if (hidden && !wasHidden) w->SetHide(true);
  if (iconic != wasIconic) w->SetIconize(iconic);
  if (max != wasMax) w->SetMaximize(max);
  if (!hidden && wasHidden) w->SetHide(false);
  if (hidden != wasHidden) SendMessage(frame, WM_SHOWWINDOW, hidden ? 0 : 1, 0);
  if (iconic != wasIconic || max != wasMax)
    SendMessage(frame, WM_SIZE, iconic ? SIZE_MINIMIZED : max ? SIZE_MAXIMIZED : SIZE_RESTORED, 0);
}

void ApplyFront(HWND h) {
  Window* w = WindowFromHandle(h);
  if (w == nullptr) return;
  {
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (Native* n = Find(s, h)) n->z = ++s.z;
  }
  if (auto& handler = ForegroundHandler()) handler(*w);
  SendMessage(h & ~HWND{1}, WM_ACTIVATE, WA_ACTIVE, 0);
}

// Queues a request for the window's thread; false for no window.
bool Post(HWND h, Kind kind, UINT msg, WPARAM wParam, LPARAM lParam) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  const Native* n = Find(s, h);
  if (n == nullptr) return false;
  ThreadRec& r = Rec(s, n->thread);
  r.posted.push_back({kind, h, msg, wParam, lParam, Steady::now()});
  Wake(r);
  return true;
}

}  // namespace

// --- handles

HWND FrameHandle(const Window& w) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  const Native* n = FindById(s, w.Id());
  return n != nullptr ? n->frame : 0;
}

HWND ClientHandle(const Window& w) {
  const HWND f = FrameHandle(w);
  return f != 0 ? f + 1 : 0;
}

Window* WindowFromHandle(HWND h) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  const Native* n = Find(s, h);
  return n != nullptr ? n->window : nullptr;
}

bool IsWindow(HWND h) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  return Find(s, h) != nullptr;
}

bool IsClientHandle(HWND h) { return IsWindow(h) && (h & 1) != 0; }

int WindowThread(HWND h) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  const Native* n = Find(s, h);
  return n != nullptr ? n->thread : 0;
}

void SetWindowClass(const Window& w, std::string className) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  if (Native* n = FindById(s, w.Id())) n->className = className;
  s.classes[w.Id()] = std::move(className);
}

std::string WindowClassName(HWND h) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  const Native* n = Find(s, h);
  return n != nullptr ? n->className : std::string();
}

// --- procedures and messages

LRESULT PlatformWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if ((hwnd & 1) != 0 || WindowThread(hwnd) != ThreadNumber()) return 0;
  Window* w = WindowFromHandle(hwnd);
  if (w == nullptr) return 0;
  switch (msg) {
    case WM_CLOSE:
      w->Post(EVENT::CloseWindow);
      return 0;
    case WM_GETTEXT:
      return CopyText(w->Text(), wParam, reinterpret_cast<char*>(lParam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->Text().size());
    case WM_SETTEXT:
      w->SetText(lParam != 0 ? std::string(reinterpret_cast<const char*>(lParam)) : std::string());
      return 1;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
          ShowWindow(hwnd, SW_MINIMIZE);
          break;
        case SC_MAXIMIZE:
          ShowWindow(hwnd, SW_MAXIMIZE);
          break;
        case SC_RESTORE:
          ShowWindow(hwnd, SW_RESTORE);
          break;
        case SC_CLOSE:
          SendMessage(hwnd, WM_CLOSE, 0, 0);
          break;
        default:
          break;
      }
      return 0;
    case WM_SIZE:
      w->Post(wParam == SIZE_MINIMIZED   ? EVENT::Iconized
              : wParam == SIZE_MAXIMIZED ? EVENT::Maximized
                                         : EVENT::Restored);
      return 0;
    case WM_ACTIVATE:
      w->Post((wParam & 0xFFFF) == WA_INACTIVE ? EVENT::LoseFocus : EVENT::GainFocus);
      return 0;
    case WM_QUERYENDSESSION:
      return 1;
    case WM_ENDSESSION:
      if (wParam != 0) w->Post(EVENT::CloseDown);
      return 0;
    default:
      return 0;
  }
}

WNDPROC GetWindowProc(HWND h) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  const Native* n = Find(s, h);
  return n != nullptr ? HeadOf(*n, h) : nullptr;
}

WNDPROC SetWindowProc(HWND h, WNDPROC proc) {
  if (proc == nullptr) return nullptr;
  State& s = S();
  std::lock_guard lock(s.mutex);
  Native* n = Find(s, h);
  if (n == nullptr) return nullptr;
  WNDPROC& head = (h & 1) != 0 ? n->clientProc : n->frameProc;
  const WNDPROC previous = head;
  head = proc;
  return previous;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc != nullptr ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT SendMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  SendMessageTimeout(h, msg, wParam, lParam, SMTO_NORMAL, 0xFFFFFFFFu, &r);
  return r;
}

bool SendMessageTimeout(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                        LRESULT* result) {
  if (result != nullptr) *result = 0;
  const int self = ThreadNumber();
  State& s = S();
  std::unique_lock lock(s.mutex);
  const Native* n = Find(s, h);
  if (n == nullptr) return false;
  if (n->thread == self) {
    const WNDPROC proc = HeadOf(*n, h);
    lock.unlock();
    const LRESULT r = proc(h, msg, wParam, lParam);
    if (result != nullptr) *result = r;
    return true;
  }

  ThreadRec& target = Rec(s, n->thread);
  const auto now = Steady::now();
  if ((flags & SMTO_ABORTIFHUNG) != 0 && Hung(target, now)) return false;
  auto m = std::make_shared<Sent>();
  m->h = h;
  m->msg = msg;
  m->wParam = wParam;
  m->lParam = lParam;
  m->sender = self;
  m->at = now;
  if (msg == WM_GETTEXT && lParam != 0 && wParam > 0) m->buffer.assign(static_cast<std::size_t>(wParam), '\0');
  if (msg == WM_SETTEXT && lParam != 0) m->text = reinterpret_cast<const char*>(lParam);
  target.sent.push_back(m);
  Wake(target);

  const bool forever = timeoutMs == 0xFFFFFFFFu;
  const auto deadline = now + std::chrono::milliseconds(timeoutMs);
  ++Rec(s, self).waiting;
  while (!m->done) {
    ThreadRec& me = Rec(s, self);
    // Answering others' sends while waiting never takes us past the limit.
    if (!forever && Steady::now() >= deadline) break;
    if (!me.sent.empty()) {
      lock.unlock();
      DeliverOneSent(self);
      lock.lock();
      continue;
    }
    if (forever) {
      me.cv.wait(lock);
    } else if (me.cv.wait_until(lock, deadline) == std::cv_status::timeout && !m->done) {
      break;
    }
  }
  --Rec(s, self).waiting;
  MaybeDrop(s, self);
  if (!m->done) {
    m->abandoned = true;
    return false;
  }
  if (msg == WM_GETTEXT && !m->buffer.empty()) {
    const std::size_t len = std::min<std::size_t>(static_cast<std::size_t>(std::max<LRESULT>(m->result, 0)),
                                                  m->buffer.size() - 1);
    std::memcpy(reinterpret_cast<char*>(lParam), m->buffer.data(), len);
    reinterpret_cast<char*>(lParam)[len] = '\0';
  }
  if (result != nullptr) *result = m->result;
  return true;
}

bool PostMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) { return Post(h, Kind::Message, msg, wParam, lParam); }

UINT RegisterWindowMessage(std::string_view name) {
  if (name.empty()) return 0;
  std::string key;
  for (char c : name) key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto it = s.messages.find(key);
  if (it != s.messages.end()) return it->second;
  if (s.nextMessage == 0) return 0;  // past 0xFFFF
  const UINT n = s.nextMessage;
  s.nextMessage = n == 0xFFFF ? 0 : n + 1;
  s.messages.emplace(std::move(key), n);
  return n;
}

// --- the desktop session

void QueryEndSession(int thread) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  bool any = false;
  for (auto& [serial, n] : s.windows)
    if (n.thread == thread) any = n.queryDue = true;
  if (ThreadRec* r = FindRec(s, thread); r != nullptr && any) Wake(*r);
}

void EndSession(int thread) {
  if (thread <= 0) return;
  State& s = S();
  std::lock_guard lock(s.mutex);
  ThreadRec& r = Rec(s, thread);
  r.sessionEnded = true;
  Wake(r);
}

bool SessionEnded(int thread) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  const ThreadRec* r = FindRec(s, thread);
  return r != nullptr && r->sessionEnded;
}

bool CloseDownPending() {
  return SessionEnded(ThreadNumber()) || ThisThreadQueue().Holds(EVENT::CloseDown);
}

void BroadcastPower(int thread, WPARAM event) {
  std::vector<HWND> frames;
  {
    State& s = S();
    std::lock_guard lock(s.mutex);
    for (const auto& [serial, n] : s.windows)
      if (n.thread == thread) frames.push_back(n.frame);
  }
  for (HWND h : frames) PostMessage(h, WM_POWERBROADCAST, event, 0);
}

// --- window state

bool ShowWindow(HWND h, int command) {
  const int owner = WindowThread(h);
  if (owner == 0) return false;
  if (owner != ThreadNumber()) return Post(h, Kind::Show, 0, static_cast<WPARAM>(command), 0);
  const Window* w = WindowFromHandle(h);
  const bool wasVisible = w != nullptr && !w->Hidden();
  ApplyShow(h, command);
  return wasVisible;
}

bool SetForegroundWindow(HWND h) {
  const int owner = WindowThread(h);
  if (owner == 0) return false;
  if (owner != ThreadNumber()) return Post(h, Kind::Front, 0, 0, 0);
  ApplyFront(h);
  return true;
}

bool IsIconic(HWND h) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  const Native* n = Find(s, h);
  return n != nullptr && n->iconic;
}

// --- top-level windows

namespace {

TopWindowInfo InfoOf(const Native& n) {
  return {n.frame, n.thread, n.title, n.title.empty() ? n.text : std::string(), n.className, n.hidden, n.iconic};
}

}  // namespace

std::vector<TopWindowInfo> TopWindows() {
  State& s = S();
  std::vector<std::pair<uint64_t, TopWindowInfo>> all;
  {
    std::lock_guard lock(s.mutex);
    for (const auto& [serial, n] : s.windows) all.emplace_back(n.z, InfoOf(n));
  }
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<TopWindowInfo> out;
  out.reserve(all.size());
  for (auto& [z, info] : all) out.push_back(std::move(info));
  return out;
}

std::optional<TopWindowInfo> TopWindow(HWND h) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  const Native* n = Find(s, h);
  if (n == nullptr) return std::nullopt;
  return InfoOf(*n);
}

// --- for views

void NativeOpened(Window& w) {
  const int self = ThreadNumber();
  State& s = S();
  {
    std::lock_guard lock(s.mutex);
    if (FindById(s, w.Id()) != nullptr) return;
    const uint64_t serial = s.nextSerial++;
    Native n;
    n.window = &w;
    n.id = w.Id();
    n.thread = self;
    n.frame = FrameOf(serial);
    auto c = s.classes.find(w.Id());
    n.className = c != s.classes.end() ? c->second : kDefaultWindowClass;
    UpdateSnapshot(n, w);
    n.z = ++s.z;
    s.windows.emplace(serial, std::move(n));
    s.byId.emplace(w.Id(), serial);
    ThreadRec& r = Rec(s, self);
    r.queue = ThisThread().queue;
    ++r.windows;
  }
}

void NativeChanged(Window& w, Property p) {
  switch (p) {
    case Property::Caption:
    case Property::Hide:
    case Property::Iconize:
    case Property::Maximize:
    case Property::Placement:
      break;
    default:
      return;
  }
  State& s = S();
  std::lock_guard lock(s.mutex);
  if (Native* n = FindById(s, w.Id())) UpdateSnapshot(*n, w);
}

void NativeClosed(Window& w) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto id = s.byId.find(w.Id());
  if (id == s.byId.end()) return;
  const uint64_t serial = id->second;
  const Native& n = s.windows.at(serial);
  const HWND frame = n.frame;
  const int thread = n.thread;
  s.byId.erase(id);
  s.windows.erase(serial);
  if (ThreadRec* r = FindRec(s, thread)) {
    --r->windows;
    std::erase_if(r->posted, [frame](const Posted& m) { return (m.h & ~HWND{1}) == frame; });
    std::erase_if(r->sent, [&](const std::shared_ptr<Sent>& m) {
      if ((m->h & ~HWND{1}) != frame) return false;
      m->done = true;  // answered 0: the window is gone
      if (ThreadRec* sender = FindRec(s, m->sender)) sender->cv.notify_all();
      return true;
    });
  }
  MaybeDrop(s, thread);
}

void DispatchNativeMessages() {
  const int self = ThreadNumber();
  State& s = S();
  std::size_t sent = 0, posted = 0;
  std::vector<HWND> untitled;
  {
    std::lock_guard lock(s.mutex);
    ThreadRec* r = FindRec(s, self);
    if (r == nullptr) return;
    sent = r->sent.size();
    posted = r->posted.size();
    for (const auto& [serial, n] : s.windows)
      if (n.thread == self && n.title.empty()) untitled.push_back(n.frame);
  }
  // The texts first: a reply to a message sent after a change of the chain
  // finds the list up to date.
  for (HWND h : untitled) RefreshText(h);
  for (; sent > 0 && DeliverOneSent(self); --sent) {
  }
  for (; posted > 0 && DeliverOnePosted(self); --posted) {
  }
  DeliverSession(self);
}

LRESULT DeliverNativeMessage(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  const HWND h = FrameHandle(w);
  return h != 0 ? SendMessage(h, msg, wParam, lParam) : 0;
}

void SetForegroundHandler(std::function<void(Window&)> handler) { ForegroundHandler() = std::move(handler); }

NativeHeadlessView& SharedNativeHeadlessView() {
  static NativeHeadlessView* v = new NativeHeadlessView;
  return *v;
}

}  // namespace platform::ui
