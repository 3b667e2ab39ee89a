// Statements of the objects a user clicks: node hotspots and their section defaults, buttons,
// rotating buttons, sliders, events windows, and events added to an object already read.
#include <cstdlib>
#include <cstring>

#include "core/item_records.h"
#include "core/object_item.h"
#include "script/reader_handlers.h"
#include "script/reader_objects.h"
#include "sources/frame.h"

namespace {

constexpr int32_t kDrawBilinear = 0x80000;
constexpr uint8_t kAlignCentred = 0x11;
constexpr uint8_t kNodeHoverCode = 2;
constexpr int kNodeValueCount = 6;  // x, y, z, rotation x, rotation y, zoom
constexpr int32_t kTooltipTextColour = 0x10101;
constexpr int32_t kTooltipBackColour = 0xFFFFFF;

// Modes of rotating buttons and sliders.
int32_t TravelModeOfWord(const char* word)
{
    if (_stricmp(word, "disabled") == 0)
        return 0;
    if (_stricmp(word, "absolute") == 0)
        return 1;
    if (_stricmp(word, "relative") == 0)
        return 2;
    return 0;
}

// Position (with z and plain offsets in the scene), size and align of a clickable object.
void ReadBox(StatementFields& fields, ObjectItem* object)
{
    ReadPosition(fields, object);
    if (object->inScene) {
        object->z = fields.Float();
        object->offsetX = fields.Float();
        object->offsetY = fields.Float();
    }
    ReadSize(fields, object);
    MarkGivenSize(object);
    object->align = static_cast<uint8_t>(fields.Integer());
}

// NODO keys of a menu section: the node values and the target go to every entry that holds
// neither code nor node values yet.
void ReadMenuNode(ReadingContext& context)
{
    MenuRecord* menu = context.currentMenu;
    if (!menu)
        return;
    StatementFields fields(context);
    float values[kNodeValueCount];
    for (int i = 0; i < 5; i++)
        values[i] = fields.Float();
    values[5] = context.fieldCount == 7 ? fields.Float() : 1.0f;
    const CTexto target = fields.Text();
    for (CObjeto* node = menu->entries.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        if (node->GetRecord()->type != ItemType::CompiledCode)
            continue;
        CompiledCode* entry = static_cast<CompiledCode*>(node->GetRecord());
        if (entry->code)
            continue;  // commands of its own, or the values of an earlier node statement
        // Kept where the code will go, with no length, until the linking compiles the jump.
        entry->code = static_cast<uint8_t*>(std::malloc(sizeof values));
        if (entry->code)
            std::memcpy(entry->code, values, sizeof values);
        if (target.Find(';') >= 0) {
            CompileStatementCode(context, entry, target.GetText());
        } else {
            entry->name = target;
            entry->number = 0;
        }
    }
}

// Every node of the frame read so far takes a changed node default.
template <typename Apply>
void RestyleNodes(ReadingContext& context, Apply apply)
{
    CFrame* frame = ObjectFrame(context);
    if (!frame)
        return;
    CObjeto& objects = context.ObjectsOf(frame);
    for (CObjeto* node = objects.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (record->type == ItemType::NodeHotspot || record->type == ItemType::NodeHotspot3D)
            apply(*static_cast<ObjectItem*>(record));
    }
}

}  // namespace

void ReadNodeStatement(ReadingContext& context)
{
    if (context.sectionKind == SectionMenu) {
        ReadMenuNode(context);
        return;
    }
    const CTexto key = StatementKey(context);
    const bool quad = key == "NODO";
    ObjectItem* object = AppendObject(context, quad ? ItemType::NodeHotspot3D : ItemType::NodeHotspot);
    if (!object)
        return;
    if (key == "NODO1UTM")
        object->utmFlag = 1;
    const int f = context.fieldCount;
    const int longCount = quad ? 20 : 11;
    const bool longForm = f >= longCount;
    StatementFields fields(context);
    ReadGroup(fields, object, f > longCount);
    if (longForm) {
        ReadNameAndVisible(fields, object);
        object->auxText = fields.Text();
    }
    const NodeDefaults& defaults = context.node;
    if (object->auxText.GetLength() == 0)
        object->auxText = defaults.image;
    object->level = static_cast<int16_t>(context.level);
    object->align = kAlignCentred;
    object->placement = PlacementBuiltInImage1;
    object->hoverCode = kNodeHoverCode;
    object->inScene = 1;
    object->alpha = 100;
    object->stateFlags[0] = static_cast<int32_t>(defaults.drawModes);
    object->textColor = defaults.fontColour;
    object->fontSize = defaults.fontSize;
    object->fontFace = defaults.fontName;
    object->backColor = defaults.fontBackColour;
    object->mode = EventRelease;

    if (quad) {
        for (float* corner : object->quadCorners) {
            for (int axis = 0; axis < 3; axis++)
                corner[axis] = fields.Float();
        }
    } else {
        object->x = fields.Float();
        object->y = fields.Float();
        object->z = fields.Float();
    }
    object->rotX = fields.Float();
    object->rotY = fields.Float();
    if (fields.FieldsLeft() >= 2)
        object->zoom = fields.Float();
    if (longForm)
        object->ItemRecord::value = fields.Text(true);

    const CTexto target = fields.Text();
    object->stateImageName[0] = target;
    CompiledCode& slot = object->events[object->mode];
    if (target.Find(';') >= 0) {
        CompileStatementCode(context, &slot, target.GetText());
    } else {
        slot.name = target;
        if (!longForm)
            object->name = target;
    }
    if (fields.FieldsLeft() > 0) {
        object->number = 0;
        object->auxText = fields.Text();
    }
}

void ReadNodeStyleStatement(ReadingContext& context)
{
    if (ApplyTextItemFontKey(context))
        return;
    const CTexto key = StatementKey(context);
    StatementFields fields(context);
    NodeDefaults& defaults = context.node;
    if (key == "IMAGENODO") {
        defaults.image = fields.Text();  // only for the nodes that follow
    } else if (key == "FLAGSIMAGENODO") {
        defaults.drawModes = fields.Flags();
        const int32_t modes = static_cast<int32_t>(defaults.drawModes);
        RestyleNodes(context, [modes](ObjectItem& node) { node.stateFlags[0] = modes; });
    } else if (key == "FONTCOLOR") {
        const int32_t colour = defaults.fontColour = fields.Integer();
        RestyleNodes(context, [colour](ObjectItem& node) { node.textColor = colour; });
    } else if (key == "FONTSIZE") {
        const float size = defaults.fontSize = fields.Float();
        RestyleNodes(context, [size](ObjectItem& node) { node.fontSize = size; });
    } else if (key == "FONTNAME") {
        defaults.fontName = fields.Text(true);
        const CTexto& name = defaults.fontName;
        RestyleNodes(context, [&name](ObjectItem& node) { node.fontFace = name; });
    } else if (key == "FONTBGCOLOR") {
        const int32_t colour = defaults.fontBackColour = fields.Integer();
        RestyleNodes(context, [colour](ObjectItem& node) { node.backColor = colour; });
    }
}

void ReadButtonStatement(ReadingContext& context)
{
    const CTexto key = StatementKey(context);
    const bool slider = key == "SLIDER";
    const bool rotating = key == "ROTBUTTON" || key == "ROTBUTTON3D";
    const ItemType kind = slider     ? ItemType::SliderObject
                          : rotating ? ItemType::RotatingButtonObject
                                     : ItemType::ButtonObject;
    ObjectItem* object = AppendObject(context, kind);
    if (!object)
        return;
    if (key == "BUTTON3D" || key == "BUTTON3DUTM" || key == "ROTBUTTON3D")
        object->inScene = 1;
    if (key == "BUTTON3DUTM")
        object->utmFlag = 1;
    const bool scene = object->inScene != 0;
    const int f = context.fieldCount;
    int groupAbove = 22;  // sliders and rotating buttons in 2D
    if (!slider && !rotating)
        groupAbove = scene ? 24 : 21;
    else if (rotating && scene)
        groupAbove = 25;

    StatementFields fields(context);
    ReadGroup(fields, object, f > groupAbove);
    ReadNameAndVisible(fields, object);
    ReadBox(fields, object);
    for (int state = 0; state < 3; state++)
        object->stateImageName[state] = fields.Text();
    object->level = static_cast<int16_t>(context.level);
    for (int state = 0; state < 3; state++)
        object->stateAlpha[state] = static_cast<uint8_t>(fields.Integer());
    for (int state = 0; state < 3; state++) {
        object->stateFlags[state] = static_cast<int32_t>(fields.Flags());
        if (rotating)
            object->stateFlags[state] |= kDrawBilinear;
    }
    object->hoverCode = static_cast<uint8_t>(fields.Integer());
    object->keyCode = fields.KeyName();

    int slot = EventDisabled;
    if (!slider && !rotating) {
        slot = EventSlotOfWord(fields.Text().GetText());
    } else {
        object->keyCode2 = fields.KeyName();
        object->mode = TravelModeOfWord(fields.Text().GetText());
        if (slider)
            object->sliderValue = fields.Float();
        else
            object->value = fields.Float();
        object->rangeX = fields.Percent(&object->layoutFlags, LayoutRangeXPercent, &object->rangeOffsetX);
        object->rangeY = fields.Percent(&object->layoutFlags, LayoutRangeYPercent, &object->rangeOffsetY);
        object->travelX = object->rangeX + object->rangeOffsetX;
        object->travelY = object->rangeY + object->rangeOffsetY;
    }
    object->ItemRecord::value = fields.Text(true);
    CompileStatementCode(context, &object->events[slot], fields.Rest());
    object->textColor = kTooltipTextColour;
    object->backColor = kTooltipBackColour;
}

void ReadEventsWindowStatement(ReadingContext& context)
{
    ObjectItem* object = AppendObject(context, ItemType::EventWindowObject);
    if (!object)
        return;
    if (StatementKey(context) == "EVENTSWINDOW3D")
        object->inScene = 1;
    const bool scene = object->inScene != 0;
    const int f = context.fieldCount;
    StatementFields fields(context);
    ReadGroup(fields, object, f > (scene ? 12 : 9));
    ReadNameAndVisible(fields, object);
    ReadBox(fields, object);
    object->mode = static_cast<int32_t>(fields.Flags());
    object->hoverCode = static_cast<uint8_t>(fields.Integer());
    object->ItemRecord::value = fields.Text(true);
    object->textColor = kTooltipTextColour;
    object->backColor = kTooltipBackColour;
}

void ReadAddEventStatement(ReadingContext& context)
{
    CFrame* frame = ObjectFrame(context);
    if (!frame)
        return;
    StatementFields fields(context);
    const CTexto name = fields.Text();
    const int slot = EventSlotOfWord(fields.Text().GetText());
    CObjeto& objects = context.ObjectsOf(frame);
    for (CObjeto* node = objects.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (IsObjectItemType(record->type) && record->name == name) {
            CompileStatementCode(context, &static_cast<ObjectItem*>(record)->events[slot],
                                     fields.Rest());
            return;
        }
    }
}
