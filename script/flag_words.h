#pragma once
// Flag fields of the tour script: words joined by '+' (TRANS+bilinear, italic+underline,
// lbuttondown+click) turned into one bit mask. The field a caller reads decides what the bits
// mean; a word of another group simply sets its own bits.
#include <cstdint>

// Number of words in the flag-word table.
constexpr int kFlagWordCount = 68;

// Reads one field of statement from position on (blanks dropped, quotes removed) into *out and
// answers the position after it. Each '+'-separated word found in the table (without regard to
// case) ORs its value in; unknown words add nothing. With stopWhenSet no word is looked at once
// *out is non-zero (a character set takes its first non-zero word).
int ParseFlagWords(const char* statement, int position, uint32_t* out, bool stopWhenSet = false);

struct FlagWord {
    const char* word;
    uint32_t value;
};
// The table behind ParseFlagWords, in search order (for tests and tools).
const FlagWord* FlagWordTable();
