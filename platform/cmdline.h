// The command-line query. An argument matches a name when it equals the name
// without regard to case ("/debug" matches "/DEBUG"), or when it begins with
// the name followed by "=" (without regard to case), in which case the query
// gives the text after "=". Nothing else matches: "SERVICEPATH=/data/rs/x"
// does not hold "/RS".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Keeps the program's arguments (without argv[0]).
void SetCommandLine(int argc, const char* const* argv);
void SetCommandLine(std::vector<std::string> args);

// The first matching argument: the argument itself for a switch, the value
// after "=" for a parameter; "" when nothing matches.
std::string CommandQuery(std::string_view name);

// True when CommandQuery(name) gives non-blank text.
bool CommandHas(std::string_view name);

}  // namespace platform
