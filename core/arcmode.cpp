#include "core/arcmode.h"

#include "core/sjis.h"

namespace pv::arc {

namespace {

// Index of the dot that starts the extension of the last path element, or npos.
std::size_t extStart(std::string_view path) {
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += sjis::charLen(path, i)) {
    char c = path[i];
    if (c == '\\' || c == '/' || c == ':')
      dot = std::string_view::npos;  // a dot before a separator belongs to a folder
    else if (c == '.')
      dot = i;
  }
  return dot;
}

// Applied to .gz, .z and .bz2: a compressed tar keeps ".tar" before them.
TArchiveMode innerTest(std::string_view arcFile) {
  return lowerExt(stripExt(arcFile)) == ".tar" ? amTar : amGz;
}

}  // namespace

std::string lowerExt(std::string_view path) {
  std::size_t dot = extStart(path);
  if (dot == std::string_view::npos) return {};
  return sjis::lowerAscii(path.substr(dot));
}

std::string_view stripExt(std::string_view path) {
  std::size_t dot = extStart(path);
  return dot == std::string_view::npos ? path : path.substr(0, dot);
}

Resolution resolveAuto(std::string_view arcFile, std::uint16_t bz2Version, const AcceptsFn& accepts) {
  const std::string ext = lowerExt(arcFile);
  const bool exeExt = ext == ".exe";

  // A library that knows the file wins over its name; LHA is asked first.
  if (accepts) {
    static constexpr TArchiveMode kAskOrder[] = {amLha, amZip, amArj, amCab, amRar, amBga};
    for (TArchiveMode m : kAskOrder)
      if (accepts(m)) return {m, exeExt};
  }

  TArchiveMode mode = amAuto;
  if (ext == ".lzh") mode = amLha;
  else if (ext == ".arj") mode = amArj;
  else if (ext == ".zip") mode = amZip;
  else if (ext == ".cab") mode = amCab;
  else if (ext == ".rar") mode = amRar;
  else if (ext == ".gza" || ext == ".bza") mode = amBga;
  else if (ext == ".tar" || ext == ".tgz" || ext == ".taz") mode = amTar;
  else if (ext == ".gz" || ext == ".z") mode = innerTest(arcFile);
  else if (ext == ".bz2") mode = bz2Version == 0 ? amAuto : innerTest(arcFile);
  return {mode, exeExt};
}

}  // namespace pv::arc
