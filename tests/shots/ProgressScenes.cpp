// Scenes of the progress window.
#include "app/progress/CDlgConverting.h"
#include "common/Folders.h"
#include "tests/shots/ShotScenes.h"

namespace mivora::shots {
namespace {

// Slow enough to be caught halfway: a small clip upscaled into H.264.
constexpr const char* kSlowArgs = "-vcodec libx264 -acodec mp2 -s 1280x720 ";

const SceneRegistrar kProgress(
    "progress", "the progress window two seconds into a batch of three files, two converting at once",
    [](ShotContext& context) -> QWidget* {
      SetProgramFolder(MIVORA_PROGRAM_DIR);  // the engine lies in the build's program folder
      const std::string out = context.Folder() + "/out";
      auto* window = new CDlgConverting;
      window->SetConversionsAtOnce(2);
      struct Source {
        const char* name;
        const char* size;
      } sources[] = {{"Holiday at the lake.mp4", "14.2 MB"},
                     {"birthday.avi", "6.8 MB"},
                     {"interview-take2.mkv", "3.1 MB"}};
      for (const Source& source : sources) {
        const std::string path = context.Clip(QString::fromLatin1(source.name), 20.0, 160, 120).toStdString();
        window->AddJob({path, out + "/" + source.name + ".mp4", source.size, "mp4", kSlowArgs, 20});
      }
      context.settleMs = 2600;  // a few seconds of progress, elapsed and remaining time
      return window;
    });

}  // namespace
}  // namespace mivora::shots
