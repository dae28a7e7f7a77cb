// What the program says to the relay board and the microphone console: the
// relay command texts, the console lamp codes with their command texts, and
// the port's two modes. Every other unit takes these from here.
//
// Relay commands (9600 baud): "s" or "r", the relay number in decimal and a
// carriage return. A set zone relay silences its zone, a reset one lets it
// sound; the amplifier relay works the other way ("s64\r" on, "r64\r" off).
// Output k (1..32) is relay k-1; operations on all zones cover relays 0..39.
//
// Console commands (19200 baud): 12 characters, "(" eight digits, their sum
// in two digits, ")"; chosen by a lamp code, the status query for any other
// code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace app::engine {

// ---- Relay board ----

inline constexpr int kZoneRelays = 40;              // relays 0..39
inline constexpr const char* kGreeting = "q\r";     // once after the port opens
inline constexpr const char* kAmplifierOn = "s64\r";
inline constexpr const char* kAmplifierOff = "r64\r";
// "s" n "\r": silences zone relay n.
[[nodiscard]] std::string SetRelay(int relay);
// "r" n "\r": lets zone relay n sound.
[[nodiscard]] std::string ResetRelay(int relay);

// ---- Console ----

// Lamp codes: the values of ConsoleCommandCode that switch a lamp.
inline constexpr int32_t kOnAirLampOff = 500;
inline constexpr int32_t kOnAirLampOn = 501;
inline constexpr int32_t kMicBacklightOff = 510;
inline constexpr int32_t kMicBacklightOn = 511;
inline constexpr int32_t kLineBacklightOff = 520;
inline constexpr int32_t kLineBacklightOn = 521;

inline constexpr const char* kStatusQuery = "(0500100006)";
// The 12-character text of a console command code; the status query for a
// code that is not a lamp code (0 included).
[[nodiscard]] const char* ConsoleCommandFor(int32_t code);

// ---- Port modes ----

inline constexpr const char* kRelayBaud = "9600";
inline constexpr const char* kConsoleBaud = "19200";
inline constexpr const char* kDefaultPort = "COM1";
// port ":" baud ",n,8,1", e.g. "COM1:9600,n,8,1".
[[nodiscard]] std::string PortMode(std::string_view port, std::string_view baud);

}  // namespace app::engine
