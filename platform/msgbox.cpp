#include "platform/msgbox.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>

#include "platform/locale_texts.h"

namespace platform {

namespace {

std::mutex gMutex;
BoxView gView;
BeepView gBeep;
size_t gScriptPos = 0;
std::string gScriptSeen;  // the script the position counts in

unsigned ParseAnswer(std::string_view w) {
  std::string s;
  for (char c : w) s += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (s == "ok") return BoxOk;
  if (s == "yes") return BoxYes;
  if (s == "no") return BoxNo;
  if (s == "abort") return BoxAbort;
  if (s == "retry") return BoxRetry;
  if (s == "ignore") return BoxIgnore;
  if (s == "cancel") return BoxCancel;
  if (s == "help") return BoxHelp;
  return 0;
}

// The next scripted answer, 0 when the script is empty or used up.
unsigned NextScripted() {
  const char* env = std::getenv("VELORN_MSGBOX_ANSWERS");
  if (!env) return 0;
  std::string_view all(env);
  if (all != gScriptSeen) {
    gScriptSeen = all;
    gScriptPos = 0;
  }
  size_t pos = 0;
  for (size_t i = 0; i < gScriptPos; ++i) {
    const size_t comma = all.find(',', pos);
    if (comma == std::string_view::npos) return 0;
    pos = comma + 1;
  }
  if (pos >= all.size()) return 0;
  ++gScriptPos;
  return ParseAnswer(all.substr(pos, all.find(',', pos) - pos));
}

void WriteLine(const std::string& line) {
  // One write per line, so lines from several threads do not mix.
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

unsigned HeadlessAnswer(unsigned buttons) {
  for (unsigned b : {BoxCancel, BoxNo, BoxAbort})
    if (buttons & b) return b;
  for (unsigned b = 1; b <= BoxHelp; b <<= 1)
    if (buttons & b) return b;
  return BoxOk;
}

unsigned MessageBox(std::string_view text, std::string_view caption, BoxIcon icon, unsigned buttons,
                    unsigned defaultButton) {
  BoxView view;
  {
    std::lock_guard lock(gMutex);
    view = gView;
  }
  if (view) return view(text, caption, icon, buttons, defaultButton);
  std::string line(caption);
  line += ": ";
  for (char c : text) line += (c == '\r' || c == '\n') ? ' ' : c;
  line += '\n';
  WriteLine(line);
  std::lock_guard lock(gMutex);
  const unsigned scripted = NextScripted();
  return (scripted & buttons) ? scripted : HeadlessAnswer(buttons);
}

void Beep(BoxIcon sound) {
  BeepView beep;
  {
    std::lock_guard lock(gMutex);
    beep = gBeep;
  }
  if (beep) beep(sound);
}

void SetBeepView(BeepView view) {
  std::lock_guard lock(gMutex);
  gBeep = std::move(view);
}

void SetBoxView(BoxView view) {
  std::lock_guard lock(gMutex);
  gView = std::move(view);
}

namespace {

void ShowFileError(std::string text, int code, std::string_view detail) {
  text += "\r\n" + locale::ErrorText(code) + " (" + std::to_string(code) + ")";
  if (!detail.empty()) text += "\r\n" + std::string(detail);
  MessageBox(text, "Chyba souboru", BoxIcon::Hand, BoxOk);
}

}  // namespace

void ReportFileError(std::string_view fileName, int code, std::string_view detail) {
  ShowFileError("Soubor " + std::string(fileName) + " nelze otevřít.", code, detail);
}

void ReportRecordError(std::string_view fileName, int code, bool writing) {
  ShowFileError(std::string(writing ? "Chyba při zápisu do souboru " : "Chyba při čtení souboru ") +
                    std::string(fileName) + ".",
                code, {});
}

void Halt(int exitCode) {
  std::fflush(nullptr);
  ::_exit(exitCode);
}

}  // namespace platform
