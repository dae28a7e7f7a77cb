#include "syslib/drain.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "syslib/liberror.h"
#include "syslib/serial.h"
#include "tests/syslib/capture.h"
#include "tools/devsim.h"

namespace {

using namespace std::chrono_literals;
using syslib::DecodedLine;
using Ms = std::chrono::milliseconds;

}  // namespace

namespace syslib {
void PrintTo(const DecodedLine& d, std::ostream* os) {
  *os << "{EVENT \"" << d.EVENT << "\", TYPE \"" << d.TYPE << "\", INDEX " << d.INDEX << "}";
}
}  // namespace syslib

namespace {

DecodedLine Plain(std::string event) { return {std::move(event), "", 0}; }

// ---- Decoding and splitting (no port) ----

struct DecodeCase {
  const char* line;
  DecodedLine want;
};

TEST(DecodeIndicationLine, DecodesModemIndications) {
  const DecodeCase cases[] = {
      {"+CMTI: \"SM\",3", {"SMS received, index=3", "SMS", 3}},
      {"+CMTI: \"ME\",117", {"SMS received, index=117", "SMS", 117}},
      {"+CMTI: \"SM\", 4 ", {"SMS received, index=4", "SMS", 4}},
      {"+CMTI: \"SM\",x1", {"SMS received, index=0", "SMS", 0}},
      {"+CMTI: \"SM\"", {"SMS received, index=0", "SMS", 0}},
      {"+CDSI: \"SR\",12", {"Delivery Report received, index=12", "DEL", 12}},
      {"+CDSI: \"SR\",99999999999", {"Delivery Report received, index=2147483647", "DEL", 2147483647}},
      {"+WIND: 0", Plain("SIM removed")},
      {"+WIND: 1", Plain("SIM inserted")},
      {"+WIND: 2", Plain("Calling party is alerting")},
      {"+WIND: 3", Plain("Waiting for PIN")},
      {"+WIND: 4", Plain("Ready for commands")},
      {"+WIND: 4   ", Plain("Ready for commands")},
      {"+WIND: 5,1", Plain("Call connected")},
      {"+WIND: 6,1", Plain("Call released")},
      {"+WIND: 7", Plain("Network found")},
      {"+WIND: 8", Plain("Network lost")},
      {"+WIND: 9", Plain("Audio ON")},
      {"+WIND: 10", Plain("+WIND: 10")},
      {"+WIND: 5", Plain("+WIND: 5")},
      {"+WIND:  4", Plain("+WIND:  4")},
      {"+cmti: \"SM\",3", Plain("+cmti: \"SM\",3")},
      {"OK", Plain("OK")},
      {"+CMTI: ", Plain("+CMTI: ")},  // shorter than 8: the line itself
      {"s12 done", Plain("s12 done")},
  };
  for (const auto& c : cases) EXPECT_EQ(syslib::DecodeIndicationLine(c.line), c.want) << c.line;
}

struct SplitCase {
  std::string text;
  std::vector<DecodedLine> want;
};

TEST(SplitReceivedText, SplitsIntoLines) {
  const SplitCase cases[] = {
      {"\r\n+CMTI: \"SM\",3\r\n", {{"SMS received, index=3", "SMS", 3}}},
      {"+WIND: 4\r", {Plain("Ready for commands")}},
      {"\r\n+WIND: 5,1\r\n\r\nOK\r\n", {Plain("Call connected"), Plain("OK")}},
      {"+WIND: 10\r\n", {Plain("+WIND: 10")}},
      {"abcdefghijkl", {Plain("abcdefghijk")}},      // no carriage return: the last character is left out
      {"OK\nERROR\n", {Plain("OK\nERROR")}},         // line feeds alone do not end lines
      {"\n\r\r\nOK\r", {Plain("OK")}},
      {"abc\r\nx", {Plain("abc")}},                  // a single character left over is dropped
      {"\r\n\r\n\r\n", {}},
      {"+CMT\r\nOK\r\n", {Plain("+CMT"), Plain("OK")}},  // cut short, nothing to ask for more
  };
  for (const auto& c : cases) EXPECT_EQ(syslib::SplitReceivedText(c.text), c.want) << c.text;
}

TEST(SplitReceivedText, KeepsTheFirst255Characters) {
  const std::string text = std::string(254, 'a') + "bc\r\n";
  const auto lines = syslib::SplitReceivedText(text);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].EVENT, std::string(254, 'a'));  // "ab" left; its "b" dropped as the last character
}

struct FollowUpCase {
  std::string text;
  std::vector<std::string> more;  // answers of successive follow-up reads
  std::vector<DecodedLine> want;
  size_t asked;
};

TEST(SplitReceivedText, ShortPlusLineAsksForMoreOnce) {
  const FollowUpCase cases[] = {
      // The rest of an indication arrives later and is joined to it.
      {"+CMTI: ", {"\"SM\",7\r\n"}, {{"SMS received, index=7", "SMS", 7}}, 1},
      {"\r\n+CDSI: \"", {"SR\",5\r\n"}, {{"Delivery Report received, index=5", "DEL", 5}}, 1},
      // Long enough to be read as it is (no line end: the last character is left out).
      {"+CDSI: \"SR\"", {}, {{"Delivery Report received, index=0", "DEL", 0}}, 0},
      // A carriage return at position 5: the joined text is split as usual.
      {"+CMT\r\nAB", {"CD\r\n"}, {Plain("+CMT"), Plain("ABCD")}, 1},
      // Nothing came: the line as it stands, without its last character.
      {"+CMTI: ", {""}, {Plain("+CMTI:")}, 1},
      // Not short, or not beginning with "+": no follow-up.
      {"+WIND: 4\r\n", {}, {Plain("Ready for commands")}, 0},
      {"OK\r\nOK\r\n", {}, {Plain("OK"), Plain("OK")}, 0},
      // Every short "+" line asks once; a later short line asks again.
      {"+\r+\r", {"", ""}, {Plain("+"), Plain("+")}, 2},
  };
  for (const auto& c : cases) {
    size_t asked = 0;
    std::vector<DecodedLine> got;
    syslib::SplitReceivedText(
        c.text,
        [&]() -> std::string { return asked < c.more.size() ? c.more[asked++] : (++asked, std::string()); },
        [&](const DecodedLine& d) { got.push_back(d); });
    EXPECT_EQ(got, c.want) << c.text;
    EXPECT_EQ(asked, c.asked) << c.text;
  }
}

TEST(SplitReceivedText, JoinedTextIsCutTo255) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "+\r";
  bool first = true;
  std::vector<DecodedLine> got;
  syslib::SplitReceivedText(
      text,
      [&]() -> std::string {
        if (!first) return {};
        first = false;
        return std::string(200, 'x');
      },
      [&](const DecodedLine& d) { got.push_back(d); });
  ASSERT_EQ(got.size(), 101u);
  EXPECT_EQ(got[99], Plain("+"));
  EXPECT_EQ(got[100], Plain(std::string(54, 'x')));  // 255 - 200 = 55, the last dropped
}

// Random texts over the characters that steer the splitter, plus any bytes.
TEST(SplitReceivedText, RandomTextsStayInBounds) {
  std::mt19937 rng(20240611u);
  const std::vector<std::string> pieces = {"+",  "\r", "\n", "\r\n", ",",       "\"",       "\"SM\",",
                                           " ",  "0",  "7",  "42",   "+CMTI: ", "+CDSI: ", "+WIND: ",
                                           "5,1", "OK"};
  auto randomText = [&](size_t maxPieces) {
    std::string s;
    const size_t count = rng() % (maxPieces + 1);
    for (size_t i = 0; i < count; ++i) {
      if (rng() % 4 == 0)
        s += static_cast<char>(rng() % 256);
      else
        s += pieces[rng() % pieces.size()];
    }
    return s;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string source = randomText(120);
    // An exactly sized copy, so that a read past the end is caught.
    std::unique_ptr<char[]> exact(new char[source.size()]);
    std::copy(source.begin(), source.end(), exact.get());
    const std::string_view text(exact.get(), source.size());

    size_t asked = 0, lines = 0, fed = 0;
    syslib::SplitReceivedText(
        text,
        [&]() -> std::string {
          ++asked;
          if (asked > 3 || rng() % 2 == 0) return {};
          std::string more = randomText(60);
          fed += more.size();
          return more;
        },
        [&](const DecodedLine& d) {
          ++lines;
          ASSERT_LE(d.EVENT.size(), 254u);
          ASSERT_TRUE(d.TYPE.empty() || d.TYPE == "SMS" || d.TYPE == "DEL") << d.TYPE;
          if (d.TYPE.empty()) {
            ASSERT_EQ(d.INDEX, 0);
          }
        });
    // Every line takes at least two characters; at most one follow-up per line.
    ASSERT_LE(lines * 2, text.size() + fed) << round;
    ASSERT_LE(asked, lines) << round;
  }
}

// ---- The queue ----

TEST(GsmIndicationQueue, KeepsTheNewestThousandPerThread) {
  syslib::ClearGsmIndicationQueue();
  for (int i = 0; i < 1005; ++i) {
    syslib::GsmIndicationRecord r;
    r.INDEX = i;
    syslib::detail::AppendGsmIndication(r);
  }
  const auto& q = syslib::GsmIndicationQueue();
  ASSERT_EQ(q.size(), syslib::kGsmIndicationQueueLimit);
  EXPECT_EQ(q.front().INDEX, 5);
  EXPECT_EQ(q.back().INDEX, 1004);

  size_t otherSize = 1;
  std::thread([&] {
    otherSize = syslib::GsmIndicationQueue().size();
    syslib::detail::AppendGsmIndication({});
  }).join();
  EXPECT_EQ(otherSize, 0u);
  EXPECT_EQ(q.size(), syslib::kGsmIndicationQueueLimit);
  syslib::ClearGsmIndicationQueue();
}

// ---- The drain on a simulated device ----

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

class DrainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start());
    sim_.SetMode(devsim::Mode::Silent);
    ::setenv("VELORN_COM7", sim_.SlavePath().c_str(), 1);
    handle_ = syslib::NewPort("COM7:9600,n,8,1", 0, 1, 0, 1, 0);
    ASSERT_GE(handle_, 0) << syslib::GetLibraryErrorText();
    syslib::ClearGsmIndicationQueue();
  }
  void TearDown() override {
    if (handle_ >= 0) syslib::ClosePort(handle_);
    sim_.Stop();
    ::unsetenv("VELORN_COM7");
    syslib::ClearGsmIndicationQueue();
  }
  // Waits until the port has something to read.
  bool Readable(Ms timeout = 2000ms) const {
    pollfd p{handle_, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(timeout.count())) == 1;
  }
  // Drains with the time it took.
  syslib::LONG Drain(syslib::LONG timeout, double& seconds) const {
    const auto start = std::chrono::steady_clock::now();
    const syslib::LONG r = syslib::ds_EmptyPort(handle_, timeout);
    seconds = Seconds(std::chrono::steady_clock::now() - start);
    return r;
  }

  devsim::DeviceSimulator sim_;
  syslib::LONG handle_ = -1;
};

TEST_F(DrainTest, QuietPortReturnsAtOnce) {
  double s = 0;
  EXPECT_EQ(Drain(50, s), 0);
  EXPECT_LT(s, 0.1);
  EXPECT_EQ(syslib::LibraryErrorCode(), 0);
  EXPECT_TRUE(syslib::GsmIndicationQueue().empty());
}

TEST_F(DrainTest, HungUpPortReturnsAtOnce) {
  sim_.Stop();  // the device side is closed: reads find nothing or fail
  double s = 0;
  EXPECT_EQ(Drain(50, s), 0);
  EXPECT_LT(s, 0.1);
}

TEST_F(DrainTest, ShortAnswerIsDiscarded) {
  sim_.Send("s12\r\n");  // 5 characters
  ASSERT_TRUE(Readable());
  double s = 0;
  EXPECT_EQ(Drain(50, s), 0);
  EXPECT_GE(s, 0.01);  // one pause after the short read
  EXPECT_TRUE(syslib::GsmIndicationQueue().empty());
  EXPECT_FALSE(Readable(0ms));
}

TEST_F(DrainTest, LongAnswerGoesToTheQueue) {
  sim_.Send("\r\n+WIND: 4\r\n\r\nOK\r\n");
  ASSERT_TRUE(Readable());
  const platform::StdDate before = platform::GetClock().Today();
  double s = 0;
  EXPECT_EQ(Drain(50, s), 0);
  const auto& q = syslib::GsmIndicationQueue();
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[0].EVENT, "Ready for commands");
  EXPECT_EQ(q[1].EVENT, "OK");
  for (const auto& r : q) {
    EXPECT_EQ(r.PID, handle_);
    EXPECT_GE(r.DATE, before);
    EXPECT_LE(r.DATE, platform::GetClock().Today());
    EXPECT_GE(r.TIME, platform::kMidnight);
    EXPECT_LE(r.TIME, platform::kLastTime);
  }
}

TEST_F(DrainTest, ZeroTimeoutGivesUpBeforeReading) {
  sim_.Send("OK\r\n");
  ASSERT_TRUE(Readable());
  double s = 0;
  EXPECT_EQ(Drain(0, s), syslib::kErrEmptyPort);
  EXPECT_TRUE(Readable(0ms));  // nothing was read
}

// A pseudo-terminal refills its buffer asynchronously, so a tight reader
// soon meets a gap in any stream. Here storing a record takes 1 ms, as on a
// slow machine: the device keeps ahead and every read finds more.
class SlowClock final : public platform::Clock {
 public:
  platform::StdDate Today() override { return real_.Today(); }
  platform::StdTime ClockTime() override {
    real_.Sleep(1ms);
    return real_.ClockTime();
  }
  Monotonic::time_point Now() override { return real_.Now(); }
  void Sleep(std::chrono::nanoseconds d) override { real_.Sleep(d); }

 private:
  platform::SystemClock real_;
};

TEST_F(DrainTest, DeviceAheadOfTheDrainTimesOut) {
  sim_.SetStreamLine("s0\r");
  sim_.SetMode(devsim::Mode::Stream);
  ASSERT_TRUE(Readable());
  SlowClock slow;
  platform::SetClock(&slow);
  double s = 0;
  const syslib::LONG r = Drain(50, s);
  platform::SetClock(nullptr);
  EXPECT_EQ(r, syslib::kErrEmptyPort);
  EXPECT_EQ(syslib::kErrEmptyPort, -1610612723);
  EXPECT_EQ(syslib::LibraryErrorCode(), syslib::kErrEmptyPort);
  EXPECT_EQ(syslib::LibraryErrorDetail(), "timeout=50");
  EXPECT_GE(s, 0.5);
}

struct StreamCase {
  const char* line;
};
void PrintTo(const StreamCase& c, std::ostream* os) { *os << ::testing::PrintToString(std::string(c.line)); }

// Lines cut short, sent without pause: each would wait 300 ms for its rest.
class PlusStreamTest : public DrainTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(PlusStreamTest, DrainIsLeftWithinTimeoutAndOneWait) {
  sim_.SetStreamLine(GetParam().line);
  sim_.SetMode(devsim::Mode::Stream);
  ASSERT_TRUE(Readable());
  double s = 0;
  EXPECT_EQ(Drain(50, s), syslib::kErrEmptyPort);
  EXPECT_EQ(syslib::LibraryErrorDetail(), "timeout=50");
  EXPECT_GE(s, 0.5);
  EXPECT_FALSE(syslib::GsmIndicationQueue().empty());
}

INSTANTIATE_TEST_SUITE_P(Lines, PlusStreamTest,
                         ::testing::Values(StreamCase{"+\r"}, StreamCase{"+CMT\r\n"},
                                           StreamCase{"OK\r\n+WIND:\r\n"}));

TEST_F(DrainTest, IndicationCompletedLaterIsJoined) {
  testsupport::CommandLineScope debug({"velorn", "/debug"});
  sim_.Send("\r\n+CMTI: ");
  ASSERT_TRUE(Readable());
  auto rest = std::async(std::launch::async, [this] {
    std::this_thread::sleep_for(100ms);  // the device completes the line later
    sim_.Send("\"SM\",3\r\n");
  });
  testsupport::StderrCapture log;
  double s = 0;
  const syslib::LONG r = Drain(50, s);
  rest.get();
  const std::string text = log.Finish();
  EXPECT_EQ(r, 0);
  EXPECT_GE(s, 0.3);  // the follow-up wait
  const auto& q = syslib::GsmIndicationQueue();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].TYPE, "SMS");
  EXPECT_EQ(q[0].INDEX, 3);
  EXPECT_EQ(q[0].EVENT, "SMS received, index=3");
  EXPECT_NE(text.find("Buffer was not empty, received chars=9  \r\n+CMTI:"), std::string::npos) << text;
  EXPECT_NE(text.find("Waiting for more characters"), std::string::npos) << text;
  EXPECT_NE(text.find("More found, received chars=8  \"SM\",3"), std::string::npos) << text;
}

TEST_F(DrainTest, PlusLineWithNothingMoreStandsAsItIs) {
  sim_.Send("+CMT\r\nOK\r\n");
  ASSERT_TRUE(Readable());
  double s = 0;
  EXPECT_EQ(Drain(50, s), 0);
  EXPECT_GE(s, 0.3);
  const auto& q = syslib::GsmIndicationQueue();
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[0].EVENT, "+CMT");
  EXPECT_EQ(q[1].EVENT, "OK");
}

}  // namespace
