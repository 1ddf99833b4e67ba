#include "main/main.h"

#include <algorithm>
#include <memory>

#include "archive/Archive.h"
#include "core/convert.h"
#include "core/error.h"
#include "core/messages.h"
#include "core/path.h"
#include "core/textlines.h"
#include "pv_version.h"
#include "win/app.h"
#include "win/dialogs.h"
#include "win/files.h"
#include "win/guards.h"
#include "win/registry.h"

namespace pv {
namespace {

using win::ControlDesc;
using win::Kind;
namespace opt = win::opt;
namespace formopt = win::formopt;

constexpr int kDesignWidth = 418;
constexpr int kDesignHeight = 277;

const win::FormDesc kForm1 = {"Form1", PV_PRODUCT_NAME, 0, 0, kDesignWidth, kDesignHeight,
                              formopt::Sizeable | formopt::MinMax, {"ＭＳ Ｐゴシック", 12}};

// The stored description of the main window.
const ControlDesc kForm1Controls[] = {
    {Kind::ImageList, "ImageList1", nullptr, 0, 0, 0, 0, "", 0, nullptr, -1, 0, {}, nullptr,
     "Width=20;Height=20;Mask=FF00FF;Bitmap=TOOLBAR1"},
    {Kind::ImageList, "ImageList2", nullptr, 0, 0, 0, 0, "", 0, nullptr, -1, 0, {}, nullptr,
     "Width=20;Height=20;Bitmap=TOOLBAR2"},
    {Kind::ImageList, "ImageList3", nullptr, 0, 0, 0, 0, "", 0, nullptr, -1, 0, {}, nullptr,
     "Width=20;Height=20;Bitmap=TOOLBAR3"},
    {Kind::ToolBar, "ToolBar1", nullptr, 0, 0, kDesignWidth, 37, "", opt::AlignTop | opt::Flat, nullptr, -1, 0, {},
     nullptr, "Images=ImageList1;ButtonWidth=45;ButtonHeight=35;Indent=6"},
    {Kind::ToolButton, "CloseBtn", "ToolBar1", 0, 0, 0, 0, "閉じる", 0, "|アプリケーションを終了します。", 3},
    {Kind::ToolSeparator, "ToolButton1", "ToolBar1", 0, 0, 0, 0},
    {Kind::ToolButton, "NewBtn", "ToolBar1", 0, 0, 0, 0, "新規", 0, "|新規のバックアップ定義を作成します。", 4},
    {Kind::ToolButton, "SaveBtn", "ToolBar1", 0, 0, 0, 0, "保存", 0, "|現在のバックアップ定義を保存します。", 5},
    {Kind::ToolButton, "DelBtn", "ToolBar1", 0, 0, 0, 0, "削除", opt::Disabled,
     "|選択したバックアップ定義を削除します。", 0},
    {Kind::ToolSeparator, "ToolButton2", "ToolBar1", 0, 0, 0, 0},
    {Kind::ToolButton, "BuckupBtn", "ToolBar1", 0, 0, 0, 0, "Backup", opt::Disabled,
     "|選択したバックアップ定義に従ってバックアップを行います。", 1},
    {Kind::ToolSeparator, "ToolButton3", "ToolBar1", 0, 0, 0, 0},
    {Kind::ToolButton, "EnvBtn", "ToolBar1", 0, 0, 0, 0, "設定", opt::Disabled,
     "|選択したバックアップ定義の詳細設定を行います。", 2},
    {Kind::ToolSeparator, "ToolButton4", "ToolBar1", 0, 0, 0, 0},
    {Kind::ToolButton, "AboutBtn", "ToolBar1", 0, 0, 0, 0, "About", 0, "|バージョン情報を表示します。", 6},
    {Kind::ToolButton, "HelpBtn", "ToolBar1", 0, 0, 0, 0, "Help", 0, "|ヘルプを表示します。", 7},
    {Kind::Label, "Label1", nullptr, 0, 37, kDesignWidth, 18, "バックアップ定義", opt::AlignTop | opt::Centre},
    {Kind::StatusBar, "StatusBar1", nullptr, 0, 0, kDesignWidth, 19, "", opt::AlignBottom},
    {Kind::ListBox, "BDList", nullptr, 0, 55, kDesignWidth, 150, "", opt::AlignClient | opt::AutoDrag, nullptr, -1, 0,
     {"ＭＳ Ｐゴシック", 16}},
    {Kind::Component, "Archive1", nullptr, 0, 0, 0, 0, "", 0, nullptr, -1, 0, {}, &win::create<arc::TArchive>,
     "Mode=amLha;Options=[aoNoInstArj, aoNoInstZip, aoNoInstTar, aoNoInstCab, aoNoInstRar]"},
};

const char* const kRegKey = "software\\Sorvane";
const char* const kRegSubKey = "pelbo";

}  // namespace

TForm1::TForm1()
    : Form(kForm1, kForm1Controls),
      ToolBar1(find<win::ToolBar>("ToolBar1")),
      CloseBtn(find<win::ToolButton>("CloseBtn")),
      NewBtn(find<win::ToolButton>("NewBtn")),
      SaveBtn(find<win::ToolButton>("SaveBtn")),
      DelBtn(find<win::ToolButton>("DelBtn")),
      BuckupBtn(find<win::ToolButton>("BuckupBtn")),
      EnvBtn(find<win::ToolButton>("EnvBtn")),
      AboutBtn(find<win::ToolButton>("AboutBtn")),
      HelpBtn(find<win::ToolButton>("HelpBtn")),
      Label1(find<win::Label>("Label1")),
      BDList(find<win::ListBox>("BDList")),
      StatusBar1(find<win::StatusBar>("StatusBar1")),
      ImageList1(find<win::ImageList>("ImageList1")),
      ImageList2(find<win::ImageList>("ImageList2")),
      ImageList3(find<win::ImageList>("ImageList3")),
      Archive1(find<arc::TArchive>("Archive1")) {
  onCreate(&TForm1::FormCreate);
  onCloseQuery(&TForm1::FormCloseQuery);
  onDestroy(&TForm1::FormDestroy);
  on("CloseBtn", win::Click, &TForm1::CloseBtnClick);
  on("NewBtn", win::Click, &TForm1::NewBtnClick);
  on("SaveBtn", win::Click, &TForm1::SaveBtnClick);
  on("DelBtn", win::Click, &TForm1::DelBtnClick);
  on("BuckupBtn", win::Click, &TForm1::BuckupBtnClick);
  on("EnvBtn", win::Click, &TForm1::EnvBtnClick);
  on("AboutBtn", win::Click, &TForm1::AboutBtnClick);
  on("HelpBtn", win::Click, &TForm1::HelpBtnClick);
  on("BDList", win::Click, &TForm1::BDListClick);
  on("BDList", win::DblClick, &TForm1::EnvBtnClick);
  on("BDList", win::DragOver, &TForm1::BDListDragOver);
  on("BDList", win::DragDrop, &TForm1::BDListDragDrop);
}

TForm1::~TForm1() {
  // Destroy the window while this object is whole, so that FormDestroy runs.
  destroyForm();
}

TBuckup* TForm1::record(int index) const { return static_cast<TBuckup*>(BDList.itemData(index)); }

std::string TForm1::definitionsPath() const { return path::changeExt(win::exePath(), ".dat"); }

// ------------------------------------------------------------ the definitions file

void TForm1::LoadDefinitions() {
  const std::string file = definitionsPath();
  if (!win::fileExists(file)) return;
  deffile::ReadResult result;
  bool failed = false, utf8 = false;
  try {
    const std::vector<std::string> lines = win::loadLines(file);
    // Saved by an editor as UTF-8, names would read as garbage and a save would
    // change them: it is read as it is, but said, and the original kept.
    utf8 = deffile::looksLikeUtf8(lines);
    deffile::read(
        lines,
        [this](std::string name, TBuckup rec) {
          auto owned = std::make_unique<TBuckup>(std::move(rec));
          BDList.addItem(name, owned.get());
          owned.release();  // the list entry owns it now
        },
        &result);
  } catch (const Error&) {
    // A Flags line that is no number, or a file that cannot be read: its message.
    win::app().handleException();
    failed = true;
  }
  // The next save writes only what was read: keep the file whole, and say where
  // reading stopped.
  keepOriginal_ = failed || utf8 || !result.whole();
  if (utf8)
    win::messageBox(formatText(msg::kDefinitionsNotShiftJis, {file, file}), PV_PRODUCT_NAME, MB_OK | MB_ICONWARNING);
  if (result.whole()) return;
  win::messageBox(formatText(msg::kDefinitionsDamaged, {file, intToStr(static_cast<std::int64_t>(result.stoppedAt) + 1),
                                                        intToStr(static_cast<std::int64_t>(result.definitions)), file}),
                  PV_PRODUCT_NAME, MB_OK | MB_ICONWARNING);
}

void TForm1::SaveDefinitions() {
  win::ScreenCursorGuard cursor;
  win::StatusTextGuard status(StatusBar1, "保存中...");
  std::vector<std::string> lines;
  for (int i = 0, n = BDList.count(); i < n; ++i) deffile::appendLines(lines, BDList.item(i), *record(i));
  const std::string file = definitionsPath();
  if (keepOriginal_ && win::fileExists(file)) {
    const std::string bak = file + ".bak";
    if (!::CopyFileA(file.c_str(), bak.c_str(), FALSE)) throw Error(formatText(win::kCannotCreate, bak));
  }
  // Written beside the old file and put in its place only when complete, so a
  // failed save leaves the last saved definitions as they were.
  win::replaceFileContent(file, joinLines(lines));
  keepOriginal_ = false;
  Modified = false;
}

// ------------------------------------------------------------ creation and closing

namespace {

// A stored rectangle that no monitor shows, or that has no size, would leave the
// window invisible: it goes onto the nearest monitor's work area, keeping its size
// where that fits. It is never smaller than what shows the whole toolbar. One that a
// monitor shows only in part keeps its size but is moved the least that brings its
// whole title bar (titleHeight high) into that monitor's work area, so that it can
// be reached and moved.
RECT onScreen(RECT r, SIZE fallback, SIZE minimum, LONG titleHeight) {
  if (r.right - r.left <= 0) r.right = r.left + fallback.cx;
  if (r.bottom - r.top <= 0) r.bottom = r.top + fallback.cy;
  r.right = r.left + std::max(r.right - r.left, minimum.cx);
  r.bottom = r.top + std::max(r.bottom - r.top, minimum.cy);
  const bool shown = ::MonitorFromRect(&r, MONITOR_DEFAULTTONULL) != nullptr;
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (!::GetMonitorInfoA(::MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &mi)) return r;
  const RECT& wa = mi.rcWork;
  if (shown) {
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    const LONG x = std::max(wa.left, std::min(r.left, wa.right - w));
    const LONG y = std::max(wa.top, std::min(r.top, wa.bottom - titleHeight));
    return RECT{x, y, x + w, y + h};
  }
  const LONG w = std::max(std::min(r.right - r.left, wa.right - wa.left), minimum.cx);
  const LONG h = std::max(std::min(r.bottom - r.top, wa.bottom - wa.top), minimum.cy);
  const LONG x = std::max(wa.left, std::min(r.left, wa.right - w));
  const LONG y = std::max(wa.top, std::min(r.top, wa.bottom - h));
  return RECT{x, y, x + w, y + h};
}

}  // namespace

void TForm1::restorePlacement() {
  win::RegKey key = win::RegKey::create(HKEY_CURRENT_USER, kRegKey);
  if (maximized()) return;
  win::RegKey sub = key.openSub(kRegSubKey);
  auto value = [&](const char* name, int fallback) {
    auto text = sub.readString(name);
    auto v = text ? parseInt(*text) : std::nullopt;
    return v ? *v : fallback;
  };
  const int top = value("Top", 0), left = value("Left", 0);
  const int height = value("Height", kDesignHeight), width = value("Width", kDesignWidth);
  RECT r = onScreen(RECT{left, top, left + width, top + height}, SIZE{kDesignWidth, kDesignHeight}, minimumSize(),
                    titleBarHeight());
  setBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

SIZE TForm1::minimumSize() const {
  if (!hasHandle() || !ToolBar1.hasHandle()) return SIZE{0, 0};
  RECT client = clientRect();
  const int frameW = width() - (client.right - client.left), frameH = height() - (client.bottom - client.top);
  const int line = static_cast<int>(BDList.perform(LB_GETITEMHEIGHT, 0, 0));
  const int listBorder = BDList.height() - (BDList.clientRect().bottom - BDList.clientRect().top);
  return SIZE{frameW + ToolBar1.fullWidth(),
              frameH + ToolBar1.height() + Label1.height() + StatusBar1.height() + line + listBorder};
}

LONG TForm1::titleBarHeight() const {
  // The frame above the client area: border and caption, as this window draws them.
  if (hasHandle()) {
    POINT client{0, 0};
    RECT outer;
    if (::ClientToScreen(handle(), &client) && ::GetWindowRect(handle(), &outer) && client.y > outer.top)
      return client.y - outer.top;
  }
  return ::GetSystemMetrics(SM_CYCAPTION) + ::GetSystemMetrics(SM_CYSIZEFRAME);
}

void TForm1::storePlacement() {
  win::RegKey key = win::RegKey::create(HKEY_CURRENT_USER, kRegKey);
  // A maximised window writes nothing: the placement of the last normal close stays.
  if (maximized()) return;
  win::RegKey sub = key.createSub(kRegSubKey);
  RECT r = normalBounds();  // a minimised window stores where it will come back
  sub.writeString("Top", intToStr(r.top));
  sub.writeString("Left", intToStr(r.left));
  sub.writeString("Height", intToStr(r.bottom - r.top));
  sub.writeString("Width", intToStr(r.right - r.left));
}

void TForm1::FormCreate() {
  Modified = false;
  restorePlacement();
  TempDir = win::tempPath();
  // A conversion error in the file is shown; the window still comes up complete.
  try {
    LoadDefinitions();
  } catch (...) {
    win::app().handleException();
  }
  SysMenu = systemMenu();
  win::app().setHelpFile(path::changeExt(win::exePath(), ".hlp"));
  win::app().setOnHint([this] { ShowAppHint(); });

  OSVERSIONINFOA vi{};
  vi.dwOSVersionInfoSize = sizeof vi;
  if (::GetVersionExA(&vi) && vi.dwPlatformId == VER_PLATFORM_WIN32_NT && vi.dwMajorVersion >= 5 &&
      vi.dwMinorVersion >= 1) {
    ToolBar1.setImages(&ImageList2);
    ToolBar1.setDisabledImages(&ImageList3);
  }
}

bool TForm1::FormCloseQuery() {
  storePlacement();
  if (Modified) {
    // Owned by this window, so that it takes no clicks while the question is open.
    int answer = win::messageBox(msg::kSaveChanges, PV_PRODUCT_NAME, MB_YESNO | MB_ICONEXCLAMATION, handle());
    if (answer == IDYES) {
      try {
        SaveDefinitions();
      } catch (...) {
        // The changes would be lost: the window stays open.
        win::app().handleException();
        return false;
      }
    }
  }
  return true;
}

void TForm1::FormDestroy() {
  for (int i = 0, n = BDList.count(); i < n; ++i) {
    delete record(i);
    BDList.setItemData(i, nullptr);
  }
  win::app().helpCommand(HELP_QUIT, 0);
}

// ------------------------------------------------------------ hints

void TForm1::ShowAppHint() { StatusBar1.setSimpleText(win::app().hint()); }

LRESULT TForm1::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_MENUSELECT:
      if (SysMenu && reinterpret_cast<HMENU>(l) == SysMenu) {
        const char* text = nullptr;
        switch (LOWORD(w)) {
          case SC_SIZE: text = "このウインドウのサイズを変更します。"; break;
          case SC_MOVE: text = "このウインドウを画面の別の位置に移動します。"; break;
          case SC_MINIMIZE: text = "このウインドウを最小化します。"; break;
          case SC_MAXIMIZE: text = "このウインドウを画面いっぱいに拡大します。"; break;
          case SC_CLOSE: text = "このウインドウを閉じます。"; break;
          case SC_RESTORE: text = "このウインドウを通常の大きさに戻します。"; break;
        }
        if (text) StatusBar1.setSimpleText(text);
      }
      break;
    case WM_GETMINMAXINFO: {
      SIZE m = minimumSize();
      auto* info = reinterpret_cast<MINMAXINFO*>(l);
      info->ptMinTrackSize.x = std::max(info->ptMinTrackSize.x, m.cx);
      info->ptMinTrackSize.y = std::max(info->ptMinTrackSize.y, m.cy);
      return 0;
    }
    // Logging off asks about unsaved changes as closing does; a failed save keeps
    // the session. The placement is stored when the session really ends, since
    // the window is not destroyed then.
    case WM_QUERYENDSESSION:
      return FormCloseQuery() ? TRUE : FALSE;
    case WM_ENDSESSION:
      if (w) storePlacement();
      return 0;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(w) == BDList.handle()) {
        BDListContextPopup(l);
        return 0;
      }
      break;
    case WM_EXITMENULOOP: {
      LRESULT r = Form::handleMessage(msg, w, l);
      StatusBar1.setSimpleText("");
      return r;
    }
  }
  return Form::handleMessage(msg, w, l);
}

// ------------------------------------------------------------ the list

void TForm1::BDListClick(win::Control&) {
  const bool selected = BDList.itemIndex() >= 0;
  BuckupBtn.setEnabled(selected);
  DelBtn.setEnabled(selected);
  EnvBtn.setEnabled(selected);
}

bool TForm1::BDListDragOver(win::Control&, win::Control& source, POINT) { return &source == &BDList; }

void TForm1::BDListDragDrop(win::Control&, win::Control&, POINT pt) {
  const int from = BDList.itemIndex();
  const int to = BDList.itemAtPos(pt, false);
  if (from < 0 || to < 0 || from == to) return;
  const std::string name = BDList.item(from);
  void* rec = BDList.itemData(from);
  BDList.deleteItem(from);
  BDList.insertItem(to, name, rec);
  // The moved entry stays the selected one, which the buttons act on.
  BDList.setItemIndex(to);
  BDListClick(BDList);
  Modified = true;
}

void TForm1::NewBtnClick(win::Control&) {
  std::string name;
  if (!win::inputQuery(PV_PRODUCT_NAME, "バックアップ名の入力", name)) return;
  if (name.empty() || BDList.findExact(name) >= 0) {
    win::messageBox(msg::kDuplicateName, "エラー", MB_OK | MB_ICONERROR, handle());
    return;
  }
  auto rec = std::make_unique<TBuckup>();
  BDList.addItem(name, rec.get());
  rec.release();  // owned by the new entry
  // Unsaved like any other change: Save writes it and closing asks.
  Modified = true;
}

void TForm1::DelBtnClick(win::Control&) {
  const int i = BDList.itemIndex();
  if (i < 0) return;
  delete record(i);
  BDList.deleteItem(i);
  Modified = true;
}

void TForm1::SaveBtnClick(win::Control&) {
  if (Modified) SaveDefinitions();
}

void TForm1::CloseBtnClick(win::Control&) { close(); }

void TForm1::HelpBtnClick(win::Control&) { win::app().helpCommand(HELP_FINDER, 0); }

}  // namespace pv
