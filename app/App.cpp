// Start-up and shut-down of the process: GDI+, the process-wide values and the preset provider.
#include "App.h"
#include "Globals.h"
#include "ImageButtons.h"
#include "VideoPreset.h"

// objidl.h first: WIN32_LEAN_AND_MEAN leaves out what gdiplus.h needs from it.
#include <objidl.h>
#include <gdiplus.h>

namespace {

ULONG_PTR g_gdiplusToken = 0;
bool g_gdiplusStarted = false;

}  // namespace

bool appStartup() {
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    // A failed start only leaves the buttons without pictures.
    g_gdiplusStarted = Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr) == Gdiplus::Ok;

    g_hInstance = nullptr;
    g_hMainWnd = nullptr;
    g_hIcon = nullptr;
    g_hToolTip = nullptr;
    g_core = nullptr;
    g_presets = nullptr;

    // Lives until the process ends; nothing deletes it.
    g_presets = new Mp4Mp3;
    return true;
}

void appShutdown() {
    // Every image must be disposed of while GDI+ still runs.
    deleteButtonImages();
    if (g_gdiplusStarted) Gdiplus::GdiplusShutdown(g_gdiplusToken);
    g_gdiplusStarted = false;
}
