// The main device of an engine drawing into an image, looking ahead at zoom 1, for the scene,
// layout and pointer tests.
#pragma once

#include <cstring>

#include "render/mesh.h"
#include "render/render_device.h"
#include "sources/frame.h"
#include "tests/render/raster_cube_scene.h"

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

// Fills the image: its left half with left, its right half with right.
inline void FillHalves(CSprite& image, uint32_t left, uint32_t right)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            std::memcpy(image.pixels + y * image.stride + x * 4, x < image.width / 2 ? &left : &right, 4);
}

// Appends to the frame a face straight ahead at distance 100, textured with an 8 x 8 image in
// the colours (left and right half), marked ready to draw; false when it cannot be had.
inline bool AddFace(CFrame& frame, CSprite& texture, uint32_t left, uint32_t right)
{
    if (texture.CreateImage(8, 8, 32, true, 0, false) != 4)
        return false;
    FillHalves(texture, left, right);
    CObjeto3D* mesh = new CObjeto3D();
    if (!cube_scene::BuildFaceMesh(0, 100.0f, *mesh)) {
        delete mesh;
        return false;
    }
    mesh->loadState = MeshLoaded;
    mesh->texture1 = &texture;
    mesh->renderFlags |= MeshRenderTextured;
    mesh->drawing = 1;
    mesh->ComputeBoundingCorners(nullptr, 4, &mesh->objectCorners);
    mesh->UpdateWorldVertices();
    const int32_t index = frame.meshCount;
    frame.meshes[index] = mesh;
    frame.meshCount = index + 1;
    return true;
}

}  // namespace scene_test
