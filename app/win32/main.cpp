// Ornivel for Windows.
#include <windows.h>

#include "app/win32/application.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return ornivel::RunApplication(instance);
}
