// Section kinds and their items: what every TYPE= makes after FILE=, the FILE= forms and their
// extension rules, DESCRIPTION= and text tooltips, image and menu keys, and the demo tour.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/object_item.h"
#include "core/value_tokenizer.h"
#include "core/worker_threads.h"
#include "scene_dump.h"
#include "script/reader_handlers.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

// An engine on the heap (it is large) that reads script texts as the tour of C:\tours\.
struct Reader {
    explicit Reader(const ReaderHandlers* handlers = nullptr)
    {
        if (handlers)
            engine->m_readerHandlers = handlers;
    }

    Lines Read(const std::string& script, CFrame* target = nullptr,
               const char* file = "C:\\tours\\tour.kzr")
    {
        engine->ReadParameterFile(file, engine->m_frames, 0, engine->m_fonts, target,
                                  script.c_str());
        return scene_dump::Scene(engine->m_frames, engine->m_images[0]);
    }

    CFrame* Frame(int index) { return engine->GetFrame(index); }
    ItemRecord* Item(int index) { return engine->m_images[0].GetItem(index); }

    std::unique_ptr<CMainWnd> engine = std::make_unique<CMainWnd>();
};

Lines Read(const std::string& script)
{
    Reader reader;
    return reader.Read(script);
}

}  // namespace

TEST(ReaderSections, EveryTypeGivesItsKindsOptionAndItems)
{
    const std::string image = "image #1 s file=C:\\tours\\f.jpg";
    struct Case {
        const char* type;
        Lines scene;
    };
    const Case cases[] = {
        {"PANORAMIC", {"frame s src=6 kind=6", "  obj 17  lvl=0 num=1", image + " option=1 page=1"}},
        {"panoramic", {"frame s src=6 kind=6", "  obj 17  lvl=0 num=1", image + " option=1 page=1"}},
        {"CUBIC", {"frame s src=0 kind=6", "  obj 17  lvl=0 num=1", "value #1 s text=C:\\tours\\f.jpg"}},
        {"PANORAMA", {"frame s src=6 kind=6", "  obj 17  lvl=0 num=1", image + " option=0 page=1"}},
        {"CILINDRO", {"frame s src=1 kind=6", "  obj 17  lvl=0 num=1", image + " option=0 page=1"}},
        {"KZR", {"frame s src=6 kind=6", "  obj 17  lvl=0 num=1", image + " option=1 page=1"}},
        {"MOV", {"frame s src=6 kind=6", "  obj 17  lvl=0 num=1", image + " option=1 page=1"}},
        {"TIMELAPSE", {"frame s src=6 kind=6", "  obj 17  lvl=0 num=1", image + " option=1 page=1"}},
        {"MAPAFOTO", {"frame s src=8 kind=6", "  obj 17  lvl=0 num=1", image + " option=1 page=1"}},
        {"AERIAL", {"frame s src=8 kind=6", "  obj 17  lvl=0 num=1", image + " option=1 page=1"}},
        {"ONESHOT", {"frame s src=5 kind=6", "  obj 17  lvl=0 num=1", image + " option=1 page=1"}},
        {"FISHEYES", {"frame s src=3 kind=6", "  obj 17  lvl=0 num=1", "value #1 s text=C:\\tours\\f.jpg"}},
        {"PASAFOTOS", {"frame s src=7 kind=6", "  obj 16  lvl=0 num=1 aux=s", image + " option=0 page=1"}},
        {"POSICIONADOR", {"frame s src=-2 kind=6"}},
        // A camera frame takes its file as a list: one sensor per name after the folder.
        {"VISTROLUX", {"frame s src=4 kind=6 over=0x80000", "  obj 17 f.jpg lvl=0 num=0 aux=f.jpg"}},
        {"ELINK", {"text #1 s text=C:\\tours\\f.jpg font=Tahoma size=13.5 width=300"}},
        {"LINK", {"text #1 s text=C:\\tours\\f.jpg font=Tahoma size=13.5 width=300"}},
        {"MENU", {"menu #1 s"}},
        {"IMAGEN", {image + " option=1 page=1"}},
        {"IMAGE", {image + " option=1 page=1"}},
        {"TOOLTIP", {image + " option=1 page=1"}},  // its options block is gone after the read
        {"SEQUENCE", {"sequence #1 s file=C:\\tours\\f.jpg"}},
        {"SOUND", {"sound #1 s file=C:\\tours\\f.jpg"}},
        {"NOSUCHTYPE", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Reader reader;
        EXPECT_EQ(reader.Read(std::string("(s){TIPO=") + c.type + ";FILE=f.jpg;}"), c.scene);
        if (CFrame* frame = reader.Frame(0)) {
            EXPECT_EQ(frame->device, &reader.engine->m_view);
            EXPECT_EQ(static_cast<uint32_t>(frame->backColour), 0xFFF8F8F8u);
        }
    }
    // A camera frame shows on the sphere.
    Reader camera;
    camera.Read("(s){TYPE=VISTROLUX;FILE=\"a.jpg,b.jpg\";}");
    EXPECT_EQ(camera.Frame(0)->projection, 3);
    EXPECT_EQ(camera.Frame(0)->objects.GetCount(), 2);
}

TEST(ReaderSections, FileFormsAndExtensionRules)
{
    struct Case {
        const char* script;
        Lines scene;
    };
    const Case cases[] = {
        // The kind the loader decides stays only for movies, tours and recordings, by their
        // exact lower-case extension.
        {"(h){TYPE=KZR;FILE=hall.kzr;}", {"frame h src=-1 kind=6", "  obj 17  lvl=0 num=1", "value #1 h text=C:\\tours\\hall.kzr"}},
        {"(h){TYPE=KZR;FILE=hall.cam;}", {"frame h src=-1 kind=6", "  obj 17  lvl=0 num=1", "value #1 h text=C:\\tours\\hall.cam"}},
        {"(h){TYPE=MOV;FILE=hall.mov;}", {"frame h src=-1 kind=6", "  obj 17  lvl=0 num=1", "value #1 h text=C:\\tours\\hall.mov"}},
        {"(h){TYPE=KZR;FILE=HALL.MOV;}", {"frame h src=6 kind=6", "  obj 17  lvl=0 num=1", "image #1 h file=C:\\tours\\HALL.MOV option=1 page=1"}},
        // A list in double quotes keeps its commas and goes after the folder, unresolved.
        {"(c){TYPE=CUBIC;FILE=\"f.jpg,r.jpg,b.jpg,l.jpg,u.jpg,d.jpg\";}",
         {"frame c src=0 kind=6", "  obj 17  lvl=0 num=1", "value #1 c text=C:\\tours\\,f.jpg,r.jpg,b.jpg,l.jpg,u.jpg,d.jpg"}},
        // Any comma in the statement makes the list form: the first field follows the folder.
        {"(c){TYPE=CUBIC;FILE=f.jpg,r.jpg;}", {"frame c src=0 kind=6", "  obj 17  lvl=0 num=1", "value #1 c text=C:\\tours\\,f.jpg"}},
        // One picture of six faces side by side is one name.
        {"(c){TYPE=CUBIC;FILE=strip.jpg;}", {"frame c src=0 kind=6", "  obj 17  lvl=0 num=1", "value #1 c text=C:\\tours\\strip.jpg"}},
        // Absolute names and URLs stay as they are.
        {"(h){TYPE=PANORAMIC;FILE=http://host/p/h.jpg;}", {"frame h src=6 kind=6", "  obj 17  lvl=0 num=1", "image #1 h file=http://host/p/h.jpg option=1 page=1"}},
        // A page shown as a movie; a trailing '#' is dropped and the page is not rendered.
        {"(w){TYPE=KZR;FILE='my page.html#mov';}", {"frame w src=6 kind=6", "  obj 17  lvl=0 num=1", "image #1 w file=C:\\tours\\my page.html#mov option=1 page=1"}},
        {"(w){TYPE=KZR;FILE=page.html#mov;}", {"frame w src=-1 kind=6", "  obj 17  lvl=0 num=1", "value #1 w text=C:\\tours\\page.html#mov"}},
        {"(w){TYPE=IMAGE;FILE=page.html#;}", {"image #1 w file=C:\\tours\\page.html option=1 page=0"}},
        // Statements before the first TYPE= are ignored; a FILE= already read makes the items
        // of a later TYPE= at once.
        {"(h){FILE=h.jpg;DESCRIPTION=x;TYPE=PANORAMIC;}", {"frame h src=6 kind=6"}},
        {"(h){TYPE=IMAGE;FILE=h.jpg;TYPE=PANORAMIC;}",
         {"frame h src=6 kind=6", "  obj 17  lvl=0 num=2", "image #1 h file=C:\\tours\\h.jpg option=1 page=1",
          "image #2 h file=C:\\tours\\h.jpg option=1 page=1"}},
        // DESCRIPTION= before FILE= goes with the value item; after TYPE= it is the frame's.
        {"(c){TYPE=CUBIC;DESCRIPTION=Big hall, north;FILE=c.jpg;}",
         {"frame c src=0 kind=6 desc=Big hall", "  obj 17  lvl=0 num=1", "value #1 c text=C:\\tours\\c.jpg value=Big hall"}},
        {"(c){TYPE=CUBIC;DESCRIPTION=\"Big hall, north\";}", {"frame c src=0 kind=6 desc=Big hall, north"}},
        {"(c){TYPE=CUBIC;DESCRIPTION='a\\tb';}", {"frame c src=0 kind=6 desc=a\tb"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(Read(c.script), c.scene);
    }
}

TEST(ReaderSections, TheDemoToursReadIntoOneFrameEach)
{
    struct Case {
        const char* tour;
        Lines scene;
    };
    const std::string demo = test_support::SourcePath("examples/demo/");
    const std::string cube = test_support::SourcePath("examples/cube/");
    const Case cases[] = {
        {"examples/demo/tour.kzr",
         {"frame Demo panorama src=6 kind=6 desc=Lumarix demo tour", "  obj 17  lvl=0 num=1",
          "image #1 Demo panorama file=" + demo + "pano.jpg option=1 page=1"}},
        {"examples/cube/tour.kzr",
         {"frame Demo cube src=0 kind=6 desc=Lumarix demo cube", "  obj 17  lvl=0 num=1",
          "value #1 Demo cube text=" + cube +
              ",face_front.jpg,face_right.jpg,face_back.jpg,face_left.jpg,face_top.jpg,"
              "face_bottom.jpg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tour);
        Reader reader;
        const std::string path = test_support::SourcePath(c.tour);
        EXPECT_EQ(reader.engine->ReadParameterFile(path.c_str(), reader.engine->m_frames, 0,
                                                   reader.engine->m_fonts, nullptr, nullptr),
                  1);
        EXPECT_EQ(scene_dump::Scene(reader.engine->m_frames, reader.engine->m_images[0]),
                  c.scene);
        ASSERT_NE(reader.Frame(0), nullptr);
        EXPECT_EQ(reader.Frame(0)->device, &reader.engine->m_view);
    }
    Reader reader;
    const std::string path = test_support::SourcePath("examples/demo/tour.kzr");
    reader.engine->ReadParameterFile(path.c_str(), reader.engine->m_frames, 0,
                                     reader.engine->m_fonts, nullptr, nullptr);
    auto* image = static_cast<ImageItem*>(reader.Item(0));
    EXPECT_STREQ(image->sprite.itemName.GetText(), "Demo panorama");
    EXPECT_EQ(image->sprite.notifyWindow, reader.engine->m_messageWnd);
}

namespace {

// The program's handlers with IMAGE= making a plain image object, as the object keywords do.
void MakeImageObject(ReadingContext& context)
{
    if (context.sectionKind != SectionFrame)
        return;
    CTexto name;
    ReadNextField(context.statement, 5, name);
    ObjectItem* object = static_cast<ObjectItem*>(
        context.ObjectsOf(context.currentFrame).CreateItem(ItemType::ImageObject));
    object->name = name;
}

const ReaderHandlers& HandlersWithImageObjects()
{
    static const ReaderHandlers handlers = [] {
        ReaderHandlers made = BuiltInReaderHandlers();
        made.keywords[static_cast<int>(ReaderKeyword::Image)] = MakeImageObject;
        return made;
    }();
    return handlers;
}

}  // namespace

TEST(ReaderSections, ObjectsBeforeFileAreDroppedAndTargetsTakeOnlyTheFirstFrameSection)
{
    Reader reader(&HandlersWithImageObjects());
    EXPECT_EQ(reader.Read("(h){TYPE=PANORAMIC;IMAGE=early;FILE=h.jpg;IMAGE=late;}"),
              Lines({"frame h src=6 kind=6", "  obj 17  lvl=0 num=1", "  obj 16 late lvl=0 num=0",
                     "image #1 h file=C:\\tours\\h.jpg option=1 page=1"}));

    // Into a target frame: the first frame section sets it up and makes no items (its objects
    // stay); a second frame section is ignored whole; sections without TYPE= act on it too.
    Reader target(&HandlersWithImageObjects());
    CFrame* frame = &target.engine->m_interfaceFrame;
    frame->ClearObjects();
    EXPECT_EQ(target.Read("(ui){TYPE=CUBIC;IMAGE=one;FILE=x.jpg;ROT=1,2,3;IMAGE=two;}"
                          "(more){TYPE=CUBIC;IMAGE=three;ROT=9,9,9;DESCRIPTION=no;}"
                          "(plain){IMAGE=four;}",
                          frame),
              Lines());
    EXPECT_EQ(scene_dump::Frame(*frame),
              Lines({"frame ui src=0 kind=6 flags=0x424161 over=0x3", "  obj 16 one lvl=0 num=0",
                     "  obj 16 two lvl=0 num=0", "  obj 16 four lvl=0 num=0"}));
    EXPECT_EQ(frame->initialView[ViewTilt], 1.0f);
}

TEST(ReaderSections, TextAndImageTooltips)
{
    Reader reader;
    reader.engine->m_params.bgColor = 0x123456;
    EXPECT_EQ(reader.Read("(tip){TYPE=TOOLTIP;DESCRIPTION=Hello world;WIDTH=120;"
                          "FONTCOLOR=#FF0000;FONTSIZE=9.5;FONTNAME=Arial Black;}"
                          "(pic){TYPE=TOOLTIP;FLAGSIMAGE=TRANS;FILE=tip.png;SIZE=20,30;"
                          "COLORFONDO=#00FF00;LOADED=0;}"
                          "(tinted){TYPE=TOOLTIP;DESCRIPTION=Tinted;BGCOLOR=red;FONTBGCOLOR=#0000FF;}"),
              Lines({"text #1 tip text=Hello world value=_ToolTip_ bg=0x123456 font=Arial Black "
                     "size=9.5 width=120",
                     "image #2 pic file=C:\\tours\\tip.png option=1 page=1 size=20x30 bg=0xFF00",
                     "text #3 tinted text=Tinted value=_ToolTip_ bg=0xFF font=Tahoma size=13.5 "
                     "width=300"}));
    EXPECT_EQ(static_cast<TextItem*>(reader.Item(0))->textColor, 0xFF0000);
    // BGCOLOR= and then FONTBGCOLOR= set the same colour of the text item.
    auto* pic = static_cast<ImageItem*>(reader.Item(1));
    EXPECT_EQ(pic->sprite.loadFlags & SpriteLoadEnabled, 0u);
    EXPECT_EQ(pic->sprite.tooltipOptions, nullptr);  // released when the read ended
}

namespace {

// Keeps the option blocks of tooltip images for the test to look at (linking would read them).
std::vector<std::string>& LinkedTooltips()
{
    static std::vector<std::string> seen;
    return seen;
}

const ReaderHandlers& HandlersThatShowTooltips()
{
    static const ReaderHandlers handlers = [] {
        ReaderHandlers made = BuiltInReaderHandlers();
        made.link = [](ReadingContext& context) {
            LinkedTooltips() = scene_dump::Scene(*context.frames, *context.images);
        };
        return made;
    }();
    return handlers;
}

}  // namespace

TEST(ReaderSections, TooltipImageOptionsFollowFileAndLastUntilTheReadEnds)
{
    Reader reader(&HandlersThatShowTooltips());
    reader.Read("(a){TYPE=TOOLTIP;FILE=a.png;FLAGSIMAGE=TRANS+bilinear;ALPHAIMAGE=40;}"
                "(b){TYPE=TOOLTIP;ALPHAIMAGE=40;FILE=b.png;}"
                "(c){TYPE=IMAGE;FILE=c.png;ALPHAIMAGE=40;}");
    EXPECT_EQ(LinkedTooltips(),
              Lines({"image #1 a file=C:\\tours\\a.png option=1 page=1 tooltip=0x80002/40",
                     "image #2 b file=C:\\tours\\b.png option=1 page=1 tooltip=0x0/100",
                     "image #3 c file=C:\\tours\\c.png option=1 page=1"}));
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(static_cast<ImageItem*>(reader.Item(i))->sprite.tooltipOptions, nullptr);
}

TEST(ReaderSections, ImageKeysNeedTheSectionImage)
{
    Reader reader;
    reader.Read("(a){TYPE=IMAGE;SIZE=5,5;REFRESHRATE=4;FILE=a.png;REFRESHRATE=4;MASKFILE=m.png;"
                "LOADSOUND=3;CAMERATYPE=Mightex-BCN;}"
                "(b){TYPE=IMAGE;FILE=b.png;REFRESHRATE=0;CAMERATYPE=mightex-bcn;LOADED=1;}");
    const CSprite& a = static_cast<ImageItem*>(reader.Item(0))->sprite;
    EXPECT_EQ(a.requestedWidth, 0);
    EXPECT_FLOAT_EQ(a.refreshInterval, 0.25f);
    EXPECT_STREQ(a.maskFile.GetText(), "C:\\tours\\m.png");
    EXPECT_EQ(a.loadSound, 3);
    EXPECT_EQ(a.cameraModel, 1);
    const CSprite& b = static_cast<ImageItem*>(reader.Item(1))->sprite;
    EXPECT_EQ(b.refreshInterval, 0.0f);
    EXPECT_EQ(b.cameraModel, 0);
    EXPECT_EQ(b.loadFlags & (SpriteLoadEnabled | SpriteLoadWanted),
              static_cast<uint32_t>(SpriteLoadEnabled | SpriteLoadWanted));
}

TEST(ReaderSections, ExposureTablesIncludingOverflow)
{
    std::string big = "EXPOSURETABLE=7";  // 7 x 101 values: more rows than a table holds
    for (int i = 0; i < 7 * 101; i++)
        big += ",1";
    std::string wide = "EXPOSURETABLE=50";  // 50 x 15 = 750 values: more than 700
    for (int i = 0; i < 50 * 15; i++)
        wide += ",2";
    struct Case {
        std::string statement;
        std::string exposure;
    };
    const Case cases[] = {
        {"EXPOSURETABLE=3,1,2,3,4,5,6", " exposure=3x2:1,2,3,4,5,6"},
        {"EXPOSURETABLE=3,1,2,3,4,5,6,7", " exposure=3x2:1,2,3,4,5,6"},
        {"EXPOSURETABLE=3,1,2", " exposure=3x0"},
        {"EXPOSURETABLE=0,1,2", ""},
        {"EXPOSURETABLE=-2,1,2", " exposure=-2x0"},
        {big, " exposure=7x0"},
        {wide, " exposure=50x0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement.substr(0, 40));
        Reader reader;
        EXPECT_EQ(reader.Read("(e){TYPE=IMAGE;FILE=e.jpg;" + c.statement + ";}"),
                  Lines({"image #1 e file=C:\\tours\\e.jpg option=1 page=1" + c.exposure}));
    }
}

TEST(ReaderSections, MenuEntriesKeepTheirOrderAndCode)
{
    Reader reader;
    EXPECT_EQ(reader.Read("(m){TYPE=MENU;CONFIGMENU=1,2,#FF000000,4,50,60,big,small;"
                          "OPCIONMENU=Go to the hall,'GoToFrame(hall);';"
                          "MENUOPTION=Just a label;"
                          "OPCIONMENU=Back,PrevFrame();}"
                          "(n){TYPE=MENU;CONFIGMENU=7,8,9,10,11,12;}"),
              Lines({"menu #1 m [Go to the hall:16] [Just a label:0] [Back:4]", "menu #2 n"}));
    auto* menu = static_cast<MenuRecord*>(reader.Item(0));
    EXPECT_EQ(menu->backColor[0], 1);
    EXPECT_EQ(menu->backColor[1], 2);
    EXPECT_EQ(menu->textColor[0], 0);  // masked to 24 bits
    EXPECT_EQ(menu->textColor[1], 4);
    EXPECT_EQ(menu->backAlpha[0], 50);
    EXPECT_EQ(menu->backAlpha[1], 60);
    EXPECT_STREQ(menu->fontName[0].GetText(), "big");
    EXPECT_STREQ(menu->fontName[1].GetText(), "small");
    EXPECT_STREQ(static_cast<TextItem*>(menu->entryTexts[1].GetItem(0))->text.GetText(),
                 "Go to the hall");
    auto* other = static_cast<MenuRecord*>(reader.Item(1));
    EXPECT_EQ(other->fontName[0].GetLength(), 0);
}

TEST(ReaderSections, LinksKeepTheirTargetAndDescription)
{
    Reader reader;
    EXPECT_EQ(reader.Read("(web){TYPE=LINK;TARGET='_blank';FILE=http://example.org/;"
                          "DESCRIPTION=Our site;TARGET='_blank', x;WIDTH=80;}"),
              Lines({"text #1 web text=http://example.org/ value=Our site font='_blank', x "
                     "size=13.5 width=80"}));
}

TEST(ReaderSections, TheReaderThreadGivesWhatAReadInPlaceGives)
{
    TempFolder folder;
    const std::string path = folder.Write(
        "tour.kzr",
        "(hall){TYPE=PANORAMIC;FILE=h.jpg;ACCIONMENU=5;ACCIONMENU=6;SEQUENCEFILE=s.txt;}"
        "(cube){TYPE=CUBIC;FILE=\"f.jpg,r.jpg,b.jpg,l.jpg,u.jpg,d.jpg\";}"
        "(tip){TYPE=TOOLTIP;DESCRIPTION=Hello;}"
        "(m){TYPE=MENU;OPCIONMENU=Go,'GoToFrame(hall);';}");
    // Items already in the list: the thread's items must get the numbers they get in place.
    auto prepare = [](CMainWnd& engine) {
        engine.m_images[0].CreateItem(ItemType::Image)->name = "old";
        engine.m_images[0].CreateItem(ItemType::Text)->name = "older";
    };
    Reader inPlace;
    prepare(*inPlace.engine);
    inPlace.engine->ReadParameterFile(path.c_str(), inPlace.engine->m_frames, 0,
                                      inPlace.engine->m_fonts, nullptr, nullptr);
    Reader threaded;
    prepare(*threaded.engine);
    threaded.engine->m_initialized = 1;
    threaded.engine->StartReaderThread(path.c_str(), 0, nullptr);
    ASSERT_TRUE(WaitForWorkerThreadEnd(threaded.engine->m_readerThread, 10000));
    threaded.engine->m_initialized = 0;

    const Lines scene = scene_dump::Scene(inPlace.engine->m_frames, inPlace.engine->m_images[0]);
    EXPECT_EQ(scene_dump::Scene(threaded.engine->m_frames, threaded.engine->m_images[0]), scene);
    ASSERT_EQ(scene.size(), 12u);
    EXPECT_EQ(scene[0], "frame hall src=6 kind=6 entry=4 sequence=5");
}
