#include "script/flag_words.h"

#include <windows.h>

#include <cstring>

#include "core/text_string.h"
#include "core/value_tokenizer.h"

namespace {

const FlagWord kFlagWords[kFlagWordCount] = {
    // Draw modes.
    {"TRANS", 0x2}, {"OPACO", 0x4}, {"SUBB", 0x8000}, {"ADDB", 0x10000}, {"SUB", 0x100},
    {"ADD", 0x200}, {"MUL", 0x400}, {"AND", 0x800}, {"ANDN", 0x1000}, {"OR", 0x2000},
    {"XOR", 0x4000}, {"NOT", 0x8}, {"SS", 0x1},
    // Image options.
    {"bilinear", 0x80000}, {"mask", 0x100000}, {"compass", 0x200000}, {"block", 0x400000},
    {"aspect", 0x800000}, {"oriented", 0x1000000}, {"mipmap", 0x2000000},
    {"transparent", 0x4000000}, {"noresize", 0x8000000},
    // Font styles.
    {"italic", 0x1}, {"underline", 0x2}, {"strikeout", 0x4},
    // Character sets: the Windows font character-set codes of the same names.
    {"ansi", ANSI_CHARSET}, {"default", DEFAULT_CHARSET}, {"symbol", SYMBOL_CHARSET},
    {"shiftjis", SHIFTJIS_CHARSET}, {"hangeul", HANGEUL_CHARSET}, {"hangul", HANGUL_CHARSET},
    {"gb2312", GB2312_CHARSET}, {"chinese", CHINESEBIG5_CHARSET}, {"oem", OEM_CHARSET},
    {"johab", JOHAB_CHARSET}, {"hebrew", HEBREW_CHARSET}, {"arabic", ARABIC_CHARSET},
    {"greek", GREEK_CHARSET}, {"turkish", TURKISH_CHARSET}, {"vietnamese", VIETNAMESE_CHARSET},
    {"thai", THAI_CHARSET}, {"easteurope", EASTEUROPE_CHARSET}, {"russian", RUSSIAN_CHARSET},
    {"mac", MAC_CHARSET}, {"baltic", BALTIC_CHARSET},
    // Mouse events of an events window.
    {"mousemove", 0x1}, {"lbuttondown", 0x2}, {"lbuttonup", 0x4}, {"rbuttondown", 0x8},
    {"rbuttonup", 0x10}, {"lbuttondowncoord", 0x20}, {"lbuttonupcoord", 0x40},
    {"rbuttondowncoord", 0x80}, {"rbuttonupcoord", 0x100}, {"click", 0x200}, {"drag", 0x400},
    {"mousewheelin", 0x1000}, {"mousewheelout", 0x2000}, {"doubleclick", 0x4000},
    // Plain.
    {"1", 0x1},
    // Text box styles.
    {"background", 0x1}, {"globe", 0x2}, {"spike", 0x4}, {"border1", 0x8}, {"border2", 0x10},
    {"border3", 0x20}, {"aligncenter", 0x4000}, {"alignright", 0x8000},
};

}  // namespace

const FlagWord* FlagWordTable()
{
    return kFlagWords;
}

int ParseFlagWords(const char* statement, int position, uint32_t* out, bool stopWhenSet)
{
    *out = 0;
    CTexto field;
    int next = ReadNextField(statement, position, field);
    const int length = field.GetLength();
    CTexto word;
    for (int at = -1; at < length;) {
        if (stopWhenSet && *out != 0)
            break;
        at = ReadNextField(field.GetText(), length, at, word, false, '+', false);
        for (const FlagWord& entry : kFlagWords) {
            if (_stricmp(word.GetText(), entry.word) == 0) {
                *out |= entry.value;
                break;
            }
        }
    }
    return next;
}
