// The exported entry points of unlha32.dll. Each one catches everything: no C++
// exception may cross into a caller that knows nothing of them.
#include <cstring>
#include <mutex>
#include <new>
#include <set>

#include "core/sjis.h"
#include "core/wildcard.h"
#include "lzh/archive.h"
#include "pv_version.h"
#include "unlha32/internal.h"
#include "unlha32/resource.h"
#include "unlha32/winio.h"

namespace pv::unlha {

Settings& settings() {
  static Settings s;
  return s;
}

UINT arcExtractMessage() {
  static UINT id = ::RegisterWindowMessageA("wm_arcextract");
  return id;
}

namespace {

// An archive opened by OpenArchive: its members, read once, and where FindNext goes on.
struct OpenArchive {
  std::string path;
  std::vector<lzh::Member> members;
  std::string pattern;
  std::size_t next = 0;
};

std::mutex g_handlesLock;
std::set<OpenArchive*> g_handles;

OpenArchive* lookup(HARC harc) {
  std::lock_guard<std::mutex> lock(g_handlesLock);
  auto* p = static_cast<OpenArchive*>(harc);
  return g_handles.count(p) ? p : nullptr;
}


std::string fileNamePart(const lzh::Member& m) {
  return m.fileName.empty() ? std::string(arccmd::lastComponent(m.path)) : m.fileName;
}

// "", "*" and "*.*" select every member. A pattern with a folder part is matched
// against the whole path, one without against the file name alone.
bool selects(const std::string& pattern, const lzh::Member& m) {
  if (pattern.empty() || pattern == "*" || pattern == "*.*") return true;
  if (arccmd::lastComponent(pattern).size() != pattern.size()) return wildcard::match(pattern, m.path);
  return wildcard::match(pattern, fileNamePart(m));
}

void fillRecord(const lzh::Member& m, UnlhaMemberRecord& r) {
  std::memset(&r, 0, sizeof r);
  r.originalSize = static_cast<DWORD>(m.originalSize);
  r.compressedSize = static_cast<DWORD>(m.packedSize);
  r.crc = m.crc;
  r.flags = static_cast<DWORD>(m.level) & 0xFF;
  r.osType = m.osId;
  r.ratio = m.originalSize ? static_cast<WORD>(std::min<std::uint64_t>(m.packedSize * 1000 / m.originalSize, 0xFFFF)) : 0;
  if (m.timeIsDos) {
    r.dosDate = HIWORD(m.rawTime);
    r.dosTime = LOWORD(m.rawTime);
  } else {
    unixToDos(m.unixTime, r.dosDate, r.dosTime);
  }
  setField(r.fileName, m.isDirectory() ? m.path + "\\" : m.path);
  std::string attr;
  const char letters[] = "RHSVDA";
  for (int i = 0; i < 6; ++i) attr += (m.attributes & (1u << i)) ? letters[i] : '-';
  setField(r.attributeText, attr);
  setField(r.modeText, m.methodId);
}

int findFrom(OpenArchive& a, UnlhaMemberRecord* record) {
  while (a.next < a.members.size()) {
    const lzh::Member& m = a.members[a.next++];
    if (!selects(a.pattern, m)) continue;
    if (record) fillRecord(m, *record);
    return UNLHA_OK;
  }
  return UNLHA_FIND_END;
}

// Reads every member header; false when the file is missing or not a sound archive.
bool readMembers(const std::string& path, std::vector<lzh::Member>& members) {
  DWORD err = 0;
  HANDLE h = openForReading(path, FILE_SHARE_READ | FILE_SHARE_WRITE, &err);
  if (h == INVALID_HANDLE_VALUE) return false;
  File file(h);
  FileSource src(h);
  if (!src.sizeKnown()) return false;
  return lzh::readArchive(src, members).ok();
}

INT_PTR CALLBACK aboutProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: {
      char text[160];
      wsprintfA(text, "unlha32.dll  バージョン %s", UNLHA_VERSION_TEXT);
      ::SetDlgItemTextA(dlg, IDC_ABOUT_VERSION, text);
      wsprintfA(text, "Pomvault %s 付属の LHA 書庫ライブラリ", PV_VERSION_TEXT);
      ::SetDlgItemTextA(dlg, IDC_ABOUT_PRODUCT, text);
      ::SendDlgItemMessageA(dlg, IDC_ABOUT_ICON, STM_SETICON,
                            reinterpret_cast<WPARAM>(::LoadIcon(nullptr, IDI_INFORMATION)), 0);
      // Centre over the parent, or the screen.
      RECT rd, rp;
      ::GetWindowRect(dlg, &rd);
      HWND parent = ::GetParent(dlg);
      if (!parent || !::GetWindowRect(parent, &rp)) ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rp, 0);
      ::SetWindowPos(dlg, nullptr, rp.left + ((rp.right - rp.left) - (rd.right - rd.left)) / 2,
                     rp.top + ((rp.bottom - rp.top) - (rd.bottom - rd.top)) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
        ::EndDialog(dlg, LOWORD(wp));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

int commandEntry(HWND hwnd, LPCSTR cmdLine, LPSTR output, DWORD outputSize) {
  const std::string line = cmdLine ? cmdLine : "";
  arccmd::CommandLine cl;
  Failure failure;
  std::string log;

  // Only the running flag decides who may work; a second caller gets BUSY at once.
  if (::InterlockedCompareExchange(&settings().running, 1, 0) != 0) {
    arccmd::parse(line, nullptr, cl);  // for --quiet only
    failure = fail(UNLHA_ERR_BUSY);
  } else {
    struct Clear {
      ~Clear() { ::InterlockedExchange(&settings().running, 0); }
    } clear;
    try {
      DWORD responseError = 0;
      const arccmd::ParseResult pr = arccmd::parse(line, [&responseError](const std::string& path, std::string& bytes) {
        HANDLE h = openForReading(path, FILE_SHARE_READ | FILE_SHARE_WRITE, &responseError);
        if (h == INVALID_HANDLE_VALUE) return false;
        File file(h);
        LARGE_INTEGER size;
        // A list of names is never this big; refuse rather than take all memory.
        if (!::GetFileSizeEx(h, &size) || size.QuadPart > 256 * 1024 * 1024) {
          responseError = ERROR_NOT_ENOUGH_MEMORY;
          return false;
        }
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        if (bytes.empty() || (::ReadFile(h, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                              got == bytes.size()))
          return true;
        responseError = ::GetLastError();
        return false;
      }, cl);
      switch (pr.error) {
        case arccmd::ParseError::None: runCommand(hwnd, cl, log, failure); break;
        case arccmd::ParseError::NoCommand:
        case arccmd::ParseError::UnknownCommand: failure = fail(UNLHA_ERR_COMMAND, pr.what); break;
        case arccmd::ParseError::BadSwitch: failure = fail(UNLHA_ERR_SWITCH, pr.what); break;
        case arccmd::ParseError::NoArchive: failure = fail(UNLHA_ERR_NO_ARCHIVE); break;
        case arccmd::ParseError::ResponseFile: failure = fail(UNLHA_ERR_RESPONSE_FILE, pr.what, responseError); break;
      }
    } catch (const std::bad_alloc&) {
      failure = fail(UNLHA_ERR_MEMORY);
    } catch (...) {
      failure = fail(UNLHA_ERR_INTERNAL);
    }
    if (failure.failed()) {
      const std::string message = failureMessage(failure);
      copyToOutput(log + message, output, outputSize);
      // The user cancelled: telling them so in a box would only be in the way.
      if (!cl.sw.quiet && failure.code != UNLHA_ERR_CANCELLED)
        ::MessageBoxA(hwnd && ::IsWindow(hwnd) ? hwnd : nullptr, message.c_str(), "unlha32.dll",
                      MB_OK | (failure.code == UNLHA_WARN_UNREADABLE ? MB_ICONWARNING : MB_ICONERROR) |
                          (hwnd ? 0 : MB_TASKMODAL));
      return failure.code;
    }
    copyToOutput(log, output, outputSize);
    return UNLHA_OK;
  }
  const std::string message = failureMessage(failure);
  copyToOutput(message, output, outputSize);
  if (!cl.sw.quiet)
    ::MessageBoxA(hwnd && ::IsWindow(hwnd) ? hwnd : nullptr, message.c_str(), "unlha32.dll", MB_OK | MB_ICONERROR);
  return failure.code;
}

}  // namespace
}  // namespace pv::unlha

using namespace pv::unlha;
namespace lzh = pv::lzh;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    settings().module = inst;
    ::DisableThreadLibraryCalls(inst);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded by FreeLibrary: a later load may sit elsewhere, so the class must go.
    ::UnregisterClassA("PvUnlhaProgress", inst);
  }
  return TRUE;
}

int WINAPI Unlha(HWND hwnd, LPCSTR cmdLine, LPSTR output, DWORD outputSize) {
  return commandEntry(hwnd, cmdLine, output, outputSize);
}

WORD WINAPI UnlhaGetVersion(void) { return UNLHA_VERSION; }

WORD WINAPI UnlhaGetSubVersion(void) { return PV_VERSION_MAJOR * 100 + PV_VERSION_MINOR; }

BOOL WINAPI UnlhaGetRunning(void) { return settings().running != 0; }

BOOL WINAPI UnlhaSetBackGroundMode(BOOL background) {
  settings().background = background != FALSE;
  return TRUE;
}

BOOL WINAPI UnlhaSetCursorMode(BOOL cursorMode) {
  settings().cursorMode = cursorMode != FALSE;
  return TRUE;
}

HARC WINAPI UnlhaOpenArchive(HWND, LPCSTR archive, DWORD) {
  if (!archive) return nullptr;
  try {
    auto a = std::make_unique<OpenArchive>();
    a->path = archive;
    if (!readMembers(a->path, a->members)) return nullptr;
    std::lock_guard<std::mutex> lock(g_handlesLock);
    g_handles.insert(a.get());
    return a.release();
  } catch (...) {
    return nullptr;
  }
}

int WINAPI UnlhaCloseArchive(HARC harc) {
  OpenArchive* a = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_handlesLock);
    auto* p = static_cast<OpenArchive*>(harc);
    if (!g_handles.erase(p)) return UNLHA_ERR_HANDLE;
    a = p;
  }
  delete a;
  return UNLHA_OK;
}

int WINAPI UnlhaFindFirst(HARC harc, LPCSTR wildName, UnlhaMemberRecord* record) {
  OpenArchive* a = lookup(harc);
  if (!a) return UNLHA_ERR_HANDLE;
  try {
    a->pattern = wildName ? wildName : "";
    a->next = 0;
    return findFrom(*a, record);
  } catch (...) {
    return UNLHA_ERR_MEMORY;
  }
}

int WINAPI UnlhaFindNext(HARC harc, UnlhaMemberRecord* record) {
  OpenArchive* a = lookup(harc);
  if (!a) return UNLHA_ERR_HANDLE;
  return findFrom(*a, record);
}

BOOL WINAPI UnlhaCheckArchive(LPCSTR archive, int mode) {
  if (!archive) return FALSE;
  try {
    DWORD err = 0;
    HANDLE h = openForReading(archive, FILE_SHARE_READ | FILE_SHARE_WRITE, &err);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    File file(h);
    FileSource src(h);
    std::vector<lzh::Member> members;
    // An empty file parses, but it is nobody's archive.
    if (!src.sizeKnown() || !lzh::readArchive(src, members).ok() || members.empty()) return FALSE;
    if (mode & UNLHA_CHECK_DATA) {
      for (const lzh::Member& m : members)
        if (!lzh::extractMember(src, m, [](const std::uint8_t*, std::size_t) { return true; }).ok()) return FALSE;
    }
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

BOOL WINAPI UnlhaConfigDialog(HWND hwnd, LPSTR, int) {
  const INT_PTR r = ::DialogBoxParamA(settings().module, MAKEINTRESOURCEA(IDD_ABOUT), hwnd && ::IsWindow(hwnd) ? hwnd : nullptr,
                                      aboutProc, 0);
  return r == IDOK || r == IDCANCEL;
}

BOOL WINAPI UnlhaSetOwnerWindow(HWND hwnd) {
  if (!hwnd || !::IsWindow(hwnd)) return FALSE;
  settings().notifyWindow = hwnd;
  return TRUE;
}

BOOL WINAPI UnlhaClearOwnerWindow(void) {
  settings().notifyWindow = nullptr;
  return TRUE;
}

int WINAPI UnLhaExtractMem(HWND, LPCSTR, LPBYTE, DWORD, DWORD*, WORD*, DWORD* written) {
  if (written) *written = 0;
  return UNLHA_ERR_NOT_SUPPORTED;
}

}  // extern "C"
