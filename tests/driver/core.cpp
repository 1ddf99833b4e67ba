// Waiting, errors, files and processes.

#include <algorithm>
#include <atomic>

#include "detail.h"
#include "driver.h"
#include <shlwapi.h>  // after <windows.h>

namespace pv::test {

namespace {
thread_local std::string g_lastError;

// True when s ends in a '\' that is a character of its own, not the trailing byte
// of a double-byte character (表 is 95 5C).
bool endsWithSeparator(const std::string& s) {
  bool last = false;
  for (size_t i = 0; i < s.size();) {
    if (IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) {
      last = false;
      i += 2;
    } else {
      last = s[i] == '\\' || s[i] == '/';
      ++i;
    }
  }
  return last;
}

// Position of the last single-byte '\' (or '/'), or npos.
size_t lastSeparator(const std::string& s) {
  size_t pos = std::string::npos;
  for (size_t i = 0; i < s.size();) {
    if (IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) {
      i += 2;
    } else {
      if (s[i] == '\\' || s[i] == '/') pos = i;
      ++i;
    }
  }
  return pos;
}

std::string stripSeparator(std::string s) {
  while (s.size() > 3 && endsWithSeparator(s)) s.pop_back();
  return s;
}

// Quoting by the rules of CommandLineToArgvW / the C runtime.
std::string quoteArg(const std::string& a) {
  if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) return a;
  std::string out = "\"";
  size_t backslashes = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < a.size()) {
      // A double-byte character: its trailing byte may be 0x5C but is no backslash.
      out.append(backslashes, '\\');
      out += c;
      out += a[++i];
      backslashes = 0;
    } else if (c == '\\') {
      ++backslashes;
    } else if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
      out += '"';
      backslashes = 0;
    } else {
      out.append(backslashes, '\\');
      out += c;
      backslashes = 0;
    }
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}
}  // namespace

namespace detail {
void setError(const std::string& what) { g_lastError = what; }
void clearError() { g_lastError.clear(); }

std::string wideToAnsi(const wchar_t* s, int len) {
  if (len < 0) len = static_cast<int>(wcslen(s));
  if (len == 0) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, s, len, nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, s, len, &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring ansiToWide(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
  return out;
}

bool sendW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result, DWORD timeoutMs) {
  DWORD_PTR r = 0;
  if (!IsWindow(hwnd)) {
    setError("not a window");
    return false;
  }
  if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, timeoutMs, &r)) {
    setError("message " + std::to_string(msg) + " not answered (window hangs or is gone)");
    return false;
  }
  if (result) *result = static_cast<LRESULT>(r);
  return true;
}

RemoteBuffer::RemoteBuffer(HWND owner, size_t size) : size_(size) {
  DWORD pid = 0;
  GetWindowThreadProcessId(owner, &pid);
  if (!pid) {
    setError("no process owns the window");
    return;
  }
  process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process_) {
    setError("OpenProcess failed");
    return;
  }
  mem_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!mem_) setError("VirtualAllocEx failed");
}

RemoteBuffer::~RemoteBuffer() {
  if (mem_) VirtualFreeEx(process_, mem_, 0, MEM_RELEASE);
  if (process_) CloseHandle(process_);
}

bool RemoteBuffer::write(const void* data, size_t size, size_t offset) {
  SIZE_T done = 0;
  if (!mem_ || offset + size > size_) return false;
  return WriteProcessMemory(process_, static_cast<char*>(mem_) + offset, data, size, &done) && done == size;
}

bool RemoteBuffer::read(void* data, size_t size, size_t offset) const {
  SIZE_T done = 0;
  if (!mem_ || offset + size > size_) return false;
  return ReadProcessMemory(process_, static_cast<char*>(mem_) + offset, data, size, &done) && done == size;
}

POINT centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
}  // namespace detail

using detail::setError;

// ---------------------------------------------------------------- waiting

bool waitUntil(const std::function<bool()>& pred, DWORD timeoutMs, DWORD pollMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (pred()) return true;
    if (GetTickCount() - start >= timeoutMs) return pred();
    Sleep(pollMs);
  }
}

void sleepMs(DWORD ms) { Sleep(ms); }

bool settle(HWND hwnd, DWORD timeoutMs) {
  // Sent messages are handled in order, ahead of posted ones: our WM_NULL is answered
  // once what the driver delivered with SendNotifyMessage is done, or from inside a
  // modal loop it opened. Posted messages (keys) have no such guarantee; the further
  // rounds give them a moment, and callers wait for their effects anyway.
  for (int i = 0; i < 3; ++i) {
    DWORD_PTR r;
    if (i > 0) Sleep(10);
    if (!SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &r)) {
      if (!IsWindow(hwnd)) return true;  // handled it and went away (a closed box)
      setError("window does not answer");
      return false;
    }
  }
  return true;
}

const std::string& lastError() { return g_lastError; }

// ---------------------------------------------------------------- paths and files

std::string binDir() {
  char buf[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  std::string p(buf, n);
  size_t sep = lastSeparator(p);
  return sep == std::string::npos ? std::string(".") : p.substr(0, sep);
}

std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return endsWithSeparator(dir) ? dir + name : dir + "\\" + name;
}

std::string tempRoot() {
  char buf[MAX_PATH * 2];
  DWORD n = GetTempPathA(sizeof buf, buf);
  return stripSeparator(std::string(buf, n));
}

TempDir::TempDir(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  std::string root = tempRoot();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string p = joinPath(root, prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                                       std::to_string(GetTickCount()) + "-" + std::to_string(counter++));
    if (CreateDirectoryA(p.c_str(), nullptr)) {
      path_ = p;
      return;
    }
  }
  setError("cannot create a temporary folder under " + root);
}

TempDir::~TempDir() {
  if (!path_.empty() && !keep_) removeTree(path_);
}

TempDir::TempDir(TempDir&& o) noexcept : path_(std::move(o.path_)), keep_(o.keep_) { o.path_.clear(); }

TempDir& TempDir::operator=(TempDir&& o) noexcept {
  if (this != &o) {
    if (!path_.empty() && !keep_) removeTree(path_);
    path_ = std::move(o.path_);
    keep_ = o.keep_;
    o.path_.clear();
  }
  return *this;
}

TempDir makeTempDir(const std::string& prefix) { return TempDir(prefix); }

bool fileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool dirExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> readFile(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    setError("cannot open " + path);
    return std::nullopt;
  }
  std::string out;
  char buf[65536];
  DWORD n = 0;
  bool ok = true;
  while ((ok = ReadFile(h, buf, sizeof buf, &n, nullptr)) && n > 0) out.append(buf, n);
  CloseHandle(h);
  if (!ok) {
    setError("cannot read " + path);
    return std::nullopt;
  }
  return out;
}

bool writeFile(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    setError("cannot create " + path);
    return false;
  }
  DWORD n = 0;
  bool ok = bytes.empty() || (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
                              n == bytes.size());
  ok = CloseHandle(h) && ok;
  if (!ok) setError("cannot write " + path);
  return ok;
}

bool copyFile(const std::string& from, const std::string& to) {
  if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
    setError("cannot copy " + from + " to " + to);
    return false;
  }
  return true;
}

bool deleteFile(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileA(path.c_str())) {
    setError("cannot delete " + path);
    return false;
  }
  return true;
}

bool makeDirs(const std::string& path) {
  if (dirExists(path)) return true;
  size_t sep = lastSeparator(stripSeparator(path));
  if (sep != std::string::npos && sep > 2) makeDirs(path.substr(0, sep));
  if (!CreateDirectoryA(path.c_str(), nullptr) && !dirExists(path)) {
    setError("cannot create folder " + path);
    return false;
  }
  return true;
}

std::vector<std::string> listDir(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(joinPath(dir, "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    std::string n = fd.cFileName;
    if (n != "." && n != "..") names.push_back(n);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

bool removeTree(const std::string& path) {
  if (!dirExists(path)) return fileExists(path) ? deleteFile(path) : true;
  bool ok = true;
  for (const std::string& n : listDir(path)) {
    std::string p = joinPath(path, n);
    ok = (dirExists(p) ? removeTree(p) : deleteFile(p)) && ok;
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!RemoveDirectoryA(path.c_str())) {
    setError("cannot remove folder " + path);
    return false;
  }
  return ok;
}

// ---------------------------------------------------------------- processes

Process::~Process() {
  if (handle_) {
    if (running()) kill();
    CloseHandle(handle_);
  }
}

Process::Process(Process&& o) noexcept : handle_(o.handle_), pid_(o.pid_) {
  o.handle_ = nullptr;
  o.pid_ = 0;
}

Process& Process::operator=(Process&& o) noexcept {
  if (this != &o) {
    this->~Process();
    handle_ = o.handle_;
    pid_ = o.pid_;
    o.handle_ = nullptr;
    o.pid_ = 0;
  }
  return *this;
}

bool Process::running() const { return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }

bool Process::waitExit(DWORD timeoutMs) {
  if (!handle_) return false;
  if (WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0) {
    setError("process " + std::to_string(pid_) + " still running after " + std::to_string(timeoutMs) + " ms");
    return false;
  }
  return true;
}

std::optional<DWORD> Process::exitCode() const {
  DWORD code = 0;
  if (!handle_ || !GetExitCodeProcess(handle_, &code)) return std::nullopt;
  return code;
}

void Process::kill(UINT code) {
  if (!handle_) return;
  TerminateProcess(handle_, code);
  WaitForSingleObject(handle_, 5000);
}

void Process::detach() {
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
  pid_ = 0;
}

HWND Process::waitWindow(const std::string& className, const std::string& title, DWORD timeoutMs) const {
  if (!handle_) {
    setError("process not started");
    return nullptr;
  }
  return pv::test::waitWindow(WindowMatch{className, title, pid_, true}, timeoutMs);
}

Process startProcess(const std::string& exe, const std::vector<std::string>& args, const std::string& workDir) {
  std::string line;
  for (const std::string& a : args) line += " " + quoteArg(a);
  return startProcessLine(exe, line, workDir);
}

Process startProcessLine(const std::string& exe, const std::string& argLine, const std::string& workDir) {
  Process p;
  std::string path = lastSeparator(exe) == std::string::npos && exe.find(':') == std::string::npos
                         ? joinPath(binDir(), exe)
                         : exe;
  std::string dir = workDir;
  if (dir.empty()) {
    size_t sep = lastSeparator(path);
    dir = sep == std::string::npos ? std::string(".") : path.substr(0, sep);
  }
  std::string cmd = quoteArg(path) + argLine;
  std::vector<char> cmdBuf(cmd.begin(), cmd.end());
  cmdBuf.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // A cursor left over a spot where the new window appears would give it a hover
  // (and a hint) nobody asked for.
  parkCursor();
  if (!CreateProcessA(path.c_str(), cmdBuf.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi)) {
    setError("cannot start " + path + " (error " + std::to_string(GetLastError()) + ")");
    return p;
  }
  CloseHandle(pi.hThread);
  p.handle_ = pi.hProcess;
  p.pid_ = pi.dwProcessId;
  return p;
}

std::optional<DWORD> runProcess(const std::string& exe, const std::vector<std::string>& args,
                                const std::string& workDir, DWORD timeoutMs) {
  Process p = startProcess(exe, args, workDir);
  if (!p) return std::nullopt;
  if (!p.waitExit(timeoutMs)) {
    p.kill();
    return std::nullopt;
  }
  return p.exitCode();
}

}  // namespace pv::test
