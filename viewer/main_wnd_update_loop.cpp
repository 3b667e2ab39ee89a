// The update loop: a background thread that, pass after pass, updates the current frame's line
// items, delivers the pending event and message slots, reports object states and asks the UI
// thread for one redraw at a time. Also the starters of the engine's other worker threads.
//
// The loop touches no window and no UI object: what must be shown goes to the UI thread as a
// posted message. It reads the frame list and the current frame under the engine lock.
#include "viewer/main_wnd.h"

#include "cameras/camera_threads.h"
#include "core/clock.h"
#include "core/mailboxes.h"
#include "core/worker_threads.h"

namespace {

constexpr uint32_t kDeviceIdleBits = DeviceMinimised | DeviceHidden;
constexpr float kStatePollSeconds = 1.0f;

unsigned SequenceThread(void* parameter)
{
    CMainWnd* engine = static_cast<CMainWnd*>(parameter);
    engine->ReadSequenceFile(engine->m_sequenceFileArg.GetText(), engine->m_sequenceSlotArg);
    return 0;
}

// Starts procedure suspended into slot and resumes it; the slot stays empty on failure.
CWorkerThread* StartInSlot(WorkerThreadProc procedure, void* engine, WorkerThreadSlot& slot)
{
    CWorkerThread* thread = StartWorkerThread(procedure, engine, &slot);
    if (thread)
        ResumeWorkerThread(thread);
    return thread;
}

}  // namespace

bool CMainWnd::StartUpdateLoop()
{
    if (!m_updateLoopThread.load())
        StartInSlot(UpdateLoopThread, this, m_updateLoopThread);
    return m_updateLoopThread.load() != nullptr;
}

void CMainWnd::UpdateLoop()
{
    // A stop raises the generation: a loop that outlived its stopper's wait still ends at its
    // next look, even after the stop byte was cleared for a new loop. The new loop starts its
    // passes only once the old one has left.
    const uint32_t generation = m_updateLoopGeneration;
    std::lock_guard<std::mutex> running(m_updateLoopRun);
    m_lastStatePoll = 0.0f;
    while (!m_stopUpdateLoop && m_updateLoopGeneration == generation) {
        UpdateLoopPass(GetTimeSeconds());
        SleepMilliseconds(kUpdateLoopSleepMs);
    }
}

void CMainWnd::UpdateLoopPass(float time)
{
    bool hasFrame = false;
    bool scene = false;
    bool reportAddress = false;
    bool checkAddress = false;
    if (!(m_view.status & ~kDeviceIdleBits)) {
        std::lock_guard<std::mutex> lock(m_sceneLock);
        CFrame* frame = m_currentFrame;
        if (IsKnownFrame(frame)) {
            UpdateLineItems(frame, time);
            UpdateLineItems(&m_interfaceFrame, time);
            hasFrame = true;
            scene = frame->kind == FrameKindScene;
            reportAddress = frame->updateStateAddress.GetLength() > 0;
            checkAddress = frame->checkStateAddress.GetLength() > 0;
        }
    }

    if (!m_stopUpdateLoop) {
        CTexto name, value;
        if (TakePendingEvent(&name, &value))
            QueueHostEvent(name.GetText(), value.GetText());
        // The message box is a UI object: the UI thread takes the message and shows it.
        if (HasPendingMessage() && !m_messageShowPosted.exchange(1) &&
            !PostToViewer(ViewerMessageShowPendingMessage, 0, 0))
            m_messageShowPosted = 0;
        if (!m_redrawPending && !m_drawingSuspended) {
            m_redrawPending = 1;
            // A Redraw that could not be posted is not on its way: the next pass tries again.
            if (!PostToViewer(ViewerMessageRedraw, 0, 0))
                m_redrawPending = 0;
        }
    }

    if (hasFrame && scene) {
        if (m_stateReportDue && reportAddress) {
            m_stateReportDue = 0;
            SendStateReport(0);
        } else if (m_checkStates && checkAddress && time - m_lastStatePoll > kStatePollSeconds) {
            CheckStates();
            m_lastStatePoll = time;
        }
    }
}

CWorkerThread* CMainWnd::StartCameraServerThread()
{
    if (!m_initialized)
        return nullptr;
    if (!m_cameraServerThread.load())
        StartInSlot(CameraServerThread, this, m_cameraServerThread);
    return m_cameraServerThread.load();
}

CWorkerThread* CMainWnd::StartCameraEngineThread()
{
    if (!m_cameraEngineThread.load())
        StartInSlot(CameraEngineThread, this, m_cameraEngineThread);
    return m_cameraEngineThread.load();
}

void CMainWnd::StartSequenceThread(const char* fileName, int32_t slot)
{
    if (m_sequenceThread.load())
        return;
    m_sequenceFileArg = fileName ? fileName : "";
    m_sequenceSlotArg = slot;
    StartInSlot(SequenceThread, this, m_sequenceThread);
}

void CMainWnd::ReadSequenceFile(const char*, int32_t)
{
    // Not built yet: does nothing (no camera sequence is read).
}
