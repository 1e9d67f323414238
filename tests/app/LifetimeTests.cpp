#include "App.h"
#include "Globals.h"
#include "ImageButtons.h"
#include "VideoPreset.h"

#include <gtest/gtest.h>

namespace {

TEST(Lifetime, StartUpResetsTheSharedValuesAndMakesTheProvider) {
    // Whatever was there before must not survive the start: the update check hands g_hMainWnd on.
    int junk = 0;
    g_hInstance = reinterpret_cast<HINSTANCE>(&junk);
    g_hMainWnd = reinterpret_cast<HWND>(&junk);
    g_hIcon = reinterpret_cast<HICON>(&junk);
    g_hToolTip = reinterpret_cast<HWND>(&junk);
    g_core = reinterpret_cast<ConvertCore*>(&junk);
    g_presets = nullptr;

    EXPECT_TRUE(appStartup());
    EXPECT_EQ(g_hInstance, nullptr);
    EXPECT_EQ(g_hMainWnd, nullptr);
    EXPECT_EQ(g_hIcon, nullptr);
    EXPECT_EQ(g_hToolTip, nullptr);
    EXPECT_EQ(g_core, nullptr);
    ASSERT_NE(g_presets, nullptr);
    EXPECT_STREQ(g_presets->extension(), L"mp3");
    EXPECT_EQ(g_presets->presetCount(), 1);
    appShutdown();
}

TEST(Lifetime, ShutDownDisposesOfEveryButtonImageAndGdiplusStartsAgain) {
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        appStartup();
        loadButtonImages(GetModuleHandleW(nullptr));
        EXPECT_EQ(buttonImages.size(), 4u) << "the pictures need GDI+ running";
        appShutdown();
        EXPECT_TRUE(buttonImages.empty());
    }
}

}  // namespace
