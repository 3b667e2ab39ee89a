// Statements of the objects a user clicks: node hotspots and their section defaults, buttons,
// rotating buttons, sliders, events windows, and events added to an object already read.
#include <cstring>

#include "core/item_records.h"
#include "core/object_item.h"
#include "script/reader_handlers.h"
#include "script/reader_objects.h"
#include "sources/frame.h"

namespace {

constexpr int32_t kDrawBilinear = 0x80000;
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

}  // namespace

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
