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
