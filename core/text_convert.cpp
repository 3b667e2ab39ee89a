#include "core/text_convert.h"

#include "core/text_string.h"

#include <windows.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline bool IsSeparator(char c) { return c == '/' || c == '\\'; }
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }
inline bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool StartsWithNoCase(const char* text, const char* prefix)
{
    for (; *prefix; ++text, ++prefix) {
        if (AsciiLower(*text) != AsciiLower(*prefix))
            return false;
    }
    return true;
}

bool EqualsNoCase(const char* a, const char* b)
{
    return StartsWithNoCase(a, b) && a[std::strlen(b)] == 0;
}

char* FindNoCase(char* text, const char* sub)
{
    for (; *text; ++text) {
        if (StartsWithNoCase(text, sub))
            return text;
    }
    return nullptr;
}

struct NamedColor {
    const char* name;
    int rgb;
};

const NamedColor kColorNames[] = {
    {"Black", 0x000000}, {"Green", 0x008000}, {"Silver", 0xC0C0C0}, {"Lime", 0x00FF00},
    {"Gray", 0x808080},  {"Olive", 0x808000}, {"Yellow", 0xFFFF00}, {"Maroon", 0x800000},
    {"Navy", 0x000080},  {"Red", 0xFF0000},   {"Blue", 0x0000FF},   {"Purple", 0x800080},
    {"Aqua", 0x00FFFF},  {"Teal", 0x008080},  {"Fuchsia", 0xFF00FF},
};

// For a decimal that does not fit a double: true when it is too large, false when too small.
bool IsHugeDecimal(const char* p)
{
    long long magnitude = 0;
    bool seenDigit = false;
    for (; IsDigit(*p); ++p) {
        if (*p != '0' || seenDigit) {
            if (seenDigit)
                ++magnitude;
            seenDigit = true;
        }
    }
    if (*p == '.') {
        for (++p; IsDigit(*p); ++p) {
            if (!seenDigit) {
                --magnitude;
                if (*p != '0')
                    seenDigit = true;
            }
        }
    }
    if (*p == 'e' || *p == 'E') {
        ++p;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+')
            ++p;
        long long exponent = 0;
        for (; IsDigit(*p); ++p) {
            if (exponent < 1000000000)
                exponent = exponent * 10 + (*p - '0');
        }
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude >= 0;
}

// Length of the part of a path or URL that ".." may never remove: "scheme://host" (plus a
// drive letter of a file URL), "X:", or "\\server\share".
int RootLength(const char* src)
{
    if (IsAsciiLetter(src[0])) {
        int k = 1;
        while (IsAsciiLetter(src[k]) || IsDigit(src[k]) || src[k] == '+' || src[k] == '-' || src[k] == '.')
            ++k;
        if (src[k] == ':' && src[k + 1] == '/' && src[k + 2] == '/') {
            int end = k + 3;
            while (src[end] && !IsSeparator(src[end]) && src[end] != '?' && src[end] != '#')
                ++end;
            if (IsSeparator(src[end]) && IsAsciiLetter(src[end + 1]) && (src[end + 2] == ':' || src[end + 2] == '|'))
                end += 3;
            return end;
        }
        if (src[1] == ':')
            return 2;
    }
    if (IsSeparator(src[0]) && IsSeparator(src[1])) {
        int end = 2;
        for (int part = 0; part < 2; ++part) {
            if (part == 1 && IsSeparator(src[end]))
                ++end;
            while (src[end] && !IsSeparator(src[end]))
                ++end;
        }
        return end;
    }
    return 0;
}

bool IsParentSegment(const char* p)
{
    return IsSeparator(p[0]) && p[1] == '.' && p[2] == '.' && p[3] == p[0];
}

bool IsCurrentSegment(const char* p)
{
    return IsSeparator(p[0]) && p[1] == '.' && p[2] == p[0];
}

} // namespace

int MultiByteToWideBuffer(unsigned codePage, wchar_t* dest, const char* src, int srcBytes, int destSize)
{
    if (!dest || !src || destSize <= 0 || srcBytes == 0)
        return 0;
    // Measure first so that a destination that is too small stays untouched.
    const int needed = MultiByteToWideChar(codePage, 0, src, srcBytes, nullptr, 0);
    if (needed <= 0 || needed > destSize)
        return 0;
    return MultiByteToWideChar(codePage, 0, src, srcBytes, dest, destSize);
}

int WideToMultiByte(unsigned codePage, char* dest, const wchar_t* src, int srcChars, int destSize)
{
    if (!dest || !src || destSize <= 0 || srcChars == 0)
        return 0;
    const int needed = WideCharToMultiByte(codePage, 0, src, srcChars, nullptr, 0, nullptr, nullptr);
    if (needed <= 0 || needed > destSize)
        return 0;
    return WideCharToMultiByte(codePage, 0, src, srcChars, dest, destSize, nullptr, nullptr);
}

int AnsiToWide(wchar_t* dest, const char* text, int destSize)
{
    if (!text)
        return 0;
    // Bytes below 0x80 are the same characters in every ANSI code page: a pure ASCII text (the
    // usual command or file name) needs no trip through the system's conversion.
    int length = 0;
    bool ascii = true;
    for (; text[length]; length++) {
        if (static_cast<unsigned char>(text[length]) >= 0x80)
            ascii = false;
    }
    if (!ascii)
        return MultiByteToWideBuffer(CP_ACP, dest, text, length + 1, destSize);
    if (!dest || destSize < length + 1)
        return 0;
    for (int i = 0; i <= length; i++)
        dest[i] = static_cast<unsigned char>(text[i]);
    return length + 1;
}

int WideToAnsi(char* dest, const wchar_t* text, int destSize)
{
    if (!dest || destSize <= 0)
        return 0;
    if (!text)
        text = L"";
    int chars = WideLength(text, destSize);
    if (text[chars] == 0) {
        const int written = WideToMultiByte(CP_ACP, dest, text, chars + 1, destSize);
        if (written > 0)
            return written;
    }
    // The text is cut (or a character took more than one byte): convert the longest head that
    // fits beside a terminator, never splitting a surrogate pair.
    int low = 0;
    int high = chars;
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        const int bytes = WideCharToMultiByte(CP_ACP, 0, text, mid, nullptr, 0, nullptr, nullptr);
        if (bytes > 0 && bytes <= destSize - 1)
            low = mid;
        else
            high = mid - 1;
    }
    chars = low;
    if (chars > 0 && text[chars - 1] >= 0xD800 && text[chars - 1] <= 0xDBFF)
        --chars;
    const int written = chars > 0 ? WideToMultiByte(CP_ACP, dest, text, chars, destSize - 1) : 0;
    dest[written] = 0;
    return written + 1;
}

char* WideToNarrow(char* dest, const wchar_t* text)
{
    if (!dest)
        return dest;
    int i = 0;
    for (; text && text[i]; ++i)
        dest[i] = static_cast<char>(text[i] & 0xFF);
    dest[i] = 0;
    return dest;
}

int WideLength(const wchar_t* text, int limit)
{
    if (!text)
        return 0;
    int count = 0;
    while (text[count] && (limit <= 0 || count < limit - 1))
        ++count;
    return count;
}

char* CopyText(char* dest, const char* src, int size)
{
    if (!dest || size <= 0)
        return dest;
    int n = 0;
    if (src) {
        while (n < size - 1 && src[n])
            ++n;
        std::memmove(dest, src, static_cast<size_t>(n));
    }
    dest[n] = 0;
    return dest;
}

int ReplaceChar(char* text, char from, char to)
{
    if (!text || from == 0)
        return 0;
    int count = 0;
    for (; *text; ++text) {
        if (*text == from) {
            *text = to;
            ++count;
            if (to == 0)
                break;
        }
    }
    return count;
}

void ToLowerN(char* text, int n)
{
    if (!text)
        return;
    for (int i = 0; i < n && text[i]; ++i)
        text[i] = AsciiLower(text[i]);
}

int ParseNumberOrColor(const char* text)
{
    if (!text)
        return 0;
    if (text[0] == '#' || (text[0] == '0' && text[1] == 'x'))
        return HexToInt(text);
    if (IsDigit(text[0]) || text[0] == '+' || text[0] == '-')
        return static_cast<int>(std::strtol(text, nullptr, 10));
    for (const NamedColor& color : kColorNames) {
        if (EqualsNoCase(text, color.name))
            return color.rgb;
    }
    return 0;
}

int HexToInt(const char* text)
{
    if (!text)
        return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    if (p[0] == '#')
        p += 1;
    else if (p[0] == '0' && p[1] == 'x')
        p += 2;
    unsigned result = 0;
    for (; *p; ++p) {
        const int digit = *p >= 'a' ? *p - 87 : (*p <= '9' ? *p - '0' : *p - 55);
        result = (result << 4) | static_cast<unsigned>(digit);
    }
    return static_cast<int>(result);
}

int ParseNumber(const char* text) { return ParseNumberOrColor(text); }

int ParseNumber(const CTexto& text) { return ParseNumberOrColor(text.GetText()); }

int ParseHex(const char* text) { return HexToInt(text); }

float ParseFloat(const char* text)
{
    if (!text)
        return 0.0f;
    // from_chars never looks at the locale, so a user whose decimal mark is ',' reads the
    // same values; the rest follows atof: blanks, one sign, then the longest number.
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    if (*p == '-' || *p == '+')
        return 0.0f;
    double value = 0.0;
    const std::from_chars_result parsed = std::from_chars(p, p + std::strlen(p), value);
    if (parsed.ec == std::errc::result_out_of_range)
        value = IsHugeDecimal(p) ? HUGE_VAL : 0.0;
    else if (parsed.ec != std::errc())
        value = 0.0;
    return static_cast<float>(negative ? -value : value);
}

int NormalizeUrl(char* dest, const char* src, int size, bool escapeSpaces)
{
    if (!src)
        src = "";
    if (dest && size <= 0)
        return 0;
    const int root = RootLength(src);
    int i = 0;
    int j = 0;
    int floor = 0;   // first destination byte that ".." may remove
    bool escape = escapeSpaces;
    for (;;) {
        if (j == root)
            floor = i;
        while (j >= root) {
            // "..": back up to the separator before the last written segment. Only when
            // writing: a measurement counts the segment as ordinary bytes.
            if (dest && IsParentSegment(src + j)) {
                int k = i - 1;
                while (k >= floor && !IsSeparator(dest[k]))
                    --k;
                // A kept ".." (one that could not climb further) is no segment to remove.
                const bool lastIsParent = i - k == 3 && dest[k + 1] == '.' && dest[k + 2] == '.';
                if (k >= floor && i > 0 && !lastIsParent) {
                    i = k;
                    j += 3;   // the separator that follows lands where the old one was
                    continue;
                }
                break;
            }
            if (IsCurrentSegment(src + j)) {
                j += 2;
                continue;
            }
            break;
        }
        if (dest && i >= size) {
            dest[i - 1] = 0;
            return i;
        }
        const char c = src[j];
        if (c == '#' || c == '?')
            escape = false;   // query strings and fragments keep their blanks
        if (escape && c == ' ' && (!dest || size - i >= 3)) {
            if (dest)
                std::memcpy(dest + i, "%20", 3);
            i += 3;
            ++j;
            continue;
        }
        if (dest)
            dest[i] = c;
        ++i;
        if (c == 0)
            break;
        ++j;
    }
    return dest ? i - 1 : i;
}

int UrlToPath(char* buffer, bool folderOnly)
{
    if (!buffer)
        return 0;
    const bool web = StartsWithNoCase(buffer, "http://");
    if (!web) {
        static const char* const kHelpPrefixes[] = {"Mk:@MSITStore:", "Ms-its:"};
        for (const char* prefix : kHelpPrefixes) {
            if (StartsWithNoCase(buffer, prefix)) {
                const size_t skip = std::strlen(prefix);
                std::memmove(buffer, buffer + skip, std::strlen(buffer + skip) + 1);
                if (char* chm = FindNoCase(buffer, ".chm::"))
                    *chm = 0;
                break;
            }
        }
    }

    // %XX escapes. Malformed ones and %00 (which would end the text) stay as they are.
    int out = 0;
    for (int in = 0; buffer[in];) {
        char c = buffer[in];
        if (c == '%' && IsHexDigit(buffer[in + 1]) && IsHexDigit(buffer[in + 2])) {
            const char digits[3] = {buffer[in + 1], buffer[in + 2], 0};
            const char decoded = static_cast<char>(HexToInt(digits));
            if (decoded != 0) {
                buffer[out++] = (web && decoded == '\\') ? '/' : decoded;
                in += 3;
                continue;
            }
        }
        buffer[out++] = c;
        ++in;
    }
    buffer[out] = 0;
    const int length = out;

    if (folderOnly) {
        ReplaceChar(buffer, '|', ':');   // drive letters of file URLs
        const char* query = std::strchr(buffer, '?');
        int end = query ? static_cast<int>(query - buffer) : length;
        while (end > 0 && !IsSeparator(buffer[end - 1]))
            --end;
        buffer[end] = 0;   // a bare name has no folder: nothing is left
        if (!web)
            ReplaceChar(buffer, '/', '\\');
    }
    return length;
}
