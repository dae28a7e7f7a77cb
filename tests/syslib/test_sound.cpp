// Sound through SDL's disk driver: what is played lands in a file, in real
// time, in the device format (44100 Hz, S16LE, stereo).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/recordfile.h"
#include "syslib/sound.h"
#include "tests/support/child.h"
#include "tests/support/tempdir.h"
#include "tests/support/wav.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

using testsupport::MakeWav;
using testsupport::Put16;

std::string Samples16(const std::vector<int16_t>& samples) {
  std::string s;
  for (const int16_t v : samples) Put16(s, static_cast<uint16_t>(v));
  return s;
}

// A recognisable stereo pattern in the device format: left runs through
// base .. base+996, right is its negative.
constexpr int kPatternSpan = 997;
std::string PatternData(int base, int frames) {
  std::vector<int16_t> v;
  for (int k = 0; k < frames; ++k) {
    const auto left = static_cast<int16_t>(base + k % kPatternSpan);
    v.push_back(left);
    v.push_back(static_cast<int16_t>(-left));
  }
  return Samples16(v);
}

constexpr int kSilence = 0;
constexpr int kOther = -1;
constexpr int kPatternA = 1000, kPatternB = 3000, kPatternC = 5000;

struct Frame {
  int16_t left, right;
};

std::vector<Frame> Frames(const std::string& bytes, std::size_t fromByte = 0) {
  std::vector<Frame> frames;
  for (std::size_t i = fromByte; i + 4 <= bytes.size(); i += 4) {
    const auto at = [&](std::size_t j) {
      return static_cast<int16_t>(static_cast<uint8_t>(bytes[j]) | (static_cast<uint8_t>(bytes[j + 1]) << 8));
    };
    frames.push_back({at(i), at(i + 2)});
  }
  return frames;
}

int Classify(const Frame& f) {
  if (f.left == 0 && f.right == 0) return kSilence;
  for (const int base : {kPatternA, kPatternB, kPatternC}) {
    if (f.left >= base && f.left < base + kPatternSpan && f.right == -f.left) return base;
  }
  return kOther;
}

struct Run {
  int kind;
  std::size_t frames;
};

// The output as runs of silence, patterns and anything else.
std::vector<Run> Runs(const std::vector<Frame>& frames) {
  std::vector<Run> runs;
  for (const auto& f : frames) {
    const int kind = Classify(f);
    if (!runs.empty() && runs.back().kind == kind) {
      ++runs.back().frames;
    } else {
      runs.push_back({kind, 1});
    }
  }
  return runs;
}

// The kinds that sound, in order, silence left out.
std::vector<int> Sounding(const std::vector<Run>& runs) {
  std::vector<int> kinds;
  for (const auto& r : runs) {
    if (r.kind != kSilence) kinds.push_back(r.kind);
  }
  return kinds;
}

std::size_t FramesOf(const std::vector<Run>& runs, int kind) {
  std::size_t n = 0;
  for (const auto& r : runs) {
    if (r.kind == kind) n += r.frames;
  }
  return n;
}

struct Held {
  int32_t n = 0;
};

class Sound : public testing::Test {
 protected:
  void SetUp() override {
    out_ = dir_.file("out.raw");
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", out_.c_str(), 1);
  }
  void TearDown() override {
    syslib::SetSoundLoadHook(nullptr);
    syslib::ShutdownSound();
  }

  // Writes a WAV in the device format holding the pattern; gives its path.
  std::string PatternWav(const std::string& name, int base, int frames) {
    const std::string path = dir_.file(name);
    WriteFile(path, MakeWav(PatternData(base, frames), syslib::kSoundRate, 2, 16));
    return path;
  }

  std::string Output() const { return ReadFile(out_); }

  // Polls the output (written in real time) until pred holds or 10 s pass.
  template <typename Pred>
  bool WaitForOutput(Pred pred) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (;;) {
      if (pred(Output())) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
  }

  // The final output, after the device is closed.
  std::string FinalOutput() {
    syslib::ShutdownSound();
    return Output();
  }

  TempDir dir_;
  std::string out_;
};

TEST_F(Sound, TheFileSamplesAppearInTheOutput) {
  const int frames = 11025;  // 0.25 s
  const std::string a = PatternWav("a.wav", kPatternA, frames);
  const std::string data = PatternData(kPatternA, frames);
  syslib::PlayWaveAsync(a);
  ASSERT_TRUE(WaitForOutput([&](const std::string& o) { return o.find(data) != std::string::npos; }));
  const std::string output = FinalOutput();
  EXPECT_NE(output.find(data), std::string::npos);
  const auto runs = Runs(Frames(output));
  EXPECT_EQ(Sounding(runs), std::vector<int>{kPatternA});
  EXPECT_EQ(FramesOf(runs, kPatternA), static_cast<std::size_t>(frames));
}

TEST_F(Sound, ANewCallReplacesTheSoundPlaying) {
  const int longFrames = 3 * syslib::kSoundRate;
  const int shortFrames = 8820;
  const std::string a = PatternWav("a.wav", kPatternA, longFrames);
  const std::string b = PatternWav("b.wav", kPatternB, shortFrames);
  const std::string bData = PatternData(kPatternB, shortFrames);

  syslib::PlayWaveAsync(a);
  ASSERT_TRUE(WaitForOutput([](const std::string& o) { return FramesOf(Runs(Frames(o)), kPatternA) > 0; }));
  syslib::PlayWaveAsync(b);
  ASSERT_TRUE(WaitForOutput([&](const std::string& o) { return o.find(bData) != std::string::npos; }));

  const auto runs = Runs(Frames(FinalOutput()));
  EXPECT_EQ(Sounding(runs), (std::vector<int>{kPatternA, kPatternB}));
  EXPECT_LT(FramesOf(runs, kPatternA), static_cast<std::size_t>(longFrames));
  EXPECT_EQ(FramesOf(runs, kPatternB), static_cast<std::size_t>(shortFrames));
}

TEST_F(Sound, TheNewestRequestWinsOverALoadInProgress) {
  const std::string a = PatternWav("a.wav", kPatternA, 4410);
  const std::string b = PatternWav("b.wav", kPatternB, 4410);
  const std::string c = PatternWav("c.wav", kPatternC, 4410);
  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();
  std::mutex m;
  std::vector<std::string> loads;
  syslib::SetSoundLoadHook([&, released](const std::string& file) {
    bool first;
    {
      const std::lock_guard lock(m);
      loads.push_back(file);
      first = loads.size() == 1;
    }
    if (first) {
      entered.set_value();
      released.wait();
    }
  });

  syslib::PlayWaveAsync(a);
  ASSERT_EQ(entered.get_future().wait_for(10s), std::future_status::ready);
  // The module's thread is busy with a: these calls return at once.
  syslib::PlayWaveAsync(b);
  syslib::PlayWaveAsync(c);
  EXPECT_FALSE(syslib::WaitSoundIdle(0ms));
  release.set_value();
  ASSERT_TRUE(syslib::WaitSoundIdle(10s));

  const std::string cData = PatternData(kPatternC, 4410);
  ASSERT_TRUE(WaitForOutput([&](const std::string& o) { return o.find(cData) != std::string::npos; }));
  EXPECT_EQ(Sounding(Runs(Frames(FinalOutput()))), std::vector<int>{kPatternC});
  const std::lock_guard lock(m);
  EXPECT_EQ(loads, (std::vector<std::string>{a, c}));  // b was overtaken before its load
}

TEST_F(Sound, ARelativeNameIsTakenFromTheCurrentFolderAtTheCall) {
  PatternWav("rel.wav", kPatternA, 441);
  std::promise<std::string> seen;
  syslib::SetSoundLoadHook([&](const std::string& file) { seen.set_value(file); });
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  syslib::PlayWaveAsync("rel.wav");
  std::filesystem::current_path(previous);
  auto f = seen.get_future();
  ASSERT_EQ(f.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(f.get(), dir_.file("rel.wav"));
  const std::string data = PatternData(kPatternA, 441);
  EXPECT_TRUE(WaitForOutput([&](const std::string& o) { return o.find(data) != std::string::npos; }));
}

TEST_F(Sound, AnUnplayableFileStopsTheSoundAndPlaysNothing) {
  const int longFrames = 3 * syslib::kSoundRate;
  const std::string a = PatternWav("a.wav", kPatternA, longFrames);

  WriteFile(dir_.file("text.wav"), "This is not a sound.\n");
  WriteFile(dir_.file("mp3.wav"), MakeWav(std::string(4000, '\x55'), 44100, 2, 16, 0x0055));
  std::filesystem::create_directory(dir_.file("folder.wav"));
  ASSERT_EQ(::mkfifo(dir_.file("pipe.wav").c_str(), 0600), 0);
  // A name of 248 characters whose first 247 name a playable file.
  const std::string prefix = dir_.path() + "/";
  const std::string cut = prefix + std::string(247 - prefix.size(), 'p');
  std::filesystem::copy_file(a, cut);
  const std::string tooLong = cut + "x";

  const std::string names[] = {dir_.file("missing.wav"), dir_.file("text.wav"), dir_.file("mp3.wav"),
                               dir_.file("folder.wav"),  dir_.file("pipe.wav"), "",
                               "   ",                    tooLong};
  for (const auto& name : names) {
    const std::size_t from = Output().size() / 4 * 4;
    syslib::PlayWaveAsync(a);
    ASSERT_TRUE(WaitForOutput([&](const std::string& o) {
      return FramesOf(Runs(Frames(o, from)), kPatternA) > 0;
    })) << name;
    syslib::PlayWaveAsync(name);
    ASSERT_TRUE(syslib::WaitSoundIdle(10s)) << name;
    // Stopped: a tenth of a second of silence follows a part of a.
    ASSERT_TRUE(WaitForOutput([&](const std::string& o) {
      const auto runs = Runs(Frames(o, from));
      return runs.size() >= 2 && runs.back().kind == kSilence && runs.back().frames >= 4410 &&
             runs[runs.size() - 2].kind == kPatternA;
    })) << name;
    const auto runs = Runs(Frames(Output(), from));
    EXPECT_EQ(Sounding(runs), std::vector<int>{kPatternA}) << name;
    EXPECT_LT(FramesOf(runs, kPatternA), static_cast<std::size_t>(longFrames)) << name;
  }
  // The module still plays after all that.
  const std::size_t from = Output().size() / 4 * 4;
  const std::string b = PatternWav("b.wav", kPatternB, 441);
  syslib::PlayWaveAsync(b);
  const std::string bData = PatternData(kPatternB, 441);
  EXPECT_TRUE(WaitForOutput([&](const std::string& o) { return o.find(bData, from) != std::string::npos; }));
}

// A task or the operator may name a record file as the sound: it is not
// opened, so the program's locks on it stay and another reader leaves its
// log in place.
TEST_F(Sound, ARecordFileHeldOpenIsNotOpenedAsASound) {
  const std::string db = dir_.file("Tasks.tps");
  platform::rec::FileDecl decl;
  decl.label = "T";
  decl.fileName = db;
  decl.recordBytes = 4;
  decl.fields = {platform::rec::Field("T:N", platform::rec::FieldType::Long, 0, &Held::n)};
  platform::rec::File<Held> file(decl);
  ASSERT_EQ(file.Create(), 0);
  ASSERT_EQ(file.Open(), 0);
  struct stat wal {};
  ASSERT_EQ(::stat((db + "-wal").c_str(), &wal), 0);
  for (const std::string& name : {db, db + "-wal", db + "-shm"}) {
    syslib::PlayWaveAsync(name);
    ASSERT_TRUE(syslib::WaitSoundIdle(10s)) << name;
    ASSERT_TRUE(testsupport::ReadWithSqliteTool(db)) << name;
    struct stat after {};
    EXPECT_EQ(::stat((db + "-wal").c_str(), &after), 0) << name;
    EXPECT_EQ(after.st_ino, wal.st_ino) << name;
  }
}

TEST_F(Sound, AMissingFileAloneLeavesOnlySilence) {
  syslib::PlayWaveAsync(dir_.file("missing.wav"));
  ASSERT_TRUE(syslib::WaitSoundIdle(10s));
  ASSERT_TRUE(WaitForOutput([](const std::string& o) { return o.size() >= 4 * 8820; }));
  const auto runs = Runs(Frames(FinalOutput()));
  ASSERT_FALSE(runs.empty());
  EXPECT_TRUE(Sounding(runs).empty());
}

TEST_F(Sound, OtherFormatsAreConvertedToTheDeviceFormat) {
  struct Case {
    const char* name;
    uint32_t rate;
    uint16_t channels, bits;
    std::string data;
    std::size_t frames;  // in the output
    int16_t value;       // in the output, both channels
  } cases[] = {
      {"mono22k.wav", 22050, 1, 16, Samples16(std::vector<int16_t>(4410, 1000)), 8820, 1000},
      {"stereo48k.wav", 48000, 2, 16, Samples16(std::vector<int16_t>(2 * 9600, -2000)), 8820, -2000},
      {"mono8bit.wav", 44100, 1, 8, std::string(8820, static_cast<char>(128 + 64)), 8820, 64 << 8},
  };
  for (const auto& c : cases) {
    const std::size_t from = Output().size() / 4 * 4;
    WriteFile(dir_.file(c.name), MakeWav(c.data, c.rate, c.channels, c.bits));
    syslib::PlayWaveAsync(dir_.file(c.name));
    // Played out: at least its length of sound, then silence.
    ASSERT_TRUE(WaitForOutput([&](const std::string& o) {
      const auto runs = Runs(Frames(o, from));
      std::size_t sounding = 0;
      for (const auto& r : runs) sounding += r.kind != kSilence ? r.frames : 0;
      return sounding >= c.frames * 98 / 100 && runs.back().kind == kSilence && runs.back().frames >= 4410;
    })) << c.name;
    const auto frames = Frames(Output(), from);
    std::vector<Frame> sounding;
    for (const auto& f : frames) {
      if (f.left != 0 || f.right != 0) sounding.push_back(f);
    }
    EXPECT_GE(sounding.size(), c.frames * 98 / 100) << c.name;
    EXPECT_LE(sounding.size(), c.frames * 102 / 100) << c.name;
    // Away from the edges the level is the source's.
    const std::size_t lo = sounding.size() / 10, hi = sounding.size() * 9 / 10;
    for (std::size_t i = lo; i < hi; ++i) {
      ASSERT_EQ(sounding[i].left, sounding[i].right) << c.name << " frame " << i;
      ASSERT_NEAR(sounding[i].left, c.value, std::abs(c.value) / 50) << c.name << " frame " << i;
    }
  }
}

TEST(FileExistsByAttributesTest, Cases) {
  using namespace syslib;
  TempDir dir;
  WriteFile(dir.file("file.wav"), "x");
  WriteFile(dir.file(".hidden"), "x");
  WriteFile(dir.file("readonly"), "x");
  ::chmod(dir.file("readonly").c_str(), 0444);
  std::filesystem::create_directory(dir.file("folder"));
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir.file("file.wav"), dir.file("link"));
  std::filesystem::create_symlink(dir.file("gone"), dir.file("broken"));
  const std::string prefix = dir.path() + "/";
  const std::string exact = prefix + std::string(kMaxSoundFileChars - prefix.size(), 'e');
  WriteFile(exact, "x");

  const struct {
    std::string name;
    uint8_t attrs;
  } cases[] = {
      {"", 0},
      {"    ", 0},
      {dir.file("missing"), 0},
      {dir.file("file.wav"), kAttrArchive},
      {dir.file(".hidden"), kAttrArchive | kAttrHidden},
      {dir.file("readonly"), kAttrArchive | kAttrReadOnly},
      {dir.file("folder"), kAttrDirectory},
      {dir.file("folder") + "/", kAttrDirectory},
      {dir.path(), kAttrDirectory},
      {dir.file("pipe"), kAttrSystem},
      {"/dev/null", kAttrSystem},
      {dir.file("link"), kAttrArchive},
      {dir.file("broken"), 0},
      {dir.file("file.wav/x"), 0},
      {exact, kAttrArchive},
      {exact + "x", 0},  // over the limit, though its first 247 characters name a file
      {dir.file("file.wav") + std::string(1, '\0') + "x", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FileExistsByAttributes(c.name), c.attrs) << c.name;
}

}  // namespace
