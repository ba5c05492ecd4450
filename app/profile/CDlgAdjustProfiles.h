#pragma once
// "Adjust profiles": one pick-only drop-down for each of the ten adjustable
// parameters of a profile file, video on the left, audio on the right. The
// window-less AdjustProfileDialog fills and writes them; OK keeps the dialog
// open, with a message, when the file cannot be written.

#include <QComboBox>
#include <QLayout>
#include <array>
#include <optional>
#include <string>

#include "ui/CImgDialogBase.h"
#include "windowmodels/AdjustProfileDialog.h"

namespace mivora {

class CDlgAdjustProfiles : public ui::CImgDialogBase {
  Q_OBJECT

 public:
  CDlgAdjustProfiles(QWidget* parent, std::string profilePath,
                     std::optional<ParameterPositions> preselection = std::nullopt);

  QComboBox* List(ProfileParameter parameter) const { return lists_[parameter]; }

 public slots:
  void accept() override;

 protected:
  void OnEnterKey() override { accept(); }
  void OnEscapeKey() override { reject(); }

 private:
  // The labelled drop-downs, video parameters left, audio right.
  QLayout* BuildParameterColumns();
  // OK and Cancel, at the right.
  QLayout* BuildButtons();

  AdjustProfileDialog model_;
  std::array<QComboBox*, kParameterCount> lists_{};
};

}  // namespace mivora
