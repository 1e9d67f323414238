// The entry: the update check, then the main window, between start-up and shut-down.
// There is no message loop here: the modal dialogs run the only ones.
#include "App.h"
#include "Globals.h"
#include "ImageButtons.h"
#include "MainWindow.h"
#include "UpdateCheck.h"
#include "VideoPreset.h"
#include "resource.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    appStartup();
    if (!checkForUpdate()) {
        loadButtonImages(instance);
        int mainTemplate = g_presets->presetCount() > 1 ? IDD_MAIN_PRESETS : IDD_MAIN;
        DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(mainTemplate), nullptr, mainDlgProc, 0);
    }
    appShutdown();
    return 0;
}
