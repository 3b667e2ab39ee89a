// Loading a frame's imagery: its loader thread and its geometry.
#include "sources/frame.h"

bool CFrame::StartLoading(const char*, HWND, UINT)
{
    // Not built yet: answers false (no loader thread is started).
    return false;
}

bool CFrame::CreateGeometry(int32_t, int32_t, int32_t, int32_t, int32_t)
{
    // Not built yet: answers false (the frame gets no meshes or image slots).
    return false;
}

void CFrame::ShowGridImage(int32_t)
{
    // Not built yet: does nothing (a grid frame has no images to show).
}
