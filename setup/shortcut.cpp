#include "setup/shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <cstring>

namespace pv::setup {
namespace {

// Releases a COM interface at scope end.
template <class T>
struct ComPtr {
  T* p = nullptr;
  ~ComPtr() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
};

// Item list of a special folder, freed with the shell's allocator.
struct ItemList {
  LPITEMIDLIST p = nullptr;
  ~ItemList() {
    if (p) CoTaskMemFree(p);
  }
};

// The folder's path as the shell names it for parsing; empty when it has none.
std::string displayPath(int specialFolder) {
  ComPtr<IShellFolder> desktop;
  if (FAILED(SHGetDesktopFolder(&desktop.p))) return {};
  ItemList items;
  if (FAILED(SHGetSpecialFolderLocation(GetDesktopWindow(), specialFolder, &items.p))) return {};
  STRRET name{};
  name.uType = STRRET_CSTR;
  if (FAILED(desktop->GetDisplayNameOf(items.p, SHGDN_FORPARSING, &name))) return {};
  switch (name.uType) {
    case STRRET_WSTR: {
      std::string out;
      int n = WideCharToMultiByte(CP_ACP, 0, name.pOleStr, -1, nullptr, 0, nullptr, nullptr);
      if (n > 1) {
        out.resize(static_cast<std::size_t>(n));
        WideCharToMultiByte(CP_ACP, 0, name.pOleStr, -1, &out[0], n, nullptr, nullptr);
        out.resize(static_cast<std::size_t>(n - 1));
      }
      CoTaskMemFree(name.pOleStr);
      return out;
    }
    case STRRET_CSTR: return std::string(name.cStr, strnlen(name.cStr, MAX_PATH));
    default: return {};
  }
}

}  // namespace

int ShortcutFolder(int bit, bool common) {
  switch (bit) {
    case 1: return common ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
    case 2: return common ? CSIDL_COMMON_STARTUP : CSIDL_STARTUP;
    case 4: return common ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY;
    case 8: return CSIDL_SENDTO;
    default: return 0;
  }
}

void CreateShortcut(const std::string& folder, const std::string& target, const std::string& linkName,
                    int specialFolder) {
  ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link.p))))
    return;
  link->SetWorkingDirectory(folder.c_str());
  link->SetPath((folder + "\\" + target).c_str());
  link->SetDescription(linkName.c_str());
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p)))) return;
  std::string dir = displayPath(specialFolder);
  if (dir.empty()) return;
  std::string path = dir + "\\" + linkName + ".lnk";
  WCHAR wide[MAX_PATH] = {};
  if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) == 0) return;
  file->Save(wide, TRUE);
}

void DeleteShortcut(const std::string& linkName, int specialFolder) {
  ItemList items;
  if (FAILED(SHGetSpecialFolderLocation(GetDesktopWindow(), specialFolder, &items.p))) return;
  char dir[MAX_PATH] = {};
  if (!SHGetPathFromIDListA(items.p, dir)) return;
  DeleteFileA((std::string(dir) + "\\" + linkName + ".lnk").c_str());
}

}  // namespace pv::setup
