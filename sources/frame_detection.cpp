// Motion detection over a frame's sensor images.
#include "sources/frame.h"

void CFrame::ClearDetectionResults() {
    // Not built yet: does nothing (no detection results are made yet).
}
