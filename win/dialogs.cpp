#include "win/dialogs.h"

#include <commdlg.h>

#include "core/sjis.h"
#include "win/app.h"
#include "win/controls.h"
#include "win/form.h"

namespace pv::win {

int messageBox(const std::string& text, const std::string& caption, UINT flags, HWND owner) {
  return ::MessageBoxA(owner ? owner : app().activeOwner(), text.c_str(), caption.c_str(), flags);
}

namespace {

const FormDesc kInputForm = {"InputQueryForm", "", 0, 0, 300, 104,
                             formopt::Dialog | formopt::ClientSize | formopt::ScreenCentre,
                             {"ＭＳ Ｐゴシック", 12}};
const ControlDesc kInputControls[] = {
    {Kind::Label, "Prompt", nullptr, 10, 10, 280, 16, ""},
    {Kind::Edit, "Edit", nullptr, 10, 30, 280, 22, ""},
    {Kind::Button, "OKButton", nullptr, 68, 66, 75, 25, "OK", opt::Default},
    {Kind::Button, "CancelButton", nullptr, 157, 66, 75, 25, "キャンセル", opt::Cancel},
};

class InputQueryForm : public Form {
 public:
  InputQueryForm() : Form(kInputForm, kInputControls) {}
};

}  // namespace

bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  auto form = createForm<InputQueryForm>();
  form->setCaption(caption);
  form->find<Label>("Prompt").setCaption(prompt);
  Edit& edit = form->find<Edit>("Edit");
  edit.setText(value);
  ::SendMessageA(edit.handle(), EM_SETSEL, 0, -1);
  if (form->showModal() != mrOk) return false;
  value = edit.text();
  return true;
}

bool OpenDialog::execute() {
  std::string filterZ;
  // 0x7C is also a trailing byte (ポ is 83 7C): split by whole characters.
  for (std::size_t i = 0; i < filter.size();) {
    std::size_t n = sjis::charLen(filter, i);
    if (n == 1 && filter[i] == '|') filterZ += '\0';
    else filterZ.append(filter, i, n);
    i += n;
  }
  filterZ += std::string(2, '\0');
  std::string buffer = fileName;
  buffer.resize(std::max<std::size_t>(buffer.size(), MAX_PATH) + 1, '\0');
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  Form* f = owner();
  ofn.hwndOwner = f && f->hasHandle() ? f->handle() : app().activeOwner();
  ofn.lpstrFilter = filter.empty() ? nullptr : filterZ.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
  ofn.Flags = options | OFN_EXPLORER | OFN_ENABLESIZING;
  if (!::GetOpenFileNameA(&ofn)) return false;
  fileName = buffer.c_str();
  return true;
}

void OpenDialog::setProperty(std::string_view name, std::string_view value) {
  if (name == "DefaultExt") defaultExt = std::string(value);
  else if (name == "Filter") filter = std::string(value);
  else if (name == "InitialDir") initialDir = std::string(value);
  else if (name == "FileName") fileName = std::string(value);
  else if (name == "Title") title = std::string(value);
  else Component::setProperty(name, value);
}

}  // namespace pv::win
