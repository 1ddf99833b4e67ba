// The parts of the definition settings dialog that need no window: where the
// dialog goes, how a typed extension is stored, and how shell paths are split.
// All paths are Shift-JIS and are split by whole characters (core/path.h).
#pragma once
#include <string>
#include <string_view>

namespace pv::envedit {

struct Placement {
  int left;
  int top;
};

// Position of a width x height dialog opened with the mouse at (mouseX, mouseY):
// a quarter of its height above the pointer and centred on it horizontally, then
// moved onto a screenW x screenH screen (top/left edge first, then bottom/right).
Placement placeNearMouse(int mouseX, int mouseY, int width, int height, int screenW, int screenH);

// The list entry for a typed extension: a point in front unless there is one,
// single-byte A-Z lowered. Empty text gives an empty result (nothing to add).
std::string extensionEntry(std::string_view typed);

// The folder of a file without its trailing backslash, except where the backslash
// is all that is left of a root ("C:\Work\a.exe" -> "C:\Work", "C:\a.exe" -> "C:\").
std::string fileDir(std::string_view path);

// The list entry for a dropped item: a folder's last name with a backslash, a
// file's name.
std::string dropEntry(std::string_view path, bool isFolder);

}  // namespace pv::envedit
