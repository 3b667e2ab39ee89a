#pragma once
// The child window of a secondary viewer-window item; it owns and presents its own render device.
#include <windows.h>

#include "platform/window.h"

class CObjeto2D;

class CVentanaVisor : public CWnd {
public:
    CVentanaVisor();
    ~CVentanaVisor() override;

    CVentanaVisor(const CVentanaVisor&) = delete;
    CVentanaVisor& operator=(const CVentanaVisor&) = delete;

    // Destroys the window (which deletes the render device); FALSE when there is no window.
    BOOL DestroyWindow();

    CObjeto2D* device = nullptr;  // owned; null until the viewer-window item gives it one

protected:
    void OnSize(UINT type, int width, int height) override;
    void OnPaint() override;
    void OnDestroy() override;
};
