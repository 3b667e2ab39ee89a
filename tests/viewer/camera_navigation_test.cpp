// Camera navigation of the engine: the effective limits a frame gets from its configuration,
// mesh and view; the input of mouse, keys, wheel and 3D mouse; and the camera motion that
// smooths it, animated moves, camera paths, autoplay, the tour and the host event ring.
#include <winsock2.h>

#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/item_records.h"
#include "core/item_types.h"
#include "cameras/camera_link.h"
#include "core/matrix_math.h"
#include "core/object_item.h"
#include "core/stream.h"
#include "images/sprite.h"
#include "render/mesh.h"
#include "viewer/camera_internal.h"
#include "viewer/mouse_3d.h"

namespace {

// --- Fixtures ---

// Keys held for IsKeyDown, through the engine's key-state source.
std::set<int> g_keysHeld;
SHORT FakeKeyState(int key)
{
    return g_keysHeld.count(key) ? static_cast<SHORT>(0x8000) : 0;
}

std::unique_ptr<CMainWnd> MakeEngine(int width = 400, int height = 300)
{
    auto engine = std::make_unique<CMainWnd>();
    engine->m_view.params->width = width;
    engine->m_view.params->height = height;
    engine->m_view.params->camera->zoom = 1.0f;
    engine->m_keyState = FakeKeyState;
    g_keysHeld.clear();
    return engine;
}

// A spherical-image frame whose mesh starts at radius r1, height yTop and ends at radius r2,
// height yBottom (the rest of the mesh lies between).
void GiveSphereMesh(CFrame& frame, float r1, float yTop, float r2, float yBottom)
{
    CObjeto3D* mesh = new CObjeto3D;
    ASSERT_TRUE(mesh->AllocateArrays(3, 0, true, true));
    mesh->vertices[0].x = r1;
    mesh->vertices[0].y = yTop;
    mesh->vertices[1].z = (r1 + r2) / 2.0f;
    mesh->vertices[1].y = (yTop + yBottom) / 2.0f;
    mesh->vertices[2].z = r2;
    mesh->vertices[2].y = yBottom;
    frame.kind = FrameKindSpherical;
    frame.meshes[0] = mesh;
    frame.meshCount = 1;
}

// --- Navigation limits ---

TEST(CameraLimits, EffectiveTiltAndPanLimitsFollowTheFieldOfView)
{
    struct Case {
        const char* name;
        float tiltMin, tiltMax, panMin, panMax;
        float configuredZoom, cameraZoom, coverage;
        int width, height;
        float wantTilt[2], wantPan[2];
    };
    const Case cases[] = {
        {"tilt widens by the zoom-in", -30, 30, 360, 360, 1, 2, 360, 400, 300,
         {-41.25f, 41.25f}, {360, 360}},
        {"the full tilt range is not widened", -90, 90, 360, 360, 1, 2, 360, 400, 300,
         {-90, 90}, {360, 360}},
        {"partial panorama", -90, 90, 360, 360, 1, 1, 180, 400, 300, {-90, 90}, {-60, 60}},
        {"pan pair narrowed by the horizontal half field", -90, 90, -90, 90, 1, 1, 360, 300, 300,
         {-90, 90}, {-67.5f, 67.5f}},
        {"a pan pair narrower than the view meets in the middle", -90, 90, -10, 20, 1, 1, 360, 300,
         300, {-90, 90}, {5, 5}},
        {"a crossed tilt pair becomes its mean", 10, 12, 360, 360, 1, 0.5f, 360, 300, 300,
         {11, 11}, {360, 360}},
        {"tilt beyond the range means no limit", -400, 400, 360, 360, 1, 1, 360, 300, 300,
         {360, 360}, {360, 360}},
        {"a zero zoom counts as 1", -30, 30, 360, 360, 0, 0, 360, 300, 300, {-30, 30}, {360, 360}},
        {"a partial panorama narrower than the view", -90, 90, 360, 360, 1, 1, 40, 300, 300,
         {-90, 90}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = MakeEngine(c.width, c.height);
        CFrame frame;
        frame.kind = FrameKindCubic;
        frame.lowerLimits[ViewTilt] = c.tiltMin;
        frame.upperLimits[ViewTilt] = c.tiltMax;
        frame.lowerLimits[ViewPan] = c.panMin;
        frame.upperLimits[ViewPan] = c.panMax;
        frame.initialView[ViewZoom] = c.configuredZoom;
        frame.cameras[0].zoom = c.cameraZoom;
        frame.partialWidth = c.coverage;
        engine->UpdateNavigationLimits(&frame);
        const float* limits = frame.effectiveLimits;
        EXPECT_NEAR(limits[LimitTiltMin], c.wantTilt[0], 1e-3);
        EXPECT_NEAR(limits[LimitTiltMax], c.wantTilt[1], 1e-3);
        EXPECT_NEAR(limits[LimitPanMin], c.wantPan[0], 1e-3);
        EXPECT_NEAR(limits[LimitPanMax], c.wantPan[1], 1e-3);
    }
}

TEST(CameraLimits, ZoomMinimumFitsTheTiltRangeAndTheMesh)
{
    struct Case {
        const char* name;
        float tiltMin, tiltMax, minZoom, maxZoom;
        bool mesh;
        float r1, yTop, r2, yBottom;
        float want[2];
    };
    const float meshZoom = (3.14159265f / 4.0f) / (2.0f * std::atan(0.5f));
    const Case cases[] = {
        {"tilt range", -30, 30, 0.28f, 6, false, 0, 0, 0, 0, {45.0f / 105.0f, 6}},
        {"a larger configured minimum wins", -30, 30, 1, 6, false, 0, 0, 0, 0, {1, 6}},
        {"never below 0.28", -90, 90, 0.01f, 6, false, 0, 0, 0, 0, {0.28f, 6}},
        {"a maximum below the minimum follows it", -30, 30, 2, 1, false, 0, 0, 0, 0, {2, 2}},
        {"the mesh height", -90, 90, 0.28f, 6, true, 100, 50, 100, -50, {meshZoom, 6}},
        {"a flat mesh adds nothing", -90, 90, 0.28f, 6, true, 100, 0, 100, 0, {0.28f, 6}},
        {"a mesh closed at its poles adds nothing", -90, 90, 0.28f, 6, true, 0, 50, 0, -50,
         {0.28f, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = MakeEngine(300, 300);
        CFrame frame;
        frame.kind = FrameKindCubic;
        frame.lowerLimits[ViewTilt] = c.tiltMin;
        frame.upperLimits[ViewTilt] = c.tiltMax;
        frame.lowerLimits[ViewZoom] = c.minZoom;
        frame.upperLimits[ViewZoom] = c.maxZoom;
        frame.cameras[0].zoom = 0.1f;
        if (c.mesh)
            GiveSphereMesh(frame, c.r1, c.yTop, c.r2, c.yBottom);
        EXPECT_TRUE(engine->UpdateZoomLimits(&frame)) << "the camera's zoom 0.1 was raised";
        EXPECT_NEAR(frame.effectiveLimits[LimitZoomMin], c.want[0], 1e-4);
        EXPECT_NEAR(frame.effectiveLimits[LimitZoomMax], c.want[1], 1e-4);
        EXPECT_NEAR(frame.cameras[0].zoom, c.want[0], 1e-4);
        EXPECT_FALSE(engine->UpdateZoomLimits(&frame)) << "nothing left to change";
    }
}

TEST(CameraLimits, MeshEdgesBoundTheTiltAndBadMeshesAreSkipped)
{
    struct Case {
        const char* name;
        float r1, yTop, r2, yBottom;
        float want[2];
    };
    const float edge = std::atan(0.5f) * 180.0f / 3.14159265f - 22.5f;
    const Case cases[] = {
        {"partial sphere", 100, 50, 100, -50, {-edge, edge}},
        {"closed at the poles", 0, 100, 0, -100, {-90, 90}},
        {"the view taller than the mesh", 100, 10, 100, -10, {-90, 90}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = MakeEngine(300, 300);
        CFrame frame;
        GiveSphereMesh(frame, c.r1, c.yTop, c.r2, c.yBottom);
        frame.cameras[0].zoom = 1.0f;
        engine->UpdateNavigationLimits(&frame);
        EXPECT_NEAR(frame.effectiveLimits[LimitTiltMin], c.want[0], 1e-3);
        EXPECT_NEAR(frame.effectiveLimits[LimitTiltMax], c.want[1], 1e-3);
        EXPECT_TRUE(std::isfinite(frame.effectiveLimits[LimitTiltMin]));
    }
}

TEST(CameraLimits, AFullSphereLetsTheViewReachBothPoles)
{
    auto engine = MakeEngine(400, 300);
    CFrame frame;
    ASSERT_GT(frame.CreateGeometry(FrameKindSpherical, 1, 10, 10, 0), 0);
    ASSERT_GT(frame.meshCount.load(), 0);
    frame.cameras[0].zoom = 1.0f;
    engine->UpdateNavigationLimits(&frame);
    engine->UpdateZoomLimits(&frame);
    EXPECT_NEAR(frame.effectiveLimits[LimitTiltMin], -90.0f, 1e-3);
    EXPECT_NEAR(frame.effectiveLimits[LimitTiltMax], 90.0f, 1e-3);
    EXPECT_NEAR(frame.effectiveLimits[LimitZoomMin], 0.28f, 1e-4);
}

TEST(CameraLimits, AerialPositionLimitsFollowTheHeightAndNeverCross)
{
    auto engine = MakeEngine(300, 300);
    CFrame frame;
    frame.kind = FrameKindAerial;
    CObjeto3D* mesh = new CObjeto3D;
    ASSERT_TRUE(mesh->AllocateArrays(2, 0, true, true));
    mesh->vertices[0].x = -1000;
    mesh->vertices[0].z = -1000;
    mesh->vertices[1].x = 1000;
    mesh->vertices[1].z = 1000;
    frame.meshes[0] = mesh;
    frame.meshCount = 1;
    CameraState& camera = frame.cameras[0];
    camera.zoom = 1.0f;
    camera.tilt = -90.0f;  // straight down
    camera.y = 100.0f;
    camera.x = 5000.0f;
    engine->UpdateAerialLimits(&frame);
    const float side = 100.0f * std::tan(22.5f * 3.14159265f / 180.0f);
    EXPECT_NEAR(engine->m_positionLimits[0], -1000.0f + side, 1e-2);
    EXPECT_NEAR(engine->m_positionLimits[1], 1000.0f - side, 1e-2);
    EXPECT_NEAR(engine->m_positionLimits[2], -1000.0f + side, 1e-2);
    EXPECT_NEAR(engine->m_positionLimits[3], 1000.0f - side, 1e-2);
    EXPECT_NEAR(camera.x, 1000.0f - side, 1e-2) << "the eye is kept inside";

    camera.y = 1e6f;  // so high that the pairs cross: both become their mean, 0 as 0.1
    engine->UpdateAerialLimits(&frame);
    EXPECT_FLOAT_EQ(engine->m_positionLimits[0], 0.1f);
    EXPECT_FLOAT_EQ(engine->m_positionLimits[1], 0.1f);
    for (float limit : engine->m_positionLimits)
        EXPECT_TRUE(std::isfinite(limit));
}

TEST(CameraLimits, FrameCameraBecomesActiveWithTheViewersSettings)
{
    auto engine = MakeEngine(300, 300);
    engine->m_firstFrame.initialView[ViewPan] = 40.0f;
    engine->m_firstFrame.overrides |= OverrideInitialPan;
    engine->m_firstFrame.upperLimits[ViewTilt] = 20.0f;
    engine->m_firstFrame.overrides |= OverrideHighestTilt;
    CFrame frame;
    frame.kind = FrameKindCubic;
    frame.initialView[ViewTilt] = 10.0f;
    frame.initialView[ViewZoom] = 2.0f;
    frame.upperLimits[ViewTilt] = 120.0f;  // beyond the hard limit
    frame.overrides |= OverrideHighestTilt;

    engine->ApplyFrameCamera(&frame);
    EXPECT_EQ(engine->m_view.params->camera, &frame.cameras[0]);
    EXPECT_FLOAT_EQ(frame.upperLimits[ViewTilt], 90.0f) << "the frame's own, narrowed";
    EXPECT_FLOAT_EQ(frame.initialView[ViewPan], 40.0f) << "the viewer's, the frame set none";
    EXPECT_NEAR(WrapAngle180(frame.cameras[0].pan), 40.0f, 1e-3);
    EXPECT_NEAR(WrapAngle180(frame.cameras[0].tilt), 10.0f, 1e-3);
    EXPECT_FLOAT_EQ(frame.cameras[0].zoom, 2.0f);
    EXPECT_FLOAT_EQ(engine->m_zoom, 2.0f);

    // A frame with "KEEPPOSITION=" that was shown before keeps the view it was left with.
    frame.flags |= FrameKeepPosition | FrameBeenCurrent;
    frame.cameras[0].pan = 100.0f;
    engine->ApplyFrameCamera(&frame);
    EXPECT_NEAR(WrapAngle180(frame.cameras[0].pan), 100.0f, 1e-3);
}

// --- Camera motion ---

TEST(CameraMotion, SmoothingFollowsTheInputAndDecaysToAStop)
{
    auto engine = MakeEngine();
    engine->m_stepFps = 50.0f;  // 0.02 s per tick: D = 0.0125 x 8 / 0.02 = 5
    CameraState* camera = engine->m_view.params->camera;
    const float want[] = {0.2f, 0.36f, 0.488f, 0.5904f};
    float pan = 0.0f;
    for (float step : want) {
        CameraState input;
        input.pan = 1.0f;
        engine->SmoothCameraMotion(&input);
        pan += step;
        EXPECT_NEAR(input.pan, step, 1e-4);
        EXPECT_NEAR(WrapAngle180(camera->pan), pan, 1e-3);
    }
    // Without input the motion decays by 1 - 1/D per tick and snaps to 0 below 0.005.
    float smoothed = want[3];
    int ticks = 0;
    while (engine->m_smoothedMotion.pan != 0.0f && ticks < 100) {
        CameraState input;
        engine->SmoothCameraMotion(&input);
        smoothed *= 0.8f;
        if (smoothed >= 0.005f) {
            EXPECT_NEAR(engine->m_smoothedMotion.pan, smoothed, 1e-4);
        }
        ticks++;
    }
    EXPECT_EQ(ticks, 22);  // 0.5904 x 0.8^22 < 0.005
}

TEST(CameraMotion, SmoothingNeverOvershootsWithATinyAcceleration)
{
    auto engine = MakeEngine();
    engine->m_stepFps = 10.0f;
    engine->m_params.acceleration = 0.1f;  // D would be 0.0125
    for (int i = 0; i < 5; i++) {
        CameraState input;
        input.pan = 1.0f;
        engine->SmoothCameraMotion(&input);
        EXPECT_FLOAT_EQ(input.pan, 1.0f);
    }
    EXPECT_NEAR(WrapAngle180(engine->m_view.params->camera->pan), 5.0f, 1e-3);
}

TEST(CameraMotion, ZoomInputIsRelativeAndStopsAtTheLimit)
{
    auto engine = MakeEngine();
    engine->m_params.acceleration = 0.0f;  // no smoothing
    CameraState* camera = engine->m_view.params->camera;
    camera->zoom = 2.0f;
    CameraState input;
    input.zoom = 0.5f;
    engine->SmoothCameraMotion(&input);
    EXPECT_FLOAT_EQ(camera->zoom, 3.0f);
    engine->m_wheelDelta[0] = engine->m_wheelDelta[1] = 1.0f;
    input = CameraState();
    input.zoom = 5.0f;
    engine->SmoothCameraMotion(&input);
    EXPECT_FLOAT_EQ(camera->zoom, 6.0f);
    EXPECT_FLOAT_EQ(engine->m_wheelDelta[1], 0.0f) << "a limit drops the wheel impulse";
    EXPECT_FLOAT_EQ(engine->m_zoom, 6.0f);
}

TEST(CameraMotion, AnimatedMovesTakeMinimumStepsAndEnd)
{
    struct Case {
        const char* name;
        int word;
        float start, target;
        int divisor;
        std::vector<float> steps;
    };
    const Case cases[] = {
        {"pan 0.3 takes a minimum step, then the rest", 4, 0, 0.3f, 10, {0.2f, 0.3f}},
        {"pan the short way round", 4, 170, -170, 1, {-170}},
        {"x by tenths, at least 10", 0, 0, 35, 10, {10, 20, 30, 35}},
        {"zoom by a divisor of 0 as 10", 6, 1, 2, 0, {1.1f, 1.19f, 1.271f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = MakeEngine();
        CFrame* frame = engine->m_currentFrame;
        engine->m_view.params->camera = &frame->cameras[0];
        frame->cameras[0].zoom = 1.0f;
        *CameraWord(&frame->cameras[0], c.word) = c.start;
        float target[9] = {};
        for (int i = 0; i < 8; i++)
            target[i] = CameraWordValue(frame->cameras[0], i);
        target[c.word] = c.target;
        int32_t mask = 1 << c.word;
        for (float want : c.steps) {
            EXPECT_TRUE(engine->MoveCameraTowards(frame, target, &mask, c.divisor));
            float value = CameraWordValue(frame->cameras[0], c.word);
            if (c.word == 4)
                value = WrapAngle180(value);
            EXPECT_NEAR(value, want, 1e-3);
        }
        if (c.word != 6) {
            EXPECT_EQ(mask, 0) << "the word arrived";
        }
    }
}

TEST(CameraMotion, AMoveThatArrivedStops)
{
    auto engine = MakeEngine();
    CFrame* frame = engine->m_currentFrame;
    float target[9] = {};
    int32_t mask = CameraBitTilt;
    EXPECT_FALSE(engine->MoveCameraTowards(frame, target, &mask, 10));
    EXPECT_EQ(mask, 0);
    engine->m_cameraTargets = CameraBitPan;
    engine->m_smoothedMotion.pan = 3.0f;
    engine->StopCameraMotion();
    EXPECT_EQ(engine->m_cameraTargets, 0);
    EXPECT_FLOAT_EQ(engine->m_smoothedMotion.pan, 0.0f);
}

TEST(CameraMotion, PanEventsComeEveryStepAtTheirRate)
{
    auto engine = MakeEngine();
    engine->m_params.acceleration = 0.0f;
    engine->m_panEvent = 0.5f;
    float now = 10.0f;
    engine->m_tickTime = now;
    struct Step {
        float pan, seconds;
        int events;
    };
    // 5 degrees per event, at most one per half second.
    const Step steps[] = {{6, 1, 1}, {1, 1, 1}, {4, 0.1f, 2}, {5, 0.1f, 2}, {0, 1, 3}};
    for (const Step& step : steps) {
        now += step.seconds;
        engine->m_tickTime = now;
        CameraState input;
        input.pan = step.pan;
        engine->SmoothCameraMotion(&input);
        EXPECT_EQ(engine->m_hostEventWrite, step.events) << "pan " << engine->m_rotationY;
    }
    EXPECT_STREQ(engine->m_hostEventNames[0].GetText(), "panevent");
    EXPECT_STREQ(engine->m_hostEventValues[0].GetText(), "6.00");
    EXPECT_STREQ(engine->m_hostEventValues[1].GetText(), "11.00");
    EXPECT_STREQ(engine->m_hostEventValues[2].GetText(), "16.00");
}

TEST(CameraMotion, WithoutGroundTheEyeWaitsAboveTheModel)
{
    auto engine = MakeEngine();
    CFrame& frame = *engine->m_currentFrame;
    frame.kind = FrameKindScene;
    frame.unitScale = 2.0f;
    frame.meshes[0] = new CObjeto3D;
    frame.meshes[0]->yMax = 50.0f;
    frame.meshCount = 1;
    engine->m_altitude = 3.0f;
    EXPECT_EQ(engine->FollowGround(0), -1);
    EXPECT_EQ(engine->m_groundFollowState, 1);
    EXPECT_FLOAT_EQ(frame.cameras[0].y, 56.0f);
    frame.cameras[0].y = 70.0f;
    EXPECT_EQ(engine->FollowGround(0), -1);
    EXPECT_FLOAT_EQ(frame.cameras[0].y, 70.0f) << "only the first wait places the eye";

    // Keeping the altitude inside its limits measures from -1 while no ground is found.
    engine->m_altitudeMin = 1.0f;
    engine->m_altitudeMax = 20.0f;
    engine->ClampAltitude(0);
    EXPECT_FLOAT_EQ(engine->m_altitude, 20.0f);
    EXPECT_FLOAT_EQ(frame.cameras[0].y, 39.0f);
}

TEST(CameraMotion, FogRangeFollowsTheAltitude)
{
    auto engine = MakeEngine();
    engine->m_currentFrame->unitScale = 2.0f;
    engine->m_altitude = 100.0f;
    engine->UpdateFogRange();
    EXPECT_EQ(engine->m_view.GetRenderState(RenderStateFogStart), 160);
    EXPECT_EQ(engine->m_view.GetRenderState(RenderStateFogEnd), 200);
}

// --- Camera paths, autoplay and the tour ---

TEST(CameraPaths, ALoopedPathStopsAfterItsPassesWhereItIs)
{
    auto engine = MakeEngine();
    CFrame* frame = engine->m_currentFrame;
    CameraState& camera = frame->cameras[0];
    engine->m_view.params->camera = &camera;
    camera.zoom = 1.0f;
    auto path = std::make_unique<CameraSequence>();
    path->keyCount = 2;
    path->keys[1].time = 1.0f;
    path->keys[1].zoom = 1.0f;
    path->keys[1].pan = 10.0f;
    path->keys[2].time = 2.0f;
    path->keys[2].zoom = 1.0f;
    path->keys[2].pan = 20.0f;
    camera.sequence = path.get();
    camera.pathState = CameraPathStartFirst;
    camera.loopCount = 2;
    camera.loopsLeft = 2;
    int passes = 0;
    float started = -1.0f;
    for (int tick = 0; tick < 200 && camera.sequence; tick++) {
        engine->m_tickTime = tick * 0.05f;
        engine->PlayCameraSequence(frame, &camera);
        if (camera.sequence && camera.pathStartTime != started) {
            started = camera.pathStartTime;
            passes++;
        }
    }
    EXPECT_EQ(camera.sequence, nullptr);
    EXPECT_EQ(passes, 2);
    const float pan = camera.pan;
    engine->PlayCameraSequence(frame, &camera);
    EXPECT_FLOAT_EQ(camera.pan, pan) << "no path, no motion";
    EXPECT_GT(WrapAngle180(pan), 10.0f);
}

TEST(CameraPaths, KeyTimesThatFallBackStayWithinTheLastKey)
{
    auto engine = MakeEngine();
    CFrame* frame = engine->m_currentFrame;
    CameraState& camera = frame->cameras[0];
    camera.zoom = 1.0f;
    auto path = std::make_unique<CameraSequence>();
    path->keyCount = 3;
    const float times[] = {0, 1.0f, 0.5f, 0.2f};  // from a file: not increasing
    for (int k = 1; k <= 3; k++) {
        path->keys[k].time = times[k];
        path->keys[k].zoom = 1.0f;
        path->keys[k].tilt = 5.0f * k;
    }
    camera.sequence = path.get();
    camera.pathState = CameraPathStartFirst;
    for (int tick = 0; tick < 20; tick++) {
        engine->m_tickTime = 0.3f + tick * 0.04f;
        engine->PlayCameraSequence(frame, &camera);
        ASSERT_TRUE(std::isfinite(camera.tilt));
        ASSERT_LE(std::fabs(WrapAngle180(camera.tilt)), 15.001f);
    }
}

TEST(CameraPaths, TourModesVisitFramesInOrderOrAtRandom)
{
    auto engine = MakeEngine();
    auto addFrame = [&]() {
        ASSERT_NE(engine->m_frames.CreateItem(ItemType::Frame), nullptr);
    };
    addFrame();
    g_autoTourOrder = 1;
    engine->m_currentFrameIndex = 0;
    EXPECT_EQ(engine->NextTourFrame(), -1) << "one frame: nowhere to go";
    addFrame();
    addFrame();
    for (int32_t current : {0, 1, 2}) {
        engine->m_currentFrameIndex = current;
        EXPECT_EQ(engine->NextTourFrame(), (current + 1) % 3);
    }
    g_autoTourOrder = 2;
    std::set<int32_t> seen;
    for (int i = 0; i < 60; i++) {
        const int32_t next = engine->NextTourFrame();
        EXPECT_NE(next, 2) << "never the current frame";
        EXPECT_GE(next, 0);
        seen.insert(next);
    }
    EXPECT_EQ(seen.size(), 2u);
    g_autoTourOrder = 3;
    EXPECT_EQ(engine->NextTourFrame(), -1);
    g_autoTourOrder = 0;
}

TEST(CameraPaths, TheObjectTourPicksOnlyShownObjectsThatAct)
{
    auto engine = MakeEngine();
    g_autoTourOrder = 0;
    CFrame& frame = *engine->m_currentFrame;
    auto addObject = [&](bool shown, bool withCode) {
        auto* object = static_cast<ObjectItem*>(frame.objects.CreateItem(ItemType::ButtonObject));
        ASSERT_NE(object, nullptr);
        object->showFlags = shown ? ObjectShown : 0;
        if (withCode)
            engine->CompileCommands(&object->events[EventClick], "JavascriptEvent(\"a\");",
                                    nullptr);
    };
    EXPECT_FALSE(engine->TourObjectStep()) << "no objects";
    addObject(false, true);
    addObject(true, false);
    EXPECT_FALSE(engine->TourObjectStep()) << "hidden, or nothing to run";
    addObject(true, true);
    ASSERT_GT(static_cast<ObjectItem*>(frame.objects.GetItem(2))->events[EventClick].length, 0);
    EXPECT_TRUE(engine->TourObjectStep());
    engine->AutoTourStep();  // mode 0 runs the object step
}

TEST(CameraPaths, TransitionsFadeOrSwitchAtOnce)
{
    struct Case {
        const char* name;
        float duration;
        int enteringMeshes;
        std::vector<int> states;  // after each tick
    };
    const Case cases[] = {
        {"fades over its duration", 1.0f, 2, {2, 3, 3, 0}},
        {"0.02 s or less switches without fading", 0.02f, 2, {2, 0}},
        {"other mesh counts switch at once", 1.0f, 3, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = MakeEngine();
        CFrame& left = engine->m_firstFrame;  // a frame the engine knows
        CFrame entering;
        for (int i = 0; i < 2; i++)
            left.meshes[i] = new CObjeto3D;
        left.meshCount = 2;
        for (int i = 0; i < c.enteringMeshes; i++)
            entering.meshes[i] = new CObjeto3D;
        entering.meshCount = c.enteringMeshes;
        entering.loadPercent = 100.0f;
        engine->m_leavingFrame = &left;
        engine->m_enteringFrame = &entering;
        engine->m_transitionDuration = c.duration;
        engine->m_transitionState = 1;
        float now = 5.0f;
        for (size_t tick = 0; tick < c.states.size(); tick++) {
            engine->m_tickTime = now;
            engine->UpdateTransition();
            EXPECT_EQ(engine->m_transitionState, c.states[tick]) << "tick " << tick;
            if (engine->m_transitionState == 3) {
                EXPECT_EQ(entering.meshes[0]->modulationColor & 0xFF,
                          static_cast<uint32_t>(engine->m_transitionAlpha));
            }
            now += 0.6f;
        }
        EXPECT_EQ(engine->m_currentFrame, &entering);
        EXPECT_EQ(entering.meshes[0]->texture2, nullptr) << "the blend is undone";
        engine->m_currentFrame = &engine->m_firstFrame;
        engine->m_view.params->camera = &engine->m_firstFrame.cameras[0];
        engine->m_leavingFrame = nullptr;
    }
}

TEST(CameraPaths, AutoplayTurnsThePanAndLevelsTheTilt)
{
    auto engine = MakeEngine();
    engine->m_inputPolled = 1;
    engine->m_stepFps = 50.0f;
    engine->m_params.autoplaySpeed = 10.0f;
    engine->m_view.params->camera->tilt = 20.0f;
    CameraState input;
    engine->AutoplayStep(&input);
    EXPECT_FLOAT_EQ(input.pan, -0.2f);
    EXPECT_FLOAT_EQ(input.tilt, -0.4f);
}

TEST(CameraPaths, AutoplayTurnsAnImageGridAColumnAtATime)
{
    auto engine = MakeEngine();
    engine->m_inputPolled = 1;
    engine->m_params.autoplaySpeed = -10.0f;  // backwards, one column every 360 / 4 / 10 s
    CFrame& frame = *engine->m_currentFrame;
    frame.kind = FrameKindImageGrid;
    frame.gridColumns = 4;
    frame.gridRows = 1;
    frame.gridColumn = 0;
    const float times[] = {10.0f, 15.0f, 19.1f, 20.0f};
    const int columns[] = {3, 3, 2, 2};
    for (int i = 0; i < 4; i++) {
        engine->m_tickTime = times[i];
        CameraState input;
        engine->AutoplayStep(&input);
        EXPECT_EQ(frame.gridColumn, columns[i]) << "at " << times[i];
        EXPECT_FLOAT_EQ(input.pan, 0.0f);
    }
    EXPECT_FLOAT_EQ(engine->m_params.rotationY, 2.0f);
}

// --- Navigation input ---

TEST(NavigationInput, KeysMoveByTheirTableAndOpposingKeysCancel)
{
    struct Case {
        const char* name;
        std::vector<int> keys;
        int kind;
        float tilt, pan, zoom, x, z;
    };
    const float a = 8.0f, t = 0.02f;
    const Case cases[] = {
        {"left", {VK_LEFT}, FrameKindCubic, 0, 10 * a * t, 0, 0, 0},
        {"left and right", {VK_LEFT, VK_RIGHT}, FrameKindCubic, 0, 0, 0, 0, 0},
        {"up", {VK_UP}, FrameKindSpherical, 10 * a * t, 0, 0, 0, 0},
        {"up on an aerial frame", {VK_UP}, FrameKindAerial, 0, 0, 0, 0, 100 * a * t},
        {"right on an aerial frame", {VK_RIGHT}, FrameKindAerial, 0, 0, 0, -100 * a * t, 0},
        {"zoom in", {'A'}, FrameKindCubic, 0, 0, t * a * 0.125f, 0, 0},
        {"zoom out", {'Z'}, FrameKindCubic, 0, 0, -t * a * 0.125f, 0, 0},
        {"ctrl and shift", {VK_LCONTROL, VK_LSHIFT}, FrameKindCubic, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = MakeEngine();
        engine->m_stepFps = 1.0f / t;
        engine->m_currentFrame->kind = c.kind;
        g_keysHeld.insert(c.keys.begin(), c.keys.end());
        CameraState input;
        const int moved = engine->ApplyKeyboardNavigation(&input);
        EXPECT_NEAR(input.tilt, c.tilt, 1e-5);
        EXPECT_NEAR(input.pan, c.pan, 1e-5);
        EXPECT_NEAR(input.zoom, c.zoom, 1e-5);
        EXPECT_NEAR(input.x, c.x, 1e-4);
        EXPECT_NEAR(input.z, c.z, 1e-4);
        const bool any = c.tilt || c.pan || c.zoom || c.x || c.z;
        EXPECT_EQ(moved, any ? 1 : 0);
    }
}

TEST(NavigationInput, AKeyHeldByAKeyObjectIsNotDown)
{
    auto engine = MakeEngine();
    g_keysHeld.insert(VK_LEFT);
    EXPECT_TRUE(engine->IsKeyDown(VK_LEFT));
    engine->m_keysDown[VK_LEFT] = 1;
    EXPECT_FALSE(engine->IsKeyDown(VK_LEFT));
    CameraState input;
    engine->ApplyKeyboardNavigation(&input);
    EXPECT_FLOAT_EQ(input.pan, 0.0f);
}

LRESULT CALLBACK HostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(NavigationInput, ThePackageChordPostsItsCommandWhenReleased)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProcedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ChordHost";
    RegisterClassA(&wc);
    HWND host = CreateWindowExA(0, "ChordHost", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(host, nullptr);
    auto engine = MakeEngine();
    engine->m_hostWnd = host;
    auto pressed = [&](std::vector<int> keys) {
        g_keysHeld.clear();
        g_keysHeld.insert(keys.begin(), keys.end());
        CameraState input;
        engine->ApplyKeyboardNavigation(&input);
        MSG msg;
        bool posted = false;
        while (PeekMessageA(&msg, host, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            posted = posted || msg.wParam == 32905;
        return posted;
    };
    EXPECT_FALSE(pressed({'P'}));
    EXPECT_FALSE(pressed({'P', 'K'}));
    EXPECT_TRUE(pressed({})) << "released";
    EXPECT_FALSE(pressed({})) << "once";
    EXPECT_FALSE(pressed({'K'}));
    EXPECT_FALSE(pressed({})) << "K alone is no chord";
    engine->m_fromPackage = 1;
    EXPECT_FALSE(pressed({'P', 'K'}));
    EXPECT_FALSE(pressed({})) << "not from a package";
    engine->m_hostWnd = nullptr;
    DestroyWindow(host);
}

TEST(NavigationInput, WheelNotchesAccumulateAtMostTheirOwnSize)
{
    auto engine = MakeEngine(400, 300);
    engine->m_stepFps = 50.0f;
    engine->m_fps = 50.0f;
    const float step = 120 * 0.008f * 0.02f * 8.0f * 0.125f;
    EXPECT_EQ(engine->OnMouseWheel(0, 120, 500, 10), 0) << "outside the view";
    EXPECT_FLOAT_EQ(engine->m_wheelDelta[0], 0.0f);
    EXPECT_EQ(engine->OnMouseWheel(0, 120, 10, 10), 1);
    EXPECT_FLOAT_EQ(engine->m_wheelDelta[0], step);
    EXPECT_FLOAT_EQ(engine->m_wheelDelta[1], 50.0f * step * 0.1f);
    engine->m_wheelDelta[0] = 2.0f * step;  // half spent... then a notch adds at most its size
    engine->OnMouseWheel(0, 120, 10, 10);
    EXPECT_FLOAT_EQ(engine->m_wheelDelta[0], 2.0f * step + 0.5f * step);
    engine->OnMouseWheel(0, -240, 10, 10);
    EXPECT_FLOAT_EQ(engine->m_wheelDelta[0], -2.0f * step) << "the other way replaces";

    // A shown viewfinder takes the wheel: its zoom moves in proportion, within 0.28..10.
    engine->m_viewfinderShown = 1;
    engine->m_viewfinderZoom = 2.0f;
    const float held = engine->m_wheelDelta[0];
    engine->OnMouseWheel(0, 120, 10, 10);
    EXPECT_FLOAT_EQ(engine->m_viewfinderZoom, 2.0f + step * 10.0f * 2.0f);
    EXPECT_FLOAT_EQ(engine->m_wheelDelta[0], held);
    for (int i = 0; i < 2000; i++)
        engine->OnMouseWheel(0, 120, 10, 10);
    EXPECT_FLOAT_EQ(engine->m_viewfinderZoom, 10.0f);
}

TEST(NavigationInput, OffsetNavigationHasItsDeadZones)
{
    struct Case {
        const char* name;
        int mode;
        bool pressed;
        int x, y;
        float pan, tilt;
    };
    const float k = 0.02f * 8.0f * 0.1f;  // frame time x speed x the panorama factor
    const Case cases[] = {
        {"3 pixels from the press", 5, true, 103, 100, 0, 0},
        {"4 pixels from the press", 5, true, 104, 100, 1 * k, 0},
        {"4 pixels up", 5, true, 100, 96, 0, -1 * k},
        {"mode 3 in the middle third", 3, false, 250, 120, 0, 0},
        {"mode 3 at the right edge", 3, false, 399, 150, (399 - 200 - 400.0f / 3) * k, 0},
        {"mode 3 outside the view", 3, false, 450, 150, 0, 0},
        {"mode 2 without a press", 2, false, 399, 150, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = MakeEngine(400, 300);
        engine->m_stepFps = 50.0f;
        engine->m_currentFrame->mouseMode = c.mode;
        engine->m_currentFrame->kind = FrameKindCubic;
        engine->m_buttonDownPos[0] = engine->m_buttonDownPos[1] = 100;
        engine->m_mouseButtons = c.pressed ? MK_LBUTTON : 0;
        engine->m_mouseX = c.x;
        engine->m_mouseY = c.y;
        CameraState input;
        engine->ApplyMouseNavigation(&input);
        EXPECT_NEAR(input.pan, c.pan, 1e-5);
        EXPECT_NEAR(input.tilt, c.tilt, 1e-5);
    }
}

TEST(NavigationInput, ADragTurnsByTheDistanceAndTheRightButtonZooms)
{
    auto engine = MakeEngine(400, 300);
    engine->m_currentFrame->mouseMode = 1;
    engine->m_currentFrame->kind = FrameKindSpherical;
    engine->m_dragMode = DragView;
    engine->OnLButtonDown(MK_LBUTTON, 100, 100);
    engine->m_dragMode = DragView;
    engine->m_mouseX = 110;
    engine->m_mouseY = 95;
    CameraState input;
    EXPECT_EQ(engine->ApplyMouseNavigation(&input), CaptureViewDrag);
    EXPECT_FLOAT_EQ(input.pan, 10 * 1.0f * 0.1f);
    EXPECT_FLOAT_EQ(input.tilt, -5 * 1.0f * 0.1f);
    input = CameraState();
    engine->ApplyMouseNavigation(&input);
    EXPECT_FLOAT_EQ(input.pan, 0.0f) << "the pointer did not move since";

    engine->m_currentFrame->flags |= FrameInvertMouseX;
    engine->m_mouseX = 120;
    input = CameraState();
    engine->ApplyMouseNavigation(&input);
    EXPECT_FLOAT_EQ(input.pan, -1.0f);

    engine->m_mouseButtons = MK_RBUTTON;
    engine->m_mouseY = 115;
    input = CameraState();
    engine->ApplyMouseNavigation(&input);
    EXPECT_FLOAT_EQ(input.zoom, 20.0f / 1000.0f);
    EXPECT_FLOAT_EQ(input.pan, 0.0f);
    engine->m_dragMode = DragNone;
}

// The program update goes to the camera as two framed messages: the command, then the running
// program's own bytes.
TEST(NavigationInput, TheUpdateChordSendsTheRunningProgram)
{
    CFicheroHttp server;
    ASSERT_EQ(server.Listen(0, nullptr, 3000), 1);
    std::string command;
    std::vector<uint8_t> program;
    std::thread camera([&] {
        if (server.Accept() != 1)
            return;
        int32_t count = 0;
        if (!ReceiveInt32(server, &count) || count <= 0 || count > 100)
            return;
        command.resize(static_cast<size_t>(count));
        if (server.Recv(&command[0], count) != count)
            return;
        if (!ReceiveInt32(server, &count) || count <= 0)
            return;
        program.resize(static_cast<size_t>(count));
        int32_t got = 0;
        while (got < count) {
            const int n = server.Recv(program.data() + got, count - got);
            if (n <= 0)
                break;
            got += n;
        }
        program.resize(static_cast<size_t>(got));
        server.CloseConnection();
    });
    auto engine = MakeEngine();
    engine->m_cameraAddress.Format("127.0.0.1:%d", server.GetListenPort());
    g_keysHeld = {'U'};
    CameraState input;
    engine->ApplyKeyboardNavigation(&input);
    g_keysHeld.clear();
    engine->ApplyKeyboardNavigation(&input);  // released: the chord acts
    camera.join();
    server.CloseListenSocket();

    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> own((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
    EXPECT_EQ(command, "UPDATEPROGRAM");
    EXPECT_EQ(program.size(), own.size());
    EXPECT_TRUE(program == own);
}

TEST(NavigationInput, AnUnreachableCameraGetsNoUpdateWithinTheTimeOut)
{
    // A port nobody listens on: bound and closed again.
    CFicheroHttp probe;
    ASSERT_EQ(probe.Listen(0, nullptr, 3000), 1);
    const int port = probe.GetListenPort();
    probe.CloseListenSocket();
    auto engine = MakeEngine();
    engine->m_cameraAddress.Format("127.0.0.1:%d", port);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine->SendProgramUpdate());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    engine->m_updaterEnabled = 0;
    EXPECT_FALSE(engine->SendProgramUpdate()) << "switched off";
    engine->m_cameraAddress = "";
    engine->m_updaterEnabled = 1;
    EXPECT_FALSE(engine->SendProgramUpdate()) << "no camera connected";
}

TEST(NavigationInput, ADragStepsThroughAnImageGrid)
{
    struct Case {
        const char* name;
        int columns, rows, images, imageWidth;
        int dx, dy;
        bool steps;
        int column, row;
    };
    // A view 300 high at zoom 1, square images, grid option 0.5: one step per 300 / (4 x 0.5)
    // = 150 pixels.
    const Case cases[] = {
        {"one step right", 4, 2, 8, 100, 160, 0, true, 2, 0},
        {"less than a step", 4, 2, 8, 100, 140, 0, false, 1, 0},
        {"a full grid turns round", 4, 2, 8, 100, -320, 0, true, 3, 0},
        {"rows are clamped", 4, 2, 8, 100, 0, 500, true, 1, 1},
        {"a grid still loading stops at its images", 4, 2, 3, 100, 500, 0, true, 2, 0},
        {"no columns: nothing", 0, 2, 8, 100, 160, 0, false, 1, 0},
        {"an image without a size: nothing", 4, 2, 8, 0, 160, 0, false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = MakeEngine(400, 300);
        CFrame& frame = *engine->m_currentFrame;
        frame.kind = FrameKindImageGrid;
        frame.mouseMode = 1;
        frame.gridColumns = c.columns;
        frame.gridRows = c.rows;
        frame.gridImagesRead = c.images;
        frame.gridColumn = 1;
        frame.gridImage = 0;
        frame.sprites[0] = new CSprite;
        frame.sprites[0]->width = c.imageWidth;
        frame.sprites[0]->height = 100;
        frame.spriteCount = 1;
        engine->m_dragMode = DragView;
        engine->m_mouseButtons = MK_LBUTTON;
        engine->m_buttonDownPos[0] = engine->m_buttonDownPos[1] = 200;
        engine->m_dragGridCell[0] = 1;
        engine->m_dragGridCell[1] = 0;
        engine->m_mouseX = 200 + c.dx;
        engine->m_mouseY = 200 + c.dy;
        EXPECT_EQ(engine->StepGridByDrag(&frame, 1.0f), c.steps);
        EXPECT_EQ(frame.gridColumn, c.column);
        EXPECT_EQ(frame.gridRow, c.row);
        CameraState input;
        engine->ApplyMouseNavigation(&input);
        EXPECT_FLOAT_EQ(input.pan, 0.0f) << "the drag does not turn a grid";
        engine->m_dragMode = DragNone;
    }
}

// A 3D mouse that records which keys it was asked about.
class Fake3DMouse : public C3DMouse {
public:
    int keys = 4;
    std::vector<int> asked;
    std::set<int> down;
    Mouse3DMotion motion;
    int ProgrammableKeys() override { return keys; }
    int IsKeyDown(int key) override
    {
        asked.push_back(key);
        return down.count(key) ? 1 : 0;
    }
    bool ReadMotion(Mouse3DMotion* out) override
    {
        *out = motion;
        return true;
    }
};

TEST(NavigationInput, The3DMouseIsPolledForItsKeysAndMoves)
{
    auto engine = MakeEngine();
    CameraState input;
    engine->Poll3DMouse(&input);  // none connected
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(CameraWordValue(input, i), 0.0f);

    auto* mouse = new Fake3DMouse;
    engine->m_3dMouse = mouse;
    engine->m_stepFps = 50.0f;
    engine->m_currentFrame->initialView[ViewPan] = 33.0f;
    mouse->down.insert(31);
    mouse->motion.angle = 512.0;
    mouse->motion.axisX = 1.0;
    engine->Poll3DMouse(&input);
    EXPECT_EQ(mouse->asked, (std::vector<int>{1, 2, 3, 4, 30, 31}));
    EXPECT_NEAR(input.tilt, 50.0f * 0.02f * 8.0f, 1e-4);
    EXPECT_EQ(engine->m_cameraTargets, CameraBitTilt | CameraBitPan | CameraBitZoom);
    EXPECT_FLOAT_EQ(engine->m_cameraTargetValues[4], 33.0f);
    EXPECT_TRUE(engine->m_3dMouseKeys & (1u << 31));
    engine->Disconnect3DMouse();
}

// --- Host events ---

TEST(HostEvents, TheRingCopiesWrapsAndDropsWhenFull)
{
    auto engine = MakeEngine();
    {
        std::string name = "event", value = "_clickevent_";
        engine->QueueHostEvent(name.c_str(), value.c_str());
        name.assign("xxxxx");
    }
    EXPECT_STREQ(engine->m_hostEventNames[0].GetText(), "event");
    EXPECT_STREQ(engine->m_hostEventValues[0].GetText(), "_clickevent_");
    for (int i = 1; i < 25; i++)
        engine->QueueHostEvent("event", std::to_string(i).c_str());
    EXPECT_EQ(engine->m_hostEventWrite, 19) << "one slot stays free while nothing reads";
    EXPECT_STREQ(engine->m_hostEventValues[18].GetText(), "18");
    engine->m_hostEventRead = 5;  // a reader took five
    engine->QueueHostEvent("panorama", "a");
    engine->QueueHostEvent("panorama", "b");
    EXPECT_EQ(engine->m_hostEventWrite, 1) << "wrapped from 19 to 0";
    EXPECT_STREQ(engine->m_hostEventValues[0].GetText(), "b");
}

}  // namespace
