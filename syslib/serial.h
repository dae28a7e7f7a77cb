// Serial and parallel ports: a table of 25 ports opened by a mode string
// such as "COM1:9600,n,8,1", configured with termios, read without waiting,
// written with a time limit, closed; for overlapped ports a monitor thread
// that reports transmit-empty, received-characters and line changes.
//
// Names. The text before the first colon names the device: "COMn" (colon
// at position 5) or a five-character name such as "COM12" (colon at 6, the
// device name then reads "\\.\COM12"). Names are matched without regard to
// case. "COMn" opens the device named by the environment variable
// VELORN_COMn, else /dev/ttyS(n-1); "COM0" only through VELORN_COM0; "LPTn"
// opens VELORN_LPTn, else /dev/lp(n-1) ("LPT0" only through VELORN_LPT0).
// No other name is ever opened. The port number (the name's 4th, or 4th and
// 5th, characters) selects the table entry; 0 and numbers outside 1..25
// select entry 25.
//
// Handles. A handle is the descriptor of the open device (>= 0). Every call
// that takes a handle acts only when an entry in use holds it: a stale
// handle (of a port already closed, whose number the system may have given
// to another file since) is refused and touches nothing.
//
// Errors. Every public call first records its own name with
// SetLibraryProcedureName (which clears the thread's library error); failures
// fill the detail and set a library error (syslib/liberror.h). "System text"
// below is GetLastErrorText() after the failing call's errno was mapped.
//
// Threads. The port table is locked internally; calls may come from any
// thread. Plain ports start no threads. An overlapped port has at most one
// monitor thread (MonitorCommEvents) and one write-completion thread
// (WritePortWait, which writes the port's pending writes in the order they
// were made) at a time; ClosePort and KillAllPorts wake them and join them
// before the device is closed. A plain write blocked on another thread is
// woken by the close and the descriptor closes when it returns.
#pragma once

#include <termios.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "syslib/liberror.h"

namespace syslib {

constexpr int kPortCount = 25;

// The device-control record of an entry (the Win32 DCB layout, plus three
// bytes never used). ResetPort builds on it.
struct Dev {
  int32_t ID = 0;
  int32_t BAUDRATE = 0;
  int32_t FLAGS = 0;
  uint16_t RESERVED = 0;
  int16_t XONLIM = 0;
  int16_t XOFFLIM = 0;
  uint8_t BYTESIZE = 0;
  uint8_t PARITY = 0;    // kNoParity .. kSpaceParity
  uint8_t STOPBITS = 0;  // kOneStopBit, kOne5StopBits, kTwoStopBits
  uint8_t XONCHAR = 0;
  uint8_t XOFFCHAR = 0;
  uint8_t PECHAR = 0;
  uint8_t EOFCHAR = 0;
  uint8_t EVTCHAR = 0;
  int16_t TXDELAY = 0;
  uint8_t RLSTIMEOUT = 0;
  uint8_t CTSTIMEOUT = 0;
  uint8_t DSRTIMEOUT = 0;
  bool operator==(const Dev&) const = default;
};

constexpr uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4;
constexpr uint8_t kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;
// Binary, DTR and RTS raised, no flow control, no parity check on input.
constexpr int32_t kDevFlags = 0x1011;

// Time-outs of an entry in milliseconds (the Win32 COMMTIMEOUTS layout).
struct CommTimeouts {
  uint32_t READINTERVAL = 0;
  uint32_t READMULTIPLIER = 0;
  uint32_t READCONSTANT = 0;
  uint32_t WRITEMULTIPLIER = 0;
  uint32_t WRITECONSTANT = 0;
  bool operator==(const CommTimeouts&) const = default;
};

// A port-table entry. Handle, the sizes and the Dev record keep their last
// values after the port is closed.
struct PortEntry {
  LONG Handle = 0;
  LONG InUse = 0;
  LONG InBufferSize = 0;   // 0 for a parallel port
  LONG OutBufferSize = 0;  // 0 for a parallel port
  LONG Overlapped = 0;
  LONG PendingWrites = 0;  // overlapped writes not yet completed
};

// Program events of the monitor (posted to the thread that armed it).
constexpr int kCommsTxEmptyEvent = 6881;
constexpr int kCommsRxCharEvent = 6882;
constexpr int kCommsLineChangeEvent = 6883;

// Where the monitor's events go: (thread number, event). The thread number
// is the platform's number (platform::ui::ThreadNumber) of the thread that
// called UseCommEvents; the program's sink posts the event to that thread.
// The sink runs on the monitor thread; it should only hand the event on
// (post it) and must not call the procedures of this module. Without a sink
// the events are dropped.
using CommEventSink = std::function<void(int threadNumber, int event)>;
void SetCommEventSink(CommEventSink sink);

// ---- Mode strings and names (pure) ----

// Reads the settings of a mode ("COM1:9600,n,8,1", "9600,e,7,2",
// "baud=19200 parity=n data=8 stop=1"; a leading "NAME:" is skipped) into
// dev. Only the settings the text names change. Old form: baud (two-digit
// abbreviations such as 96 and 19 allowed), parity n/e/o/m/s, data bits 5..8,
// stop bits 1, 1.5 or 2, handshake e/b/p/x; any field may be empty. New form:
// baud=, parity=, data=, stop=, and to=, xon=, odsr=, octs=, dtr=, rts=,
// idsr= (checked, not kept: the flags are fixed). false, with dev
// unchanged, when the text does not read.
bool BuildCommDCBA(std::string_view def, Dev& dev);

// The termios settings for a Dev record, built on t: raw mode, CLOCAL and
// CREAD, no flow control, no parity check on input, VMIN 0 and VTIME 0,
// both speeds. false, with t unchanged, when the record cannot be applied
// (a rate without a termios constant, data bits outside 5..8, an unknown
// parity or stop-bit value).
bool DevToTermios(const Dev& dev, termios& t);

// The settings the library applies for a mode on a fresh entry (all-zero
// Dev, first 31 characters of the mode, the fixed flags), built on a zeroed
// termios; nullopt when they cannot be applied.
std::optional<termios> ModeToSettings(std::string_view mode);

// What a mode names.
struct PortTarget {
  int entry = kPortCount;  // 1..25
  std::string deviceName;  // "COM1", "\\.\COM12", "" when the colon is misplaced
  std::string path;        // the Linux device, "" when the name maps to none
};
PortTarget ResolvePort(std::string_view mode);

// The speed_t of a rate in bauds, B0 when termios has none; and back.
speed_t SpeedOfBaud(int32_t baud);
int32_t BaudOfSpeed(speed_t speed);

// ---- Ports ----

// Opens the port the mode names and applies the mode (ResetPort).
// defaultIn/defaultOut non-zero ask for 512-byte queues (inBuffer/outBuffer
// otherwise; recorded, the kernel's queues are fixed). With "/WHDebug" on the
// command line a box "Opening Port : n from  DEVICE Mode: MODE Parm: DEVICE"
// comes first (Abort ends the program with exit status 1, Ignore goes on;
// the headless box answers Abort unless VELORN_MSGBOX_ANSWERS says ignore).
// The device is opened read-write, without controlling terminal, close-on-
// exec and non-blocking, exclusively (flock, and TIOCEXCL while open); a
// serial port is put in raw mode.
// Result: the handle (>= 0); a non-zero UseCommEvents result for an
// overlapped port (the port stays open); -1 on failure:
//  - no device for the name, the open fails, the device is already open
//    (locked), or the entry is already in use by another port:
//    0A0000014h, detail "port=" MODE ", " system text;
//  - a serial device that is not a terminal or cannot be set up (or a
//    negative queue size): the device is closed again and the entry left
//    free; 0A0000015h, detail "port=" MODE ", Inb=" n ", Outb=" n ", "
//    system text.
// MODE is the mode without trailing blanks. A parallel port ("LPT...")
// skips the serial set-up and records both sizes as 0.
LONG NewPort(std::string_view mode, LONG inBuffer, uint8_t defaultIn, LONG outBuffer, uint8_t defaultOut,
             uint8_t overlapped);

// Applies the settings the mode names to the port open on the mode's entry
// (entry from the text before the first colon, its 4th and 5th characters),
// keeping the others from the previous ResetPort of that entry; then sets
// the entry's time-outs (plain: read at once, write 1000 ms + 1000 ms per
// byte; overlapped: read at once, write without limit). A baud change waits
// until queued output has gone (TCSADRAIN); settings equal to the
// terminal's are not applied again. A record that cannot be applied (see
// DevToTermios) leaves the line as it was. What the terminal does not take
// (a pseudo-terminal keeps 8 data bits, no parity) is not a failure.
// Result: 1 when the time-outs are in effect (on a terminal: reads return
// at once, VMIN 0 and VTIME 0); 0 when the terminal's settings cannot be
// read or set that way, and 0 without doing anything when the entry is not
// in use. Sets no library error.
LONG ResetPort(std::string_view mode);

// Reads what has been received, up to count bytes (0 = the buffer's size;
// more is cut to the size), into the buffer, which is first filled with
// blanks. Never waits. Result: the bytes read, 0 when nothing was waiting.
// An empty read on an overlapped port re-arms its monitor (UseCommEvents).
// Failures return 0 with 0A000001Ah (detail: system text): a handle no entry
// in use holds, a negative count, a read error (the library error of a
// re-arming UseCommEvents then replaces it).
LONG ReadPort(LONG handle, std::span<char> buffer, LONG count);

// Writes count bytes of the buffer (0 = the text without trailing blanks;
// more is cut to the buffer's length).
// Plain port: waits at most WRITECONSTANT + WRITEMULTIPLIER * count ms
// (1000 + 1000 per byte); result: the bytes written; fewer on time-out,
// which sets 0A0000019h (the system text of a time-out).
// Overlapped port: what cannot go at once is queued in order and written by
// the port's WritePortWait thread; result: count when written at once, 0
// when pending (PendingWrites counts such writes until they are done).
// Failures return 0 (or the bytes written before the error) with
// 0A0000019h: a handle no entry in use holds, a negative count, a write
// error (overlapped: detail system text, a blank and the Win32 number).
LONG WritePort(LONG handle, std::string_view buffer, LONG count);

// Closes the port with that handle: the entry's InUse := 0, the port's
// threads are woken and joined, TIOCNXCL, then the descriptor is closed.
// A handle no entry in use holds: nothing happens. Sets no library error.
void ClosePort(LONG handle);

// Closes every port in use as ClosePort does (an overlapped port's monitor
// is stopped first). Sets no library error.
void KillAllPorts();

// Starts the port's monitor (ending one still running) for events posted to
// the calling thread's number. Result: 0 (a thread that cannot be started
// is only logged: "Error starting MonitorCommEvents"); 0A0000029h, detail
// system text, for a handle no entry in use holds.
LONG UseCommEvents(LONG handle);

// ---- Inspection (tests, diagnostics) ----

// Entry 1..25 (other numbers give an empty entry).
PortEntry GetPortEntry(int entry);
Dev GetPortDev(int entry);
CommTimeouts GetPortTimeouts(int entry);
// Monitor and write-completion threads whose bodies have not yet ended.
int ActiveCommThreads();

}  // namespace syslib
