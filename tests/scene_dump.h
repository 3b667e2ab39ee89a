// A short text picture of what a script read made, for tests that compare it line by line:
// frames with their objects, and the items of a level's list. Each line names its record's
// kind and the fields that tell one reading from another; empty and default values are left
// out, so that a line shows what the script set.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/item_records.h"
#include "core/object_item.h"
#include "script/section_state.h"

namespace scene_dump {

inline std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

inline std::string Number(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

// " key=text" when the text is not empty.
inline std::string Text(const char* key, const CTexto& text)
{
    return text.GetLength() > 0 ? std::string(" ") + key + "=" + text.GetText() : std::string();
}

// "obj <type> <name> lvl=<level> num=<number>" with the group, image name, state image name and
// the code length of every event slot that holds code ("code=<slot>:<length>,...").
inline std::string Object(const ObjectItem& object)
{
    std::string line = "obj " + std::to_string(static_cast<int>(object.type)) + " " +
                       object.name.GetText() + " lvl=" + std::to_string(object.level) +
                       " num=" + std::to_string(object.number);
    line += Text("grp", object.groupName) + Text("aux", object.auxText) +
            Text("target", object.stateImageName[0]) +
            Text("value", static_cast<const ItemRecord&>(object).value);
    std::string code;
    for (int slot = 0; slot < EventCount; slot++) {
        const CompiledCode& event = object.events[slot];
        if (event.length > 0 || event.name.GetLength() > 0) {
            code += (code.empty() ? "" : ",") + std::to_string(slot) + ":" +
                    std::to_string(event.length) + Text("to", event.name);
        }
    }
    if (!code.empty())
        line += " code=" + code;
    return line;
}

// "frame <name> src=<source kind> kind=<frame kind>" with flags, given flags and overrides in
// hex when the script changed them, then one indented line per object.
inline std::vector<std::string> Frame(const CFrame& frame)
{
    std::string line = std::string("frame ") + frame.name.GetText() +
                       " src=" + std::to_string(frame.sourceKind) +
                       " kind=" + std::to_string(frame.kind);
    if (frame.flags != kFrameFlagsDefault)
        line += " flags=" + Hex(frame.flags);
    if (frame.flagsGiven)
        line += " given=" + Hex(frame.flagsGiven);
    if (frame.overrides)
        line += " over=" + Hex(frame.overrides);
    if (frame.entryCode)
        line += " entry=" + std::to_string(frame.entryCode);
    if (frame.sequenceNumber)
        line += " sequence=" + std::to_string(frame.sequenceNumber);
    line += Text("desc", frame.description);
    std::vector<std::string> lines = {line};
    CObjeto& objects = const_cast<CObjeto&>(frame.objects);
    for (CObjeto* node = objects.GetHead(); node && node->GetRecord(); node = node->GetNext())
        lines.push_back("  " + Object(*static_cast<ObjectItem*>(node->GetRecord())));
    return lines;
}

// One line per item of a level's list: "<kind> #<number> <name>" and the fields of its kind.
inline std::string Item(ItemRecord& record)
{
    std::string line = "#" + std::to_string(record.number) + " " + record.name.GetText();
    switch (record.type) {
    case ItemType::Image: {
        const CSprite& sprite = static_cast<ImageItem&>(record).sprite;
        line = "image " + line + Text("file", sprite.fileName) +
               " option=" + std::to_string(sprite.decodeOption) +
               " page=" + std::to_string(sprite.contentKind);
        if (sprite.requestedWidth || sprite.requestedHeight)
            line += " size=" + std::to_string(sprite.requestedWidth) + "x" +
                    std::to_string(sprite.requestedHeight);
        if (sprite.backColour)
            line += " bg=" + Hex(sprite.backColour);
        if (sprite.exposureGroup || sprite.exposureRows) {
            line += " exposure=" + std::to_string(sprite.exposureGroup) + "x" +
                    std::to_string(sprite.exposureRows);
            for (int i = 0; i < sprite.exposureGroup * sprite.exposureRows; i++)
                line += (i ? "," : ":") + Number(sprite.exposureTable[i]);
        }
        if (const auto* options = static_cast<const TooltipOptions*>(sprite.tooltipOptions))
            line += " tooltip=" + Hex(options->drawModes) + "/" + std::to_string(options->opacity);
        return line;
    }
    case ItemType::Text: {
        const TextItem& text = static_cast<TextItem&>(record);
        line = "text " + line + Text("text", text.text) + Text("value", text.value);
        if (text.backColor)
            line += " bg=" + Hex(static_cast<uint32_t>(text.backColor));
        return line + Text("font", text.fontFace) + " size=" + Number(text.fontSize) +
               " width=" + std::to_string(text.width);
    }
    case ItemType::Value: {
        const ValueItem& value = static_cast<ValueItem&>(record);
        return "value " + line + Text("text", value.text) + Text("value", value.value);
    }
    case ItemType::CompiledCode:
        return "code " + line +
               " length=" + std::to_string(static_cast<CompiledCode&>(record).length);
    case ItemType::Menu: {
        MenuRecord& menu = static_cast<MenuRecord&>(record);
        line = "menu " + line;
        CObjeto* code = menu.entries.GetHead();
        for (CObjeto* label = menu.entryTexts[0].GetHead(); label && label->GetRecord();
             label = label->GetNext()) {
            line += std::string(" [") + static_cast<TextItem*>(label->GetRecord())->text.GetText();
            if (code && code->GetRecord()) {
                line += ":" + std::to_string(static_cast<CompiledCode*>(code->GetRecord())->length);
                code = code->GetNext();
            }
            line += "]";
        }
        return line;
    }
    case ItemType::CameraSequence:
        return "sequence " + line + Text("file", static_cast<CameraSequence&>(record).fileName);
    case ItemType::Sound:
        return "sound " + line + Text("file", static_cast<SoundItem&>(record).file);
    default:
        return "item " + std::to_string(static_cast<int>(record.type)) + " " + line;
    }
}

// The frames of a frame list, then the items of a level's list.
inline std::vector<std::string> Scene(CObjeto& frames, CObjeto& items)
{
    std::vector<std::string> lines;
    for (CObjeto* node = frames.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        for (const std::string& line : Frame(static_cast<FrameItem*>(node->GetRecord())->frame))
            lines.push_back(line);
    }
    for (CObjeto* node = items.GetHead(); node && node->GetRecord(); node = node->GetNext())
        lines.push_back(Item(*node->GetRecord()));
    return lines;
}

}  // namespace scene_dump
