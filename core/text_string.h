// CTexto: the program's one string class. 8-bit text in the ANSI code page (the byte
// length is the length), a UTF-16 snapshot on demand for wide Windows calls, no shared
// buffers. Operations are forgiving: positions are clamped, misses answer -1 or 0.
#pragma once

#include <cstdarg>
#include <cstdio>  // defines __MINGW_PRINTF_FORMAT to match the vsnprintf in use

#if defined(__MINGW_PRINTF_FORMAT)
#define LUMARIX_PRINTF_FORMAT(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#elif defined(__GNUC__)
#define LUMARIX_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define LUMARIX_PRINTF_FORMAT(fmt, args)
#endif

class CFicheroHttp;

class CTexto {
public:
    // A string never holds this many bytes or more: an append that would reach it empties the string.
    static constexpr int kSizeLimit = 1000000;
    // Most characters Format stores; longer output leaves the string unchanged.
    static constexpr int kFormatLimit = 10000;
    // Bytes reserved beyond the need whenever the buffer grows.
    static constexpr int kGrowthReserve = 20;

    CTexto(const char* text = nullptr);
    CTexto(const CTexto& other);
    virtual ~CTexto();

    CTexto& operator=(const char* text);
    CTexto& operator=(const CTexto& other);
    // Converts from UTF-16 in the ANSI code page; null empties the text.
    void AssignWide(const wchar_t* text);
    // Gives back both buffers; the text becomes empty.
    void Empty();

    // The one routine every assignment and append goes through. need 0 means "length + the
    // text's length"; a larger need reserves room. Text may be null (reserve only) and may lie
    // inside this string's own buffer.
    void Append(int need, const char* text);
    CTexto& operator+=(const char* text);
    CTexto& operator+=(const CTexto& other);
    CTexto& operator+=(char ch);
    // printf-style; answers the characters produced, or -1 when the output exceeds
    // kFormatLimit (the text then stays unchanged), or 0 when no work buffer could be had.
    int Format(const char* format, ...) LUMARIX_PRINTF_FORMAT(2, 3);
    int FormatV(const char* format, va_list args);

    const char* GetText() const { return m_text; }
    char* GetText() { return m_text; }
    int GetLength() const { return m_length; }
    // Text bytes the buffer takes without growing (0 while no heap buffer is held).
    int GetCapacity() const { return m_capacity; }
    // The byte at pos; 0 outside 0..length-1.
    char GetAt(int pos) const;
    // text + pos, pos clamped to 0..length.
    const char* GetTextAt(int pos) const;
    char* GetTextAt(int pos);
    // The last n bytes, n clamped to 0..length.
    const char* GetTextFromEnd(int n) const;
    char* GetTextFromEnd(int n);
    // UTF-16 copy of the text, valid until the next GetWide, Empty or destruction. Never null:
    // when no buffer can be had the answer is an empty wide string.
    const wchar_t* GetWide();

    // Byte positions, -1 when not found.
    int Find(const char* sub, int start = 0) const;
    int Find(char ch, int start = 0) const;
    // As Find, with the letters A-Z and a-z taken as equal.
    int FindNoCase(const char* sub, int start = 0) const;
    int ReverseFind(char ch) const;

    // Removes count bytes at pos (0 <= pos < length); answers the new length.
    int Delete(int pos, int count);
    // count bytes from start; a negative count or one beyond the rest takes the whole rest.
    CTexto Mid(int start, int count = -1) const;
    // Answer the number of replacements.
    int Replace(char from, char to);
    int Replace(const char* search, const char* replacement);
    // A-Z become a-z; every other byte stays.
    void MakeLower();

    // Whole text files, URLs or package entries (core/text_file.cpp). LoadFromFile takes
    // UTF-16LE (FF FE) and UTF-8 (EF BB BF) files converted to the ANSI code page and other
    // files as they are; it answers the byte length (for UTF-8 the UTF-16 units produced), or
    // -1 with the text unchanged when the source cannot be read or is too long for a CTexto.
    int LoadFromFile(const char* name);
    // The same over a stream that is already open (a memory source, a download), read from its
    // position to its end.
    int LoadFromStream(CFicheroHttp& stream);
    // Writes the bytes exactly, no byte-order mark; an existing file raises the overwrite
    // question when user messages are on. True when every byte was written.
    bool SaveToFile(const char* name) const;

    // Byte by byte, unsigned; -1, 0 or 1.
    int Compare(const CTexto& other) const;
    int Compare(const char* text) const;

private:
    void AppendBytes(int need, const char* text, long long n);
    void ClearText();

    char* m_text;
    int m_length;
    int m_capacity;
    wchar_t* m_wide;
    int m_wideCapacity;
    char m_inline;
};

CTexto operator+(const CTexto& left, const CTexto& right);
CTexto operator+(const CTexto& left, const char* right);
bool operator==(const CTexto& left, const CTexto& right);
bool operator==(const CTexto& left, const char* right);
bool operator!=(const CTexto& left, const CTexto& right);
bool operator!=(const CTexto& left, const char* right);
