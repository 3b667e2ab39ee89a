// Object statements of frame sections: field counts, group fields, per-cent bits and offsets,
// 3D and UTM forms, the resource items objects refer to, and the commands they carry.
#include <winsock2.h>

#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/item_records.h"
#include "core/object_item.h"
#include "core/value_tokenizer.h"
#include "script/compiler.h"
#include "script/reader_objects.h"

namespace {

// One frame section being read, statement by statement, with the program's handlers.
struct Section {
    Section()
    {
        frame = static_cast<FrameItem*>(frames.CreateItem(ItemType::Frame));
        frame->frame.name = "hall";
        context.engine = engine.get();
        context.frames = &frames;
        context.images = &images;
        context.fonts = &fonts;
        context.baseFolder = "Z:\\tour\\";
        context.sectionKind = SectionFrame;
        context.currentFrame = &frame->frame;
    }

    // Handles one statement as the reader hands it over (no blanks before its '=').
    ObjectItem* Read(const std::string& statement)
    {
        text = statement;
        context.statement = text.c_str();
        context.length = static_cast<int>(text.size());
        context.fieldCount = CountFields(text.c_str(), ',');
        context.keyword = MatchReaderKeyword(text.c_str(), &context.spelling);
        const int before = frame->frame.objects.GetCount();
        if (context.keyword != ReaderKeyword::Count) {
            if (StatementHandler handler =
                    BuiltInReaderHandlers().keywords[static_cast<int>(context.keyword)])
                handler(context);
        }
        if (frame->frame.objects.GetCount() == before)
            return nullptr;
        return static_cast<ObjectItem*>(frame->frame.objects.GetItem(before));
    }

    std::unique_ptr<CMainWnd> engine = std::make_unique<CMainWnd>();
    CObjeto frames, images, fonts;
    FrameItem* frame = nullptr;
    ReadingContext context;
    std::string text;
};

std::vector<uint8_t> CodeBytes(const CompiledCode& code)
{
    return code.code ? std::vector<uint8_t>(code.code, code.code + code.length)
                     : std::vector<uint8_t>();
}

// The code the compiler makes of a command text.
std::vector<uint8_t> Compiled(const std::string& text)
{
    CompiledCode code;
    CTexto base("Z:\\tour\\");
    CompileCommandText(&code, text.c_str(), &base, nullptr);
    return CodeBytes(code);
}

std::vector<int> Opcodes(const CompiledCode& code)
{
    std::vector<int> opcodes;
    for (int at = 0; at + 4 <= code.length;) {
        const int opcode = code.code[at] | (code.code[at + 1] << 8);
        const int length = code.code[at + 2] | (code.code[at + 3] << 8);
        opcodes.push_back(opcode);
        if (length < 4)
            break;
        at += length;
    }
    return opcodes;
}

int OpcodeOf(const char* name)
{
    return FindCommandOpcode(name, static_cast<int>(std::strlen(name)));
}

int ScreenDpi()
{
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi;
}

TEST(ObjectStatements, OnlyFrameSectionsMakeObjects)
{
    Section section;
    section.context.sectionKind = SectionImage;
    EXPECT_EQ(section.Read("IMAGE=1,2,0,100,no,logo"), nullptr);
    EXPECT_EQ(section.Read("KEY=A,0,'Beep();'"), nullptr);
    EXPECT_EQ(section.images.GetCount(), 0);
}

TEST(ObjectStatements, FontScalesToTheScreenAndReadsStylesAndCharset)
{
    struct Case {
        const char* statement;
        const char* face;
        int weight;
        int italic, underline, strikeout;
        int charset;
    } cases[] = {
        {"FONT=f,'Verdana',16,4,normal", "Verdana", 400, 0, 0, 0, DEFAULT_CHARSET},
        {"FONT=f,Arial,16,7,italic+strikeout,greek", "Arial", 700, 1, 0, 1, GREEK_CHARSET},
        {"FONT=f,Arial,16,12,underline,no+russian+greek", "Arial", 400, 0, 1, 0, RUSSIAN_CHARSET},
        // A face of 32 characters or more keeps the default one.
        {"FONT=f,abcdefghijklmnopqrstuvwxyz0123456,16,1,no", "Tahoma", 100, 0, 0, 0, DEFAULT_CHARSET},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        Section section;
        section.context.sectionKind = SectionImage;  // fonts are read in any section
        section.Read(c.statement);
        ASSERT_EQ(section.fonts.GetCount(), 1);
        FontItem* font = static_cast<FontItem*>(section.fonts.GetItem(0));
        EXPECT_STREQ(font->name.GetText(), "f");
        EXPECT_STREQ(font->logFont.lfFaceName, c.face);
        EXPECT_EQ(font->logFont.lfWeight, c.weight);
        EXPECT_EQ(font->logFont.lfItalic, c.italic);
        EXPECT_EQ(font->logFont.lfUnderline, c.underline);
        EXPECT_EQ(font->logFont.lfStrikeOut, c.strikeout);
        EXPECT_EQ(font->logFont.lfCharSet, c.charset);
        EXPECT_EQ(font->logFont.lfHeight, static_cast<int>(ScreenDpi() / 15.0f * 16.0f));
        EXPECT_EQ(font->logFont.lfOutPrecision, 4);
        EXPECT_EQ(font->logFont.lfQuality, 2);
        EXPECT_NE(font->font, nullptr);
    }
}

TEST(ObjectStatements, TextFormsByKeywordAndFieldCount)
{
    struct Case {
        const char* statement;
        const char* group;
        const char* name;
        float x, y, z;
        float width, height;
        int inScene, utm;
        int align, textColor, backColor, alpha;
        int layoutFlags, drawModes;
        const char* font;
        const char* shown;
    } cases[] = {
        {"TEXT=1,2,3,0,#FFFFFF,Hello", "", "", 1, 2, 3, 0, 0, 1, 0, 0, 0xFFFFFF, 0, 100, 0x1, 0, "0", "Hello"},
        {"TEXT2D=5,6,big,#11,#FF0000,Hi there", "", "", 5, 6, 0, 0, 0, 0, 0, 0x11, 0xFF0000, 0, 100, 0, 0, "big", "Hi there"},
        {"TEXT=g,m,1,120,-2,#60,#FFFFFF,no,#000000,80,f1,'%OBJECT%_this_%TIME%'", "g", "m", 120, -2, 0, 0, 0, 0, 0,
         0x60, 0xFFFFFF, 0, 80, 0, 0, "f1", "%OBJECT%_this_%TIME%"},
        {"TEXT=m,1,50%+4,10,#60,#1,globe+ADD,#2,70,f1,a\\nb", "", "m", 50, 10, 0, 0, 0, 0, 0, 0x60, 1, 2, 70,
         0x40 | 0x2 | 0x200, 0x200, "f1", "a\nb"},
        {"TEXT=g,m,1,1,2,30%,20,#60,#1,no,#2,70,f1,t", "g", "m", 1, 2, 0, 30, 20, 0, 0, 0x60, 1, 2, 70,
         0x100 | 0x400 | 0x800, 0, "f1", "t"},
        {"TEXT3D=m,1,1,2,3,4,5,#11,#1,background,#2,70,f1,t", "", "m", 1, 2, 3, 0, 0, 1, 0, 0x11, 1, 2, 70, 0x1, 0, "f1", "t"},
        {"TEXT3DUTM=g,m,1,1,2,3,4,5,#11,#1,no,#2,70,f1,t", "g", "m", 1, 2, 3, 0, 0, 1, 1, 0x11, 1, 2, 70, 0, 0, "f1", "t"},
        {"TEXTUTM=m,0,1,2,3,#11,#1,#2,50,f1,t", "", "m", 1, 2, 3, 0, 0, 1, 1, 0x11, 1, 2, 50, 0x1, 0, "f1", "t"},
        // A short form with opacity 0 has no background and full opacity.
        {"TEXT3D=1,2,3,#11,#1,#2,0,f1,t", "", "", 1, 2, 3, 0, 0, 1, 0, 0x11, 1, 2, 100, 0, 0, "f1", "t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        Section section;
        ObjectItem* o = section.Read(c.statement);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->type, ItemType::TextObject);
        EXPECT_STREQ(o->groupName.GetText(), c.group);
        EXPECT_STREQ(o->name.GetText(), c.name);
        EXPECT_FLOAT_EQ(o->x, c.x);
        EXPECT_FLOAT_EQ(o->y, c.y);
        EXPECT_FLOAT_EQ(o->z, c.z);
        EXPECT_FLOAT_EQ(o->width, c.width);
        EXPECT_FLOAT_EQ(o->height, c.height);
        EXPECT_EQ(o->inScene, c.inScene);
        EXPECT_EQ(o->utmFlag, c.utm);
        EXPECT_EQ(o->align, c.align);
        EXPECT_EQ(o->textColor, c.textColor);
        EXPECT_EQ(o->backColor, c.backColor);
        EXPECT_EQ(o->alpha, c.alpha);
        EXPECT_EQ(o->layoutFlags, c.layoutFlags);
        EXPECT_EQ(o->stateFlags[0], c.drawModes);
        EXPECT_STREQ(o->fontItemName.GetText(), c.font);
        EXPECT_STREQ(o->ItemRecord::value.GetText(), c.shown);
        ASSERT_EQ(section.images.GetCount(), 1);
        ItemRecord* text = section.images.GetItem(0);
        EXPECT_EQ(text->type, ItemType::Text);
        EXPECT_STREQ(text->name.GetText(), c.name);
        EXPECT_EQ(o->number, text->number);
    }
    Section hidden;
    EXPECT_EQ(hidden.Read("TEXT=m,0,1,2,#60,#1,no,#2,70,f1,t")->showFlags & 1, 0);
}

TEST(ObjectStatements, ImageFamilyFieldsByKeywordAndCount)
{
    struct Case {
        const char* statement;
        const char* group;
        const char* name;
        int visible;
        float x, y, z, width, height, offsetX, offsetY;
        int layoutFlags;
        int inScene, utm, align, alpha, drawModes;
        const char* image;
    } cases[] = {
        {"image=videocontrols,barravideo,1,0,0,100%,20,#60,60,no,#000000", "videocontrols", "barravideo", 1, 0, 0,
         0, 100, 20, 0, 0, 0x100 | 0x400 | 0x800, 0, 0, 0x60, 60, 0, "#000000"},
        {"IMAGE=10,20,#11,50,ADD+bilinear,logo", "", "", 1, 10, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 50, 0x80200, "logo"},
        {"IMAGE=10,20,#11,50,logo", "", "", 1, 10, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 50, 0, "logo"},
        {"IMAGE=n,0,50%-10,20%+5,#11,50,logo", "", "n", 0, 50, 20, 0, 0, 0, -10, 5, 0x40 | 0x80, 0, 0, 0x11, 50, 0, "logo"},
        {"IMAGE=g,n,1,1,2,#11,50,TRANS,logo", "g", "n", 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 50, 2, "logo"},
        {"IMAGEN=n,1,1,2,3,4,logo", "", "n", 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 2, "4"},
        {"IMAGEN=n,1,1,2,30,logo", "", "", 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 2, ""},
        {"IMAGE3D=n,1,1,2,3,4,5,#11,70,ADD,logo", "", "n", 1, 1, 2, 3, 0, 0, 4, 5, 0, 1, 0, 0x11, 70, 0x200, "logo"},
        {"IMAGE3DUTM=g,n,1,1,2,3,4,5,#11,70,ADD,logo", "g", "n", 1, 1, 2, 3, 0, 0, 4, 5, 0, 1, 1, 0x11, 70, 0x200, "logo"},
        {"IMAGEN3D=g,n,1,1,2,3,#11,logo,a,b,c,d", "g", "n", 1, 1, 2, 3, 0, 0, 0, 0, 0, 1, 0, 0x11, 100, 2, "logo"},
        {"IMAGENUTM=n,1,1,2,3,#11,70,ADD,logo", "", "", 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, ""},
    };
    // IMAGENUTM= with 9 fields is 3D without name: x, y, z, align, opacity, draw modes, image.
    cases[10] = {"IMAGENUTM=1,2,3,#11,70,ADD,logo", "", "", 1, 1, 2, 3, 0, 0, 0, 0, 0, 1, 1, 0x11, 70, 0x200, "logo"};
    // IMAGEN= reads no align: with 6 fields, x, y, opacity and the image.
    cases[6] = {"IMAGEN=1,2,30,logo", "", "", 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 30, 2, "logo"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        Section section;
        ObjectItem* o = section.Read(c.statement);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->type, ItemType::ImageObject);
        EXPECT_STREQ(o->groupName.GetText(), c.group);
        EXPECT_STREQ(o->name.GetText(), c.name);
        EXPECT_EQ(o->showFlags & 1, c.visible);
        EXPECT_FLOAT_EQ(o->x, c.x);
        EXPECT_FLOAT_EQ(o->y, c.y);
        EXPECT_FLOAT_EQ(o->z, c.z);
        EXPECT_FLOAT_EQ(o->width, c.width);
        EXPECT_FLOAT_EQ(o->height, c.height);
        EXPECT_FLOAT_EQ(o->offsetX, c.offsetX);
        EXPECT_FLOAT_EQ(o->offsetY, c.offsetY);
        EXPECT_EQ(o->layoutFlags, c.layoutFlags);
        EXPECT_EQ(o->inScene, c.inScene);
        EXPECT_EQ(o->utmFlag, c.utm);
        EXPECT_EQ(o->align, c.align);
        EXPECT_EQ(o->alpha, c.alpha);
        EXPECT_EQ(o->stateFlags[0], c.drawModes);
        EXPECT_STREQ(o->auxText.GetText(), c.image);
        EXPECT_EQ(o->number, 0);  // resolved by the linking
        EXPECT_EQ(section.images.GetCount(), 0);
    }
}

TEST(ObjectStatements, CompassModesAndSize)
{
    struct Case {
        const char* statement;
        int mode;
        int drawModes;
        float angle, width, height;
        int layoutFlags;
    } cases[] = {
        {"COMPASS=c,1,10,20,#11,90,ADD,linear,45,rose", 2, 0x200, 45, 0, 0, 0},
        {"COMPASS=c,1,10,20,#11,90,ADD,Horizontal,45,rose", 2, 0x200, 45, 0, 0, 0},
        {"COMPASS=c,1,10,20,#11,90,ADD,vertical,45,rose", 1, 0x200, 45, 0, 0, 0},
        {"COMPASS=c,1,10,20,#11,90,ADD,rotative,45,rose", 3, 0x80200, 45, 0, 0, 0},
        {"COMPASS=c,1,10,20,#11,90,ADD,irotative,45,rose", 4, 0x80200, 45, 0, 0, 0},
        {"COMPASS=c,1,10,20,#11,90,ADD,spin,45,rose", 0, 0x200, 45, 0, 0, 0},
        {"COMPASS=g,c,1,10,20,#11,90,ADD,vertical,45,50%,rose", 1, 0x200, 45, 0, 50, 0x200 | 0x800},
        {"COMPASS=g,c,1,10,20,#11,90,ADD,linear,45,120,rose", 2, 0x200, 45, 120, 0, 0x400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        Section section;
        ObjectItem* o = section.Read(c.statement);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->type, ItemType::ImageObject);
        EXPECT_STREQ(o->name.GetText(), "c");
        EXPECT_EQ(o->mode, c.mode);
        EXPECT_EQ(o->stateFlags[0], c.drawModes);
        EXPECT_FLOAT_EQ(o->value, c.angle);
        EXPECT_FLOAT_EQ(o->width, c.width);
        EXPECT_FLOAT_EQ(o->height, c.height);
        EXPECT_EQ(o->layoutFlags, c.layoutFlags);
        EXPECT_STREQ(o->auxText.GetText(), "rose");
        ASSERT_EQ(section.images.GetCount(), 1);
        EXPECT_EQ(section.images.GetItem(0)->type, ItemType::Image);
        EXPECT_STREQ(section.images.GetItem(0)->name.GetText(), "c");
        EXPECT_EQ(o->stateImage[0], section.images.GetItem(0)->number);
    }
}

TEST(ObjectStatements, BrowserReusesItsImageByNameAndType)
{
    Section section;
    section.images.CreateItem(ItemType::Text)->name = "page";  // same name, other type
    ImageItem* existing = static_cast<ImageItem*>(section.images.CreateItem(ItemType::Image));
    existing->name = "page";
    ObjectItem* o = section.Read("BROWSER=g,page,1,10,20,300.7,200.2,#11,help.html");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->type, ItemType::BrowserObject);
    EXPECT_STREQ(o->groupName.GetText(), "g");
    EXPECT_EQ(o->number, existing->number);
    EXPECT_EQ(section.images.GetCount(), 2);
    EXPECT_STREQ(existing->sprite.fileName.GetText(), "Z:\\tour\\help.html#html");
    EXPECT_EQ(existing->sprite.contentKind, 2);
    EXPECT_EQ(existing->sprite.requestedWidth, 300);
    EXPECT_EQ(existing->sprite.requestedHeight, 200);
    EXPECT_EQ(o->alpha, 100);
    EXPECT_EQ(o->align, 0x11);

    // Without a page of that name one is appended; an empty page leaves the file name alone.
    ObjectItem* other = section.Read("BROWSER=web,1,1,2,30,40,#11,");
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(section.images.GetCount(), 3);
    ImageItem* made = static_cast<ImageItem*>(section.images.GetItem(2));
    EXPECT_STREQ(made->name.GetText(), "web");
    EXPECT_EQ(made->sprite.fileName.GetLength(), 0);
    EXPECT_EQ(other->number, made->number);
}

TEST(ObjectStatements, MenuObjectFormsAndEdgeForm)
{
    Section section;
    ObjectItem* edges = section.Read("MENU=10,20,110,220,opciones");
    ASSERT_NE(edges, nullptr);
    EXPECT_FLOAT_EQ(edges->width, 101);
    EXPECT_FLOAT_EQ(edges->height, 201);
    EXPECT_EQ(edges->align, 0);
    EXPECT_STREQ(edges->auxText.GetText(), "opciones");

    ObjectItem* full = section.Read("MENU=g,m,0,10,20,50%-5,30,#11,opciones");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->type, ItemType::MenuObject);
    EXPECT_STREQ(full->groupName.GetText(), "g");
    EXPECT_STREQ(full->name.GetText(), "m");
    EXPECT_EQ(full->showFlags & 1, 0);
    EXPECT_FLOAT_EQ(full->width, 50);
    EXPECT_FLOAT_EQ(full->offsetWidth, 0);  // no offsets for menus
    EXPECT_EQ(full->layoutFlags & 0x300, 0x100);
    EXPECT_EQ(full->align, 0x11);
    EXPECT_EQ(full->number, 0);
    EXPECT_STREQ(full->auxText.GetText(), "opciones");
}

TEST(ObjectStatements, LensFlarePartsAndClosingPart)
{
    struct Case {
        const char* statement;
        const char* group;
        int parts;  // numbered parts
    } cases[] = {
        {"LENSFLARE=sun,1,0,10,100", "", 0},
        {"LENSFLARE=sun,1,0,10,100,ring,#FF8080,50,30", "", 1},
        {"LENSFLARE=g,sun,1,0,10,100,ring,#FF8080,50,30,disc,#8080FF,80,10", "g", 2},
        // Fewer fields than a header: no numbered part, the closing part still comes.
        {"LENSFLARE=sun", "", 0},
        {"LENSFLARE=sun,1", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        Section section;
        ObjectItem* flare = section.Read(c.statement);
        ASSERT_NE(flare, nullptr);
        EXPECT_EQ(flare->type, ItemType::LensFlareObject);
        EXPECT_EQ(flare->inScene, 1);
        EXPECT_STREQ(flare->groupName.GetText(), c.group);
        CObjeto& objects = section.frame->frame.objects;
        ASSERT_EQ(objects.GetCount(), 1 + c.parts + 1);
        ASSERT_EQ(section.images.GetCount(), 1);
        GroupItem* group = static_cast<GroupItem*>(section.images.GetItem(0));
        EXPECT_EQ(group->type, ItemType::Group);
        EXPECT_STREQ(group->name.GetText(), "sun");
        EXPECT_EQ(flare->number, group->number);
        ASSERT_EQ(group->members.GetCount(), c.parts + 1);
        for (int i = 0; i <= c.parts; i++) {
            ObjectItem* part = static_cast<ObjectItem*>(objects.GetItem(1 + i));
            EXPECT_EQ(part->type, ItemType::ImageObject);
            EXPECT_EQ(part->showFlags & 1, 0);
            EXPECT_STREQ(part->name.GetText(), "sun");
            EXPECT_STREQ(part->groupName.GetText(), c.group);
            EXPECT_EQ(part->layoutFlags, 0xF00);
            EXPECT_EQ(group->members.GetItem(i)->number, 2 + i);
            if (i < c.parts) {
                EXPECT_STREQ(part->auxText.GetText(), i == 0 ? "ring" : "disc");
                EXPECT_EQ(part->color2, i == 0 ? 0xFF8080 : 0x8080FF);
                EXPECT_FLOAT_EQ(part->z, i == 0 ? 50 : 80);
                EXPECT_FLOAT_EQ(part->scaleX, i == 0 ? 30 : 10);
                EXPECT_FLOAT_EQ(part->scaleY, part->scaleX);
                EXPECT_FLOAT_EQ(part->width, 20);
                EXPECT_EQ(part->align, 0x11);
                EXPECT_EQ(part->stateFlags[0], 0x880200);
            } else {
                EXPECT_STREQ(part->auxText.GetText(), "#FFFFFF");
                EXPECT_FLOAT_EQ(part->width, 100);
                EXPECT_FLOAT_EQ(part->height, 100);
                EXPECT_EQ(part->stateFlags[0], 0x200);
            }
        }
    }
}

TEST(ObjectStatements, LineUtmPoints)
{
    struct Case {
        const char* statement;
        std::vector<float> points;  // x, z pairs
    } cases[] = {
        {"3DLINEUTM=path,1,2,#FF0000,0,0,10,10,20,5", {0, 0, 10, 10, 20, 5}},
        {"3DLINEUTM=path,1,2,#FF0000,7,8", {7, 8}},
        {"3DLINEUTM=path,1,2,#FF0000", {}},
        {"3DLINEUTM=path,1", {}},  // fewer than four fields: no points, no buffer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        Section section;
        ObjectItem* o = section.Read(c.statement);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->type, ItemType::LineObject);
        EXPECT_EQ(o->inScene, 1);
        EXPECT_EQ(o->onScreen, 1);
        ASSERT_EQ(section.images.GetCount(), 1);
        LineMeshItem* line = static_cast<LineMeshItem*>(section.images.GetItem(0));
        EXPECT_EQ(line->type, ItemType::LineMesh);
        EXPECT_STREQ(line->name.GetText(), "path");
        EXPECT_EQ(line->utmPending, 1);
        EXPECT_EQ(o->number, line->number);
        const int count = static_cast<int>(c.points.size() / 2);
        ASSERT_EQ(line->pointCount, count);
        if (count == 0) {
            EXPECT_EQ(line->points, nullptr);
            continue;
        }
        EXPECT_FLOAT_EQ(line->width, 2);
        EXPECT_EQ(line->colour, 0xFF0000);
        for (int i = 0; i < count; i++) {
            EXPECT_FLOAT_EQ(line->points[3 * i], c.points[2 * i]);
            EXPECT_FLOAT_EQ(line->points[3 * i + 1], 0);
            EXPECT_FLOAT_EQ(line->points[3 * i + 2], c.points[2 * i + 1]);
        }
    }
}

TEST(ObjectStatements, ViewerWindowReusesItsItem)
{
    Section section;
    ObjectItem* first = section.Read("VIEWERWINDOW=map,1,rel,10,20,300,200,#11,f1,#FF0000,-30,45,2");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->type, ItemType::ViewerWindowObject);
    EXPECT_EQ(first->mode, 1);
    EXPECT_FLOAT_EQ(first->width, 300);
    EXPECT_EQ(first->align, 0x11);
    EXPECT_STREQ(first->fontItemName.GetText(), "f1");
    EXPECT_EQ(first->textColor, 0xFF0000);
    EXPECT_FLOAT_EQ(first->rotX, -30);
    EXPECT_FLOAT_EQ(first->rotY, 45);
    EXPECT_FLOAT_EQ(first->zoom, 2);
    ObjectItem* second = section.Read("VIEWERWINDOW=map,0,REL,1,2,3,4,0,f1,0,0,0");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->mode, 0);  // only "rel" exactly
    EXPECT_EQ(second->showFlags & 1, 0);
    EXPECT_FLOAT_EQ(second->zoom, 1);
    ASSERT_EQ(section.images.GetCount(), 1);
    EXPECT_EQ(section.images.GetItem(0)->type, ItemType::ViewerWindow);
    EXPECT_EQ(first->number, section.images.GetItem(0)->number);
    EXPECT_EQ(second->number, first->number);
}

TEST(ObjectStatements, ButtonsAndSliders)
{
    Section section;
    ObjectItem* play = section.Read(
        "button=videocontrols,botplay,0,90,0,20,20,#60,#ffffff,#ffffff,#ffffff,1,10,1,no,no,no,2,nokey,release,"
        "'Play video','Play(_this_);Show(,textplay,0,videocontrols);'");
    ASSERT_NE(play, nullptr);
    EXPECT_EQ(play->type, ItemType::ButtonObject);
    EXPECT_STREQ(play->groupName.GetText(), "videocontrols");
    EXPECT_STREQ(play->name.GetText(), "botplay");
    EXPECT_EQ(play->showFlags & 1, 0);
    EXPECT_STREQ(play->stateImageName[1].GetText(), "#ffffff");
    EXPECT_EQ(play->stateAlpha[0], 1);
    EXPECT_EQ(play->stateAlpha[1], 10);
    EXPECT_EQ(play->stateAlpha[2], 1);
    EXPECT_EQ(play->hoverCode, 2);
    EXPECT_EQ(play->keyCode, 0);
    EXPECT_STREQ(play->ItemRecord::value.GetText(), "Play video");
    EXPECT_EQ(Opcodes(play->events[EventRelease]),
              (std::vector<int>{OpcodeOf("Play"), OpcodeOf("Show")}));
    EXPECT_EQ(play->events[0].length, 0);
    EXPECT_EQ(play->textColor, 0x10101);
    EXPECT_EQ(play->backColor, 0xFFFFFF);
    EXPECT_EQ(play->layoutFlags, 0xC00);

    ObjectItem* slider = section.Read(
        "SLIDER=videocontrols,sliderpan,1,110,0,20,20,#60,#ffffff,#ffffff,#ffffff,40,50,50,no,no,no,2,no,no,"
        "absolute,0,100%-150,0,\"\",\"SeekPercentage(_this_,100);\"");
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->type, ItemType::SliderObject);
    EXPECT_STREQ(slider->groupName.GetText(), "videocontrols");
    EXPECT_EQ(slider->mode, 1);
    EXPECT_FLOAT_EQ(slider->sliderValue, 0);
    EXPECT_FLOAT_EQ(slider->rangeX, 100);
    EXPECT_FLOAT_EQ(slider->rangeOffsetX, -150);
    EXPECT_EQ(slider->layoutFlags & 0x30000, 0x10000);
    EXPECT_FLOAT_EQ(slider->rangeY, 0);
    EXPECT_FLOAT_EQ(slider->travelX, -50);
    EXPECT_EQ(Opcodes(slider->events[0]), (std::vector<int>{OpcodeOf("SeekPercentage")}));

    ObjectItem* dial = section.Read(
        "ROTBUTTON3D=g,d,1,1,2,3,4,5,20,20,#11,a,b,c,10,20,30,ADD,no,TRANS,1,SPACE,LEFT,relative,45,90,0,tip,Beep()");
    ASSERT_NE(dial, nullptr);
    EXPECT_EQ(dial->type, ItemType::RotatingButtonObject);
    EXPECT_EQ(dial->inScene, 1);
    EXPECT_FLOAT_EQ(dial->z, 3);
    EXPECT_FLOAT_EQ(dial->offsetX, 4);
    EXPECT_EQ(dial->stateFlags[0], 0x80200);
    EXPECT_EQ(dial->stateFlags[1], 0x80000);
    EXPECT_EQ(dial->stateFlags[2], 0x80002);
    EXPECT_EQ(dial->keyCode, VK_SPACE);
    EXPECT_EQ(dial->keyCode2, VK_LEFT);
    EXPECT_EQ(dial->mode, 2);
    EXPECT_FLOAT_EQ(dial->value, 45);
    EXPECT_FLOAT_EQ(dial->travelX, 90);
    EXPECT_EQ(Opcodes(dial->events[0]), (std::vector<int>{OpcodeOf("Beep")}));
}

TEST(ObjectStatements, EventsWindowAndAddEvent)
{
    Section section;
    ObjectItem* window = section.Read("EVENTSWINDOW=g,w,1,0,0,100%,100%,0,lbuttondown+click,1,help");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->type, ItemType::EventWindowObject);
    EXPECT_EQ(window->mode, 0x2 | 0x200);
    EXPECT_EQ(window->hoverCode, 1);
    EXPECT_STREQ(window->ItemRecord::value.GetText(), "help");
    EXPECT_EQ(window->layoutFlags, 0x300 | 0xC00);
    EXPECT_EQ(window->textColor, 0x10101);

    ObjectItem* scene = section.Read("EVENTSWINDOW3D=g,w3,1,1,2,3,4,5,10,10,0,mousemove,0,t");
    ASSERT_NE(scene, nullptr);
    EXPECT_STREQ(scene->groupName.GetText(), "g");
    EXPECT_EQ(scene->inScene, 1);
    EXPECT_EQ(scene->mode, 0x1);

    section.Read("ADDEVENT=w,rollover,Show(,tip,1,grp);");
    EXPECT_EQ(Opcodes(window->events[EventRollover]), (std::vector<int>{OpcodeOf("Show")}));
    // A second event for the same slot replaces the first; an unknown word selects slot 0.
    section.Read("ADDEVENT=w,Rollover,Beep()");
    EXPECT_EQ(Opcodes(window->events[EventRollover]), (std::vector<int>{OpcodeOf("Beep")}));
    section.Read("ADDEVENT=w,hover,Beep()");
    EXPECT_EQ(Opcodes(window->events[0]), (std::vector<int>{OpcodeOf("Beep")}));
    // Naming no object does nothing.
    section.Read("ADDEVENT=nobody,release,Beep()");
    EXPECT_EQ(window->events[EventRelease].length, 0);
    EXPECT_EQ(scene->events[EventRelease].length, 0);
}

TEST(ObjectStatements, EventSlotWords)
{
    const struct {
        const char* word;
        int slot;
    } cases[] = {{"disabled", 0}, {"press", 1}, {"Release", 2}, {"ROLLOVER", 3}, {"rollout", 4},
                 {"stayinto", 5}, {"click", 6}, {"releasecaptured", 8}, {"hover", 0}, {"", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(EventSlotOfWord(c.word), c.slot);
    }
}

TEST(ObjectStatements, KeyObjects)
{
    struct Case {
        const char* statement;
        const char* name;
        int key, mode;
        int slot;  // -1: nothing compiled
    } cases[] = {
        {"KEY=A,0,hall", "hall", 'A', 0, -1},
        {"KEY=A,0,'GoToFrame(hall);'", "", 'A', 0, 0},
        {"KEY=k,1,F5,7,Beep()", "k", VK_F5, 0, 0},
        {"KEY=k,1,RBUTTON,2,Beep()", "k", 151, 2, 2},
        {"KEY=g,k,1,x,1,Beep()", "k", 'X', 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        Section section;
        ObjectItem* o = section.Read(c.statement);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->type, ItemType::KeyObject);
        EXPECT_STREQ(o->name.GetText(), c.name);
        EXPECT_EQ(o->keyCode, c.key);
        EXPECT_EQ(o->mode, c.mode);
        EXPECT_EQ(o->level, 0);
        for (int slot = 0; slot < EventCount; slot++)
            EXPECT_EQ(o->events[slot].length > 0, slot == c.slot) << slot;
    }
}

TEST(ObjectStatements, JoystickWordsAndObjects)
{
    const struct {
        const char* word;
        int index;
    } words[] = {{"no", 0},  {"xpos", 1}, {"XPOS+", 2}, {"xpos-", 3}, {"ypos", 4}, {"vpos-", 18},
                 {"nobutton", 19}, {"button1", 20}, {"Button32", 51}, {"button33", 0}, {"wheel", 0}};
    for (const auto& w : words) {
        SCOPED_TRACE(w.word);
        EXPECT_EQ(JoystickWordIndex(w.word), w.index);
    }
    Section section;
    ObjectItem* o = section.Read("JOYSTICK=j,1,0,XPOS+,button3,2,Beep()");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->type, ItemType::JoystickObject);
    EXPECT_EQ(o->joystickInputs[0], 2);
    EXPECT_EQ(o->joystickInputs[1], 22);
    EXPECT_EQ(o->mode, 2);
    EXPECT_EQ(Opcodes(o->events[2]), (std::vector<int>{OpcodeOf("Beep")}));
    ObjectItem* odd = section.Read("JOYSTICK=j,1,5,no,no,9,Beep()");
    EXPECT_EQ(odd->keyCode, 0);
    EXPECT_EQ(odd->mode, 0);
    EXPECT_EQ(Opcodes(odd->events[0]), (std::vector<int>{OpcodeOf("Beep")}));
}

TEST(ObjectStatements, TimersCompileTheRestOfTheStatement)
{
    Section section;
    ObjectItem* o = section.Read("SETTIMER=t,1,2.5,'Show(,a,1,g);Show(,b,0,g)'");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->type, ItemType::TimerObject);
    EXPECT_FLOAT_EQ(o->timerPeriod, 2.5f);
    EXPECT_EQ(Opcodes(o->events[EventRelease]), (std::vector<int>{OpcodeOf("Show"), OpcodeOf("Show")}));
    ObjectItem* grouped = section.Read("SETTIMER=g,t,0,1,Beep(1,2)");
    EXPECT_STREQ(grouped->groupName.GetText(), "g");
    EXPECT_EQ(grouped->showFlags & 1, 0);
    // The commands are taken as they stand, commas included.
    EXPECT_EQ(CodeBytes(grouped->events[EventRelease]), Compiled("Beep(1,2)"));
}

TEST(ObjectStatements, PropertyCodesAndRanges)
{
    struct Case {
        const char* statement;
        const char* group;
        int code;
        float x, y;
        const char* aux;
    } cases[] = {
        {"propertycode2=videocontrols,code1,1,\"frameposition\",\"_this_\","
         "\"ObjectValue('_this_','sliderpan','videocontrols','offsetxpercentage',100);\"",
         "videocontrols", 15, 0, 0, "_this_"},
        {"PROPERTYCODE3=p,1,enterpanrange,350,10,Beep()", "", 8, 0, 10, ""},
        {"PROPERTYCODE3=p,1,exittiltrange,10,350,Beep()", "", 11, 180, 170, ""},
        {"PROPERTYCODE=p,1,spin,Beep()", "", -1, 0, 0, ""},
        {"PROPERTYCODE=g,p,1,ZOOM,Beep()", "g", 3, 0, 0, ""},
        {"PROPERTYCODE2=p,1,imageprogress,logo,Beep()", "", 13, 0, 0, "logo"},
        {"PROPERTYCODE2=p,1,rotationx,12.5,Beep()", "", 1, 12.5f, 0, ""},
        {"ACTIVITYCODE=g,p,1,Beep()", "g", 0, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        Section section;
        ObjectItem* o = section.Read(c.statement);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->type, ItemType::CodeObject);
        EXPECT_STREQ(o->groupName.GetText(), c.group);
        EXPECT_EQ(o->mode, c.code);
        EXPECT_NEAR(o->x, c.x, 1e-4);
        EXPECT_NEAR(o->y, c.y, 1e-4);
        EXPECT_STREQ(o->auxText.GetText(), c.aux);
        EXPECT_EQ(o->events[EventRelease].length > 0, true);
    }
    Section section;
    ObjectItem* video = section.Read(cases[0].statement);
    EXPECT_EQ(Opcodes(video->events[EventRelease]), (std::vector<int>{OpcodeOf("ObjectValue")}));
}

}  // namespace

namespace {

struct NodeCase {
    const char* statement;
    int kind;
    const char* group;
    const char* name;
    const char* image;
    float point[3];  // x, y, z (kind 18) or the first corner (kind 19)
    float rotX, rotY, zoom;
    const char* description;
    const char* target;  // the release slot's name
    bool compiled;
    int utm;
};

}  // namespace

TEST(ObjectStatements, NodeForms)
{
    const NodeCase cases[] = {
        {"NODO1=10,0,5,0,0,hall", 18, "", "hall", "", {10, 0, 5}, 0, 0, 1, "", "hall", false, 0},
        {"NODO1=10,0,5,0,0,'GoToFrame(hall);Show(,x,1,g);'", 18, "", "", "", {10, 0, 5}, 0, 0, 1, "", "", true, 0},
        {"NODO1=10,0,5,-10,20,2,hall", 18, "", "hall", "", {10, 0, 5}, -10, 20, 2, "", "hall", false, 0},
        {"NODO1=10,0,5,-10,20,2,hall,arrow", 18, "", "hall", "arrow", {10, 0, 5}, -10, 20, 2, "", "hall", false, 0},
        {"NODO1=n,1,arrow,1,2,3,4,5,1.5,To the hall,hall", 18, "", "n", "arrow", {1, 2, 3}, 4, 5, 1.5f,
         "To the hall", "hall", false, 0},
        {"NODO1UTM=g,n,1,,1,2,3,4,5,1.5,d,hall", 18, "g", "n", "", {1, 2, 3}, 4, 5, 1.5f, "d", "hall", false, 1},
        {"NODO=\"n\",1,\"\",1,2,3,4,5,6,7,8,9,10,11,12,0, 0, 1, \"A door\", \"hall\"", 19, "", "n", "", {1, 2, 3},
         0, 0, 1, "A door", "hall", false, 0},
        {"NODO=1,2,3,4,5,6,7,8,9,10,11,12,0,0,hall", 19, "", "hall", "", {1, 2, 3}, 0, 0, 1, "", "hall", false, 0},
    };
    for (const NodeCase& c : cases) {
        SCOPED_TRACE(c.statement);
        Section section;
        ObjectItem* o = section.Read(c.statement);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(static_cast<int>(o->type), c.kind);
        EXPECT_STREQ(o->groupName.GetText(), c.group);
        EXPECT_STREQ(o->name.GetText(), c.name);
        EXPECT_STREQ(o->auxText.GetText(), c.image);
        const float* point = c.kind == 18 ? &o->x : o->quadCorners[0];
        if (c.kind == 18) {
            EXPECT_FLOAT_EQ(o->x, c.point[0]);
            EXPECT_FLOAT_EQ(o->y, c.point[1]);
            EXPECT_FLOAT_EQ(o->z, c.point[2]);
        } else {
            for (int i = 0; i < 3; i++)
                EXPECT_FLOAT_EQ(point[i], c.point[i]);
            EXPECT_FLOAT_EQ(o->quadCorners[3][2], 12);
        }
        EXPECT_FLOAT_EQ(o->rotX, c.rotX);
        EXPECT_FLOAT_EQ(o->rotY, c.rotY);
        EXPECT_FLOAT_EQ(o->zoom, c.zoom);
        EXPECT_STREQ(o->ItemRecord::value.GetText(), c.description);
        EXPECT_EQ(o->mode, EventRelease);
        EXPECT_STREQ(o->events[EventRelease].name.GetText(), c.target);
        EXPECT_EQ(o->events[EventRelease].length > 0, c.compiled);
        EXPECT_EQ(o->utmFlag, c.utm);
        EXPECT_EQ(o->inScene, 1);
        EXPECT_EQ(o->align, 0x11);
        EXPECT_EQ(o->placement, 1);
        EXPECT_EQ(o->hoverCode, 2);
        EXPECT_EQ(o->alpha, 100);
        EXPECT_EQ(o->number, 0);
    }
}

TEST(ObjectStatements, NodeDefaultsApplyAgainToNodesRead)
{
    Section section;
    ObjectItem* first = section.Read("NODO1=1,0,0,0,0,a");
    EXPECT_EQ(first->textColor, 0x10101);
    EXPECT_FLOAT_EQ(first->fontSize, 13.5f);
    EXPECT_STREQ(first->fontFace.GetText(), "Tahoma");
    EXPECT_EQ(first->backColor, 0xFFFFFF);
    EXPECT_EQ(first->stateFlags[0], 2);
    ObjectItem* second = section.Read("NODO=1,2,3,4,5,6,7,8,9,10,11,12,0,0,b");
    section.Read("FONTCOLOR=#FF0000");
    section.Read("FONTSIZE=20.5");
    section.Read("FONTNAME=Arial Black");
    section.Read("FONTBGCOLOR=#00FF00");
    section.Read("FLAGSIMAGENODO=ADD+bilinear");
    section.Read("IMAGENODO=arrow");
    for (ObjectItem* node : {first, second}) {
        EXPECT_EQ(node->textColor, 0xFF0000);
        EXPECT_FLOAT_EQ(node->fontSize, 20.5f);
        EXPECT_STREQ(node->fontFace.GetText(), "Arial Black");
        EXPECT_EQ(node->backColor, 0x00FF00);
        EXPECT_EQ(node->stateFlags[0], 0x80200);
        EXPECT_STREQ(node->auxText.GetText(), "");  // the image default is for later nodes
    }
    ObjectItem* third = section.Read("NODO1=1,0,0,0,0,c");
    EXPECT_STREQ(third->auxText.GetText(), "arrow");
    EXPECT_EQ(third->textColor, 0xFF0000);
    EXPECT_EQ(third->stateFlags[0], 0x80200);
    ObjectItem* own = section.Read("NODO1=1,0,0,0,0,1,c,door");
    EXPECT_STREQ(own->auxText.GetText(), "door");
}

TEST(ObjectStatements, NodesOfAMenuSectionGoToEntriesWithoutCode)
{
    Section section;
    section.context.sectionKind = SectionMenu;
    MenuRecord* menu = static_cast<MenuRecord*>(section.images.CreateItem(ItemType::Menu));
    section.context.currentMenu = menu;
    CompiledCode* done = static_cast<CompiledCode*>(menu->entries.CreateItem(ItemType::CompiledCode));
    CompileCommandText(done, "Beep()", nullptr, nullptr);
    CompiledCode* open = static_cast<CompiledCode*>(menu->entries.CreateItem(ItemType::CompiledCode));
    const int32_t doneNumber = done->number;

    EXPECT_EQ(section.Read("NODO1=1,2,3,4,5,hall"), nullptr);
    EXPECT_STREQ(open->name.GetText(), "hall");
    EXPECT_EQ(open->number, 0);
    EXPECT_EQ(open->length, 0);
    ASSERT_NE(open->code, nullptr);
    const float expected[6] = {1, 2, 3, 4, 5, 1};
    EXPECT_EQ(std::memcmp(open->code, expected, sizeof expected), 0);
    EXPECT_EQ(done->number, doneNumber);
    EXPECT_STREQ(done->name.GetText(), "");

    // Entries that took node values keep them; the sixth value comes with seven fields,
    // whatever the spelling.
    CompiledCode* next = static_cast<CompiledCode*>(menu->entries.CreateItem(ItemType::CompiledCode));
    section.Read("NODO=6,7,8,9,10,2,garden");
    EXPECT_STREQ(open->name.GetText(), "hall");
    EXPECT_EQ(std::memcmp(open->code, expected, sizeof expected), 0);
    EXPECT_STREQ(next->name.GetText(), "garden");
    const float zoomed[6] = {6, 7, 8, 9, 10, 2};
    ASSERT_NE(next->code, nullptr);
    EXPECT_EQ(std::memcmp(next->code, zoomed, sizeof zoomed), 0);

    CompiledCode* last = static_cast<CompiledCode*>(menu->entries.CreateItem(ItemType::CompiledCode));
    const int32_t lastNumber = last->number;
    section.Read("NODO1=0,0,0,0,0,'GoToFrame(hall);'");
    EXPECT_EQ(Opcodes(*last), (std::vector<int>{OpcodeOf("GoToFrame")}));
    EXPECT_EQ(last->number, lastNumber);
    EXPECT_EQ(section.frame->frame.objects.GetCount(), 0);
}
