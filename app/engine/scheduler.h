// The timer tick of the main window, the task scan and playback.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/data/records.h"
#include "platform/clock.h"
#include "platform/stdtime.h"

namespace app::engine {

// Scheduler state.
extern uint8_t PlaybackRunning;              // 1 while a playback counts as running
extern platform::StdTime PlaybackEndTime;    // time of day the playback ends; 0 none
extern platform::StdDate PlaybackEndDate;    // the day that end time falls on
// The same end on the monotonic clock: a clock set back cannot keep a
// playback running (and every scan held) past its length.
extern platform::Clock::Monotonic::time_point PlaybackEndMonotonic;
extern uint8_t ManualPlaybackRequested;      // 1 while an operator's playback runs
extern std::array<uint8_t, 41> OutputSelected;  // [1..40], 1 = chosen
extern int32_t GLO_TIMEOUT;                  // scan counter, +50 a tick (saturating)
extern uint8_t GLO_HLASENI;                  // 1 while a live announcement is on
extern std::string GLO_FILE2PLAY;            // the operator's WAV file
extern platform::StdTime GLO_FILELENGHT;     // its length
extern uint8_t LiveFromTabActive;            // 1 while a live announcement from the tab runs
extern platform::StdTime SYS_TIME;           // the clock shown on the window
extern std::string KOMUNIKACE;               // the connection state shown

inline constexpr int32_t kScanWindow = 18000;  // 3 minutes in hundredths
inline constexpr int32_t kScanPeriod = 4000;
inline constexpr int kTaskFileErrorExit = 5;
inline constexpr const char* kTaskFileError =
    "Chyba při čtení/zápisu do souboru TASKS.TPS !\r\n\r\n"
    "Zkontrolujte, zda soubor existuje nebo zda není chráněn proti zápisu.\r\n.";

// The live-announcement state machine, advanced on every tick (a later
// module installs it; nothing happens until then).
void SetLiveStateMachine(std::function<void()> step);

// The main window's timer event.
void HandleTimerTick();
void EndPlaybackIfDue();
void ShowConnectionState();
// Scans Tasks.tps and runs every due task. The scan reads through an
// instance of its own, so nothing else moves the record it works on.
void ScanTasks();
// For the file's current task record: lamps, zones, amplifier, PlayTask.
// runDay is the day the scan found the task due on (the run is booked on
// it even when the traffic before the sound takes it past midnight).
void RunTask(platform::rec::File<data::TasksRecord>& file, platform::StdDate runDay);
// All zones silenced and the amplifier off, then the task's zones on.
void SwitchTaskOutputs(const data::TasksRecord& r);
// Books the run on runDay (rewriting the current record), then plays it. A
// failed rewrite is the task-file error: the installation is switched off,
// the box shown, and the program ends with exit status 5 without playing,
// so a restart cannot play the announcement a second time.
void PlayTask(platform::rec::File<data::TasksRecord>& file, platform::StdDate runDay);
// Plays GLO_FILE2PLAY for GLO_FILELENGHT.
void PlayFile();

// Sets PlaybackEndTime/Date to now + length.
void SetPlaybackEnd(platform::StdTime length);

// The weekday names, 0 Sunday.
const char* WeekdayNameOf(int weekday);

}  // namespace app::engine
