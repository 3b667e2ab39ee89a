// CSprite loading by name under Wine: the reader table, Load and LoadAsync with their states,
// progress and generation, the owner's post, cancelling a running decode, the abort bits (also a
// lent cancel flag), resolution levels, the mask pass and dark pixels.
#include <atomic>
#include <string>

#include "core/worker_threads.h"
#include "images/sprite.h"
#include "jpeg_test_support.h"

using namespace jpeg_test;

namespace {

constexpr UINT kNotifyMessage = WM_APP + 21;
constexpr WPARAM kNotifyWParam = 77;

// A message-only window that counts the notify posts it receives.
struct Owner {
    HWND hwnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr);
    ~Owner() { DestroyWindow(hwnd); }
    int Pump()
    {
        int posts = 0;
        MSG msg;
        while (PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE)) {
            if (msg.message == kNotifyMessage && msg.wParam == kNotifyWParam && msg.lParam == 0)
                ++posts;
        }
        return posts;
    }
    // Posts received until the image's loader left its slot (bounded), then any still queued.
    int WaitForLoader(CSprite* image, int ms = 10000)
    {
        int posts = 0;
        for (int waited = 0; image->loaderThread.load() && waited < ms; waited += 5) {
            posts += Pump();
            Sleep(5);
        }
        return posts + Pump();
    }
};

std::string Path(const char* name) { return FixturePath(name); }

uint32_t Rgb(const CSprite& s, int x, int y) { return s.GetPixel(x, y, false) & 0xFFFFFF; }

}  // namespace

TEST(SpriteLoading, ReaderTable)
{
    const struct {
        const char* name;
        SpriteReader reader;
        bool callingThread;
    } cases[] = {
        {"a.jpg", SpriteReader::Jpeg, false},     {"PIC.JPEG", SpriteReader::Jpeg, false},
        {"x.Jpe", SpriteReader::Jpeg, false},     {"http://h/p.jpg", SpriteReader::Jpeg, false},
        {"m.avi", SpriteReader::Video, false},    {"m.MPG", SpriteReader::Video, false},
        {"m.mp4", SpriteReader::Video, false},    {"i.ico", SpriteReader::Icon, false},
        {"f.fst", SpriteReader::Fst, false},      {"b.BMP", SpriteReader::Bmp, false},
        {"p.png", SpriteReader::Png, false},      {"t.tiff", SpriteReader::Tiff, false},
        {"t.TIF", SpriteReader::Tiff, false},     {"page.html", SpriteReader::Html, true},
        {"page.HTM", SpriteReader::Html, true},   {"a.mht", SpriteReader::Html, true},
        {"q.php", SpriteReader::Html, true},      {"movie.swf", SpriteReader::Html, true},
        {"webcam1", SpriteReader::Webcam, true},  {"WEBCAM1", SpriteReader::Webcam, false},
        {"webcam", SpriteReader::Webcam, true},   {"webcam.x", SpriteReader::Webcam, false},
        {"jpg", SpriteReader::None, false},       {"a.gif", SpriteReader::None, false},
        {"", SpriteReader::None, false},          {"camweb", SpriteReader::None, false},
        {"photojpg", SpriteReader::Jpeg, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindSpriteReader(c.name), c.reader);
        EXPECT_EQ(LoadsOnCallingThread(c.name), c.callingThread);
    }
    EXPECT_EQ(FindSpriteReader(nullptr), SpriteReader::None);
}

TEST(SpriteLoading, LoadDecodesAJpegFileAndRunsTheAfterLoadSteps)
{
    const std::string path = Path("c420.jpg");
    CSprite s;
    s.jfif = 1;
    s.fixedBpp = 24;
    s.tilingEnabled = 0;   // one buffer, whose spare bytes the load pads
    ASSERT_EQ(s.Load(path.c_str(), 24), 1);
    EXPECT_EQ(s.loadState, SpriteLoaded);
    EXPECT_EQ(s.progress, 100);
    EXPECT_GT(s.generation, 0);
    EXPECT_EQ(s.inLoad, 0);
    EXPECT_STREQ(s.fileName.GetText(), path.c_str());
    EXPECT_STREQ(s.requestedName.GetText(), path.c_str());
    EXPECT_EQ(s.viewWidth, 203);
    EXPECT_EQ(s.viewHeight, 157);

    // The same picture as the reader gives when called on its own.
    CSprite direct;
    direct.jfif = 1;
    direct.fixedBpp = 24;
    ASSERT_EQ(direct.LoadJPEG(path.c_str(), 24, nullptr, 0), 0);
    for (int y = 0; y < 157; y += 13)
        for (int x = 0; x < 203; x += 11)
            ASSERT_EQ(Rgb(s, x, y), Rgb(direct, x, y)) << x << "," << y;
    // The buffer's spare bytes repeat the last pixel.
    ASSERT_NE(s.pixels, nullptr);
    EXPECT_EQ(memcmp(s.pixels + s.byteSize, s.pixels + s.byteSize - 3, 3), 0);
}

TEST(SpriteLoading, FailuresEndFailedAndAnswerZero)
{
    const std::string missing = test_support::BuildPath("no-such-picture.jpg");
    const std::string jpg = Path("c444.jpg");
    const struct {
        const char* what;
        const char* name;
        int abort;
    } cases[] = {
        {"three characters", "a.b", 0},
        {"unknown ending", "picture.gif", 0},
        {"missing file", missing.c_str(), 0},
        {"no name at all", "", 0},
        {"not built reader", "picture.png", 0},
        {"cancel bit set before the start", jpg.c_str(), SpriteAbortCancel},
        {"cancel and notify bits", jpg.c_str(), SpriteAbortCancel | SpriteAbortNotifyPending},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CSprite s;
        s.abortWord = c.abort;
        EXPECT_EQ(s.Load(c.name, 0), 0);
        EXPECT_EQ(s.loadState, SpriteFailed);
        EXPECT_EQ(s.pixels, nullptr) << "nothing read";
        EXPECT_EQ(s.contentValid, 0);
        EXPECT_EQ(s.inLoad, 0);
        EXPECT_EQ(s.abortWord.load(), c.abort) << "Load never clears a cancel";
    }
}

TEST(SpriteLoading, NotifyBitAloneReadsNothingPostsAndEndsLoaded)
{
    Owner owner;
    const std::string jpg = Path("c444.jpg");
    CSprite s;
    s.abortWord = SpriteAbortNotifyPending;
    s.notifyWindow = owner.hwnd;
    s.notifyMessage = kNotifyMessage;
    s.notifyWParam = kNotifyWParam;
    EXPECT_EQ(s.Load(jpg.c_str(), 0), 1);
    EXPECT_EQ(s.loadState, SpriteLoaded);
    EXPECT_EQ(s.pixels, nullptr);
    EXPECT_EQ(s.abortWord.load(), 0);
    EXPECT_EQ(s.notifyWindow, nullptr);
    EXPECT_EQ(owner.Pump(), 1);
}

TEST(SpriteLoading, LoadAsyncLoadsOnTheLoaderThreadAndPostsOnce)
{
    Owner owner;
    const std::string jpg = Path("c420.jpg");
    CSprite s;
    s.jfif = 1;   // the fixtures are standard streams
    CWorkerThread* thread = s.LoadAsync(jpg.c_str(), 24, owner.hwnd, kNotifyMessage,
                                        kNotifyWParam);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(s.loadRequestCount, 1);
    // A second request while the first runs starts nothing.
    EXPECT_EQ(s.LoadAsync(jpg.c_str(), 24, owner.hwnd, kNotifyMessage, kNotifyWParam),
              s.loaderThread.load());
    EXPECT_EQ(s.loadRequestCount, 1);
    EXPECT_EQ(owner.WaitForLoader(&s), 1);
    EXPECT_EQ(s.loaderThread.load(), nullptr);
    EXPECT_EQ(s.loadState, SpriteLoaded);
    EXPECT_EQ(s.progress, 100);
    EXPECT_GT(s.generation, 0);
    EXPECT_EQ(s.notifyWindow, nullptr);
    EXPECT_TRUE(s.pixels || s.IsKeptInTiles());

    // The picture already loaded: nothing happens, no thread.
    EXPECT_EQ(s.LoadAsync(jpg.c_str(), 24, owner.hwnd, kNotifyMessage, kNotifyWParam), nullptr);
    EXPECT_EQ(s.LoadAsync(nullptr, 24), nullptr);
    EXPECT_EQ(s.loadRequestCount, 1);
    // Another name reloads.
    const std::string other = Path("mid444.jpg");
    ASSERT_NE(s.LoadAsync(other.c_str(), 24, owner.hwnd, kNotifyMessage, kNotifyWParam),
              nullptr);
    EXPECT_EQ(owner.WaitForLoader(&s), 1);
    EXPECT_EQ(s.loadState, SpriteLoaded);
    EXPECT_EQ(s.viewWidth, 96);
    EXPECT_EQ(s.loadRequestCount, 2);
}

TEST(SpriteLoading, LoadAsyncOfPagesAndLowerCaseWebcamsRunsOnTheCallingThread)
{
    const struct {
        const char* name;
        bool onThread;
    } cases[] = {
        {"webcam1", false}, {"page.php", false}, {"WEBCAM1", true}, {"movie.avi", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSprite s;
        CWorkerThread* thread = s.LoadAsync(c.name, 0);
        if (!c.onThread) {
            EXPECT_EQ(thread, nullptr);
            EXPECT_EQ(s.loadState, SpriteFailed) << "finished before LoadAsync returned";
        } else {
            EXPECT_NE(thread, nullptr);
            Owner owner;
            owner.WaitForLoader(&s);
            EXPECT_EQ(s.loadState, SpriteFailed);
        }
    }
}

TEST(SpriteLoading, AStartingLoadClearsOnlyBitZeroOfALentCancelFlag)
{
    const std::string jpg = Path("c444.jpg");
    for (int flag : {0, 1, 2, 3}) {
        SCOPED_TRACE(flag);
        std::atomic<int> frameCancel{flag};
        CSprite s;
        s.jfif = 1;   // the fixtures are standard streams
        s.abortPointer = &frameCancel;
        s.LoadAsync(jpg.c_str(), 24);
        Owner owner;
        owner.WaitForLoader(&s);
        EXPECT_EQ(frameCancel.load(), flag >= 2 ? flag : 0);
        EXPECT_EQ(s.loadState, flag >= 2 ? SpriteFailed : SpriteLoaded);
    }
}

TEST(SpriteLoading, CancelLoadStopsARunningDecode)
{
    Owner owner;
    const std::string big = test_support::BuildPath("test-fixtures/loading/big.jpg");
    CSprite s;
    s.jfif = 1;   // the fixtures are standard streams
    ASSERT_NE(s.LoadAsync(big.c_str(), 24, owner.hwnd, kNotifyMessage, kNotifyWParam), nullptr);
    // The post comes once the storage exists: the decode is under way.
    int posts = 0;
    for (int waited = 0; posts == 0 && waited < 10000; waited += 1) {
        posts += owner.Pump();
        Sleep(1);
    }
    ASSERT_EQ(posts, 1);
    s.CancelLoad();
    EXPECT_EQ(s.loaderThread.load(), nullptr);
    EXPECT_EQ(s.abortWord.load(), 0);
    EXPECT_NE(s.loadState, SpriteLoading);
    EXPECT_LT(s.progress, 100) << "the decode stopped before its end";
    EXPECT_EQ(owner.Pump(), 0) << "one post per load";

    // The next load starts clean.
    ASSERT_EQ(s.Load(Path("c444.jpg").c_str(), 24), 1);
    EXPECT_EQ(s.loadState, SpriteLoaded);
}

TEST(SpriteLoading, MaskFileSuppliesTheAlphaBytes)
{
    const std::string picture = Path("c444.jpg");   // 203 x 157
    CSprite plain;
    plain.jfif = 1;   // the fixtures are standard streams
    ASSERT_EQ(plain.Load(picture.c_str(), 24), 1);
    CSprite grey;
    grey.jfif = 1;   // the fixtures are standard streams
    ASSERT_EQ(grey.Load(Path("grey.jpg").c_str(), 24), 1);   // the same size

    const struct {
        const char* what;
        std::string mask;
        bool applied;
    } cases[] = {
        {"grey mask of the same size", Path("grey.jpg"), true},
        {"mask of another size", Path("mid444.jpg"), false},
        {"mask that cannot be read", test_support::BuildPath("no-such-mask.jpg"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CSprite s;
        s.jfif = 1;   // the fixtures are standard streams
        s.maskFile = c.mask.c_str();
        ASSERT_EQ(s.Load(picture.c_str(), 24), 1);
        EXPECT_EQ(s.bitsPerPixel, 32);
        EXPECT_EQ(s.hasAlpha, 1);
        EXPECT_EQ(s.width, 203);
        EXPECT_EQ(s.height, 157);
        EXPECT_EQ(s.loadState, SpriteLoaded);
        EXPECT_STREQ(s.fileName.GetText(), picture.c_str()) << "the mask pass keeps the name";
        for (int y = 0; y < 157; y += 7) {
            for (int x = 0; x < 203; x += 5) {
                const uint32_t v = s.GetPixel(x, y, false);
                ASSERT_EQ(v & 0xFFFFFF, Rgb(plain, x, y)) << x << "," << y;
                const uint32_t alpha = v >> 24;
                ASSERT_EQ(alpha, c.applied ? (grey.GetPixel(x, y, false) & 0xFF) : 0xFFu)
                    << x << "," << y;
            }
        }
    }
}

TEST(SpriteLoading, ResolutionLevels)
{
    const std::string jpg = Path("c444.jpg");
    const struct {
        const char* what;
        bool locked, keep;
        int from, to, bpp;
        int state;           // expected load state afterwards
        int width, level;    // expected stored width and level
    } cases[] = {
        {"locked", true, false, 0, 2, 0, SpriteLoaded, 203, 0},
        {"same level, no depth", false, false, 1, 1, 0, SpriteLoaded, 203, 1},
        {"coarser, kept content shrinks", false, true, 0, 2, 24, SpriteLoaded, 50, 2},
        {"coarser, no kept content reloads", false, false, 0, 2, 24, SpriteEmpty, 203, 2},
        {"finer reloads", false, true, 2, 0, 24, SpriteEmpty, 203, 0},
        {"same level, other depth reloads", false, false, 1, 1, 32, SpriteEmpty, 203, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CSprite s;
        s.jfif = 1;   // the fixtures are standard streams
        s.tilingEnabled = 0;
        ASSERT_EQ(s.Load(jpg.c_str(), 24), 1);
        s.resolutionLevel = c.from;
        s.asyncBpp = 24;
        s.levelLocked = c.locked;
        s.keepContent = c.keep;
        s.SetResolutionLevel(c.to, c.bpp);
        EXPECT_EQ(s.loadState, c.state);
        EXPECT_EQ(s.resolutionLevel, c.level);
        EXPECT_EQ(s.createWidth, c.width);
        if (c.state == SpriteEmpty) {
            EXPECT_EQ(s.progress, 0);
            EXPECT_EQ(s.codecReload, 1);
        }
    }

    CSprite s;
    EXPECT_EQ(s.GetRequestedLevel(), 3);
    s.requestedLevels[5] = 1;
    s.requestedLevels[2] = 2;
    EXPECT_EQ(s.GetRequestedLevel(), 1);
    s.requestedLevels[0] = 7;
    EXPECT_EQ(s.GetRequestedLevel(), 1);
}

TEST(SpriteLoading, ClearDarkPixels)
{
    // Pixel values per depth: black, a dark grey of channel sum 30, a brighter one.
    const struct {
        int bpp;
        uint32_t black, dark, bright;
    } cases[] = {
        {32, 0x80000000u, 0xFF0A0A0Au, 0xFF404040u},
        {24, 0x000000u, 0x0A0A0Au, 0x404040u},
        {16, 0x0000u, 0x0841u, 0x4208u},   // 0x0841 expands to 8, 4, 8 = 20
        {15, 0x0000u, 0x0421u, 0x2108u},   // 8 + 8 + 8 = 24
    };
    for (const auto& c : cases) {
        for (int threshold : {0, 30}) {
            SCOPED_TRACE(testing::Message() << c.bpp << " bits, threshold " << threshold);
            CSprite s;
            ASSERT_GT(s.CreateImage(3, 1, c.bpp, true, 0, false), 0);
            const int bytes = s.bytesPerPixel;
            memcpy(s.pixels, &c.black, bytes);
            memcpy(s.pixels + bytes, &c.dark, bytes);
            memcpy(s.pixels + 2 * bytes, &c.bright, bytes);
            s.ClearDarkPixels(threshold);
            uint32_t got[3] = {};
            for (int i = 0; i < 3; ++i)
                memcpy(&got[i], s.pixels + i * bytes, bytes);
            EXPECT_EQ(got[0], 0u) << "black is always cleared, at 32 bits with its fourth byte";
            EXPECT_EQ(got[1], threshold == 30 ? 0u : c.dark);
            EXPECT_EQ(got[2], c.bright);
        }
    }

    // During a load only the threshold is kept; the load applies it at its end.
    CSprite s;
    s.jfif = 1;   // the fixtures are standard streams
    s.loadState = SpriteLoading;
    s.ClearDarkPixels(765);
    EXPECT_EQ(s.darkThreshold, 765);
    s.loadState = SpriteEmpty;
    ASSERT_EQ(s.Load(Path("c444.jpg").c_str(), 24), 1);
    for (int x = 0; x < 203; x += 17)
        EXPECT_EQ(Rgb(s, x, 40), 0u);
}
