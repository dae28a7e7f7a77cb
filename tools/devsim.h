// A simulated relay board and microphone console on a pseudo-terminal.
//
// The program under test opens the terminal's slave side (SlavePath(), given
// to it as VELORN_COMn); the simulator keeps the master and one descriptor
// of its own on the slave, so the program's close never hangs the terminal
// up. One thread, blocked in poll(), reads what the program writes and
// records every command: a text up to and including "\r", or a console
// frame "(" ... ")" (12 characters in the program's protocol), each with the
// baud rate the terminal had when its last byte was read and the time.
//
// Answers by mode:
//   Answer     the console's status query "(0500100006)" gets StatusReply()
//              of the console state at once; nothing else is answered;
//   Echo       as Answer, and every byte read is sent back as well;
//   Silent     nothing is answered;
//   NotReading nothing is read: the terminal's buffers fill and the
//              program's writes block;
//   Garbage    every command is answered with GarbageReply();
//   Stream     as Answer, and the stream line is sent again and again,
//              as fast as the program reads.
// Send() puts bytes on the line at any time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace devsim {

enum class Mode { Answer, Echo, Silent, NotReading, Garbage, Stream };

struct Command {
  std::string text;  // as received, "\r" included
  int baud = 0;      // the terminal's rate when the command was read (0 if unknown)
  std::chrono::steady_clock::time_point time;
};

inline constexpr const char* kStatusQuery = "(0500100006)";

class DeviceSimulator {
 public:
  DeviceSimulator();
  ~DeviceSimulator();  // Stop()
  DeviceSimulator(const DeviceSimulator&) = delete;
  DeviceSimulator& operator=(const DeviceSimulator&) = delete;

  // Opens the terminal (raw, 9600 baud) and starts the thread. false, with
  // errno set, when the terminal cannot be made; a second call does nothing.
  bool Start();
  // Ends the thread and closes the terminal: the program's side is hung up.
  void Stop();
  // The slave's path, "" before Start.
  const std::string& SlavePath() const { return slavePath_; }

  void SetMode(Mode mode);
  Mode GetMode() const;
  void SetStreamLine(std::string line);
  // The digit at position 21 of the status reply ('0'..'9', any character).
  void SetConsoleState(char state);
  char ConsoleState() const;
  // Sends bytes to the program.
  void Send(std::string bytes);

  std::vector<Command> Commands() const;
  // Every byte received so far.
  std::string Received() const;
  // Waits until n commands (n bytes) have been recorded; false on time-out.
  bool WaitForCommands(size_t n, std::chrono::milliseconds timeout) const;
  bool WaitForBytes(size_t n, std::chrono::milliseconds timeout) const;
  void ClearCommands();
  // The terminal's rate now (0 if unknown).
  int SlaveBaud() const;
  // Called on the simulator's thread for each command recorded.
  void SetCommandListener(std::function<void(const Command&)> listener);

  // "(05002" + 14 zeros + state + "00)": 24 characters, state at 21.
  static std::string StatusReply(char state);
  static std::string GarbageReply();

 private:
  void Run();
  void Wake();
  void Process(const char* data, size_t n, int baud, std::string& out);

  int master_ = -1, slave_ = -1, wake_ = -1;
  std::string slavePath_;
  std::thread thread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stop_ = false;
  Mode mode_ = Mode::Answer;
  char state_ = '0';
  std::string streamLine_ = "s0\r";
  std::string toSend_;
  std::vector<Command> commands_;
  std::string received_;
  std::string partial_;
  std::function<void(const Command&)> listener_;
};

// Writes to the program's side of a terminal (the descriptor) until the
// terminal takes no more, as with a device that stopped reading (Mode
// NotReading): until no room has come back for 300 ms (the kernel moves
// data between its buffers for a moment after the first refusal). false
// when a write failed otherwise than on a full buffer.
bool FillOutput(int fd);

}  // namespace devsim
