// Where the instance lock lives when the session names no runtime folder: the
// shared temporary folder, where other users may have planted anything under
// the names the program will use.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "app/startup/SingleInstance.h"
#include "common/Folders.h"
#include "tests/support/TestEnvironment.h"

namespace mivora::test {
namespace {

constexpr uid_t kNobody = 65534;

// Sets an environment variable for one scope (unsets it for nullopt).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::optional<struct stat> Lstat(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return std::nullopt;
  return info;
}

bool PrivateFolderOfThisUser(const std::string& path) {
  const std::optional<struct stat> info = Lstat(path);
  return info && S_ISDIR(info->st_mode) && info->st_uid == getuid() && (info->st_mode & 0777) == 0700;
}

// Whatever was planted, the lock is a regular file of this user in a folder
// only this user may enter, nothing planted was followed, and a second
// program still finds the first one's lock.
TEST(SingleInstanceWithoutRuntimeFolder, TheLockLivesInAPrivateFolderWhateverWasPlantedThere) {
  const bool root = getuid() == 0;
  const std::string uid = std::to_string(getuid());
  const struct Row {
    const char* what;
    bool needsRoot;  // planting another user's file takes chown
    // Plants something at the folder's name in the shared temporary folder;
    // `victim` is a file elsewhere that must stay untouched.
    std::function<void(const std::string& folder, const std::string& victim)> plant;
    bool folderUsed;  // the named folder (made private) holds the lock
  } rows[] = {
      {"nothing there", false, [](const std::string&, const std::string&) {}, true},
      {"a folder of this user open to everyone", false,
       [](const std::string& folder, const std::string&) {
         mkdir(folder.c_str(), 0777);
         chmod(folder.c_str(), 0777);
       },
       true},
      {"a folder of another user", true,
       [](const std::string& folder, const std::string&) {
         mkdir(folder.c_str(), 0777);
         chmod(folder.c_str(), 0777);
         ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
       },
       false},
      {"a link to a folder elsewhere", false,
       [](const std::string& folder, const std::string& victim) {
         ASSERT_EQ(symlink(FolderOf(victim).data(), folder.c_str()), 0);
       },
       false},
      {"a file", false, [](const std::string& folder, const std::string&) { WriteFile(folder, "x"); }, false},
      {"a link at the lock's name", false,
       [](const std::string& folder, const std::string& victim) {
         mkdir(folder.c_str(), 0700);
         ASSERT_EQ(symlink(victim.c_str(), (folder + "/" + kInstanceLockName).c_str()), 0);
       },
       true},
      {"a lock file of another user", true,
       [](const std::string& folder, const std::string&) {
         mkdir(folder.c_str(), 0700);
         const std::string lock = folder + "/" + kInstanceLockName;
         WriteFile(lock, "");
         ASSERT_EQ(chown(lock.c_str(), kNobody, kNobody), 0);
       },
       true},
      {"a pipe at the lock's name", false,
       [](const std::string& folder, const std::string&) {
         mkdir(folder.c_str(), 0700);
         ASSERT_EQ(mkfifo((folder + "/" + kInstanceLockName).c_str(), 0666), 0);
       },
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.needsRoot && !root) continue;  // only root can give a file away
    const std::string shared = MakeTempDir("shared-tmp");
    chmod(shared.c_str(), 01777);
    const ScopedEnv tmp("TMPDIR", shared);
    const ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    const std::string folder = shared + "/mivora-instance-" + uid;
    const std::string victim = MakeTempDir("victim") + "/precious";
    row.plant(folder, victim);
    if (HasFatalFailure()) return;

    const std::string lock = SingleInstance::LockPath();
    EXPECT_EQ(SingleInstance::LockPath(), lock) << "the same place every time";
    {
      SingleInstance first;
      EXPECT_EQ(first.outcome(), SingleInstance::Outcome::kFirst);
      SingleInstance second;
      EXPECT_EQ(second.outcome(), SingleInstance::Outcome::kAlreadyRunning);
    }
    EXPECT_TRUE(PrivateFolderOfThisUser(std::string(FolderOf(lock)))) << lock;
    const std::optional<struct stat> file = Lstat(lock);
    ASSERT_TRUE(file) << lock;
    EXPECT_TRUE(S_ISREG(file->st_mode)) << lock;
    EXPECT_EQ(file->st_uid, getuid()) << lock;
    EXPECT_EQ(file->st_mode & 0777, 0600u) << lock;
    EXPECT_FALSE(Lstat(victim)) << "a planted link was followed";
    EXPECT_EQ(FolderOf(lock) == folder, row.folderUsed) << lock;
    if (!row.folderUsed) {
      EXPECT_FALSE(Lstat(folder + "/" + kInstanceLockName)) << "something was made in a folder not ours";
    }
  }
}

// A runtime folder that others may enter is no place for the lock either.
TEST(SingleInstanceWithoutRuntimeFolder, ARuntimeFolderOpenToOthersIsPassedOver) {
  const std::string shared = MakeTempDir("shared-tmp");
  const std::string open = MakeTempDir("open-runtime");
  chmod(open.c_str(), 0777);
  const ScopedEnv tmp("TMPDIR", shared);
  const ScopedEnv runtime("XDG_RUNTIME_DIR", open);
  const std::string lock = SingleInstance::LockPath();
  EXPECT_NE(FolderOf(lock), open);
  EXPECT_TRUE(PrivateFolderOfThisUser(std::string(FolderOf(lock)))) << lock;
}

}  // namespace
}  // namespace mivora::test
