#include <gtest/gtest.h>

#include <clocale>

#include "tests/support/TestEnvironment.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");
  mivora::test::SetUpTestEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
