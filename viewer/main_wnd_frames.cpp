// Frame memory: after every frame switch, frames that are no longer shown give back what they
// hold, unless they are preloaded or kept loaded and their time limit has not passed yet; frames
// never shown whose time limit has passed leave the list. Also the detaching of a level's images
// from every frame's objects before that level's image list is replaced.
#include "viewer/main_wnd.h"

#include "core/item_records.h"
#include "core/object_item.h"

namespace {

enum SweepPass { EvictPass = 0, ShowPass = 1, UnloadPass = 2, SweepPassCount = 3 };

}  // namespace

void CMainWnd::ReleaseUnusedFrames()
{
    for (int pass = EvictPass; pass < SweepPassCount; pass++) {
        CObjeto* node = m_frames.GetHead();
        while (node && node->GetRecord()) {
            ItemRecord* record = node->GetRecord();
            if (record->type != ItemType::Frame) {
                node = node->GetNext();
                continue;
            }
            CFrame* frame = &static_cast<FrameItem*>(record)->frame;
            if (frame->timeLimit > 0.0f && frame->timeLimit < m_tickTime - frame->timeStamp)
                frame->flags |= FrameExpired;
            const bool releasable = !(frame->flags & (FramePreloaded | FrameKeptLoaded)) ||
                                    (frame->flags & FrameExpired);
            const bool current = frame == m_currentFrame;

            if (frame->flags & FrameActivated) {
                if (!current && releasable) {
                    if (pass == EvictPass) {
                        m_view.EvictResources(frame, 1);
                        ShowFrameItems(frame, false, false);
                    } else if (pass == UnloadPass) {
                        frame->Unload();
                        ShowFrameItems(frame, false, true);
                    }
                } else if (pass == ShowPass) {
                    ShowFrameItems(frame, true, false);
                }
            } else if (pass == UnloadPass && releasable && (frame->flags & FrameExpired) &&
                       !current && frame != m_enteringFrame && frame != m_leavingFrame) {
                // Its loads end before the lock is taken: the lock is never held across a wait.
                frame->Unload();
                // The list's first node keeps its place and takes the next record, so the walk
                // goes on from the same node; any other node goes away.
                const bool first = node == m_frames.GetHead();
                CObjeto* next = node->GetNext();
                {
                    std::lock_guard<std::mutex> lock(m_sceneLock);
                    m_frames.RemoveItem(record);
                    m_currentFrameIndex = CurrentFrameIndexLocked();
                }
                node = first ? node : next;
                continue;
            }
            node = node->GetNext();
        }
    }
}

int32_t CMainWnd::CurrentFrameIndexLocked()
{
    int32_t index = 0;
    for (CObjeto* node = m_frames.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (record->type == ItemType::Frame && &static_cast<FrameItem*>(record)->frame == m_currentFrame)
            return index;
        ++index;
    }
    return -1;
}

void CMainWnd::DetachLevelImages(int32_t level)
{
    for (CObjeto* node = m_frames.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (record->type == ItemType::Frame)
            DetachFrameLevelImages(static_cast<FrameItem*>(record), level);
    }
}

void CMainWnd::DetachFrameLevelImages(FrameItem* item, int32_t level)
{
    if (!item)
        return;
    CFrame* frame = &item->frame;
    CObjeto& objects = frame->objectSource ? frame->objectSource->objects : frame->objects;
    std::lock_guard<std::mutex> lock(m_sceneLock);
    for (CObjeto* node = objects.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (record->type < ItemType::TextObject)
            continue;
        ObjectItem* object = static_cast<ObjectItem*>(record);
        if (object->level != level)
            continue;
        object->number = 0;
        if (object->ownedObject) {
            object->ownedObject->texture1 = nullptr;
            object->ownedObject->texture2 = nullptr;
        }
    }
}
