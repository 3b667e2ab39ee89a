// Object layout: percent sizes and positions, orientation, aspect, scale, node hotspots kept in
// the view, the drag shift, scene objects' visibility and lens flares, the occlusion countdown,
// and 3D labels stacked apart with the cap on what a pass remembers.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "scene_support.h"

namespace {

constexpr int kW = 800, kH = 600;

class Layout : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine = std::make_unique<CMainWnd>();
        ASSERT_TRUE(scene_test::AttachImageTarget(engine->m_view, target, kW, kH));
    }

    std::unique_ptr<ObjectItem> Object(ItemType type)
    {
        auto object = std::make_unique<ObjectItem>();
        object->type = type;
        return object;
    }

    std::unique_ptr<CMainWnd> engine;
    CSprite target;
};

TEST_F(Layout, ScreenObjectsTable)
{
    struct Case {
        const char* name;
        int32_t flags;
        float x, y, width, height;
        float angle;
        uint8_t align;
        float scale, offsetWidth;
        float expectX, expectY, expectWidth, expectHeight;
    };
    const Case cases[] = {
        {"pixels", 0, 10, 20, 30, 40, 0, 0, 100, 0, 10, 20, 30, 40},
        {"x 33 % of 800", LayoutXPercent, 33, 0, 30, 40, 0, 0, 100, 0, 264, 0, 30, 40},
        {"x 33.3 %: 266.4 rounds up", LayoutXPercent, 33.3f, 0, 30, 40, 0, 0, 100, 0, 267, 0, 30, 40},
        {"y 10 % of 600", LayoutYPercent, 0, 10, 30, 40, 0, 0, 100, 0, 0, 60, 30, 40},
        {"width 50 %", LayoutWidthPercent, 0, 0, 50, 40, 0, 0, 100, 0, 0, 0, 400, 40},
        {"width 0.05 % is still a pixel", LayoutWidthPercent, 0, 0, 0.05f, 40, 0, 0, 100, 0, 0, 0, 1, 40},
        {"turned by 90: width from the height", LayoutWidthPercent | LayoutHeightPercent, 0, 0, 50, 50,
         90, 0, 100, 0, 0, 0, 300, 400},
        {"scale and offset", 0, 0, 0, 100, 40, 0, 0, 50, 7, 0, 0, 57, 20},
        {"centred on x from the right edge", 0, -10, 0, 100, 40, 0, 0x05, 100, 0, 740, 0, 100, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto object = Object(ItemType::ImageObject);
        object->layoutFlags = c.flags;
        object->x = c.x;
        object->y = c.y;
        object->width = c.width;
        object->height = c.height;
        object->angle = c.angle;
        object->align = c.align;
        object->scaleX = object->scaleY = c.scale;
        object->offsetWidth = c.offsetWidth;
        engine->LayoutItem(&engine->m_view, object.get(), nullptr);
        EXPECT_FLOAT_EQ(object->screenX, c.expectX);
        EXPECT_FLOAT_EQ(object->screenY, c.expectY);
        EXPECT_FLOAT_EQ(object->drawWidth, c.expectWidth);
        EXPECT_FLOAT_EQ(object->drawHeight, c.expectHeight);
        EXPECT_EQ(object->onScreen, 1);
        EXPECT_TRUE(object->layoutFlags & LayoutDone);
    }
}

TEST_F(Layout, APercentFractionOfATenthStays)
{
    auto object = Object(ItemType::ImageObject);
    engine->m_view.params->width = 1000;
    object->layoutFlags = LayoutXPercent;
    object->x = 10.005f;
    engine->LayoutItem(&engine->m_view, object.get(), nullptr);
    EXPECT_NEAR(object->screenX, 100.05f, 0.001f);
}

TEST_F(Layout, AspectOrientationShiftAndPlacementInView)
{
    CSprite image;
    ASSERT_EQ(image.CreateImage(200, 100, 32, true, 0, false), 4);

    auto fitted = Object(ItemType::ImageObject);
    fitted->width = 300;
    fitted->height = 300;
    fitted->stateFlags[0] = StateKeepAspect;
    engine->LayoutItem(&engine->m_view, fitted.get(), &image);
    EXPECT_FLOAT_EQ(fitted->drawWidth, 300);
    EXPECT_FLOAT_EQ(fitted->drawHeight, 150);

    struct Orientation {
        int tag;
        float angle;
    };
    for (Orientation o : {Orientation{1, 0}, {8, -90}, {6, 90}, {4, 180}, {3, 45}}) {
        SCOPED_TRACE(o.tag);
        auto turned = Object(ItemType::ImageObject);
        turned->angle = 45;
        turned->stateFlags[0] = StateFollowOrientation;
        image.exifOrientation = o.tag;
        engine->LayoutItem(&engine->m_view, turned.get(), &image);
        EXPECT_EQ(turned->angle, o.angle);
    }

    auto shifted = Object(ItemType::ImageObject);
    shifted->x = 10;
    shifted->shiftX = 5;
    shifted->shiftY = -3;
    engine->LayoutItem(&engine->m_view, shifted.get(), nullptr);
    EXPECT_FLOAT_EQ(shifted->screenX, 15);
    EXPECT_FLOAT_EQ(shifted->screenY, -3);

    // A node hotspot placed in the view stays inside it.
    auto node = Object(ItemType::NodeHotspot);
    node->placement = PlacementOwnImageInView;
    node->x = 790;
    node->y = -20;
    node->width = 40;
    node->height = 30;
    engine->LayoutItem(&engine->m_view, node.get(), nullptr);
    EXPECT_FLOAT_EQ(node->screenX, 760);
    EXPECT_FLOAT_EQ(node->screenY, 0);

    auto negative = Object(ItemType::ImageObject);
    negative->width = 10;
    negative->offsetWidth = -20;
    engine->LayoutItem(&engine->m_view, negative.get(), nullptr);
    EXPECT_EQ(negative->onScreen, 0) << "a negative size is not on screen";
}

TEST_F(Layout, SceneObjectsAreSeenOnlyInFrontAndNotTooFar)
{
    struct Case {
        const char* name;
        ItemType type;
        float x, y, z;
        int onScreen;
    };
    const Case cases[] = {
        {"ahead", ItemType::TextObject, 0, 0, 500, 1},
        {"behind the camera", ItemType::TextObject, 0, 0, -500, 0},
        {"beyond 80 % of the far plane", ItemType::TextObject, 0, 0, 9000, 0},
        {"aside, out of the view", ItemType::TextObject, 5000, 0, 500, 0},
        {"lens flare ahead", ItemType::LensFlareObject, 0, 0, 500, 1},
        {"lens flare far to the side", ItemType::LensFlareObject, 5000, 0, 500, 0},
        {"lens flare behind", ItemType::LensFlareObject, 0, 0, -500, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto object = Object(c.type);
        object->inScene = 1;
        object->x = c.x;
        object->y = c.y;
        object->z = c.z;
        object->width = object->height = 10;
        engine->LayoutItem(&engine->m_view, object.get(), nullptr);
        EXPECT_EQ(object->onScreen, c.onScreen);
    }

    auto utm = Object(ItemType::TextObject);
    utm->inScene = 1;
    utm->utmFlag = 1;
    utm->z = 500;
    engine->LayoutItem(&engine->m_view, utm.get(), nullptr);
    EXPECT_EQ(utm->onScreen, 0) << "a position not yet converted from UTM is not laid out";
    EXPECT_FALSE(utm->layoutFlags & LayoutDone);
}

TEST_F(Layout, OcclusionIsTestedEveryHalfSecond)
{
    CObjeto2D& view = engine->m_view;
    view.SetRenderState(RenderStateZBuffer, 1);
    ASSERT_NE(view.params->depthBuffer, nullptr);
    engine->m_fps = 10;  // a test every 5 layouts
    auto object = Object(ItemType::TextObject);
    object->inScene = 1;
    object->z = 500;
    object->width = object->height = 10;

    view.ClearDepthBuffer();
    engine->LayoutItem(&view, object.get(), nullptr);
    EXPECT_EQ(object->onScreen, 1) << "nothing drawn hides the point";
    EXPECT_EQ(object->visibleCountdown, 5);

    // Something drawn nearer than the point at every pixel.
    for (int i = 0; i < view.params->width * view.params->height; i++)
        view.params->depthBuffer[i] = 327;
    ASSERT_GT(view.GetDepthAt(400, 300), 0.0f);
    ASSERT_LT(view.GetDepthAt(400, 300), 400.0f);
    for (int pass = 1; pass <= 4; pass++) {
        SCOPED_TRACE(pass);
        engine->LayoutItem(&view, object.get(), nullptr);
        EXPECT_EQ(object->onScreen, 1) << "the last answer stands between tests";
    }
    engine->LayoutItem(&view, object.get(), nullptr);
    EXPECT_EQ(object->onScreen, 0);
    EXPECT_EQ(object->visibleCache, 0);
    EXPECT_EQ(object->visibleCountdown, 5);
}

// The placement as the plain scan makes it: above the first overlapping rectangle, again from the
// first, until none overlaps.
void PlaceLabelPlain(std::vector<RECT>& stored, RECT* r)
{
    const LONG h = r->bottom - r->top;
    for (size_t i = 0; i < stored.size(); i++) {
        const RECT& s = stored[i];
        if (r->right + 1 >= s.left && s.right + 1 >= r->left && r->bottom + 1 >= s.top &&
            s.bottom + 1 >= r->top) {
            r->top = s.top - h - 2;
            r->bottom = r->top + h;
            i = static_cast<size_t>(-1);
        }
    }
    if (stored.size() < static_cast<size_t>(kMaxLabelRects))
        stored.push_back(*r);
}

TEST(PlaceLabel, StackedLabelsAndTheCap)
{
    std::vector<RECT> rects(kMaxLabelRects);
    int32_t count = 0;
    RECT a = {0, 100, 50, 110};
    CMainWnd::PlaceLabel(rects.data(), &count, &a);
    RECT b = {10, 102, 60, 112};
    CMainWnd::PlaceLabel(rects.data(), &count, &b);
    EXPECT_EQ(b.top, 88);
    EXPECT_EQ(b.bottom, 98);
    RECT c = {20, 105, 40, 115};
    CMainWnd::PlaceLabel(rects.data(), &count, &c);
    EXPECT_EQ(c.top, 76) << "above both, 2 pixels apart";
    RECT beside = {52, 100, 80, 110};
    CMainWnd::PlaceLabel(rects.data(), &count, &beside);
    EXPECT_EQ(beside.top, 100) << "2 pixels to the right touches nothing";
    EXPECT_EQ(count, 4);

    count = kMaxLabelRects;
    RECT last = {5000, 0, 5010, 10};
    CMainWnd::PlaceLabel(rects.data(), &count, &last);
    EXPECT_EQ(count, kMaxLabelRects) << "placed but not remembered";
    EXPECT_EQ(last.top, 0);
}

TEST(PlaceLabel, PlacesAsThePlainScanOnRandomSets)
{
    std::mt19937 random(29);
    for (int set = 0; set < 40; set++) {
        SCOPED_TRACE(set);
        const int spread = set % 4 == 0 ? 1 : 40 * (set % 4);
        std::vector<RECT> plain;
        std::vector<RECT> rects(kMaxLabelRects);
        int32_t count = 0;
        const int labels = set % 5 == 0 ? 1100 : 300;
        for (int i = 0; i < labels; i++) {
            const LONG x = static_cast<LONG>(random() % (spread * 5 + 1));
            const LONG y = static_cast<LONG>(random() % (spread * 3 + 1));
            const LONG w = static_cast<LONG>(10 + random() % 60);
            const LONG h = static_cast<LONG>(8 + random() % 12);
            RECT expected = {x, y, x + w, y + h};
            RECT placed = expected;
            PlaceLabelPlain(plain, &expected);
            CMainWnd::PlaceLabel(rects.data(), &count, &placed);
            ASSERT_EQ(placed.top, expected.top) << "label " << i;
            ASSERT_EQ(placed.bottom, expected.bottom);
        }
        EXPECT_EQ(count, static_cast<int32_t>(plain.size()));
    }
}

}  // namespace
