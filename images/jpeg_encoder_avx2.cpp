// JPEG encoder kernels with AVX2 (x86_64, chosen at run time): colour rows sixteen pixels at a
// time, chroma averaging and the block transform eight lanes at a time. No fused multiply-add:
// the target adds AVX2 only, so every product is rounded before its sum as on the other paths.
#if defined(__x86_64__)
#pragma GCC target("avx2")
#include <immintrin.h>

#include "images/jpeg_encoder.h"
#include "images/jpeg_encoder_fdct_pass.h"
#include "images/jpeg_lanes_avx2.h"

namespace {

constexpr int kLevelShift = 128;
constexpr int kColourShift = 15;

// Byte shuffles that gather channel c of 16 pixels of kBpp bytes from the 16-byte chunk k.
template <int kBpp>
struct ChannelShuffles {
    alignas(16) int8_t mask[3][kBpp][16];
    constexpr ChannelShuffles() : mask()
    {
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < kBpp; ++k)
                for (int i = 0; i < 16; ++i) {
                    const int at = kBpp * i + c - 16 * k;
                    mask[c][k][i] = static_cast<int8_t>(at >= 0 && at < 16 ? at : -128);
                }
    }
};
template <int kBpp>
constexpr ChannelShuffles<kBpp> kChannelShuffles{};

// A pair of 16-bit factors for _mm256_madd_epi16: lo times the even lane, hi times the odd one.
inline __m256i FactorPair(int lo, int hi)
{
    return _mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(static_cast<uint16_t>(hi)) << 16 |
                                              static_cast<uint16_t>(lo)));
}

// (rg x kRg + b0 x kB) >> 15 of sixteen pixels, packed back into pixel order.
inline __attribute__((always_inline)) __m256i Mix(__m256i rgLo, __m256i rgHi, __m256i bLo,
                                                  __m256i bHi, __m256i kRg, __m256i kB)
{
    const __m256i lo = _mm256_add_epi32(_mm256_madd_epi16(rgLo, kRg), _mm256_madd_epi16(bLo, kB));
    const __m256i hi = _mm256_add_epi32(_mm256_madd_epi16(rgHi, kRg), _mm256_madd_epi16(bHi, kB));
    return _mm256_packs_epi32(_mm256_srai_epi32(lo, kColourShift),
                              _mm256_srai_epi32(hi, kColourShift));
}

template <int kBpp>
void ConvertRow(const uint8_t* pixels, int n, int16_t* y, int16_t* cb, int16_t* cr)
{
    const ChannelShuffles<kBpp>& s = kChannelShuffles<kBpp>;
    const __m256i yRg = FactorPair(9797, 19234), yB = FactorPair(3735, 0);
    const __m256i cbRg = FactorPair(-5527, -10856), cbB = FactorPair(16384, 0);
    const __m256i crRg = FactorPair(16384, -13719), crB = FactorPair(-2664, 0);
    const __m256i shift = _mm256_set1_epi16(kLevelShift);
    const __m256i zero = _mm256_setzero_si256();
    int i = 0;
    for (; i + 16 <= n; i += 16, pixels += 16 * kBpp) {
        __m128i chunk[kBpp];
        for (int k = 0; k < kBpp; ++k)
            chunk[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 16 * k));
        __m256i channel[3];
        for (int c = 0; c < 3; ++c) {
            __m128i v = _mm_shuffle_epi8(chunk[0], _mm_load_si128(
                                                       reinterpret_cast<const __m128i*>(s.mask[c][0])));
            for (int k = 1; k < kBpp; ++k)
                v = _mm_or_si128(v, _mm_shuffle_epi8(chunk[k], _mm_load_si128(
                                                                   reinterpret_cast<const __m128i*>(
                                                                       s.mask[c][k]))));
            channel[c] = _mm256_cvtepu8_epi16(v);
        }
        const __m256i b = channel[0], g = channel[1], r = channel[2];
        const __m256i rgLo = _mm256_unpacklo_epi16(r, g), rgHi = _mm256_unpackhi_epi16(r, g);
        const __m256i bLo = _mm256_unpacklo_epi16(b, zero), bHi = _mm256_unpackhi_epi16(b, zero);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y + i),
                            _mm256_sub_epi16(Mix(rgLo, rgHi, bLo, bHi, yRg, yB), shift));
        if (cb) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(cb + i),
                                Mix(rgLo, rgHi, bLo, bHi, cbRg, cbB));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(cr + i),
                                Mix(rgLo, rgHi, bLo, bHi, crRg, crB));
        }
    }
    if (i < n)
        JpegConvertRowPlain(pixels, kBpp, n - i, y + i, cb ? cb + i : nullptr,
                            cr ? cr + i : nullptr);
}

void ConvertRowAvx2(const uint8_t* pixels, int bytesPerPixel, int n, int16_t* y, int16_t* cb,
                    int16_t* cr)
{
    if (bytesPerPixel == 3)
        ConvertRow<3>(pixels, n, y, cb, cr);
    else
        ConvertRow<4>(pixels, n, y, cb, cr);
}

void DownsampleAvx2(const int16_t* row0, const int16_t* row1, int n, int16_t* out)
{
    const __m256i ones = _mm256_set1_epi16(1);
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row0 + 2 * i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row0 + 2 * i + 16));
        __m256i sa, sb;
        if (row1) {
            a = _mm256_add_epi16(
                a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row1 + 2 * i)));
            b = _mm256_add_epi16(
                b, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row1 + 2 * i + 16)));
            sa = _mm256_srai_epi32(_mm256_madd_epi16(a, ones), 2);
            sb = _mm256_srai_epi32(_mm256_madd_epi16(b, ones), 2);
        } else {
            sa = _mm256_srai_epi32(_mm256_madd_epi16(a, ones), 1);
            sb = _mm256_srai_epi32(_mm256_madd_epi16(b, ones), 1);
        }
        // packs works per 128-bit lane; the permute puts the four quarters back in order.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_permute4x64_epi64(_mm256_packs_epi32(sa, sb), 0xD8));
    }
    if (i < n)
        JpegDownsamplePlain(row0 + 2 * i, row1 ? row1 + 2 * i : nullptr, n - i, out + i);
}

uint64_t TransformBlockAvx2(const int16_t* samples, ptrdiff_t stride, const float* reciprocals,
                            int16_t natural[64])
{
    __m256 m[8];
    for (int i = 0; i < 8; ++i) {
        const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i * stride));
        m[i] = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(row));
    }
    Transpose8(m);   // m[j]: column j, a row in each lane
    F8 r[8];
    for (int k = 0; k < 8; ++k)
        r[k].v = m[k];
    FdctPass(r);     // the row pass
    for (int k = 0; k < 8; ++k)
        m[k] = r[k].v;
    Transpose8(m);   // m[i]: row i again
    for (int k = 0; k < 8; ++k)
        r[k].v = m[k];
    FdctPass(r);     // the column pass

    // Products rounded to the nearest integer, halves to even (the default rounding mode).
    const __m256i zero = _mm256_setzero_si256();
    uint64_t zeroBits = 0;
    for (int u = 0; u < 8; u += 2) {
        const __m256i a =
            _mm256_cvtps_epi32(_mm256_mul_ps(r[u].v, _mm256_loadu_ps(reciprocals + 8 * u)));
        const __m256i b = _mm256_cvtps_epi32(
            _mm256_mul_ps(r[u + 1].v, _mm256_loadu_ps(reciprocals + 8 * u + 8)));
        const __m256i rows = _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(natural + 8 * u), rows);
        const __m256i zeros = _mm256_cmpeq_epi16(rows, zero);
        const __m128i bytes =
            _mm_packs_epi16(_mm256_castsi256_si128(zeros), _mm256_extracti128_si256(zeros, 1));
        zeroBits |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(bytes)))
                    << (8 * u);
    }
    return ~zeroBits;
}

}  // namespace

const JpegEncoderKernels kJpegEncoderKernelsAvx2 = {ConvertRowAvx2, DownsampleAvx2,
                                                    TransformBlockAvx2};
#endif
