/* A program that only carries a version resource: the installer reads the
   ProductVersion of the pelbo.exe beside it, and tests give it these. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) {
  (void)a; (void)b; (void)c; (void)d;
  return 0;
}
