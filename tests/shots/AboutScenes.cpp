// Scenes of the about box and of the user guide.
#include <QTextBrowser>
#include <QUrl>

#include "app/about/CAboutDlg.h"
#include "common/Folders.h"
#include "tests/shots/ShotScenes.h"

namespace mivora::shots {
namespace {

const SceneRegistrar kAbout("about", "the about box", [](ShotContext&) -> QWidget* {
  return new CAboutDlg(nullptr, UpgradeServers{});
});

// The guide as the build lays it out beside the program, with its pictures.
const SceneRegistrar kGuide("guide", "the user guide, Help.html", [](ShotContext&) -> QWidget* {
  auto* guide = new QTextBrowser;
  guide->resize(900, 700);
  std::string path = ProgramFolderSlash() + "Help.html";
  if (!FileExists(path)) path = ProgramFolderSlash() + "../../bin/Help.html";
  guide->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
  return guide;
});

}  // namespace
}  // namespace mivora::shots
