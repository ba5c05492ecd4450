// The source session without a window: every route's files become rows in
// order (or are skipped with their reason), a probe's answer reaches its row
// wherever the row went, the saved list is written when it should be and
// without the converted files, and a restore brings rows back with their
// saved settings and ends with the session even when its probe hangs.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "sources/SourceSession.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

using namespace std::chrono_literals;

const std::string kAviProfile =
    std::string(MIVORA_SOURCE_PROFILES) + "/General Video/AVI - Audio Video Interleaved.xml";

// Rows in a plain list; counts what the session asked of its owner.
class Rows : public SourceRows {
 public:
  SourceList& List() override { return list; }
  void RowChanged(size_t) override { ++changed; }
  void RowsSettled() override { ++settled; }
  void ListingWaiting() override { listingAsked = true; }
  void AnswersWaiting() override { ++answersTold; }

  SourceList list;
  int changed = 0;
  int settled = 0;
  bool listingAsked = false;
  std::atomic<int> answersTold{0};
};

// A probe that answers when its file is let through (or at once when open):
// the duration says which file it was; a cancel ends it without facts.
class GatedProbe {
 public:
  explicit GatedProbe(bool open = true) : open_(open) {}
  ProbePool::ProbeFunction Function() {
    return [this](const std::string& path, MediaInfo* info, const ProbeLimits& limits) {
      ProbeOutcome outcome;
      std::unique_lock<std::mutex> lock(mutex_);
      while (!open_ && !let_.count(path)) {
        if (limits.cancel && limits.cancel->load()) {
          ++cancelled;
          outcome.stopped = true;
          return outcome;
        }
        wake_.wait_for(lock, 5ms);
      }
      info->video.duration = "00:00:0" + std::to_string(path.back() - '0');
      outcome.found = true;
      return outcome;
    };
  }
  void Let(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    let_.insert(path);
    wake_.notify_all();
  }
  std::atomic<int> cancelled{0};

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool open_;
  std::set<std::string> let_;
};

// Visits the session as a front end would until nothing is pending.
bool Settle(SourceSession& session, Rows& rows) {
  return test::Within(10s, [&] {
    while (std::exchange(rows.listingAsked, false)) session.ListSome();
    session.TakeAnswers();
    return session.Pending() == 0;
  });
}

std::vector<std::string> Paths(const SourceList& list) {
  std::vector<std::string> paths;
  for (const SourceItem& item : list.Items()) paths.push_back(item.sourcePath);
  return paths;
}

// Files named "<name>1", "<name>2"...: the probe reads the digit.
std::string File(const std::string& folder, const std::string& name) {
  const std::string path = folder + "/" + name;
  test::WriteFile(path, "x");
  return path;
}

TEST(SourceSession, EachRouteListsItsFilesInOrderAndSaysWhyOthersWereLeftOut) {
  const std::string dir = test::MakeTempDir("route");
  const std::string clip = File(dir, "clip.mp1"), notes = File(dir, "notes3");
  ASSERT_TRUE(std::filesystem::remove(clip));
  const std::string mp4 = File(dir, "a.mp4");
  struct Case {
    AddRoute route;
    std::vector<std::string> given;
    std::vector<std::string> rows;
    std::vector<std::string> why;
  };
  const std::vector<Case> cases = {
      {AddRoute::kDialog, {mp4, notes, dir, mp4, clip}, {mp4},
       {"not a video file extension", "a folder", "already in the list", "no such file"}},
      {AddRoute::kDrop, {notes, dir, mp4, notes}, {notes, mp4}, {"a folder", "already in the list"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.route == AddRoute::kDialog ? "dialog" : "drop");
    Rows rows;
    GatedProbe probe;
    SourceSession session(rows, 2, probe.Function());
    std::string error;
    ASSERT_TRUE(session.Add(c.given, c.route, {kAviProfile, 7}, &error)) << error;
    // The rows are there before any answer, with the profile's settings.
    EXPECT_EQ(Paths(rows.list), c.rows);
    EXPECT_EQ(rows.list.At(0)->profileId, 7);
    EXPECT_EQ(rows.list.At(0)->targetExtension, "avi");
    std::vector<std::string> why;
    for (const SkippedFile& skipped : session.TakeSkipped()) why.push_back(skipped.why);
    EXPECT_EQ(why, c.why);
    ASSERT_TRUE(Settle(session, rows));
  }
  // A profile that cannot be read adds nothing.
  Rows rows;
  SourceSession session(rows);
  std::string error;
  EXPECT_FALSE(session.Add({mp4}, AddRoute::kDrop, {dir + "/gone.xml", 1}, &error));
  EXPECT_NE(error.find("gone.xml"), std::string::npos);
  EXPECT_EQ(session.Pending(), 0u);
}

TEST(SourceSession, AnAnswerReachesItsRowWhereverTheRowWent) {
  const std::string dir = test::MakeTempDir("moved");
  const std::string a = File(dir, "a1"), b = File(dir, "b2"), c = File(dir, "c3");
  Rows rows;
  GatedProbe probe(false);
  SourceSession session(rows, 3, probe.Function());
  std::string error;
  ASSERT_TRUE(session.Add({a, b, c}, AddRoute::kDrop, {kAviProfile, 1}, &error));
  // While the probes run, c moves to the top and b goes.
  ASSERT_TRUE(rows.list.Move(2, 0));
  ASSERT_TRUE(rows.list.Remove(2));
  for (const std::string& path : {a, b, c}) probe.Let(path);
  ASSERT_TRUE(Settle(session, rows));
  EXPECT_EQ(Paths(rows.list), (std::vector<std::string>{c, a}));
  EXPECT_EQ(rows.list.At(0)->mediaInfo.video.duration, "00:00:03");
  EXPECT_EQ(rows.list.At(1)->mediaInfo.video.duration, "00:00:01");
  EXPECT_EQ(rows.list.At(1)->durationSeconds, 1);
  EXPECT_EQ(rows.changed, 2) << "the answer for the row that went changed nothing";
}

TEST(SourceSession, AThousandFilesAreListedASliceAVisitAndForgettingDropsTheRest) {
  const std::string dir = test::MakeTempDir("many");
  std::vector<std::string> paths;
  for (int i = 0; i < 120; ++i) paths.push_back(File(dir, "f" + std::to_string(i) + "_0"));
  Rows rows;
  GatedProbe probe(false);
  SourceSession session(rows, 2, probe.Function());
  std::string error;
  ASSERT_TRUE(session.Add(paths, AddRoute::kDrop, {kAviProfile, 1}, &error));
  EXPECT_EQ(rows.list.Count(), SourceSession::kRowsPerVisit);
  EXPECT_TRUE(std::exchange(rows.listingAsked, false));
  EXPECT_EQ(session.Pending(), 120u);
  session.ListSome();
  EXPECT_EQ(rows.list.Count(), 2 * SourceSession::kRowsPerVisit);
  EXPECT_TRUE(std::exchange(rows.listingAsked, false)) << "twenty still wait";
  session.ForgetPending();  // "Clear List"
  session.ListSome();
  EXPECT_EQ(rows.list.Count(), 100u);
  EXPECT_FALSE(rows.listingAsked);
  // Only the probes already running are still to answer.
  EXPECT_LE(session.Pending(), 2u);
}

std::vector<std::string> SavedPaths(const std::string& path) {
  std::vector<std::string> paths;
  SavedListReading reading = ReadSavedSourceList(test::ReadFile(path));
  if (reading.list) {
    for (const SavedSourceEntry& entry : reading.list->entries) paths.push_back(entry.sourcePath);
  }
  return paths;
}

TEST(SourceSession, TheSavedListFollowsTheRowsAndLeavesConvertedFilesOut) {
  const std::string dir = test::MakeTempDir("save");
  const std::string saved = SourceSession::SavedListIn(test::MakeTempDir("user"));
  const std::string a = File(dir, "a1"), b = File(dir, "b2");
  Rows rows;
  GatedProbe probe;
  SourceSession session(rows, 2, probe.Function());
  session.KeepListAt(saved);
  EXPECT_FALSE(session.ListChanged()) << "nothing is saved before saving starts";
  session.StartSaving();
  EXPECT_NE(test::ReadFile(saved).find("count 0\n"), std::string::npos);
  std::string error;
  ASSERT_TRUE(session.Add({a, b}, AddRoute::kDrop, {kAviProfile, 1}, &error));
  ASSERT_TRUE(Settle(session, rows));
  // One save for a burst of changes.
  EXPECT_TRUE(session.ListChanged());
  EXPECT_FALSE(session.ListChanged());
  session.SaveIfChanged();
  EXPECT_EQ(SavedPaths(saved), (std::vector<std::string>{a, b}));
  const int saves = session.Saves();
  session.SaveIfChanged();
  EXPECT_EQ(session.Saves(), saves) << "the same list is not written again";
  // A verified output takes its file out at once; a new run brings it back.
  session.Converted({a});
  EXPECT_EQ(SavedPaths(saved), std::vector<std::string>{b});
  session.RunStarting();
  EXPECT_EQ(SavedPaths(saved), (std::vector<std::string>{a, b}));
  // Converted, removed, and added again: saved again.
  session.Converted({a});
  ASSERT_TRUE(rows.list.Remove(0));
  session.SaveIfChanged();
  ASSERT_TRUE(session.Add({a}, AddRoute::kDrop, {kAviProfile, 1}, &error));
  session.SaveIfChanged();
  EXPECT_EQ(SavedPaths(saved), (std::vector<std::string>{b, a}));

  // While this session holds the list, another neither reads nor writes it.
  Rows otherRows;
  SourceSession other(otherRows);
  other.KeepListAt(saved);
  EXPECT_EQ(other.OpenSavedList().kind, SavedListOffer::Kind::kNotOurs);
  other.StartSaving();
  other.MarkCleanExit();
  EXPECT_EQ(SavedPaths(saved), (std::vector<std::string>{b, a}));
  // The chosen exit: nothing to offer, and the list free for the next program.
  session.MarkCleanExit();
  EXPECT_EQ(other.OpenSavedList().kind, SavedListOffer::Kind::kNothing);
}

TEST(SourceSession, AnUnreadableSavedListIsSetAsideAndANewOneBegins) {
  const std::string saved = SourceSession::SavedListIn(test::MakeTempDir("user"));
  test::WriteFile(saved, "MIVORA-LIST 1\nclean 0\nitem\npath /x\n");
  Rows rows;
  SourceSession session(rows);
  session.KeepListAt(saved);
  const SavedListOffer offer = session.OpenSavedList();
  EXPECT_EQ(offer.kind, SavedListOffer::Kind::kRefused);
  EXPECT_EQ(offer.keptAs, saved + ".refused");
  EXPECT_NE(offer.why.find("cut off"), std::string::npos) << offer.why;
  session.StartSaving();
  EXPECT_NE(test::ReadFile(saved).find("count 0\n"), std::string::npos);
  EXPECT_NE(test::ReadFile(saved + ".refused").find("path /x"), std::string::npos);
}

// A saved list of three: `kept` (edited, with its estimate), one whose file
// is gone and one whose profile is gone.
std::string SaveThree(const std::string& dir, const std::string& kept) {
  SavedSourceList list;
  for (const std::string& path : {kept, dir + "/gone4", File(dir, "noprofile5")}) {
    SavedSourceEntry entry;
    entry.sourcePath = path;
    entry.profilePath = path == kept ? kAviProfile : dir + "/gone.xml";
    entry.profileId = 9;
    entry.estimatedSize = "1.00 MB";
    list.entries.push_back(std::move(entry));
  }
  list.entries[0].editSettings = std::make_unique<EditSettings>();
  list.entries[0].editSettings->watermarkText = "two\nlines";
  const std::string saved = SourceSession::SavedListIn(test::MakeTempDir("user"));
  EXPECT_TRUE(SaveSourceListFile(saved, list));
  return saved;
}

TEST(SourceSession, ARestoreBringsRowsBackWithTheirSettingsAndNamesTheRest) {
  const std::string dir = test::MakeTempDir("restore");
  const std::string kept = File(dir, "kept1");
  const std::string saved = SaveThree(dir, kept);
  Rows rows;
  GatedProbe probe(false);
  SourceSession session(rows, 2, probe.Function());
  session.KeepListAt(saved);
  const SavedListOffer offer = session.OpenSavedList();
  ASSERT_EQ(offer.kind, SavedListOffer::Kind::kOffered);
  EXPECT_EQ(offer.files, 3u);
  std::vector<std::string> notRestored;
  int ended = 0;
  session.Restore([&](const std::vector<std::string>& missing) {
    notRestored = missing;
    ++ended;
  });
  session.StartSaving();
  // Until every restored row has its facts nothing is written over the list.
  EXPECT_TRUE(session.Restoring());
  session.SaveIfChanged();
  EXPECT_EQ(session.Saves(), 0);
  EXPECT_EQ(ended, 0);
  probe.Let(kept);
  ASSERT_TRUE(Settle(session, rows));
  EXPECT_FALSE(session.Restoring());
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(notRestored, (std::vector<std::string>{dir + "/gone4", dir + "/noprofile5"}));
  ASSERT_EQ(Paths(rows.list), std::vector<std::string>{kept});
  const SourceItem item = *rows.list.At(0);
  EXPECT_EQ(item.mediaInfo.video.duration, "00:00:01");
  EXPECT_EQ(item.estimatedSize, "1.00 MB") << "the saved estimate stays";
  EXPECT_EQ(item.profileId, 9);
  ASSERT_TRUE(item.editSettings);
  EXPECT_EQ(item.editSettings->watermarkText, "two\nlines");
  EXPECT_EQ(SavedPaths(saved), std::vector<std::string>{kept}) << "saved once the restore ended";
}

TEST(SourceSession, ARestoresProbeEndsWithTheSession) {
  const std::string dir = test::MakeTempDir("stop");
  const std::string kept = File(dir, "kept1");
  const std::string saved = SaveThree(dir, kept);
  GatedProbe probe(false);  // never answers on its own, as a pipe nobody writes
  auto rows = std::make_unique<Rows>();
  auto session = std::make_unique<SourceSession>(*rows, 1, probe.Function());
  session->KeepListAt(saved);
  ASSERT_EQ(session->OpenSavedList().kind, SavedListOffer::Kind::kOffered);
  session->Restore(nullptr);
  ASSERT_TRUE(test::Within(5s, [&] { return session->Pending() == 1; }));
  std::this_thread::sleep_for(100ms);  // the probe is under way
  const auto start = std::chrono::steady_clock::now();
  session.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
  EXPECT_EQ(probe.cancelled.load(), 1);
}

}  // namespace
}  // namespace mivora
