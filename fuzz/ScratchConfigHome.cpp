// Linked into every fuzz target: the program's per-user folder (its log and
// settings) lies in a scratch folder of this process, removed at exit, so
// that fuzzing never writes into the user's own.
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/ScratchConfigHome.h"

namespace {

std::string g_configHome;

void RemoveConfigHome() {
  std::error_code ignored;
  std::filesystem::remove_all(g_configHome, ignored);
}

const bool g_configHomeSet = [] {
  const char* tmp = std::getenv("TMPDIR");
  g_configHome = std::string(tmp && *tmp ? tmp : "/tmp") + "/mivora-fuzz-home-XXXXXX";
  if (::mkdtemp(g_configHome.data()) == nullptr) std::abort();
  ::setenv("XDG_CONFIG_HOME", g_configHome.c_str(), 1);
  std::atexit(RemoveConfigHome);
  return true;
}();

}  // namespace

const std::string& mivora::fuzz::ScratchFolder() { return g_configHome; }
