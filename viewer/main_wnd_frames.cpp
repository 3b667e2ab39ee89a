// Frame memory: after every frame switch, frames that are no longer shown give back what they
// hold, unless they are preloaded or kept loaded and their time limit has not passed yet.
#include "viewer/main_wnd.h"

#include "core/item_records.h"

void CMainWnd::ReleaseUnusedFrames()
{
    for (int pass = 0; pass < 3; pass++) {
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
                    if (pass == 0)
                        m_view.EvictResources(frame, 1);
                    else if (pass == 2)
                        frame->Unload();
                }
            } else if (pass == 2 && releasable && (frame->flags & FrameExpired) && !current &&
                       frame != m_enteringFrame && frame != m_leavingFrame) {
                // The list's first node keeps its place and takes the next record, so the walk
                // goes on from the same node; any other node goes away.
                const bool first = node == m_frames.GetHead();
                CObjeto* next = node->GetNext();
                m_frames.RemoveItem(record);
                node = first ? node : next;
                continue;
            }
            node = node->GetNext();
        }
    }
}
