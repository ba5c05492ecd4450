#pragma once
// Scenes for mivora-shots. A scene builds a window in the state to show and
// returns it; the program shows it, lets it settle and saves its picture.
// Add a scene from any .cpp file in this folder:
//
//   static const mivora::shots::SceneRegistrar kAbout("about", "the about box",
//       [](mivora::shots::ShotContext& context) -> QWidget* { ... });

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace mivora {
class CMainDlg;
}

namespace mivora::shots {

class ShotContext {
 public:
  ShotContext();
  ~ShotContext();
  // A private folder for this run (user folder, media, output).
  const std::string& Folder() const { return folder_; }
  // A generated clip `name` (made once with ffmpeg's test sources).
  QString Clip(const QString& name, double seconds = 3.0, int width = 320, int height = 240);
  // A main window on a private user folder and a copy of the shipped
  // profiles, with `files` added through the drop route (probed for real).
  CMainDlg* MainWindow(const QStringList& files = {});
  // Keeps an object alive until the picture is taken.
  void Keep(std::shared_ptr<void> object) { kept_.push_back(std::move(object)); }
  // Extra milliseconds to wait before the picture (animations).
  int settleMs = 300;

 private:
  std::string folder_;
  std::vector<std::shared_ptr<void>> kept_;
};

using SceneBuilder = std::function<QWidget*(ShotContext&)>;
struct Scene {
  QString description;
  SceneBuilder build;
};

std::map<QString, Scene>& Scenes();

struct SceneRegistrar {
  SceneRegistrar(const char* name, const char* description, SceneBuilder build) {
    Scenes()[QString::fromLatin1(name)] = {QString::fromLatin1(description), std::move(build)};
  }
};

}  // namespace mivora::shots
