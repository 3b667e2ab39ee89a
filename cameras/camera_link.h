// The framing of the camera link: every message is a 32-bit little-endian byte count followed by
// that many bytes. One sender and one length reader serve every exchange of the program.
#pragma once

#include <cstdint>

class CFicheroHttp;

// Longest request text a camera link carries.
constexpr int kCameraRequestMaxLength = 2047;
// Bytes of the motion-detection parameter block (enabled flag, method, 21 values).
constexpr int kDetectionParamsBytes = 92;
constexpr int kDetectionParamValues = 21;
// Connect time-out of a command to a camera.
constexpr int kCameraConnectTimeoutMs = 5000;

// Sends the count and the bytes on the link; true when all 4 + count bytes went out.
bool SendFramed(CFicheroHttp& link, const void* bytes, int32_t count);
// Sends count bytes read from file as one message: the count, then the bytes in pieces of at most
// 64 KB as they are read, so a large file is never whole in memory. False when a read falls short
// or a send fails.
bool SendFramedFromFile(CFicheroHttp& link, CFicheroHttp& file, int32_t count);
// Reads one 32-bit little-endian value; false when fewer than 4 bytes arrived.
bool ReceiveInt32(CFicheroHttp& link, int32_t* value);
// Appends value's 4 little-endian bytes at out; answers out + 4.
uint8_t* PutInt32(uint8_t* out, int32_t value);
int32_t GetInt32(const uint8_t* in);
// A camera name may go into a command text between double quotes: false for an empty name and
// for one holding a quote, a semicolon, a parenthesis, a backslash or a control character.
bool IsSafeCameraName(const char* name);
