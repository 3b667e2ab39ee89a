// CSprite textures: Direct3D 9 system and device textures, OpenGL uploads, mode changes and the
// process-wide counters. The tests make their own hidden-window devices.
#include <gtest/gtest.h>

#include <windows.h>
#include <d3d9.h>
#include <GL/gl.h>

#include <cstring>
#include <vector>

#include "images/sprite.h"

namespace {

constexpr GLenum kGlBgr = 0x80E0;
constexpr GLenum kGlBgra = 0x80E1;

HWND MakeHiddenWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "SpriteTextureTestWindow";
        RegisterClassA(&wc);
        registered = true;
    }
    return CreateWindowA("SpriteTextureTestWindow", "", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

// A windowed Direct3D 9 device on a hidden window.
class D3DDevice {
public:
    D3DDevice()
    {
        m_window = MakeHiddenWindow();
        m_library = LoadLibraryA("d3d9.dll");
        if (!m_library || !m_window)
            return;
        using CreateFn = IDirect3D9*(WINAPI*)(UINT);
        auto create = reinterpret_cast<CreateFn>(
            reinterpret_cast<void*>(GetProcAddress(m_library, "Direct3DCreate9")));
        if (!create)
            return;
        m_d3d = create(D3D_SDK_VERSION);
        if (!m_d3d)
            return;
        D3DPRESENT_PARAMETERS params = {};
        params.Windowed = TRUE;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.BackBufferFormat = D3DFMT_UNKNOWN;
        params.hDeviceWindow = m_window;
        m_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_window,
                            D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &m_device);
    }
    ~D3DDevice()
    {
        if (m_device)
            m_device->Release();
        if (m_d3d)
            m_d3d->Release();
        if (m_window)
            DestroyWindow(m_window);
    }
    IDirect3DDevice9* get() const { return m_device; }

private:
    HWND m_window = nullptr;
    HMODULE m_library = nullptr;
    IDirect3D9* m_d3d = nullptr;
    IDirect3DDevice9* m_device = nullptr;
};

// An OpenGL context current on a hidden window.
class GLContext {
public:
    GLContext()
    {
        m_window = MakeHiddenWindow();
        m_dc = m_window ? GetDC(m_window) : nullptr;
        if (!m_dc)
            return;
        PIXELFORMATDESCRIPTOR pfd = {};
        pfd.nSize = sizeof(pfd);
        pfd.nVersion = 1;
        pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        pfd.iPixelType = PFD_TYPE_RGBA;
        pfd.cColorBits = 32;
        pfd.cDepthBits = 24;
        const int format = ChoosePixelFormat(m_dc, &pfd);
        if (!format || !SetPixelFormat(m_dc, format, &pfd))
            return;
        m_context = wglCreateContext(m_dc);
        if (m_context && !wglMakeCurrent(m_dc, m_context)) {
            wglDeleteContext(m_context);
            m_context = nullptr;
        }
    }
    ~GLContext()
    {
        if (m_context) {
            wglMakeCurrent(nullptr, nullptr);
            wglDeleteContext(m_context);
        }
        if (m_dc)
            ReleaseDC(m_window, m_dc);
        if (m_window)
            DestroyWindow(m_window);
    }
    bool ok() const { return m_context != nullptr; }

private:
    HWND m_window = nullptr;
    HDC m_dc = nullptr;
    HGLRC m_context = nullptr;
};

uint32_t Pattern(int x, int y)
{
    return (static_cast<uint32_t>(x * 5 + y * 3) & 0xFF) | ((static_cast<uint32_t>(x) & 0xFF) << 8) |
           ((static_cast<uint32_t>(y * 2) & 0xFF) << 16);
}

void PaintPattern(CSprite& image)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.SetPixel(x, y, Pattern(x, y));
}

std::vector<uint32_t> ReadAll(const CSprite& image)
{
    std::vector<uint32_t> out;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            out.push_back(image.GetPixel(x, y, false) & 0xFFFFFF);
    return out;
}

TEST(SpriteTextures, BppToD3DFormat)
{
    const int table[][2] = {{15, 24}, {16, 23}, {24, 20}, {32, 22}, {8, 8}, {0, 0}, {12, 12}};
    for (const auto& row : table)
        EXPECT_EQ(CSprite::BppToD3DFormat(row[0]), row[1]) << row[0];
}

TEST(SpriteTextures, DownscaleHalf)
{
    // One channel 10, 11, 12, 13: (46 >> 2) = 11; the other bytes carry their own sums.
    const uint8_t source[2 * 8] = {10, 0, 255, 1, 11, 0, 255, 2, 12, 4, 255, 3, 13, 4, 254, 4};
    uint8_t out[4] = {};
    CSprite::DownscaleHalf(out, 1, 1, 32, source, 8);
    EXPECT_EQ(out[0], 11);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[2], 254);
    EXPECT_EQ(out[3], 2);

    // 16 bits: each packed channel on its own, truncating.
    const uint16_t wide[4] = {0xF81F, 0x07E0, 0x0841, 0x0000};
    uint16_t half = 0xAAAA;
    CSprite::DownscaleHalf(reinterpret_cast<uint8_t*>(&half), 1, 1, 16,
                           reinterpret_cast<const uint8_t*>(wide), 4);
    // red (31 + 0 + 1 + 0) >> 2 = 8, green (0 + 63 + 2 + 0) >> 2 = 16, blue (31 + 0 + 1) >> 2 = 8
    EXPECT_EQ(half, (8 << 11) | (16 << 5) | 8);

    // Other depths and null buffers are left alone.
    uint8_t untouched[4] = {1, 2, 3, 4};
    CSprite::DownscaleHalf(untouched, 1, 1, 24, source, 8);
    CSprite::DownscaleHalf(nullptr, 1, 1, 32, source, 8);
    EXPECT_EQ(untouched[0], 1);
}

TEST(SpriteTextures, DownscaleHalfPathsAgree)
{
    uint32_t seed = 12345;
    for (int width : {1, 4, 8, 12, 64, 128}) {
        SCOPED_TRACE(width);
        const int height = 3;
        const int stride = width * 8 + 12;  // padded source rows
        std::vector<uint8_t> source(static_cast<size_t>(stride) * height * 2);
        for (uint8_t& byte : source) {
            seed = seed * 1103515245u + 12345u;
            byte = static_cast<uint8_t>(seed >> 16);
        }
        std::vector<uint8_t> plain(width * height * 4), fast(width * height * 4);
        const PixelLoopPath saved = GetPixelLoopPath();
        SetPixelLoopPath(PixelLoopPath::Portable);
        CSprite::DownscaleHalf(plain.data(), width, height, 32, source.data(), stride);
        SetPixelLoopPath(DefaultPixelLoopPath());
        CSprite::DownscaleHalf(fast.data(), width, height, 32, source.data(), stride);
        SetPixelLoopPath(saved);
        EXPECT_EQ(plain, fast);
    }
}

TEST(SpriteTextures, SameModeReturnsAtOnce)
{
    CSprite image;
    image.busyCount = 5;  // would wait if the mode had to change
    EXPECT_EQ(image.SetTextureMode(0, 0, nullptr, 0), 0);
    image.busyCount = 0;
    // Without a device the move to Direct3D fails and the image stays in memory.
    ASSERT_EQ(image.CreateImage(32, 32, 24, true, 0, false), 3);
    EXPECT_EQ(image.SetTextureMode(1, 0, nullptr, 0), kSpriteFail);
    EXPECT_EQ(image.textureMode, 0);
    EXPECT_EQ(image.waitFlags.load(), 0);
}

TEST(SpriteTextures, AbortedModeChangeFails)
{
    CSprite image;
    ASSERT_EQ(image.CreateImage(32, 32, 24, true, 0, false), 3);
    image.abortWord = SpriteAbortCancel;
    EXPECT_EQ(image.SetTextureMode(2, 24, nullptr, 0), kSpriteFail);
    EXPECT_EQ(image.textureMode, 0);
}

TEST(SpriteTextures, Direct3DFormatsOfTiles)
{
    D3DDevice device;
    if (!device.get())
        GTEST_SKIP() << "no Direct3D 9 device";
    struct Case {
        const char* name;
        int bpp;
        bool alpha;
        int tileBpp;
        D3DFORMAT format;
    };
    const Case cases[] = {
        {"24 bits", 24, false, 32, D3DFMT_X8R8G8B8},
        {"32 bits", 32, false, 32, D3DFMT_X8R8G8B8},
        {"32 bits with alpha", 32, true, 32, D3DFMT_A8R8G8B8},
        {"16 bits", 16, false, 16, D3DFMT_R5G6B5},
        {"15 bits", 15, false, 15, D3DFMT_X1R5G5B5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSprite image;
        image.hasAlpha = c.alpha;
        image.fixedBpp = c.bpp == 16 || c.bpp == 15 ? c.bpp : 0;
        ASSERT_GT(image.CreateImage(300, 40, c.bpp, true, 0, false), 0);
        PaintPattern(image);
        const std::vector<uint32_t> before = ReadAll(image);
        ASSERT_EQ(image.SetTextureMode(1, 0, device.get(), 0), 0);
        EXPECT_EQ(image.textureMode, 1);
        ASSERT_EQ(image.tileCount, 2);
        for (int i = 0; i < image.tileCount; ++i) {
            CSprite* tile = image.tiles[i];
            ASSERT_NE(tile->systemTextures[0], nullptr);
            D3DSURFACE_DESC desc = {};
            tile->systemTextures[0]->GetLevelDesc(0, &desc);
            EXPECT_EQ(desc.Format, c.format);
            EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
            EXPECT_EQ(tile->bitsPerPixel, c.tileBpp);
            EXPECT_EQ(tile->pixels, nullptr);
            EXPECT_EQ(tile->textureMode, 1);
            // The drawing pointer is the texture's memory, its stride the locked pitch.
            D3DLOCKED_RECT locked = {};
            ASSERT_EQ(tile->systemTextures[0]->LockRect(0, &locked, nullptr, D3DLOCK_READONLY),
                      D3D_OK);
            EXPECT_EQ(tile->drawPixels, locked.pBits);
            EXPECT_EQ(tile->stride, locked.Pitch);
            tile->systemTextures[0]->UnlockRect(0);
        }
        EXPECT_EQ(ReadAll(image), before);
    }
}

TEST(SpriteTextures, Direct3DUploadLevels)
{
    D3DDevice device;
    if (!device.get())
        GTEST_SKIP() << "no Direct3D 9 device";
    for (int level = 0; level <= 3; ++level) {
        SCOPED_TRACE(level);
        const int64_t bytesBefore = CSprite::s_textureBytes.load();
        const int64_t pixelsBefore = CSprite::s_pixelCount.load();
        {
            CSprite image;
            ASSERT_EQ(image.CreateImage(256, 256, 32, true, 0, false), 4);
            PaintPattern(image);
            ASSERT_EQ(image.SetTextureMode(1, 0, device.get(), 0), 0);
            ASSERT_EQ(image.tileCount, 1);
            CSprite* tile = image.tiles[0];
            // Level 0 system texture replaces the heap buffer in the pixel count.
            EXPECT_EQ(CSprite::s_pixelCount.load(), pixelsBefore + 256 * 256);

            ASSERT_EQ(tile->UploadTexture(device.get(), level), 0);
            const int side = 256 >> level;
            ASSERT_NE(tile->deviceTexture, nullptr);
            EXPECT_EQ(tile->deviceTextureLevel, level);
            D3DSURFACE_DESC desc = {};
            tile->deviceTexture->GetLevelDesc(0, &desc);
            EXPECT_EQ(static_cast<int>(desc.Width), side);
            EXPECT_EQ(static_cast<int>(desc.Height), side);
            EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
            EXPECT_EQ(CSprite::s_textureBytes.load(), bytesBefore + side * side * 4);

            int64_t systemPixels = 256 * 256;
            for (int i = 1; i <= 3; ++i) {
                if (i > level) {
                    EXPECT_EQ(tile->systemTextures[i], nullptr);
                    continue;
                }
                ASSERT_NE(tile->systemTextures[i], nullptr);
                tile->systemTextures[i]->GetLevelDesc(0, &desc);
                EXPECT_EQ(static_cast<int>(desc.Width), 256 >> i);
                EXPECT_EQ(tile->levelDirty[i], 0);
                systemPixels += (256 >> i) * (256 >> i);
                // Each reduced pixel is the 2 x 2 average of the level above.
                D3DLOCKED_RECT upper = {}, lower = {};
                tile->systemTextures[i - 1]->LockRect(0, &upper, nullptr, D3DLOCK_READONLY);
                tile->systemTextures[i]->LockRect(0, &lower, nullptr, D3DLOCK_READONLY);
                const uint8_t* u = static_cast<const uint8_t*>(upper.pBits);
                const uint8_t* l = static_cast<const uint8_t*>(lower.pBits);
                for (int probe : {0, 5, (256 >> i) - 1}) {
                    for (int c = 0; c < 4; ++c) {
                        const int sum = u[2 * probe * upper.Pitch + 8 * probe + c] +
                                        u[2 * probe * upper.Pitch + 8 * probe + 4 + c] +
                                        u[(2 * probe + 1) * upper.Pitch + 8 * probe + c] +
                                        u[(2 * probe + 1) * upper.Pitch + 8 * probe + 4 + c];
                        EXPECT_EQ(l[probe * lower.Pitch + 4 * probe + c], sum >> 2);
                    }
                }
                tile->systemTextures[i]->UnlockRect(0);
                tile->systemTextures[i - 1]->UnlockRect(0);
            }
            EXPECT_EQ(CSprite::s_pixelCount.load(), pixelsBefore + systemPixels);

            // The same level again reuses the device texture; a changed picture is reduced anew.
            IDirect3DTexture9* same = tile->deviceTexture;
            tile->generation = 1;
            tile->Fill(0x00FFFFFF);
            ASSERT_EQ(tile->UploadTexture(device.get(), level), 0);
            EXPECT_EQ(tile->deviceTexture, same);
            if (level > 0) {
                D3DLOCKED_RECT lower = {};
                tile->systemTextures[level]->LockRect(0, &lower, nullptr, D3DLOCK_READONLY);
                EXPECT_EQ(static_cast<const uint8_t*>(lower.pBits)[0], 0xFF);
                tile->systemTextures[level]->UnlockRect(0);
            }
            EXPECT_EQ(image.waitFlags.load(), 0);
        }
        EXPECT_EQ(CSprite::s_textureBytes.load(), bytesBefore);
        EXPECT_EQ(CSprite::s_pixelCount.load(), pixelsBefore);
    }
}

TEST(SpriteTextures, ReducedLevelsOf15And16BitTilesAreAveraged)
{
    D3DDevice device;
    if (!device.get())
        GTEST_SKIP() << "no Direct3D 9 device";
    for (int bpp : {15, 16}) {
        SCOPED_TRACE(bpp);
        CSprite image;
        ASSERT_EQ(image.CreateImage(64, 64, bpp, true, 0x00F08040, false), 2);
        // Alternating columns of two colours average to their per-channel mean.
        for (int y = 0; y < 64; ++y)
            for (int x = 1; x < 64; x += 2)
                image.SetPixel(x, y, 0x00102030);
        ASSERT_EQ(image.SetTextureMode(1, 0, device.get(), 0), 0);
        CSprite* tile = image.tiles[0];
        ASSERT_EQ(tile->UploadTexture(device.get(), 2), 0);
        ASSERT_NE(tile->systemTextures[2], nullptr);
        uint16_t a, b;
        const uint32_t wa = CSprite::ConvertColor(0x00F08040, bpp, 24);
        const uint32_t wb = CSprite::ConvertColor(0x00102030, bpp, 24);
        a = static_cast<uint16_t>(wa);
        b = static_cast<uint16_t>(wb);
        const int redShift = bpp == 16 ? 11 : 10;
        const uint32_t greenMask = bpp == 16 ? 0x3F : 0x1F;
        const uint16_t expected = static_cast<uint16_t>(
            (((((a >> redShift) & 0x1F) + ((b >> redShift) & 0x1F)) / 2) << redShift) |
            (((((a >> 5) & greenMask) + ((b >> 5) & greenMask)) / 2) << 5) |
            (((a & 0x1F) + (b & 0x1F)) / 2));
        D3DLOCKED_RECT locked = {};
        ASSERT_EQ(tile->systemTextures[2]->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (int y = 0; y < 16; ++y) {
            const uint16_t* row = reinterpret_cast<const uint16_t*>(
                static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch);
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(row[x], expected) << x << "," << y;
        }
        tile->systemTextures[2]->UnlockRect(0);
    }
}

TEST(SpriteTextures, ModeChangesKeepThePixelsAndCountersReturn)
{
    D3DDevice device;
    if (!device.get())
        GTEST_SKIP() << "no Direct3D 9 device";
    const int64_t bytesBefore = CSprite::s_textureBytes.load();
    const int64_t pixelsBefore = CSprite::s_pixelCount.load();
    {
        CSprite image;
        ASSERT_EQ(image.CreateImage(600, 300, 24, true, 0, false), 3);
        PaintPattern(image);
        const std::vector<uint32_t> before = ReadAll(image);

        ASSERT_EQ(image.SetTextureMode(1, 0, device.get(), 0), 0);
        EXPECT_EQ(ReadAll(image), before);
        for (int i = 0; i < image.tileCount; ++i)
            ASSERT_EQ(image.tiles[i]->UploadTexture(device.get(), i % 4), 0);
        EXPECT_GT(CSprite::s_textureBytes.load(), bytesBefore);

        ASSERT_EQ(image.SetTextureMode(2, 0, device.get(), 0), 0);
        EXPECT_EQ(image.textureMode, 2);
        EXPECT_EQ(CSprite::s_textureBytes.load(), bytesBefore);
        for (int i = 0; i < image.tileCount; ++i) {
            EXPECT_EQ(image.tiles[i]->systemTextures[0], nullptr);
            EXPECT_EQ(image.tiles[i]->bitsPerPixel, 24);
            EXPECT_EQ(image.tiles[i]->drawPixels, image.tiles[i]->pixels);
        }
        EXPECT_EQ(ReadAll(image), before);

        ASSERT_EQ(image.SetTextureMode(0, 0, device.get(), 0), 0);
        EXPECT_EQ(image.textureMode, 0);
        EXPECT_EQ(ReadAll(image), before);
        image.MergeTiles();
        EXPECT_EQ(ReadAll(image), before);

        // 0 to 1 and straight back to 0.
        ASSERT_EQ(image.SetTextureMode(1, 0, device.get(), 0), 0);
        ASSERT_EQ(image.tiles[0]->UploadTexture(device.get(), 2), 0);
        ASSERT_EQ(image.SetTextureMode(0, 0, device.get(), 0), 0);
        EXPECT_EQ(CSprite::s_textureBytes.load(), bytesBefore);
        EXPECT_EQ(ReadAll(image), before);
    }
    EXPECT_EQ(CSprite::s_textureBytes.load(), bytesBefore);
    EXPECT_EQ(CSprite::s_pixelCount.load(), pixelsBefore);
}

TEST(SpriteTextures, ReleaseTexturesKeepsRecentlyUsedOnesUnlessForced)
{
    D3DDevice device;
    if (!device.get())
        GTEST_SKIP() << "no Direct3D 9 device";
    const int64_t bytesBefore = CSprite::s_textureBytes.load();
    CSprite image;
    ASSERT_EQ(image.CreateImage(64, 64, 32, true, 0x123456, false), 4);
    ASSERT_EQ(image.SetTextureMode(1, 0, device.get(), 0), 0);
    CSprite* tile = image.tiles[0];
    ASSERT_EQ(tile->UploadTexture(device.get(), 1), 0);
    image.ReleaseTextures(false);
    EXPECT_NE(tile->deviceTexture, nullptr);
    tile->unusedFrames = -3;
    image.ReleaseTextures(false);
    EXPECT_EQ(tile->deviceTexture, nullptr);
    EXPECT_EQ(tile->deviceTextureLevel, -1);
    EXPECT_EQ(CSprite::s_textureBytes.load(), bytesBefore);
    // The system textures stay: the picture is still there.
    EXPECT_EQ(image.GetPixel(10, 10, false) & 0xFFFFFF, 0x123456u);
}

TEST(SpriteTextures, OpenGLUploadReadsBackEqualToTheTile)
{
    GLContext context;
    if (!context.ok())
        GTEST_SKIP() << "no OpenGL context";
    const int64_t bytesBefore = CSprite::s_textureBytes.load();
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        CSprite image;
        image.force32 = bpp == 32;
        ASSERT_GT(image.CreateImage(300, 40, 16, true, 0, false), 0);
        PaintPattern(image);
        ASSERT_EQ(image.SetTextureMode(2, bpp, nullptr, 0), 0);
        ASSERT_EQ(image.tileCount, 2);
        for (int i = 0; i < image.tileCount; ++i) {
            CSprite* tile = image.tiles[i];
            EXPECT_EQ(tile->bitsPerPixel, bpp);
            ASSERT_EQ(tile->UploadTexture(nullptr, 0), 0);
            ASSERT_NE(tile->glTexture, 0u);
            const size_t bytes = static_cast<size_t>(tile->width) * tile->height *
                                 tile->bytesPerPixel;
            std::vector<uint8_t> readBack(bytes + 4);
            glBindTexture(GL_TEXTURE_2D, tile->glTexture);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glGetTexImage(GL_TEXTURE_2D, 0, bpp == 24 ? kGlBgr : kGlBgra, GL_UNSIGNED_BYTE,
                          readBack.data());
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            EXPECT_EQ(memcmp(readBack.data(), tile->pixels, bytes), 0);

            // A second upload replaces the picture in the same texture.
            const unsigned name = tile->glTexture;
            tile->Fill(0x00010203);
            ASSERT_EQ(tile->UploadTexture(nullptr, 0), 0);
            EXPECT_EQ(tile->glTexture, name);
            glGetTexImage(GL_TEXTURE_2D, 0, bpp == 24 ? kGlBgr : kGlBgra, GL_UNSIGNED_BYTE,
                          readBack.data());
            EXPECT_EQ(memcmp(readBack.data(), tile->pixels, bytes), 0);
        }
        EXPECT_GT(CSprite::s_textureBytes.load(), bytesBefore);
        ASSERT_EQ(image.SetTextureMode(0, 0, nullptr, 0), 0);
        EXPECT_EQ(CSprite::s_textureBytes.load(), bytesBefore);
        EXPECT_EQ(image.tiles[0]->glTexture, 0u);
    }
}

}  // namespace
