#pragma once
// The diagnostic log: one line per call in "Log.txt" of the per-user data folder.
//
// Line format, byte for byte:
//   "YYYY-MM-DD hh:mm:ss\t" module ", " "%04d, " message "\n"
// The first call of a process truncates the file; every later call appends.
// Each call is one open-write-close with a single write, so lines written by
// different threads never mix within a line.

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

// Forgets that the process has written before, so the next call truncates.
// For tests that simulate a second program run.
void ResetLogForNewRun();

// Appends from the first call on instead of truncating: for a process that
// writes into the log of another one still running (a second start).
void KeepExistingLog();

}  // namespace mivora

// Supplies the calling source unit's name and line.
#define MLOG(...) ::mivora::Log(::mivora::LogModuleOf(__FILE__), __LINE__, __VA_ARGS__)
