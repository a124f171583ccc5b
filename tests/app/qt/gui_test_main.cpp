// GoogleTest with a QApplication on the offscreen platform, for the tests of the Qt front end.
// They run as on the desktop the program is made for, a Chinese one (LANG=zh_CN.UTF-8).
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("LANG", "zh_CN.UTF-8", 1);
  for (const char* overriding : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) ::unsetenv(overriding);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
