#pragma once
// Shared by the geometry builders (render/geometry*.cpp) only.
#include "render/mesh.h"

// Generated positions are quantised to steps of 1/1000, so that a vertex on a border shared
// by two tiles, computed from the same pixel position in both, comes out identical.
constexpr float kCoordinateSteps = 1000.0f;
float RoundCoordinate(float x);

// Appends triangles to a mesh's index list from slot 0 on, through CObjeto3D::SetTriangle;
// swapFirstTwo mirrors every triangle. Triangles past the allocated indices are dropped.
struct TriangleWriter {
    CObjeto3D& mesh;
    int slot;
    bool swapFirstTwo;

    void Emit(int a, int b, int c);
};
