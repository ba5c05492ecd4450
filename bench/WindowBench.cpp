// How the desktop program's main window holds up under load, offscreen:
//  1. adds 200 clips through the open-file dialog's route (each probed in
//     the program, as the window does), then 1,000 more, and converts 20 of
//     them through the progress window, while a 10 ms timer on the window's
//     thread records how late each of its ticks comes; the same timer on the
//     idle window is the reference;
//  2. resident memory with 1,000 items in the list (added through the same
//     route, every file probed), beside the resident memory of the process
//     before the window existed.
// Goals: 200 clips added in under 10 s and 1,000 in under 40 s; 99th
// percentile of the lateness under 50 ms, largest under 200 ms; resident
// size with 1,000 items under 150 MiB.

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/main/CMainDlg.h"
#include "common/Folders.h"
#include "tests/support/TestEnvironment.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace fs = std::filesystem;
using namespace mivora;

namespace {

constexpr int kTickMs = 10;

// Lateness of a periodic timer on the window's thread.
class LatenessProbe {
 public:
  LatenessProbe() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      if (last_ >= 0) late_.push_back(std::max<double>(0, (now - last_) / 1e6 - kTickMs));
      last_ = now;
    });
  }
  void Start() {
    late_.clear();
    last_ = -1;
    clock_.start();
    timer_.start();
  }
  void Stop() { timer_.stop(); }
  void Print(const char* phase) const {
    std::vector<double> sorted = late_;
    std::sort(sorted.begin(), sorted.end());
    const double p99 = sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
    const double worst = sorted.empty() ? 0 : sorted.back();
    std::printf("%-44s ticks %6zu   p99 %7.1f ms   max %7.1f ms\n", phase, sorted.size(), p99, worst);
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = -1;
  std::vector<double> late_;
};

// Answers every message box of the program with its first button.
void AnswerBoxesWithFirstButton() {
  static QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [] {
    auto* box = qobject_cast<ui::CDlgMessageBox*>(QApplication::activeModalWidget());
    if (box && box->isVisible()) box->FirstButton()->click();
  });
  poll.start();
}

double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) { return QTest::qWaitFor(done, timeoutMs); }

// The number of clips of a phase; the environment may make a short check run.
int CountFromEnvironment(const char* name, int otherwise) {
  const char* text = std::getenv(name);
  const int count = text ? std::atoi(text) : 0;
  return count > 0 ? count : otherwise;
}

std::string MakeClip(const std::string& path) {
  const std::string command = "ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -f lavfi -i "
                              "sine=duration=1 -shortest '" + path + "'";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "window_bench: ffmpeg failed\n");
  return path;
}

QStringList CopiesOf(const std::string& clip, const std::string& folder, int count) {
  fs::create_directories(folder);
  QStringList paths;
  for (int i = 0; i < count; ++i) {
    const std::string path = folder + "/clip" + std::to_string(i) + ".mp4";
    fs::copy_file(clip, path, fs::copy_options::overwrite_existing);
    paths << QString::fromStdString(path);
  }
  return paths;
}

// Adds `paths` through the "Add File(s)" button and waits until every row
// has its facts; prints the lateness and the time it took.
void AddThroughDialog(CMainDlg& window, LatenessProbe& probe, const QStringList& paths, const char* phase) {
  window.SetFileChooser([paths](QWidget*) { return paths; });
  const size_t before = window.Model().Sources().Count();
  QElapsedTimer took;
  took.start();
  probe.Start();
  QTest::mouseClick(window.AddButton(), Qt::LeftButton);
  WaitFor([&] { return window.PendingAdds() == 0; }, 600000);
  probe.Stop();
  probe.Print(phase);
  size_t probed = 0;
  for (const SourceItem& item : window.Model().Sources().Items()) probed += item.mediaInfo.video.duration.empty() ? 0 : 1;
  std::printf("%-44s %zu items added in %.1f s (%zu of %zu listed have their facts)\n", "",
              window.Model().Sources().Count() - before, took.elapsed() / 1000.0, probed,
              window.Model().Sources().Count());
}

void AddAndConvert(const std::string& profiles, const std::string& root) {
  const std::string clip = MakeClip(root + "/source.mp4");
  CMainDlg window(test::MakeTempDir("user"), profiles);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) std::fprintf(stderr, "window_bench: the window did not show\n");
  window.EnsureProfilesReady();

  LatenessProbe probe;
  probe.Start();
  QTest::qWait(2000);
  probe.Stop();
  probe.Print("reference: idle window, 2 s");

  const int few = CountFromEnvironment("WINDOW_BENCH_CLIPS", 200);
  const int many = CountFromEnvironment("WINDOW_BENCH_MANY", 1000);
  AddThroughDialog(window, probe, CopiesOf(clip, root + "/few", few),
                   ("adding " + std::to_string(few) + " clips (dialog route, probed)").c_str());
  AddThroughDialog(window, probe, CopiesOf(clip, root + "/many", many),
                   ("adding " + std::to_string(many) + " more (dialog route, probed)").c_str());

  while (window.Model().Sources().Count() > 20) window.OnRowButton(20, kRowDelete);
  window.Model().OutputFolders().Browse(test::MakeTempDir("out"));
  QElapsedTimer took;
  took.start();
  probe.Start();
  QTest::mouseClick(window.StartButton(), Qt::LeftButton);
  WaitFor([&] { return window.ProgressWindow() != nullptr; }, 10000);
  WaitFor([&] { return window.isVisible() && window.ProgressWindow() == nullptr; }, 600000);
  probe.Stop();
  probe.Print("converting 20 clips (progress window)");
  std::printf("%-44s %.1f s\n", "", took.elapsed() / 1000.0);
}

// Runs in a process of its own, so that the resident size is this phase's alone.
void Memory(const std::string& profiles, const std::string& root) {
  const double before = ResidentMiB();
  const QStringList paths =
      CopiesOf(MakeClip(root + "/source.mp4"), root + "/thousand", CountFromEnvironment("WINDOW_BENCH_MANY", 1000));
  {
    CMainDlg window(test::MakeTempDir("user"), profiles);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) std::fprintf(stderr, "window_bench: the window did not show\n");
    window.AddPaths(paths, AddRoute::kDialog);
    WaitFor([&] { return window.PendingAdds() == 0; }, 600000);
    QTest::qWait(200);
    std::printf("%-44s %.1f MiB before the window, %.1f MiB with %zu items\n", "resident memory (reference / many items)",
                before, ResidentMiB(), window.Model().Sources().Count());
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");
  test::SetUpTestEnvironment();  // private HOME, XDG folders and TMPDIR
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  ui::Skin::Apply(app);
  AnswerBoxesWithFirstButton();

  const std::string root = test::MakeTempDir("bench");
  const std::string profiles = root + "/Profiles";
  fs::copy(ProgramFolder() + "/Profiles", profiles, fs::copy_options::recursive);
  if (argc > 1 && std::string(argv[1]) == "--memory") {
    Memory(profiles, root);
    return 0;
  }
  std::printf("window_bench: main window, offscreen; timer lateness on the window's thread (%d ms ticks)\n", kTickMs);
  std::fflush(stdout);
  AddAndConvert(profiles, root);
  std::fflush(stdout);
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  return std::system(("'" + self + "' --memory").c_str()) == 0 ? 0 : 1;
}
