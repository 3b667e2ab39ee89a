#include "script/key_names.h"

#include <windows.h>

#include <cstring>

#include "core/text_string.h"
#include "core/value_tokenizer.h"

namespace {

// Searched in this order; the first equal name wins (KANA and HANGUL, HANJA and KANJI share
// codes). Codes below ScriptKeyLeftButton are Windows virtual-key codes.
const KeyName kKeyNames[kKeyNameCount] = {
    {"NUMPAD0", VK_NUMPAD0}, {"NUMPAD1", VK_NUMPAD1}, {"NUMPAD2", VK_NUMPAD2},
    {"NUMPAD3", VK_NUMPAD3}, {"NUMPAD4", VK_NUMPAD4}, {"NUMPAD5", VK_NUMPAD5},
    {"NUMPAD6", VK_NUMPAD6}, {"NUMPAD7", VK_NUMPAD7}, {"NUMPAD8", VK_NUMPAD8},
    {"NUMPAD9", VK_NUMPAD9}, {"MULTIPLY", VK_MULTIPLY}, {"ADD", VK_ADD},
    {"SEPARATOR", VK_SEPARATOR}, {"SUBTRACT", VK_SUBTRACT}, {"DECIMAL", VK_DECIMAL},
    {"DIVIDE", VK_DIVIDE},
    {"F1", VK_F1}, {"F2", VK_F2}, {"F3", VK_F3}, {"F4", VK_F4}, {"F5", VK_F5}, {"F6", VK_F6},
    {"F7", VK_F7}, {"F8", VK_F8}, {"F9", VK_F9}, {"F10", VK_F10}, {"F11", VK_F11},
    {"F12", VK_F12}, {"F13", VK_F13}, {"F14", VK_F14}, {"F15", VK_F15}, {"F16", VK_F16},
    {"F17", VK_F17}, {"F18", VK_F18}, {"F19", VK_F19}, {"F20", VK_F20}, {"F21", VK_F21},
    {"F22", VK_F22}, {"F23", VK_F23}, {"F24", VK_F24},
    {"NUMLOCK", VK_NUMLOCK}, {"SCROLL", VK_SCROLL}, {"LSHIFT", VK_LSHIFT},
    {"RSHIFT", VK_RSHIFT}, {"LCONTROL", VK_LCONTROL}, {"RCONTROL", VK_RCONTROL},
    {"LALT", VK_LMENU}, {"RALT", VK_RMENU}, {"LWIN", VK_LWIN}, {"RWIN", VK_RWIN},
    {"APPS", VK_APPS}, {"BACK", VK_BACK}, {"TAB", VK_TAB}, {"CLEAR", VK_CLEAR},
    {"RETURN", VK_RETURN}, {"SHIFT", VK_SHIFT}, {"CONTROL", VK_CONTROL}, {"MENU", VK_MENU},
    {"PAUSE", VK_PAUSE}, {"CAPITAL", VK_CAPITAL}, {"KANA", VK_KANA}, {"HANGUL", VK_HANGUL},
    {"JUNJA", VK_JUNJA}, {"FINAL", VK_FINAL}, {"HANJA", VK_HANJA}, {"KANJI", VK_KANJI},
    {"ESCAPE", VK_ESCAPE}, {"CONVERT", VK_CONVERT}, {"NONCONVERT", VK_NONCONVERT},
    {"ACCEPT", VK_ACCEPT}, {"MODECHANGE", VK_MODECHANGE}, {"SPACE", VK_SPACE},
    {"PRIOR", VK_PRIOR}, {"NEXT", VK_NEXT}, {"END", VK_END}, {"HOME", VK_HOME},
    {"LEFT", VK_LEFT}, {"UP", VK_UP}, {"RIGHT", VK_RIGHT}, {"DOWN", VK_DOWN},
    {"SELECT", VK_SELECT}, {"PRINT", VK_PRINT}, {"EXECUTE", VK_EXECUTE},
    {"SNAPSHOT", VK_SNAPSHOT}, {"INSERT", VK_INSERT}, {"DELETE", VK_DELETE}, {"HELP", VK_HELP},
    {"LBUTTON", ScriptKeyLeftButton}, {"MBUTTON", ScriptKeyMiddleButton},
    {"RBUTTON", ScriptKeyRightButton}, {"BROWSER_BACKWARD", ScriptKeyBrowserBack},
    {"BROWSER_FORWARD", ScriptKeyBrowserForward},
};

}  // namespace

const KeyName* KeyNameTable()
{
    return kKeyNames;
}

int ParseKeyName(const char* statement, int position, int16_t* out)
{
    *out = 0;
    CTexto field;
    int next = ReadNextField(statement, position, field);
    if (field.GetLength() == 1) {
        char c = field.GetAt(0);
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        *out = static_cast<int16_t>(static_cast<signed char>(c));
    } else if (field.GetLength() > 1) {
        for (const KeyName& key : kKeyNames) {
            if (_stricmp(field.GetText(), key.name) == 0) {
                *out = key.code;
                break;
            }
        }
    }
    return next;
}
