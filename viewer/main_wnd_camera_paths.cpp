// The camera moving by itself: camera paths played from CameraSequence items, the fade between
// frames, the autoplay timer and the automatic tour.
#include <algorithm>
#include <cmath>
#include <vector>
#include <cstring>

#include "core/clock.h"
#include "core/item_records.h"
#include "core/item_types.h"
#include "core/matrix_math.h"
#include "core/object_item.h"
#include "render/mesh.h"
#include "viewer/camera_internal.h"
#include "viewer/main_wnd.h"

namespace {

constexpr float kShortestSegment = 0.001f;
constexpr float kFirstAutoplayMargin = 0.001f;
// m_autoplayPending: idle, first autoplay armed, first autoplay over, first autoplay running.
enum AutoplayState : int32_t {
    AutoplayIdle = 0,
    AutoplayFirstArmed = 1,
    AutoplayFirstDone = 2,
    AutoplayFirstRunning = 3,
};
// m_transitionState.
enum TransitionStep : int32_t {
    TransitionWaitingForMeshes = 1,
    TransitionWaitingForLoad = 2,
    TransitionFading = 3,
};
constexpr int32_t kFadeOpaque = 255;
constexpr uint32_t kFullModulation = 0xFFFFFF;
constexpr uint32_t kGreyStep = 0x010101;
// A transition this short (seconds) switches without fading.
constexpr float kShortestTransition = 0.02f;

// The automatic tour's order (the fourth value of "AUTOMODE=").
enum TourMode : int32_t {
    TourObjects = 0,
    TourInOrder = 1,
    TourAtRandom = 2,
};

// Autoplay speed of an image grid whose speed is 0.
constexpr float kDefaultGridAutoplaySpeed = 10.0f;

// m_viewerOptions bits.
constexpr int32_t kOptionAutoplayDisabled = 0x1;
constexpr int32_t kOptionNoLevelling = 0x2;

// A frame name that may stand between double quotes in a command text.
bool IsQuotableName(const char* name)
{
    if (!name || !*name)
        return false;
    for (const char* c = name; *c; c++)
        if (*c == '"' || *c == '\n' || *c == '\r')
            return false;
    return true;
}

float Clamp01(float value)
{
    return value > 0.0f ? (value < 1.0f ? value : 1.0f) : 0.0f;
}

}  // namespace

void CMainWnd::StartCameraSequence(int32_t viewer, const char* name)
{
    if (viewer < 0 || viewer >= kFrameViewerCount || !m_currentFrame || !name)
        return;
    ItemRecord* item = FindImageItem(name, nullptr);
    if (!item || item->type != ItemType::CameraSequence)
        return;
    CameraSequence* sequence = static_cast<CameraSequence*>(item);
    if (sequence->keyCount <= 0)
        StartSequenceThread(sequence->fileName.GetText(), viewer);
    CameraState& camera = m_currentFrame->cameras[viewer];
    camera.pathState = camera.startFromFirstKey ? CameraPathStartFirst : CameraPathStartNearest;
    camera.loopsLeft = camera.loopCount;
    camera.sequence = sequence;
}

void CMainWnd::PlayCameraSequence(CFrame* frame, CameraState* camera)
{
    if (!frame || !camera || !camera->sequence)
        return;
    CameraSequence& path = *camera->sequence;
    // Keys 1..last come from the file; key 0 is where the camera started.
    const int32_t last = std::min(path.keyCount, kMaxCameraKeys - 1);
    if (last <= 0)
        return;
    CameraKey* keys = path.keys;
    const float now = m_tickTime;

    if (camera->pathState == CameraPathPlaying && now - camera->pathStartTime > keys[last].time) {
        camera->pathState = CameraPathStartFirst;
        if (camera->loopCount > 0 && --camera->loopsLeft <= 0) {
            camera->sequence = nullptr;
            return;
        }
    }
    if (camera->pathState != CameraPathPlaying) {
        camera->pathStartTime = now;
        CameraKey& start = keys[0];
        start = CameraKey();
        start.x = camera->x;
        start.y = camera->y;
        start.z = camera->z;
        start.zoom = camera->zoom;
        start.tilt = camera->tilt;
        start.pan = camera->pan;
        start.roll = camera->roll;
        for (float& velocity : camera->pathVelocity)
            velocity = 0.0f;
        camera->pathKey = 1;
        if (camera->pathState == CameraPathStartNearest && last > 1) {
            // Join the path at the key nearest to the present view.
            int32_t nearest = 1;
            float best = 0.0f;
            for (int32_t k = 1; k <= last; k++) {
                const float tilt = WrapAngle180(keys[k].tilt - camera->tilt);
                const float pan = WrapAngle180(keys[k].pan - camera->pan);
                const float zoom = keys[k].zoom - camera->zoom;
                const float distance = tilt * tilt + pan * pan + zoom * zoom;
                if (k == 1 || distance < best) {
                    best = distance;
                    nearest = k;
                }
            }
            if (nearest > 1) {
                camera->pathStartTime -= keys[nearest].time;
                start.time = keys[nearest].time;
                start.teleX = keys[nearest].teleX;
                start.teleY = keys[nearest].teleY;
                start.teleZoom = keys[nearest].teleZoom;
                start.flags = keys[nearest].flags;
                camera->pathKey = std::min(nearest + 1, last);
            }
        }
        camera->pathState = CameraPathPlaying;
    }

    // The segment the time lies in; past the last key (times from a file need not increase)
    // the camera heads for the last key.
    const float t = now - camera->pathStartTime;
    int32_t to = std::min(std::max(camera->pathKey, 1), last);
    int32_t from = 0;
    if (t >= keys[to].time) {
        to = last;
        for (int32_t k = 1; k <= last; k++) {
            if (keys[k].time >= t) {
                to = k;
                break;
            }
        }
        from = to - 1;
    }
    const float duration = keys[to].time - keys[from].time;
    const float f = Clamp01((t - keys[from].time) / (duration != 0.0f ? duration : kShortestSegment));

    const float* limits = frame->effectiveLimits;
    float* velocity = camera->pathVelocity;
    const float oldZoom = camera->zoom;
    StepAngleTowards(&camera->tilt, keys[from].tilt, keys[to].tilt, f, &velocity[5],
                     limits[LimitTiltMin], limits[LimitTiltMax]);
    StepAngleTowards(&camera->pan, keys[from].pan, keys[to].pan, f, &velocity[6],
                     limits[LimitPanMin], limits[LimitPanMax]);
    StepAngleTowards(&camera->roll, keys[from].roll, keys[to].roll, f, &velocity[7],
                     frame->lowerLimits[ViewRoll], frame->upperLimits[ViewRoll]);
    StepValueTowards(&camera->zoom, keys[from].zoom, keys[to].zoom, f, &velocity[4],
                     limits[LimitZoomMin], limits[LimitZoomMax]);
    if (frame->kind == FrameKindScene) {
        StepValueTowards(&camera->x, keys[from].x, keys[to].x, f, &velocity[1], m_positionLimits[0],
                         m_positionLimits[1]);
        StepValueTowards(&camera->y, keys[from].y, keys[to].y, f, &velocity[2], 0.0f, 0.0f);
        StepValueTowards(&camera->z, keys[from].z, keys[to].z, f, &velocity[3], m_positionLimits[2],
                         m_positionLimits[3]);
    }

    if (camera == m_view.params->camera) {
        if (camera->zoom != oldZoom) {
            m_view.UpdateProjection();
            UpdateNavigationLimits(frame);
        }
        m_rotationX = WrapAngle180(camera->tilt);
        m_rotationY = WrapAngle180(camera->pan);
        m_rotationZ = camera->roll;
        m_zoom = camera->zoom;
        m_viewMoved = 1;
        m_changeCount = std::min(m_changeCount + 1, kNavigationChangeLimit);
    }
}

void CMainWnd::UpdateTransition()
{
    CFrame* entering = m_enteringFrame;
    if (!entering) {
        m_transitionState = 0;
        return;
    }
    CFrame* left = m_leavingFrame && IsKnownFrame(m_leavingFrame) ? m_leavingFrame : nullptr;
    const bool leftSets = left && (left->overrides & OverrideTransitionKind);
    const int32_t kind = leftSets ? left->transitionKind : m_transitionKind;
    const float duration = leftSets ? left->transitionDuration : m_transitionDuration;
    const float minimumLoad = leftSets ? left->transitionLoadPercent : m_transitionLoadPercent;
    const bool hardware = m_view.backEnd != RenderSoftware;
    const float now = m_tickTime;
    const int32_t enteringMeshes = std::min<int32_t>(entering->meshCount, kFrameSlotCapacity);

    switch (m_transitionState.load()) {
    case TransitionWaitingForMeshes: {
        if (enteringMeshes <= 0)
            return;
        if (!m_lateSwitch && m_currentFrame != entering)
            SetCurrentFrame(entering);
        const int32_t leftMeshes = left ? std::min<int32_t>(left->meshCount, kFrameSlotCapacity) : -1;
        if (leftMeshes != enteringMeshes && !hardware) {
            CompleteFrameSwitch();
            return;
        }
        m_transitionAlpha = kFadeOpaque;
        if (hardware) {
            if (entering->meshes[0])
                entering->meshes[0]->modulationColor = kFullModulation;
        } else {
            // The software back end blends each mesh over the left frame's texture.
            for (int32_t i = 0; i < enteringMeshes; i++) {
                CObjeto3D* mesh = entering->meshes[i];
                if (!mesh)
                    continue;
                mesh->texture2 = left->meshes[i] ? left->meshes[i]->texture1 : nullptr;
                mesh->modulationColor = kFullModulation;
            }
        }
        m_transitionState = TransitionWaitingForLoad;
        m_transitionStart = now;
        break;
    }
    case TransitionWaitingForLoad: {
        entering->UpdateProgress();
        if (entering->loadPercent < minimumLoad || now - m_transitionStart < m_transitionMinTime)
            return;
        m_fadeStart = now;
        m_transitionState = TransitionFading;
        if (m_lateSwitch && m_currentFrame != entering)
            SetCurrentFrame(entering);
        if (kind == 0) {
            if (left && left->sourceKind == entering->sourceKind) {
                for (int i = 0; i < 8; i++)
                    *CameraWord(&entering->cameras[0], i) = CameraWordValue(left->cameras[0], i);
            }
        } else if (kind == 3 || ((kind == 1 || kind == 2) && !hardware)) {
            // The view moves to the entered frame's initial view while the frames cross-fade.
            m_cameraTargetValues[3] = entering->initialView[ViewTilt];
            m_cameraTargetValues[4] = entering->initialView[ViewPan];
            m_cameraTargetValues[5] = entering->initialView[ViewRoll];
            m_cameraTargetValues[6] = entering->initialView[ViewZoom];
            m_cameraTargetFrame = hardware && left ? left : entering;
            m_cameraTargetStep = kind == 2 && !hardware ? 1 : 10;
            int32_t mask = CameraBitTilt | CameraBitPan | CameraBitRoll | CameraBitZoom;
            if (m_transitionCameraTargets != -1 && m_transitionCameraTargets != 0) {
                mask = m_transitionCameraTargets;
                m_transitionCameraTargets = 0;
            }
            m_cameraTargets = mask;
        }
        if (duration <= kShortestTransition)
            CompleteFrameSwitch();
        break;
    }
    case TransitionFading: {
        const float fade = duration > 0.0f ? (1.0f - (now - m_fadeStart) / duration) : 0.0f;
        const float g = fade * kFadeOpaque;
        const uint32_t level = g > 0.0f ? static_cast<uint32_t>(g) : 0u;
        for (int32_t i = 0; i < enteringMeshes; i++)
            if (CObjeto3D* mesh = entering->meshes[i])
                mesh->modulationColor = level * kGreyStep;
        m_transitionAlpha = static_cast<int32_t>(level);
        m_changeCount = std::max(m_changeCount.load(), 1);
        if (g <= 0.0f)
            CompleteFrameSwitch();
        break;
    }
    default:
        break;
    }
}

void CMainWnd::ScheduleAutoplay(int32_t restart)
{
    CFrame* frame = m_currentFrame;
    m_autoplayRunning = m_autoplayToggle;
    if (!m_autoplayToggle && frame && m_autoplaySequence &&
        frame->cameras[0].sequence == m_autoplaySequence)
        frame->cameras[0].sequence = nullptr;

    const bool frameFirst = frame && (frame->overrides & OverrideFirstAutoplay);
    const float* first = frameFirst ? frame->firstAutoplay : m_firstAutoplay;
    const bool firstDefined = frameFirst || m_firstAutoplay[0] > 0.0f || m_firstAutoplay[1] > 0.0f;
    float delay;
    if (m_autoplayPending < AutoplayFirstDone && firstDefined) {
        if (!restart) {
            m_autoplayPending = AutoplayFirstDone;
            KillViewerTimer(ViewerTimerAutoplayStart);
            return;
        }
        delay = frame && frame->loadPercent >= first[1] ? first[0] + kFirstAutoplayMargin : 0.0f;
    } else if (m_screensaver) {
        delay = m_screensaverDelay;
        KillViewerTimer(ViewerTimerTourStep);
    } else if (m_autoTour && !(frame && (frame->overrides & OverrideAutoplay))) {
        delay = g_autoplayDelay;  // the automatic tour's idle time
    } else {
        delay = frame && (frame->overrides & OverrideAutoplay) ? frame->autoplay : m_params.autoplay;
    }

    if (!restart || !(delay > 0.0f) || (m_autoplayToggle && !m_screensaver)) {
        KillViewerTimer(ViewerTimerAutoplayStart);
        if (m_autoplayPending == AutoplayFirstArmed)
            m_autoplayPending = AutoplayIdle;
        else if (m_autoplayPending == AutoplayFirstRunning)
            m_autoplayPending = AutoplayFirstDone;
        return;
    }
    SetViewerTimer(ViewerTimerAutoplayStart, static_cast<UINT>(delay * 1000.0f));
    if (m_autoplayPending == AutoplayIdle && firstDefined)
        m_autoplayPending = AutoplayFirstArmed;
}

void CMainWnd::StartAutoplay(int32_t running)
{
    m_autoplayRunning = running;
    if (running && m_currentFrame && m_currentFrame->cameras[0].sequence)
        m_currentFrame->cameras[0].pathState = CameraPathStartNearest;
}

void CMainWnd::AutoplayStep(CameraState* input)
{
    CFrame* frame = m_currentFrame;
    if (!frame || !input)
        return;
    if (!m_inputPolled ||
        ((m_viewerOptions & kOptionAutoplayDisabled) && m_autoplayPending != AutoplayFirstRunning)) {
        ScheduleAutoplay(1);
        return;
    }
    if (m_dragMode != DragNone)
        return;
    const float speed = (frame->overrides & OverrideAutoplaySpeed) ? frame->autoplaySpeed
                                                                   : m_params.autoplaySpeed;
    if (frame->kind == FrameKindImageGrid) {
        // An image grid turns one column at a time.
        const int32_t columns = frame->gridColumns;
        if (columns <= 0)
            return;
        const float gridSpeed = speed != 0.0f ? speed : kDefaultGridAutoplaySpeed;
        const float interval = 360.0f / columns / std::fabs(gridSpeed);
        if (m_tickTime - m_autoplayGridTime < interval)
            return;
        m_autoplayGridTime = m_tickTime;
        const int32_t step = gridSpeed > 0.0f ? 1 : -1;
        frame->gridColumn = ((frame->gridColumn + step) % columns + columns) % columns;
        m_params.rotationY = static_cast<float>(frame->gridColumn);
        frame->ShowGridImage(m_gridMode);
        m_viewMoved = 1;
        m_changeCount++;
        return;
    }
    if (!IsPanoramaKind(frame->kind) && frame->kind != FrameKindScene)
        return;
    const float fps = m_stepFps > 0.0f ? m_stepFps : kDefaultFps;
    float pan = m_autoplayDirection * speed / fps;
    if (m_projection == ProjectionInvertedMode)
        pan = -pan;
    input->pan += pan;
    const CameraState* camera = m_view.params->camera;
    if (camera && !(m_viewerOptions & kOptionNoLevelling))
        input->tilt += -WrapAngle180(camera->tilt) / fps;
}

int32_t CMainWnd::NextTourFrame()
{
    const int32_t count = m_frames.GetCount();
    if ((g_autoTourOrder != TourInOrder && g_autoTourOrder != TourAtRandom) || count <= 1)
        return -1;
    const int32_t current = m_currentFrameIndex;
    const bool listed = current >= 0 && current < count;
    if (g_autoTourOrder == TourInOrder)
        return listed ? (current + 1) % count : 0;
    int32_t next = RandomBelow(listed ? count - 1 : count);
    if (listed && next >= current)
        next++;
    return next;
}

MenuRecord* CMainWnd::TourMenuOf(ObjectItem* object)
{
    if (object->type != ItemType::MenuObject)
        return nullptr;
    ItemRecord* item = GetImageItem(object->level, object->number);
    if (!item || item->type != ItemType::Menu)
        return nullptr;
    MenuRecord* menu = static_cast<MenuRecord*>(item);
    return menu->entries.GetCount() > 0 ? menu : nullptr;
}

bool CMainWnd::TourObjectStep()
{
    CFrame* frame = m_currentFrame;
    if (!frame)
        return false;
    // The shown objects that do something when clicked: menus with entries, objects with code.
    std::vector<ObjectItem*> candidates;
    const int32_t count = frame->objects.GetCount();
    for (int32_t i = 0; i < count; i++) {
        ItemRecord* record = frame->objects.GetItem(i);
        if (!record || !IsObjectItemType(record->type))
            continue;
        ObjectItem* object = static_cast<ObjectItem*>(record);
        if ((object->showFlags & ObjectShown) != ObjectShown || (object->showFlags & ObjectBuiltIn) ||
            !object->active)
            continue;
        if (TourMenuOf(object) || object->events[EventClick].length > 0)
            candidates.push_back(object);
    }
    if (candidates.empty())
        return false;
    ObjectItem* chosen = candidates[static_cast<size_t>(RandomBelow(static_cast<int>(candidates.size())))];
    if (MenuRecord* menu = TourMenuOf(chosen)) {
        ItemRecord* entry = menu->entries.GetItem(RandomBelow(menu->entries.GetCount()));
        if (entry && entry->type == ItemType::CompiledCode)
            RunCompiledCode(static_cast<CompiledCode*>(entry), 0, 1.0f, false);
        return true;
    }
    RunCompiledCode(&chosen->events[EventClick], 0, 1.0f, false);
    if (frame->tourDelay > 0.0f)
        SetViewerTimer(ViewerTimerTourStep, static_cast<UINT>(frame->tourDelay * 1000.0f));
    return true;
}

void CMainWnd::AutoTourStep()
{
    if (g_autoTourOrder == TourObjects) {
        TourObjectStep();
        return;
    }
    const int32_t next = NextTourFrame();
    CFrame* frame = next >= 0 ? GetFrame(next) : nullptr;
    if (!frame)
        return;
    const char* name = frame->name.GetText();
    if (!IsQuotableName(name)) {
        // No script text can name it: switch by index.
        GoToFrame(next);
        return;
    }
    CTexto command;
    command.Format("GoToFrame(\"%s\");", name);
    RunCommandText(command.GetText(), false);
}
