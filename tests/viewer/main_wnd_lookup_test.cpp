// Frames by index and name, known-frame checks, and items by level, number and name.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/item_records.h"

namespace {

class Lookup : public ::testing::Test {
protected:
    void SetUp() override {
        engine = std::make_unique<CMainWnd>();
        for (const char* name : {"entry", "hall", "_this_x", "hall", ""})
            frames.push_back(AddFrame(name));
    }

    CFrame* AddFrame(const char* name) {
        auto* item = static_cast<FrameItem*>(engine->m_frames.CreateItem(ItemType::Frame));
        item->frame.name = name;
        return &item->frame;
    }

    ItemRecord* AddItem(int level, ItemType type, const char* name) {
        ItemRecord* record = engine->m_images[level].CreateItem(type);
        record->name = name;
        return record;
    }

    std::unique_ptr<CMainWnd> engine;
    std::vector<CFrame*> frames;
};

TEST_F(Lookup, FramesByIndexAndName) {
    CMainWnd& e = *engine;
    ASSERT_EQ(e.m_currentFrame, &e.m_firstFrame);
    struct Case {
        const char* name;
        CFrame* find;        // FindFrame
        int32_t index;       // FindFrameIndex
    };
    const Case cases[] = {
        {"_this_", &e.m_firstFrame, -1},  // the current frame, also with no document open
        {"", &e.m_firstFrame, 4},         // FindFrameIndex sees a frame really named ""
        {"_this_x", frames[2], 2},        // only the exact "_this_" is special
        {"hall", frames[1], 1},           // the first of two equal names
        {"Hall", nullptr, -1},            // names compare exactly
        {"none", nullptr, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(e.FindFrame(c.name), c.find);
        EXPECT_EQ(e.FindFrameIndex(c.name), c.index);
    }
    EXPECT_EQ(e.FindFrame(nullptr), &e.m_firstFrame);
    EXPECT_EQ(e.FindFrameIndex(nullptr), 4);

    EXPECT_EQ(e.GetFrame(0), frames[0]);
    EXPECT_EQ(e.GetFrame(4), frames[4]);
    EXPECT_EQ(e.GetFrame(-1), nullptr);
    EXPECT_EQ(e.GetFrame(5), nullptr);

    // FindFrameNode answers the record; "_this_" is the current frame's name.
    e.m_currentFrame = frames[3];
    ASSERT_NE(e.FindFrameNode("_this_"), nullptr);
    EXPECT_EQ(&e.FindFrameNode("_this_")->frame, frames[1]) << "the first frame of that name";
    EXPECT_EQ(&e.FindFrameNode("entry")->frame, frames[0]);
    EXPECT_EQ(e.FindFrameNode("none"), nullptr);
    EXPECT_EQ(e.FindFrame("_this_"), frames[3]);
    e.m_currentFrame = &e.m_firstFrame;
}

TEST_F(Lookup, KnownFrames) {
    CMainWnd& e = *engine;
    EXPECT_EQ(e.IsKnownFrame(&e.m_firstFrame), 1);
    EXPECT_EQ(e.IsKnownFrame(frames[2]), 1);
    EXPECT_EQ(e.IsKnownFrame(&e.m_interfaceFrame), 0);
    EXPECT_EQ(e.IsKnownFrame(nullptr), 0);
    CFrame* gone = frames[4];
    e.m_frames.RemoveAt(4);
    EXPECT_EQ(e.IsKnownFrame(gone), 0) << "a deleted frame is rejected";
}

TEST_F(Lookup, ItemsByNumberAndName) {
    CMainWnd& e = *engine;
    ItemRecord* first = AddItem(0, ItemType::Image, "sky");
    ItemRecord* value = AddItem(0, ItemType::Value, "files");
    ItemRecord* third = AddItem(0, ItemType::Image, "logo");
    ItemRecord* interfaceLogo = AddItem(1, ItemType::Image, "logo");
    ItemRecord* button = AddItem(1, ItemType::Image, "button");

    EXPECT_EQ(e.GetImageItem(0, 0), nullptr);
    EXPECT_EQ(e.GetImageItem(0, 1), first);
    EXPECT_EQ(e.GetImageItem(0, 2), value) << "any type; callers check it";
    EXPECT_EQ(e.GetImageItem(0, 4), nullptr);
    EXPECT_EQ(e.GetImageItem(1, 2), button);
    EXPECT_EQ(e.GetImageItem(-1, 1), nullptr);
    EXPECT_EQ(e.GetImageItem(kImageLevelCount, 1), nullptr);

    // After a removal the numbers stay with their items.
    e.m_images[0].RemoveItem(first);
    EXPECT_EQ(e.GetImageItem(0, 1), nullptr);
    EXPECT_EQ(e.GetImageItem(0, 2), value);
    EXPECT_EQ(e.GetImageItem(0, 3), third);

    int32_t level = 7;
    EXPECT_EQ(e.FindImageItem("logo", &level), third) << "level 0 hides level 1";
    EXPECT_EQ(level, 0);
    EXPECT_EQ(e.FindImageItem("button", &level), button);
    EXPECT_EQ(level, 1);
    level = 7;
    EXPECT_EQ(e.FindImageItem("none", &level), nullptr);
    EXPECT_EQ(e.FindImageItem("", &level), nullptr);
    EXPECT_EQ(e.FindImageItem(nullptr, &level), nullptr);
    EXPECT_EQ(level, 7);
    EXPECT_EQ(e.FindImageItem("logo", nullptr), third);
    e.m_images[0].RemoveItem(third);
    EXPECT_EQ(e.FindImageItem("logo", &level), interfaceLogo);
    EXPECT_EQ(level, 1);
}

}  // namespace
