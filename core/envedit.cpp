#include "core/envedit.h"

#include "core/path.h"
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

std::string fileDir(std::string_view path) {
  std::string dir = path::dirPart(path);
  // Keep the backslash of "C:\" and "\"; drop it after a folder name.
  if (dir.size() > 1 && dir.back() == '\\') {
    std::string_view rest(dir.data(), dir.size() - 1);
    if (!sjis::endsWithChar(rest, '\\') && !sjis::endsWithChar(rest, ':')) dir.pop_back();
  }
  return dir;
}

std::string dropEntry(std::string_view path, bool isFolder) {
  std::string name = path::namePart(path);
  if (isFolder) name += '\\';
  return name;
}

}  // namespace pv::envedit
