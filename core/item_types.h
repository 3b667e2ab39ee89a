#pragma once
// The type word of every item record: it chooses the record's layout, defaults and clean-up.
#include <cstdint>

enum class ItemType : uint16_t {
    None = 0,  // also an object record that nothing creates

    Frame = 1,
    CompiledCode = 2,
    Text = 3,
    Value = 4,
    Font = 5,
    Image = 6,
    Mesh = 7,
    Menu = 8,
    Group = 9,
    CameraSequence = 10,
    LineMesh = 11,
    ViewerWindow = 12,
    Sound = 13,
    FileFinder = 14,

    // Everything from here on is an ObjectItem record, told apart by these kinds.
    // Codes 15, 16, 17 and 19 are also taken by other lists for ObjectItem records of their own:
    // 15 the name/value pairs of a parameter list (name and value texts), 16 package entries,
    // image load-progress items and resident-texture tags, 17 file load-progress items and
    // resident-texture tags, 19 motion-detection zones and blocks and resident-texture tags.
    TextObject = 15,
    ImageObject = 16,  // also compasses
    EngineObject = 17,  // objects the engine creates itself, such as a frame's own images
    NodeHotspot = 18,
    NodeHotspot3D = 19,  // owns a 3D object of its own
    MenuObject = 20,
    UnusedObject = 21,  // an object record that nothing creates
    Reserved = 22,      // never created
    LineObject = 23,    // 3D lines
    KeyObject = 24,
    ButtonObject = 25,
    RotatingButtonObject = 26,
    SliderObject = 27,
    TimerObject = 28,
    JoystickObject = 29,
    ViewerWindowObject = 30,
    CodeObject = 31,  // activity and property code
    EventWindowObject = 32,
    BrowserObject = 33,
    LensFlareObject = 34,

    // The same codes under the names of the lists that reuse them.
    ParameterPair = TextObject,
    PackageEntry = ImageObject,
    ImageProgress = ImageObject,
    FileProgress = EngineObject,
    DetectionZone = NodeHotspot3D,
};

constexpr ItemType kLastItemType = ItemType::LensFlareObject;

// True for the codes that make ObjectItem records.
constexpr bool IsObjectItemType(ItemType type)
{
    return type == ItemType::None ||
           (type >= ItemType::TextObject && type <= kLastItemType && type != ItemType::Reserved);
}
