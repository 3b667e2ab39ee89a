#include "core/language.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "core/text_convert.h"

std::atomic<int> g_languageIndex{LanguageEnglish};

namespace {

constexpr int kCodePages[kLanguageCount] = {
    1252, 1252, 1252, 1251, 1250, 1252, 1252, 1252, 932, 1252,
    1250, 1252, 936, 950, 1252, 1250, 949, 1250, 1250, 1252,
    1251, 1253, 1256, 1250, 1251, 1250, 1254, 1256, 1251, 1256,
};

constexpr wchar_t kByteOrderMark = 0xFEFF;
constexpr int kLinePrefixLength = 4;   // "01- "; three-digit numbers take one more

// One table converted to its code page. Built once and never written again, so a line handed
// to another thread stays intact whatever language is chosen later.
std::mutex g_lock;   // guards building tables and the names
std::unique_ptr<LanguageTable> g_tables[kLanguageCount];
std::vector<std::unique_ptr<LanguageTable>> g_givenTables;   // from LoadLanguageText; kept for good
bool g_missing[kLanguageCount];   // resource looked for and not found
std::atomic<const LanguageTable*> g_current{nullptr};
char g_names[kLanguageCount][kLanguageNameSize];

// The table's UTF-16 text (its byte-order mark included); empty when the resource is missing.
std::vector<wchar_t> ReadTableResource(int index) {
    std::vector<wchar_t> wide;
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(kLanguageResourceBase + index),
                                kLanguageResourceType);
    if (!found)
        return wide;
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data || size < sizeof(wchar_t))
        return wide;
    wide.resize(size / sizeof(wchar_t));
    std::memcpy(wide.data(), data, wide.size() * sizeof(wchar_t));
    return wide;
}

const LanguageTable* BuildTableLocked(int index);

// Cuts the numbered lines and converts each into the table's own buffer. Lines the text does
// not reach, or that cannot be converted, take the English line.
std::unique_ptr<LanguageTable> ConvertTable(int index, const wchar_t* text, size_t count) {
    const LanguageTable* english = index == LanguageEnglish ? nullptr : BuildTableLocked(LanguageEnglish);
    if (count > 0 && text[0] == kByteOrderMark) {
        text++;
        count--;
    }
    auto table = std::make_unique<LanguageTable>();
    // A converted character never takes more than two bytes per UTF-16 unit.
    const size_t capacity = count * 2 + kLanguageLineCount + 1;
    table->text = std::make_unique<char[]>(capacity);
    char* out = table->text.get();
    size_t used = 0;
    for (int i = 0; i < kLanguageLineCount; i++)
        table->lines[i] = english ? english->lines[i] : "";

    size_t pos = 0;
    int line = 0;
    while (line < kLanguageLineCount && count - pos > static_cast<size_t>(kLinePrefixLength)) {
        size_t end = pos;
        while (end < count && text[end] != L'\n')
            end++;
        size_t next = end < count ? end + 1 : end;
        if (end > pos && text[end - 1] == L'\r')
            end--;
        size_t start = pos + kLinePrefixLength;
        if (start < end && text[start] == L' ')
            start++;
        if (start > end)
            start = end;

        char* dst = out + used;
        int written = 0;
        if (end > start) {
            written = WideToMultiByte(GetLanguageCodePage(index), dst, text + start,
                                      static_cast<int>(end - start),
                                      static_cast<int>(capacity - used - 1));
        }
        if (end == start || written > 0) {
            dst[written] = '\0';
            table->lines[line] = dst;
            used += static_cast<size_t>(written) + 1;
        }
        line++;
        pos = next;
    }
    return table;
}

const LanguageTable* BuildTableLocked(int index) {
    if (g_tables[index])
        return g_tables[index].get();
    if (g_missing[index])
        return nullptr;
    std::vector<wchar_t> wide = ReadTableResource(index);
    if (wide.empty()) {
        g_missing[index] = true;
        return nullptr;
    }
    g_tables[index] = ConvertTable(index, wide.data(), wide.size());
    return g_tables[index].get();
}

bool EndsWithNoCase(const char* text, const char* suffix) {
    size_t n = std::strlen(text), m = std::strlen(suffix);
    return n >= m && _stricmp(text + n - m, suffix) == 0;
}

struct PrimaryLanguage {
    const char* digits;   // last two hexadecimal digits of the language id
    int index;
};

constexpr PrimaryLanguage kPrimaryLanguages[] = {
    {"0a", LanguageSpanish},    {"07", LanguageGerman},     {"19", LanguageRussian},
    {"18", LanguageRomanian},   {"10", LanguageItalian},    {"13", LanguageDutch},
    {"16", LanguagePortugueseBrazil}, {"11", LanguageJapanese}, {"1d", LanguageSwedish},
    {"05", LanguageCzech},      {"0c", LanguageFrench},     {"0b", LanguageFinnish},
    {"15", LanguagePolish},     {"12", LanguageKorean},     {"0e", LanguageHungarian},
    {"1b", LanguageSlovak},     {"14", LanguageNorwegian},  {"22", LanguageUkrainian},
    {"08", LanguageGreek},      {"01", LanguageArabic},     {"02", LanguageBulgarian},
    {"24", LanguageSlovenian},  {"1f", LanguageTurkish},    {"29", LanguagePersian},
    {"20", LanguageUrdu},
};

// Chinese ids of the regions that write Traditional characters: Taiwan, Hong Kong, Macau and
// the neutral Traditional id.
constexpr const char* kTraditionalChineseIds[] = {"0404", "0c04", "1404", "7c04"};

}  // namespace

int GetLanguageCodePage(int index) {
    return index >= 0 && index < kLanguageCount ? kCodePages[index] : 0;
}

bool LoadLanguage(int index) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (index == kLanguageLoadAll) {
        bool found = false;
        for (int i = 0; i < kLanguageCount; i++) {
            const LanguageTable* table = BuildTableLocked(i);
            found = table != nullptr;
            if (!table)
                continue;
            g_current.store(table);
            // Tables never change, so a name once filled is final; leaving it alone spares
            // readers on other threads a rewrite.
            if (!g_names[i][0]) {
                CopyText(g_names[i], table->lines[kLanguageNameLine - 1], kLanguageNameSize);
            }
        }
        return found;
    }
    if (index < 0 || index >= kLanguageCount)
        return false;
    const LanguageTable* table = BuildTableLocked(index);
    if (!table)
        return false;
    g_current.store(table);
    return true;
}

std::unique_ptr<LanguageTable> MakeLanguageTable(int index, const wchar_t* text, size_t count) {
    if (index < 0 || index >= kLanguageCount || (!text && count > 0))
        return nullptr;
    std::lock_guard<std::mutex> hold(g_lock);
    return ConvertTable(index, text, count);
}

bool LoadLanguageText(int index, const wchar_t* text, size_t count) {
    std::unique_ptr<LanguageTable> table = MakeLanguageTable(index, text, count);
    if (!table)
        return false;
    std::lock_guard<std::mutex> hold(g_lock);
    g_givenTables.push_back(std::move(table));
    g_current.store(g_givenTables.back().get());
    return true;
}

const char* GetLanguageLine(int lineNumber) {
    if (lineNumber < 1 || lineNumber > kLanguageLineCount)
        return "";
    const LanguageTable* table = g_current.load();
    if (!table) {
        // Nothing chosen yet (an error reported before start-up finished): speak English.
        std::lock_guard<std::mutex> hold(g_lock);
        table = BuildTableLocked(LanguageEnglish);
        if (!table)
            return "";
    }
    return table->lines[lineNumber - 1];
}

const char* GetLanguageName(int index) {
    if (index < 0 || index >= kLanguageCount)
        return "";
    return g_names[index];
}

int DetectLanguageFromLocale(const char* languageId, const char* englishName) {
    if (!languageId || std::strlen(languageId) < 2)
        return LanguageEnglish;
    if (!englishName)
        englishName = "";
    const char* primary = languageId + std::strlen(languageId) - 2;
    if (_stricmp(primary, "04") == 0) {
        for (const char* id : kTraditionalChineseIds) {
            if (EndsWithNoCase(languageId, id))
                return LanguageChineseTraditional;
        }
        return LanguageChineseSimplified;
    }
    if (_stricmp(primary, "1a") == 0) {
        if (std::strstr(englishName, "Croatia"))
            return LanguageCroatian;
        if (std::strstr(englishName, "Serbian"))
            return LanguageSerbian;
        return LanguageEnglish;
    }
    for (const PrimaryLanguage& entry : kPrimaryLanguages) {
        if (_stricmp(primary, entry.digits) == 0)
            return entry.index;
    }
    return LanguageEnglish;
}

int DetectLanguage() {
    char id[16] = "";
    char name[128] = "";
    if (!GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE, id, sizeof id))
        id[0] = '\0';
    if (!GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SENGLANGUAGE, name, sizeof name))
        name[0] = '\0';
    return DetectLanguageFromLocale(id, name);
}
