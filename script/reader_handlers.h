#pragma once
// The program's own statement handlers, by keyword group. Each group fills its entries of the
// handler table that BuiltInReaderHandlers (script/reader_keywords.cpp) hands the reader.
#include <cstdint>

#include "script/reader.h"

struct CompiledCode;

// TYPE=, FILE=, DESCRIPTION=, the items a section makes and the keys that act on them: image
// options, link targets, text tooltips, menus (script/reader_sections.cpp).
void AddSectionHandlers(ReaderHandlers& handlers);
// The keys of a frame section: view, limits, camera and lens values, viewer-wide settings and
// the frame flag keys (script/reader_frame_keys.cpp).
void AddFrameKeyHandlers(ReaderHandlers& handlers);
// The object statements of frame sections and the linking after the read
// (script/reader_objects.h).
void AddObjectHandlers(ReaderHandlers& handlers);

// Index of the '=' of the spelling the statement matched: its first value is read from there.
int KeyValuePosition(const ReadingContext& context);
// The number in the field after position (ParseValueList: decimal, hexadecimal or a colour
// name; 0 when missing); *next, when given, gets the position after the field.
int32_t ReadStatementInteger(const ReadingContext& context, int position, int* next = nullptr);
float ReadStatementFloat(const ReadingContext& context, int position, int* next = nullptr);
// Compiles a command text of the statement into code, file names resolved against the script's
// folder (through the engine's compiler when the read has an engine).
void CompileStatementCode(ReadingContext& context, CompiledCode* code, const char* text);

// FONTCOLOR=, FONTSIZE=, FONTNAME= and FONTBGCOLOR= in a section holding a text item (a text
// tooltip or a link): they style that item. True when the statement was taken so; in a frame
// section the same keys set the node defaults instead.
bool ApplyTextItemFontKey(ReadingContext& context);
