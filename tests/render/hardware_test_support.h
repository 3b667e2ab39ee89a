// What the hardware tests and the back-end bench share: a visible window of a given client size,
// and reading a device's frame back (the locked frame on Software and Direct3D 9, exact;
// glReadPixels of the back buffer on OpenGL).
#pragma once

#include <windows.h>
#include <GL/gl.h>

#include <cstddef>
#include <cstdint>

#include "render/render_device.h"

namespace hardware_test {

// A visible overlapped window (a popup with popup set) whose client area is width x height at
// (x, y), of a class registered once per name; none on failure.
inline HWND CreateVisibleWindow(const char* className, int x, int y, int width, int height,
                                DWORD exStyle = 0, bool popup = false)
{
    WNDCLASSA wc = {};
    if (!GetClassInfoA(GetModuleHandleA(nullptr), className, &wc)) {
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = className;
        RegisterClassA(&wc);
    }
    const DWORD style = (popup ? WS_POPUP : WS_OVERLAPPEDWINDOW) | WS_VISIBLE;
    RECT rect = {0, 0, width, height};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    HWND window = CreateWindowExA(exStyle, className, className, style, x, y,
                                  rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    return window;
}

// The pixel at (x, y) of the frame drawn so far, 0x00RRGGBB; 0xFFFFFFFF when the frame cannot
// be locked.
inline uint32_t ReadBackPixel(CObjeto2D& device, int x, int y)
{
    if (device.backEnd == RenderOpenGL) {
        uint8_t rgba[4] = {};
        glReadBuffer(GL_BACK);
        glReadPixels(x, device.params->height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return (static_cast<uint32_t>(rgba[0]) << 16) | (rgba[1] << 8) | rgba[2];
    }
    uint8_t* frame = device.LockFrame();
    if (!frame)
        return 0xFFFFFFFF;
    const uint8_t* p = frame + static_cast<ptrdiff_t>(y) * device.params->stride +
                       static_cast<ptrdiff_t>(x) * device.params->bytesPerPixel;
    const uint32_t value = (static_cast<uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
    device.UnlockFrame();
    return value;
}

// Clears the frame to the colour, reads the middle pixel back and presents: the pixel, or
// 0xFFFFFFFF when the scene could not begin.
inline uint32_t ClearAndReadBack(CObjeto2D& device, uint32_t colour, HRESULT* presented = nullptr)
{
    device.backgroundColour = colour;
    if (device.BeginScene(nullptr) != 0)
        return 0xFFFFFFFF;
    device.Clear(true);
    const uint32_t pixel = ReadBackPixel(device, device.params->width / 2, device.params->height / 2);
    device.EndScene();
    const HRESULT result = device.Present(nullptr);
    if (presented)
        *presented = result;
    return pixel;
}

}  // namespace hardware_test
