// The main device of an engine drawing into an image, looking ahead at zoom 1, for the scene,
// layout and pointer tests.
#pragma once

#include "render/render_device.h"

namespace scene_test {

// True when the device draws into the width x height target afterwards.
inline bool AttachImageTarget(CObjeto2D& view, CSprite& target, int width, int height)
{
    if (!target.Create(width, height, 32, true, 0, false, true, false))
        return false;
    view.SetRenderTarget(&target);
    if (view.CreateDevice(width, height, nullptr) != 0)
        return false;
    view.SetSize(width, height);
    view.ownCamera.zoom = 1;
    view.UpdateViewportAndProjection();
    view.UpdateViewMatrix();
    return true;
}

}  // namespace scene_test
