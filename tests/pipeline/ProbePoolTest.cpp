// The probe pool: every file given is answered once, with its own facts, by
// no more workers than asked; the owner is told when answers wait; queued
// files can be dropped; ending the pool ends probes that would hang.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "pipeline/ProbePool.h"
#include "tests/pipeline/PipelineTestSupport.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

std::vector<std::string> Clips(int count) {
  const std::string folder = test::MakeTempDir("pool");
  test::GenerateClip(folder + "/small.avi", {.seconds = 1, .width = 160, .height = 120});
  test::GenerateClip(folder + "/large.mp4", {.seconds = 1, .width = 320, .height = 240});
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    std::string path = folder + "/clip" + std::to_string(i) + (i % 2 ? ".mp4" : ".avi");
    std::filesystem::copy_file(folder + (i % 2 ? "/large.mp4" : "/small.avi"), path);
    paths.push_back(path);
  }
  return paths;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(ProbePool, AnswersEveryFileOnceWithItsOwnFacts) {
  const std::vector<std::string> paths = Clips(16);
  std::atomic<int> told{0};
  ProbePool pool([&] { ++told; }, 3);
  EXPECT_EQ(pool.WorkerLimit(), 3u);
  pool.Add({paths.begin(), paths.begin() + 10});
  pool.Add({paths.begin() + 10, paths.end()});
  std::map<std::string, std::string> sizes;
  ASSERT_TRUE(WaitFor([&] {
    for (ProbePool::Answer& answer : pool.TakeAnswers()) {
      EXPECT_TRUE(answer.outcome.found) << answer.path;
      EXPECT_TRUE(sizes.emplace(answer.path, answer.facts.video.width + "x" + answer.facts.video.height).second)
          << answer.path << " answered twice";
    }
    return sizes.size() == paths.size() && pool.Outstanding() == 0;
  }, std::chrono::seconds(60)));
  for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(sizes[paths[i]], i % 2 ? "320x240" : "160x120") << paths[i];
  EXPECT_GE(told.load(), 1);
  EXPECT_LE(told.load(), static_cast<int>(paths.size()));
  EXPECT_TRUE(pool.TakeAnswers().empty());
}

TEST(ProbePool, DroppedFilesAreNotProbedAndEndingThePoolEndsItsProbes) {
  // Pipes go to the engine, which waits for a writer until the time limit.
  ProbeLimits limits;
  limits.time = std::chrono::seconds(60);
  auto pool = std::make_unique<ProbePool>(std::function<void()>{}, 1, limits);
  pool->Add({test::MakeFifo("first.mp4"), test::MakeFifo("second.mp4"), test::MakeFifo("third.mp4")});
  ASSERT_TRUE(WaitFor([&] { return !test::LeftoverProcesses().empty(); }, std::chrono::seconds(10)));
  EXPECT_EQ(pool->Outstanding(), 3u);
  pool->DropQueued();
  EXPECT_EQ(pool->Outstanding(), 1u);  // the one under way
  auto start = std::chrono::steady_clock::now();
  pool.reset();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_TRUE(WaitFor([] { return test::LeftoverProcesses().empty(); }, std::chrono::seconds(5)))
      << test::Describe(test::LeftoverProcesses());
}

// Two playlists naming pipes take both workers while they wait; the file
// behind them must still be answered, and the pool's end must not wait.
TEST(ProbePool, PlaylistsNamingPipesHoldUpNeitherOtherFilesNorTheEnd) {
  const std::string folder = test::MakeTempDir("pipes");
  std::vector<std::string> fifos, paths;
  for (const char* name : {"a", "b"}) {
    fifos.push_back(folder + "/" + name + ".ts");
    ASSERT_EQ(::mkfifo(fifos.back().c_str(), 0600), 0);
    paths.push_back(folder + "/" + name + ".m3u8");
    test::WriteFile(paths.back(), std::string("#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\n") + name +
                                      ".ts\n#EXT-X-ENDLIST\n");
  }
  paths.push_back(Clips(1).front());
  test::FifoRescuer rescuer(fifos, std::chrono::seconds(20));
  auto pool = std::make_unique<ProbePool>(std::function<void()>{}, 2);
  pool->Add(paths);
  std::vector<std::string> answered;
  EXPECT_TRUE(WaitFor([&] {
    for (ProbePool::Answer& answer : pool->TakeAnswers()) answered.push_back(answer.path);
    return answered.size() == paths.size();
  }, std::chrono::seconds(10))) << answered.size() << " of " << paths.size() << " answered";
  auto start = std::chrono::steady_clock::now();
  pool.reset();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_FALSE(rescuer.Rescued()) << "a probe waited on a pipe";
}

// A probe stuck where no cancel reaches it (a hung disk, say) is given up
// once it is well past its time limit: Start, which waits for every answer,
// goes on, later files get a worker, and the pool's end does not wait.
TEST(ProbePool, AProbeStuckBeyondItsLimitIsGivenUpAndNotWaitedFor) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  ProbePool::ProbeFunction probe = [release](const std::string& path, MediaInfo* info, const ProbeLimits&) {
    while (path == "stuck" && !release->load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    info->video.width = "1";
    return ProbeOutcome{.found = true};
  };
  ProbeLimits limits;
  limits.time = std::chrono::milliseconds(100);
  auto pool = std::make_unique<ProbePool>(std::function<void()>{}, 1, limits, probe);
  pool->Add({"stuck", "later"});
  std::map<std::string, ProbePool::Answer> answers;
  ASSERT_TRUE(WaitFor([&] {
    pool->GiveUpOverdueProbes();
    for (ProbePool::Answer& answer : pool->TakeAnswers()) answers.emplace(answer.path, answer);
    return pool->Outstanding() == 0;
  }, std::chrono::seconds(10)));
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_TRUE(answers["stuck"].outcome.stopped);
  EXPECT_TRUE(answers["later"].outcome.found);
  auto start = std::chrono::steady_clock::now();
  pool.reset();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  *release = true;  // the given-up worker ends on its own
}

}  // namespace
}  // namespace mivora
