// How a copy of the program named *.scr learns what Windows wants of it: the switch letter and,
// for the preview, the window to draw into.
#pragma once

#include <cstdint>

// The switch letters ("/c", "-P", "xs": only the second character counts, in any case).
enum ScreensaverSwitch : char {
    ScreensaverNone = 0,
    ScreensaverConfigure = 'c',
    ScreensaverPreview = 'p',
    ScreensaverShow = 's',
};

constexpr const char* kScreensaverExtension = ".scr";
constexpr const char* kScreensaverNoOptionsText = "This screen saver does not have configurable options";

struct ScreensaverCommand {
    char letter = ScreensaverNone;  // lower case; any letter other than c, p, s means "exit"
    uintptr_t parentWindow = 0;     // "p": the preview window's handle, 0 when none is given
};

// True when the program path ends in ".scr" in any case.
bool IsScreensaverPath(const char* path);

// Reads the switch from the command line behind the program's name: the letter is its second
// character, the preview window's handle the number from its fourth character on (decimal with
// an optional sign, or hexadecimal after "0x" or "#"), read at pointer width. A short line is
// never read past its end.
ScreensaverCommand ParseScreensaverCommand(const char* commandLine);
