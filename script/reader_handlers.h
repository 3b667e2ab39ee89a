#pragma once
// The program's own statement handlers, by keyword group. Each group fills its entries of the
// handler table that BuiltInReaderHandlers (script/reader_keywords.cpp) hands the reader.
#include "script/reader.h"

// TYPE=, FILE=, DESCRIPTION=, the items a section makes and the keys that act on them: image
// options, link targets, text tooltips, menus (script/reader_sections.cpp).
void AddSectionHandlers(ReaderHandlers& handlers);
// The keys of a frame section: view, limits, camera and lens values, viewer-wide settings and
// the frame flag keys (script/reader_frame_keys.cpp).
void AddFrameKeyHandlers(ReaderHandlers& handlers);

// Index of the '=' of the spelling the statement matched: its first value is read from there.
int KeyValuePosition(const ReadingContext& context);

// FONTCOLOR=, FONTSIZE=, FONTNAME= and FONTBGCOLOR= in a section holding a text item (a text
// tooltip or a link): they style that item. True when the statement was taken so; in a frame
// section the same keys set the node defaults instead.
bool ApplyTextItemFontKey(ReadingContext& context);
