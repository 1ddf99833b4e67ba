// Message boxes, the one-line input box and the file-open dialog.
#pragma once
#include <windows.h>

#include <string>

#include "win/window.h"

namespace pv::win {

// MessageBoxA with an owner; owner nullptr = the application's active owner.
int messageBox(const std::string& text, const std::string& caption, UINT flags, HWND owner = nullptr);

// The one-line input box: caption, prompt, an edit box with value, "OK" and
// "キャンセル". True with the edited value on OK; false (value unchanged) otherwise.
bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value);

// Non-visual: the platform's file-open dialog. Properties: DefaultExt, Filter
// ("実行ファイル|*.exe", pairs separated by '|'), InitialDir, FileName, Title.
class OpenDialog : public Component {
 public:
  std::string defaultExt, filter, initialDir, fileName, title;
  DWORD options = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  // Shows the dialog owned by the owner form; true with fileName set on OK.
  bool execute();
  void setProperty(std::string_view name, std::string_view value) override;
};

}  // namespace pv::win
