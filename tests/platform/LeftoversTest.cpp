#include "platform/Leftovers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace mivora {
namespace {

// Only the program's own folder names give an owner: another folder that
// starts alike is never taken for a killed run's.
TEST(Leftovers, OnlyOwnedTempFolderNamesTellTheirOwner) {
  const struct {
    const char* name;
    std::string_view prefix;
    pid_t owner;
  } rows[] = {
      {"mivora-123-AbCdEf", kProgramTempPrefix, 123},
      {"trancor-5-abc_ef", kEngineTempPrefix, 5},
      {"trancor-5-abcdef", kProgramTempPrefix, 0},
      {"mivora-AbCdEf", kProgramTempPrefix, 0},  // a name without an owner
      {"mivora-test-AbCdEf", kProgramTempPrefix, 0},
      {"mivora-shots-4242", kProgramTempPrefix, 0},
      {"mivora-1000", kProgramTempPrefix, 0},
      {"mivora-123-AbCdE", kProgramTempPrefix, 0},
      {"mivora-0123-AbCdEf", kProgramTempPrefix, 0},
      {"mivoraa-123-AbCdEf", kProgramTempPrefix, 0},
      {"mivora-99999999999-AbCdEf", kProgramTempPrefix, 0},
  };
  for (const auto& row : rows) EXPECT_EQ(OwnerOfTempFolderName(row.name, row.prefix), row.owner) << row.name;
}

TEST(Leftovers, AnOwnedFolderIsPrivateAndNamesThisProcess) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = MakeOwnedTempFolder(tmp ? tmp : "/tmp", kEngineTempPrefix);
  ASSERT_FALSE(folder.empty());
  struct stat info;
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(OwnerOfTempFolderName(folder.substr(folder.rfind('/') + 1), kEngineTempPrefix), ::getpid());
  EXPECT_FALSE(ProcessHasEnded(::getpid()));
  ::rmdir(folder.c_str());
}

}  // namespace
}  // namespace mivora
