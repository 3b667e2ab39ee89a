#include "core/item_records.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <mmsystem.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/object_item.h"
#include "render/mesh.h"
#include "render/render_device.h"
#include "sources/video_source.h"

namespace {

// Bytes in use on the run-time library's heap, where new and malloc take their memory.
size_t HeapBytesInUse()
{
    HANDLE heap = reinterpret_cast<HANDLE>(_get_heap_handle());
    PROCESS_HEAP_ENTRY entry;
    entry.lpData = nullptr;
    size_t used = 0;
    HeapLock(heap);
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
            used += entry.cbData;
    }
    HeapUnlock(heap);
    return used;
}

void CheckObjectDefaults(ItemRecord* record)
{
    auto* o = static_cast<ObjectItem*>(record);
    EXPECT_EQ(o->number, 0);
    EXPECT_GT(o->objectId, 0);
    EXPECT_EQ(o->showFlags, 3);
    EXPECT_EQ(o->active, 1);
    EXPECT_EQ(o->scaleX, 100.0f);
    EXPECT_EQ(o->scaleY, 100.0f);
    EXPECT_EQ(o->zoom, 1.0f);
    EXPECT_EQ(o->color2, 0xFFFFFF);
    EXPECT_EQ(o->alpha, 100);
    for (uint8_t a : o->stateAlpha)
        EXPECT_EQ(a, 100);
    EXPECT_EQ(o->dragParams[0], -30000);
    EXPECT_EQ(o->dragParams[1], 0);
    EXPECT_STREQ(o->fontItemName.GetText(), "0");
    EXPECT_EQ(o->fontSize, 13.5f);
    EXPECT_EQ(o->tooltipWidth, 300);
    EXPECT_STREQ(o->fontFace.GetText(), "Tahoma");
    EXPECT_EQ(o->selection, -1);
    EXPECT_EQ(o->linkedObject, nullptr);
    EXPECT_EQ(o->ownedObject, nullptr);
    // Event slots hold no code: running any of them does nothing.
    for (const CompiledCode& slot : o->events) {
        EXPECT_EQ(slot.type, ItemType::CompiledCode);
        EXPECT_EQ(slot.number, 0);
        EXPECT_EQ(slot.speed, 1.0f);
        EXPECT_EQ(slot.length, 0);
        EXPECT_EQ(slot.code, nullptr);
    }
}

struct DefaultsCase {
    ItemType type;
    std::function<void(ItemRecord*)> check;
};

TEST(ItemRecords, FactoryDefaultsByType)
{
    const std::vector<DefaultsCase> cases = {
        {ItemType::Frame,
         [](ItemRecord* r) {
             auto* f = static_cast<FrameItem*>(r);
             EXPECT_EQ(f->flag, 0);
             EXPECT_EQ(f->frame.objects.GetCount(), 0);
         }},
        {ItemType::CompiledCode,
         [](ItemRecord* r) {
             auto* c = static_cast<CompiledCode*>(r);
             EXPECT_EQ(c->speed, 1.0f);
             EXPECT_EQ(c->length, 0);
             EXPECT_EQ(c->code, nullptr);
             EXPECT_EQ(c->resume, 0);
         }},
        {ItemType::Text,
         [](ItemRecord* r) {
             auto* t = static_cast<TextItem*>(r);
             EXPECT_STREQ(t->fontFace.GetText(), "Tahoma");
             EXPECT_EQ(t->fontSize, 13.5f);
             EXPECT_EQ(t->width, 300);
             EXPECT_EQ(t->backColor, 0);
             EXPECT_EQ(t->textColor, 0x010101);
             EXPECT_EQ(t->sprite.loadFlags, 0u);
         }},
        {ItemType::Value, [](ItemRecord* r) { EXPECT_STREQ(static_cast<ValueItem*>(r)->text.GetText(), ""); }},
        {ItemType::Font,
         [](ItemRecord* r) {
             const LOGFONTA& lf = static_cast<FontItem*>(r)->logFont;
             EXPECT_EQ(lf.lfHeight, 13);
             EXPECT_EQ(lf.lfWeight, 400);
             EXPECT_EQ(lf.lfCharSet, 1);
             EXPECT_EQ(lf.lfOutPrecision, 4);
             EXPECT_EQ(lf.lfQuality, 4);
             EXPECT_STREQ(lf.lfFaceName, "Tahoma");
             EXPECT_EQ(lf.lfWidth, 0);
             EXPECT_EQ(lf.lfItalic, 0);
             EXPECT_EQ(static_cast<FontItem*>(r)->font, nullptr);
         }},
        {ItemType::Image,
         [](ItemRecord* r) {
             auto* i = static_cast<ImageItem*>(r);
             EXPECT_EQ(i->sprite.loadFlags, SpriteLoadEnabled | SpriteLoadWanted);
             EXPECT_EQ(i->inUse, 0);
             EXPECT_EQ(i->cameraPreview, 0);
             EXPECT_EQ(i->previewExpiry, 0.0f);
         }},
        {ItemType::Mesh, [](ItemRecord* r) { EXPECT_NE(static_cast<MeshItem*>(r)->mesh, nullptr); }},
        {ItemType::Menu,
         [](ItemRecord* r) {
             auto* m = static_cast<MenuRecord*>(r);
             EXPECT_EQ(m->textColor[0], 0xFFFFFF);
             EXPECT_EQ(m->textColor[1], 0);
             EXPECT_EQ(m->backColor[0], 0);
             EXPECT_EQ(m->backColor[1], 0xFFFFFF);
             EXPECT_EQ(m->backAlpha[0], 100);
             EXPECT_EQ(m->backAlpha[1], 100);
             EXPECT_EQ(m->entries.GetCount(), 0);
         }},
        {ItemType::Group, [](ItemRecord* r) { EXPECT_EQ(static_cast<GroupItem*>(r)->members.GetCount(), 0); }},
        {ItemType::CameraSequence,
         [](ItemRecord* r) {
             auto* s = static_cast<CameraSequence*>(r);
             EXPECT_EQ(s->keyCount, 0);
             EXPECT_EQ(s->keys[kMaxCameraKeys - 1].time, 0.0f);
         }},
        {ItemType::LineMesh,
         [](ItemRecord* r) {
             auto* l = static_cast<LineMeshItem*>(r);
             EXPECT_EQ(l->colour, 0xFFFFFF);
             EXPECT_EQ(l->points, nullptr);
             EXPECT_EQ(l->groundCapacity, 0);
             EXPECT_NE(l->ribbon, nullptr);
         }},
        {ItemType::ViewerWindow,
         [](ItemRecord* r) {
             auto* v = static_cast<ViewerWindowItem*>(r);
             EXPECT_EQ(v->inUse, 0);
             EXPECT_EQ(v->window.m_hWnd, nullptr);
             EXPECT_EQ(v->lastCamera.zoom, 0.0f);
             EXPECT_EQ(v->workingCamera.sequence, nullptr);
         }},
        {ItemType::Sound, [](ItemRecord* r) { EXPECT_EQ(static_cast<SoundItem*>(r)->opened, 0); }},
        {ItemType::FileFinder,
         [](ItemRecord* r) {
             auto* f = static_cast<FileFinderItem*>(r);
             EXPECT_EQ(f->selectionMode, 0);
             EXPECT_EQ(f->found, 0);
             EXPECT_EQ(f->search.handle, INVALID_HANDLE_VALUE);
         }},
    };

    CObjeto list;
    int serial = 0;
    for (const DefaultsCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        ItemRecord* record = list.CreateItem(c.type);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->type, c.type);
        EXPECT_EQ(list.GetItem(list.GetCount() - 1), record);
        if (c.type == ItemType::Frame) {
            EXPECT_EQ(record->number, 0);
            serial++;  // the frame is counted by the next serial
        } else {
            EXPECT_EQ(record->number, ++serial);
        }
        c.check(record);
    }

    for (int code : {0, 15, 16, 17, 18, 19, 20, 21, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34}) {
        SCOPED_TRACE(code);
        ItemRecord* record = list.CreateItem(static_cast<ItemType>(code));
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(static_cast<int>(record->type), code);
        CheckObjectDefaults(record);
    }

    // The reserved code and unknown codes make nothing.
    int32_t count = list.GetCount();
    EXPECT_EQ(list.CreateItem(ItemType::Reserved), nullptr);
    EXPECT_EQ(list.CreateItem(static_cast<ItemType>(35)), nullptr);
    EXPECT_EQ(list.GetCount(), count);
}

TEST(ItemRecords, SerialNumbersNeverCollideAfterRemovals)
{
    CObjeto list;
    ItemRecord* first = list.CreateItem(ItemType::Value);
    ItemRecord* second = list.CreateItem(ItemType::Value);
    EXPECT_EQ(first->number, 1);
    EXPECT_EQ(second->number, 2);

    list.RemoveItem(first);
    EXPECT_EQ(second->number, 2);  // numbers are serials, indexes are positions
    ItemRecord* third = list.CreateItem(ItemType::Image);
    EXPECT_EQ(third->number, 3);
    EXPECT_EQ(list.FindByNumber(2), second);
    EXPECT_EQ(list.FindByNumber(3), third);

    list.RemoveItem(third);
    EXPECT_EQ(list.CreateItem(ItemType::Text, 0)->number, 3);

    // Objects take number 0 but count for the next serial like every item.
    CObjeto mixed;
    mixed.CreateItem(ItemType::ButtonObject);
    mixed.CreateItem(ItemType::ButtonObject);
    EXPECT_EQ(mixed.GetItem(1)->number, 0);
    EXPECT_EQ(mixed.CreateItem(ItemType::Value)->number, 3);
}

TEST(ItemRecords, ObjectIdsGrowAcrossLists)
{
    CObjeto a;
    CObjeto b;
    auto* first = static_cast<ObjectItem*>(a.CreateItem(ItemType::TextObject));
    auto* second = static_cast<ObjectItem*>(b.CreateItem(ItemType::NodeHotspot));
    auto* third = static_cast<ObjectItem*>(a.CreateItem(ItemType::SliderObject, 0));
    EXPECT_LT(first->objectId, second->objectId);
    EXPECT_LT(second->objectId, third->objectId);
    EXPECT_EQ(b.FindByObjectId(second->objectId), second);
    EXPECT_EQ(b.FindByObjectId(first->objectId), nullptr);
}

// Fills every record with what it can own, so that releasing it has work to do.
void PopulateRecord(ItemRecord* record)
{
    static const uint8_t kCode[] = {1, 2, 3, 4, 5, 6, 7, 8};
    record->name = "a name long enough to need a heap buffer";
    record->value = "a value long enough to need a heap buffer";
    switch (record->type) {
    case ItemType::Frame: {
        CFrame& frame = static_cast<FrameItem*>(record)->frame;
        frame.name = "frame name of some length";
        frame.objects.CreateItem(ItemType::ImageObject);
        static_cast<ImageItem*>(frame.objects.CreateItem(ItemType::Image))->sprite.video = new CDirectShowVideo;
        break;
    }
    case ItemType::CompiledCode:
        static_cast<CompiledCode*>(record)->AssignCode(kCode, sizeof kCode);
        break;
    case ItemType::Text:
        static_cast<TextItem*>(record)->text = "some text to render into the sprite";
        static_cast<TextItem*>(record)->sprite.video = new CDirectShowVideo;
        break;
    case ItemType::Image:
        static_cast<ImageItem*>(record)->sprite.video = new CDirectShowVideo;
        break;
    case ItemType::Menu: {
        auto* menu = static_cast<MenuRecord*>(record);
        menu->fontName[1] = "a font name of some length";
        static_cast<TextItem*>(menu->entryTexts[0].CreateItem(ItemType::Text))->text = "entry label text";
        static_cast<CompiledCode*>(menu->entries.CreateItem(ItemType::CompiledCode))->AssignCode(kCode, sizeof kCode);
        break;
    }
    case ItemType::Group: {
        CObjeto& members = static_cast<GroupItem*>(record)->members;
        members.CreateItem(ItemType::Value);
        auto* nested = static_cast<GroupItem*>(members.CreateItem(ItemType::Group));
        nested->members.CreateItem(ItemType::Mesh);
        break;
    }
    case ItemType::CameraSequence:
        static_cast<CameraSequence*>(record)->fileName = "a sequence file name.txt";
        break;
    case ItemType::LineMesh: {
        auto* line = static_cast<LineMeshItem*>(record);
        line->points = static_cast<float*>(std::malloc(30 * sizeof(float)));
        line->pointCount = 10;
        line->groundPoints = static_cast<float*>(std::malloc(60 * sizeof(float)));
        line->groundCapacity = 20;
        break;
    }
    case ItemType::ViewerWindow:
        static_cast<ViewerWindowItem*>(record)->window.device = new CObjeto2D;
        break;
    case ItemType::Sound:
        static_cast<SoundItem*>(record)->file = "a sound file name.wav";
        break;
    case ItemType::FileFinder:
        static_cast<FileFinderItem*>(record)->pattern = "a file pattern *.jpg";
        break;
    default:
        if (IsObjectItemType(record->type)) {
            auto* object = static_cast<ObjectItem*>(record);
            object->auxText = "an auxiliary name of some length";
            object->stateImageName[2] = "a state image name of some length";
            object->events[EventClick].AssignCode(kCode, sizeof kCode);
            object->events[EventReleaseCaptured].AssignCode(kCode, sizeof kCode);
            if (record->type == ItemType::NodeHotspot3D)
                object->ownedObject = new CObjeto3D;
        }
        break;
    }
}

TEST(ItemRecords, EveryTypeIsReleasedWithoutLeaks)
{
    std::vector<ItemType> types;
    for (int code = 0; code <= static_cast<int>(kLastItemType); code++) {
        if (code != static_cast<int>(ItemType::Reserved))
            types.push_back(static_cast<ItemType>(code));
    }
    CObjeto2D device;

    // One round through every way out: RemoveAt, RemoveItem, RemoveAll and the list's destruction.
    auto round = [&types, &device] {
        for (ItemType type : types) {
            auto* list = new CObjeto;
            list->residentList = &device.residentList;
            for (int i = 0; i < 4; i++)
                PopulateRecord(list->CreateItem(type, i % 2 ? 0 : -1));
            list->RemoveAt(0);
            list->RemoveItem(list->GetItem(1));
            list->RemoveAll();
            PopulateRecord(list->CreateItem(type));
            PopulateRecord(list->CreateItem(type));
            delete list;
        }
    };

    round();  // first use may set up lasting state in the run-time libraries
    size_t before = HeapBytesInUse();
    for (int i = 0; i < 20; i++)
        round();
    size_t after = HeapBytesInUse();
    EXPECT_EQ(after, before);
}

TEST(ItemRecords, ReleasedSpritesAndMeshesLeaveTheResidentList)
{
    CObjeto2D device;
    CObjeto& resident = device.residentList;
    auto tag = [&resident](void* object, ItemType kind = ItemType::ImageProgress) {
        static_cast<ObjectItem*>(resident.CreateItem(kind))->linkedObject = object;
    };

    CObjeto list;
    list.residentList = &resident;
    auto* text = static_cast<TextItem*>(list.CreateItem(ItemType::Text));
    auto* image = static_cast<ImageItem*>(list.CreateItem(ItemType::Image));
    auto* mesh = static_cast<MeshItem*>(list.CreateItem(ItemType::Mesh));
    auto* line = static_cast<LineMeshItem*>(list.CreateItem(ItemType::LineMesh));
    auto* node = static_cast<ObjectItem*>(list.CreateItem(ItemType::NodeHotspot3D));
    node->ownedObject = new CObjeto3D;
    int unrelated = 0;

    tag(&text->sprite);
    tag(&image->sprite);
    tag(&image->sprite, ItemType::FileProgress);  // registered twice: both tags must go
    tag(mesh->mesh);
    tag(line->ribbon);
    tag(node->ownedObject);
    tag(&unrelated);
    image->sprite.video = new CDirectShowVideo;
    image->sprite.loadState = SpriteLoaded;
    ASSERT_EQ(resident.GetCount(), 7);

    list.RemoveItem(image);
    EXPECT_EQ(resident.GetCount(), 5);
    EXPECT_EQ(resident.FindByLinkedObject(&unrelated)->linkedObject, &unrelated);

    list.RemoveAll();
    EXPECT_EQ(resident.GetCount(), 1);
    EXPECT_NE(resident.FindByLinkedObject(&unrelated), nullptr);
}

TEST(ItemRecords, FrameItemHandsTheResidentListToItsFrame)
{
    CObjeto2D listDevice;
    CObjeto2D frameDevice;
    CObjeto frames;
    frames.residentList = &listDevice.residentList;

    // A frame without a resident list of its own withdraws its objects' sprites from the list's.
    auto* plain = static_cast<FrameItem*>(frames.CreateItem(ItemType::Frame));
    auto* image = static_cast<ImageItem*>(plain->frame.objects.CreateItem(ItemType::Image));
    static_cast<ObjectItem*>(listDevice.residentList.CreateItem(ItemType::ImageProgress))->linkedObject = &image->sprite;

    // A frame with its own keeps it.
    auto* own = static_cast<FrameItem*>(frames.CreateItem(ItemType::Frame));
    own->frame.device = &frameDevice;
    own->frame.objects.residentList = &frameDevice.residentList;
    auto* ownImage = static_cast<ImageItem*>(own->frame.objects.CreateItem(ItemType::Image));
    static_cast<ObjectItem*>(frameDevice.residentList.CreateItem(ItemType::ImageProgress))->linkedObject = &ownImage->sprite;
    static_cast<ObjectItem*>(listDevice.residentList.CreateItem(ItemType::ImageProgress))->linkedObject = &ownImage->sprite;

    frames.RemoveAll();
    EXPECT_EQ(listDevice.residentList.FindByLinkedObject(&image->sprite), nullptr);
    EXPECT_EQ(frameDevice.residentList.GetCount(), 0);
    EXPECT_EQ(listDevice.residentList.GetCount(), 1);  // the own frame's tag in the other list stays
}

TEST(ItemRecords, ReleasingFreesWindowsAndFonts)
{
    CObjeto list;
    auto* viewer = static_cast<ViewerWindowItem*>(list.CreateItem(ItemType::ViewerWindow));
    HWND window = CreateWindowExA(0, "STATIC", "viewer", WS_POPUP, 0, 0, 64, 48, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    viewer->window.m_hWnd = window;
    viewer->window.device = new CObjeto2D;

    auto* font = static_cast<FontItem*>(list.CreateItem(ItemType::Font));
    font->font = CreateFontIndirectA(&font->logFont);
    ASSERT_NE(font->font, nullptr);
    HFONT handle = font->font;

    list.RemoveAll();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(GetObjectType(handle), 0u);
}

bool AliasIsOpen(const char* alias)
{
    char reply[64];
    std::string command = std::string("status ") + alias + " mode";
    return mciSendStringA(command.c_str(), reply, sizeof reply, nullptr) == 0;
}

TEST(ItemRecords, SoundItemClosesItsAliasOnlyWhenOpened)
{
    ASSERT_EQ(mciSendStringA("open new type waveaudio alias lumarixsnd1", nullptr, 0, nullptr), 0u);
    ASSERT_EQ(mciSendStringA("open new type waveaudio alias lumarixsnd2", nullptr, 0, nullptr), 0u);
    ASSERT_TRUE(AliasIsOpen("lumarixsnd1"));

    CObjeto list;
    auto* opened = static_cast<SoundItem*>(list.CreateItem(ItemType::Sound));
    opened->name = "lumarixsnd1";
    opened->opened = 1;
    auto* neverOpened = static_cast<SoundItem*>(list.CreateItem(ItemType::Sound));
    neverOpened->name = "lumarixsnd2";

    list.RemoveAll();
    EXPECT_FALSE(AliasIsOpen("lumarixsnd1"));
    EXPECT_TRUE(AliasIsOpen("lumarixsnd2"));  // never opened: no command was sent for it
    mciSendStringA("close lumarixsnd2", nullptr, 0, nullptr);
}

}  // namespace
