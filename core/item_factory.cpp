// The item factory (CObjeto::CreateItem) and the clean-up by type (CObjeto::DestroyItem).
#include <atomic>

#include "core/item_list.h"
#include "core/item_records.h"
#include "core/object_item.h"

namespace {

// Object ids are unique across all lists and threads; the counter only grows during a run.
std::atomic<int32_t> g_nextObjectId{1};

ItemRecord* NewRecord(ItemType type)
{
    switch (type) {
    case ItemType::Frame: return new FrameItem;
    case ItemType::CompiledCode: return new CompiledCode;
    case ItemType::Text: return new TextItem;
    case ItemType::Value: return new ValueItem;
    case ItemType::Font: return new FontItem;
    case ItemType::Image: return new ImageItem;
    case ItemType::Mesh: return new MeshItem;
    case ItemType::Menu: return new MenuRecord;
    case ItemType::Group: return new GroupItem;
    case ItemType::CameraSequence: return new CameraSequence;
    case ItemType::LineMesh: return new LineMeshItem;
    case ItemType::ViewerWindow: return new ViewerWindowItem;
    case ItemType::Sound: return new SoundItem;
    case ItemType::FileFinder: return new FileFinderItem;
    default: break;
    }
    if (IsObjectItemType(type)) {
        ObjectItem* object = new ObjectItem;
        object->objectId = g_nextObjectId.fetch_add(1);
        return object;
    }
    return nullptr;  // the reserved code and unknown codes make no record
}

// Withdraws every tag of the object from a render device's resident list, so that the device
// never keeps a pointer to a freed sprite or mesh.
void WithdrawResident(CObjeto* residentList, const void* object)
{
    if (!residentList || !object)
        return;
    while (ObjectItem* tag = residentList->FindByLinkedObject(object))
        residentList->RemoveItem(tag);
}

}  // namespace

// Serial numbers are one above the highest in the list (and at least count + 1), so that they
// stay unique after removals and FindByNumber finds the right item.
int32_t CObjeto::NextSerialNumber()
{
    CObjeto* head = GetHead();
    int32_t highest = head->GetCount();
    for (CObjeto* node = head; node; node = node->m_next) {
        if (node->m_record && node->m_record->number > highest)
            highest = node->m_record->number;
    }
    return highest + 1;
}

ItemRecord* CObjeto::CreateItem(ItemType type, int32_t position)
{
    ItemRecord* record = NewRecord(type);
    if (!record)
        return nullptr;
    if (type >= ItemType::CompiledCode && type <= ItemType::FileFinder)
        record->number = NextSerialNumber();
    record->type = type;
    InsertItem(position, record);
    return record;
}

void CObjeto::DestroyItem(ItemRecord* record)
{
    if (!record)
        return;
    CObjeto* head = GetHead();
    if (head->m_count > 0)
        head->m_count--;

    // The records are told apart by their classes rather than their type words, because some
    // lists reuse type codes for records of their own.
    CObjeto* resident = head->residentList;
    if (auto* frameItem = dynamic_cast<FrameItem*>(record)) {
        CFrame& frame = frameItem->frame;
        if (!frame.objects.residentList)
            frame.objects.residentList = resident;
    } else if (auto* text = dynamic_cast<TextItem*>(record)) {
        WithdrawResident(resident, &text->sprite);
        text->sprite.Clear();
    } else if (auto* image = dynamic_cast<ImageItem*>(record)) {
        WithdrawResident(resident, &image->sprite);
        image->sprite.Clear();
    } else if (auto* mesh = dynamic_cast<MeshItem*>(record)) {
        WithdrawResident(resident, mesh->mesh);
    } else if (auto* line = dynamic_cast<LineMeshItem*>(record)) {
        WithdrawResident(resident, line->ribbon);
    } else if (auto* object = dynamic_cast<ObjectItem*>(record)) {
        WithdrawResident(resident, object->ownedObject);
    }
    // Each record's destructor releases the rest of what it owns: code buffers, fonts, meshes,
    // windows, sounds, file searches and nested lists.
    delete record;
}
