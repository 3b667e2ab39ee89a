// QuickTime VR movies as frame sources.
#include "sources/frame.h"

int CFrame::LoadQuickTimeVR(const char*, HWND, UINT) {
    // Not built yet: answers 0 (the movie is not read and nothing is posted).
    return 0;
}
