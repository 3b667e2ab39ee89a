// StreamCore: reading, writing and positioning, whatever the source.
#include "core/stream.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <new>

#include "core/clock.h"
#include "core/system_wrappers.h"

int StreamCore::Read(void* buffer, int count) {
    if (!buffer || count <= 0 || IsCancelled())
        return 0;
    const int64_t length = m_length.load();
    const int64_t relative = GetPosition();
    if (length >= 0 && relative >= length)
        return 0;
    const int64_t start = m_position;
    const float startSeconds = GetTimeSeconds();
    int got = 0;
    switch (m_source) {
    case StreamSource::File:
        if (m_entryOpen) {
            // A read inside a package entry stops at the entry's end.
            const int64_t left = static_cast<int64_t>(m_entrySize) - relative;
            if (left <= 0)
                return 0;
            if (count > left)
                count = static_cast<int>(left);
        }
        got = ReadLocalFile(buffer, count);
        break;
    case StreamSource::Memory:
        got = ReadMemory(buffer, count);
        break;
    case StreamSource::Http:
        got = ReadHttp(buffer, count);   // moves the position itself
        break;
    case StreamSource::Tcp:
    case StreamSource::None:
        return 0;
    }
    if (got <= 0)
        return 0;
    if (m_source == StreamSource::File)
        m_position += got;
    if (m_scrambleOff >= 0)
        DescrambleBytes(static_cast<uint8_t*>(buffer), got, static_cast<uint32_t>(start));
    if (m_source != StreamSource::Memory)
        ApplySpeedLimit(got, startSeconds);
    return got;
}

void StreamCore::ApplySpeedLimit(int bytesRead, float startSeconds) const {
    const float limit = g_downloadSpeed.load();
    if (limit <= 0.0f || bytesRead <= 0)
        return;
    // kbit/s: count bytes take 10 x count / (limit x 1024) seconds.
    const double needed = 10.0 / (static_cast<double>(limit) * 1024.0) * bytesRead;
    const double spent = static_cast<double>(GetTimeSeconds() - startSeconds);
    double waitMs = (needed - spent) * 1000.0;
    if (waitMs <= 2.0)
        return;
    if (waitMs > kSpeedLimitMaxWaitMs)
        waitMs = kSpeedLimitMaxWaitMs;
    int remaining = static_cast<int>(waitMs);
    while (remaining > 0 && !IsCancelled()) {
        int slice = remaining < kStreamPollMs ? remaining : kStreamPollMs;
        Sleep(static_cast<DWORD>(slice));
        remaining -= slice;
    }
}

int StreamCore::ReadInt32(uint32_t* value) {
    int got = Read(value, sizeof *value);
    if (m_bigEndian)
        SwapBytes32(value);
    return got;
}

int StreamCore::ReadInt32(int32_t* value) {
    return ReadInt32(reinterpret_cast<uint32_t*>(value));
}

int StreamCore::ReadInt16(uint16_t* value) {
    int got = Read(value, sizeof *value);
    if (m_bigEndian)
        SwapBytes16(value);
    return got;
}

int StreamCore::ReadInt16(int16_t* value) {
    return ReadInt16(reinterpret_cast<uint16_t*>(value));
}

int StreamCore::Write(const void* data, int count) {
    if (!data || count <= 0)
        return 0;
    const bool toMemory = m_source == StreamSource::Memory && m_memoryMode && m_memBuffer &&
                          m_memData == m_memBuffer;
    if (!toMemory && m_source != StreamSource::File)
        return 0;

    const void* bytes = data;
    std::unique_ptr<uint8_t[]> scrambled;
    if (m_scrambleOff == 0) {
        // Scrambled for the absolute positions the bytes will occupy; the caller's data stays.
        scrambled.reset(new (std::nothrow) uint8_t[count]);
        if (!scrambled)
            return 0;
        ScrambleBytes(scrambled.get(), static_cast<const uint8_t*>(data), count,
                      static_cast<uint32_t>(m_position));
        bytes = scrambled.get();
    }

    int written;
    if (toMemory) {
        written = WriteMemoryMode(bytes, count);
    } else {
        written = WriteLocalFile(bytes, count);
    }
    m_position += written;
    if (!toMemory && GetPosition() > m_length.load())
        m_length = GetPosition();
    return written;
}

int64_t StreamCore::Seek(int64_t position) {
    if (position < 0 || position > INT64_MAX - m_entryBase)
        return -1;
    const int64_t target = position + m_entryBase;
    if (m_source != StreamSource::None && target == m_position)
        return GetPosition();
    switch (m_source) {
    case StreamSource::File:
        if (SeekFile(target) < 0)
            return -1;
        m_position = target;
        break;
    case StreamSource::Memory:
        SeekMemory(target);
        break;
    case StreamSource::Http:
        return SeekHttp(target);
    case StreamSource::Tcp:
    case StreamSource::None:
        return -1;
    }
    return GetPosition();
}

int64_t StreamCore::SeekToEnd() {
    const int64_t length = GetLength();
    return length < 0 ? -1 : Seek(length);
}

int64_t StreamCore::GetLength() {
    if (m_entryOpen)
        return m_entrySize;
    if (m_source == StreamSource::File)
        return GetFileLength();
    return m_length.load();
}

int64_t StreamCore::CopyFrom(const char* sourceName, unsigned flags) {
    StreamCore source;
    if (!source.Open(sourceName, flags | OpenReportErrors, m_cancelFlag.load(), 0))
        return 0;
    const int64_t length = source.GetLength();
    int64_t copied = 0;
    if (length > 0) {
        std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[kCopyChunkSize]);
        while (chunk && copied < length) {
            const int64_t left = length - copied;
            const int ask = left <= kCopyChunkSize ? static_cast<int>(left) : kCopyChunkSize;
            const int got = source.Read(chunk.get(), ask);
            const int written = got > 0 ? Write(chunk.get(), got) : 0;
            copied += written;
            if (got < ask || written < got)
                break;
        }
    }
    source.Close();
    return copied;
}
