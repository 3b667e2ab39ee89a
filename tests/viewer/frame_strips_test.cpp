// Strip frames: texture coordinates from the strip table before and from the whole-pixel
// version, and tables that do not hold what they promise.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/item_records.h"
#include "render/mesh.h"

namespace {

struct Strip {
    int16_t pixelHeight;
    int16_t rotation;  // tenths of a degree
    float distance;
    std::vector<std::pair<uint16_t, uint32_t>> corrections;  // vertex, packed colour
};

std::vector<uint8_t> BuildTable(uint16_t version, const std::vector<Strip>& strips)
{
    std::vector<uint8_t> table(68, 0);
    table[0] = static_cast<uint8_t>(version);
    table[1] = static_cast<uint8_t>(version >> 8);
    auto put = [&table](const void* bytes, size_t size) {
        const uint8_t* p = static_cast<const uint8_t*>(bytes);
        table.insert(table.end(), p, p + size);
    };
    for (const Strip& s : strips) {
        put(&s.pixelHeight, 2);
        put(&s.rotation, 2);
        put(&s.distance, 4);
        table.insert(table.end(), 16, 0);
    }
    for (const Strip& s : strips) {
        const uint16_t count = static_cast<uint16_t>(s.corrections.size());
        put(&count, 2);
        for (const auto& c : s.corrections) {
            put(&c.first, 2);
            put(&c.second, 4);
        }
    }
    return table;
}

// A strip frame of two strips (sphere pieces as the panorama file reader makes them) over one
// image, with the table.
CFrame* MakeStripFrame(CMainWnd& engine, const std::vector<uint8_t>& table, int columns = 20)
{
    FrameItem* item = static_cast<FrameItem*>(engine.m_frames.CreateItem(ItemType::Frame));
    CFrame* frame = &item->frame;
    frame->kind = FrameKindStrips;
    frame->sprites[0] = new CSprite;
    frame->sprites[0]->CreateImage(400, 200, 24, true, 0x808080, false);
    frame->spriteCount = 1;
    for (int i = 0; i < 2; ++i) {
        CObjeto3D* mesh = new CObjeto3D;
        mesh->BuildGeometry(MeshGeometrySphere, columns, 23, 1000, 1000, 1000, (2 - i) * 1.0f,
                            (2 - i) * 1.0f + 1.0f, 0, 1, 0.5f, 0, true);
        mesh->ready = 0;
        frame->meshes[i] = mesh;
    }
    frame->meshCount = 2;
    frame->stripTable = static_cast<uint8_t*>(std::malloc(table.size()));
    std::memcpy(frame->stripTable, table.data(), table.size());
    frame->stripTableSize = static_cast<int32_t>(table.size());
    return frame;
}

}  // namespace

TEST(FrameStrips, BothTableVersionsPlaceTheStripsInTheImage)
{
    const std::vector<Strip> strips = {{150, 0, 1000.0f, {{0, 0x100u | (0x50u << 9)}}},
                                       {150, 900, 1000.0f, {}}};
    for (uint16_t version : {257, 258, 259}) {
        SCOPED_TRACE(version);
        auto engine = std::make_unique<CMainWnd>();
        CFrame* frame = MakeStripFrame(*engine, BuildTable(version, strips));
        engine->OnFrameReady(frame, 0);
        float uRanges[2][2] = {};
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(i);
            CObjeto3D* mesh = frame->meshes[i];
            EXPECT_EQ(mesh->drawing, 1);
            EXPECT_EQ(mesh->texture1, frame->sprites[0]);
            float uMin = 1, uMax = 0, vMin = 1, vMax = 0;
            for (int j = 0; j < mesh->vertexCount; ++j) {
                uMin = std::min(uMin, mesh->vertices[j].u);
                uMax = std::max(uMax, mesh->vertices[j].u);
                vMin = std::min(vMin, mesh->vertices[j].v);
                vMax = std::max(vMax, mesh->vertices[j].v);
            }
            EXPECT_GE(uMin, 0.0f);
            EXPECT_LE(uMax, 1.0f);
            EXPECT_LT(uMin, uMax);
            EXPECT_LT(vMin, vMax);
            uRanges[i][0] = uMin;
            uRanges[i][1] = uMax;
        }
        // The two strips lie side by side in the image.
        EXPECT_GE(std::max(uRanges[0][0], uRanges[1][0]),
                  std::min(uRanges[0][1], uRanges[1][1]) - 0.02f);
        EXPECT_FLOAT_EQ(frame->meshes[1]->rotZ, 0.0f);
        // The darkening blue field and the added green light of vertex 0 of strip 0.
        const MeshVertex& corrected = frame->meshes[0]->vertices[0];
        EXPECT_EQ(corrected.diffuse & 0xFFFFFF, 0xFFFF00u);
        EXPECT_EQ(corrected.specular & 0xFFFFFF, 0x005000u);
        // The device is back on its own camera and automatic projection.
        EXPECT_EQ(engine->m_view.GetRenderState(RenderStateProjectionHeight), 0);
        EXPECT_EQ(engine->m_view.params->camera, &engine->m_interfaceFrame.cameras[0]);
        EXPECT_EQ(frame->ready, 1);
    }
}

TEST(FrameStrips, BrokenTablesEndCleanly)
{
    const std::vector<Strip> good = {{150, 0, 1000.0f, {}}, {150, 0, 1000.0f, {}}};
    std::vector<uint8_t> shortTable = BuildTable(258, good);
    shortTable.resize(shortTable.size() - 3);
    const std::vector<Strip> beyond = {{150, 0, 1000.0f, {{60000, 0}}}, {150, 0, 1000.0f, {}}};
    struct Case {
        const char* name;
        std::vector<uint8_t> table;
        int columns;
        int drawnStrips;
    };
    const Case cases[] = {
        {"shorter than its counts", shortTable, 20, 0},
        {"only a header", std::vector<uint8_t>(68, 0), 20, 0},
        {"a vertex index beyond the mesh", BuildTable(258, beyond), 20, 1},
        {"vertex counts unlike the sphere's", BuildTable(258, good), 7, 0},
        {"a height that cannot be met", BuildTable(258, {{0, 0, 1000.0f, {}}, {-5, 0, 1.0f, {}}}),
         20, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = std::make_unique<CMainWnd>();
        CFrame* frame = MakeStripFrame(*engine, c.table, c.columns);
        engine->OnFrameReady(frame, 0);
        int drawn = 0;
        for (int i = 0; i < 2; ++i)
            drawn += frame->meshes[i]->drawing;
        EXPECT_EQ(drawn, c.drawnStrips);
        EXPECT_EQ(frame->ready, 1);
    }
    // No strips at all.
    auto engine = std::make_unique<CMainWnd>();
    CFrame* frame = MakeStripFrame(*engine, BuildTable(258, good));
    frame->meshCount = 0;
    engine->OnFrameReady(frame, 0);
    EXPECT_EQ(frame->meshes[0]->drawing, 0);
}

TEST(FrameStrips, FitStripProjectionMeetsTheHeightOrStopsAtTheClosest)
{
    auto engine = std::make_unique<CMainWnd>();
    CameraState camera;
    camera.zoom = 1.0f;
    engine->m_view.params->camera = &camera;
    engine->m_view.UpdateViewportAndProjection();
    CObjeto3D mesh;
    // Whole projection sizes may step over the height: the closest is kept, and the fit ends.
    const bool settled = engine->FitStripProjection(&engine->m_view, &mesh, 40, 450, -1000.0f);
    EXPECT_FLOAT_EQ(camera.z, -1000.0f);
    EXPECT_FLOAT_EQ(mesh.rotZ, 45.0f);
    float x1, y1, x2, y2;
    const float top[3] = {0, 1000, 0}, bottom[3] = {0, -1000, 0};
    engine->m_view.ProjectToScreen(top, &x1, &y1, false);
    engine->m_view.ProjectToScreen(bottom, &x2, &y2, false);
    const int height = static_cast<int>(y2 - y1 + 1);
    if (settled)
        EXPECT_EQ(height, 40);
    else
        EXPECT_NEAR(height, 40, 1);
    for (int height : {0, -3}) {
        SCOPED_TRACE(height);
        EXPECT_FALSE(engine->FitStripProjection(&engine->m_view, nullptr, height, 0, -1000.0f));
    }
    // Distances from a damaged table that leave the span unmeasurable: no fit, and no int is
    // made of a span that is no number or beyond any screen.
    for (float distance : {std::nanf(""), HUGE_VALF, -HUGE_VALF, 0.0f, 1e-30f}) {
        SCOPED_TRACE(distance);
        EXPECT_FALSE(engine->FitStripProjection(&engine->m_view, nullptr, 150, 0, -distance));
    }
    engine->m_view.params->camera = &engine->m_interfaceFrame.cameras[0];
}
