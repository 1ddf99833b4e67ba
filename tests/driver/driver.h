// Driver for end-to-end tests: runs inside Wine as its own process, starts our
// programs and works their windows from outside, the way a user would.
//
// All strings are ANSI (code page 932 under the harness), like the programs under
// test: a Japanese literal in a test compares byte for byte with what a control shows.
// Functions do not throw; finders answer nullptr / -1 / empty, actions answer false,
// and lastError() says what went wrong (use it in assertion messages).
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pv::test {

// ---------------------------------------------------------------- waiting
// Wine is slow to start programs and open windows: waits default to 15 s.
constexpr DWORD kTimeout = 15000;
constexpr DWORD kShortTimeout = 3000;
constexpr DWORD kPollMs = 30;

// Polls pred until it answers true or timeoutMs passes; answers the last result.
bool waitUntil(const std::function<bool()>& pred, DWORD timeoutMs = kTimeout, DWORD pollMs = kPollMs);
void sleepMs(DWORD ms);
// Waits until the thread owning hwnd has handled what the driver delivered to it
// (clicks, BM_CLICK) or has entered a modal loop, e.g. a message box; gives posted
// keys a moment. False when it hangs; a window destroyed meanwhile counts as settled.
bool settle(HWND hwnd, DWORD timeoutMs = kTimeout);

// Description of the most recent failure on this thread.
const std::string& lastError();

// ---------------------------------------------------------------- paths and files
std::string binDir();                                       // folder of the running exe, no trailing '\'
std::string joinPath(const std::string& dir, const std::string& name);
std::string tempRoot();                                     // %TEMP%, no trailing '\'

// A fresh folder under %TEMP%; removed with everything in it at scope end unless keep().
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "pv");
  ~TempDir();
  TempDir(TempDir&& o) noexcept;
  TempDir& operator=(TempDir&& o) noexcept;
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }       // no trailing '\'
  std::string file(const std::string& name) const { return joinPath(path_, name); }
  void keep() { keep_ = true; }

 private:
  std::string path_;
  bool keep_ = false;
};
TempDir makeTempDir(const std::string& prefix = "pv");

bool fileExists(const std::string& path);                   // a file, not a folder
bool dirExists(const std::string& path);
std::optional<std::string> readFile(const std::string& path);    // whole file, raw bytes
bool writeFile(const std::string& path, const std::string& bytes);
bool copyFile(const std::string& from, const std::string& to);   // overwrites
bool deleteFile(const std::string& path);
bool makeDirs(const std::string& path);                     // with missing parents
bool removeTree(const std::string& path);                   // folder and contents
std::vector<std::string> listDir(const std::string& dir);   // names, sorted, without . and ..

// ---------------------------------------------------------------- processes
// A started program. Kills it at scope end if it is still running (unless detach()).
class Process {
 public:
  Process() = default;
  ~Process();
  Process(Process&& o) noexcept;
  Process& operator=(Process&& o) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool valid() const { return handle_ != nullptr; }
  explicit operator bool() const { return valid(); }
  DWORD pid() const { return pid_; }
  HANDLE handle() const { return handle_; }

  bool running() const;
  // True once the program has ended (within timeoutMs).
  bool waitExit(DWORD timeoutMs = kTimeout);
  // Exit code, or STILL_ACTIVE (259) while running / nullopt when never started.
  std::optional<DWORD> exitCode() const;
  void kill(UINT code = 1);                                 // TerminateProcess + wait
  void detach();                                            // leave it running at scope end

  // Visible top-level window of this process (any class/title when empty).
  HWND waitWindow(const std::string& className = "", const std::string& title = "",
                  DWORD timeoutMs = kTimeout) const;

 private:
  friend Process startProcess(const std::string&, const std::vector<std::string>&, const std::string&);
  friend Process startProcessLine(const std::string&, const std::string&, const std::string&);
  HANDLE handle_ = nullptr;
  DWORD pid_ = 0;
};

// exe without a folder is taken from binDir(). Arguments are quoted as needed;
// workDir empty = the exe's folder. Invalid Process on failure. Parks the cursor first.
Process startProcess(const std::string& exe, const std::vector<std::string>& args = {},
                     const std::string& workDir = "");
// The same with the argument text taken as it is (after the quoted exe and a blank
// that argLine brings itself), for programs that split their command line themselves.
Process startProcessLine(const std::string& exe, const std::string& argLine, const std::string& workDir = "");
// Starts, waits and answers the exit code; nullopt on failure or timeout (then killed).
std::optional<DWORD> runProcess(const std::string& exe, const std::vector<std::string>& args = {},
                                const std::string& workDir = "", DWORD timeoutMs = kTimeout);

// ---------------------------------------------------------------- windows
// Text comparisons in finders: exact, or equal once '&' mnemonics are removed
// ("はい(&Y)" matches "はい(Y)"; "&Save" matches "Save").
bool textMatches(const std::string& actual, const std::string& wanted);

struct WindowMatch {
  std::string className;     // empty = any
  std::string title;         // empty = any
  DWORD pid = 0;             // 0 = any process
  bool visibleOnly = true;
};
std::vector<HWND> topWindows(const WindowMatch& m = {});
HWND findWindow(const WindowMatch& m);
HWND waitWindow(const WindowMatch& m, DWORD timeoutMs = kTimeout);
HWND waitWindow(const std::string& className, const std::string& title = "", DWORD pid = 0,
                DWORD timeoutMs = kTimeout);
bool waitWindowGone(HWND hwnd, DWORD timeoutMs = kTimeout);     // destroyed or hidden

// Child controls, searched through all descendants in creation (Z) order.
std::vector<HWND> children(HWND parent, const std::string& className = "");
HWND findChild(HWND parent, const std::string& className, const std::string& text = "");
HWND findChildByIndex(HWND parent, const std::string& className, int index);   // 0-based
HWND findChildById(HWND parent, int id);
HWND waitChild(HWND parent, const std::string& className, const std::string& text = "",
               DWORD timeoutMs = kTimeout);

std::string windowText(HWND hwnd);        // WM_GETTEXT, correct across processes
// The ANSI text of another process's rich edit box (EM_GETTEXTRANGE, which Wine
// does not carry across processes, with a buffer inside that process).
std::string richEditText(HWND hwnd, size_t maxBytes = 65536);
std::string windowClass(HWND hwnd);
int controlId(HWND hwnd);
DWORD windowPid(HWND hwnd);
HWND parentWindow(HWND hwnd);             // GetAncestor(GA_PARENT); nullptr for top-level
HWND ownerWindow(HWND hwnd);
RECT windowRect(HWND hwnd);               // screen coordinates
RECT clientRect(HWND hwnd);               // client coordinates (left = top = 0)
POINT clientToScreen(HWND hwnd, POINT client);
bool isWindow(HWND hwnd);
bool isVisible(HWND hwnd);
bool isEnabled(HWND hwnd);
bool isMaximized(HWND hwnd);
bool isMinimized(HWND hwnd);
LONG windowStyle(HWND hwnd);
bool setWindowText(HWND hwnd, const std::string& text);   // WM_SETTEXT, sent
bool closeWindow(HWND hwnd);                               // WM_CLOSE, posted
bool sysCommand(HWND hwnd, WPARAM sc);                     // WM_SYSCOMMAND (SC_MAXIMIZE, ...), posted
bool postCommand(HWND hwnd, int id, int notify = 0, HWND ctl = nullptr);  // WM_COMMAND, posted
// Sends WM_MENUSELECT itself. Handlers that compare the menu handle with their own
// (GetSystemMenu) will not match: a foreign process cannot get that handle. For
// system-menu hints use openSystemMenu + menuKey, which run the real menu.
bool menuSelect(HWND hwnd, UINT item, UINT flags, HMENU menu = nullptr);
// Opens the window's system menu as Alt+Space does and waits for the popup (#32768).
// While it is open, menuKey(top, VK_DOWN / VK_UP / VK_RETURN) moves through it as the
// keyboard would, and every move sends the program a real WM_MENUSELECT.
bool openSystemMenu(HWND top);
bool menuKey(HWND top, UINT vk);
HWND findPopupMenu(DWORD pid = 0);                         // visible #32768, or nullptr
// Escape until no popup menu of the window's process is left (WM_EXITMENULOOP follows).
bool closeMenus(HWND top);
bool activate(HWND hwnd);                                  // bring to front and focus
// One line per window: class, text, id, visibility, rect; for failure messages.
std::string dumpWindows(DWORD pid = 0);
std::string dumpTree(HWND top);

// ---------------------------------------------------------------- mouse and keyboard
// Mouse messages straight to hwnd at a client point (SendNotifyMessage, then settle),
// so they reach it even when something covers that spot. Clicks move the real cursor
// there first, since hover-tracking controls cancel a press when the mouse seems to
// have left them.
bool postClick(HWND hwnd, POINT client);
bool postDoubleClick(HWND hwnd, POINT client);
bool postRightClick(HWND hwnd, POINT client);
bool postMouseMove(HWND hwnd, POINT client, WPARAM keys = 0);
// Real input: moves the desktop cursor and injects button events; the window under the
// cursor gets them as a user's would (capture, GetCursorPos, hover tracking all work).
bool moveCursor(POINT screen);
bool realClick(POINT screen);
bool realDoubleClick(POINT screen);
bool realDrag(POINT fromScreen, POINT toScreen, int steps = 8);
POINT cursorPos();
// Moves the cursor to the bottom-right corner, away from any window (startProcess
// does this, so a new window never starts under a stale hover).
void parkCursor();

// Keys posted to hwnd: WM_KEYDOWN + WM_KEYUP (the target's TranslateMessage /
// IsDialogMessage turn them into WM_CHAR or default-button presses).
bool pressKey(HWND hwnd, UINT vk);
bool pressEnter(HWND hwnd);
bool pressEscape(HWND hwnd);
// WM_CHAR per character. Double-byte characters into an ANSI window go in as
// EM_REPLACESEL (edit boxes), since Wine's ANSI edit takes WM_CHAR byte by byte.
bool typeText(HWND hwnd, const std::string& text);

// ---------------------------------------------------------------- buttons and edits
bool click(HWND button);                                   // BM_CLICK (not waited for), then settle
// BST_CHECKED / BST_UNCHECKED / BST_INDETERMINATE; -1 when hwnd is not a window.
int checkState(HWND button);
bool isChecked(HWND button);
bool setChecked(HWND button, bool checked);                // clicks until the state matches
bool setText(HWND edit, const std::string& text);          // WM_SETTEXT (EN_CHANGE follows)
std::string getText(HWND control);                         // = windowText

// ---------------------------------------------------------------- toolbars
struct ToolButton {
  int index = -1;
  int command = 0;
  BYTE state = 0;           // TBSTATE_*
  BYTE style = 0;           // BTNS_*
  std::string text;
  RECT rect{};              // client coordinates of the toolbar
  bool enabled() const { return (state & TBSTATE_ENABLED) != 0; }
  bool checked() const { return (state & TBSTATE_CHECKED) != 0; }
  bool pressed() const { return (state & TBSTATE_PRESSED) != 0; }
  bool hidden() const { return (state & TBSTATE_HIDDEN) != 0; }
  bool separator() const { return (style & BTNS_SEP) != 0; }
};
HWND findToolbar(HWND top, int index = 0);
int toolbarButtonCount(HWND toolbar);                       // separators included; -1 on error
std::optional<ToolButton> toolbarButton(HWND toolbar, int index);
std::vector<ToolButton> toolbarButtons(HWND toolbar);
int toolbarFind(HWND toolbar, const std::string& text);     // index or -1
int toolbarFindCommand(HWND toolbar, int command);          // index or -1
// Presses with a left click at the button's centre (postClick), then settles.
bool pressToolbarButton(HWND toolbar, int index);
bool pressToolbarButton(HWND toolbar, const std::string& text);
// Moves the real cursor onto the button (and posts WM_MOUSEMOVE) so hints appear.
bool hoverToolbarButton(HWND toolbar, int index);
bool hoverToolbarButton(HWND toolbar, const std::string& text);

// ---------------------------------------------------------------- list boxes
int listCount(HWND list);                                   // -1 on error
std::string listItem(HWND list, int index);
std::vector<std::string> listItems(HWND list);
int listFind(HWND list, const std::string& text);           // exact; -1 when absent
int listSelected(HWND list);                                // LB_GETCURSEL, -1 for none
std::vector<int> listSelection(HWND list);                  // multi-select list boxes
int listTopIndex(HWND list);
RECT listItemRect(HWND list, int index);                    // client coordinates
// Scrolls the item into view, then a left click / double click in its rectangle.
bool clickListItem(HWND list, int index);
bool doubleClickListItem(HWND list, int index);
// Sets the selection without a click (LB_SETCURSEL); the program gets no notification.
bool setListSelection(HWND list, int index);

// Drag with the real mouse: press on item `from`, move in steps, release.
// to = another item's index: dropped in the middle of that item.
bool dragListItem(HWND list, int from, int to);
// Dropped at a client point of the list (e.g. below the last item).
bool dragListItemToPoint(HWND list, int from, POINT client);

// ---------------------------------------------------------------- combo boxes
int comboCount(HWND combo);
std::string comboItem(HWND combo, int index);
int comboSelected(HWND combo);
bool selectComboItem(HWND combo, int index);                // CB_SETCURSEL + CBN_SELCHANGE to the parent

// ---------------------------------------------------------------- status bars
HWND findStatusBar(HWND top);
int statusPartCount(HWND status);                           // -1 on error
bool statusIsSimple(HWND status);
// Text of a part; in simple mode part 0 is the simple text.
std::string statusText(HWND status, int part = 0);
bool waitStatusText(HWND status, const std::string& text, DWORD timeoutMs = kTimeout, int part = 0);

// ---------------------------------------------------------------- tab controls
int tabCount(HWND tab);                                     // -1 on error
int tabCurrent(HWND tab);                                   // -1 for none
std::string tabText(HWND tab, int index);
int tabFind(HWND tab, const std::string& text);
RECT tabItemRect(HWND tab, int index);                      // client coordinates
// Clicks the tab so the program's page-change handlers run; falls back to
// TCM_SETCURFOCUS when the click does not change the page.
bool selectTab(HWND tab, int index);
bool selectTab(HWND tab, const std::string& text);

// ---------------------------------------------------------------- message boxes and dialogs
struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::string title;
  std::string text;                      // first non-empty Static child
  std::vector<std::string> buttons;      // Button children, in order
};
// Visible #32770 window (title "" = any; pid 0 = any process).
HWND waitMessageBox(const std::string& title = "", DWORD pid = 0, DWORD timeoutMs = kTimeout);
HWND findMessageBox(const std::string& title = "", DWORD pid = 0);
std::string messageBoxText(HWND box);
std::vector<std::string> messageBoxButtons(HWND box);
MessageBoxInfo readMessageBox(HWND box);
// Answers by button text (textMatches, or a prefix before "(": "はい" matches "はい(&Y)")
// or by id (IDOK, IDYES, ...). Waits until the box has gone.
bool answerMessageBox(HWND box, const std::string& buttonText);
bool answerMessageBox(HWND box, int buttonId);
HWND waitDialog(const std::string& title, DWORD pid = 0, DWORD timeoutMs = kTimeout);

// ---------------------------------------------------------------- screenshots
// Saves the whole virtual screen (or one window's screen rectangle) as .png or .bmp,
// chosen by the extension.
bool saveScreenshot(const std::string& path);
bool saveWindowShot(HWND hwnd, const std::string& path);
// Colour (0x00BBGGRR) of a screen pixel, for checks like "something was drawn here".
COLORREF screenPixel(POINT screen);

// ---------------------------------------------------------------- context menus
// Real key presses: the keys go down in order and up in reverse (realKeys({VK_SHIFT,
// VK_F10}) is Shift+F10), to whichever window has the focus.
bool realKeys(const std::vector<UINT>& vks);
bool realRightClick(POINT screen);
// Clicks item index of an open popup menu (#32768) of count text items with the real
// mouse. (Under Wine another process cannot read a menu's items.)
bool clickPopupMenuItem(HWND popup, int index, int count);

// ---------------------------------------------------------------- registry
// key is a path below root ("Software\\Sorvane\\pelbo").
std::optional<std::string> regReadString(HKEY root, const std::string& key, const std::string& name);
std::optional<DWORD> regReadDword(HKEY root, const std::string& key, const std::string& name);
std::optional<std::string> regReadBinary(HKEY root, const std::string& key, const std::string& name);
bool regWriteString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
bool regWriteDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
bool regWriteBinary(HKEY root, const std::string& key, const std::string& name, const std::string& bytes);
bool regDeleteValue(HKEY root, const std::string& key, const std::string& name);
bool regDeleteKey(HKEY root, const std::string& key);       // with all subkeys
bool regKeyExists(HKEY root, const std::string& key);
std::vector<std::string> regValueNames(HKEY root, const std::string& key);

}  // namespace pv::test
