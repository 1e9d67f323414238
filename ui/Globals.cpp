#include "Globals.h"

HINSTANCE g_hInstance = nullptr;
HWND g_hMainWnd = nullptr;
HICON g_hIcon = nullptr;
HWND g_hToolTip = nullptr;
ConvertCore* g_core = nullptr;
VideoPreset* g_presets = nullptr;
