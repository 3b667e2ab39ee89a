// The package a packed player carries: its entry table and key. While the program runs from a
// package every name it opens is first looked up here (CFicheroHttp::Open asks through
// LookupPackageEntry), and an entry's bytes are read straight out of the program file and
// unmasked by absolute position (CFicheroHttp::ScrambleBytes).
//
// The table and key are filled once at start-up by the reader of the package trailer, before
// any other thread opens files; after that they are only read, so they carry no lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/item_list.h"
#include "core/object_item.h"
#include "core/stream.h"
#include "core/text_string.h"

// For header byte m: key length L = (m AND 0x3F) + 100, key offset K = (m >> 4) + 20; the
// header is L + 20 bytes and is itself the key.
constexpr int kPackageKeyLengthBase = 100;
constexpr int kPackageKeyOffsetBase = 20;
constexpr int kPackageHeaderExtra = 20;
// Scrambling word of a key: only exactly this masks; any other value means plain bytes.
constexpr int32_t kPackageMasked = 0;
constexpr int32_t kPackageNoKey = -1;

inline int PackageKeyLength(uint8_t headerByte) { return (headerByte & 0x3F) + kPackageKeyLengthBase; }
inline int PackageKeyOffset(uint8_t headerByte) { return (headerByte >> 4) + kPackageKeyOffsetBase; }
inline int PackageHeaderSize(uint8_t headerByte) { return PackageKeyLength(headerByte) + kPackageHeaderExtra; }

struct PackageKey {
    int32_t keyLength = 0;
    int32_t keyOffset = 0;
    int32_t scrambleWord = kPackageNoKey;
    uint8_t key[kPackageKeySize] = {};   // the header from its first byte on
};

// Builds a key from a package header (headerSize bytes from byte m on) and the trailer's
// scrambling value. False, key unchanged, when the header is shorter than byte m asks for.
bool MakePackageKey(const uint8_t* header, int headerSize, int32_t scrambleWord, PackageKey* key);
// Gives a stream the key, so that its reads (and writes) are masked as the key says.
void ApplyPackageKey(const PackageKey& key, CFicheroHttp* stream);

// One file of the package. Kept as an ObjectItem record of type PackageEntry so the item list
// treats it like the other records of that code; entries are made by AddPackageEntry only.
struct PackageEntry : ObjectItem {
    PackageEntry() { type = ItemType::PackageEntry; }

    // name: the file's absolute name (its relative name resolved against the program's folder);
    // groupName: for the package builder, the source file on disk.
    uint32_t dataPosition = 0;   // absolute position of the entry's first byte in the package file
    uint32_t dataSize = 0;       // byte count
};

// Entries of the running package; empty outside a package.
extern CObjeto g_packageTable;
// The running package's key (scrambling word kPackageNoKey when there is none).
extern PackageKey g_packageKey;
// Set once the start-up reader has loaded a package: names then open through the table.
extern std::atomic<int> g_runningFromPackage;
// Path of the running program, which is the file holding the package's entries.
extern CTexto g_programPath;

// Appends an entry to a table (g_packageTable, or the builder's own list); answers it.
PackageEntry* AddPackageEntry(CObjeto* table, const char* name, uint32_t dataPosition,
                              uint32_t dataSize);
// The entry of g_packageTable with exactly this name (case-sensitive, whole name); null when
// none, for a null or empty name, or outside a package (the table is then empty).
const PackageEntry* FindPackageEntry(const char* name);
// Back to "no package": table emptied, key reset, running flag cleared.
void ClearPackage();
