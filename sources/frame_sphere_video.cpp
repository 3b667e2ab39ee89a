// Recorded spherical-camera videos as frame sources.
#include "sources/frame.h"

int CFrame::LoadSphereVideo(const char*, HWND, UINT) {
    // Not built yet: answers 0 (the recording is not read and nothing is posted).
    return 0;
}
