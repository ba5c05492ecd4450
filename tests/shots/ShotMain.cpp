// mivora-shots: saves the picture of one window in a known state.
//   mivora-shots --list            the scenes, one per line
//   mivora-shots SCENE OUT.png     builds SCENE and saves it
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QProcess>
#include <QTest>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
#include <filesystem>

#include "app/main/CMainDlg.h"
#include "common/Folders.h"
#include "tests/shots/ShotScenes.h"
#include "ui/Skin.h"

namespace mivora::shots {

std::map<QString, Scene>& Scenes() {
  static std::map<QString, Scene> scenes;
  return scenes;
}

ShotContext::ShotContext() {
  folder_ = QDir::tempPath().toStdString() + "/mivora-shots-" + std::to_string(QCoreApplication::applicationPid());
  std::filesystem::create_directories(folder_);
  // Settings, logs and profile copies stay inside the private folder.
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder_ + "/config"));
}

ShotContext::~ShotContext() {
  kept_.clear();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

QString ShotContext::Clip(const QString& name, double seconds, int width, int height) {
  const QString path = QString::fromStdString(folder_) + QStringLiteral("/media/") + name;
  if (QFile::exists(path)) return path;
  QDir().mkpath(QFileInfo(path).path());
  QProcess::execute(QStringLiteral("ffmpeg"),
                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                     QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("testsrc2=size=%1x%2:rate=25:duration=%3").arg(width).arg(height).arg(seconds),
                     QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("sine=frequency=440:duration=%1").arg(seconds), QStringLiteral("-shortest"), path});
  return path;
}

CMainDlg* ShotContext::MainWindow(const QStringList& files) {
  const std::string profiles = folder_ + "/Profiles";
  if (!std::filesystem::exists(profiles)) {
    std::filesystem::copy(MIVORA_SOURCE_PROFILES, profiles, std::filesystem::copy_options::recursive);
  }
  auto* window = new CMainDlg(folder_ + "/user", profiles);
  if (!files.isEmpty()) {
    window->AddPaths(files, AddRoute::kDrop);
    QElapsedTimer waited;
    waited.start();
    while (window->PendingAdds() > 0 && waited.elapsed() < 60000) QTest::qWait(20);
  }
  return window;
}

}  // namespace mivora::shots

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  mivora::ui::Skin::Apply(app);
  // The engine and the profiles are in the build's program folder.
  mivora::SetProgramFolder(MIVORA_PROGRAM_DIR);
  const QStringList args = app.arguments();
  auto& scenes = mivora::shots::Scenes();
  if (args.size() == 2 && args[1] == QLatin1String("--list")) {
    for (const auto& [name, scene] : scenes) std::printf("%s\t%s\n", qPrintable(name), qPrintable(scene.description));
    return 0;
  }
  if (args.size() != 3 || !scenes.count(args[1])) {
    std::fprintf(stderr, "usage: mivora-shots --list | SCENE OUT.png\n");
    return 2;
  }
  mivora::shots::ShotContext context;
  QWidget* window = scenes[args[1]].build(context);
  if (!window) {
    std::fprintf(stderr, "mivora-shots: scene %s built nothing\n", qPrintable(args[1]));
    return 1;
  }
  window->show();
  if (!QTest::qWaitForWindowExposed(window)) std::fprintf(stderr, "mivora-shots: window not exposed\n");
  QTest::qWait(context.settleMs);
  const QPixmap picture = window->grab();
  if (!picture.save(args[2])) {
    std::fprintf(stderr, "mivora-shots: cannot write %s\n", qPrintable(args[2]));
    return 1;
  }
  std::printf("%s: %dx%d pixels\n", qPrintable(args[2]), picture.width(), picture.height());
  delete window;
  return 0;
}
