// CSprite: load control shared by every reader.
#include "images/sprite.h"

namespace {

// How often CancelLoad wakes a loader that may have suspended itself.
constexpr int kCancelPollMs = 100;

}  // namespace

void CSprite::CancelLoad()
{
    CSprite* target = parent ? parent : this;
    target->abortWord |= SpriteAbortCancel;

    CWorkerThread* loader = target->loaderThread.load();
    // A reader that cancels its own image (for instance by re-creating it) must not wait for
    // itself.
    const bool ownThread = loader && CWorkerThread::GetId(loader) == GetCurrentThreadId();
    if (loader && !ownThread && IsWorkerThreadValid(loader)) {
        if (HANDLE handle = OpenThread(THREAD_SET_INFORMATION, FALSE, CWorkerThread::GetId(loader))) {
            SetThreadPriority(handle, THREAD_PRIORITY_ABOVE_NORMAL);
            CloseHandle(handle);
        }
        int waited = 0;
        while (target->loaderThread.load() && waited < s_loaderWaitMs) {
            ResumeWorkerThread(target->loaderThread.load());
            SleepMilliseconds(kCancelPollMs);
            waited += kCancelPollMs;
        }
        if (target->loaderThread.load()) {
            // The loader did not come back in time: it may no longer write the slot.
            CWorkerThread::DetachSlot(&target->loaderThread);
            target->loaderThread = nullptr;
        }
    }
    // Only now, with the loader gone, may the next load start from a clean word.
    if (!ownThread) {
        target->abortWord = 0;
        target->waitFlags = 0;
    }
}

void CSprite::ChooseLoadBitDepth(int& bpp)
{
    if (bpp < 0)
        bpp = 0;
    if (textureMode == SpriteTextureOpenGL && bpp < 24)
        bpp = 24;
    if (fixedBpp)
        bpp = fixedBpp;
    if (maskFile.GetLength() > 0 || hasAlpha || force32) {
        bpp = 32;
        if (maskFile.GetLength() > 0)
            hasAlpha = 1;
    } else if (!fixedBpp && bpp == 32) {
        bpp = 24;
    }
}
