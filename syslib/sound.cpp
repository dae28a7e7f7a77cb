#include "syslib/sound.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "platform/recordfile.h"
#include "platform/text.h"

namespace syslib {
namespace {

constexpr SDL_AudioFormat kDeviceFormat = AUDIO_S16LSB;
constexpr std::size_t kDeviceFrameBytes = 2 * kSoundChannels;
constexpr off_t kMaxFileBytes = off_t{256} << 20;
constexpr std::size_t kMaxPcmBytes = std::size_t{1} << 30;
constexpr int kChunkFrames = 16384;
constexpr int kTailFrames = 4096;

using Pcm = std::vector<uint8_t>;

// A name the module can look at: not blank, not too long, no NUL.
bool UsableName(std::string_view name) {
  return !platform::text::TrimRight(name).empty() && name.find('\0') == std::string_view::npos &&
         platform::text::CharCount(name) <= kMaxSoundFileChars;
}

// The whole of a regular file, opened without blocking (a pipe or device
// never holds the loader up). A record file this process has open is no
// sound: closing it here would drop the process's locks on it.
std::optional<std::vector<uint8_t>> ReadRegularFile(const std::string& name) {
  if (platform::rec::HeldOpenHere(name)) return std::nullopt;
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::optional<std::vector<uint8_t>> result;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFileBytes) {
    std::vector<uint8_t> bytes(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    bool failed = false;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed = n < 0;
        break;
      }
      got += static_cast<std::size_t>(n);
    }
    if (!failed) {
      bytes.resize(got);  // a file that shrank meanwhile
      result = std::move(bytes);
    }
  }
  ::close(fd);
  return result;
}

// Moves what the stream has ready to the end of out; false past the limit.
bool Drain(SDL_AudioStream* stream, Pcm& out) {
  const int available = SDL_AudioStreamAvailable(stream);
  if (available <= 0) return true;
  const auto n = static_cast<std::size_t>(available);
  if (out.size() + n > kMaxPcmBytes) return false;
  const std::size_t at = out.size();
  out.resize(at + n);
  const int got = SDL_AudioStreamGet(stream, out.data() + at, available);
  if (got < 0) return false;
  out.resize(at + static_cast<std::size_t>(got));
  return true;
}

// The WAV file converted to the device format; nullopt when it cannot be
// played or a newer request overtook it (superseded() turned true).
template <typename Superseded>
std::optional<Pcm> LoadWave(const std::string& name, Superseded superseded) {
  if (name.empty()) return std::nullopt;
  auto file = ReadRegularFile(name);
  if (!file || file->size() > static_cast<std::size_t>(INT32_MAX)) return std::nullopt;

  SDL_RWops* rw = SDL_RWFromConstMem(file->data(), static_cast<int>(file->size()));
  if (rw == nullptr) return std::nullopt;
  SDL_AudioSpec spec{};
  Uint8* samples = nullptr;
  Uint32 length = 0;
  if (SDL_LoadWAV_RW(rw, 1, &spec, &samples, &length) == nullptr) return std::nullopt;
  file.reset();
  struct FreeWav {
    Uint8* p;
    ~FreeWav() { SDL_FreeWAV(p); }
  } freeWav{samples};

  const std::size_t frameBytes = SDL_AUDIO_BITSIZE(spec.format) / 8u * spec.channels;
  if (frameBytes == 0 || spec.freq <= 0) return std::nullopt;
  const std::size_t frames = length / frameBytes;

  if (spec.format == kDeviceFormat && spec.channels == kSoundChannels && spec.freq == kSoundRate) {
    return Pcm(samples, samples + frames * frameBytes);
  }

  // The converted size, estimated before any work is done.
  const double estimate = static_cast<double>(frames) * kSoundRate / spec.freq * kDeviceFrameBytes;
  if (estimate > static_cast<double>(kMaxPcmBytes)) return std::nullopt;

  SDL_AudioStream* stream =
      SDL_NewAudioStream(spec.format, spec.channels, spec.freq, kDeviceFormat, kSoundChannels, kSoundRate);
  if (stream == nullptr) return std::nullopt;
  struct FreeStream {
    SDL_AudioStream* s;
    ~FreeStream() { SDL_FreeAudioStream(s); }
  } freeStream{stream};

  Pcm out;
  out.reserve(static_cast<std::size_t>(estimate) + 4096);
  const std::size_t chunkBytes = frameBytes * kChunkFrames;
  for (std::size_t done = 0; done < frames * frameBytes;) {
    const std::size_t n = std::min(chunkBytes, frames * frameBytes - done);
    if (SDL_AudioStreamPut(stream, samples + done, static_cast<int>(n)) < 0) return std::nullopt;
    done += n;
    if (!Drain(stream, out) || superseded()) return std::nullopt;
  }
  // A flush leaves the resampler's tail in the stream: silence after the
  // sound pushes it out, and the output is cut to the sound's own length.
  const std::vector<uint8_t> silence(frameBytes * kTailFrames, spec.format == AUDIO_U8 ? 0x80 : 0);
  if (SDL_AudioStreamPut(stream, silence.data(), static_cast<int>(silence.size())) < 0 ||
      SDL_AudioStreamFlush(stream) < 0 || !Drain(stream, out)) {
    return std::nullopt;
  }
  const auto wanted = static_cast<std::size_t>(std::llround(estimate / kDeviceFrameBytes)) * kDeviceFrameBytes;
  out.resize(std::min(out.size() / kDeviceFrameBytes * kDeviceFrameBytes, wanted));
  return out;
}

class Player {
 public:
  ~Player() { Shutdown(); }

  void Play(std::string name) {
    const std::lock_guard lock(mutex_);
    if (stopping_) return;
    pending_ = std::move(name);
    hasPending_ = true;
    requested_.fetch_add(1);
    if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
    wake_.notify_one();
  }

  void Shutdown() {
    std::thread worker;
    {
      const std::lock_guard lock(mutex_);
      if (!worker_.joinable()) return;
      stopping_ = true;
      worker = std::move(worker_);
      wake_.notify_one();
    }
    worker.join();
    const std::lock_guard lock(mutex_);
    stopping_ = false;
    hasPending_ = false;
    pending_.clear();
    handled_ = requested_.load();
    idle_.notify_all();
  }

  bool WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, timeout, [this] { return handled_ == requested_.load(); });
  }

  void SetHook(std::function<void(const std::string&)> hook) {
    const std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
  }

 private:
  // The module's thread: every SDL call is made here.
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || hasPending_; });
      if (stopping_) break;
      const std::string name = std::move(pending_);
      pending_.clear();
      hasPending_ = false;
      const uint64_t generation = requested_.load();
      const auto hook = hook_;
      lock.unlock();

      if (hook) hook(name);
      const bool ready = OpenDevice();
      std::optional<Pcm> pcm;
      if (ready) {
        pcm = LoadWave(name, [&] { return requested_.load() != generation || stopping_.load(); });
      }
      // A newer request has come meanwhile: this one is dropped.
      if (ready && requested_.load() == generation) Replace(pcm);

      lock.lock();
      if (requested_.load() == generation) {
        handled_ = generation;
        idle_.notify_all();
      }
    }
    lock.unlock();
    CloseDevice();
    SDL_TLSCleanup();  // SDL's per-thread data (its error text) of this thread
  }

  bool OpenDevice() {
    if (device_ != 0) return true;
    if (!sdlReady_) {
      SDL_SetMainReady();
      if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
      sdlReady_ = true;
    }
    SDL_AudioSpec want{};
    want.freq = kSoundRate;
    want.format = kDeviceFormat;
    want.channels = kSoundChannels;
    want.samples = 1024;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (device_ == 0) return false;
    SDL_PauseAudioDevice(device_, 0);
    return true;
  }

  void Replace(const std::optional<Pcm>& pcm) {
    SDL_ClearQueuedAudio(device_);
    if (pcm && !pcm->empty()) SDL_QueueAudio(device_, pcm->data(), static_cast<Uint32>(pcm->size()));
  }

  void CloseDevice() {
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    device_ = 0;
    if (sdlReady_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sdlReady_ = false;
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::thread worker_;
  std::atomic<bool> stopping_{false};
  bool hasPending_ = false;
  std::string pending_;
  std::atomic<uint64_t> requested_{0};
  uint64_t handled_ = 0;
  std::function<void(const std::string&)> hook_;
  // Owned by the module's thread.
  SDL_AudioDeviceID device_ = 0;
  bool sdlReady_ = false;
};

Player& ThePlayer() {
  static Player player;
  return player;
}

std::string AbsoluteName(std::string_view file) {
  if (!UsableName(file)) return "";
  std::string name(file);
  if (name[0] == '/') return name;
  std::string cwd(4096, '\0');
  if (::getcwd(cwd.data(), cwd.size()) == nullptr) return name;
  cwd.resize(cwd.find('\0'));
  return cwd + "/" + name;
}

}  // namespace

void PlayWaveAsync(std::string_view file) { ThePlayer().Play(AbsoluteName(file)); }

void ShutdownSound() { ThePlayer().Shutdown(); }

bool WaitSoundIdle(std::chrono::milliseconds timeout) { return ThePlayer().WaitIdle(timeout); }

void SetSoundLoadHook(std::function<void(const std::string& file)> hook) { ThePlayer().SetHook(std::move(hook)); }

uint8_t FileExistsByAttributes(std::string_view file) {
  if (!UsableName(file)) return 0;
  const std::string name(file);
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return 0;
  uint8_t attrs = S_ISDIR(st.st_mode) ? kAttrDirectory : S_ISREG(st.st_mode) ? kAttrArchive : kAttrSystem;
  if ((st.st_mode & 0222) == 0) attrs |= kAttrReadOnly;
  const std::string_view base = std::string_view(name).substr(name.find_last_of('/') + 1);
  if (base.size() > 1 && base[0] == '.' && base != "..") attrs |= kAttrHidden;
  return attrs;
}

}  // namespace syslib
