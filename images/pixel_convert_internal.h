// The loops behind ConvertPixels, for images/pixel_convert*.cpp and their tests.
#pragma once

#include <cstdint>

using ConvertFn = void (*)(const uint8_t* source, uint8_t* destination, int32_t count,
                           const uint32_t* palette);

// The portable loop of a format pair; null for equal depths, 8-bit destinations and depths
// outside the five (nothing is written then).
ConvertFn PortableConvertLoop(int32_t sourceBpp, int32_t destinationBpp);

// An SSE2 loop for the pair and this run, or null when the portable loop serves (other pairs,
// short runs, overlapping buffers, builds without SSE2).
ConvertFn Sse2ConvertLoop(int32_t sourceBpp, int32_t destinationBpp, const void* source,
                          const void* destination, int32_t count);
