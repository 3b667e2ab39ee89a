// Linking after the last statement: scripts name frames, menus, links and images before they
// exist, so menu entries, image and button objects and node hotspots are resolved once the whole
// script has been read.
#include <cstdlib>
#include <cstring>

#include "core/item_records.h"
#include "core/object_item.h"
#include "script/reader_handlers.h"
#include "script/reader_objects.h"
#include "sources/frame.h"
#include "viewer/main_wnd.h"

namespace {

// Record kind of the submenu switch a menu entry naming another menu becomes.
constexpr uint16_t kSubmenuRecordKind = 5;
constexpr uint16_t kSubmenuRecordLength = 16;
constexpr int kNodeValueCount = 6;  // x, y, z, rotation x, rotation y, zoom

constexpr const char* kTextTooltipMark = "_ToolTip_";
constexpr const char* kTargetNotFound = "_next frame not found_";
constexpr uint8_t kAlignHorizontalBits = 0x0F;

// What a text tooltip leaves to the node's own defaults.
constexpr int32_t kDefaultTooltipBack = 0xFFFFFF;
constexpr int32_t kDefaultTooltipText = 0x10101;
constexpr float kDefaultTooltipSize = 13.5f;
constexpr const char* kDefaultTooltipFont = "Tahoma";

// Frames that only carry positions or tooltips hold no objects to link.
constexpr int32_t kSourceTooltipImage = -3;

// The item list of a level as this read sees it: the read's own list for its level.
CObjeto* LevelList(ReadingContext& context, int32_t level)
{
    if (level == static_cast<int32_t>(context.level))
        return context.images;
    return context.engine ? &context.engine->m_images[level] : nullptr;
}

// The first item of the name in level 0, else in level 1; its level through level.
ItemRecord* FindLinkedImage(ReadingContext& context, const char* name, int32_t* level)
{
    if (!name || !name[0])
        return nullptr;
    for (int32_t l = 0; l < 2; l++) {
        CObjeto* list = LevelList(context, l);
        if (!list)
            continue;
        if (ItemRecord* record = list->FindByName(name)) {
            *level = l;
            return record;
        }
    }
    return nullptr;
}

void CompileOpenUrl(ReadingContext& context, CompiledCode* code, const TextItem* link)
{
    CTexto command;
    command.Format("OpenURL(\"%s\",\"%s\");", link->text.GetText(), link->fontFace.GetText());
    CompileStatementCode(context, code, command.GetText());
}

// An entry that named a target: a frame, another menu or a link.
void LinkMenuEntry(ReadingContext& context, MenuRecord* menu, CompiledCode* entry)
{
    float values[kNodeValueCount] = {0, 0, 0, 0, 0, 1.0f};
    const bool nodeValues = entry->length == 0 && entry->code;
    if (nodeValues)
        std::memcpy(values, entry->code, sizeof values);
    if (context.engine &&
        context.engine->CompileNodeCommands(*context.frames, entry, entry->name.GetText(), values[0],
                                            values[1], values[2], values[3], values[4],
                                            values[5]) >= 0)
        return;
    if (nodeValues)
        entry->ReleaseCode();  // the node values were only kept for the frame
    for (CObjeto* node = context.images->GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* item = node->GetRecord();
        if (!(item->name == entry->name))
            continue;
        if (item->type == ItemType::Menu) {
            uint8_t record[kSubmenuRecordLength] = {};
            const uint16_t head[2] = {kSubmenuRecordKind, kSubmenuRecordLength};
            const int16_t frame[2] = {-1, 0};  // the current frame
            const int32_t menus[2] = {menu->number, item->number};
            std::memcpy(record, head, sizeof head);
            std::memcpy(record + 4, frame, sizeof frame);
            std::memcpy(record + 8, menus, sizeof menus);
            entry->AssignCode(record, kSubmenuRecordLength);
        } else if (item->type == ItemType::Text) {
            CompileOpenUrl(context, entry, static_cast<TextItem*>(item));
        }
    }
}

void LinkMenus(ReadingContext& context)
{
    for (CObjeto* node = context.images->GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        if (context.Cancelled())
            return;
        if (node->GetRecord()->type != ItemType::Menu)
            continue;
        MenuRecord* menu = static_cast<MenuRecord*>(node->GetRecord());
        for (CObjeto* e = menu->entries.GetHead(); e && e->GetRecord(); e = e->GetNext()) {
            ItemRecord* entry = e->GetRecord();
            if (entry->type == ItemType::CompiledCode && entry->number == 0)
                LinkMenuEntry(context, menu, static_cast<CompiledCode*>(entry));
        }
    }
}

void LinkImageObject(ReadingContext& context, ObjectItem* object)
{
    int32_t level = 0;
    ItemRecord* item = FindLinkedImage(context, object->auxText.GetText(), &level);
    if (!item)
        return;
    object->level = static_cast<int16_t>(level);
    object->number = item->number;
    if (object->type != ItemType::MenuObject || item->type != ItemType::Menu)
        return;
    const int32_t entries = static_cast<MenuRecord*>(item)->entries.GetCount();
    if (entries > 1) {
        const int32_t height = static_cast<int32_t>(object->height);
        object->height = static_cast<float>(height - height % entries);
    }
}

void LinkStateImages(ReadingContext& context, ObjectItem* object)
{
    for (int state = 0; state < 4; state++) {
        if (object->stateImage[state] != 0)
            continue;
        int32_t level = 0;
        if (ItemRecord* item = FindLinkedImage(context, object->stateImageName[state].GetText(), &level)) {
            object->stateImage[state] = item->number;
            object->level = static_cast<int16_t>(level);
        }
    }
}

// A node whose target is no frame: an image, a tooltip or a link of the level's list.
void LinkNodeToItem(ReadingContext& context, ObjectItem* node, CompiledCode* slot)
{
    CTexto& description = node->ItemRecord::value;
    ItemRecord* item = context.images->FindByName(slot->name.GetText());
    if (!item) {
        if (description.GetLength() == 0)
            description = kTargetNotFound;
        return;
    }
    if (item->type == ItemType::Image) {
        ImageItem* image = static_cast<ImageItem*>(item);
        node->number = image->number;
        if (const void* block = image->sprite.tooltipOptions) {
            int32_t options[2];  // draw modes, opacity
            std::memcpy(options, block, sizeof options);
            node->align &= kAlignHorizontalBits;
            node->placement = PlacementOwnImageInView;
            node->stateFlags[0] = options[0];
            node->alpha = static_cast<uint8_t>(options[1]);
        } else {
            node->placement = PlacementOwnImageOnQuad;
        }
        if (slot->length == 0)
            node->hoverCode = 0;
    } else if (item->type == ItemType::Text) {
        TextItem* text = static_cast<TextItem*>(item);
        if (text->value == kTextTooltipMark) {
            description = text->text;
            if (text->backColor != kDefaultTooltipBack)
                node->backColor = text->backColor;
            if (text->textColor != kDefaultTooltipText)
                node->textColor = text->textColor;
            if (text->fontSize != kDefaultTooltipSize)
                node->fontSize = text->fontSize;
            if (!(text->fontFace == kDefaultTooltipFont))
                node->fontFace = text->fontFace;
            node->tooltipWidth = static_cast<int16_t>(text->width);
            node->number = 0;
            node->placement = PlacementOwnImageInView;
            node->hoverCode = 0;
        } else {
            description = text->value;
            CompileOpenUrl(context, slot, text);
        }
    }
}

void LinkNode(ReadingContext& context, ObjectItem* node)
{
    const int slotIndex = node->mode >= 0 && node->mode < EventCount ? node->mode : EventRelease;
    CompiledCode* slot = &node->events[slotIndex];
    // A node whose slot holds commands of its own names no target.
    if (slot->name.GetLength() > 0) {
        const int32_t frame =
            context.engine
                ? context.engine->CompileNodeCommands(*context.frames, slot, slot->name.GetText(),
                                                      0.0f, 0.0f, 0.0f, node->rotX, node->rotY,
                                                      node->zoom)
                : -1;
        if (frame >= 0) {
            ItemRecord* record = context.frames->GetItem(frame);
            if (node->ItemRecord::value.GetLength() == 0 && record && record->type == ItemType::Frame)
                node->ItemRecord::value = static_cast<FrameItem*>(record)->frame.description;
        } else {
            LinkNodeToItem(context, node, slot);
        }
    }
    node->rotX = 0.0f;
    node->rotY = 0.0f;
    node->rotZ = 0.0f;
    if (node->number == 0 && node->placement == PlacementBuiltInImage1 && node->auxText.GetLength() > 0) {
        if (ItemRecord* image = FindItemOfType(*context.images, node->auxText.GetText(), ItemType::Image)) {
            node->number = image->number;
            node->placement = PlacementOwnImage;
        }
    }
}

void LinkFrameObjects(ReadingContext& context, CFrame* frame)
{
    if (frame->sourceKind == SourcePositioner || frame->sourceKind == kSourceTooltipImage)
        return;
    CObjeto& objects = context.ObjectsOf(frame);
    for (CObjeto* node = objects.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (!IsObjectItemType(record->type))
            continue;
        ObjectItem* object = static_cast<ObjectItem*>(record);
        switch (record->type) {
        case ItemType::ImageObject:
        case ItemType::MenuObject:
            if (object->number == 0)
                LinkImageObject(context, object);
            break;
        case ItemType::ButtonObject:
        case ItemType::RotatingButtonObject:
        case ItemType::SliderObject:
            LinkStateImages(context, object);
            break;
        case ItemType::NodeHotspot:
        case ItemType::NodeHotspot3D:
            LinkNode(context, object);
            break;
        default:
            break;
        }
    }
}

void LinkFrames(ReadingContext& context)
{
    if (context.target) {
        if (!context.Cancelled())
            LinkFrameObjects(context, context.target);
        return;
    }
    for (CObjeto* node = context.frames->GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        if (context.Cancelled())
            return;
        if (node->GetRecord()->type == ItemType::Frame)
            LinkFrameObjects(context, &static_cast<FrameItem*>(node->GetRecord())->frame);
    }
}

}  // namespace

void LinkReadItems(ReadingContext& context)
{
    if (!context.images || !context.frames)
        return;
    LinkMenus(context);
    LinkFrames(context);
    // Whatever happened above, the tooltip options blocks go; the pointers are cleared so that
    // nothing frees a block twice.
    for (CObjeto* node = context.images->GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        if (node->GetRecord()->type != ItemType::Image)
            continue;
        CSprite& sprite = static_cast<ImageItem*>(node->GetRecord())->sprite;
        std::free(sprite.tooltipOptions);
        sprite.tooltipOptions = nullptr;
    }
}
