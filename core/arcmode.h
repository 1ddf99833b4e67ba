// Which archiver library serves an archive file: the mode enumeration and the
// resolution by library question, extension table and inner extension.
// Portable (no <windows.h>) so that the table is tested natively.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace pv::arc {

// Ordinals are fixed: forms store them and each names one library.
enum TArchiveMode : std::uint8_t {
  amAuto = 0,  // still to be resolved: no library
  amLha = 1,   // unlha32.dll
  amArj = 2,   // unarj32j.dll
  amZip = 3,   // unzip32.dll
  amTar = 4,   // tar32.dll
  amCab = 5,   // cab32.dll
  amGz = 6,    // tar32.dll as well
  amRar = 7,   // unrar32.dll
  amBga = 8,   // bga32.dll
};

// Extension of the last path element of path, from its last dot on (dot included),
// with A-Z lowered; empty when that element has no dot. Path separators are '\',
// '/' and ':', found by whole Shift-JIS characters.
std::string lowerExt(std::string_view path);

// path without the extension lowerExt() sees (unchanged when there is none).
std::string_view stripExt(std::string_view path);

// Asked in turn for amLha, amZip, amArj, amCab, amRar, amBga: does the library of
// that mode accept the file as its archive? Never asked for amTar/amGz.
using AcceptsFn = std::function<bool(TArchiveMode)>;

struct Resolution {
  TArchiveMode mode;
  bool exeExt;  // the file name ends in ".exe"
};

// Resolution of an automatic mode for arcFile. accepts may be empty (no library bound).
Resolution resolveAuto(std::string_view arcFile, std::uint16_t bz2Version, const AcceptsFn& accepts);

}  // namespace pv::arc
