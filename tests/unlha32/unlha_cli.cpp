// Runs one command of unlha32.dll from a shell, for the interop script and for
// screenshots: pv_unlha_cli [options] "<command line>"
//   --attr HEX PATH         set a file's attributes and stop (hidden files for the tests)
//   --owner                 give the command a visible owner window
//   --shot-progress F.png   screenshot while the progress window shows the second file
//   --shot-error F.png      screenshot of the error box, then answer it
//   --shot-config F.png     show the version dialog, screenshot it, close it
//   --time                  also print "elapsed_ms=N.N", the time the command took (benchmark)
// Prints the output buffer, then "result=N" (decimal); exits 0 on result 0, else 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "driver.h"
#include "unlha32/unlha32.h"

namespace {

using UnlhaFn = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
using SetOwnerFn = BOOL(WINAPI*)(HWND);
using ConfigFn = BOOL(WINAPI*)(HWND, LPSTR, int);

std::string g_progressShot;
int g_progressCount = 0;
UINT g_arcExtract = 0;

void pumpFor(DWORD ms) {
  const DWORD end = ::GetTickCount() + ms;
  MSG msg;
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::Sleep(20);
  }
}

LRESULT CALLBACK ownerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == g_arcExtract && g_arcExtract) {
    if (wp == UNLHA_NOTIFY_PROGRESS && !g_progressShot.empty()) {
      const auto* info = reinterpret_cast<const UnlhaExtractingInfo*>(lp);
      if (info->writeSize == 0 && ++g_progressCount == 2) {
        pumpFor(800);  // the command pumps only between pieces of work
        pv::test::saveScreenshot(g_progressShot);
      }
    }
    return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

HWND makeOwner() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ownerProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = "PvUnlhaCliOwner";
  ::RegisterClassA(&wc);
  HWND w = ::CreateWindowA("PvUnlhaCliOwner", "Pomvault", WS_OVERLAPPEDWINDOW, 100, 80, 640, 420, nullptr, nullptr,
                           wc.hInstance, nullptr);
  ::ShowWindow(w, SW_SHOW);
  ::UpdateWindow(w);
  pumpFor(300);
  return w;
}

}  // namespace

int main(int argc, char** argv) {
  std::string line, errorShot, configShot;
  bool owner = false, timed = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--attr" && i + 2 < argc) {
      const DWORD attrs = std::strtoul(argv[i + 1], nullptr, 16);
      return ::SetFileAttributesA(argv[i + 2], attrs) ? 0 : 1;
    }
    if (a == "--owner") owner = true;
    else if (a == "--time") timed = true;
    else if (a == "--shot-progress" && i + 1 < argc) g_progressShot = argv[++i], owner = true;
    else if (a == "--shot-error" && i + 1 < argc) errorShot = argv[++i], owner = true;
    else if (a == "--shot-config" && i + 1 < argc) configShot = argv[++i], owner = true;
    else line = a;
  }

  HMODULE dll = ::LoadLibraryA((pv::test::binDir() + "\\unlha32.dll").c_str());
  if (!dll) {
    std::fprintf(stderr, "unlha32.dll not loaded\n");
    return 2;
  }
  auto unlha = reinterpret_cast<UnlhaFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "Unlha")));
  auto setOwner = reinterpret_cast<SetOwnerFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "UnlhaSetOwnerWindow")));
  auto config = reinterpret_cast<ConfigFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "UnlhaConfigDialog")));
  HWND hwnd = owner ? makeOwner() : nullptr;
  g_arcExtract = ::RegisterWindowMessageA("wm_arcextract");
  if (hwnd) setOwner(hwnd);

  std::thread helper;
  if (!errorShot.empty() || !configShot.empty()) {
    const bool isConfig = !configShot.empty();
    const std::string shot = isConfig ? configShot : errorShot;
    helper = std::thread([shot, isConfig] {
      HWND box = isConfig ? pv::test::waitDialog("unlha32.dll のバージョン情報")
                          : pv::test::waitMessageBox("unlha32.dll");
      if (!box) return;
      pv::test::sleepMs(600);
      pv::test::saveScreenshot(shot);
      pv::test::answerMessageBox(box, IDOK);
    });
  }

  int result = 0;
  if (!configShot.empty()) {
    result = config(hwnd, nullptr, 0) ? 0 : 1;
  } else {
    static char out[256 * 1024];
    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&t0);
    result = unlha(hwnd, line.c_str(), out, sizeof out);
    ::QueryPerformanceCounter(&t1);
    std::fwrite(out, 1, std::strlen(out), stdout);
    if (timed) std::printf("\nelapsed_ms=%.1f", 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / freq.QuadPart);
  }
  if (helper.joinable()) helper.join();
  std::printf("\nresult=%d\n", result);
  if (hwnd) ::DestroyWindow(hwnd);
  return result == 0 ? 0 : 1;
}
