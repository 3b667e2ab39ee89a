// Builders of expected compiled code for the script tests: records written out byte by byte,
// independently of the compiler, together with the operands a decoder must give back.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "script/command_table.h"

namespace script_test {

struct ExpectedOperand {
    OperandKind kind;
    int32_t integer;
    float real;
    std::string text;
};

struct ExpectedRecord {
    int opcode;
    std::vector<ExpectedOperand> operands;
};

class Code {
public:
    // Starts a record of the opcode.
    Code& R(int opcode) {
        Finish();
        m_start = m_bytes.size();
        Put(static_cast<uint32_t>(opcode), 2);
        Put(0, 2);
        m_records.push_back({opcode, {}});
        return *this;
    }
    // An ASCII text: u16 byte count, UTF-16LE characters and terminator.
    Code& T(const std::string& text) {
        Put(static_cast<uint32_t>(2 * text.size() + 2), 2);
        for (unsigned char c : text)
            Put(c, 2);
        Put(0, 2);
        m_records.back().operands.push_back({OperandKind::Text, 0, 0.0f, text});
        return *this;
    }
    Code& U8(int value) { return Int(value, 1, value & 0xFF); }
    Code& I16(int value) { return Int(value, 2, static_cast<int16_t>(value)); }
    Code& I32(int32_t value) { return Int(value, 4, value); }
    // The Show family's value slot: the byte, three zero bytes; read back signed.
    Code& V(int value) { return Int(value & 0xFF, 4, static_cast<int8_t>(value & 0xFF)); }
    Code& F(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        Put(bits, 4);
        m_records.back().operands.push_back({OperandKind::Float, 0, value, ""});
        return *this;
    }
    Code& Z() {
        Put(0, 2);
        return *this;
    }

    const std::vector<uint8_t>& Bytes() {
        Finish();
        return m_bytes;
    }
    const std::vector<ExpectedRecord>& Records() const { return m_records; }

private:
    Code& Int(uint32_t stored, int width, int32_t readBack) {
        Put(stored, width);
        m_records.back().operands.push_back({OperandKind::Integer, readBack, 0.0f, ""});
        return *this;
    }
    void Put(uint32_t value, int width) {
        for (int i = 0; i < width; i++)
            m_bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    void Finish() {
        if (m_start == SIZE_MAX)
            return;
        const size_t length = m_bytes.size() - m_start;
        m_bytes[m_start + 2] = static_cast<uint8_t>(length);
        m_bytes[m_start + 3] = static_cast<uint8_t>(length >> 8);
    }

    std::vector<uint8_t> m_bytes;
    std::vector<ExpectedRecord> m_records;
    size_t m_start = SIZE_MAX;
};

}  // namespace script_test
