// The output-folder drop-down, "Browse" and "Open" driven as a user does,
// with the folder picker and the file manager replaced by recorders.

#include <gtest/gtest.h>

#include <QWidget>
#include <memory>
#include <regex>

#include "app/output/COutputFolderBar.h"
#include "common/Folders.h"
#include "tests/gui_profile/GuiDriving.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

using Texts = std::vector<std::string>;

class OutputFolderBarTest : public ::testing::Test {
 protected:
  void SetUp() override { configPath_ = test::MakeTempDir("user") + "/config.xml"; }
  // The bar as the main window's set-up makes it.
  void Open() {
    window_ = std::make_unique<QWidget>();
    window_->resize(719, 469);
    config_ = std::make_unique<CConfigXml>();
    list_ = std::make_unique<OutputFolderList>(*config_, configPath_);
    list_->Fill(config_->LoadConfig(configPath_));
    bar_ = new COutputFolderBar(window_.get(), *list_);
    bar_->setGeometry(10, 410, 699, 26);
    bar_->SetFolderPicker([this](QWidget*) { return QString::fromStdString(nextPick_); });
    bar_->SetFolderOpener([this](const QString& folder) {
      opened_.push_back(folder.toStdString());
      return true;
    });
    window_->show();
  }
  void Browse(const std::string& pick) {
    nextPick_ = pick;
    QTest::mouseClick(bar_->BrowseButton(), Qt::LeftButton);
  }
  // The "path" of every "dir" element of config.xml in file order, then
  // "xml:" and the profile identifier when there is one.
  Texts FileEntries() const {
    std::string text = test::ReadFile(configPath_);
    Texts entries;
    std::regex entry(R"re(<(dir|xml) path="([^"]*)")re");
    for (std::sregex_iterator it(text.begin(), text.end(), entry), end; it != end; ++it)
      entries.push_back((*it)[1] == "xml" ? "xml:" + (*it)[2].str() : (*it)[2].str());
    return entries;
  }

  std::string configPath_, nextPick_;
  Texts opened_;
  std::unique_ptr<QWidget> window_;
  std::unique_ptr<CConfigXml> config_;
  std::unique_ptr<OutputFolderList> list_;
  COutputFolderBar* bar_ = nullptr;
};

TEST_F(OutputFolderBarTest, BrowsingChoosingAndClearingKeepDropDownAndFileInStep) {
  test::WriteFile(configPath_, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<config><recent><xml path=\"12\"/></recent></config>\n");
  Open();
  EXPECT_EQ(bar_->Folders()->count(), 0);
  EXPECT_EQ(bar_->CurrentFolder(), "");

  struct Step {
    const char* browse;  // a folder picked with "Browse", or nullptr
    const char* choose;  // an item picked in the drop-down, or nullptr
    Texts items;
    Texts file;
  };
  const Step steps[] = {
      {"/videos/out", nullptr, {"/videos/out", "Clear List"}, {"/videos/out", "xml:12"}},
      {"/videos/b", nullptr, {"/videos/b", "/videos/out", "Clear List"}, {"/videos/b", "/videos/out", "xml:12"}},
      // The same folder again moves to the top; another letter case is another folder.
      {"/videos/out", nullptr, {"/videos/out", "/videos/b", "Clear List"}, {"/videos/out", "/videos/b", "xml:12"}},
      {"/Videos/Out", nullptr, {"/Videos/Out", "/videos/out", "/videos/b", "Clear List"},
       {"/Videos/Out", "/videos/out", "/videos/b", "xml:12"}},
      {nullptr, "/videos/b", {"/videos/b", "/Videos/Out", "/videos/out", "Clear List"},
       {"/videos/b", "/Videos/Out", "/videos/out", "xml:12"}},
      {"", nullptr, {"/videos/b", "/Videos/Out", "/videos/out", "Clear List"},
       {"/videos/b", "/Videos/Out", "/videos/out", "xml:12"}},  // picker cancelled
      {nullptr, "Clear List", {"Clear List"}, {"xml:12"}},
      {"/films/été", nullptr, {"/films/été", "Clear List"}, {"/films/été", "xml:12"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.browse ? std::string("browse ") + step.browse : std::string("choose ") + step.choose);
    if (step.browse) Browse(step.browse);
    if (step.choose) {
      ASSERT_TRUE(test::PickInComboBox(*bar_->Folders(), step.choose));
    }
    EXPECT_EQ(test::ItemsOf(*bar_->Folders()), step.items);
    EXPECT_EQ(FileEntries(), step.file);
    // The folder "Start" converts into: the shown item, none after "Clear List".
    EXPECT_EQ(bar_->CurrentFolder(), step.items.size() > 1 ? step.items.front() : "");
  }

  // The next run shows the same list.
  Open();
  EXPECT_EQ(test::ItemsOf(*bar_->Folders()), (Texts{"/films/été", "Clear List"}));
  EXPECT_EQ(bar_->Folders()->currentIndex(), 0);
}

TEST_F(OutputFolderBarTest, DefaultStandsForTheVideosFolder) {
  test::WriteFile(configPath_, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<config><recent><dir path=\"Default\"/><dir path=\"/x\"/></recent></config>\n");
  Open();
  EXPECT_EQ(test::ItemsOf(*bar_->Folders()), (Texts{VideosFolder(), "/x", "Clear List"}));
  EXPECT_EQ(bar_->CurrentFolder(), VideosFolder());
  // The stored word, not the folder it stands for, is what a pick is compared with.
  Browse(VideosFolder());
  EXPECT_EQ(test::ItemsOf(*bar_->Folders()), (Texts{VideosFolder(), VideosFolder(), "/x", "Clear List"}));
  EXPECT_EQ(FileEntries(), (Texts{VideosFolder(), "Default", "/x"}));
}

TEST_F(OutputFolderBarTest, OpenShowsAnExistingFolderAndExplainsAMissingOne) {
  std::string existing = test::MakeTempDir("out");
  Open();
  Browse(existing);
  QTest::mouseClick(bar_->OpenButton(), Qt::LeftButton);
  EXPECT_EQ(opened_, (Texts{existing}));

  ASSERT_TRUE(test::PickInComboBox(*bar_->Folders(), "Clear List"));
  QTest::mouseClick(bar_->OpenButton(), Qt::LeftButton);  // no folder: nothing opens
  EXPECT_EQ(opened_, (Texts{existing}));

  Browse(existing + "/not-yet");
  test::MessageBoxAnswerer answerer;
  QTest::mouseClick(bar_->OpenButton(), Qt::LeftButton);
  EXPECT_EQ(answerer.Texts().size(), 1);
  EXPECT_EQ(opened_, (Texts{existing}));
}

}  // namespace
}  // namespace mivora
