// Opening a document: its kind by name, what each kind leaves in the engine, one opening for
// several requests, and the setters the opening runs.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <memory>
#include <string>

#include "core/item_records.h"
#include "core/language.h"
#include "core/matrix_math.h"
#include "core/object_item.h"
#include "core/worker_threads.h"
#include "platform/window.h"
#include "test_support.h"

TEST(DocumentOpen, KindFollowsTheLastThreeCharactersInAnyCase)
{
    struct Case {
        const char* name;
        DocumentKind kind;
    };
    const Case cases[] = {
        {"pano.jpg", DocumentKind::StillImage}, {"pano.JPG", DocumentKind::StillImage},
        {"pano.jpeg", DocumentKind::StillImage}, {"pano.png#cubic", DocumentKind::StillImage},
        {"tour.kzr", DocumentKind::Tour},       {"TOUR.KZR", DocumentKind::Tour},
        {"a.txt", DocumentKind::Tour},          {"b.cam", DocumentKind::Tour},
        {"c.Mov", DocumentKind::Tour},          {"d.3DS", DocumentKind::Model},
        {"v.avi", DocumentKind::Movie},         {"x.SWF", DocumentKind::Movie},
        {"y.mpg", DocumentKind::Movie},         {"z.mkv", DocumentKind::Movie},
        {"mov", DocumentKind::Tour},            {"ds", DocumentKind::StillImage},
        {"", DocumentKind::None},               {nullptr, DocumentKind::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        EXPECT_EQ(ClassifyDocument(c.name), c.kind);
    }
}

TEST(DocumentOpen, EachKindLeavesTheEngineAsItsRowSays)
{
    struct Case {
        const char* document;
        const char* scriptFile;
        int images;   // items in the level-0 list afterwards
        int objects;  // objects of the current frame afterwards
        int timeline;
    };
    const Case cases[] = {
        {"pano.JPG", "C:\\tours\\pano.JPG", 1, 1, -1},
        {"pano.jpeg", "C:\\tours\\pano.jpeg", 1, 1, -1},
        {"tour.kzr", "C:\\tours\\tour.kzr", 0, 0, 0},
        {"video.avi", "C:\\tours\\video.avi", 0, 0, -1},
        {"model.3ds", "C:\\tours\\model.3ds", 0, 0, -1},
        {"", "", 0, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        CMainWnd engine;
        engine.m_basePath = "C:\\tours\\";
        engine.m_documentFile = c.document;
        // What the previous document left goes.
        engine.m_frames.CreateItem(ItemType::Frame);
        engine.m_images[0].CreateItem(ItemType::Image);
        engine.m_applyPosted = 1;
        engine.m_drawingSuspended = 1;

        EXPECT_EQ(engine.OpenDocument(0, 0), 1);
        EXPECT_STREQ(engine.m_scriptFile.GetText(), c.scriptFile);
        EXPECT_EQ(engine.m_frames.GetCount(), 0);
        EXPECT_EQ(engine.m_currentFrame, &engine.m_firstFrame);
        EXPECT_EQ(engine.m_images[0].GetCount(), c.images);
        EXPECT_EQ(engine.m_firstFrame.objects.GetCount(), c.objects);
        EXPECT_EQ(engine.m_timelineCount, c.timeline);
        EXPECT_EQ(engine.m_applyPosted, 0);
        EXPECT_EQ(engine.m_drawingSuspended, 0);
        if (c.images == 1) {
            ItemRecord* image = engine.m_images[0].GetItem(0);
            ObjectItem* object = static_cast<ObjectItem*>(engine.m_firstFrame.objects.GetItem(0));
            ASSERT_EQ(image->type, ItemType::Image);
            EXPECT_STREQ(static_cast<ImageItem*>(image)->sprite.fileName.GetText(), c.scriptFile);
            EXPECT_EQ(static_cast<ImageItem*>(image)->sprite.backColour,
                      static_cast<uint32_t>(engine.m_params.bgColor));
            EXPECT_EQ(object->type, ItemType::EngineObject);
            EXPECT_EQ(object->number, image->number);
            EXPECT_EQ(object->level, 0);
        }
    }
}

TEST(DocumentOpen, AFileListAloneOpensItsFirstEntry)
{
    CMainWnd engine;
    engine.m_basePath = "C:\\tours\\";
    engine.m_params.files = "first.kzr,second.kzr";
    engine.OpenDocument(0, 0);
    EXPECT_STREQ(engine.m_documentFile.GetText(), "first.kzr");
    EXPECT_STREQ(engine.m_scriptFile.GetText(), "C:\\tours\\first.kzr");
    EXPECT_EQ(engine.m_fileList.GetCount(), 2);
}

TEST(DocumentOpen, TwoRequestsPostOneOpening)
{
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                  nullptr);
    CMainWnd engine;
    engine.m_messageWnd = window;
    engine.m_initialized = 1;
    auto postedOpenings = [window] {
        int count = 0;
        MSG message;
        while (PeekMessageA(&message, window, ViewerMessageApplyParameters,
                            ViewerMessageApplyParameters, PM_REMOVE))
            count++;
        return count;
    };
    engine.PostApplyParameters();
    engine.PostApplyParameters();
    EXPECT_EQ(postedOpenings(), 1);
    engine.OpenDocument(0, 0);
    engine.PostApplyParameters();
    EXPECT_EQ(postedOpenings(), 1);
    engine.m_initialized = 0;
    DestroyWindow(window);
}

TEST(DocumentSetters, FileListsAreCutAndResolved)
{
    struct Case {
        const char* name;
        std::string list;
        const char* extra;
        bool relative;
        int count;
        const char* document;  // the document afterwards
        const char* last;      // the last entry
    };
    std::string many;
    for (int i = 0; i < 250; i++)
        many += (i ? "," : "") + std::to_string(i) + ".jpg";
    const Case cases[] = {
        {"file and files make two entries", "a.jpg", "b.jpg", false, 2, "old", "b.jpg"},
        {"one name stays the document", "a.jpg", nullptr, false, 0, "a.jpg", nullptr},
        {"files alone", "", "c.jpg,d.jpg", false, 2, "old", "d.jpg"},
        {"at most 200 entries", many, nullptr, false, 200, "old", "199.jpg"},
        {"a relative list resolves against its first field", "C:\\pics\\,a b.jpg,sub\\c.jpg",
         nullptr, true, 2, "old", "C:\\pics\\sub\\c.jpg"},
        {"nothing at all", "", nullptr, false, 0, "old", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMainWnd engine;
        engine.m_documentFile = "old";
        engine.m_fileList.CreateItem(ItemType::Value);
        engine.SetFileList(c.list.c_str(), c.extra, c.relative);
        EXPECT_EQ(engine.m_fileList.GetCount(), c.count);
        EXPECT_EQ(engine.m_timelineCount, c.count);
        EXPECT_STREQ(engine.m_documentFile.GetText(), c.document);
        if (c.last) {
            ItemRecord* last = engine.m_fileList.GetItem(c.count - 1);
            EXPECT_STREQ(static_cast<ValueItem*>(last)->text.GetText(), c.last);
        }
    }
}

TEST(DocumentSetters, AccelerationIsLimited)
{
    const float cases[][2] = {{8.0f, 8.0f}, {1000.0f, 1000.0f}, {5000.0f, 1000.0f},
                              {0.0f, 0.0f}, {-3.0f, 0.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        CMainWnd engine;
        engine.m_params.acceleration = c[0];
        engine.ClampAcceleration();
        EXPECT_EQ(engine.m_params.acceleration, c[1]);
    }
}

TEST(DocumentSetters, FisheyeTwiceIsFisheyeOnceAndNeverDividesByZero)
{
    CMainWnd engine;
    engine.m_initialized = 1;
    engine.m_params.projection = kProjectionFisheye;
    engine.m_params.fisheye = 0.5f;
    CameraState* camera = engine.m_view.params->camera;
    ASSERT_NE(camera, nullptr);
    camera->zoom = 1.0f;
    camera->pullBack = 0.0f;
    engine.ApplyFisheye();
    const float once = camera->zoom;
    EXPECT_FLOAT_EQ(once, 1.5f);
    EXPECT_FLOAT_EQ(camera->pullBack, 100.0f);
    engine.ApplyFisheye();
    EXPECT_FLOAT_EQ(camera->zoom, once);

    camera->zoom = 2.0f;
    camera->pullBack = -200.0f;
    engine.ApplyFisheye();
    EXPECT_TRUE(std::isfinite(camera->zoom));
    EXPECT_FLOAT_EQ(camera->zoom, 3.0f);

    // Other projections, or before initialisation, leave the camera alone.
    engine.m_params.projection = 0;
    engine.ApplyFisheye();
    EXPECT_FLOAT_EQ(camera->zoom, 3.0f);
    engine.m_initialized = 0;
}

TEST(DocumentPlatform, MessagesReachEveryDescendantWhenDeep)
{
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 5, 5, parent, nullptr, nullptr,
                                 nullptr);
    HWND grandchild = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 2, 2, child, nullptr,
                                      nullptr, nullptr);
    char text[16] = {};
    SendMessageToDescendants(parent, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("flat"), false);
    GetWindowTextA(child, text, sizeof text);
    EXPECT_STREQ(text, "flat");
    GetWindowTextA(grandchild, text, sizeof text);
    EXPECT_STREQ(text, "");
    SendMessageToDescendants(parent, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("deep"), true);
    GetWindowTextA(grandchild, text, sizeof text);
    EXPECT_STREQ(text, "deep");
    DestroyWindow(parent);
}

TEST(DocumentSetters, LimitsGoBothWaysBetweenParameterAndEmptyScene)
{
    struct Case {
        const char* name;
        void (CMainWnd::*setter)(bool);
        float ViewerParameters::*parameter;
        float* (*field)(CFrame&);
        uint32_t bit;
    };
    const Case cases[] = {
        {"minrotationx", &CMainWnd::SetMinRotationX, &ViewerParameters::minRotationX,
         [](CFrame& f) { return &f.lowerLimits[ViewTilt]; }, OverrideLowestTilt},
        {"maxrotationx", &CMainWnd::SetMaxRotationX, &ViewerParameters::maxRotationX,
         [](CFrame& f) { return &f.upperLimits[ViewTilt]; }, OverrideHighestTilt},
        {"minrotationy", &CMainWnd::SetMinRotationY, &ViewerParameters::minRotationY,
         [](CFrame& f) { return &f.lowerLimits[ViewPan]; }, OverrideLowerPan},
        {"maxrotationy", &CMainWnd::SetMaxRotationY, &ViewerParameters::maxRotationY,
         [](CFrame& f) { return &f.upperLimits[ViewPan]; }, OverrideUpperPan},
        {"minzoom", &CMainWnd::SetMinZoom, &ViewerParameters::minZoom,
         [](CFrame& f) { return &f.lowerLimits[ViewZoom]; }, OverrideSmallestZoom},
        {"maxzoom", &CMainWnd::SetMaxZoom, &ViewerParameters::maxZoom,
         [](CFrame& f) { return &f.upperLimits[ViewZoom]; }, OverrideLargestZoom},
        {"rotationx", &CMainWnd::SetRotationX, &ViewerParameters::rotationX,
         [](CFrame& f) { return &f.initialView[ViewTilt]; }, OverrideInitialTilt},
        {"rotationy", &CMainWnd::SetRotationY, &ViewerParameters::rotationY,
         [](CFrame& f) { return &f.initialView[ViewPan]; }, OverrideInitialPan},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMainWnd engine;
        // From the parameter: the field takes it and the frame marks it as given.
        engine.m_params.*c.parameter = 0.5f;
        (engine.*c.setter)(true);
        EXPECT_EQ(*c.field(engine.m_firstFrame), 0.5f);
        EXPECT_EQ(engine.m_firstFrame.overrides, c.bit);
        // The document opening takes the value in force back; the bit stays.
        (engine.*c.setter)(false);
        EXPECT_EQ(engine.m_params.*c.parameter, 0.5f);
        *c.field(engine.m_firstFrame) = 7.0f;
        (engine.*c.setter)(false);
        EXPECT_EQ(engine.m_params.*c.parameter, 7.0f);
        EXPECT_EQ(engine.m_firstFrame.overrides, c.bit);
    }
}

TEST(DocumentSetters, RotationPicksGridCellsWithANonNegativeModulo)
{
    struct Case {
        float value;
        int32_t count;
        int32_t index;
    };
    const Case cases[] = {{3.0f, 5, 3}, {-1.0f, 5, 4}, {-5.0f, 5, 0}, {-499.0f, 5, 1},
                          {7.9f, 5, 2}, {-0.5f, 5, 0}, {3.0f, 0, 0}, {-7.0f, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(WrapGridIndex(c.value, c.count), c.index);
    }
    CMainWnd engine;
    engine.m_initialized = 1;
    CFrame grid;
    grid.kind = FrameKindImageGrid;
    grid.gridColumns = 5;
    grid.gridRows = 3;
    engine.m_currentFrame = &grid;
    engine.m_params.rotationX = -1.0f;
    engine.m_params.rotationY = -4.0f;
    engine.SetRotationX(true);
    engine.SetRotationY(true);
    EXPECT_EQ(grid.gridColumn, 4);
    EXPECT_EQ(grid.gridRow, 2);
    // Elsewhere the value turns the active camera (kept inside the limits, stored as 0..360).
    engine.m_currentFrame = &engine.m_firstFrame;
    engine.m_params.rotationX = -30.0f;
    engine.SetRotationX(true);
    EXPECT_NEAR(WrapAngle180(engine.m_view.params->camera->tilt), -30.0f, 1e-3);
    engine.m_initialized = 0;
}

TEST(DocumentSetters, LanguageWordsAndTheirFallback)
{
    struct Case {
        const char* word;
        int32_t index;  // -1: the system's language
    };
    const Case cases[] = {{"Chinese", 12},  {"simplified chinese", 12}, {"GERMAN", 2},
                          {"hugarian", 17}, {"Hungarian", -1},          {"", -1},
                          {"klingon", -1},  {"urdu", 29}};
    CMainWnd engine;
    engine.m_initialized = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        engine.m_params.language = c.word;
        engine.ApplyLanguage();
        EXPECT_EQ(g_languageIndex, c.index >= 0 ? c.index : engine.DetectLanguage());
    }
    engine.m_params.language = "english";
    engine.ApplyLanguage();
    engine.m_initialized = 0;
}

TEST(DocumentSetters, FirstAutoplayMouseModeAndHorizon)
{
    CMainWnd engine;
    engine.m_initialized = 1;
    engine.m_params.firstAutoplay = "2.5,7";
    engine.ApplyFirstAutoplay();
    EXPECT_EQ(engine.m_firstAutoplay[0], 7.0f);
    EXPECT_EQ(engine.m_firstAutoplay[1], 2.5f);
    engine.m_params.firstAutoplay = "";
    engine.ApplyFirstAutoplay();
    EXPECT_EQ(engine.m_firstAutoplay[0], 0.0f);

    engine.m_params.mouseMode = 2;
    engine.ApplyMouseMode();
    EXPECT_EQ(engine.m_currentFrame->mouseMode, 2);
    EXPECT_EQ(engine.m_currentFrame->overrides & OverrideMouseMode, OverrideMouseMode);

    for (float value : {-5.0f, 150.0f}) {
        engine.m_params.horizonPosition = value;
        engine.ApplyHorizonPosition();
        EXPECT_EQ(engine.m_params.horizonPosition, value < 0 ? 0.0f : 100.0f);
    }
    engine.m_initialized = 0;
}

TEST(DocumentSetters, FovModeGreyScaleAndFilter)
{
    // fovmode words are compared with their case; a word it does not know changes nothing.
    struct FovCase {
        const char* word;
        int32_t axisMode;
        uint8_t fixedVertical;
    };
    const FovCase fovCases[] = {
        {"horizontal", 0, 0}, {"vertical", 1, 1}, {"Horizontal", 1, 1}, {"auto", -1, 0} /* wider than tall */, {"", 1, 1},
    };
    for (const FovCase& c : fovCases) {
        SCOPED_TRACE(c.word);
        CMainWnd engine;
        engine.m_view.params->width = 400;
        engine.m_view.params->height = 200;
        engine.m_params.fovMode = c.word;
        engine.ApplyFovMode();
        EXPECT_EQ(engine.m_view.axisMode, c.axisMode);
        EXPECT_EQ(engine.m_view.fixedVertical, c.fixedVertical);
    }
    {
        // A horizontal field of view keeps the x scale and widens y by the aspect.
        CMainWnd engine;
        engine.m_view.params->width = 400;
        engine.m_view.params->height = 200;
        engine.m_params.fovMode = "horizontal";
        engine.ApplyFovMode();
        const float* m = engine.m_view.matrices.projection;
        EXPECT_NEAR(m[5] / m[0], 2.0f, 1e-4f);
    }

    CMainWnd engine;
    engine.m_changeCount = 0;
    engine.m_params.grayScale = 1;
    engine.ApplyGrayscale();
    EXPECT_TRUE(engine.m_view.params->stateBits & StateGreyScale);
    EXPECT_EQ(engine.m_redrawRequest.load(), 1) << "a view at rest is drawn once more";
    engine.m_redrawRequest = 0;
    engine.m_changeCount = 3;
    engine.m_params.grayScale = 0;
    engine.ApplyGrayscale();
    EXPECT_FALSE(engine.m_view.params->stateBits & StateGreyScale);
    EXPECT_EQ(engine.m_redrawRequest.load(), 0) << "a pending redraw already shows the change";

    engine.m_params.filter = 7;
    engine.ApplyFilter();
    EXPECT_EQ(engine.m_params.filter, 1) << "only bit 0 is kept";
    EXPECT_EQ(engine.m_changeCount, 4);
}

// "abouturl" names the About window's page, made absolute against the document's folder or
// address; an empty one leaves the page named before, and the opening of a document applies it.
TEST(DocumentSetters, AboutUrlBecomesTheAboutWindowsPage)
{
    struct Case {
        const char* base;
        const char* aboutUrl;
        const char* page;
    };
    const Case cases[] = {
        {"C:\\tour\\", "credits.html", "C:\\tour\\credits.html"},
        {"C:\\tour\\", "..\\shared\\about.htm", "C:\\shared\\about.htm"},
        {"http://127.0.0.1/tour/", "about/index.html", "http://127.0.0.1/tour/about/index.html"},
        {"C:\\tour\\", "http://127.0.0.1/about.html", "http://127.0.0.1/about.html"},
        {"C:\\tour\\", "D:\\pages\\about.html", "D:\\pages\\about.html"},
        {"C:\\tour\\", "", "kept.html"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.aboutUrl);
        auto engine = std::make_unique<CMainWnd>();
        engine->m_aboutWnd.m_aboutUrl = "kept.html";
        engine->m_basePath = c.base;
        engine->m_params.aboutUrl = c.aboutUrl;
        engine->ApplyAboutUrl();
        EXPECT_STREQ(engine->m_aboutWnd.m_aboutUrl.GetText(), c.page);
        EXPECT_STREQ(engine->m_params.aboutUrl.GetText(), c.aboutUrl) << "the parameter stays as given";
    }

    auto engine = std::make_unique<CMainWnd>();
    engine->m_basePath = "C:\\tour\\";
    engine->m_documentFile = "pano.jpg";
    engine->m_params.aboutUrl = "credits.html";
    EXPECT_EQ(engine->OpenDocument(0, 0), 1);
    EXPECT_STREQ(engine->m_aboutWnd.m_aboutUrl.GetText(), "C:\\tour\\credits.html");
    engine->m_aboutWnd.ShowAbout(nullptr);
    EXPECT_STREQ(engine->m_aboutWnd.m_aboutUrl.GetText(), "C:\\tour\\credits.html")
        << "a showing without a name keeps the page";
}

// Opening a document starts the update loop on the engine; an engine that goes without a
// Shutdown ends that loop first instead of leaving it to run on freed memory.
TEST(DocumentOpen, AnEngineEndsItsUpdateLoopWhenItGoes)
{
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        auto engine = std::make_unique<CMainWnd>();
        engine->m_basePath = "C:\\tours\\";
        engine->m_documentFile = "tour.kzr";
        EXPECT_EQ(engine->OpenDocument(0, 0), 1);
        CWorkerThread* loop = engine->m_updateLoopThread.load();
        ASSERT_NE(loop, nullptr);
        engine.reset();
        EXPECT_FALSE(IsWorkerThreadValid(loop));
    }
}

TEST(DocumentSetters, BarStringsTakeTheirPiecesOrTheLanguagesTips)
{
    ASSERT_TRUE(LoadLanguage(1));
    struct Case {
        const char* list;
        int32_t closeButton;
        int slot;
        const char* text;
    };
    const Case cases[] = {
        {"", -1, 0, "Initial zoom"},
        {",Zoom in", -1, 0, "Initial zoom"},
        {",Zoom in", -1, 1, "Zoom in"},
        {",Zoom in", -1, 2, "Decrement zoom"},
        {"", -1, 9, "Close full screen"},
        {"", 1, 9, "Close"},
        {"", -1, 13, "Area"},
        {"", -1, 14, "Menu"},
        {"a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p", -1, 14, "o"},
        {"a,,c", -1, 1, "Increment zoom"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.list) + " slot " + std::to_string(c.slot));
        CTexto texts[kToolbarSlotCount];
        CMainWnd::FormatBarStrings(c.list, c.closeButton, texts);
        EXPECT_STREQ(texts[c.slot].GetText(), c.text);
    }
    // A piece longer than a tip holds is cut, and the pieces after it are still found.
    const std::string longPiece(300, 'x');
    CTexto texts[kToolbarSlotCount];
    CMainWnd::FormatBarStrings((longPiece + ",next").c_str(), -1, texts);
    EXPECT_EQ(texts[0].GetLength(), 255);
    EXPECT_STREQ(texts[1].GetText(), "next");
}

TEST(DocumentSetters, ResizeGripCloseImagesAndToolbarStateNeedAnInitialisedEngine)
{
    CMainWnd engine;
    engine.m_params.resize = 1;
    engine.m_params.closeImage = "close.png,hover.png";
    engine.m_changeCount = 0;
    engine.ApplyResize();
    engine.LoadCloseButtonImages();
    engine.ResetToolbarState();
    EXPECT_EQ(engine.m_controlShown[4], 0);
    EXPECT_STREQ(engine.m_params.closeImage.GetText(), "close.png,hover.png");
    EXPECT_EQ(engine.m_changeCount, 0);

    // An initialised engine without a device: the setters only touch their own state.
    engine.m_initialized = 1;
    engine.m_hoverCode = 3;
    engine.ApplyResize();
    EXPECT_EQ(engine.m_controlShown[4], 1);
    EXPECT_EQ(engine.m_hoverCode, 0);
    EXPECT_EQ(engine.m_changeCount, 1);
    engine.m_params.resize = 0;
    engine.ApplyResize();
    EXPECT_EQ(engine.m_controlShown[4], 0);
    engine.m_view.fullscreen = 1;
    engine.m_params.resize = 1;
    engine.ApplyResize();
    EXPECT_EQ(engine.m_controlShown[4], 0) << "full screen has no resize grip";
    engine.m_view.fullscreen = 0;

    engine.m_basePath = "C:\\tour\\";
    engine.LoadCloseButtonImages();
    EXPECT_STREQ(engine.m_params.closeImage.GetText(), "close.png") << "the text ends at the comma";
    EXPECT_STREQ(engine.m_closeButtonImages[0].fileName.GetText(), "C:\\tour\\close.png");
    EXPECT_STREQ(engine.m_closeButtonImages[1].fileName.GetText(), "C:\\tour\\hover.png");
    for (CSprite& image : engine.m_closeButtonImages)
        image.CancelLoad();
    engine.LoadCloseButtonImages();
    EXPECT_STREQ(engine.m_closeButtonImages[1].fileName.GetText(), "C:\\tour\\close.png")
        << "one name serves both states";

    engine.m_params.toolsBar = 0;
    engine.m_toolbarVisible = 1;
    engine.m_hoverButton = 4;
    engine.m_activeButton = 4;
    const int count = engine.m_changeCount;
    engine.ResetToolbarState();
    EXPECT_EQ(engine.m_toolbarVisible, 0);
    EXPECT_EQ(engine.m_hoverButton, -1);
    EXPECT_EQ(engine.m_activeButton, -1);
    EXPECT_EQ(engine.m_changeCount, count + 1);
    EXPECT_EQ(engine.m_pressMoved, 1);
    engine.m_initialized = 0;
}

// A text tour goes the whole way, as in the player: the opening hands it to the frame loader,
// which finds a script and asks for it to be read; the reload's SetScriptFile waits for the
// frame loop, whose tick runs it; the reader thread reads the tour and its first frame is
// entered. The engine is initialised in a host window, so its own update loop ticks.
TEST(DocumentOpen, ATextTourGoesThroughLoaderReloadAndReaderToItsFirstFrame)
{
    TempFolder folder;
    const std::string tour = folder.Write("tour.kzr", "(hall)\r\n{\r\nTYPE=PANORAMIC;\r\nFILE=hall.jpg;\r\n}\r\n"
                                                      "(yard)\r\n{\r\nTYPE=PANORAMIC;\r\nFILE=yard.jpg;\r\n}\r\n");
    HWND host = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 160, 120, nullptr, nullptr,
                                nullptr, nullptr);
    auto engine = std::make_unique<CMainWnd>();
    ASSERT_EQ(engine->Initialize(160, 120, host, 0), 1);
    // The opening initialisation posted reads the document named by then.
    engine->m_documentFile = tour.c_str();

    bool reloaded = false;
    bool entered = false;
    for (DWORD start = GetTickCount(); !entered && GetTickCount() - start < 10000;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            reloaded |= message.message == ViewerMessageReloadScriptFile;
            DispatchMessageA(&message);
        }
        entered = engine->m_frames.GetCount() == 2 &&
                  engine->m_currentFrame != &engine->m_firstFrame;
    }
    EXPECT_TRUE(reloaded) << "the frame loader handed the text back";
    ASSERT_TRUE(entered) << "frames " << engine->m_frames.GetCount() << ", pending "
                         << engine->GetPendingCodeCount() << ", ticks " << engine->m_tickCount;
    EXPECT_STREQ(engine->m_scriptFile.GetText(), tour.c_str());
    EXPECT_STREQ(engine->m_currentFrame->name.GetText(), "hall");
    EXPECT_EQ(engine->m_currentFrameIndex, 0);
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);
    engine->Shutdown();
    engine.reset();
    DestroyWindow(host);
}
