#include "script/compiler.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "core/path_resolution.h"
#include "core/text_convert.h"
#include "core/text_string.h"
#include "core/value_tokenizer.h"
#include "script/command_table.h"
#include "viewer/main_wnd.h"

namespace {

// How a text argument is read: blanks kept or dropped, \n and \t escapes, resolved as a file.
enum TextRule : uint8_t {
    TextPlain = 0,
    TextKeepBlanks = 1,
    TextEscapes = 2,
    TextResolved = 4,
};

// Commands whose arguments do not map one to one, in order, onto their layout.
enum class Special : uint8_t {
    None,
    OpenUrl,
    ShowFamily,      // frame, object, value[, time], group stored as frame, object, group, value[, time]
    CreateFrame,
    Transition,
    StartDrag,
    PlayerWindow,
    QualityUpdate,
    Projection,
    VolumeSound,
    FileFinder,
    Play,
};

struct CompileRule {
    uint16_t opcode;
    // One character per 'T' of the layout, in order: t plain, k blanks kept, e escapes,
    // q blanks kept and escapes, r resolved file, u resolved file with blanks kept. Null: plain.
    const char* texts;
    Special special;
};

const CompileRule kCompileRules[] = {
    {2, nullptr, Special::OpenUrl},
    {3, "rt", Special::None},
    {7, nullptr, Special::ShowFamily},
    {13, nullptr, Special::ShowFamily},
    {17, nullptr, Special::CreateFrame},
    {19, "k", Special::None},
    {22, nullptr, Special::Transition},
    {25, nullptr, Special::StartDrag},
    {33, nullptr, Special::PlayerWindow},
    {35, "tr", Special::None},
    {38, "tttqkk", Special::None},
    {39, "tttte", Special::None},
    {40, "ttttkk", Special::None},
    {41, "r", Special::None},
    {42, "ttttkk", Special::None},
    {45, "ttttkk", Special::None},
    {46, "r", Special::None},
    {47, "rt", Special::None},
    {52, "r", Special::None},
    {53, nullptr, Special::QualityUpdate},
    {55, nullptr, Special::Projection},
    {66, nullptr, Special::VolumeSound},
    {68, nullptr, Special::ShowFamily},
    {69, nullptr, Special::FileFinder},
    {71, nullptr, Special::ShowFamily},
    {72, nullptr, Special::ShowFamily},
    {73, nullptr, Special::ShowFamily},
    {80, nullptr, Special::ShowFamily},
    {81, "k", Special::None},
    {83, "k", Special::None},
    {84, nullptr, Special::Play},
    {97, "k", Special::None},
    {100, "k", Special::None},
    {101, "k", Special::None},
    {102, "k", Special::None},
    {115, "kk", Special::None},
    {116, "k", Special::None},
};

const CompileRule* RuleFor(int opcode) {
    static const std::vector<const CompileRule*> rules = [] {
        std::vector<const CompileRule*> byOpcode(kOpcodeCount, nullptr);
        for (const CompileRule& rule : kCompileRules)
            byOpcode[rule.opcode] = &rule;
        return byOpcode;
    }();
    return rules[static_cast<size_t>(opcode)];
}

uint8_t TextRuleOf(char c) {
    switch (c) {
    case 'k': return TextKeepBlanks;
    case 'e': return TextEscapes;
    case 'q': return TextKeepBlanks | TextEscapes;
    case 'r': return TextResolved;
    case 'u': return TextResolved | TextKeepBlanks;
    default: return TextPlain;
    }
}

// Word arguments, compared in any letter case.
struct Word {
    const char* text;
    int32_t value;
};
const Word kFrameKinds[] = {{"PANORAMIC", 6}, {"AERIAL", 8}, {"ONESHOT", 5}};
const Word kWindowActions[] = {
    {"close", 0}, {"move", 1}, {"resizeleft", 2}, {"resizeright", 3}, {"resizetop", 4},
    {"resizetopleft", 5}, {"resizetopright", 6}, {"resizebottom", 7}, {"resizebottomleft", 8},
    {"resizebottomright", 9}, {"minimize", 10}, {"maximize", 11}};
const Word kProjections[] = {
    {"default", 0}, {"polar", 1}, {"sinpolar", 2}, {"spherical", 3}, {"cylindrical", 4},
    {"stereographic", 5}, {"fisheye", 6}, {"inverted", 7}, {"dome", 8}};
const Word kChannels[] = {{"left", 1}, {"right", 2}};

template <size_t N>
int32_t WordValue(const CTexto& word, const Word (&words)[N], int32_t fallback) {
    for (const Word& w : words) {
        if (word.GetLength() == static_cast<int>(std::strlen(w.text)) && word.FindNoCase(w.text) == 0)
            return w.value;
    }
    return fallback;
}

// The Show family's value slot and the integer operands keep the low bits of a value truncated
// toward zero; values beyond 32 bits (and NaN) give 0 rather than undefined behaviour.
int32_t TruncateToInt(float value) {
    if (!(std::fabs(value) < 2147483648.0f))
        return 0;
    return static_cast<int32_t>(value);
}

// A URL scheme: a letter, then letters, digits, '+', '-' or '.', then ':' (two characters at
// least, so that a drive letter is no scheme).
bool HasUrlScheme(const CTexto& name) {
    const char* p = name.GetText();
    auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!letter(p[0]))
        return false;
    int i = 1;
    while (letter(p[i]) || (p[i] >= '0' && p[i] <= '9') || p[i] == '+' || p[i] == '-' || p[i] == '.')
        i++;
    return p[i] == ':' && i >= 2;
}

// Everything one compilation works in; one allocation per compiled text.
struct CompileWork {
    uint8_t buffer[kCompileBufferSize];
    wchar_t wide[kCompileBufferSize / 2];
    CTexto statement;
    CTexto scratch;
    std::vector<Operand> values;  // operands of the statement in record order
    int valueCount = 0;
    int out = 0;                  // bytes of code written
    const CTexto* base = nullptr;
    const CTexto* fallback = nullptr;
};

// Reads the arguments of one statement.
class ArgumentReader {
public:
    ArgumentReader(CompileWork& work) : m_work(work), m_text(work.statement) {
        const int paren = m_text.Find('(');
        m_position = paren >= 0 ? paren : m_text.GetLength();
        m_fieldCount = paren >= 0 ? CountFields(m_text.GetTextAt(paren + 1), ',') : 1;
    }

    int FieldCount() const { return m_fieldCount; }
    // A ',' is still ahead in the statement.
    bool CommaFollows() const { return m_text.Find(',', m_position) >= 0; }

    Operand& Slot(int index) {
        while (static_cast<int>(m_work.values.size()) <= index)
            m_work.values.emplace_back();
        if (index >= m_work.valueCount)
            m_work.valueCount = index + 1;
        return m_work.values[static_cast<size_t>(index)];
    }

    CTexto& Text(int slot, uint8_t rule) {
        Operand& value = Slot(slot);
        value.kind = OperandKind::Text;
        m_position = ReadNextField(m_text.GetText(), m_text.GetLength(), m_position, value.text,
                                   (rule & TextKeepBlanks) != 0, ')', (rule & TextEscapes) != 0);
        if (rule & TextResolved)
            ResolvePath(value.text, m_work.base, m_work.fallback);
        return value.text;
    }

    void SetText(int slot, const char* text) {
        Operand& value = Slot(slot);
        value.kind = OperandKind::Text;
        value.text = text;
    }

    // Reads a field as a word (blanks dropped) into the scratch text.
    const CTexto& Word() {
        m_position = ReadNextField(m_text.GetText(), m_text.GetLength(), m_position,
                                   m_work.scratch, false, ')', false);
        return m_work.scratch;
    }

    void SkipField() { Word(); }

    // A text to build in that no argument is held in.
    CTexto& Scratch() { return m_work.scratch; }

    void Resolve(CTexto& name) { ResolvePath(name, m_work.base, m_work.fallback); }

    int32_t Int(int slot) {
        Operand& value = Slot(slot);
        value.kind = OperandKind::Integer;
        ReadNumber(nullptr, &value.integer);
        return value.integer;
    }

    void SetInt(int slot, int32_t number) {
        Operand& value = Slot(slot);
        value.kind = OperandKind::Integer;
        value.integer = number;
    }

    float Float(int slot) {
        Operand& value = Slot(slot);
        value.kind = OperandKind::Float;
        ReadNumber(&value.real, nullptr);
        return value.real;
    }

    void SetFloat(int slot, float number) {
        Operand& value = Slot(slot);
        value.kind = OperandKind::Float;
        value.real = number;
    }

private:
    void ReadNumber(float* real, int32_t* integer) {
        m_position = ReadNextField(m_text.GetText(), m_text.GetLength(), m_position,
                                   m_work.scratch, false, ')', false);
        ParseValueField(m_work.scratch, real, integer);
    }

    CompileWork& m_work;
    const CTexto& m_text;
    int m_position;
    int m_fieldCount;
};

// Arguments in layout order, each text by its rule; a repeated group as often as its count
// says. False when the groups could never fit into the work buffer.
bool ReadByLayout(ArgumentReader& reader, const char* layout, const char* texts) {
    int slot = 0;
    const char* p = layout;
    int textIndex = 0;
    for (; *p && *p != '*'; p++) {
        switch (*p) {
        case 'T': {
            const char rule = texts && texts[textIndex] ? texts[textIndex] : 't';
            textIndex++;
            reader.Text(slot++, TextRuleOf(rule));
            break;
        }
        case 'b': case 'h': case 'i': reader.Int(slot++); break;
        case 'f': case 'v': reader.Float(slot++); break;
        default: break;  // 'z' reads nothing
        }
    }
    if (*p != '*')
        return true;
    // Every operand of a group is 4 bytes wide.
    const int32_t groups = slot > 0 ? reader.Slot(slot - 1).integer : 0;
    const int groupBytes = 4 * static_cast<int>(std::strlen(p + 1));
    if (groupBytes == 0 || groups > kCompileBufferSize / groupBytes)
        return false;
    for (int32_t g = 0; g < groups; g++) {
        for (const char* q = p + 1; *q; q++) {
            if (*q == 'i')
                reader.Int(slot++);
            else
                reader.Float(slot++);
        }
    }
    return true;
}

bool ReadSpecial(ArgumentReader& reader, Special special, int opcode) {
    switch (special) {
    case Special::OpenUrl: {
        CTexto& url = reader.Text(0, TextResolved | TextKeepBlanks);
        if (!HasUrlScheme(url)) {
            CTexto& scratch = reader.Scratch();
            scratch = "file:///";
            scratch += url;
            url = scratch;
        }
        CTexto& target = reader.Text(1, TextPlain);
        if (target != "_parent" && target != "_self" && target != "_top")
            target = "_blank";
        return true;
    }
    case Special::ShowFamily: {
        const bool timed =
            opcode != OpcodeShow && opcode != OpcodeShowGroup && opcode != OpcodeFadeGroup;
        reader.Text(0, TextPlain);
        reader.Text(1, TextPlain);
        reader.Float(3);
        if (timed)
            reader.Float(4);
        reader.Text(2, TextPlain);
        if (opcode == OpcodeFadeGroup)
            reader.SetFloat(4, 0.0f);
        return true;
    }
    case Special::CreateFrame:
        reader.Text(0, TextPlain);
        reader.SetInt(1, WordValue(reader.Word(), kFrameKinds, -1));
        reader.Text(2, TextResolved);
        reader.Float(3);
        reader.Text(4, TextResolved);
        return true;
    case Special::Transition:
        if (reader.FieldCount() == 5)
            reader.Text(0, TextPlain);
        else
            reader.SetText(0, "_this_");
        reader.Int(1);
        reader.Float(2);
        reader.Float(3);
        reader.SkipField();  // the mode is read and not stored
        return true;
    case Special::StartDrag:
        reader.Text(0, TextPlain);
        reader.Text(1, TextPlain);
        reader.Text(2, TextPlain);
        reader.Int(3);
        reader.Int(4);
        reader.Int(5);
        if (reader.CommaFollows())
            reader.Int(6);
        else
            reader.SetInt(6, kDragMinDefault);
        if (reader.CommaFollows())
            reader.Int(7);
        else
            reader.SetInt(7, kDragMaxDefault);
        return true;
    case Special::PlayerWindow:
        reader.SetInt(0, WordValue(reader.Word(), kWindowActions, -1));
        return true;
    case Special::QualityUpdate: {
        CTexto& frame = reader.Text(0, TextPlain);
        if (frame.GetLength() == 0)
            frame = "_this_";
        reader.Int(1);
        return true;
    }
    case Special::Projection:
        reader.SetInt(0, WordValue(reader.Word(), kProjections, 0));
        reader.Float(1);
        return true;
    case Special::VolumeSound:
        reader.Text(0, TextPlain);
        reader.Float(1);
        reader.SetInt(2, WordValue(reader.Word(), kChannels, 0));
        return true;
    case Special::FileFinder: {
        reader.Text(0, TextPlain);
        CTexto& folder = reader.Text(1, TextPlain);
        if (folder != "%SELECTFOLDER%") {
            const char last = folder.GetAt(folder.GetLength() - 1);
            if (last != '\\' && last != '/')
                folder += '/';
            reader.Resolve(folder);
        }
        reader.Text(2, TextPlain);
        return true;
    }
    case Special::Play:
        reader.Text(0, TextPlain);
        if (reader.FieldCount() > 1)
            reader.Int(1);
        else
            reader.SetInt(1, -1);
        return true;
    case Special::None:
        break;
    }
    return false;
}

// Writes the operands by the layout; false (nothing promised about out) when they do not fit.
class RecordWriter {
public:
    explicit RecordWriter(CompileWork& work) : m_work(work) {}

    bool Bytes(uint32_t value, int width) {
        if (m_work.out + width > kCompileBufferSize)
            return false;
        for (int i = 0; i < width; i++)
            m_work.buffer[m_work.out++] = static_cast<uint8_t>(value >> (8 * i));
        return true;
    }

    bool Text(const CTexto& text) {
        const long long bytes = 2LL * text.GetLength() + 2;
        if (bytes > 0xFFFF || m_work.out + 2 + bytes > kCompileBufferSize)
            return false;
        Bytes(static_cast<uint32_t>(bytes), 2);
        const int chars = static_cast<int>(bytes / 2);
        std::memset(m_work.wide, 0, static_cast<size_t>(bytes));
        AnsiToWide(m_work.wide, text.GetText(), chars);  // a failed conversion stays all zero
        std::memcpy(m_work.buffer + m_work.out, m_work.wide, static_cast<size_t>(bytes));
        m_work.out += static_cast<int>(bytes);
        return true;
    }

    bool Write(char kind, const Operand& value) {
        switch (kind) {
        case 'T': return Text(value.text);
        case 'b': return Bytes(static_cast<uint32_t>(IntegerOf(value)), 1);
        case 'h': return Bytes(static_cast<uint32_t>(IntegerOf(value)), 2);
        case 'i': return Bytes(static_cast<uint32_t>(IntegerOf(value)), 4);
        case 'f': {
            uint32_t bits;
            const float real = value.kind == OperandKind::Float ? value.real
                                                                : static_cast<float>(value.integer);
            std::memcpy(&bits, &real, sizeof bits);
            return Bytes(bits, 4);
        }
        case 'v':
            return Bytes(static_cast<uint32_t>(IntegerOf(value)) & 0xFF, 4);
        default:
            return false;
        }
    }

    bool Operands(const char* layout) {
        static const Operand kMissing;
        int k = 0;
        auto next = [&]() -> const Operand& {
            return k < m_work.valueCount ? m_work.values[static_cast<size_t>(k++)] : kMissing;
        };
        const char* p = layout;
        for (; *p && *p != '*'; p++) {
            if (*p == 'z') {
                if (!Bytes(0, 2))
                    return false;
            } else if (!Write(*p, next())) {
                return false;
            }
        }
        if (*p != '*')
            return true;
        while (k < m_work.valueCount) {
            for (const char* q = p + 1; *q; q++) {
                if (!Write(*q, next()))
                    return false;
            }
        }
        return true;
    }

private:
    static int32_t IntegerOf(const Operand& value) {
        return value.kind == OperandKind::Float ? TruncateToInt(value.real) : value.integer;
    }

    CompileWork& m_work;
};

bool IsStatementGap(char c) {
    return c == '"' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Compiles the statement in work.statement as command opcode; false when its record does not fit.
bool CompileStatement(CompileWork& work, int opcode) {
    const CommandRow& row = BuiltInCommandTable().rows[opcode];
    const CompileRule* rule = RuleFor(opcode);
    work.valueCount = 0;
    ArgumentReader reader(work);
    const bool read = rule && rule->special != Special::None
                          ? ReadSpecial(reader, rule->special, opcode)
                          : ReadByLayout(reader, row.layout, rule ? rule->texts : nullptr);
    if (!read)
        return false;

    const int start = work.out;
    RecordWriter writer(work);
    if (!writer.Bytes(static_cast<uint32_t>(opcode), 2) || !writer.Bytes(0, 2) ||
        !writer.Operands(row.layout)) {
        work.out = start;
        return false;
    }
    const int recordLength = work.out - start;
    work.buffer[start + 2] = static_cast<uint8_t>(recordLength);
    work.buffer[start + 3] = static_cast<uint8_t>(recordLength >> 8);
    return true;
}

}  // namespace

bool CompileCommandText(CompiledCode* target, const char* text, const CTexto* base,
                        const CTexto* fallback) {
    if (!target || !text)
        return true;
    CompileWork* work = new (std::nothrow) CompileWork;
    if (!work)
        return false;
    work->base = base;
    work->fallback = fallback;

    const size_t fullLength = std::strlen(text);
    const int length = fullLength > 0x7FFFFFF0u ? 0x7FFFFFF0 : static_cast<int>(fullLength);
    int position = 0;
    while (position < length && work->out < kCompileStopLength) {
        while (position < length && IsStatementGap(text[position]))
            position++;
        if (position >= length)
            break;
        const int end = ReadNextField(text, length, position - 1, work->statement, true, ';', false);
        if (work->statement.GetLength() == 0) {
            position = end + 1;
            continue;
        }
        const int paren = work->statement.Find('(');
        const int nameLength = paren >= 0 ? paren : work->statement.GetLength();
        const int opcode = FindCommandOpcode(work->statement.GetText(), nameLength);
        if (opcode == 0 || !CompileStatement(*work, opcode))
            break;
        position = end + 1;
    }

    if (work->out > 0)
        target->AssignCode(work->buffer, work->out);
    delete work;
    return true;
}

void CMainWnd::CompileCommands(CompiledCode* target, const char* text, const CTexto* basePath) {
    const CTexto* base = basePath ? basePath : &m_basePath;
    CompileCommandText(target, text, base, m_fromPackage ? &m_basePath : nullptr);
}
