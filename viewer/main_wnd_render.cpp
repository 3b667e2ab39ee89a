// The 3D pass of one frame into one device, and the secondary viewer windows.
#include "viewer/main_wnd.h"

#include <new>

#include "core/item_records.h"
#include "viewer/viewer_window.h"

namespace {

// Viewer projections under which a panorama no longer fills the whole view.
constexpr int32_t kProjectionLittlePlanet = 7;
constexpr int32_t kProjectionInverted = 8;
constexpr int32_t kMeasureArea = 4;
constexpr uint32_t kAreaDepthBias = 5;
constexpr int32_t kFullOpacity = 100;
constexpr int32_t kOpaqueAlpha = 255;

bool HoldsImage(const CSprite* image)
{
    return image && (image->pixels || image->IsKeptInTiles());
}

// A panorama that covers the whole view needs no background fill; a camera-sensor frame leaves
// gaps between its sensors and keeps the caller's choice.
bool CoversView(const CFrame* frame, int32_t projection)
{
    if (frame->kind < FrameKindCubic || frame->kind > FrameKindSpherical ||
        frame->kind == FrameKindOneShot)
        return false;
    if (projection == kProjectionLittlePlanet || projection == kProjectionInverted)
        return false;
    return frame->spriteCount > 0 && HoldsImage(frame->sprites[0]);
}

// Makes the frame's view camera the device's and brings projection and view up to date.
void UseViewCamera(CObjeto2D* device, CFrame* frame)
{
    device->params->camera = &frame->cameras[0];
    device->UpdateProjection();
    device->UpdateViewMatrix();
}

// Draws every mesh of the frame: 0, or the first failure, after which nothing more is drawn.
HRESULT DrawMeshes(CObjeto2D* device, CFrame* frame, int32_t opacity, int32_t onlyWhenReady,
                   void* owner)
{
    const int32_t count = frame->meshCount;
    for (int32_t i = 0; i < count && i < kFrameSlotCapacity; i++) {
        CObjeto3D* mesh = frame->meshes[i];
        if (!mesh)
            continue;
        HRESULT result = device->DrawObject3D(mesh, opacity, 0, onlyWhenReady, owner);
        if (result != 0)
            return result;
    }
    return 0;
}

}  // namespace

HRESULT CMainWnd::RenderFrame(CObjeto2D* device, CFrame* frame, int clearWithColour)
{
    if (!device || !frame)
        return 0;
    if ((device->status & DeviceMinimised) || !m_hostWnd || !IsWindowVisible(m_hostWnd))
        return 0;
    if (frame->recorderThread.load() && frame->recorderState == 0)
        return 0;

    bool withColour = clearWithColour != 0;
    if (frame->kind != FrameKindCamera && CoversView(frame, m_params.projection))
        withColour = false;
    device->Clear(withColour);

    m_paintRegion = {0, 0, m_view.params->width, m_view.params->height};

    HRESULT result = 0;
    CFrame* leaving = m_leavingFrame;
    if (m_view.backEnd != RenderSoftware && leaving && m_transitionState > 0) {
        CFrame* drawn = m_enteringFrame ? m_enteringFrame : frame;
        // The frame being left may already be gone from the tour; only a known one is drawn.
        if (IsKnownFrame(leaving)) {
            UseViewCamera(device, leaving);
            result = DrawMeshes(device, leaving, kFullOpacity, 1, nullptr);
        }
        device->params->camera = &drawn->cameras[0];
        if (result == 0 && drawn->meshCount > 0 && m_transitionAlpha != kOpaqueAlpha) {
            UseViewCamera(device, drawn);
            const int32_t opacity = (kOpaqueAlpha - m_transitionAlpha) * kFullOpacity / kOpaqueAlpha;
            result = DrawMeshes(device, drawn, opacity, drawn->kind == FrameKindScene ? 0 : 1,
                                nullptr);
        }
    } else {
        result = DrawMeshes(device, frame, kFullOpacity, 1, frame);
    }
    if (result != 0)
        return result;

    if (m_measureMode == kMeasureArea) {
        device->SetRenderState(RenderStateDepthBias, static_cast<int32_t>(kAreaDepthBias));
        result = device->DrawObject3D(&m_areaMesh, kFullOpacity, 0, 0, nullptr);
        device->SetRenderState(RenderStateDepthBias, 0);
        if (result != 0)
            return result;
    }

    if (device->GetRenderState(RenderStateAccumulation))
        device->ResolveAccumulation();
    return 0;
}

namespace {

// The values the view is drawn from. Whole records are not compared: their padding before the
// path pointer is not copied by assignment, so a still camera would count as moved every pass.
bool SameCamera(const CameraState& a, const CameraState& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z && a.tilt == b.tilt && a.pan == b.pan &&
           a.roll == b.roll && a.zoom == b.zoom && a.pullBack == b.pullBack;
}

}  // namespace

void CMainWnd::RenderViewerWindows()
{
    if (m_view.backEnd != RenderSoftware)
        return;
    const int32_t count = m_shownViewerWindows.GetCount();
    for (int32_t i = 0; i < count; i++) {
        ObjectItem* link = static_cast<ObjectItem*>(m_shownViewerWindows.GetAt(i));
        ObjectItem* object = link ? static_cast<ObjectItem*>(link->linkedObject) : nullptr;
        if (!object || (object->showFlags & ObjectShown) != ObjectShown)
            continue;
        ItemRecord* record = GetImageItem(object->level, object->number);
        if (!record || record->type != ItemType::ViewerWindow)
            continue;
        ViewerWindowItem* item = static_cast<ViewerWindowItem*>(record);

        CFrame* frame = FindFrame(object->fontItemName.GetText());
        if (!frame)
            frame = m_currentFrame;
        // The slot is script data: one outside the frame's cameras shows the view camera.
        const int32_t slot = object->textColor >= 0 && object->textColor < kFrameViewerCount
                                 ? object->textColor
                                 : 0;
        CameraState& camera = frame->cameras[slot];
        if (camera.sequence)
            PlayCameraSequence(frame, &camera);

        if (object->mode == 1) {
            float x = static_cast<float>(m_view.deviceRect.left) + object->x;
            float y = static_cast<float>(m_view.deviceRect.top) + object->y;
            ApplyAlignment(x, y, object->align, object->drawWidth, object->drawHeight,
                           m_view.params->width, m_view.params->height);
            if (item->window.m_hWnd) {
                MoveWindow(item->window.m_hWnd, static_cast<int>(x), static_cast<int>(y),
                           static_cast<int>(object->drawWidth),
                           static_cast<int>(object->drawHeight), TRUE);
            }
        }

        if (m_changeCount == 0 && SameCamera(camera, item->lastCamera))
            continue;
        item->lastCamera = camera;

        if (!item->window.device) {
            CObjeto2D* device = new (std::nothrow) CObjeto2D();
            if (!device)
                continue;
            device->windowsVersion = m_osVersion;
            device->CreateDevice(static_cast<int32_t>(object->drawWidth),
                                 static_cast<int32_t>(object->drawHeight), item->window.m_hWnd);
            device->backgroundColour = m_view.backgroundColour;
            device->SetRenderState(RenderStateBilinear, 0);
            item->window.device = device;
        }
        CObjeto2D* device = item->window.device;
        if (frame == m_currentFrame) {
            device->SetRenderState(RenderStateZBuffer, m_view.GetRenderState(RenderStateZBuffer));
            device->SetRenderState(RenderStateAmbient, m_view.GetRenderState(RenderStateAmbient));
            device->SetRenderState(RenderStateLighting, m_view.GetRenderState(RenderStateLighting));
        }

        item->workingCamera = camera;
        item->workingCamera.tilt += object->rotX;
        item->workingCamera.pan += object->rotY;
        item->workingCamera.zoom += object->zoom;
        device->params->camera = &item->workingCamera;
        device->UpdateProjection();
        device->UpdateViewMatrix();

        if (device->BeginScene(m_hostWnd) == 0) {
            device->Clear(true);
            RenderFrame(device, frame, 1);
            DrawInterface(frame);
            device->EndScene();
            device->Present(nullptr);
        }
    }
    if (count > 0)
        DrawInterface(m_currentFrame);
}
