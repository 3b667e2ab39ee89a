// Frames and items by index, name and number. The tour's frames live in m_frames (one
// FrameItem each, its CFrame named by the frame's own name); m_firstFrame and m_interfaceFrame
// are outside that list. Item references are a level (0 tour, 1 interface) and a serial number.
#include "viewer/main_wnd.h"

#include <cstring>

namespace {

constexpr const char* kThisFrame = "_this_";

// The first FrameItem whose frame has the name; its index through index when given.
FrameItem* FirstFrameNamed(CObjeto& frames, const char* name, int32_t* index) {
    int32_t position = 0;
    for (CObjeto* node = frames.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (record->type == ItemType::Frame) {
            FrameItem* item = static_cast<FrameItem*>(record);
            if (item->frame.name == name) {
                if (index)
                    *index = position;
                return item;
            }
        }
        position++;
    }
    return nullptr;
}

}  // namespace

CFrame* CMainWnd::GetFrame(int32_t index) {
    if (index < 0)
        return nullptr;
    ItemRecord* record = m_frames.GetItem(index);
    if (!record || record->type != ItemType::Frame)
        return nullptr;
    return &static_cast<FrameItem*>(record)->frame;
}

CFrame* CMainWnd::FindFrame(const char* name) {
    if (!name)
        name = "";
    if (m_currentFrame && (name[0] == 0 || std::strcmp(name, kThisFrame) == 0))
        return m_currentFrame;
    FrameItem* item = FirstFrameNamed(m_frames, name, nullptr);
    return item ? &item->frame : nullptr;
}

int32_t CMainWnd::FindFrameIndex(const char* name) {
    int32_t index = -1;
    FirstFrameNamed(m_frames, name ? name : "", &index);
    return index;
}

FrameItem* CMainWnd::FindFrameNode(const char* name) {
    if (!name)
        name = "";
    if (std::strcmp(name, kThisFrame) == 0 && m_currentFrame)
        name = m_currentFrame->name.GetText();
    return FirstFrameNamed(m_frames, name, nullptr);
}

int CMainWnd::IsKnownFrame(const CFrame* frame) {
    if (!frame)
        return 0;
    if (frame == &m_firstFrame)
        return 1;
    for (CObjeto* node = m_frames.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (record->type == ItemType::Frame && &static_cast<FrameItem*>(record)->frame == frame)
            return 1;
    }
    return 0;
}

// Items are found by their serial number, not their position: numbers stay with their items
// when an earlier item of the list is removed.
ItemRecord* CMainWnd::GetImageItem(int32_t level, int32_t number) {
    if (level < 0 || level >= kImageLevelCount || number <= 0)
        return nullptr;
    return m_images[level].FindByNumber(number);
}

ItemRecord* CMainWnd::FindImageItem(const char* name, int32_t* level) {
    if (!name || !name[0])
        return nullptr;
    for (int32_t l = 0; l < 2; l++) {
        if (ItemRecord* record = m_images[l].FindByName(name)) {
            if (level)
                *level = l;
            return record;
        }
    }
    return nullptr;
}
