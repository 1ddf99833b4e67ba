// The progress window a command shows: archive, current file, a bar over the bytes
// to do and a cancel button. The caller's thread is inside the command, so pump()
// must be called between pieces of work: it repaints the window and takes the clicks.
// While the window is open its owner is disabled, as under a modal dialog.
// setFile and setBytes only note what to show: the texts and the bar change at most
// every kShowEveryMs (in pump) or at show(), since redrawing them for every small file
// would cost more than compressing it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace pv::unlha {

class ProgressWindow {
 public:
  ProgressWindow() = default;
  ~ProgressWindow() { close(); }
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // Opens the window over owner (may be null). caption e.g. "圧縮中".
  bool open(HWND owner, const std::string& archivePath, const char* caption, bool noActivate);
  void setCaption(const char* caption);
  void setFile(const std::string& text);
  void setBytes(std::uint64_t done, std::uint64_t total);
  // Puts what setFile and setBytes noted into the window now (the last file, 100 %).
  void show();
  // Handles what is waiting for this window and paints the thread's other windows.
  // Their input and posted messages stay queued for the caller's own loop, so nothing
  // of the caller's can run (and start a second command) in the middle of this one.
  void pump();

  static constexpr DWORD kShowEveryMs = 250;
  bool cancelRequested() const { return cancel_; }
  // Enables the owner again, then destroys the window (in this order, so that Windows
  // gives the activation back to the owner and not to another program).
  void close();
  HWND hwnd() const { return hwnd_; }

 private:
  static LRESULT CALLBACK wndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  HWND hwnd_ = nullptr;
  HWND owner_ = nullptr;
  bool ownerDisabled_ = false;
  HWND archiveLabel_ = nullptr, fileLabel_ = nullptr, bar_ = nullptr, amountLabel_ = nullptr, button_ = nullptr;
  HFONT font_ = nullptr;
  std::string archiveName_;
  std::string file_, shownFile_;
  std::uint64_t done_ = 0, total_ = 0;
  int barPos_ = -1;
  std::uint64_t lastDone_ = ~0ull;
  DWORD lastShow_ = 0;
  bool cancel_ = false;
};

}  // namespace pv::unlha
