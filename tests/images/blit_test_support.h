// Images and a call helper for the blitter tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "images/blit.h"
#include "images/pixel_format.h"

namespace blit_test {

// A pixel buffer with rows of stride bytes (at least width x bytes per pixel).
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bpp = 32;
    int32_t stride = 0;
    std::vector<uint8_t> bytes;

    Image() = default;
    Image(int32_t w, int32_t h, int32_t depth, uint8_t fill = 0xAA, int32_t padBytes = 0)
        : width(w), height(h), bpp(depth), stride(w * PixelBytes(depth) + padBytes),
          bytes(size_t(stride) * h, fill) {}

    uint8_t* At(int32_t x, int32_t y) {
        return bytes.data() + size_t(y) * stride + x * PixelBytes(bpp);
    }
    // The pixel's bytes as a little-endian value.
    uint32_t Get(int32_t x, int32_t y) {
        uint32_t v = 0;
        std::memcpy(&v, At(x, y), PixelBytes(bpp));
        return v;
    }
    void Set(int32_t x, int32_t y, uint32_t v) { std::memcpy(At(x, y), &v, PixelBytes(bpp)); }
};

// The arguments of one BlitPixels call, with defaults: an opaque unscaled copy of the whole
// source to (0, 0), clipped to the destination.
struct Call {
    int32_t bottomUpRows = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t clipLeft = 0;
    int32_t clipTop = 0;
    int32_t clipRight = -1;   // -1: the destination's last column
    int32_t clipBottom = -1;  // -1: the destination's last row
    int32_t x = 0;
    int32_t y = 0;
    const uint32_t* palette = nullptr;
    uint32_t opacity = 100;
    uint32_t writeMask = 0;
    uint32_t mode = 0;
    uint32_t colour = kBlitColourNone;
    uint8_t sourceAlpha = 0;
};

// Draws source (null: the call's colour) into dst.
inline void Draw(Image& dst, const Image* source, const Call& c) {
    BlitPixels(dst.bytes.data(), dst.stride, c.bottomUpRows, dst.bpp, c.width, c.height,
               c.clipLeft, c.clipTop, c.clipRight < 0 ? dst.width - 1 : c.clipRight,
               c.clipBottom < 0 ? dst.height - 1 : c.clipBottom, c.x, c.y,
               source ? source->bytes.data() : nullptr, source ? source->width : 0,
               source ? source->height : 0, source ? source->bpp : 32, c.palette,
               BlitOpacityAndMask(c.opacity, c.writeMask), c.mode, c.colour, c.sourceAlpha);
}

// Memory whose last usable byte is followed by an inaccessible page: a read or write past the
// end faults at once.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size) : m_size(size) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        m_page = info.dwPageSize;
        size_t usable = (size + m_page - 1) / m_page * m_page;
        m_base = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, usable + m_page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        if (m_base)
            VirtualProtect(m_base + usable, m_page, PAGE_NOACCESS, &old);
        m_data = m_base ? m_base + usable - size : nullptr;
    }
    ~GuardedBuffer() {
        if (m_base)
            VirtualFree(m_base, 0, MEM_RELEASE);
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint8_t* data() { return m_data; }
    size_t size() const { return m_size; }

private:
    size_t m_size;
    size_t m_page = 4096;
    uint8_t* m_base = nullptr;
    uint8_t* m_data = nullptr;
};

}  // namespace blit_test
