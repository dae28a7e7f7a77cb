// Playing a sound file without waiting, and testing whether a file exists.
//
// Neither call records a procedure name or sets a library error; neither
// reports anything to the user.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace syslib {

// The longest file name, in characters, that the two calls look at. A
// longer name names no file (it is not cut to a shorter, different name).
inline constexpr std::size_t kMaxSoundFileChars = 247;

// The output every sound is converted to: 44100 Hz, signed 16-bit
// little-endian, stereo, interleaved.
inline constexpr int kSoundRate = 44100;
inline constexpr int kSoundChannels = 2;

// Starts playing a WAV file and returns at once. The file is loaded and
// converted to the output format on the module's own thread; the audio
// system (SDL) is opened there on the first call. The newest call wins: a
// sound still playing stops when the next call's file is ready, and a load
// that a newer call overtakes is dropped. A file that cannot be played
// (empty or blank name, a name over kMaxSoundFileChars, missing, not a
// regular file, a record file this process has open or its log, not a WAV,
// an encoding that cannot be decoded or converted, over 256 MiB, or over
// 1 GiB converted) stops the current sound and plays nothing; so does a
// missing audio device. A relative name is taken from the current directory
// at the time of the call. Calls made while ShutdownSound runs are ignored.
void PlayWaveAsync(std::string_view file);

// Stops the sound, ends the module's thread (waiting for it) and closes the
// audio system. Called at the program's end; a later PlayWaveAsync opens
// everything again. Does nothing when nothing was opened.
void ShutdownSound();

// Waits until every PlayWaveAsync call made so far has been handled (its
// sound queued for output, or found unplayable, or overtaken). False when
// the timeout passed first.
bool WaitSoundIdle(std::chrono::milliseconds timeout);

// Tests only: called on the module's thread with the absolute name (or "")
// before each load; nullptr removes it.
void SetSoundLoadHook(std::function<void(const std::string& file)> hook);

// Attribute bits of FileExistsByAttributes.
inline constexpr uint8_t kAttrReadOnly = 0x01;   // no write permission for anyone
inline constexpr uint8_t kAttrHidden = 0x02;     // the name starts with "."
inline constexpr uint8_t kAttrSystem = 0x04;     // not a file or folder: device, pipe, socket
inline constexpr uint8_t kAttrDirectory = 0x10;  // a folder
inline constexpr uint8_t kAttrArchive = 0x20;    // a regular file

// 0 when the name is empty or blank, longer than kMaxSoundFileChars, holds
// a NUL, or names nothing that stat() finds (links are followed; a broken
// link gives 0). Otherwise the attribute bits above, never 0: a regular
// file has kAttrArchive, a folder kAttrDirectory, anything else
// kAttrSystem, each possibly with kAttrReadOnly and kAttrHidden.
uint8_t FileExistsByAttributes(std::string_view file);

}  // namespace syslib
