#pragma once
// Object statements of frame sections: the rules every object keyword shares (where its values
// start, how fields are counted, the group field, name and visible, screen positions with their
// per-cent bits and offsets) and the handlers of the object keywords, spread over
//   script/reader_objects.cpp          StatementFields and the shared object rules
//   script/reader_display_objects.cpp  FONT=, TEXT..., IMAGE..., COMPASS=, BROWSER=, MENU=,
//                                      LENSFLARE=, 3DLINEUTM=, VIEWERWINDOW=
//   script/reader_interactive.cpp      NODO..., node style keys, BUTTON..., SLIDER=,
//                                      EVENTSWINDOW..., ADDEVENT=
//   script/reader_code_objects.cpp     KEY=, JOYSTICK=, SETTIMER=, ACTIVITYCODE=, PROPERTYCODE...
//   script/reader_link.cpp             linking after the last statement
#include <cstdint>

#include "core/text_string.h"
#include "script/reader.h"

struct CompiledCode;
struct ObjectItem;

// Reads the values of one statement strictly left to right, each read starting where the
// previous one ended. Reading past the last field yields 0 or an empty text.
class StatementFields {
public:
    // From the statement's first '=' on.
    explicit StatementFields(const ReadingContext& context);

    // The next field as text: blanks outside quotes dropped, quotes removed. With keepBlanks,
    // blanks stay and \n and \t become a line feed and a tab.
    CTexto Text(bool keepBlanks = false);
    int32_t Integer();
    float Float();
    // A value with a per-cent mark and a +n/-n offset: bit is set in *flags when the field ends
    // in '%' and cleared otherwise; the offset goes to *offset when the field has one (null
    // drops it).
    float Percent(int32_t* flags, int32_t bit, float* offset);
    // Flag words joined by '+' (ParseFlagWords).
    uint32_t Flags(bool stopWhenSet = false);
    int16_t KeyName();
    // Everything after the last field read, as it stands (the separator excluded).
    const char* Rest() const;
    // Number of fields after the last field read (0 at the end of the statement).
    int FieldsLeft() const;
    // Skips count fields.
    void Skip(int count);

private:
    const char* m_statement;
    int m_length;
    int m_position;
};

// The key of a statement in upper case, without its '=' (TEXT3DUTM for "text3dutm=...").
CTexto StatementKey(const ReadingContext& context);

// The frame whose objects a statement of the section makes: the section's frame (the target
// frame of a read into one); null outside frame sections.
CFrame* ObjectFrame(const ReadingContext& context);
// A new object of the kind on the section's current frame; null outside frame sections (the
// statement is then ignored).
ObjectItem* AppendObject(ReadingContext& context, ItemType kind);

// The group field, when present.
void ReadGroup(StatementFields& fields, ObjectItem* object, bool present);
// name and visible: a visible value of 0 hides the object.
void ReadNameAndVisible(StatementFields& fields, ObjectItem* object);
// x and y with their per-cent bits and offsets.
void ReadPosition(StatementFields& fields, ObjectItem* object);
// width and height with their per-cent bits and offsets.
void ReadSize(StatementFields& fields, ObjectItem* object);
// A non-zero width adds LayoutWidthGiven and a non-zero height LayoutHeightGiven.
void MarkGivenSize(ObjectItem* object);

// The event slot a word selects ("press", "release", ...); any other word selects slot 0.
int EventSlotOfWord(const char* word);

// The first item of the list with the name and the type; null when there is none. An item of
// the name but another type is passed over.
ItemRecord* FindItemOfType(CObjeto& list, const char* name, ItemType type);

// Keyword handlers, one per entry of the keyword table.
void ReadFontStatement(ReadingContext& context);
void ReadTextStatement(ReadingContext& context);
void ReadImageStatement(ReadingContext& context);
void ReadMenuObjectStatement(ReadingContext& context);
void ReadLensFlareStatement(ReadingContext& context);
void ReadLineUtmStatement(ReadingContext& context);
void ReadViewerWindowStatement(ReadingContext& context);
void ReadNodeStatement(ReadingContext& context);
// IMAGENODO=, FLAGSIMAGENODO= and the FONT keys: node defaults of a frame section, or the style
// of a text tooltip's or link's text item.
void ReadNodeStyleStatement(ReadingContext& context);
void ReadButtonStatement(ReadingContext& context);
void ReadEventsWindowStatement(ReadingContext& context);
void ReadAddEventStatement(ReadingContext& context);
void ReadKeyStatement(ReadingContext& context);
void ReadJoystickStatement(ReadingContext& context);
void ReadTimerStatement(ReadingContext& context);
void ReadPropertyCodeStatement(ReadingContext& context);
// Linking after the last statement; it also frees the tooltip options blocks of the level's
// images, cancelled or not.
void LinkReadItems(ReadingContext& context);

// Joystick words ("no", "xpos", ..., "button32"): the index of the word, 0 for none.
int JoystickWordIndex(const char* word);
// Property words of PROPERTYCODE=: the code, -1 for a word not in the table.
int PropertyWordCode(const char* word);
