#include "core/package.h"

#include <cstring>

CObjeto g_packageTable;
PackageKey g_packageKey;
std::atomic<int> g_runningFromPackage{0};
CTexto g_programPath;

bool MakePackageKey(const uint8_t* header, int headerSize, int32_t scrambleWord, PackageKey* key) {
    if (!header || !key || headerSize < 1 || headerSize < PackageHeaderSize(header[0]))
        return false;
    key->keyLength = PackageKeyLength(header[0]);
    key->keyOffset = PackageKeyOffset(header[0]);
    key->scrambleWord = scrambleWord;
    const int take = headerSize < kPackageKeySize ? headerSize : kPackageKeySize;
    std::memset(key->key, 0, sizeof key->key);
    std::memcpy(key->key, header, static_cast<size_t>(take));
    return true;
}

void ApplyPackageKey(const PackageKey& key, CFicheroHttp* stream) {
    if (!stream)
        return;
    stream->m_keyLength = key.keyLength;
    stream->m_keyOffset = key.keyOffset;
    stream->m_scrambleOff = key.scrambleWord;
    std::memcpy(stream->m_key, key.key, kPackageKeySize);
}

PackageEntry* AddPackageEntry(CObjeto* table, const char* name, uint32_t dataPosition,
                              uint32_t dataSize) {
    if (!table)
        return nullptr;
    auto* entry = new PackageEntry;
    entry->name = name;
    entry->dataPosition = dataPosition;
    entry->dataSize = dataSize;
    table->InsertItem(-1, entry);
    return entry;
}

const PackageEntry* FindPackageEntry(const char* name) {
    if (!name || !*name || g_packageTable.GetCount() == 0)
        return nullptr;
    for (CObjeto* node = g_packageTable.GetHead(); node; node = node->GetNext()) {
        // Only records made as entries count, whatever else shares the type code.
        const auto* entry = dynamic_cast<const PackageEntry*>(node->GetRecord());
        if (entry && entry->name == name)
            return entry;
    }
    return nullptr;
}

void ClearPackage() {
    g_runningFromPackage = 0;
    g_packageTable.RemoveAll();
    g_packageKey = PackageKey();
}

// The stream's question on every open: where does this name live in the running package?
PackageLookup LookupPackageEntry(const char* name, PackageEntryLocation* location) {
    if (!g_runningFromPackage.load())
        return PackageLookup::NoPackage;
    const PackageEntry* entry = FindPackageEntry(name);
    if (!entry)
        return PackageLookup::Missing;
    if (location) {
        location->packagePath = g_programPath.GetText();
        location->dataPosition = entry->dataPosition;
        location->size = entry->dataSize;
        location->keyLength = g_packageKey.keyLength;
        location->keyOffset = g_packageKey.keyOffset;
        location->scrambleWord = g_packageKey.scrambleWord;
        location->key = g_packageKey.key;
    }
    return PackageLookup::Found;
}
