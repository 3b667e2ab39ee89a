#include "viewer/viewer_window.h"

#include "render/render_device.h"

CVentanaVisor::CVentanaVisor() = default;

CVentanaVisor::~CVentanaVisor()
{
    DestroyWindow();
    delete device;
}

BOOL CVentanaVisor::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    BOOL destroyed = ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    delete device;
    device = nullptr;
    return destroyed;
}

void CVentanaVisor::OnSize(UINT type, int, int)
{
    Default();
    // The device reads the window's new client size itself.
    if (device && device->window)
        device->UpdateSize(static_cast<int32_t>(type), -1, -1);
}

void CVentanaVisor::OnPaint()
{
    PAINTSTRUCT paint;
    BeginPaint(m_hWnd, &paint);
    if (device)
        device->Present(nullptr);
    EndPaint(m_hWnd, &paint);
}

void CVentanaVisor::OnDestroy()
{
    Default();
    delete device;
    device = nullptr;
}
