// Owners of kernel, registry, module and GDI handles: each closes its handle in
// its destructor and cannot be copied, only moved. Window wrappers do not own.
#pragma once
#include <windows.h>
#include <utility>

namespace pv::win {

// Generic owner: Traits::invalid() is the empty value, Traits::close(h) frees it.
template <class Traits>
class Owned {
 public:
  using handle_type = typename Traits::handle_type;
  Owned() noexcept : h_(Traits::invalid()) {}
  explicit Owned(handle_type h) noexcept : h_(h) {}
  ~Owned() { reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& o) noexcept : h_(o.release()) {}
  Owned& operator=(Owned&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  handle_type get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Traits::invalid(); }
  handle_type release() noexcept { return std::exchange(h_, Traits::invalid()); }
  void reset(handle_type h = Traits::invalid()) noexcept {
    if (h_ != Traits::invalid()) Traits::close(h_);
    h_ = h;
  }
  // For APIs that fill a handle through a pointer.
  handle_type* put() noexcept { reset(); return &h_; }

 private:
  handle_type h_;
};

struct KernelTraits {  // CreateMutex, CreateEvent, OpenProcess, ...: null when empty
  using handle_type = HANDLE;
  static HANDLE invalid() noexcept { return nullptr; }
  static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FileTraits {  // CreateFile: INVALID_HANDLE_VALUE when empty
  using handle_type = HANDLE;
  static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FindTraits {
  using handle_type = HANDLE;
  static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { ::FindClose(h); }
};
struct ModuleTraits {
  using handle_type = HMODULE;
  static HMODULE invalid() noexcept { return nullptr; }
  static void close(HMODULE h) noexcept { ::FreeLibrary(h); }
};
struct RegKeyTraits {
  using handle_type = HKEY;
  static HKEY invalid() noexcept { return nullptr; }
  static void close(HKEY h) noexcept { ::RegCloseKey(h); }
};
struct GdiTraits {
  using handle_type = HGDIOBJ;
  static HGDIOBJ invalid() noexcept { return nullptr; }
  static void close(HGDIOBJ h) noexcept { ::DeleteObject(h); }
};
struct ImageListTraits {
  using handle_type = void*;  // HIMAGELIST without pulling <commctrl.h> here
  static void* invalid() noexcept { return nullptr; }
  static void close(void* h) noexcept;
};

using KernelHandle = Owned<KernelTraits>;
using FileHandle = Owned<FileTraits>;
using FindHandle = Owned<FindTraits>;
using Module = Owned<ModuleTraits>;
using GdiObject = Owned<GdiTraits>;
using ImageListHandle = Owned<ImageListTraits>;

}  // namespace pv::win
