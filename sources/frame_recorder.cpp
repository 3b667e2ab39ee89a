// The spherical camera's recorder thread.
#include "sources/frame.h"

void CFrame::StopRecording() {
    // Not built yet: does nothing (no recorder thread is started yet).
}
