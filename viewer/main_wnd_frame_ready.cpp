// Frame ready and projections: what follows the arrival of a frame's imagery. By the frame's kind
// and the projection asked for, the frame's images become meshes with textures: spheres,
// cylinders, cubes (also cut from one strip of six faces), flat images, aerial ground planes and
// 3D scenes. Also the projection itself, the skybox, texture filtering and the choice of the main
// device's back end.
#include "viewer/main_wnd.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/item_records.h"
#include "core/object_item.h"
#include "core/path_resolution.h"
#include "core/text_convert.h"

namespace {

// Projection codes of the "projection" parameter and the SetProjection command.
enum Projection : int32_t {
    ProjectionDefault = 0,
    ProjectionPolar = 1,
    ProjectionSinPolar = 2,
    ProjectionSpherical = 3,
    ProjectionCylindrical = 4,
    ProjectionStereographic = 5,
    ProjectionFisheye = 6,
    ProjectionInverted = 7,
    ProjectionDome = 8,
};

// A 2:1 image within this band is a full sphere even on a cylindrical frame.
constexpr float kSphereRatioLow = 1.95f;
constexpr float kSphereRatioHigh = 2.05f;
// A single image this many times as wide as high holds six cube faces.
constexpr float kFaceStripRatio = 6.0f;
constexpr int kCubeFaces = 6;
// The panorama sphere and cylinder: radius 200, whose circumference is 1256.6371.
constexpr float kPanoramaRadius = 200.0f;
constexpr float kCircumference = 1256.6371f;
constexpr int kSphereColumns = 161;
constexpr int kSphereRows = 81;
constexpr int kCylinderRows = 9;
constexpr int kCylinderColumnsPerTurn = 60;
constexpr int kLensRows = 61;
// Flat images: the plane's height.
constexpr float kFlatPlaneSize = 165.7f;
// Aerial ground planes.
constexpr float kAerialLength = 5000.0f;
constexpr float kAerialShortest = 2000.0f;
constexpr float kAerialHeight = 1200.0f;
constexpr float kAerialTilt = -70.0f;
constexpr int32_t kAerialNavigation = 3;
// 3D scenes.
constexpr uint32_t kSceneAmbient = 0x808080;
constexpr uint32_t kSceneBackground = 0xC8C8FF;
constexpr float kSceneElevation = 200.0f;
constexpr float kModelFogStart = 1000.0f;
constexpr float kModelFogEnd = 2000.0f;
constexpr float kModelCameraZ = -200.0f;
constexpr float kModelCameraHeight = 10.0f;
constexpr float kModel3dsDistance = 1.5f;
constexpr float kModel3dsHeight = 0.1f;
constexpr int kCameraControl = 0;
constexpr int kCameraControl2 = 1;
constexpr int kCoordinateControl = 5;
constexpr int kSceneCameraControl = 6;
// Pull-back factors (x 200) of the projections that move the eye back.
constexpr float kDomePullBack = 2.625f;
constexpr float kPullBackUnit = 200.0f;
// Camera smoothing targets of ApplyProjection.
constexpr int32_t kTargetPullBack = 0x80;
constexpr int32_t kTargetZoom = 0x100;
constexpr int kTargetZoomSlot = 6;
constexpr int kTargetPullBackSlot = 7;
// Sky.
constexpr float kSkySize = 3000.0f;
constexpr float kSkyHeight = -2100.0f;
constexpr uint32_t kSkyFill = 0xC8C8FF;
constexpr uint32_t kSkyClearedFlags = 0x80 | 0x400 | 0x1000;
// Texture filtering.
constexpr int32_t kFilterBilinear = 0x1;
constexpr int32_t kFilterAccumulationShift = 1;
constexpr int32_t kFilterAccumulationMask = 0x3;

constexpr const char* kHideSliderPan = "Show('','sliderpan',0,'videocontrols')";
constexpr const char* kShowVideoControls = "ShowGroup('','',1,'videocontrols')";
constexpr const char* kShowSliderPan = "Show('','sliderpan',1,'videocontrols')";

// The size the picture came in (the size it is stored at, when the reader did not say).
float SourceWidth(const CSprite* image)
{
    return static_cast<float>(image->viewWidth > 0 ? image->viewWidth : image->width);
}
float SourceHeight(const CSprite* image)
{
    return static_cast<float>(image->viewHeight > 0 ? image->viewHeight : image->height);
}

// Panorama images are always shown at full size.
void KeepFullSize(CSprite* image)
{
    if (image)
        image->resolutionLevel = 0;
}

CObjeto3D* MeshAt(CFrame* frame, int index)
{
    const int count = std::min<int>(frame->meshCount, kFrameSlotCapacity);
    return index >= 0 && index < count ? frame->meshes[index] : nullptr;
}

CSprite* SpriteAt(CFrame* frame, int index)
{
    const int count = std::min<int>(frame->spriteCount, kFrameSlotCapacity);
    return index >= 0 && index < count ? frame->sprites[index] : nullptr;
}

// The texture bound again with the mesh's own flips, so that only the winding changes.
void Rebind(CObjeto3D* mesh, CSprite* texture, int winding)
{
    mesh->SetTexture(texture, static_cast<int8_t>(mesh->uFlip), static_cast<int8_t>(mesh->vFlip),
                     winding, false);
}

// Vertical range of a full-turn sphere for an image of the ratio and horizon position h (per
// cent): a picture wider than 2:1 covers a band, moved by the horizon and kept inside the poles.
void SphereBand(float ratio, float h, float* top, float* bottom)
{
    *top = 0.0f;
    *bottom = 1.0f;
    if (ratio <= 2.0f)
        return;
    const float off = (h - 50.0f) / 100.0f;
    const float m = (1.0f - 2.0f / ratio) * 0.5f;
    *top = m - off;
    *bottom = 1.0f - m - off;
    if (*top < 0.0f) {
        *bottom -= *top;
        *top = 0.0f;
    }
    if (*bottom > 1.0f) {
        *top -= *bottom - 1.0f;
        *bottom = 1.0f;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Frame ready

void CMainWnd::SetMeshReady(CObjeto3D* mesh)
{
    mesh->ready = 1;
    // The render device draws a frame's meshes only once the viewer says they are ready.
    mesh->drawing = 1;
}

LRESULT CMainWnd::OnFrameReady(CFrame* frame, int32_t)
{
    if (!frame || !IsKnownFrame(frame))
        return 0;
    switch (frame->kind) {
    case FrameKindStrips:
        if (frame->stripTable)
            BuildStripFrame(frame);
        break;
    case FrameKindCubic:
    case FrameKindCylindrical:
    case FrameKindFisheye:
    case FrameKindCamera:
    case FrameKindOneShot:
    case FrameKindSpherical:
        if (SpriteAt(frame, 0))
            BuildSingleImageFrame(frame);
        break;
    case FrameKindImageGrid:
        BuildFlatImageFrame(frame);
        break;
    case FrameKindAerial:
        BuildAerialFrame(frame);
        break;
    case FrameKindScene:
        BuildTerrainScene(frame);
        break;
    case FrameKindModel:
    case FrameKindModel3ds:
        BuildModelScene(frame);
        break;
    default:
        break;
    }
    FinishFrameReady(frame);
    return 0;
}

void CMainWnd::BuildSingleImageFrame(CFrame* frame)
{
    CSprite* first = SpriteAt(frame, 0);
    const int meshCount = std::min<int>(frame->meshCount, kFrameSlotCapacity);
    const float w = SourceWidth(first) * static_cast<float>(meshCount);
    const float h = SourceHeight(first);
    // An image without a size (nothing arrived yet) gives no shape to build.
    if (!(w > 0.0f) || !(h > 0.0f))
        return;
    const bool transposed = first->orientation == 1;
    float ratio = transposed ? h / w : w / h;
    if (ratio < 1.0f && meshCount == 1 && frame->kind != FrameKindOneShot) {
        // A portrait picture is laid on its side.
        ratio = 1.0f / ratio;
        if (!transposed) {
            first->orientation = 1;
            first->orientationParams[0] = 1;
            first->orientationParams[1] = 0;
        }
    }
    const float horizon = (frame->overrides & OverrideHorizonPosition) ? frame->horizonPosition
                                                                      : m_params.horizonPosition;
    if (frame->kind == FrameKindCubic) {
        m_params.projection = ProjectionDefault;
    } else if (frame->kind == FrameKindCamera) {
        m_view.SetRenderState(RenderStateColorVertex, 1);
        m_view.SetRenderState(RenderStateDiffuseAlpha, 1);
        m_params.filter |= kFilterBilinear;
        StartCameraEngineThread();
    }

    const int32_t projection = m_params.projection;
    bool sphere = false;
    bool natural = false;
    if (projection == ProjectionSpherical) {
        sphere = true;
    } else if (projection == ProjectionDefault) {
        sphere = frame->kind == FrameKindCylindrical && ratio > kSphereRatioLow &&
                 ratio < kSphereRatioHigh;
        natural = !sphere;
    } else if (projection >= ProjectionCylindrical && projection <= ProjectionDome) {
        natural = true;
    }

    if (sphere)
        BuildSphere(frame, ratio, horizon);
    else if (natural)
        BuildNaturalGeometry(frame, ratio, horizon);
    ApplyProjection(false);
}

void CMainWnd::BuildSphere(CFrame* frame, float ratio, float horizon)
{
    if (frame->kind == FrameKindCylindrical)
        frame->kind = FrameKindSpherical;
    CObjeto3D* mesh = nullptr;
    CSprite* texture = nullptr;
    if (frame->kind == FrameKindCamera) {
        mesh = MeshAt(frame, frame->sensorCount);
        texture = &m_cameraOutput;
        const float w = SourceWidth(texture);
        const float h = SourceHeight(texture);
        ratio = w > 0.0f && h > 0.0f ? w / h : 0.0f;
        if (!mesh) {
            m_params.projection = ProjectionDefault;
            return;
        }
    } else {
        mesh = MeshAt(frame, 0);
        if (!mesh)
            return;
        texture = mesh->texture1;
    }
    float top = 0.0f, bottom = 1.0f;
    SphereBand(ratio, horizon, &top, &bottom);
    mesh->BuildGeometry(MeshGeometrySphere, kSphereColumns, kSphereRows, kPanoramaRadius,
                        kPanoramaRadius, kPanoramaRadius, 0, 2, top, bottom, 0.5f, 0, true);
    mesh->SetTexture(texture, -1, 1, -1, false);
    KeepFullSize(texture);
    mesh->UpdateWorldVertices();
    SetMeshReady(mesh);
}

void CMainWnd::BuildNaturalGeometry(CFrame* frame, float ratio, float horizon)
{
    const int meshCount = std::min<int>(frame->meshCount, kFrameSlotCapacity);
    CSprite* first = SpriteAt(frame, 0);
    if (frame->kind == FrameKindCubic) {
        for (int i = 0; i < meshCount; ++i) {
            if (frame->meshes[i])
                SetMeshReady(frame->meshes[i]);
            KeepFullSize(SpriteAt(frame, i));
        }
        return;
    }
    if (frame->kind == FrameKindSpherical) {
        if (ratio == kFaceStripRatio && m_params.projection != ProjectionCylindrical && first &&
            std::strstr(first->fileName.GetText(), ".jpg")) {
            SplitFaceStrip(frame);
            return;
        }
        if (ratio > kSphereRatioHigh || m_params.projection == ProjectionCylindrical) {
            frame->kind = FrameKindCylindrical;
        } else {
            if (CObjeto3D* mesh = MeshAt(frame, 0))
                SetMeshReady(mesh);
            KeepFullSize(first);
        }
    }
    if (frame->kind == FrameKindCylindrical && meshCount > 0) {
        const float field = frame->partialWidth;
        const float height = field / 360.0f * kCircumference / ratio;
        const float span = 2.0f * field / 360.0f / static_cast<float>(meshCount);
        const int columns =
            std::max(2, static_cast<int>(field / 360.0f * kCylinderColumnsPerTurn / meshCount));
        if (field < 360.0f && frame->meshes[0])
            frame->meshes[0]->rotY = field / 2.0f - 90.0f;
        for (int i = 0; i < meshCount; ++i) {
            CObjeto3D* mesh = frame->meshes[i];
            if (!mesh)
                continue;
            CSprite* crossFade = mesh->texture2;
            mesh->BuildGeometry(MeshGeometryCylinder, columns, kCylinderRows, kPanoramaRadius,
                                kPanoramaRadius, height, i * span, (i + 1) * span, 0, 1,
                                horizon / 100.0f, 0, true);
            mesh->SetTexture(SpriteAt(frame, i), -1, 1, -1, false);
            mesh->texture2 = crossFade;
            mesh->UpdateWorldVertices();
            SetMeshReady(mesh);
            KeepFullSize(SpriteAt(frame, i));
            KeepFullSize(crossFade);
        }
    } else if (frame->kind == FrameKindOneShot) {
        CObjeto3D* mesh = MeshAt(frame, 0);
        if (!mesh)
            return;
        mesh->fisheyeCenterX = frame->lensSensor[0];
        mesh->fisheyeCenterY = frame->lensSensor[1];
        mesh->fisheyeInner = frame->lensSensor[2];
        mesh->fisheyeOuter = frame->lensSensor[3];
        mesh->geometryValue = static_cast<uint32_t>(frame->lensParameter);
        mesh->rotX = frame->lensRotation[0];
        mesh->rotY = frame->lensRotation[1];
        mesh->rotZ = frame->lensRotation[2];
        mesh->BuildGeometry(MeshGeometryFisheye, kSphereColumns, kLensRows, kPanoramaRadius,
                            kPanoramaRadius, kPanoramaRadius, 0, 2,
                            frame->lensFieldAngles[0] / 180.0f,
                            (180.0f - frame->lensFieldAngles[1]) / 180.0f, horizon / 100.0f,
                            frame->lensAngleOffset, true);
        mesh->SetTexture(first, 1, 1, -1, false);
        mesh->UpdateWorldVertices();
        SetMeshReady(mesh);
        KeepFullSize(first);
    }
}

void CMainWnd::SplitFaceStrip(CFrame* frame)
{
    CSprite* first = frame->sprites[0];
    const int w = static_cast<int>(SourceWidth(first));
    const int h = static_cast<int>(SourceHeight(first));
    const bool row = w >= h;
    const int face = row ? h : w;
    if (face <= 0)
        return;

    // The strip is loaded by an image of the level list, which outlives the frame's own images.
    CSprite* source = nullptr;
    for (CObjeto* node = m_images[0].GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (record->type == ItemType::Image && &static_cast<ImageItem*>(record)->sprite == first) {
            source = first;
            break;
        }
    }
    if (!source) {
        const CTexto name = first->fileName;
        ImageItem* image = nullptr;
        ObjectItem* object = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_sceneLock);
            image = static_cast<ImageItem*>(m_images[0].CreateItem(ItemType::Image));
            object = image ? static_cast<ObjectItem*>(frame->objects.CreateItem(ItemType::EngineObject))
                           : nullptr;
        }
        if (!image || !object)
            return;
        image->name = name;
        image->value = name;
        image->sprite.fileName = name;
        object->level = 0;
        object->number = image->number;
        source = &image->sprite;
    }

    m_view.WaitForIdle(true);
    frame->Unload();
    frame->CreateGeometry(FrameKindCubic, kCubeFaces, face, face, row ? 2 : 1);
    if (frame->spriteCount < kCubeFaces)
        return;
    for (int i = 0; i < kCubeFaces; ++i) {
        CSprite* piece = frame->sprites[i];
        piece->parent = source;
        piece->originX = row ? i * face : 0;
        piece->originY = row ? 0 : i * face;
        piece->rightEdge = piece->originX + piece->width;
        piece->bottomEdge = piece->originY + piece->height;
        if (frame->meshes[i])
            SetMeshReady(frame->meshes[i]);
    }
    // The source decodes straight into the faces, which it holds as its tiles.
    source->Clear();
    source->tiles = frame->sprites;
    source->tileCount = kCubeFaces;
    source->tilesAcross = row ? kCubeFaces : 1;
    source->tilesDown = row ? 1 : kCubeFaces;
    source->width = row ? kCubeFaces * face : face;
    source->height = row ? face : kCubeFaces * face;
    source->borrowedTiles = 1;
    frame->TrackSpriteProgress(source, ProgressWeightNormal);
    frame->flags |= FrameActivated;
    source->LoadAsync(nullptr, m_view.params->bitsPerPixel);
}

void CMainWnd::BuildFlatImageFrame(CFrame* frame)
{
    CObjeto3D* mesh = MeshAt(frame, 0);
    CSprite* first = SpriteAt(frame, 0);
    if (!mesh || !first || first->width <= 0 || first->height <= 0)
        return;
    const float w = static_cast<float>(first->width);
    const float h = static_cast<float>(first->height);
    const float aspect = w / h;
    KeepFullSize(first);
    frame->gridColumnOffset = 0;
    mesh->BuildGeometry(MeshGeometryPlane, 2, 2, aspect * kFlatPlaneSize, kFlatPlaneSize, 0, 0,
                        2, 0, 1, 0.5f, 0, true);
    SetMeshReady(mesh);
    const int64_t cells = static_cast<int64_t>(frame->gridColumns) * frame->gridRows;
    if (m_gridMode && cells > 0 && frame->spriteCount == cells)
        m_currentFrame->ShowGridImage(m_gridMode);
    else
        mesh->SetTexture(mesh->texture1 ? mesh->texture1 : first, 1, 1, 1, false);
    mesh->UpdateWorldVertices();
    if (m_view.centreOffsetX != 0 || m_view.centreOffsetY != 0) {
        // The offset was given in image pixels; the device wants its own.
        const CameraState* camera = m_view.params->camera;
        const float s = static_cast<float>(m_view.params->height) * (camera ? camera->zoom : 1.0f);
        const int x = static_cast<int>((w / 2 - m_view.centreOffsetX) * s / w);
        const int y = static_cast<int>((h / 2 - m_view.centreOffsetY) * s * aspect / h);
        m_view.SetCenterOffset(x, y);
    }
}

void CMainWnd::BuildAerialFrame(CFrame* frame)
{
    CObjeto3D* mesh = MeshAt(frame, 0);
    CSprite* first = SpriteAt(frame, 0);
    if (mesh && first && first->width > 0 && first->height > 0) {
        float ratio = static_cast<float>(first->width) / static_cast<float>(first->height);
        if (first->orientation == 1)
            ratio = 1.0f / ratio;
        float x = kAerialLength;
        float z = kAerialLength / ratio;
        if (z < kAerialShortest) {
            z = kAerialShortest;
            x = ratio * kAerialShortest;
        }
        mesh->BuildGeometry(MeshGeometryPlane, 2, 2, x, z, 0, 0, 2, 0, 1, 0.5f, 0, false);
        mesh->UpdateWorldVertices();
        SetMeshReady(mesh);
        KeepFullSize(first);
    }
    frame->aerial = 1;
    CameraState& camera = frame->cameras[0];
    if (camera.y == 0.0f)
        camera.y = kAerialHeight;
    if (camera.tilt == 0.0f)
        camera.tilt = kAerialTilt;
    camera.pan = 0.0f;
    UpdateAerialLimits(0);
    if ((frame->flags & FrameSkybox) && first) {
        char folder[kPathBufferSize];
        lstrcpynA(folder, first->fileName.GetText(), sizeof folder);
        UrlToPath(folder, true);
        LoadSkybox(folder);
    }
    if (!(frame->overrides & OverrideMouseMode))
        frame->mouseMode = kAerialNavigation;
}

void CMainWnd::BuildTerrainScene(CFrame* frame)
{
    // The scene's render set-up is made once: Fog is on after it.
    if (m_view.GetRenderState(RenderStateFog))
        return;
    SelectRenderBackEnd(RenderSoftware, false);
    m_view.SetRenderState(RenderStateAmbient, static_cast<int32_t>(kSceneAmbient));
    m_view.SetRenderState(RenderStateLighting, 0);
    m_view.SetRenderState(RenderStateAccumulation, 0);
    m_view.SetRenderState(RenderStateZBuffer, 1);
    const uint32_t background = (frame->overrides & OverrideBackColour)
                                    ? static_cast<uint32_t>(frame->backColour) & 0xFFFFFF
                                    : kSceneBackground;
    m_view.backgroundColour = background;
    m_view.SetRenderState(RenderStateFogColor, static_cast<int32_t>(background));
    m_view.SetRenderState(RenderStateFog, 1);
    CameraState* camera = m_view.params->camera;
    if (!(frame->flags & FrameKeptLoaded) && camera && camera->y == 0.0f) {
        camera->x = 1.0f;
        camera->z = 1.0f;
    }
    m_elevation = kSceneElevation;
    FollowGround(1);
    UpdateFogRange();
    frame->flags |= kSceneFlagDefaults & ~frame->flagsGiven;
    CObjeto3D* mesh = MeshAt(frame, 0);
    if ((frame->flags & FrameSkybox) && mesh && mesh->texture1 &&
        !(frame->overrides & OverrideBackColour)) {
        char folder[kPathBufferSize];
        lstrcpynA(folder, mesh->texture1->fileName.GetText(), sizeof folder);
        UrlToPath(folder, true);
        LoadSkybox(folder);
    } else {
        frame->flags &= ~FrameSkybox;
    }
    frame->ClearProgress();
    frame->TrackFileProgress();
}

void CMainWnd::BuildModelScene(CFrame* frame)
{
    // Lights are added once; a frame that has them is set up already.
    if (frame->lightCount > 0)
        return;
    m_view.AddLight(frame, &m_defaultLights[0]);
    m_view.AddLight(frame, &m_defaultLights[1]);
    m_view.SetRenderState(RenderStateAmbient, static_cast<int32_t>(kSceneAmbient));
    m_view.SetRenderState(RenderStateLighting, 1);
    m_view.SetRenderState(RenderStateAccumulation, 0);
    m_view.SetRenderState(RenderStateZBuffer, 1);
    CameraState* camera = m_view.params->camera;
    if (frame->kind == FrameKindModel) {
        m_view.SetRenderState(RenderStateFog, 1);
        m_view.SetRenderState(RenderStateFogStart, static_cast<int32_t>(kModelFogStart));
        m_view.SetRenderState(RenderStateFogEnd, static_cast<int32_t>(kModelFogEnd));
        m_view.SetRenderState(RenderStateFogColor,
                              static_cast<int32_t>(m_view.backgroundColour));
        if (camera) {
            camera->z = kModelCameraZ;
            camera->y = kModelCameraHeight;
        }
        FollowGround(1);
    } else if (CObjeto3D* mesh = MeshAt(frame, 0)) {
        const float extent = std::max({mesh->xMax - mesh->xMin, mesh->yMax - mesh->yMin,
                                       mesh->zMax - mesh->zMin});
        if (camera) {
            camera->z = -kModel3dsDistance * extent;
            camera->y = kModel3dsHeight;
        }
        FollowGround(1);
        m_view.SetObjectTransform(mesh, 1);
    }
}

void CMainWnd::FinishFrameReady(CFrame* frame)
{
    const int meshCount = std::min<int>(frame->meshCount, kFrameSlotCapacity);
    for (int i = 0; i < meshCount; ++i) {
        CObjeto3D* mesh = frame->meshes[i];
        CSprite* texture = mesh ? mesh->texture1 : nullptr;
        if (mesh && !mesh->transposed && texture && texture->orientation == 1)
            mesh->TransposeTexCoords(texture->orientationParams[0] != 0,
                                     texture->orientationParams[1] != 0);
    }

    const bool cameraControls = (frame->flags & FrameCameraControls) != 0;
    const bool scene = frame->kind == FrameKindScene;
    m_controlShown[kCameraControl] = cameraControls;
    m_controlShown[kCameraControl2] = cameraControls;
    m_controlShown[kCoordinateControl] = scene && (frame->flags & FrameCoordinateControls);
    m_controlShown[kSceneCameraControl] = scene && cameraControls;
    m_toolbarDirty = 1;

    CSprite* first = SpriteAt(frame, 0);
    const bool seekableVideo = first && first->video && !first->liveSource;
    if (frame->kind == FrameKindCamera || seekableVideo) {
        if (first && first->video && first->liveSource) {
            RunCommandText(kHideSliderPan, false);
        } else if (frame->recordedFrameCount > frame->sensorCount) {
            RunCommandText(kShowVideoControls, false);
            RunCommandText(kShowSliderPan, false);
        }
    }

    UpdateZoomLimits(frame);
    UpdateNavigationLimits(frame);
    m_changeCount++;
    frame->ready = 1;
}

// ---------------------------------------------------------------------------------------------
// Projections, sky and filtering

void CMainWnd::ApplyProjection(bool keepZoom)
{
    const int32_t projection = m_params.projection;
    const int32_t applied = m_appliedProjection;
    if (projection == applied || projection == ProjectionPolar ||
        projection == ProjectionSinPolar) {
        m_appliedProjection = projection;
        return;
    }
    CameraState* camera = &m_currentFrame->cameras[0];
    float factor = 0.0f;
    if (projection == ProjectionInverted ||
        (applied == ProjectionInverted && camera->pullBack > 0.0f)) {
        // The sphere is seen from outside: what was left is now right.
        camera->tilt = -camera->tilt;
        camera->pan = -camera->pan;
        m_cameraDelta.tilt = -m_cameraDelta.tilt;
        m_cameraDelta.pan = -m_cameraDelta.pan;
        const bool inverted = projection == ProjectionInverted;
        factor = inverted ? kDomePullBack : 0.0f;
        m_invertPano = inverted ? 1 : 0;
        m_view.SetRenderState(RenderStateZBuffer, inverted ? 1 : 0);
        m_view.UpdateViewMatrix();
        CObjeto3D* mesh = MeshAt(m_currentFrame, 0);
        if (mesh && mesh->texture1) {
            Rebind(mesh, mesh->texture1, inverted ? 1 : -1);
            if (mesh->subMeshCount > 0)
                mesh->BuildTiledGeometry(MeshGeometrySphere, kPanoramaRadius, kPanoramaRadius,
                                         kPanoramaRadius, 0, 2, 0, 1, 0.5f, 0);
        }
    }
    if (projection == ProjectionStereographic)
        factor = 1.0f;
    else if (projection == ProjectionFisheye)
        factor = m_params.fisheye;
    else if (projection == ProjectionDome)
        factor = kDomePullBack;

    if (keepZoom) {
        const float previous = camera->pullBack / kPullBackUnit + 1.0f;
        if (previous > 0.0f) {
            m_cameraTargetValues[kTargetZoomSlot] = (factor + 1.0f) / previous * camera->zoom;
            m_cameraTargets |= kTargetZoom;
        }
    }
    m_cameraTargetValues[kTargetPullBackSlot] = factor * kPullBackUnit;
    m_cameraTargets |= kTargetPullBack;
    m_cameraMotion = 0;
    if (m_changeCount == 0)
        m_redrawRequest = 1;
    m_appliedProjection = projection;
}

void CMainWnd::LoadSkybox(const char* folder)
{
    m_skyMesh.BuildGeometry(MeshGeometrySphere, 10, 10, kSkySize, kSkySize, kSkySize, 0.25f,
                            0.75f, 0.25f, 0.75f, 0.5f, 0, true);
    m_skyMesh.renderFlags &= ~kSkyClearedFlags;
    m_skyMesh.rotX = -90.0f;
    m_skyMesh.posY = kSkyHeight;
    m_view.SetObjectTransform(&m_skyMesh, 1);
    char name[kPathBufferSize] = "sky.jpg";
    MakeAbsolutePath(name, folder ? folder : "");
    m_skyImage.defaultColour = kSkyFill;
    m_skyImage.LoadAsync(name, 24);
    m_skyMesh.SetTexture(&m_skyImage, -1, 1, -1, false);
}

void CMainWnd::ApplyTextureFiltering(int32_t mode)
{
    if (!m_initialized)
        return;
    if (m_view.backEnd != RenderSoftware)
        mode |= kFilterBilinear;
    m_view.SetRenderState(RenderStateBilinear, mode & kFilterBilinear);
    if (!m_view.GetRenderState(RenderStateZBuffer) && m_currentFrame->spriteCount > 0)
        m_view.SetRenderState(RenderStateAccumulation,
                              (mode >> kFilterAccumulationShift) & kFilterAccumulationMask);
}

void CMainWnd::BuildSphereMesh()
{
    m_sphereMesh.BuildGeometry(MeshGeometrySphere, kSphereColumns, kSphereRows, kPanoramaRadius,
                               kPanoramaRadius, kPanoramaRadius, 0, 2, 0, 1, 0.5f, 0, true);
    m_sphereMesh.UpdateWorldVertices();
}

bool CMainWnd::SelectRenderBackEnd(int32_t backEnd, bool userChoice)
{
    // An explicit choice of the user is never overridden by the automatic ones.
    if (userChoice)
        m_view.userChoseBackEnd = 1;
    else if (m_view.userChoseBackEnd)
        return false;
    if (m_view.backEnd == backEnd)
        return false;
    switch (backEnd) {
    case RenderSoftware:
        break;
    case RenderDirect3D9:
        if (!CanUseDirect3D9())
            return false;
        break;
    case RenderOpenGL:
        ShowViewfinder(0);
        break;
    default:
        return false;
    }
    m_view.SetRenderState(RenderStateBackEnd, backEnd);
    return true;
}
