#include "tests/support/TestEnvironment.h"

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "common/Folders.h"
#include "common/SystemQueries.h"

namespace mivora::test {
namespace {

std::string g_root;
pid_t g_rootOwner = 0;  // a forked child (a death test) leaves the root alone
std::mutex g_shutdownMutex;
std::vector<int> g_shutdowns;  // guarded by g_shutdownMutex
std::atomic<int> g_dirCounter{0};

void RemoveRoot() {
  std::error_code ignored;
  if (!g_root.empty() && getpid() == g_rootOwner) std::filesystem::remove_all(g_root, ignored);
}

}  // namespace

const std::string& TestRoot() { return g_root; }

std::string MakeTempDir(const std::string& hint) {
  std::string path = g_root + "/" + hint + "-" + std::to_string(g_dirCounter.fetch_add(1));
  std::filesystem::create_directories(path);
  return path;
}

std::vector<int> RecordedShutdowns() {
  std::lock_guard<std::mutex> lock(g_shutdownMutex);
  return g_shutdowns;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

int ProcessesMentioning(const std::string& needle) {
  int count = 0;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    if (ReadFile(std::string("/proc/") + entry->d_name + "/cmdline").find(needle) != std::string::npos)
      ++count;
  }
  closedir(proc);
  return count;
}

void SetUpTestEnvironment() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base == '/' ? base : "/tmp") + "/mivora-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  g_root = pattern;
  g_rootOwner = getpid();
  std::atexit(RemoveRoot);
  for (const char* sub : {"home", "config", "runtime", "tmp"})
    std::filesystem::create_directories(g_root + "/" + sub);
  std::filesystem::permissions(g_root + "/runtime", std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace);
  setenv("HOME", (g_root + "/home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (g_root + "/config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (g_root + "/runtime").c_str(), 1);
  setenv("TMPDIR", (g_root + "/tmp").c_str(), 1);
  // No test talks to the machine's login manager or the user's desktop: the
  // buses are the ones a test starts itself, or none.
  setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + g_root + "/runtime/no-system-bus").c_str(), 1);
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  SetProgramFolder(MIVORA_PROGRAM_DIR);
  SetShutdownAction([](int mode) {
    std::lock_guard<std::mutex> lock(g_shutdownMutex);
    g_shutdowns.push_back(mode);
  });
}

}  // namespace mivora::test
