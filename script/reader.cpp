// The script reader's scanner: input in chunks (ANSI or UTF-16LE), the section grammar, the
// statement scanner, the macro pass and the interpretation pass with INCLUDE expansion.
#include "script/reader.h"

#include <cstring>
#include <new>
#include <vector>

#include "core/language.h"
#include "core/mailboxes.h"
#include "core/stream.h"
#include "core/text_convert.h"
#include "core/value_tokenizer.h"

namespace {

// Language lines of the format error message.
constexpr int kLineFormatErrorFirst = 2;   // "ERROR: File does not exist"
constexpr int kLineFormatErrorSecond = 77; // "ERROR: File format not supported"

enum ParserState { LookingForSection = 2, InSectionName = 3, BeforeBody = 4, InBody = 5 };

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool StartsWithNoCase(const char* text, const char* prefix)
{
    return _strnicmp(text, prefix, std::strlen(prefix)) == 0;
}

// The input in pieces of at most kReaderChunkSize bytes as read. A UTF-16LE stream is converted
// to the ANSI code page in whole code units and whole surrogate pairs, whatever the pieces the
// stream delivers: an odd byte or a lone high surrogate waits for the next read.
class ChunkSource {
public:
    explicit ChunkSource(const ScriptInput& input) : m_input(input) {}

    // The next piece into chunk; false at the end of the input.
    bool Fill(CTexto& chunk)
    {
        chunk = "";
        if (!m_input.stream) {
            const int64_t left = m_input.textLength - m_textOffset;
            if (left <= 0)
                return false;
            const int take = left < kReaderChunkSize ? static_cast<int>(left) : kReaderChunkSize;
            chunk.Append(take + 1, nullptr);
            AppendBytes(chunk, m_input.text + m_textOffset, take);
            m_textOffset += take;
            return true;
        }
        for (;;) {
            const int got = ReadRaw();
            if (!m_wide) {
                if (got == 0)
                    return false;
                AppendBytes(chunk, reinterpret_cast<const char*>(m_raw), got);
                return true;
            }
            const bool atEnd = got == 0;
            if (atEnd && m_carry == 0)
                return false;
            ConvertWide(chunk, got, atEnd);
            if (chunk.GetLength() > 0)
                return true;
            if (atEnd)
                return false;
        }
    }

    // Back to the first byte for the second pass; false when the stream cannot get there.
    bool Rewind()
    {
        m_textOffset = 0;
        m_carry = 0;
        m_atStart = true;
        if (!m_input.stream)
            return true;
        if (m_input.stream->Seek(0) == 0)
            return true;
        if (!m_input.reopenName)
            return false;
        m_input.stream->Close();
        return m_input.stream->Open(m_input.reopenName, m_input.reopenFlags) != 0;
    }

private:
    static void AppendBytes(CTexto& chunk, const char* bytes, int count)
    {
        // Zero bytes would end the text early; the scanner treats them like blanks.
        char piece[kReaderChunkSize + 1];
        int used = 0;
        for (int i = 0; i < count; i++) {
            piece[used++] = bytes[i] ? bytes[i] : ' ';
            if (used == kReaderChunkSize || i == count - 1) {
                piece[used] = 0;
                chunk += piece;
                used = 0;
            }
        }
    }

    // Reads up to kReaderChunkSize bytes behind the carried ones; answers the bytes read. The
    // first read of the stream decides the encoding, from two bytes even over short reads.
    int ReadRaw()
    {
        int got = m_input.stream->Read(m_raw + m_carry, kReaderChunkSize);
        if (!m_decided) {
            while (got > 0 && m_carry + got < 2) {
                const int more = m_input.stream->Read(m_raw + m_carry + got, kReaderChunkSize - got);
                if (more <= 0)
                    break;
                got += more;
            }
            m_decided = true;
            m_wide = m_carry + got >= 2 && m_raw[0] == 0xFF && m_raw[1] == 0xFE;
        }
        return got > 0 ? got : 0;
    }

    // Converts the whole units and pairs of the carried and new bytes; keeps the rest for the
    // next read unless this is the end.
    void ConvertWide(CTexto& chunk, int got, bool atEnd)
    {
        const int bytes = m_carry + got;
        int units = bytes / 2;
        int first = 0;
        if (m_atStart && units > 0) {
            if (m_raw[0] == 0xFF && m_raw[1] == 0xFE)
                first = 1;  // the byte-order mark is no character of the script
            m_atStart = false;
        }
        wchar_t wide[kReaderChunkSize + 2];
        for (int i = 0; i < units; i++)
            wide[i] = static_cast<wchar_t>(m_raw[2 * i] | (m_raw[2 * i + 1] << 8));
        int whole = units;
        if (!atEnd && whole > first && wide[whole - 1] >= 0xD800 && wide[whole - 1] <= 0xDBFF)
            whole--;  // a high surrogate waits for its partner
        const int count = whole - first;
        if (count > 0) {
            // Up to two bytes per unit in the double-byte code pages.
            char narrow[4 * (kReaderChunkSize + 2) + 1];
            const int written =
                WideToMultiByte(0, narrow, wide + first, count, static_cast<int>(sizeof narrow) - 1);
            if (written > 0)
                AppendBytes(chunk, narrow, written);
        }
        const int consumed = atEnd ? bytes : 2 * whole;
        m_carry = bytes - consumed;
        std::memmove(m_raw, m_raw + consumed, static_cast<size_t>(m_carry));
    }

    ScriptInput m_input;
    int64_t m_textOffset = 0;
    uint8_t m_raw[kReaderChunkSize + 8] = {};
    int m_carry = 0;        // bytes of m_raw kept from the previous read
    bool m_decided = false;
    bool m_wide = false;
    bool m_atStart = true;  // the next converted unit is the stream's first
};

struct Expansion {
    int macro;
    int end;  // chunk position just past the macro's body
};

class ScriptScanner {
public:
    ScriptScanner(ReadingContext& context, const ReaderHandlers& handlers, const ScriptInput& input)
        : m_context(context), m_handlers(handlers), m_input(input), m_source(input) {}

    ReadOutcome Run();

private:
    bool FillChunk();
    void Step(char c);
    void ScanBodyCharacter(char c);
    void ResolveQuote(char next);
    void Store(char c);
    void ResetStatement();
    void OpenSection();
    void CompleteStatement(int statementStart);
    void CollectMacro();
    void Interpret(int statementStart);
    bool ExpandInclude(int statementStart);
    void RaiseFormatError();
    void EndPass();

    ReadingContext& m_context;
    const ReaderHandlers& m_handlers;
    const ScriptInput& m_input;
    ChunkSource m_source;

    CTexto m_chunk;
    int m_position = 0;
    ParserState m_state = LookingForSection;
    int m_pass = 0;
    bool m_formatError = false;
    bool m_ended = false;

    // Statement scanner.
    char m_buffer[kStatementLimit + 1] = {};
    int m_length = 0;
    bool m_overflow = false;      // the statement outgrew the buffer: it is dropped
    int m_depth = 0;
    bool m_doubleQuoted = false;
    bool m_singleQuoted = false;
    bool m_equalsSeen = false;
    char m_previous = 0;          // the input character before the one being scanned
    bool m_quotePending = false;  // a single quote waits for the character after it
    char m_beforeQuote = 0;
    int m_statementStart = 0;     // chunk position of the statement's first character

    // Macros.
    CTexto* m_macroNames = nullptr;
    CTexto* m_macroBodies = nullptr;
    int m_macroCount = 0;
    bool m_inMacro = false;
    std::vector<Expansion> m_expansions;
    int m_expansionCount = 0;

    CTexto m_field;
};

ReadOutcome ScriptScanner::Run()
{
    m_macroNames = new (std::nothrow) CTexto[kMaxMacros + 1];
    m_macroBodies = new (std::nothrow) CTexto[kMaxMacros + 1];
    if (!m_macroNames || !m_macroBodies) {
        delete[] m_macroNames;
        delete[] m_macroBodies;
        return ReadOutcome::NoMemory;
    }
    m_context.pass = 0;
    m_context.frameSections = 0;
    // Sections read into a target frame act on it from their first statement.
    if (m_context.target)
        m_context.currentFrame = m_context.target;

    ReadOutcome outcome = ReadOutcome::Completed;
    while (!m_ended) {
        if (m_position >= m_chunk.GetLength() && !FillChunk())
            continue;
        Step(m_chunk.GetText()[m_position]);
        if (m_formatError) {
            outcome = ReadOutcome::FormatError;
            break;
        }
        if (m_context.Cancelled()) {
            outcome = ReadOutcome::Cancelled;
            break;
        }
    }

    if (m_handlers.link)
        m_handlers.link(m_context);
    if (m_handlers.release)
        m_handlers.release(m_context);
    delete[] m_macroNames;
    delete[] m_macroBodies;
    return outcome;
}

bool ScriptScanner::FillChunk()
{
    m_expansions.clear();
    m_statementStart = 0;
    m_position = 0;
    if (m_source.Fill(m_chunk))
        return m_chunk.GetLength() > 0;
    EndPass();
    return false;
}

void ScriptScanner::EndPass()
{
    if (m_quotePending)
        ResolveQuote(0);
    if (m_pass == 1) {
        m_ended = true;
        return;
    }
    m_pass = 1;
    m_context.pass = 1;
    m_context.frameSections = 0;
    m_state = LookingForSection;
    m_inMacro = false;
    m_previous = 0;
    ResetStatement();
    m_chunk = "";
    if (!m_source.Rewind())
        m_ended = true;
}

void ScriptScanner::ResetStatement()
{
    m_length = 0;
    m_overflow = false;
    m_depth = 0;
    m_doubleQuoted = false;
    m_singleQuoted = false;
    m_equalsSeen = false;
    m_quotePending = false;
}

void ScriptScanner::Store(char c)
{
    if (m_length < kStatementLimit)
        m_buffer[m_length++] = c;
    else
        m_overflow = true;
}

void ScriptScanner::Step(char c)
{
    const int at = m_position++;
    switch (m_state) {
    case LookingForSection:
        if (c == '(') {
            m_length = 0;
            m_state = InSectionName;
        }
        break;
    case InSectionName:
        if (c == ')') {
            m_buffer[m_length] = 0;
            m_context.sectionName = m_buffer;
            m_context.fileText = "";
            m_context.descriptionText = "";
            m_context.sectionKind = m_context.target ? SectionFrame : SectionIgnored;
            m_length = 0;
            m_state = BeforeBody;
        } else if (m_length < kStatementLimit) {
            // A longer name is cut.
            m_buffer[m_length++] = c;
        }
        break;
    case BeforeBody:
        if (c == '{' || c == '}') {
            OpenSection();
            m_statementStart = m_position;
        } else if (static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) < 0x80) {
            RaiseFormatError();
        }
        break;
    case InBody:
        if (m_length == 0 && !m_overflow && !m_quotePending)
            m_statementStart = at;
        ScanBodyCharacter(c);
        break;
    }
    m_previous = c;
}

void ScriptScanner::OpenSection()
{
    m_context.sectionKind = m_context.target ? SectionFrame : SectionIgnored;
    m_context.sourceKind = -1;
    m_inMacro = false;
    ResetStatement();
    m_state = InBody;
}

void ScriptScanner::RaiseFormatError()
{
    CTexto message(GetLanguageLine(kLineFormatErrorFirst));
    message += "\n";
    message += GetLanguageLine(kLineFormatErrorSecond);
    SetPendingMessage(message.GetText());
    if (m_input.stream)
        m_input.stream->CloseAndDeleteCache();
    m_formatError = true;
}

// A single quote between two letters is an apostrophe (don't); one after a letter and before
// anything else only closes; any other opens or closes. Its neighbours are the characters around
// it in the input, wherever the pieces of the input end.
void ScriptScanner::ResolveQuote(char next)
{
    m_quotePending = false;
    const bool letterBefore = IsAsciiLetter(m_beforeQuote);
    const bool letterAfter = IsAsciiLetter(next);
    if (letterBefore && letterAfter)
        return;
    if (letterBefore && !letterAfter) {
        if (m_singleQuoted)
            m_singleQuoted = false;
        return;
    }
    m_singleQuoted = !m_singleQuoted;
}

void ScriptScanner::ScanBodyCharacter(char c)
{
    if (m_quotePending)
        ResolveQuote(c);

    if (!m_doubleQuoted && !m_singleQuoted && m_depth == 0 && (c == ';' || c == '{' || c == '}')) {
        if (c == ';') {
            const int start = m_statementStart;
            if (!m_overflow) {
                m_buffer[m_length] = 0;
                CompleteStatement(start);
            }
            ResetStatement();
            m_statementStart = m_position;
            return;
        }
        // The section ends; a statement without its ';' is dropped.
        if (m_inMacro && m_pass == 0)
            m_macroCount++;
        m_inMacro = false;
        ResetStatement();
        m_state = LookingForSection;
        return;
    }

    if (c == '(') {
        m_depth++;
    } else if (c == ')') {
        if (m_depth > 0)
            m_depth--;
    } else if (c == '"' && m_depth == 0) {
        m_doubleQuoted = !m_doubleQuoted;
    } else if (c == '\'' && m_depth == 0) {
        m_quotePending = true;
        m_beforeQuote = m_previous;
    } else if (c == '=' && m_depth == 0) {
        m_equalsSeen = true;
    }
    if (c == '\r' || c == '\n' || c == '\t')
        return;
    if (c == ' ' && !m_equalsSeen)
        return;
    Store(c);
}

void ScriptScanner::CompleteStatement(int statementStart)
{
    if (m_pass == 0)
        CollectMacro();
    else
        Interpret(statementStart);
}

void ScriptScanner::CollectMacro()
{
    if (m_inMacro) {
        CTexto& body = m_macroBodies[m_macroCount];
        body += m_buffer;
        body += ";";
        return;
    }
    if (m_macroCount >= kMaxMacros || !StartsWithNoCase(m_buffer, "TYPE="))
        return;
    ReadNextField(m_buffer, m_length, 4, m_field, false, kFieldSeparatorComma, false);
    if (_stricmp(m_field.GetText(), "INCLUDE") != 0)
        return;
    m_inMacro = true;
    m_macroNames[m_macroCount] = m_context.sectionName;
    m_macroBodies[m_macroCount] = "";
}

void ScriptScanner::Interpret(int statementStart)
{
    ReadingContext& context = m_context;
    context.statement = m_buffer;
    context.length = m_length;
    context.fieldCount = CountFields(m_buffer, ',');

    if (StartsWithNoCase(m_buffer, "INCLUDE=")) {
        ExpandInclude(statementStart);
        return;
    }

    int spelling = 0;
    const ReaderKeyword keyword = MatchReaderKeyword(m_buffer, &spelling);
    context.keyword = keyword;
    context.spelling = spelling;
    if (keyword == ReaderKeyword::Type) {
        if (StatementHandler handler = m_handlers.keywords[static_cast<int>(keyword)])
            handler(context);
    } else if (context.sectionKind != SectionIgnored && context.sectionKind != SectionSkippedFrame) {
        if (keyword != ReaderKeyword::Count) {
            if (StatementHandler handler = m_handlers.keywords[static_cast<int>(keyword)])
                handler(context);
        } else if (context.sectionKind == SectionFrame && m_handlers.frameFlagKey) {
            m_handlers.frameFlagKey(context);
        }
    }

    if (context.itemsPending) {
        context.itemsPending = false;
        if (m_handlers.createItems)
            m_handlers.createItems(context);
    }
}

// Replaces the statement by the macro's body: the chunk becomes the body followed by what
// followed the statement, and scanning goes on at the body's start. A macro already being
// expanded at this point (itself, through others, or as its own last statement) is not expanded
// again, and the growth of the chunk and the number of expansions are bounded.
bool ScriptScanner::ExpandInclude(int statementStart)
{
    ReadNextField(m_buffer, m_length, 7, m_field, false, kFieldSeparatorComma, false);
    int macro = -1;
    for (int i = 0; i < m_macroCount; i++) {
        if (_stricmp(m_macroNames[i].GetText(), m_field.GetText()) == 0) {
            macro = i;
            break;
        }
    }
    if (macro < 0)
        return false;

    // Expansions the statement lies inside of are the active ones.
    while (!m_expansions.empty() && m_expansions.back().end <= statementStart)
        m_expansions.pop_back();
    for (const Expansion& active : m_expansions) {
        if (active.macro == macro)
            return false;
    }
    const CTexto& body = m_macroBodies[macro];
    const int rest = m_chunk.GetLength() - m_position;
    if (body.GetLength() == 0 || m_expansionCount >= kMaxExpansions ||
        body.GetLength() + rest > kMaxExpandedChunk)
        return false;

    CTexto expanded;
    expanded.Append(body.GetLength() + rest + 1, nullptr);
    expanded += body;
    expanded += m_chunk.GetTextAt(m_position);
    const int shift = body.GetLength() - m_position;
    for (Expansion& active : m_expansions)
        active.end += shift;
    m_expansions.push_back({macro, body.GetLength()});
    m_expansionCount++;
    m_chunk = expanded;
    m_position = 0;
    return true;
}

}  // namespace

ReadOutcome ReadScript(ReadingContext& context, const ReaderHandlers& handlers,
                       const ScriptInput& input)
{
    ScriptScanner scanner(context, handlers, input);
    return scanner.Run();
}
