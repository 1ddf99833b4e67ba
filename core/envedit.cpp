#include "core/envedit.h"

#include "core/sjis.h"

namespace pv::envedit {

Placement placeNearMouse(int mouseX, int mouseY, int width, int height, int screenW, int screenH) {
  Placement p{mouseX - width / 2, mouseY - height / 4};
  if (p.top < 0) p.top = 0;
  if (p.left < 0) p.left = 0;
  if (p.top + height > screenH) p.top = screenH - height;
  if (p.left + width > screenW) p.left = screenW - width;
  return p;
}

std::string extensionEntry(std::string_view typed) {
  if (typed.empty()) return {};
  std::string ext = typed.front() == '.' ? std::string(typed) : "." + std::string(typed);
  return sjis::lowerAscii(ext);
}

namespace {

// Index just past the last '\' or ':' (0 when there is none).
std::size_t nameStart(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); i += sjis::charLen(path, i))
    if (path[i] == '\\' || path[i] == ':') start = i + 1;
  return start;
}

}  // namespace

std::string filePath(std::string_view path) { return std::string(path.substr(0, nameStart(path))); }

std::string fileName(std::string_view path) { return std::string(path.substr(nameStart(path))); }

std::string fileDir(std::string_view path) {
  std::string dir = filePath(path);
  // Keep the backslash of "C:\" and "\"; drop it after a folder name.
  if (dir.size() > 1 && dir.back() == '\\') {
    std::string_view rest(dir.data(), dir.size() - 1);
    if (!sjis::endsWithChar(rest, '\\') && !sjis::endsWithChar(rest, ':')) dir.pop_back();
  }
  return dir;
}

std::string dropEntry(std::string_view path, bool isFolder) {
  std::string name = fileName(path);
  if (isFolder) name += '\\';
  return name;
}

}  // namespace pv::envedit
