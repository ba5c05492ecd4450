#include "app/profile/CDlgAdjustProfiles.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/profile/ListControlMirror.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPComboBox.h"
#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora {
namespace {

constexpr QSize kDialogSize(500, 292);
constexpr const char* kListLabels[kParameterCount] = {
    "Codec", "Bitrate", "Size", "Fps", "Aspect", "Codec", "Bitrate", "Sample", "Channels", "Volume"};

QLabel* Label(const QString& text, QWidget* parent, bool heading) {
  auto* label = new QLabel(text, parent);
  label->setFont(ui::Skin::Font(12, heading));
  if (heading) {
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, ui::colors::kTitleText);
    label->setPalette(colours);
  }
  return label;
}

}  // namespace

CDlgAdjustProfiles::CDlgAdjustProfiles(QWidget* parent, std::string profilePath,
                                       std::optional<ParameterPositions> preselection)
    : ui::CImgDialogBase(kDialogSize, QString::fromLatin1(kAdjustProfilesTitle), parent),
      model_(std::move(profilePath), preselection) {
  setObjectName("adjustProfiles");
  connect(AddCaptionButton(ui::CaptionButton::kClose), &QAbstractButton::clicked, this,
          &CDlgAdjustProfiles::reject);
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(18, kTitleBandHeight + 12, 18, 14);
  page->addLayout(BuildParameterColumns());
  page->addStretch(1);
  page->addLayout(BuildButtons());
  model_.OnInitDialog();
  for (int i = 0; i < kParameterCount; ++i) {
    const ListControl& list = model_.List(static_cast<ProfileParameter>(i));
    ShowListControl(list, *lists_[i], list.Enabled());
  }
}

QLayout* CDlgAdjustProfiles::BuildParameterColumns() {
  auto* columns = new QHBoxLayout;
  columns->setSpacing(24);
  QGridLayout* grids[2];
  const char* headings[2] = {"Video", "Audio"};
  for (int column = 0; column < 2; ++column) {
    grids[column] = new QGridLayout;
    grids[column]->setHorizontalSpacing(10);
    grids[column]->setVerticalSpacing(8);
    grids[column]->setColumnStretch(1, 1);
    grids[column]->addWidget(Label(tr(headings[column]), this, true), 0, 0, 1, 2);
    columns->addLayout(grids[column], 1);
  }
  for (int i = 0; i < kParameterCount; ++i) {
    auto parameter = static_cast<ProfileParameter>(i);
    int column = parameter < kAudioCodec ? 0 : 1;
    int row = 1 + (column == 0 ? i : i - kAudioCodec);
    auto* list = new ui::CGPComboBox(this);
    list->setObjectName(kScalarElementNames[i]);
    list->setMinimumContentsLength(12);
    QLabel* label = Label(tr(kListLabels[i]), this, false);
    label->setBuddy(list);
    grids[column]->addWidget(label, row, 0);
    grids[column]->addWidget(list, row, 1);
    connect(list, &QComboBox::activated, this,
            [this, parameter](int position) { model_.List(parameter).Select(position); });
    lists_[i] = list;
  }
  return columns;
}

QLayout* CDlgAdjustProfiles::BuildButtons() {
  auto* ok = new ui::CGPImageButton(this);
  ok->setText(tr("OK"));
  ok->setObjectName("okButton");
  auto* cancel = new ui::CGPImageButton(this);
  cancel->setText(tr("Cancel"));
  cancel->setObjectName("cancelButton");
  for (ui::CGPImageButton* button : {ok, cancel}) button->setFixedSize(86, 28);
  connect(ok, &QAbstractButton::clicked, this, &CDlgAdjustProfiles::accept);
  connect(cancel, &QAbstractButton::clicked, this, &CDlgAdjustProfiles::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  return buttons;
}

void CDlgAdjustProfiles::accept() {
  if (model_.OnOK()) {
    ui::CImgDialogBase::accept();
    return;
  }
  // Nothing was written; the user may try again or cancel.
  ui::CDlgMessageBox::Show(tr("The profile could not be saved:\n%1").arg(QString::fromStdString(model_.Error())),
                           ui::kMbOk | ui::kMbIconStop, this);
}

}  // namespace mivora
