// Pointer input on the view: the mouse handlers, the per-pass pointer processing that decides
// what lies under the pointer and moves dragged objects, the capture and drag end, wrapping the
// cursor round the view during a drag and the tooltips' share of the pointer.
#include "viewer/main_wnd.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>

#include "core/clock.h"

namespace {

// Key codes the key objects give the mouse buttons.
constexpr int kKeyLeftButton = 149;
constexpr int kKeyMiddleButton = 150;
constexpr int kKeyRightButton = 151;
constexpr int32_t kControlResizeGrip = 4;
constexpr int kSlotZoomIn = 1;
constexpr int kSlotZoomOut = 2;
constexpr int kSlotManualMovement = 6;
constexpr int kSlotClose = 9;
// A release this close to its press (each axis) is a click; a move further away is a drag.
constexpr int kClickDistance = 5;
constexpr int kPressMoveDistance = 15;
// Cursor wrapping keeps the pointer this far inside the view.
constexpr int kWrapMargin = 16;
// Moves closer together than this count towards closing a screensaver.
constexpr float kQuickMoveSeconds = 0.1f;
constexpr int32_t kQuickMovesToClose = 3;
constexpr UINT kReleaseDelayMouseMode4 = 1000;
constexpr int32_t kMouseModeDrag = 1;
constexpr int32_t kMouseModeHover = 4;
// A drag margin at or beyond this bounds nothing.
constexpr int32_t kNoMaximumMargin = 10000000;
constexpr int kAnyButton = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON;
constexpr int kLeftOrRight = MK_LBUTTON | MK_RBUTTON;
// What the pointer shows over each built-in control: hand over switches and buttons, an arrow
// pair along a slider's travel, the diagonal one over the resize grip.
constexpr int32_t kHoverSlot = 1;
constexpr int32_t kHoverResize = 3;
constexpr int32_t kHoverAlongX = 5;
constexpr int32_t kHoverAlongY = 6;
constexpr int32_t kControlHoverCodes[kControlCount] = {
    kHoverAlongY, kHoverAlongY, 0, 0, kHoverResize, kHoverSlot, kHoverSlot,
    kHoverAlongY, kHoverAlongY, kHoverAlongY, kHoverAlongY, kHoverAlongY, kHoverAlongY,
    kHoverAlongY, kHoverAlongY, kHoverSlot, kHoverSlot, kHoverAlongX, 0, kHoverSlot,
};

// The object an item of a link list stands for.
ObjectItem* LinkedObject(ItemRecord* link)
{
    if (!link || !IsObjectItemType(link->type))
        return nullptr;
    return static_cast<ObjectItem*>(static_cast<ObjectItem*>(link)->linkedObject);
}

bool InSlot(const RECT& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y <= r.bottom;
}

bool InControl(const RECT& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Limits a shift along one axis for an object at start with the size in a view of the extent.
int32_t LimitShift(float shift, float start, float size, float extent, int32_t minimum,
                   int32_t maximum)
{
    if (maximum < kNoMaximumMargin) {
        // An object larger than the view may not uncover it by more than the margin.
        shift = std::min(shift, static_cast<float>(maximum) - start);
        shift = std::max(shift, extent - static_cast<float>(maximum) - start - size);
    } else {
        shift = std::max(shift, static_cast<float>(minimum) - start);
        shift = std::min(shift, extent - static_cast<float>(minimum) - start - size);
    }
    return static_cast<int32_t>(shift);
}

}  // namespace

void CMainWnd::OnLButtonDown(int keys, int x, int y)
{
    m_mouseX = x;
    m_mouseY = y;
    m_buttonDownPos[0] = m_navMousePos[0] = x;
    m_buttonDownPos[1] = m_navMousePos[1] = y;
    m_mouseButtons = keys;
    ProcessKeyObjects(kKeyLeftButton, 0);
    ProcessPointer(0);
    m_prevMouseButtons = keys;
    m_capturedControl = m_hoverControl;
    m_activeButton = m_hoverButton;
    m_buttonEvent = 1;
    // The resize grip moves the window, not the view.
    if (m_capturedControl == kControlResizeGrip)
        return;
    PostToViewer(ViewerMessageBeginDrag, 0, 0);
    // Something other than the view took the press: the view follows only after a real move.
    if ((m_hotspotHit && !m_editHotspots) || m_measureMode != -1 || m_lastHoverCode == kHoverSlot)
        m_pressMoved = 0;
    FocusView(m_externalWnd.m_externalMode ? m_externalWnd.m_hWnd : m_viewWnd);
}

void CMainWnd::OnLButtonUp(int keys, int x, int y)
{
    m_mouseX = x;
    m_mouseY = y;
    m_mouseButtons = keys;
    ProcessKeyObjects(0, kKeyLeftButton);
    ProcessPointer(0);
    m_prevMouseButtons = keys;

    if (m_clickEvents && m_activeButton == -1 && m_capturedControl == -1 &&
        m_pointerObjectId == -1 && !m_hotspotHit &&
        std::abs(x - m_buttonDownPos[0]) < kClickDistance &&
        std::abs(y - m_buttonDownPos[1]) < kClickDistance)
        QueueHostEvent("event", "_clickevent_");
    if (m_mouseUpEvents)
        QueueHostEvent("event", "_mouseupevent_");

    m_buttonEvent = 1;
    if (m_activeButton != -1 && m_activeButton == m_hoverButton)
        OnToolbarButton(2);
    m_activeButton = -1;
    if (m_capturedControl != -1 && m_capturedControl == m_hoverControl)
        OnToolbarSliderDrag(2);
    m_capturedControl = -1;
    m_buttonPressed[kSlotZoomIn] = 0;
    m_buttonPressed[kSlotZoomOut] = 0;

    AddMeasurePoint();
    RelayTooltipMouse(POINT{x, y}, WM_LBUTTONUP);
    if (GetCaptureState() & CaptureViewDrag) {
        EndDrag();
        if (m_changeCount == 0)
            m_redrawRequest = 1;
    }
    m_pressMoved = 1;
    m_toolbarDirty = 1;
    UpdateCursor();
    ScheduleAutoplay(1);
}

void CMainWnd::OnMButtonDown(int, int, int)
{
    ProcessKeyObjects(kKeyMiddleButton, 0);
    ScheduleAutoplay(0);
    m_buttonEvent = 1;
}

void CMainWnd::OnMButtonUp(int, int, int)
{
    if (m_initialized) {
        ProcessKeyObjects(0, kKeyMiddleButton);
        m_buttonEvent = 1;
    }
    ScheduleAutoplay(1);
}

void CMainWnd::OnRButtonDown(int keys, int, int)
{
    ProcessKeyObjects(kKeyRightButton, 0);
    if (!m_keysDown[kKeyRightButton])
        BeginViewDrag();
    m_buttonDownPos[0] = m_navMousePos[0] = m_mouseX;
    m_buttonDownPos[1] = m_navMousePos[1] = m_mouseY;
    m_pressMoved = 0;
    m_mouseButtons = keys;
}

void CMainWnd::OnMouseMove(int keys, int x, int y)
{
    const int capture = GetCaptureState();
    const int32_t mouseMode = m_currentFrame ? m_currentFrame->mouseMode : 0;
    const bool pointerFree = m_activeButton == -1 && m_hoverButton == -1 &&
                             m_capturedControl == -1 && m_hoverControl == -1 &&
                             m_pointerObjectId == -1 && m_dragObjectId == -1;

    const bool dragging = (m_buttonPressed[kSlotManualMovement] || mouseMode == kMouseModeDrag ||
                           mouseMode == kMouseModeHover) &&
                          capture == CaptureViewDrag;
    if ((dragging || m_closeOnInput) && !m_touchScreenEnabled && pointerFree) {
        const bool outside = x < 0 || y < 0 || x >= m_view.params->width ||
                             y >= m_view.params->height;
        if (mouseMode == kMouseModeHover && !(keys & kAnyButton) && outside)
            OnTimer(ViewerTimerButtonRelease);
        else if (WrapCursorInView())
            return;
    }

    POINT point = {x, y};
    MapPointToView(&point);
    if (!m_pressMoved && (std::abs(point.x - m_buttonDownPos[0]) > kPressMoveDistance ||
                          std::abs(point.y - m_buttonDownPos[1]) > kPressMoveDistance))
        m_pressMoved = 1;

    if (point.x != m_mouseX || point.y != m_mouseY) {
        m_pointerMoved = 1;
        UpdateCursor();
        m_mouseX = point.x;
        m_mouseY = point.y;
        if (keys != m_mouseButtons)
            m_mouseButtons = keys;

        if (m_viewfinderMode == 1 && (m_hoverCode == 2 || !(keys & kLeftOrRight)) &&
            MoveViewfinder(point.x, point.y)) {
            if (!m_viewfinderShown)
                ShowViewfinder(1);
            Tick(0);
            PresentView(nullptr);
            RenderViewfinder();
        }

        if (mouseMode == kMouseModeHover &&
            (point.x != m_pressPos[0] || point.y != m_pressPos[1])) {
            if (pointerFree) {
                if (capture == CaptureNone) {
                    BeginViewDrag();
                    FocusView(m_externalWnd.m_externalMode ? m_externalWnd.m_hWnd : m_viewWnd);
                }
                SetViewerTimer(ViewerTimerButtonRelease, kReleaseDelayMouseMode4);
            } else if (capture != CaptureNone) {
                OnTimer(ViewerTimerButtonRelease);
            }
        }
    }

    if (m_screensaver || m_closeOnInput) {
        const float now = m_clock ? m_clock() : GetTimeSeconds();
        if (now - m_lastMoveTime < kQuickMoveSeconds) {
            if (++m_quickMoves > kQuickMovesToClose) {
                if (m_closeOnInput && m_closeOnMouseMove)
                    CloseHostWindow();
                if ((m_autoplayRunning || m_autoTour) && !(keys & kAnyButton))
                    ScheduleAutoplay(1);
            }
        } else {
            m_quickMoves = 0;
        }
        m_lastMoveTime = now;
    }
    RelayTooltipMouse(point, WM_MOUSEMOVE);
}

void CMainWnd::ProcessPointer(int doDrag)
{
    const int32_t previousHover = m_hoverButton;
    m_hoverButton = -1;
    m_hoverControl = -1;
    m_pointerObjectId = -1;
    m_hotspotHit = 0;

    const int capture = GetCaptureState();
    const bool captured = capture != CaptureNone && capture != CaptureOtherWindow &&
                          capture != CaptureObjectDrag && m_mouseButtons != 0;
    if (!captured) {
        int32_t code = 0;
        for (int slot = 0; slot < kToolbarSlotCount; slot++) {
            if (m_buttonShown[slot] && InSlot(m_buttonRects[slot], m_mouseX, m_mouseY)) {
                m_hoverButton = slot;
                code = kHoverSlot;
                HideObjectTooltip();
                break;
            }
        }
        if (m_hoverButton == -1) {
            const int32_t count = std::min(m_controlCount, static_cast<int32_t>(kControlCount));
            for (int32_t control = 0; control < count; control++) {
                if (m_controlShown[control] &&
                    InControl(m_controlRects[control], m_mouseX, m_mouseY)) {
                    m_hoverControl = control;
                    code = kControlHoverCodes[control];
                    break;
                }
            }
        }
        m_hoverCode = code;

        if (m_hoverButton == -1 && m_hoverControl == -1) {
            ProcessObjectEvents(&m_interfaceFrame);
            ProcessObjectEvents(m_currentFrame);
            if (doDrag)
                MoveDraggedObjects();
        }
    }

    if ((previousHover == kSlotClose) != (m_hoverButton == kSlotClose) && m_changeCount == 0)
        m_redrawRequest = 1;
}

void CMainWnd::MoveDraggedObjects()
{
    const int32_t count = m_draggedObjects.GetCount();
    if (count == 0)
        return;
    if (m_changeCount == 0)
        m_redrawRequest = 1;
    const float width = static_cast<float>(m_view.params->width);
    const float height = static_cast<float>(m_view.params->height);
    bool found = false;
    int32_t dx = 0, dy = 0;
    for (int32_t i = 0; i < count; i++) {
        ObjectItem* object = LinkedObject(m_draggedObjects.GetAt(i));
        if (!object || (object->showFlags & ObjectShown) != ObjectShown ||
            !(object->layoutFlags & LayoutDone))
            continue;
        if (!found) {
            dx = m_mouseX - object->dragGrab[0];
            dy = m_mouseY - object->dragGrab[1];
            found = true;
        }
        const float left = object->screenX - static_cast<float>(object->shiftX);
        const float top = object->screenY - static_cast<float>(object->shiftY);
        dx = LimitShift(static_cast<float>(dx), left, object->drawWidth, width,
                        object->dragParams[0], object->dragParams[1]);
        dy = LimitShift(static_cast<float>(dy), top, object->drawHeight, height,
                        object->dragParams[0], object->dragParams[1]);
    }
    if (!found)
        return;
    for (int32_t i = 0; i < count; i++) {
        ObjectItem* object = LinkedObject(m_draggedObjects.GetAt(i));
        if (!object)
            continue;
        object->shiftX = dx;
        object->shiftY = dy;
    }
}

bool CMainWnd::WrapCursorInView()
{
    POINT cursor;
    RECT view;
    if (!GetCursorPos(&cursor) || !GetViewWindowRect(&view))
        return false;
    POINT moved = cursor;
    // An axis too short for both margins is left alone: the two would hold the pointer.
    if (view.right - view.left >= 2 * kWrapMargin) {
        if (cursor.x > view.right - kWrapMargin)
            moved.x = view.left + kWrapMargin;
        else if (cursor.x < view.left + kWrapMargin)
            moved.x = view.right - kWrapMargin;
    }
    if (view.bottom - view.top >= 2 * kWrapMargin) {
        if (cursor.y > view.bottom - kWrapMargin)
            moved.y = view.top + kWrapMargin;
        else if (cursor.y < view.top + kWrapMargin)
            moved.y = view.bottom - kWrapMargin;
    }
    if (moved.x == cursor.x && moved.y == cursor.y)
        return false;
    // The drag measures from its origin: moving the origin with the pointer keeps the view still.
    const int32_t jump[2] = {moved.x - cursor.x, moved.y - cursor.y};
    for (int axis = 0; axis < 2; axis++) {
        m_dragOrigin[axis] += jump[axis];
        m_pressPos[axis] += jump[axis];
    }
    SetCursorPos(moved.x, moved.y);
    return true;
}

void CMainWnd::MapPointToView(POINT* point)
{
    if (GetCaptureState() != CaptureNone) {
        point->x -= m_activeView->clientOriginX;
        point->y -= m_activeView->clientOriginY;
        return;
    }
    POINT converted = *point;
    if (!m_view.ClientToViewport(&converted))
        return;
    *point = converted;
    if (m_activeView != &m_view) {
        m_activeView = &m_view;
        LayoutToolbar(true, kToolbarBothEdges);
        m_changeCount++;
    }
}

void CMainWnd::RelayTooltipMouse(POINT point, UINT message)
{
    if (!m_tooltipsEnabled || !m_tooltipOwner || !m_tooltip)
        return;
    MSG relayed = {};
    relayed.hwnd = m_tooltipOwner;
    relayed.message = message;
    relayed.wParam = message == WM_LBUTTONDOWN ? 1 : 0;
    relayed.lParam = MAKELPARAM(static_cast<WORD>(point.x + m_tooltipOffset[0]),
                                static_cast<WORD>(point.y + m_tooltipOffset[1]));
    SendMessageA(m_tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
    if (m_objectTooltip)
        SendMessageA(m_objectTooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

void CMainWnd::CaptureMouse(HWND window)
{
    if (m_windowless && m_hostInput && !window)
        return;
    HWND external = m_externalWnd.m_hWnd;
    HWND target = window && window == external ? external : m_hostWnd;
    if (target)
        SetCapture(target);
    m_tickInput.windowsKnown = false;
}

void CMainWnd::ReleaseMouseCapture()
{
    if (m_windowless && m_hostInput && ::GetCapture() == m_hostWnd)
        return;
    ReleaseCapture();
    m_tickInput.windowsKnown = false;
}

void CMainWnd::EndDrag()
{
    ReleaseMouseCapture();
    m_dragMode = DragNone;
    m_dragObjectId = -1;
}

void CMainWnd::ReloadFrameImages(CFrame* frame)
{
    if (!frame)
        return;
    const int32_t count = std::min(frame->spriteCount.load(), kFrameSlotCapacity);
    for (int32_t i = 0; i < count; i++) {
        CSprite* image = frame->sprites[i];
        if (!image || image->fileName.GetLength() == 0)
            continue;
        image->loadRequestCount = 0;
        image->progress = 0;
        const int bpp = image->asyncBpp ? image->asyncBpp : image->bitsPerPixel;
        image->LoadAsync(image->fileName.GetText(), bpp);
        frame->TrackSpriteProgress(image, 0);
    }
    m_changeCount++;
}
