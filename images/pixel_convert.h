// Conversion of a run of pixels between the formats of images/pixel_format.h.
#pragma once

#include <cstdint>

// Converts count pixels of sourceBpp at source into destinationBpp at destination. Each pixel is
// read as the colour value 0x00RRGGBB (8 bits: the whole palette entry) and written as:
//   15 and 16 bits reduced (bit 15 of a 15-bit pixel is 0), 24 bits the bytes B, G, R,
//   32 bits 0 for black and 0xFF000000 | 0x00RRGGBB otherwise (no fourth byte is carried over),
//   8 bits nothing (the destination keeps its bytes).
// 15 to 16 and 16 to 15 bits convert the words directly (the sixth green bit of 16 bits is 0,
// or dropped). Equal depths write nothing, not even a copy.
// destination may equal source when its pixels are not wider, or for one pixel held in a 4-byte
// variable. Nothing is written for a count below 1, a depth outside the five or an 8-bit source
// without a palette.
void ConvertPixels(const void* source, void* destination, int32_t count, int32_t sourceBpp,
                   int32_t destinationBpp, const uint32_t* palette);
