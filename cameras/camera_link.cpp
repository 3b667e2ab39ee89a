#include "cameras/camera_link.h"

#include <algorithm>
#include <vector>

#include "core/stream.h"

uint8_t* PutInt32(uint8_t* out, int32_t value)
{
    uint32_t bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; i++)
        out[i] = static_cast<uint8_t>(bits >> (8 * i));
    return out + 4;
}

int32_t GetInt32(const uint8_t* in)
{
    uint32_t bits = 0;
    for (int i = 0; i < 4; i++)
        bits |= static_cast<uint32_t>(in[i]) << (8 * i);
    return static_cast<int32_t>(bits);
}

bool SendFramed(CFicheroHttp& link, const void* bytes, int32_t count)
{
    if (count < 0)
        return false;
    // One send, so that the peer never sees the count without its bytes.
    std::vector<uint8_t> message(4 + static_cast<size_t>(count));
    PutInt32(message.data(), count);
    if (count > 0)
        std::copy(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + count,
                  message.begin() + 4);
    int total = 4 + count;
    return link.Send(message.data(), total) == total;
}

bool SendFramedFromFile(CFicheroHttp& link, CFicheroHttp& file, int32_t count)
{
    constexpr int kPieceBytes = 64 * 1024;
    if (count < 0)
        return false;
    uint8_t header[4];
    PutInt32(header, count);
    if (link.Send(header, 4) != 4)
        return false;
    std::vector<uint8_t> piece(static_cast<size_t>(std::min(count, kPieceBytes)));
    for (int32_t left = count; left > 0;) {
        const int want = std::min(left, kPieceBytes);
        if (file.Read(piece.data(), want) != want || link.Send(piece.data(), want) != want)
            return false;
        left -= want;
    }
    return true;
}

bool ReceiveInt32(CFicheroHttp& link, int32_t* value)
{
    uint8_t bytes[4];
    if (link.Recv(bytes, 4) != 4)
        return false;
    *value = GetInt32(bytes);
    return true;
}

bool IsSafeCameraName(const char* name)
{
    if (!name || !*name)
        return false;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(name); *c; c++) {
        if (*c < 0x20 || *c == 0x7F || *c == '"' || *c == '\'' || *c == ';' || *c == '(' ||
            *c == ')' || *c == '\\')
            return false;
    }
    return true;
}
