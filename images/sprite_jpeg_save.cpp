// CSprite::SaveJPEG: the image's options turned into an encoder job (images/jpeg_encoder*.cpp),
// the output stream opened and closed, and the palette order of 8-bit images.
#include <algorithm>

#include "core/matrix_math.h"
#include "core/stream.h"
#include "images/jpeg_encoder.h"
#include "images/sprite.h"

namespace {

constexpr int kQualityMask = 0xFF;
constexpr int kQualityAsk = 101;          // the options dialog chooses
constexpr int kQualityReportErrors = 0x100;
constexpr int kQualityDifference = 0x2000;
constexpr int kSamplingOneComponent = 0;
constexpr int kSampling11 = 1;
constexpr int kSampling22 = 2;
constexpr int kSampling11OrIndexed = 3;
constexpr int kTileSideMask = 0xFFFF;
constexpr int kMaxCodesPerBlock = 64;

constexpr uint32_t kLow24 = 0xFFFFFF;

int ClampQuality(int q) { return std::max(1, std::min(100, q)); }

}  // namespace

int CSprite::SaveJPEG(const char* name, int qualityWord, int chromaQuality, int samplingOption,
                      int codesPerBlock, bool progressive, bool dcFirst, bool withPalette,
                      int tileSize, bool keepStart, int estimateStep, CSprite* preview, int x0,
                      int y0, int regionWidth, int regionHeight)
{
    (void)dcFirst;   // only meaningful for progressive streams
    const int quality = qualityWord & kQualityMask;
    if (quality == kQualityAsk) {
        // Not built yet: the options dialog; asking acts as its Cancel (nothing written).
        return 0;
    }
    if ((qualityWord & kQualityDifference) || progressive || scaleShift != 0) {
        // Not built yet: difference frames, progressive scans and pyramids answer 0.
        return 0;
    }
    if (!pixels && !IsKeptInTiles()) {
        // Kept coefficients without pixels are coded from the coefficients: not built yet.
        return 0;
    }
    if (bitsPerPixel < 24 && bitsPerPixel != 8)
        return 0;

    JpegEncodeJob job;
    job.quality = ClampQuality(quality);
    job.chromaQuality = ClampQuality(chromaQuality == kQualityAsk ? quality : chromaQuality);
    job.standard = jfif != 0;
    job.optimise = optimiseTables != 0;
    job.keep = std::max(1, std::min(kMaxCodesPerBlock, codesPerBlock));
    job.step = std::max(1, estimateStep);
    switch (samplingOption) {
    case kSamplingOneComponent:
        job.oneComponent = true;
        break;
    case kSampling11:
        job.sampling = 0x11;
        break;
    case kSampling22:
        job.sampling = 0x22;
        break;
    case kSampling11OrIndexed:
        // Palette indices are a native-only form: a JFIF stream codes the colours.
        job.sampling = 0x11;
        job.oneComponent = job.indexed = bitsPerPixel == 8 && !job.standard;
        break;
    default:
        // Bytes we do not code are coded and declared as 0x11.
        job.sampling = samplingOption == 0x21 || samplingOption == 0x22 ? samplingOption : 0x11;
        break;
    }
    job.palette = withPalette && !job.standard;
    if (tileSize != 0 && !job.standard && job.step == 1 && !preview) {
        job.tileWidth = tileSize & kTileSideMask;
        job.tileHeight = (tileSize >> 16) & kTileSideMask;
        if (job.tileWidth == 0 || job.tileHeight == 0)
            job.tileWidth = job.tileHeight = 0;
    }
    if (preview) {
        job.preview = preview;
        job.x0 = x0;
        job.y0 = y0;
        job.width = regionWidth > 0 && regionHeight > 0 ? regionWidth : 0;
        job.height = regionWidth > 0 && regionHeight > 0 ? regionHeight : 0;
    }
    if (bitsPerPixel == 8 && name)
        ReorderPalette();

    CFicheroHttp own;
    CFicheroHttp* stream = nullptr;
    const bool ownStream = name && !outputStream;
    if (name) {
        const unsigned flags = OpenWrite | OpenCreate |
                               ((qualityWord & kQualityReportErrors) ? OpenReportErrors
                                                                     : OpenNoOverwritePrompt);
        stream = outputStream ? outputStream : &own;
        // A caller's stream that is already open is written where it stands.
        if ((ownStream || *name || !stream->IsOpen()) && !stream->Open(name, flags))
            return 0;
        job.startPosition = keepStart ? stream->GetPosition() : 0;
    }

    int64_t count = 0;
    const JpegEncodeResult result = EncodeJpeg(this, job, stream, &count);
    if (ownStream) {
        own.Close();
        if (result != JpegEncodeResult::Written && !CFicheroHttp::IsHttpUrl(name))
            DeleteFileA(name);   // no half-written file stays behind
    }
    if (result != JpegEncodeResult::Written)
        return 0;
    if (!name)
        return static_cast<int>(std::min<int64_t>(count, INT32_MAX));
    return 1;
}

void CSprite::ReorderPalette()
{
    if (bitsPerPixel != 8 || paletteCount <= 0)
        return;
    const int n = std::min(paletteCount, 256);
    uint32_t keys[256];
    for (int i = 0; i < n; ++i) {
        const int b = palette[i] & 0xFF, g = (palette[i] >> 8) & 0xFF, r = (palette[i] >> 16) & 0xFF;
        int y, cb, cr;
        JpegRgbToYcc(r, g, b, &y, &cb, &cr);
        const uint32_t key = static_cast<uint32_t>(y * y + cb * cb + cr * cr);
        keys[i] = (key & kLow24) | static_cast<uint32_t>(i) << 24;
    }
    SortByLow24Bits(keys, keys + n - 1);
    uint32_t sorted[256];
    uint8_t newIndex[256];
    for (int i = 0; i < 256; ++i)
        newIndex[i] = static_cast<uint8_t>(i);
    for (int i = 0; i < n; ++i) {
        const int old = static_cast<int>(keys[i] >> 24);
        sorted[i] = palette[old];
        newIndex[old] = static_cast<uint8_t>(i);
    }
    for (int i = 0; i < n; ++i)
        palette[i] = sorted[i];
    if (pixels) {
        for (int64_t i = 0; i < static_cast<int64_t>(byteSize); ++i)
            pixels[i] = newIndex[pixels[i]];
    }
}
