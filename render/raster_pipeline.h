#pragma once
// The geometry of the software rasteriser, below the render device: frustum outcodes, vertex
// transform with fog, triangle clipping and snapping, triangle set-up into the work buffer and
// the spans with their perspective pieces. The device methods (CullTriangles, TransformVertices,
// ClipTriangle, SnapTriangleVertices, RasteriseMesh) fill a RasterWork record from the device
// and call these.
//
// Files: raster_transform.cpp (outcodes, culling, transform, fog), raster_clip.cpp (clipping,
// projection, snapping, facing), raster_triangle.cpp (set-up, edges, spans), raster_mesh.cpp
// (the device methods).
#include <cstddef>
#include <cstdint>

#include "render/raster_vertex.h"
#include "render/span_routine.h"

struct MeshVertex;

constexpr int kRasterMaxTriangleHeight = 8192;  // scanlines after supersampling; this many is refused
// The work buffer holds one 64-byte record per scanline of the triangle being drawn.
constexpr size_t kRasterScanlineBytes = 64;
constexpr size_t kRasterWorkBytesNeeded = kRasterMaxTriangleHeight * kRasterScanlineBytes;
constexpr int kRasterPieceLength = 8;           // perspective pieces
constexpr int kClipPolygonCapacity = 16;        // records of a polygon buffer (3 in, up to 9 out)
constexpr int32_t kRasterDepthScale = 0x7FFFFFFF;

// The clip volume of a draw: depth planes and the inclusive clip rectangle.
struct ClipVolume {
    float nearZ = 1.0f;
    float farZ = 10000.0f;
    int32_t x0 = 0, x1 = 99, y0 = 0, y1 = 99;
    int32_t height = 100;  // surface height, for bottom-up mirroring
    bool bottomUp = false;
};

// The rasteriser's working record for one mesh range: where samples go and how they are coloured.
struct RasterWork {
    // Destination: the frame (or, with accumulation, the accumulation buffer).
    uint8_t* pixels = nullptr;
    int32_t stride = 0;         // bytes per frame row
    int32_t bytesPerPixel = 4;
    int32_t width = 0, height = 0;
    uint16_t* depthBuffer = nullptr;         // width x height
    uint16_t* accumulationBuffer = nullptr;  // width x height x 3
    int accumShift = 0;                      // 0, 1 or 2: samples per pixel side 1, 2 or 4
    ClipVolume clip;
    uint8_t* workBuffer = nullptr;  // at least kRasterWorkBytesNeeded
    // Span set-up.
    uint32_t state = 0;  // effective state bits
    uint32_t colourAdd = 0, colourMultiply = 0xFFFFFF;
    int32_t depthBias = 0;  // whole z-buffer units nearer
    const SpanSlot* slot = nullptr;
    SpanConstants constants;
};

// --- raster_transform.cpp ---

// Outcode of a world position against the six planes (a, b, c, d): bit 0x20 >> i when the signed
// distance to plane i is 0 or less.
uint16_t ComputeOutcode(const float planes[6][4], const float position[3]);
// The fog amount of a view distance: 0 up to fogStart, 32767 beyond fogEnd, linear between.
uint16_t FogAmount(float depth, float fogStart, float fogEnd);
// One vertex through the matrix (row vectors): clip position, depth = z + near, texture
// coordinates, colours, fog (when asked) and screen position. Outcode and used flag stay.
void TransformVertex(const MeshVertex& in, const float matrix[16], float nearZ, bool fog,
                     float fogStart, float fogEnd, ScreenVertex* out);

// --- raster_clip.cpp ---

// Whether a triangle faces the viewer for screen-space culling: the determinant of its clip-space
// (x, y, w) rows, so that a vertex behind the eye does not mirror the answer.
bool IsFrontFacing(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c);
// Projects a vertex in place: depth to 1 / depth, u and v times it, screen x, y (mirrored on
// bottom-up surfaces).
void ProjectVertex(ScreenVertex* v, const ClipVolume& clip);
// Clips the polygon of 3 records (buffer of kClipPolygonCapacity) against far, near, then
// projects and clips against the clip rectangle. The vertex count left (0..9), in the buffer.
int ClipPolygon(ScreenVertex* polygon, const ClipVolume& clip);
// Rounds the three screen positions to whole pixels (ties to even) and re-evaluates 1 / depth,
// u / depth and v / depth on the plane through the unsnapped vertices.
void SnapVertices(ScreenVertex* a, ScreenVertex* b, ScreenVertex* c, const ClipVolume& clip);
// One colour channel between a and b at t, in the fixed point of the clipper.
uint16_t LerpColour(uint16_t a, uint16_t b, float t);

// --- raster_range.cpp ---

// One index range of a mesh, transformed, as RasteriseMesh draws it.
struct RasterRange {
    const ScreenVertex* vertices = nullptr;
    int32_t vertexCount = 0;
    const void* indices = nullptr;  // indexWidth bytes each
    int32_t indexWidth = 2;
    int32_t firstIndex = 0;
    int32_t indexCount = 0;
    const uint8_t* triangleFlags = nullptr;  // of the range's first triangle
    bool useVisibleBits = false;  // device culling with the mesh's cull-triangles byte: skip invisible
    bool cullBackFaces = false;   // otherwise, CullMode not 0: screen-space facing test
    // Wireframe: each edge goes here (none: nothing is drawn); answers whether it drew.
    bool (*drawEdge)(void* context, const ScreenVertex& a, const ScreenVertex& b) = nullptr;
    void* edgeContext = nullptr;
};

// Draws the range's triangles: culling, fast path or clipping, fans of snapped triangles. The
// whole range runs under one recovery point: a fault abandons the rest of the range. The number
// of triangles scan-converted, or -1 when a fault cut the range short.
int RasteriseRange(const RasterRange& range, const RasterWork& work);

// --- raster_triangle.cpp ---

// Scan-converts one projected, snapped triangle and runs the span routine over its spans.
// False when it was refused (degenerate, or 8192 scanlines or more).
bool DrawTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                  const RasterWork& work);
