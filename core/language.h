// Interface language tables: one "LOCALIZE" resource per language, 102 numbered lines each.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

// Languages in resource order; the resource of language i is kLanguageResourceBase + i.
enum LanguageIndex : int {
    LanguageSpanish = 0,
    LanguageEnglish = 1,
    LanguageGerman = 2,
    LanguageRussian = 3,
    LanguageRomanian = 4,
    LanguageItalian = 5,
    LanguageDutch = 6,
    LanguagePortugueseBrazil = 7,
    LanguageJapanese = 8,
    LanguageSwedish = 9,
    LanguageCzech = 10,
    LanguageFrench = 11,
    LanguageChineseSimplified = 12,
    LanguageChineseTraditional = 13,
    LanguageFinnish = 14,
    LanguagePolish = 15,
    LanguageKorean = 16,
    LanguageHungarian = 17,
    LanguageSlovak = 18,
    LanguageNorwegian = 19,
    LanguageUkrainian = 20,
    LanguageGreek = 21,
    LanguageArabic = 22,
    LanguageCroatian = 23,
    LanguageBulgarian = 24,
    LanguageSlovenian = 25,
    LanguageTurkish = 26,
    LanguagePersian = 27,
    LanguageSerbian = 28,
    LanguageUrdu = 29,
};

constexpr int kLanguageCount = 30;
constexpr int kLanguageLineCount = 102;
constexpr int kLanguageResourceBase = 401;
constexpr const char* kLanguageResourceType = "LOCALIZE";
constexpr int kLanguageNameSize = 40;     // bytes per language name, terminator included
constexpr int kLanguageLoadAll = -1;      // LoadLanguage argument: fill the language names
constexpr int kLanguageNameLine = 82;     // the line that holds a language's own name

// Language whose table the interface should show; the settings, the tour and the menu change it.
extern std::atomic<int> g_languageIndex;

// Index 0-29 makes that table the current one (a missing resource leaves the previous table).
// kLanguageLoadAll loads every table in turn and copies each one's line 82 into the language
// names; the current table is then the last one, so the caller loads the wanted one next.
// Answers true when the (last) table was found.
bool LoadLanguage(int index);

// Makes a table given as UTF-16 text in the resource's format (byte-order mark optional) the
// current one, converted to the code page of language index; for trying out a translation
// without rebuilding the program. The program's own tables are left as they are.
bool LoadLanguageText(int index, const wchar_t* text, size_t count);

// One table: its numbered lines (1-based line n at lines[n - 1]) point into its own text.
struct LanguageTable {
    std::unique_ptr<char[]> text;
    const char* lines[kLanguageLineCount];
};
// The table LoadLanguageText would make, owned by the caller: the numbered lines of the UTF-16
// text converted to the code page of language index, lines it does not reach in English. Null
// for an index outside 0-29.
std::unique_ptr<LanguageTable> MakeLanguageTable(int index, const wchar_t* text, size_t count);

// Line lineNumber (1-based) of the current table in that language's code page. Never null:
// a number outside 1-102 reads as "", a line the table lacks reads as the English line. The
// text stays valid and unchanged for the life of the process.
const char* GetLanguageLine(int lineNumber);

// Code page of a language's table (0 for an index outside 0-29).
int GetLanguageCodePage(int index);

// A language's own name as LoadLanguage(kLanguageLoadAll) stored it; "" before that or for an
// index outside 0-29.
const char* GetLanguageName(int index);

// Language index for the user's locale.
int DetectLanguage();

// The rule behind DetectLanguage: languageId is the locale's language id in hexadecimal digits
// (as LOCALE_ILANGUAGE gives it, "0407"), englishName its English language name.
int DetectLanguageFromLocale(const char* languageId, const char* englishName);
