// The installer's background window and main form: covers the work area in teal
// with the product's name, version and notice, and on its first activation runs the
// install or, with "/r", the uninstall. Either ends the program.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "win/controls.h"
#include "win/form.h"

namespace pv::setup {

class TForm1 : public win::Form {
 public:
  TForm1();
  ~TForm1() override;

  win::Image& Image1;
  win::Label& ProgName;
  win::Label& YearLabel;

  void FormCreate();
  void FormActivate();

  // The two runs, each in a file of its own. Install terminates the application on
  // every path; after Uninstall the caller does.
  void Install();
  void Uninstall();

 protected:
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  void RunMode();
  bool activated_ = false;
};

// The arguments of the installer's command line, without the program name.
std::vector<std::string> Params();

// Reads the version to install from the ProductVersion of the pelbo.exe beside the
// installer into SetupMajor, SetupMinor and SetupVersion, and its year into
// ProductYear. False when the file is missing or its version is not digits-dot-digits.
bool ReadSetupVersion();

// The ProductVersion text of a file's version resource (at most 32 bytes), empty
// when there is none.
std::string ReadProductVersion(const std::string& file);

}  // namespace pv::setup
