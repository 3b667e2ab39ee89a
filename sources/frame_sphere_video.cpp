// Recorded spherical-camera videos as frame sources.
#include "sources/frame.h"

int CFrame::LoadSphereVideo(const char*, HWND, UINT) {
    // Not built yet: answers 0 (the recording is not read and nothing is posted).
    return 0;
}

void CFrame::SetPlaybackRate(float rate) {
    // Not built yet: stores the rate only (the playback clock is not re-based, so the position
    // jumps when the playback reads the clock).
    if (recorderThread.load())
        return;
    playbackRate = rate;
}
