#include "sources/frame.h"

#include "render/render_device.h"

CFrame::CFrame() = default;

CFrame::~CFrame()
{
    ClearObjects();
}

void CFrame::ClearObjects()
{
    if (device)
        objects.residentList = &device->residentList;
    objects.RemoveAll();
}

void CFrame::Unload() {}

bool CFrame::IsLoading() const
{
    // Not built yet: answers false (frames have no loader yet).
    return false;
}

void CFrame::UpdateProgress()
{
    // Not built yet: does nothing (frames have no loader yet).
}

void CFrame::ResumePlayback()
{
    // Not built yet: does nothing (frames have no cameras yet).
}

void CFrame::StopCameras()
{
    // Not built yet: does nothing (frames have no cameras yet; no export starts).
}
