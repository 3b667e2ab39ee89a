// CSprite::LoadJPEG: a JPEG stream decoded into the image by the decoder of images/jpeg_*.cpp.
// This file is the image side: opening the stream, creating the image when the frame header
// is known, waiting for texture uploads at each block group, and reporting what went wrong.
#include <algorithm>
#include <climits>
#include <memory>
#include <new>
#include <vector>

#include "core/mailboxes.h"
#include "core/stream.h"
#include "core/system_wrappers.h"
#include "core/worker_threads.h"
#include "images/jpeg_internal.h"
#include "images/sprite.h"

namespace {

// Lines of the language table (ReportLocalizedError takes the index, line - 1).
constexpr int kLineCompressionNotSupported = 76 - 1;
constexpr int kLineFormatNotSupported = 77 - 1;
constexpr int kLineNotEnoughMemory = 78 - 1;
constexpr const char* kProgressiveText = "\n\nProgressive JPEG not supported.";
constexpr const char* kNoFrameText = "JPEG format not supported";
constexpr int kWaitSliceMs = 10;
constexpr int kDefaultDepth = 24;
constexpr int kStripRatio = 6;   // a picture six times as wide as high (or high as wide)
constexpr int kRedOnlyMask = 0xFF0000;

// Collects the image's storage tiles (nested tiles searched in turn) as decoder tiles.
void CollectTiles(CSprite* image, std::vector<JpegTile>* out)
{
    for (int i = 0; i < image->tileCount; ++i) {
        CSprite* tile = image->tiles[i];
        if (!tile)
            continue;
        if (tile->IsKeptInTiles()) {
            CollectTiles(tile, out);
            continue;
        }
        JpegTile t;
        t.left = tile->originX;
        t.top = tile->originY;
        t.right = tile->rightEdge;
        t.bottom = tile->bottomEdge;
        t.pixels = tile->pixels;
        t.stride = tile->stride;
        if (t.pixels)
            out->push_back(t);
    }
}

// The image as the decoder's sink.
class SpriteSink : public JpegSink {
public:
    SpriteSink(CSprite* image, int askedDepth) : m_image(image), m_askedDepth(askedDepth) {}

    JpegError BeginFrame(const JpegFrameInfo& frame, JpegTarget* target) override
    {
        CSprite& s = *m_image;
        int depth = s.asyncBpp ? s.asyncBpp : m_askedDepth;
        if (depth == 0)
            depth = kDefaultDepth;
        if (depth == 8 && frame.paletteCount == 0)
            depth = kDefaultDepth;
        s.ChooseLoadBitDepth(depth);
        if (depth == 0)
            depth = kDefaultDepth;
        if (frame.paletteCount > 0) {
            for (int i = 0; i < frame.paletteCount; ++i)
                s.palette[i] = frame.palette[i];
            s.paletteCount = frame.paletteCount;
        }
        const int w = static_cast<int>(frame.width), h = static_cast<int>(frame.height);
        s.viewWidth = w;
        s.viewHeight = h;

        const bool notify = s.notifyWindow != nullptr && s.notifyMessage != 0;
        if (notify && (w == kStripRatio * h || h == kStripRatio * w)) {
            // Six faces in one strip: the caller cuts them; nothing is decoded here.
            s.requestedWidth = w;
            s.requestedHeight = h;
            s.abortPointer->fetch_or(SpriteAbortNotifyPending);
            return JpegError::SixFaceStrip;
        }

        const int columns = s.gridColumns > 1 ? s.gridColumns : 1;
        const int rows = s.gridRows > 1 ? s.gridRows : 1;
        const int overlap = (s.gridOverlap && columns >= 2 && rows >= 2) ? 1 : 0;
        const int64_t fullW = static_cast<int64_t>(columns) * w - (columns - 1) * overlap;
        const int64_t fullH = static_cast<int64_t>(rows) * h - (rows - 1) * overlap;
        if (fullW > INT32_MAX || fullH > INT32_MAX)
            return JpegError::TooLarge;
        m_gridOriginX = static_cast<int>(std::min<int64_t>(INT32_MAX, int64_t{s.gridColumn} * (w - overlap)));
        m_gridOriginY = static_cast<int>(std::min<int64_t>(INT32_MAX, int64_t{s.gridRow} * (h - overlap)));

        if (!s.borrowedTiles) {
            int colour = kSpriteDefaultColour;
            if (depth == 8 && frame.paletteCount > 0)
                colour = PaletteDefaultColour(frame);
            if (!s.Create(static_cast<int>(fullW), static_cast<int>(fullH), depth, true, colour,
                          false, true, true))
                return JpegError::TooLarge;
        }
        if (!s.pixels && !s.IsKeptInTiles())
            return JpegError::TooLarge;
        if (!s.IsKeptInTiles())
            s.asyncBpp = depth;
        Describe(target);
        // A reading retried in standard mode meets the frame header again: the owner hears once.
        if (notify && !m_notified)
            PostMessageTo(s.notifyWindow, s.notifyMessage, s.notifyWParam, 0);
        m_notified = m_notified || notify;
        return JpegError::None;
    }

    bool YieldPoint(JpegTarget* target, bool* changed, int progress) override
    {
        CSprite& s = *m_image;
        if (s.AbortValue() != 0)
            return false;
        bool waited = false;
        while ((s.waitFlags.load() & SpriteWaitUploadHolds) && s.AbortValue() == 0) {
            s.waitFlags.fetch_or(SpriteWaitLoader);
            waited = true;
            SleepMilliseconds(kWaitSliceMs);
        }
        if (waited) {
            // The upload may have converted the image meanwhile.
            Describe(target);
            *changed = true;
            s.waitFlags.fetch_and(~SpriteWaitLoader);
        }
        s.progress = progress;
        ++s.generation;
        return s.AbortValue() == 0;
    }

    bool IsAborted() override { return m_image->AbortValue() != 0; }
    void SetExifOrientation(int orientation) override { m_image->exifOrientation = orientation; }

private:
    // The image's memory as the decoder writes it.
    void Describe(JpegTarget* t)
    {
        CSprite& s = *m_image;
        m_tiles.clear();
        if (s.IsKeptInTiles()) {
            CollectTiles(&s, &m_tiles);
            CSprite* first = s.tiles[0];
            t->depth = first ? first->bitsPerPixel : s.bitsPerPixel;
            t->bytesPerPixel = first ? first->bytesPerPixel : s.bytesPerPixel;
        } else {
            JpegTile flat;
            flat.left = s.originX;
            flat.top = s.originY;
            flat.right = s.originX + s.width;
            flat.bottom = s.originY + s.height;
            flat.pixels = s.pixels;
            flat.stride = s.stride;
            m_tiles.push_back(flat);
            t->depth = s.bitsPerPixel;
            t->bytesPerPixel = s.bytesPerPixel;
        }
        // Tiles carry their origin inside the image; the decoder counts from the image's own.
        for (JpegTile& tile : m_tiles) {
            tile.left -= s.originX;
            tile.right -= s.originX;
            tile.top -= s.originY;
            tile.bottom -= s.originY;
        }
        t->transposed = s.orientation == 1;
        t->redOnly = t->depth == 32 && s.loadChannelMask == kRedOnlyMask;
        t->width = s.width;
        t->height = s.height;
        t->originX = m_gridOriginX;
        t->originY = m_gridOriginY;
        t->tiles = m_tiles.data();
        t->tileCount = static_cast<int>(m_tiles.size());
    }

    // At 8 bits the default colour is the palette index its chroma key finds, in all four bytes.
    int PaletteDefaultColour(const JpegFrameInfo& frame)
    {
        JpegPaletteTables tables;
        BuildJpegPaletteTables(frame.palette, frame.paletteCount, &tables);
        const uint32_t c = m_image->defaultColour & 0xFFFFFF;
        int y, cb, cr;
        JpegPaletteYcc(c, &y, &cb, &cr);
        const uint32_t index = tables.byChromaKey
                                   ? tables.byChromaKey[JpegChromaKey(y, cb, cr)]
                                   : JpegNearestPaletteIndex(tables, y, cb, cr);
        return static_cast<int>(index * 0x01010101u);
    }

    CSprite* m_image;
    int m_askedDepth;
    int m_gridOriginX = 0, m_gridOriginY = 0;
    bool m_notified = false;
    std::vector<JpegTile> m_tiles;
};

}  // namespace

int CSprite::LoadJPEG(const char* name, int mode, CFicheroHttp* stream, int size)
{
    int depth = mode & kJpegDepthMask;
    int flags = mode & kJpegModeFlagMask;
    // Drawing from kept coefficients counts only with something kept or to keep.
    if (!(flags & (kJpegKeepCoefficients | kJpegAddDifference)) && !keptCoefficients)
        flags &= ~kJpegDrawFromKept;
    if (loadChannelMask)
        fixedBpp = 32;
    ChooseLoadBitDepth(depth);
    const bool setsState = !inLoad && frameDecoderState == 0;
    if (frameDecoderState == 0)
        loadState = SpriteLoading;

    auto finish = [&](int result) {
        if (result == 0) {
            progress = 100;
            ++generation;
        }
        if (setsState)
            loadState = result + SpriteLoaded;
        return result;
    };

    if (flags != 0) {
        // Not built yet: answers 1 (brightness, kept coefficients and difference frames).
        return finish(1);
    }

    bool waited = false;
    while ((waitFlags.load() & SpriteWaitUploadHolds) && AbortValue() == 0) {
        waitFlags.fetch_or(SpriteWaitLoader);
        waited = true;
        SleepMilliseconds(kWaitSliceMs);
    }
    if (waited)
        waitFlags.fetch_and(~SpriteWaitLoader);

    const char* openName = name ? name : fileName.GetText();
    std::unique_ptr<CFicheroHttp> own;
    if (!stream) {
        own.reset(new (std::nothrow) CFicheroHttp);
        if (!own)
            return finish(1);
        own->m_useCache = useDiskCache;
        own->m_sessionOnly = runOnlyCache;
        unsigned openFlags = OpenRead;
        if (reportOpenErrors)
            openFlags |= OpenReportErrors;
        if (noPackage)
            openFlags |= OpenNoPackage;
        if (!openName || !own->Open(openName, openFlags, abortPointer))
            return finish(1);
        stream = own.get();
    }
    if (AbortValue() != 0)
        return finish(1);

    const int64_t start = stream->GetPosition();
    int64_t dataSize = size > 0 ? size : stream->GetLength() - start;
    if (dataSize < 0)
        dataSize = 0;   // unknown: the decoder's buffer grows as the data comes
    if (expectedFileSize == 0 && dataSize > 0 && dataSize <= INT32_MAX)
        expectedFileSize = static_cast<int>(dataSize);
    if (maskFile.GetLength() == 0)
        keepValid = 1;

    const char* reportName = openName ? openName : "";
    SpriteSink sink(this, depth);
    JpegDecodeOptions options;
    options.standard = jfif != 0;
    options.simd = ChosenSimdLevel();
    // The decoder's tables take some 100 KB: not on a loader thread's stack.
    std::unique_ptr<JpegDecoder> decoder(new (std::nothrow) JpegDecoder(
        stream, size > 0 ? static_cast<uint32_t>(size) : 0, &sink, options));
    const JpegError error = decoder ? decoder->Decode() : JpegError::OutOfMemory;

    int result = 1;
    switch (error) {
    case JpegError::None:
        result = 0;
        if (IsKeptInTiles() && gridColumns <= 1 && gridRows <= 1)
            PadTileEdges();
        break;
    case JpegError::Unsupported:
        ReportLocalizedError(kLineCompressionNotSupported, reportName);
        break;
    case JpegError::BadSegment:
        ReportLocalizedError(kLineFormatNotSupported, reportName);
        break;
    case JpegError::TooLarge:
    case JpegError::OutOfMemory:
        ReportLocalizedError(kLineNotEnoughMemory, reportName);
        break;
    case JpegError::Progressive: {
        CTexto detail(reportName);
        detail += kProgressiveText;
        ReportLocalizedError(kLineFormatNotSupported, detail.GetText());
        if (own)
            own->CloseAndDeleteCache();   // a caller's stream stays open
        break;
    }
    case JpegError::NoFrame:
        SetPendingMessage(kNoFrameText);
        break;
    case JpegError::BadHuffmanCode:
        if (own)
            own->CloseAndDeleteCache();
        break;
    default:   // the data ended, a stray byte, cancelled, a strip of six faces, a later form
        break;
    }
    if (own)
        own->Close();
    return finish(result);
}
