#pragma once
// The render device and viewport of one output window (or of an off-screen target).
#include <windows.h>

#include <cstdint>

#include "core/item_list.h"

class CFrame;

// The drawing back end of a device.
enum RenderBackEnd : int32_t {
    RenderSoftware = 0,
    RenderDirect3D9 = 1,
    RenderOpenGL = 2,
};

class CObjeto2D {
public:
    CObjeto2D();
    virtual ~CObjeto2D();

    CObjeto2D(const CObjeto2D&) = delete;
    CObjeto2D& operator=(const CObjeto2D&) = delete;

    // Creates the device for the window with the current back end: 0 on success, non-zero on
    // failure. No back end exists yet, so every creation fails.
    int CreateDevice(int width, int height, HWND window);
    // Waits until the device is idle, then releases every device resource (with the DirectDraw
    // object when asked). Nothing is held while no back end exists.
    void ReleaseDevice(int releaseDirectDraw);
    // Drops one frame's meshes and textures from the device (discard: free them for good).
    // Nothing is held while no back end exists.
    void EvictResources(CFrame* frame, int discard);

    // Images, frames and meshes that hold copies on the device, each an ObjectItem keyed by the
    // sprite or mesh it stands for (ObjectItem::linkedObject). Item lists whose records hold
    // sprites or meshes point their CObjeto::residentList here so that destroying a record
    // withdraws it.
    CObjeto residentList;
};
