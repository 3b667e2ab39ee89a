#pragma once
// Key names of the tour script: the key or mouse button an object reacts to, written as one
// character or as a name such as F5, SPACE or RBUTTON.
#include <cstdint>

// The program's own codes for keys that Windows numbers differently or not at all; the key
// handling compares against these.
enum ScriptKeyCode : int16_t {
    ScriptKeyLeftButton = 149,
    ScriptKeyMiddleButton = 150,
    ScriptKeyRightButton = 151,
    ScriptKeyBrowserBack = 257,
    ScriptKeyBrowserForward = 258,
};

// Number of names in the key-name table.
constexpr int kKeyNameCount = 92;

// Reads one field of statement from position on (as ReadNextField takes it: blanks dropped,
// quotes removed) into *out and answers the position after it. One character gives its code
// (a-z as A-Z, other bytes as signed 8-bit values); a longer field is looked up by name without
// regard to case. An empty field or an unknown name gives 0.
int ParseKeyName(const char* statement, int position, int16_t* out);

// The table behind ParseKeyName, in search order (for tests and tools).
struct KeyName {
    const char* name;
    int16_t code;
};
const KeyName* KeyNameTable();
