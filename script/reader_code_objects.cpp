// Statements of objects that are never drawn and only carry commands: keys, joysticks, timers,
// and activity and property codes.
#include <cstdio>
#include <cstring>

#include "core/item_records.h"
#include "core/matrix_math.h"
#include "core/object_item.h"
#include "script/reader_handlers.h"
#include "script/reader_objects.h"

namespace {

// Property codes whose x and y are the two edges of a pan or tilt range.
constexpr int kFirstRangeCode = 8;
constexpr int kLastRangeCode = 11;
// Property codes whose parameter is a text.
constexpr int kImageProgressCode = 13;
constexpr int kFramePositionCode = 15;

const char* const kPropertyWords[] = {
    nullptr,          "rotationx",     "rotationy",        "zoom",          "openfullscreen",
    "closefullscreen", "progress",     "movecamera",       "enterpanrange", "exitpanrange",
    "entertiltrange", "exittiltrange", "startscreensaver", "imageprogress", "doubleclick",
    "frameposition",  "startcapture",  "stopcapture",
};

// Press, held and release; any other mode is press.
int32_t KeyMode(int32_t mode)
{
    return mode >= 0 && mode <= 2 ? mode : 0;
}

}  // namespace

int JoystickWordIndex(const char* word)
{
    static const char* const kAxes[] = {"xpos", "ypos", "zpos", "rpos", "upos", "vpos"};
    if (_stricmp(word, "no") == 0)
        return 0;
    char name[16];
    for (int axis = 0; axis < 6; axis++) {
        static const char* const kSuffixes[] = {"", "+", "-"};
        for (int suffix = 0; suffix < 3; suffix++) {
            std::snprintf(name, sizeof name, "%s%s", kAxes[axis], kSuffixes[suffix]);
            if (_stricmp(word, name) == 0)
                return 1 + 3 * axis + suffix;
        }
    }
    if (_stricmp(word, "nobutton") == 0)
        return 19;
    for (int button = 1; button <= 32; button++) {
        std::snprintf(name, sizeof name, "button%d", button);
        if (_stricmp(word, name) == 0)
            return 19 + button;
    }
    return 0;
}

int PropertyWordCode(const char* word)
{
    for (int code = 1; code < static_cast<int>(sizeof kPropertyWords / sizeof kPropertyWords[0]); code++) {
        if (_stricmp(word, kPropertyWords[code]) == 0)
            return code;
    }
    return -1;
}

void ReadKeyStatement(ReadingContext& context)
{
    ObjectItem* object = AppendObject(context, ItemType::KeyObject);
    if (!object)
        return;
    const int f = context.fieldCount;
    StatementFields fields(context);
    ReadGroup(fields, object, f > 5);
    if (f > 3)
        ReadNameAndVisible(fields, object);
    object->keyCode = fields.KeyName();
    object->mode = KeyMode(fields.Integer());
    const CTexto commands = fields.Text();
    if (commands.Find(';') >= 0 || f > 3)
        CompileStatementCode(context, &object->events[object->mode], commands.GetText());
    else
        object->name = commands;
}

void ReadJoystickStatement(ReadingContext& context)
{
    ObjectItem* object = AppendObject(context, ItemType::JoystickObject);
    if (!object)
        return;
    StatementFields fields(context);
    ReadNameAndVisible(fields, object);
    object->keyCode = static_cast<int16_t>(KeyMode(fields.Integer()));
    for (uint8_t& input : object->joystickInputs)
        input = static_cast<uint8_t>(JoystickWordIndex(fields.Text().GetText()));
    object->mode = KeyMode(fields.Integer());
    CompileStatementCode(context, &object->events[object->mode], fields.Text().GetText());
}

void ReadTimerStatement(ReadingContext& context)
{
    ObjectItem* object = AppendObject(context, ItemType::TimerObject);
    if (!object)
        return;
    StatementFields fields(context);
    ReadGroup(fields, object, context.fieldCount == 5);
    ReadNameAndVisible(fields, object);
    object->timerPeriod = fields.Float();
    CompileStatementCode(context, &object->events[EventRelease], fields.Rest());
}

void ReadPropertyCodeStatement(ReadingContext& context)
{
    ObjectItem* object = AppendObject(context, ItemType::CodeObject);
    if (!object)
        return;
    const CTexto key = StatementKey(context);
    const bool activity = key == "ACTIVITYCODE";
    const bool second = key == "PROPERTYCODE2";
    const bool third = key == "PROPERTYCODE3";
    const int groupCount = activity ? 4 : second ? 6 : third ? 7 : 5;
    StatementFields fields(context);
    ReadGroup(fields, object, context.fieldCount == groupCount);
    ReadNameAndVisible(fields, object);
    object->mode = activity ? 0 : PropertyWordCode(fields.Text().GetText());
    if (second || third) {
        if (object->mode == kImageProgressCode || object->mode == kFramePositionCode)
            object->auxText = fields.Text();
        else
            object->x = fields.Float();
    }
    if (third)
        object->y = fields.Float();
    if (object->mode >= kFirstRangeCode && object->mode <= kLastRangeCode) {
        // The edges of the range, running from the first towards increasing angles, become its
        // centre and half width.
        const float a = WrapAngle180(object->x);
        const float b = WrapAngle180(object->y);
        const float half = WrapAngle360(b - a) / 2.0f;
        object->x = WrapAngle180(object->x + half);
        object->y = half < 0.0f ? -half : half;
    }
    CompileStatementCode(context, &object->events[EventRelease], fields.Rest());
}
