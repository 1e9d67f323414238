// Values shared by the windows, the entry and the update check for the life of the process.
#pragma once

#include <windows.h>

class ConvertCore;
class VideoPreset;

extern HINSTANCE g_hInstance;   // module holding the templates and pictures
extern HWND g_hMainWnd;
extern HICON g_hIcon;
extern HWND g_hToolTip;
extern ConvertCore* g_core;     // owned by the main window while it is open
extern VideoPreset* g_presets;  // made at start-up, never deleted
