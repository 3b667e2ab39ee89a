// JPEG encoder kernels, portable: colour rows, chroma averaging, block transforms. SSE float math
// on both architectures, so that the i686 build writes the same bytes as the x86_64 one.
#pragma GCC target("sse2", "fpmath=sse")
#include <emmintrin.h>

#include "images/jpeg_encoder.h"

namespace {

constexpr int kLevelShift = 128;

}  // namespace

void JpegConvertRowPlain(const uint8_t* pixels, int bytesPerPixel, int n, int16_t* y, int16_t* cb,
                         int16_t* cr)
{
    for (int i = 0; i < n; ++i, pixels += bytesPerPixel) {
        int yy, b, r;
        JpegRgbToYcc(pixels[2], pixels[1], pixels[0], &yy, &b, &r);
        y[i] = static_cast<int16_t>(yy - kLevelShift);
        if (cb) {
            cb[i] = static_cast<int16_t>(b);
            cr[i] = static_cast<int16_t>(r);
        }
    }
}

void JpegDownsamplePlain(const int16_t* row0, const int16_t* row1, int n, int16_t* out)
{
    if (row1) {
        for (int i = 0; i < n; ++i)
            out[i] = static_cast<int16_t>(
                (row0[2 * i] + row0[2 * i + 1] + row1[2 * i] + row1[2 * i + 1]) >> 2);
    } else {
        for (int i = 0; i < n; ++i)
            out[i] = static_cast<int16_t>((row0[2 * i] + row0[2 * i + 1]) >> 1);
    }
}

namespace {

uint64_t TransformBlockPlain(const int16_t* samples, ptrdiff_t stride, const float* reciprocals,
                             int16_t natural[64])
{
    float block[64], dct[64];
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
            block[i * 8 + j] = static_cast<float>(samples[i * stride + j]);
    JpegForwardDct(block, dct);
    uint64_t nonZero = 0;
    for (int k = 0; k < 64; ++k) {
        // Rounded to the nearest integer, halves to even (the default rounding mode).
        const int v = _mm_cvtss_si32(_mm_set_ss(dct[k] * reciprocals[k]));
        natural[k] = static_cast<int16_t>(v);
        nonZero |= static_cast<uint64_t>(v != 0) << k;
    }
    return nonZero;
}

}  // namespace

const JpegEncoderKernels kJpegEncoderKernelsPlain = {JpegConvertRowPlain, JpegDownsamplePlain,
                                                     TransformBlockPlain};

const JpegEncoderKernels& ChooseJpegEncoderKernels(SimdLevel level)
{
#if defined(__x86_64__)
    if (level >= SimdLevel::Avx2)
        return kJpegEncoderKernelsAvx2;
    if (level >= SimdLevel::Sse2)
        return kJpegEncoderKernelsSse2;
#else
    // i686 keeps the portable kernels (its stack is not aligned for vector spills).
    (void)level;
#endif
    return kJpegEncoderKernelsPlain;
}
