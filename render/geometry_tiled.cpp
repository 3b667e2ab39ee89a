// Tiled shapes for the hardware back ends, which draw one texture tile per sub-mesh, and the
// splitter that cuts any other textured mesh along the tile borders.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "core/system_wrappers.h"
#include "images/sprite.h"
#include "render/geometry_internal.h"
#include "render/mesh.h"

namespace {

// Texture pieces of the hardware back ends.
constexpr int kTilePiece = 256;
// Textures beyond this size are not split (the mesh stays in single form).
constexpr int kSplitTextureMax = 32700;

float Clamp(float x, float lo, float hi) {
    return std::min(hi, std::max(lo, x));
}

bool IsTextureReady(const CSprite* texture) {
    return texture && texture->width > 0 && texture->height > 0 &&
           (texture->pixels || texture->IsKeptInTiles());
}

// The pieces of each axis: the texture's 256-pixel tiles, or one power-of-two piece.
struct TileLayout {
    int across[kTexturePiecesMax];
    int down[kTexturePiecesMax];
    int tilesX = 0;
    int tilesY = 0;

    void Split(int width, int height) {
        tilesX = SplitIntoPow2Pieces(width, kTilePiece, across, kTexturePiecesMax);
        tilesY = SplitIntoPow2Pieces(height, kTilePiece, down, kTexturePiecesMax);
    }
    void Single(int width, int height) {
        across[0] = RoundUpPow2Size(width);
        down[0] = RoundUpPow2Size(height);
        tilesX = tilesY = 1;
    }
};

// Grid lines of a tile covering `covered` pixels, scaled from the base count: a 256-pixel tile
// takes the base count, smaller tiles fewer. A tile wider than 256 (tiling off) takes the base
// count too, where 256 / covered would be 0.
int TileGridLines(int base, int covered) {
    const int ratio = covered > 0 ? kTilePiece / covered : 0;
    const int lines = ratio > 0 ? std::min(base, base / ratio + 1) : base;
    return std::max(lines, 2);
}

// One tile of a tiled shape.
struct TileCells {
    int left, top;           // pixel origin
    int width, height;       // pixels covered
    int pieceWidth, pieceHeight;
    int columns, rows;       // grid lines
    bool topPole, bottomPole;
};

int TileTriangles(const TileCells& t) {
    int triangles = 0;
    for (int r = 0; r + 1 < t.rows; ++r) {
        const bool pole = (r == 0 && t.topPole) || (r == t.rows - 2 && t.bottomPole);
        triangles += (pole ? 1 : 2) * (t.columns - 1);
    }
    return triangles;
}

// Convex polygons, each a run of vertex records of its own: the pieces of triangles cut at tile
// lines. A piece stays one polygon through every cut and is fanned into triangles once, so a
// tile fully inside a triangle gets two triangles instead of the slivers that re-cutting fans
// would give.
struct PolygonList {
    std::vector<MeshVertex> vertices;
    std::vector<int> sizes;
};

float CutCoordinate(const MeshVertex& v, bool alongU) {
    return alongU ? v.u : v.v;
}

// Cuts every polygon at u = line (alongU) or v = line: the piece at or below the line goes to
// a, the piece above to b. A corner on the line belongs to both pieces as it is, and an edge
// crossing the line gets one new vertex in both, interpolated from its lower end whichever way
// the polygon walks it, so that two polygons sharing an edge share the crossing bit for bit and
// leave no crack between them. A piece of corners on the line alone has no area on its side and
// is dropped, except for a polygon lying wholly on the line, which goes to a whole.
void CutPolygons(const PolygonList& in, bool alongU, float line, PolygonList* a, PolygonList* b) {
    const MeshVertex* polygon = in.vertices.data();
    for (int size : in.sizes) {
        const size_t firstA = a->vertices.size(), firstB = b->vertices.size();
        bool belowA = false, aboveB = false;  // a corner off the line on either side
        for (int k = 0; k < size; ++k) {
            const MeshVertex& p = polygon[k];
            const MeshVertex& q = polygon[(k + 1) % size];
            const float cp = CutCoordinate(p, alongU), cq = CutCoordinate(q, alongU);
            if (cp <= line) {
                a->vertices.push_back(p);
                belowA = belowA || cp < line;
            }
            if (cp >= line) {
                b->vertices.push_back(p);
                aboveB = aboveB || cp > line;
            }
            if ((cp < line && cq > line) || (cp > line && cq < line)) {
                const MeshVertex& low = cp < cq ? p : q;
                const MeshVertex& high = cp < cq ? q : p;
                const float cLow = CutCoordinate(low, alongU), cHigh = CutCoordinate(high, alongU);
                MeshVertex crossing;
                InterpolateVertex(low, high, &crossing, (line - cLow) / (cHigh - cLow));
                a->vertices.push_back(crossing);
                b->vertices.push_back(crossing);
            }
        }
        const struct {
            PolygonList* list;
            size_t first;
            bool keep;
        } parts[2] = {{a, firstA, belowA || !aboveB}, {b, firstB, aboveB}};
        for (const auto& part : parts) {
            const int count = static_cast<int>(part.list->vertices.size() - part.first);
            if (count >= 3 && part.keep)
                part.list->sizes.push_back(count);
            else
                part.list->vertices.resize(part.first);
        }
        polygon += size;
    }
}

// Appends each polygon as a fan of triangles (0, 1, 2), (0, 2, 3), ... over its own vertices.
void AppendFans(const PolygonList& polygons, MeshWorkList* out) {
    int first = static_cast<int>(out->vertices.size());
    out->vertices.insert(out->vertices.end(), polygons.vertices.begin(), polygons.vertices.end());
    for (int size : polygons.sizes) {
        for (int fan = 1; fan + 1 < size; ++fan) {
            out->indices.push_back(first);
            out->indices.push_back(first + fan);
            out->indices.push_back(first + fan + 1);
        }
        first += size;
    }
}

// Appends the triangle of the three vertex numbers as a polygon; false, and nothing appended,
// when a number lies outside 0..vertexCount-1.
bool AddTriangle(const MeshVertex* vertices, int vertexCount, const int32_t index[3],
                 PolygonList* out) {
    for (int k = 0; k < 3; ++k) {
        if (index[k] < 0 || index[k] >= vertexCount)
            return false;
    }
    for (int k = 0; k < 3; ++k)
        out->vertices.push_back(vertices[index[k]]);
    out->sizes.push_back(3);
    return true;
}

}  // namespace

bool CObjeto3D::BuildTiledGeometry(int type, float newSizeX, float newSizeY, float newSizeZ,
                                   float newUFirst, float newULast, float newVFirst,
                                   float newVLast, float newCentre, float newAngleOffset) {
    if (type != MeshGeometryPlane && type != MeshGeometryCylinder && type != MeshGeometrySphere &&
        type != MeshGeometryFisheye)
        return false;

    const int textureWidth = texture1 ? texture1->width : static_cast<int>(newSizeX);
    const int textureHeight = texture1 ? texture1->height : static_cast<int>(newSizeY);
    if (textureWidth <= 0 || textureHeight <= 0)
        return false;
    TileLayout layout;
    if (tileOption == 1 && (!texture1 || texture1->IsKeptInTiles()))
        layout.Split(textureWidth, textureHeight);
    else
        layout.Single(textureWidth, textureHeight);
    if (layout.tilesX <= 0 || layout.tilesY <= 0)
        return false;

    KeepShapeParameters(newSizeX, newSizeY, newSizeZ, newUFirst, newULast, newVFirst, newVLast,
                        newCentre, newAngleOffset);
    geometryType = static_cast<int8_t>(type);
    const int mirrored = (winding == 255) + (uFlip == 255) + (vFlip == 255);
    TriangleWriter triangles{*this, 0, mirrored == 1 || mirrored == 3};

    const int tiles = layout.tilesX * layout.tilesY;
    if (!AllocateSubMeshes(tiles))
        return false;

    // Base resolution over the whole texture.
    int baseColumns = 2, baseRows = 2;
    if (type == MeshGeometryPlane && spherise) {
        baseColumns = 40 / layout.tilesX + 1;
        baseRows = 40 / layout.tilesY + 1;
    } else if (type == MeshGeometryCylinder) {
        baseColumns = 70 / layout.tilesX + 1;
        baseRows = 14 / layout.tilesY + 1;
    } else if (type == MeshGeometrySphere || type == MeshGeometryFisheye) {
        baseColumns = 120 / layout.tilesX + 1;
        baseRows = 100 / layout.tilesY + 1;
    }
    baseColumns = std::max(baseColumns, 2);
    baseRows = std::max(baseRows, 2);

    // The tiles, and exactly as many vertices and indices as they will write.
    const bool sphere = type == MeshGeometrySphere || type == MeshGeometryFisheye;
    std::vector<TileCells> cells(tiles);
    int64_t totalVertices = 0, totalIndices = 0;
    for (int ty = 0, top = 0, t = 0; ty < layout.tilesY; top += layout.down[ty], ++ty) {
        for (int tx = 0, left = 0; tx < layout.tilesX; left += layout.across[tx], ++tx, ++t) {
            TileCells& c = cells[t];
            c.left = left;
            c.top = top;
            c.pieceWidth = layout.across[tx];
            c.pieceHeight = layout.down[ty];
            c.width = std::min(c.pieceWidth, textureWidth - left);
            c.height = std::min(c.pieceHeight, textureHeight - top);
            c.columns = TileGridLines(baseColumns, c.width);
            c.rows = TileGridLines(baseRows, c.height);
            c.topPole = sphere && ty == 0 && vFirst == 0;
            c.bottomPole = sphere && ty == layout.tilesY - 1 && vLast == 1.0f;
            totalVertices += static_cast<int64_t>(c.columns) * c.rows;
            totalIndices += 3 * static_cast<int64_t>(TileTriangles(c));
        }
    }
    if (totalVertices > INT_MAX / kMeshVertexStride || totalIndices > INT_MAX / 4 ||
        !AllocateArrays(static_cast<int>(totalVertices), static_cast<int>(totalIndices), true, true)) {
        AllocateSubMeshes(0);
        return false;
    }

    const float pi = static_cast<float>(M_PI);
    const float width = static_cast<float>(textureWidth);
    const float height = static_cast<float>(textureHeight);
    int firstVertex = 0;
    for (int t = 0; t < tiles; ++t) {
        const TileCells& c = cells[t];
        const int firstSlot = triangles.slot;
        for (int r = 0; r < c.rows; ++r) {
            // Products of small integers are exact, so a border shared by two tiles gets the
            // same pixel position, and so the same vertex, in both.
            const float py = c.top + static_cast<float>(r * c.height) / (c.rows - 1);
            for (int k = 0; k < c.columns; ++k) {
                const float px = c.left + static_cast<float>(k * c.width) / (c.columns - 1);
                float h = px / width * (uLast - uFirst) + uFirst;
                if (uFlip == 255)
                    h = uLast - (h - uFirst);
                const float w = py / height * (vLast - vFirst) + vFirst;
                float x, y, z;
                if (type == MeshGeometryPlane) {
                    x = px / width * sizeX - sizeX / 2;
                    y = 0;
                    z = sizeY / 2 - py / height * sizeY;
                } else if (type == MeshGeometryCylinder) {
                    x = cosf(h * pi) * sizeX;
                    y = (centre - w) * sizeZ;
                    z = sinf(h * pi) * sizeY;
                } else {
                    x = cosf(h * pi) * sizeX * sinf(w * pi);
                    y = (cosf(w * pi) + (centre - 0.5f) * 2.0f) * sizeY;
                    z = sinf(h * pi) * sizeZ * sinf(w * pi);
                }
                if (spherise) {
                    const float s = 200.0f / sqrtf(x * x + 200.0f * 200.0f + z * z);
                    x *= s;
                    y = (y - 200.0f) * s + 200.0f;
                    z *= s;
                }
                MeshVertex& v = vertices[firstVertex + r * c.columns + k];
                v.x = RoundCoordinate(x);
                v.y = RoundCoordinate(y);
                v.z = RoundCoordinate(z);
                v.diffuse = 0xFFFFFFFFu;
                v.specular = 0;
                v.level = kMeshNoLevel;
                v.u = Clamp((px - c.left) / c.pieceWidth, 0, 1);
                v.v = Clamp((py - c.top) / c.pieceHeight, 0, 1);
                v.refU = Clamp(px / width, 0, 1);
                v.refV = Clamp(py / height, 0, 1);
                if (r + 1 == c.rows || k + 1 == c.columns)
                    continue;
                const int i = firstVertex + r * c.columns + k;
                const int n = c.columns;
                if (r == 0 && c.topPole) {
                    triangles.Emit(i, i + n + 1, i + n);
                } else if (r == c.rows - 2 && c.bottomPole) {
                    triangles.Emit(i, i + 1, i + n + 1);
                } else {
                    triangles.Emit(i, i + n + 1, i + n);
                    triangles.Emit(i, i + 1, i + n + 1);
                }
            }
        }
        const int tileVertices = c.columns * c.rows;
        subFullVertexCount[t] = subVertexCount[t] = tileVertices;
        subFullIndexCount[t] = subIndexCount[t] = triangles.slot - firstSlot;
        ComputeBoundingCorners(&vertices[firstVertex], tileVertices, &subCorners[t]);
        firstVertex += tileVertices;
    }
    if (!keptVertices)
        ComputeBoundingCorners(nullptr, 0, &objectCorners);
    UpdateWorldVertices();
    loadState = MeshLoaded;
    return true;
}

void CObjeto3D::SplitTrianglesAtLine(const MeshVertex* source, int sourceCount,
                                     const int32_t* sourceIndices, int sourceIndexCount,
                                     MeshWorkList* partA, MeshWorkList* partB, float uLine,
                                     float vLine) {
    PolygonList triangles;
    for (int slot = 0; slot + 2 < sourceIndexCount; slot += 3)
        AddTriangle(source, sourceCount, sourceIndices + slot, &triangles);
    PolygonList a, b;
    const bool alongU = uLine != 0;
    CutPolygons(triangles, alongU, alongU ? uLine : vLine, &a, &b);
    AppendFans(a, partA);
    AppendFans(b, partB);
}

bool CObjeto3D::SplitByTiles() {
    if (!IsTextureReady(texture1) || texture1->width > kSplitTextureMax ||
        texture1->height > kSplitTextureMax)
        return false;
    const int width = texture1->width;
    const int height = texture1->height;
    FreeSubMeshes();
    if (publishedVertexCount.load() > vertexCount)
        vertexCount = std::min(publishedVertexCount.load(), vertexCapacity);
    if (publishedIndexCount.load() > indexCount)
        indexCount = std::min(publishedIndexCount.load(), indexCapacity);

    TileLayout layout;
    if (tileOption && texture1->IsKeptInTiles()) {
        if (tileOption == 1 && !transposed &&
            (geometryType == MeshGeometryPlane || geometryType == MeshGeometryCylinder ||
             geometryType == MeshGeometrySphere)) {
            KeepOriginalArrays();
            if (BuildTiledGeometry(geometryType, sizeX, sizeY, sizeZ, uFirst, uLast, vFirst,
                                   vLast, centre, angleOffset))
                return true;
            RestoreOriginalArrays();
            return false;
        }
        layout.Split(width, height);
    } else {
        layout.Single(width, height);
    }
    const int tiles = layout.tilesX * layout.tilesY;
    if (tiles <= 0 || !AllocateSubMeshes(tiles))
        return false;

    if (tiles == 1) {
        // The tile works on a copy, so that the single form comes back unscaled.
        KeepOriginalArrays();
        if (!AllocateArrays(keptVertexCount, keptIndexCount, false, true)) {
            AllocateSubMeshes(0);
            RestoreOriginalArrays();
            return false;
        }
        if (keptVertexCount > 0)
            memcpy(vertices, keptVertices, static_cast<size_t>(keptVertexCount) * sizeof(MeshVertex));
        if (keptIndexCount > 0) {
            memcpy(indices, keptIndices, static_cast<size_t>(keptIndexCount) * indexWidth);
            memcpy(triangleFlags, keptTriangleFlags, static_cast<size_t>(keptIndexCount / 3));
            memcpy(faceNormals, keptFaceNormals, static_cast<size_t>(keptIndexCount / 3) * 3 * sizeof(float));
        }
        subFullIndexCount[0] = subIndexCount[0] = indexCount;
        subFullVertexCount[0] = subVertexCount[0] = vertexCount;
        subCorners[0] = objectCorners;
        subBoxes[0] = objectBox;
        if (geometryType != MeshGeometryPlane) {
            // The power-of-two texture holds the image in its top-left part.
            const float scaleU = static_cast<float>(width) / layout.across[0];
            const float scaleV = static_cast<float>(height) / layout.down[0];
            for (int i = 0; vertices && i < vertexCount; ++i) {
                MeshVertex& v = vertices[i];
                v.refU = v.u;
                v.refV = v.v;
                v.u *= scaleU;
                v.v *= scaleV;
            }
        }
        UpdateWorldVertices();
        return true;
    }

    // Triangles of the single form as polygons; removed ones stay behind.
    PolygonList rest;
    rest.vertices.reserve(static_cast<size_t>(std::max(indexCount, 0)));
    for (int slot = 0; slot + 2 < indexCount; slot += 3) {
        if (IsTriangleRemoved(slot))
            continue;
        const int32_t index[3] = {GetIndex(slot, true), GetIndex(slot + 1, true),
                                  GetIndex(slot + 2, true)};
        AddTriangle(vertices, vertexCount, index, &rest);
    }

    MeshWorkList result;
    int tile = 0;
    int top = 0;
    for (int ty = 0; ty < layout.tilesY; ++ty) {
        PolygonList strip, below;
        CutPolygons(rest, false, static_cast<float>(top + layout.down[ty]) / height, &strip,
                    &below);
        rest = std::move(below);
        int left = 0;
        for (int tx = 0; tx < layout.tilesX; ++tx, ++tile) {
            PolygonList piece, right;
            CutPolygons(strip, true, static_cast<float>(left + layout.across[tx]) / width, &piece,
                        &right);
            strip = std::move(right);
            const int firstVertex = static_cast<int>(result.vertices.size());
            const int firstIndex = static_cast<int>(result.indices.size());
            for (MeshVertex& v : piece.vertices) {
                v.refU = v.u;
                v.refV = v.v;
                v.u = Clamp((v.u * width - left) / layout.across[tx], 0, 1);
                v.v = Clamp((v.v * height - top) / layout.down[ty], 0, 1);
            }
            AppendFans(piece, &result);
            subFullVertexCount[tile] = subVertexCount[tile] =
                static_cast<int>(result.vertices.size()) - firstVertex;
            subFullIndexCount[tile] = subIndexCount[tile] =
                static_cast<int>(result.indices.size()) - firstIndex;
            left += layout.across[tx];
        }
        top += layout.down[ty];
    }

    const int64_t resultVertices = static_cast<int64_t>(result.vertices.size());
    const int64_t resultIndices = static_cast<int64_t>(result.indices.size());
    KeepOriginalArrays();
    if (resultVertices > INT_MAX / kMeshVertexStride || resultIndices > INT_MAX / 4 ||
        !AllocateArrays(static_cast<int>(resultVertices), static_cast<int>(resultIndices), true, true)) {
        AllocateSubMeshes(0);
        RestoreOriginalArrays();
        return false;
    }
    if (resultVertices > 0)
        memcpy(vertices, result.vertices.data(), result.vertices.size() * sizeof(MeshVertex));
    for (int slot = 0; slot + 2 < resultIndices; slot += 3)
        SetTriangle(slot, result.indices[slot], result.indices[slot + 1], result.indices[slot + 2]);
    for (int t = 0, first = 0; t < tiles; first += subFullVertexCount[t], ++t)
        if (subFullVertexCount[t] > 0)
            ComputeBoundingCorners(&vertices[first], subFullVertexCount[t], &subCorners[t]);
    UpdateWorldVertices();
    return true;
}
