// The package a packed player carries at the end of its own program file, as the start-up reads
// it: the trailer near the end, the header that is the key, the masked parameter text and entry
// table. The file is untrusted input: every length and position is checked before use, and
// nothing is taken unless the whole package reads well.
#include "viewer/main_frame.h"

#include <cstring>
#include <vector>

#include "core/path_resolution.h"
#include "core/stream.h"
#include "core/text_convert.h"

namespace {

constexpr char kPackageMagic[] = "KZRPACK";
constexpr int kPackageMagicLength = 7;
// The trailer lies within this many bytes of the end (a code-signing block may follow it).
constexpr int kPackageTailSize = 6500;
// Bytes of the trailer in front of the magic: header position (4), scrambling value (1).
constexpr int kTrailerFrontBytes = 5;
// Longest parameter text or entry name, in UTF-16 units with the terminator.
constexpr uint32_t kMaxPackageTextUnits = 4096;
// Smallest entry record: name length, one UTF-16 unit, data position, data size.
constexpr uint32_t kMinEntryBytes = 4 + 2 + 4 + 4;

struct EntryRecord {
    CTexto name;
    uint32_t position;
    uint32_t size;
};

// Reads bytes that must lie before the limit; false when they do not or the read falls short.
class BoundedReader {
public:
    BoundedReader(CFicheroHttp& stream, int64_t limit) : m_stream(stream), m_limit(limit) {}

    int64_t Left() const { return m_limit - m_stream.GetPosition(); }

    bool Read(void* buffer, int64_t count)
    {
        if (count < 0 || count > Left())
            return false;
        return m_stream.Read(buffer, static_cast<int>(count)) == count;
    }

    bool ReadU32(uint32_t* value)
    {
        uint8_t bytes[4];
        if (!Read(bytes, 4))
            return false;
        *value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                 static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
        return true;
    }

    // A length-prefixed UTF-16LE text (the length counts the terminator), converted to ANSI.
    bool ReadText(CTexto* text)
    {
        uint32_t units = 0;
        if (!ReadU32(&units) || units > kMaxPackageTextUnits)
            return false;
        std::vector<wchar_t> wide(units + 1, L'\0');
        for (uint32_t i = 0; i < units; i++) {
            uint8_t unit[2];
            if (!Read(unit, 2))
                return false;
            wide[i] = static_cast<wchar_t>(unit[0] | unit[1] << 8);
        }
        text->AssignWide(wide.data());
        return true;
    }

private:
    CFicheroHttp& m_stream;
    int64_t m_limit;
};

}  // namespace

bool ReadPlayerPackage(const char* path, const char* startFolder, PlayerPackage* package)
{
    CFicheroHttp stream;
    if (!path || !*path || !stream.Open(path, OpenNoPackage))
        return false;
    return ReadPlayerPackage(stream, startFolder, package);
}

bool ReadPlayerPackage(CFicheroHttp& stream, const char* startFolder, PlayerPackage* package)
{
    const int64_t length = stream.GetLength();
    if (length <= kTrailerFrontBytes + kPackageMagicLength)
        return false;

    // The trailer: the first "KZRPACK" of the last block whose header position is not 0.
    const int64_t tailStart = length > kPackageTailSize ? length - kPackageTailSize : 0;
    const int tailSize = static_cast<int>(length - tailStart);
    std::vector<uint8_t> tail(static_cast<size_t>(tailSize));
    if (stream.Seek(tailStart) != tailStart || stream.Read(tail.data(), tailSize) != tailSize)
        return false;
    int64_t trailer = -1;   // absolute position of the header position field
    uint32_t header = 0;
    int32_t scrambleWord = 0;
    for (int i = kTrailerFrontBytes; i + kPackageMagicLength <= tailSize; i++) {
        if (std::memcmp(&tail[static_cast<size_t>(i)], kPackageMagic, kPackageMagicLength) != 0)
            continue;
        const uint8_t* front = &tail[static_cast<size_t>(i - kTrailerFrontBytes)];
        header = static_cast<uint32_t>(front[0]) | static_cast<uint32_t>(front[1]) << 8 |
                 static_cast<uint32_t>(front[2]) << 16 | static_cast<uint32_t>(front[3]) << 24;
        scrambleWord = static_cast<int8_t>(front[4]);
        if (header != 0) {
            trailer = tailStart + i - kTrailerFrontBytes;
            break;
        }
    }
    if (trailer < 0)
        return false;

    // The header, which is the key, lies inside the file and before the trailer.
    uint8_t key[kPackageKeySize] = {};
    if (static_cast<int64_t>(header) >= trailer || stream.Seek(header) != static_cast<int64_t>(header))
        return false;
    BoundedReader reader(stream, trailer);
    if (!reader.Read(key, 1))
        return false;
    const int headerSize = PackageHeaderSize(key[0]);
    if (!reader.Read(key + 1, headerSize - 1))
        return false;
    PlayerPackage read;
    if (!MakePackageKey(key, headerSize, scrambleWord, &read.key))
        return false;
    ApplyPackageKey(read.key, &stream);

    uint8_t reserved = 0;
    uint32_t count = 0;
    if (!reader.ReadText(&read.parameterText) || !reader.Read(&reserved, 1) || !reader.ReadU32(&count))
        return false;
    if (count > static_cast<uint64_t>(reader.Left()) / kMinEntryBytes)
        return false;
    CTexto folder(startFolder ? startFolder : "");
    for (uint32_t i = 0; i < count; i++) {
        EntryRecord entry;
        if (!reader.ReadText(&entry.name) || !reader.ReadU32(&entry.position) || !reader.ReadU32(&entry.size))
            return false;
        if (static_cast<uint64_t>(entry.position) + entry.size > static_cast<uint64_t>(length))
            return false;
        ResolvePath(entry.name, &folder, nullptr);
        AddPackageEntry(&read.entries, entry.name.GetText(), entry.position, entry.size);
    }

    package->key = read.key;
    package->parameterText = read.parameterText;
    package->entries.RemoveAll();
    for (int32_t i = 0;; i++) {
        const PackageEntry* entry = static_cast<const PackageEntry*>(read.entries.GetItem(i));
        if (!entry)
            break;
        AddPackageEntry(&package->entries, entry->name.GetText(), entry->dataPosition, entry->dataSize);
    }
    return true;
}
