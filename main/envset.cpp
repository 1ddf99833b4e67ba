#include "main/envset.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "core/envedit.h"
#include "core/error.h"
#include "core/messages.h"
#include "core/sjis.h"
#include "core/path.h"
#include "widgets/SBDlg.h"
#include "widgets/chkboxXP.h"
#include "widgets/tabXP.h"
#include "win/app.h"
#include "win/controls.h"
#include "win/dialogs.h"

namespace pv {

using namespace win;

namespace {

constexpr FormDesc kForm = {"EnvDlg", "バックアップ設定", 0, 0, 313, 206,
                            formopt::Dialog | formopt::HelpButton | formopt::ClientSize,
                            {"MS UI Gothic", 12}};

// Sheets sit in the page control's display area; their rows' bounds are not used.
// Within a sheet: captions in one column at x 8, fields from x 84.
const ControlDesc kControls[] = {
    // kind, name, parent, left, top, width, height, caption, flags, hint, image, help context
    {Kind::PageControl, "PageControl1", nullptr, 4, 4, 305, 166},
    {Kind::TabSheet, "TabSheet1", "PageControl1", 0, 0, 0, 0, "名前", 0, nullptr, -1, 0, {}, create<TXPTabSheet>},
    {Kind::TabSheet, "TabSheet2", "PageControl1", 0, 0, 0, 0, "リスト", 0, nullptr, -1, 0, {}, create<TXPTabSheet>},
    {Kind::TabSheet, "TabSheet3", "PageControl1", 0, 0, 0, 0, "除外", 0, nullptr, -1, 0, {}, create<TXPTabSheet>},
    {Kind::TabSheet, "TabSheet4", "PageControl1", 0, 0, 0, 0, "削除", 0, nullptr, -1, 0, {}, create<TXPTabSheet>},

    {Kind::Label, "Label1", "TabSheet1", 8, 13, 72, 13, "作成先"},
    {Kind::Edit, "edDname", "TabSheet1", 84, 10, 205, 20, "", 0, nullptr, -1, 14},
    {Kind::Label, "Label2", "TabSheet1", 8, 39, 72, 13, "ファイル名"},
    {Kind::Edit, "edFname", "TabSheet1", 84, 36, 205, 20, "", 0, nullptr, -1, 15},
    {Kind::Label, "Label3", "TabSheet1", 8, 65, 72, 13, "抽出ファイル"},
    {Kind::Edit, "edVName", "TabSheet1", 84, 62, 205, 20, "", 0, nullptr, -1, 16},
    {Kind::CheckBox, "cbNew", "TabSheet1", 84, 90, 160, 17, "常に新規作成", 0, nullptr, -1, 17, {}, create<TXpCheckBox>},
    {Kind::CheckBox, "cbOpen", "TabSheet1", 84, 112, 160, 17, "圧縮後に開く", 0, nullptr, -1, 18, {}, create<TXpCheckBox>},

    {Kind::Label, "Label4", "TabSheet2", 8, 13, 40, 13, "ベース"},
    {Kind::Edit, "edBDir", "TabSheet2", 52, 10, 237, 20, "", opt::ReadOnly},
    {Kind::ListBox, "lbFList", "TabSheet2", 8, 36, 198, 96, "", 0, nullptr, -1, 19},
    {Kind::Button, "Button1", "TabSheet2", 214, 36, 75, 23, "削除"},

    {Kind::Label, "Label5", "TabSheet3", 8, 8, 160, 13, "除外する拡張子"},
    {Kind::Edit, "Edit1", "TabSheet3", 8, 24, 120, 20, "", 0, nullptr, -1, 20},
    {Kind::Button, "Button2", "TabSheet3", 136, 23, 75, 23, "追加"},
    {Kind::ListBox, "lbCExt", "TabSheet3", 8, 50, 120, 82},
    {Kind::Button, "Button3", "TabSheet3", 136, 50, 75, 23, "削除"},

    {Kind::Label, "Label6", "TabSheet4", 8, 8, 160, 13, "削除する拡張子"},
    {Kind::Edit, "Edit2", "TabSheet4", 8, 24, 120, 20, "", 0, nullptr, -1, 21},
    {Kind::Button, "Button4", "TabSheet4", 136, 23, 75, 23, "追加"},
    {Kind::ListBox, "lbDExt", "TabSheet4", 8, 50, 120, 82},
    {Kind::Button, "Button5", "TabSheet4", 136, 50, 75, 23, "削除"},
    {Kind::Button, "Button6", "TabSheet4", 136, 79, 75, 23, "Delphi"},

    {Kind::Button, "OKBtn", nullptr, 154, 177, 75, 23, "OK", opt::Default},
    {Kind::Button, "CancelBtn", nullptr, 234, 177, 75, 23, "キャンセル", opt::Cancel},

    {Kind::Component, "OpenDialog1", nullptr, 0, 0, 0, 0, "", 0, nullptr, -1, 0, {}, create<OpenDialog>,
     "DefaultExt=exe;Filter=実行ファイル|*.exe"},
    {Kind::Component, "SBDialog1", nullptr, 0, 0, 0, 0, "", 0, nullptr, -1, 0, {}, create<TSBDialog>,
     "Caption=バックアップ先の選択"},
};

// A list entry that is exactly "}" would end its list when the file is read back,
// a line break would split a line: the definitions file cannot hold either.
const std::string kNotStorable = msg::kNotStorable;

// The fields OK checks, in the order of the pages, each with its page and the label
// the user knows it by.
struct CheckedField {
  const char* control;
  int page;
  const char* label;
  bool list;
};
constexpr CheckedField kCheckedFields[] = {
    {"edDname", 0, "作成先", false},       {"edFname", 0, "ファイル名", false},
    {"edVName", 0, "抽出ファイル", false}, {"edBDir", 1, "ベース", false},
    {"lbFList", 1, "リスト", true},        {"lbCExt", 2, "除外する拡張子", true},
    {"lbDExt", 3, "削除する拡張子", true},
};

// The same folder, as Windows compares names (ASCII letters in either case).
bool sameFolder(const std::string& a, const std::string& b) { return sjis::lowerAscii(a) == sjis::lowerAscii(b); }

// The preset of the "Delphi" button, in this order.
const char* const kDelphiExts[] = {".~*", ".dcu", ".obj", ".map", ".exe"};

void addExtension(Edit& edit, ListBox& list) {
  std::string entry = envedit::extensionEntry(edit.text());
  if (!entry.empty()) list.addItem(entry);
  edit.setText("");
}

void removeSelected(ListBox& list) {
  int i = list.itemIndex();
  if (i >= 0) list.deleteItem(i);
}

bool isFolder(const std::string& path) {
  DWORD attrs = ::GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

TEnvDlg::TEnvDlg() : Form(kForm, kControls) {
  on("PageControl1", Change, &TEnvDlg::PageControl1Change);
  on("Button1", Click, &TEnvDlg::Button1Click);
  on("Button2", Click, &TEnvDlg::Button2Click);
  on("Button3", Click, &TEnvDlg::Button3Click);
  on("Button4", Click, &TEnvDlg::Button4Click);
  on("Button5", Click, &TEnvDlg::Button5Click);
  on("Button6", Click, &TEnvDlg::Button6Click);
  on("edDname", DblClick, &TEnvDlg::edDnameDblClick);
  on("edVName", DblClick, &TEnvDlg::edVNameDblClick);
  on("OKBtn", Click, &TEnvDlg::OKBtnClick);
}

void TEnvDlg::loadRecord(const TBuckup& rec) {
  find<Edit>("edDname").setText(rec.DestDir);
  find<Edit>("edFname").setText(rec.ArcName);
  find<Edit>("edVName").setText(rec.VerFile);
  find<TXpCheckBox>("cbNew").setChecked((rec.Flags & 1) != 0);
  find<TXpCheckBox>("cbOpen").setChecked((rec.Flags & 2) != 0);
  find<Edit>("edBDir").setText(rec.BaseDir);
  find<ListBox>("lbFList").setItems(rec.FileList);
  find<ListBox>("lbCExt").setItems(rec.ExclExts);
  find<ListBox>("lbDExt").setItems(rec.DelExts);
}

void TEnvDlg::storeRecord(TBuckup& rec) const {
  rec.DestDir = find<Edit>("edDname").text();
  rec.ArcName = find<Edit>("edFname").text();
  rec.VerFile = find<Edit>("edVName").text();
  rec.Flags = (find<TXpCheckBox>("cbNew").Checked() ? 1 : 0) + (find<TXpCheckBox>("cbOpen").Checked() ? 2 : 0);
  rec.BaseDir = find<Edit>("edBDir").text();
  rec.FileList = find<ListBox>("lbFList").items();
  rec.ExclExts = find<ListBox>("lbCExt").items();
  rec.DelExts = find<ListBox>("lbDExt").items();
}

void TEnvDlg::setAcceptDrops(bool on) {
  acceptDrops_ = on;
  if (hasHandle()) ::DragAcceptFiles(handle(), on ? TRUE : FALSE);
}

void TEnvDlg::PageControl1Change(Control&) {
  setAcceptDrops(&find<PageControl>("PageControl1").page(1) ==
                 find<PageControl>("PageControl1").activePage());
}

void TEnvDlg::Button1Click(Control&) { removeSelected(find<ListBox>("lbFList")); }
void TEnvDlg::Button2Click(Control&) { addExtension(find<Edit>("Edit1"), find<ListBox>("lbCExt")); }
void TEnvDlg::Button3Click(Control&) { removeSelected(find<ListBox>("lbCExt")); }
void TEnvDlg::Button4Click(Control&) { addExtension(find<Edit>("Edit2"), find<ListBox>("lbDExt")); }
void TEnvDlg::Button5Click(Control&) { removeSelected(find<ListBox>("lbDExt")); }

void TEnvDlg::Button6Click(Control&) {
  find<ListBox>("lbDExt").setItems(std::vector<std::string>(std::begin(kDelphiExts), std::end(kDelphiExts)));
}

void TEnvDlg::edDnameDblClick(Control&) {
  auto& dialog = find<TSBDialog>("SBDialog1");
  auto& edDname = find<Edit>("edDname");
  std::string start = edDname.text();
  dialog.setDirectory(start.empty() ? find<Edit>("edBDir").text() : start);
  if (dialog.Execute()) edDname.setText(dialog.Directory());
}

void TEnvDlg::edVNameDblClick(Control&) {
  auto& dialog = find<OpenDialog>("OpenDialog1");
  auto& edVName = find<Edit>("edVName");
  std::string current = edVName.text();
  dialog.initialDir = current.empty() ? find<Edit>("edBDir").text() : envedit::fileDir(current);
  // A path left from an earlier pick would override the initial folder; keep only
  // the current file's name.
  dialog.fileName = path::namePart(current);
  if (dialog.execute()) edVName.setText(dialog.fileName);
}

void TEnvDlg::dropFiles(HDROP drop) {
  // Whatever happens below, the drop data is released and drops are taken again.
  struct Finish {
    TEnvDlg& dlg;
    HDROP drop;
    ~Finish() {
      ::DragFinish(drop);
      dlg.setAcceptDrops(true);
    }
  } finish{*this, drop};
  setAcceptDrops(false);

  const UINT count = ::DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  if (count == 0) return;
  auto& list = find<ListBox>("lbFList");
  list.clear();
  std::string refused, elsewhere, base;
  for (UINT i = 0; i < count; ++i) {
    UINT len = ::DragQueryFileA(drop, i, nullptr, 0);
    std::string item(len + 1, '\0');
    item.resize(::DragQueryFileA(drop, i, item.data(), len + 1));
    if (i == 0) {
      base = path::dirPart(item);
      find<Edit>("edBDir").setText(base);
    }
    // Entries are names relative to the base folder: an item of another folder
    // (dropped from a search window) would name a file that is not there.
    if (!sameFolder(path::dirPart(item), base)) {
      elsewhere += "\n" + item;
      continue;
    }
    std::string entry = envedit::dropEntry(item, isFolder(item));
    if (deffile::storableEntry(entry))
      list.addItem(entry);
    else
      refused += "\n" + entry;
  }
  if (!elsewhere.empty())
    messageBox(formatText(msg::kOtherFolders, base) + elsewhere, "エラー", MB_OK | MB_ICONERROR, handle());
  if (!refused.empty()) messageBox(kNotStorable + refused, "エラー", MB_OK | MB_ICONERROR, handle());
}

void TEnvDlg::OKBtnClick(Control&) {
  TBuckup check;
  storeRecord(check);
  if (deffile::storable(check)) return;
  setModalResult(mrNone);  // the dialog stays open
  // The first field that cannot be stored is named and shown, so that it can be mended.
  for (const CheckedField& f : kCheckedFields) {
    int bad = -1;
    if (f.list) {
      const std::vector<std::string> items = find<ListBox>(f.control).items();
      for (std::size_t i = 0; i < items.size() && bad < 0; ++i)
        if (!deffile::storableEntry(items[i])) bad = static_cast<int>(i);
      if (bad < 0) continue;
    } else if (deffile::storableValue(find<Edit>(f.control).text())) {
      continue;
    }
    auto& pages = find<PageControl>("PageControl1");
    pages.setActivePageIndex(f.page);
    PageControl1Change(pages);  // drops are taken on the list page only
    messageBox(formatText(msg::kFieldNotStorable, f.label), "エラー", MB_OK | MB_ICONERROR, handle());
    if (f.list) find<ListBox>(f.control).setItemIndex(bad);
    find<Control>(f.control).setFocus();
    return;
  }
  messageBox(kNotStorable, "エラー", MB_OK | MB_ICONERROR, handle());
}

LRESULT TEnvDlg::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_DROPFILES) {
    // A drop that arrives while drops are off (queued before a page change) is
    // released unread.
    if (acceptDrops_)
      dropFiles(reinterpret_cast<HDROP>(w));
    else
      ::DragFinish(reinterpret_cast<HDROP>(w));
    return 0;
  }
  return Form::handleMessage(msg, w, l);
}

bool editDefinition(TBuckup& rec) {
  auto dlg = createForm<TEnvDlg>();
  POINT mouse{};
  ::GetCursorPos(&mouse);
  auto place = envedit::placeNearMouse(mouse.x, mouse.y, dlg->width(), dlg->height(),
                                       ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
  dlg->setBounds(place.left, place.top, dlg->width(), dlg->height());
  dlg->loadRecord(rec);
  if (dlg->showModal() != mrOk) return false;
  dlg->storeRecord(rec);
  return true;
}

}  // namespace pv
