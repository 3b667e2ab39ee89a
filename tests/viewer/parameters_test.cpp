// The viewer parameters: a parameter text split into words and applied key by key, the document
// choice, the values the keys store and the keys that act at once.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "core/item_list.h"
#include "core/item_records.h"
#include "render/render_device.h"

namespace {

std::string Dump(CObjeto& list)
{
    std::string out;
    for (int32_t i = 0;; i++) {
        ItemRecord* item = list.GetItem(i);
        if (!item)
            break;
        if (!out.empty())
            out += "|";
        out += std::string(item->name.GetText()) + "=" + item->value.GetText();
    }
    return out;
}

TEST(ParameterText, WordsAndValues)
{
    struct Case {
        const char* text;
        const char* items;
    } cases[] = {
        {"tour.kzr fullscreen=yes", "tour.kzr=|fullscreen=yes"},
        {"files=a.jpg,b.jpg", "files=a.jpg|b.jpg="},
        {"files=\"a.jpg,b.jpg\"", "files=a.jpg,b.jpg"},
        {"viewertitle=\"My tour, 2nd\" x=1", "viewertitle=My tour, 2nd|x=1"},
        {"  a=1   b=2  ", "a=1|b=2"},
        {"a=1, b=2", "a=1|b=2"},
        {"code=f(1,2) z", "code=f(1,2)|z="},
        {"\"my tour.kzr\"", "my tour.kzr="},
        {"a=b=c", "a=b=c"},
        {"", ""},
    };
    auto engine = std::make_unique<CMainWnd>();
    CObjeto list;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        engine->ParseParameterList(c.text, list);
        EXPECT_EQ(Dump(list), c.items);
    }
    engine->ParseParameterList(nullptr, list);
    EXPECT_EQ(list.GetCount(), 0);
}

// Applies a text to a fresh engine.
std::unique_ptr<CMainWnd> Applied(const char* text)
{
    auto engine = std::make_unique<CMainWnd>();
    CObjeto list;
    engine->ParseParameterList(text, list);
    engine->ApplyParameters(list);
    return engine;
}

TEST(ParameterText, DocumentChoice)
{
    struct Case {
        const char* text;
        const char* document;
    } cases[] = {
        {"tour.kzr fullscreen=yes", "tour.kzr"},
        {"FILE=a.kzr src=b.kzr", "a.kzr"},
        {"src=b.kzr", "b.kzr"},
        {"src=b.kzr c.kzr", "b.kzr"},
        {"c.kzr src=b.kzr", "b.kzr"},
        {"data=d.kzr c.kzr", "d.kzr"},
        {"file=pano.jpg filetype=cubic", "pano.jpg#cubic"},
        {"src=\"my tours\\t.kzr\"", "my tours\\t.kzr"},
        {"fullscreen=1 menu=0", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(Applied(c.text)->m_documentFile.GetText(), c.document);
    }
}

TEST(ParameterText, ValuesAndRules)
{
    auto defaults = std::make_unique<CMainWnd>();
    const ViewerParameters& p = defaults->m_params;
    EXPECT_EQ(p.interfaceMode, InterfaceSkinned);
    EXPECT_EQ(p.viewerWidth, 768);
    EXPECT_EQ(p.viewerHeight, 480);
    EXPECT_EQ(p.viewerAlign, 153);
    EXPECT_FLOAT_EQ(p.zoomVelocity, 8.0f);
    EXPECT_FLOAT_EQ(p.minZoom, 0.28f);
    EXPECT_EQ(p.bgColor, 0xF8F8F8);
    EXPECT_EQ(defaults->m_firstFrame.relMouseMove, 1);

    struct Case {
        const char* text;
        int32_t ViewerParameters::*number;
        int32_t expected;
    } numbers[] = {
        {"fullscreen=yes", &ViewerParameters::fullScreen, 1},
        {"menu=no", &ViewerParameters::menu, 0},
        {"menu=NO", &ViewerParameters::menu, 0},
        {"MENU=False", &ViewerParameters::menu, 0},
        {"toolsbar=TRUE", &ViewerParameters::toolsBar, 1},
        {"viewerwidth=100", &ViewerParameters::viewerWidth, 150},
        {"viewerwidth=1000", &ViewerParameters::viewerWidth, 1000},
        {"viewerheight=10", &ViewerParameters::viewerHeight, 90},
        {"widthsaveview=10000", &ViewerParameters::widthSaveView, 6000},
        {"widthsaveview=10", &ViewerParameters::widthSaveView, 150},
        {"heightsaveview=10", &ViewerParameters::heightSaveView, 90},
        {"heightsaveview=7000", &ViewerParameters::heightSaveView, 6000},
        {"bgcolor=#102030", &ViewerParameters::bgColor, 0x102030},
        {"bgcolor=0xFF", &ViewerParameters::bgColor, 0xFF},
        {"interface=4", &ViewerParameters::interfaceMode, 4},
        {"viewerposx=-20", &ViewerParameters::viewerPosX, -20},
        {"logoalpha=abc", &ViewerParameters::logoAlpha, 0},
        {"invertpano=1 projection=3", &ViewerParameters::projection, 3},
        {"projection=3 invertpano=1", &ViewerParameters::projection, 7},
        {"projection=3 invertpano=0", &ViewerParameters::projection, 3},
        {"menu=0 menu=1", &ViewerParameters::menu, 1},
    };
    for (const Case& c : numbers) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Applied(c.text)->m_params.*(c.number), c.expected);
    }

    auto engine = Applied("language=yes zoomvelocity=2.5 velocity=x files=\"a.jpg,b.jpg\" id=one "
                          "viewertitle=\"A - B\" instancename=Two relmousemove=0 stamp=\"debug,update\"");
    EXPECT_STREQ(engine->m_params.language.GetText(), "1");
    EXPECT_FLOAT_EQ(engine->m_params.zoomVelocity, 2.5f);
    EXPECT_FLOAT_EQ(engine->m_params.velocity, 0.0f);
    EXPECT_STREQ(engine->m_params.files.GetText(), "a.jpg,b.jpg");
    EXPECT_STREQ(engine->m_params.name.GetText(), "one");
    EXPECT_STREQ(engine->m_viewerTitle.GetText(), "A - B");
    EXPECT_STREQ(engine->m_instanceName.GetText(), "Two");
    EXPECT_STREQ(engine->m_params.stamp.GetText(), "debug,update");
    EXPECT_EQ(engine->m_firstFrame.relMouseMove, 0) << "relmousemove goes into the empty scene at once";

    auto synchronised = std::make_unique<CMainWnd>();
    synchronised->m_view.verticalSyncRetry = 1;
    CObjeto list;
    synchronised->ParseParameterList("synchronism=1", list);
    synchronised->ApplyParameters(list);
    EXPECT_EQ(synchronised->m_params.synchronism, 1);
    EXPECT_EQ(synchronised->m_view.verticalSyncRetry, 0) << "the device tries the new setting afresh";
}

TEST(ParameterText, PluginColourIsOneForTheProcess)
{
    const int32_t before = g_pluginColor;
    auto first = Applied("plugincolor=#FF8000");
    EXPECT_EQ(g_pluginColor, 0xFF8000);
    auto second = Applied("plugincolor=red");
    EXPECT_EQ(g_pluginColor, 0xFF0000) << "the last engine to set it wins for every window";
    g_pluginColor = before;
}

TEST(ParameterText, DocumentFileIsWrittenByEveryApply)
{
    auto engine = Applied("tour.kzr");
    ASSERT_STREQ(engine->m_documentFile.GetText(), "tour.kzr");
    CObjeto list;
    engine->ParseParameterList("menu=0", list);
    engine->ApplyParameters(list);
    // The source stays from the earlier text; the document follows it again.
    EXPECT_STREQ(engine->m_documentFile.GetText(), "tour.kzr");
    engine->ParseParameterList("file=other.kzr", list);
    engine->ApplyParameters(list);
    EXPECT_STREQ(engine->m_documentFile.GetText(), "other.kzr");
}

TEST(ParameterText, BasePathIsTheFolder)
{
    struct Case {
        const char* path;
        const char* base;
    } cases[] = {
        {"C:\\tours\\", "C:\\tours\\"},
        {"C:\\tours\\data\\", "C:\\tours\\data\\"},
        {"C:\\tours\\a%20b\\", "C:\\tours\\a b\\"},
    };
    auto engine = std::make_unique<CMainWnd>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CTexto path(c.path);
        engine->SetBasePath(path);
        EXPECT_STREQ(engine->m_basePath.GetText(), c.base);
    }
}

TEST(ParameterText, ApplyRequestWaitsForInitialisation)
{
    auto engine = std::make_unique<CMainWnd>();
    engine->PostApplyParameters();
    EXPECT_EQ(engine->m_applyPosted, 0) << "nothing is posted before the engine is initialised";
}

TEST(WindowAlignment, AnchorsAndReferenceSizes)
{
    struct Case {
        int align;
        float x, y;
    } cases[] = {
        {0x00, 10, 20},
        {0x01, 10 - 50, 20},
        {0x02, 10 - 100, 20},
        {0x03, 10, 20},
        {0x04, 10 + 801, 20},
        {0x08, 10 + 400, 20},
        {0x0C, 10 + 801, 20},
        {0x10, 10, 20 - 25},
        {0x20, 10, 20 - 50},
        {0x30, 10, 20},
        {0x40, 10, 20 + 601},
        {0x80, 10, 20 + 300},
        {0x99, 10 - 50 + 400, 20 - 25 + 300},   // 153: centred on the screen
        {0x66, 10 - 100 + 801, 20 - 50 + 601},
    };
    auto engine = std::make_unique<CMainWnd>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.align);
        float x = 10;
        float y = 20;
        engine->ApplyAlignment(x, y, static_cast<uint8_t>(c.align), 100, 50, 801, 601);
        EXPECT_FLOAT_EQ(x, c.x);
        EXPECT_FLOAT_EQ(y, c.y);
    }
    // -1 takes the main view's size.
    float x = 0;
    float y = 0;
    engine->ApplyAlignment(x, y, 0x44, 0, 0, -1, -1);
    EXPECT_FLOAT_EQ(x, static_cast<float>(engine->m_view.params->width));
    EXPECT_FLOAT_EQ(y, static_cast<float>(engine->m_view.params->height));
}

} // namespace
