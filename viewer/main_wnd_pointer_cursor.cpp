// The cursor: chosen from what the pointer is over (the hover code), from the program's own
// cursors or the system's; the hidden cursor is drawn here.
#include "viewer/main_wnd.h"

#include "platform/application.h"

namespace {

// The program's cursors.
constexpr int kCursorHotspot = 122;
constexpr int kCursorEditing = 447;
constexpr int kCursorGrab = 809;
constexpr int kCursorMove = 810;
constexpr int kCursorHand = 811;
constexpr int kCursorDirectionBase = 802;  // hover codes 11-19: 813-821
constexpr int kCursorHidden = 896;
constexpr int kHoverDirectionFirst = 11;
constexpr int kHoverDirectionLast = 19;
constexpr int kSlotAutoplay = 5;
constexpr int kSlotManualMovement = 6;
constexpr DWORD kHandCursorMajorVersion = 5;
constexpr int32_t kMouseModeDrag = 1;
constexpr int kLeftOrRight = MK_LBUTTON | MK_RBUTTON;

}  // namespace

HCURSOR CMainWnd::ProgramCursor(int id)
{
    if (id == kCursorHidden) {
        if (!m_blankCursor) {
            // 32 x 32, AND mask all ones and XOR mask all zeros: the screen shows through.
            BYTE andMask[32 * 4];
            BYTE xorMask[32 * 4] = {};
            for (BYTE& b : andMask)
                b = 0xFF;
            m_blankCursor = CreateCursor(GetModuleHandleA(nullptr), 0, 0, 32, 32, andMask, xorMask);
        }
        return m_blankCursor;
    }
    // The program's cursors are in its resources; were one missing, the arrow beats no cursor.
    HCURSOR cursor = LoadCursorA(GetAppInstance(), MAKEINTRESOURCEA(id));
    return cursor ? cursor : LoadCursorA(nullptr, IDC_ARROW);
}

int CMainWnd::ChooseCursor()
{
    if ((m_hoverCode == -1 && m_cursorMode < 0) || m_cursorMode < 0 || m_touchScreenEnabled)
        return kCursorHidden;
    switch (m_hoverCode) {
    case -1:
        // The hosted page sets the cursor itself.
        m_hoverCode = 0;
        return 0;
    case 1:
        return m_osVersion.dwMajorVersion >= kHandCursorMajorVersion ? kCursorSystemHand
                                                                       : kCursorHand;
    case 2: return kCursorHotspot;
    case 3: return kCursorSystemSizeNwse;
    case 4: return kCursorSystemSizeNesw;
    case 5: return kCursorSystemSizeWe;
    case 6: return kCursorSystemSizeNs;
    case 7: return kCursorSystemSizeAll;
    case 9: return kCursorMove;
    case 10: return kCursorGrab;
    default: break;
    }
    if ((m_viewfinderMode && m_viewfinderShown) ||
        (m_autoplayRunning && m_autoTour && !m_buttonPressed[kSlotAutoplay]))
        return kCursorHidden;
    if (m_hoverCode >= kHoverDirectionFirst && m_hoverCode <= kHoverDirectionLast)
        return m_hoverCode + kCursorDirectionBase;
    m_hoverCode = 0;
    if (m_editHotspots && (m_editCorner != -1 || IsKeyDown(VK_LSHIFT) || IsKeyDown(VK_LCONTROL) ||
                           IsKeyDown(VK_LMENU)))
        return kCursorEditing;
    if (m_buttonPressed[kSlotManualMovement] ||
        (m_currentFrame && m_currentFrame->mouseMode == kMouseModeDrag))
        return kCursorMove;
    return kCursorSystemArrow;
}

int CMainWnd::UpdateCursor()
{
    if (m_capturedControl != -1)
        return 0;
    const int choice = ChooseCursor();
    int set = 0;
    if (choice != 0) {
        HCURSOR cursor = nullptr;
        switch (choice) {
        case kCursorSystemHand: cursor = LoadCursorA(nullptr, IDC_HAND); break;
        case kCursorSystemSizeNwse: cursor = LoadCursorA(nullptr, IDC_SIZENWSE); break;
        case kCursorSystemSizeNesw: cursor = LoadCursorA(nullptr, IDC_SIZENESW); break;
        case kCursorSystemSizeWe: cursor = LoadCursorA(nullptr, IDC_SIZEWE); break;
        case kCursorSystemSizeNs: cursor = LoadCursorA(nullptr, IDC_SIZENS); break;
        case kCursorSystemSizeAll: cursor = LoadCursorA(nullptr, IDC_SIZEALL); break;
        case kCursorSystemArrow: cursor = LoadCursorA(nullptr, IDC_ARROW); break;
        default: cursor = ProgramCursor(choice); break;
        }
        m_cursorChoice = choice;
        if (cursor && cursor != ::GetCursor()) {
            SetCursor(cursor);
            set = 1;
        }
        m_shownCursor = cursor;
    }
    if (m_viewfinderMode && m_hoverCode != m_lastHoverCode)
        ShowViewfinder(m_hoverCode == 2 || !(m_mouseButtons & kLeftOrRight));
    m_lastHoverCode = m_hoverCode;
    return set;
}
