// Frame keys: every key's field with its override and given bits, the flag keys, the viewer-wide
// keys, and the keys with rules of their own (sensor parameters, camera server and watchdog,
// entry code, sequence file, automatic tour).
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/mailboxes.h"
#include "core/worker_threads.h"
#include "scene_dump.h"
#include "script/compiler.h"

namespace {

using Lines = std::vector<std::string>;

std::string Values(const float* values, int count)
{
    std::string text;
    for (int i = 0; i < count; i++)
        text += (i ? "," : "") + scene_dump::Number(values[i]);
    return text;
}

std::string Values(const int32_t* values, int count)
{
    std::string text;
    for (int i = 0; i < count; i++)
        text += (i ? "," : "") + std::to_string(values[i]);
    return text;
}

std::string Limits(const CFrame& frame, int index)
{
    return scene_dump::Number(frame.lowerLimits[index]) + "," +
           scene_dump::Number(frame.upperLimits[index]);
}

// An engine on the heap that reads one frame section of the given type around the statements.
struct FrameRead {
    FrameRead(const std::string& statements, const char* type = "PANORAMIC",
              CMainWnd* prepared = nullptr)
        : holder(prepared ? prepared : new CMainWnd), engine(*holder)
    {
        engine.ReadParameterFile("C:\\tours\\tour.kzr", engine.m_frames, 0, engine.m_fonts,
                                 nullptr,
                                 ("(f){TYPE=" + std::string(type) + ";" + statements + ";}").c_str());
    }

    CFrame& Frame() { return *engine.GetFrame(0); }

    std::unique_ptr<CMainWnd> holder;  // an engine is too large for the stack
    CMainWnd& engine;
};

}  // namespace

TEST(ReaderFrameKeys, EveryKeySetsItsFieldAndBits)
{
    using Getter = std::string (*)(CMainWnd& engine, CFrame& frame);
    struct Case {
        const char* statement;
        Getter get;
        const char* value;
        uint32_t overrides;
        uint32_t given;
        uint32_t flags;  // the frame's flags afterwards
    };
#define F(expression) [](CMainWnd& e, CFrame& f) -> std::string { (void)e; (void)f; return expression; }
    const uint32_t base = kFrameFlagsDefault;
    const Case cases[] = {
        {"ROT=10,20,30", F(Values(f.initialView + ViewTilt, 3)), "10,20,30", 0x3, 0, base},
        {"POS=1,2,3", F(Values(f.initialView, 3)), "1,2,3", 0, 0, base},
        {"ZOOM=2.5", F(Values(f.initialView + ViewZoom, 1)), "2.5", 0x4, 0, base},
        {"PARTIALWIDTH=180", F(Values(&f.partialWidth, 1)), "180", 0, 0, base},
        {"LIMROTX=-45,60", F(Limits(f, ViewTilt)), "-45,60", 0x18, 0, base},
        {"LIMROTY=-90,90", F(Limits(f, ViewPan)), "-90,90", 0x60, 0, base},
        {"LIMPOSX=-5,5", F(Limits(f, ViewX)), "-5,5", 0, 0, base},
        {"LIMPOSZ=-7,7", F(Limits(f, ViewZ)), "-7,7", 0, 0, base},
        {"LIMZOOM=30,120", F(Limits(f, ViewZoom)), "30,120", 0x180, 0, base},
        {"FISHEYESCONFIG=1,2,3,4,5,6,7,8,9", F(Values(f.fisheyeConfig, 9)), "1,2,3,4,5,6,7,8,9",
         0, 0, base},
        {"PROFUNDIDAD=12", F(Values(&f.depth, 1)), "12", 0, 0, base},
        {"ALTURACAMARA=1.5,2", F(Values(f.cameraHeight, 2)), "1.5,2", 0, 0, base},
        {"POSBRUJULA=10,20", F(Values(f.compassPosition, 2)), "10,20", 0, 0, base},
        {"PROJECTION=4", F(Values(&f.projection, 1)), "4", 0x80000, 0, base},
        {"FISHEYE=0.8", F(Values(&f.projectionParameter, 1)), "0.8", 0x80000, 0, base},
        {"ACTIVEBUTTONS=0x12345", F(Values(&f.toolbarButtons, 1)), "74565", 0, 0, base},
        {"BOTONESBARRAS=0,15;BOTONESBARRAS=1,255", F(Values(&f.toolbarButtons, 1)), "16711695",
         0, 0, base},
        {"MOUSEMODE=1", F(Values(&f.mouseMode, 1)), "1", 0x200, 0, base},
        {"MODOCAMARA=3", F(Values(&f.mouseMode, 1)), "3", 0x200, 0, base},
        {"HORIZONPOSITION=40", F(Values(&f.horizonPosition, 1)), "40", 0x400, 0, base},
        {"AUTOPLAY=5", F(Values(&f.autoplay, 1)), "5", 0x800, 0, base},
        {"FIRSTAUTOPLAY=1,2", F(Values(f.firstAutoplay, 2)), "1,2", 0x1000, 0, base},
        {"VELOCITY=3", F(Values(&f.velocity, 1)), "3", 0x2000, 0, base},
        {"ACCELERATION=5", F(Values(&f.acceleration, 1)), "5", 0x4000, 0, base},
        {"AUTOPLAYSPEED=6", F(Values(&f.autoplaySpeed, 1)), "6", 0x8000, 0, base},
        {"ZOOMVELOCITY=4", F(Values(&f.zoomVelocity, 1)), "4", 0x40000, 0, base},
        {"OFFSETXOBJECT=-20", F(Values(&f.objectOffsetX, 1)), "-20", 0, 0, base},
        {"TIMERATE=2", F(Values(&f.playbackRate, 1)), "2", 0, 0, base},
        {"AUTOMODETIME=12", F(Values(&f.tourDelay, 1)), "12", 0, 0, base},
        {"COLORFONDO=#102030", F(Values(&f.backColour, 1)), "1056816", 0x10000, 0, base},
        {"BGCOLOR=blue", F(Values(&f.backColour, 1)), "255", 0x10000, 0, base},
        {"UPDATESTATE=state.php", F(f.updateStateAddress.GetText()), "C:\\tours\\state.php", 0, 0,
         base},
        {"CHECKSTATE=http://host/check", F(f.checkStateAddress.GetText()), "http://host/check", 0,
         0, base},
        {"CAMERATYPE=sphere", F(Values(&f.cameraType, 1)), "1", 0, 0, base},
        {"CAMERATYPE=zenith;CAMERATYPE=Sphere", F(Values(&f.cameraType, 1)), "2", 0, 0, base},
        {"CAMERATYPE=zenith;CAMERATYPE=cylin", F(Values(&f.cameraType, 1)), "0", 0, 0, base},
        {"MIRRORCONFIG=1,2,3,4,5,6,7,8,9,10,11", F(Values(f.mirrorConfig, 2)), "0,0", 0, 0, base},
        // Viewer-wide keys.
        {"PROGRESSBAR=0", F(std::to_string(e.m_params.progressBar)), "0", 0, 0, base},
        {"ENABLEKEYBOARD=0", F(std::to_string(e.m_keyboardEnabled)), "0", 0, 0, base},
        {"ENABLETOUCHSCREEN=1", F(std::to_string(e.m_touchScreenEnabled)), "1", 0, 0, base},
        {"ENABLEUPDATER=0", F(std::to_string(e.m_updaterEnabled)), "0", 0, 0, base},
        {"SHOWOBJECTSALWAYS=1", F(std::to_string(e.m_showObjectsAlways)), "1", 0, 0, base},
        {"MINFRAMETIME=0.02", F(Values(&e.m_minFrameTime, 1)), "0.02", 0, 0, base},
        {"YOUTUBEEVENT=3", F(std::to_string(e.m_youtubeEvent)), "3", 0, 0, base},
        {"PANEVENT=1.5", F(Values(&e.m_panEvent, 1)), "1.5", 0, 0, base},
        {"ONEMOUSEBUTTON=1", F(std::to_string(e.m_oneMouseButton)), "1", 0, 0, base},
        {"DISABLERIGHTBUTTON=1", F(std::to_string(e.m_rightButtonDisabled)), "1", 0, 0, base},
        {"CLOSESCR_KILLFOCUS=5",
         F(std::to_string(e.m_closeOnFocusLoss) + "/" + std::to_string(e.m_closeOnFocusLossNow)),
         "5/1", 0, 0, base},
        {"CLOSESCR_KEYBOARD=1", F(std::to_string(e.m_closeOnKeyboard)), "1", 0, 0, base},
        {"CLOSESCR_MOUSEMOVE=1", F(std::to_string(e.m_closeOnMouseMove)), "1", 0, 0, base},
        {"CLOSESCR_MOUSECLICK=1", F(std::to_string(e.m_closeOnMouseClick)), "1", 0, 0, base},
        {"TRANSITION=2,50,1.5",
         F(std::to_string(e.m_transitionKind) + "," + Values(&e.m_transitionLoadPercent, 1) + "," +
           Values(&e.m_transitionDuration, 1) + "," + std::to_string(e.m_transitionsOn)),
         "2,50,1.5,1", 0, 0, base},
        {"FOVMODE=vertical", F(std::string(e.m_params.fovMode.GetText()) + "," +
                               std::to_string(e.m_view.axisMode)),
         "vertical,1", 0, 0, base},
        {"ENABLEUPDATEIP=30,http://relay/ip",
         F(Values(&e.m_ipUpdateInterval, 1) + "," + e.m_ipUpdateAddress.GetText()),
         "30,http://relay/ip", 0, 0, base},
        // Flag bits.
        {"BARRASVISIBLES=2", F(""), "", 0, 0x3, (base & ~0x3u) | 0x2},
        {"TOOLSBAR=0x1", F(""), "", 0, 0x3, (base & ~0x3u) | 0x1},
        {"INVERTMOUSE=1", F(""), "", 0, 0, base | 0x200800},
        {"INVERTMOUSEX=1;INVERTMOUSE=0", F(""), "", 0, 0x800, base & ~0x200800u},
        {"FREEMEMORY=0", F(""), "", 0, 0x4000, base & ~0x4000u},
        {"COORDENADAS=1", F(""), "", 0, 0x60, base | 0x60},
        {"COORDENADASUTM=1", F(""), "", 0, 0x20, base | 0x20},
        {"COORDENADASALT=1", F(""), "", 0, 0x40, base | 0x40},
        {"CONTROLCAMARA=1", F(""), "", 0, 0x4, base | 0x4},
        {"BRUJULA=1", F(""), "", 0, 0x8, base | 0x8},
        {"TEXTURAS24=1", F(""), "", 0, 0x100, base | 0x100},
        {"BARRAS=0", F(""), "", 0, 0x3, base & ~0x3u},
        {"CACHE=1", F(""), "", 0, 0x10000, base | 0x10000},
        {"CACHE=0", F(""), "", 0, 0x10000, base},
        {"SKYBOX=1", F(""), "", 0, 0x80, base | 0x80},
        {"TOUCHSCREEN=#1", F(""), "", 0, 0x400, base | 0x400},
        {"INVERTMOUSEX=1", F(""), "", 0, 0x800, base | 0x800},
        {"INVERTMOUSEY=1", F(""), "", 0, 0x200000, base | 0x200000},
        {"CLICKEVENT=1", F(""), "", 0, 0x80000, base | 0x80000},
        {"MOUSEUPEVENT=1", F(""), "", 0, 0x100000, base | 0x100000},
        {"ENFORCELIMITS=0", F(""), "", 0, 0x400000, base & ~0x400000u},
        {"KEEPPOSITION=1", F(""), "", 0, 0x800000, base | 0x800000},
        {"INVERTCAMERAX=1", F(""), "", 0, 0x1000000, base | 0x1000000},
        {"INVERTCAMERAY=1", F(""), "", 0, 0x2000000, base | 0x2000000},
        {"INVERTPLUGINCAMERAX=1", F(""), "", 0, 0x4000000, base | 0x4000000},
        {"INVERTPLUGINCAMERAY=1", F(""), "", 0, 0x8000000, base | 0x8000000},
        {"NOSUCHKEY=1", F(""), "", 0, 0, base},
    };
#undef F
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        FrameRead read(c.statement);
        EXPECT_EQ(c.get(read.engine, read.Frame()), c.value);
        EXPECT_EQ(read.Frame().overrides, c.overrides);
        EXPECT_EQ(read.Frame().flagsGiven, c.given);
        EXPECT_EQ(read.Frame().flags, c.flags);
    }
}

TEST(ReaderFrameKeys, KeysActOnlyInFrameSectionsAndMirrorsOnlyInOneShotFrames)
{
    FrameRead oneShot("MIRRORCONFIG=1,2,3,4,5,6,7,8,9,10,11", "ONESHOT");
    EXPECT_EQ(Values(oneShot.Frame().mirrorConfig, kMirrorConfigCount), "1,2,3,4,5,6,7,8,9,10,11");

    auto engine = std::make_unique<CMainWnd>();
    engine->ReadParameterFile("C:\\tours\\tour.kzr", engine->m_frames, 0, engine->m_fonts,
                              nullptr,
                              "(i){TYPE=IMAGE;FILE=i.png;ROT=1,2,3;CACHE=1;ENABLEKEYBOARD=0;"
                              "COLORFONDO=#FF;}(f){TYPE=PANORAMIC;}");
    EXPECT_EQ(engine->GetFrame(0)->overrides, 0u);
    EXPECT_EQ(engine->GetFrame(0)->flagsGiven, 0u);
    EXPECT_EQ(engine->m_keyboardEnabled, 1);
    EXPECT_EQ(static_cast<ImageItem*>(engine->m_images[0].GetItem(0))->sprite.backColour, 0xFFu);
}

TEST(ReaderFrameKeys, ErrorEventsSetTheViewerMode)
{
    const int before = GetErrorEventMode();
    FrameRead read("ERROREVENTS=1");
    EXPECT_EQ(GetErrorEventMode(), 1);
    SetErrorEventMode(before);
}

TEST(ReaderFrameKeys, CameraParametersInEachFieldCountForm)
{
    struct Case {
        const char* statement;
        const char* sensor;  // shape; tilt, pan; roll..vertical size; factors; switch; r1..r3
    };
    const Case cases[] = {
        // Nine fields: placement by index, no lens switch, coefficients kept.
        {"CAMERAPARAMETERS=3,100,1,2,3,4,5,6,7", "2;0,270;1,2,3,4,5,6,7;1,1;0;1,0.5,0.2"},
        // Twelve: the placement is given; the switch is on, coefficients missing read as 0.
        {"CAMERAPARAMETERS=1,4,10,20,100,1,2,3,4,5,6,7", "4;10,20;1,2,3,4,5,6,7;1,1;1;0,0,0"},
        // Fourteen: the lens size factors follow.
        {"CAMERAPARAMETERS=1,4,10,20,100,1,2,3,4,5,6,7,0.9,0.8",
         "4;10,20;1,2,3,4,5,6,7;0.9,0.8;1;0,0,0"},
        // Fifteen: no factors; the three coefficients.
        {"CAMERAPARAMETERS=1,4,10,20,100,1,2,3,4,5,6,7,0.1,0.2,0.3",
         "4;10,20;1,2,3,4,5,6,7;1,1;1;0.1,0.2,0.3"},
        // Eighteen, as the camera configuration writes it: everything.
        {"CAMERAPARAMETERS=2,4,10,20,100,1,2,3,4,5,6,7,0.9,0.8,0,0.1,0.2,0.3",
         "4;10,20;1,2,3,4,5,6,7;0.9,0.8;0;0.1,0.2,0.3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        FrameRead read(c.statement, "VISTROLUX");
        int index = 0;
        std::sscanf(c.statement + 17, "%d", &index);
        const SensorParameters& s = read.Frame().sensorParams;
        const float lens[7] = {s.roll[index],   s.uCentre[index],        s.vCentre[index],
                               s.uScale[index], s.vScale[index],         s.horizontalSize[index],
                               s.verticalSize[index]};
        const float angles[2] = {s.tilt[index], s.pan[index]};
        const float factors[2] = {s.horizontalLensFactor[index], s.verticalLensFactor[index]};
        const float coefficients[3] = {s.lensCoefficient1[index], s.lensCoefficient2[index],
                                       s.lensCoefficient3[index]};
        EXPECT_EQ(std::to_string(s.meshShape[index]) + ";" + Values(angles, 2) + ";" +
                      Values(lens, 7) + ";" + Values(factors, 2) + ";" +
                      std::to_string(s.lensCorrection[index]) + ";" + Values(coefficients, 3),
                  c.sensor);
        EXPECT_EQ(read.Frame().overrides, static_cast<uint32_t>(OverrideSensorConfiguration));
        // The other sensors keep their defaults.
        EXPECT_EQ(s.uCentre[index == 0 ? 1 : 0], 0.5f);
    }
    for (const char* outside : {"CAMERAPARAMETERS=10,100,1,2,3,4,5,6,7",
                                "CAMERAPARAMETERS=-1,100,1,2,3,4,5,6,7"}) {
        SCOPED_TRACE(outside);
        FrameRead read(outside, "VISTROLUX");
        EXPECT_EQ(read.Frame().overrides, 0u);
    }
}

TEST(ReaderFrameKeys, EnableServerStartsTheServerOrMarksACameraTour)
{
    FrameRead plain("ENABLESERVER=1");
    EXPECT_EQ(plain.engine.m_serverPort, 9017);
    EXPECT_EQ(plain.Frame().remoteCamera, 0);
    FrameRead port("ENABLESERVER=0,8080");
    EXPECT_EQ(port.engine.m_serverPort, 8080);

    // A tour that came from a camera server shows that camera instead.
    auto* engine = new CMainWnd;
    engine->m_loadsStopped = 1;
    engine->m_cameraAddress = "10.0.0.5";
    engine->m_serverPort = 1234;
    FrameRead camera("ENABLESERVER=1,8080;ENABLEUPDATEIP=30,relay", "VISTROLUX", engine);
    EXPECT_EQ(camera.Frame().remoteCamera, 1);
    EXPECT_STREQ(camera.Frame().remoteCameraAddress.GetText(), "10.0.0.5");
    EXPECT_EQ(camera.engine.m_serverPort, 1234);
    EXPECT_EQ(camera.engine.m_ipUpdateAddress.GetLength(), 0);
}

TEST(ReaderFrameKeys, EnableWatchdogCompilesItsCodeAndStartsTheCameraEngine)
{
    FrameRead read("ENABLEWATCHDOG=1,0,watch.log,PrevFrame();");
    CMainWnd& engine = read.engine;
    EXPECT_EQ(engine.m_watchdogEnabled, 1);
    EXPECT_EQ(engine.m_watchdogPort, 9017);
    EXPECT_STREQ(engine.m_watchdogAddress.GetText(), "watch.log");
    EXPECT_EQ(engine.m_watchdogTimer, 0.0f);
    EXPECT_EQ(engine.m_watchdogCode.length, 4);
    EXPECT_TRUE(WaitForWorkerThreadEnd(engine.m_cameraEngineThread, 10000));

    FrameRead other("ENABLEWATCHDOG=0,8000,host");
    EXPECT_EQ(other.engine.m_watchdogPort, 8000);
    EXPECT_STREQ(other.engine.m_watchdogAddress.GetText(), "host");
    EXPECT_EQ(other.engine.m_watchdogCode.length, 0);
    EXPECT_TRUE(WaitForWorkerThreadEnd(other.engine.m_cameraEngineThread, 10000));
}

TEST(ReaderFrameKeys, AccionMenuReusesOnlyTheFramesOwnCodeBlock)
{
    FrameRead read("ACCIONMENU=5;ACCIONMENU=0x7");
    EXPECT_EQ(scene_dump::Scene(read.engine.m_frames, read.engine.m_images[0]),
              Lines({"frame f src=6 kind=6 entry=1", "code #1  length=5"}));
    // The second statement replaced the code of the first.
    CompiledCode expected;
    ASSERT_TRUE(CompileCommandText(&expected, "ToolCommand(7);", nullptr, nullptr));
    auto* code = static_cast<CompiledCode*>(read.engine.m_images[0].GetItem(0));
    ASSERT_EQ(code->length, expected.length);
    EXPECT_EQ(std::memcmp(code->code, expected.code, static_cast<size_t>(expected.length)), 0);

    // A target frame whose entry number names an image gets a block of its own; the image is
    // left as it was.
    auto engine = std::make_unique<CMainWnd>();
    CFrame& target = engine->m_interfaceFrame;
    target.entryCode = 1;
    engine->ReadParameterFile("C:\\tours\\ui.txt", engine->m_frames, 0, engine->m_fonts, &target,
                              "(a){TYPE=IMAGE;FILE=a.png;}(f){TYPE=CUBIC;ACCIONMENU=3;ACCIONMENU=4;}");
    EXPECT_EQ(scene_dump::Scene(engine->m_frames, engine->m_images[0]),
              Lines({"image #1 a file=C:\\tours\\a.png option=1 page=1", "code #2  length=5"}));
    EXPECT_EQ(target.entryCode, 2);
}

TEST(ReaderFrameKeys, SequenceFileAddsItsNamedValue)
{
    FrameRead read("SEQUENCEFILE=paths/seq.txt");
    EXPECT_EQ(scene_dump::Scene(read.engine.m_frames, read.engine.m_images[0]),
              Lines({"frame f src=6 kind=6 sequence=1",
                     "value #1 sequencefile text=C:\\tours\\paths\\seq.txt"}));
}

TEST(ReaderFrameKeys, AutoModeSetsItsOrderOnlyWhenGiven)
{
    const int32_t mode = g_autoTourMode;
    const float delay = g_autoplayDelay;
    const float time = g_autoTourTime;
    const int32_t order = g_autoTourOrder;
    g_autoTourOrder = 7;
    FrameRead three("AUTOMODE=1,10,20");
    EXPECT_EQ(g_autoTourMode, 1);
    EXPECT_EQ(g_autoplayDelay, 10.0f);
    EXPECT_EQ(g_autoTourTime, 20.0f);
    EXPECT_EQ(g_autoTourOrder, 7);
    FrameRead four("AUTOMODE=2,5,6,1");
    EXPECT_EQ(g_autoTourMode, 2);
    EXPECT_EQ(g_autoTourOrder, 1);
    g_autoTourMode = mode;
    g_autoplayDelay = delay;
    g_autoTourTime = time;
    g_autoTourOrder = order;
}
