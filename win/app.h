// The application object: title, hints, help file, message loop, the screen
// cursor and the default error box for everything that escapes a handler.
#pragma once
#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace pv::win {

class Form;

enum class Cursor { Default, Wait, Drag, NoDrop };

class Application {
 public:
  // Registers our window classes, initialises the common controls and creates the
  // hidden application window (class "TApplication"). Call once at start.
  void initialize(HINSTANCE instance);
  HINSTANCE instance() const { return instance_; }
  // The hidden application window: owner of message boxes, carrier of the title.
  HWND handle() const { return hwnd_; }

  const std::string& title() const { return title_; }
  void setTitle(const std::string& t);
  // The program icon (resource 1 of the executable), shared by the forms.
  HICON icon() const { return icon_; }

  // Hints: the long part of the hint of the control under the mouse. The handler
  // runs each time the hint changes.
  const std::string& hint() const { return hint_; }
  void setHint(const std::string& h);
  void setOnHint(std::function<void()> handler) { onHint_ = std::move(handler); }
  static std::string longHint(const std::string& h);   // after '|', or all
  static std::string shortHint(const std::string& h);  // before '|', or all

  // Help: WinHelpA on the main form's window with the help file.
  const std::string& helpFile() const { return helpFile_; }
  void setHelpFile(std::string path) { helpFile_ = std::move(path); }
  bool helpCommand(UINT command, ULONG_PTR data);
  bool helpContext(int context) { return helpCommand(HELP_CONTEXT, static_cast<ULONG_PTR>(context)); }

  Form* mainForm() const { return mainForm_; }
  void setMainForm(Form* f) { mainForm_ = f; }
  // Shows the main form and runs the message loop until WM_QUIT; answers its exit code.
  int run();
  // Handles one message; false when the queue held WM_QUIT (it is posted again).
  bool handleOneMessage(bool wait);
  void processMessages();  // handles what is queued, without waiting
  void terminate() { ::PostQuitMessage(0); }
  // The modal form whose dialog keys (Tab, Enter, Escape) the loop serves.
  void setActiveModal(Form* f) { activeModal_ = f; }
  Form* activeModal() const { return activeModal_; }

  // The default error box: MessageBoxA(active window, text, title, MB_OK | MB_ICONERROR).
  // Call inside a catch block; never throws.
  void handleException() noexcept;
  void showException(const std::exception& e) noexcept;
  // The window that owns boxes now: the active window of ours, else the application window.
  HWND activeOwner() const;

  // The screen cursor: while not Default it shows on all our windows.
  Cursor cursor() const { return cursor_; }
  void setCursor(Cursor c);
  static HCURSOR cursorHandle(Cursor c);

 private:
  void trackHint(const MSG& msg);

  HINSTANCE instance_ = nullptr;
  HWND hwnd_ = nullptr;
  HICON icon_ = nullptr;
  std::string title_;
  std::string hint_;
  std::function<void()> onHint_;
  std::string helpFile_;
  Form* mainForm_ = nullptr;
  Form* activeModal_ = nullptr;
  Cursor cursor_ = Cursor::Default;
};

Application& app();

// The exception barrier for callbacks that are not window procedures (hooks,
// timers, enumeration and shell callbacks): runs f, and on an exception shows the
// default error box and answers fallback.
template <class R, class F>
R guarded(R fallback, F&& f) noexcept {
  try {
    return f();
  } catch (...) {
    app().handleException();
    return fallback;
  }
}

}  // namespace pv::win
