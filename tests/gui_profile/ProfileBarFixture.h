#pragma once
// A window with the profile controls on a private copy of the shipped
// profiles, a real config.xml and a source list, started as the main
// window's first timer tick does and enabled as after adding a file.

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <filesystem>
#include <memory>

#include "app/profile/CProfileBar.h"
#include "app/profile/CProfileMenuPopup.h"
#include "tests/adjust/AdjustTestFiles.h"

namespace mivora::test {

class ProfileBarFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempDir("profiles");
    std::filesystem::copy(MIVORA_SOURCE_PROFILES, folder_, std::filesystem::copy_options::recursive);
    user_ = MakeTempDir("user");
    configPath_ = user_ + "/config.xml";
    window_ = std::make_unique<QWidget>();
    window_->setGeometry(40, 100, 719, 469);
    menu_ = std::make_unique<ProfileMenu>(std::make_shared<CProfileMenuPopup>(window_.get()),
                                          CProfileBar::MenuPoster(), folder_);
    panel_ = std::make_unique<ProfilePanel>(*menu_, config_, configPath_, sources_);
    bar_ = new CProfileBar(window_.get(), *menu_, *panel_, [this] { return selected_; });
    bar_->setGeometry(12, 322, 695, 58);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    panel_->OnStartup(0, user_);
    bar_->SetControlsEnabled(true);
  }
  void TearDown() override {
    window_.reset();
    menu_->Release();
  }

  std::string Path(const std::string& relative) const { return folder_ + "/" + relative; }
  int32_t IdOf(const std::string& relative) const {
    for (const ProfileEntry& entry : menu_->Catalog().All())
      if (entry.path == Path(relative)) return entry.id;
    ADD_FAILURE() << relative;
    return 0;
  }
  // An item as the file-adding step leaves it, without probing a file.
  void AddItem(const std::string& relative, ParameterPositions indices) {
    SourceItem item;
    item.sourcePath = "/" + std::to_string(sources_.Count()) + ".mp4";
    item.profilePath = Path(relative);
    item.profileId = IdOf(relative);
    item.engineArgs = "old";
    item.listIndices = indices;
    ASSERT_TRUE(sources_.Append(std::move(item)));
  }

  std::string folder_, user_, configPath_;
  CConfigXml config_;
  SourceList sources_;
  std::vector<size_t> selected_;
  std::unique_ptr<QWidget> window_;
  std::unique_ptr<ProfileMenu> menu_;
  std::unique_ptr<ProfilePanel> panel_;
  CProfileBar* bar_ = nullptr;
};

}  // namespace mivora::test
