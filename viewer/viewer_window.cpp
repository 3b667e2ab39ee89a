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

void CVentanaVisor::OnPaint()
{
    // The device's last image is what the window shows; the paint only validates the window.
    PAINTSTRUCT paint;
    BeginPaint(m_hWnd, &paint);
    EndPaint(m_hWnd, &paint);
}

void CVentanaVisor::OnDestroy()
{
    Default();
    delete device;
    device = nullptr;
}
