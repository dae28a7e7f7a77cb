// Debug output, plain text lines: OutputDebugStringA, WriteDebugString, LogEvent.
#include "syslib/debugout.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/syslib/capture.h"

using namespace syslib;
using testsupport::CommandLineScope;
using testsupport::StderrCapture;

TEST(DebugOut, OutputDebugStringWritesTheTextAsItIs) {
  StderrCapture cap;
  OutputDebugStringA("line one\r\n");
  OutputDebugStringA("no end");
  OutputDebugStringA(nullptr);
  EXPECT_EQ(cap.Finish(), "line one\r\nno end");
}

TEST(DebugOut, WriteDebugStringTrimsAndAddsLineEnd) {
  StderrCapture cap;
  WriteDebugString("hello   ", 1);
  WriteDebugString("plain  ", 0);
  WriteDebugString("   ", 1);
  EXPECT_EQ(cap.Finish(), "hello\r\nplain\r\n");
}

TEST(DebugOut, WriteDebugStringPasses1023Characters) {
  StderrCapture cap;
  WriteDebugString(std::string(2000, 'x'), 1);
  EXPECT_EQ(cap.Finish(), std::string(1023, 'x'));
  StderrCapture cap2;
  WriteDebugString(std::string(1021, 'y'), 1);
  EXPECT_EQ(cap2.Finish(), std::string(1021, 'y') + "\r\n");
  StderrCapture cap3;
  WriteDebugString(std::string(1022, 'z'), 1);
  EXPECT_EQ(cap3.Finish(), std::string(1022, 'z') + "\r");
}

TEST(DebugOut, WriteDebugStringCountsCharactersNotBytes) {
  StderrCapture cap;
  std::string s;
  for (int i = 0; i < 1100; ++i) s += "\xC5\x99";  // ř
  WriteDebugString(s, 0);
  EXPECT_EQ(cap.Finish(), s.substr(0, 2 * 1023));
}

TEST(DebugOut, LogEventWithoutDebugWritesNothing) {
  CommandLineScope args({"/NOSERVICE"});
  StderrCapture cap;
  LogEvent("a text");
  LogEvent("Window", "a text", 0, 0, 1, 0, 1);
  EXPECT_EQ(cap.Finish(), "");
}

TEST(DebugOut, LogEventPlainLineBeginsWithABlank) {
  CommandLineScope args({"/debug"});
  StderrCapture cap;
  LogEvent("ReadPort API call to ReadFile failed, , ReadPort   ");
  LogEvent("", "second", 1, 0, 1, 0, 1);
  EXPECT_EQ(cap.Finish(), " ReadPort API call to ReadFile failed, , ReadPort\r\n second\r\n");
}

TEST(DebugOut, LogEventFlagsIgnoreTheirArguments) {
  CommandLineScope args({"/debug"});
  StderrCapture cap;
  LogEvent("Main  ", "text", 0, 5000, 1, 3, 1);  // window kept, event ignored
  LogEvent("Main", "text", 1, 5000, 0, 0, 1);    // window ignored, event 5000 kept
  EXPECT_EQ(cap.Finish(), "Main text\r\n 5000 text\r\n");
}

TEST(DebugOut, LogEventTextIsCutTo255) {
  CommandLineScope args({"/debug"});
  StderrCapture cap;
  LogEvent(std::string(300, 't'));
  EXPECT_EQ(cap.Finish(), " " + std::string(255, 't') + "\r\n");
}

TEST(DebugOut, LinesFromThreadsDoNotMix) {
  CommandLineScope args({"/debug"});
  StderrCapture cap;
  {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([t] {
        for (int i = 0; i < 200; ++i) LogEvent("thread " + std::to_string(t) + " line " + std::to_string(i) + " " + std::string(200, char('a' + t)));
      });
    for (auto& th : threads) th.join();
  }
  const std::string out = cap.Finish();
  std::set<std::string> lines;
  std::size_t at = 0, count = 0;
  while (at < out.size()) {
    const std::size_t end = out.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    lines.insert(out.substr(at, end - at));
    at = end + 2;
    ++count;
  }
  EXPECT_EQ(count, 800u);
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 200; ++i)
      EXPECT_TRUE(lines.count(" thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                              std::string(200, char('a' + t))))
          << t << " " << i;
}
