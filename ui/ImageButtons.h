// The owner-drawn picture buttons of the main window and their tooltips.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>

namespace Gdiplus {
class Image;
}

struct ToolButton {
    int32_t controlId;  // 0 ends the table
    uint32_t pngId;     // resource of type "PNG"
    const wchar_t* tipText;
};

extern const ToolButton toolButtons[];

// Control id -> picture. Owns the images; emptied by deleteButtonImages before GDI+ shuts down.
extern std::map<int32_t, Gdiplus::Image*> buttonImages;

// Also stores the module handle in g_hInstance. Needs GDI+ started.
bool loadButtonImages(HINSTANCE instance);
void deleteButtonImages();
// The found PNG resource as an image of its own (no tie to the resource copy), or null.
Gdiplus::Image* loadPngImage(HRSRC resource, HINSTANCE instance);

// Makes g_hToolTip, owned by g_hMainWnd, with one tool per button found there.
void createToolTips();
void drawImageButton(const DRAWITEMSTRUCT* item);
