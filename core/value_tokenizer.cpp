#include "core/value_tokenizer.h"

#include <cstring>

#include "core/text_convert.h"
#include "core/text_string.h"

namespace {

enum class FieldQuote { None, Double, Single };

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int TextLength(const char* text)
{
    if (!text)
        return 0;
    size_t length = std::strlen(text);
    return length > static_cast<size_t>(CTexto::kSizeLimit) ? CTexto::kSizeLimit : static_cast<int>(length);
}

}  // namespace

int ReadNextField(const char* text, int position, CTexto& out, bool keepSpaces, char separator, bool escapes)
{
    return ReadNextField(text, TextLength(text), position, out, keepSpaces, separator, escapes);
}

// Stored bytes gather in a small buffer that is appended to out in chunks, so that reading a
// field allocates nothing once out has grown to the field's size.
int ReadNextField(const char* text, int length, int position, CTexto& out, bool keepSpaces,
                  char separator, bool escapes)
{
    out = "";
    if (position < -1)
        position = -1;
    if (!text || length < 0)
        length = 0;
    if (position + 1 >= length)
        return position >= length ? position : position + 1;

    char chunk[256];
    int chunkUsed = 0;
    int stored = 0;  // bytes of the field so far, in out and chunk together
    auto store = [&](char c) {
        if (chunkUsed == static_cast<int>(sizeof chunk) - 1) {
            chunk[chunkUsed] = 0;
            out += chunk;
            chunkUsed = 0;
        }
        chunk[chunkUsed++] = c;
        stored++;
    };
    auto restart = [&]() {
        out = "";
        chunkUsed = 0;
        stored = 0;
    };

    bool doubleQuoted = false;
    bool singleQuoted = false;
    int depth = 0;
    FieldQuote fieldQuote = FieldQuote::None;
    bool nonBlank = false;
    int closingQuote = -1;  // index in the field of a quoted field's closing quote

    int i = position + 1;
    for (; i < length; i++) {
        char c = text[i];
        if (!doubleQuoted && depth <= 0) {
            if (c == ',' && separator != kFieldSeparatorNoComma)
                break;
            if (separator != kFieldSeparatorComma && c == separator)
                break;
        }

        if (c == '"' && depth == 0 && !singleQuoted) {
            doubleQuoted = !doubleQuoted;
            if (doubleQuoted && !nonBlank && fieldQuote == FieldQuote::None) {
                restart();  // blanks kept before the opening quote go too
                fieldQuote = FieldQuote::Double;
                continue;
            }
            if (!doubleQuoted && fieldQuote == FieldQuote::Double)
                closingQuote = stored;
            store(c);
            nonBlank = true;
            continue;
        }

        if (c == '\'' && depth == 0) {
            bool letterBefore = i > 0 && IsAsciiLetter(text[i - 1]);
            bool letterAfter = i + 1 < length && IsAsciiLetter(text[i + 1]);
            bool apostrophe = (letterBefore && letterAfter) || (letterBefore && !singleQuoted);
            if (!apostrophe) {
                singleQuoted = !singleQuoted;
                if (singleQuoted && !nonBlank && fieldQuote == FieldQuote::None) {
                    restart();
                    fieldQuote = FieldQuote::Single;
                    continue;
                }
                if (!singleQuoted && fieldQuote == FieldQuote::Single)
                    closingQuote = stored;
            }
            store(c);
            nonBlank = true;
            continue;
        }

        if (c == '(')
            depth++;
        else if (c == ')' && depth > 0)
            depth--;
        if (c == '\t' || c == '\r')
            continue;

        bool quoted = doubleQuoted || singleQuoted;
        if ((c == ' ' || c == '\n') && !keepSpaces && !quoted)
            continue;
        if (c == '\\' && i + 1 < length) {
            char next = text[i + 1];
            if (next == '"' || next == '\'' || next == '\\') {
                c = next;
                i++;
            } else if (escapes && next == 'n') {
                c = '\n';
                i++;
            } else if (escapes && next == 't') {
                c = '\t';
                i++;
            }
        }
        store(c);
        if (c != ' ')
            nonBlank = true;
    }

    chunk[chunkUsed] = 0;
    out += chunk;
    if (closingQuote >= 0 && closingQuote < out.GetLength())
        out.Delete(closingQuote, 1);
    return i;
}

int CountFields(const char* text, char separator)
{
    int fields = 1;
    if (!text)
        return fields;
    bool quoted = false;
    int depth = 0;
    for (const char* p = text; *p; p++) {
        char c = *p;
        if (c == '"')
            quoted = !quoted;
        else if (c == '(')
            depth++;
        else if (c == ')')
            depth--;
        if (c == separator && !quoted && depth == 0)
            fields++;
    }
    return fields;
}

void ParseValueField(CTexto& field, float* value, int32_t* integer, uint32_t* flags,
                     uint32_t flagBit, float* suffix)
{
    // A sign after the first byte starts an offset ("50%+10"); a leading sign is the number's.
    int offset = field.Find('-', 1);
    if (offset < 0)
        offset = field.Find('+', 1);
    if (offset >= 1) {
        float offsetValue = ParseFloat(field.GetTextAt(offset));
        if (suffix)
            *suffix = offsetValue;
        field.Delete(offset, field.GetLength() - offset);
    }

    int length = field.GetLength();
    if (flags) {
        if (length > 0 && field.GetAt(length - 1) == '%') {
            field.Delete(length - 1, 1);
            *flags |= flagBit;
        } else {
            *flags &= ~flagBit;
        }
    } else if (length > 0 && field.GetAt(length - 1) == '%') {
        field.Delete(length - 1, 1);
    }

    if (value) {
        if (field.GetLength() == 0)
            *value = 0.0f;
        else if (field.GetAt(0) == '#')
            *value = static_cast<float>(ParseNumber(field.GetText()));
        else
            *value = ParseFloat(field.GetText());
    } else if (integer) {
        *integer = field.GetLength() == 0 ? 0 : ParseNumber(field);
    }
}

int ParseValueList(const char* text, int position, float* floats, int32_t* integers, int count,
                   char separator, uint32_t* flags, uint32_t flagBit, float* suffix)
{
    CTexto field;
    const int length = TextLength(text);
    for (int n = 0; n < count; n++) {
        position = ReadNextField(text, length, position, field, false, separator, false);
        ParseValueField(field, floats, integers, flags, flagBit, suffix);
        if (floats)
            floats++;
        if (integers)
            integers++;
    }
    return position;
}
