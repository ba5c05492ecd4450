// main() of the window tests: the isolated test environment, then a
// QApplication on the offscreen platform (unless a test run names another)
// with the program's skin.
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>
#include <cstdlib>

#include "tests/support/TestEnvironment.h"
#include "ui/Skin.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");
  mivora::test::SetUpTestEnvironment();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  mivora::ui::Skin::Apply(app);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
