// Procedural shapes: planes, cylinders, spheres, discs and fisheye domes as one vertex grid;
// ribbons along polylines.
#include <algorithm>
#include <climits>
#include <cmath>

#include "core/matrix_math.h"
#include "images/sprite.h"
#include "render/geometry_internal.h"
#include "render/mesh.h"

namespace {

// Texture size assumed for a fisheye dome without a texture.
constexpr float kFisheyeUntexturedSize = 100000.0f;

bool IsSphereType(int type) {
    return type == MeshGeometrySphere || type == MeshGeometryFisheye || type == MeshGeometryPolar;
}

bool IsDiscType(int type) {
    return type == MeshGeometryDisc || type == MeshGeometryDiscRemapped;
}

// Triangles of one grid row of cells, by the shape's pole rules: 1 for a closed pole row, else 2.
int TrianglesPerCell(int type, int row, int cellRows, float firstV, float lastV) {
    if (IsSphereType(type)) {
        if (row == 0 && firstV == 0)
            return 1;
        if (row == cellRows - 1 && lastV == 1.0f)
            return 1;
        return 2;
    }
    if (IsDiscType(type) && row == cellRows - 1 && firstV == 0)
        return 1;
    if (type == MeshGeometryPlane || type == MeshGeometryCylinder || IsDiscType(type))
        return 2;
    return 0;
}

// Index count of a grid: three per triangle the writer below emits. This is 3 x (2RC - C per
// closed pole) except for a sphere of one cell row with both poles closed, whose cells each
// still get one triangle.
int64_t GridIndexCount(int type, int cellColumns, int cellRows, float firstV, float lastV) {
    int64_t triangles = 0;
    for (int r = 0; r < cellRows; ++r)
        triangles += static_cast<int64_t>(TrianglesPerCell(type, r, cellRows, firstV, lastV)) * cellColumns;
    return triangles * 3;
}

// Texture and reference coordinates k / C, r / R and the border flags of a grid vertex.
void SetPlainGridVertex(MeshVertex* v, int k, int r, int gridColumns, int gridRows) {
    v->u = v->refU = static_cast<float>(k) / (gridColumns - 1);
    v->v = v->refV = static_cast<float>(r) / (gridRows - 1);
    SetGridEdgeFlags(v, k, r, gridColumns, gridRows);
}

}  // namespace

void CObjeto3D::KeepShapeParameters(float newSizeX, float newSizeY, float newSizeZ,
                                    float newUFirst, float newULast, float newVFirst,
                                    float newVLast, float newCentre, float newAngleOffset) {
    sizeX = newSizeX;
    sizeY = newSizeY;
    sizeZ = newSizeZ;
    uFirst = newUFirst;
    uLast = newULast;
    vFirst = newVFirst;
    vLast = newVLast;
    centre = newCentre;
    angleOffset = newAngleOffset;
}

float RoundCoordinate(float x) {
    return RoundToFraction(x, kCoordinateSteps);
}

void SetGridEdgeFlags(MeshVertex* vertex, int column, int row, int gridColumns, int gridRows) {
    if (column == 0)
        vertex->flags |= MeshVertexFirstColumn;
    else if (column == gridColumns - 1)
        vertex->flags |= MeshVertexLastColumn;
    if (row == 0)
        vertex->flags |= MeshVertexFirstRow;
    else if (row == gridRows - 1)
        vertex->flags |= MeshVertexLastRow;
}

void TriangleWriter::Emit(int a, int b, int c) {
    if (swapFirstTwo)
        std::swap(a, b);
    if (slot + 2 >= mesh.indexCapacity)
        return;
    mesh.SetTriangle(slot, a, b, c);
    slot += 3;
}

void CObjeto3D::BuildGeometry(int type, int gridColumns, int gridRows, float newSizeX,
                              float newSizeY, float newSizeZ, float newUFirst, float newULast,
                              float newVFirst, float newVLast, float newCentre,
                              float newAngleOffset, bool rebuild) {
    float textureWidth = kFisheyeUntexturedSize, textureHeight = kFisheyeUntexturedSize;
    if (type == MeshGeometryFisheye && texture1) {
        textureWidth = static_cast<float>(texture1->width);
        textureHeight = static_cast<float>(texture1->height);
    }
    // A vertical range past 1 maps the whole texture height onto part of the sphere.
    float vTextureScale = 1.0f;
    if (newVLast > 1.0f) {
        vTextureScale = 1.0f / newVLast;
        newVLast = 1.0f;
    }

    if (rebuild) {
        Clear();
        gridColumns = std::max(gridColumns, 0);
        gridRows = std::max(gridRows, 0);
        const int64_t cells = static_cast<int64_t>(gridColumns) * gridRows;
        int64_t indexTotal = 0;
        if (gridColumns >= 2 && gridRows >= 2)
            indexTotal = GridIndexCount(type, gridColumns - 1, gridRows - 1, newVFirst, newVLast);
        if (cells > INT_MAX / kMeshVertexStride || indexTotal > INT_MAX / 4)
            gridColumns = gridRows = 0, indexTotal = 0;  // far beyond any shape the player shows
        columns = gridColumns;
        rows = gridRows;
        AllocateArrays(columns * rows, static_cast<int>(indexTotal), true, true);
        winding = uFlip = vFlip = 1;
        geometryType = static_cast<int8_t>(type);
    } else {
        // Moving only: the existing grid.
        gridColumns = columns;
        gridRows = rows;
        if (static_cast<int64_t>(gridColumns) * gridRows > vertexCapacity)
            gridColumns = gridRows = 0;
    }

    if (indexCount >= 1 && vertexCount >= 1 && gridColumns >= 2 && gridRows >= 2) {
        PrepareForBackEnd(MeshFormSingle);
        KeepShapeParameters(newSizeX, newSizeY, newSizeZ, newUFirst, newULast, newVFirst, newVLast,
                            newCentre, newAngleOffset);

        const int C = gridColumns - 1;
        const int R = gridRows - 1;
        const int n = gridColumns;
        const float pi = static_cast<float>(M_PI);
        const float du = (uLast - uFirst) / C;
        const float dv = (vLast - vFirst) / R;
        TriangleWriter triangles{*this, 0, false};

        if (type == MeshGeometryPlane || type == MeshGeometryCylinder) {
            for (int r = 0; r < gridRows; ++r) {
                for (int k = 0; k < gridColumns; ++k) {
                    MeshVertex& v = vertices[r * n + k];
                    if (type == MeshGeometryPlane) {
                        v.x = (k - C / 2.0f) / C * sizeX - ((r & 1) ? sizeZ : 0.0f);
                        v.y = 0;
                        v.z = (R / 2.0f - r) / R * sizeY;
                    } else {
                        const float a = (du * k + uFirst) * pi;
                        v.x = cosf(a) * sizeX;
                        v.y = (centre - (dv * r + vFirst)) * sizeZ;
                        v.z = sinf(a) * sizeY;
                    }
                    if (!rebuild)
                        continue;
                    SetPlainGridVertex(&v, k, r, gridColumns, gridRows);
                    if (r == R || k == C)
                        continue;
                    const int i = r * n + k;
                    if (sizeZ != 0 && (r & 1)) {
                        // Staggered rows use the other diagonal.
                        triangles.Emit(i, i + 1, i + n);
                        triangles.Emit(i + 1, i + n + 1, i + n);
                    } else {
                        triangles.Emit(i, i + n + 1, i + n);
                        triangles.Emit(i, i + 1, i + n + 1);
                    }
                }
            }
        } else if (IsSphereType(type)) {
            triangles.swapFirstTwo = flipVertical != 0;
            const float bumpWidthTurns = bumpWidth / 180.0f;
            const float du2 = uLast - uFirst;
            const float dv2 = vLast - vFirst;
            for (int r = 0; r < gridRows; ++r) {
                const float p = dv * r + vFirst;
                const float hy = cosf(p * pi) + (centre - 0.5f) * 2.0f;
                for (int k = 0; k < gridColumns; ++k) {
                    MeshVertex& v = vertices[r * n + k];
                    const float q = du * k + uFirst + angleOffset / 180.0f;
                    if (type == MeshGeometryPolar) {
                        const float widen = 1.0f + 0.5f * (1.0f - sinf(p * pi));
                        v.x = sizeX * cosf(q * pi) * widen;
                        v.y = sizeY * hy;
                        v.z = sizeZ * sinf(q * pi) * widen;
                    } else {
                        float rx = sizeX, ry = sizeY, rz = sizeZ;
                        if (bumpEnabled && bumpWidthTurns > 0) {
                            // Position inside the bump's angular window, 0..1 across it.
                            const float by = ((bumpWidthTurns - dv2) * 0.5f + (p - vFirst)) / bumpWidthTurns;
                            const float bx = ((bumpWidthTurns - du2) * 0.5f + (q - uFirst)) / bumpWidthTurns - 0.5f;
                            const float d2 = bx * bx + (by - 0.5f) * (by - 0.5f);
                            const float sigma2 = 2.0f * bumpSigma * bumpSigma;
                            const float bump = sigma2 > 0 ? expf(-d2 / sigma2) : 0.0f;
                            rx = ry = rz = sizeX + bumpAmplitude * sizeX * bump;
                        }
                        v.x = cosf(q * pi) * rx * sinf(p * pi);
                        v.y = ry * hy;
                        v.z = sinf(q * pi) * rz * sinf(p * pi);
                        if (flipVertical)
                            v.y = -v.y;
                    }
                    if (!rebuild)
                        continue;
                    if (type == MeshGeometryFisheye) {
                        const float ring = fisheyeOuter - (fisheyeOuter - fisheyeInner) / R * r;
                        const float b = static_cast<float>(C / 2 + k) * 2.0f / C * pi;
                        v.u = (fisheyeCenterX - cosf(b) * ring) / textureWidth;
                        v.v = (fisheyeCenterY - sinf(b) * ring) / textureHeight;
                    } else {
                        v.u = static_cast<float>(k) / C;
                        v.v = vTextureScale / R * r;
                    }
                    v.u = std::min(1.0f, std::max(0.0f, v.u));
                    v.v = std::min(vTextureScale, std::max(0.0f, v.v));
                    v.refU = v.u;
                    v.refV = v.v;
                    SetGridEdgeFlags(&v, k, r, gridColumns, gridRows);
                    if (r == R || k == C)
                        continue;
                    const int i = r * n + k;
                    if (r == 0 && vFirst == 0) {
                        triangles.Emit(i, i + n + 1, i + n);  // top pole
                    } else if (r == R - 1 && vLast == 1.0f) {
                        triangles.Emit(i, i + 1, i + n + 1);  // bottom pole
                    } else {
                        triangles.Emit(i, i + n + 1, i + n);
                        triangles.Emit(i, i + 1, i + n + 1);
                    }
                }
            }
        } else if (IsDiscType(type)) {
            for (int r = 0; r < gridRows; ++r) {
                // Row 0 is the rim at v last, the last row lies at v first.
                float f = static_cast<float>(gridRows - r - 1) / R * (vLast - vFirst) + vFirst;
                if (type == MeshGeometryDiscRemapped)
                    f = 1.0f - sinf((1.0f - f) * pi / 2.0f);
                for (int k = 0; k < gridColumns; ++k) {
                    MeshVertex& v = vertices[r * n + k];
                    const float a = (du * k + uFirst) * pi;
                    v.x = sinf(a) * f * sizeX;
                    v.y = 0;
                    v.z = cosf(a) * f * sizeY;
                    if (!rebuild)
                        continue;
                    SetPlainGridVertex(&v, k, r, gridColumns, gridRows);
                    if (r == R || k == C)
                        continue;
                    const int i = r * n + k;
                    if (r == R - 1 && vFirst == 0) {
                        triangles.Emit(i, i + 1, i + n + 1);  // the centre point
                    } else {
                        triangles.Emit(i, i + n + 1, i + n);
                        triangles.Emit(i, i + 1, i + n + 1);
                    }
                }
            }
        }

        const int count = gridColumns * gridRows;
        for (int i = 0; i < count; ++i) {
            MeshVertex& v = vertices[i];
            v.x = RoundCoordinate(v.x);
            v.y = RoundCoordinate(v.y);
            v.z = RoundCoordinate(v.z);
            if (rebuild) {
                v.diffuse = 0xFFFFFFFFu;
                v.specular = 0;
                v.level = kMeshNoLevel;
            }
        }
    }

    ComputeBoundingCorners(nullptr, 0, &objectCorners);
    UpdateWorldVertices();
    loadState = MeshLoaded;
}

bool CObjeto3D::BuildRibbon(const float* points, int count, uint32_t color, float width) {
    if (!points || count < 2 || count > INT_MAX / 12) {
        // Nothing to join: an empty mesh that counts as built.
        FreeArrays();
        loadState = MeshLoaded;
        return false;
    }
    columns = count;
    rows = 3;
    if (!AllocateArrays(3 * count, 12 * count - 12, true, true)) {
        FreeArrays();
        loadState = MeshLoadFailed;
        return false;
    }
    const float halfPi = static_cast<float>(M_PI / 2.0);
    const uint32_t diffuse = (color & 0x00FFFFFFu) | 0xFF000000u;
    for (int j = 0; j < count; ++j) {
        const float* point = &points[3 * j];
        const float heading = j + 1 < count ? HeadingToPoint(point, point + 3)
                                            : HeadingToPoint(point - 3, point);
        const float offsets[3][3] = {
            {cosf(heading + halfPi) * 0.75f * width, 2.0f, sinf(heading + halfPi) * 0.75f * width},
            {0.0f, width + 2.0f, 0.0f},
            {cosf(heading - halfPi) * 0.75f * width, 2.0f, sinf(heading - halfPi) * 0.75f * width},
        };
        for (int row = 0; row < 3; ++row) {
            MeshVertex& v = vertices[row * count + j];
            v.x = RoundCoordinate(point[0] + offsets[row][0]);
            v.y = RoundCoordinate(point[1] + offsets[row][1]);
            v.z = RoundCoordinate(point[2] + offsets[row][2]);
            v.diffuse = diffuse;
            v.specular = 0;
            v.level = kMeshNoLevel;
        }
    }
    TriangleWriter triangles{*this, 0, false};
    for (int row = 0; row < 2; ++row) {
        for (int j = 0; j + 1 < count; ++j) {
            const int i = row * count + j;
            triangles.Emit(i, i + 1, i + count);
            triangles.Emit(i + 1, i + count + 1, i + count);
        }
    }
    ComputeBoundingCorners(nullptr, 0, &objectCorners);
    UpdateWorldVertices();
    loadState = MeshLoaded;
    return true;
}
