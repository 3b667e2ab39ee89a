// CObjeto3D: construction, arrays and indices, colours, the kept single form and sub-meshes,
// viewer slots, freeing; the busy guard.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "render/mesh.h"

namespace {

// A loader that has not cleared its slot this long after being asked to stop is left behind.
constexpr int kLoaderStopTimeoutMs = 30000;
// How often a waiter that can give up looks at its give-up word.
constexpr int kBusyPollMs = 10;

// count x size bytes, or false when that does not fit in memory sizes.
bool ByteSize(int64_t count, int64_t size, size_t* out) {
    if (count < 0 || size <= 0)
        return false;
    const uint64_t bytes = static_cast<uint64_t>(count) * static_cast<uint64_t>(size);
    if (bytes > static_cast<uint64_t>(PTRDIFF_MAX))
        return false;
    *out = static_cast<size_t>(bytes);
    return true;
}

// realloc that frees the old block when it fails; null for 0 bytes.
void* Reallocate(void* block, size_t bytes) {
    if (bytes == 0) {
        free(block);
        return nullptr;
    }
    void* grown = realloc(block, bytes);
    if (!grown)
        free(block);
    return grown;
}

template <typename T>
void FreeAndClear(T*& block) {
    free(block);
    block = nullptr;
}

uint32_t ColorUnder(uint32_t current, uint32_t color, bool keepAlpha) {
    return keepAlpha ? (current & 0xFF000000u) | (color & 0x00FFFFFFu) : color;
}

}  // namespace

// --- MeshBusyGuard ---

int MeshBusyGuard::SharedHeldByLocked(DWORD thread) const {
    for (const Holder& h : m_holders)
        if (h.count > 0 && h.thread == thread)
            return h.count;
    return 0;
}

bool MeshBusyGuard::OthersDrawLocked(DWORD thread) const {
    return m_shared - SharedHeldByLocked(thread) > 0;
}

void MeshBusyGuard::LockShared() {
    const DWORD me = GetCurrentThreadId();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_exclusiveThread == 0 || m_exclusiveThread == me; });
    ++m_shared;
    for (Holder& h : m_holders)
        if (h.count > 0 && h.thread == me) {
            ++h.count;
            return;
        }
    for (Holder& h : m_holders)
        if (h.count == 0) {
            h.thread = me;
            h.count = 1;
            return;
        }
    ++m_untracked;
}

void MeshBusyGuard::UnlockShared() {
    const DWORD me = GetCurrentThreadId();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_shared <= 0)
            return;
        --m_shared;
        bool found = false;
        for (Holder& h : m_holders)
            if (h.count > 0 && h.thread == me) {
                --h.count;
                found = true;
                break;
            }
        if (!found && m_untracked > 0)
            --m_untracked;
    }
    m_changed.notify_all();
}

bool MeshBusyGuard::LockExclusive(const std::atomic<int>* giveUp) {
    const DWORD me = GetCurrentThreadId();
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        const bool free = (m_exclusiveThread == 0 || m_exclusiveThread == me) && !OthersDrawLocked(me);
        if (free)
            break;
        if (giveUp && giveUp->load() != 0)
            return false;
        m_changed.wait_for(lock, std::chrono::milliseconds(kBusyPollMs));
    }
    m_exclusiveThread = me;
    ++m_exclusiveDepth;
    return true;
}

void MeshBusyGuard::UnlockExclusive() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_exclusiveDepth <= 0 || m_exclusiveThread != GetCurrentThreadId())
            return;
        if (--m_exclusiveDepth == 0)
            m_exclusiveThread = 0;
    }
    m_changed.notify_all();
}

int MeshBusyGuard::GetSharedCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_shared;
}

bool MeshBusyGuard::IsHeldExclusively() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exclusiveDepth > 0;
}

// --- CObjeto3D ---

CObjeto3D::CObjeto3D() = default;

CObjeto3D::~CObjeto3D() {
    Clear();
}

int CObjeto3D::VisibleVertexCount() const {
    const int count = std::max(vertexCount, publishedVertexCount.load());
    return std::max(0, std::min(count, vertexCapacity));
}

int CObjeto3D::VisibleIndexCount() const {
    const int count = std::max(indexCount, publishedIndexCount.load());
    return std::max(0, std::min(count, indexCapacity));
}

bool CObjeto3D::AllocateArrays(int newVertexCount, int newIndexCount, bool clear, bool setCounts) {
    bool ok = true;
    if (newIndexCount > 0) {
        FreeAndClear(indices);
        indexCapacity = 0;
        indexWidth = newVertexCount < kMeshMax16BitVertices + 1 ? 2 : 4;
        const int triangles = newIndexCount / 3;
        size_t indexBytes = 0, normalBytes = 0;
        if (ByteSize(newIndexCount, indexWidth, &indexBytes) &&
            ByteSize(triangles, 3 * sizeof(float), &normalBytes)) {
            indices = malloc(indexBytes);
            triangleFlags = static_cast<uint8_t*>(Reallocate(triangleFlags, triangles));
            faceNormals = static_cast<float*>(Reallocate(faceNormals, normalBytes));
        }
        if (!indices || (triangles > 0 && (!triangleFlags || !faceNormals))) {
            FreeAndClear(indices);
            FreeAndClear(triangleFlags);
            FreeAndClear(faceNormals);
            newIndexCount = 0;
            ok = false;
        } else {
            indexCapacity = newIndexCount;
            if (clear) {
                memset(indices, 0, indexBytes);
                if (normalBytes)
                    memset(faceNormals, 0, normalBytes);
            }
            if (triangles > 0)
                memset(triangleFlags, MeshTrianglePresent, triangles);
        }
    }
    if (newVertexCount > 0) {
        size_t bytes = 0;
        vertexCapacity = 0;
        if (ByteSize(newVertexCount, sizeof(MeshVertex), &bytes))
            vertices = static_cast<MeshVertex*>(Reallocate(vertices, bytes));
        else
            FreeAndClear(vertices);
        if (!vertices) {
            newVertexCount = 0;
            ok = false;
        } else {
            vertexCapacity = newVertexCount;
            if (clear)
                memset(vertices, 0, bytes);
            for (int i = 0; i < newVertexCount; ++i)
                vertices[i].flags = MeshVertexPresent;
        }
    }
    if (setCounts) {
        vertexCount = std::min(std::max(newVertexCount, 0), vertexCapacity);
        indexCount = std::min(std::max(newIndexCount, 0), indexCapacity);
    }
    return ok;
}

void CObjeto3D::SetIndex(int slot, int vertex) {
    void* p = GetIndexPointer(slot);
    if (!p)
        return;
    if (indexWidth == 2)
        *static_cast<uint16_t*>(p) = static_cast<uint16_t>(vertex);
    else
        *static_cast<int32_t*>(p) = vertex;
}

void* CObjeto3D::GetIndexPointer(int slot) {
    if (!indices || slot < 0 || slot >= indexCapacity)
        return nullptr;
    return static_cast<uint8_t*>(indices) + static_cast<size_t>(slot) * indexWidth;
}

int CObjeto3D::ReadIndex(int slot) const {
    if (!indices || slot < 0 || slot >= indexCapacity)
        return -1;
    if (indexWidth == 2)
        return static_cast<const uint16_t*>(indices)[slot];
    return static_cast<const int32_t*>(indices)[slot];
}

bool CObjeto3D::IsTriangleRemoved(int firstSlot) const {
    const int first = ReadIndex(firstSlot);
    return indexWidth == 2 ? first == static_cast<int>(kMeshRemoved16) : first == kMeshRemoved32;
}

void CObjeto3D::SetTriangle(int firstSlot, int a, int b, int c) {
    if (indexWidth == 2) {
        // Rotating keeps the winding; a triangle whose three corners are all 65535 is degenerate
        // and may read as removed.
        for (int turn = 0; turn < 2 && static_cast<uint32_t>(a) == kMeshRemoved16; ++turn) {
            const int first = a;
            a = b;
            b = c;
            c = first;
        }
    }
    SetIndex(firstSlot, a);
    SetIndex(firstSlot + 1, b);
    SetIndex(firstSlot + 2, c);
}

MeshVertex* CObjeto3D::GetTriangleVertex(int slot, bool raw) {
    const int vertex = GetIndex(slot, raw);
    if (!vertices || vertex < 0 || vertex >= VisibleVertexCount())
        return nullptr;
    return &vertices[vertex];
}

float* CObjeto3D::GetVertexPosition(int slot, bool raw) {
    MeshVertex* v = GetTriangleVertex(slot, raw);
    return v ? &v->wx : nullptr;
}

void CObjeto3D::SetColorField(uint32_t MeshVertex::*field, uint32_t color, bool keepAlpha) {
    const int count = VisibleVertexCount();
    for (int i = 0; vertices && i < count; ++i)
        vertices[i].*field = ColorUnder(vertices[i].*field, color, keepAlpha);
    for (int i = 0; keptVertices && i < keptVertexCount; ++i)
        keptVertices[i].*field = ColorUnder(keptVertices[i].*field, color, keepAlpha);
}

void CObjeto3D::SetVertexColor(uint32_t color, bool keepAlpha) {
    SetColorField(&MeshVertex::diffuse, color, keepAlpha);
}

void CObjeto3D::SetSpecularColor(uint32_t color, bool keepAlpha) {
    SetColorField(&MeshVertex::specular, color, keepAlpha);
}

void CObjeto3D::FreeKeptArrays() {
    FreeAndClear(keptVertices);
    FreeAndClear(keptIndices);
    FreeAndClear(keptTriangleFlags);
    FreeAndClear(keptFaceNormals);
    keptVertexCount = 0;
    keptIndexCount = 0;
}

void CObjeto3D::KeepOriginalArrays() {
    FreeKeptArrays();
    keptVertices = vertices;
    keptIndices = indices;
    keptTriangleFlags = triangleFlags;
    keptFaceNormals = faceNormals;
    keptVertexCount = std::max(vertexCount, publishedVertexCount.load());
    keptIndexCount = std::max(indexCount, publishedIndexCount.load());
    keptVertexCount = std::min(keptVertexCount, vertexCapacity);
    keptIndexCount = std::min(keptIndexCount, indexCapacity);
    vertices = nullptr;
    indices = nullptr;
    triangleFlags = nullptr;
    faceNormals = nullptr;
    vertexCount = indexCount = 0;
    vertexCapacity = indexCapacity = 0;
    publishedVertexCount = 0;
    publishedIndexCount = 0;
}

void CObjeto3D::RestoreOriginalArrays() {
    if (!keptVertices && !keptIndices)
        return;
    free(vertices);
    free(indices);
    free(triangleFlags);
    free(faceNormals);
    vertices = keptVertices;
    indices = keptIndices;
    triangleFlags = keptTriangleFlags;
    faceNormals = keptFaceNormals;
    vertexCount = vertexCapacity = keptVertexCount;
    indexCount = indexCapacity = keptIndexCount;
    indexWidth = vertexCount < kMeshMax16BitVertices + 1 ? 2 : 4;
    keptVertices = nullptr;
    keptIndices = nullptr;
    keptTriangleFlags = nullptr;
    keptFaceNormals = nullptr;
    keptVertexCount = keptIndexCount = 0;
}

void CObjeto3D::FreeSubMeshArrays() {
    FreeAndClear(subIndexCount);
    FreeAndClear(subVertexCount);
    FreeAndClear(subFullIndexCount);
    FreeAndClear(subFullVertexCount);
    FreeAndClear(subCorners);
    FreeAndClear(subBoxes);
    subMeshCount = 0;
}

bool CObjeto3D::AllocateSubMeshes(int count) {
    FreeSubMeshArrays();
    if (count <= 0)
        return true;
    subIndexCount = static_cast<int32_t*>(calloc(count, sizeof(int32_t)));
    subVertexCount = static_cast<int32_t*>(calloc(count, sizeof(int32_t)));
    subFullIndexCount = static_cast<int32_t*>(calloc(count, sizeof(int32_t)));
    subFullVertexCount = static_cast<int32_t*>(calloc(count, sizeof(int32_t)));
    subCorners = static_cast<BoxCorners*>(calloc(count, sizeof(BoxCorners)));
    subBoxes = static_cast<BoundingBox*>(calloc(count, sizeof(BoundingBox)));
    if (!subIndexCount || !subVertexCount || !subFullIndexCount || !subFullVertexCount ||
        !subCorners || !subBoxes) {
        FreeSubMeshArrays();
        return false;
    }
    subMeshCount = count;
    return true;
}

void CObjeto3D::FreeSubMeshes() {
    if (subMeshCount <= 0 && !subIndexCount)
        return;
    MeshBusyGuard::Exclusive hold(busy);
    FreeSubMeshArrays();
    RestoreOriginalArrays();
}

bool CObjeto3D::IsVisibleInAnyView() const {
    uint8_t any = 0;
    for (uint8_t v : viewVisible)
        any |= v;
    return any != 0;
}

float CObjeto3D::GetNearestViewDistance(int* slot) const {
    float nearest = kMeshNoViewDistance;
    for (int i = 0; i < kMeshViewerSlots; ++i) {
        if (viewDistance[i] == kMeshUnusedViewDistance || viewDistance[i] >= nearest)
            continue;
        nearest = viewDistance[i];
        if (slot)
            *slot = i;
    }
    return nearest;
}

void CObjeto3D::StopLoading() {
    abortFlag = 1;
    WaitForWorkerThreadEnd(loaderThread, kLoaderStopTimeoutMs);
    abortFlag = 0;
}

void CObjeto3D::FreeArrays() {
    // Drawers always finish first: freeing under a draw would pull the arrays from under it.
    MeshBusyGuard::Exclusive hold(busy);
    discardAfterLoad = 0;
    loadState = MeshLoadEmpty;
    FreeAndClear(vertices);
    FreeAndClear(indices);
    FreeAndClear(triangleFlags);
    FreeAndClear(faceNormals);
    FreeKeptArrays();
    for (void*& buffer : auxBuffers)
        FreeAndClear(buffer);
    FreeSubMeshArrays();
    vertexCount = columns = rows = indexCount = 0;
    vertexCapacity = indexCapacity = 0;
    publishedVertexCount = 0;
    publishedIndexCount = 0;
    transposed = 0;
    hasDetailLevels = 0;
    texture1 = nullptr;
    texture2 = nullptr;
}

void CObjeto3D::Clear() {
    StopLoading();
    FreeArrays();
}
