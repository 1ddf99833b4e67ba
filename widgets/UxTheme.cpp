#include "widgets/UxTheme.h"

namespace pv::uxtheme {

#define PV_UXTHEME_DEFINE(name) decltype(&::name) name = nullptr;
PV_UXTHEME_ENTRY_POINTS(PV_UXTHEME_DEFINE)
#undef PV_UXTHEME_DEFINE

#define PV_UXTHEME_NAME(name) #name,
const char* const kEntryPointNames[kEntryPointCount] = {PV_UXTHEME_ENTRY_POINTS(PV_UXTHEME_NAME)};
#undef PV_UXTHEME_NAME

namespace {

HMODULE g_library = nullptr;

// Frees the library when the program ends, after main() has returned.
struct Unloader {
  ~Unloader() { unload(); }
} g_unloader;

template <class Fn>
void resolve(Fn& fn, const char* name) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(g_library, name)));
}

}  // namespace

HMODULE library() { return g_library; }

void load() {
  if (g_library) return;
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExA(&info)) return;
#pragma GCC diagnostic pop
  if (!wantsLibrary(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion)) return;
  g_library = ::LoadLibraryA("uxtheme.dll");
  if (!g_library) return;
#define PV_UXTHEME_RESOLVE(name) resolve(name, #name);
  PV_UXTHEME_ENTRY_POINTS(PV_UXTHEME_RESOLVE)
#undef PV_UXTHEME_RESOLVE
}

void unload() {
  if (!g_library) return;
  ::FreeLibrary(g_library);
  g_library = nullptr;
  // Nothing may call into a freed module.
#define PV_UXTHEME_CLEAR(name) name = nullptr;
  PV_UXTHEME_ENTRY_POINTS(PV_UXTHEME_CLEAR)
#undef PV_UXTHEME_CLEAR
}

bool useThemes() {
  // A library without these two cannot tell, so it counts as unthemed.
  if (!g_library || !IsThemeActive || !IsAppThemed) return false;
  return IsThemeActive() && IsAppThemed();
}

}  // namespace pv::uxtheme
