// Free functions on zero-terminated 8-bit texts: code-page conversions, number and colour
// parsing for script values, and normalising paths and URLs before they are opened.
#pragma once

class CTexto;

// --- Code pages (0 = the system's ANSI code page) ---

// Converts srcBytes bytes (may include the terminator; -1 = up to and with the terminator).
// Answers the characters written, or 0 (destination unchanged) when destSize is 0 or less or
// the result does not fit.
int MultiByteToWideBuffer(unsigned codePage, wchar_t* dest, const char* src, int srcBytes, int destSize);
// The other direction; unmappable characters take the code page's default character.
int WideToMultiByte(unsigned codePage, char* dest, const wchar_t* src, int srcChars, int destSize);
// Whole text with its terminator, ANSI code page; answers the characters written, terminator
// included (0 when it does not fit).
int AnsiToWide(wchar_t* dest, const char* text, int destSize);
// As much of the text as fits, always terminated when destSize > 0; answers the bytes
// written, terminator included.
int WideToAnsi(char* dest, const wchar_t* text, int destSize);
// Low byte of every character; answers dest.
char* WideToNarrow(char* dest, const wchar_t* text);
// Characters before the terminator; a limit above 0 stops the count at limit - 1.
int WideLength(const wchar_t* text, int limit = 0);

// --- Texts ---

// At most size - 1 bytes and a terminator; answers dest.
char* CopyText(char* dest, const char* src, int size);
// Every byte equal to from (non-zero) becomes to; answers the number of replacements.
int ReplaceChar(char* text, char from, char to);
// A-Z become a-z among the first n bytes (stops at the terminator).
void ToLowerN(char* text, int n);

// --- Numbers and colours ---

// "#RRGGBB" and "0x.." are hexadecimal, text starting with a digit, + or - is decimal,
// otherwise a colour name (any case) gives 0xRRGGBB; anything else is 0.
int ParseNumberOrColor(const char* text);
// Skips one '#' or a leading "0x"; every further byte counts as a hex digit, unchecked.
int HexToInt(const char* text);
int ParseNumber(const char* text);
int ParseNumber(const CTexto& text);
int ParseHex(const char* text);
// Decimal number with '.' as the decimal point whatever the user's locale.
float ParseFloat(const char* text);

// --- Paths and URLs ---

// Copies src resolving "/./" and "/../" (and the backslash forms) without ever backing up
// past a URL's host or a drive or UNC root; with escapeSpaces blanks become "%20" until a
// '#' or '?'. With dest null answers the bytes needed including the terminator (an upper
// bound); otherwise the bytes written before the terminator, or size when the output was cut.
// dest and src must not overlap.
int NormalizeUrl(char* dest, const char* src, int size, bool escapeSpaces);
// Decodes %XX escapes in place ("Mk:@MSITStore:" and "Ms-its:" help locations become the
// help file's path without extension). With folderOnly the text is cut to its folder, ending
// in its separator (empty when it has none). Answers the decoded length before the cut.
int UrlToPath(char* buffer, bool folderOnly);
