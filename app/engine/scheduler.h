// The timer tick of the window hosting the engine, the task scan and
// playback.
//
// State. SchedulerState holds the scheduler's values (PlaybackRunning,
// GLO_TIMEOUT, GLO_HLASENI, OutputSelected ...), a plain struct owned by the
// hosting window (see app/engine/engine.h). The window's commands, the
// playback and output dialogs and the live-announcement state machine read
// and write it directly; a Scheduler works on it, on the port state and the
// window's console state through the Protocol it was made with.
//
// Calls. Everything runs synchronously on the thread that owns the state,
// inside the window's timer event or its commands, and blocks it for the
// serial traffic (see app/engine/protocol.h). "Now" and "today" are read
// from the platform clock at each test.
//
// Task-file errors. A rewrite or delete of Tasks.tps that fails during a run
// is the task-file error: the lamps, the amplifier and the zones are
// switched off, the error box "Chyba č.0x" & code is shown and the program
// ends with exit status 5 (EngineHooks::endProgram; when a test's end
// returns, the call that met the error returns at once).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/data/records.h"
#include "app/engine/engine_view.h"
#include "app/engine/protocol.h"
#include "platform/clock.h"
#include "platform/stdtime.h"

namespace app::engine {

// The scheduler's state (all 0 or blank at start).
struct SchedulerState {
  uint8_t PlaybackRunning = 0;             // 1 from a play until its end; holds the scan back
  platform::StdTime PlaybackEndTime = 0;   // time of day the playback ends; 0 none
  platform::StdDate PlaybackEndDate = 0;   // the day that end time falls on
  // The same end on the monotonic clock: a clock set back cannot keep a
  // playback running (and every scan held) past its length.
  platform::Clock::Monotonic::time_point PlaybackEndMonotonic{};
  uint8_t ManualPlaybackRequested = 0;     // 1 while an operator's playback runs
  std::array<uint8_t, 41> OutputSelected{};  // [1..40], 1 = chosen by the operator
  int32_t GLO_TIMEOUT = 0;                 // scan counter, +50 a tick (saturating), 0 after a scan
  uint8_t GLO_HLASENI = 0;                 // 1 while a live announcement is on; holds the scan back
  std::string GLO_FILE2PLAY;               // the operator's WAV file
  platform::StdTime GLO_FILELENGHT = 0;    // its length, a time of day read as a duration
  // The hosting window's values the tick reads or writes:
  uint8_t LiveFromTabActive = 0;           // 1 while a live announcement from the tab runs
  platform::StdTime SYS_TIME = 0;          // the clock shown (?SYS_TIME)
  std::string KOMUNIKACE;                  // the connection state shown (?KOMUNIKACE)
};

inline constexpr int32_t kScanWindow = 18000;  // 3 minutes in hundredths
inline constexpr int32_t kScanPeriod = 4000;   // GLO_TIMEOUT at which a scan is due (80 ticks)
inline constexpr int32_t kTickStep = 50;
inline constexpr int kTaskFileErrorExit = 5;
inline constexpr const char* kTaskFileError =
    "Chyba při čtení/zápisu do souboru TASKS.TPS !\r\n\r\n"
    "Zkontrolujte, zda soubor existuje nebo zda není chráněn proti zápisu.\r\n.";

using TaskFile = platform::rec::File<data::TasksRecord>;

// What a run's booking does to its record besides the last-run date and the
// count: nothing more, delete it, or set it inactive.
enum class AfterRun { Keep, Delete, Deactivate };

class Scheduler {
 public:
  // Every reference must outlive the scheduler. console is the hosting
  // window's console state.
  Scheduler(SchedulerState& state, PortState& port, ConsoleState& console, Protocol& protocol,
            const EngineHooks& hooks);
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // The live-announcement state machine, advanced on every tick while
  // LiveFromTabActive is 0; nothing while empty.
  std::function<void()> LiveStateMachine;

  // The hosting window's timer event (every 25 hundredths; never re-entered:
  // a dialog's loop holds the window's ticks); nothing at all once a
  // close-down is on its way (EngineHooks::closingDown). Else, in this
  // order: the lamps of a manual playback (521, 501) while
  // ManualPlaybackRequested is 1; EndPlaybackIfDue; PollConsole,
  // QueryConsole; LiveStateMachine; GLO_TIMEOUT += 50, and at 4000 or more:
  // ScanTasks when PortHandle >= 0, PlaybackRunning is 0 and GLO_HLASENI is
  // 0, or ReconnectQuietly while the port is not connected, either followed
  // by GLO_TIMEOUT := 0 (otherwise the counter keeps growing); SYS_TIME :=
  // now; ShowConnectionState.
  void HandleTimerTick();
  // When the playback's end (date and time, or the monotonic end) has
  // passed, also when nothing plays: PlaybackRunning := 0, ?INFO_TEXT "",
  // ?IMAGE1 hidden; for a manual playback also lamps 520, 500, "s" for each
  // chosen output 1..40 and "r64\r", ManualPlaybackRequested := 0; while
  // LiveFromTabActive is 1 only lamp 520 (the live announcement's stop
  // switches the rest).
  void EndPlaybackIfDue();
  // KOMUNIKACE "Připojeno" (font colour 8000h, ?BUTTON_PREHRAJ and
  // ?BUTTON_ZAPNI enabled) while PortHandle >= 0, else "Nepřipojeno !"
  // (FFh, both disabled).
  void ShowConnectionState();
  // Switches the installation off (lamps 520, 500, "r64\r", "s0\r".."s39\r")
  // and, unless that lost the device, reads Tasks.tps on TAS:KeyAkt_Cas from
  // (1, now - 3 minutes) and runs every due task (one-shot and weekly rules).
  // Reading stops at the first record that is not active or whose time is
  // not earlier than now: no later record can be due. Once a close-down is
  // on its way (EngineHooks::closingDown) no further task is run: a task not
  // started is not booked, so it is due at the next start while its three
  // minutes last; one already started finishes its booking. A Tasks.tps
  // that is missing is created, as its controller would. The scan reads through
  // an instance of its own, opened for the scan. A file that cannot be
  // opened is shown on ?DEBUG_TEXT and logged; the next scan tries again.
  // A run that loses the device ends the scan; GLO_TIMEOUT := 0 at the end.
  void ScanTasks();
  // For the file's current task record: lamps 521, 501, SwitchTaskOutputs,
  // MainRelayOn, then PlayTask. runDay: the day the scan found it due.
  // Result: true when the run was booked and its sound started; false when
  // the device was lost on the way (nothing booked, nothing played) or the
  // task-file error was met.
  [[nodiscard]] bool RunTask(TaskFile& file, platform::StdDate runDay, AfterRun after);
  // Silences every zone and switches the amplifier off, then lets the
  // task's outputs 1..32 sound ("r" k-1), in ascending order.
  void SwitchTaskOutputs(const data::TasksRecord& r);
  // Logs and shows the run, then books it in one transaction: the last-run
  // date runDay and the count as the buffer holds them, and the record
  // deleted or set inactive as after says; only then the sound, the end time
  // and PlaybackRunning := 1, and the task list's refresh. A booking that
  // fails changes nothing in the file and plays nothing: the task-file
  // error. Result: true when booked and played.
  [[nodiscard]] bool PlayTask(TaskFile& file, platform::StdDate runDay, AfterRun after);
  // The operator's playback (after the window's command has set the file,
  // the length and the outputs): ?INFO_TEXT "Prehravam hlaseni...",
  // ?IMAGE1 shown, plays GLO_FILE2PLAY,
  // the end at now + GLO_FILELENGHT, PlaybackRunning := 1, the task list's
  // refresh. The caller switches the outputs, the amplifier and the lamps.
  void PlayFile();
  // PlaybackEndTime/Date := now + length (the next day past midnight), and
  // the monotonic end.
  void SetPlaybackEnd(platform::StdTime length);

 private:
  bool Book(TaskFile& file, platform::StdDate runDay, AfterRun after);
  void TaskFileError(int code);
  bool ClosingDown() const;
  void Lamp(int32_t code);
  void DebugText(std::string_view text);
  void InfoText(std::string_view text);
  void ShowImage(bool shown);

  SchedulerState& state_;
  PortState& port_;
  ConsoleState& console_;
  Protocol& protocol_;
  const EngineHooks& hooks_;
};

// The weekday names, 0 Sunday ("Neděle") .. 6 Saturday; "" outside.
[[nodiscard]] const char* WeekdayNameOf(int weekday);

}  // namespace app::engine
