#pragma once
// Small meshes for the mesh and geometry tests.
#include "render/mesh.h"

// A flat quad in the x-z plane from (0, 0, 0) to (size, 0, size): vertices 0 (0, 0), 1 (size, 0),
// 2 (0, size), 3 (size, size); triangles (0, 2, 1) and (1, 2, 3) face up (+y).
inline void MakeQuad(CObjeto3D& mesh, float size = 10.0f) {
    mesh.AllocateArrays(4, 6, true, true);
    const float xs[4] = {0, size, 0, size};
    const float zs[4] = {0, 0, size, size};
    for (int i = 0; i < 4; ++i) {
        mesh.vertices[i].x = xs[i];
        mesh.vertices[i].z = zs[i];
        mesh.vertices[i].u = xs[i] / size;
        mesh.vertices[i].v = zs[i] / size;
        mesh.vertices[i].level = kMeshNoLevel;
    }
    mesh.SetTriangle(0, 0, 2, 1);
    mesh.SetTriangle(3, 1, 2, 3);
    mesh.UpdateWorldVertices();
}

#include <cstdint>
#include <vector>

#include "images/sprite.h"

// An image of a given size that reports pixels, or tiles, without holding any: enough for the
// mesh, which reads only the size and the storage kind.
struct FakeTexture {
    CSprite sprite;
    CSprite* tile = nullptr;
    uint8_t pixel[4] = {};

    FakeTexture(int width, int height, bool tiled) {
        sprite.width = width;
        sprite.height = height;
        if (tiled) {
            sprite.tiles = &tile;
            sprite.tileCount = 1;
        } else {
            sprite.pixels = pixel;
        }
    }
    ~FakeTexture() {
        sprite.tiles = nullptr;
        sprite.tileCount = 0;
        sprite.pixels = nullptr;
    }
};
