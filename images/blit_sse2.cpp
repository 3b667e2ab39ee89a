// SSE2 loops of BlitPixels for the calls the player makes most.
#include "images/blit_internal.h"

bool BlitRowsSse2(const BlitCall&) {
    return false;
}
