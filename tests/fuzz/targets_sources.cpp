// Fuzz targets for the frame loader: image lists (a base, then one name per face or sensor) and
// images stored back to back in one stream with their size, offset and layout tables.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/package.h"
#include "core/stream.h"
#include "fuzz_target.h"
#include "images/sprite.h"
#include "sources/frame.h"

namespace {

const char* const kListWords[] = {",", "\"", "C:\\pkg\\", "a.jpg", "b.jpg", "c.jpg", "..\\",
                                  ".JPG", ",,", nullptr};
const char* const kStreamWords[] = {"\xFF\xD8", "\xFF\xD9", "\xFF\xDA", "\xFF\xC0", "\xFF\xE0",
                                    "JFIF", "\x00\x00\x01\x00", "\xFF\xFF\xFF\xFF", nullptr};

// Lists longer than this only build more placeholders.
constexpr int kMaxListFields = 64;
constexpr int kPictureSide = 24;

// Names that would leave the process's own files: addresses, pages, live sources.
bool NamesOutsideSource(const std::string& list)
{
    std::string lower(list);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* word : {"http:", "webcam", ".swf", ".htm", ".mht", ".php", ".avi", ".mpg",
                             ".mp4"}) {
        if (lower.find(word) != std::string::npos)
            return true;
    }
    return false;
}

// A small standard JPEG in a file of its own, written once: the image list's names reach it
// through a package table, so that no name the fuzzer makes up opens anything on disk.
const std::string& PictureFile()
{
    static std::string path;
    if (!path.empty())
        return path;
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    path = std::string(folder) + "lumarix-fuzz-frames-" + std::to_string(GetCurrentProcessId()) +
           ".jpg";
    CSprite picture;
    picture.jfif = 1;
    if (picture.CreateImage(kPictureSide, kPictureSide, 24, true, 0x406080, false) > 0) {
        for (int y = 0; y < kPictureSide; ++y)
            for (int x = 0; x < kPictureSide; ++x)
                picture.SetPixel(x, y, static_cast<uint32_t>(x * 10 << 16 | y * 10 << 8 | 0x40));
        picture.SaveJPEG(path.c_str(), 90, 101, 2, 64, false, false, false, 0, false, 1, nullptr,
                         0, 0, 0, 0);
    }
    return path;
}

// Names C:\pkg\a.jpg (the picture), b.jpg (its first half) and c.jpg (from its middle).
void OpenPicturePackage()
{
    const std::string& path = PictureFile();
    CFicheroHttp file;
    int64_t length = 0;
    if (file.Open(path.c_str(), OpenNoPackage))
        length = file.GetLength();
    file.Close();
    const uint32_t size = static_cast<uint32_t>(std::max<int64_t>(length, 0));
    ClearPackage();
    g_programPath = path.c_str();
    AddPackageEntry(&g_packageTable, "C:\\pkg\\a.jpg", 0, size);
    AddPackageEntry(&g_packageTable, "C:\\pkg\\b.jpg", 0, size / 2);
    AddPackageEntry(&g_packageTable, "C:\\pkg\\c.jpg", size / 2, size - size / 2);
    g_runningFromPackage = 1;
}

const uint32_t* TakeWords(const uint8_t*& data, size_t& size, size_t count,
                          std::vector<uint32_t>* out)
{
    out->assign(count, 0);
    const size_t bytes = std::min(size, count * 4);
    std::memcpy(out->data(), data, bytes);
    data += bytes;
    size -= bytes;
    return out->data();
}

}  // namespace

// The first byte chooses the source kind; the rest is the list.
LUMARIX_FUZZ_TARGET(imagelist, kListWords) {
    if (size < 1)
        return 0;
    static const int kSources[] = {SourceCubic, SourceFisheyes, SourceCamera};
    std::string list(reinterpret_cast<const char*>(data + 1), size - 1);
    list.erase(std::find(list.begin(), list.end(), '\0'), list.end());
    if (std::count(list.begin(), list.end(), ',') >= kMaxListFields || NamesOutsideSource(list))
        return 0;
    OpenPicturePackage();
    auto frame = std::make_unique<CFrame>();
    frame->sourceKind = kSources[data[0] % 3];
    frame->LoadImageList(list.c_str(), nullptr, 0);
    frame.reset();
    ClearPackage();
    return 0;
}

// Byte 0: frame kind (bits 0-1), offsets (bit 2), layout (bit 3); byte 1: images (1-8);
// byte 2: pieces per image (1-9). Then the size table, the offset and layout tables when
// chosen, and the stream's bytes.
LUMARIX_FUZZ_TARGET(imagestream, kStreamWords) {
    if (size < 3 || DeclaresLargePicture(data, size))
        return 0;
    const uint8_t options = data[0];
    const int count = 1 + data[1] % 8;
    const int tiles = 1 + data[2] % 9;
    data += 3;
    size -= 3;
    const size_t pieces = static_cast<size_t>(count) * tiles;
    std::vector<uint32_t> sizes, offsets, layout;
    TakeWords(data, size, pieces, &sizes);
    const uint32_t* offsetTable = (options & 4) ? TakeWords(data, size, pieces, &offsets) : nullptr;
    const uint32_t* layoutTable = (options & 8) ? TakeWords(data, size, pieces, &layout) : nullptr;

    auto frame = std::make_unique<CFrame>();
    switch (options & 3) {
    case 0:
        frame->CreateGeometry(FrameKindCubic, 6, 16, 16, 0);
        break;
    case 1:
        frame->CreateGeometry(FrameKindImageGrid, 1, 4, 2, 0);
        break;
    default:
        frame->CreateGeometry(FrameKindCylindrical, 4, 16, 16, 0);
        break;
    }
    CFicheroHttp stream;
    if (!stream.SetBuffer(data, static_cast<int64_t>(size), BufferUse::InPlace))
        return 0;
    frame->LoadImagesFromStream(&stream, sizes.data(), offsetTable, layoutTable, count, tiles,
                                ~0u, nullptr, 0);
    return 0;
}
