#include "core/item_list.h"

#include "core/item_records.h"
#include "core/object_item.h"

CObjeto::CObjeto() = default;

CObjeto::CObjeto(CObjeto* after, CObjeto* before)
{
    if (after) {
        m_prev = after;
        m_next = after->m_next;
        if (m_next)
            m_next->m_prev = this;
        after->m_next = this;
        m_index = after->m_index + 1;
        Renumber();
    } else if (before) {
        m_prev = before->m_prev;
        m_next = before;
        if (m_prev)
            m_prev->m_next = this;
        before->m_prev = this;
        m_index = before->m_index;
        Renumber();
    }
}

CObjeto::~CObjeto()
{
    if (!m_prev) {
        // The head: every node behind it goes, then its own record.
        CObjeto* node = m_next;
        m_next = nullptr;
        while (node) {
            CObjeto* following = node->m_next;
            ItemRecord* record = node->m_record;
            node->m_record = nullptr;
            node->m_prev = node->m_next = nullptr;
            delete node;
            DestroyItem(record);
            node = following;
        }
        ItemRecord* record = m_record;
        m_record = nullptr;
        m_index = -1;
        DestroyItem(record);
        return;
    }
    // A node deleted from outside the list: unlink it and destroy its record.
    CObjeto* head = GetHead();
    ItemRecord* record = m_record;
    m_record = nullptr;
    m_prev->m_next = m_next;
    if (m_next) {
        m_next->m_prev = m_prev;
        m_next->m_index = m_index;
        m_next->Renumber();
    }
    m_prev = m_next = nullptr;
    head->DestroyItem(record);
}

CObjeto* CObjeto::InsertItem(int32_t position, ItemRecord* record)
{
    CObjeto* head = GetHead();
    if (!record)
        return head;
    if (head->m_index == -1) {
        head->m_index = 0;
        head->m_record = record;
        head->m_count = 1;
        return head;
    }
    int32_t count = head->m_count;
    if (position < 0 || position > count)
        position = count;

    CObjeto* holder;
    if (position == 0) {
        CObjeto* node = new CObjeto(head, nullptr);
        node->m_record = head->m_record;
        head->m_record = record;
        holder = head;
    } else {
        CObjeto* after = head->GetNode(position - 1);
        if (!after) {
            // The count and the chain disagree; append behind the last node rather than lose the record.
            after = head;
            while (after->m_next)
                after = after->m_next;
        }
        holder = new CObjeto(after, nullptr);
        holder->m_record = record;
    }
    head->m_count++;
    return holder;
}

int32_t CObjeto::GetCount()
{
    CObjeto* head = GetHead();
    if (head->m_index == -1)
        head->m_count = 0;
    return head->m_count;
}

CObjeto* CObjeto::GetNode(int32_t index)
{
    if (index < 0)
        return nullptr;
    CObjeto* node = this;
    while (node && index < node->m_index)
        node = node->m_prev;
    while (node && index > node->m_index)
        node = node->m_next;
    if (!node || node->m_index != index)
        return nullptr;
    return node;
}

ItemRecord* CObjeto::GetItem(int32_t index)
{
    CObjeto* node = GetNode(index);
    return node ? node->m_record : nullptr;
}

CObjeto* CObjeto::GetHead()
{
    CObjeto* node = this;
    while (node->m_prev)
        node = node->m_prev;
    return node;
}

ItemType CObjeto::GetItemType(int32_t index)
{
    if (index < -1 || index > GetCount() - 1)
        return ItemType::None;
    ItemRecord* record = index == -1 ? m_record : GetItem(index);
    return record ? record->type : ItemType::None;
}

CObjeto* CObjeto::FindNodeOf(const ItemRecord* record)
{
    if (!record)
        return nullptr;
    for (CObjeto* node = GetHead(); node; node = node->m_next) {
        if (node->m_record == record)
            return node;
    }
    return nullptr;
}

int32_t CObjeto::IndexOf(const ItemRecord* record)
{
    CObjeto* node = FindNodeOf(record);
    return node ? node->m_index : 0;
}

ItemRecord* CObjeto::FindByName(const char* text)
{
    if (!text || !*text)
        return nullptr;
    for (CObjeto* node = GetHead(); node; node = node->m_next) {
        if (node->m_record && node->m_record->name == text)
            return node->m_record;
    }
    return nullptr;
}

ItemRecord* CObjeto::FindByValue(const char* text)
{
    if (!text || !*text)
        return nullptr;
    for (CObjeto* node = GetHead(); node; node = node->m_next) {
        if (node->m_record && node->m_record->value == text)
            return node->m_record;
    }
    return nullptr;
}

ItemRecord* CObjeto::FindByNumber(int32_t number)
{
    for (CObjeto* node = GetHead(); node; node = node->m_next) {
        if (node->m_record && node->m_record->number == number)
            return node->m_record;
    }
    return nullptr;
}

ItemRecord* CObjeto::FindByType(ItemType type, int32_t start)
{
    for (CObjeto* node = GetHead()->GetNode(start); node; node = node->m_next) {
        if (node->m_record && node->m_record->type == type)
            return node->m_record;
    }
    return nullptr;
}

ObjectItem* CObjeto::FindByObjectId(int32_t objectId)
{
    for (CObjeto* node = GetHead(); node; node = node->m_next) {
        auto* object = dynamic_cast<ObjectItem*>(node->m_record);
        if (object && object->objectId == objectId)
            return object;
    }
    return nullptr;
}

ObjectItem* CObjeto::FindByLinkedObject(const void* object)
{
    for (CObjeto* node = GetHead(); node; node = node->m_next) {
        auto* item = dynamic_cast<ObjectItem*>(node->m_record);
        if (item && item->linkedObject == object)
            return item;
    }
    return nullptr;
}

void CObjeto::DeleteNode(CObjeto* node)
{
    CObjeto* head = GetHead();
    if (node == head) {
        ItemRecord* record = head->m_record;
        if (head->m_next) {
            // The head stays the first node: it takes the second record and the second node goes.
            CObjeto* second = head->m_next;
            head->m_record = second->m_record;
            second->m_record = record;
            delete second;
        } else {
            head->m_record = nullptr;
            head->m_index = -1;
            head->DestroyItem(record);
        }
        return;
    }
    delete node;  // unlinks itself, renumbers the rest and destroys its record
}

void CObjeto::RemoveAt(int32_t index)
{
    int32_t count = GetCount();
    if (count == 0 || index > count - 1 || index < -1)
        return;
    if (index == -1)
        index = count - 1;
    CObjeto* node = GetHead()->GetNode(index);
    if (node)
        DeleteNode(node);
}

void CObjeto::RemoveItem(const ItemRecord* record)
{
    CObjeto* node = FindNodeOf(record);
    if (node)
        DeleteNode(node);
}

void CObjeto::RemoveByName(const char* text)
{
    ItemRecord* record = FindByName(text);
    if (record)
        RemoveItem(record);
}

void CObjeto::RemoveByLinkedObject(const void* object)
{
    ObjectItem* record = FindByLinkedObject(object);
    if (record)
        RemoveItem(record);
}

void CObjeto::RemoveAll()
{
    CObjeto* head = GetHead();
    while (CObjeto* node = head->m_next) {
        head->m_next = node->m_next;
        if (node->m_next)
            node->m_next->m_prev = head;
        ItemRecord* record = node->m_record;
        node->m_record = nullptr;
        node->m_prev = node->m_next = nullptr;
        delete node;
        head->DestroyItem(record);
    }
    ItemRecord* record = head->m_record;
    head->m_record = nullptr;
    head->m_index = -1;
    head->DestroyItem(record);
    head->m_count = 0;
}

void CObjeto::MoveAllTo(CObjeto& destination)
{
    CObjeto* head = GetHead();
    CObjeto* target = destination.GetHead();
    if (head == target || head->m_index == -1)
        return;
    CObjeto* tail = target;
    while (tail->m_next)
        tail = tail->m_next;
    for (CObjeto* node = head; node; node = node->m_next) {
        ItemRecord* record = node->m_record;
        if (!record)
            continue;
        node->m_record = nullptr;
        if (target->m_index == -1) {
            target->m_index = 0;
            target->m_record = record;
            target->m_count = 1;
            tail = target;
        } else {
            tail = new CObjeto(tail, nullptr);
            tail->m_record = record;
            target->m_count++;
        }
    }
    // Every node is empty now: nothing is destroyed.
    RemoveAll();
}

void CObjeto::Renumber()
{
    int32_t index = m_index;
    for (CObjeto* node = m_next; node; node = node->m_next)
        node->m_index = ++index;
}
