// TEnvDlg: the settings dialog of one backup definition, four pages: name and
// options, the files and folders (dropped from the shell), the extensions left
// out, the extensions deleted. It works on a copy: loadRecord fills it, and only
// a confirmed dialog is written back with storeRecord.
#pragma once
#include <windows.h>

#include "core/deffile.h"
#include "win/form.h"

namespace pv {

class TEnvDlg : public win::Form {
 public:
  TEnvDlg();

  // The record into the controls (the lists as copies) and back. storeRecord
  // replaces every field; Flags becomes 0 to 3.
  void loadRecord(const TBuckup& rec);
  void storeRecord(TBuckup& rec) const;

  // Whether the dialog takes files dropped from the shell right now.
  bool acceptsDrops() const { return acceptDrops_; }

  // Handlers, wired by control name.
  void PageControl1Change(win::Control& sender);
  void Button1Click(win::Control& sender);  // remove from the file list
  void Button2Click(win::Control& sender);  // add an exclusion
  void Button3Click(win::Control& sender);  // remove an exclusion
  void Button4Click(win::Control& sender);  // add a deletion
  void Button5Click(win::Control& sender);  // remove a deletion
  void Button6Click(win::Control& sender);  // the "Delphi" deletion preset
  void edDnameDblClick(win::Control& sender);
  void edVNameDblClick(win::Control& sender);
  // Keeps the dialog open while a field holds what the definitions file cannot.
  void OKBtnClick(win::Control& sender);

 protected:
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  void setAcceptDrops(bool on);
  void dropFiles(HDROP drop);

  bool acceptDrops_ = false;
};

// The whole edit of one definition as the main window runs it: the dialog placed
// near the mouse pointer, filled from rec, shown modally and, on OK, written back
// into rec. True when confirmed.
bool editDefinition(TBuckup& rec);

}  // namespace pv
