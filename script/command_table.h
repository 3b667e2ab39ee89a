#pragma once
// The command table: one row per opcode of the compiled-code format. A row names the command,
// says where it may act (at once, or only inside the frame loop), what it waits for and how its
// operands are laid out in a record. The layout is the one description both directions use: the
// compiler writes operands in its order and the interpreter's decoder reads them back by it, so
// each decoder is the exact inverse of the compiler.
//
// Byte format of compiled code: records one after the other, all numbers little-endian:
//   u16 opcode, u16 record length (the 4 header bytes included), operands in layout order.
// Operand kinds, as layout characters:
//   'T' text: u16 n = 2 x (bytes of the 8-bit text) + 2, then n bytes of UTF-16LE text with
//       its terminator (a shorter conversion leaves the rest zero)
//   'b' U8, 'h' I16, 'i' I32: the low 8, 16 or 32 bits of an integer
//   'f' F32: IEEE single
//   'v' the Show family's value slot: 4 bytes whose first holds the value as a signed byte
//   'z' two bytes of 0
//   '*' the rest of the layout repeats as many times as the last 'i' read says
#include <cstdint>
#include <vector>

#include "core/text_string.h"

class CMainWnd;

// Opcodes that the compiler and interpreter single out.
enum Opcode : uint16_t {
    OpcodeGoToFrame = 6,
    OpcodeShow = 7,
    OpcodeShowGroup = 68,
    OpcodeFadeGroup = 80,
    OpcodeLast = 116,
};
constexpr int kOpcodeCount = OpcodeLast + 1;

// Size of the compiler's work buffer, and the output length past which it starts no statement.
constexpr int kCompileBufferSize = 40000;
constexpr int kCompileStopLength = 39000;
// Bytes of the record header (opcode and length).
constexpr int kRecordHeaderSize = 4;
// StartDrag's limits when the statement gives none.
constexpr int32_t kDragMinDefault = -10000000;
constexpr int32_t kDragMaxDefault = 10000000;

// Where a command may act.
enum class CommandClass : uint8_t {
    None,         // no command has this opcode: the record is stepped over
    Immediate,    // acts wherever the interpreter runs
    FrameLoop,    // acts only inside the frame loop; elsewhere the rest of the list is handed over
    Screensaver,  // InstallScreensaver: a frame-loop command in a packaged player that is no
                  // screensaver, otherwise stepped over
};

enum CommandFlag : uint8_t {
    CommandEndsPass = 0x01,        // GoToFrame, NextFrame, PrevFrame: the pass ends after it
    CommandWaitsCamera = 0x02,     // waits while an animated camera move is pending
    CommandWaitsReader = 0x04,     // waits while the reader thread reads a script
    CommandWaitsFrameReady = 0x08, // waits while the current frame is not ready or in transition
    CommandActsInProbe = 0x10,     // acts even in probe mode (Transition)
};

enum class OperandKind : uint8_t { Text, Integer, Float };

// One decoded operand: a text (converted back from UTF-16 to the ANSI code page), an integer
// (U8 reads 0..255, I16 and V sign-extended, I32 as stored) or a float. Z operands are not listed.
struct Operand {
    OperandKind kind = OperandKind::Integer;
    int32_t integer = 0;
    float real = 0.0f;
    CTexto text;
};

// The operands of one record as its action sees them. Reused from record to record, so that a
// walk allocates only while its texts grow.
struct CommandOperands {
    uint16_t opcode = 0;
    const uint8_t* raw = nullptr;  // the record's operand bytes (after the header)
    int rawLength = 0;
    int count = 0;                 // operands decoded into items
    std::vector<Operand> items;
    std::vector<wchar_t> wide;     // aligned copy of a text operand while it is converted

    // Operand by position in the record (Z operands not counted); missing ones read as empty.
    const char* Text(int index) const;
    int32_t Integer(int index) const;
    float Real(int index) const;
};

// What an action answers: it acted (or did nothing), or the list must wait at this record.
enum class CommandResult : uint8_t { Done, Wait };

// An action gets the decoded operands and the run's speed factor.
using CommandAction = CommandResult (*)(CMainWnd& engine, const CommandOperands& operands,
                                        float speed);

struct CommandRow {
    const char* name;       // null for opcodes that no statement compiles to
    CommandClass kind;
    uint8_t flags;          // CommandFlag bits
    const char* layout;     // operand layout (see above); null: the operands are raw bytes
    CommandAction action;
};

// The rows indexed by opcode (kOpcodeCount of them; opcodes of no command have kind None).
struct CommandTable {
    CommandRow rows[kOpcodeCount];
};

// The table the engine runs with: every action of a command whose behaviour is not built yet is
// the interim that does nothing.
const CommandTable& BuiltInCommandTable();

// Opcode of the command whose name is exactly the first length bytes of name (case-sensitive);
// 0 when none. Binary search over the names.
int FindCommandOpcode(const char* name, int length);

// Reads the operands of one record by the row's layout through a cursor bounded by the record:
// operands past its end read as empty texts and zeros, a text whose length reaches past the end
// reads as empty. Repeated groups stop where the record ends.
void DecodeOperands(const CommandRow& row, const uint8_t* operandBytes, int length,
                    CommandOperands& out);

// The number of operands (Z excluded) a layout gives for one pass over its fixed part.
int CountLayoutOperands(const char* layout);
