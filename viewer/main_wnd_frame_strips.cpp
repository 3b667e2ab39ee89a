// Strip frames: a spherical panorama stored as strips, each photographed through a camera of its
// own. Each strip mesh takes its texture coordinates from a reference sphere seen through that
// strip's camera on the software pipeline, then the strip's colour corrections. The strip table
// comes from a file: every count and index in it is checked before use.
#include "viewer/main_wnd.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/matrix_math.h"

namespace {

// Layout of the strip table (little-endian).
constexpr int kStripHeaderSize = 68;
constexpr int kStripRecordSize = 24;
constexpr int kCorrectionEntrySize = 6;
// From this version on the strips are placed by whole pixels.
constexpr uint16_t kWholePixelVersion = 258;
// The reference sphere.
constexpr float kReferenceRadius = 1000.0f;
constexpr int kFewStripRows = 23;
constexpr int kFewStripColumns = 40;
constexpr int kManyStrips = 6;
constexpr int kManyStripCells = 10;
// Points whose projected distance is the strip's height.
constexpr float kSpanPoint = 1000.0f;
// Rounds of FitStripProjection before it settles for the closest projection.
constexpr int kFitRounds = 64;
constexpr float kOscillationBias = 0.5f;
// Projected spans at least this many pixels high are taken as unmeasurable.
constexpr float kLargestSpan = 16777216.0f;
// Colour corrections: three 9-bit fields; bit 8 of a field darkens.
constexpr int kFieldBits = 9;
constexpr uint32_t kFieldMask = 0x1FF;
constexpr uint32_t kDarkenBit = 0x100;

uint16_t ReadU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
int16_t ReadI16(const uint8_t* p)
{
    return static_cast<int16_t>(ReadU16(p));
}
uint32_t ReadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
float ReadF32(const uint8_t* p)
{
    const uint32_t bits = ReadU32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Where each strip's corrections start; false when the table is shorter than its counts say.
bool FindCorrections(const uint8_t* table, int size, int strips, int* starts)
{
    int64_t position = kStripHeaderSize + static_cast<int64_t>(kStripRecordSize) * strips;
    for (int i = 0; i < strips; ++i) {
        if (position + 2 > size)
            return false;
        starts[i] = static_cast<int>(position);
        const int entries = ReadU16(table + position);
        position += 2 + static_cast<int64_t>(entries) * kCorrectionEntrySize;
        if (position > size)
            return false;
    }
    return true;
}

// Applies one packed correction to the vertex: a darkening field sets the diffuse channel, any
// other the specular one (added light).
void ApplyCorrection(MeshVertex& vertex, uint32_t packed)
{
    uint32_t diffuse = vertex.diffuse & 0xFF000000u;
    uint32_t specular = vertex.specular & 0xFF000000u;
    for (int channel = 0; channel < 3; ++channel) {
        const uint32_t field = (packed >> (channel * kFieldBits)) & kFieldMask;
        const int shift = channel * 8;  // blue, green, red
        if (field & kDarkenBit) {
            diffuse |= (field & 0xFF) << shift;
        } else {
            diffuse |= 0xFFu << shift;
            specular |= (field & 0xFF) << shift;
        }
    }
    vertex.diffuse = diffuse;
    vertex.specular = specular;
}

}  // namespace

void CMainWnd::BuildStripFrame(CFrame* frame)
{
    const uint8_t* table = frame->stripTable;
    const int size = frame->stripTableSize;
    const int strips = std::min<int>(frame->meshCount, kFrameSlotCapacity);
    CSprite* image = frame->spriteCount > 0 ? frame->sprites[0] : nullptr;
    if (!table || strips <= 0 || size < kStripHeaderSize || !image || image->width <= 0 ||
        image->height <= 0)
        return;
    std::vector<int> corrections(static_cast<size_t>(strips));
    if (!FindCorrections(table, size, strips, corrections.data()))
        return;
    const uint16_t version = ReadU16(table);
    const bool wholePixels = version >= kWholePixelVersion;
    const float w = static_cast<float>(image->width);
    const float h = static_cast<float>(image->height);

    CObjeto3D sphere;
    CameraState camera;
    camera.zoom = 1.0f;
    SelectRenderBackEnd(RenderSoftware, true);
    CameraState* saved = m_view.params->camera;
    m_view.params->camera = &camera;
    if (strips < kManyStrips) {
        const float half = 1.0f / static_cast<float>(strips);
        sphere.BuildGeometry(MeshGeometrySphere, kFewStripColumns / strips, kFewStripRows,
                             kReferenceRadius, kReferenceRadius, kReferenceRadius, 0.5f - half,
                             0.5f + half, 0, 1, 0.5f, 0, true);
    } else {
        sphere.BuildGeometry(MeshGeometrySphere, kManyStripCells, kManyStripCells,
                             kReferenceRadius, kReferenceRadius, kReferenceRadius, 0.25f, 0.75f,
                             0.25f, 0.75f, 0.5f, 0, true);
    }
    m_view.SetRenderState(RenderStateProjectionHeight, m_view.params->height);
    m_view.SetRenderState(RenderStateLighting, 0);
    m_view.UpdateViewMatrix();

    float offset = 0.0f;
    std::vector<float> screen;
    for (int i = 0; i < strips; ++i) {
        const uint8_t* record = table + kStripHeaderSize + kStripRecordSize * i;
        const int pixelHeight = ReadI16(record);
        const int rotation = ReadI16(record + 2);
        const float distance = ReadF32(record + 4);
        FitStripProjection(&m_view, &sphere, pixelHeight, rotation, -distance);
        sphere.UpdateWorldVertices();

        // Where the sphere's vertices fall on the screen, and their extent.
        screen.assign(static_cast<size_t>(sphere.vertexCount) * 2, 0.0f);
        float minX = 1e30f, minY = 1e30f, maxX = -1e30f, maxY = -1e30f;
        for (int j = 0; j < sphere.vertexCount; ++j) {
            const MeshVertex& vertex = sphere.vertices[j];
            const float point[3] = {vertex.wx, vertex.wy, vertex.wz};
            float x = 0, y = 0;
            m_view.ProjectToScreen(point, &x, &y, false);
            screen[2 * j] = x;
            screen[2 * j + 1] = y;
            minX = std::min(minX, x);
            minY = std::min(minY, y);
            maxX = std::max(maxX, x);
            maxY = std::max(maxY, y);
        }

        CObjeto3D* mesh = frame->meshes[i];
        const int entries = ReadU16(table + corrections[i]);
        const uint8_t* entry = table + corrections[i] + 2;
        bool usable = mesh && sphere.vertexCount > 0 && mesh->vertexCount == sphere.vertexCount;
        for (int k = 0; usable && k < entries; ++k) {
            if (ReadU16(entry + k * kCorrectionEntrySize) >= mesh->vertexCount)
                usable = false;
        }
        if (usable) {
            for (int j = 0; j < mesh->vertexCount; ++j) {
                float x, y;
                if (wholePixels) {
                    x = screen[2 * j] - std::trunc(minX) + offset + 1.0f;
                    y = screen[2 * j + 1] - std::trunc(minY) + 1.0f;
                } else {
                    x = screen[2 * j] - minX + offset;
                    y = screen[2 * j + 1] - minY;
                }
                mesh->vertices[j].u = std::clamp(x / w, 0.0f, 1.0f);
                mesh->vertices[j].v = std::clamp(y / h, 0.0f, 1.0f);
            }
            for (int k = 0; k < entries; ++k) {
                const uint8_t* e = entry + k * kCorrectionEntrySize;
                ApplyCorrection(mesh->vertices[ReadU16(e)], ReadU32(e + 2));
            }
            m_view.SetObjectTransform(mesh, 1);
            mesh->SetTexture(image, -1, 1, -1, false);
            mesh->UpdateWorldVertices();
            SetMeshReady(mesh);
            image->resolutionLevel = 0;
        }
        // A strip that cannot be built still takes its place in the image.
        if (maxX >= minX) {
            if (wholePixels)
                offset += std::trunc(maxX - minX) + 3.0f;
            else
                offset = std::trunc(offset + maxX - minX);
        }
    }

    m_view.params->camera = saved;
    m_view.SetRenderState(RenderStateProjectionWidth, 0);
    m_view.SetRenderState(RenderStateProjectionHeight, 0);
    m_view.SetRenderState(RenderStateSpecular, 1);
    m_view.SetRenderState(RenderStateLighting, 1);
    m_view.UpdateViewMatrix();
}

bool CMainWnd::FitStripProjection(CObjeto2D* device, CObjeto3D* mesh, int32_t pixelHeight,
                                  int32_t rotation, float z)
{
    if (!device)
        return false;
    CameraState* camera = device->params->camera;
    if (camera && camera->z != z) {
        camera->z = z;
        device->UpdateViewMatrix();
    }
    bool settled = false;
    // A height of 0 or less can never be met.
    if (pixelHeight > 0) {
        int previous = 0;
        int oscillations = 0;
        int bestError = -1;
        int bestProjection = device->GetRenderState(RenderStateProjectionHeight);
        for (int round = 0; round < kFitRounds; ++round) {
            const float top[3] = {0, kSpanPoint, 0};
            const float bottom[3] = {0, -kSpanPoint, 0};
            float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
            device->ProjectToScreen(top, &x1, &y1, false);
            device->ProjectToScreen(bottom, &x2, &y2, false);
            // A distance from the table can put the camera where the span is no number or
            // beyond any screen; no projection fits such a strip, and its height would not fit
            // an int.
            const float span = y2 - y1 + 1.0f;
            if (!(std::fabs(span) < kLargestSpan))
                break;
            const int h = static_cast<int>(span);
            const int projection = device->GetRenderState(RenderStateProjectionHeight);
            const int error = std::abs(h - pixelHeight);
            if (bestError < 0 || error < bestError) {
                bestError = error;
                bestProjection = projection;
            }
            if (h == pixelHeight) {
                settled = true;
                break;
            }
            if (h <= 0)
                break;
            if (previous == pixelHeight - 1 && h == pixelHeight + 1)
                ++oscillations;
            previous = h;
            const float bias = oscillations >= 2 ? kOscillationBias : 0.0f;
            const float base = projection ? static_cast<float>(projection)
                                          : static_cast<float>(device->params->height);
            const int next = RoundToInt(static_cast<float>(pixelHeight) * base / h + bias);
            device->SetRenderState(RenderStateProjectionWidth, next);
            device->SetRenderState(RenderStateProjectionHeight, next);
            device->UpdateViewMatrix();
        }
        if (!settled && bestError >= 0) {
            device->SetRenderState(RenderStateProjectionWidth, bestProjection);
            device->SetRenderState(RenderStateProjectionHeight, bestProjection);
            device->UpdateViewMatrix();
        }
    }
    const float turn = static_cast<float>(rotation) / 10.0f;
    if (mesh && mesh->rotZ != turn) {
        mesh->rotZ = turn;
        device->SetObjectTransform(mesh, 1);
    }
    return settled;
}
