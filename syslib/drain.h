// The receive drain: empties the receive side of an open port, splits what
// it caught into lines and keeps every line, decoded when it is a GSM modem
// indication ("+CMTI", "+CDSI", "+WIND"), in a per-thread queue.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "syslib/liberror.h"

namespace syslib {

constexpr LONG kDrainStopwatch = 999;        // the drain's stopwatch, per thread
constexpr std::size_t kReceiveChars = 255;   // receive text of one call
constexpr LONG kDrainReadChars = 200;        // most characters asked of one read
constexpr std::size_t kShortLineEnd = 9;     // a line ending before this position is short
constexpr double kShortReadPause = 1.0;      // hundredths after a read of 1..6 characters
constexpr double kFollowUpWait = 30.0;       // hundredths before the follow-up read
constexpr std::size_t kGsmIndicationQueueLimit = 1000;  // newest records kept per thread

// One line the drain kept.
struct GsmIndicationRecord {
  LONG PID = 0;        // the handle given to ds_EmptyPort
  LONG DATE = 0;       // day number when stored
  LONG TIME = 0;       // time of day (standard time) when stored
  std::string EVENT;   // the decoded text, or the line itself (bytes as received)
  std::string TYPE;    // "DEL" delivery report, "SMS" new message, "" otherwise
  LONG INDEX = 0;      // storage index of the message or report, 0 otherwise
};

// A line decoded: the queue record's EVENT, TYPE and INDEX.
struct DecodedLine {
  std::string EVENT;
  std::string TYPE;
  LONG INDEX = 0;
  bool operator==(const DecodedLine&) const = default;
};

// Decodes one line (without its carriage return):
//  - shorter than 8 characters: EVENT is the line;
//  - "+CDSI: " / "+CMTI: ": TYPE "DEL" / "SMS", INDEX the number from the
//    13th character on (0 when it does not read as a number), EVENT
//    "Delivery Report received, index=" / "SMS received, index=" & INDEX;
//  - "+WIND: ": the value from the 8th character on (trailing blanks
//    ignored) selects the EVENT text ("SIM removed" ... "Audio ON"); another
//    value gives the line;
//  - anything else: EVENT is the line.
DecodedLine DecodeIndicationLine(std::string_view line);

// Asked for more characters when a short line begins with "+": returns
// what a follow-up read brought, "" when nothing came or no read was made.
using FollowUpRead = std::function<std::string()>;
using LineSink = std::function<void(const DecodedLine&)>;

// Splits a received text (cut to 255 characters) into lines and hands each
// one, decoded, to sink. Line ends are carriage returns; carriage returns
// and line feeds at the start of the rest are dropped; a text without a
// carriage return gives one line without its last character, and a single
// character left over is dropped. A short line beginning with "+" may be
// cut short: followUp (when given) is asked once for that line, and what it
// returns is appended (the whole text kept at most 255 characters) before
// the line end is looked for again.
void SplitReceivedText(std::string_view received, const FollowUpRead& followUp, const LineSink& sink);

// The same without follow-up reads, giving the lines in order.
std::vector<DecodedLine> SplitReceivedText(std::string_view received);

// Reads the port until a read finds nothing (result 0), or until the
// timeout (hundredths, stopwatch 999) has run out while characters kept
// coming: then library error 0A000000Dh, detail "timeout=" & timeout, and
// that code as the result. The time is tested before each read. Reads of
// 1..6 characters are discarded and followed by a 10 ms pause; longer ones
// are logged ("/debug") and split into the thread's queue. A failed read
// gives 0 like a quiet port, with ReadPort's error left set. A short line beginning with "+" waits 300 ms for
// the rest of it, unless the time has already run out: the drain returns
// within its timeout plus one such wait, whatever the device sends.
LONG ds_EmptyPort(LONG handle, LONG timeout);

// The calling thread's queue, oldest first.
const std::deque<GsmIndicationRecord>& GsmIndicationQueue();
void ClearGsmIndicationQueue();

namespace detail {
// Appends to the calling thread's queue, dropping the oldest record beyond
// kGsmIndicationQueueLimit.
void AppendGsmIndication(GsmIndicationRecord record);
}  // namespace detail

}  // namespace syslib
