#pragma once
// What every test process gets before its first test: a private temporary
// folder that HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and TMPDIR point into,
// the build's program folder, and a shutdown action that only records.

#include <string>
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

}  // namespace mivora::test
