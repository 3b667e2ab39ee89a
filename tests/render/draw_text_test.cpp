// GDI text written into the software frame: placed by every flag relative to its measured
// extent (font metrics differ between systems, so placement is checked against the measure).
#include "render/render_device.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr int kW = 200, kH = 100;
constexpr uint32_t kInk = 0xFFFFFF;

class DrawTextTest : public testing::Test {
protected:
    // A window-less device drawing into its own surface, read back after each text.
    void SetUp() override {
        ASSERT_EQ(device.CreateDevice(kW, kH, nullptr), 0);
        device.SetSize(kW, kH);
        ASSERT_EQ(device.GetScreenDepth(), 32);
        Blank();
    }
    // The ink's bounding box; right and bottom exclusive. Empty: left = kW.
    RECT Ink() {
        EXPECT_TRUE(device.CopyFrameToSprite(&target));
        RECT r = {kW, kH, 0, 0};
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint8_t* p = target.pixels + y * target.stride + x * 4;
                if (p[0] | p[1] | p[2]) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x + 1);
                    r.bottom = std::max<LONG>(r.bottom, y + 1);
                }
            }
        return r;
    }
    void Blank() {
        device.backgroundColour = 0;
        ASSERT_EQ(device.BeginScene(nullptr), 0);
        device.Clear(true);
    }

    CSprite target;
    CObjeto2D device;
};

TEST_F(DrawTextTest, FlagsPlaceTheTextAgainstItsMeasuredExtent) {
    const char* text = "Lumarix";
    int32_t w = 0, h = 0;
    ASSERT_TRUE(CObjeto2D::GetTextExtent(text, &w, &h, nullptr));
    ASSERT_GT(w, 10);
    ASSERT_GT(h, 5);

    // Where the text's cell (w x h) must lie for each flag combination at (x, y).
    struct Case {
        uint32_t flags;
        int x, y;
        int cellLeft, cellTop;
    } cases[] = {
        {0x00, 50, 20, 50, 20},
        {0x01, 100, 20, 100 - w / 2, 20},
        {0x02, 150, 20, 150 - w, 20},
        {0x10, 50, 50, 50, 50 - h / 2},
        {0x20, 50, 80, 50, 80 - h},
        {0x22, 150, 80, 150 - w, 80 - h},
        {0x11, 100, 50, 100 - w / 2, 50 - h / 2},
        {0x04, -150, 20, kW - 150, 20},
        {0x40 | 0x20, 50, -10, 50, kH - 10 - h},
        {0x06 | 0x60, -5, -5, kW - 5 - w, kH - 5 - h},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
        Blank();
        ASSERT_TRUE(device.DrawText(c.x, c.y, text, kInk, nullptr, c.flags, nullptr));
        const RECT ink = Ink();
        ASSERT_LT(ink.left, kW) << "something was written";
        // The ink lies inside the cell and fills most of its width.
        EXPECT_GE(ink.left, c.cellLeft);
        EXPECT_LE(ink.right, c.cellLeft + w + 1);
        EXPECT_GE(ink.top, c.cellTop);
        EXPECT_LE(ink.bottom, c.cellTop + h);
        EXPECT_GT(ink.right - ink.left, w * 2 / 3);
    }
}

TEST_F(DrawTextTest, ColourIsRedGreenBlueAndRectanglesWrapWords) {
    ASSERT_TRUE(device.DrawText(10, 10, "ABC", 0xFF0000, nullptr, 0, nullptr));
    ASSERT_TRUE(device.CopyFrameToSprite(&target));
    bool red = false, other = false;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const uint8_t* p = target.pixels + y * target.stride + x * 4;
            red |= p[2] == 0xFF && p[1] == 0 && p[0] == 0;
            other |= p[0] != 0;
        }
    EXPECT_TRUE(red);
    EXPECT_FALSE(other) << "no blue: red and blue are exchanged for GDI";

    Blank();
    int32_t w = 0, h = 0;
    ASSERT_TRUE(CObjeto2D::GetTextExtent("word", &w, &h, nullptr));
    RECT box = {5, 5, 5 + w + 4, kH};
    ASSERT_TRUE(device.DrawText(0, 0, "word word word", kInk, nullptr, 0, &box));
    const RECT ink = Ink();
    EXPECT_GE(ink.left, 5);
    EXPECT_LE(ink.right, box.right);
    EXPECT_GT(ink.bottom - ink.top, 2 * h) << "three lines";

    // Nothing while the device is busy, and nothing without text.
    Blank();
    device.status = DeviceHidden;
    EXPECT_FALSE(device.DrawText(10, 10, "ABC", kInk, nullptr, 0, nullptr));
    device.status = 0;
    EXPECT_FALSE(device.DrawText(10, 10, nullptr, kInk, nullptr, 0, nullptr));
    EXPECT_EQ(Ink().left, kW);
}

}  // namespace
