// Fuzz targets for the image readers: JPEG streams through CSprite::LoadJPEG.
#include <cstdint>

#include "core/stream.h"
#include "fuzz_target.h"
#include "images/sprite.h"

namespace {

const char* const kJpegWords[] = {"\xFF\xD8", "\xFF\xD9", "\xFF\xDA", "\xFF\xDB", "\xFF\xC4",
                                  "\xFF\xC0", "\xFF\xC2", "\xFF\xDD", "\xFF\xE1", "\xFF\xE2",
                                  "\xFF\xE3", "\xFF\xE4", "\xFF\xD0", "\xFF\xFF", "Exif",
                                  "II*", "MM", nullptr};

// 1024 x 1024, or any other shape of that many pixels. A long run's corpus reaches the same edges
// under this cap as under four times more (a quarter of it loses some). The image is made and
// cleared at its declared size, and under the guard-page heap every page of it costs protection
// changes, so a corpus drifting towards a larger cap spends its time clearing memory.
constexpr uint64_t kMaxFuzzPixels = 1u << 20;
constexpr int kDepths[] = {24, 32, 16, 15, 8, 0};

}  // namespace

bool DeclaresLargePicture(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i + 9 < size; ++i) {
        if (data[i] != 0xFF || (data[i + 1] != 0xC0 && data[i + 1] != 0xC2))
            continue;
        const uint8_t* p = data + i + 4;   // the frame header's payload
        uint64_t h = p[1] << 8 | p[2], w = p[3] << 8 | p[4];
        if (w * h > kMaxFuzzPixels)
            return true;
        if (i + 4 + 23 <= size) {   // the 32-bit sizes of a long frame header
            h = p[15] | p[16] << 8 | p[17] << 16 | static_cast<uint64_t>(p[18]) << 24;
            w = p[19] | p[20] << 8 | p[21] << 16 | static_cast<uint64_t>(p[22]) << 24;
            if (w * h > kMaxFuzzPixels)
                return true;
        }
    }
    return false;
}

// The first byte chooses the starting coding (bit 0), tiles (bit 1) and the output depth.
LUMARIX_FUZZ_TARGET(jpeg, kJpegWords) {
    if (size < 1 || DeclaresLargePicture(data + 1, size - 1))
        return 0;
    const uint8_t options = data[0];
    CFicheroHttp stream;
    if (!stream.SetBuffer(data + 1, static_cast<int64_t>(size - 1), BufferUse::InPlace))
        return 0;
    CSprite image;
    image.jfif = options & 1;
    image.tilingEnabled = (options >> 1) & 1;
    image.reportOpenErrors = 0;
    image.LoadJPEG(nullptr, kDepths[(options >> 2) % 6], &stream, 0);
    return 0;
}
