// Object layout per drawing pass beside a 16.7 ms frame budget:
//   labels  CMainWnd::PlaceLabel with 1000 labels placed at one spot (each lands above all the
//           earlier ones), beside the plain scan that starts again from the first stored label
//           after every move;
//   layout  CMainWnd::LayoutItem over 1000 scene objects (projected, tested against the frustum
//           and the far plane) and over 1000 screen objects with percent sizes.
// Usage: bench_scene_layout.exe [passes]
#include <winsock2.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "viewer/main_wnd.h"

namespace {

constexpr int kLabels = 1000;
constexpr int kObjects = 1000;
constexpr double kFrameBudgetMs = 16.7;

double NowMs()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The yardstick: the scan as first written, again from the first label after every move.
void PlaceLabelPlain(RECT* rects, int32_t* count, RECT* r)
{
    const LONG h = r->bottom - r->top;
    for (int32_t i = 0; i < *count; i++) {
        const RECT& s = rects[i];
        if (r->right + 1 >= s.left && s.right + 1 >= r->left && r->bottom + 1 >= s.top &&
            s.bottom + 1 >= r->top) {
            r->top = s.top - h - 2;
            r->bottom = r->top + h;
            i = -1;
        }
    }
    if (*count < kMaxLabelRects)
        rects[(*count)++] = *r;
}

template <typename Place>
double LabelPassMs(Place place, int passes)
{
    std::vector<RECT> rects(kMaxLabelRects);
    const double start = NowMs();
    for (int pass = 0; pass < passes; pass++) {
        int32_t count = 0;
        for (int i = 0; i < kLabels; i++) {
            RECT r = {300, 300, 380, 314};
            place(rects.data(), &count, &r);
        }
    }
    return (NowMs() - start) / passes;
}

}  // namespace

int main(int argc, char** argv)
{
    const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const double fast = LabelPassMs(CMainWnd::PlaceLabel, passes);
    const int plainPasses = std::max(1, passes / 10);
    const double plain = LabelPassMs(PlaceLabelPlain, plainPasses);
    std::printf("labels  %d at one spot: %8.3f ms per pass (plain scan %8.3f ms, %.0fx), "
                "budget %.1f ms: %s\n",
                kLabels, fast, plain, plain / fast, kFrameBudgetMs,
                fast <= kFrameBudgetMs ? "within" : "OVER");

    auto engine = std::make_unique<CMainWnd>();
    CSprite target;
    target.Create(800, 600, 32, true, 0, false, true, false);
    engine->m_view.SetRenderTarget(&target);
    engine->m_view.CreateDevice(800, 600, nullptr);
    engine->m_view.SetSize(800, 600);
    engine->m_view.ownCamera.zoom = 1;
    engine->m_view.UpdateViewportAndProjection();
    engine->m_view.UpdateViewMatrix();
    std::vector<std::unique_ptr<ObjectItem>> scene(kObjects), screen(kObjects);
    for (int i = 0; i < kObjects; i++) {
        scene[i] = std::make_unique<ObjectItem>();
        scene[i]->type = ItemType::TextObject;
        scene[i]->inScene = 1;
        scene[i]->x = static_cast<float>((i * 37) % 2000 - 1000);
        scene[i]->y = static_cast<float>((i * 13) % 400 - 200);
        scene[i]->z = static_cast<float>((i * 71) % 3000 - 500);
        scene[i]->width = 60;
        scene[i]->height = 14;
        screen[i] = std::make_unique<ObjectItem>();
        screen[i]->type = ItemType::ImageObject;
        screen[i]->layoutFlags = LayoutXPercent | LayoutYPercent | LayoutWidthPercent;
        screen[i]->x = static_cast<float>(i % 100);
        screen[i]->y = static_cast<float>(i % 90);
        screen[i]->width = 10.5f;
        screen[i]->height = 20;
        screen[i]->align = 0x11;
    }
    for (auto* set : {&scene, &screen}) {
        const double start = NowMs();
        for (int pass = 0; pass < passes; pass++)
            for (auto& object : *set)
                engine->LayoutItem(&engine->m_view, object.get(), nullptr);
        const double ms = (NowMs() - start) / passes;
        std::printf("layout  %d %s objects: %8.3f ms per pass, budget %.1f ms: %s\n", kObjects,
                    set == &scene ? "scene " : "screen", ms, kFrameBudgetMs,
                    ms <= kFrameBudgetMs ? "within" : "OVER");
    }
    return 0;
}
