#include "syslib/debugout.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/cmdline.h"
#include "platform/msgbox.h"
#include "platform/text.h"
#include "platform/window.h"
#include "syslib/hexconv.h"
#include "syslib/librarylock.h"
#include "syslib/winhook.h"

namespace syslib {
namespace {

constexpr std::size_t kDebugBuffer = 1024;  // WriteDebugString's buffer, zero included
constexpr std::size_t kWindowChars = 40;    // LOC:WINDOW
constexpr std::size_t kTextChars = 255;     // LOC:TEXT1

struct Named {
  LONG event;
  const char* name;
};

// What a field event's name is followed by.
enum class FieldValue { None, Choice, Keycode, ScrollPosition };

struct FieldName {
  LONG event;
  const char* name;
  FieldValue value;
};

constexpr std::array kFieldEvents = {
    FieldName{0x01, "Accepted or MouseDown", FieldValue::None},
    FieldName{0x02, "NewSelection, Choice()=", FieldValue::Choice},
    FieldName{0x03, "ScrollUp", FieldValue::None},
    FieldName{0x04, "ScrollDown", FieldValue::None},
    FieldName{0x05, "PageUp", FieldValue::None},
    FieldName{0x06, "PageDown", FieldValue::None},
    FieldName{0x07, "ScrollTop", FieldValue::None},
    FieldName{0x08, "ScrollBottom", FieldValue::None},
    FieldName{0x09, "Locate", FieldValue::None},
    FieldName{0x0A, "MouseUp", FieldValue::None},
    FieldName{0x0B, "MouseIn", FieldValue::None},
    FieldName{0x0C, "MouseOut", FieldValue::None},
    FieldName{0x0D, "MouseMove", FieldValue::None},
    FieldName{0x0E, "VBXevent", FieldValue::None},
    FieldName{0x0F, "AlertKey, keycode()=", FieldValue::Keycode},
    FieldName{0x10, "PreAlertKey, keycode()=", FieldValue::Keycode},
    FieldName{0x11, "Dragging", FieldValue::None},
    FieldName{0x12, "Drag", FieldValue::None},
    FieldName{0x13, "Drop", FieldValue::None},
    FieldName{0x14, "ScrollDrag", FieldValue::None},
    FieldName{0x15, "TabChanging Choice()=", FieldValue::Choice},
    FieldName{0x16, "Expanding", FieldValue::None},
    FieldName{0x17, "Contracting", FieldValue::None},
    FieldName{0x18, "Expanded", FieldValue::None},
    FieldName{0x19, "Contracted", FieldValue::None},
    FieldName{0x1A, "Rejected", FieldValue::None},
    FieldName{0x1B, "DroppingDown", FieldValue::None},
    FieldName{0x1C, "DroppedDown", FieldValue::None},
    FieldName{0x1D, "ScrollTrack, field2{prop:vscrollpos}=", FieldValue::ScrollPosition},
    FieldName{0x1E, "ColumnResize", FieldValue::None},
    FieldName{0x101, "Selected", FieldValue::None},
    FieldName{0x102, "Selecting", FieldValue::None},
};

constexpr std::array kWindowEvents = {
    Named{0x201, " CloseWindow"}, Named{0x202, " CloseDown"},   Named{0x203, " OpenWindow"},
    Named{0x204, " OpenFailed"},  Named{0x205, " LoseFocus"},   Named{0x206, " GainFocus"},
    Named{0x208, " Suspend"},     Named{0x209, " Resume"},      Named{0x20B, " Timer"},
    Named{0x20C, " DDErequest"},  Named{0x20D, " DDEadvise"},   Named{0x20E, " DDEdata"},
    Named{0x20F, " DDEcommand"},  Named{0x210, " DDEpoke"},     Named{0x211, " DDEclosed"},
    Named{0x220, " Move "},       Named{0x221, " Size"},        Named{0x222, " Restore"},
    Named{0x223, " Maximize"},    Named{0x224, " Iconize"},     Named{0x225, " Completed"},
    Named{0x230, " Moved"},       Named{0x231, " Sized"},       Named{0x232, " Restored"},
    Named{0x233, " Maximized"},   Named{0x234, " Iconized"},    Named{0x235, " Docked"},
    Named{0x236, " Undocked"},    Named{0x240, " BuildFile"},   Named{0x241, " BuildKey"},
    Named{0x242, " BuildDone"},
};

// The library events with a fixed text (6782 and 6786 take values after it).
constexpr std::array kLibraryEvents = {
    Named{6781, " WinHook Message, WH::WM_TaskbarRestart, Reload icons!"},
    Named{6782, " WinHook Message, WH::WM_SysCommand, WinSysEvent()="},
    Named{6783, " WinHook Message, WH::WM_QueryEndSession"},
    Named{6784, " WinHook Message, WH::WM_EndSession Aborted"},
    Named{6785, " WinHook Message, WH::WM_EndSession Now!"},
    Named{6786, " WinHook Message, WH::WM_WTSSESSION_CHANGE, WinWtsEvent()="},
    Named{6787, " WinHook Message, SERVICE_CONTROL_SHUTDOWN"},
    Named{6790, " WinHook Message, Taskbar load icon"},
    Named{6792, " WinHook Message, Taskbar mouse move"},
    Named{6793, " WinHook Message, Taskbar mouseleft down"},
    Named{6794, " WinHook Message, Taskbar mouseleft up"},
    Named{6795, " WinHook Message, Taskbar double left click"},
    Named{6796, " WinHook Message, Taskbar mouseright down"},
    Named{6797, " WinHook Message, Taskbar mouseright up"},
    Named{6881, " WinHook Message, Comms Transmit Buffer Empty"},
    Named{6882, " WinHook Message, Comms Character(s) Received"},
    Named{6883, " WinHook Message, Comms Handshaking lines changed"},
    Named{7306, " WinHook Message, Taskbar balloon opened"},
    Named{7307, " WinHook Message, Taskbar balloon closed"},
    Named{7308, " WinHook Message, Taskbar balloon timeout, closed"},
    Named{7780, " WinHook Message, Help, Whats This selection"},
};

// 1280: the names of the mouse messages 200h..209h.
constexpr std::array<const char*, 10> kMouseMessages = {
    "WM_MOUSEMOVE",   "WM_LBUTTONDOWN", "WM_LBUTTONUP",   "WM_LBUTTONDBLCLK", "WM_RBUTTONDOWN",
    "WM_RBUTTONUP",   "WM_RBUTTONDBLCLK", "WM_MBUTTONDOWN", "WM_MBUTTONUP",   "WM_MBUTTONDBLCLK",
};

constexpr LONG kFirstUserEvent = 1024;
constexpr LONG kLastUserEvent = 4095;
constexpr LONG kFirstTaskbarCallBack = 6280;
constexpr LONG kLastTaskbarCallBack = 6380;

template <class Table>
auto Find(const Table& table, LONG event) -> const typename Table::value_type* {
  for (const auto& entry : table)
    if (entry.event == event) return &entry;
  return nullptr;
}

// The text of a field event: the name, the field and the label of its
// control in the thread's target window.
std::string FormatFieldLine(std::string_view text, const FieldName& f, LONG field) {
  platform::ui::Window* w = platform::ui::TargetWindow();
  platform::ui::Control* c = w != nullptr ? w->At(field) : nullptr;
  std::string out(text);
  out += ' ';
  out += f.name;
  switch (f.value) {
    case FieldValue::None:
      break;
    case FieldValue::Choice:
      out += std::to_string(c != nullptr ? c->Choice() : 0);
      break;
    case FieldValue::Keycode:
      out += std::to_string(w != nullptr ? w->Keycode() : 0);
      break;
    case FieldValue::ScrollPosition:
      out += '0';
      break;
  }
  out += ", Field()=";
  out += std::to_string(field);
  out += ' ';
  if (c != nullptr) out += c->Label();
  return out;
}

std::string LibraryEventText(std::string_view text, LONG event) {
  std::string out(text);
  if (event == AlertedMessageEvent) {
    const LONG message = Winhook();
    if (message >= 0x200 && message <= 0x209)
      out += std::string(" WinHook Message, Winhook()=WH::") + kMouseMessages[static_cast<std::size_t>(message - 0x200)];
    else
      out += " WinHook Message Winhook()=" + std::to_string(message);
  } else if (event >= kFirstTaskbarCallBack && event <= kLastTaskbarCallBack) {
    out += " WinHook Message, TaskbarCallBack, Winhook()=" + std::to_string(Winhook());
  } else if (const Named* n = Find(kLibraryEvents, event)) {
    out += n->name;
    if (event == SysCommandEvent) out += std::to_string(WinSysEvent(0));
    if (event == SessionChangeEvent) {
      out += std::to_string(WinWtsEvent(0));
      out += ", WinWtsID()=";
      out += std::to_string(WinWtsID());
    }
  } else {
    return {};
  }
  return out;
}

// LOC:TEXT1 for an event.
std::string EventText(std::string_view given, LONG event, LONG field) {
  const std::string_view text = platform::text::TrimRight(given);
  if (event == 0) return std::string(text);
  if (const FieldName* f = Find(kFieldEvents, event)) return FormatFieldLine(text, *f, field);
  if (const Named* n = Find(kWindowEvents, event)) return std::string(text) + n->name;
  if (std::string library = LibraryEventText(text, event); !library.empty()) return library;
  if (event >= kFirstUserEvent && event <= kLastUserEvent)
    return std::string(text) + "EVENT:User " + std::to_string(event - kFirstUserEvent);
  return std::string(text);
}

}  // namespace

void OutputDebugStringA(const char* text) {
  if (text == nullptr) return;
  const int saved = errno;
  const std::size_t len = std::strlen(text);
  {
    std::lock_guard<std::recursive_mutex> guard(LibraryLock());
    std::size_t done = 0;
    while (done < len) {
      const ssize_t n = ::write(STDERR_FILENO, text + done, len - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        break;
      }
      done += static_cast<std::size_t>(n);
    }
  }
  errno = saved;
}

void WriteDebugString(std::string_view text, uint8_t addLineEnd) {
  std::string line(platform::text::TrimRight(text));
  if (addLineEnd != 0) line += "\r\n";
  // The zero-terminated copy into the buffer ends at an embedded zero.
  line.resize(std::strlen(line.c_str()));
  const std::string buffer = platform::text::TruncateChars(line, kDebugBuffer - 1);
  OutputDebugStringA(buffer.c_str());
}

namespace {
void StackBalancePair();
}  // namespace

void LogEvent(std::string_view windowName, std::string_view text, uint8_t noWindow, LONG event,
              uint8_t noEvent, LONG field, uint8_t noField) {
  if (!platform::CommandHas("/debug")) return;
  const std::string window =
      noWindow != 0 ? std::string() : platform::text::TruncateChars(windowName, kWindowChars);
  if (noEvent != 0) event = 0;
  if (noField != 0) field = 0;
  const std::string text1 = platform::text::TruncateChars(EventText(text, event, field), kTextChars);

  std::string line(platform::text::TrimRight(window));
  line += ' ';
  if (event != 0) {
    line += std::to_string(event);
    line += ' ';
  }
  line += text1;
  WriteDebugString(line, 1);
  StackBalancePair();
}

void LogEvent(std::string_view text) { LogEvent({}, text, 1, 0, 1, 0, 1); }

// --- the stack-balance check

namespace {

constexpr LONG kStackLevels = 255;
constexpr std::size_t kDumpChars = 256;
constexpr const char* kDumpIndent = "\r\n             ";  // a line break and 13 blanks

struct SavedRegisters {
  uint32_t EBP, ESP, EBX, ECX, EDX, ESI, EDI;
};

// The calling thread's table: entry n - 1 holds level n. On the heap, so a
// stray index is caught by the address sanitizer.
struct StackTable {
  LONG level = 0;
  std::vector<SavedRegisters> entries = std::vector<SavedRegisters>(kStackLevels);
};

StackTable& Table() {
  thread_local StackTable t;
  return t;
}

[[noreturn]] void Corrupted(const char* text) {
  platform::MessageBox(text, "ds_TestStack");
  platform::Halt(kStackCorruptedExit);
}

}  // namespace

void ds_SaveStack(const RegisterBlock& block) {
  StackTable& t = Table();
  ++t.level;
  if (t.level > kStackLevels) {
    WriteDebugString("ds_SaveStack : Too many levels, ds_TSLevel=" + std::to_string(t.level), 1);
    return;
  }
  if (t.level < 1) return;
  t.entries.data()[t.level - 1] = {block.EBP, block.ESP, block.EBX, block.ECX, block.EDX, block.ESI, block.EDI};
}

void ds_TestStack(const RegisterBlock& block) {
  StackTable& t = Table();
  if (t.level < 1) {
    platform::MessageBox("SaveStack - TestStack pair mismatch", "ds_TestStack");
  } else if (t.level <= kStackLevels) {
    const SavedRegisters& saved = t.entries.data()[t.level - 1];
    if (block.ESP != saved.ESP) Corrupted("ESP corrupted, program will GPF");
    if (block.EBP != saved.EBP) Corrupted("EBP corrupted, program will GPF");
    const struct {
      const char* name;
      uint32_t now, last;
    } compared[] = {
        {"EBX", block.EBX, saved.EBX}, {"ECX", block.ECX, saved.ECX}, {"EDX", block.EDX, saved.EDX},
        {"ESI", block.ESI, saved.ESI}, {"EDI", block.EDI, saved.EDI},
    };
    std::string dump;
    for (const auto& r : compared) {
      if (r.now == r.last) continue;
      dump += kDumpIndent;
      dump += r.name;
      dump += '=';
      dump += ds_FormatHex(static_cast<LONG>(r.now), 8);
      dump += " LAST ";
      dump += r.name;
      dump += '=';
      dump += ds_FormatHex(static_cast<LONG>(r.last), 8);
    }
    if (!dump.empty())
      WriteDebugString(
          platform::text::TruncateChars("ds_TestStack ds_TSLevel=" + std::to_string(t.level) + dump, kDumpChars), 1);
  }
  --t.level;
}

LONG ds_TSLevel() { return Table().level; }

// --- the snapshots: two taken back to back, the first to ds_SaveStack,
// the second to ds_TestStack.

#if defined(__x86_64__) && !defined(VELORN_PORTABLE_STACK_SNAPSHOT)

// Each entry routine pushes RAX, RCX, RDX, RBX, RSP, RBP, RSI, RDI and the
// flags, hands the 72-byte block to its C++ side on a 16-byte aligned stack
// and restores every register it pushed, so the caller's registers are
// unchanged. velorn_stack_pair calls the two with nothing in between.
extern "C" {
void velorn_stack_pair();
[[gnu::visibility("hidden"), gnu::used]] void velorn_save_stack_block(const uint64_t* regs);
[[gnu::visibility("hidden"), gnu::used]] void velorn_test_stack_block(const uint64_t* regs);
}

namespace {

// regs: flags, RDI, RSI, RBP, RSP, RBX, RDX, RCX, RAX, from the lowest address.
RegisterBlock LowHalves(const uint64_t* regs) {
  auto low = [regs](int i) { return static_cast<uint32_t>(regs[i]); };
  return {low(0), low(1), low(2), low(3), low(4), low(5), low(6), low(7), low(8)};
}

void StackBalancePair() { velorn_stack_pair(); }

}  // namespace

extern "C" void velorn_save_stack_block(const uint64_t* regs) { ds_SaveStack(LowHalves(regs)); }
extern "C" void velorn_test_stack_block(const uint64_t* regs) { ds_TestStack(LowHalves(regs)); }

asm(R"(
    .pushsection .text
    .macro velorn_stack_entry name, target
    .p2align 4
    .type \name, @function
\name:
    .cfi_startproc
    pushq %rax
    .cfi_adjust_cfa_offset 8
    pushq %rcx
    .cfi_adjust_cfa_offset 8
    pushq %rdx
    .cfi_adjust_cfa_offset 8
    pushq %rbx
    .cfi_adjust_cfa_offset 8
    .cfi_rel_offset %rbx, 0
    pushq %rsp
    .cfi_adjust_cfa_offset 8
    pushq %rbp
    .cfi_adjust_cfa_offset 8
    pushq %rsi
    .cfi_adjust_cfa_offset 8
    pushq %rdi
    .cfi_adjust_cfa_offset 8
    pushfq
    .cfi_adjust_cfa_offset 8
    movq %rsp, %rdi
    movq %rsp, %rbx
    .cfi_def_cfa_register %rbx
    andq $-16, %rsp
    call \target
    movq %rbx, %rsp
    .cfi_def_cfa_register %rsp
    popfq
    .cfi_adjust_cfa_offset -8
    popq %rdi
    .cfi_adjust_cfa_offset -8
    popq %rsi
    .cfi_adjust_cfa_offset -8
    popq %rbp
    .cfi_adjust_cfa_offset -8
    leaq 8(%rsp), %rsp
    .cfi_adjust_cfa_offset -8
    popq %rbx
    .cfi_adjust_cfa_offset -8
    .cfi_restore %rbx
    popq %rdx
    .cfi_adjust_cfa_offset -8
    popq %rcx
    .cfi_adjust_cfa_offset -8
    popq %rax
    .cfi_adjust_cfa_offset -8
    ret
    .cfi_endproc
    .size \name, .-\name
    .endm

    velorn_stack_entry velorn_save_stack_entry, velorn_save_stack_block
    velorn_stack_entry velorn_test_stack_entry, velorn_test_stack_block

    .p2align 4
    .globl velorn_stack_pair
    .hidden velorn_stack_pair
    .type velorn_stack_pair, @function
velorn_stack_pair:
    .cfi_startproc
    call velorn_save_stack_entry
    call velorn_test_stack_entry
    ret
    .cfi_endproc
    .size velorn_stack_pair, .-velorn_stack_pair
    .purgem velorn_stack_entry
    .popsection
)");

#else

namespace {

// The frame address of this routine and the caller's stack address at the
// call; the same for two calls from one place.
[[gnu::noinline]] void TakeRegisters(RegisterBlock& block) {
  block = {};
  block.EBP = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
  block.ESP = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_dwarf_cfa()));
}

[[gnu::noinline]] void StackBalancePair() {
  RegisterBlock saved, now;
  TakeRegisters(saved);
  ds_SaveStack(saved);
  TakeRegisters(now);
  ds_TestStack(now);
}

}  // namespace

#endif

}  // namespace syslib
