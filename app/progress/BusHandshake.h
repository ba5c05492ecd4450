#pragma once
// Whether a message bus answers at all, found out within a time limit before
// the D-Bus library is let near it: that library waits for a bus's first
// answer without any limit, and a process whose bus hangs then cannot even end.

#include <optional>
#include <string>

namespace mivora {

// The socket a bus address names: "unix:path=..." or "unix:abstract=..."
// (values %-escaped; the first such entry of a ';'-separated list). For an
// abstract name the result starts with a NUL byte. Empty for other transports.
std::optional<std::string> BusSocketName(const std::string& address);

// Connects to the socket and starts the bus's authentication; true when the
// bus answers within `limitMs`, else false with `why`. An address whose
// socket cannot be named here is taken as answering (nothing is checked).
bool BusAnswers(const std::string& address, int limitMs, std::string* why);

}  // namespace mivora
