// The cube panorama shared by the rasteriser's tests and benchmarks: six faces seen from inside,
// the device's projection (45 degrees vertical at zoom 1) and viewport, a frame's working record
// and the drawing of one face through the rasteriser.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/matrix_math.h"
#include "images/sprite.h"
#include "render/mesh.h"
#include "render/raster_pipeline.h"

namespace cube_scene {

constexpr float kNear = 1.0f, kFar = 10000.0f;

struct Face {
    float p[4][3];  // corners on the unit cube, texture coordinates kUv
};
inline constexpr Face kFaces[6] = {
    {{{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}}},      // +z
    {{{1, 1, 1}, {1, 1, -1}, {1, -1, -1}, {1, -1, 1}}},      // +x
    {{{1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}}},  // -z
    {{{-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}}},  // -x
    {{{-1, 1, -1}, {1, 1, -1}, {1, 1, 1}, {-1, 1, 1}}},      // +y
    {{{-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}}},  // -y
};
inline constexpr float kUv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
inline constexpr uint16_t kQuad[6] = {0, 1, 2, 0, 2, 3};

// view x projection (row vectors) for a camera at the centre.
inline void ViewProjection(float tilt, float pan, int width, int height, float out[16]) {
    float rot[16], proj[16] = {};
    MakeRotationMatrix(rot, tilt, pan, 0);
    float c = std::cos(static_cast<float>(M_PI) / 8) / std::sin(static_cast<float>(M_PI) / 8);
    proj[0] = kNear * c * static_cast<float>(height) / static_cast<float>(width);
    proj[5] = kNear * c;
    proj[10] = kFar / (kFar - kNear);
    proj[11] = 1;
    proj[14] = kNear * kFar / (kNear - kFar);
    MultiplyMatrix(out, rot, proj);
}

// view x projection x viewport.
inline void WorldToScreen(float tilt, float pan, int width, int height, float out[16]) {
    float vp[16], viewport[16] = {};
    ViewProjection(tilt, pan, width, height, vp);
    viewport[0] = static_cast<float>(width) / 2;
    viewport[5] = -static_cast<float>(height) / 2;
    viewport[10] = 1;
    viewport[12] = static_cast<float>(width) / 2;
    viewport[13] = static_cast<float>(height) / 2;
    viewport[15] = 1;
    MultiplyMatrix(out, vp, viewport);
}

// The four vertices of a face of a cube of the half size, white.
inline void FaceVertices(int face, float half, MeshVertex out[4]) {
    for (int i = 0; i < 4; ++i) {
        out[i] = MeshVertex();
        out[i].wx = kFaces[face].p[i][0] * half;
        out[i].wy = kFaces[face].p[i][1] * half;
        out[i].wz = kFaces[face].p[i][2] * half;
        out[i].u = kUv[i][0];
        out[i].v = kUv[i][1];
        for (int c = 0; c < 4; ++c)
            out[i].diffuse16[c] = 0xFF00;
    }
}

// Makes mesh the two white triangles of a face of a cube of the half size, in model coordinates
// with its world vertices updated; false when its arrays cannot be had.
inline bool BuildFaceMesh(int face, float half, CObjeto3D& mesh) {
    if (!mesh.AllocateArrays(4, 6, true, true))
        return false;
    MeshVertex v[4];
    FaceVertices(face, half, v);
    for (int i = 0; i < 4; ++i) {
        mesh.vertices[i].x = v[i].wx;
        mesh.vertices[i].y = v[i].wy;
        mesh.vertices[i].z = v[i].wz;
        mesh.vertices[i].u = v[i].u;
        mesh.vertices[i].v = v[i].v;
        mesh.vertices[i].diffuse = 0xFFFFFFFF;
    }
    mesh.SetTriangle(0, 0, 1, 2);
    mesh.SetTriangle(3, 0, 2, 3);
    mesh.UpdateWorldVertices();
    return true;
}

// Makes image a size x size 32-bit face texture of the texels kept in 256-pixel tiles, and mesh
// the face textured with it, loaded, with its boxes, as a frame holds its faces (the device
// splits it by the tiles at its first draw); false when either cannot be had.
inline bool BuildTiledFace(int face, float half, const std::vector<uint32_t>& texels, int size,
                           uint32_t renderFlags, CSprite& image, CObjeto3D& mesh) {
    if (image.CreateImage(size, size, 32, false, 0, false) != 4)
        return false;
    for (int y = 0; y < size; ++y)
        std::memcpy(image.pixels + static_cast<size_t>(y) * image.stride,
                    texels.data() + static_cast<size_t>(y) * size, static_cast<size_t>(size) * 4);
    image.SplitIntoTiles(-1, -1, -1);
    if (!BuildFaceMesh(face, half, mesh))
        return false;
    mesh.loadState = MeshLoaded;
    mesh.texture1 = &image;
    mesh.renderFlags = renderFlags;
    mesh.ComputeBoundingCorners(nullptr, 4, &mesh.objectCorners);
    mesh.UpdateWorldVertices();
    return true;
}

// A working record for a whole frame without buffers.
inline RasterWork FrameWork(uint8_t* pixels, int stride, int bits, int width, int height, uint8_t* workBuffer) {
    RasterWork w;
    w.pixels = pixels;
    w.stride = stride;
    w.bytesPerPixel = bits == 15 ? 2 : bits / 8;
    w.width = width;
    w.height = height;
    w.clip.x1 = width - 1;
    w.clip.y1 = height - 1;
    w.clip.height = height;
    w.workBuffer = workBuffer;
    w.constants.destBits = bits;
    return w;
}

// The benchmarks' face texture: 32-pixel checks of a hue per face and grey, with a fine ramp.
inline std::vector<uint32_t> MakeFaceTexture(int face, int size) {
    std::vector<uint32_t> t(static_cast<size_t>(size) * size);
    uint32_t hue = 0x00402010u * static_cast<uint32_t>(face + 1);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            t[static_cast<size_t>(y) * size + x] = (((x >> 5) ^ (y >> 5)) & 1 ? hue : 0x00C0C0C0) ^
                                                   static_cast<uint32_t>((x + y) & 0x3F);
    return t;
}

// The benchmarks' views: pan all round at three tilts.
struct View {
    float tilt, pan;
};
inline std::vector<View> SweepViews() {
    std::vector<View> v;
    for (float tilt : {-40.0f, 0.0f, 40.0f})
        for (int pan = 0; pan < 360; pan += 15)
            v.push_back({tilt, static_cast<float>(pan)});
    return v;
}

// Draws one face with a 32-bit texture through the cache: triangles drawn, -1 after a fault or
// when no routine could be made.
inline int DrawFace(RasterWork& w, const SpanCache& cache, uint32_t state, uint32_t features, const float m[16],
                    const MeshVertex vertices[4], const uint32_t* texels, int texSize) {
    SpanDrawInputs in;
    in.deviceState = state;
    in.meshFeatures = features;
    in.hasTexture1 = true;
    in.texture1Bits = 32;
    in.texture1Width = in.texture1Height = texSize;
    in.destBits = w.constants.destBits;
    int slot = FindSpanRoutine(cache, in);
    if (slot < 0)
        return -1;
    w.slot = &cache.slots[slot];
    w.state = EffectiveSpanState(state, features);
    w.constants.texture1 = {reinterpret_cast<const uint8_t*>(texels), texSize, texSize, 32, nullptr};
    ScreenVertex screen[4];
    for (int i = 0; i < 4; ++i)
        TransformVertex(vertices[i], m, kNear, false, 0, 0, &screen[i]);
    RasterRange range;
    range.vertices = screen;
    range.vertexCount = 4;
    range.indices = kQuad;
    range.indexCount = 6;
    return RasteriseRange(range, w);
}

}  // namespace cube_scene
