// Stopping the engine's worker threads. A thread ends by its stop byte or by the engine's cancel
// flag and clears its slot as its last act; the stopper waits for that, but never longer than
// m_threadStopWaitMs, so that one stuck thread cannot keep the program from closing.
#include "viewer/main_wnd.h"

#include <initializer_list>

#include "core/worker_threads.h"

void CMainWnd::StopThread(std::atomic<uint8_t>& stopByte, WorkerThreadSlot& slot)
{
    stopByte = 1;
    if (!WaitForWorkerThreadEnd(slot, m_threadStopWaitMs))
        m_threadLeftRunning = true;
    stopByte = 0;
}

void CMainWnd::StopUpdateLoop()
{
    m_drawingSuspended = 1;
    // A loop left behind by a timed-out wait still sees this and ends when it unsticks.
    m_updateLoopGeneration++;
    StopThread(m_stopUpdateLoop, m_updateLoopThread);
    // A loop that outlived the wait no longer owns the slot: the next opening may start a loop,
    // whose passes wait until the old one has left.
    m_updateLoopThread = nullptr;
    m_drawingSuspended = 0;
    // The current frame changes only on this (the UI) thread.
    if (m_currentFrame && m_currentFrame->updateStateAddress.GetLength() > 0)
        SendStateReport(1);
}

void CMainWnd::StopCameraServerThread()
{
    // A waiting accept returns once its listening socket is closed.
    m_serverSocket.CloseListenSocket();
    StopThread(m_stopCameraServer, m_cameraServerThread);
}

void CMainWnd::StopCameraEngineThread()
{
    StopThread(m_stopCameraEngine, m_cameraEngineThread);
}

void CMainWnd::WaitForWorkerThreads()
{
    m_cancel = 1;
    for (WorkerThreadSlot* slot :
         {&m_cameraServerThread, &m_selfUpdateThread, &m_readerThread, &m_sequenceThread}) {
        if (!WaitForWorkerThreadEnd(*slot, m_threadStopWaitMs))
            m_threadLeftRunning = true;
    }
}
