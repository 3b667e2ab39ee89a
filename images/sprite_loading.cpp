// CSprite: loading by name. LoadAsync hands the work to the image's loader thread; Load picks
// the reader from the end of the name, then runs the after-load steps (dark pixels, buffer end,
// mask, progress, cache flag, generation, content-valid) and tells the owner.
#include <algorithm>
#include <cstring>

#include "core/stream.h"
#include "core/system_wrappers.h"
#include "images/pixel_access.h"
#include "images/sprite.h"

namespace {

// The shortest name a reader is tried for.
constexpr int kMinNameLength = 4;
constexpr int kProgressDone = 100;
// Pseudo-name prefix of capture devices.
constexpr char kWebcamPrefix[] = "webcam";
constexpr int kWebcamPrefixLength = 6;
// Weights of the grey level a mask pixel gives (they sum to 256, so grey stays exact).
constexpr uint32_t kGreyRed = 77, kGreyGreen = 150, kGreyBlue = 29;
constexpr uint32_t kOpaqueAlpha = 0xFF;

struct ReaderEnding {
    const char* ending;
    SpriteReader reader;
};

// In the order the endings are tested.
constexpr ReaderEnding kReaderEndings[] = {
    {"jpg", SpriteReader::Jpeg},  {"jpe", SpriteReader::Jpeg},   {"jpeg", SpriteReader::Jpeg},
    {"avi", SpriteReader::Video}, {"mpg", SpriteReader::Video},  {"mp4", SpriteReader::Video},
    {"ico", SpriteReader::Icon},  {"fst", SpriteReader::Fst},    {"bmp", SpriteReader::Bmp},
    {"png", SpriteReader::Png},   {"tif", SpriteReader::Tiff},   {"tiff", SpriteReader::Tiff},
    {"html", SpriteReader::Html}, {"htm", SpriteReader::Html},   {"mht", SpriteReader::Html},
    {"php", SpriteReader::Html},  {"swf", SpriteReader::Html},
};

bool EndsWithNoCase(const char* name, size_t length, const char* ending)
{
    const size_t n = std::strlen(ending);
    return length >= n && _stricmp(name + length - n, ending) == 0;
}

bool IsEmpty(const char* name) { return !name || !*name; }

// Clears bit 0 of the word, or the whole word when it holds nothing else: a lent cancel flag
// raised to 2 or more stays raised.
void ClearBelowCancel(std::atomic<int>* word)
{
    int value = word->load();
    while (value > 0 && value < SpriteAbortCancel && !word->compare_exchange_weak(value, 0)) {
    }
}

template <int Bpp>
void ClearDarkRows(uint8_t* pixels, int width, int height, int stride, int threshold)
{
    constexpr int kBytes = Bpp == 15 ? 2 : Bpp / 8;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = pixels + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x, p += kBytes) {
            const uint32_t v = pixel_access::ReadValue<Bpp>(p, nullptr);
            const int sum = static_cast<int>((v & 0xFF) + ((v >> 8) & 0xFF) + ((v >> 16) & 0xFF));
            if (sum > threshold)
                continue;
            if constexpr (Bpp == 24)
                pixel_access::Store24(p, 0);
            else
                std::memset(p, 0, kBytes);
        }
    }
}

}  // namespace

SpriteReader FindSpriteReader(const char* name)
{
    const size_t length = name ? std::strlen(name) : 0;
    if (length < static_cast<size_t>(kMinNameLength))
        return SpriteReader::None;
    for (const ReaderEnding& row : kReaderEndings) {
        if (EndsWithNoCase(name, length, row.ending))
            return row.reader;
    }
    if (_strnicmp(name, kWebcamPrefix, kWebcamPrefixLength) == 0)
        return SpriteReader::Webcam;
    return SpriteReader::None;
}

bool LoadsOnCallingThread(const char* name)
{
    if (IsEmpty(name))
        return false;
    const size_t length = std::strlen(name);
    for (const char* ending : {"html", "htm", "mht", "php", "swf"}) {
        if (EndsWithNoCase(name, length, ending))
            return true;
    }
    // Only the lower-case device name: an upper-case one still loads on the loader thread.
    return std::strchr(name, '.') == nullptr &&
           std::strncmp(name, kWebcamPrefix, kWebcamPrefixLength) == 0;
}

unsigned SpriteLoadThread(void* parameter)
{
    CSprite* image = static_cast<CSprite*>(parameter);
    // Pages and capture devices created by readers need COM on this thread.
    const HRESULT com = CoInitialize(nullptr);
    const int loaded = image->Load(image->fileName.GetText(), image->asyncBpp);
    if (SUCCEEDED(com))
        CoUninitialize();
    // The worker machinery clears image->loaderThread once this returns.
    return loaded ? 0 : 1;
}

CWorkerThread* CSprite::LoadAsync(const char* name, int bpp, HWND window, UINT message,
                                  WPARAM wparam)
{
    if (loaderThread.load() || loadState == SpriteLoading)
        return loaderThread.load();
    if (progress > 99 && loadState != SpriteEmpty) {
        if (!name || fileName == name)
            return loaderThread.load();
    }
    if (!IsEmpty(name))
        fileName = name;
    if (fileName.GetLength() == 0)
        return loaderThread.load();

    progress = 0;
    ++loadRequestCount;
    loadState = SpriteLoading;
    ClearBelowCancel(&abortWord);
    ClearBelowCancel(abortPointer);
    notifyWindow = window;
    notifyMessage = message;
    notifyWParam = wparam;

    if (LoadsOnCallingThread(fileName.GetText())) {
        Load(fileName.GetText(), bpp);
        return loaderThread.load();
    }
    asyncBpp = bpp;
    CWorkerThread* thread = StartWorkerThread(SpriteLoadThread, this, &loaderThread);
    if (!thread) {
        // No thread: the load cannot run, and the owner must not wait for it.
        loadState = SpriteFailed;
        notifyWindow = nullptr;
        notifyMessage = 0;
        notifyWParam = 0;
        return nullptr;
    }
    ResumeWorkerThread(thread);
    return loaderThread.load();
}

int CSprite::Load(const char* name, int bpp)
{
    ChooseLoadBitDepth(bpp);
    progress = 0;
    loadState = SpriteLoading;
    inLoad = 1;
    generation = 0;
    liveSource = 0;

    CTexto toRead;
    if (maskPass) {
        toRead = name ? name : "";
    } else {
        if (!IsEmpty(name))
            fileName = name;
        toRead = fileName;
    }

    bool loaded = false;
    const int abort = AbortValue();
    if (toRead.GetLength() == 0 || (abort & ~SpriteAbortNotifyPending) != 0) {
        // Nothing to read, or cancelled before the start: the load has not happened.
        loaded = false;
    } else if (abort != 0) {
        // Only the "owner still to be told" bit: nothing is read, the post below reports it.
        loaded = true;
    } else {
        requestedName = name ? name : "";
        keepValid = 0;
        loaded = RunReader(toRead.GetText(), bpp) == 0;
        if (loaded && AbortValue() == 0) {
            if (darkThreshold)
                ClearDarkPixelsNow(darkThreshold);
            if (textureMode == SpriteTextureMemory && !dib)
                PadBufferEnd();
            if (!maskPass && maskFile.GetLength() > 0)
                ApplyMask();
            progress = kProgressDone;
            useDiskCache = g_cacheEnabled.load() ? 1 : 0;
            ++generation;
            if (!keepValid)
                contentValid = 1;
        }
    }

    if (((abortWord.load() | abortPointer->load()) & SpriteAbortNotifyPending) && notifyWindow) {
        PostMessageTo(notifyWindow, notifyMessage, notifyWParam, 0);
        abortWord.fetch_and(~SpriteAbortNotifyPending);
        abortPointer->fetch_and(~SpriteAbortNotifyPending);
        loaded = true;
    }
    inLoad = 0;
    if (!maskPass)
        loadState = loaded ? SpriteLoaded : SpriteFailed;
    notifyWindow = nullptr;
    notifyMessage = 0;
    notifyWParam = 0;
    return loaded ? 1 : 0;
}

int CSprite::RunReader(const char* name, int bpp)
{
    switch (FindSpriteReader(name)) {
    case SpriteReader::Jpeg:
        return LoadJPEG(name, bpp, nullptr, 0);
    case SpriteReader::Video:
        return LoadVideo(name, bpp);
    case SpriteReader::Icon:
        return LoadICO(name, 0, bpp, 0);
    case SpriteReader::Fst:
        return LoadFST(name, bpp, 0);
    case SpriteReader::Bmp:
        return LoadBMP(name, bpp, 0, nullptr);
    case SpriteReader::Png:
        return LoadPNG(name, bpp, 0);
    case SpriteReader::Tiff:
        return LoadTIFF(name, bpp, 0);
    case SpriteReader::Html:
        return LoadHTML(name);
    case SpriteReader::Webcam:
        return OpenWebcam(name + kWebcamPrefixLength);
    case SpriteReader::None:
        break;
    }
    return 1;
}

void CSprite::ApplyMask()
{
    if (!pixels || bitsPerPixel != 32)
        return;
    // The mask is read into an image of its own, so that a mask of another size or a failed
    // one can never replace this picture's storage.
    CSprite mask;
    mask.abortPointer = abortPointer;
    mask.jfif = jfif;
    mask.maskPass = 1;
    mask.tilingEnabled = 0;
    const bool read = mask.Load(maskFile.GetText(), 0) != 0 && mask.pixels &&
                      mask.width == width && mask.height == height &&
                      (mask.bitsPerPixel == 24 || mask.bitsPerPixel == 32 ||
                       mask.bitsPerPixel == 8);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = pixels + static_cast<size_t>(y) * stride;
        const uint8_t* m = read ? mask.pixels + static_cast<size_t>(y) * mask.stride : nullptr;
        for (int x = 0; x < width; ++x, p += 4) {
            uint32_t alpha = kOpaqueAlpha;
            if (m) {
                uint32_t v;
                if (mask.bitsPerPixel == 8) {
                    v = mask.palette[*m];
                    m += 1;
                } else {
                    v = pixel_access::Load24(m);
                    m += mask.bytesPerPixel;
                }
                alpha = ((v >> 16 & 0xFF) * kGreyRed + (v >> 8 & 0xFF) * kGreyGreen +
                         (v & 0xFF) * kGreyBlue) >> 8;
            }
            p[3] = static_cast<uint8_t>(alpha);
        }
    }
}

void CSprite::SetResolutionLevel(int level, int bpp)
{
    if (levelLocked || (level == resolutionLevel && (bpp == 0 || bpp == asyncBpp)))
        return;
    while (GetBusyCount() > 0 && AbortValue() == 0) {
        waitFlags |= SpriteWaitMode;
        SleepMilliseconds(kWorkerPollMs);
    }
    waitFlags &= ~SpriteWaitMode;

    const bool loading = loaderThread.load() != nullptr || inLoad || loadState == SpriteLoading;
    if (!loading) {
        if (loadState == SpriteLoaded && resolutionLevel < level && keepContent) {
            const int shift = level - resolutionLevel;
            Create(std::max(1, createWidth >> shift), std::max(1, createHeight >> shift),
                   bitsPerPixel, true, kSpriteDefaultColour, false, true, false);
        } else {
            loadState = SpriteEmpty;
            progress = 0;
            codecReload = 1;
        }
    }
    resolutionLevel = level;
    asyncBpp = bpp;
}

int CSprite::GetRequestedLevel() const
{
    int level = kCoarsestLevel;
    for (int slot : requestedLevels)
        level = std::min(level, slot);
    return level;
}

void CSprite::ClearDarkPixels(int threshold)
{
    if (loadState == SpriteLoading || inLoad) {
        darkThreshold = threshold;
        return;
    }
    ClearDarkPixelsNow(threshold);
}

void CSprite::ClearDarkPixelsNow(int threshold)
{
    if (IsKeptInTiles()) {
        for (int i = 0; i < tileCount; ++i) {
            if (tiles[i])
                tiles[i]->ClearDarkPixelsNow(threshold);
        }
        return;
    }
    if (!pixels)
        return;
    switch (bitsPerPixel) {
    case 15:
        ClearDarkRows<15>(pixels, width, height, stride, threshold);
        break;
    case 16:
        ClearDarkRows<16>(pixels, width, height, stride, threshold);
        break;
    case 24:
        ClearDarkRows<24>(pixels, width, height, stride, threshold);
        break;
    case 32:
        ClearDarkRows<32>(pixels, width, height, stride, threshold);
        break;
    default:
        break;
    }
}
