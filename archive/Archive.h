// TArchive: the non-visual component between the program and the archiver
// libraries. It binds the libraries by name once its form has loaded, reports their
// versions, decides which library serves the archive at hand (ArcMode), runs command
// lines on it, tells whether it is busy and forwards its "wm_arcextract"
// notifications to OnExtract. It owns the libraries and frees them when destroyed.
//
// Everything runs on the GUI thread; there are no locks.
#pragma once
#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "archive/Archive_wm.h"
#include "core/arcmode.h"
#include "core/dosdate.h"
#include "win/window.h"

namespace pv::arc {

using pv::TDateTime;  // days since 1899-12-30 plus the fraction of the day

// Libraries not to load; ordinal n is bit n of TArchiveOptions and names the library
// in the binding order.
enum TArchiveOption : std::uint8_t {
  aoNoInstLha = 0,
  aoNoInstArj = 1,
  aoNoInstZip = 2,
  aoNoInstTar = 3,
  aoNoInstCab = 4,
  aoNoInstRar = 5,
  aoNoInstBga = 6,
};

// A set of TArchiveOption, bit n standing for the option of ordinal n.
class TArchiveOptions {
 public:
  constexpr TArchiveOptions() = default;
  constexpr TArchiveOptions(std::initializer_list<TArchiveOption> options) {
    for (TArchiveOption o : options) bits_ = static_cast<std::uint8_t>(bits_ | (1u << o));
  }
  static constexpr TArchiveOptions fromBits(std::uint8_t bits) {
    TArchiveOptions s;
    s.bits_ = static_cast<std::uint8_t>(bits & 0x7F);
    return s;
  }
  constexpr bool contains(TArchiveOption o) const { return (bits_ >> o) & 1u; }
  constexpr std::uint8_t bits() const { return bits_; }
  friend constexpr bool operator==(TArchiveOptions a, TArchiveOptions b) { return a.bits_ == b.bits_; }
  friend constexpr bool operator!=(TArchiveOptions a, TArchiveOptions b) { return a.bits_ != b.bits_; }

 private:
  std::uint8_t bits_ = 0;
};

// One archive member as the libraries' FindFirst/FindNext report it (little-endian,
// packed: the name field leaves the text fields at unaligned offsets).
#pragma pack(push, 1)
struct TIndividualInfo {
  std::uint32_t dwOriginalSize;
  std::uint32_t dwCompressedSize;
  std::uint32_t dwCRC;
  std::uint32_t uFlag;
  std::uint32_t uOSType;
  std::uint16_t wRatio;
  std::uint16_t wDate;
  std::uint16_t wTime;
  char szFileName[513];
  char dummy1[3];
  char szAttribute[8];
  char szMode[8];
};
#pragma pack(pop)
static_assert(sizeof(TIndividualInfo) == 558, "member record size");
static_assert(offsetof(TIndividualInfo, wRatio) == 20 && offsetof(TIndividualInfo, wDate) == 22 &&
                  offsetof(TIndividualInfo, wTime) == 24 && offsetof(TIndividualInfo, szFileName) == 26 &&
                  offsetof(TIndividualInfo, szAttribute) == 542 && offsetof(TIndividualInfo, szMode) == 550,
              "member record layout");

using HARC = HANDLE;

class TArchive : public pv::win::Component {
 public:
  // Creates the message window; nothing is bound until Loaded. The owning form
  // hands over owner and name (setOwner) and the described properties first.
  TArchive();
  ~TArchive() override;

  // Properties of a form description: Mode (amAuto..amBga), Options ("[aoNoInstArj,
  // aoNoInstZip]"), BackGround, Cursor, NoMessage (True/False).
  void setProperty(std::string_view name, std::string_view value) override;
  void loaded() override { Loaded(); }
  // Binds the libraries, once the owner form and this component are built.
  void Loaded();

  // Command line on the library of ArcMode; -1 when no library serves it.
  std::int32_t Execute(const std::string& cmdLine, char* outBuf = nullptr, std::uint32_t outSize = 0);
  // True while the library of ArcMode is busy, and when there is no such library or
  // it cannot tell: a caller waiting for False must bound its wait.
  bool GetRunning();
  // Whether the library of ArcMode has the command entry, and the GetRunning entry: a
  // caller waits on GetRunning only when it can tell.
  bool CanExecute();
  bool CanTellRunning();
  // Closes the open archive: the library's result, -1 when none is open.
  std::int32_t CloseArchive();
  // Sets ArcMode (and for amAuto ExeExt) from Mode and ArcFile.
  void ResolveArcMode();

  // Opens arcFile for reading its members, closing any archive open before. ArcFile
  // becomes arcFile and the mode is resolved again (for amAuto the library that
  // recognises it). True when the library handed out an archive handle.
  bool OpenArchive(const std::string& arcFile, std::uint32_t mode = 0);
  // Fill the member record from the open archive: 0 = a member, otherwise the
  // library's code; -1 without an open archive or entry.
  std::int32_t FindFirst(const std::string& wildName);
  std::int32_t FindNext();

  // Published properties.
  std::uint16_t UnLhaVersion() const { return version_[kLha]; }
  std::uint16_t UnArjVersion() const { return version_[kArj]; }
  std::uint16_t UnZipVersion() const { return version_[kZip]; }
  std::uint16_t TarVersion() const { return version_[kTar]; }
  std::uint16_t Bz2Version() const { return bz2Version_; }
  std::uint16_t CabVersion() const { return version_[kCab]; }
  std::uint16_t RarVersion() const { return version_[kRar]; }
  std::uint16_t BgaVersion() const { return version_[kBga]; }
  std::uint16_t UnLhaSubVersion() const { return unLhaSubVersion_; }
  // True when the bound LHA library is the one shipped with this program (its version
  // resource names our maker and product), so it understands our own switches.
  bool UnLhaIsOurs() const;
  std::uint16_t UnArjSubVersion() const { return unArjSubVersion_; }
  std::uint32_t ArcOriginalSize() const { return arcOriginalSize_; }
  std::uint32_t ArcCompressedSize() const { return arcCompressedSize_; }
  bool BackGround() const { return backGround_; }
  void SetBackGround(bool value);
  bool Cursor() const { return cursor_; }
  void SetCursor(bool value);
  TArchiveMode Mode() const { return mode_; }
  void SetMode(TArchiveMode value);
  TArchiveOptions Options() const { return options_; }
  void SetOptions(TArchiveOptions value) { options_ = value; }  // read only by Loaded
  TArchiveMode ArcMode() const { return arcMode_; }
  std::string FindName() const;
  // The member's date; for an impossible date the archive file's own date. Throws
  // pv::Error when that cannot be had either.
  TDateTime FindDate();
  std::uint32_t FindOriginalSize() const { return info_.dwOriginalSize; }
  std::uint32_t FindCompressedSize() const { return info_.dwCompressedSize; }
  std::uint32_t FindCRC() const { return info_.dwCRC; }
  std::uint32_t FindOSType() const { return info_.uOSType; }
  std::uint16_t FindRatio() const { return info_.wRatio; }
  std::string FindAttribute() const;
  std::string FindMode() const;
  bool ExeExt() const { return exeExt_; }
  bool NoMessage() const { return noMessage_; }
  void SetNoMessage(bool value) { noMessage_ = value; }
  const TArcExtractEvent& OnExtract() const { return onExtract_; }
  void SetOnExtract(TArcExtractEvent handler) { onExtract_ = std::move(handler); }

  // Not published.
  const std::string& ArcFile() const { return arcFile_; }
  HWND MessageWindow() const { return msgWnd_; }

 protected:
  // Test access to the inner state that no operation of the program fills.
  TIndividualInfo& memberRecord() { return info_; }
  void setArcFile(const std::string& file) { arcFile_ = file; }

 private:
  // Library indexes, also the binding order and the option ordinals.
  enum Lib { kLha, kArj, kZip, kTar, kCab, kRar, kBga, kLibCount };

  using CommandFn = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
  using VersionFn = WORD(WINAPI*)();
  using RunningFn = BOOL(WINAPI*)();
  using ModeFn = BOOL(WINAPI*)(BOOL);
  using OpenArchiveFn = HARC(WINAPI*)(HWND, LPCSTR, DWORD);
  using CloseArchiveFn = int(WINAPI*)(HARC);
  using FindFirstFn = int(WINAPI*)(HARC, LPCSTR, void*);
  using FindNextFn = int(WINAPI*)(HARC, void*);
  using CheckArchiveFn = BOOL(WINAPI*)(LPCSTR, int);
  using ConfigDialogFn = BOOL(WINAPI*)(HWND, LPSTR, int);
  using SetOwnerWindowFn = BOOL(WINAPI*)(HWND);
  using ClearOwnerWindowFn = BOOL(WINAPI*)();
  // The time is 32-bit seconds since 1970.
  using ExtractMemFn = int(WINAPI*)(HWND, LPCSTR, LPBYTE, DWORD, DWORD*, LPWORD, LPDWORD);
  using GetArchiveTypeFn = int(WINAPI*)(LPCSTR);

  // A bound library: its module and one slot per entry, null when missing.
  struct Library {
    HMODULE module = nullptr;
    CommandFn command = nullptr;
    RunningFn getRunning = nullptr;
    ModeFn setBackGroundMode = nullptr;
    ModeFn setCursorMode = nullptr;
    OpenArchiveFn openArchive = nullptr;
    CloseArchiveFn closeArchive = nullptr;
    FindFirstFn findFirst = nullptr;
    FindNextFn findNext = nullptr;
    CheckArchiveFn checkArchive = nullptr;
    ConfigDialogFn configDialog = nullptr;
    SetOwnerWindowFn setOwnerWindow = nullptr;
    ClearOwnerWindowFn clearOwnerWindow = nullptr;
    ExtractMemFn extractMem = nullptr;
    GetArchiveTypeFn getArchiveType = nullptr;
  };

  void bind(Lib lib);
  void probeBz2();
  // The library serving ArcMode, or null (amAuto, or not loaded).
  Library* libraryOf(TArchiveMode mode);
  HWND ownerHandle();

  static LRESULT CALLBACK msgWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT handleMessage(UINT msg, WPARAM wp, LPARAM lp);

  std::array<Library, kLibCount> libs_{};
  std::array<std::uint16_t, kLibCount> version_{};
  std::uint16_t bz2Version_ = 0;
  std::uint16_t unLhaSubVersion_ = 0;
  std::uint16_t unArjSubVersion_ = 0;
  std::uint32_t arcOriginalSize_ = 0;
  std::uint32_t arcCompressedSize_ = 0;
  bool backGround_ = false;
  bool cursor_ = false;
  TArchiveMode mode_ = amAuto;
  TArchiveOptions options_;
  TArchiveMode arcMode_ = amAuto;
  bool exeExt_ = false;
  bool noMessage_ = false;
  TArcExtractEvent onExtract_;

  std::string arcFile_;
  HARC arc_ = nullptr;
  TIndividualInfo info_{};
  TDateTime arcDate_ = 0;  // the archive file's date, once FindDate needed it
  HWND msgWnd_ = nullptr;
};

}  // namespace pv::arc
