/* A stand-in archiver library for the component's tests. One source builds every
 * test DLL: the build names the file, picks which entries are exported (through a
 * generated .def) and sets the answers with PV_* definitions. Every call, and the
 * DLL's own attach and detach, is appended as one line to the file named by the
 * environment variable PV_ARCLOG, so a test can see exactly what reached a library.
 *
 * Commands understood by the command entry:
 *   "ret N"      answer N
 *   "extract N"  send "wm_arcextract" (word parameter N) to the owner window
 *                registered with SetOwnerWindow, log the answer and return it
 *   anything else answers PV_COMMAND_RESULT
 */
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef PV_LIB
#error PV_LIB must name the library for the log
#endif
#ifndef PV_VERSION
#define PV_VERSION 0
#endif
#ifndef PV_SUBVERSION
#define PV_SUBVERSION 0
#endif
#ifndef PV_OWNER_ANSWER
#define PV_OWNER_ANSWER TRUE
#endif
#ifndef PV_COMMAND_RESULT
#define PV_COMMAND_RESULT 0
#endif

#define PV_HARC ((HANDLE)(ULONG_PTR)0x5A5A0001)

static HWND g_owner;

/* Handles and pointers in the log, as the tests print them. */
#define H(p) ((unsigned long)(ULONG_PTR)(p))

static void logLine(const char* fmt, ...) {
  char path[MAX_PATH], line[1024];
  DWORD n = GetEnvironmentVariableA("PV_ARCLOG", path, sizeof path);
  if (n == 0 || n >= sizeof path) return;
  int len = snprintf(line, sizeof line, "%s ", PV_LIB);
  va_list ap;
  va_start(ap, fmt);
  len += vsnprintf(line + len, sizeof line - len - 2, fmt, ap);
  va_end(ap);
  if (len > (int)sizeof line - 2) len = (int)sizeof line - 2;
  line[len++] = '\n';
  HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, NULL);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(f, line, (DWORD)len, &written, NULL);
  CloseHandle(f);
}

/* True when the environment variable name holds this library's name as a word. */
static BOOL listed(const char* name) {
  char v[512];
  DWORD n = GetEnvironmentVariableA(name, v, sizeof v);
  if (n == 0 || n >= sizeof v) return FALSE;
  for (char* tok = strtok(v, " ,"); tok; tok = strtok(NULL, " ,"))
    if (strcmp(tok, PV_LIB) == 0) return TRUE;
  return FALSE;
}

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved) {
  (void)inst;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) logLine("attach");
  if (reason == DLL_PROCESS_DETACH) logLine("detach");
  return TRUE;
}

int WINAPI ImplCommand(HWND owner, LPCSTR cmd, LPSTR out, DWORD size) {
  logLine("Command owner=%lx cmd=%s out=%lx size=%lu", H(owner), cmd ? cmd : "(null)", H(out),
          (unsigned long)size);
  if (cmd && strncmp(cmd, "ret ", 4) == 0) return atoi(cmd + 4);
  if (cmd && strncmp(cmd, "extract ", 8) == 0) {
    if (!g_owner) {
      logLine("no owner window");
      return -2;
    }
    char eis[560] = "extracting-information";
    UINT msg = RegisterWindowMessageA("wm_arcextract");
    LRESULT answer = SendMessageA(g_owner, msg, (WPARAM)atoi(cmd + 8), (LPARAM)eis);
    logLine("answer=%ld", (long)answer);
    return (int)answer;
  }
  return PV_COMMAND_RESULT;
}

WORD WINAPI ImplGetVersion(void) {
  logLine("GetVersion");
  return PV_VERSION;
}

WORD WINAPI ImplGetSubVersion(void) {
  logLine("GetSubVersion");
  return PV_SUBVERSION;
}

BOOL WINAPI ImplGetRunning(void) {
  BOOL busy = listed("PV_ARCBUSY");
  logLine("GetRunning=%d", busy);
  return busy;
}

BOOL WINAPI ImplSetBackGroundMode(BOOL on) {
  logLine("SetBackGroundMode %d", on);
  return TRUE;
}

BOOL WINAPI ImplSetCursorMode(BOOL on) {
  logLine("SetCursorMode %d", on);
  return TRUE;
}

HANDLE WINAPI ImplOpenArchive(HWND owner, LPCSTR file, DWORD mode) {
  logLine("OpenArchive owner=%lx file=%s mode=%lu", H(owner), file, (unsigned long)mode);
  return listed("PV_ARCNOOPEN") ? NULL : PV_HARC;
}

int WINAPI ImplCloseArchive(HANDLE arc) {
  logLine("CloseArchive %lx", H(arc));
  return arc == PV_HARC ? 0 : -3;
}

/* One member, laid out as the component reads it. */
static void fillMember(BYTE* r) {
  memset(r, 0, 558);
  DWORD v;
  v = 1000; memcpy(r + 0, &v, 4);      /* uncompressed size */
  v = 400;  memcpy(r + 4, &v, 4);      /* compressed size */
  v = 0xBEEF; memcpy(r + 8, &v, 4);    /* CRC */
  v = 0x4D; memcpy(r + 16, &v, 4);     /* OS type */
  WORD w = 400;  memcpy(r + 20, &w, 2); /* ratio, per mille */
  w = (WORD)(((2002 - 1980) << 9) | (3 << 5) | 15); memcpy(r + 22, &w, 2);
  w = (WORD)((12 << 11) | (34 << 5) | 28); memcpy(r + 24, &w, 2);
  strcpy((char*)r + 26, "dir\\\x95\x5C.txt");
  memcpy(r + 542, "-a--ABCD", 8);       /* 8 characters, no terminator */
  memcpy(r + 550, "-lh5-\0xx", 8);
}

int WINAPI ImplFindFirst(HANDLE arc, LPCSTR wild, void* rec) {
  logLine("FindFirst %lx %s", H(arc), wild);
  if (arc != PV_HARC) return -1;
  if (wild && strcmp(wild, "zero") == 0) {
    memset(rec, 0, 558);
    return 0;
  }
  fillMember((BYTE*)rec);
  return 0;
}

int WINAPI ImplFindNext(HANDLE arc, void* rec) {
  (void)rec;
  logLine("FindNext %lx", H(arc));
  return -1;
}

BOOL WINAPI ImplCheckArchive(LPCSTR file, int mode) {
  /* Accepts a file whose name carries "@" + this library's name, e.g. x@unlha32.zip. */
  char tag[64];
  snprintf(tag, sizeof tag, "@%s", PV_LIB);
  BOOL yes = file && strstr(file, tag) != NULL;
  logLine("CheckArchive %s %d =%d", file ? file : "(null)", mode, yes);
  return yes;
}

BOOL WINAPI ImplConfigDialog(HWND owner, LPSTR buf, int mode) {
  (void)buf;
  logLine("ConfigDialog %lx %d", H(owner), mode);
  return FALSE;
}

BOOL WINAPI ImplSetOwnerWindow(HWND owner) {
  logLine("SetOwnerWindow %lx", H(owner));
  if (PV_OWNER_ANSWER) g_owner = owner;
  return PV_OWNER_ANSWER;
}

BOOL WINAPI ImplClearOwnerWindow(void) {
  logLine("ClearOwnerWindow");
  g_owner = NULL;
  return TRUE;
}

int WINAPI ImplExtractMem(HWND owner, LPCSTR cmd, LPBYTE buf, DWORD size, void* time, LPWORD attr,
                          LPDWORD written) {
  (void)owner; (void)buf; (void)size; (void)time; (void)attr; (void)written;
  logLine("ExtractMem %s", cmd);
  return -1;
}

int WINAPI ImplGetArchiveType(LPCSTR file) {
  logLine("GetArchiveType %s", file);
  return 0;
}
