#pragma once
// The state of the script section being read: its kind (chosen by TYPE=), where its imagery
// comes from, the frame and items it has made so far, its FILE= and DESCRIPTION= texts and the
// node defaults that node statements of a frame section copy. Every statement handler of the
// reader sees it as part of its ReadingContext (script/reader.h).
#include <cstdint>

#include "core/text_string.h"

class CFrame;
struct ItemRecord;
struct MenuRecord;
struct TextItem;

// Section kinds (SectionState::sectionKind). The non-frame kinds equal the ItemType of the
// item the section creates.
enum SectionKind : int32_t {
    SectionIgnored = -1,       // no TYPE= yet, or an unknown one: statements are ignored
    SectionFrame = 0,
    SectionLink = 3,           // also a tooltip that holds a text
    SectionImage = 6,          // also an image tooltip
    SectionMenu = 8,
    SectionSequence = 10,
    SectionSound = 13,
    SectionSkippedFrame = -99, // a further frame section while reading into a target frame
};

// Source kinds a section uses besides the frame's SourceKind values (sources/frame.h).
constexpr int32_t kSourceTooltip = -3;  // an image section that is a tooltip

// What a node statement of a frame section takes when it gives no value of its own. Reset at
// every frame section's TYPE=.
struct NodeDefaults {
    CTexto image;                    // node image name; empty: the built-in one
    uint32_t drawModes = 0x2;        // TRANS
    int32_t fontColour = 0x10101;
    float fontSize = 13.5f;
    CTexto fontName = "Tahoma";
    int32_t fontBackColour = 0xFFFFFF;
};

// The options a tooltip image section gives the objects that use it as their tooltip. The reader
// allocates the block (malloc) with the section's image item and frees it when the read ends.
struct TooltipOptions {
    uint32_t drawModes = 0;
    int32_t opacity = 100;  // per cent
};
static_assert(sizeof(TooltipOptions) == 8, "the block is eight bytes");

struct SectionState {
    CTexto sectionName;
    int32_t sectionKind = SectionIgnored;  // SectionKind
    int32_t sourceKind = -1;       // SourceKind or kSourceTooltip; stored into the section's frame
    CFrame* currentFrame = nullptr;
    ItemRecord* currentItem = nullptr;   // the last image item the section created
    TextItem* currentText = nullptr;     // a link's or text tooltip's item
    MenuRecord* currentMenu = nullptr;   // the record of a menu section
    CTexto fileText;               // set by FILE=
    CTexto descriptionText;        // set by DESCRIPTION=
    bool itemsPending = false;     // raised by FILE=: the items are made after the statement
    uint8_t imageOption = 1;       // decode option of the section's images
    int frameSections = 0;         // frame sections met in this pass
    NodeDefaults node;
};
