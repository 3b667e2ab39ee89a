// Frame geometry: the meshes and placeholder images of each frame kind, and the detail levels of
// 3D scenes.
#include "sources/frame.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/path_resolution.h"
#include "core/text_convert.h"
#include "render/mesh.h"
#include "render/render_device.h"

namespace {

// Answered by CreateGeometry when the frame already has meshes.
constexpr int kGeometryExists = -200;
// Side of a placeholder that shows only the background colour.
constexpr int kSmallPlaceholder = 10;
// Grey bars over larger placeholders.
constexpr uint32_t kPlaceholderBarColour = 0x888888;
constexpr int kPlaceholderBarWidth = 4;
constexpr int kPlaceholderBarOpacity = 100;
constexpr int kPlaceholderBarSpacing = 90;

// The cube's faces: position and rotation angles x and z.
struct CubeFace {
    float x, y, z;
    float angleX, angleZ;
};
constexpr CubeFace kCubeFaces[6] = {
    {0, 0, 200, 270, 0},   {200, 0, 0, 270, 90},  {0, 0, -200, 270, 180},
    {-200, 0, 0, 270, 270}, {0, 200, 0, 180, 0},  {0, -200, 0, 0, 0},
};

// Image-grid plane.
constexpr float kGridPlaneSize = 165.7f;
// Background colour of the placeholder a scene mesh gets before its texture is known.
constexpr uint32_t kScenePlaceholderColour = 0x9AA07C;
// Seconds between two detail updates of one viewer.
constexpr float kDetailInterval = 0.2f;
// Wanted tile detail by tenth of the far distance.
constexpr uint8_t kTileDetailByDistance[10] = {64, 64, 32, 16, 8, 8, 4, 4, 1, 1};

// Grey bars across a placeholder, so that a frame still loading shows its shape.
void DrawPlaceholderBars(CSprite* image, int width, int height) {
    const int spacing = width / std::max(width / kPlaceholderBarSpacing, 1);
    if (spacing <= 0)
        return;
    for (int x = 0; x < width; x += spacing)
        image->FillRect(x, 0, x + kPlaceholderBarWidth - 1, height - 1, kPlaceholderBarColour,
                        kPlaceholderBarOpacity, 0);
    for (int y = 0; y < height; y += spacing)
        image->FillRect(0, y, width - 1, y + kPlaceholderBarWidth - 1, kPlaceholderBarColour,
                        kPlaceholderBarOpacity, 0);
}

// Projected extent of the mesh's vertices on the device.
void ProjectedBounds(CObjeto2D& device, const CObjeto3D& mesh, float* left, float* top,
                     float* width, float* height) {
    float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
    for (int i = 0; i < mesh.vertexCount; ++i) {
        const float point[3] = {mesh.vertices[i].wx, mesh.vertices[i].wy, mesh.vertices[i].wz};
        float x = 0, y = 0;
        device.ProjectToScreen(point, &x, &y, false);
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
    *left = x0;
    *top = y0;
    *width = x1 - x0;
    *height = y1 - y0;
}

}  // namespace

int CFrame::CreateGeometry(int newKind, int count, int width, int height, int slicing) {
    if (meshCount > 0)
        return kGeometryExists;
    kind = newKind;
    count = std::clamp(count, 0, kFrameSlotCapacity);
    const int viewDepth = device ? device->params->bitsPerPixel : 32;
    int imageDepth = 24;
    int decodeDepth = 0;
    if (slicing == 1 || slicing == 2) {
        imageDepth = viewDepth == 24 ? 32 : viewDepth;
        decodeDepth = imageDepth;
    }
    const int existingImages = spriteCount;
    const bool build = width > 0 || (width == 0 && existingImages > 0);
    int built = 0;
    bool navigationSet = false;

    auto newMesh = [this](int index) {
        CObjeto3D* mesh = new CObjeto3D;
        meshes[index] = mesh;
        return mesh;
    };

    switch (newKind) {
    case FrameKindCubic:
        if (width > 0 || (width == 0 && existingImages > 5)) {
            for (int i = 0; i < 6; ++i) {
                CObjeto3D* mesh = newMesh(i);
                // A plane's third size would shift its odd rows; the flat kinds pass none.
                mesh->BuildGeometry(MeshGeometryPlane, 5, 5, 400, 400, 0, 0, 2, 0, 1, 0.5f, 0,
                                    true);
                mesh->cubeFace = 1;
                mesh->posX = kCubeFaces[i].x;
                mesh->posY = kCubeFaces[i].y;
                mesh->posZ = kCubeFaces[i].z;
                mesh->rotX = kCubeFaces[i].angleX;
                mesh->rotZ = kCubeFaces[i].angleZ;
            }
            built = 6;
        }
        break;
    case FrameKindCylindrical:
        if (build && count > 0) {
            for (int m = 0; m < count; ++m) {
                CObjeto3D* mesh = newMesh(m);
                mesh->BuildGeometry(MeshGeometryCylinder, 60 / count, 9, 200, 200, 200,
                                    m * 2.0f / count, (m + 1) * 2.0f / count, 0, 1, 0.5f, 0, true);
            }
            built = count;
        }
        break;
    case FrameKindOneShot:
    case FrameKindSpherical:
        if (build) {
            for (int m = 0; m < count; ++m)
                newMesh(m)->BuildGeometry(MeshGeometrySphere, 161, 81, 200, 200, 200, 0, 2, 0, 1,
                                          0.5f, 0, true);
            built = count;
        }
        break;
    case FrameKindFisheye:
        if (build && count > 0) {
            const float* f = fisheyeConfig;
            const float h = std::min(f[FisheyeLensAngle] / 180.0f, 2.0f);
            CObjeto3D* first = newMesh(0);
            const bool fits = f[FisheyeImageWidth] > 0 && f[FisheyeImageHeight] > 0 &&
                              f[FisheyeCircleWidth] > 0 && f[FisheyeCircleHeight] > 0;
            float g = 0.995f;
            CObjeto2D projector;  // window-less: only its camera math is used
            projector.UpdateViewportAndProjection();
            // The camera sits at the origin unturned: the view is the identity.
            memcpy(projector.matrices.worldToScreen, projector.matrices.projectionViewport,
                   sizeof projector.matrices.worldToScreen);
            const float circleRatio = fits ? f[FisheyeCircleWidth] / f[FisheyeCircleHeight] : 0;
            float left = 0, top = 0, pw = 0, ph = 0;
            for (;;) {
                first->BuildGeometry(MeshGeometrySphere, 61, 61, 460, 460, 460, 0.5f - h / 2,
                                     0.5f + h / 2, 0.5f - g / 2, 0.5f + g / 2, 0.5f, 0, true);
                first->rotZ = f[FisheyeRotation];
                first->UpdateWorldVertices();
                ProjectedBounds(projector, *first, &left, &top, &pw, &ph);
                if (!fits || g <= 0.3f || !(ph > 0) || pw / ph >= circleRatio)
                    break;
                g -= 0.005f;
            }
            // A fisheye without a known size keeps the mesh's own texture coordinates.
            if (fits && pw > 0 && ph > 0) {
                for (int i = 0; i < first->vertexCount; ++i) {
                    MeshVertex& vertex = first->vertices[i];
                    const float point[3] = {vertex.wx, vertex.wy, vertex.wz};
                    float x = 0, y = 0;
                    projector.ProjectToScreen(point, &x, &y, false);
                    const float u = 1.0f - (f[FisheyeCentreX] - f[FisheyeCircleWidth] / 2 +
                                            (x - left) / pw * f[FisheyeCircleWidth]) /
                                               f[FisheyeImageWidth];
                    const float v = (f[FisheyeCentreY] - f[FisheyeCircleHeight] / 2 +
                                     (y - top) / ph * f[FisheyeCircleHeight]) /
                                    f[FisheyeImageHeight];
                    vertex.u = std::clamp(u, 0.0f, 1.0f);
                    vertex.v = std::clamp(v, 0.0f, 1.0f);
                }
            }
            first->rotZ = 0;
            first->posX = first->posY = first->posZ = 0;
            for (int m = 1; m < count; ++m) {
                CObjeto3D* mesh = newMesh(m);
                mesh->BuildGeometry(MeshGeometrySphere, 61, 61, 460, 460, 460, 0.5f - h / 2,
                                    0.5f + h / 2, 0.5f - g / 2, 0.5f + g / 2, 0.5f, 0, true);
                mesh->rotY = m * 360.0f / count;
                const int n = std::min(mesh->vertexCount, first->vertexCount);
                for (int i = 0; i < n; ++i) {
                    mesh->vertices[i].u = first->vertices[i].u;
                    mesh->vertices[i].v = first->vertices[i].v;
                }
            }
            built = count;
        }
        break;
    case FrameKindCamera: {
        count = std::min(count, kSensorCapacity);
        seamCount = sensorLayout == 0 ? count : sensorLayout == 1 ? std::max(count - 1, 0) : 0;
        sensorCount = count;
        for (int i = 0; i < count / 2; ++i) {
            const int j = existingImages - 1 - i;
            if (j > i && j < kFrameSlotCapacity)
                std::swap(sprites[i], sprites[j]);
        }
        for (int i = 0; i < count; ++i) {
            if (!sprites[i]) {
                sprites[i] = new CSprite;
                if (i + 1 > spriteCount)
                    spriteCount = i + 1;
            }
            CObjeto3D* mesh = newMesh(i);
            mesh->rotX = sensorParams.tilt[i];
            mesh->rotY = sensorParams.pan[i];
            mesh->tileOption = 3;
            mesh->name.Format("VistroluxImage%d", i);
            mesh->visible = 1;
            BuildSensorGeometry(i);
        }
        const float s = count < kSensorCapacity ? sensorParams.verticalSize[count] : 0.5f;
        CObjeto3D* band = newMesh(count);
        band->BuildGeometry(MeshGeometrySphere, 161, 51, 200, 200, 200, 0, 2, 0.5f - s / 2,
                            0.5f + s / 2, 0.5f, 0, true);
        band->visible = 0;
        built = count + 1;
        break;
    }
    case FrameKindImageGrid: {
        gridColumns = std::max(width, 0);
        gridRows = std::max(height, 0);
        gridColumn = gridRow = gridImage = 0;
        gridImagesRead = 0;
        gridBlendImage = -1;
        gridOption = 0.5f;
        CObjeto3D* mesh = newMesh(0);
        mesh->BuildGeometry(MeshGeometryPlane, 2, 2, kGridPlaneSize, kGridPlaneSize, 0, 0, 2, 0,
                            1, 0.5f, 0, true);
        mesh->posZ = 200;
        mesh->rotX = 270;
        cameras[0].tilt = 0;
        cameras[0].pan = 0;
        cameras[0].zoom = 1.0f;
        if (device)
            device->UpdateProjection();
        if (!(overrides & OverrideMouseMode))
            mouseMode = 1;
        navigationSet = true;
        const int64_t cells = static_cast<int64_t>(gridColumns) * gridRows;
        count = static_cast<int>(std::min<int64_t>(cells, kFrameSlotCapacity));
        width = height = kSmallPlaceholder;
        built = 1;
        break;
    }
    case FrameKindAerial:
        if (build) {
            newMesh(0)->BuildGeometry(MeshGeometryPlane, 2, 2, 5000, 5000, 0, 0, 2, 0, 1, 0.5f,
                                      0, true);
            built = 1;
        }
        sceneValuesKnown = 1;
        break;
    default:
        break;
    }
    if (!navigationSet && !(overrides & OverrideMouseMode)) {
        switch (newKind) {
        case FrameKindCubic:
        case FrameKindCylindrical:
        case FrameKindFisheye:
        case FrameKindCamera:
        case FrameKindOneShot:
        case FrameKindSpherical:
            mouseMode = 2;
            break;
        default:
            break;
        }
    }

    // Images: one per mesh (per cell for grids), unless the frame keeps its own.
    const int images = newKind == FrameKindImageGrid ? count
                       : newKind == FrameKindCamera ? 0
                                                             : built;
    if (width > 0) {
        for (int k = 0; k < images; ++k) {
            CSprite* image = sprites[k];
            if (!image) {
                image = new CSprite;
                sprites[k] = image;
            }
            image->defaultColour = static_cast<uint32_t>(backColour);
            image->fixedBpp = decodeDepth;
            image->cubeFace = newKind == FrameKindCubic ? 1 : 0;
            if (slicing == 1)
                image->sliceOffsetY = k * width;
            else if (slicing == 2)
                image->sliceOffsetX = k * width;
            const bool small = width <= kSmallPlaceholder;
            image->CreateImage(width, height, imageDepth, true,
                               small ? backColour : static_cast<int>(0xFF000000u), false);
            if (!small)
                DrawPlaceholderBars(image, width, height);
        }
        if (images > spriteCount)
            spriteCount = images;
    }

    // Textures.
    const int meshesBuilt = built;
    for (int m = 0; m < meshesBuilt; ++m) {
        CObjeto3D* mesh = meshes[m];
        if (!mesh)
            continue;
        CSprite* image = m < kFrameSlotCapacity ? sprites[m] : nullptr;
        if (newKind == FrameKindCubic || newKind == FrameKindAerial)
            mesh->SetTexture(image, 1, 1, 1, false);
        else if (newKind != FrameKindImageGrid)
            mesh->SetTexture(image, -1, 1, -1, false);
        mesh->UpdateWorldVertices();
    }
    meshCount = meshesBuilt;

    if (viewerMode < 2)
        viewerMode = 1;
    viewerByte = 0;
    return newKind == FrameKindImageGrid ? kSmallPlaceholder : width;
}

int CFrame::UpdateDetailLevels(const float position[3], float time, int viewer) {
    if (!device || !position || meshCount <= 0 || viewer < 0 || viewer >= kFrameViewerCount)
        return 0;
    if (lastDetailTime[viewer] >= 0 && time - lastDetailTime[viewer] < kDetailInterval)
        return 0;
    lastDetailTime[viewer] = time;
    for (int axis = 0; axis < 3; ++axis)
        detailPositions[viewer][axis] = position[axis];
    const float farDistance = device->params->farZ;
    float radius = 0;
    if (kind == FrameKindScene && meshes[0]) {
        const float dx = meshes[0]->xMax - meshes[0]->xMin;
        const float dz = meshes[0]->zMax - meshes[0]->zMin;
        radius = std::sqrt(dx * dx + dz * dz) / 2;
    }
    const bool releaseFar = (flags & FrameReleaseFarMeshes) != 0;
    const int detailBpp = (flags & FrameDetail24Bit) ? 24 : 8;
    int farMesh = -1;  // the first mesh out of reach that still holds data
    int changed = 0;
    const int count = std::min<int>(meshCount, kFrameSlotCapacity);
    for (int m = 0; m < count; ++m) {
        CObjeto3D* mesh = meshes[m];
        if (!mesh)
            continue;
        const bool inSquare = mesh->xMax >= position[0] - farDistance &&
                              mesh->xMin <= position[0] + farDistance &&
                              mesh->zMax >= position[2] - farDistance &&
                              mesh->zMin <= position[2] + farDistance;
        if (!inSquare && releaseFar) {
            mesh->viewDistance[viewer] = kMeshUnusedViewDistance;
            if (farMesh < 0 && HoldsSceneData(mesh, sprites[m]))
                farMesh = m;
            continue;
        }
        const float cx = (mesh->xMin + mesh->xMax) / 2 - position[0];
        const float cy = (mesh->yMin + mesh->yMax) / 2 - position[1];
        const float cz = (mesh->zMin + mesh->zMax) / 2 - position[2];
        mesh->viewDistance[viewer] = std::sqrt(cx * cx + cy * cy + cz * cz);
        mesh->viewVisible[viewer] = mesh->visibleInView;
        const float d = mesh->GetNearestViewDistance(nullptr);
        // A zero unit scale gives no level: detail work needs a scale to divide by.
        if (mesh->hasDetailLevels && sceneValuesKnown && unitScale != 0) {
            const float step = unitScale * 1500.0f;
            const int top = mesh->maxDetailLevel;
            const float level = (d - step) * top / (step * 2.5f);
            mesh->SetDetailLevel(static_cast<int>(std::clamp(level, 0.0f, static_cast<float>(top))));
        }
        CSprite* image = sprites[m];
        if (image && kind == FrameKindScene) {
            const int wanted = d < 3 * radius ? 0 : d < 3.5f * radius ? 1 : d < 4 * radius ? 2 : 3;
            if (mesh->IsVisibleInAnyView())
                image->requestedLevels[viewer] = wanted;
            else
                image->requestedLevels[viewer] =
                    wanted > image->resolutionLevel ? kCoarsestLevel : image->resolutionLevel;
            const int requested = image->GetRequestedLevel();
            // A coarser picture takes the place of the tiles asked at finer detail.
            if (requested > image->resolutionLevel && image->tileRequestedDetail &&
                image->jpegTileCount > 0)
                memset(image->tileRequestedDetail, 0, static_cast<size_t>(image->jpegTileCount));
            image->SetResolutionLevel(requested, detailBpp);
            if (mesh->IsVisibleInAnyView() && image->generation > 0) {
                image->generation = 0;
                changed = 1;
            }
        } else if (!image) {
            image = new CSprite;
            image->tilingEnabled = 0;
            image->keepContent = 1;
            image->resolutionLevel = kCoarsestLevel;
            image->CreateImage(kSmallPlaceholder, kSmallPlaceholder, 24, true,
                               static_cast<int>(kScenePlaceholderColour), false);
            sprites[m] = image;
            if (m + 1 > spriteCount)
                spriteCount = m + 1;
            mesh->SetTexture(image, 1, 1, 1, false);
            mesh->visible = 1;
        }
    }
    // Only the main viewer streams.
    if (viewer == 0)
        StreamSceneData(radius, detailBpp, releaseFar ? farMesh : -1);
    return changed;
}

bool CFrame::HoldsSceneData(const CObjeto3D* mesh, const CSprite* image) {
    if (mesh->vertexCount > 0 || mesh->loaderThread.load() || mesh->loadState == MeshLoading)
        return true;
    // A placeholder's few pixels are nothing to release.
    return image && (image->width > kSmallPlaceholder || image->height > kSmallPlaceholder ||
                     image->loadState == SpriteLoading || image->loaderThread.load());
}

void CFrame::StreamSceneData(float radius, int detailBpp, int farMesh) {
    // The model and the texture image that are streaming.
    if (CObjeto3D* model = streamedModel) {
        if (!sceneValuesKnown && model->loadState == MeshLoaded) {
            if (model->unitScale > 0)
                unitScale = model->unitScale;
            sceneValues[0] = model->mapEasting;
            sceneValues[1] = model->mapNorthing;
            sceneValues[2] = model->xMin;
            sceneValues[3] = model->zMin;
            sceneValuesKnown = 1;
        }
        if (model->loadState > MeshLoading)
            streamedModel = nullptr;
    }
    if (CSprite* image = streamedImage) {
        if (!image->loaderThread.load() && image->loadState != SpriteLoading)
            streamedImage = nullptr;
    }

    const bool releaseFar = (flags & FrameReleaseFarMeshes) != 0;
    const int count = std::min<int>(meshCount, kFrameSlotCapacity);
    if (!streamedModel || !streamedImage) {
        int modelCandidate = -1;
        float modelDistance = 0;
        int imageCandidate = -1;
        float imageDistance = 0;
        for (int m = 0; m < count; ++m) {
            CObjeto3D* mesh = meshes[m];
            if (!mesh)
                continue;
            const float d = mesh->GetNearestViewDistance(nullptr);
            const bool visible = mesh->IsVisibleInAnyView();
            if (d < 0 || !(visible || d < radius || !releaseFar))
                continue;
            // A model that failed is not asked again: it would fail every round.
            if (mesh->vertexCount == 0 && mesh->fileName[0] && !mesh->abortFlag &&
                mesh->loadState == MeshLoadEmpty && !mesh->loaderThread.load() &&
                (modelCandidate < 0 || d < modelDistance)) {
                modelCandidate = m;
                modelDistance = d;
            }
            CSprite* image = sprites[m];
            if (!image || image->loaderThread.load() || image->AbortValue() != 0 ||
                image->loadState != SpriteEmpty)
                continue;
            const float priority =
                visible && !releaseFar && !image->pixels ? d / 3 : d;
            if (imageCandidate < 0 || priority < imageDistance) {
                imageCandidate = m;
                imageDistance = priority;
            }
        }
        if (!streamedModel && modelCandidate >= 0) {
            CObjeto3D* mesh = meshes[modelCandidate];
            if (mesh->LoadAsync(nullptr, nullptr, 0, 0, 255))
                streamedModel = mesh;
        }
        if (!streamedImage && imageCandidate >= 0) {
            CObjeto3D* mesh = meshes[imageCandidate];
            CSprite* image = sprites[imageCandidate];
            if (image->fileName.GetLength() == 0 && mesh->textureName[0]) {
                // The texture's name is relative to the folder of the mesh's source.
                char folder[kPathBufferSize] = {};
                strncpy(folder, mesh->fileName, sizeof folder - 1);
                UrlToPath(folder, true);
                const CTexto base(folder);
                CTexto name(mesh->textureName);
                ResolvePath(name, &base, nullptr);
                image->fileName = name;
            }
            if (image->fileName.GetLength() > 0 &&
                image->LoadAsync(nullptr, detailBpp, nullptr, 0, 0))
                streamedImage = image;
        }
    }

    // The far mesh lets go of its model and its picture; it comes back when it is near again.
    if (farMesh >= 0 && farMesh < count && meshes[farMesh]) {
        CObjeto3D* mesh = meshes[farMesh];
        if (mesh->loaderThread.load() || mesh->loadState == MeshLoading)
            mesh->StopLoading();
        else
            mesh->Clear();
        if (streamedModel == mesh)
            streamedModel = nullptr;
        if (CSprite* image = sprites[farMesh]) {
            if (streamedImage == image)
                streamedImage = nullptr;
            image->Clear();
            image->CreateImage(kSmallPlaceholder, kSmallPlaceholder, 24, true,
                               kSpriteDefaultColour, false);
            image->resolutionLevel = kCoarsestLevel;
        }
    }

    // Finer tiles for the nearest textured mesh in view that lacks them.
    struct Marked {
        float distance;
        int slot;
        CObjeto3D* mesh;
    };
    std::vector<Marked> marked;
    for (int m = 0; m < count; ++m) {
        CObjeto3D* mesh = meshes[m];
        CSprite* image = sprites[m];
        if (!mesh || !image || !mesh->IsVisibleInAnyView() ||
            image->resolutionLevel >= kCoarsestLevel || image->AbortValue() != 0 ||
            !(image->pixels || image->IsKeptInTiles()))
            continue;
        int slot = 0;
        const float d = mesh->GetNearestViewDistance(&slot);
        marked.push_back({d, slot, mesh});
    }
    std::stable_sort(marked.begin(), marked.end(),
                     [](const Marked& a, const Marked& b) { return a.distance < b.distance; });
    for (const Marked& entry : marked) {
        if (UpdateTileDetail(entry.mesh, detailPositions[entry.slot]) > 0)
            break;
    }
}

int CFrame::UpdateTileDetail(CObjeto3D* mesh, const float position[3]) {
    if (!device || !position || !mesh)
        return 0;
    CSprite* image = mesh->texture1;
    // Images decoded without tiles have no per-tile arrays and nothing to raise.
    if (!image || !image->tileDecodedDetail || !image->tileVisibility ||
        !image->tileRequestedDetail)
        return 0;
    const int tiles = image->jpegTileCount;
    const int across = image->jpegTilesAcross;
    const float farDistance = device->params->farZ;
    // A zero count across or farDistance distance does no detail work.
    if (tiles <= 0 || across <= 0 || !(farDistance > 0))
        return 0;
    if (!mesh->auxBuffers[0]) {
        const int rowsDown = tiles / across;
        float* boxes = static_cast<float*>(calloc(static_cast<size_t>(tiles), 6 * sizeof(float)));
        if (!boxes)
            return 0;
        const float tileW = std::trunc((mesh->xMax - mesh->xMin) * image->jpegTileWidth);
        const float tileD = std::trunc((mesh->zMax - mesh->zMin) * image->jpegTileHeight);
        for (int t = 0; t < tiles; ++t) {
            const int column = t % across;
            const int row = t / across;
            if (row >= rowsDown && rowsDown > 0)
                break;
            float x0 = std::trunc(mesh->xMin + column * tileW);
            float x1 = std::min(std::trunc(x0 + tileW), mesh->xMax);
            float z1 = std::trunc(mesh->zMax - row * tileD);
            float z0 = std::max(std::trunc(z1 - tileD), mesh->zMin);
            x0 = std::clamp(x0, mesh->xMin, mesh->xMax);
            z1 = std::clamp(z1, mesh->zMin, mesh->zMax);
            float* box = boxes + 6 * t;
            box[0] = (x0 + x1) / 2;
            box[1] = (mesh->yMin + mesh->yMax) / 2;
            box[2] = (z0 + z1) / 2;
            box[3] = (x1 - x0) / 2;
            box[4] = (mesh->yMax - mesh->yMin) / 2;
            box[5] = (z1 - z0) / 2;
        }
        mesh->auxBuffers[0] = boxes;
        return 0;
    }
    const float* boxes = static_cast<const float*>(mesh->auxBuffers[0]);
    image->pendingRequestLevel = 0;
    int raised = 0;
    for (int t = 0; t < tiles; ++t) {
        const float* box = boxes + 6 * t;
        const float dx = box[0] - position[0];
        const float dy = box[1] - position[1];
        const float dz = box[2] - position[2];
        const float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
        const int k = std::min(static_cast<int>(std::trunc(distance / farDistance * 10)), 9);
        const uint8_t wanted = kTileDetailByDistance[std::max(k, 0)];
        uint8_t& weight = image->tileVisibility[t];
        if (weight >= 1 && weight <= 5) {
            weight = 0;
            image->tileRequestedDetail[t] = 0;
        } else if (weight >= 6 && weight <= 254) {
            weight -= 5;
        }
        if (image->tileDecodedDetail[t] < wanted) {
            if (weight < 249)
                weight += 6;
            if (image->pendingRequestLevel < weight)
                image->pendingRequestLevel = weight;
            if (image->tileRequestedDetail[t] < wanted) {
                image->tileRequestedDetail[t] = wanted;
                ++raised;
            }
        }
    }
    if (raised > 0) {
        image->reloadWanted = 1;
        image->loadState = SpriteEmpty;
        image->progress = 0;
    }
    return raised;
}
