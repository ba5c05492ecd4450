// Every shipped profile converts a generated two-second clip into what it promises.

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

TEST_P(ProfileConversion, ConvertsAsTheProfileAsks) {
  ConvertAndCheck(GetParam().entry.path, SourceClip(2), GetParam().entry.relativePath);
}

INSTANTIATE_TEST_SUITE_P(Shipped, ProfileConversion, ::testing::ValuesIn(ShippedProfilesForTests()),
                         [](const auto& info) { return info.param.testName; });

}  // namespace
}  // namespace mivora::test
