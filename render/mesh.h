#pragma once
// CObjeto3D: the one triangle mesh of the player. Panorama faces (planes, cylinders, spheres,
// fisheye domes, discs), terrain grids, 3D models and line ribbons are all meshes. A mesh holds
// 92-byte MeshVertex records, a 16- or 32-bit index list (three per triangle), one flag byte and
// one face normal per triangle, a model matrix built from a position and three angles, and an
// object box; once split by texture tiles, the same per sub-mesh. It references up to two
// textures (CSprite) without owning them.
//
// Files:
//   render/mesh_arrays.cpp     construction, arrays, indices, colours, kept and sub-mesh arrays,
//                              viewer slots, freeing; the busy guard
//   render/mesh_transform.cpp  matrices, world positions, normals, boxes
//   render/mesh_texture.cpp    texture binding and texture coordinates, device forms
//   render/mesh_detail.cpp     detail levels
//   render/mesh_load.cpp       model loading
//   render/mesh_interpolation.cpp  vertex interpolation
//   render/geometry.cpp        procedural shapes (BuildGeometry), ribbons
//   render/geometry_tiled.cpp  tiled shapes, the tile splitter
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/text_string.h"
#include "core/worker_threads.h"

class CSprite;

// One vertex. The first 40 bytes are Direct3D 9's flexible vertex format 0x1D2 (position,
// normal, diffuse, specular, one texture coordinate pair), so a vertex array is drawn with a
// stride of 92 without copying. A model record stores the first 80 bytes (x through parent).
struct MeshVertex {
    float x, y, z;            // position in model coordinates
    float nx, ny, nz;         // vertex normal
    uint32_t diffuse;         // 0xAARRGGBB
    uint32_t specular;        // 0xAARRGGBB
    float u, v;               // texture coordinates, 0..1 over the whole texture
    uint16_t diffuse16[4];    // the diffuse channels widened for the software rasteriser (c x 256)
    uint16_t specular16[4];   // the specular channels widened the same way
    float wx, wy, wz;         // world position = position x model matrix
    float refU, refV;         // reference texture coordinates (whole texture) of generated geometry
    int32_t parent;           // detail levels: the vertex this one collapses into
    int32_t triangleA;        // detail levels: the two triangles that vanish when it collapses
    int32_t triangleB;
    uint8_t level;            // detail level; kMeshNoLevel = none
    uint8_t flags;            // MeshVertexFlags
    uint8_t reserved[2];
};

static_assert(sizeof(MeshVertex) == 92, "vertex records are 92 bytes");
static_assert(offsetof(MeshVertex, x) == 0, "D3D position");
static_assert(offsetof(MeshVertex, nx) == 12, "D3D normal");
static_assert(offsetof(MeshVertex, diffuse) == 24, "D3D diffuse");
static_assert(offsetof(MeshVertex, specular) == 28, "D3D specular");
static_assert(offsetof(MeshVertex, u) == 32, "D3D texture coordinates");
static_assert(offsetof(MeshVertex, diffuse16) == 40, "end of the D3D part");
static_assert(offsetof(MeshVertex, specular16) == 48, "widened specular");
static_assert(offsetof(MeshVertex, wx) == 56, "world position");
static_assert(offsetof(MeshVertex, refU) == 68, "reference coordinates");
static_assert(offsetof(MeshVertex, parent) == 76, "parent");
static_assert(offsetof(MeshVertex, triangleA) == 80, "first 80 bytes end before the triangles");
static_assert(offsetof(MeshVertex, level) == 88, "level");
static_assert(offsetof(MeshVertex, flags) == 89, "flags");

// A growable triangle soup: vertex records and indices into them (tile splitting).
struct MeshWorkList {
    std::vector<MeshVertex> vertices;
    std::vector<int32_t> indices;
};

// Direct3D 9 vertex format of the first 40 bytes: XYZ | NORMAL | DIFFUSE | SPECULAR | TEX1.
constexpr uint32_t kMeshVertexFormat = 0x1D2;
constexpr int kMeshVertexStride = static_cast<int>(sizeof(MeshVertex));
// The bytes of a vertex that a model record stores.
constexpr int kMeshRecordVertexBytes = 80;
constexpr uint8_t kMeshNoLevel = 255;

enum MeshVertexFlags : uint8_t {
    MeshVertexPresent = 0x01,      // not collapsed by a detail level
    MeshVertexFirstRow = 0x02,     // grid border: first row (largest z of a model grid)
    MeshVertexLastColumn = 0x04,   // last column (largest x)
    MeshVertexLastRow = 0x08,      // last row (smallest z)
    MeshVertexFirstColumn = 0x10,  // first column (smallest x)
    MeshVertexBorder = 0x1E,
};

enum MeshTriangleFlags : uint8_t {
    MeshTriangleVisible = 0x01,  // visible in the render device's last culling pass
    MeshTrianglePresent = 0x02,  // not removed by a detail-level collapse
};

// First index of a removed triangle, in each index width.
constexpr uint32_t kMeshRemoved16 = 0xFFFF;
constexpr int32_t kMeshRemoved32 = -1;
// Vertex counts up to this use 16-bit indices.
constexpr int kMeshMax16BitVertices = 65536;

// The corners of an axis-aligned box: corner i has x = minimum when i is odd, else maximum;
// y = maximum for i = 0..3, else minimum; z = maximum when i % 4 is 0 or 1, else minimum.
// The world fields receive the corners transformed by the model matrix.
struct BoxCorners {
    MeshVertex corner[8];
};

// A world-space box: centre and half extents.
struct BoundingBox {
    float center[3];
    float halfExtent[3];
};

// How a mesh's arrays are laid out for the back end that draws it.
enum MeshForm : int32_t {
    MeshFormSingle = 0,       // one vertex grid: the software back end
    MeshFormTiledD3D9 = 1,    // sub-meshes per texture tile: Direct3D 9
    MeshFormTiledOpenGL = 2,  // sub-meshes per texture tile: OpenGL
};

enum MeshLoadState : int32_t {
    MeshLoadEmpty = 0,
    MeshLoading = 1,
    MeshLoaded = 2,
    MeshLoadFailed = 3,
};

// Procedural shapes (BuildGeometry) and the stored geometry type; models carry their own byte.
// Texture projection applies only to types 0 and below.
enum MeshGeometryType : int8_t {
    MeshGeometryNone = -1,
    MeshGeometryPlane = 0,
    MeshGeometryCylinder = 1,
    MeshGeometrySphere = 2,
    MeshGeometryDisc = 3,
    MeshGeometryDiscRemapped = 4,  // radius remapped by 1 - sin((1 - r) x 90 degrees)
    MeshGeometryFisheye = 5,       // sphere textured through a fisheye circle
    MeshGeometryPolar = 6,         // sphere whose horizontal radius grows towards the poles
};

// Render flags: the low 16 bits opt in to render-state features of the same bits, the rest are
// drawing options of the render device.
constexpr uint32_t kMeshRenderFlagsDefault = 0x5DFB;
constexpr uint32_t MeshRenderTextured = 0x04;

constexpr int kMeshViewerSlots = 8;
constexpr float kMeshUnusedViewDistance = -1.0f;
constexpr float kMeshNoViewDistance = 1000000.0f;
constexpr int kMeshNameLength = 1024;

// Keeps drawers and array changes apart. Drawers hold it shared; operations that free or reorder
// the arrays (FreeArrays, SetDetailLevel, FreeSubMeshes) hold it exclusively and wait until no
// other thread draws. A thread that holds it shared may take it exclusively as long as no other
// thread draws (a drawer splits its mesh by tiles in the middle of a draw), and the thread that
// holds it exclusively may take it shared. Holds nest.
class MeshBusyGuard {
public:
    MeshBusyGuard() = default;
    MeshBusyGuard(const MeshBusyGuard&) = delete;
    MeshBusyGuard& operator=(const MeshBusyGuard&) = delete;

    // Waits while another thread holds it exclusively.
    void LockShared();
    void UnlockShared();
    // Waits until no other thread holds it. With a give-up word, the wait ends with false as soon
    // as that word is non-zero; without one it ends only when the other holders let go.
    bool LockExclusive(const std::atomic<int>* giveUp = nullptr);
    void UnlockExclusive();

    // Shared holds of all threads (a snapshot, for tests and diagnostics).
    int GetSharedCount() const;
    bool IsHeldExclusively() const;

    class Shared {
    public:
        explicit Shared(MeshBusyGuard& guard) : m_guard(guard) { m_guard.LockShared(); }
        ~Shared() { m_guard.UnlockShared(); }
        Shared(const Shared&) = delete;
        Shared& operator=(const Shared&) = delete;

    private:
        MeshBusyGuard& m_guard;
    };

    class Exclusive {
    public:
        explicit Exclusive(MeshBusyGuard& guard, const std::atomic<int>* giveUp = nullptr)
            : m_guard(guard), m_held(guard.LockExclusive(giveUp)) {}
        ~Exclusive() {
            if (m_held)
                m_guard.UnlockExclusive();
        }
        Exclusive(const Exclusive&) = delete;
        Exclusive& operator=(const Exclusive&) = delete;
        bool IsHeld() const { return m_held; }

    private:
        MeshBusyGuard& m_guard;
        bool m_held;
    };

private:
    static constexpr int kTrackedThreads = 8;
    struct Holder {
        DWORD thread;
        int count;
    };

    int SharedHeldByLocked(DWORD thread) const;
    bool OthersDrawLocked(DWORD thread) const;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_shared = 0;                    // shared holds of all threads
    Holder m_holders[kTrackedThreads] = {};  // shared holds per thread (the first eight threads)
    int m_untracked = 0;                 // shared holds of further threads
    DWORD m_exclusiveThread = 0;
    int m_exclusiveDepth = 0;
};

class CObjeto3D {
public:
    CObjeto3D();
    virtual ~CObjeto3D();

    CObjeto3D(const CObjeto3D&) = delete;
    CObjeto3D& operator=(const CObjeto3D&) = delete;

    // --- render/mesh_arrays.cpp ---

    // (Re)allocates the index array, triangle flags (0x02 each) and face normals when indexCount
    // is positive, the vertex array (flags 0x01 each) when vertexCount is positive; with clear
    // they are zeroed first; with setCounts the live counts become the given ones. The index
    // width follows the vertex count (16 bits up to 65,536 vertices). False when memory ran out
    // (the mesh is then left empty of the array that failed).
    bool AllocateArrays(int vertexCount, int indexCount, bool clear, bool setCounts);
    // Stores one index in the current width. Slots outside the index array are ignored.
    void SetIndex(int slot, int vertex);
    // The address of an index slot; null outside the index array.
    void* GetIndexPointer(int slot);
    // Writes the triangle (a, b, c) at its first index slot. With 16-bit indices a first index
    // of 65535 would read as a removed triangle: the triangle is rotated to (b, c, a), keeping
    // its winding. Every builder and loader writes triangles through this.
    void SetTriangle(int firstSlot, int a, int b, int c);
    // The vertex number in a slot, following collapsed vertices to their present ancestor unless
    // raw; -1 for a removed triangle's marker, a collapsed vertex without a present ancestor, a
    // cycle of parents or a slot outside the array.
    int GetIndex(int slot, bool raw) const;
    // The vertex record of GetIndex; null when there is none or its number lies outside the array.
    MeshVertex* GetTriangleVertex(int slot, bool raw);
    // That vertex's world position (3 floats); null when there is none.
    float* GetVertexPosition(int slot, bool raw);
    // Diffuse colour of every vertex (up to the larger of the live and published counts, and the
    // kept single-form vertices) = color, or color's red, green and blue under the vertex's own
    // alpha with keepAlpha.
    void SetVertexColor(uint32_t color, bool keepAlpha);
    void SetSpecularColor(uint32_t color, bool keepAlpha);

    // Moves the live arrays aside as the single form (before tiling).
    void KeepOriginalArrays();
    // Frees the tiled arrays and puts the kept single form back (index width again by the
    // vertex count). Nothing when no single form is kept.
    void RestoreOriginalArrays();
    // Frees the sub-mesh arrays and restores the kept single form, holding the busy guard
    // exclusively. Nothing when there are no sub-meshes.
    void FreeSubMeshes();
    // (Re)allocates the six sub-mesh arrays for count tiles, zeroed; false when memory ran out.
    bool AllocateSubMeshes(int count);

    // OR of the per-viewer visible flags.
    bool IsVisibleInAnyView() const;
    // The smallest per-viewer distance in use (kMeshNoViewDistance when none) and its slot;
    // *slot is left untouched when no slot is in use.
    float GetNearestViewDistance(int* slot) const;

    // Asks a running loader to end and waits until its thread has cleared the loader slot.
    void StopLoading();
    // Waits for drawers to finish (the abort flag does not end this wait), then frees every
    // array, zeroes the counts, clears the texture references (the images are not freed) and
    // returns to load state 0.
    void FreeArrays();
    // StopLoading, then FreeArrays.
    void Clear();

    // --- render/mesh_load.cpp ---

    // Starts loading the model on a thread of its own (name: replaces the stored file name);
    // the thread posts (message, parameter) to the window when done. Answers the thread, null
    // when none was started.
    CWorkerThread* LoadAsync(const char* name, HWND window, UINT message, WPARAM parameter,
                             int level);

    // --- render/mesh_transform.cpp ---

    // Wraps the angles to 0..360; model matrix = rotation x translation of the position.
    void UpdateModelMatrix();
    // World position = position x model matrix for count records.
    void TransformVertices(MeshVertex* records, int count) const;
    // Model matrix, widened colours and world positions of every vertex, normals, boxes.
    void UpdateWorldVertices();
    // Face normals of every triangle that is not removed, summed into the vertex normals, which
    // are normalised except on grid borders. A zero sum stays zero.
    void ComputeNormals();
    // Recomputes the face normal of the triangle starting at firstSlot from world positions;
    // nothing for a removed triangle or a missing vertex.
    void UpdateFaceNormal(int firstSlot);
    // Box of the local positions of count records (the mesh's own vertices when records is null)
    // into out.
    void ComputeBoundingCorners(const MeshVertex* records, int count, BoxCorners* out) const;
    // Transforms the corners' positions by the model matrix into their world fields and reduces
    // them to a box; for the object's own corners also the world bounds fields.
    void TransformBox(BoxCorners* corners, BoundingBox* out);
    // TransformBox of the object box and of every sub-mesh box.
    void UpdateBoxes();

    // --- render/mesh_texture.cpp ---

    // Binds texture 1; swaps the winding when it differs; projects planar coordinates on request;
    // applies the u and v flips asked for. A sprite sets MeshRenderTextured.
    void SetTexture(CSprite* sprite, int uFlip, int vFlip, int winding, bool project);
    // Planar texture coordinates over the x-z bounds (geometry types 0 and below, u scale not 0).
    void ProjectTexCoords();
    // Swaps u and v of every vertex (each optionally flipped); sets the transposed flag.
    void TransposeTexCoords(bool flipU, bool flipV);
    // Switches the device form: form 0 puts the single form back (freeing any sub-meshes) and
    // refreshes the world vertices; forms 1 and 2 split a loaded mesh by its texture's tiles.
    // False when a tiled form cannot be made yet.
    bool PrepareForBackEnd(MeshForm newForm);

    // --- render/mesh_detail.cpp ---

    // Collapses the vertices whose level is not above the given one and expands the others,
    // then recomputes the face normals of present triangles. Nothing without detail levels, at
    // the current level, or when the abort flag ends the wait for drawers.
    void SetDetailLevel(int newLevel);

    // --- render/geometry.cpp ---

    // Builds a procedural shape (MeshGeometryType 0..6) of columns x rows vertices. With rebuild
    // the mesh is cleared and topology and texture coordinates are made; without it only the
    // existing vertices move. Fewer than 2 columns or rows build no triangles.
    void BuildGeometry(int type, int gridColumns, int gridRows, float newSizeX, float newSizeY,
                       float newSizeZ, float newUFirst, float newULast, float newVFirst,
                       float newVLast, float newCentre, float newAngleOffset, bool rebuild);
    // A ribbon along count points (3 floats each): three rows of vertices, the middle one
    // width + 2 above the points. Fewer than 2 points give an empty, loaded mesh.
    bool BuildRibbon(const float* points, int count, uint32_t color, float width);

    // --- render/geometry_tiled.cpp ---

    // The shape of BuildGeometry (types 0, 1, 2 and 5) as sub-meshes that follow the texture's
    // tiles, for the hardware back ends. The angle offset, flip-vertical and the bump are not
    // applied. False for other types or when there is nothing to tile.
    bool BuildTiledGeometry(int type, float newSizeX, float newSizeY, float newSizeZ,
                            float newUFirst, float newULast, float newVFirst, float newVLast,
                            float newCentre, float newAngleOffset);
    // Splits the mesh into sub-meshes along the tiles of texture 1 (keeping the single form
    // aside). False when there is no ready texture or it is too large to split.
    bool SplitByTiles();
    // Cuts a triangle list at u = uLine (when uLine is not 0) or at v = vLine: corners below
    // the line go to part A, those above to part B, corners on it to both; crossing edges get
    // a vertex in both, interpolated from the edge's lower end. Each part's piece is fanned
    // into triangles; a piece of corners on the line alone is dropped, unless the whole
    // triangle lies on it (then it goes to part A). The parts are appended to and share no
    // vertices. Triangles with a vertex number outside 0..vertexCount-1 are skipped.
    static void SplitTrianglesAtLine(const MeshVertex* vertices, int vertexCount,
                                     const int32_t* indices, int indexCount, MeshWorkList* partA,
                                     MeshWorkList* partB, float uLine, float vLine);

    // --- fields, in record order ---

    float posX = 0, posY = 0, posZ = 0;
    float rotX = 0, rotY = 0, rotZ = 0;  // degrees
    uint32_t recordValueA = 0;           // carried by the model record

    int32_t vertexCount = 0;
    int32_t columns = 0;
    int32_t rows = 0;
    int32_t indexCount = 0;
    int32_t indexWidth = 2;  // bytes per index: 2 or 4

    int8_t geometryType = MeshGeometryNone;
    uint8_t winding = 1;
    uint8_t uFlip = 1;
    uint8_t vFlip = 1;

    // Ten values of the model record; B to E and H are carried, not interpreted.
    uint32_t recordValueB = 0;
    float recordValueC = 2.0f;
    uint32_t recordValueD = 0;
    float recordValueE = 2.0f;
    float uOffset = 0;     // texture offsets of height grids
    float vOffset = 0;
    float unitScale = 1.0f;  // model units per metre
    float mapEasting = 0;    // map x of the mesh's x minimum
    uint32_t recordValueH = 0;
    float mapNorthing = 0;   // map y of the mesh's z minimum

    // Gaussian bump of procedural spheres.
    uint8_t bumpEnabled = 0;
    float bumpAmplitude = 1.0f;
    float bumpWidth = 180.0f;  // degrees
    float bumpSigma = 0.2f;
    float bumpValue = 1.0f;

    uint8_t spherise = 0;       // planes pushed onto a sphere
    uint8_t visible = 1;
    uint8_t ready = 1;
    uint8_t cullTriangles = 1;  // the render device culls single triangles and keeps their bits
    uint8_t drawing = 0;        // maintained by the render device while it draws

    MeshBusyGuard busy;

    // Procedural parameters kept for a rebuild (angles in half turns).
    float sizeX = 200.0f, sizeY = 0, sizeZ = 0;
    float uFirst = 0, uLast = 1.0f;
    float vFirst = 0, vLast = 2.0f;
    float centre = 0.5f;
    float angleOffset = 0;  // degrees
    uint32_t geometryValue = 0;
    float fisheyeCenterX = 0, fisheyeCenterY = 0;  // texture pixels
    float fisheyeInner = 0, fisheyeOuter = 0;       // pixels
    int32_t flipVertical = 0;

    uint8_t recordValueJ = 0;  // carried by the model record

    uint8_t cubeFace = 0;  // a face of a cube frame

    CTexto name;

    uint32_t renderFlags = kMeshRenderFlagsDefault;
    int32_t vertexStride = kMeshVertexStride;

    // World bounds after UpdateBoxes (the grid's own bounds while a height grid loads).
    float xMin = 0, xMax = 0, yMin = 0, yMax = 0, zMin = 0, zMax = 0;

    float heightScale = 1.0f;
    float uScale = 1.0f;
    float vScale = 1.0f;

    uint8_t transposed = 0;  // texture coordinates were swapped by TransposeTexCoords

    MeshVertex* vertices = nullptr;  // owned
    void* indices = nullptr;         // owned; indexWidth bytes each

    CSprite* texture1 = nullptr;  // not owned
    CSprite* texture2 = nullptr;  // not owned

    // The single form kept aside while the mesh is split into tiles (owned).
    MeshVertex* keptVertices = nullptr;
    void* keptIndices = nullptr;
    uint8_t* keptTriangleFlags = nullptr;
    float* keptFaceNormals = nullptr;
    int32_t keptVertexCount = 0;
    int32_t keptIndexCount = 0;

    int32_t vertexCapacity = 0;
    int32_t indexCapacity = 0;

    // Sub-meshes (owned arrays of subMeshCount entries each).
    int32_t* subIndexCount = nullptr;       // drawn counts
    int32_t* subVertexCount = nullptr;
    int32_t* subFullIndexCount = nullptr;   // as built
    int32_t* subFullVertexCount = nullptr;
    int32_t subMeshCount = 0;
    BoxCorners* subCorners = nullptr;
    BoundingBox* subBoxes = nullptr;

    int32_t tileOption = 1;       // 1 = follow the texture's tiles
    uint32_t modulationColor = 0;  // 0x00RRGGBB, 0 = none

    MeshForm form = MeshFormSingle;

    float modelMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    uint8_t* triangleFlags = nullptr;  // owned; MeshTriangleFlags per triangle
    float* faceNormals = nullptr;      // owned; 3 per triangle

    BoxCorners objectCorners = {};
    BoundingBox objectBox = {};

    uint8_t visibleInView = 0;  // set by the render device's box test
    uint8_t hasDetailLevels = 0;
    uint8_t detailLevel = 0;
    int32_t maxDetailLevel = 0;

    uint32_t loadValue = 0;
    // The progressive counts of a load in progress, raised by the loader thread.
    std::atomic<int32_t> publishedVertexCount{0};
    std::atomic<int32_t> publishedIndexCount{0};

    void* auxBuffers[3] = {};  // owned (malloc); the frame's terrain buffers

    // Per viewer, filled and read by the frame's detail-level chooser.
    float viewDistance[kMeshViewerSlots] = {-1, -1, -1, -1, -1, -1, -1, -1};
    uint8_t viewVisible[kMeshViewerSlots] = {};
    uint32_t viewValue[kMeshViewerSlots] = {};
    uint8_t viewFlag = 0;

    // Loader.
    int32_t recordOffset = 0;  // start of the model record's payload in its file
    char fileName[kMeshNameLength] = {};
    char textureName[kMeshNameLength] = {};
    std::atomic<int> abortFlag{0};
    uint8_t discardAfterLoad = 0;
    std::atomic<int32_t> loadState{MeshLoadEmpty};
    WorkerThreadSlot loaderThread{nullptr};
    HWND notifyWindow = nullptr;
    UINT notifyMessage = 0;
    WPARAM notifyParam = 0;
    int32_t requestedLevel = 0;

    // The live vertex and index counts, or the published ones when larger, within the arrays.
    int VisibleVertexCount() const;
    int VisibleIndexCount() const;
    // The value in an index slot as stored (0xFFFF stays 65535 in 16-bit lists); -1 outside.
    int ReadIndex(int slot) const;
    // True when the triangle at firstSlot carries the removed marker.
    bool IsTriangleRemoved(int firstSlot) const;

private:
    // Stores the parameters of a procedural shape for a later rebuild.
    void KeepShapeParameters(float newSizeX, float newSizeY, float newSizeZ, float newUFirst,
                             float newULast, float newVFirst, float newVLast, float newCentre,
                             float newAngleOffset);
    void SetColorField(uint32_t MeshVertex::*field, uint32_t color, bool keepAlpha);
    void FreeSubMeshArrays();
    void FreeKeptArrays();
};

// --- render/mesh_transform.cpp ---

// Rotation by angles about x, y and z in degrees; row-major for row vectors (p' = p x M).
void MakeRotationMatrix(float out[16], float angleX, float angleY, float angleZ);
// The identity with the translation in row 3.
void MakeTranslationMatrix(float out[16], float x, float y, float z);
// Rotates the positions of count records by the rotation of the three angles (each wrapped to
// 0..360 and truncated to whole degrees); no translation.
void RotateVertices(float angleX, float angleY, float angleZ, MeshVertex* records, int count);
// The negated unit vector of (p0 - p1) x (p2 - p1); zero for a degenerate triangle.
void ComputeFaceNormal(const float p0[3], const float p1[3], const float p2[3], float out[3]);
// The eight corner positions of a box (see BoxCorners); the other fields are zeroed.
void MakeBoxCorners(float boxXMin, float boxXMax, float boxYMin, float boxYMax, float boxZMin,
                    float boxZMax, BoxCorners* out);

// --- render/geometry.cpp ---

// Grid border flags of a vertex: column 0 sets 0x10, else the last column 0x04; row 0 sets
// 0x02, else the last row 0x08.
void SetGridEdgeFlags(MeshVertex* vertex, int column, int row, int gridColumns, int gridRows);

// --- render/mesh_interpolation.cpp ---

// out = a with position and texture coordinates moved to a + (b - a) t (texture coordinates
// clamped to 0..1) and each byte of both colours interpolated the same way, truncated.
void InterpolateVertex(const MeshVertex& a, const MeshVertex& b, MeshVertex* out, float t);
