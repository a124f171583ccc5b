// Ornivel for Linux.
#include "app/qt/application.h"

int main(int argc, char** argv) {
  return ornivel::RunApplication(argc, argv);
}
