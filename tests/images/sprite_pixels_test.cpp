// CSprite pixel access: GetPixel/SetPixel at every depth, fills, depth conversion, copies.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "images/sprite.h"

namespace {

struct DepthCase {
    int bpp;
    uint32_t written;   // 24-bit colour given to SetPixel
    uint32_t stored;    // SetPixel's answer
    uint32_t readBack;  // GetPixel without forceAlpha (low 24 bits for 24-bit images)
};

const DepthCase kDepths[] = {
    {15, 0x00FF8040, 0x7E08, 0xFFF88040},
    {16, 0x00FF8040, 0xFC08, 0xFFF88040},
    {24, 0x00FF8040, 0x00FF8040, 0x00FF8040},
    {32, 0x80FF8040, 0x80FF8040, 0x80FF8040},
};

TEST(SpritePixels, SetAndGetAtEveryDepthFlat)
{
    for (const DepthCase& c : kDepths) {
        SCOPED_TRACE(c.bpp);
        CSprite image;
        ASSERT_GT(image.CreateImage(7, 5, c.bpp, true, 0, false), 0);
        EXPECT_EQ(image.SetPixel(6, 4, c.written), c.stored);
        uint32_t value = image.GetPixel(6, 4, false);
        if (c.bpp == 24)
            value &= 0xFFFFFF;
        EXPECT_EQ(value, c.readBack);
        EXPECT_EQ(image.GetPixel(6, 4, true) >> 24, c.bpp == 32 ? 0x80u : 0xFFu);
        // Outside the image: nothing stored, 0 read.
        EXPECT_EQ(image.SetPixel(7, 0, c.written), c.stored);
        EXPECT_EQ(image.SetPixel(-1, 0, c.written), c.stored);
        EXPECT_EQ(image.GetPixel(7, 0, true), 0u);
        EXPECT_EQ(image.GetPixel(0, -1, true), 0u);
        EXPECT_EQ(image.GetPixel(0, 0, false) & 0xFFFFFF, 0u);
    }
}

TEST(SpritePixels, EightBitsReadThroughThePalette)
{
    CSprite image;
    ASSERT_EQ(image.CreateImage(4, 2, 8, false, 0, false), 1);
    image.palette[7] = 0x00112233;
    image.palette[9] = 0x00445566;
    memset(image.pixels, 7, 8);
    image.pixels[5] = 9;
    EXPECT_EQ(image.GetPixel(1, 1, false), 0x00445566u);
    EXPECT_EQ(image.GetPixel(0, 0, true), 0xFF112233u);
}

TEST(SpritePixels, TiledImagesAreReadTileByTile)
{
    for (const DepthCase& c : kDepths) {
        SCOPED_TRACE(c.bpp);
        CSprite image;
        ASSERT_TRUE(image.Create(600, 300, c.bpp, true, 0, false, false, true));
        ASSERT_EQ(image.tileCount, 6);
        // The last tile holds (599, 299) at its own (87, 43).
        CSprite* last = image.tiles[5];
        EXPECT_EQ(last->originX, 512);
        EXPECT_EQ(last->originY, 256);
        last->SetPixel(87, 43, c.written);
        uint32_t value = image.GetPixel(599, 299, false);
        if (c.bpp == 24)
            value &= 0xFFFFFF;
        EXPECT_EQ(value, c.readBack);
        // SetPixel writes flat images only.
        image.SetPixel(0, 0, 0xFFFFFF);
        EXPECT_EQ(image.GetPixel(0, 0, false) & 0xFFFFFF, 0u);
        EXPECT_EQ(image.GetPixel(600, 0, true), 0u);
    }
}

// A buffer whose last byte is followed by an inaccessible page, to catch over-reads.
class GuardedBuffer {
public:
    GuardedBuffer()
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        m_page = info.dwPageSize;
        m_base = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, m_page * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(m_base + m_page, m_page, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer() { VirtualFree(m_base, 0, MEM_RELEASE); }
    // The last bytes before the guard page.
    uint8_t* Tail(size_t bytes) { return m_base + m_page - bytes; }

private:
    size_t m_page = 0;
    uint8_t* m_base = nullptr;
};

TEST(SpritePixels, GetPixelReadsOnlyThePixelsBytes)
{
    const int depths[] = {8, 15, 16};
    for (int bpp : depths) {
        SCOPED_TRACE(bpp);
        GuardedBuffer guarded;
        const int bytes = PixelBytes(bpp);
        uint8_t* tail = guarded.Tail(2 * bytes);
        memset(tail, 0x1F, 2 * bytes);
        CSprite view;
        view.pixels = tail;
        view.drawPixels = tail;
        view.width = 2;
        view.height = 1;
        view.bitsPerPixel = bpp;
        view.bytesPerPixel = bytes;
        view.stride = 2 * bytes;
        view.palette[0x1F] = 0x00ABCDEF;
        const uint32_t last = view.GetPixel(1, 0, false);
        EXPECT_NE(last, 0u);
        view.pixels = nullptr;
        view.drawPixels = nullptr;
    }
}

TEST(SpritePixels, HeapImageReadsItsLastPixelFromTheSpareBytes)
{
    CSprite image;
    ASSERT_EQ(image.CreateImage(3, 2, 24, true, 0x010203, false), 3);
    image.pixels[image.byteSize] = 0x7A;  // first spare byte
    EXPECT_EQ(image.GetPixel(2, 1, false), 0x7A010203u);
    image.PadBufferEnd();
    uint32_t spare = 0;
    memcpy(&spare, image.pixels + image.byteSize, 4);
    EXPECT_EQ(spare & 0xFFFFFF, 0x010203u);
}

TEST(SpritePixels, PadBufferEndAtEveryDepth)
{
    for (int bpp : {15, 16, 24, 32}) {
        SCOPED_TRACE(bpp);
        CSprite image;
        ASSERT_GT(image.CreateImage(5, 3, bpp, true, 0, false), 0);
        image.SetPixel(4, 2, 0x00C0FFEE);
        memset(image.pixels + image.byteSize, 0, kSpriteBufferSpare);
        image.PadBufferEnd();
        EXPECT_EQ(memcmp(image.pixels + image.byteSize, image.pixels + image.byteSize -
                         image.bytesPerPixel, image.bytesPerPixel), 0);
    }
}

TEST(SpritePixels, FillPixelsCoversEveryPixel)
{
    struct Case {
        int bpp;
        int count;
        uint32_t colour;
        uint32_t expectedValue;
    };
    const Case cases[] = {
        {16, 1, 0xFFFFFF, 0xFFFF}, {16, 3, 0xFF0000, 0xF800}, {15, 5, 0x0000FF, 0x001F},
        {24, 3, 0x123456, 0x123456}, {32, 3, 0x80123456, 0x80123456},
        {8, 5, 0x04030201, 0x04030201}, {8, 3, 0x04030201, 0x04030201},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpp << " bits, " << c.count << " pixels");
        const int bytes = PixelBytes(c.bpp);
        uint8_t buffer[64];
        memset(buffer, 0xEE, sizeof(buffer));
        EXPECT_EQ(CSprite::FillPixels(c.colour, buffer, c.count, 1, c.bpp), c.expectedValue);
        for (int i = 0; i < c.count; ++i) {
            uint32_t value = 0;
            if (c.bpp == 8)
                EXPECT_EQ(buffer[i], static_cast<uint8_t>(c.colour >> (8 * (i & 3))));
            else {
                memcpy(&value, buffer + i * bytes, bytes);
                EXPECT_EQ(value, bytes == 4 ? c.expectedValue
                                            : c.expectedValue & ((1u << (8 * bytes)) - 1));
            }
        }
        EXPECT_EQ(buffer[c.count * bytes], 0xEE) << "written past the last pixel";
    }
}

TEST(SpritePixels, FillTiledRaisesGenerations)
{
    CSprite image;
    ASSERT_TRUE(image.Create(300, 40, 32, false, -1, false, false, true));
    ASSERT_EQ(image.tileCount, 2);
    image.Fill(0x00336699);
    EXPECT_EQ(image.GetPixel(299, 39, false), 0x00336699u);
    EXPECT_EQ(image.tiles[0]->generation, 1);
    EXPECT_EQ(image.tiles[1]->generation, 1);
}

TEST(SpritePixels, ConvertColorOnlyBelow24Bits)
{
    EXPECT_EQ(CSprite::ConvertColor(0x00FFFFFF, 16, 24), 0xFFFFu);
    EXPECT_EQ(CSprite::ConvertColor(0x00070307, 16, 32), 0u);
    EXPECT_EQ(CSprite::ConvertColor(0x7FFF, 16, 15), 0xFFDFu);
    EXPECT_EQ(CSprite::ConvertColor(0x0001, 32, 16), 0xFF000008u);
    EXPECT_EQ(CSprite::ConvertColor(0x80123456, 24, 32), 0x80123456u);
    EXPECT_EQ(CSprite::ConvertColor(0x80123456, 32, 32), 0x80123456u);
    EXPECT_EQ(CSprite::ConvertColor(0x123456, 8, 24), 0x123456u);
}

TEST(SpritePixels, ConvertBitDepth)
{
    // 32 to 24: a smaller buffer, stride follows the new depth, pixels kept.
    CSprite image;
    ASSERT_EQ(image.CreateImage(5, 3, 32, true, 0x00102030, false), 4);
    image.SetPixel(4, 2, 0x00A0B0C0);
    uint8_t* old = image.pixels;
    ASSERT_TRUE(image.ConvertBitDepth(24));
    EXPECT_NE(image.pixels, old);
    EXPECT_EQ(image.bitsPerPixel, 24);
    EXPECT_EQ(image.bytesPerPixel, 3);
    EXPECT_EQ(image.byteSize, 45);
    EXPECT_EQ(image.stride, 15);
    EXPECT_EQ(image.GetPixel(4, 2, false) & 0xFFFFFF, 0xA0B0C0u);
    EXPECT_EQ(image.GetPixel(0, 0, false) & 0xFFFFFF, 0x102030u);

    // 16 to 15: in place.
    CSprite half;
    ASSERT_EQ(half.CreateImage(4, 4, 16, true, 0xFFFFFF, false), 2);
    old = half.pixels;
    ASSERT_TRUE(half.ConvertBitDepth(15));
    EXPECT_EQ(half.pixels, old);
    uint16_t word;
    memcpy(&word, half.pixels, 2);
    EXPECT_EQ(word, 0x7FFF);

    // To 8 bits nothing could be written: refused, image unchanged.
    CSprite keep;
    ASSERT_EQ(keep.CreateImage(4, 4, 24, true, 0x445566, false), 3);
    old = keep.pixels;
    EXPECT_FALSE(keep.ConvertBitDepth(8));
    EXPECT_EQ(keep.pixels, old);
    EXPECT_EQ(keep.bitsPerPixel, 24);
    EXPECT_EQ(keep.GetPixel(3, 3, false) & 0xFFFFFF, 0x445566u);

    // Without pixels: refused.
    CSprite empty;
    EXPECT_FALSE(empty.ConvertBitDepth(24));
}

TEST(SpritePixels, ConvertBitDepthKeepsADibADib)
{
    CSprite image;
    ASSERT_EQ(image.CreateDIB(8, 4, 32, true, 0x00123456), 4);
    ASSERT_TRUE(image.ConvertBitDepth(16));
    ASSERT_NE(image.dib, nullptr);
    DIBSECTION section = {};
    ASSERT_EQ(GetObject(image.dib, sizeof(section), &section), static_cast<int>(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmBits, image.pixels);
    EXPECT_EQ(section.dsBmih.biBitCount, 16);
    EXPECT_EQ(image.stride, 16);
    EXPECT_EQ(image.GetPixel(7, 3, false) & 0xFFFFFF, 0x103450u);
    ASSERT_TRUE(image.ConvertBitDepth(24));
    EXPECT_EQ(image.stride, 24);
    EXPECT_EQ(image.GetPixel(7, 3, false) & 0xFFFFFF, 0x103450u);
    // The DIB is released by GDI with the image; the heap never sees it.
}

TEST(SpritePixels, CopyFromCopiesBytesOnlyBetweenEqualDepths)
{
    CSprite source;
    ASSERT_EQ(source.CreateImage(6, 4, 15, true, 0x0000FF, false), 2);
    source.SetPixel(2, 1, 0xFF0000);

    CSprite target;
    ASSERT_EQ(target.CreateImage(6, 4, 16, true, 0, false), 2);
    target.contentValid = 1;
    ASSERT_TRUE(target.CopyFrom(&source));
    EXPECT_EQ(target.bitsPerPixel, 16);
    EXPECT_EQ(target.GetPixel(2, 1, false) & 0xFFFFFF, 0xF80000u);
    EXPECT_EQ(target.GetPixel(0, 0, false) & 0xFFFFFF, 0x0000F8u);

    CSprite same;
    ASSERT_TRUE(same.CopyFrom(&source));
    EXPECT_EQ(same.bitsPerPixel, 15);
    EXPECT_EQ(memcmp(same.pixels, source.pixels, source.byteSize), 0);

    // A tiled source is drawn.
    CSprite tiled;
    ASSERT_TRUE(tiled.Create(300, 20, 32, true, 0x00ABCDEF, false, false, true));
    CSprite flat;
    ASSERT_TRUE(flat.CopyFrom(&tiled));
    EXPECT_EQ(flat.width, 300);
    EXPECT_EQ(flat.GetPixel(299, 19, false) & 0xFFFFFF, 0xABCDEFu);
}

}  // namespace
