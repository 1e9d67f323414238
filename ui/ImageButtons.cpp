#include "ImageButtons.h"

#include "Globals.h"
#include "resource.h"

#include <commctrl.h>
#include <objidl.h>
// The GDI+ wrapper needs min/max, which NOMINMAX takes away.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

const ToolButton toolButtons[] = {
    {IDC_ADD, IDB_ADD, L"Add"},
    {IDC_REMOVE, IDB_REMOVE, L"Remove"},
    {IDC_CLEAR, IDB_CLEAR, L"Clear"},
    {IDC_CONVERT, IDB_CONVERT, L"Convert"},
    {0, 0, nullptr},
};

std::map<int32_t, Gdiplus::Image*> buttonImages;

namespace {

// A movable memory block, freed unless handed over.
class ScopedGlobal {
public:
    explicit ScopedGlobal(HGLOBAL h) : h_(h) {}
    ~ScopedGlobal() {
        if (h_) GlobalFree(h_);
    }
    ScopedGlobal(const ScopedGlobal&) = delete;
    ScopedGlobal& operator=(const ScopedGlobal&) = delete;
    HGLOBAL get() const { return h_; }

private:
    HGLOBAL h_;
};

// A picture decoded into a bitmap of its own, so that it no longer reads through the stream whose
// memory is freed right after loading. Premultiplied alpha keeps the edges blending as before.
Gdiplus::Image* ownCopy(Gdiplus::Image& loaded) {
    const UINT w = loaded.GetWidth();
    const UINT h = loaded.GetHeight();
    auto* copy = new Gdiplus::Bitmap(static_cast<INT>(w), static_cast<INT>(h), PixelFormat32bppPARGB);
    if (copy->GetLastStatus() != Gdiplus::Ok) {
        delete copy;
        return nullptr;
    }
    Gdiplus::Graphics g(copy);
    g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    if (g.DrawImage(&loaded, 0, 0, static_cast<INT>(w), static_cast<INT>(h)) != Gdiplus::Ok) {
        delete copy;
        return nullptr;
    }
    return copy;
}

}  // namespace

Gdiplus::Image* loadPngImage(HRSRC resource, HINSTANCE instance) {
    const DWORD size = SizeofResource(instance, resource);
    if (size == 0) return nullptr;
    HGLOBAL loaded = LoadResource(instance, resource);
    if (!loaded) return nullptr;
    const void* bytes = LockResource(loaded);
    if (!bytes) return nullptr;

    ScopedGlobal block(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block.get()) return nullptr;
    void* copy = GlobalLock(block.get());
    if (!copy) return nullptr;
    memcpy(copy, bytes, size);

    Gdiplus::Image* image = nullptr;
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block.get(), FALSE, &stream) == S_OK) {
        auto* fromStream = new Gdiplus::Image(stream);
        if (fromStream->GetLastStatus() == Gdiplus::Ok) {
            image = ownCopy(*fromStream);
            delete fromStream;
        } else {
            // An unreadable picture still counts as an image: its button gets a plain face.
            // It holds nothing, so it does not depend on the block either.
            image = fromStream;
        }
        stream->Release();
    }
    GlobalUnlock(block.get());
    return image;
}

bool loadButtonImages(HINSTANCE instance) {
    g_hInstance = instance;
    for (const ToolButton* row = toolButtons; row->controlId != 0; ++row) {
        HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(row->pngId), L"PNG");
        if (!found) continue;
        Gdiplus::Image* image = loadPngImage(found, instance);
        if (!image) continue;
        Gdiplus::Image*& slot = buttonImages[row->controlId];
        delete slot;  // loading twice must not leak the first picture
        slot = image;
    }
    return true;
}

void deleteButtonImages() {
    for (auto& entry : buttonImages) delete entry.second;
    buttonImages.clear();
}

void createToolTips() {
    g_hToolTip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, g_hMainWnd, nullptr, g_hInstance,
                                 nullptr);
    if (!g_hToolTip) return;
    for (const ToolButton* row = toolButtons; row->controlId != 0; ++row) {
        HWND button = GetDlgItem(g_hMainWnd, row->controlId);
        if (!button) continue;
        TOOLINFOW info = {};
        info.cbSize = sizeof(info);
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = g_hMainWnd;
        info.uId = reinterpret_cast<UINT_PTR>(button);
        info.lpszText = const_cast<wchar_t*>(row->tipText);
        SendMessageW(g_hToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

void drawImageButton(const DRAWITEMSTRUCT* item) {
    if (item->CtlType != ODT_BUTTON) return;
    auto found = buttonImages.find(static_cast<int32_t>(item->CtlID));
    if (found == buttonImages.end() || !found->second) return;
    Gdiplus::Image* image = found->second;

    UINT w = image->GetWidth();
    UINT h = image->GetHeight();
    if (image->GetLastStatus() != Gdiplus::Ok) w = h = 0;
    // Unsigned halving: a picture larger than its button lands far outside it and is not seen.
    UINT dx = static_cast<UINT>(item->rcItem.right - item->rcItem.left - static_cast<LONG>(w)) >> 1;
    UINT dy = static_cast<UINT>(item->rcItem.bottom - item->rcItem.top - static_cast<LONG>(h)) >> 1;
    if ((item->itemAction & ODA_SELECT) || (item->itemState & ODS_SELECTED)) {
        ++dx;
        ++dy;
    }

    FillRect(item->hDC, &item->rcItem, GetSysColorBrush(COLOR_BTNFACE));
    Gdiplus::Graphics graphics(item->hDC);
    graphics.DrawImage(image, static_cast<INT>(item->rcItem.left + static_cast<INT>(dx)),
                       static_cast<INT>(item->rcItem.top + static_cast<INT>(dy)), static_cast<INT>(w),
                       static_cast<INT>(h));
}
