#pragma once
// Item records: a fixed header followed by the payload its ItemType decides. Records are made by
// the item factory (CObjeto::CreateItem) and destroyed by CObjeto::DestroyItem; code holding an
// ItemRecord pointer casts it by its type word. A record's destructor releases what it owns; the
// list adds the clean-up that needs the list (the render device's resident list).
//
// Buffers a record owns through a plain pointer are malloc'ed and freed with free().
#include <windows.h>

#include <cstdint>

#include "core/item_list.h"
#include "core/item_types.h"
#include "core/text_string.h"
#include "images/sprite.h"
#include "render/camera_state.h"
#include "sources/frame.h"
#include "viewer/viewer_window.h"

class CObjeto3D;

struct ItemRecord {
    ItemRecord() = default;
    virtual ~ItemRecord() = default;

    ItemRecord(const ItemRecord&) = delete;
    ItemRecord& operator=(const ItemRecord&) = delete;

    ItemType type = ItemType::None;
    // For most types a serial number within its list (image lists are searched by it); 0 for
    // frames and objects; some lists use it as a flag or key of their own.
    int32_t number = 0;
    CTexto name;   // key of CObjeto::FindByName
    CTexto value;  // second text: a parameter's value, an object's text, a group name; key of FindByValue
};

// A block of compiled commands (its byte format belongs to the command compiler). Also the nine
// event slots of every ObjectItem.
struct CompiledCode : ItemRecord {
    CompiledCode() { type = ItemType::CompiledCode; }
    ~CompiledCode() override;

    // Replaces the code by a malloc'ed copy of length bytes; false (code emptied) when no memory.
    bool AssignCode(const void* bytes, int32_t length);
    void ReleaseCode();

    float speed = 1.0f;
    int32_t length = 0;
    // Owned. Until linking, a menu entry naming a target holds here a buffer whose first six
    // floats are its node values, with length 0.
    uint8_t* code = nullptr;
    int32_t resume = 0;  // position at which an interrupted run resumes
};

struct FrameItem : ItemRecord {
    uint8_t flag = 0;
    CFrame frame;  // its name is the frame's name, not the record's
};

struct TextItem : ItemRecord {
    CTexto fontFace = "Tahoma";  // a link keeps its target here
    float fontSize = 13.5f;
    int32_t width = 300;
    int32_t backColor = 0;
    int32_t textColor = 0x010101;
    CTexto text;
    CSprite sprite;  // the rendered text
};

// A named text; also the layout of temporary records that belong to no list.
struct ValueItem : ItemRecord {
    CTexto text;
};

struct FontItem : ItemRecord {
    FontItem();
    ~FontItem() override;

    LOGFONTA logFont;
    HFONT font = nullptr;  // owned
};

struct ImageItem : ItemRecord {
    ImageItem();

    CSprite sprite;
    uint8_t inUse = 0;          // a shown frame uses the image
    uint8_t cameraPreview = 0;  // made by the camera server to hold a camera's preview
    float previewExpiry = 0;    // seconds after which the camera server removes such an image
};

struct MeshItem : ItemRecord {
    MeshItem();
    ~MeshItem() override;

    uint8_t flag = 0;
    CObjeto3D* mesh;  // owned
};

enum MenuStyle : int { MenuStyleNormal = 0, MenuStyleHighlighted = 1 };

struct MenuRecord : ItemRecord {
    MenuRecord() { type = ItemType::Menu; }

    int32_t textColor[2] = {0xFFFFFF, 0};
    int32_t backColor[2] = {0, 0xFFFFFF};
    uint8_t backAlpha[2] = {100, 100};
    CTexto fontName[2];
    CObjeto entryTexts[2];  // per style, one TextItem per entry
    CObjeto entries;        // one CompiledCode per entry
};

struct GroupItem : ItemRecord {
    CObjeto members;
};

struct CameraKey {
    float time;  // seconds from the sequence start
    float x, y, z;
    float zoom;  // 45 / field of view in degrees
    float tilt, pan, roll;
    float teleX, teleY, teleZoom;
    uint32_t flags;  // bit 0: the telescope view is shown
};

constexpr int kMaxCameraKeys = 2001;

struct CameraSequence : ItemRecord {
    CTexto fileName;
    int32_t keyCount = 0;
    CameraKey keys[kMaxCameraKeys] = {};  // key 0 is the player's; keys 1..count come from the file
};

struct LineMeshItem : ItemRecord {
    LineMeshItem();
    ~LineMeshItem() override;

    uint8_t utmPending = 0;
    uint8_t buildPending = 0;
    float width = 0;
    int32_t colour = 0xFFFFFF;
    float bounds[6] = {};           // centre x, y, z and half extents of the laid line
    float* points = nullptr;        // owned, three floats per point
    int32_t pointCount = 0;
    float* groundPoints = nullptr;  // owned, three floats per point
    int32_t groundCount = 0;
    int32_t groundCapacity = 0;
    int32_t readyPoints = 0;
    int32_t segmentsDone = 0;
    CObjeto3D* ribbon;  // owned
};

struct ViewerWindowItem : ItemRecord {
    ~ViewerWindowItem() override;

    CVentanaVisor window;
    CameraState lastCamera;     // the camera last shown
    CameraState workingCamera;
    uint8_t inUse = 0;  // a shown frame uses the window
};

struct SoundItem : ItemRecord {
    ~SoundItem() override;

    CTexto file;
    uint8_t opened = 0;  // an MCI open under the item's name (the alias) was attempted
};

// A file search kept open between the file-finder commands.
struct FileSearch {
    FileSearch() = default;
    ~FileSearch() { Close(); }
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;

    void Close();

    HANDLE handle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA data = {};
};

struct FileFinderItem : ItemRecord {
    CTexto folder;   // ends in a path separator
    CTexto pattern;
    CTexto lastFile;
    CTexto extra;
    int32_t selectionMode = 0;
    int32_t found = 0;
    FileSearch search;
};
