#pragma once
// CObjeto: the one container of the program. A list of typed item records in which list and node
// are the same class: the head is the object its owner embeds or allocates and stays the first
// node for the list's whole life; further nodes are allocated behind it. Every node carries its
// 0-based index. The list owns its records and destroys each one by its type (DestroyItem).
//
// There is no lock: each owner of a shared list states its own discipline. Indexed access walks
// the links, so loops over GetItem(i) are quadratic; walk GetHead()/GetNext() instead.
#include <cstdint>

#include "core/item_types.h"

struct ItemRecord;
struct ObjectItem;
class CTexto;

class CObjeto {
public:
    // An empty list.
    CObjeto();
    // Destroying the head destroys every node and record of the list.
    virtual ~CObjeto();

    CObjeto(const CObjeto&) = delete;
    CObjeto& operator=(const CObjeto&) = delete;

    // The item factory: makes a record of the type with its defaults and inserts it at the
    // position (-1 = append). Null for a type that makes no record (22 and unknown codes).
    ItemRecord* CreateItem(ItemType type, int32_t position = -1);
    // Inserts a record (the list takes it over) at the position: -1 or a position beyond the
    // count appends, 0 makes it the first item (the head keeps being the first node). Answers the
    // node now holding it; a null record changes nothing and answers the list.
    CObjeto* InsertItem(int32_t position, ItemRecord* record);

    int32_t GetCount();
    // The node carrying the index, walking from this node; null when none does.
    CObjeto* GetNode(int32_t index);
    ItemRecord* GetItem(int32_t index);
    ItemRecord* GetAt(int32_t index) { return GetItem(index); }
    CObjeto* GetHead();
    CObjeto* GetNext() const { return m_next; }
    CObjeto* GetPrev() const { return m_prev; }
    ItemRecord* GetRecord() const { return m_record; }
    int32_t GetIndex() const { return m_index; }
    // Type of the record at the index (-1 = this node); None when there is none.
    ItemType GetItemType(int32_t index = -1);
    // Index of the node holding the record; 0 when absent, the same answer as for the first
    // item. Removal by record uses RemoveItem, never RemoveAt(IndexOf(...)).
    int32_t IndexOf(const ItemRecord* record);

    // Lookups from the head; null when nothing matches. Names and values compare case-sensitively,
    // and an empty or null text matches nothing.
    ItemRecord* FindByName(const char* text);
    ItemRecord* FindByValue(const char* text);
    ItemRecord* FindByNumber(int32_t number);
    // First record of the type at or after the start index; null when no node has that index.
    ItemRecord* FindByType(ItemType type, int32_t start = 0);
    ObjectItem* FindByObjectId(int32_t objectId);
    ObjectItem* FindByLinkedObject(const void* object);

    // Removals destroy the records; absent items or out-of-range indexes change nothing.
    void RemoveAt(int32_t index);  // -1 = the last item
    void RemoveItem(const ItemRecord* record);
    void RemoveByName(const char* text);
    void RemoveByLinkedObject(const void* object);
    // Empties the whole list, whichever node it is called on.
    void RemoveAll();
    // Gives the nodes after this one the indexes this index + 1, + 2, ...
    void Renumber();

    // Moves every record of this list, in order, behind the last one of destination, without
    // destroying or renumbering any record; this list is empty afterwards. Linear in both
    // lengths. Moving a list into itself changes nothing.
    void MoveAllTo(CObjeto& destination);

    // Runs the clean-up of the record's type and frees it, then lowers the head's count. The
    // record must not be held by a node any more; null does nothing.
    void DestroyItem(ItemRecord* record);

    // In the head: the render device's list of resident resources from which DestroyItem withdraws
    // a record's sprite or mesh before freeing it; set by the list's owner, null when none.
    CObjeto* residentList = nullptr;

private:
    CObjeto(CObjeto* after, CObjeto* before);
    CObjeto* FindNodeOf(const ItemRecord* record);
    void DeleteNode(CObjeto* node);
    int32_t NextSerialNumber();

    int32_t m_count = 0;  // meaningful in the head only
    ItemRecord* m_record = nullptr;
    int32_t m_index = -1;  // -1 marks the head of an empty list
    CObjeto* m_prev = nullptr;
    CObjeto* m_next = nullptr;
};
