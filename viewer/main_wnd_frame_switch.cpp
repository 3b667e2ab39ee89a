// Frame switching: returning to the empty scene and cancelling what runs in the background.
#include "viewer/main_wnd.h"

#include "core/worker_threads.h"

void CMainWnd::ResetTimelapse()
{
    m_timelineCount = -1;
    m_timelineShown = -1;
    m_timelineWindow = -1;
    for (int32_t& slot : m_timelineSlots)
        slot = -1;
    m_timelinePosition = 0.0f;
}

void CMainWnd::ClearScene(bool full)
{
    if (full) {
        m_firstFrame.Unload();
        for (int32_t font = m_fonts.GetCount() - 1; font >= kBuiltInFontCount; font--)
            m_fonts.RemoveAt(font);
        ClearPendingCode();
    }

    std::lock_guard<std::mutex> lock(m_sceneLock);
    m_currentFrame = &m_firstFrame;
    m_enteringFrame = nullptr;
    // No frame of the old tour may stay named: the frames go below.
    m_leavingFrame = nullptr;
    m_currentFrameIndex = -1;
    m_draggedObjects.RemoveAll();
    m_sounds.RemoveAll();
    m_shownViewerWindows.RemoveAll();
    m_frames.RemoveAll();
    m_images[0].RemoveAll();
    ResetTimelapse();
}

void CMainWnd::CancelActivity()
{
    m_cancel = 1;
    StopCameraServerThread();
    StopCameraEngineThread();
    ClearMeasurement();
    m_view.WaitForIdle(true);
    // The reader sees the flag, hands nothing over and posts nothing; it must have ended before
    // the flag goes down, or an old tour could land in the next document.
    if (!WaitForWorkerThreadEnd(m_readerThread, m_threadStopWaitMs))
        m_threadLeftRunning = true;

    ResetTimelapse();
    m_transitionsOn = 0;
    m_transitionKind = 0;
    m_transitionState = 0;
    m_transitionAlpha = 0;
    m_transitionDuration = 2.0f;
    m_transitionLoadPercent = 100.0f;
    m_cancel = 0;
}
