#include "setup/inst1.h"

#include <cstdio>

#include "core/cmdline.h"
#include "core/setupver.h"
#include "win/version.h"
#include "pv_version.h"
#include "setup/state.h"
#include "win/app.h"
#include "win/files.h"

namespace pv::setup {
namespace {

using win::ControlDesc;
using win::Kind;

constexpr COLORREF clTeal = RGB(0, 128, 128);
constexpr COLORREF clWhite = RGB(255, 255, 255);
// Posted on the first activation: the run starts once the activation is over, not
// inside it, so that its dialogs activate normally.
constexpr UINT WM_STARTRUN = WM_APP + 0x110;

const win::FormDesc kForm1 = {"Form1", "", 0, 0, 640, 480, win::formopt::Single, {"MS UI Gothic", 12}, clTeal};

const ControlDesc kForm1Controls[] = {
    {.kind = Kind::Image, .name = "Image1", .parent = nullptr, .left = 20, .top = 16, .width = 32, .height = 32},
    {.kind = Kind::Label, .name = "ProgName", .parent = nullptr, .left = 60, .top = 16, .width = 400, .height = 32,
     .font = {"ＭＳ ゴシック", 32, false, clWhite}},
    {.kind = Kind::Label, .name = "YearLabel", .parent = nullptr, .left = 0, .top = 0, .width = 300, .height = 16,
     .caption = "Copyright (C) " PV_MAKER_NAME " 2001-", .font = {"ＭＳ Ｐゴシック", 16, false, clWhite}},
};

// A label as wide and high as its text in its own font.
void autoSize(win::Label& label) {
  HDC dc = ::GetDC(label.handle());
  HGDIOBJ old = ::SelectObject(dc, label.font());
  const std::string text = label.caption();
  SIZE size{};
  ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(label.handle(), dc);
  label.setBounds(label.left(), label.top(), size.cx, size.cy);
}

std::uint16_t fileYear(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  FILETIME local{};
  WORD date = 0, time = 0;
  // The DOS date cannot hold years before 1980; such a file counts as the earliest year.
  if (!::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data) ||
      !::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !::FileTimeToDosDateTime(&local, &date, &time))
    return 2001;
  const auto year = static_cast<std::uint16_t>((date >> 9) + 1980);
  return year < 2001 ? 2001 : year;
}

}  // namespace

std::vector<std::string> Params() {
  std::vector<std::string> args = cmdline::splitProgramArgs(::GetCommandLineA());
  if (!args.empty()) args.erase(args.begin());
  return args;
}

std::string ReadProductVersion(const std::string& file) {
  return win::ReadVersionString(file, backup::VersionKind::ProductVersion);
}

bool ReadSetupVersion() {
  const std::string exe = SetupFolder() + kProgramFiles[1];
  if (!win::fileExists(exe)) return false;
  ProductYear = fileYear(exe);
  const std::string text = ReadProductVersion(exe);
  if (text.empty() || !setupver::parseSetupVersion(text, SetupMajor, SetupMinor)) return false;
  // Absurdly long digit runs wrap like the parse does, instead of overflowing.
  SetupVersion = static_cast<std::int32_t>(static_cast<std::uint32_t>(SetupMajor) * 100u +
                                           static_cast<std::uint32_t>(SetupMinor));
  return true;
}

TForm1::TForm1()
    : Form(kForm1, kForm1Controls),
      Image1(find<win::Image>("Image1")),
      ProgName(find<win::Label>("ProgName")),
      YearLabel(find<win::Label>("YearLabel")) {
  onCreate(&TForm1::FormCreate);
  onActivate(&TForm1::FormActivate);
}

TForm1::~TForm1() { destroyForm(); }

void TForm1::FormCreate() {
  RECT work{};
  if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
    work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  setBounds(work.left, work.top, work.right - work.left, work.bottom - work.top);
  win::app().setTitle(kSetupTitle);
  Image1.setIcon(win::app().icon());

  ProgName.setCaption(std::string(kProductName) + "  Ver ");
  YearLabel.setCaption(YearLabel.caption() + std::to_string(ProductYear));
  autoSize(YearLabel);
  YearLabel.setLeft(work.right - YearLabel.width() - 20);
  YearLabel.setTop(work.bottom - YearLabel.height() - ::GetSystemMetrics(SM_CYCAPTION) - 20);

  const UINT needed = ::GetWindowsDirectoryA(nullptr, 0);
  std::string dir(needed + 1, '\0');
  dir.resize(::GetWindowsDirectoryA(dir.data(), needed + 1));
  WinDir = dir;
  WinDrive = WinDir.empty() ? '\0' : WinDir[0];

  char version[32];
  std::snprintf(version, sizeof version, "%.2f", SetupVersion / 100.0);
  ProgName.setCaption(ProgName.caption() + version);
  autoSize(ProgName);
  setCaption(ProgName.caption() + (Params().empty() ? " のインストール" : " のアンインストール"));
  ShortcutsChosen = false;

  const std::string folder = SetupFolder();
  for (int i = 0; i < kProgramFileCount; ++i) {
    WIN32_FIND_DATAA fd{};
    HANDLE h = ::FindFirstFileA((folder + kProgramFiles[i]).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) continue;
    ::FindClose(h);
    FileSizes[i + 1] = static_cast<std::int32_t>(fd.nFileSizeLow);
  }
  FileSizes[0] = kDeleterSize;

  OSVERSIONINFOA vi{};
  vi.dwOSVersionInfoSize = sizeof vi;
  UseCommonFolders = ::GetVersionExA(&vi) && vi.dwPlatformId == VER_PLATFORM_WIN32_NT && vi.dwMajorVersion > 4;
}

void TForm1::FormActivate() {
  if (activated_) return;
  activated_ = true;
  ::PostMessageA(handle(), WM_STARTRUN, 0, 0);
}

void TForm1::RunMode() {
  const std::vector<std::string> params = Params();
  try {
    if (params.empty()) {
      Install();
    } else if (params[0] == "/r") {
      Uninstall();
    }
  } catch (...) {
    win::app().handleException();
  }
  win::app().terminate();
}

LRESULT TForm1::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_STARTRUN) {
    RunMode();
    return 0;
  }
  return Form::handleMessage(msg, w, l);
}

}  // namespace pv::setup
