// Full screen on every back end: entering and leaving, the window's styles and place, the
// display mode of the software back end, and changes of the screen's colour depth.
#include "render/render_device.h"

#include "core/language.h"
#include "core/system_wrappers.h"

namespace {

constexpr LONG_PTR kOverlappedWindowStyles = 0xCF0000;  // WS_OVERLAPPEDWINDOW
constexpr DWORD kFullscreenCooperation =
    DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE | DDSCL_SETDEVICEWINDOW;  // 0x113
constexpr int32_t kFallbackWidth = 640;
constexpr int32_t kFallbackHeight = 480;
constexpr int32_t kFallbackBits = 16;

int32_t Width(const RECT& r) { return r.right - r.left; }
int32_t Height(const RECT& r) { return r.bottom - r.top; }

void ShowDeviceError(int line)
{
    ShowMessageBox(nullptr, GetLanguageLine(line), kMessageBoxCaption, MB_OK | MB_ICONERROR);
}

}  // namespace

HRESULT CObjeto2D::SetFullscreenDisplayMode(int32_t width, int32_t height, int32_t bits)
{
    HRESULT result = BackEndFault(CallDisplayMode);
    if (FAILED(result))
        return result;
    if (!gdiMode && directDraw)
        return directDraw->SetDisplayMode(static_cast<DWORD>(width), static_cast<DWORD>(height),
                                          static_cast<DWORD>(bits), 0, 0);
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmBitsPerPel = static_cast<DWORD>(bits);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL ? S_OK : E_FAIL;
}

void CObjeto2D::RestoreDisplayMode()
{
    if (!displayModeChanged)
        return;
    displayModeChanged = 0;
    if (!gdiMode && directDraw)
        directDraw->RestoreDisplayMode();
    else
        ChangeDisplaySettingsA(nullptr, 0);
}

HRESULT CObjeto2D::ApplyWindowMode(int32_t restoreWindow)
{
    if (offscreenTarget)
        return S_OK;
    const bool software = backEnd == RenderSoftware;
    if (!fullscreen) {
        if (savedStyle == 0)
            return S_OK;
        if (window && savedStyle != 0xFFFFFFFFu) {
            SetWindowLongPtrA(window, GWL_STYLE, static_cast<LONG_PTR>(savedStyle));
            SetWindowLongPtrA(window, GWL_EXSTYLE, static_cast<LONG_PTR>(savedExStyle));
        }
        const uint32_t style = savedStyle, exStyle = savedExStyle;
        savedStyle = savedExStyle = 0;
        if (software) {
            RestoreDisplayMode();
            if (!gdiMode && directDraw) {
                HRESULT result = directDraw->SetCooperativeLevel(window, DDSCL_NORMAL);
                if (FAILED(result))
                    return result;
            }
        }
        if (restoreWindow && window && style != 0xFFFFFFFFu) {
            deviceRect = savedWindowRect;
            RECT frame = deviceRect;
            AdjustWindowRectEx(&frame, style, GetMenu(window) != nullptr, exStyle);
            if (style & WS_CHILD)
                MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&frame), 2);
            // A window that was not topmost before leaves the topmost band it had in full screen.
            HWND order = (exStyle & WS_EX_TOPMOST) ? HWND_TOPMOST : HWND_NOTOPMOST;
            SetWindowPos(window, order, frame.left, frame.top, Width(frame), Height(frame),
                         SWP_FRAMECHANGED | SWP_NOACTIVATE);
        }
        return S_OK;
    }

    if (window) {
        if (savedStyle == 0 || savedStyle == 0xFFFFFFFFu) {
            savedStyle = static_cast<uint32_t>(GetWindowLongPtrA(window, GWL_STYLE));
            savedExStyle = static_cast<uint32_t>(GetWindowLongPtrA(window, GWL_EXSTYLE));
        }
        LONG_PTR style = (static_cast<LONG_PTR>(savedStyle) & ~kOverlappedWindowStyles) | WS_POPUP;
        LONG_PTR exStyle = (static_cast<LONG_PTR>(savedExStyle) & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE)) |
                           WS_EX_TOPMOST;
        SetWindowLongPtrA(window, GWL_STYLE, style);
        SetWindowLongPtrA(window, GWL_EXSTYLE, exStyle);
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_FRAMECHANGED | SWP_NOACTIVATE);
    } else {
        savedStyle = savedExStyle = 0xFFFFFFFFu;
    }
    if (!software)
        return S_OK;

    const bool directDrawMode = !gdiMode && directDraw;
    if (directDrawMode && !window)
        return S_OK;
    if (directDrawMode) {
        HRESULT result = BackEndFault(CallExclusiveMode);
        if (SUCCEEDED(result))
            result = directDraw->SetCooperativeLevel(window, kFullscreenCooperation);
        if (FAILED(result) && result != DDERR_EXCLUSIVEMODEALREADYSET)
            return result;
    }
    const int32_t bits = params->bytesPerPixel * 8;
    if (Width(fullscreenRect) != desktopWidth || Height(fullscreenRect) != desktopHeight) {
        HRESULT result = SetFullscreenDisplayMode(Width(fullscreenRect), Height(fullscreenRect), bits);
        if (FAILED(result)) {
            fullscreenRect = deviceRect = {0, 0, kFallbackWidth, kFallbackHeight};
            result = SetFullscreenDisplayMode(kFallbackWidth, kFallbackHeight, kFallbackBits);
        }
        if (FAILED(result)) {
            if (directDrawMode)
                directDraw->SetCooperativeLevel(window, DDSCL_NORMAL);
            return result;
        }
        displayModeChanged = 1;
    }
    if (!directDrawMode && window)
        MoveWindow(window, fullscreenRect.left, fullscreenRect.top, Width(fullscreenRect),
                   Height(fullscreenRect), TRUE);
    return S_OK;
}

int32_t CObjeto2D::ToggleFullscreen(int32_t width, int32_t height)
{
    if (!window)
        return 0;
    UpdateSize(-1, -1, -1);
    status |= DeviceTogglingFullscreen;
    fullscreen = !fullscreen;
    int32_t result;
    if (fullscreen) {
        const uint32_t background = backgroundColour;
        backgroundColour = 0;
        savedWindowRect = deviceRect;
        GetScreenSize();
        if (width == 0 || height == 0) {
            width = desktopWidth;
            height = desktopHeight;
        }
        deviceRect = fullscreenRect = {0, 0, width, height};
        result = ResetDevice(0);
        if (result == 0) {
            SetFocus(window);
        } else {
            // Back to the window where it was (the saved rectangle is in screen coordinates,
            // as the windowed reset places it).
            status &= ~static_cast<uint32_t>(DeviceResetting);
            fullscreen = 0;
            if (ResetDevice(1) != 0)
                PostMessageA(window, WM_CLOSE, 0, 0);
            ShowDeviceError(kLineCannotChangeToFullscreen);
        }
        backgroundColour = background;
    } else {
        result = ResetDevice(1);
        if (result != 0) {
            fullscreen = 1;
            deviceRect = fullscreenRect = {0, 0, kFallbackWidth, kFallbackHeight};
            status &= ~static_cast<uint32_t>(DeviceResetting);
            if (ResetDevice(0) != 0)
                PostMessageA(window, WM_CLOSE, 0, 0);
        }
    }
    status &= ~static_cast<uint32_t>(DeviceTogglingFullscreen);
    ignoreNextDisplayChange = 1;
    return result;
}

int32_t CObjeto2D::OnDisplayChange()
{
    const int32_t depth = GetScreenSize();
    if (ignoreNextDisplayChange || depth == params->bitsPerPixel) {
        ignoreNextDisplayChange = 0;
        return 0;
    }
    if (status & (DeviceCreating | DeviceTogglingFullscreen | DeviceResetting))
        return 0;
    params->bitsPerPixel = depth;
    params->bytesPerPixel = (depth + (depth == 15)) / 8;
    int32_t result;
    if (depth <= 8 && !gdiMode) {
        ReleaseDevice(1);
        gdiMode = 1;
        result = CreateDevice(Width(deviceRect), Height(deviceRect), window);
    } else {
        result = ResetDevice(0);
    }
    if (result != 0 && window)
        PostMessageA(window, WM_CLOSE, 0, 0);
    return result;
}
