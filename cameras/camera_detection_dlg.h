// CCameraDetectionDlg: the motion-detection dialog. It keeps the parameter values that the
// dispatcher fetches from and sends to a camera.
#pragma once

#include <windows.h>

#include <cstdint>

#include "cameras/camera_link.h"

class CFrame;

class CCameraDetectionDlg {
public:
    // The reference-image method and the 20 parameters followed by the final flag, in wire order.
    int32_t m_method = 2;
    int32_t m_values[kDetectionParamValues] = {6,   10, 25, 100, 100, 10, 0,  100, 50, 5, 0,
                                               0,   10, 50, 100, 0,   85, 0,  100, 0,  1};
    CFrame** m_currentFrame = nullptr;  // the engine's current frame, not owned
    HWND m_hWnd = nullptr;

    // Creates the window on first use (owned by owner) and shows it; false when it cannot.
    bool Show(HWND owner);
    // Puts the values into the controls, the check box and the method list.
    void RefreshControls();
};
