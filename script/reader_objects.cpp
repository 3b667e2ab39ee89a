// The rules that every object statement of a frame section shares.
#include "script/reader_objects.h"

#include <cstring>

#include "core/item_records.h"
#include "core/object_item.h"
#include "core/value_tokenizer.h"
#include "script/compiler.h"
#include "script/flag_words.h"
#include "script/key_names.h"
#include "sources/frame.h"

StatementFields::StatementFields(const ReadingContext& context)
    : m_statement(context.statement ? context.statement : ""),
      m_length(context.length),
      m_position(-1)
{
    const int length = static_cast<int>(std::strlen(m_statement));
    if (m_length <= 0 || m_length > length)
        m_length = length;
    const char* equals = static_cast<const char*>(std::memchr(m_statement, '=', m_length));
    m_position = equals ? static_cast<int>(equals - m_statement) : m_length;
}

CTexto StatementFields::Text(bool keepBlanks)
{
    CTexto field;
    m_position = ReadNextField(m_statement, m_length, m_position, field, keepBlanks,
                               kFieldSeparatorComma, keepBlanks);
    return field;
}

int32_t StatementFields::Integer()
{
    int32_t value = 0;
    m_position = ParseValueList(m_statement, m_position, nullptr, &value, 1, kFieldSeparatorComma);
    return value;
}

float StatementFields::Float()
{
    float value = 0.0f;
    m_position = ParseValueList(m_statement, m_position, &value, nullptr, 1, kFieldSeparatorComma);
    return value;
}

float StatementFields::Percent(int32_t* flags, int32_t bit, float* offset)
{
    CTexto field;
    m_position = ReadNextField(m_statement, m_length, m_position, field, false,
                               kFieldSeparatorComma, false);
    uint32_t bits = static_cast<uint32_t>(*flags);
    float value = 0.0f;
    float dropped = 0.0f;
    ParseValueField(field, &value, nullptr, &bits, static_cast<uint32_t>(bit),
                    offset ? offset : &dropped);
    *flags = static_cast<int32_t>(bits);
    return value;
}

uint32_t StatementFields::Flags(bool stopWhenSet)
{
    uint32_t flags = 0;
    if (m_position < m_length)
        m_position = ParseFlagWords(m_statement, m_position, &flags, stopWhenSet);
    return flags;
}

int16_t StatementFields::KeyName()
{
    int16_t code = 0;
    if (m_position < m_length)
        m_position = ParseKeyName(m_statement, m_position, &code);
    return code;
}

const char* StatementFields::Rest() const
{
    return m_position + 1 < m_length ? m_statement + m_position + 1 : "";
}

int StatementFields::FieldsLeft() const
{
    if (m_position >= m_length)
        return 0;
    CTexto rest;
    rest.Append(m_length - m_position, nullptr);
    for (int i = m_position + 1; i < m_length; i++)
        rest += m_statement[i];
    return CountFields(rest.GetText(), ',');
}

void StatementFields::Skip(int count)
{
    for (int i = 0; i < count; i++)
        Text();
}

CTexto StatementKey(const ReadingContext& context)
{
    CTexto key;
    for (const char* p = context.statement; p && *p && *p != '='; p++) {
        char c = *p;
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        key += c;
    }
    return key;
}

CFrame* ObjectFrame(const ReadingContext& context)
{
    if (context.sectionKind != SectionFrame)
        return nullptr;
    return context.currentFrame ? context.currentFrame : context.target;
}

ObjectItem* AppendObject(ReadingContext& context, ItemType kind)
{
    CFrame* frame = ObjectFrame(context);
    if (!frame)
        return nullptr;
    return static_cast<ObjectItem*>(context.ObjectsOf(frame).CreateItem(kind));
}

void ReadGroup(StatementFields& fields, ObjectItem* object, bool present)
{
    if (present)
        object->groupName = fields.Text();
}

void ReadNameAndVisible(StatementFields& fields, ObjectItem* object)
{
    object->name = fields.Text();
    if (fields.Integer() == 0)
        object->showFlags &= ~1;
}

void ReadPosition(StatementFields& fields, ObjectItem* object)
{
    object->x = fields.Percent(&object->layoutFlags, LayoutXPercent, &object->offsetX);
    object->y = fields.Percent(&object->layoutFlags, LayoutYPercent, &object->offsetY);
}

void ReadSize(StatementFields& fields, ObjectItem* object)
{
    object->width = fields.Percent(&object->layoutFlags, LayoutWidthPercent, &object->offsetWidth);
    object->height =
        fields.Percent(&object->layoutFlags, LayoutHeightPercent, &object->offsetHeight);
}

void MarkGivenSize(ObjectItem* object)
{
    if (object->width != 0.0f)
        object->layoutFlags |= LayoutWidthGiven;
    if (object->height != 0.0f)
        object->layoutFlags |= LayoutHeightGiven;
}

int EventSlotOfWord(const char* word)
{
    static const struct {
        const char* word;
        int slot;
    } kSlots[] = {
        {"disabled", EventDisabled}, {"press", EventPress},       {"release", EventRelease},
        {"rollover", EventRollover}, {"rollout", EventRollout},   {"stayinto", EventStayInto},
        {"click", EventClick},       {"releasecaptured", EventReleaseCaptured},
    };
    for (const auto& entry : kSlots) {
        if (_stricmp(word, entry.word) == 0)
            return entry.slot;
    }
    return EventDisabled;
}

ItemRecord* FindItemOfType(CObjeto& list, const char* name, ItemType type)
{
    for (CObjeto* node = list.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (record->type == type && record->name == name)
            return record;
    }
    return nullptr;
}

void AddObjectHandlers(ReaderHandlers& handlers)
{
    using K = ReaderKeyword;
    auto set = [&handlers](K keyword, StatementHandler handler) {
        handlers.keywords[static_cast<int>(keyword)] = handler;
    };
    set(K::Font, ReadFontStatement);
    set(K::Text, ReadTextStatement);
    set(K::Image, ReadImageStatement);
    set(K::Menu, ReadMenuObjectStatement);
    set(K::LensFlare, ReadLensFlareStatement);
    set(K::LineUtm, ReadLineUtmStatement);
    set(K::ViewerWindow, ReadViewerWindowStatement);
    set(K::Node, ReadNodeStatement);
    set(K::NodeStyle, ReadNodeStyleStatement);
    set(K::Button, ReadButtonStatement);
    set(K::EventsWindow, ReadEventsWindowStatement);
    set(K::AddEvent, ReadAddEventStatement);
    set(K::Key, ReadKeyStatement);
    set(K::Joystick, ReadJoystickStatement);
    set(K::SetTimer, ReadTimerStatement);
    set(K::PropertyCode, ReadPropertyCodeStatement);
    handlers.link = LinkReadItems;
}
