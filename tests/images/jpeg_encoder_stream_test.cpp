// CSprite::SaveJPEG under Wine: exact headers in both codings, round trips through our decoder
// in every sampling, unstuffed native data, tile offsets, count mode, palettes in both codings,
// the preview, the option faults, refusals and aborts; and the streams the Linux-side djpeg
// check reads (test-fixtures/encoder).
#include <algorithm>
#include <cmath>
#include <string>

#include "core/stream.h"
#include "images/jpeg_encoder.h"
#include "images/sprite.h"
#include "jpeg_test_support.h"

using namespace jpeg_test;

namespace {

// The image of a PNM picture (24 bits).
void FromPicture(const Picture& p, CSprite* s, int bpp = 24)
{
    ASSERT_GT(s->CreateImage(p.width, p.height, bpp, true, 0, false), 0);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int r = p.At(x, y, 0), g = p.At(x, y, p.channels > 1 ? 1 : 0),
                      b = p.At(x, y, p.channels > 1 ? 2 : 0);
            s->SetPixel(x, y, static_cast<uint32_t>(r << 16 | g << 8 | b));
        }
}

struct SaveArgs {
    int quality = 90;
    int chroma = 101;
    int sampling = 1;
    int keep = 64;
    bool palette = false;
    int tiles = 0;
    bool keepStart = false;
    int step = 1;
    CSprite* preview = nullptr;
    int x0 = 0, y0 = 0, w = 0, h = 0;
};

int Save(CSprite* s, const char* name, const SaveArgs& a)
{
    return s->SaveJPEG(name, a.quality, a.chroma, a.sampling, a.keep, false, false, a.palette,
                       a.tiles, a.keepStart, a.step, a.preview, a.x0, a.y0, a.w, a.h);
}

// Encodes into an attached memory stream; checks the stream is left open.
Bytes Encode(CSprite* s, const SaveArgs& a)
{
    CFicheroHttp out;
    out.Core().m_memoryMode = 1;
    s->outputStream = &out;
    const int result = Save(s, "", a);
    s->outputStream = nullptr;
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(out.IsOpen()) << "an attached stream is never closed";
    const uint8_t* data = out.Core().GetMemoryData();
    return data ? Bytes(data, data + out.Core().GetMemoryFilled()) : Bytes();
}

MemorySink Decode(const Bytes& jpg, bool standard, int depth = 24)
{
    MemorySink sink;
    sink.depth = depth;
    EXPECT_EQ(DecodeBytes(jpg, &sink, standard), JpegError::None);
    return sink;
}

// Largest channel difference and mean absolute difference against the image.
Difference CompareToImage(const MemorySink& sink, const CSprite& s)
{
    Difference d;
    double sum = 0;
    int n = 0;
    for (int y = 0; y < sink.height; ++y)
        for (int x = 0; x < sink.width; ++x) {
            const uint32_t a = sink.Rgb(x, y), b = s.GetPixel(x, y, false);
            for (int c = 0; c < 24; c += 8) {
                const int diff = std::abs(int((a >> c) & 0xFF) - int((b >> c) & 0xFF));
                d.maxDiff = std::max(d.maxDiff, diff);
                sum += diff;
                ++n;
            }
        }
    d.mean = n ? sum / n : 0;
    return d;
}

Picture Photo() { return ReadPnm("photo.ppm"); }

std::string EncoderFolder()
{
    const std::string dir = test_support::BuildPath("test-fixtures\\encoder");
    CreateDirectoryA(test_support::BuildPath("test-fixtures").c_str(), nullptr);
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir + "\\";
}

}  // namespace

TEST(JpegEncoderStream, ExactHeadersInBothCodings)
{
    CSprite s;
    ASSERT_GT(s.CreateImage(20, 10, 24, true, 0x808080, false), 0);
    const struct {
        bool jfif;
        int sampling;
        Bytes sof, sos;
    } cases[] = {
        {false, 1, {0xFF, 0xC0, 0, 0x11, 8, 0, 10, 0, 20, 3, 1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1},
         {0xFF, 0xDA, 0, 0x0C, 3, 1, 0, 2, 0x11, 3, 0x11, 0, 0x3F, 0}},
        {false, 0, {0xFF, 0xC0, 0, 0x11, 8, 0, 10, 0, 20, 1, 1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1},
         {0xFF, 0xDA, 0, 0x0C, 1, 1, 0, 2, 0x11, 3, 0x11, 0, 0x3F, 0}},
        {true, 2, {0xFF, 0xC0, 0, 0x11, 8, 0, 10, 0, 20, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1},
         {0xFF, 0xDA, 0, 0x0C, 3, 1, 0, 2, 0x11, 3, 0x11, 0, 0x3F, 0}},
        {true, 0, {0xFF, 0xC0, 0, 0x0B, 8, 0, 10, 0, 20, 1, 1, 0x11, 0},
         {0xFF, 0xDA, 0, 0x08, 1, 1, 0, 0, 0x3F, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "jfif " << c.jfif << " sampling " << c.sampling);
        s.jfif = c.jfif;
        SaveArgs a;
        a.quality = 50;
        a.sampling = c.sampling;
        const Bytes jpg = Encode(&s, a);
        Bytes expected = {0xFF, 0xD8};
        if (c.jfif)
            expected.insert(expected.end(), kJpegJfifSegment, kJpegJfifSegment + 18);
        for (int id = 0; id < 2; ++id) {
            const Bytes dqt = {0xFF, 0xDB, 0, 0x43, static_cast<uint8_t>(id)};
            expected.insert(expected.end(), dqt.begin(), dqt.end());
            for (int z = 0; z < 64; ++z)
                expected.push_back((id ? kJpegChrominanceQuant
                                       : kJpegLuminanceQuant)[kJpegNaturalOrder[z]]);
        }
        const Bytes dht = {0xFF, 0xC4, 0x01, 0xA2, 0x00};
        expected.insert(expected.end(), dht.begin(), dht.end());
        ASSERT_GT(jpg.size(), expected.size() + 420);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), jpg.begin()));
        const size_t sofAt = expected.size() - 5 + 420;
        EXPECT_EQ(Bytes(jpg.begin() + sofAt, jpg.begin() + sofAt + c.sof.size()), c.sof);
        const size_t sosAt = sofAt + c.sof.size();
        EXPECT_EQ(Bytes(jpg.begin() + sosAt, jpg.begin() + sosAt + c.sos.size()), c.sos);
        EXPECT_EQ(jpg[jpg.size() - 2], 0xFF);
        EXPECT_EQ(jpg[jpg.size() - 1], 0xD9);
    }
}

TEST(JpegEncoderStream, RoundTripsThroughOurDecoder)
{
    const Picture photo = Photo();
    CSprite s;
    FromPicture(photo, &s);
    const struct {
        int sampling;
        int maxDiff;
        double mean;
    } cases[] = {{1, 45, 3.8}, {2, 165, 5.9}, {0x21, 135, 4.8}, {0, 255, 60}};
    for (bool jfif : {false, true}) {
        for (bool optimise : {false, true}) {
            for (const auto& c : cases) {
                SCOPED_TRACE(testing::Message() << "jfif " << jfif << " optimise " << optimise
                                                << " sampling " << c.sampling);
                s.jfif = jfif;
                s.optimiseTables = optimise;
                SaveArgs a;
                a.sampling = c.sampling;
                const Bytes jpg = Encode(&s, a);
                const MemorySink sink = Decode(jpg, jfif);
                ASSERT_EQ(sink.width, photo.width);
                ASSERT_EQ(sink.height, photo.height);
                const Difference d = CompareToImage(sink, s);
                EXPECT_LE(d.maxDiff, c.maxDiff);
                EXPECT_LT(d.mean, c.mean);
                if (c.sampling == 0) {
                    // One component codes the luminance: a grey picture.
                    const uint32_t v = sink.Rgb(50, 50);
                    EXPECT_EQ(v & 0xFF, (v >> 16) & 0xFF);
                }
            }
        }
    }
}

TEST(JpegEncoderStream, NativeDataIsTheStandardDataUnstuffed)
{
    const Picture photo = Photo();
    CSprite s;
    FromPicture(photo, &s);
    SaveArgs a;
    a.quality = 100;
    s.jfif = 0;
    const JpegParts native = Split(Encode(&s, a));
    s.jfif = 1;
    const JpegParts standard = Split(Encode(&s, a));
    const Bytes unstuffed = Unstuff(standard.scan);
    ASSERT_LT(unstuffed.size(), standard.scan.size()) << "the picture has 0xFF data bytes";
    EXPECT_EQ(native.scan, unstuffed);
    int stuffedInNative = 0;
    for (size_t i = 0; i + 1 < native.scan.size(); ++i)
        stuffedInNative += native.scan[i] == 0xFF && native.scan[i + 1] == 0x00;
    EXPECT_LT(stuffedInNative, static_cast<int>(standard.scan.size() - unstuffed.size()));
}

TEST(JpegEncoderStream, TileOffsetsAreExact)
{
    const Picture photo = Photo();   // 203 x 157
    CSprite s;
    FromPicture(photo, &s);
    const int tw = 64, th = 48;
    for (int sampling : {1, 2}) {
        SCOPED_TRACE(sampling);
        SaveArgs a;
        a.sampling = sampling;
        a.tiles = th << 16 | tw;
        const Bytes jpg = Encode(&s, a);
        // SOI, then APP2 with its offsets outside its declared length.
        ASSERT_EQ(jpg[2], 0xFF);
        ASSERT_EQ(jpg[3], 0xE2);
        ASSERT_EQ(LoadBe16(&jpg[4]), 10);
        EXPECT_EQ(LoadLe16(&jpg[6]), tw);
        EXPECT_EQ(LoadLe16(&jpg[8]), th);
        const uint32_t n = LoadLe32(&jpg[10]);
        const int across = (203 + tw - 1) / tw, down = (157 + th - 1) / th;
        ASSERT_EQ(n, static_cast<uint32_t>(across * down));
        std::vector<uint32_t> offsets;
        for (uint32_t i = 0; i < n; ++i)
            offsets.push_back(LoadLe32(&jpg[14 + 4 * i]));
        Bytes rest = {0xFF, 0xD8};
        rest.insert(rest.end(), jpg.begin() + 14 + 4 * n, jpg.end());
        const JpegParts parts = Split(rest);
        EXPECT_EQ(offsets[0], 0u);
        offsets.push_back(static_cast<uint32_t>(parts.scan.size()));

        // Each tile's data is the stream of that rectangle coded on its own.
        for (int t = 0; t < static_cast<int>(n); ++t) {
            SCOPED_TRACE(t);
            const int x0 = (t % across) * tw, y0 = (t / across) * th;
            const int w = std::min(tw, 203 - x0), h = std::min(th, 157 - y0);
            CSprite tile;
            ASSERT_GT(tile.CreateImage(w, h, 24, true, 0, false), 0);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    tile.SetPixel(x, y, s.GetPixel(x0 + x, y0 + y, false));
            SaveArgs alone = a;
            alone.tiles = 0;
            const JpegParts own = Split(Encode(&tile, alone));
            ASSERT_LE(offsets[t], offsets[t + 1]);
            const Bytes slice(parts.scan.begin() + offsets[t], parts.scan.begin() + offsets[t + 1]);
            ASSERT_EQ(slice, own.scan);
            // And it decodes into its rectangle.
            const MemorySink sink = Decode(Join(own), false);
            EXPECT_LE(CompareToImage(sink, tile).maxDiff, sampling == 2 ? 165 : 45);
        }
    }

    // Written to a file after a prefix, with the start kept: the offsets land after the prefix.
    TempFolder folder;
    const std::string path = folder.File("tiles-after-prefix.bin");
    CFicheroHttp file;
    ASSERT_TRUE(file.Open(path.c_str(), OpenWrite | OpenCreate | OpenNoOverwritePrompt));
    const Bytes prefix(37, 0x5A);
    ASSERT_EQ(file.Write(prefix.data(), 37), 37);
    s.outputStream = &file;
    SaveArgs a;
    a.tiles = th << 16 | tw;
    a.keepStart = true;
    ASSERT_EQ(Save(&s, "", a), 1);
    s.outputStream = nullptr;
    EXPECT_TRUE(file.IsOpen());
    file.Close();
    const Bytes written = ReadFileBytes(path);
    const Bytes memory = Encode(&s, a);
    ASSERT_EQ(written.size(), memory.size() + 37);
    EXPECT_TRUE(std::equal(memory.begin(), memory.end(), written.begin() + 37));
    DeleteFileA(path.c_str());
}

TEST(JpegEncoderStream, CountModeMatchesTheWrittenSize)
{
    const Picture photo = Photo();
    CSprite s;
    FromPicture(photo, &s);
    for (int sampling : {0, 1, 2}) {
        for (int tiles : {0, 32 << 16 | 32}) {
            SCOPED_TRACE(testing::Message() << sampling << " tiles " << tiles);
            s.jfif = 0;
            SaveArgs a;
            a.sampling = sampling;
            a.tiles = tiles;
            const Bytes jpg = Encode(&s, a);
            EXPECT_EQ(Save(&s, nullptr, a), static_cast<int>(jpg.size()));
            // In standard mode the count leaves the stuffed zeros out.
            s.jfif = 1;
            const Bytes standard = Encode(&s, a);
            const JpegParts parts = Split(standard);
            const size_t stuffed = parts.scan.size() - Unstuff(parts.scan).size();
            EXPECT_EQ(Save(&s, nullptr, a), static_cast<int>(standard.size() - stuffed));
        }
    }
    // Every k-th group, scaled by the estimate factor: near the real size.
    s.jfif = 0;
    SaveArgs a;
    const int real = Save(&s, nullptr, a);
    a.step = 3;
    const int estimate = Save(&s, nullptr, a);
    EXPECT_GT(estimate, real / 2);
    EXPECT_LT(estimate, real * 2);
}

TEST(JpegEncoderStream, PaletteImagesRoundTripInBothCodings)
{
    // 16 colours in a scrambled order; blocks of one index with soft borders.
    CSprite s;
    ASSERT_GT(s.CreateImage(64, 48, 8, true, 0, false), 0);
    s.paletteCount = 16;
    for (int i = 0; i < 16; ++i)
        s.palette[i] = static_cast<uint32_t>(((i * 7) % 16) * 0x0F0D0B);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            s.pixels[y * s.stride + x] = static_cast<uint8_t>((x / 16 + (y / 12) * 4) % 16);
    std::vector<uint32_t> before;
    for (int i = 0; i < 64 * 48; ++i)
        before.push_back(s.palette[s.pixels[i]]);

    // One component of indices with the palette: the image's palette is reordered first.
    TempFolder folder;
    const std::string path = folder.File("palette.jpg");
    SaveArgs a;
    a.quality = 100;
    a.sampling = 3;
    a.palette = true;
    ASSERT_EQ(Save(&s, path.c_str(), a), 1);
    for (int i = 0; i < 64 * 48; ++i)
        ASSERT_EQ(s.palette[s.pixels[i]], before[i]) << "the picture is unchanged";
    for (int i = 1; i < 16; ++i) {
        auto key = [](uint32_t c) {
            const int b = c & 0xFF, g = (c >> 8) & 0xFF, r = (c >> 16) & 0xFF;
            int y, cb, cr;
            JpegRgbToYcc(r, g, b, &y, &cb, &cr);
            return y * y + cb * cb + cr * cr;
        };
        EXPECT_LE(key(s.palette[i - 1]), key(s.palette[i])) << i;
    }
    const Bytes jpg = ReadFileBytes(path);
    JpegParts parts = Split(jpg);
    const Segment* app3 = FindSegment(&parts, 0xE3);
    ASSERT_NE(app3, nullptr);
    ASSERT_EQ(app3->payload.size(), 64u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(LoadLe32(&app3->payload[4 * i]), s.palette[i]);
    {
        MemorySink sink = Decode(jpg, false, 8);
        ASSERT_EQ(sink.width, 64);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(*sink.PixelAt(x, y), s.pixels[y * s.stride + x]) << x << "," << y;
    }
    // Through CSprite::Load: the same colours.
    CSprite loaded;
    ASSERT_EQ(loaded.Load(path.c_str(), 24), 1);
    for (int y = 0; y < 48; y += 5)
        for (int x = 0; x < 64; x += 5)
            EXPECT_EQ(loaded.GetPixel(x, y, false) & 0xFFFFFF, s.GetPixel(x, y, false) & 0xFFFFFF);
    DeleteFileA(path.c_str());

    // In colour through the palette, both codings.
    for (bool jfif : {false, true}) {
        SCOPED_TRACE(jfif);
        s.jfif = jfif;
        a.sampling = jfif ? 3 : 1;   // a JFIF stream codes option 3 in colour too
        const Bytes colour = Encode(&s, a);
        JpegParts p = Split(colour);
        EXPECT_EQ(FindSegment(&p, 0xE3) == nullptr, jfif) << "no palette in a JFIF stream";
        const MemorySink sink = Decode(colour, jfif);
        EXPECT_LE(CompareToImage(sink, s).maxDiff, 24);
    }
}

TEST(JpegEncoderStream, OptionFaultsAreMended)
{
    const Picture photo = Photo();
    CSprite s;
    FromPicture(photo, &s);
    // A sampling byte we do not code is coded and declared as 0x11.
    SaveArgs a;
    a.sampling = 0x12;
    Bytes odd = Encode(&s, a);
    a.sampling = 1;
    EXPECT_EQ(odd, Encode(&s, a));
    // A tile size with a zero side writes no tile table.
    for (int tiles : {64, 64 << 16}) {
        a.tiles = tiles;
        Bytes jpg = Encode(&s, a);
        EXPECT_NE(jpg[3], 0xE2);
        a.tiles = 0;
        EXPECT_EQ(jpg, Encode(&s, a));
    }
    // The JFIF flag drops tiles and the palette segment.
    s.jfif = 1;
    a.tiles = 64 << 16 | 64;
    a.palette = true;
    s.paletteCount = 2;
    Bytes jfif = Encode(&s, a);
    JpegParts parts = Split(jfif);
    EXPECT_EQ(FindSegment(&parts, 0xE2), nullptr);
    EXPECT_EQ(FindSegment(&parts, 0xE3), nullptr);
    EXPECT_EQ(Decode(jfif, true).width, photo.width);
}

TEST(JpegEncoderStream, RefusalsWriteNothing)
{
    const Picture photo = Photo();
    TempFolder folder;
    const std::string path = folder.File("refused.jpg");
    const struct {
        const char* what;
        int bpp;
        int quality;
        bool progressive;
        int scaleShift;
    } cases[] = {
        {"options dialog asked", 24, 101, false, 0},
        {"difference coding", 24, 0x2000 | 90, false, 0},
        {"progressive", 24, 90, true, 0},
        {"pyramid", 24, 90, false, 2},
        {"16 bits", 16, 90, false, 0},
        {"15 bits", 15, 90, false, 0},
        {"no pixels", 0, 90, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileA(path.c_str());
        CSprite s;
        if (c.bpp)
            FromPicture(photo, &s, c.bpp);
        s.scaleShift = c.scaleShift;
        EXPECT_EQ(s.SaveJPEG(path.c_str(), c.quality, 101, 1, 64, c.progressive, false, false, 0,
                             false, 1, nullptr, 0, 0, 0, 0),
                  0);
        EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    }

    // An abort during the encode removes the file.
    CSprite s;
    FromPicture(photo, &s);
    s.abortWord = SpriteAbortCancel;
    EXPECT_EQ(Save(&s, path.c_str(), SaveArgs()), 0);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    s.abortWord = 0;
    // A name that cannot be opened.
    const std::string badPath = folder.File("no-such-folder\\x.jpg");
    EXPECT_EQ(Save(&s, badPath.c_str(), SaveArgs()), 0);
}

TEST(JpegEncoderStream, PreviewShowsWhatTheDecoderShows)
{
    const Picture photo = Photo();
    CSprite s;
    FromPicture(photo, &s);
    s.optimiseTables = 1;
    for (int sampling : {1, 2, 0}) {
        SCOPED_TRACE(sampling);
        SaveArgs a;
        a.sampling = sampling;
        const MemorySink full = Decode(Encode(&s, a), false);
        CSprite preview;
        a.preview = &preview;
        const Bytes headers = Encode(&s, a);
        // Only the headers before DHT, and EOI.
        JpegParts parts = Split(headers);
        EXPECT_EQ(FindSegment(&parts, 0xC4), nullptr);
        EXPECT_EQ(headers[headers.size() - 1], 0xD9);
        ASSERT_EQ(preview.createWidth, photo.width);
        int worst = 0;
        for (int y = 0; y < photo.height; ++y)
            for (int x = 0; x < photo.width; ++x) {
                const uint32_t p = preview.GetPixel(x, y, false), f = full.Rgb(x, y);
                for (int c = 0; c < 24; c += 8)
                    worst = std::max(worst, std::abs(int((p >> c) & 0xFF) - int((f >> c) & 0xFF)));
            }
        EXPECT_LE(worst, 2);
    }
}

// The portable and every SIMD level write the same bytes: each sampling, 24- and 32-bit pixels,
// an odd-sized picture (edge repetition), both codings, optimised tables, fewer codes per block.
TEST(JpegEncoderStream, EveryLevelWritesTheSameBytes)
{
    const Picture photo = Photo();   // 203 x 157
    for (int bpp : {24, 32}) {
        CSprite s;
        FromPicture(photo, &s, bpp);
        const struct {
            int sampling;
            bool oneComponent;
            bool standard;
            bool optimise;
            int keep;
        } cases[] = {{0x11, false, false, false, 64}, {0x22, false, true, false, 64},
                     {0x21, false, false, true, 64},  {0x22, false, false, false, 10},
                     {0x11, true, true, true, 64},    {0x22, false, true, true, 64}};
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << bpp << " bits, sampling " << c.sampling << " one "
                                            << c.oneComponent << " keep " << c.keep);
            Bytes reference;
            for (SimdLevel level : {SimdLevel::Plain, SimdLevel::Sse2, SimdLevel::Avx2}) {
                if (DetectSimdLevel() < level)
                    continue;
                JpegEncodeJob job;
                job.quality = job.chromaQuality = 90;
                job.sampling = c.sampling;
                job.oneComponent = c.oneComponent;
                job.standard = c.standard;
                job.optimise = c.optimise;
                job.keep = c.keep;
                job.simd = level;
                CFicheroHttp out;
                out.Core().m_memoryMode = 1;
                ASSERT_TRUE(out.Open("", OpenWrite));
                int64_t count = 0;
                ASSERT_EQ(EncodeJpeg(&s, job, &out, &count), JpegEncodeResult::Written);
                const uint8_t* data = out.Core().GetMemoryData();
                const Bytes bytes(data, data + out.Core().GetMemoryFilled());
                if (!c.standard) {
                    EXPECT_EQ(count, static_cast<int64_t>(bytes.size()));
                }
                if (level == SimdLevel::Plain) {
                    reference = bytes;
                } else {
                    EXPECT_TRUE(bytes == reference) << SimdLevelName(level);
                }
            }
        }
    }
}

// Streams for the Linux-side djpeg check (tests/images/check_encoder_streams.sh), written by the
// main run only (the run on the plain paths goes beside it and would write the same files).
TEST(JpegEncoderStream, WritesTheStreamsDjpegChecks)
{
    if (getenv("LUMARIX_SIMD"))
        GTEST_SKIP() << "the main run writes them";
    const Picture photo = Photo();
    CSprite s;
    FromPicture(photo, &s);
    s.jfif = 1;
    const std::string dir = EncoderFolder();
    const struct {
        const char* name;
        int sampling;
        bool optimise;
    } streams[] = {{"ours420", 2, false}, {"ours444", 1, false}, {"ours422", 0x21, false},
                   {"oursgrey", 0, false}, {"ours420opt", 2, true}};
    for (const auto& c : streams) {
        SCOPED_TRACE(c.name);
        s.optimiseTables = c.optimise;
        SaveArgs a;
        a.sampling = c.sampling;
        const std::string path = dir + c.name + ".jpg";
        ASSERT_EQ(Save(&s, path.c_str(), a), 1);
        // Our own decode beside it, as a PPM.
        const MemorySink sink = Decode(ReadFileBytes(path), true);
        FILE* f = fopen((dir + c.name + ".ppm").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fprintf(f, "P6\n%d %d\n255\n", sink.width, sink.height);
        for (int y = 0; y < sink.height; ++y)
            for (int x = 0; x < sink.width; ++x) {
                const uint32_t v = sink.Rgb(x, y);
                const uint8_t rgb[3] = {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
                fwrite(rgb, 1, 3, f);
            }
        fclose(f);
    }
    // A picture whose symbol statistics are very skewed: flat grey with a few sharp specks, so
    // that a tree without a length limit would need codes longer than 16 bits.
    CSprite skew;
    ASSERT_GT(skew.CreateImage(512, 512, 24, true, 0x808080, false), 0);
    uint32_t seed = 99;
    for (int i = 0; i < 40; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int x = (seed >> 8) % 512, y = (seed >> 18) % 512;
        skew.SetPixel(x, y, (seed & 1) ? 0xFFFFFF : 0);
    }
    skew.jfif = 1;
    skew.optimiseTables = 1;
    SaveArgs a;
    a.quality = 100;
    ASSERT_EQ(Save(&skew, (dir + "skewed.jpg").c_str(), a), 1);
    JpegParts parts = Split(ReadFileBytes(dir + "skewed.jpg"));
    for (const Segment& seg : parts.segments) {
        if (seg.marker != 0xC4)
            continue;
        uint32_t kraft = 0;
        for (int length = 1; length <= 16; ++length)
            kraft += static_cast<uint32_t>(seg.payload[length]) << (16 - length);
        EXPECT_LT(kraft, 1u << 16) << "no code of all 1 bits";
    }
    EXPECT_LE(CompareToImage(Decode(ReadFileBytes(dir + "skewed.jpg"), true), skew).maxDiff, 4);
}
