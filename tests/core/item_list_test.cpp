#include "core/item_list.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/item_records.h"
#include "core/object_item.h"

namespace {

ValueItem* AddValue(CObjeto& list, const char* name, int position = -1)
{
    auto* item = static_cast<ValueItem*>(list.CreateItem(ItemType::Value, position));
    item->name = name;
    return item;
}

// The names in list order, checking on the way that indexes run 0, 1, 2, ... without gaps and
// that the links agree in both directions.
std::string Names(CObjeto& list)
{
    std::string names;
    bool first = true;
    int32_t expected = 0;
    CObjeto* previous = nullptr;
    for (CObjeto* node = list.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        EXPECT_EQ(node->GetIndex(), expected++);
        EXPECT_EQ(node->GetPrev(), previous);
        previous = node;
        if (!first)
            names += ',';
        first = false;
        names += node->GetRecord()->name.GetText();
    }
    EXPECT_EQ(list.GetCount(), expected);
    return names;
}

TEST(ItemList, EmptyListAnswersNothing)
{
    CObjeto list;
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetIndex(), -1);
    EXPECT_EQ(list.GetItem(0), nullptr);
    EXPECT_EQ(list.GetNode(0), nullptr);
    EXPECT_EQ(list.GetItemType(-1), ItemType::None);
    EXPECT_EQ(list.FindByType(ItemType::Value), nullptr);
    list.RemoveAt(-1);
    list.RemoveAt(0);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetHead(), &list);
    EXPECT_EQ(Names(list), "");
}

TEST(ItemList, InsertKeepsTheHeadFirstAndRenumbers)
{
    CObjeto list;
    AddValue(list, "a");
    AddValue(list, "b");
    AddValue(list, "c");
    ItemRecord* first = AddValue(list, "new", 0);
    EXPECT_EQ(Names(list), "new,a,b,c");
    EXPECT_EQ(list.GetRecord(), first);  // the head object holds the first item
    EXPECT_EQ(list.GetNode(0), &list);

    AddValue(list, "beyond", 7);
    AddValue(list, "below", -5);
    AddValue(list, "mid", 2);
    EXPECT_EQ(Names(list), "new,a,mid,b,c,beyond,below");

    // A null record changes nothing.
    EXPECT_EQ(list.InsertItem(1, nullptr), &list);
    EXPECT_EQ(list.GetCount(), 7);
}

TEST(ItemList, RemovalsRenumberAndKeepTheHead)
{
    CObjeto list;
    for (const char* name : {"a", "b", "c", "d", "e"})
        AddValue(list, name);

    list.RemoveAt(2);
    EXPECT_EQ(Names(list), "a,b,d,e");
    list.RemoveAt(-1);
    EXPECT_EQ(Names(list), "a,b,d");
    list.RemoveAt(3);   // beyond the last
    list.RemoveAt(-2);  // other negative indexes
    EXPECT_EQ(Names(list), "a,b,d");

    ItemRecord* second = list.GetItem(1);
    list.RemoveAt(0);
    EXPECT_EQ(Names(list), "b,d");
    EXPECT_EQ(list.GetRecord(), second);
    EXPECT_EQ(list.IndexOf(second), 0);

    list.RemoveAt(0);
    list.RemoveAt(0);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetIndex(), -1);
    EXPECT_EQ(list.GetRecord(), nullptr);

    // The emptied list takes items again.
    AddValue(list, "again");
    EXPECT_EQ(Names(list), "again");
}

TEST(ItemList, RemovingAnAbsentRecordNeverTakesTheHead)
{
    CObjeto list;
    CObjeto other;
    AddValue(list, "first");
    AddValue(list, "second");
    ItemRecord* foreign = AddValue(other, "foreign");

    EXPECT_EQ(list.IndexOf(foreign), 0);  // absent answers 0, like the first item
    list.RemoveItem(foreign);
    list.RemoveItem(nullptr);
    EXPECT_EQ(Names(list), "first,second");
    EXPECT_EQ(Names(other), "foreign");

    list.RemoveItem(list.GetItem(1));
    EXPECT_EQ(Names(list), "first");

    // Destroying nothing counts nothing.
    list.DestroyItem(nullptr);
    EXPECT_EQ(list.GetCount(), 1);
}

TEST(ItemList, IndexedAccessWalksFromAnyNode)
{
    CObjeto list;
    for (const char* name : {"a", "b", "c", "d", "e"})
        AddValue(list, name);
    CObjeto* middle = list.GetNode(3);
    ASSERT_NE(middle, nullptr);
    EXPECT_EQ(middle->GetHead(), &list);
    EXPECT_STREQ(middle->GetItem(1)->name.GetText(), "b");
    EXPECT_STREQ(middle->GetItem(4)->name.GetText(), "e");
    EXPECT_EQ(middle->GetItem(5), nullptr);
    EXPECT_EQ(middle->GetCount(), 5);

    list.CreateItem(ItemType::Sound);
    EXPECT_EQ(list.GetNode(5)->GetItemType(-1), ItemType::Sound);
    EXPECT_EQ(list.GetItemType(5), ItemType::Sound);
    EXPECT_EQ(list.GetItemType(0), ItemType::Value);
    EXPECT_EQ(list.GetItemType(6), ItemType::None);
    EXPECT_EQ(list.GetItemType(-2), ItemType::None);
}

TEST(ItemList, LookupsFindTheFirstMatch)
{
    CObjeto list;
    ValueItem* unnamed = AddValue(list, "");
    ValueItem* a = AddValue(list, "Alpha");
    ValueItem* b = AddValue(list, "alpha");
    AddValue(list, "Alpha");
    a->value = "group";
    auto* object = static_cast<ObjectItem*>(list.CreateItem(ItemType::ImageObject));
    int sprite = 0;
    object->linkedObject = &sprite;

    EXPECT_EQ(list.FindByName("Alpha"), a);
    EXPECT_EQ(list.FindByName("alpha"), b);
    EXPECT_EQ(list.FindByName("ALPHA"), nullptr);
    EXPECT_EQ(list.FindByName(""), nullptr);  // even though an item has an empty name
    EXPECT_EQ(list.FindByName(nullptr), nullptr);
    EXPECT_EQ(list.FindByValue("group"), a);
    EXPECT_EQ(list.FindByValue(""), nullptr);
    EXPECT_EQ(list.FindByNumber(unnamed->number), unnamed);
    EXPECT_EQ(list.FindByType(ItemType::Value, 2), b);
    EXPECT_EQ(list.FindByType(ItemType::ImageObject), object);
    EXPECT_EQ(list.FindByType(ItemType::Value, 5), nullptr);  // no node carries index 5
    EXPECT_EQ(list.FindByObjectId(object->objectId), object);
    EXPECT_EQ(list.FindByLinkedObject(&sprite), object);
    EXPECT_EQ(list.FindByLinkedObject(nullptr), nullptr);  // records that are no objects are skipped

    list.RemoveByName("Alpha");
    EXPECT_EQ(Names(list), ",alpha,Alpha,");
    list.RemoveByName(nullptr);
    list.RemoveByLinkedObject(&sprite);
    EXPECT_EQ(Names(list), ",alpha,Alpha");
}

TEST(ItemList, RemoveAllEmptiesFromAnyNodeAndTheListIsReusable)
{
    CObjeto list;
    for (int i = 0; i < 10; i++)
        list.CreateItem(ItemType::CompiledCode);
    list.GetNode(4)->RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetNext(), nullptr);
    EXPECT_EQ(list.GetIndex(), -1);
    AddValue(list, "x");
    EXPECT_EQ(Names(list), "x");
}

TEST(ItemList, LongListsAreDestroyedWithoutDeepRecursion)
{
    auto* list = new CObjeto;
    for (int i = 0; i < 5000; i++)
        list->CreateItem(ItemType::Value);
    EXPECT_EQ(list->GetCount(), 5000);
    EXPECT_EQ(list->GetNode(4999)->GetIndex(), 4999);
    delete list;
}

TEST(ItemList, ObjectIdsAreUniqueAcrossThreads)
{
    constexpr int kThreads = 4;
    constexpr int kObjects = 500;
    std::vector<std::vector<int32_t>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&ids, t] {
            CObjeto list;
            for (int i = 0; i < kObjects; i++) {
                auto* object = static_cast<ObjectItem*>(list.CreateItem(ItemType::ButtonObject));
                ids[t].push_back(object->objectId);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    std::set<int32_t> unique;
    for (const auto& perThread : ids) {
        for (size_t i = 1; i < perThread.size(); i++)
            EXPECT_LT(perThread[i - 1], perThread[i]);
        unique.insert(perThread.begin(), perThread.end());
    }
    EXPECT_EQ(unique.size(), static_cast<size_t>(kThreads * kObjects));
    EXPECT_GT(*unique.begin(), 0);
}

}  // namespace
