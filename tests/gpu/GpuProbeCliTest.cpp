// The GPU encoder probe as a user meets it (mivora-cli gpu, args, convert),
// on stand-ins for the NVIDIA driver's libraries handed over through
// LD_LIBRARY_PATH: a chip without a video encoder whose management library
// still claims one, a working encoder, and each reason for no device.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";
const std::string kTrancor = std::string(MIVORA_PROGRAM_DIR) + "/trancor";
const std::string kH264Profile = std::string(MIVORA_PROGRAM_DIR) + "/Profiles/Phones/Smartphone 480x320 (MP4).xml";
const std::string kCuda = std::string(STANDIN_DRIVER_DIR) + "/cuda";
const std::string kNvenc = std::string(STANDIN_DRIVER_DIR) + "/nvidia-encode";
const std::string kNvml = std::string(STANDIN_DRIVER_DIR) + "/nvidia-ml";

// A driver set-up: which stand-ins are on the library path, and how they act.
struct Driver {
  std::vector<std::string> libraries;
  std::vector<std::string> settings;  // NAME=value for the stand-ins
};

class GpuProbeCli : public ::testing::Test {
 protected:
  void SetUp() override { ledger_ = test::MakeTempDir("ledger") + "/events"; }

  test::CommandResult Run(const Driver& driver, std::vector<std::string> args) {
    return RunProgram(driver, kCli, std::move(args));
  }

  test::CommandResult RunProgram(const Driver& driver, const std::string& program, std::vector<std::string> args) {
    std::string path;
    for (const std::string& folder : driver.libraries) path += (path.empty() ? "" : ":") + folder;
    std::vector<std::string> argv = {"/usr/bin/env", "LD_LIBRARY_PATH=" + path, "STANDIN_GPU_LEDGER=" + ledger_};
    argv.insert(argv.end(), driver.settings.begin(), driver.settings.end());
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunCommand(argv);
  }

  // Every context and session the probe opened was closed again.
  void ExpectEverythingClosed() {
    std::string events = test::ReadFile(ledger_);
    auto count = [&](const std::string& what) {
      size_t n = 0;
      for (size_t at = events.find(what); at != std::string::npos; at = events.find(what, at + 1)) ++n;
      return n;
    };
    EXPECT_EQ(count("context opened"), count("context closed")) << events;
    EXPECT_EQ(count("session opened"), count("session closed")) << events;
  }

  std::string ledger_;
};

TEST_F(GpuProbeCli, AChipWithoutVideoEncoderIsNotCountedAndH264ConvertsInSoftware) {
  // As on a data-centre chip: the management library claims 100 % encoder
  // capacity, CUDA finds the device, the encode library refuses every call.
  const Driver chip{{kNvml, kCuda, kNvenc}, {"STANDIN_NVENC=no-encoder"}};
  test::CommandResult gpu = Run(chip, {"gpu"});
  EXPECT_EQ(gpu.exitCode, 1) << gpu.output;
  EXPECT_NE(gpu.output.find("Device 0 (Stand-in GPU 0): no encode session: NV_ENC_ERR_NO_ENCODE_DEVICE (1): "
                            "the device has no video encoder\n"),
            std::string::npos)
      << gpu.output;
  EXPECT_NE(gpu.output.find("Found 0 devices for encoder\nResult: Un-support"), std::string::npos) << gpu.output;
  ExpectEverythingClosed();

  test::CommandResult args = Run(chip, {"args", kH264Profile});
  ASSERT_EQ(args.exitCode, 0) << args.output;
  EXPECT_NE(args.output.find("-vcodec libx264"), std::string::npos) << args.output;

  std::string clip = test::MakeTempDir("source") + "/phone.mp4";
  test::GenerateClip(clip, {.seconds = 1, .width = 160, .height = 120});
  std::string out = test::MakeTempDir("out");
  test::CommandResult convert = Run(chip, {"convert", "--profile", kH264Profile, "-o", out, clip});
  ASSERT_EQ(convert.exitCode, 0) << convert.output;
  EXPECT_EQ(test::ProbeWithFfprobe(out + "/phone.mp4").video.codec, "h264");
}

TEST_F(GpuProbeCli, ADeviceWhoseSessionOpensWithH264IsCountedAndAFailingEncoderFallsBack) {
  const Driver encoder{{kCuda, kNvenc}, {"STANDIN_NVENC=h264", "STANDIN_CUDA_DEVICES=2"}};
  test::CommandResult gpu = Run(encoder, {"gpu"});
  EXPECT_EQ(gpu.exitCode, 0) << gpu.output;
  EXPECT_NE(gpu.output.find("Device 0 (Stand-in GPU 0): H.264 encoder ready, H.265 too\n"
                            "Device 1 (Stand-in GPU 1): H.264 encoder ready, H.265 too\n"
                            "Found 2 devices for encoder\nResult: Support"),
            std::string::npos)
      << gpu.output;
  ExpectEverythingClosed();

  test::CommandResult args = Run(encoder, {"args", kH264Profile});
  EXPECT_NE(args.output.find("-vcodec cudax264"), std::string::npos) << args.output;

  // ffmpeg's GPU encoder meets the stand-ins too and cannot open: the engine
  // converts with the software encoder and says so in the log.
  std::string clip = test::MakeTempDir("source") + "/tablet.mp4";
  test::GenerateClip(clip, {.seconds = 1, .width = 160, .height = 120});
  std::string out = test::MakeTempDir("out");
  test::CommandResult convert = Run(encoder, {"convert", "--profile", kH264Profile, "-o", out, clip});
  ASSERT_EQ(convert.exitCode, 0) << convert.output;
  EXPECT_EQ(test::ProbeWithFfprobe(out + "/tablet.mp4").video.codec, "h264");
  std::string log = test::ReadFile(test::TestRoot() + "/config/Mivora/Log.txt");
  EXPECT_NE(log.find("the GPU H.264 encoder could not be opened; converting with the software encoder libx264"),
            std::string::npos)
      << log;
}

// ffmpeg's GPU encoder dies while it loads the driver, before it names
// itself in any complaint: the engine converts with the software encoder
// all the same.
TEST_F(GpuProbeCli, AGpuEncoderThatDiesBeforeTheFirstFrameGivesWayToTheSoftwareEncoder) {
  const Driver dying{{kCuda, kNvenc}, {"STANDIN_NVENC=h264", "STANDIN_CUDA_ABORT_ON_LOAD=1"}};
  std::string clip = test::MakeTempDir("source") + "/clip.mp4";
  test::GenerateClip(clip, {.seconds = 1, .width = 160, .height = 120});
  std::string out = test::MakeTempDir("out") + "/clip.mp4";
  test::CommandResult r = RunProgram(dying, kTrancor, {"-i", clip, "-vcodec", "cudax264", "-an", out});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("converting with the software encoder libx264 instead"), std::string::npos) << r.output;
  EXPECT_EQ(test::ProbeWithFfprobe(out).video.codec, "h264");
}

// Where a device's encode session offers H.265, the H.265 profiles name the
// GPU encoder; when it does not open, the job is converted with libx265.
TEST_F(GpuProbeCli, H265ProfilesTakeTheGpuEncoderAndFallBackToSoftware) {
  const std::string profile = std::string(MIVORA_PROGRAM_DIR) + "/Profiles/General Video/MP4 - H.265 HEVC Video.xml";
  const Driver encoder{{kCuda, kNvenc}, {"STANDIN_NVENC=h264"}};
  test::CommandResult args = Run(encoder, {"args", profile});
  EXPECT_NE(args.output.find("-vcodec cudax265"), std::string::npos) << args.output;
  const Driver noEncoder{{kCuda, kNvenc}, {"STANDIN_NVENC=no-encoder"}};
  args = Run(noEncoder, {"args", profile});
  EXPECT_NE(args.output.find("-vcodec libx265"), std::string::npos) << args.output;

  std::string clip = test::MakeTempDir("source") + "/phone.mp4";
  test::GenerateClip(clip, {.seconds = 0.5, .width = 160, .height = 120});
  std::string out = test::MakeTempDir("out");
  test::CommandResult convert = Run(encoder, {"convert", "--profile", profile, "-o", out, clip});
  ASSERT_EQ(convert.exitCode, 0) << convert.output;
  EXPECT_EQ(test::ProbeWithFfprobe(out + "/phone.mp4").video.codec, "hevc");
  std::string log = test::ReadFile(test::TestRoot() + "/config/Mivora/Log.txt");
  EXPECT_NE(log.find("the GPU H.265 encoder could not be opened; converting with the software encoder libx265"),
            std::string::npos)
      << log;
  ExpectEverythingClosed();
}

bool SystemHas(const char* library) {
  void* handle = dlopen(library, RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
  if (handle == nullptr) handle = dlopen(library, RTLD_LAZY | RTLD_LOCAL);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

TEST_F(GpuProbeCli, EveryReasonForNoDeviceIsReported) {
  struct Case {
    const char* name;
    Driver driver;
    std::string finding;
    const char* systemLibrary;  // a case that needs this library absent from the system
  };
  const Case cases[] = {
      {"no driver", {{}, {}}, "No NVIDIA driver: libcuda.so.1: cannot open shared object file", "libcuda.so.1"},
      {"CUDA without devices", {{kCuda, kNvenc}, {"STANDIN_CUDA_INIT=100"}},
       "CUDA finds no device: CUDA_ERROR_NO_DEVICE (100)\n", nullptr},
      {"CUDA with zero devices", {{kCuda, kNvenc}, {"STANDIN_CUDA_DEVICES=0"}}, "CUDA finds no device\n", nullptr},
      {"a container without the encode library", {{kCuda}, {}},
       "1 CUDA device(s), but no video-encode library: libnvidia-encode.so.1: cannot open shared object file",
       "libnvidia-encode.so.1"},
      {"every session taken", {{kCuda, kNvenc}, {"STANDIN_NVENC=busy"}},
       "Device 0 (Stand-in GPU 0): no encode session: NV_ENC_ERR_OUT_OF_MEMORY (10): no free encode session "
       "(the driver's limit of sessions may be reached)\n",
       nullptr},
      {"an encoder without H.264", {{kCuda, kNvenc}, {"STANDIN_NVENC=hevc-only"}},
       "Device 0 (Stand-in GPU 0): its encoder has no H.264 (H.265 only)\n", nullptr},
      {"a driver too old", {{kCuda, kNvenc}, {"STANDIN_NVENC=old-driver"}},
       "The driver's video-encode API is 9.0; 11.1 or later is needed\n", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.systemLibrary && SystemHas(c.systemLibrary)) {
      std::printf("skipped \"%s\": this machine has %s\n", c.name, c.systemLibrary);
      continue;
    }
    test::CommandResult gpu = Run(c.driver, {"gpu"});
    EXPECT_EQ(gpu.exitCode, 1) << gpu.output;
    EXPECT_EQ(gpu.output.rfind("Check CUDA encode feature:\n", 0), 0u) << gpu.output;
    EXPECT_NE(gpu.output.find(c.finding), std::string::npos) << gpu.output;
    EXPECT_NE(gpu.output.find("Found 0 devices for encoder\nResult: Un-support"), std::string::npos) << gpu.output;
  }
  ExpectEverythingClosed();
}

}  // namespace
}  // namespace mivora
