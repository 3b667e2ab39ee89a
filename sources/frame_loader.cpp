// Frame loading: the loader thread, its dispatch by source, image lists, images stored back to
// back in one stream, cancelling, and the display of image-grid frames.
#include "sources/frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/path_resolution.h"
#include "core/stream.h"
#include "core/value_tokenizer.h"
#include "render/mesh.h"
#include "render/render_device.h"

namespace {

// Faces of a cube.
constexpr int kCubeFaceCount = 6;
// Placeholder side while a frame with a view loads, and without one.
constexpr int kViewPlaceholder = 512;
constexpr int kSmallPlaceholder = 10;
// Detail level the loader thread asks of binary panorama files.
constexpr int kLoaderDetailLevel = 255;
// Longest wait for the loader thread to end before the frame gives up on it.
constexpr int kLoaderStopWaitMs = 60000;
// Piece in which an image-grid cell's bytes are copied.
constexpr int kGridCopyPiece = 1024;
// Blend of the neighbour over an image-grid cell.
constexpr int kGridBlendOpacity = static_cast<int>(0xFF000064u);

// True when the name is longer than three characters and ends in the extension, any case.
bool EndsWithNoCase(const CTexto& name, const char* extension) {
    const int length = name.GetLength();
    return length > 3 && _stricmp(name.GetText() + length - 3, extension) == 0;
}

// Decodes the named image (its requestedName) on this thread at the depth, with the reader its
// name selects.
bool DecodeNamedImage(CSprite* image, int depth) {
    const CTexto name = image->requestedName;
    return image->Load(name.GetText(), depth) != 0;
}

// Decodes size bytes of the stream (a JPEG picture) into the image on this thread at the depth.
bool DecodeStreamImage(CSprite* image, CFicheroHttp* stream, int size, int depth) {
    // No size would read the rest of the stream as this one picture.
    if (size <= 0)
        return false;
    return image->LoadJPEG(nullptr, depth, stream, size) == 0;
}

// Skips count bytes of the stream (reading them when it cannot seek). False when it ended first.
bool SkipBytes(CFicheroHttp* stream, int64_t count) {
    if (count <= 0)
        return true;
    if (stream->IsSeekable())
        return stream->Seek(stream->GetPosition() + count) >= 0;
    uint8_t buffer[kGridCopyPiece];
    while (count > 0) {
        const int piece = static_cast<int>(std::min<int64_t>(count, sizeof buffer));
        const int read = stream->Read(buffer, piece);
        if (read <= 0)
            return false;
        count -= read;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Starting, dispatching and cancelling

CWorkerThread* CFrame::StartLoading(const char* source, HWND window, UINT message) {
    // A second start ends the first load, so that no two loaders fill one frame's slots.
    if (loaderThread.load())
        CancelLoading();
    sourceName = source;
    notifyWindow = window;
    notifyMessage = message;
    CWorkerThread* thread = StartWorkerThread(FrameLoaderThread, this, &loaderThread);
    if (thread)
        ResumeWorkerThread(thread);
    return thread;
}

unsigned CFrame::FrameLoaderThread(void* parameter) {
    CFrame* frame = static_cast<CFrame*>(parameter);
    const CTexto name = frame->sourceName;
    const HWND window = frame->notifyWindow;
    const UINT message = frame->notifyMessage;
    int result = 0;
    switch (frame->sourceKind) {
    case SourceCubic:
    case SourceFisheyes:
    case SourceCamera:
        result = frame->LoadImageList(name.GetText(), window, message);
        break;
    default:
        if (EndsWithNoCase(name, "mov"))
            result = frame->LoadQuickTimeVR(name.GetText(), window, message);
        else if (EndsWithNoCase(name, "cam"))
            result = frame->LoadSphereVideo(name.GetText(), window, message);
        else
            result = frame->LoadPanoramaFile(name.GetText(), window, message, kLoaderDetailLevel);
        break;
    }
    // The worker clears frame->loaderThread once this returns.
    return static_cast<unsigned>(result);
}

void CFrame::CancelLoading() {
    cancelFlag |= SpriteAbortCancel;
    if (loaderThread.load())
        WaitForWorkerThreadEnd(loaderThread, kLoaderStopWaitMs);
    StopRecording();
    cancelFlag = 0;
}

// ---------------------------------------------------------------------------------------------
// Image lists

int CFrame::LoadImageList(const char* list, HWND window, UINT message) {
    if (!list || cancelFlag)
        return cancelFlag ? 0 : 1;
    int n = CountFields(list, ',') - 1;
    if (sourceKind == SourceCubic)
        n = std::min(n, kCubeFaceCount);
    n = std::min(n, kFrameSlotCapacity);
    CTexto base;
    int position = ReadNextField(list, -1, base);
    if (n >= 1) {
        const int side = device ? kViewPlaceholder : kSmallPlaceholder;
        CreateGeometry(sourceKind, n, side, side, 0);
        const int images = std::min<int>(n, spriteCount);
        for (int i = 0; i < images; ++i) {
            if (!sprites[i])
                continue;
            sprites[i]->loadState = SpriteEmpty;
            TrackSpriteProgress(sprites[i], ProgressWeightNormal);
        }
        if (window && message)
            PostMessageA(window, message, reinterpret_cast<WPARAM>(this), 0);
    }
    const int depth = device ? device->params->bitsPerPixel : 24;
    for (int i = 0; i < n && i < spriteCount && !cancelFlag; ++i) {
        CTexto field;
        position = ReadNextField(list, position, field);
        CSprite* image = sprites[i];
        if (!image)
            continue;
        ResolvePath(field, &base, nullptr);
        image->requestedName = field;
        image->fileName = field;
        image->jfif = 1;
        image->abortPointer = &cancelFlag;
        image->loaderThread = loaderThread.load();
        image->keepContent = 1;
        if (!DecodeNamedImage(image, depth))
            image->loadState = SpriteFailed;
        image->loaderThread = nullptr;
        image->abortPointer = &image->abortWord;
        // A reader that stopped after the header marks the shared word; that mark was for this
        // image only.
        cancelFlag &= ~SpriteAbortNotifyPending;
        UpdateProgress();
    }
    return cancelFlag ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------
// Images back to back in one stream

int CFrame::LoadImagesFromStream(CFicheroHttp* stream, const uint32_t* sizes,
                                 const uint32_t* offsets, const uint32_t* layout, int count,
                                 int tilesPerImage, uint32_t meshFlagMask, HWND window,
                                 UINT message) {
    if (!stream || !sizes || count <= 0 || tilesPerImage <= 0)
        return 0;
    const int firstImage = spriteCount - count;
    if (firstImage < 0 || count > kFrameSlotCapacity)
        return 0;
    const int64_t pieces = static_cast<int64_t>(count) * tilesPerImage;
    if (pieces > INT32_MAX)
        return 0;
    const int depth = device ? device->params->bitsPerPixel : 24;
    const int side = static_cast<int>(std::lround(std::sqrt(static_cast<double>(tilesPerImage))));
    const bool square = side * side == tilesPerImage;
    const int64_t length = stream->GetLength();
    int result = 0;

    for (int64_t i = 0; i < pieces && !cancelFlag; ++i) {
        const uint32_t word = layout ? layout[i] : 0;
        const int index = layout ? static_cast<int>(word >> 16) : static_cast<int>(i);
        const uint32_t size = sizes[i];
        if (offsets && stream->GetPosition() != offsets[i])
            stream->Seek(offsets[i]);
        // Pieces that name no image of this call, or images cut into a non-square grid, fail
        // alone; their bytes are passed over.
        const int target = firstImage + index;
        CSprite* image = index < count ? sprites[target] : nullptr;
        const bool sizeFits = length < 0 || static_cast<int64_t>(size) <= length -
                                                                             stream->GetPosition();
        const bool cubePieces = kind == FrameKindCubic && tilesPerImage > 1;
        if (!image || !sizeFits || (cubePieces && !square)) {
            if (image)
                image->loadState = SpriteFailed;
            result = 0;
            if (!sizeFits)
                break;
            SkipBytes(stream, size);
            continue;
        }
        image->progress = 0;
        image->expectedFileSize = static_cast<int>(std::min<uint32_t>(size, INT32_MAX));
        if (kind == FrameKindCubic) {
            image->gridColumns = square ? side : 1;
            image->gridRows = square ? side : 1;
            image->gridColumn = layout ? static_cast<int>(word & 0xFF) : 0;
            image->gridRow = layout ? static_cast<int>((word >> 8) & 0xFF) : 0;
        }

        if (kind == FrameKindImageGrid) {
            CFicheroHttp*& cell = gridStreams[target];
            if (!cell)
                cell = new CFicheroHttp;
            cell->BeginFill(size, size);
            uint8_t buffer[kGridCopyPiece];
            int64_t received = 0;
            while (received < size && !cancelFlag) {
                const int piece = static_cast<int>(std::min<int64_t>(size - received,
                                                                     kGridCopyPiece));
                const int read = stream->Read(buffer, piece);
                if (read <= 0)
                    break;
                cell->AppendFill(buffer, read);
                received += read;
            }
            const bool complete = received == size;
            cell->EndFill(complete);
            if (complete) {
                if (target == 0 || target == gridImage) {
                    if (target == 0) {
                        image->notifyWindow = window;
                        image->notifyMessage = message;
                        image->notifyWParam = reinterpret_cast<WPARAM>(this);
                    }
                    cell->Seek(0);
                    DecodeStreamImage(image, cell, static_cast<int>(size), depth);
                }
            } else {
                image->loadState = SpriteFailed;
            }
            result = static_cast<int>(received);
            if (complete)
                fileBytesRead += static_cast<int32_t>(size);
        } else {
            if (index == 0) {
                image->notifyWindow = window;
                image->notifyMessage = message;
                image->notifyWParam = reinterpret_cast<WPARAM>(this);
            } else {
                image->notifyWindow = nullptr;
                image->notifyMessage = 0;
            }
            image->fileName = stream->GetName();
            image->abortPointer = &cancelFlag;
            image->loaderThread = loaderThread.load();
            const int64_t start = stream->GetPosition();
            const bool decoded = DecodeStreamImage(image, stream, static_cast<int>(size), depth);
            result = decoded ? 1 : 0;
            if (decoded)
                fileBytesRead += static_cast<int32_t>(size);
            else
                image->loadState = SpriteFailed;
            // The next image starts after this one's bytes, however far its decoder read.
            if (!offsets && stream->GetPosition() != start + size)
                stream->Seek(start + size);
        }
        image->loaderThread = nullptr;
        image->abortPointer = &image->abortWord;
        cancelFlag &= ~SpriteAbortNotifyPending;
        if (kind == FrameKindCubic && meshes[target])
            meshes[target]->renderFlags &= meshFlagMask;
        if (kind == FrameKindImageGrid)
            ++gridImagesRead;
    }
    for (int k = 0; k < count; ++k) {
        if (sprites[firstImage + k])
            sprites[firstImage + k]->PadTileEdges();
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Image-grid frames

void CFrame::ShowGridImage(int blend) {
    if (kind != FrameKindImageGrid)
        return;
    gridBlend = blend;
    const int columns = gridColumns;
    const int rows = gridRows;
    // A grid without columns or rows has no cell to show.
    if (columns <= 0 || rows <= 0)
        return;
    const int candidates = blend ? 2 : 1;
    int cell[2] = {-1, -1};
    bool valid[2] = {false, false};
    const int row = std::clamp(gridRow, 0, rows - 1);
    int column = ((gridColumnOffset + gridColumn + columns) % columns + columns) % columns;
    for (int c = 0; c < candidates; ++c) {
        if (c == 1)
            column = ((column - gridStepDirection) % columns + columns) % columns;
        const int index = columns * row + column;
        cell[c] = index;
        valid[c] = index >= 0 && index < gridImagesRead && index < spriteCount &&
                   sprites[index] && meshes[0] && meshes[0]->visible;
    }
    const int depth = 32;
    int* slots[2] = {&gridImage, &gridBlendImage};
    const int previousBlend = gridBlendImage;
    for (int s = 0; s < 2; ++s) {
        const int before = *slots[s];
        const bool keep = (valid[0] && before == cell[0]) || (valid[1] && before == cell[1]);
        if (before >= 0 && before < spriteCount && sprites[before] && !keep &&
            sprites[before]->loadState != SpriteLoading)
            sprites[before]->Clear();
        if (s >= candidates || !valid[s])
            continue;
        CSprite* image = sprites[cell[s]];
        const bool reuse = s == 0 && cell[0] == previousBlend && candidates == 2;
        if (image->loadState != SpriteLoading && !reuse && gridStreams[cell[s]]) {
            image->Clear();
            image->fixedBpp = depth;
            gridStreams[cell[s]]->Seek(0);
            DecodeStreamImage(image, gridStreams[cell[s]],
                              static_cast<int>(gridStreams[cell[s]]->GetLength()), depth);
        }
        *slots[s] = cell[s];
    }
    if (candidates == 1)
        gridBlendImage = -1;
    CSprite* current = gridImage >= 0 && gridImage < spriteCount ? sprites[gridImage] : nullptr;
    if (meshes[0] && current) {
        meshes[0]->SetTexture(current, 1, 1, 1, false);
        if (gridBlendImage >= 0 && gridBlendImage < spriteCount && sprites[gridBlendImage])
            current->DrawSprite(0, 0, sprites[gridBlendImage], kGridBlendOpacity, 0,
                                kSpriteNoTint);
    }
}
