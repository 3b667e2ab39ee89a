// CSprite drawing fronts: DrawSprite and FillRect on flat and tiled images.
#include <gtest/gtest.h>

#include "images/sprite.h"

namespace {

int CountPixels(const CSprite& image, uint32_t colour)
{
    int count = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if ((image.GetPixel(x, y, false) & 0xFFFFFF) == colour)
                ++count;
    return count;
}

TEST(SpriteDraw, FillRectWithEqualCornersFillsOnePixel)
{
    CSprite image;
    ASSERT_EQ(image.CreateImage(20, 20, 32, true, 0, false), 4);
    image.FillRect(10, 10, 10, 10, 0x00FF00, 100, 0);
    EXPECT_EQ(CountPixels(image, 0x00FF00), 1);
    EXPECT_EQ(image.GetPixel(10, 10, false) & 0xFFFFFF, 0x00FF00u);
    // Reversed corners fill nothing.
    image.FillRect(12, 12, 11, 11, 0x0000FF, 100, 0);
    EXPECT_EQ(CountPixels(image, 0x0000FF), 0);
    // Clipped at the image's edges.
    image.FillRect(-5, -5, 100, 1, 0xFF0000, 100, 0);
    EXPECT_EQ(CountPixels(image, 0xFF0000), 40);
}

TEST(SpriteDraw, FillRectMultipliesForTheSkin)
{
    CSprite image;
    ASSERT_EQ(image.CreateImage(4, 4, 32, true, 0x00808080, false), 4);
    image.FillRect(0, 0, 3, 3, 0x00FF8000, 100, 0x400);
    // (dst x src) >> 8 per channel.
    EXPECT_EQ(image.GetPixel(1, 1, false) & 0xFFFFFF, 0x7F4000u);
}

TEST(SpriteDraw, FillRectGivesOpaqueAlphaToAlphaImages)
{
    CSprite image;
    ASSERT_EQ(image.CreateImage(4, 4, 32, true, 0, false), 4);
    image.hasAlpha = 1;
    image.FillRect(0, 0, 1, 1, 0x00123456, 100, 0);
    EXPECT_EQ(image.GetPixel(0, 0, false), 0xFF123456u);
}

TEST(SpriteDraw, DrawSpriteAtSourceSizeWhenNoSizeIsGiven)
{
    CSprite source;
    ASSERT_EQ(source.CreateImage(3, 2, 24, true, 0x112233, false), 3);
    CSprite target;
    ASSERT_EQ(target.CreateImage(10, 10, 32, true, 0, false), 4);
    target.DrawSprite(4, 5, &source, 100, 0, kSpriteNoTint);
    EXPECT_EQ(CountPixels(target, 0x112233), 6);
    EXPECT_EQ(target.GetPixel(6, 6, false) & 0xFFFFFF, 0x112233u);
    EXPECT_EQ(target.GetPixel(7, 6, false) & 0xFFFFFF, 0u);
    // Scaled to 6 x 4, clipped to the right half.
    target.Fill(0);
    target.DrawSprite(0, 0, &source, 100, 0, kSpriteNoTint, 6, 4, 3, 0, -1, -1);
    EXPECT_EQ(CountPixels(target, 0x112233), 12);
    EXPECT_EQ(target.busyCount.load(), 0);
    EXPECT_EQ(source.busyCount.load(), 0);
}

TEST(SpriteDraw, TiledDestinationReceivesTheDrawingInEveryTile)
{
    CSprite target;
    ASSERT_TRUE(target.Create(600, 300, 32, true, 0, false, false, true));
    ASSERT_EQ(target.tileCount, 6);
    // Spans the corner where four tiles meet.
    target.FillRect(250, 250, 259, 259, 0x0000FF, 100, 0);
    EXPECT_EQ(target.GetPixel(250, 250, false) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(target.GetPixel(259, 259, false) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(target.GetPixel(255, 256, false) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(target.GetPixel(260, 259, false) & 0xFFFFFF, 0u);
    int blue = 0;
    for (int i = 0; i < target.tileCount; ++i)
        blue += CountPixels(*target.tiles[i], 0x0000FF);
    EXPECT_EQ(blue, 100);
    EXPECT_EQ(target.tiles[0]->generation, 1);
    EXPECT_EQ(target.tiles[4]->generation, 1);
}

TEST(SpriteDraw, ScaledTiledSourceLeavesNoGap)
{
    CSprite source;
    ASSERT_TRUE(source.Create(600, 300, 32, true, 0x00FFFFFF, false, false, true));
    struct Case {
        int width;
        int height;
    };
    const Case cases[] = {{333, 167}, {600, 300}, {1000, 450}, {97, 31}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        CSprite target;
        ASSERT_EQ(target.CreateImage(c.width + 4, c.height + 4, 32, true, 0, false), 4);
        target.DrawSprite(2, 2, &source, 100, 0, kSpriteNoTint, c.width, c.height);
        EXPECT_EQ(CountPixels(target, 0xFFFFFF), c.width * c.height);
    }
}

}  // namespace
