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
#include "viewer/camera_internal.h"

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
constexpr int kToolbarBothBars = 3;

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
                LayoutToolbar(true, kToolbarBothBars);
                SelectRenderBackEnd(g_preferredBackEnd, false);
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
    }

    m_pointerMoved = 0;
    return result;
}

HRESULT CMainWnd::UpdateFrame()
{
    int capture = GetCaptureState();
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
                if (m_cameraTargetStep > 1)
                    m_cameraTargetStep--;
                if (target->kind == FrameKindScene && (mask & (CameraBitX | CameraBitZ)))
                    ClampAltitude(0);
                if (target->kind == FrameKindAerial || target->kind == FrameKindScene) {
                    FollowGround(0);
                    UpdateFogRange();
                }
            }
            if (CameraState* camera = m_view.params->camera) {
                m_params.rotationX = RoundToFraction(camera->tilt, 1000.0f);
                m_params.rotationY = RoundToFraction(camera->pan, 1000.0f);
                m_rotationZ = RoundToFraction(camera->roll, 1000.0f);
                m_params.zoom = RoundToFraction(camera->zoom, 1000.0f);
            }
            m_changeCount++;
        } else {
            m_cameraTargets = 0;
        }
    } else {
        if (m_pressMoved || capture == 2)
            ApplyMouseNavigation(&m_cameraDelta);
        bool hostVisible = m_hostWnd && IsWindowVisible(m_hostWnd);
        if (hostVisible && (m_params.interfaceMode == InterfaceNone || capture == 1 ||
                            GetFocus() != nullptr)) {
            if (m_keyboardEnabled)
                ApplyKeyboardNavigation(&m_cameraDelta);
            ProcessKeyObjects(0, 0);
            Poll3DMouse(&m_cameraDelta);
            m_inputPolled = 1;
        }
    }

    ProcessPointer(1);
    OnToolbarButton(1);
    OnToolbarSliderDrag(1);

    // At most one deferred command run per tick.
    if (GetPendingCodeCount() > 0)
        RunPendingCode();

    // Camera motion: a camera path, else autoplay.
    CameraState* viewCamera = m_currentFrame ? &m_currentFrame->cameras[0] : nullptr;
    if (viewCamera && viewCamera->sequence) {
        PlayCameraSequence(m_currentFrame, viewCamera);
    } else if (m_autoplayRunning && !m_cameraTargets) {
        AutoplayStep(&m_cameraDelta);
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

    if (m_transitionState == 0 || (m_leavingFrame && m_currentFrame &&
                                   m_leavingFrame->kind == m_currentFrame->kind))
        SmoothCameraMotion(&m_cameraDelta);
    for (int i = 0; i < 8; i++)
        if (CameraWordValue(m_cameraDelta, i) != CameraWordValue(m_lastCameraDelta, i))
            m_viewMoved = 1;
    m_lastCameraDelta = m_cameraDelta;
    m_cameraDelta = CameraState();
    UpdateCursor();

    if (m_changeCount == 0 && m_currentFrame && m_currentFrame->IsLoading())
        m_changeCount = std::min(m_changeCount + 1, kRedrawRequestCountLimit);

    RenderViewerWindows();

    HRESULT result = 0;
    bool begun = false;
    if (m_changeCount != 0 || m_redrawRequest == 1) {
        result = m_view.BeginScene(m_hostWnd);
        if (result != 0)
            return result;
        begun = true;
        if (m_changeCount != 0) {
            ApplyTextureFiltering(m_params.filter);
            m_redrawRequest = 1;
        } else {
            // The view came to rest: one more pass at the quality filter.
            if (m_params.postFilter > m_params.filter &&
                !(m_currentFrame && (m_currentFrame->kind == FrameKindImageGrid ||
                                     m_currentFrame->kind == FrameKindScene)))
                ApplyTextureFiltering(m_params.postFilter);
            m_changeCount = 1;
            m_redrawRequest = 2;
        }
        m_view.UpdateViewMatrix();
        result = RenderFrame(&m_view, m_currentFrame, 1);
    }

    if (m_changeCount != 0) {
        DrawInterface(m_currentFrame);
        DrawInterface(&m_interfaceFrame);
        DrawOverlay();
        if (m_params.toolsBar && m_dragMode == 0)
            DrawToolbarButtons();
        if (begun)
            m_view.EndScene();
    }
    return result;
}
