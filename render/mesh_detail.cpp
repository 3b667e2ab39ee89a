// CObjeto3D: detail levels. Collapsing a vertex removes its two triangles and redirects its
// uses to its parent.
#include <algorithm>

#include "render/mesh.h"

int CObjeto3D::GetIndex(int slot, bool raw) const {
    const int value = ReadIndex(slot);
    if (!hasDetailLevels || raw || value == -1)
        return value;
    const int count = std::max(0, std::min(std::max(vertexCount, publishedVertexCount.load()),
                                           vertexCapacity));
    if (value < 0 || value >= count || !vertices)
        return value;
    // Parents come from files: a chain longer than the vertex count is a cycle.
    int vertex = value;
    for (int steps = 0; !(vertices[vertex].flags & MeshVertexPresent); ++steps) {
        const int parent = vertices[vertex].parent;
        if (parent < 0 || parent >= count || steps >= count)
            return -1;
        vertex = parent;
    }
    return vertex;
}

void CObjeto3D::SetDetailLevel(int newLevel) {
    if (!hasDetailLevels || newLevel == detailLevel)
        return;
    // A loader being stopped gives this up; it is redone at the next level change.
    MeshBusyGuard::Exclusive hold(busy, &abortFlag);
    if (!hold.IsHeld())
        return;
    const int count = VisibleVertexCount();
    const int slots = VisibleIndexCount();
    const int triangles = slots / 3;
    auto setTriangle = [&](int triangle, bool present) {
        // Triangle numbers come from files.
        if (!triangleFlags || triangle < 0 || triangle >= triangles)
            return;
        if (present)
            triangleFlags[triangle] |= MeshTrianglePresent;
        else
            triangleFlags[triangle] &= ~MeshTrianglePresent;
    };
    for (int i = 0; vertices && i < count; ++i) {
        MeshVertex& v = vertices[i];
        if (v.level == kMeshNoLevel)
            continue;
        const bool present = v.level > newLevel;
        if (present)
            v.flags |= MeshVertexPresent;
        else
            v.flags &= ~MeshVertexPresent;
        setTriangle(v.triangleA, present);
        setTriangle(v.triangleB, present);
    }
    for (int t = 0; triangleFlags && t < triangles; ++t)
        if (triangleFlags[t] & MeshTrianglePresent)
            UpdateFaceNormal(t * 3);
    detailLevel = static_cast<uint8_t>(newLevel);
}
