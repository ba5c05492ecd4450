// The question after an abnormal end.
#include "app/main/SourceListKeeper.h"
#include "tests/shots/ShotScenes.h"
#include "ui/CDlgMessageBox.h"

namespace mivora::shots {
namespace {

const SceneRegistrar kRestore("restore", "the question after an abnormal end", [](ShotContext&) -> QWidget* {
  return new ui::CDlgMessageBox(QString::fromLatin1(kRestoreQuestion).arg(3), ui::kMbYesNo | ui::kMbIconQuestion,
                                nullptr);
});

}  // namespace
}  // namespace mivora::shots
