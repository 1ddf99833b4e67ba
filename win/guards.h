// Scope guards that put the screen back as it was, also when an exception leaves
// the scope: they unwind before the default error box appears.
#pragma once
#include <string>

#include "win/app.h"

namespace pv::win {

class StatusBar;

// Shows c (the hourglass by default) on all our windows; restores the cursor before.
class ScreenCursorGuard {
 public:
  explicit ScreenCursorGuard(Cursor c = Cursor::Wait);
  ~ScreenCursorGuard();
  ScreenCursorGuard(const ScreenCursorGuard&) = delete;
  ScreenCursorGuard& operator=(const ScreenCursorGuard&) = delete;

 private:
  Cursor previous_;
};

// Puts a simple status text and repaints the status bar at once; clears it again.
class StatusTextGuard {
 public:
  StatusTextGuard(StatusBar& bar, const std::string& text);
  ~StatusTextGuard();
  StatusTextGuard(const StatusTextGuard&) = delete;
  StatusTextGuard& operator=(const StatusTextGuard&) = delete;

 private:
  StatusBar& bar_;
};

}  // namespace pv::win
