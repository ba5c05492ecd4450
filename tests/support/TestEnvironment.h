#pragma once
// What every test process gets before its first test: a private temporary
// folder that HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and TMPDIR point into,
// the build's program folder, and a shutdown action that only records.

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace mivora::test {

// The private folder of this test process (removed at exit).
const std::string& TestRoot();
// A new empty folder under TestRoot().
std::string MakeTempDir(const std::string& hint = "dir");
// Modes passed to ShutdownComputer during this process.
std::vector<int> RecordedShutdowns();
// Whole contents of a file ("" when missing).
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

// Processes whose command line mentions `needle` (an engine left behind).
int ProcessesMentioning(const std::string& needle);

void SetUpTestEnvironment();

// True once `predicate` holds, polled every 20 ms; false after `limit`.
template <typename Predicate>
bool Within(std::chrono::milliseconds limit, Predicate predicate) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace mivora::test
