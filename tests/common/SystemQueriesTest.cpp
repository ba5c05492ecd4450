#include <gtest/gtest.h>

#include "common/Folders.h"
#include "common/SystemQueries.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

class GpuProbe : public ::testing::Test {
 protected:
  void TearDown() override { SetProgramFolder(MIVORA_PROGRAM_DIR); }
  std::string Report(const std::string& folder, bool* supported) {
    SetProgramFolder(folder);
    std::string report;
    *supported = GpuEncoderSupported(&report);
    return report;
  }
};

TEST_F(GpuProbe, MissingLibrary) {
  bool supported = true;
  EXPECT_EQ(Report(test::MakeTempDir("nolib"), &supported),
            "Check CUDA encode feature:\nLoad libcuenc.so failed!Result: Un-support");
  EXPECT_FALSE(supported);
}

TEST_F(GpuProbe, LibraryAnsweringZeroOrThree) {
  bool supported = true;
  EXPECT_EQ(Report(FAKE_CUENC_DIR "/fake_cuenc_zero", &supported),
            "Check CUDA encode feature:\nFound 0 devices for encoder\nResult: Un-support");
  EXPECT_FALSE(supported);
  EXPECT_EQ(Report(FAKE_CUENC_DIR "/fake_cuenc_three", &supported),
            "Check CUDA encode feature:\nFound 3 devices for encoder\nResult: Support");
  EXPECT_TRUE(supported);
}

TEST_F(GpuProbe, LibraryWithoutTheExport) {
  bool supported = true;
  EXPECT_EQ(Report(FAKE_CUENC_DIR "/fake_cuenc_noexport", &supported),
            "Check CUDA encode feature:\nNo found any device for encode\nResult: Un-support");
  EXPECT_FALSE(supported);
}

TEST_F(GpuProbe, ShippedLibraryAnswersWithItsFindings) {
  // The real probe on this machine: its findings come before the count (on a
  // machine without the NVIDIA driver, that there is none, and 0).
  bool supported = false;
  std::string report = Report(MIVORA_PROGRAM_DIR, &supported);
  EXPECT_EQ(report.rfind("Check CUDA encode feature:\n", 0), 0u) << report;
  size_t found = report.find("\nFound ");
  ASSERT_NE(found, std::string::npos) << report;
  EXPECT_GT(found, std::string("Check CUDA encode feature:\n").size()) << "a finding precedes the count";
  EXPECT_EQ(GpuEncoderSupported(nullptr), supported);
}

TEST(Shutdown, GoesThroughTheInjectedActionOnly) {
  EXPECT_TRUE(ShutdownComputer(0));
  EXPECT_TRUE(ShutdownComputer(1));
  EXPECT_TRUE(ShutdownComputer(7));
  EXPECT_EQ(test::RecordedShutdowns(), (std::vector<int>{0, 1, 7}));
}

TEST(FreeSpace, NearestExistingParentAndFailures) {
  std::string dir = test::MakeTempDir("space");
  uint64_t here = FreeSpace(dir);
  EXPECT_GT(here, 0u);
  // A folder that does not exist yet is measured on its nearest parent.
  uint64_t below = FreeSpace(dir + "/not/yet/there");
  EXPECT_GT(below, 0u);
  EXPECT_LT(below > here ? below - here : here - below, uint64_t{64} << 20);
  EXPECT_EQ(FreeSpace(""), 0u);
  EXPECT_EQ(FreeSpace("\\\\server\\share\\out"), 0u);
  EXPECT_EQ(FreeSpace("relative/path"), 0u);
}

class RecordingTaskbar : public TaskbarBackend {
 public:
  explicit RecordingTaskbar(std::vector<std::string>* calls) : calls_(calls) {}
  void SetValue(uint64_t, uint64_t completed, uint64_t total) override {
    calls_->push_back("value " + std::to_string(completed) + "/" + std::to_string(total));
  }
  void SetState(uint64_t, int state) override { calls_->push_back("state " + std::to_string(state)); }

 private:
  std::vector<std::string>* calls_;
};

TEST(Taskbar, CallsReachTheBackendOnlyWhileCreated) {
  std::vector<std::string> calls;
  TaskbarSetValue(1, 5, 100);  // no backend: nothing happens
  SetTaskbarBackendFactory([&] { return std::make_unique<RecordingTaskbar>(&calls); });
  TaskbarSetState(1, kTaskbarNormal);  // not created yet
  TaskbarCreate();
  TaskbarSetState(1, kTaskbarNormal);
  TaskbarSetValue(1, 40, 100);
  TaskbarRelease();
  TaskbarSetValue(1, 50, 100);
  SetTaskbarBackendFactory(nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{"state 1", "value 40/100"}));
  EXPECT_FALSE(IsVistaFamily());
}

}  // namespace
}  // namespace mivora
