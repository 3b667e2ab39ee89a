#include "core/text_string.h"

#include "core/text_convert.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

char* AllocBytes(long long n) { return new (std::nothrow) char[static_cast<size_t>(n)]; }

// Shown by GetWide when no UTF-16 buffer can be had.
const wchar_t kEmptyWide[1] = {0};

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

} // namespace

CTexto::CTexto(const char* text)
    : m_text(&m_inline), m_length(0), m_capacity(0), m_wide(nullptr), m_wideCapacity(0), m_inline(0)
{
    if (text)
        *this = text;
}

CTexto::CTexto(const CTexto& other)
    : m_text(&m_inline), m_length(0), m_capacity(0), m_wide(nullptr), m_wideCapacity(0), m_inline(0)
{
    *this = other.m_text;
}

CTexto::~CTexto()
{
    Empty();
}

void CTexto::Empty()
{
    if (m_text != &m_inline)
        delete[] m_text;
    delete[] m_wide;
    m_inline = 0;
    m_text = &m_inline;
    m_length = 0;
    m_capacity = 0;
    m_wide = nullptr;
    m_wideCapacity = 0;
}

// The text becomes empty but keeps its buffer.
void CTexto::ClearText()
{
    m_text[0] = 0;
    m_length = 0;
}

CTexto& CTexto::operator=(const char* text)
{
    if (text == m_text)
        return *this;
    if (!text) {
        ClearText();
        return *this;
    }
    // A pointer into our own text (a suffix) is read by Append before anything is
    // overwritten, so only the length is reset here.
    m_length = 0;
    Append(0, text);
    return *this;
}

CTexto& CTexto::operator=(const CTexto& other)
{
    return *this = other.m_text;
}

void CTexto::AssignWide(const wchar_t* text)
{
    if (!text) {
        ClearText();
        return;
    }
    const int chars = WideLength(text);
    // Two bytes a character covers every double-byte code page; 1 for the terminator.
    const long long size = 2LL * chars + 1;
    if (size >= kSizeLimit * 2LL + 1) {
        Empty();   // could never fit below the size limit
        return;
    }
    char* work = AllocBytes(size);
    if (!work)
        return;
    work[0] = 0;
    WideToAnsi(work, text, static_cast<int>(size));
    m_length = 0;
    Append(0, work);
    delete[] work;
}

void CTexto::Append(int need, const char* text)
{
    AppendBytes(need, text, text ? static_cast<long long>(std::strlen(text)) : 0);
}

// Appends n bytes of text (which has its terminator at text[n] or is copied up to n).
void CTexto::AppendBytes(int need, const char* text, long long n)
{
    long long total = need > 0 ? need : static_cast<long long>(m_length) + n;
    if (total >= kSizeLimit || static_cast<long long>(m_length) + n >= kSizeLimit) {
        Empty();
        return;
    }
    // A source inside our own buffer is remembered as an offset so it survives a move.
    const uintptr_t at = reinterpret_cast<uintptr_t>(text);
    const uintptr_t begin = reinterpret_cast<uintptr_t>(m_text);
    const bool own = m_text != &m_inline && at >= begin && at <= begin + static_cast<uintptr_t>(m_capacity);
    const long long ownOffset = own ? text - m_text : 0;

    if (total > m_capacity) {
        char* grown = AllocBytes(total + kGrowthReserve + 1);
        if (!grown) {
            Empty();
            return;
        }
        grown[0] = 0;
        if (m_length > 0)
            std::memcpy(grown, m_text, static_cast<size_t>(m_length) + 1);
        if (m_text != &m_inline)
            delete[] m_text;
        m_text = grown;
        m_capacity = static_cast<int>(total + kGrowthReserve);
        if (own)
            text = m_text + ownOffset;
    }
    if (text && m_length + n <= m_capacity) {
        // memmove: the source may overlap the destination when it is our own text.
        std::memmove(m_text + m_length, text, static_cast<size_t>(n));
        m_length += static_cast<int>(n);
        m_text[m_length] = 0;
    }
}

CTexto& CTexto::operator+=(const char* text)
{
    if (text)
        Append(0, text);
    return *this;
}

CTexto& CTexto::operator+=(const CTexto& other)
{
    AppendBytes(0, other.m_text, other.m_length);
    return *this;
}

CTexto& CTexto::operator+=(char ch)
{
    const char work[2] = {ch, 0};
    Append(0, work);
    return *this;
}

int CTexto::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = FormatV(format, args);
    va_end(args);
    return result;
}

int CTexto::FormatV(const char* format, va_list args)
{
    if (!format)
        return -1;
    char* work = AllocBytes(kFormatLimit + 1);
    if (!work)
        return 0;
    const int produced = std::vsnprintf(work, kFormatLimit + 1, format, args);
    int result = -1;
    if (produced >= 0 && produced <= kFormatLimit) {
        // The arguments may have pointed into our own text: it was read before this point.
        m_length = 0;
        Append(produced, work);
        result = produced;
    }
    delete[] work;
    return result;
}

char CTexto::GetAt(int pos) const
{
    if (pos < 0 || pos > m_length)
        return 0;
    return m_text[pos];
}

const char* CTexto::GetTextAt(int pos) const
{
    if (pos < 0)
        pos = 0;
    if (pos > m_length)
        pos = m_length;
    return m_text + pos;
}

char* CTexto::GetTextAt(int pos)
{
    return const_cast<char*>(static_cast<const CTexto*>(this)->GetTextAt(pos));
}

const char* CTexto::GetTextFromEnd(int n) const
{
    if (n < 0)
        n = 0;
    if (n > m_length)
        n = m_length;
    return m_text + m_length - n;
}

char* CTexto::GetTextFromEnd(int n)
{
    return const_cast<char*>(static_cast<const CTexto*>(this)->GetTextFromEnd(n));
}

const wchar_t* CTexto::GetWide()
{
    if (m_wideCapacity < m_capacity + 1) {
        delete[] m_wide;
        m_wide = new (std::nothrow) wchar_t[static_cast<size_t>(m_capacity) + 2];
        if (!m_wide) {
            m_wideCapacity = 0;
            return kEmptyWide;
        }
        m_wideCapacity = m_capacity + 1;
    }
    if (AnsiToWide(m_wide, m_text, m_wideCapacity + 1) <= 0)
        m_wide[0] = 0;
    return m_wide;
}

int CTexto::Find(const char* sub, int start) const
{
    if (!sub)
        return -1;
    if (start < 0)
        start = 0;
    if (start >= m_length)
        return -1;
    const char* hit = std::strstr(m_text + start, sub);
    return hit ? static_cast<int>(hit - m_text) : -1;
}

int CTexto::Find(char ch, int start) const
{
    const char sub[2] = {ch, 0};
    return Find(sub, start);
}

int CTexto::FindNoCase(const char* sub, int start) const
{
    if (!sub)
        return -1;
    if (start < 0)
        start = 0;
    if (start >= m_length)
        return -1;
    const int subLength = static_cast<int>(std::strlen(sub));
    for (int pos = start; pos + subLength <= m_length; ++pos) {
        int k = 0;
        while (k < subLength && AsciiLower(m_text[pos + k]) == AsciiLower(sub[k]))
            ++k;
        if (k == subLength)
            return pos;
    }
    return -1;
}

int CTexto::ReverseFind(char ch) const
{
    for (int pos = m_length - 1; pos >= 0; --pos) {
        if (m_text[pos] == ch)
            return pos;
    }
    return -1;
}

int CTexto::Delete(int pos, int count)
{
    if (pos < 0 || pos >= m_length || count <= 0)
        return m_length;
    if (count > m_length - pos)
        count = m_length - pos;
    std::memmove(m_text + pos, m_text + pos + count, static_cast<size_t>(m_length - pos - count) + 1);
    m_length -= count;
    return m_length;
}

CTexto CTexto::Mid(int start, int count) const
{
    const char* from = GetTextAt(start);
    const int rest = static_cast<int>(m_text + m_length - from);
    CTexto result;
    result.AppendBytes(0, from, (count < 0 || count > rest) ? rest : count);
    return result;
}

int CTexto::Replace(char from, char to)
{
    // A 0 byte would cut the text behind the length's back.
    if (from == 0 || to == 0)
        return 0;
    return ReplaceChar(m_text, from, to);
}

int CTexto::Replace(const char* search, const char* replacement)
{
    if (m_length == 0 || !search || search[0] == 0)
        return 0;
    if (!replacement)
        replacement = "";
    const long long searchLength = static_cast<long long>(std::strlen(search));
    const long long replacementLength = static_cast<long long>(std::strlen(replacement));

    long long count = 0;
    for (long long pos = 0; pos < m_length;) {
        if (std::strncmp(m_text + pos, search, static_cast<size_t>(searchLength)) == 0) {
            ++count;
            pos += searchLength;
        } else {
            ++pos;
        }
    }
    if (count == 0)
        return 0;
    // Both lengths are below the limit here, so the product cannot overflow 64 bits.
    if (replacementLength >= kSizeLimit)
        return 0;
    const long long newLength = m_length + (replacementLength - searchLength) * count;
    if (newLength >= kSizeLimit)
        return 0;
    char* result = AllocBytes(newLength + 1);
    if (!result)
        return 0;
    // search and replacement may lie in our own text: it stays intact until the swap below.
    long long out = 0;
    for (long long pos = 0; pos < m_length;) {
        if (std::strncmp(m_text + pos, search, static_cast<size_t>(searchLength)) == 0) {
            std::memcpy(result + out, replacement, static_cast<size_t>(replacementLength));
            out += replacementLength;
            pos += searchLength;
        } else {
            result[out++] = m_text[pos++];
        }
    }
    result[out] = 0;
    if (m_text != &m_inline)
        delete[] m_text;
    m_text = result;
    m_length = static_cast<int>(newLength);
    m_capacity = static_cast<int>(newLength);
    return static_cast<int>(count);
}

void CTexto::MakeLower()
{
    ToLowerN(m_text, m_length);
}

int CTexto::Compare(const char* text) const
{
    const int order = std::strcmp(m_text, text ? text : "");
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int CTexto::Compare(const CTexto& other) const
{
    return Compare(other.m_text);
}

CTexto operator+(const CTexto& left, const CTexto& right)
{
    CTexto result(left);
    result += right;
    return result;
}

CTexto operator+(const CTexto& left, const char* right)
{
    CTexto result(left);
    result += right;
    return result;
}

bool operator==(const CTexto& left, const CTexto& right) { return left.Compare(right) == 0; }
bool operator==(const CTexto& left, const char* right) { return left.Compare(right) == 0; }
bool operator!=(const CTexto& left, const CTexto& right) { return left.Compare(right) != 0; }
bool operator!=(const CTexto& left, const char* right) { return left.Compare(right) != 0; }
