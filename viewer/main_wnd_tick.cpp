// One tick is one frame of the viewer, run on the UI thread for each Redraw of the update loop:
// the per-frame update (input, pointer events, one resumed command run, camera motion, drawing),
// presenting, the frame-rate measurement, the redraw governor, load progress and the export of
// panorama stills of a recording.
#include "viewer/main_wnd.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/clock.h"
#include "core/matrix_math.h"
#include "images/pixel_format.h"
#include "viewer/camera_internal.h"
#include "viewer/live_viewer_registry.h"

namespace {

constexpr uint32_t kDeviceIdleBits = DeviceMinimised | DeviceHidden;
// Frame intervals are kept in 100 ns units within the 24 bits that the sort orders by.
constexpr double kUnitsPerSecond = 10000000.0;
constexpr uint32_t kMaxFrameTimeUnits = 0xFFFFFF;
constexpr float kMaxFrameTimeStep = 0.4f;
constexpr int kSortedFirstKept = 2;
constexpr int kKeptSamples = 6;
// The change count a frame that asks for redraws is kept at most at.
constexpr int kRedrawRequestCountLimit = 3;
// Built-in toolbar slot and controls the tick looks at.
constexpr int kToolbarSlotZoomReset = 0;
constexpr int kControlViewfinderToggle = 5;
constexpr int kControlTimeline = 17;
constexpr int kControlTimelapsePlaying = 19;
// INVERTPLUGINCAMERAX= and INVERTPLUGINCAMERAY=: the linked view's pan and tilt count from the
// frame's own origin.
constexpr uint32_t kFrameInvertLinkedPan = 0x4000000;
constexpr uint32_t kFrameInvertLinkedTilt = 0x8000000;

}  // namespace

void CMainWnd::RestartFrameRate()
{
    m_lastDrawnTime = 0.0f;
    m_frameTimeCount = 0;
    m_frameTimeIndex = 0;
}

void CMainWnd::AddFrameTimeSample(float seconds)
{
    // A clock step backwards or a stall longer than the 24 bits hold is clamped, so the sort
    // keeps its order and one odd sample cannot reach the average.
    double units = std::min(std::max(static_cast<double>(seconds) * kUnitsPerSecond, 0.0),
                            static_cast<double>(kMaxFrameTimeUnits));
    m_frameTimes[m_frameTimeIndex] = static_cast<uint32_t>(units);
    m_frameTimeIndex = (m_frameTimeIndex + 1) % kFrameTimeSamples;
    if (++m_frameTimeCount < kFrameTimeSamples)
        return;

    SortByLow24Bits(m_frameTimes, m_frameTimes + kFrameTimeSamples - 1);
    uint64_t sum = 0;
    for (int i = 0; i < kKeptSamples; i++) {
        m_frameTimes[i] = m_frameTimes[kSortedFirstKept + i];
        sum += m_frameTimes[i];
    }
    m_frameTimeIndex = kKeptSamples;
    m_frameTimeCount = kKeptSamples;
    float average = static_cast<float>(static_cast<double>(sum) / kKeptSamples / kUnitsPerSecond);
    // Ticks closer together than the clock resolves leave the rate as it was.
    if (average <= 0.0f)
        return;
    m_fps = 1.0f / average;
    m_stepFps = std::max(m_fps, kMinStepFps);
    m_frameTimeStep = 0.5f * std::min(average, kMaxFrameTimeStep);
}

bool CMainWnd::FormatPanoramaStillName(const char* documentFile, int32_t recordedCount,
                                       int32_t index, CTexto* name)
{
    *name = "";
    const int length = documentFile ? static_cast<int>(std::strlen(documentFile)) : 0;
    // The folder is the name without its extension; a name no longer than that has none.
    if (length <= 4)
        return false;
    int digits = 1;
    for (int32_t rest = recordedCount; rest >= 10; rest /= 10)
        digits++;
    CTexto folder(documentFile);
    folder.Delete(length - 4, 4);
    name->Format("%s/Panorama_%.*d.jpg", folder.GetText(), digits, index);
    return true;
}

HRESULT CMainWnd::Tick(int present)
{
    m_tickCount++;
    m_tickTime = m_clock ? m_clock() : GetTimeSeconds();
    if (m_view.status & ~kDeviceIdleBits)
        return 0;

    HRESULT result = UpdateFrame();
    if (result != 0 && result != kSurfaceLost)
        return result;

    const bool drawn = m_changeCount != 0;
    if (drawn) {
        if (m_lastDrawnTime != 0.0f)
            AddFrameTimeSample(m_tickTime - m_lastDrawnTime);
        m_lastDrawnTime = m_tickTime;
    } else {
        m_lastDrawnTime = 0.0f;
    }

    if (drawn) {
        if (g_liveEngineCount > 1)
            m_view.SetRenderState(RenderStateVerticalSync, 0);
        if (m_cursorHidden)
            ShowCursor(FALSE);
        if (present) {
            PresentView(nullptr);
            if (m_view.backEnd != RenderSoftware)
                m_view.ReleaseAllTextures(0);
        }
        if (m_cursorHidden) {
            ShowCursor(TRUE);
            m_cursorHidden = 0;
        }
        bool loading = m_currentFrame && m_currentFrame->IsLoading();
        int count = m_changeCount;
        if (count > 1 || (count == 1 && !loading && !m_showInfo))
            m_changeCount--;

        if (loading || m_interfaceFrame.IsLoading()) {
            m_currentFrame->UpdateProgress();
            m_interfaceFrame.UpdateProgress();
            m_progressText.Format("%.0f", m_currentFrame->loadPercent.load());
            if (!m_currentFrame->IsLoading() && !m_interfaceFrame.IsLoading()) {
                m_changeCount++;
                LayoutToolbar(true, kToolbarBothEdges);
                SelectRenderBackEnd(g_preferredBackEnd, false);
                // The automatic tour goes on turning the view of the frame now loaded.
                if (m_autoTour && m_autoplayRunning)
                    m_currentFrame->cameras[0].pathState = CameraPathPlaying;
            }
        }
    }

    if (m_transitionState > 0)
        UpdateTransition();

    if (m_currentFrame && m_currentFrame->exportState == 2) {
        CTexto name;
        // Rendering and saving the still come with the recording frames; the name is formed here.
        FormatPanoramaStillName(m_documentFile.GetText(), m_currentFrame->recordedFrameCount,
                                m_currentFrame->recordedFrameIndex, &name);
        m_currentFrame->exportState = 0;
        if (m_progressDlg.m_hWnd)
            m_progressDlg.ShowWindow(SW_HIDE);
    }

    m_pointerMoved = 0;
    return result;
}

HRESULT CMainWnd::UpdateFrame()
{
    CameraState* active = m_view.params->camera;
    // A fade on a hardware device keeps the frame being left turning with the view.
    CameraState before;
    const bool leavingFollows = m_leavingFrame && m_transitionState > 2 &&
                                m_view.backEnd != RenderSoftware && active;
    if (leavingFollows)
        before = *active;

    m_linkedEngine = m_params.pluginCamera.GetLength() > 0
                         ? FindLiveViewer(m_params.pluginCamera.GetText())
                         : nullptr;
    if (m_linkedEngine == this)
        m_linkedEngine = nullptr;
    TakeTickInput(false);
    const int capture = GetCaptureState();
    m_inputPolled = 0;

    // Camera moves requested by commands.
    const bool drifting = std::any_of(std::begin(m_cameraDrift), std::end(m_cameraDrift),
                                      [](float drift) { return drift != 0.0f; });
    if (m_cameraTargets || drifting) {
        CFrame* target = m_cameraTargetFrame ? m_cameraTargetFrame : m_currentFrame;
        if (IsKnownFrame(target)) {
            int32_t mask = m_cameraTargets;
            const bool moving =
                MoveCameraTowards(target, m_cameraTargetValues, &mask, m_cameraTargetStep);
            m_cameraTargets = mask;
            if (!moving) {
                StopCameraMotion();
                m_cameraTargetFrame = nullptr;
            } else {
                if (m_buttonPressed[kToolbarSlotZoomReset])
                    m_toolbarDirty = 1;
                if (m_cameraTargetStep > 1)
                    m_cameraTargetStep--;
                if (target->kind == FrameKindScene && (mask & (CameraBitX | CameraBitZ)))
                    ClampAltitude(0);
                if (target->kind == FrameKindAerial || target->kind == FrameKindScene) {
                    FollowGround(0);
                    UpdateFogRange();
                }
            }
            TakeActiveCameraValues();
            m_changeCount++;
        } else {
            m_cameraTargets = 0;
        }
    } else {
        if (m_pressMoved || capture == 2)
            ApplyMouseNavigation(&m_cameraDelta);
        const bool hostVisible = m_hostWnd && IsWindowVisible(m_hostWnd);
        if (hostVisible && (m_params.interfaceMode == InterfaceNone || m_view.fullscreen ||
                            capture == 1 || GetFocus() != nullptr)) {
            TakeTickInput(true);
            if (m_keyboardEnabled)
                ApplyKeyboardNavigation(&m_cameraDelta);
            ProcessKeyObjects(0, 0);
            Poll3DMouse(&m_cameraDelta);
            m_inputPolled = 1;
        } else if (m_viewfinderShown) {
            ShowViewfinder(0);
        }
    }

    ProcessPointer(1);
    OnToolbarButton(1);
    OnToolbarSliderDrag(1);
    // Commands run next and may move the focus or the capture.
    DropTickInput();

    // At most one deferred command run per tick.
    if (GetPendingCodeCount() > 0)
        RunPendingCode();

    // Camera motion: a camera path, else autoplay.
    CameraState* viewCamera = m_currentFrame ? &m_currentFrame->cameras[0] : nullptr;
    if (viewCamera && viewCamera->sequence) {
        PlayCameraSequence(m_currentFrame, viewCamera);
    } else if (m_autoplayRunning && !m_cameraTargets) {
        AutoplayStep(&m_cameraDelta);
        m_toolbarDirty = 1;
    }

    // Mouse wheel: one step of the zoom impulse per tick until its amount is spent.
    if (m_wheelDelta[1] != 0.0f) {
        m_cameraDelta.zoom += m_wheelDelta[0];
        const float left = m_wheelDelta[1] - m_wheelDelta[0];
        if (left == 0.0f || (left > 0.0f) != (m_wheelDelta[1] > 0.0f))
            m_wheelDelta[0] = m_wheelDelta[1] = 0.0f;
        else
            m_wheelDelta[1] = left;
    }

    StepTimelapsePlayback();

    if (m_transitionState == 0 || (m_leavingFrame && m_currentFrame &&
                                   m_leavingFrame->kind == m_currentFrame->kind))
        SmoothCameraMotion(&m_cameraDelta);
    for (int i = 0; i < 8; i++)
        if (CameraWordValue(m_cameraDelta, i) != CameraWordValue(m_lastCameraDelta, i))
            m_viewMoved = 1;
    FollowLinkedViewer();
    m_lastCameraDelta = m_cameraDelta;
    m_cameraDelta = CameraState();

    if (leavingFollows && m_leavingFrame && m_currentFrame &&
        m_leavingFrame->kind == m_currentFrame->kind && active == m_view.params->camera) {
        CameraState& left = m_leavingFrame->cameras[0];
        left.x += active->x - before.x;
        left.y += active->y - before.y;
        left.z += active->z - before.z;
        left.tilt += active->tilt - before.tilt;
        left.pan += active->pan - before.pan;
        left.roll += active->roll - before.roll;
        left.zoom += active->zoom - before.zoom;
    }

    // The cursor follows what the pointer is over, unless a toolbar part is under it.
    if (m_hoverCode != m_lastHoverCode && capture != 2 && m_hoverButton == -1 &&
        m_hoverControl == -1)
        UpdateCursor();

    if (m_changeCount == 0 && m_currentFrame && m_currentFrame->IsLoading()) {
        m_changeCount = std::min(m_changeCount + 1, kRedrawRequestCountLimit);
        m_toolbarDirty = 1;
    }

    RenderViewerWindows();

    const bool somethingToDraw = m_changeCount != 0;
    HRESULT result = 0;
    bool begun = false;
    if (m_changeCount != 0 || m_redrawRequest == 1) {
        result = m_view.BeginScene(m_hostWnd);
        if (result != 0)
            return result;
        begun = true;
        const bool imageGrid = m_currentFrame && m_currentFrame->kind == FrameKindImageGrid;
        const bool scene = m_currentFrame && m_currentFrame->kind == FrameKindScene;
        if (m_changeCount != 0) {
            ApplyTextureFiltering(m_params.filter);
            if (imageGrid)
                m_toolbarDirty = 1;
            m_redrawRequest = 1;
        } else {
            // The view came to rest: one more pass at the quality filter, unless a built-in
            // control other than the timeline is being dragged.
            const bool controlDragged =
                m_capturedControl != -1 && m_capturedControl != kControlTimeline;
            const bool filterWanted =
                (m_params.postFilter != 0 && m_params.postFilter > m_params.filter) ||
                !(m_view.params->stateBits & StateBilinear);
            if (!controlDragged && filterWanted && !imageGrid && !scene)
                ApplyTextureFiltering(m_params.postFilter);
            if (m_measureMode == -1)
                m_toolbarDirty = 1;
            m_changeCount = 1;
            m_redrawRequest = 2;
        }
        if (scene && m_gridMode) {
            result = DrawEyePasses();
        } else {
            m_view.UpdateViewMatrix();
            if (m_changeCount != 0)
                result = RenderFrame(&m_view, m_currentFrame, 1);
            // The count is non-zero here, so the interface pass below renders the viewfinder.
        }
    }

    if (m_changeCount != 0 || (m_pointerMoved && m_controlToggles[kControlViewfinderToggle])) {
        m_activeView = &m_view;
        if (m_changeCount != 0)
            DrawInterface(m_currentFrame);
        DrawInterface(&m_interfaceFrame);
        DrawOverlay();
        if (m_dragMode == DragNone)
            m_toolbarDirty = 1;
        if (m_viewfinderShown)
            RenderViewfinder();
    }

    const bool loading = m_currentFrame && m_currentFrame->IsLoading();
    if ((m_toolbarDirty || !somethingToDraw || loading) && m_toolbarVisible &&
        m_dragMode == DragNone)
        DrawToolbarButtons();

    if (m_changeCount != 0 && begun)
        m_view.EndScene();
    return result;
}

void CMainWnd::TakeActiveCameraValues()
{
    if (CameraState* camera = m_view.params->camera) {
        m_params.rotationX = RoundToFraction(camera->tilt, 1000.0f);
        m_params.rotationY = RoundToFraction(camera->pan, 1000.0f);
        m_rotationZ = RoundToFraction(camera->roll, 1000.0f);
        m_params.zoom = RoundToFraction(camera->zoom, 1000.0f);
    }
}

void CMainWnd::StepTimelapsePlayback()
{
    if (!m_controlToggles[kControlTimelapsePlaying])
        return;
    // Each image of the sequence stays four seconds.
    if (m_tickTime - m_timelapseStepTime > 4.0f * static_cast<float>(m_timelineCount)) {
        m_timelapseStepTime = m_tickTime;
        SetTimelapsePosition(m_currentFrame);
    }
    if (m_changeCount < 1)
        m_changeCount = 1;
}

void CMainWnd::FollowLinkedViewer()
{
    CMainWnd* other = m_linkedEngine;
    if (!other || !other->m_viewMoved || !other->m_currentFrame || !m_currentFrame)
        return;
    CameraState* source = other->m_view.params->camera;
    CameraState* camera = m_view.params->camera;
    if (!source || !camera)
        return;
    CFrame* mine = m_currentFrame;
    CFrame* theirs = other->m_currentFrame;
    *camera = *source;
    // A frame whose picture starts elsewhere keeps the same direction relative to its origin.
    if ((mine->flags ^ theirs->flags) & kFrameInvertLinkedPan)
        camera->pan = theirs->initialView[ViewPan] - source->pan + mine->initialView[ViewPan];
    if ((mine->flags ^ theirs->flags) & kFrameInvertLinkedTilt)
        camera->tilt = theirs->initialView[ViewTilt] - source->tilt + mine->initialView[ViewTilt];
    TakeActiveCameraValues();
    m_tiltChanged = m_panChanged = m_zoomChanged = 0;
    std::copy(std::begin(theirs->lowerLimits), std::end(theirs->lowerLimits),
              std::begin(mine->lowerLimits));
    std::copy(std::begin(theirs->upperLimits), std::end(theirs->upperLimits),
              std::begin(mine->upperLimits));
    if (mine->kind == FrameKindImageGrid && mine->gridColumns > 0 && theirs->gridColumns > 0) {
        mine->gridColumn = theirs->gridColumn;
        mine->gridRow = theirs->gridRow;
        mine->ShowGridImage(m_gridMode);
    }
    m_view.UpdateProjection();
    other->m_viewMoved = 0;
    if (m_changeCount == 0)
        m_redrawRequest = 1;
}

uint32_t EyeMaskInDeviceFormat(uint32_t mask, int32_t bitsPerPixel)
{
    if (bitsPerPixel >= 24)
        return mask;
    return bitsPerPixel == 15 ? Reduce555(mask) : Reduce565(mask);
}

HRESULT CMainWnd::DrawEyePasses()
{
    CameraState* saved = m_view.params->camera;
    if (!saved)
        return 0;
    CameraState eye = *saved;
    m_view.params->camera = &eye;
    m_view.UpdateViewMatrix();

    // The eyes sit on the horizontal part of the view's right axis.
    const float* view = m_view.matrices.view;
    float axisX = view[0], axisZ = view[8];
    const float length = std::sqrt(axisX * axisX + axisZ * axisZ);
    if (length > 0.0f) {
        axisX /= length;
        axisZ /= length;
    }
    const bool outward = m_anaglyphDirection != 0;
    const float distance = outward ? m_anaglyphSeparation : 1.0f;
    const float convergence = m_anaglyphSeparation / (outward ? 20.0f : 12.0f);

    // Medium tones halve green in both passes.
    if (m_anaglyphTones == kAnaglyphMediumTones)
        m_view.params->stateBits |= StateHalveGreen;

    HRESULT result = 0;
    eye.pan = saved->pan + convergence;
    eye.x = saved->x + axisX * distance * 0.5f;
    eye.z = saved->z + axisZ * distance * 0.5f;
    m_view.UpdateViewMatrix();
    if (m_changeCount != 0)
        result = RenderFrame(&m_view, m_currentFrame, 1);

    if (result == 0) {
        m_view.ClearDepthBuffer();
        // The first eye's colours stay; the second eye writes the other ones.
        uint32_t keep = m_anaglyphColours ? 0xFF0000u : 0x00FFFFu;
        uint32_t write = m_anaglyphColours ? 0x00FFFFu : 0xFF0000u;
        if (m_anaglyphTones == kAnaglyphDualTones) {
            keep &= 0xFF00FFu;
            write &= 0xFF00FFu;
        }
        m_view.destinationKeepMask = EyeMaskInDeviceFormat(keep, m_view.params->bitsPerPixel);
        m_view.colourWriteMask = write;

        eye.pan -= 2.0f * convergence;
        eye.x -= axisX * distance;
        eye.z -= axisZ * distance;
        m_view.UpdateViewMatrix();
        if (m_changeCount != 0)
            result = RenderFrame(&m_view, m_currentFrame, 0);
    }

    m_view.params->camera = saved;
    m_view.UpdateViewMatrix();
    m_view.destinationKeepMask = 0;
    m_view.colourWriteMask = 0xFFFFFF;
    m_view.params->stateBits &= ~static_cast<uint32_t>(StateHalveGreen);
    return result;
}
