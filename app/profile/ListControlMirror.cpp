#include "app/profile/ListControlMirror.h"

#include <QSignalBlocker>

namespace mivora {

void ShowListControl(const ListControl& list, QComboBox& box, bool enabled) {
  QSignalBlocker quiet(box);
  box.clear();
  for (const std::string& item : list.Items()) box.addItem(QString::fromStdString(item));
  box.setCurrentIndex(list.HasSelection() ? list.Selected() : -1);
  box.setEnabled(enabled && list.Count() > 0);
}

}  // namespace mivora
