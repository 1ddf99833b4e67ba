/* A stand-in unlha32.dll for the backup run's tests: it keeps what reached it.
 * Beside itself it writes capture.log (one line per call: the GetRunning polls with
 * their tick counts, the command line, whether the archive named in it existed at
 * that moment) and capture.rsp (a copy of the response file named after "@").
 * GetRunning answers TRUE twice, then FALSE; built with PV_NO_GET_RUNNING the entry
 * is missing. The command answers the number in capture.result beside the DLL, 0
 * without that file, after writing the bytes of capture.write (when there is one) to
 * the archive's name, as a library that leaves a file behind. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static char g_dir[MAX_PATH];

static void path(char* out, const char* name) { wsprintfA(out, "%s\\%s", g_dir, name); }

static void logLine(const char* text) {
  char p[MAX_PATH];
  DWORD n;
  HANDLE f;
  path(p, "capture.log");
  f = CreateFileA(p, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (f == INVALID_HANDLE_VALUE) return;
  WriteFile(f, text, lstrlenA(text), &n, NULL);
  WriteFile(f, "\r\n", 2, &n, NULL);
  CloseHandle(f);
}

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    char* cut;
    GetModuleFileNameA(inst, g_dir, MAX_PATH);
    cut = strrchr(g_dir, '\\'); /* the folder is ASCII in the tests */
    if (cut) *cut = 0;
  }
  return TRUE;
}

WORD WINAPI UnlhaGetVersion(void) { return 100; }

#ifndef PV_NO_GET_RUNNING
static int g_polls;

BOOL WINAPI UnlhaGetRunning(void) {
  char line[64];
  wsprintfA(line, "GetRunning %lu", (unsigned long)GetTickCount());
  logLine(line);
  return ++g_polls <= 2;
}
#endif

/* The n-th double-quoted argument of cmd (0-based), without its quotes. */
static int quoted(const char* cmd, int n, char* out, int size) {
  const char* p = cmd;
  for (;;) {
    const char* open = strchr(p, '"');
    const char* close;
    if (!open) return 0;
    close = strchr(open + 1, '"');
    if (!close) return 0;
    if (n-- == 0) {
      int len = (int)(close - open - 1);
      if (len >= size) return 0;
      memcpy(out, open + 1, len);
      out[len] = 0;
      return 1;
    }
    p = close + 1;
  }
}

int WINAPI Unlha(HWND owner, LPCSTR cmd, LPSTR out, DWORD size) {
  char line[2048], arc[MAX_PATH * 2] = "", rsp[MAX_PATH * 2], p[MAX_PATH];
  int result = 0;
  FILE* f;
  (void)out;
  (void)size;
  wsprintfA(line, "Command owner=%d cmd=%s", owner != NULL, cmd);
  logLine(line);
  if (quoted(cmd, 0, arc, sizeof arc)) {
    wsprintfA(line, "archive-exists=%d", GetFileAttributesA(arc) != INVALID_FILE_ATTRIBUTES);
    logLine(line);
  }
  path(p, "capture.rsp");
  if (quoted(cmd, 2, rsp, sizeof rsp) && rsp[0] == '@') CopyFileA(rsp + 1, p, FALSE);
  path(p, "capture.write");
  if (arc[0] && GetFileAttributesA(p) != INVALID_FILE_ATTRIBUTES) CopyFileA(p, arc, FALSE);
  path(p, "capture.result");
  f = fopen(p, "r");
  if (f) {
    if (fscanf(f, "%d", &result) != 1) result = 0;
    fclose(f);
  }
  return result;
}
