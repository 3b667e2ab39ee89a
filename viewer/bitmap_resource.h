// The program's bitmap resources as 32-bit images.
#pragma once

#include "images/sprite.h"

// The bitmap resource drawn into a new 32-bit DIB image of its size, rows top down; false when
// the program holds no such bitmap or the image cannot be made.
bool LoadBitmapResource(CSprite& image, int resourceId);
