// The package key mask: a reversible mask keyed by absolute file position, so the packer's
// writing stream and every reading stream use the same steps.
#include "core/stream.h"

#include <cstring>

void StreamCore::ScrambleBytes(uint8_t* out, const uint8_t* in, int count, uint32_t position) const {
    if (!out || !in || count <= 0)
        return;
    // k + 1 must stay inside the key bytes.
    if (m_scrambleOff != 0 || m_keyLength <= 0 || m_keyLength >= kPackageKeySize) {
        if (out != in)
            std::memmove(out, in, static_cast<size_t>(count));
        return;
    }
    const uint32_t length = static_cast<uint32_t>(m_keyLength);
    const uint32_t offset = static_cast<uint32_t>(m_keyOffset);
    for (int i = 0; i < count; i++) {
        const uint32_t p = position + static_cast<uint32_t>(i);
        const uint32_t k = (offset + p) % length;
        uint8_t b = static_cast<uint8_t>(in[i] ^ m_key[k]);
        if (p & 1)
            b ^= m_key[k + 1];
        else if (k > 0)
            b ^= m_key[k - 1];   // key[-1] counts as 0
        out[i] = b;
    }
}

void StreamCore::DescrambleBytes(uint8_t* buffer, int count, uint32_t position) const {
    ScrambleBytes(buffer, buffer, count, position);
}
