#include "core/language.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// The raw lines of a table resource as the program carries it (byte-order mark checked and
// dropped, lines split at CR LF), to compare the loaded text against.
std::vector<std::wstring> RawTableLines(int index) {
    std::vector<std::wstring> lines;
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(kLanguageResourceBase + index),
                                kLanguageResourceType);
    if (!found)
        return lines;
    DWORD size = SizeofResource(module, found);
    const wchar_t* data = static_cast<const wchar_t*>(LockResource(LoadResource(module, found)));
    std::wstring text(data, size / sizeof(wchar_t));
    if (text.empty() || text[0] != 0xFEFF)
        return lines;
    text.erase(0, 1);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(L"\r\n", pos);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

std::wstring ToWide(int codePage, const char* text) {
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (n <= 0)
        return L"<invalid>";
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

// A table text in the resource format from the given lines (line 1 first).
std::wstring MakeTable(const std::vector<std::wstring>& lines) {
    std::wstring text = L"\xFEFF";
    for (size_t i = 0; i < lines.size(); i++) {
        wchar_t prefix[8];
        swprintf(prefix, 8, L"%02d- ", static_cast<int>(i + 1));
        text += prefix + lines[i] + L"\r\n";
    }
    return text;
}

}  // namespace

// Every table is complete and numbered, and every line survives the conversion to its
// language's code page: converting the loaded line back gives the resource's text exactly
// (no character fell outside the code page, no line was cut or shifted).
TEST(Language, EveryTableLoadsEveryLineIntoItsCodePage) {
    for (int index = 0; index < kLanguageCount; index++) {
        SCOPED_TRACE(index);
        std::vector<std::wstring> raw = RawTableLines(index);
        ASSERT_EQ(raw.size(), static_cast<size_t>(kLanguageLineCount));
        ASSERT_TRUE(LoadLanguage(index));
        for (int line = 1; line <= kLanguageLineCount; line++) {
            SCOPED_TRACE(line);
            wchar_t prefix[8];
            swprintf(prefix, 8, L"%02d- ", line);
            const std::wstring& rawLine = raw[static_cast<size_t>(line - 1)];
            ASSERT_EQ(rawLine.compare(0, wcslen(prefix), prefix), 0);
            std::wstring expected = rawLine.substr(wcslen(prefix));
            ASSERT_FALSE(expected.empty());
            EXPECT_EQ(ToWide(GetLanguageCodePage(index), GetLanguageLine(line)), expected);
        }
    }
    LoadLanguage(LanguageEnglish);
}

TEST(Language, TablesSpeakTheirLanguage) {
    struct Case { int index; int line; const wchar_t* text; };
    const Case cases[] = {
        {LanguageEnglish, 2, L"ERROR: File does not exist"},
        {LanguageEnglish, 102, L"Enable double click for fullscreen"},
        {LanguageGerman, 2, L"FEHLER: Die Datei existiert nicht"},
        {LanguageGerman, 67, L"Schließen"},
        {LanguageRussian, 67, L"Закрыть"},
        {LanguageJapanese, 67, L"閉じる"},
        {LanguageChineseTraditional, 15, L"全螢幕"},
        {LanguageGreek, 67, L"Κλείσιμο"},
        {LanguageTurkish, 82, L"Turkish (Türkçe)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        ASSERT_TRUE(LoadLanguage(c.index));
        EXPECT_EQ(ToWide(GetLanguageCodePage(c.index), GetLanguageLine(c.line)), c.text);
    }
    LoadLanguage(LanguageEnglish);
}

// Line 74 asks for an update without naming any web address.
TEST(Language, UpdateRequestNamesNoAddress) {
    for (int index = 0; index < kLanguageCount; index++) {
        ASSERT_TRUE(LoadLanguage(index));
        std::string line = GetLanguageLine(74);
        EXPECT_NE(line.find("Lumarix"), std::string::npos) << index;
        EXPECT_EQ(line.find("http"), std::string::npos) << index;
        EXPECT_EQ(line.find("www"), std::string::npos) << index;
    }
    LoadLanguage(LanguageEnglish);
}

TEST(Language, LoadAllFillsTheNamesAndLeavesTheLastTableCurrent) {
    ASSERT_TRUE(LoadLanguage(kLanguageLoadAll));
    std::set<std::string> names;
    for (int index = 0; index < kLanguageCount; index++) {
        const char* name = GetLanguageName(index);
        EXPECT_GT(std::strlen(name), 0u) << index;
        EXPECT_LT(std::strlen(name), static_cast<size_t>(kLanguageNameSize)) << index;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(kLanguageCount));
    EXPECT_STREQ(GetLanguageName(LanguageEnglish), "English");
    EXPECT_STREQ(GetLanguageName(LanguageGerman), "German (Deutsch)");
    EXPECT_STREQ(GetLanguageName(LanguageSpanish), "Spanish (Espa\xF1ol)");   // code page 1252
    // Until the caller picks a language the lines are Urdu's, the last table loaded.
    EXPECT_STREQ(GetLanguageLine(kLanguageNameLine), GetLanguageName(LanguageUrdu));
    EXPECT_STREQ(GetLanguageName(-1), "");
    EXPECT_STREQ(GetLanguageName(kLanguageCount), "");
    LoadLanguage(LanguageEnglish);
}

TEST(Language, OutOfRangeRequestsChangeNothing) {
    ASSERT_TRUE(LoadLanguage(LanguageGerman));
    std::string before = GetLanguageLine(1);
    EXPECT_FALSE(LoadLanguage(kLanguageCount));
    EXPECT_FALSE(LoadLanguage(-2));
    EXPECT_EQ(GetLanguageLine(1), before);
    for (int line : {0, -1, kLanguageLineCount + 1, 100000}) {
        ASSERT_NE(GetLanguageLine(line), nullptr);
        EXPECT_STREQ(GetLanguageLine(line), "") << line;
    }
    LoadLanguage(LanguageEnglish);
}

// A table that stops early (or holds empty and unnumbered oddities) never leaves a line
// without text: what it lacks reads as English.
TEST(Language, ShortTableFallsBackToEnglish) {
    ASSERT_TRUE(LoadLanguage(LanguageEnglish));
    std::string englishLine5 = GetLanguageLine(5);
    std::string englishLine102 = GetLanguageLine(102);

    std::wstring table = MakeTable({L"Fehler eins", L"Fehler zwei", L"", L"Vier"});
    ASSERT_TRUE(LoadLanguageText(LanguageGerman, table.data(), table.size()));
    EXPECT_STREQ(GetLanguageLine(1), "Fehler eins");
    EXPECT_STREQ(GetLanguageLine(3), "");
    EXPECT_STREQ(GetLanguageLine(4), "Vier");
    EXPECT_EQ(GetLanguageLine(5), englishLine5);
    EXPECT_EQ(GetLanguageLine(102), englishLine102);

    // Three-digit numbers take one more character before the text; a last line without CR LF
    // runs to the end of the data.
    std::vector<std::wstring> full(kLanguageLineCount, L"x");
    full[kLanguageLineCount - 1] = L"last";
    std::wstring fullTable = MakeTable(full);
    fullTable.erase(fullTable.size() - 2);
    ASSERT_TRUE(LoadLanguageText(LanguageGerman, fullTable.data(), fullTable.size()));
    EXPECT_STREQ(GetLanguageLine(100), "x");
    EXPECT_STREQ(GetLanguageLine(kLanguageLineCount), "last");

    // An empty text: every line English.
    ASSERT_TRUE(LoadLanguageText(LanguageGerman, nullptr, 0));
    EXPECT_EQ(GetLanguageLine(102), englishLine102);
    LoadLanguage(LanguageEnglish);
}

// Switching languages never rewrites text another thread is reading.
TEST(Language, LinesStayIntactWhileAnotherThreadSwitches) {
    ASSERT_TRUE(LoadLanguage(LanguageGerman));
    const std::string german = GetLanguageLine(2);
    ASSERT_TRUE(LoadLanguage(LanguageEnglish));
    const std::string english = GetLanguageLine(2);

    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!stop.load()) {
            const char* line = GetLanguageLine(2);
            std::string copy = line;
            for (int i = 0; i < 50; i++)
                std::this_thread::yield();
            if ((copy != german && copy != english) || copy != line)
                bad++;
        }
    });
    for (int i = 0; i < 2000; i++)
        LoadLanguage(i % 2 ? LanguageEnglish : LanguageGerman);
    stop = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0);
    LoadLanguage(LanguageEnglish);
}

TEST(Language, DetectionFollowsTheLocaleId) {
    struct Case { const char* id; const char* name; int expected; };
    const Case cases[] = {
        {"0C0A", "Spanish", LanguageSpanish},  // upper-case hexadecimal digits
        {"040a", "Spanish", LanguageSpanish},
        {"0409", "English", LanguageEnglish},
        {"0407", "German", LanguageGerman},
        {"0c07", "German", LanguageGerman},
        {"0419", "Russian", LanguageRussian},
        {"0418", "Romanian", LanguageRomanian},
        {"0410", "Italian", LanguageItalian},
        {"0413", "Dutch", LanguageDutch},
        {"0416", "Portuguese", LanguagePortugueseBrazil},
        {"0816", "Portuguese", LanguagePortugueseBrazil},
        {"0411", "Japanese", LanguageJapanese},
        {"041d", "Swedish", LanguageSwedish},
        {"0405", "Czech", LanguageCzech},
        {"040c", "French", LanguageFrench},
        {"040b", "Finnish", LanguageFinnish},
        {"0415", "Polish", LanguagePolish},
        {"0412", "Korean", LanguageKorean},
        {"040e", "Hungarian", LanguageHungarian},
        {"041b", "Slovak", LanguageSlovak},
        {"0414", "Norwegian", LanguageNorwegian},
        {"0814", "Norwegian", LanguageNorwegian},
        {"0422", "Ukrainian", LanguageUkrainian},
        {"0408", "Greek", LanguageGreek},
        {"0401", "Arabic", LanguageArabic},
        {"0402", "Bulgarian", LanguageBulgarian},
        {"0424", "Slovenian", LanguageSlovenian},
        {"041f", "Turkish", LanguageTurkish},
        {"0429", "Persian", LanguagePersian},
        {"0420", "Urdu", LanguageUrdu},
        // Chinese: the regions that write Traditional characters get the Traditional table.
        {"0804", "Chinese", LanguageChineseSimplified},
        {"1004", "Chinese", LanguageChineseSimplified},
        {"0404", "Chinese", LanguageChineseTraditional},
        {"0c04", "Chinese", LanguageChineseTraditional},
        {"1404", "Chinese", LanguageChineseTraditional},
        {"7C04", "Chinese", LanguageChineseTraditional},
        // Primary id 1a is shared: the English language name decides.
        {"041a", "Croatian", LanguageCroatian},
        {"101a", "Croatian (Latin)", LanguageCroatian},
        {"081a", "Serbian (Latin)", LanguageSerbian},
        {"0c1a", "Serbian (Cyrillic)", LanguageSerbian},
        {"141a", "Bosnian (Latin)", LanguageEnglish},
        {"041a", "", LanguageEnglish},
        // Anything else, and ids too short to tell, is English.
        {"043f", "Kazakh", LanguageEnglish},
        {"7", "", LanguageEnglish},
        {"", "", LanguageEnglish},
        {nullptr, nullptr, LanguageEnglish},
        {"07", nullptr, LanguageGerman},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DetectLanguageFromLocale(c.id, c.name), c.expected) << (c.id ? c.id : "(null)");
}

// Checks the real locale; meaningful only when the test process runs with a German LANG.
TEST(Language, GermanLocaleSelectsGerman) {
    const char* lang = std::getenv("LANG");
    if (!lang || std::strncmp(lang, "de", 2) != 0)
        GTEST_SKIP() << "LANG is not German";
    EXPECT_EQ(DetectLanguage(), LanguageGerman);
}

TEST(Language, PinnedEnglishLocaleSelectsEnglish) {
    const char* lang = std::getenv("LANG");
    if (!lang || std::strncmp(lang, "en", 2) != 0)
        GTEST_SKIP() << "LANG is not English";
    EXPECT_EQ(DetectLanguage(), LanguageEnglish);
}
