// CSprite::LoadJPEG under Wine: the image created and filled at every depth, the failure table
// with its reports and load states, the notify post on a slowly fed stream, cancelling, strips of
// six faces, transposition, grid pieces, tiles and 8-bit output with a palette.
#include <atomic>
#include <thread>

#include "core/mailboxes.h"
#include "core/text_string.h"
#include "images/pixel_format.h"
#include "images/sprite.h"
#include "jpeg_test_support.h"

using namespace jpeg_test;

namespace {

// The reference: the decoder into flat 32-bit memory.
MemorySink Reference(const Bytes& jpg, bool standard = true)
{
    MemorySink sink;
    sink.depth = 32;
    EXPECT_EQ(DecodeBytes(jpg, &sink, standard), JpegError::None);
    return sink;
}

// The image's pixel as 0x00RRGGBB.
uint32_t Pixel(const CSprite& s, int x, int y) { return s.GetPixel(x, y, false) & 0xFFFFFF; }

// Decodes bytes from a memory stream given to LoadJPEG.
int LoadBytes(CSprite* s, const Bytes& bytes, int mode)
{
    CFicheroHttp stream;
    EXPECT_TRUE(stream.SetBuffer(bytes.data(), static_cast<int64_t>(bytes.size()),
                                 BufferUse::InPlace));
    const int result = s->LoadJPEG(nullptr, mode, &stream, static_cast<int>(bytes.size()));
    EXPECT_TRUE(stream.IsOpen()) << "a given stream stays open";
    return result;
}

std::string TakeMessage()
{
    CTexto text;
    return TakePendingMessage(&text) ? std::string(text.GetText()) : std::string();
}

// A message-only window that receives the notify post.
struct NotifyWindow {
    HWND hwnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr);
    static constexpr UINT kMessage = WM_APP + 17;
    ~NotifyWindow() { DestroyWindow(hwnd); }
    // Waits (bounded) for the notify message; true when it came.
    bool Wait(int ms)
    {
        for (int waited = 0; waited < ms; waited += 5) {
            MSG msg;
            while (PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE)) {
                if (msg.message == kMessage && msg.wParam == 42)
                    return true;
            }
            Sleep(5);
        }
        return false;
    }
};

}  // namespace

TEST(JpegLoad, FixturesAtEveryDepth)
{
    for (const char* name : {"c444", "c420", "c422", "c440", "grey", "odd420", "restart420"}) {
        SCOPED_TRACE(name);
        const MemorySink ref = Reference(Fixture(std::string(name) + ".jpg"));
        for (int depth : {32, 24, 16, 15}) {
            SCOPED_TRACE(depth);
            CSprite s;
            s.jfif = 1;
            s.fixedBpp = depth;
            const std::string path = FixturePath(std::string(name) + ".jpg");
            ASSERT_EQ(s.LoadJPEG(path.c_str(), depth, nullptr, 0), 0);
            EXPECT_EQ(s.loadState, SpriteLoaded);
            EXPECT_EQ(s.progress, 100);
            ASSERT_EQ(s.width, ref.width);
            ASSERT_EQ(s.height, ref.height);
            EXPECT_EQ(s.bitsPerPixel, depth);
            for (int y = 0; y < ref.height; y += 3) {
                for (int x = 0; x < ref.width; x += 3) {
                    uint32_t want = ref.Rgb(x, y);
                    if (depth == 16)
                        want = Expand565(Reduce565(want));
                    else if (depth == 15)
                        want = Expand555(Reduce555(want));
                    ASSERT_EQ(Pixel(s, x, y), want) << x << "," << y;
                }
            }
        }
    }
}

// Storage tiles hold the picture a flat image holds.
TEST(JpegLoad, TiledEqualsFlat)
{
    const std::string path = FixturePath("strip601.jpg");
    CSprite tiled, flat;
    tiled.jfif = flat.jfif = 1;
    flat.tilingEnabled = 0;
    ASSERT_EQ(tiled.LoadJPEG(path.c_str(), 24, nullptr, 0), 0);
    ASSERT_EQ(flat.LoadJPEG(path.c_str(), 24, nullptr, 0), 0);
    EXPECT_TRUE(tiled.IsKeptInTiles());
    EXPECT_FALSE(flat.IsKeptInTiles());
    for (int y = 0; y < flat.height; ++y)
        for (int x = 0; x < flat.width; ++x)
            ASSERT_EQ(Pixel(tiled, x, y), Pixel(flat, x, y)) << x << "," << y;
}

// Each refusal and mended fault: its report, result 1 and the failed load state.
TEST(JpegLoad, FailureTable)
{
    SetUserMessagesEnabled(true);
    TakeMessage();
    const Bytes original = Fixture("c420.jpg");
    struct Case {
        const char* name;
        void (*apply)(JpegParts*);
        const char* report;   // expected in the pending message; null: no report
    };
    const Case cases[] = {
        {"four components", [](JpegParts* p) { FindSegment(p, 0xC0)->payload[5] = 4; },
         "File compression format not supported"},
        {"zero height", [](JpegParts* p) {
             Bytes& sof = FindSegment(p, 0xC0)->payload;
             sof[1] = sof[2] = 0;
         }, "File format not supported"},
        {"DHT with 16 DC codes", [](JpegParts* p) {
             Bytes dht = {0x00, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
             for (int i = 0; i < 16; ++i)
                 dht.push_back(static_cast<uint8_t>(i));
             p->segments.push_back({0xC4, dht});
         }, "File format not supported"},
        {"sides the image cannot store", [](JpegParts* p) {
             Bytes& sof = FindSegment(p, 0xC0)->payload;
             const Bytes big = {0xFF, 0xFF, 0xFF, 0x3F};
             sof.insert(sof.end(), big.begin(), big.end());
             sof.insert(sof.end(), big.begin(), big.end());
         }, "not enough memory to load the file"},
        {"scan before the frame", [](JpegParts* p) {
             std::vector<Segment> kept;
             for (const Segment& s : p->segments)
                 if (s.marker != 0xC0)
                     kept.push_back(s);
             p->segments = kept;
         }, "JPEG format not supported"},
        {"data ends early", [](JpegParts* p) {
             p->scan.resize(p->scan.size() / 2);
             p->tail.clear();
         }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JpegParts parts = Split(original);
        c.apply(&parts);
        CSprite s;
        s.jfif = 1;
        EXPECT_EQ(LoadBytes(&s, Join(parts), 24), 1);
        EXPECT_EQ(s.loadState, SpriteFailed);
        const std::string message = TakeMessage();
        if (c.report)
            EXPECT_NE(message.find(c.report), std::string::npos) << message;
        else
            EXPECT_EQ(message, "");
    }
    // A progressive stream from another encoder: the name and the progressive text.
    CSprite s;
    s.jfif = 1;
    const std::string path = FixturePath("progressive.jpg");
    EXPECT_EQ(s.LoadJPEG(path.c_str(), 24, nullptr, 0), 1);
    const std::string message = TakeMessage();
    EXPECT_NE(message.find("File format not supported"), std::string::npos) << message;
    EXPECT_NE(message.find("progressive.jpg\n\nProgressive JPEG not supported."), std::string::npos)
        << message;
    // A name that does not open.
    CSprite missing;
    missing.reportOpenErrors = 0;
    EXPECT_EQ(missing.LoadJPEG("Z:\\no\\such\\file.jpg", 24, nullptr, 0), 1);
    EXPECT_EQ(missing.loadState, SpriteFailed);
}

// Files written by other encoders load by name with the image's JFIF flag clear, as a viewer
// given a photo loads it; their progressive form is refused with its report.
TEST(JpegLoad, StandardFilesLoadByNameWithoutTheFlag)
{
    SetUserMessagesEnabled(true);
    TakeMessage();
    for (const char* name : {"c444", "c420", "grey", "restart420", "optimized", "odd420"}) {
        SCOPED_TRACE(name);
        const MemorySink ref = Reference(Fixture(std::string(name) + ".jpg"));
        CSprite s;
        ASSERT_EQ(s.jfif, 0);
        const std::string path = FixturePath(std::string(name) + ".jpg");
        ASSERT_EQ(s.Load(path.c_str(), 24), 1);
        EXPECT_EQ(s.loadState, SpriteLoaded);
        ASSERT_EQ(s.width, ref.width);
        ASSERT_EQ(s.height, ref.height);
        for (int y = 0; y < ref.height; ++y)
            for (int x = 0; x < ref.width; ++x)
                ASSERT_EQ(Pixel(s, x, y), ref.Rgb(x, y)) << x << "," << y;
    }
    EXPECT_EQ(TakeMessage(), "");
    CSprite progressive;
    const std::string path = FixturePath("progressive.jpg");
    EXPECT_EQ(progressive.Load(path.c_str(), 24), 0);
    EXPECT_EQ(progressive.loadState, SpriteFailed);
    EXPECT_NE(TakeMessage().find("Progressive JPEG not supported."), std::string::npos);
}

// The notify post arrives while the data is still coming; the picture completes afterwards.
TEST(JpegLoad, NotifyPostBeforeTheDataEnds)
{
    const Bytes jpg = Fixture("c420.jpg");
    NotifyWindow window;
    ASSERT_NE(window.hwnd, nullptr);
    CSprite s;
    s.jfif = 1;
    s.notifyWindow = window.hwnd;
    s.notifyMessage = NotifyWindow::kMessage;
    s.notifyWParam = 42;
    CFicheroHttp stream;
    ASSERT_TRUE(stream.BeginFill(static_cast<int64_t>(jpg.size()), -1));
    const size_t half = jpg.size() / 2;
    stream.AppendFill(jpg.data(), static_cast<int>(half));
    std::atomic<int> result{-1};
    std::thread loader([&] { result = s.LoadJPEG(nullptr, 24, &stream, 0); });
    const bool posted = window.Wait(10000);
    const bool stillFilling = stream.GetMemoryState() == BufferFilling;
    stream.AppendFill(jpg.data() + half, static_cast<int>(jpg.size() - half));
    stream.EndFill(true);
    loader.join();
    EXPECT_TRUE(posted);
    EXPECT_TRUE(stillFilling);
    EXPECT_EQ(result.load(), 0);
    const MemorySink ref = Reference(jpg);
    EXPECT_EQ(Pixel(s, ref.width - 1, ref.height - 1), ref.Rgb(ref.width - 1, ref.height - 1));
}

// A cancel ends the load with 1 and keeps the blocks drawn so far.
TEST(JpegLoad, CancelKeepsTheBlocksDrawn)
{
    const Bytes jpg = Fixture("c444.jpg");
    const MemorySink ref = Reference(jpg);
    CSprite s;
    s.jfif = 1;
    s.tilingEnabled = 0;
    CFicheroHttp stream;
    ASSERT_TRUE(stream.BeginFill(static_cast<int64_t>(jpg.size()), -1));
    stream.AppendFill(jpg.data(), static_cast<int>(jpg.size() * 2 / 3));
    std::atomic<int> result{-1};
    std::thread loader([&] { result = s.LoadJPEG(nullptr, 24, &stream, 0); });
    // The generation rises at every block group: wait until a good part is drawn.
    for (int waited = 0; waited < 10000 && s.generation < 100; waited += 5)
        Sleep(5);
    EXPECT_GE(s.generation, 100);
    s.abortWord.fetch_or(SpriteAbortCancel);
    stream.EndFill(true);   // the loader may be waiting for bytes
    loader.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_EQ(s.loadState, SpriteFailed);
    EXPECT_EQ(Pixel(s, 0, 0), ref.Rgb(0, 0));
    EXPECT_EQ(Pixel(s, ref.width - 1, ref.height - 1), 0u);   // the default colour
    EXPECT_NE(ref.Rgb(ref.width - 1, ref.height - 1), 0u);
}

// Six faces in one strip go back to the caller undecoded, only with a notify window; one pixel
// more is an ordinary picture.
TEST(JpegLoad, SixFaceStrip)
{
    NotifyWindow window;
    CSprite strip;
    strip.jfif = 1;
    strip.notifyWindow = window.hwnd;
    strip.notifyMessage = NotifyWindow::kMessage;
    const std::string six = FixturePath("strip600.jpg");
    EXPECT_EQ(strip.LoadJPEG(six.c_str(), 24, nullptr, 0), 1);
    EXPECT_EQ(strip.requestedWidth, 600);
    EXPECT_EQ(strip.requestedHeight, 100);
    EXPECT_EQ(strip.abortWord.load() & SpriteAbortNotifyPending, SpriteAbortNotifyPending);
    EXPECT_EQ(strip.pixels, nullptr);
    EXPECT_FALSE(strip.IsKeptInTiles());

    CSprite plain;   // no notify window: decoded
    plain.jfif = 1;
    EXPECT_EQ(plain.LoadJPEG(six.c_str(), 24, nullptr, 0), 0);

    CSprite wider;
    wider.jfif = 1;
    wider.notifyWindow = window.hwnd;
    wider.notifyMessage = NotifyWindow::kMessage;
    const std::string other = FixturePath("strip601.jpg");
    EXPECT_EQ(wider.LoadJPEG(other.c_str(), 24, nullptr, 0), 0);
    EXPECT_EQ(wider.width, 601);
}

// A picture wider than 32766 pixels is stored transposed.
TEST(JpegLoad, WidePictureIsStoredTransposed)
{
    const MemorySink ref = Reference(Fixture("long.jpg"));
    CSprite s;
    s.jfif = 1;
    const std::string path = FixturePath("long.jpg");
    ASSERT_EQ(s.LoadJPEG(path.c_str(), 24, nullptr, 0), 0);
    EXPECT_EQ(s.orientation, 1);
    ASSERT_EQ(s.width, 8);
    ASSERT_EQ(s.height, 32800);
    for (int x = 0; x < 32800; x += 37)
        for (int y = 0; y < 8; ++y)
            ASSERT_EQ(Pixel(s, y, x), ref.Rgb(x, y)) << x << "," << y;
}

// Piece (1, 1) of a 2 x 2 grid overlapping by one pixel lands at (w - 1, h - 1).
TEST(JpegLoad, GridPiece)
{
    const MemorySink ref = Reference(Fixture("c422.jpg"));
    CSprite s;
    s.jfif = 1;
    s.gridColumns = s.gridRows = 2;
    s.gridOverlap = 1;
    s.gridColumn = s.gridRow = 1;
    const std::string path = FixturePath("c422.jpg");
    ASSERT_EQ(s.LoadJPEG(path.c_str(), 24, nullptr, 0), 0);
    ASSERT_EQ(s.width, 2 * ref.width - 1);
    ASSERT_EQ(s.height, 2 * ref.height - 1);
    for (int y = 0; y < ref.height; y += 2)
        for (int x = 0; x < ref.width; x += 2)
            ASSERT_EQ(Pixel(s, ref.width - 1 + x, ref.height - 1 + y), ref.Rgb(x, y));
    EXPECT_EQ(Pixel(s, 0, 0), 0u);
}

// A native stream with an APP3 palette decodes to 8 bits with that palette; without a palette 8
// becomes 24.
TEST(JpegLoad, EightBitOutputWithAPalette)
{
    JpegParts parts = Split(Fixture("c420.jpg"));
    MakeNative(&parts);
    Bytes app3;
    for (int i = 0; i < 216; ++i)
        app3.insert(app3.end(), {static_cast<uint8_t>((i % 6) * 51),
                                 static_cast<uint8_t>((i / 6 % 6) * 51),
                                 static_cast<uint8_t>((i / 36) * 51), 0});
    JpegParts withPalette = parts;
    withPalette.segments.insert(withPalette.segments.begin(), Segment{0xE3, app3});
    const Bytes stream = Join(withPalette);
    MemorySink ref;
    ref.depth = 8;
    ASSERT_EQ(DecodeBytes(stream, &ref, false), JpegError::None);

    CSprite s;
    s.tilingEnabled = 0;
    ASSERT_EQ(LoadBytes(&s, stream, 8), 0);
    EXPECT_EQ(s.bitsPerPixel, 8);
    EXPECT_EQ(s.paletteCount, 216);
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x)
            ASSERT_EQ(s.pixels[y * s.stride + x], *ref.PixelAt(x, y)) << x << "," << y;

    CSprite noPalette;
    noPalette.tilingEnabled = 0;
    JpegParts plain = parts;
    ASSERT_EQ(LoadBytes(&noPalette, Join(plain), 8), 0);
    EXPECT_EQ(noPalette.bitsPerPixel, 24);
}
