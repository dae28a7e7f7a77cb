// Test helpers: what the code under test writes to standard error (fd 2),
// and a command line set for the length of a scope.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/cmdline.h"

namespace testsupport {

class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(::fileno(file_), STDERR_FILENO);
  }
  ~StderrCapture() { Finish(); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Restores standard error and gives everything written meanwhile.
  std::string Finish() {
    if (file_ == nullptr) return text_;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    std::rewind(file_);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) text_.append(buf, n);
    std::fclose(file_);
    file_ = nullptr;
    return text_;
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
  std::string text_;
};

class CommandLineScope {
 public:
  explicit CommandLineScope(std::vector<std::string> args) { platform::SetCommandLine(std::move(args)); }
  ~CommandLineScope() { platform::SetCommandLine(std::vector<std::string>{}); }
  CommandLineScope(const CommandLineScope&) = delete;
  CommandLineScope& operator=(const CommandLineScope&) = delete;
};

}  // namespace testsupport
