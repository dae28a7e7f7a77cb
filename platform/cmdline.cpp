#include "platform/cmdline.h"

#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex g_mutex;
std::vector<std::string> g_args;

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool IsBlank(std::string_view s) {
  for (char c : s) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f') return false;
  }
  return true;
}

}  // namespace

void SetCommandLine(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] != nullptr) args.emplace_back(argv[i]);
  }
  SetCommandLine(std::move(args));
}

void SetCommandLine(std::vector<std::string> args) {
  std::lock_guard lock(g_mutex);
  g_args = std::move(args);
}

std::string CommandQuery(std::string_view name) {
  if (name.empty()) return {};
  std::lock_guard lock(g_mutex);
  for (const std::string& arg : g_args) {
    std::string_view a = arg;
    if (EqualsNoCase(a, name)) return arg;
    if (a.size() > name.size() && a[name.size()] == '=' &&
        EqualsNoCase(a.substr(0, name.size()), name)) {
      return std::string(a.substr(name.size() + 1));
    }
  }
  return {};
}

bool CommandHas(std::string_view name) { return !IsBlank(CommandQuery(name)); }

}  // namespace platform
