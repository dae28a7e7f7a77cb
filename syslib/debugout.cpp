#include "syslib/debugout.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/cmdline.h"
#include "platform/text.h"
#include "syslib/librarylock.h"

namespace syslib {
namespace {

constexpr std::size_t kDebugBuffer = 1024;  // WriteDebugString's buffer, zero included
constexpr std::size_t kWindowChars = 40;    // LOC:WINDOW
constexpr std::size_t kTextChars = 255;     // LOC:TEXT1

// LOC:TEXT1 for an event (step 3). Plain texts and, for now, every other event
// keep the text unchanged.
std::string EventText(std::string_view text, LONG /*event*/, LONG /*field*/) {
  return std::string(platform::text::TrimRight(text));
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
}

void LogEvent(std::string_view text) { LogEvent({}, text, 1, 0, 1, 0, 1); }

}  // namespace syslib
