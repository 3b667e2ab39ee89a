// CObjeto3D: texture binding, texture coordinates and device forms.
#include <algorithm>

#include "render/mesh.h"

namespace {

float Clamp01(float x) {
    return std::min(1.0f, std::max(0.0f, x));
}

}  // namespace

void CObjeto3D::SetTexture(CSprite* sprite, int newUFlip, int newVFlip, int newWinding, bool project) {
    texture1 = sprite;
    const int count = VisibleVertexCount();
    if (static_cast<uint8_t>(newWinding) != winding) {
        winding = static_cast<uint8_t>(newWinding);
        const int slots = VisibleIndexCount();
        for (int slot = 0; slot + 2 < slots; slot += 3) {
            const int b = ReadIndex(slot + 1);
            SetIndex(slot + 1, ReadIndex(slot + 2));
            SetIndex(slot + 2, b);
        }
        ComputeNormals();
    }
    if (project && geometryType <= 0 && uScale != 0) {
        ProjectTexCoords();
        // Projected coordinates are unflipped whatever was stored: the flips asked for apply.
        uFlip = 1;
        vFlip = 1;
    }
    if (static_cast<uint8_t>(newUFlip) != uFlip) {
        for (int i = 0; vertices && i < count; ++i)
            vertices[i].u = 1.0f - vertices[i].u;
        uFlip = static_cast<uint8_t>(newUFlip);
    }
    if (static_cast<uint8_t>(newVFlip) != vFlip) {
        for (int i = 0; vertices && i < count; ++i)
            vertices[i].v = 1.0f - vertices[i].v;
        vFlip = static_cast<uint8_t>(newVFlip);
    }
    if (sprite)
        renderFlags |= MeshRenderTextured;
}

void CObjeto3D::ProjectTexCoords() {
    if (geometryType > 0 || uScale == 0)
        return;
    const float width = xMax - xMin;
    const float depth = zMax - zMin;
    const int count = VisibleVertexCount();
    for (int i = 0; vertices && i < count; ++i) {
        MeshVertex& v = vertices[i];
        // A flat extent has no position along it.
        const float across = width != 0 ? ((v.x + posX) - xMin) / width : 0.0f;
        const float down = depth != 0 ? (zMax - (v.z + posZ)) / depth : 0.0f;
        v.u = Clamp01(across * uScale + uOffset);
        v.v = Clamp01(down * vScale + vOffset);
    }
}

void CObjeto3D::TransposeTexCoords(bool flipU, bool flipV) {
    const int count = VisibleVertexCount();
    for (int i = 0; vertices && i < count; ++i) {
        MeshVertex& v = vertices[i];
        const float oldU = v.u;
        const float oldV = v.v;
        v.u = flipU ? 1.0f - oldV : oldV;
        v.v = flipV ? 1.0f - oldU : oldU;
    }
    transposed = 1;
}

bool CObjeto3D::PrepareForBackEnd(MeshForm newForm) {
    if (newForm == form)
        return true;
    if (newForm == MeshFormSingle) {
        // The software back end draws the single form with the whole image's coordinates.
        FreeSubMeshes();
        UpdateWorldVertices();
        form = MeshFormSingle;
        return true;
    }
    if (loadState.load() != MeshLoaded)
        return false;
    if (subMeshCount <= 0)
        SplitByTiles();
    form = newForm;
    return true;
}
