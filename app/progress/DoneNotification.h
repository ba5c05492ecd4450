#pragma once
// Tells the desktop that a batch has ended while nobody watches its window:
// one notification with the report's text and the program's icon. Without a
// notification service the log says so, and nothing else happens.

#include <string>

namespace mivora {

// The icon the desktop knows the program by (its desktop entry's name).
inline constexpr const char* kDesktopIconName = "org.mivora.Mivora";

// Sends the notification from the bus thread; never waits.
void NotifyBatchDone(const std::string& report);

}  // namespace mivora
