#include "ImageButtons.h"
#include "UiTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <objidl.h>
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <memory>

namespace {

TEST(ButtonImages, EveryButtonHasItsPicture) {
    ASSERT_EQ(4u, buttonImages.size());
    for (const ToolButton* row = toolButtons; row->controlId; ++row) {
        SCOPED_TRACE(row->controlId);
        Gdiplus::Image* image = buttonImages[row->controlId];
        ASSERT_NE(nullptr, image);
        ASSERT_EQ(32u, image->GetWidth());
        ASSERT_EQ(32u, image->GetHeight());
    }
    // The pictures must not be all transparent: sample the centre of each.
    for (auto& entry : buttonImages) {
        Gdiplus::Color c;
        static_cast<Gdiplus::Bitmap*>(entry.second)->GetPixel(16, 16, &c);
        EXPECT_GT(c.GetA(), 0) << entry.first;
    }
}

TEST(ButtonImages, LoadingAgainReplacesAndDeletingEmpties) {
    deleteButtonImages();
    EXPECT_TRUE(buttonImages.empty());
    EXPECT_TRUE(loadButtonImages(GetModuleHandleW(nullptr)));
    EXPECT_TRUE(loadButtonImages(GetModuleHandleW(nullptr)));
    EXPECT_EQ(4u, buttonImages.size());
    EXPECT_EQ(GetModuleHandleW(nullptr), g_hInstance);
}

// A 54 x 41 button drawn into a bitmap we can read back, with a solid red 32 x 32 picture.
class ButtonDrawing : public testing::Test {
protected:
    static constexpr int testId = 4242;
    static constexpr int width = 54;
    static constexpr int height = 41;
    static constexpr COLORREF before = RGB(1, 2, 3);

    void SetUp() override {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        auto* red = new Gdiplus::Bitmap(32, 32, PixelFormat32bppARGB);
        Gdiplus::Graphics(red).Clear(Gdiplus::Color(255, 255, 0, 0));
        buttonImages[testId] = red;
    }
    void TearDown() override {
        delete buttonImages[testId];
        buttonImages.erase(testId);
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    void draw(UINT type, UINT id, UINT action, UINT state) {
        RECT all = {0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(before);
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
        DRAWITEMSTRUCT item = {};
        item.CtlType = type;
        item.CtlID = id;
        item.itemAction = action;
        item.itemState = state;
        item.hDC = dc_;
        item.rcItem = all;
        drawImageButton(&item);
    }
    // The smallest rectangle holding every red pixel, or an empty one.
    RECT redArea() const {
        RECT r = {width, height, 0, 0};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (GetPixel(dc_, x, y) == RGB(255, 0, 0)) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x + 1);
                    r.bottom = std::max<LONG>(r.bottom, y + 1);
                }
        return r;
    }

    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

TEST_F(ButtonDrawing, PictureIsCentredAndMovesWhenPressed) {
    const struct {
        const char* what;
        UINT action;
        UINT state;
        int x;
        int y;
    } cases[] = {
        {"up", ODA_DRAWENTIRE, 0, 11, 4},
        {"focus", ODA_FOCUS, ODS_FOCUS, 11, 4},
        {"pressed", ODA_SELECT, ODS_SELECTED, 12, 5},
        {"released", ODA_SELECT, 0, 12, 5},
        {"drawn whole while held", ODA_DRAWENTIRE, ODS_SELECTED, 12, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        draw(ODT_BUTTON, testId, c.action, c.state);
        const RECT r = redArea();
        EXPECT_EQ(c.x, r.left);
        EXPECT_EQ(c.y, r.top);
        EXPECT_EQ(c.x + 32, r.right);
        EXPECT_EQ(c.y + 32, r.bottom);
        EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc_, 0, 0)) << "the face is filled";
        EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc_, width - 1, height - 1));
    }
}

TEST_F(ButtonDrawing, OtherControlsAndButtonsWithoutPictureAreLeftAlone) {
    const struct {
        const char* what;
        UINT type;
        UINT id;
    } cases[] = {{"list box", ODT_LISTBOX, testId}, {"menu", ODT_MENU, testId}, {"no picture", ODT_BUTTON, 4243}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        draw(c.type, c.id, ODA_DRAWENTIRE, 0);
        EXPECT_EQ(before, GetPixel(dc_, 0, 0));
        EXPECT_EQ(before, GetPixel(dc_, 20, 20));
    }
}

}  // namespace
