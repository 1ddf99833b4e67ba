#include "archive/Archive.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "pv_version.h"
#include "win/app.h"
#include "win/form.h"

namespace pv::arc {

namespace {

struct LibName {
  const char* file;
  const char* prefix;
};

// Binding order; index = library = option ordinal.
constexpr LibName kLibNames[] = {
    {"unlha32.dll", "Unlha"}, {"unarj32j.dll", "Unarj"}, {"unzip32.dll", "UnZip"}, {"tar32.dll", "Tar"},
    {"cab32.dll", "Cab"},     {"unrar32.dll", "Unrar"},  {"bga32.dll", "Bga"},
};

const char kMsgWndClass[] = "TArchiveMsgWindow";

// Typed entry from a module; null when the library lacks it.
template <class Fn>
Fn entry(HMODULE module, const std::string& name) {
  FARPROC p = ::GetProcAddress(module, name.c_str());
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
}

// Text of a fixed-size field up to its first zero byte.
std::string fieldText(const char* field, std::size_t size) {
  const void* end = std::memchr(field, 0, size);
  return std::string(field, end ? static_cast<const char*>(end) - field : size);
}

void registerMsgWndClass() {
  static bool done = false;
  if (done) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = ::DefWindowProcA;  // replaced per window at creation
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = kMsgWndClass;
  if (!::RegisterClassA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw pv::Error("ウィンドウクラスを登録できません");
  done = true;
}

}  // namespace

TArchive::TArchive() {
  registerMsgWndClass();
  msgWnd_ = ::CreateWindowExA(0, kMsgWndClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              ::GetModuleHandleA(nullptr), nullptr);
  if (!msgWnd_) throw pv::Error("ウィンドウを作成できません");
  ::SetWindowLongPtrA(msgWnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrA(msgWnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TArchive::msgWndProc));
}

TArchive::~TArchive() {
  CloseArchive();
  for (Library& lib : libs_)
    if (lib.module) ::FreeLibrary(lib.module);
  libs_ = {};
  if (msgWnd_) {
    ::SetWindowLongPtrA(msgWnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(msgWnd_);
  }
}

// ---------------------------------------------------------------- form description

namespace {

constexpr const char* kModeNames[] = {"amAuto", "amLha", "amArj", "amZip", "amTar",
                                      "amCab",  "amGz",  "amRar", "amBga"};
constexpr const char* kOptionNames[] = {"aoNoInstLha", "aoNoInstArj", "aoNoInstZip", "aoNoInstTar",
                                        "aoNoInstCab", "aoNoInstRar", "aoNoInstBga"};

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

[[noreturn]] void badValue(std::string_view name, std::string_view value) {
  throw pv::Error("TArchive: " + std::string(name) + " = '" + std::string(value) + "'");
}

bool parseBool(std::string_view name, std::string_view value) {
  if (value == "True") return true;
  if (value == "False") return false;
  badValue(name, value);
}

// "[aoNoInstArj, aoNoInstZip]"; "[]" is the empty set.
TArchiveOptions parseOptions(std::string_view name, std::string_view value) {
  std::string_view v = trim(value);
  if (v.size() < 2 || v.front() != '[' || v.back() != ']') badValue(name, value);
  v = v.substr(1, v.size() - 2);
  std::uint8_t bits = 0;
  while (!trim(v).empty()) {
    const std::size_t comma = v.find(',');
    const std::string_view item = trim(v.substr(0, comma));
    bool known = false;
    for (std::size_t i = 0; i < std::size(kOptionNames); ++i)
      if (item == kOptionNames[i]) {
        bits = static_cast<std::uint8_t>(bits | (1u << i));
        known = true;
      }
    if (!known) badValue(name, value);
    if (comma == std::string_view::npos) break;
    v.remove_prefix(comma + 1);
  }
  return TArchiveOptions::fromBits(bits);
}

}  // namespace

void TArchive::setProperty(std::string_view name, std::string_view value) {
  if (name == "Mode") {
    for (std::size_t i = 0; i < std::size(kModeNames); ++i)
      if (trim(value) == kModeNames[i]) return SetMode(static_cast<TArchiveMode>(i));
    badValue(name, value);
  }
  if (name == "Options") return SetOptions(parseOptions(name, value));
  if (name == "BackGround") return SetBackGround(parseBool(name, trim(value)));
  if (name == "Cursor") return SetCursor(parseBool(name, trim(value)));
  if (name == "NoMessage") return SetNoMessage(parseBool(name, trim(value)));
  Component::setProperty(name, value);
}

// ---------------------------------------------------------------- binding

void TArchive::Loaded() {
  // Bound only on a form; there is no designer that could be editing it.
  if (!owner()) return;
  for (int i = 0; i < kLibCount; ++i)
    if (!options_.contains(static_cast<TArchiveOption>(i))) bind(static_cast<Lib>(i));
}

void TArchive::bind(Lib i) {
  Library& lib = libs_[i];
  lib.module = ::LoadLibraryA(kLibNames[i].file);
  if (!lib.module) return;
  const HMODULE m = lib.module;
  const std::string p = kLibNames[i].prefix;
  lib.command = entry<CommandFn>(m, p);
  lib.getRunning = entry<RunningFn>(m, p + "GetRunning");
  // The rar and bga libraries are used without these modes.
  if (i != kBga) lib.setBackGroundMode = entry<ModeFn>(m, p + "SetBackGroundMode");
  if (i != kRar && i != kBga) lib.setCursorMode = entry<ModeFn>(m, p + "SetCursorMode");
  lib.openArchive = entry<OpenArchiveFn>(m, p + "OpenArchive");
  lib.closeArchive = entry<CloseArchiveFn>(m, p + "CloseArchive");
  lib.findFirst = entry<FindFirstFn>(m, p + "FindFirst");
  lib.findNext = entry<FindNextFn>(m, p + "FindNext");
  lib.checkArchive = entry<CheckArchiveFn>(m, p + "CheckArchive");
  lib.configDialog = entry<ConfigDialogFn>(m, p + "ConfigDialog");
  lib.setOwnerWindow = entry<SetOwnerWindowFn>(m, p + "SetOwnerWindow");
  lib.clearOwnerWindow = entry<ClearOwnerWindowFn>(m, p + "ClearOwnerWindow");
  if (i == kLha) lib.extractMem = entry<ExtractMemFn>(m, "UnLhaExtractMem");
  if (i == kZip) lib.extractMem = entry<ExtractMemFn>(m, "UnZipExtractMem");
  if (i == kTar) lib.getArchiveType = entry<GetArchiveTypeFn>(m, "TarGetArchiveType");

  // A library that cannot be told to forget the window must never be given it.
  if (!lib.clearOwnerWindow) lib.setOwnerWindow = nullptr;

  if (auto getVersion = entry<VersionFn>(m, p + "GetVersion")) {
    version_[i] = getVersion();
    if (i == kLha)
      if (auto sub = entry<VersionFn>(m, "UnlhaGetSubVersion")) unLhaSubVersion_ = sub();
    if (i == kArj)
      if (auto sub = entry<VersionFn>(m, "UnarjGetSubVersion")) unArjSubVersion_ = sub();
  }

  if (lib.setBackGroundMode) lib.setBackGroundMode(backGround_);
  if (lib.setCursorMode) lib.setCursorMode(cursor_);

  if (i == kTar) probeBz2();
}

bool TArchive::UnLhaIsOurs() const {
  const HMODULE m = libs_[kLha].module;
  if (!m) return false;
  char file[MAX_PATH * 2];
  const DWORD n = ::GetModuleFileNameA(m, file, sizeof file);
  if (n == 0 || n >= sizeof file) return false;
  DWORD unused = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(file, &unused);
  if (size == 0) return false;
  std::vector<char> buf(size);
  if (!::GetFileVersionInfoA(file, 0, size, buf.data())) return false;
  void* p = nullptr;
  UINT len = 0;
  if (!::VerQueryValueA(buf.data(), "\\VarFileInfo\\Translation", &p, &len) || !p || len < 4) return false;
  const WORD* tr = static_cast<const WORD*>(p);
  char table[64];
  std::snprintf(table, sizeof table, "\\StringFileInfo\\%04X%04X\\", tr[0], tr[1]);
  auto value = [&](const char* key) -> std::string {
    void* v = nullptr;
    UINT vlen = 0;
    if (!::VerQueryValueA(buf.data(), (std::string(table) + key).c_str(), &v, &vlen) || !v || vlen == 0) return {};
    return std::string(static_cast<const char*>(v), ::strnlen(static_cast<const char*>(v), vlen));
  };
  return value("CompanyName") == PV_MAKER_NAME && value("ProductName") == PV_PRODUCT_NAME;
}

// bz2 support comes from a separate library up to version 49 of tar32.
void TArchive::probeBz2() {
  if (version_[kTar] >= 50) {
    bz2Version_ = 65535;
    return;
  }
  HMODULE bz2 = ::LoadLibraryA("bz2lib.dll");
  if (!bz2) return;
  if (auto getVersion = entry<VersionFn>(bz2, "BZ2GetVersion")) bz2Version_ = getVersion();
  ::FreeLibrary(bz2);
}

TArchive::Library* TArchive::libraryOf(TArchiveMode mode) {
  Lib i;
  switch (mode) {
    case amLha: i = kLha; break;
    case amArj: i = kArj; break;
    case amZip: i = kZip; break;
    case amTar:
    case amGz: i = kTar; break;
    case amCab: i = kCab; break;
    case amRar: i = kRar; break;
    case amBga: i = kBga; break;
    default: return nullptr;
  }
  return libs_[i].module ? &libs_[i] : nullptr;
}

HWND TArchive::ownerHandle() {
  pv::win::Form* form = owner();
  if (!form) return nullptr;
  form->createHandle();
  return form->handle();
}

// ---------------------------------------------------------------- mode and settings

void TArchive::ResolveArcMode() {
  if (mode_ != amAuto) {
    arcMode_ = mode_;
    return;
  }
  static constexpr std::pair<TArchiveMode, Lib> kAsk[] = {{amLha, kLha}, {amZip, kZip}, {amArj, kArj},
                                                          {amCab, kCab}, {amRar, kRar}, {amBga, kBga}};
  const Resolution r = resolveAuto(arcFile_, bz2Version_, [this](TArchiveMode m) {
    for (const auto& [mode, lib] : kAsk)
      if (mode == m) return libs_[lib].checkArchive && libs_[lib].checkArchive(arcFile_.c_str(), 0) != FALSE;
    return false;
  });
  arcMode_ = r.mode;
  exeExt_ = r.exeExt;
}

void TArchive::SetMode(TArchiveMode value) {
  CloseArchive();  // with the library of the old mode
  mode_ = value;
  ResolveArcMode();
}

void TArchive::SetBackGround(bool value) {
  if (value == backGround_) return;
  backGround_ = value;
  for (Library& lib : libs_)
    if (lib.setBackGroundMode) lib.setBackGroundMode(value);
}

void TArchive::SetCursor(bool value) {
  if (value == cursor_) return;
  cursor_ = value;
  for (Library& lib : libs_)
    if (lib.setCursorMode) lib.setCursorMode(value);
}

// ---------------------------------------------------------------- commands

std::int32_t TArchive::Execute(const std::string& cmdLine, char* outBuf, std::uint32_t outSize) {
  Library* lib = libraryOf(arcMode_);
  if (!lib || !lib->command) return -1;
  bool ownerSet = false;
  if (!noMessage_ && lib->setOwnerWindow) ownerSet = lib->setOwnerWindow(msgWnd_) != FALSE;
  const std::int32_t result = lib->command(ownerHandle(), cmdLine.c_str(), outBuf, outSize);
  if (ownerSet) lib->clearOwnerWindow();
  return result;
}

bool TArchive::GetRunning() {
  Library* lib = libraryOf(arcMode_);
  if (!lib || !lib->getRunning) return true;
  return lib->getRunning() != FALSE;
}

bool TArchive::CanExecute() {
  Library* lib = libraryOf(arcMode_);
  return lib && lib->command;
}

bool TArchive::CanTellRunning() {
  Library* lib = libraryOf(arcMode_);
  return lib && lib->getRunning;
}

std::int32_t TArchive::CloseArchive() {
  if (!arc_) return -1;
  Library* lib = libraryOf(arcMode_);
  const std::int32_t result = lib && lib->closeArchive ? lib->closeArchive(arc_) : -1;
  arc_ = nullptr;
  return result;
}

bool TArchive::OpenArchive(const std::string& arcFile, std::uint32_t mode) {
  CloseArchive();
  arcDate_ = 0;  // the cached date belonged to the archive opened before
  arcFile_ = arcFile;
  ResolveArcMode();
  Library* lib = libraryOf(arcMode_);
  if (!lib || !lib->openArchive) return false;
  arc_ = lib->openArchive(ownerHandle(), arcFile_.c_str(), mode);
  return arc_ != nullptr;
}

std::int32_t TArchive::FindFirst(const std::string& wildName) {
  Library* lib = libraryOf(arcMode_);
  if (!arc_ || !lib || !lib->findFirst) return -1;
  return lib->findFirst(arc_, wildName.c_str(), &info_);
}

std::int32_t TArchive::FindNext() {
  Library* lib = libraryOf(arcMode_);
  if (!arc_ || !lib || !lib->findNext) return -1;
  return lib->findNext(arc_, &info_);
}

// ---------------------------------------------------------------- member record

std::string TArchive::FindName() const { return fieldText(info_.szFileName, sizeof info_.szFileName); }
std::string TArchive::FindAttribute() const { return fieldText(info_.szAttribute, sizeof info_.szAttribute); }
std::string TArchive::FindMode() const { return fieldText(info_.szMode, sizeof info_.szMode); }

TDateTime TArchive::FindDate() {
  const std::uint32_t dos = (std::uint32_t{info_.wDate} << 16) | info_.wTime;
  if (auto v = dosDateTimeToDateTime(dos)) return *v;
  if (arcDate_ != 0) return arcDate_;
  // The archive file's last write, as the local MS-DOS date-time.
  std::uint32_t fileDos = 0xFFFFFFFF;  // an impossible value: the conversion below fails
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA(arcFile_.c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    ::FindClose(h);
    FILETIME local;
    WORD d = 0, t = 0;
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && ::FileTimeToLocalFileTime(&fd.ftLastWriteTime, &local) &&
        ::FileTimeToDosDateTime(&local, &d, &t))
      fileDos = (std::uint32_t{d} << 16) | t;
  }
  auto v = dosDateTimeToDateTime(fileDos);
  if (!v) throw pv::Error("日付が正しくありません");
  arcDate_ = *v;
  return arcDate_;
}

// ---------------------------------------------------------------- message window

LRESULT CALLBACK TArchive::msgWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TArchive*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcA(hwnd, msg, wp, lp);
  return self->handleMessage(msg, wp, lp);
}

LRESULT TArchive::handleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != ArcExtractMessage()) return ::DefWindowProcA(msgWnd_, msg, wp, lp);
  std::int32_t result = 0;
  if (!onExtract_) return result;
  // Nothing may unwind into the library that sent the message.
  try {
    onExtract_(this, static_cast<std::int32_t>(wp), reinterpret_cast<PExtractingInfo>(lp), result);
  } catch (...) {
    pv::win::app().handleException();
  }
  return result;
}

}  // namespace pv::arc
