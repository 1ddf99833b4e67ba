// The theme library binding under Wine: which systems get the library, that every
// entry point resolves, and that "themes in use" follows the library state.
#include <gtest/gtest.h>

#include <cstring>

#include "widgets/UxTheme.h"

namespace ux = pv::uxtheme;

TEST(UxThemeBinding, VersionTestLoadsOnlyWithAMinorVersionAboveZero) {
  constexpr DWORD nt = VER_PLATFORM_WIN32_NT, win9x = VER_PLATFORM_WIN32_WINDOWS;
  EXPECT_FALSE(ux::wantsLibrary(nt, 4, 0));
  EXPECT_FALSE(ux::wantsLibrary(nt, 4, 10));
  EXPECT_FALSE(ux::wantsLibrary(nt, 5, 0));   // 2000
  EXPECT_TRUE(ux::wantsLibrary(nt, 5, 1));    // XP
  EXPECT_TRUE(ux::wantsLibrary(nt, 5, 2));
  EXPECT_FALSE(ux::wantsLibrary(nt, 6, 0));   // Vista: the minor test stands alone
  EXPECT_TRUE(ux::wantsLibrary(nt, 6, 1));
  EXPECT_TRUE(ux::wantsLibrary(nt, 6, 2));
  EXPECT_FALSE(ux::wantsLibrary(nt, 10, 0));
  EXPECT_FALSE(ux::wantsLibrary(win9x, 4, 90));
}

TEST(UxThemeBinding, LoadResolvesEveryNameAndUnloadClearsThem) {
  // The Wine prefix reports Windows 7 (6.1), which passes the version test.
  ux::load();
  ASSERT_NE(ux::library(), nullptr);
  const HMODULE lib = ux::library();
  ux::load();  // a second call keeps the loaded library
  EXPECT_EQ(ux::library(), lib);

  // Every name resolves to what GetProcAddress gives for it, in the listed order.
  const void* resolved[] = {
#define PV_ADDRESS(name) reinterpret_cast<const void*>(ux::name),
      PV_UXTHEME_ENTRY_POINTS(PV_ADDRESS)
#undef PV_ADDRESS
  };
  static_assert(sizeof resolved / sizeof resolved[0] == ux::kEntryPointCount);
  for (int i = 0; i < ux::kEntryPointCount; ++i) {
    const void* expected = reinterpret_cast<const void*>(::GetProcAddress(lib, ux::kEntryPointNames[i]));
    EXPECT_EQ(resolved[i], expected) << ux::kEntryPointNames[i];
    EXPECT_NE(resolved[i], nullptr) << ux::kEntryPointNames[i] << " is missing from Wine's uxtheme.dll";
  }
  EXPECT_STREQ(ux::kEntryPointNames[0], "OpenThemeData");
  EXPECT_STREQ(ux::kEntryPointNames[45], "DrawThemeParentBackground");
  EXPECT_STREQ(ux::kEntryPointNames[46], "EnableTheming");

  EXPECT_EQ(ux::useThemes(), ux::IsThemeActive() && ux::IsAppThemed());

  ux::unload();
  EXPECT_EQ(ux::library(), nullptr);
  EXPECT_EQ(ux::OpenThemeData, nullptr);
  EXPECT_EQ(ux::IsThemeActive, nullptr);
  EXPECT_FALSE(ux::useThemes());
  ux::unload();  // harmless twice

  ux::load();  // leave it loaded for the control tests in this program
  EXPECT_NE(ux::library(), nullptr);
}
