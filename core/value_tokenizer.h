#pragma once
// Readers of the value lists in scripts, parameter texts, command texts and menu definitions:
// fields separated by commas or another byte, optionally quoted, with parenthesised sub-lists,
// per-cent marks and signed offsets. Their rules decide what script syntax is accepted.
//
// Position convention: a reader starts with position -1 and passes each result back as the next
// position; every call reads from position + 1, so the separator at the returned position is
// skipped.
#include <cstdint>

class CTexto;

// ReadNextField separator values besides an ordinary separator byte.
constexpr char kFieldSeparatorComma = 0;    // only commas separate
constexpr char kFieldSeparatorNoComma = 1;  // commas do not separate

// Cuts the next field of text into out and answers the index at which it ended (the separator,
// or the text length). Blanks and line feeds outside quotes are dropped unless keepSpaces; with
// escapes, \n and \t become a line feed and a tab.
int ReadNextField(const char* text, int position, CTexto& out, bool keepSpaces = false,
                  char separator = kFieldSeparatorComma, bool escapes = false);
// The same over the first length bytes of text, for readers that walk one long text field by
// field and know its length (the text need not be terminated at length).
int ReadNextField(const char* text, int length, int position, CTexto& out, bool keepSpaces,
                  char separator, bool escapes);

// 1 + the separator bytes outside double quotes and parentheses (the empty text has 1 field).
int CountFields(const char* text, char separator);

// Reads count numeric fields from position on into floats (when given) or else integers (when
// given). A field such as "50%+10" gives 50, sets flagBit in *flags (cleared when there is no
// per-cent sign) and stores the offset 10 in *suffix; flags and suffix serve callers that read
// one field. Answers the position after the last field read.
// Turns one field already cut out by ReadNextField into its value as ParseValueList does (the
// offset and per-cent suffixes are removed from field); value when given, else integer.
void ParseValueField(CTexto& field, float* value, int32_t* integer, uint32_t* flags = nullptr,
                     uint32_t flagBit = 0, float* suffix = nullptr);

int ParseValueList(const char* text, int position, float* floats, int32_t* integers, int count,
                   char separator, uint32_t* flags = nullptr, uint32_t flagBit = 0,
                   float* suffix = nullptr);
