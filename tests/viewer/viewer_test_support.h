// Helpers shared by the viewer's window and start-up tests: a message pump for this thread's
// windows, and player packages built the way the packer lays them out.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/package.h"
#include "core/stream.h"

namespace viewer_test {

// Handles every message waiting for this thread's windows.
inline void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

inline void PutU32(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void PutText(std::string& out, const std::string& text, uint32_t declaredUnits = 0)
{
    PutU32(out, declaredUnits ? declaredUnits : static_cast<uint32_t>(text.size() + 1));
    for (char c : text) {
        out += c;
        out += '\0';
    }
    out += std::string(2, '\0');
}

struct PackageLayout {
    std::string parameters = "viewertitle=Packed interface=2";
    std::string entryName = "tour\\a.kzr";
    std::string entryData = "entry bytes";
    bool masked = true;
    uint32_t entryCount = 1;        // as written in the table
    uint32_t parameterUnits = 0;    // 0: the true length
    uint32_t entryPositionShift = 0;
    uint32_t headerShift = 0;       // added to the header position in the trailer
};

// A program (filler bytes, or the given program) with a package appended the way the packer
// lays it out; the entry's bytes and the middle part masked with the header as key when asked.
inline std::string BuildPackage(const PackageLayout& layout, std::string program = std::string(3000, 'P'))
{
    const uint8_t headerByte = 0x25;
    std::string key(static_cast<size_t>(PackageHeaderSize(headerByte)), '\0');
    for (size_t i = 0; i < key.size(); i++)
        key[i] = static_cast<char>(i * 37 + 11);
    key[0] = static_cast<char>(headerByte);
    PackageKey packageKey;
    MakePackageKey(reinterpret_cast<const uint8_t*>(key.data()), static_cast<int>(key.size()), kPackageMasked,
                   &packageKey);
    CFicheroHttp masker;
    ApplyPackageKey(packageKey, &masker);
    // Bytes masked by their absolute position in the file, appended.
    auto append = [&](std::string& file, std::string bytes) {
        if (layout.masked && !bytes.empty())
            masker.ScrambleBytes(reinterpret_cast<uint8_t*>(&bytes[0]), reinterpret_cast<const uint8_t*>(bytes.data()),
                                 static_cast<int>(bytes.size()), static_cast<uint32_t>(file.size()));
        file += bytes;
    };

    std::string file = std::move(program);
    const uint32_t entryPosition = static_cast<uint32_t>(file.size());
    append(file, layout.entryData);
    const uint32_t header = static_cast<uint32_t>(file.size());
    file += key;

    std::string middle;
    PutText(middle, layout.parameters, layout.parameterUnits);
    middle += '\x5A';
    PutU32(middle, layout.entryCount);
    PutText(middle, layout.entryName);
    PutU32(middle, entryPosition + layout.entryPositionShift);
    PutU32(middle, static_cast<uint32_t>(layout.entryData.size()));
    append(file, middle);
    PutU32(file, header + layout.headerShift);
    file += layout.masked ? '\0' : '\x01';
    file += "KZRPACK";
    file += std::string(16 - file.size() % 16, '\0');
    return file;
}

} // namespace viewer_test
