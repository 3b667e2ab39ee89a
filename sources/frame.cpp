#include "sources/frame.h"

#include <cstdlib>

#include "core/object_item.h"
#include "core/stream.h"
#include "render/mesh.h"
#include "render/render_device.h"

namespace {

// Size given to a named image whose real size is not known yet.
constexpr int64_t kUnknownImageSize = 100000;

}  // namespace

SensorParameters::SensorParameters() {
    for (int i = 0; i < kSensorCapacity; ++i) {
        meshShape[i] = 2;
        tilt[i] = 0.0f;
        pan[i] = 0.0f;
        roll[i] = 0.0f;
        uCentre[i] = 0.5f;
        vCentre[i] = 0.5f;
        uScale[i] = 1.0f;
        vScale[i] = 1.0f;
        horizontalSize[i] = 0.5f;
        verticalSize[i] = 0.5f;
        horizontalLensFactor[i] = 1.0f;
        verticalLensFactor[i] = 1.0f;
        uAlignOffset[i] = 0.0f;
        vAlignOffset[i] = 0.0f;
        lensCorrection[i] = 0;
        lensCoefficient1[i] = 1.0f;
        lensCoefficient2[i] = 0.5f;
        lensCoefficient3[i] = 0.2f;
        lensCoefficient4[i] = 1.0f;
    }
}

CFrame::CFrame() {
    for (CameraState& camera : cameras)
        camera.zoom = 1.0f;
}

CFrame::~CFrame() {
    free(panoramaHeader);
    panoramaHeader = nullptr;
    free(stripTable);
    stripTable = nullptr;
    delete panoramaRenderer;
    panoramaRenderer = nullptr;
    Unload();
    ClearObjects();
}

// ---------------------------------------------------------------------------------------------
// Progress

void CFrame::TrackSpriteProgress(CSprite* image, int32_t weight) {
    ObjectItem* item = progress.FindByLinkedObject(image);
    if (!item) {
        item = static_cast<ObjectItem*>(progress.CreateItem(ItemType::ImageProgress));
        if (!item)
            return;
        item->linkedObject = image;
    }
    item->mode = weight;
    loading = 1;
    UpdateProgress();
}

void CFrame::TrackFileProgress() {
    ObjectItem* item = static_cast<ObjectItem*>(progress.CreateItem(ItemType::FileProgress));
    if (item)
        item->mode = ProgressWeightNormal;
    loading = 1;
    UpdateProgress();
}

void CFrame::ClearProgress() {
    progress.RemoveAll();
    loading = 0;
}

int32_t CFrame::UpdateProgress() {
    const int32_t items = progress.GetCount();
    if (items == 0)
        return 0;

    double total = 0.0;
    double loaded = 0.0;
    int32_t notStarted = 0;
    bool complete = true;
    for (CObjeto* node = progress.GetHead(); node; node = node->GetNext()) {
        ObjectItem* item = static_cast<ObjectItem*>(node->GetRecord());
        if (!item)
            continue;
        if (item->type == ItemType::ImageProgress) {
            const CSprite* image = static_cast<const CSprite*>(item->linkedObject);
            if (!image)
                continue;
            const int percent = image->progress;
            int64_t size = 0;
            if (image->contentValid) {
                size = image->expectedFileSize > 0 ? image->expectedFileSize : image->byteSize;
            } else if (image->fileName.GetLength() > 0) {
                size = kUnknownImageSize;
                if (percent == 0)
                    ++notStarted;
            }
            const double part = static_cast<double>(size) * percent / 100.0;
            if (item->mode == ProgressWeightWhileIncomplete) {
                if (percent < 100)
                    loaded += part;
            } else {
                total += static_cast<double>(size);
                loaded += part;
            }
            if (size > 0 && percent < 100 && image->loadState != SpriteLoaded &&
                image->loadState != SpriteFailed)
                complete = false;
        } else if (item->type == ItemType::FileProgress) {
            const int32_t fileTotal = fileBytesTotal;
            const int32_t fileRead = fileBytesRead;
            if (fileTotal >= 0) {
                total += fileTotal;
                loaded += fileRead;
                if (fileRead < fileTotal)
                    complete = false;
            }
        }
    }

    if (complete) {
        loading = 0;
        loadPercent = 100.0f;
    } else if (total > 0.0) {
        const double started = 1.0 - static_cast<double>(notStarted) / items;
        loadPercent = static_cast<float>(started * (loaded / total * 100.0));
    }
    return items;
}

// ---------------------------------------------------------------------------------------------
// Life cycle

void CFrame::WithdrawResident(const void* object) {
    if (device && object)
        device->residentList.RemoveByLinkedObject(object);
}

void CFrame::ClearObjects() {
    if (device)
        objects.residentList = &device->residentList;
    objects.RemoveAll();
}

bool CFrame::AppendBorrowedSprite(CSprite* image) {
    const int32_t index = spriteCount;
    if (!image || index < 0 || index >= kFrameSlotCapacity)
        return false;
    sprites[index] = image;
    spriteBorrowed[index] = 1;
    spriteCount = index + 1;
    return true;
}

void CFrame::Unload() {
    // The counts drop first so that the drawers and the update loop see an empty frame; the
    // slots themselves are walked in full, since a load may have filled slots past a count.
    meshCount = 0;
    spriteCount = 0;
    for (CObjeto3D* mesh : meshes) {
        if (mesh)
            mesh->abortFlag = 1;
    }
    for (CSprite* image : sprites) {
        if (image)
            image->abortWord |= SpriteAbortCancel;
    }
    CancelLoading();
    // A loader that was still starting may have built geometry after the counts dropped.
    meshCount = 0;
    spriteCount = 0;
    // An image that decodes into this frame's images as its tiles stops and lets go of them
    // before they go.
    for (CSprite* image : sprites) {
        CSprite* owner = image ? image->parent : nullptr;
        if (!owner || !owner->borrowedTiles || owner->tiles != sprites)
            continue;
        owner->CancelLoad();
        owner->tiles = nullptr;
        owner->tileCount = 0;
        owner->tilesAcross = 0;
        owner->tilesDown = 0;
        owner->borrowedTiles = 0;
    }
    for (CSprite* image : sprites) {
        if (image && image->parent && image->parent->tiles != sprites)
            image->parent = nullptr;
    }

    for (CObjeto3D*& mesh : meshes) {
        if (!mesh)
            continue;
        WithdrawResident(mesh);
        delete mesh;
        mesh = nullptr;
    }
    for (int i = 0; i < kSensorCapacity; ++i)
        liveCameras[i] = nullptr;
    liveCameraCount = 0;

    for (int i = 0; i < kFrameSlotCapacity; ++i) {
        CSprite* image = sprites[i];
        if (!image)
            continue;
        WithdrawResident(image);
        if (spriteBorrowed[i]) {
            image->Clear();
            image->abortWord &= ~SpriteAbortCancel;
        } else {
            delete image;
        }
        sprites[i] = nullptr;
        spriteBorrowed[i] = 0;
        delete gridStreams[i];
        gridStreams[i] = nullptr;
    }

    delete[] alignmentReferences;
    alignmentReferences = nullptr;
    delete[] alignmentSearch;
    alignmentSearch = nullptr;
    alignmentCount = 0;
    ClearDetectionResults();
    WithdrawResident(this);

    flags &= ~(FramePreloaded | FrameActivated);
    kind = FrameKindNone;
    ClearProgress();
    for (float& value : sceneValues)
        value = 0.0f;
    sceneValuesKnown = 0;
    loadPercent = 0.0f;
    streamedModel = nullptr;
    streamedImage = nullptr;
    alignmentRequested = 0;
    detectionEnabled = 0;
    maskView = 0;
    viewerWord = 0;
    viewerByte = 0;
    lightCount = 0;
    modelScale = 1.0f;
    unitScale = 1.0f;
}

bool CFrame::IsLoading() const {
    return loading.load() != 0 || loaderThread.load() != nullptr;
}

void CFrame::ResumePlayback() {
    // Not built yet: does nothing (frames have no cameras yet).
}

void CFrame::StopCameras() {
    // Not built yet: does nothing (frames have no cameras yet; no export starts).
}
