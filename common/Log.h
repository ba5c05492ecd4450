#pragma once
// The diagnostic log: one line per call in "Log.txt" of the per-user data folder.
//
// Line format, byte for byte:
//   "YYYY-MM-DD hh:mm:ss\t" module ", " "%04d, " message "\n"
// Every call appends, so the command line, the engine adapter, the player and
// the preview library (which carries its own copy of this code) add to the
// log of a program that runs; only the desktop program's start begins a new
// log (ResetLogForNewRun). The file is the user's alone (mode 0600).
// Each call is one open-write-close with a single write, so lines written by
// different threads or processes never mix within a line.

#include <cstdarg>
#include <string>
#include <string_view>

namespace mivora {

// Writes one line. Returns false when the file could not be opened.
// `module` is cut to the part after its last '/' (or '\').
bool Log(std::string_view module, int position, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
bool LogV(std::string_view module, int position, const char* format, va_list args);

// The module name of a source file: its base name without the extension.
constexpr std::string_view LogModuleOf(std::string_view file) {
  size_t slash = file.find_last_of("/\\");
  if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
  size_t dot = file.find('.');
  if (dot != std::string_view::npos) file = file.substr(0, dot);
  return file;
}

// Where the log is written: AppDataFolder("Mivora") + "/Log.txt".
std::string LogFilePath();

// The next call truncates the file and begins a new log: for the desktop
// program's start once it holds the instance lock, and for tests.
void ResetLogForNewRun();

}  // namespace mivora

// Supplies the calling source unit's name and line.
#define MLOG(...) ::mivora::Log(::mivora::LogModuleOf(__FILE__), __LINE__, __VA_ARGS__)
