#include "viewer/screensaver_mode.h"

#include <cstring>

namespace {

constexpr int kLetterPosition = 1;
constexpr int kHandlePosition = 3;

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A window handle written as a number; the digits end at the first character that is none.
uintptr_t ParseHandle(const char* text)
{
    uintptr_t value = 0;
    if (text[0] == '#' || (text[0] == '0' && text[1] == 'x')) {
        text += text[0] == '#' ? 1 : 2;
        for (int digit; (digit = HexDigit(*text)) >= 0; ++text)
            value = (value << 4) | static_cast<uintptr_t>(digit);
        return value;
    }
    // A signed decimal; a negative one is sign-extended to pointer width as Windows extends
    // 32-bit window handles.
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10 + static_cast<uintptr_t>(*text - '0');
    return negative ? uintptr_t(0) - value : value;
}

}  // namespace

bool IsScreensaverPath(const char* path)
{
    if (!path)
        return false;
    const size_t length = std::strlen(path);
    const size_t extension = std::strlen(kScreensaverExtension);
    if (length < extension)
        return false;
    const char* tail = path + length - extension;
    for (size_t i = 0; i < extension; i++) {
        if (LowerAscii(tail[i]) != kScreensaverExtension[i])
            return false;
    }
    return true;
}

ScreensaverCommand ParseScreensaverCommand(const char* commandLine)
{
    ScreensaverCommand command;
    if (!commandLine)
        return command;
    const size_t length = std::strlen(commandLine);
    if (length <= static_cast<size_t>(kLetterPosition))
        return command;
    command.letter = LowerAscii(commandLine[kLetterPosition]);
    if (command.letter == ScreensaverPreview && length > static_cast<size_t>(kHandlePosition))
        command.parentWindow = ParseHandle(commandLine + kHandlePosition);
    return command;
}
