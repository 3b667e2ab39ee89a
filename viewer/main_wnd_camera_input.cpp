// Navigation input of the engine: each tick the mouse, the keyboard and the 3D mouse add their
// increments to the input record, which the camera motion then smooths; the wheel feeds a zoom
// impulse that the ticks spend. The keyboard also watches the chords that open tools.
#include <algorithm>
#include <cmath>
#include <vector>

#include "cameras/camera_link.h"
#include "core/matrix_math.h"
#include "viewer/camera_internal.h"
#include "viewer/main_wnd.h"
#include "viewer/mouse_3d.h"

namespace {

constexpr SHORT kKeyDownBit = static_cast<SHORT>(0x8000);
// Pointer offsets within this many pixels of the press point do not move the view.
constexpr int kPressDeadZone = 3;
constexpr float kDragScale = 0.125f;
constexpr float kPanoramaMouseFactor = 0.1f;
constexpr float kAerialMouseFactor = 6.0f;
constexpr float kZoomMouseDivisor = 1000.0f;
constexpr float kKeyMoveFactor = 100.0f;
constexpr float kKeyTurnFactor = 10.0f;
constexpr float kKeyZoomFactor = 0.125f;
constexpr float kWheelStepFactor = 0.008f * 0.125f;
constexpr float kWheelAmountFactor = 0.1f;
// The viewfinder's wheel step is ten times the view's (0.08 for 0.008), within its zoom range.
constexpr float kViewfinderWheelFactor = 10.0f;
constexpr float kViewfinderZoomMin = 0.28f;
constexpr float kViewfinderZoomMax = 10.0f;
// Cursor codes of the navigation: dragging, and offset navigation around the centre.
constexpr int32_t kCursorDrag = 10;
constexpr int32_t kCursorOffset = 15;
// WM_COMMAND id that makes the host window build a player package.
constexpr WPARAM kCommandCreatePackage = 32905;
// 3D mouse: raw readings per unit, the keys polled after the programmable ones.
constexpr double k3DMouseScale = 512.0;
constexpr int k3DMouseHomeKey = 31;
constexpr int k3DMouseExtraKeys[] = {30, 31};
constexpr int k3DMouseHighestKey = 31;

// Keys of the chords, one bit each.
enum ChordKey : int32_t {
    ChordP = 0x1,
    ChordK = 0x2,
    ChordS = 0x4,
    ChordC = 0x8,
    ChordX = 0x10,
    ChordD = 0x20,
    ChordT = 0x40,
    ChordU = 0x80,
    // Not chords: keys acted on once when they go down.
    ChordHeldMultiply = 0x10000,
    ChordHeldRightShift = 0x20000,
};
struct ChordKeyRow {
    int key;
    int32_t bit;
};
const ChordKeyRow kChordKeys[] = {
    {'P', ChordP}, {'K', ChordK}, {'S', ChordS}, {'C', ChordC},
    {'X', ChordX}, {'D', ChordD}, {'T', ChordT}, {'U', ChordU},
};
constexpr int32_t kChordMask = 0xFF;

// The accumulators take a new wheel value when empty or of the other sign; otherwise they grow
// by at most the new value's own size.
void AddWheelValue(float* accumulator, float value)
{
    if (*accumulator == 0.0f || (*accumulator > 0.0f) != (value > 0.0f)) {
        *accumulator = value;
        return;
    }
    *accumulator += std::min(std::fabs(value / *accumulator), 1.0f) * value;
}

// offset beyond the zone on either side, else 0.
float BeyondDeadZone(float offset, float zone)
{
    if (offset > zone)
        return offset - zone;
    if (offset < -zone)
        return offset + zone;
    return 0.0f;
}

int Sign(float value)
{
    return value > 0.0f ? 1 : (value < 0.0f ? -1 : 0);
}

}  // namespace

bool CMainWnd::IsKeyDown(int virtualKey)
{
    if (virtualKey >= 0 && virtualKey < static_cast<int>(sizeof m_keysDown) && m_keysDown[virtualKey])
        return false;
    if (m_tickInput.keysKnown && !m_keyState && virtualKey >= 0 &&
        virtualKey < static_cast<int>(sizeof m_tickInput.keys) &&
        !(m_tickInput.keys[virtualKey] & 0x80))
        return false;
    const SHORT state = m_keyState ? m_keyState(virtualKey) : GetAsyncKeyState(virtualKey);
    return (state & kKeyDownBit) != 0;
}

int CMainWnd::ApplyMouseNavigation(CameraState* input)
{
    const int capture = GetCaptureState();
    CFrame* frame = m_currentFrame;
    const CameraState* camera = m_view.params->camera;
    if (!frame || !input || !camera)
        return capture;
    // An object being dragged holds the pointer: the view stays.
    if (capture == CaptureObjectDrag) {
        if (m_editHotspots)
            EditLinePoints();
        m_navMousePos[0] = m_mouseX;
        m_navMousePos[1] = m_mouseY;
        return capture;
    }

    int mode = frame->mouseMode;
    if (mode == 4)
        mode = 1;
    if (m_forcedDrag || (m_touchScreenEnabled && !(frame->overrides & OverrideMouseMode)))
        mode = 1;
    const bool held = capture == CaptureViewDrag || capture == CaptureOtherWindow || mode == 5;
    const bool shiftOrCtrl = (m_mouseButtons & (MK_SHIFT | MK_CONTROL)) != 0;
    const bool rightButton = (m_mouseButtons & MK_RBUTTON) != 0;
    const float speed = NavigationSpeed(frame, m_params);
    const float zoom = camera->zoom;
    const float t = TickSeconds(m_stepFps);
    const int32_t width = m_view.params->width;
    const int32_t height = m_view.params->height;

    float panAmount = 0.0f, tiltAmount = 0.0f;
    bool moving = false;
    if (mode == 1) {
        if (held) {
            float k = speed * kDragScale;
            if (zoom > 1.0f)
                k /= zoom;
            panAmount = k * static_cast<float>(m_mouseX - m_navMousePos[0]);
            tiltAmount = k * static_cast<float>(m_mouseY - m_navMousePos[1]);
            if (m_projection == ProjectionInvertedMode) {
                panAmount = -panAmount;
                tiltAmount = -tiltAmount;
            }
            // Image grids step through their images with the drag instead; the right button
            // keeps its vertical amount for the zoom.
            if (frame->kind == FrameKindImageGrid && !shiftOrCtrl && !m_forcedDrag) {
                panAmount = 0.0f;
                if (!rightButton) {
                    tiltAmount = 0.0f;
                    StepGridByDrag(frame, zoom);
                }
            }
            m_hoverCode = kCursorDrag;
            moving = true;
        }
    } else {
        const bool inside = m_mouseX >= 0 && m_mouseY >= 0 && m_mouseX < width && m_mouseY < height;
        float offsetX = 0.0f, offsetY = 0.0f, zoneX = 0.0f, zoneY = 0.0f;
        if (held) {
            offsetX = static_cast<float>(m_mouseX - m_buttonDownPos[0]);
            offsetY = static_cast<float>(m_mouseY - m_buttonDownPos[1]);
            zoneX = zoneY = static_cast<float>(kPressDeadZone);
            moving = true;
        } else if (mode == 3 && inside) {
            offsetX = static_cast<float>(m_mouseX) - width / 2.0f;
            offsetY = static_cast<float>(m_mouseY) - height / 2.0f;
            zoneX = width / 3.0f;
            zoneY = height / 3.0f;
            moving = true;
        }
        if (moving) {
            float k = t * speed;
            if (zoom > 1.0f)
                k /= zoom;
            panAmount = BeyondDeadZone(offsetX, zoneX) * k;
            tiltAmount = BeyondDeadZone(offsetY, zoneY) * k;
            m_hoverCode = kCursorOffset + Sign(panAmount) + 3 * Sign(tiltAmount);
        }
    }

    if (moving) {
        if (frame->flags & FrameInvertMouseX)
            panAmount = -panAmount;
        if (frame->flags & FrameInvertMouseY)
            tiltAmount = -tiltAmount;
        if (rightButton) {
            // The right button zooms with its vertical movement.
            input->zoom += tiltAmount * (zoom > 1.0f ? zoom : 1.0f) / kZoomMouseDivisor;
        } else if (IsPanoramaKind(frame->kind)) {
            input->tilt += tiltAmount * kPanoramaMouseFactor;
            input->pan += panAmount * kPanoramaMouseFactor;
        } else if (frame->kind == FrameKindAerial) {
            input->x += kAerialMouseFactor * panAmount;
            input->z += kAerialMouseFactor * tiltAmount;
        } else if (frame->kind == FrameKindImageGrid) {
            input->tilt += tiltAmount;
            input->pan += panAmount;
        } else if (frame->kind == FrameKindScene && m_groundFollowState == 2) {
            if (m_forcedDrag)
                input->x += frame->unitScale * panAmount;
            else
                input->pan += panAmount * kPanoramaMouseFactor;
            input->z += frame->unitScale * tiltAmount;
        }
        m_mouseChanged = 1;
    }

    if (m_editHotspots)
        EditLinePoints();
    m_navMousePos[0] = m_mouseX;
    m_navMousePos[1] = m_mouseY;
    return capture;
}

bool CMainWnd::StepGridByDrag(CFrame* frame, float zoom)
{
    const int32_t columns = frame->gridColumns;
    const int32_t rows = frame->gridRows;
    const int32_t images = std::min<int32_t>(frame->gridImagesRead, kFrameSlotCapacity);
    const int32_t shown = frame->gridImage;
    const CSprite* image = shown >= 0 && shown < kFrameSlotCapacity ? frame->sprites[shown] : nullptr;
    // Nothing to step through (yet): no images, no columns or an image without a size.
    if (columns <= 0 || images <= 0 || !image || image->width <= 0 || image->height <= 0 ||
        !(frame->gridOption > 0.0f))
        return false;
    const float step = static_cast<float>(m_view.params->height) * zoom * image->width /
                       image->height / (columns * frame->gridOption);
    if (!(step > 0.0f))
        return false;
    const int32_t dx = static_cast<int32_t>((m_mouseX - m_buttonDownPos[0]) / step);
    const int32_t dy = static_cast<int32_t>((m_mouseY - m_buttonDownPos[1]) / step);
    int32_t column = m_dragGridCell[0] + dx;
    if (images >= columns * std::max(rows, 1))
        column = ((column % columns) + columns) % columns;  // a full grid turns round
    else
        column = std::min(std::max(column, 0), std::min(columns, images) - 1);
    const int32_t lastRow = std::max(std::min(rows, (images + columns - 1) / columns) - 1, 0);
    const int32_t row = std::min(std::max(m_dragGridCell[1] + dy, 0), lastRow);
    if (column == frame->gridColumn && row == frame->gridRow)
        return false;
    frame->gridColumn = column;
    frame->gridRow = row;
    frame->ShowGridImage(0);
    m_rotationY = static_cast<float>(column);
    return true;
}

int CMainWnd::ApplyKeyboardNavigation(CameraState* input)
{
    CFrame* frame = m_currentFrame;
    if (m_keyboardSuspended || !frame || !input)
        return 0;
    const float a = NavigationSpeed(frame, m_params);
    const float t = TickSeconds(m_stepFps);
    const int32_t kind = frame->kind;
    const int panDirection = (IsKeyDown(VK_LEFT) ? 1 : 0) - (IsKeyDown(VK_RIGHT) ? 1 : 0);
    const int tiltDirection = (IsKeyDown(VK_UP) ? 1 : 0) - (IsKeyDown(VK_DOWN) ? 1 : 0);
    bool moved = false;

    if (kind == FrameKindImageGrid) {
        const int32_t columns = frame->gridColumns;
        const int32_t images = frame->gridImagesRead;
        if (columns > 0 && images > 0 && (panDirection || tiltDirection)) {
            frame->gridColumn = ((frame->gridColumn + panDirection) % columns + columns) % columns;
            const int32_t lastRow = std::max(images / columns - 1, 0);
            frame->gridRow = std::min(std::max(frame->gridRow + tiltDirection, 0), lastRow);
            frame->ShowGridImage(0);
            moved = true;
        }
    } else if (kind >= FrameKindCubic && kind <= 10) {
        const float step = kKeyMoveFactor * a * t;
        if (kind == FrameKindScene || kind == 10) {
            const int forward = (IsKeyDown(VK_DELETE) ? 1 : 0) - (IsKeyDown(VK_NEXT) ? 1 : 0);
            const int up = (IsKeyDown(VK_HOME) ? 1 : 0) - (IsKeyDown(VK_END) ? 1 : 0);
            input->x += forward * step;
            input->y += up * step;
            moved = moved || forward || up;
        }
        if (kind == FrameKindAerial) {
            input->x += panDirection * step;
            input->z += tiltDirection * step;
        } else if (kind == FrameKindScene) {
            input->z += tiltDirection * step;
            input->pan += panDirection * kKeyTurnFactor * a * t;
        } else {
            input->tilt += tiltDirection * kKeyTurnFactor * a * t;
            input->pan += panDirection * kKeyTurnFactor * a * t;
        }
        moved = moved || panDirection || tiltDirection;
    }

    int zoomDirection = 0;
    if ((IsKeyDown(VK_LCONTROL) && !m_editHotspots) || IsKeyDown('Z') || IsKeyDown('Y'))
        zoomDirection--;
    if ((IsKeyDown(VK_LSHIFT) && !m_editHotspots && !frame->maskView) || IsKeyDown('A'))
        zoomDirection++;
    if (zoomDirection) {
        input->zoom += zoomDirection * t * a * kKeyZoomFactor;
        moved = true;
    }

    // Keys acted on once when they go down.
    const bool multiply = IsKeyDown(VK_MULTIPLY);
    if (multiply && !(m_chordKeys & ChordHeldMultiply))
        PressToolbarButton(0);
    const bool viewfinder = frame->toolbarButtons != -1 && (frame->toolbarButtons & kToolbarViewfinderButton) &&
                            IsKeyDown(VK_RSHIFT) && m_dragMode == DragNone;
    if (viewfinder != ((m_chordKeys & ChordHeldRightShift) != 0))
        ShowViewfinder(viewfinder ? 1 : 0);
    m_chordKeys = (m_chordKeys & ~(ChordHeldMultiply | ChordHeldRightShift)) |
                  (multiply ? ChordHeldMultiply : 0) | (viewfinder ? ChordHeldRightShift : 0);

    // Chords act when their keys are released.
    if (!m_fromPackage) {
        int32_t down = 0;
        for (const ChordKeyRow& row : kChordKeys)
            if (IsKeyDown(row.key))
                down |= row.bit;
        if (down) {
            m_chordKeys |= down;
        } else if (m_chordKeys & kChordMask) {
            const int32_t chord = m_chordKeys & kChordMask;
            m_chordKeys &= ~kChordMask;
            auto has = [chord](int32_t keys) { return (chord & keys) == keys; };
            if (has(ChordP | ChordK)) {
                if (m_hostWnd)
                    PostMessageA(m_hostWnd, WM_COMMAND, kCommandCreatePackage, 0);
            } else if (kind == FrameKindCamera && has(ChordS | ChordC)) {
                ShowCameraPropertiesDialog();
            } else if (kind == FrameKindCamera && has(ChordS | ChordX)) {
                ShowCameraConfigDialog();
            } else if (kind == FrameKindCamera && has(ChordD | ChordT)) {
                OnCameraCommand(CameraUiShowDetection, 0);
            } else if (chord == ChordU) {
                SendProgramUpdate();
            }
        }
    }

    if (!moved)
        return 0;
    ScheduleAutoplay(1);
    m_keyboardChanged = 1;
    m_changeCount = std::min(m_changeCount + 1, kNavigationChangeLimit);
    return 1;
}

bool CMainWnd::SendProgramUpdate()
{
    if (!m_updaterEnabled || m_cameraAddress.GetLength() == 0)
        return false;
    // The running program itself, whichever document it shows.
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    CFicheroHttp file;
    if (!file.Open(path, OpenRead | OpenNoPackage))
        return false;
    const int64_t size = file.GetLength();
    if (size < 0 || size > INT32_MAX)
        return false;

    // The program is read while it is sent: an unreachable camera costs no read of it.
    bool sent = false;
    if (m_cameraLink.Connect(m_cameraAddress.GetText(), m_serverPort, &m_cancel,
                             kCameraConnectTimeoutMs)) {
        static const char kCommand[] = "UPDATEPROGRAM";
        sent = SendFramed(m_cameraLink, kCommand, static_cast<int32_t>(sizeof kCommand - 1)) &&
               SendFramedFromFile(m_cameraLink, file, static_cast<int32_t>(size));
    }
    m_cameraLink.CloseConnection();
    file.Close();
    if (!sent)
        return false;
    for (int i = 0; i < 3; i++)
        PlaySoundA(reinterpret_cast<LPCSTR>(SND_ALIAS_SYSTEMASTERISK), nullptr,
                   SND_ALIAS_ID | SND_SYNC);
    RunCommandText("DisconnectCamera();", false);
    return true;
}

void CMainWnd::Poll3DMouse(CameraState* input)
{
    CFrame* frame = m_currentFrame;
    const CameraState* camera = m_view.params->camera;
    if (!m_3dMouse || !frame || !input || !camera)
        return;

    // Keys: the programmable ones, then the two fixed ones.
    const int count = m_3dMouse->ProgrammableKeys();
    if (count < 0)
        return;
    std::vector<int> keys;
    for (int key = 1; key <= std::min(count, k3DMouseHighestKey); key++)
        keys.push_back(key);
    keys.insert(keys.end(), std::begin(k3DMouseExtraKeys), std::end(k3DMouseExtraKeys));
    for (int key : keys) {
        const int down = m_3dMouse->IsKeyDown(key);
        if (down < 0)
            return;
        const uint32_t bit = 1u << key;
        if (down && !(m_3dMouseKeys & bit)) {
            m_3dMouseKeys |= bit;
            if (key == k3DMouseHomeKey) {
                // Back to the frame's initial view.
                m_cameraTargetValues[3] = frame->initialView[ViewTilt];
                m_cameraTargetValues[4] = frame->initialView[ViewPan];
                m_cameraTargetValues[6] = frame->initialView[ViewZoom];
                m_cameraTargetStep = 0;
                m_cameraTargetFrame = nullptr;
                m_cameraTargets |= CameraBitTilt | CameraBitPan | CameraBitZoom;
            }
        } else if (!down) {
            m_3dMouseKeys &= ~bit;
        }
    }

    Mouse3DMotion motion;
    if (!m_3dMouse->ReadMotion(&motion))
        return;
    float c = TickSeconds(m_stepFps) * NavigationSpeed(frame, m_params);
    if (camera->zoom > 1.0f)
        c /= camera->zoom;
    bool moved = false;
    if (motion.angle > 0.0) {
        const float s = static_cast<float>(motion.angle / k3DMouseScale);
        const float turn = m_projection == ProjectionInvertedMode ? -50.0f * c : 50.0f * c;
        input->tilt += s * static_cast<float>(motion.axisX) * turn;
        input->pan += (s * static_cast<float>(motion.axisY) + s * static_cast<float>(motion.axisZ)) * turn;
        moved = true;
    }
    if (motion.length > 0.0) {
        const float s = static_cast<float>(motion.length / k3DMouseScale);
        const float x = s * static_cast<float>(motion.x);
        const float y = s * static_cast<float>(motion.y);
        const float z = s * static_cast<float>(motion.z);
        if (frame->kind == FrameKindAerial || frame->kind == FrameKindScene) {
            input->x -= x * 20.0f * c;
            input->z += y * 20.0f * c;
            input->y += z * c * (z > 0.0f ? 30.0f : 10.0f);
        } else {
            input->tilt += y * c / 1.5f;
            input->pan -= x * c / 1.5f;
            float n = z > 0.0f ? 100.0f : 160.0f;
            if (camera->zoom > 1.0f)
                n /= camera->zoom;
            input->zoom -= z * c / n;
        }
        moved = true;
    }
    if (moved) {
        ScheduleAutoplay(0);
        m_3dMouseMoved = 1;
        m_changeCount = std::min(m_changeCount + 1, kNavigationChangeLimit);
    } else if (m_3dMouseMoved) {
        m_3dMouseMoved = 0;
        ScheduleAutoplay(1);
    }
}

bool CMainWnd::Connect3DMouse()
{
    if (m_screensaver || m_3dMouse)
        return m_3dMouse != nullptr;
    m_3dMouse = Connect3DMouseDevice();
    return m_3dMouse != nullptr;
}

void CMainWnd::Disconnect3DMouse()
{
    delete m_3dMouse;
    m_3dMouse = nullptr;
    m_3dMouseKeys = 0;
}

LRESULT CMainWnd::OnMouseWheel(int, int delta, int x, int y)
{
    // The wheel message carries screen coordinates.
    POINT point = {x, y};
    if (m_viewWnd)
        ScreenToClient(m_viewWnd, &point);
    if (point.x < 0 || point.y < 0 || point.x >= m_view.params->width ||
        point.y >= m_view.params->height)
        return 0;
    const float step = static_cast<float>(delta) * kWheelStepFactor * TickSeconds(m_stepFps) *
                       WheelSpeed(m_currentFrame, m_params);
    if (m_viewfinderShown) {
        // The wheel zooms the viewfinder instead, in proportion to its zoom.
        m_viewfinderZoom += step * kViewfinderWheelFactor * m_viewfinderZoom;
        m_viewfinderZoom = std::min(std::max(m_viewfinderZoom, kViewfinderZoomMin), kViewfinderZoomMax);
        m_wheelChanged = 1;
        m_buttonEvent = 1;
        ScheduleAutoplay(1);
        return 1;
    }
    const float amount = m_fps * step * kWheelAmountFactor;
    AddWheelValue(&m_wheelDelta[0], step);
    AddWheelValue(&m_wheelDelta[1], amount);
    m_wheelChanged = 1;
    m_buttonEvent = 1;
    ScheduleAutoplay(1);
    return 1;
}
