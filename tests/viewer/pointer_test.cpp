// Pointer input fed synthetically: the press-moved threshold, no drag from the resize grip, hit
// edges of toolbar slots and controls, dragged objects inside their margins, the cursor table,
// wrapping the cursor during a drag without a jump of the view, the tooltip relay, closing a
// screensaver on quick moves, and the drag modes, origins and capture targets of a press.
#include "viewer/main_wnd.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dispatch_support.h"
#include "scene_support.h"

using dispatch_test::TestMessageWindow;

namespace {

constexpr int kW = 800, kH = 600;

class Pointer : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine = std::make_unique<CMainWnd>();
        ASSERT_TRUE(scene_test::AttachImageTarget(engine->m_view, target, kW, kH));
        window = std::make_unique<TestMessageWindow>(engine.get());
        window->m_dispatch = false;
        engine->m_messageWnd = window->m_hWnd;
        engine->m_hostWnd = window->m_hWnd;
        engine->m_initialized = 1;
        engine->m_currentFrame = &engine->m_firstFrame;
    }
    void TearDown() override
    {
        ReleaseCapture();
        engine->m_initialized = 0;
        window.reset();
        engine.reset();
    }

    std::unique_ptr<CMainWnd> engine;
    std::unique_ptr<TestMessageWindow> window;
    CSprite target;
};

TEST_F(Pointer, PressMovedAfterMoreThanFifteenPixels)
{
    engine->OnLButtonDown(MK_LBUTTON, 100, 100);
    engine->m_pressMoved = 0;
    engine->OnMouseMove(MK_LBUTTON, 115, 85);
    EXPECT_EQ(engine->m_pressMoved, 0) << "15 pixels";
    EXPECT_EQ(engine->m_mouseX, 115);
    EXPECT_EQ(engine->m_pointerMoved, 1);
    engine->OnMouseMove(MK_LBUTTON, 100, 116);
    EXPECT_EQ(engine->m_pressMoved, 1) << "16 pixels";
}

// The values the host event ring holds, oldest first.
std::vector<std::string> HostEventValues(const CMainWnd& engine)
{
    std::vector<std::string> values;
    for (int32_t i = engine.m_hostEventRead; i != engine.m_hostEventWrite; i = (i + 1) % 20)
        values.push_back(engine.m_hostEventValues[i].GetText());
    return values;
}

TEST_F(Pointer, AReleaseNearThePressIsAClickAndEveryReleaseAMouseUp)
{
    struct Case {
        int dx, dy;
        bool clickEvents, mouseUpEvents;
        std::vector<std::string> queued;
    };
    const Case cases[] = {
        {4, -4, true, true, {"_clickevent_", "_mouseupevent_"}},
        {5, 0, true, true, {"_mouseupevent_"}},
        {0, -5, true, false, {}},
        {0, 0, false, true, {"_mouseupevent_"}},
        {0, 0, true, false, {"_clickevent_"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
        engine->m_hostEventRead = engine->m_hostEventWrite = 0;
        engine->m_clickEvents = c.clickEvents;
        engine->m_mouseUpEvents = c.mouseUpEvents;
        engine->OnLButtonDown(MK_LBUTTON, 200, 200);
        engine->OnLButtonUp(0, 200 + c.dx, 200 + c.dy);
        EXPECT_EQ(HostEventValues(*engine), c.queued);
        if (!c.queued.empty()) {
            EXPECT_STREQ(engine->m_hostEventNames[0].GetText(), "event");
        }
    }

    // A release over a shown toolbar slot belongs to the toolbar.
    engine->m_hostEventRead = engine->m_hostEventWrite = 0;
    engine->m_clickEvents = 1;
    engine->m_mouseUpEvents = 0;
    engine->m_buttonShown[2] = 1;
    engine->m_buttonRects[2] = {190, 190, 220, 220};
    engine->OnLButtonDown(MK_LBUTTON, 200, 200);
    engine->OnLButtonUp(0, 200, 200);
    EXPECT_TRUE(HostEventValues(*engine).empty());
}

TEST_F(Pointer, APressStartsADragUnlessOnTheResizeGrip)
{
    engine->OnLButtonDown(MK_LBUTTON, 100, 100);
    window->Pump(20);
    EXPECT_EQ(window->Count(ViewerMessageBeginDrag), 1);
    EXPECT_EQ(engine->m_buttonEvent, 1);
    EXPECT_EQ(engine->m_buttonDownPos[0], 100);
    engine->OnLButtonUp(0, 100, 100);

    engine->m_controlShown[4] = 1;
    engine->m_controlRects[4] = {kW - 16, kH - 16, kW, kH};
    engine->OnLButtonDown(MK_LBUTTON, kW - 5, kH - 5);
    window->Pump(20);
    EXPECT_EQ(engine->m_capturedControl, 4);
    EXPECT_EQ(window->Count(ViewerMessageBeginDrag), 1) << "no drag from the grip";
    EXPECT_EQ(engine->m_hoverCode, 3) << "the diagonal size cursor's code";
}

TEST_F(Pointer, HitEdgesOfSlotsAndControls)
{
    engine->m_buttonShown[3] = 1;
    engine->m_buttonRects[3] = {10, 10, 30, 30};
    engine->m_controlShown[17] = 1;
    engine->m_controlRects[17] = {100, 100, 120, 120};
    struct Case {
        int x, y;
        int32_t slot, control, code;
    };
    const Case cases[] = {
        {10, 10, 3, -1, 1},    {29, 30, 3, -1, 1},    {30, 20, -1, -1, 0},  {9, 20, -1, -1, 0},
        {20, 31, -1, -1, 0},   {100, 100, -1, 17, 5}, {119, 119, -1, 17, 5}, {120, 110, -1, -1, 0},
        {110, 120, -1, -1, 0},
    };
    engine->m_buttonShown[4] = 0;
    engine->m_buttonRects[4] = {0, 0, kW, kH};  // hidden: never hit
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        engine->m_mouseX = c.x;
        engine->m_mouseY = c.y;
        engine->ProcessPointer(0);
        EXPECT_EQ(engine->m_hoverButton, c.slot);
        EXPECT_EQ(engine->m_hoverControl, c.control);
        EXPECT_EQ(engine->m_hoverCode, c.code);
    }
}

TEST_F(Pointer, DraggedObjectsStayWithinTheirMargins)
{
    struct Case {
        const char* name;
        float x, y, width, height;
        int32_t minimum, maximum;
        int mouseX, mouseY;
        int32_t shiftX, shiftY;
    };
    const Case cases[] = {
        {"free", 100, 100, 50, 50, -10000000, 10000000, 2000, -900, 2000, -900},
        {"10 pixels inside the view", 100, 100, 50, 50, 10, 10000000, 2000, -900, 640, -90},
        {"larger than the view: at most 20 uncovered", 0, 0, 1000, 800, 0, 20, 500, 500, 20, 20},
        {"... either way", 0, 0, 1000, 800, 0, 20, -500, -500, -220, -220},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ObjectItem object;
        object.type = ItemType::ImageObject;
        object.layoutFlags = LayoutDone;
        object.screenX = c.x;
        object.screenY = c.y;
        object.drawWidth = c.width;
        object.drawHeight = c.height;
        object.dragParams[0] = c.minimum;
        object.dragParams[1] = c.maximum;
        ObjectItem hidden;
        hidden.type = ItemType::ImageObject;
        hidden.showFlags = 0;
        for (ObjectItem* linked : {&hidden, &object}) {
            auto* link = static_cast<ObjectItem*>(engine->m_draggedObjects.CreateItem(ItemType::NodeHotspot3D));
            ASSERT_NE(link, nullptr);
            link->linkedObject = linked;
        }
        engine->m_mouseX = c.mouseX;
        engine->m_mouseY = c.mouseY;
        engine->m_changeCount = 0;
        engine->m_redrawRequest = 0;
        engine->ProcessPointer(1);
        EXPECT_EQ(object.shiftX, c.shiftX);
        EXPECT_EQ(object.shiftY, c.shiftY);
        EXPECT_EQ(hidden.shiftX, c.shiftX) << "every object of the list moves";
        EXPECT_EQ(engine->m_redrawRequest, 1);
        engine->m_draggedObjects.RemoveAll();
    }
}

bool g_leftAltDown = false;

SHORT LeftAltOnly(int key)
{
    return key == VK_LMENU && g_leftAltDown ? static_cast<SHORT>(0x8000) : 0;
}

TEST_F(Pointer, CursorTable)
{
    struct Case {
        const char* name;
        int32_t hoverCode;
        int32_t cursorMode;
        DWORD osMajor;
        int extra;  // 1 frame mouse mode 1, 2 manual movement pressed, 3 touch screen,
                    // 4 autoplay of a tour, 5 hotspot corner edited, 6 hotspot editing with
                    // left Alt down, 7 hotspot editing alone
        int choice;
        int32_t hoverAfter;
    };
    const Case cases[] = {
        {"nothing", 0, 0, 6, 0, kCursorSystemArrow, 0},
        {"hidden by the cursor mode", 0, -1, 6, 0, 896, 0},
        {"page cursor, hidden mode", -1, -1, 6, 0, 896, -1},
        {"page cursor", -1, 0, 6, 0, 0, 0},
        {"toolbar slot", 1, 0, 6, 0, kCursorSystemHand, 1},
        {"toolbar slot on an old system", 1, 0, 4, 0, 811, 1},
        {"node hotspot", 2, 0, 6, 0, 122, 2},
        {"size nwse", 3, 0, 6, 0, kCursorSystemSizeNwse, 3},
        {"size nesw", 4, 0, 6, 0, kCursorSystemSizeNesw, 4},
        {"size we", 5, 0, 6, 0, kCursorSystemSizeWe, 5},
        {"size ns", 6, 0, 6, 0, kCursorSystemSizeNs, 6},
        {"size all", 7, 0, 6, 0, kCursorSystemSizeAll, 7},
        {"move", 9, 0, 6, 0, 810, 9},
        {"grab", 10, 0, 6, 0, 809, 10},
        {"first direction", 11, 0, 6, 0, 813, 11},
        {"last direction", 19, 0, 6, 0, 821, 19},
        {"unknown code", 8, 0, 6, 0, kCursorSystemArrow, 0},
        {"dragging frame", 0, 0, 6, 1, 810, 0},
        {"manual movement", 0, 0, 6, 2, 810, 0},
        {"touch screen", 2, 0, 6, 3, 896, 2},
        {"automatic tour", 0, 0, 6, 4, 896, 0},
        {"hotspot editing", 0, 0, 6, 5, 447, 0},
        {"hotspot editing, left Alt", 0, 0, 6, 6, 447, 0},
        {"hotspot editing, no key, no corner", 0, 0, 6, 7, kCursorSystemArrow, 0},
    };
    engine->m_keyState = LeftAltOnly;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine->m_hoverCode = c.hoverCode;
        engine->m_cursorMode = c.cursorMode;
        engine->m_osVersion.dwMajorVersion = c.osMajor;
        engine->m_firstFrame.mouseMode = c.extra == 1 ? 1 : 2;
        engine->m_buttonPressed[6] = c.extra == 2;
        engine->m_touchScreenEnabled = c.extra == 3;
        engine->m_autoplayRunning = c.extra == 4;
        engine->m_autoTour = c.extra == 4;
        engine->m_editHotspots = c.extra >= 5;
        engine->m_editCorner = c.extra == 5 ? 0 : -1;
        g_leftAltDown = c.extra == 6;
        engine->m_cursorChoice = 0;
        engine->UpdateCursor();
        EXPECT_EQ(engine->m_cursorChoice, c.choice);
        EXPECT_EQ(engine->m_hoverCode, c.hoverAfter);
    }

    engine->m_capturedControl = 0;
    engine->m_hoverCode = 2;
    engine->m_cursorChoice = 0;
    EXPECT_EQ(engine->UpdateCursor(), 0);
    EXPECT_EQ(engine->m_cursorChoice, 0) << "a captured control keeps its cursor";
}

// The white pixels' mean position of a monochrome cursor, from the centre of its 32 x 32 square.
bool WhiteCentroid(HCURSOR cursor, double* x, double* y, POINT* hotspot)
{
    ICONINFO info = {};
    if (!GetIconInfo(cursor, &info))
        return false;
    BITMAP mask = {};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    std::vector<uint8_t> bits(static_cast<size_t>(mask.bmWidthBytes) * mask.bmHeight);
    const bool read = mask.bmWidth == 32 && mask.bmHeight == 64 &&
                      GetBitmapBits(info.hbmMask, static_cast<LONG>(bits.size()), bits.data()) > 0;
    DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    if (!read)
        return false;
    // The mask bitmap holds the AND rows, then the XOR rows; white is AND 0 and XOR 1.
    double sumX = 0, sumY = 0;
    int count = 0;
    for (int row = 0; row < 32; row++) {
        for (int column = 0; column < 32; column++) {
            const int bit = 7 - column % 8;
            const bool keep = bits[static_cast<size_t>(row) * mask.bmWidthBytes + column / 8] >> bit & 1;
            const bool flip = bits[static_cast<size_t>(row + 32) * mask.bmWidthBytes + column / 8] >> bit & 1;
            if (!keep && flip) {
                sumX += column + 0.5 - 16;
                sumY += row + 0.5 - 16;
                count++;
            }
        }
    }
    *x = count ? sumX / count : 0;
    *y = count ? sumY / count : 0;
    hotspot->x = static_cast<LONG>(info.xHotspot);
    hotspot->y = static_cast<LONG>(info.yHotspot);
    return count > 0;
}

TEST_F(Pointer, ProgramCursorsAreThePlayersOwnAndTheSteeringArrowsPointTheirWay)
{
    struct Case {
        int32_t hoverCode;
        int extra;  // 1 an old system, 2 a hotspot corner being edited
        int id;
    };
    const Case cases[] = {{2, 0, 122}, {0, 2, 447}, {10, 0, 809}, {9, 0, 810}, {1, 1, 811},
                          {11, 0, 813}, {12, 0, 814}, {13, 0, 815}, {14, 0, 816}, {15, 0, 817},
                          {16, 0, 818}, {17, 0, 819}, {18, 0, 820}, {19, 0, 821}};
    const HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        engine->m_hoverCode = c.hoverCode;
        engine->m_osVersion.dwMajorVersion = c.extra == 1 ? 4 : 6;
        engine->m_editHotspots = c.extra == 2;
        engine->m_editCorner = c.extra == 2 ? 0 : -1;
        engine->UpdateCursor();
        ASSERT_EQ(engine->m_cursorChoice, c.id);
        const HCURSOR own = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(c.id));
        ASSERT_NE(own, nullptr) << "in the program's resources";
        EXPECT_EQ(engine->m_shownCursor, own);
        EXPECT_NE(own, arrow);
        double x = 0, y = 0;
        POINT hotspot = {};
        ASSERT_TRUE(WhiteCentroid(own, &x, &y, &hotspot));
        if (c.id < 813)
            continue;
        // Steering code 15 + sideways + 3 x up/down: the arrow leans that way, the centre mark
        // stays in the middle; the point is the centre.
        const int sideways = (c.hoverCode - 15 + 1 + 3) % 3 - 1;
        const int upDown = (c.hoverCode - 15 - sideways) / 3;
        EXPECT_EQ(hotspot.x, 16);
        EXPECT_EQ(hotspot.y, 16);
        EXPECT_EQ(x > 1.5 ? 1 : (x < -1.5 ? -1 : 0), sideways) << x;
        EXPECT_EQ(y > 1.5 ? 1 : (y < -1.5 ? -1 : 0), upDown) << y;
    }

    // The hidden cursor is drawn once and kept.
    engine->m_hoverCode = 0;
    engine->m_cursorMode = -1;
    engine->UpdateCursor();
    const HCURSOR blank = engine->m_shownCursor;
    ASSERT_NE(blank, nullptr);
    engine->UpdateCursor();
    EXPECT_EQ(engine->m_shownCursor, blank);
}

TEST_F(Pointer, WrappingDuringADragKeepsTheViewStill)
{
    HWND view = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 200, 100, 400, 300,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(view, nullptr);
    engine->m_viewWnd = view;
    engine->m_dragOrigin[0] = 50;
    engine->m_dragOrigin[1] = 60;
    engine->m_pressPos[0] = 50;
    engine->m_pressPos[1] = 60;

    SetCursorPos(200 + 395, 100 + 150);
    ASSERT_TRUE(engine->WrapCursorInView());
    POINT cursor;
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, 200 + 16);
    EXPECT_EQ(cursor.y, 250) << "the other axis stays";
    const int jump = 16 - 395;
    EXPECT_EQ(engine->m_dragOrigin[0], 50 + jump) << "the pointer keeps its offset from the origin";
    EXPECT_EQ(engine->m_pressPos[0], 50 + jump);
    EXPECT_EQ(engine->m_dragOrigin[1], 60);

    SetCursorPos(200 + 100, 100 + 150);
    EXPECT_FALSE(engine->WrapCursorInView()) << "inside the margins nothing moves";

    // A view under 32 pixels high: both margins would hold the pointer, so y is left alone.
    SetWindowPos(view, nullptr, 0, 0, 400, 20, SWP_NOMOVE | SWP_NOZORDER);
    SetCursorPos(200 + 100, 100 + 5);
    EXPECT_FALSE(engine->WrapCursorInView());
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.y, 105);

    // Through the handler: a captured view drag in a dragging frame wraps and ends the message.
    SetWindowPos(view, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER);
    engine->m_firstFrame.mouseMode = 1;
    engine->m_dragMode = DragView;
    engine->m_mouseX = 7;
    SetCursorPos(200 + 5, 100 + 150);
    engine->OnMouseMove(MK_LBUTTON, 5, 150);
    EXPECT_EQ(engine->m_mouseX, 7) << "the wrapped message moves nothing";
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, 200 + 400 - 16);
    engine->m_dragMode = DragNone;
    engine->m_viewWnd = nullptr;
    DestroyWindow(view);
}

// The last relayed message of the tooltip stand-in.
MSG g_relayed;
int g_relayCount = 0;

LRESULT CALLBACK TooltipStandIn(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == TTM_RELAYEVENT) {
        g_relayed = *reinterpret_cast<const MSG*>(lParam);
        g_relayCount++;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(Pointer, TheTooltipsSeeThePointerShiftedByTheirOffset)
{
    HWND tooltip = dispatch_test::CreateTestWindow("LumarixTooltipStandIn", TooltipStandIn, 10, 10);
    engine->m_tooltip = tooltip;
    engine->m_objectTooltip = tooltip;
    engine->m_tooltipOwner = window->m_hWnd;
    engine->m_tooltipOffset[0] = 3;
    engine->m_tooltipOffset[1] = 24;
    g_relayCount = 0;
    engine->RelayTooltipMouse(POINT{40, 50}, WM_LBUTTONDOWN);
    EXPECT_EQ(g_relayCount, 2) << "the active tooltip and the object tooltip";
    EXPECT_EQ(g_relayed.hwnd, window->m_hWnd);
    EXPECT_EQ(g_relayed.message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(g_relayed.wParam, 1u);
    EXPECT_EQ(LOWORD(g_relayed.lParam), 43);
    EXPECT_EQ(HIWORD(g_relayed.lParam), 74);

    engine->OnMouseMove(0, 60, 70);
    EXPECT_EQ(g_relayed.message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(g_relayed.wParam, 0u);
    EXPECT_EQ(LOWORD(g_relayed.lParam), 63);

    engine->m_tooltipsEnabled = 0;
    g_relayCount = 0;
    engine->RelayTooltipMouse(POINT{1, 1}, WM_MOUSEMOVE);
    EXPECT_EQ(g_relayCount, 0);
    engine->m_tooltip = nullptr;
    engine->m_objectTooltip = nullptr;
    DestroyWindow(tooltip);
}

float g_now = 0;

TEST_F(Pointer, QuickMovesCloseTheScreensaverAndPausesDoNot)
{
    engine->m_clock = [] { return g_now; };
    engine->m_closeOnInput = 1;
    engine->m_closeOnMouseMove = 1;
    for (float step : {0.2f, 0.05f}) {
        SCOPED_TRACE(step);
        g_now = 10.0f;
        engine->m_lastMoveTime = 0;
        window->m_seen.clear();
        for (int i = 0; i < 5; i++) {
            engine->OnMouseMove(0, 100 + i, 100);
            g_now += step;
        }
        window->Pump(20);
        EXPECT_EQ(window->Count(WM_CLOSE), step < 0.1f ? 1 : 0);
    }
}

TEST_F(Pointer, APressDragsTheViewOrTheObjectUnderIt)
{
    HWND external = dispatch_test::CreateTestWindow("LumarixExternalStandIn", DefWindowProcA, 10, 10);
    struct Case {
        const char* name;
        int32_t objectId;
        int32_t relative;
        int32_t mouseMode;
        int32_t capturedControl;
        bool outside;
        int32_t mode, originX, originY;
    };
    const Case cases[] = {
        {"view, relative movement", -1, 1, 2, -1, false, DragView, 120, 80},
        {"view, from the centre", -1, 0, 2, -1, false, DragView, kW / 2, kH / 2},
        {"view, dragging frame", -1, 0, 1, -1, false, DragView, 120, 80},
        {"object under the press", 42, 1, 2, -1, false, DragObjectPending, 120, 80},
        {"timeline control", -1, 1, 2, 17, false, DragView, -1, 80},
        {"view in the external window", -1, 1, 2, -1, true, DragView, 120, 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine->m_firstFrame.relMouseMove = c.relative;
        engine->m_firstFrame.mouseMode = c.mouseMode;
        engine->m_firstFrame.gridColumn = 2;
        engine->m_firstFrame.gridRow = 3;
        engine->m_pointerObjectId = c.objectId;
        engine->m_capturedControl = c.capturedControl;
        engine->m_externalWnd.m_hWnd = c.outside ? external : nullptr;
        engine->m_externalWnd.m_externalMode = c.outside ? window->m_hWnd : nullptr;
        engine->m_mouseX = 120;
        engine->m_mouseY = 80;
        engine->BeginViewDrag();
        EXPECT_EQ(engine->m_dragMode, c.mode);
        EXPECT_EQ(engine->m_dragObjectId, c.objectId == -1 ? -1 : c.objectId);
        EXPECT_EQ(engine->m_dragOrigin[0], c.originX);
        EXPECT_EQ(engine->m_dragOrigin[1], c.originY);
        EXPECT_EQ(engine->m_pressPos[0], 120);
        EXPECT_EQ(engine->m_dragGridCell[1], 3);
        EXPECT_EQ(GetCapture(), c.outside ? external : window->m_hWnd);
        engine->EndDrag();
        EXPECT_EQ(engine->m_dragMode, DragNone);
        EXPECT_EQ(engine->m_dragObjectId, -1);
        EXPECT_EQ(GetCapture(), nullptr);
    }
    engine->m_externalWnd.m_hWnd = nullptr;
    engine->m_externalWnd.m_externalMode = nullptr;
    DestroyWindow(external);

    // A toolbar slot under the press: no drag, the press position is still kept.
    engine->m_hoverButton = 3;
    engine->m_mouseX = 9;
    engine->BeginViewDrag();
    EXPECT_EQ(engine->m_dragMode, DragNone);
    EXPECT_EQ(engine->m_pressPos[0], 9);
}

TEST_F(Pointer, TheTicksLookAtFocusAndCaptureFollowsTheEnginesOwnCaptures)
{
    SetFocus(window->m_hWnd);
    engine->TakeTickInput(false);
    EXPECT_EQ(engine->GetFocus(), ::GetFocus());
    EXPECT_EQ(engine->GetCapture(), nullptr);
    // A capture taken and let go by the engine inside the tick is seen at once.
    engine->CaptureMouse(nullptr);
    EXPECT_EQ(engine->GetCapture(), window->m_hWnd);
    EXPECT_EQ(engine->GetCaptureState(), CaptureOtherWindow);
    engine->TakeTickInput(false);
    engine->ReleaseMouseCapture();
    EXPECT_EQ(engine->GetCapture(), nullptr);
    EXPECT_EQ(engine->GetCaptureState(), CaptureNone);
    engine->DropTickInput();

    // Keys are looked at through the injected source whatever the queue saw.
    engine->m_keyState = [](int key) -> SHORT { return key == VK_LEFT ? SHORT(0x8000) : 0; };
    engine->TakeTickInput(true);
    EXPECT_TRUE(engine->IsKeyDown(VK_LEFT));
    EXPECT_FALSE(engine->IsKeyDown(VK_RIGHT));
    engine->DropTickInput();
    engine->m_keyState = nullptr;
}

}  // namespace
