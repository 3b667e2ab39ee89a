// CSprite tiles: splitting, edge repetition, copying into tiles, merging.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "images/sprite.h"

namespace {

// A picture in which every pixel differs from its neighbours.
uint32_t Pattern(int x, int y)
{
    return (static_cast<uint32_t>(x * 7 + y * 13) & 0xFF) |
           ((static_cast<uint32_t>(x) & 0xFF) << 8) | ((static_cast<uint32_t>(y) & 0xFF) << 16);
}

void PaintPattern(CSprite& image)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.SetPixel(x, y, Pattern(x, y));
}

TEST(SpriteTiles, SplitSizes)
{
    struct Case {
        const char* name;
        bool tiling;
        int width;
        int height;
        std::vector<int> columns;
        std::vector<int> rows;
    };
    const Case cases[] = {
        {"600 x 300 tiled", true, 600, 300, {256, 256, 128}, {256, 64}},
        {"600 x 300 untiled", false, 600, 300, {1024}, {512}},
        {"small", true, 20, 20, {32}, {32}},
        {"exact", true, 512, 256, {256, 256}, {256}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSprite image;
        image.tilingEnabled = c.tiling ? 1 : 0;
        ASSERT_EQ(image.CreateImage(c.width, c.height, 24, true, 0x102030, false), 3);
        const int count = image.SplitIntoTiles(-1, -1, -1);
        ASSERT_EQ(count, static_cast<int>(c.columns.size() * c.rows.size()));
        EXPECT_EQ(image.tilesAcross, static_cast<int>(c.columns.size()));
        EXPECT_EQ(image.tilesDown, static_cast<int>(c.rows.size()));
        EXPECT_EQ(image.pixels, nullptr);
        EXPECT_EQ(image.width, c.width);
        int top = 0;
        for (size_t i = 0; i < c.rows.size(); ++i) {
            int left = 0;
            for (size_t j = 0; j < c.columns.size(); ++j) {
                const CSprite* tile = image.tiles[i * c.columns.size() + j];
                EXPECT_EQ(tile->width, c.columns[j]);
                EXPECT_EQ(tile->height, c.rows[i]);
                EXPECT_EQ(tile->originX, left);
                EXPECT_EQ(tile->originY, top);
                EXPECT_EQ(tile->parent, &image);
                EXPECT_EQ(tile->generation, 1);
                left += c.columns[j];
            }
            top += c.rows[i];
        }
        // A second split does nothing.
        EXPECT_EQ(image.SplitIntoTiles(-1, -1, -1), 0);
    }
}

TEST(SpriteTiles, SplitCopiesPixelsAndRepeatsEdges)
{
    for (int bpp : {16, 24, 32}) {
        SCOPED_TRACE(bpp);
        CSprite image;
        ASSERT_GT(image.CreateImage(600, 300, bpp, true, 0, false), 0);
        PaintPattern(image);
        std::vector<uint32_t> before;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 600; ++x)
                before.push_back(image.GetPixel(x, y, true));
        ASSERT_EQ(image.SplitIntoTiles(-1, -1, -1), 6);
        for (int y = 0; y < 300; y += 7)
            for (int x = 0; x < 600; x += 5)
                ASSERT_EQ(image.GetPixel(x, y, true), before[y * 600 + x]) << x << "," << y;
        // The last tile reaches 640 x 320: columns and rows beyond repeat the last ones.
        const CSprite* corner = image.tiles[5];
        EXPECT_EQ(corner->GetPixel(127, 63, true), before[299 * 600 + 599]);
        EXPECT_EQ(corner->GetPixel(100, 10, true), before[(256 + 10) * 600 + 599]);
        EXPECT_EQ(corner->GetPixel(10, 60, true), before[299 * 600 + 512 + 10]);
        const CSprite* bottom = image.tiles[3];
        EXPECT_EQ(bottom->GetPixel(30, 63, true), before[299 * 600 + 30]);
    }
}

TEST(SpriteTiles, ExtendImageEdges)
{
    for (int bytes : {2, 3, 4}) {
        SCOPED_TRACE(bytes);
        const int w = 4, h = 3;
        std::vector<uint8_t> buffer(w * h * bytes);
        for (size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = static_cast<uint8_t>(i + 1);
        std::vector<uint8_t> columns = buffer;
        CSprite::ExtendImageEdges(columns.data(), w, h, bytes, 2, 0, 0, h);
        for (int y = 0; y < h; ++y)
            for (int x = 2; x < w; ++x)
                EXPECT_EQ(memcmp(&columns[(y * w + x) * bytes], &buffer[(y * w + 1) * bytes],
                                 bytes), 0);
        EXPECT_EQ(memcmp(columns.data(), buffer.data(), 2 * bytes), 0);

        std::vector<uint8_t> rows = buffer;
        CSprite::ExtendImageEdges(rows.data(), w, h, bytes, 0, 1, 0, w);
        for (int y = 1; y < h; ++y)
            EXPECT_EQ(memcmp(&rows[y * w * bytes], &buffer[0], w * bytes), 0);

        // Counts beyond the buffer are cut to it.
        std::vector<uint8_t> guarded = buffer;
        guarded.resize(buffer.size() + 16, 0xEE);
        CSprite::ExtendImageEdges(guarded.data(), w, h, bytes, 3, 0, 1, 100);
        CSprite::ExtendImageEdges(guarded.data(), w, h, bytes, 0, 2, 2, 100);
        for (size_t i = buffer.size(); i < guarded.size(); ++i)
            EXPECT_EQ(guarded[i], 0xEE);
    }
}

TEST(SpriteTiles, CopyToTiles)
{
    CSprite image;
    ASSERT_TRUE(image.Create(300, 100, 32, true, 0, false, false, true));
    ASSERT_EQ(image.tileCount, 2);
    CSprite source;
    ASSERT_EQ(source.CreateImage(300, 100, 24, true, 0, false), 3);
    PaintPattern(source);
    image.CopyToTiles(&source);
    for (int y = 0; y < 100; y += 3)
        for (int x = 0; x < 300; x += 3)
            ASSERT_EQ(image.GetPixel(x, y, false) & 0xFFFFFF, Pattern(x, y)) << x << "," << y;
    // Opaque fourth byte for a source without alpha.
    EXPECT_EQ(image.GetPixel(5, 5, false) >> 24, 0xFFu);
    EXPECT_EQ(image.tiles[0]->generation, 1);
    EXPECT_EQ(image.tiles[1]->generation, 1);
}

TEST(SpriteTiles, PadTileEdgesRepeatsTheLastColumnAndRow)
{
    CSprite image;
    ASSERT_TRUE(image.Create(300, 40, 32, true, 0, false, false, true));
    ASSERT_EQ(image.tileCount, 2);
    CSprite* edge = image.tiles[1];  // columns 256..319, rows 0..63
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 44; ++x)
            edge->SetPixel(x, y, Pattern(x, y));
    image.PadTileEdges();
    EXPECT_EQ(edge->GetPixel(63, 10, false) & 0xFFFFFF, Pattern(43, 10));
    EXPECT_EQ(edge->GetPixel(20, 63, false) & 0xFFFFFF, Pattern(20, 39));
    EXPECT_EQ(edge->GetPixel(63, 63, false) & 0xFFFFFF, Pattern(43, 39));
    EXPECT_EQ(edge->generation, 2);
    EXPECT_EQ(image.busyCount.load(), 0);
}

TEST(SpriteTiles, SplitThenMergeGivesBackThePixels)
{
    for (bool tiling : {true, false}) {
        SCOPED_TRACE(tiling ? "tiling on" : "tiling off");
        CSprite image;
        image.tilingEnabled = tiling ? 1 : 0;
        ASSERT_EQ(image.CreateImage(600, 300, 24, true, 0, false), 3);
        PaintPattern(image);
        std::vector<uint8_t> before(image.pixels, image.pixels + image.byteSize);
        ASSERT_GT(image.SplitIntoTiles(-1, -1, -1), 0);
        image.MergeTiles();
        ASSERT_NE(image.pixels, nullptr);
        EXPECT_EQ(image.tiles, nullptr);
        EXPECT_EQ(image.retiredTiles, nullptr);
        EXPECT_EQ(image.width, 600);
        EXPECT_EQ(image.height, 300);
        EXPECT_EQ(image.contentValid, 1);
        EXPECT_EQ(memcmp(image.pixels, before.data(), before.size()), 0);
    }
}

TEST(SpriteTiles, NewTilesTakeTheDefaultColourEvenWhenWhite)
{
    CSprite image;
    image.defaultColour = 0xFFFFFFFF;
    ASSERT_TRUE(image.Create(300, 20, 32, false, -1, false, false, true));
    EXPECT_EQ(image.GetPixel(0, 0, false), 0xFFFFFFFFu);
    EXPECT_EQ(image.GetPixel(299, 19, false), 0xFFFFFFFFu);
    EXPECT_EQ(image.tiles[1]->defaultColour, 0xFFFFFFFFu);
}

TEST(SpriteTiles, CreateLetsGoOfBorrowedTilesWithoutFreeingThem)
{
    CSprite owner;
    ASSERT_TRUE(owner.Create(300, 20, 24, true, 0x102030, false, false, true));
    CSprite borrower;
    borrower.tiles = owner.tiles;
    borrower.tileCount = owner.tileCount;
    borrower.tilesAcross = owner.tilesAcross;
    borrower.tilesDown = 1;
    borrower.borrowedTiles = 1;
    ASSERT_TRUE(borrower.Create(10, 10, 24, true, 0, false, false, false));
    EXPECT_EQ(borrower.borrowedTiles, 0);
    EXPECT_EQ(borrower.tiles, nullptr);
    EXPECT_EQ(borrower.retiredTiles, nullptr);
    EXPECT_EQ(owner.GetPixel(299, 19, false) & 0xFFFFFF, 0x102030u);
}

TEST(SpriteTiles, FreeTilesReleasesEverything)
{
    const int64_t before = CSprite::s_pixelCount.load();
    CSprite image;
    ASSERT_TRUE(image.Create(600, 300, 32, true, 0, false, false, true));
    EXPECT_GT(CSprite::s_pixelCount.load(), before);
    image.FreeTiles();
    EXPECT_EQ(image.tiles, nullptr);
    EXPECT_EQ(image.tileCount, 0);
    EXPECT_EQ(CSprite::s_pixelCount.load(), before);
}

}  // namespace
