#include "cameras/camera_detection_dlg.h"

bool CCameraDetectionDlg::Show(HWND)
{
    // Not built yet: answers false (the dialog has no window yet).
    return false;
}

void CCameraDetectionDlg::RefreshControls()
{
    // Not built yet: does nothing (the dialog has no controls yet).
}
