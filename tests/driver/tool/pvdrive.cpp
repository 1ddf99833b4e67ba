// pvdrive: the driver library from the command line, for scripts (run.sh) and for
// poking at a running program by hand. Runs under Wine beside the program.
//
//   pvdrive [window options] COMMAND [args]
// window options pick the top-level window to work on (visible only):
//   --class C   --title T   --exe NAME (image name of the owning process)
//   --timeout MS  how long to wait for it and for things in it (default 15000)
// commands:
//   wait                      wait for the window, print its handle
//   dump                      print the window and its controls
//   list [N]                  items of the N-th list box (default 0)
//   select INDEX [N]          click item INDEX of the N-th list box
//   press TEXT|#INDEX         press a toolbar button by caption or position
//   buttons                   toolbar buttons: index, command, state, caption
//   click TEXT                click the button (or check box) with that caption
//   settext TEXT [N]          set the text of the N-th edit box (default 0)
//   size W H                  resize the window as a drag of its frame would
//   status                    status-bar text
//   msgbox [TITLE]            wait for a message box (any process), print it
//   answer BUTTON [TITLE]     answer a message box by button caption
//   close                     close the window and wait until it has gone
//   shot FILE                 screenshot of the whole display (.png or .bmp)
//   mouse X Y                 a real left click at that screen point
// Exit code 0 on success, 1 on failure (the reason goes to stderr), 2 on bad usage.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver.h"

using namespace pv::test;

namespace {

struct Options {
  std::string className, title, exe;
  DWORD timeout = kTimeout;
};

int fail(const std::string& what) {
  std::fprintf(stderr, "pvdrive: %s%s%s\n", what.c_str(), lastError().empty() ? "" : ": ", lastError().c_str());
  return 1;
}

std::vector<DWORD> pidsOf(const std::string& exe) {
  std::vector<DWORD> pids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return pids;
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
    if (lstrcmpiA(pe.szExeFile, exe.c_str()) == 0) pids.push_back(pe.th32ProcessID);
  CloseHandle(snap);
  return pids;
}

HWND findTarget(const Options& o) {
  HWND found = nullptr;
  waitUntil(
      [&] {
        if (o.exe.empty()) return (found = findWindow(WindowMatch{o.className, o.title, 0, true})) != nullptr;
        for (DWORD pid : pidsOf(o.exe))
          if ((found = findWindow(WindowMatch{o.className, o.title, pid, true})) != nullptr) return true;
        return false;
      },
      o.timeout);
  return found;
}

int usage() {
  std::fprintf(stderr,
               "usage: pvdrive [--class C] [--title T] [--exe NAME] [--timeout MS] COMMAND [args]\n"
               "commands: wait dump list select press buttons click settext size status msgbox answer close shot mouse\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  int i = 1;
  for (; i + 1 < argc && std::string(argv[i]).rfind("--", 0) == 0; i += 2) {
    std::string opt = argv[i];
    if (opt == "--class") o.className = argv[i + 1];
    else if (opt == "--title") o.title = argv[i + 1];
    else if (opt == "--exe") o.exe = argv[i + 1];
    else if (opt == "--timeout") o.timeout = static_cast<DWORD>(std::strtoul(argv[i + 1], nullptr, 10));
    else return usage();
  }
  if (i >= argc) return usage();
  std::string cmd = argv[i++];
  std::vector<std::string> args(argv + i, argv + argc);

  // Commands that need no target window.
  if (cmd == "shot") {
    if (args.empty()) return usage();
    return saveScreenshot(args[0]) ? 0 : fail("screenshot failed");
  }
  if (cmd == "mouse") {
    if (args.size() < 2) return usage();
    POINT at{std::atoi(args[0].c_str()), std::atoi(args[1].c_str())};
    return realClick(at) ? 0 : fail("cannot click");
  }
  if (cmd == "msgbox" || cmd == "answer") {
    std::string title = cmd == "msgbox" ? (args.empty() ? "" : args[0]) : (args.size() > 1 ? args[1] : "");
    if (cmd == "answer" && args.empty()) return usage();
    HWND box = waitMessageBox(title, 0, o.timeout);
    if (!box) return fail("no message box");
    MessageBoxInfo info = readMessageBox(box);
    std::printf("%s\n%s\n", info.title.c_str(), info.text.c_str());
    for (const std::string& b : info.buttons) std::printf("[%s] ", b.c_str());
    std::printf("\n");
    if (cmd == "answer" && !answerMessageBox(box, args[0])) return fail("cannot answer the message box");
    return 0;
  }

  HWND w = findTarget(o);
  if (!w) return fail("no such window");
  if (cmd == "wait") {
    std::printf("%p\n", static_cast<void*>(w));
    return 0;
  }
  if (cmd == "dump") {
    std::printf("%s", dumpTree(w).c_str());
    return 0;
  }
  if (cmd == "list" || cmd == "select") {
    size_t nArg = cmd == "list" ? 0 : 1;
    int n = args.size() > nArg ? std::atoi(args[nArg].c_str()) : 0;
    HWND list = findChildByIndex(w, "ListBox", n);
    if (!list) return fail("no list box");
    if (cmd == "list") {
      for (const std::string& s : listItems(list)) std::printf("%s\n", s.c_str());
      return 0;
    }
    if (args.empty()) return usage();
    return clickListItem(list, std::atoi(args[0].c_str())) ? 0 : fail("cannot click the list item");
  }
  if (cmd == "press" || cmd == "buttons") {
    HWND tb = findToolbar(w);
    if (!tb) return fail("no toolbar");
    if (cmd == "buttons") {
      for (const ToolButton& b : toolbarButtons(tb))
        std::printf("%d\t%d\t%s%s\t%s\n", b.index, b.command, b.separator() ? "sep" : b.enabled() ? "on" : "off",
                    b.checked() ? ",checked" : "", b.text.c_str());
      return 0;
    }
    if (args.empty()) return usage();
    int index = args[0].size() > 1 && args[0][0] == '#' ? std::atoi(args[0].c_str() + 1) : toolbarFind(tb, args[0]);
    if (index < 0) return fail("no toolbar button " + args[0]);
    // A button that becomes enabled by an earlier action may lag a moment behind it.
    waitUntil([&] { auto b = toolbarButton(tb, index); return b && b->enabled(); }, o.timeout);
    return pressToolbarButton(tb, index) ? 0 : fail("cannot press " + args[0]);
  }
  if (cmd == "click") {
    if (args.empty()) return usage();
    HWND b = waitChild(w, "Button", args[0], o.timeout);
    if (!b) return fail("no button " + args[0]);
    return click(b) ? 0 : fail("cannot click " + args[0]);
  }
  if (cmd == "size") {
    if (args.size() < 2) return usage();
    RECT r = windowRect(w);
    // SetWindowPos sends WM_WINDOWPOSCHANGING, so the program's minimum size applies.
    if (!::SetWindowPos(w, nullptr, r.left, r.top, std::atoi(args[0].c_str()), std::atoi(args[1].c_str()),
                        SWP_NOZORDER | SWP_NOACTIVATE))
      return fail("cannot resize");
    RECT now = windowRect(w);
    std::printf("%ld x %ld\n", now.right - now.left, now.bottom - now.top);
    return 0;
  }
  if (cmd == "settext") {
    if (args.empty()) return usage();
    HWND edit = findChildByIndex(w, "Edit", args.size() > 1 ? std::atoi(args[1].c_str()) : 0);
    if (!edit) return fail("no edit box");
    return setText(edit, args[0]) ? 0 : fail("cannot set the text");
  }
  if (cmd == "status") {
    HWND sb = findStatusBar(w);
    if (!sb) return fail("no status bar");
    std::printf("%s\n", statusText(sb).c_str());
    return 0;
  }
  if (cmd == "close") {
    closeWindow(w);
    return waitWindowGone(w, o.timeout) ? 0 : fail("window did not close");
  }
  return usage();
}
