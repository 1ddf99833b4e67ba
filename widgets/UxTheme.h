// Run-time binding of the theme library uxtheme.dll. The program must still start
// and draw classically where the library is missing, so nothing links against it:
// load() resolves every entry point by name and leaves the missing ones null.
#pragma once
#include <windows.h>
#include <uxtheme.h>

namespace pv::uxtheme {

// The entry points, in the order they are resolved.
#define PV_UXTHEME_ENTRY_POINTS(X)                                                                        \
  X(OpenThemeData) X(CloseThemeData) X(DrawThemeBackground) X(DrawThemeText)                              \
  X(GetThemeBackgroundContentRect) X(GetThemeBackgroundExtent) X(GetThemePartSize) X(GetThemeTextExtent)  \
  X(GetThemeTextMetrics) X(GetThemeBackgroundRegion) X(HitTestThemeBackground) X(DrawThemeEdge)           \
  X(DrawThemeIcon) X(IsThemePartDefined) X(IsThemeBackgroundPartiallyTransparent) X(GetThemeColor)        \
  X(GetThemeMetric) X(GetThemeString) X(GetThemeBool) X(GetThemeInt) X(GetThemeEnumValue)                 \
  X(GetThemePosition) X(GetThemeFont) X(GetThemeRect) X(GetThemeMargins) X(GetThemeIntList)               \
  X(GetThemePropertyOrigin) X(SetWindowTheme) X(GetThemeFilename) X(GetThemeSysColor)                     \
  X(GetThemeSysColorBrush) X(GetThemeSysBool) X(GetThemeSysSize) X(GetThemeSysFont) X(GetThemeSysString)  \
  X(GetThemeSysInt) X(IsThemeActive) X(IsAppThemed) X(GetWindowTheme) X(EnableThemeDialogTexture)         \
  X(IsThemeDialogTextureEnabled) X(GetThemeAppProperties) X(SetThemeAppProperties) X(GetCurrentThemeName) \
  X(GetThemeDocumentationProperty) X(DrawThemeParentBackground) X(EnableTheming)

// One pointer per entry point, null until resolved: pv::uxtheme::OpenThemeData(...).
#define PV_UXTHEME_DECLARE(name) extern decltype(&::name) name;
PV_UXTHEME_ENTRY_POINTS(PV_UXTHEME_DECLARE)
#undef PV_UXTHEME_DECLARE

constexpr int kEntryPointCount = 47;

// The names above, in resolving order (for diagnostics and tests).
extern const char* const kEntryPointNames[kEntryPointCount];

// Module handle of uxtheme.dll; null while not loaded.
HMODULE library();

// Whether a system reporting this platform and version gets the library: the NT
// family from 5.x on, and only with a minor version above 0 (so 5.0 and 6.0 do not).
constexpr bool wantsLibrary(DWORD platformId, DWORD major, DWORD minor) {
  return platformId == VER_PLATFORM_WIN32_NT && major >= 5 && minor > 0;
}

// Once at program start, before any window exists. Does nothing when the system
// fails the version test or the library cannot be loaded.
void load();
// Once at program end (also run by the binding itself at exit): frees the library
// and clears the entry points.
void unload();

// Whether controls draw themed right now: the library is loaded, a theme is
// active and the application is themed. Asked afresh at every use.
bool useThemes();

}  // namespace pv::uxtheme
