// Debug output, the event logger and the stack-balance check.
//
// OutputDebugStringA writes its text with one write() to standard error.
// LogEvent turns a window event, a library event or a plain text into one
// such line, and writes only when "/debug" is on the command line; after
// each line it runs the stack-balance pair (ds_SaveStack, ds_TestStack) on
// two snapshots of the registers taken back to back.
//
// Threads: any thread may log; lines from several threads interleave line
// by line. The stack-check table and its level are per thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "syslib/liberror.h"

namespace syslib {

// The debugger output: the zero-terminated text in one write() to standard
// error, under LibraryLock. errno is left unchanged.
void OutputDebugStringA(const char* text);

// The text without trailing blanks, then "\r\n" when addLineEnd is non-zero,
// cut to 1023 characters, to OutputDebugStringA.
void WriteDebugString(std::string_view text, uint8_t addLineEnd);

// The event logger: arguments in the logger's order; each no... flag, when
// non-zero, makes the matching argument ignored (empty name, event 0, field
// 0). Nothing at all without "/debug". The line's text (text = the given
// text without trailing blanks, the whole cut to 255 characters):
//   field events 01h..1Eh, 101h, 102h: text, " ", the event's name,
//     ", Field()=", the field, " ", the label of that control in the
//     thread's target window (platform::ui::TargetWindow; none: empty).
//     NewSelection and TabChanging name the control's Choice(), AlertKey
//     and PreAlertKey the target window's Keycode(), ScrollTrack a scroll
//     position (the window model keeps none: 0);
//   window events 201h..242h: text and " CloseWindow", " Timer", ...;
//   library events: text and " WinHook Message, ..." (1280 by Winhook(),
//     6782 with WinSysEvent(0), 6786 with WinWtsEvent(0) and WinWtsID(),
//     6280..6380 with Winhook(); 6781, 6783..6785, 6787, 6790, 6792..6797,
//     6881..6883, 7306..7308, 7780 fixed texts);
//   user events 1024..4095 (1280 excepted): text, "EVENT:User ", event - 1024;
//   any other event, 0 included: the text unchanged.
// The line: the window name (cut to 40, trailing blanks removed), " ", then
// for an event other than 0 the number and " ", then the text; written with
// WriteDebugString with the line end.
void LogEvent(std::string_view windowName, std::string_view text, uint8_t noWindow, LONG event,
              uint8_t noEvent, LONG field, uint8_t noField);
// A plain text line: LogEvent("", text, 1, 0, 1, 0, 1).
void LogEvent(std::string_view text);

// The registers of one snapshot, 32 bits each, in the order of the entry
// routine's pushes from the lowest address: flags, then the push-all order.
// On x86-64 the snapshot holds the low 32 bits of the 64-bit registers;
// elsewhere EBP and ESP hold the low 32 bits of the snapshot routine's frame
// and stack addresses and the rest are 0.
struct RegisterBlock {
  uint32_t FLAGS = 0, EDI = 0, ESI = 0, EBP = 0, ESP = 0, EBX = 0, EDX = 0, ECX = 0, EAX = 0;
};

// Raises the calling thread's level by 1. Above 255 writes "ds_SaveStack :
// Too many levels, ds_TSLevel=<level>" with the line end and saves nothing;
// a level of 0 or less (after an unpaired ds_TestStack) saves nothing
// either; else the block's EBP, ESP, EBX, ECX, EDX, ESI, EDI become the
// level's entry.
void ds_SaveStack(const RegisterBlock& block);
// Compares the block with the entry of the calling thread's level, then
// lowers the level by 1 in every case:
//   level below 1: box "SaveStack - TestStack pair mismatch" titled
//     "ds_TestStack";
//   level 1..255: ESP differing: box "ESP corrupted, program will GPF"
//     titled "ds_TestStack", then the program ends with
//     kStackCorruptedExit; EBP alike with "EBP corrupted, program will
//     GPF"; else when EBX, ECX, EDX, ESI or EDI differ, one debug line
//     "ds_TestStack ds_TSLevel=<level>" and for each of them, in that order,
//     "\r\n" + 13 blanks + "EBX=<block> LAST EBX=<saved>" (8 upper-case
//     hexadecimal digits each, ds_FormatHex), cut to 256 characters;
//   above 255: nothing is compared.
void ds_TestStack(const RegisterBlock& block);
// The calling thread's nesting level (0 when the thread starts).
LONG ds_TSLevel();

// The exit status after a corrupted ESP or EBP.
inline constexpr int kStackCorruptedExit = 4;

}  // namespace syslib
