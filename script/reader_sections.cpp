// Section kinds and the items a section makes: TYPE= chooses what a section is, FILE= and
// DESCRIPTION= give its texts, and once FILE= has been read the section's frame image, value,
// image, text, sequence or sound item exists for the keys that follow (image options, link
// targets, text tooltips, exposure tables, menu layout and entries).
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/item_records.h"
#include "core/object_item.h"
#include "core/path_resolution.h"
#include "core/text_convert.h"
#include "core/value_tokenizer.h"
#include "script/flag_words.h"
#include "script/reader_handlers.h"
#include "viewer/main_wnd.h"

namespace {

using K = ReaderKeyword;

// A section type keeps the source kind the section body started with.
constexpr int32_t kKeepSource = -100;

struct SectionType {
    const char* word;
    int32_t sectionKind;  // SectionKind
    int32_t sourceKind;   // SourceKind, kSourceTooltip or kKeepSource
    uint8_t imageOption;  // decode option of the section's images
};

// TYPE= and TIPO= values, compared without regard to case.
const SectionType kSectionTypes[] = {
    {"PANORAMIC", SectionFrame, SourcePanorama, 1},
    {"CUBIC", SectionFrame, SourceCubic, 1},
    {"PANORAMA", SectionFrame, SourcePanorama, 0},
    {"CILINDRO", SectionFrame, SourceCylinder, 0},
    {"KZR", SectionFrame, SourceFromFile, 1},
    {"MOV", SectionFrame, SourceFromFile, 1},
    {"TIMELAPSE", SectionFrame, SourceFromFile, 1},
    {"MAPAFOTO", SectionFrame, SourceAerial, 1},
    {"AERIAL", SectionFrame, SourceAerial, 1},
    {"ONESHOT", SectionFrame, SourceOneShot, 1},
    {"FISHEYES", SectionFrame, SourceFisheyes, 1},
    {"PASAFOTOS", SectionFrame, SourcePhotoGrid, 0},
    {"POSICIONADOR", SectionFrame, SourcePositioner, 1},
    {"VISTROLUX", SectionFrame, SourceCamera, 1},
    {"ELINK", SectionLink, kKeepSource, 1},
    {"LINK", SectionLink, kKeepSource, 1},
    {"MENU", SectionMenu, kKeepSource, 1},
    {"IMAGEN", SectionImage, SourceFromFile, 1},
    {"IMAGE", SectionImage, SourceFromFile, 1},
    {"TOOLTIP", SectionImage, kSourceTooltip, 1},
    {"SEQUENCE", SectionSequence, SourceFromFile, 1},
    {"SOUND", SectionSound, SourceFromFile, 1},
};

// The DESCRIPTION text of a text tooltip once its text has moved to the FILE text.
constexpr const char* kTooltipMark = "_ToolTip_";
// Page mode of an image whose FILE text ended with '#': an HTML source is not rendered.
constexpr int kPageNotRendered = 0;
constexpr int kPageRendered = 1;
// A camera frame is drawn with the spherical projection.
constexpr int32_t kCameraFrameProjection = 3;
// Rows an exposure table may have.
constexpr int kMaxExposureRows = 99;

bool EndsWith(const CTexto& text, const char* tail)
{
    const int length = text.GetLength();
    const int tailLength = static_cast<int>(std::strlen(tail));
    return length >= tailLength && std::strcmp(text.GetText() + length - tailLength, tail) == 0;
}

int32_t DefaultBackColour(const ReadingContext& context)
{
    return context.engine ? context.engine->m_params.bgColor : ViewerParameters().bgColor;
}

// The section's image item, when FILE= has made one.
ImageItem* CurrentImage(const ReadingContext& context)
{
    return context.currentItem && context.currentItem->type == ItemType::Image
               ? static_cast<ImageItem*>(context.currentItem)
               : nullptr;
}

TooltipOptions* CurrentTooltipOptions(const ReadingContext& context)
{
    ImageItem* image = CurrentImage(context);
    return image ? static_cast<TooltipOptions*>(image->sprite.tooltipOptions) : nullptr;
}

// --- TYPE= ---

// What a new frame (or the target frame at its first section) starts with.
void StartFrame(ReadingContext& context, CFrame* frame)
{
    frame->name = context.sectionName;
    frame->description = context.descriptionText;
    frame->device = context.engine ? &context.engine->m_view : nullptr;
    frame->sourceKind = context.sourceKind;
    frame->backColour = static_cast<int32_t>(static_cast<uint32_t>(DefaultBackColour(context)) |
                                             0xFF000000u);
    context.node = NodeDefaults();
}

void StartFrameSection(ReadingContext& context)
{
    context.frameSections++;
    if (context.target) {
        context.currentFrame = context.target;
        if (context.frameSections > 1) {
            context.sectionKind = SectionSkippedFrame;
            return;
        }
    } else {
        FrameItem* item = static_cast<FrameItem*>(context.frames->CreateItem(ItemType::Frame));
        if (!item) {
            context.sectionKind = SectionIgnored;
            return;
        }
        context.currentFrame = &item->frame;
    }
    StartFrame(context, context.currentFrame);
}

void HandleType(ReadingContext& context)
{
    CTexto value;
    ReadNextField(context.statement, KeyValuePosition(context), value);
    context.sectionKind = SectionIgnored;
    context.imageOption = 1;
    context.currentItem = nullptr;
    context.currentText = nullptr;
    const SectionType* type = nullptr;
    for (const SectionType& entry : kSectionTypes) {
        if (_stricmp(value.GetText(), entry.word) == 0) {
            type = &entry;
            break;
        }
    }
    if (!type)
        return;
    context.sectionKind = type->sectionKind;
    if (type->sourceKind != kKeepSource)
        context.sourceKind = type->sourceKind;
    context.imageOption = type->imageOption;

    if (type->sectionKind == SectionFrame) {
        StartFrameSection(context);
    } else if (type->sectionKind == SectionMenu) {
        context.currentMenu = static_cast<MenuRecord*>(context.images->CreateItem(ItemType::Menu));
        if (!context.currentMenu) {
            context.sectionKind = SectionIgnored;
            return;
        }
        context.currentMenu->name = context.sectionName;
    }
    if (context.sectionKind != SectionSkippedFrame && context.fileText.GetLength() > 0)
        context.itemsPending = true;
}

// --- FILE= and DESCRIPTION= ---

void HandleFile(ReadingContext& context)
{
    CTexto value;
    ReadNextField(context.statement, KeyValuePosition(context), value);
    const bool frame = context.sectionKind == SectionFrame;
    if (frame && (context.sourceKind == SourceCamera || std::strchr(context.statement, ','))) {
        // The list form: folder, then the names the image-list loader takes relative to it.
        context.fileText = context.baseFolder;
        context.fileText += ",";
        context.fileText += value;
    } else {
        CTexto resolved = value;
        ResolvePath(resolved, &context.baseFolder, context.fallback);
        context.fileText = resolved;
        // A file the loader cannot tell the kind of is a spherical picture. The test is exact:
        // "HALL.MOV" is a picture too.
        if (frame && context.sourceKind == SourceFromFile && !EndsWith(context.fileText, "mov") &&
            !EndsWith(context.fileText, "kzr") && !EndsWith(context.fileText, "cam"))
            context.sourceKind = SourcePanorama;
    }
    if (EndsWith(value, ".html#mov") && value.Find(' ') >= 0)
        context.sourceKind = SourcePanorama;
    if (frame && context.currentFrame)
        context.currentFrame->sourceKind = context.sourceKind;
    context.itemsPending = true;
}

void HandleDescription(ReadingContext& context)
{
    CTexto text;
    ReadNextField(context.statement, KeyValuePosition(context), text, true, kFieldSeparatorComma,
                  true);
    context.descriptionText = text;
    if (context.sectionKind == SectionFrame) {
        if (context.currentFrame)
            context.currentFrame->description = text;
    } else if (context.sectionKind == SectionLink) {
        if (context.currentText)
            context.currentText->value = text;
    } else if (context.sectionKind == SectionImage && context.sourceKind == kSourceTooltip &&
               context.fileText.GetLength() == 0) {
        // A tooltip that holds a text: the text is made at once as a text item.
        context.fileText = text;
        context.descriptionText = kTooltipMark;
        context.sectionKind = SectionLink;
        context.itemsPending = true;
    }
}

// --- The section's items ---

ImageItem* CreateSectionImage(ReadingContext& context, const CTexto& file, int pageMode)
{
    ImageItem* image = static_cast<ImageItem*>(context.images->CreateItem(ItemType::Image));
    if (!image)
        return nullptr;
    image->name = context.sectionName;
    image->value = file;
    image->sprite.fileName = file;
    image->sprite.itemName = context.sectionName;
    image->sprite.decodeOption = context.imageOption;
    image->sprite.contentKind = pageMode;
    image->sprite.notifyWindow = context.engine ? context.engine->m_messageWnd : nullptr;
    return image;
}

ObjectItem* CreateFrameObject(ReadingContext& context, ItemType type)
{
    ObjectItem* object =
        static_cast<ObjectItem*>(context.ObjectsOf(context.currentFrame).CreateItem(type));
    if (object)
        object->level = static_cast<int16_t>(context.level);
    return object;
}

// The images of a frame whose source is a picture: one, or one per sensor of a camera frame,
// each shown by an object of the frame.
void CreateFrameImages(ReadingContext& context, const CTexto& file, int pageMode)
{
    CFrame* frame = context.currentFrame;
    if (context.sourceKind == SourceCamera) {
        // The folder field first, then one sensor image name per field; the frame's loader
        // makes the images itself.
        CTexto sensor;
        int position = ReadNextField(file.GetText(), -1, sensor);
        const int count = CountFields(file.GetText(), ',') - 1;
        for (int i = 0; i < count; i++) {
            position = ReadNextField(file.GetText(), position, sensor);
            ObjectItem* object = CreateFrameObject(context, ItemType::EngineObject);
            if (!object)
                return;
            object->auxText = sensor;
            object->name = sensor;
            frame->overrides |= OverrideProjection;
            frame->projection = kCameraFrameProjection;
        }
        return;
    }
    ImageItem* image = CreateSectionImage(context, file, pageMode);
    if (!image)
        return;
    const bool grid = context.sourceKind == SourcePhotoGrid;
    ObjectItem* object =
        CreateFrameObject(context, grid ? ItemType::ImageObject : ItemType::EngineObject);
    if (object) {
        // A grid frame finds its image by name when the script is linked.
        if (grid)
            object->auxText = context.sectionName;
        else
            object->number = image->number;
    }
    context.currentItem = image;
}

void CreateFrameItems(ReadingContext& context, const CTexto& file, int pageMode)
{
    CFrame* frame = context.currentFrame;
    if (context.target || !frame)
        return;
    // Objects written before FILE= are dropped with the list.
    frame->ClearObjects();
    switch (context.sourceKind) {
    case SourceFromFile:
    case SourceCubic:
    case SourceFisheyes: {
        // The loader reads the file or the image list itself; an object of the frame names it.
        ValueItem* value = static_cast<ValueItem*>(context.images->CreateItem(ItemType::Value));
        if (!value)
            return;
        value->name = context.sectionName;
        value->value = context.descriptionText;
        value->text = file;
        ObjectItem* object = CreateFrameObject(context, ItemType::EngineObject);
        if (object)
            object->number = value->number;
        break;
    }
    case SourceCylinder:
    case SourceOneShot:
    case SourcePanorama:
    case SourcePhotoGrid:
    case SourceAerial:
    case SourceCamera:
        CreateFrameImages(context, file, pageMode);
        break;
    default:  // a position marker has no imagery
        break;
    }
}

void CreateTextItem(ReadingContext& context, const CTexto& file)
{
    TextItem* text = static_cast<TextItem*>(context.images->CreateItem(ItemType::Text));
    if (!text)
        return;
    text->text = file;
    text->name = context.sectionName;
    text->value = context.descriptionText;
    if (context.descriptionText == kTooltipMark)
        text->backColor = DefaultBackColour(context);
    context.currentText = text;
}

void CreateImageSectionItem(ReadingContext& context, const CTexto& file, int pageMode)
{
    ImageItem* image = CreateSectionImage(context, file, pageMode);
    if (!image)
        return;
    if (context.sourceKind == kSourceTooltip) {
        void* block = std::malloc(sizeof(TooltipOptions));
        if (block)
            image->sprite.tooltipOptions = new (block) TooltipOptions;
    }
    context.currentItem = image;
}

void CreateItems(ReadingContext& context)
{
    CTexto file = context.fileText;
    int pageMode = kPageRendered;
    if (file.GetLength() > 0 && file.GetAt(file.GetLength() - 1) == '#') {
        file.Delete(file.GetLength() - 1, 1);
        pageMode = kPageNotRendered;
    }
    switch (context.sectionKind) {
    case SectionFrame:
        CreateFrameItems(context, file, pageMode);
        break;
    case SectionLink:
        CreateTextItem(context, file);
        break;
    case SectionImage:
        CreateImageSectionItem(context, file, pageMode);
        break;
    case SectionSequence: {
        auto* sequence =
            static_cast<CameraSequence*>(context.images->CreateItem(ItemType::CameraSequence));
        if (sequence) {
            sequence->name = context.sectionName;
            sequence->fileName = file;
        }
        break;
    }
    case SectionSound: {
        SoundItem* sound = static_cast<SoundItem*>(context.images->CreateItem(ItemType::Sound));
        if (sound) {
            sound->name = context.sectionName;
            sound->file = file;
        }
        break;
    }
    default:  // menus and skipped frame sections make nothing here
        break;
    }
}

// Frees the tooltip option blocks that linking has not taken.
void ReleaseSectionBlocks(ReadingContext& context)
{
    for (CObjeto* node = context.images->GetHead(); node && node->GetRecord();
         node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (record->type != ItemType::Image)
            continue;
        CSprite& sprite = static_cast<ImageItem*>(record)->sprite;
        std::free(sprite.tooltipOptions);
        sprite.tooltipOptions = nullptr;
    }
}

// --- Keys of the section's image item ---

void HandleSize(ReadingContext& context)
{
    ImageItem* image = CurrentImage(context);
    if (!image)
        return;
    int32_t size[2] = {};
    ParseValueList(context.statement, KeyValuePosition(context), nullptr, size, 2,
                   kFieldSeparatorComma);
    image->sprite.requestedWidth = size[0];
    image->sprite.requestedHeight = size[1];
}

void HandleRefreshRate(ReadingContext& context)
{
    ImageItem* image = CurrentImage(context);
    const float rate = ReadStatementFloat(context, KeyValuePosition(context));
    if (image && rate > 0.0f)
        image->sprite.refreshInterval = 1.0f / rate;
}

void HandleTimeRate(ReadingContext& context)
{
    if (context.sectionKind == SectionFrame && context.currentFrame)
        context.currentFrame->SetPlaybackRate(
            ReadStatementFloat(context, KeyValuePosition(context)));
}

void HandleMaskFile(ReadingContext& context)
{
    ImageItem* image = CurrentImage(context);
    if (!image || context.sectionKind != SectionImage)
        return;
    CTexto name;
    ReadNextField(context.statement, KeyValuePosition(context), name);
    ResolvePath(name, &context.baseFolder, context.fallback);
    image->sprite.maskFile = name;
}

void HandleLoaded(ReadingContext& context)
{
    ImageItem* image = CurrentImage(context);
    if (!image || context.sectionKind != SectionImage)
        return;
    if (ReadStatementInteger(context, KeyValuePosition(context)) == 1)
        image->sprite.loadFlags |= SpriteLoadEnabled;
    else
        image->sprite.loadFlags &= ~static_cast<uint32_t>(SpriteLoadEnabled);
}

void HandleLoadSound(ReadingContext& context)
{
    ImageItem* image = CurrentImage(context);
    if (image && context.sectionKind == SectionImage)
        image->sprite.loadSound = ReadStatementInteger(context, KeyValuePosition(context));
}

// n values per row, as many whole rows as the statement holds; a table that would not fit the
// image's table is not read at all.
void HandleExposureTable(ReadingContext& context)
{
    ImageItem* image = CurrentImage(context);
    if (!image || context.sectionKind != SectionImage)
        return;
    CSprite& sprite = image->sprite;
    int position = KeyValuePosition(context);
    int32_t group = 0;
    position = ParseValueList(context.statement, position, nullptr, &group, 1,
                              kFieldSeparatorComma);
    sprite.exposureGroup = group;
    sprite.exposureRows = 0;
    if (group <= 0)
        return;
    const int rows = (context.fieldCount - 1) / group;
    if (rows < 1 || rows > kMaxExposureRows || group * rows > kExposureTableSize)
        return;
    sprite.exposureRows = rows;
    ParseValueList(context.statement, position, sprite.exposureTable, nullptr, group * rows,
                   kFieldSeparatorComma);
}

// --- Link and text tooltip keys ---

void HandleTarget(ReadingContext& context)
{
    if (context.sectionKind == SectionLink && context.currentText)
        context.currentText->fontFace = context.statement + KeyValuePosition(context) + 1;
}

void HandleWidth(ReadingContext& context)
{
    if (context.sectionKind == SectionLink && context.currentText)
        context.currentText->width = ReadStatementInteger(context, KeyValuePosition(context));
}

void HandleFlagsImage(ReadingContext& context)
{
    if (TooltipOptions* options = CurrentTooltipOptions(context))
        ParseFlagWords(context.statement, KeyValuePosition(context), &options->drawModes);
}

void HandleAlphaImage(ReadingContext& context)
{
    if (TooltipOptions* options = CurrentTooltipOptions(context))
        options->opacity = ReadStatementInteger(context, KeyValuePosition(context));
}

// --- Menu keys ---

void HandleConfigMenu(ReadingContext& context)
{
    MenuRecord* menu = context.currentMenu;
    if (context.sectionKind != SectionMenu || !menu)
        return;
    int32_t values[6] = {};
    int position = ParseValueList(context.statement, KeyValuePosition(context), nullptr, values,
                                  6, kFieldSeparatorComma);
    menu->backColor[0] = values[0] & 0xFFFFFF;
    menu->backColor[1] = values[1] & 0xFFFFFF;
    menu->textColor[0] = values[2] & 0xFFFFFF;
    menu->textColor[1] = values[3] & 0xFFFFFF;
    menu->backAlpha[0] = static_cast<uint8_t>(values[4]);
    menu->backAlpha[1] = static_cast<uint8_t>(values[5]);
    if (context.fieldCount > 6) {
        position = ReadNextField(context.statement, position, menu->fontName[0]);
        ReadNextField(context.statement, position, menu->fontName[1]);
    }
}

void HandleMenuOption(ReadingContext& context)
{
    MenuRecord* menu = context.currentMenu;
    if (context.sectionKind != SectionMenu || !menu)
        return;
    CompiledCode* code =
        static_cast<CompiledCode*>(menu->entries.CreateItem(ItemType::CompiledCode));
    TextItem* label = static_cast<TextItem*>(menu->entryTexts[0].CreateItem(ItemType::Text));
    TextItem* highlighted = static_cast<TextItem*>(menu->entryTexts[1].CreateItem(ItemType::Text));
    if (!code || !label || !highlighted)
        return;
    const int position = ReadNextField(context.statement, KeyValuePosition(context), label->text,
                                       true);
    highlighted->text = label->text;
    if (context.fieldCount > 1) {
        CTexto commands;
        ReadNextField(context.statement, position, commands, true);
        CompileStatementCode(context, code, commands.GetText());
    }
}

}  // namespace

bool ApplyTextItemFontKey(ReadingContext& context)
{
    TextItem* text = context.currentText;
    if (context.sectionKind != SectionLink || !text)
        return false;
    // The value follows the statement's first '='.
    const char* equals = std::strchr(context.statement, '=');
    const int position = equals ? static_cast<int>(equals - context.statement) : 0;
    if (_strnicmp(context.statement, "FONTCOLOR=", 10) == 0) {
        text->textColor = ReadStatementInteger(context, position);
    } else if (_strnicmp(context.statement, "FONTSIZE=", 9) == 0) {
        text->fontSize = ReadStatementFloat(context, position);
    } else if (_strnicmp(context.statement, "FONTNAME=", 9) == 0) {
        ReadNextField(context.statement, position, text->fontFace, true);
    } else if (_strnicmp(context.statement, "FONTBGCOLOR=", 12) == 0) {
        text->backColor = ReadStatementInteger(context, position);
    } else {
        return false;
    }
    return true;
}

void AddSectionHandlers(ReaderHandlers& handlers)
{
    auto set = [&handlers](K keyword, StatementHandler handler) {
        handlers.keywords[static_cast<int>(keyword)] = handler;
    };
    set(K::Type, HandleType);
    set(K::Description, HandleDescription);
    set(K::File, HandleFile);
    set(K::Size, HandleSize);
    set(K::RefreshRate, HandleRefreshRate);
    set(K::TimeRate, HandleTimeRate);
    set(K::MaskFile, HandleMaskFile);
    set(K::Loaded, HandleLoaded);
    set(K::LoadSound, HandleLoadSound);
    set(K::ExposureTable, HandleExposureTable);
    set(K::ConfigMenu, HandleConfigMenu);
    set(K::MenuOption, HandleMenuOption);
    set(K::Target, HandleTarget);
    set(K::Width, HandleWidth);
    set(K::FlagsImage, HandleFlagsImage);
    set(K::AlphaImage, HandleAlphaImage);
    handlers.createItems = CreateItems;
    handlers.release = ReleaseSectionBlocks;
}
