#pragma once
// ObjectItem: the record of every interface and scene object (item types 0, 15-21 and 23-34).
// What a member means for one kind of object is up to the code that reads that kind; the
// comments give the common meanings.
#include <cstdint>

#include "core/item_records.h"

class CObjeto3D;

// ObjectItem::showFlags
enum ObjectShowFlags : int32_t {
    ObjectShown = 0x3,     // both bits set: shown; bit 0 is cleared by hiding
    ObjectBuiltIn = 0x4,   // operations on all objects skip it
};

// ObjectItem::layoutFlags
enum ObjectLayoutFlags : int32_t {
    LayoutShortenLabel10 = 0x2,  // shorten a scene text label's box by 10 pixels
    LayoutShortenLabel5 = 0x4,   // ... by 5 pixels
    LayoutXPercent = 0x40,
    LayoutYPercent = 0x80,
    LayoutWidthPercent = 0x100,
    LayoutHeightPercent = 0x200,
    LayoutWidthGiven = 0x400,
    LayoutHeightGiven = 0x800,
    LayoutDragging = 0x1000,
    LayoutDone = 0x2000,
    LayoutRangeXPercent = 0x10000,
    LayoutRangeYPercent = 0x20000,
};

// ObjectItem::align
enum ObjectAlign : uint8_t {
    AlignHorizontalMask = 0x03,  // 1: x marks the centre, 2: x marks the right edge
    AlignFromRight = 0x04,
    AlignFromCentreX = 0x08,
    AlignVerticalMask = 0x30,    // 0x10 centre, 0x20 bottom
    AlignFromBottom = 0x40,
    AlignFromCentreY = 0x80,
};

// ObjectItem::stateFlags
enum ObjectStateFlags : int32_t {
    StateKeepAspect = 0x800000,
    StateFollowOrientation = 0x1000000,
};

// ObjectItem::fadeDirection, ObjectItem::scaleDirection
enum ObjectTransition : uint8_t { TransitionNone = 0, TransitionIn = 1, TransitionOut = 2 };

// ObjectItem::placement (node hotspots)
enum HotspotPlacement : uint8_t {
    PlacementDefault = 0,
    PlacementBuiltInImage1 = 1,
    PlacementBuiltInImage2 = 2,
    PlacementOwnImage = 3,
    PlacementOwnImageOnQuad = 4,
    PlacementOwnImageInView = 5,
};

// Index into ObjectItem::events.
enum ObjectEvent : int {
    EventDisabled = 0,  // rotating buttons and sliders: the value slot (x movement)
    EventPress = 1,
    EventRelease = 2,
    EventRollover = 3,
    EventRollout = 4,
    EventStayInto = 5,
    EventClick = 6,
    EventMoveY = 7,  // no statement word: the y movement of a slider
    EventReleaseCaptured = 8,
    EventCount = 9,
};

struct ObjectItem : ItemRecord {
    ObjectItem();
    ~ObjectItem() override;

    // The four corners of a type-19 node's quad: boundsMin names the first corner, boundsMax the
    // last; their midpoint is the node's scene point.
    float* boundsMin() { return quadCorners[0]; }
    float* boundsMax() { return quadCorners[3]; }

    CTexto groupName;
    int16_t level = 0;     // interface level (0-2) whose lists hold the object's images
    int32_t objectId = 0;  // unique, from the process-wide counter (CObjeto::FindByObjectId)
    int32_t showFlags = ObjectShown;
    uint8_t active = 1;    // the object's timer runs
    uint8_t utmFlag = 0;   // position given in UTM coordinates, not converted yet
    uint8_t inScene = 0;   // screen position projected from x, y, z
    int32_t mode = 0;      // kind-specific selector
    uint8_t kindFlag = 1;  // a record of the engine's sound list: the sound loops
    uint8_t joystickInputs[2] = {};
    int16_t keyCode = 0;
    int16_t keyCode2 = 0;
    int32_t stateImage[4] = {};  // per state: number of the image item drawn, 0 until resolved
    CTexto auxText;              // name of the item the object draws or reads
    CTexto stateImageName[4];
    float x = 0, y = 0, z = 0;
    float rotX = 0, rotY = 0, rotZ = 0;
    float screenX = 0, screenY = 0, depth = 0;
    float placedRect[4] = {};  // last rectangle given to a browser object's hosted window
    float angle = 0;           // drawing rotation in degrees
    float value = 0;           // angle of a rotating button, extra rotation of an image
    float grabAngle = 0;
    float offsetX = 0, offsetY = 0;
    float offsetWidth = 0, offsetHeight = 0;
    float rangeX = 0, rangeY = 0;
    float rangeOffsetX = 0, rangeOffsetY = 0;
    float travelX = 0, travelY = 0;
    float width = 0, height = 0;
    float drawWidth = 0, drawHeight = 0;
    float scaleX = 100, scaleY = 100;  // per cent
    float grabX = 0, grabY = 0;
    float sliderValue = 0;
    float zoom = 1.0f;
    int32_t textColor = 0;
    int32_t color2 = 0xFFFFFF;  // modulation colour; white leaves the image unchanged
    int32_t backColor = 0;
    uint8_t stateAlpha[4] = {100, 100, 100, 100};
    uint8_t alpha = 100;  // drawn opacity = alpha x stateAlpha[state] / 100
    uint8_t fadeDirection = TransitionNone;
    uint8_t fadeTarget = 0;
    uint8_t scaleDirection[2] = {};
    float scaleTarget[2] = {};
    int32_t shiftX = 0, shiftY = 0;
    int32_t dragGrab[2] = {};
    int32_t dragParams[2] = {-30000, 0};
    float quadCorners[4][3] = {};
    uint8_t align = 0;
    CTexto fontItemName = "0";  // "0" is the first built-in font
    float fontSize = 13.5f;     // of the object's tooltip
    int16_t tooltipWidth = 300;
    CTexto fontFace = "Tahoma";
    uint8_t hoverCode = 0;
    uint8_t placement = PlacementDefault;
    int32_t stateFlags[4] = {};
    int32_t lastPointX = 0, lastPointY = 0;
    uint8_t visibleCache = 0;
    int32_t visibleCountdown = 0;
    int32_t layoutFlags = 0;
    void* linkedObject = nullptr;        // the sprite or mesh the resident list knows it by
    CObjeto3D* ownedObject = nullptr;    // owned by a type-19 hotspot
    CompiledCode events[EventCount];
    float timerStart = 0, timerPeriod = 0;
    float scaleStart[2] = {};
    float scaleDuration[2] = {};
    uint8_t onScreen = 0;
    int32_t state = 0;       // 0 pointer not over, 1 over, 2 over and pressed, 3 fourth image
    int32_t selection = -1;  // menu entry under the pointer
};
