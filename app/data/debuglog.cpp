#include "app/data/debuglog.h"

#include "app/data/records.h"
#include "platform/locale_texts.h"
#include "platform/msgbox.h"
#include "platform/text.h"

namespace app::data {

uint8_t DebugEnabled = 0;

namespace {

void PlainBox(std::string_view, std::string_view title, std::string_view text) {
  platform::MessageBox(text, title, platform::BoxIcon::Hand);
}

ErrorBoxFn gErrorBox = PlainBox;

}  // namespace

std::string& DebugLine() {
  thread_local std::string line(kDebugLineChars, ' ');
  return line;
}

void SetDebugErrorBox(ErrorBoxFn box) { gErrorBox = box ? box : PlainBox; }

void WriteDebugLine() {
  if (DebugEnabled != 1) return;
  AttachThreadFiles();
  platform::LineFile& log = Files().DEBUG;
  int rc = log.Open(/*denyWrite=*/true);
  if (rc == platform::locale::FileNotFound) {
    if (log.Create() == 0) log.Open(true);
  }
  // An open failure other than a missing file shows in the append below.
  const std::string line = platform::text::PadChars(DebugLine(), kDebugLineChars);
  rc = log.Append(line);
  if (rc != 0) gErrorBox("stop.ico", "Chyba č.0x" + std::to_string(rc), kDebugAppendError);
  log.Close();
}

}  // namespace app::data
