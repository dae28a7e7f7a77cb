#include "syslib/drain.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <utility>

#include "platform/clock.h"
#include "syslib/debugout.h"
#include "syslib/serial.h"
#include "syslib/timing.h"

namespace syslib {
namespace {

constexpr std::string_view kCdsi = "+CDSI: ";
constexpr std::string_view kCmti = "+CMTI: ";
constexpr std::string_view kWind = "+WIND: ";
constexpr std::size_t kIndexFrom = 12;  // 0-based: the 13th character
constexpr std::size_t kWindFrom = 7;    // 0-based: the 8th character
constexpr LONG kSplitFrom = 7;          // reads this long are split; shorter ones discarded

struct WindText {
  std::string_view value;
  std::string_view event;
};
constexpr std::array<WindText, 10> kWindTexts{{
    {"0", "SIM removed"},
    {"1", "SIM inserted"},
    {"2", "Calling party is alerting"},
    {"3", "Waiting for PIN"},
    {"4", "Ready for commands"},
    {"5,1", "Call connected"},
    {"6,1", "Call released"},
    {"7", "Network found"},
    {"8", "Network lost"},
    {"9", "Audio ON"},
}};

thread_local std::deque<GsmIndicationRecord> t_queue;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// A decimal number, blanks around it allowed, a fraction cut off, held at
// the LONG range; 0 for any other text.
LONG ReadNumber(std::string_view s) {
  s = TrimBlanks(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int64_t value = 0;
  bool digits = false;
  bool fraction = false;
  for (const char c : s) {
    if (c == '.' && !fraction) {
      fraction = true;
    } else if (c >= '0' && c <= '9') {
      digits = true;
      if (!fraction && value <= INT32_MAX) value = value * 10 + (c - '0');
    } else {
      return 0;
    }
  }
  if (!digits) return 0;
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<LONG>(value);
}

std::string_view WindEvent(std::string_view value) {
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  for (const WindText& w : kWindTexts)
    if (w.value == value) return w.event;
  return {};
}

std::string Decimal(LONG v) { return std::to_string(v); }

// Where the line at the start of rest (two characters or more) stops: at its
// carriage return; without one, before the last character.
std::size_t LineStop(std::string_view rest) {
  const std::size_t cr = rest.find('\r');
  return cr == std::string_view::npos ? rest.size() - 1 : cr;
}

}  // namespace

DecodedLine DecodeIndicationLine(std::string_view line) {
  DecodedLine d;
  if (line.size() + 1 < kShortLineEnd) {
    d.EVENT = line;
  } else if (line.starts_with(kCdsi) || line.starts_with(kCmti)) {
    const bool report = line.starts_with(kCdsi);
    d.TYPE = report ? "DEL" : "SMS";
    d.INDEX = line.size() > kIndexFrom ? ReadNumber(line.substr(kIndexFrom)) : 0;
    d.EVENT = (report ? "Delivery Report received, index=" : "SMS received, index=") + Decimal(d.INDEX);
  } else if (line.starts_with(kWind)) {
    const std::string_view event = WindEvent(line.substr(kWindFrom));
    d.EVENT = event.empty() ? line : event;
  } else {
    d.EVENT = line;
  }
  return d;
}

void SplitReceivedText(std::string_view received, const FollowUpRead& followUp, const LineSink& sink) {
  std::string text(received.substr(0, kReceiveChars));
  std::size_t at = 0;  // the rest of the text starts here
  while (text.size() - at > 1) {
    std::string_view rest = std::string_view(text).substr(at);
    if (rest.starts_with("\r\n")) {
      at += 2;
      continue;
    }
    if (rest.front() == '\r' || rest.front() == '\n') {
      ++at;
      continue;
    }
    std::size_t stop = LineStop(rest);
    if (stop + 1 < kShortLineEnd && rest.front() == '+' && followUp) {
      const std::string more = followUp();
      if (!more.empty()) {
        std::string joined(rest);
        joined.append(more, 0, kReceiveChars - std::min(kReceiveChars, joined.size()));
        text = std::move(joined);
        at = 0;
        rest = text;
        stop = LineStop(rest);
      }
    }
    sink(DecodeIndicationLine(rest.substr(0, stop)));
    if (rest.size() <= stop + 1) break;
    at += stop + 1;
  }
}

std::vector<DecodedLine> SplitReceivedText(std::string_view received) {
  std::vector<DecodedLine> lines;
  SplitReceivedText(received, FollowUpRead{}, [&](const DecodedLine& d) { lines.push_back(d); });
  return lines;
}

LONG ds_EmptyPort(LONG handle, LONG timeout) {
  SetLibraryProcedureName("ds_EmptyPort");
  Stopwatch(kDrainStopwatch, 0, static_cast<double>(timeout));

  std::array<char, kReceiveChars> received;
  const auto store = [handle](const DecodedLine& d) {
    platform::Clock& clock = platform::GetClock();
    GsmIndicationRecord r;
    r.PID = handle;
    r.DATE = clock.Today();
    r.TIME = clock.ClockTime();
    r.EVENT = d.EVENT;
    r.TYPE = d.TYPE;
    r.INDEX = d.INDEX;
    detail::AppendGsmIndication(std::move(r));
  };
  // Once the time has run out, a short line is taken as it stands.
  const auto followUp = [handle]() -> std::string {
    if (Stopwatch(kDrainStopwatch, 1, 0.0) != 0) return {};
    LogEvent("Waiting for more characters");
    ds_Sleep(kFollowUpWait);
    std::array<char, kReceiveChars> second;
    const LONG m = ReadPort(handle, second, kDrainReadChars);
    if (m <= 0) {
      LogEvent("No more found");
      return {};
    }
    LogEvent("More found, received chars=" + Decimal(m) + "  " + std::string(second.data(), second.size()));
    return std::string(second.data(), static_cast<std::size_t>(m));
  };

  for (;;) {
    if (Stopwatch(kDrainStopwatch, 1, 0.0) != 0) {
      SetLibraryErrorDetail("timeout=" + Decimal(timeout));
      return SetLibraryError(kErrEmptyPort);
    }
    const LONG n = ReadPort(handle, received, kDrainReadChars);
    if (n == 0) return 0;
    if (n < kSplitFrom) {
      ds_Sleep(kShortReadPause);
      continue;
    }
    LogEvent("Buffer was not empty, received chars=" + Decimal(n) + "  " +
             std::string(received.data(), received.size()));
    SplitReceivedText(std::string_view(received.data(), static_cast<std::size_t>(n)), followUp, store);
  }
}

const std::deque<GsmIndicationRecord>& GsmIndicationQueue() { return t_queue; }

void ClearGsmIndicationQueue() { t_queue.clear(); }

namespace detail {

void AppendGsmIndication(GsmIndicationRecord record) {
  if (t_queue.size() >= kGsmIndicationQueueLimit) t_queue.pop_front();
  t_queue.push_back(std::move(record));
}

}  // namespace detail

}  // namespace syslib
