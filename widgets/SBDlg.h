// TSBDialog: the shell's folder browse dialog as a component of a form. The host
// sets Directory (the folder to start from) and Caption, calls Execute, and on
// true reads the chosen folder back from Directory. Shared by the main program
// and the installer.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "core/sbdlgopt.h"
#include "win/window.h"

namespace pv {

class TSBDialog : public win::Component {
 public:
  TSBDialog();

  const std::string& Directory() const { return directory_; }
  void setDirectory(std::string d) { directory_ = std::move(d); }
  const std::string& Caption() const { return caption_; }
  void setCaption(std::string c) { caption_ = std::move(c); }
  TSBDlgOptions Options() const { return options_; }
  void setOptions(TSBDlgOptions o) { options_ = o; }

  // "Directory", "Caption" and "Options" (a member list such as
  // "[biReturnOnlyFSDirs, biNewStyle]") from the form's description.
  void setProperty(std::string_view name, std::string_view value) override;

  // Shows the dialog modally over the owning form. True: a folder was confirmed
  // and Directory holds it. False: cancelled, Directory unchanged.
  virtual bool Execute();

 private:
  static int CALLBACK browseCallback(HWND dialog, UINT msg, LPARAM param, LPARAM data);

  std::string directory_;
  std::string caption_;
  TSBDlgOptions options_ = kDefaultSBDlgOptions;
};

}  // namespace pv
