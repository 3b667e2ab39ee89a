// Whole scripts through the reader: the built-in video controls, and a small tour whose nodes,
// menus and images are linked after the read.
#include <winsock2.h>

#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/item_records.h"
#include "core/object_item.h"
#include "scene_dump.h"
#include "script/compiler.h"

namespace {

using Lines = std::vector<std::string>;

std::vector<uint8_t> Bytes(const CompiledCode& code)
{
    return code.code ? std::vector<uint8_t>(code.code, code.code + code.length)
                     : std::vector<uint8_t>();
}

std::vector<uint8_t> Compiled(const std::string& text)
{
    CompiledCode code;
    CompileCommandText(&code, text.c_str(), nullptr, nullptr);
    EXPECT_GT(code.length, 0) << text;
    return Bytes(code);
}

ObjectItem* ObjectAt(CFrame* frame, int index)
{
    return static_cast<ObjectItem*>(frame->objects.GetItem(index));
}

const char* const kVideoControls =
    "(videocontrols)\r\n{\r\n"
    "\tfont= videocontrolsfont1, 'Verdana', 16,4, normal;\r\n"
    "\tfont= videocontrolsfont2, 'Arial', 20,4, normal;\r\n"
    "\tfont= videocontrolsfont3, 'Arial', 12,4, normal;\r\n"
    "\timage=videocontrols,barravideo,1, 0,0, 100%,20, #60, 60,no,#000000;\r\n"
    "\timage=videocontrols,barravideoini,1, 109,0, 1,20, #60, 40,no,#ffffff;\r\n"
    "\timage=videocontrols,barravideofin,1, -19,0, 1,20, #66, 40,no,#ffffff;\r\n"
    "\ttext= videocontrols,message1, 1, 120,-2, #60, #FFFFFF, no, #000000, 80, videocontrolsfont1, "
    "'%OBJECT%_this_%TIME%';\r\n"
    "\ttext= videocontrols,textplay, 0, 92,0, #60, #FFFFFF, no, #000000, 80, videocontrolsfont2, '>';\r\n"
    "\ttext= videocontrols,textpause, 1, 91,-4, #60, #FFFFFF, no, #000000, 80, videocontrolsfont3, "
    "'||';\r\n"
    "\tbutton= videocontrols, botplay, 0, 90,0, 20,20,#60,#ffffff,#ffffff,#ffffff,1,10,1,no,no,no,2,"
    "nokey,release,'Play video','Play(_this_);Show(,textplay,0,videocontrols);Show(,textpause,1,"
    "videocontrols);Show(,botplay,0,videocontrols);Show(,botpause,1,videocontrols);';\r\n"
    "\tbutton= videocontrols, botpause, 1, 90,0, 20,20,#60,#ffffff,#ffffff,#ffffff,1,10,1,no,no,no,2,"
    "nokey,release,'Pause video','Pause(_this_);Show(,textplay,1,videocontrols);Show(,textpause,0,"
    "videocontrols);Show(,botplay,1,videocontrols);Show(,botpause,0,videocontrols);';\r\n"
    "\r\n"
    "\tSLIDER= videocontrols,sliderpan, 1, 110,0, 20,20, #60, #ffffff, #ffffff, #ffffff, 40, 50, 50, "
    "no, no, no, 2, no,no, absolute, 0,100%-150,0,\"\",\"SeekPercentage(_this_,100);\";\r\n"
    "\tpropertycode2 = videocontrols,code1, 1, \"frameposition\", \"_this_\", "
    "\"ObjectValue('_this_','sliderpan','videocontrols','offsetxpercentage',100);\";\r\n"
    "}\r\n";

}  // namespace

TEST(ObjectLinking, BuiltInVideoControlsRead)
{
    auto engine = std::make_unique<CMainWnd>();
    CFrame controls;
    CObjeto fonts;
    ASSERT_EQ(engine->ReadParameterFile("", engine->m_frames, 1, fonts, &controls, kVideoControls), 1);

    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    ASSERT_EQ(fonts.GetCount(), 3);
    const struct {
        const char* name;
        const char* face;
        int size;
    } expectedFonts[] = {{"videocontrolsfont1", "Verdana", 16},
                         {"videocontrolsfont2", "Arial", 20},
                         {"videocontrolsfont3", "Arial", 12}};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        FontItem* font = static_cast<FontItem*>(fonts.GetItem(i));
        EXPECT_STREQ(font->name.GetText(), expectedFonts[i].name);
        EXPECT_STREQ(font->logFont.lfFaceName, expectedFonts[i].face);
        EXPECT_EQ(font->logFont.lfHeight, static_cast<int>(dpi / 15.0f * expectedFonts[i].size));
        EXPECT_EQ(font->logFont.lfWeight, 400);
        EXPECT_EQ(font->logFont.lfItalic, 0);
        EXPECT_EQ(font->logFont.lfCharSet, DEFAULT_CHARSET);
    }

    EXPECT_EQ(scene_dump::Frame(controls),
              Lines({"frame  src=-1 kind=6",
                     "  obj 16 barravideo lvl=0 num=0 grp=videocontrols aux=#000000",
                     "  obj 16 barravideoini lvl=0 num=0 grp=videocontrols aux=#ffffff",
                     "  obj 16 barravideofin lvl=0 num=0 grp=videocontrols aux=#ffffff",
                     "  obj 15 message1 lvl=1 num=1 grp=videocontrols value=%OBJECT%_this_%TIME%",
                     "  obj 15 textplay lvl=1 num=2 grp=videocontrols value=>",
                     "  obj 15 textpause lvl=1 num=3 grp=videocontrols value=||",
                     "  obj 25 botplay lvl=1 num=0 grp=videocontrols target=#ffffff value=Play video "
                     "code=2:" + std::to_string(Compiled("Play(_this_);Show(,textplay,0,videocontrols);"
                                                          "Show(,textpause,1,videocontrols);Show(,botplay,0,"
                                                          "videocontrols);Show(,botpause,1,videocontrols);")
                                                     .size()),
                     "  obj 25 botpause lvl=1 num=0 grp=videocontrols target=#ffffff value=Pause video "
                     "code=2:" + std::to_string(Compiled("Pause(_this_);Show(,textplay,1,videocontrols);"
                                                          "Show(,textpause,0,videocontrols);Show(,botplay,1,"
                                                          "videocontrols);Show(,botpause,0,videocontrols);")
                                                     .size()),
                     "  obj 27 sliderpan lvl=1 num=0 grp=videocontrols target=#ffffff code=0:" +
                         std::to_string(Compiled("SeekPercentage(_this_,100);").size()),
                     "  obj 31 code1 lvl=0 num=0 grp=videocontrols aux=_this_ code=2:" +
                         std::to_string(Compiled("ObjectValue('_this_','sliderpan','videocontrols',"
                                                 "'offsetxpercentage',100);")
                                            .size())}));

    ObjectItem* bar = ObjectAt(&controls, 0);
    EXPECT_FLOAT_EQ(bar->width, 100);
    EXPECT_FLOAT_EQ(bar->height, 20);
    EXPECT_EQ(bar->layoutFlags, 0x100 | 0x400 | 0x800);
    EXPECT_EQ(bar->align, 0x60);
    EXPECT_EQ(bar->alpha, 60);
    EXPECT_EQ(bar->stateFlags[0], 0);
    EXPECT_FLOAT_EQ(ObjectAt(&controls, 2)->x, -19);

    ObjectItem* message = ObjectAt(&controls, 3);
    EXPECT_FLOAT_EQ(message->x, 120);
    EXPECT_FLOAT_EQ(message->y, -2);
    EXPECT_EQ(message->align, 0x60);
    EXPECT_EQ(message->textColor, 0xFFFFFF);
    EXPECT_EQ(message->backColor, 0);
    EXPECT_EQ(message->alpha, 80);
    EXPECT_EQ(message->inScene, 0);
    EXPECT_STREQ(message->fontItemName.GetText(), "videocontrolsfont1");
    EXPECT_EQ(ObjectAt(&controls, 4)->showFlags & 1, 0);

    ObjectItem* play = ObjectAt(&controls, 6);
    EXPECT_EQ(play->stateAlpha[0], 1);
    EXPECT_EQ(play->stateAlpha[1], 10);
    EXPECT_EQ(play->stateAlpha[2], 1);
    EXPECT_EQ(play->hoverCode, 2);
    EXPECT_EQ(play->keyCode, 0);
    EXPECT_EQ(Bytes(play->events[EventRelease]),
              Compiled("Play(_this_);Show(,textplay,0,videocontrols);Show(,textpause,1,videocontrols);"
                       "Show(,botplay,0,videocontrols);Show(,botpause,1,videocontrols);"));

    ObjectItem* slider = ObjectAt(&controls, 8);
    EXPECT_EQ(slider->mode, 1);
    EXPECT_FLOAT_EQ(slider->sliderValue, 0);
    EXPECT_FLOAT_EQ(slider->rangeX, 100);
    EXPECT_FLOAT_EQ(slider->rangeOffsetX, -150);
    EXPECT_EQ(slider->layoutFlags & 0x30000, 0x10000);
    EXPECT_FLOAT_EQ(slider->rangeY, 0);
    EXPECT_EQ(slider->stateAlpha[0], 40);

    ObjectItem* code = ObjectAt(&controls, 9);
    EXPECT_EQ(code->mode, 15);

    // The texts' items are the level's.
    ASSERT_EQ(engine->m_images[1].GetCount(), 3);
    EXPECT_EQ(scene_dump::Item(*engine->m_images[1].GetItem(0)),
              "text #1 message1 font=Tahoma size=13.5 width=300");
}

namespace {

const char* const kTour =
    "(hall){TYPE=PANORAMIC;FILE=hall.jpg;"
    "NODO1=10,0,5,0,0,garden;"
    "NODO1=n2,1,,1,2,3,-10,20,2,,garden;"
    "NODO1=1,0,0,0,0,pic;"
    "NODO1=1,0,0,0,0,tip;"
    "NODO1=1,0,0,0,0,texttip;"
    "NODO1=1,0,0,0,0,site;"
    "NODO1=1,0,0,0,0,nowhere;"
    "NODO1=1,0,0,0,0,1,garden,pic;"
    "NODO1=1,0,0,0,0,'Beep();';"
    "IMAGE=1,2,#11,50,pic;"
    "MENU=10,20,110,119,opciones;"
    "BUTTON=b,1,0,0,20,20,0,pic,nothing,,100,100,100,no,no,no,0,nokey,release,tip,Beep();}"
    "(garden){TYPE=PANORAMIC;FILE=garden.jpg;DESCRIPTION=The garden;}"
    "(pic){TYPE=IMAGE;FILE=pic.png;}"
    "(tip){TYPE=TOOLTIP;FILE=tip.png;ALPHAIMAGE=50;FLAGSIMAGE=ADD;}"
    "(texttip){TYPE=TOOLTIP;DESCRIPTION=Hello there;FONTCOLOR=#FF0000;}"
    "(site){TYPE=LINK;FILE=http://example.com/;DESCRIPTION=Our site;TARGET=_blank;}"
    "(opciones){TYPE=MENU;MENUOPTION=Hall;NODO1=0,0,0,0,0,hall;MENUOPTION=More;"
    "NODO1=0,0,0,0,0,more;MENUOPTION=Site;NODO1=0,0,0,0,0,site;}"
    "(more){TYPE=MENU;MENUOPTION=Back;NODO1=0,0,0,0,0,opciones;}";

// A handler of JOYSTICK= that raises the engine's cancel flag in the middle of a read.
const ReaderHandlers& CancellingHandlers()
{
    static const ReaderHandlers handlers = [] {
        ReaderHandlers made = BuiltInReaderHandlers();
        made.keywords[static_cast<int>(ReaderKeyword::Joystick)] = [](ReadingContext& context) {
            context.engine->m_cancel = 1;
        };
        return made;
    }();
    return handlers;
}

}  // namespace

TEST(ObjectLinking, SmallTourLinksNodesMenusAndImages)
{
    auto engine = std::make_unique<CMainWnd>();
    ASSERT_EQ(engine->ReadParameterFile("C:\\tours\\tour.kzr", engine->m_frames, 0, engine->m_fonts,
                                        nullptr, kTour),
              1);
    CObjeto& items = engine->m_images[0];
    EXPECT_EQ(scene_dump::Scene(engine->m_frames, items),
              Lines({"frame hall src=6 kind=6",
                     "  obj 17  lvl=0 num=1",
                     // A frame declared later: its jump, and its description for the node.
                     "  obj 18 garden lvl=0 num=0 target=garden value=The garden code=2:20 to=garden",
                     "  obj 18 n2 lvl=0 num=0 target=garden value=The garden code=2:146 to=garden",
                     "  obj 18 pic lvl=0 num=3 target=pic code=2:0 to=pic",
                     "  obj 18 tip lvl=0 num=4 target=tip code=2:0 to=tip",
                     "  obj 18 texttip lvl=0 num=0 target=texttip value=Hello there code=2:0 to=texttip",
                     "  obj 18 site lvl=0 num=0 target=site value=Our site code=2:64 to=site",
                     "  obj 18 nowhere lvl=0 num=0 target=nowhere value=_next frame not found_ code=2:0 "
                     "to=nowhere",
                     "  obj 18 garden lvl=0 num=3 aux=pic target=garden value=The garden code=2:20 to=garden",
                     // Commands of its own name no target: the node keeps an empty description.
                     "  obj 18  lvl=0 num=0 target=Beep(); code=2:" +
                         std::to_string(Compiled("Beep();").size()),
                     "  obj 16  lvl=0 num=3 aux=pic",
                     "  obj 20  lvl=0 num=7 aux=opciones",
                     "  obj 25 b lvl=0 num=0 target=pic value=tip code=2:12",
                     "frame garden src=6 kind=6 desc=The garden",
                     "  obj 17  lvl=0 num=2",
                     "image #1 hall file=C:\\tours\\hall.jpg option=1 page=1",
                     "image #2 garden file=C:\\tours\\garden.jpg option=1 page=1",
                     "image #3 pic file=C:\\tours\\pic.png option=1 page=1",
                     "image #4 tip file=C:\\tours\\tip.png option=1 page=1",
                     "text #5 texttip text=Hello there value=_ToolTip_ bg=0xF8F8F8 font=Tahoma size=13.5 "
                     "width=300",
                     "text #6 site text=http://example.com/ value=Our site font=_blank size=13.5 width=300",
                     "menu #7 opciones [Hall:16] [More:16] [Site:64]",
                     "menu #8 more [Back:16]"}));

    CFrame* hall = engine->GetFrame(0);
    ObjectItem* toGarden = ObjectAt(hall, 1);
    EXPECT_EQ(Bytes(toGarden->events[EventRelease]), Compiled("GoToFrame(\"garden\");"));
    ObjectItem* withView = ObjectAt(hall, 2);
    EXPECT_EQ(Bytes(withView->events[EventRelease]),
              Compiled("GoToFrame(\"garden\");CameraValue(0,x,0);CameraValue(0,y,0);CameraValue(0,z,0);"
                       "CameraValue(0,rotx,-10);CameraValue(0,roty,20);CameraValue(0,zoom,2);"));
    EXPECT_FLOAT_EQ(withView->rotX, 0);
    EXPECT_FLOAT_EQ(withView->rotY, 0);
    EXPECT_EQ(toGarden->placement, 1);

    ObjectItem* picture = ObjectAt(hall, 3);
    EXPECT_EQ(picture->placement, 4);
    EXPECT_EQ(picture->hoverCode, 0);
    ObjectItem* tip = ObjectAt(hall, 4);
    EXPECT_EQ(tip->placement, 5);
    EXPECT_EQ(tip->alpha, 50);
    EXPECT_EQ(tip->stateFlags[0], 0x200);
    EXPECT_EQ(tip->align, 0x01);
    ObjectItem* textTip = ObjectAt(hall, 5);
    EXPECT_EQ(textTip->placement, 5);
    EXPECT_EQ(textTip->hoverCode, 0);
    EXPECT_EQ(textTip->textColor, 0xFF0000);
    EXPECT_EQ(textTip->backColor, 0xF8F8F8);
    EXPECT_STREQ(textTip->fontFace.GetText(), "Tahoma");
    EXPECT_EQ(textTip->tooltipWidth, 300);
    EXPECT_EQ(Bytes(ObjectAt(hall, 6)->events[EventRelease]),
              Compiled("OpenURL(\"http://example.com/\",\"_blank\");"));
    EXPECT_EQ(ObjectAt(hall, 8)->placement, 3);

    ObjectItem* menuObject = ObjectAt(hall, 11);
    EXPECT_FLOAT_EQ(menuObject->height, 99);  // 100 rounded down to the three entries
    ObjectItem* button = ObjectAt(hall, 12);
    EXPECT_EQ(button->stateImage[0], 3);
    EXPECT_EQ(button->stateImage[1], 0);
    EXPECT_EQ(button->stateImage[2], 0);

    MenuRecord* options = static_cast<MenuRecord*>(items.GetItem(6));
    MenuRecord* more = static_cast<MenuRecord*>(items.GetItem(7));
    EXPECT_EQ(Bytes(*static_cast<CompiledCode*>(options->entries.GetItem(0))),
              Compiled("GoToFrame(\"hall\");"));
    // A submenu: kind 5, length 16, the current frame, this menu and the target menu.
    const std::vector<uint8_t> submenu = {5, 0, 16, 0, 0xFF, 0xFF, 0, 0, 7, 0, 0, 0, 8, 0, 0, 0};
    EXPECT_EQ(Bytes(*static_cast<CompiledCode*>(options->entries.GetItem(1))), submenu);
    EXPECT_EQ(Bytes(*static_cast<CompiledCode*>(options->entries.GetItem(2))),
              Compiled("OpenURL(\"http://example.com/\",\"_blank\");"));
    const std::vector<uint8_t> back = {5, 0, 16, 0, 0xFF, 0xFF, 0, 0, 8, 0, 0, 0, 7, 0, 0, 0};
    EXPECT_EQ(Bytes(*static_cast<CompiledCode*>(more->entries.GetItem(0))), back);
    EXPECT_EQ(static_cast<ImageItem*>(items.GetItem(3))->sprite.tooltipOptions, nullptr);
}

TEST(ObjectLinking, CancelledReadLinksNothingAndFreesTheTooltipBlocks)
{
    auto engine = std::make_unique<CMainWnd>();
    engine->m_readerHandlers = &CancellingHandlers();
    const std::string tour = std::string(kTour) + "(last){TYPE=PANORAMIC;JOYSTICK=j,1,0,no,no,0,Beep();}";
    engine->ReadParameterFile("C:\\tours\\tour.kzr", engine->m_frames, 0, engine->m_fonts, nullptr,
                              tour.c_str());
    CFrame* hall = engine->GetFrame(0);
    ASSERT_NE(hall, nullptr);
    // Object 0 is the frame's own image.
    ObjectItem* node = ObjectAt(hall, 1);
    EXPECT_STREQ(node->events[EventRelease].name.GetText(), "garden");
    EXPECT_EQ(node->events[EventRelease].length, 0);
    EXPECT_STREQ(node->ItemRecord::value.GetText(), "");
    EXPECT_FLOAT_EQ(ObjectAt(hall, 2)->rotX, -10);  // nothing linked: the view values stay
    EXPECT_EQ(ObjectAt(hall, 10)->number, 0);
    int menus = 0;
    for (CObjeto* item = engine->m_images[0].GetHead(); item && item->GetRecord(); item = item->GetNext()) {
        ItemRecord* record = item->GetRecord();
        if (record->type == ItemType::Image) {
            EXPECT_EQ(static_cast<ImageItem*>(record)->sprite.tooltipOptions, nullptr);
        }
        if (record->type != ItemType::Menu)
            continue;
        menus++;
        for (CObjeto* e = static_cast<MenuRecord*>(record)->entries.GetHead(); e && e->GetRecord();
             e = e->GetNext())
            EXPECT_EQ(static_cast<CompiledCode*>(e->GetRecord())->length, 0);
    }
    EXPECT_EQ(menus, 2);
    engine->m_cancel = 0;
}
