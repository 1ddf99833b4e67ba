// The main window: the toolbar, the list of backup definitions and the status
// bar. It owns every definition record through the list's items.
#pragma once
#include <windows.h>

#include <string>

#include "core/deffile.h"
#include "win/controls.h"
#include "win/form.h"

namespace pv {

namespace arc {
class TArchive;
}

class TForm1 : public win::Form {
 public:
  TForm1();
  ~TForm1() override;

  // Unsaved changes in the list (set by a confirmed settings dialog and by a move).
  bool Modified = false;
  // The user's temporary folder, ending in a backslash.
  std::string TempDir;
  // The window's system menu, to recognise its items in menu-selection messages.
  HMENU SysMenu = nullptr;

  win::ToolBar& ToolBar1;
  win::ToolButton& CloseBtn;
  win::ToolButton& NewBtn;
  win::ToolButton& SaveBtn;
  win::ToolButton& DelBtn;
  win::ToolButton& BuckupBtn;
  win::ToolButton& EnvBtn;
  win::ToolButton& AboutBtn;
  win::ToolButton& HelpBtn;
  win::Label& Label1;
  win::ListBox& BDList;
  win::StatusBar& StatusBar1;
  win::ImageList& ImageList1;
  win::ImageList& ImageList2;
  win::ImageList& ImageList3;
  arc::TArchive& Archive1;

  // The record of a list entry (owned by the entry).
  TBuckup* record(int index) const;
  // pelbo.dat beside the program.
  std::string definitionsPath() const;

  void LoadDefinitions();
  void SaveDefinitions();

  void FormCreate();
  bool FormCloseQuery();
  void FormDestroy();
  void ShowAppHint();
  void BDListClick(win::Control& sender);
  bool BDListDragOver(win::Control& sender, win::Control& source, POINT pt);
  void BDListDragDrop(win::Control& sender, win::Control& source, POINT pt);
  void NewBtnClick(win::Control& sender);
  void DelBtnClick(win::Control& sender);
  void SaveBtnClick(win::Control& sender);
  void CloseBtnClick(win::Control& sender);
  void HelpBtnClick(win::Control& sender);
  // Each in a file of its own (settings dialog, backup run, about box).
  void EnvBtnClick(win::Control& sender);
  void BuckupBtnClick(win::Control& sender);
  void AboutBtnClick(win::Control& sender);
  // The list's context menu and its two commands (restore.cpp): restore an archive
  // of the selected definition into a folder, or test one. at: WM_CONTEXTMENU's position.
  void BDListContextPopup(LPARAM at);
  void RestoreClick();
  void TestArcClick();

 protected:
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  void restorePlacement();
  void storePlacement();
  // Smallest outer size that shows every toolbar button and a line of the list.
  SIZE minimumSize() const;
  LONG titleBarHeight() const;  // from the top edge to the client area

  // The file held more than was read: it is copied to pelbo.dat.bak before the
  // first save replaces it.
  bool keepOriginal_ = false;
};

}  // namespace pv
