// Statements of the objects a frame draws: fonts, texts, images, compasses, hosted pages, menus,
// lens flares, 3D lines and secondary viewer windows.
#include <cstdlib>
#include <cstring>

#include "core/item_records.h"
#include "core/object_item.h"
#include "core/path_resolution.h"
#include "script/reader_objects.h"
#include "viewer/main_wnd.h"

namespace {

// Bits of a text's flag words that are draw modes and image options.
constexpr uint32_t kTextDrawModeBits = 0x3D87F00;
constexpr uint32_t kTextBackground = 0x1;

constexpr int32_t kDrawTransparent = 0x2;
constexpr int32_t kDrawAdd = 0x200;
constexpr int32_t kDrawBilinear = 0x80000;
constexpr int32_t kFlarePartModes = 0x880200;  // ADD, bilinear, aspect
constexpr int32_t kFlarePartLayout = 0xF00;    // width and height in per cent, both given
constexpr uint8_t kAlignCentred = 0x11;

// Compass modes of COMPASS=.
enum CompassMode : int32_t {
    CompassNone = 0,
    CompassVertical = 1,
    CompassHorizontal = 2,
    CompassRotative = 3,
    CompassInverseRotative = 4,
};

int ScreenPixelsPerInch(const ReadingContext& context)
{
    HWND window = context.engine ? context.engine->m_hostWnd : nullptr;
    HDC dc = GetDC(window);
    const int pixels = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc)
        ReleaseDC(window, dc);
    return pixels;
}

// The resource item an object refers to: the level's item of the name and type, or a new one.
ItemRecord* ReuseOrAppend(ReadingContext& context, const CTexto& name, ItemType type)
{
    ItemRecord* item = FindItemOfType(*context.images, name.GetText(), type);
    if (!item) {
        item = context.images->CreateItem(type);
        if (item)
            item->name = name;
    }
    return item;
}

// The tail of the long text forms: align, colours, flag words, opacity and font; answers the
// flag words.
uint32_t ReadTextStyle(StatementFields& fields, ObjectItem* object)
{
    object->align = static_cast<uint8_t>(fields.Integer());
    object->textColor = fields.Integer();
    const uint32_t flags = fields.Flags();
    object->backColor = fields.Integer();
    object->alpha = static_cast<uint8_t>(fields.Integer());
    object->fontItemName = fields.Text();
    return flags;
}

}  // namespace

void ReadFontStatement(ReadingContext& context)
{
    FontItem* font = static_cast<FontItem*>(context.fonts->CreateItem(ItemType::Font));
    if (!font)
        return;
    StatementFields fields(context);
    font->name = fields.Text();
    const CTexto face = fields.Text();
    if (face.GetLength() < LF_FACESIZE)
        lstrcpynA(font->logFont.lfFaceName, face.GetText(), LF_FACESIZE);
    const int32_t height = fields.Integer();
    const int32_t weight = fields.Integer();
    font->logFont.lfWeight = weight >= 0 && weight <= 9 ? weight * 100 : FW_NORMAL;
    const uint32_t styles = fields.Flags();
    font->logFont.lfItalic = (styles & 0x1) ? 1 : 0;
    font->logFont.lfUnderline = (styles & 0x2) ? 1 : 0;
    font->logFont.lfStrikeOut = (styles & 0x4) ? 1 : 0;
    const uint32_t charset = fields.Flags(true);
    font->logFont.lfCharSet = charset ? static_cast<BYTE>(charset) : DEFAULT_CHARSET;
    font->logFont.lfHeight = BuiltInFontHeight(ScreenPixelsPerInch(context), static_cast<float>(height));
    font->logFont.lfOutPrecision = OUT_TT_PRECIS;
    font->logFont.lfQuality = PROOF_QUALITY;
    font->font = CreateFontIndirectA(&font->logFont);
}

void ReadTextStatement(ReadingContext& context)
{
    ObjectItem* object = AppendObject(context, ItemType::TextObject);
    if (!object)
        return;
    const CTexto key = StatementKey(context);
    const int f = context.fieldCount;
    StatementFields fields(context);
    object->inScene = 1;
    object->alpha = 100;

    uint32_t flags = 0;
    bool shortForm = false;
    int32_t opacityRead = -1;
    if (key == "TEXT2D") {
        object->inScene = 0;
        object->x = fields.Float();
        object->y = fields.Float();
        object->fontItemName = fields.Text();
        object->align = static_cast<uint8_t>(fields.Integer());
        object->textColor = fields.Integer();
    } else if (key == "TEXT" && f >= 11) {
        object->inScene = 0;
        ReadGroup(fields, object, f == 12 || f == 14);
        ReadNameAndVisible(fields, object);
        ReadPosition(fields, object);
        if (f > 12)
            ReadSize(fields, object);
        flags = ReadTextStyle(fields, object);
    } else if ((key == "TEXT3D" || key == "TEXT3DUTM") && f >= 14) {
        if (key == "TEXT3DUTM")
            object->utmFlag = 1;
        ReadGroup(fields, object, f == 15 || f == 17);
        ReadNameAndVisible(fields, object);
        object->x = fields.Float();
        object->y = fields.Float();
        object->z = fields.Float();
        object->offsetX = fields.Float();
        object->offsetY = fields.Float();
        if (f > 15)
            ReadSize(fields, object);
        flags = ReadTextStyle(fields, object);
    } else {
        shortForm = true;
        if (key == "TEXTUTM") {
            object->utmFlag = 1;
            if (f == 11)
                ReadNameAndVisible(fields, object);
        }
        object->x = fields.Float();
        object->y = fields.Float();
        object->z = fields.Float();
        object->align = static_cast<uint8_t>(fields.Integer());
        object->textColor = fields.Integer();
        if (!(key == "TEXT")) {
            object->backColor = fields.Integer();
            opacityRead = fields.Integer();
            object->alpha = static_cast<uint8_t>(opacityRead);
            object->fontItemName = fields.Text();
        }
    }
    MarkGivenSize(object);
    object->ItemRecord::value = fields.Text(true);

    if (shortForm) {
        if (opacityRead == 0) {
            object->layoutFlags = 0;
            object->alpha = 100;
        } else {
            object->layoutFlags |= kTextBackground;
        }
    } else {
        object->layoutFlags |= static_cast<int32_t>(flags);
        object->stateFlags[0] = static_cast<int32_t>(flags & kTextDrawModeBits);
    }

    TextItem* text = static_cast<TextItem*>(context.images->CreateItem(ItemType::Text));
    if (text) {
        text->name = object->name;
        object->number = text->number;
    }
    object->level = static_cast<int16_t>(context.level);
}

void ReadImageStatement(ReadingContext& context)
{
    const CTexto key = StatementKey(context);
    const bool compass = key == "COMPASS";
    const bool browser = key == "BROWSER";
    ObjectItem* object =
        AppendObject(context, browser ? ItemType::BrowserObject : ItemType::ImageObject);
    if (!object)
        return;
    const int f = context.fieldCount;
    const bool imageKey = !compass && !browser;
    object->stateFlags[0] = kDrawTransparent;
    object->alpha = 100;
    object->align = 0;
    if (key == "IMAGE3D" || key == "IMAGEN3D")
        object->inScene = 1;
    if (key == "IMAGENUTM" || key == "IMAGE3DUTM") {
        object->inScene = 1;
        object->utmFlag = 1;
    }
    const bool scene = object->inScene != 0;

    StatementFields fields(context);
    const bool group = (scene && (f == 12 || f == 14)) || (imageKey && !scene && (f == 9 || f == 11)) ||
                       (compass && f > 10) || (browser && f > 8);
    ReadGroup(fields, object, group);
    if ((scene && f > 9) || (!scene && f > 6))
        ReadNameAndVisible(fields, object);
    ReadPosition(fields, object);
    if (scene)
        object->z = fields.Float();
    if (browser || (imageKey && f > (scene ? 12 : 9)))
        ReadSize(fields, object);
    if (std::strncmp(key.GetText(), "IMAGE3D", 7) == 0) {
        object->offsetX = fields.Float();
        object->offsetY = fields.Float();
    }
    if (!(key == "IMAGEN"))
        object->align = static_cast<uint8_t>(fields.Integer());
    if (!(key == "IMAGEN3D") && !browser)
        object->alpha = static_cast<uint8_t>(fields.Integer());
    if (key == "IMAGE" || key == "IMAGE3D" || key == "IMAGENUTM" || key == "IMAGE3DUTM" || compass) {
        const int left = fields.FieldsLeft();
        if (left >= 2)
            object->stateFlags[0] = static_cast<int32_t>(fields.Flags());
        else if (left == 1)
            object->stateFlags[0] = 0;
    }

    if (compass) {
        const CTexto mode = fields.Text();
        if (_stricmp(mode.GetText(), "linear") == 0 || _stricmp(mode.GetText(), "horizontal") == 0) {
            object->mode = CompassHorizontal;
        } else if (_stricmp(mode.GetText(), "vertical") == 0) {
            object->mode = CompassVertical;
        } else if (_stricmp(mode.GetText(), "rotative") == 0) {
            object->mode = CompassRotative;
        } else if (_stricmp(mode.GetText(), "irotative") == 0) {
            object->mode = CompassInverseRotative;
        }
        if (object->mode == CompassRotative || object->mode == CompassInverseRotative)
            object->stateFlags[0] |= kDrawBilinear;
        if (ItemRecord* image = context.images->CreateItem(ItemType::Image)) {
            image->name = object->name;
            object->stateImage[0] = image->number;
        }
        object->value = fields.Float();
        if (f == 12) {
            if (object->mode == CompassVertical)
                object->height = fields.Percent(&object->layoutFlags, LayoutHeightPercent,
                                                &object->offsetHeight);
            else if (object->mode == CompassHorizontal)
                object->width = fields.Percent(&object->layoutFlags, LayoutWidthPercent,
                                               &object->offsetWidth);
            else
                fields.Skip(1);
        }
    }
    MarkGivenSize(object);

    if (!browser) {
        object->auxText = fields.Text();
        return;
    }

    ImageItem* image = static_cast<ImageItem*>(ReuseOrAppend(context, object->name, ItemType::Image));
    if (!image)
        return;
    CTexto page = fields.Text();
    if (page.GetLength() > 0) {
        ResolvePath(page, &context.baseFolder, context.fallback);
        page += "#html";
        image->sprite.fileName = page;
    }
    image->sprite.contentKind = 2;
    if (context.engine) {
        // Pages live in the main view's window, or the host window while there is none.
        image->sprite.ownerWindow =
            context.engine->m_view.window ? context.engine->m_view.window : context.engine->m_hostWnd;
    }
    image->name = object->name;
    image->sprite.requestedWidth = static_cast<int>(object->width);
    image->sprite.requestedHeight = static_cast<int>(object->height);
    object->number = image->number;
    object->level = static_cast<int16_t>(context.level);
}

void ReadMenuObjectStatement(ReadingContext& context)
{
    ObjectItem* object = AppendObject(context, ItemType::MenuObject);
    if (!object)
        return;
    const int f = context.fieldCount;
    StatementFields fields(context);
    ReadGroup(fields, object, f == 9);
    if (f > 6)
        ReadNameAndVisible(fields, object);
    object->x = fields.Float();
    object->y = fields.Float();
    object->width = fields.Percent(&object->layoutFlags, LayoutWidthPercent, nullptr);
    object->height = fields.Percent(&object->layoutFlags, LayoutHeightPercent, nullptr);
    if (f == 5) {
        // The two size values are the right and bottom edges.
        object->width = object->width - object->x + 1.0f;
        object->height = object->height - object->y + 1.0f;
    } else {
        object->align = static_cast<uint8_t>(fields.Integer());
    }
    MarkGivenSize(object);
    object->level = static_cast<int16_t>(context.level);
    object->number = 0;
    object->auxText = fields.Text();
}

void ReadLensFlareStatement(ReadingContext& context)
{
    ObjectItem* flare = AppendObject(context, ItemType::LensFlareObject);
    if (!flare)
        return;
    const int f = context.fieldCount;
    const int header = 5 + (f - 5) % 4;
    int parts = (f - header) / 4;
    if (parts < 0)
        parts = 0;
    flare->inScene = 1;
    StatementFields fields(context);
    ReadGroup(fields, flare, header == 6);
    ReadNameAndVisible(fields, flare);
    flare->x = fields.Float();
    flare->y = fields.Float();
    flare->z = fields.Float();
    if (header > 6)
        fields.Skip(header - 6);
    flare->level = static_cast<int16_t>(context.level);

    GroupItem* group = static_cast<GroupItem*>(context.images->CreateItem(ItemType::Group));
    if (!group)
        return;
    group->name = flare->name;
    flare->number = group->number;

    CObjeto& objects = context.ObjectsOf(ObjectFrame(context));
    for (int part = 0; part <= parts; part++) {
        ObjectItem* object = static_cast<ObjectItem*>(objects.CreateItem(ItemType::ImageObject));
        if (!object)
            return;
        if (ObjectItem* member =
                static_cast<ObjectItem*>(group->members.CreateItem(ItemType::ImageObject)))
            member->number = objects.GetCount();
        object->showFlags &= ~1;
        object->name = flare->name;
        object->groupName = flare->groupName;
        object->layoutFlags = kFlarePartLayout;
        object->level = flare->level;
        if (part < parts) {
            object->auxText = fields.Text();
            object->color2 = fields.Integer();
            object->z = fields.Float();
            object->scaleX = fields.Float();
            object->scaleY = object->scaleX;
            object->width = 20.0f;
            object->height = 20.0f;
            object->align = kAlignCentred;
            object->stateFlags[0] = kFlarePartModes;
        } else {
            object->auxText = "#FFFFFF";
            object->width = 100.0f;
            object->height = 100.0f;
            object->stateFlags[0] = kDrawAdd;
        }
    }
}

void ReadLineUtmStatement(ReadingContext& context)
{
    ObjectItem* object = AppendObject(context, ItemType::LineObject);
    if (!object)
        return;
    StatementFields fields(context);
    ReadNameAndVisible(fields, object);
    object->inScene = 1;
    object->onScreen = 1;
    object->level = static_cast<int16_t>(context.level);

    LineMeshItem* line = static_cast<LineMeshItem*>(context.images->CreateItem(ItemType::LineMesh));
    if (!line)
        return;
    line->name = object->name;
    line->utmPending = 1;
    line->width = fields.Float();
    line->colour = fields.Integer();
    object->number = line->number;

    int count = (context.fieldCount - 4) / 2;
    if (count <= 0)
        return;
    float* points = static_cast<float*>(std::malloc(sizeof(float) * 3 * static_cast<size_t>(count)));
    if (!points)
        return;
    for (int i = 0; i < count; i++) {
        points[3 * i] = fields.Float();
        points[3 * i + 1] = 0.0f;
        points[3 * i + 2] = fields.Float();
    }
    line->points = points;
    line->pointCount = count;
}

void ReadViewerWindowStatement(ReadingContext& context)
{
    ObjectItem* object = AppendObject(context, ItemType::ViewerWindowObject);
    if (!object)
        return;
    StatementFields fields(context);
    const CTexto name = fields.Text();
    ItemRecord* window = ReuseOrAppend(context, name, ItemType::ViewerWindow);
    if (fields.Integer() == 0)
        object->showFlags &= ~1;
    const CTexto placement = fields.Text();
    object->mode = placement == "rel" ? 1 : 0;
    object->x = fields.Float();
    object->y = fields.Float();
    object->width = fields.Float();
    object->height = fields.Float();
    object->align = static_cast<uint8_t>(fields.Integer());
    object->fontItemName = fields.Text();
    object->textColor = fields.Integer();
    object->rotX = fields.Float();
    object->rotY = fields.Float();
    if (fields.FieldsLeft() > 0)
        object->zoom = fields.Float();
    object->name = name;
    object->number = window ? window->number : 0;
    object->level = static_cast<int16_t>(context.level);
}
