// 3DS models loaded into a frame's meshes.
#include "render/render_device.h"

bool CObjeto2D::Load3DS(const char*, CFrame*, int32_t)
{
    // Not built yet: answers false (no model is loaded).
    return false;
}
