// ConvertPixels: one loop per format pair, compiled from the pixel reads and writes of
// images/pixel_access.h and picked from a table before the first pixel.
#include "images/pixel_convert.h"

#include "images/pixel_access.h"
#include "images/pixel_convert_internal.h"

using namespace pixel_access;

namespace {

template <int S, int D>
void ConvertRun(const uint8_t* s, uint8_t* d, int32_t count, const uint32_t* palette) {
    constexpr int sb = PixelBytes(S), db = PixelBytes(D);
    for (int32_t i = 0; i < count; i++, s += sb, d += db) {
        if constexpr (S == 15 && D == 16) {
            uint32_t w = Load16(s);
            Store16(d, uint16_t(((w & 0x7FE0u) << 1) | (w & 0x001Fu)));
        } else if constexpr (S == 16 && D == 15) {
            uint32_t w = Load16(s);
            Store16(d, uint16_t(((w >> 1) & 0x7FE0u) | (w & 0x001Fu)));
        } else if constexpr (D == 32) {
            Store32(d, OpaqueOrBlack(ReadValue<S>(s, palette)));
        } else {
            WriteValue<D>(d, ReadValue<S>(s, palette));
        }
    }
}

template <int S>
constexpr ConvertFn kConvertRow[5] = {nullptr, ConvertRun<S, 15>, ConvertRun<S, 16>,
                                      ConvertRun<S, 24>, ConvertRun<S, 32>};

}  // namespace

ConvertFn PortableConvertLoop(int32_t sourceBpp, int32_t destinationBpp) {
    int si = DepthIndex(sourceBpp), di = DepthIndex(destinationBpp);
    if (si < 0 || di < 0 || si == di)
        return nullptr;
    static constexpr const ConvertFn* table[5] = {kConvertRow<8>, kConvertRow<15>,
                                                  kConvertRow<16>, kConvertRow<24>,
                                                  kConvertRow<32>};
    return table[si][di];
}

void ConvertPixels(const void* source, void* destination, int32_t count, int32_t sourceBpp,
                   int32_t destinationBpp, const uint32_t* palette) {
    // A count below 1 would make a count-down loop run through the whole 32-bit range.
    if (count < 1 || !source || !destination || (sourceBpp == 8 && !palette))
        return;
    ConvertFn loop = nullptr;
    if (GetPixelLoopPath() == PixelLoopPath::Sse2)
        loop = Sse2ConvertLoop(sourceBpp, destinationBpp, source, destination, count);
    if (!loop)
        loop = PortableConvertLoop(sourceBpp, destinationBpp);
    if (loop)
        loop(static_cast<const uint8_t*>(source), static_cast<uint8_t*>(destination), count,
             palette);
}
