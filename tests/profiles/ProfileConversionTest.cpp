// Every shipped profile converts a generated two-second clip into what it
// promises; a deep-colour source comes out as 8-bit 4:2:0.

#include <gtest/gtest.h>

#include "common/Folders.h"
#include "tests/profiles/ProfileConversion.h"
#include "tests/support/TestEnvironment.h"

namespace mivora::test {
namespace {

class ProfileConversion : public ::testing::TestWithParam<ShippedProfile> {
 protected:
  // No GPU device here: H.264 goes to the software encoder.
  void SetUp() override { SetProgramFolder(MIVORA_PROGRAM_DIR); }
};

// A 10-bit 4:2:2 source: the encoders would keep both the depth and the chroma.
TEST_P(ProfileConversion, ConvertsAsTheProfileAsks) {
  const std::string& path = GetParam().entry.path;
  ConvertAndCheck(path, PixelFormatClip("yuv422p10le", ClipSecondsFor(path, 2)), GetParam().entry.relativePath);
}

INSTANTIATE_TEST_SUITE_P(Shipped, ProfileConversion, ::testing::ValuesIn(ShippedProfilesForTests()),
                         [](const auto& info) { return info.param.testName; });

}  // namespace
}  // namespace mivora::test
