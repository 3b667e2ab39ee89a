// The command interpreter: walks compiled code record by record and hands each record to the
// action of its opcode, keeping frame-loop commands on the frame loop through m_pendingCode.
#include "script/interpreter.h"

#include <new>

#include "script/command_table.h"
#include "viewer/main_wnd.h"

namespace {

// The probe mode of this thread and the engine member that set it.
thread_local const ProbeMode* t_probeOwner = nullptr;
thread_local int32_t t_probeMode = 0;

uint16_t ReadU16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

}  // namespace

ProbeMode& ProbeMode::operator=(int32_t mode) {
    if (mode) {
        t_probeOwner = this;
        t_probeMode = mode;
    } else if (t_probeOwner == this) {
        t_probeOwner = nullptr;  // another engine's probe on this thread stays
        t_probeMode = 0;
    }
    return *this;
}

ProbeMode::operator int32_t() const {
    return t_probeOwner == this ? t_probeMode : 0;
}

int32_t CMainWnd::RunCompiledCode(CompiledCode* code, int32_t position, float speed,
                                  bool inFrameLoop) {
    int32_t result = -1;
    if (!code || code->type != ItemType::CompiledCode || !code->code)
        return result;

    const int32_t probe = m_skipCommands;
    const CommandTable& table = *m_commandTable;
    const int32_t length = code->length;
    CommandOperands operands;
    bool ended = false;
    bool deferred = false;

    while (position >= 0 && position < length && !ended && !deferred) {
        // A header or record that does not fit ends the walk as if the code ended here.
        if (length - position < kRecordHeaderSize) {
            position = length;
            break;
        }
        const uint8_t* record = code->code + position;
        const uint16_t opcode = ReadU16(record);
        const uint16_t recordLength = ReadU16(record + 2);
        if (recordLength < kRecordHeaderSize || recordLength > length - position) {
            position = length;
            break;
        }
        const CommandRow* row = opcode < kOpcodeCount ? &table.rows[opcode] : nullptr;
        CommandClass kind = row ? row->kind : CommandClass::None;
        if (kind == CommandClass::Screensaver)
            kind = m_fromPackage && !m_screensaver ? CommandClass::FrameLoop : CommandClass::None;
        if (kind == CommandClass::None || !row->action) {
            position += recordLength;
            continue;
        }
        operands.opcode = opcode;
        const uint8_t* operandBytes = record + kRecordHeaderSize;
        const int operandLength = recordLength - kRecordHeaderSize;

        if (probe) {
            if (row->flags & CommandEndsPass) {
                if (probe == 1) {
                    DecodeOperands(*row, operandBytes, operandLength, operands);
                    result = FindFrameIndex(opcode == OpcodeGoToFrame ? operands.Text(0) : "");
                }
                ended = true;
            } else if (row->flags & CommandActsInProbe) {
                DecodeOperands(*row, operandBytes, operandLength, operands);
                row->action(*this, operands, speed);
            }
            position += recordLength;
            continue;
        }

        if (kind == CommandClass::FrameLoop && !inFrameLoop) {
            deferred = true;
            break;
        }
        const bool waiting =
            ((row->flags & CommandWaitsCamera) && m_cameraTargets.load() != 0) ||
            ((row->flags & CommandWaitsReader) && m_readerThread.load() != nullptr) ||
            ((row->flags & CommandWaitsFrameReady) &&
             (!m_currentFrame->ready || m_transitionState.load() != 0));
        if (waiting) {
            deferred = true;
            break;
        }
        DecodeOperands(*row, operandBytes, operandLength, operands);
        if (row->action(*this, operands, speed) == CommandResult::Wait) {
            deferred = true;
            break;
        }
        if (row->flags & CommandEndsPass)
            ended = true;
        position += recordLength;
    }

    code->resume = position;
    // The rest goes to the frame loop: from a run outside it, and from a run inside it that is
    // not the pending list itself (a temporary would lose it), so nothing after it is lost.
    if (probe == 0 && position >= 0 && position < length &&
        (!inFrameLoop || code != m_pendingRunning.load()))
        AppendPendingCode(code->code + position, length - position, speed);
    return result;
}

void CMainWnd::AppendPendingCode(const uint8_t* bytes, int32_t length, float speed) {
    CompiledCode* item = new (std::nothrow) CompiledCode;
    if (!item)
        return;
    if (!item->AssignCode(bytes, length)) {
        delete item;
        return;
    }
    item->speed = speed;
    item->resume = 0;
    std::lock_guard<std::mutex> hold(m_pendingLock);
    m_pendingCode.InsertItem(-1, item);
}

void CMainWnd::RunPendingCode() {
    CompiledCode* head = nullptr;
    {
        std::lock_guard<std::mutex> hold(m_pendingLock);
        ItemRecord* first = m_pendingCode.GetHead()->GetRecord();
        if (!first)
            return;
        if (first->type != ItemType::CompiledCode) {
            m_pendingCode.RemoveItem(first);
            return;
        }
        head = static_cast<CompiledCode*>(first);
        m_pendingDropHead = false;
        m_pendingRunning.store(head);
    }

    // The head runs without the lock: its commands may hand over lists of their own.
    RunCompiledCode(head, head->resume, head->speed, true);

    std::lock_guard<std::mutex> hold(m_pendingLock);
    m_pendingRunning.store(nullptr);
    if (m_pendingDropHead || head->resume >= head->length || !head->code)
        m_pendingCode.RemoveItem(head);
    m_pendingDropHead = false;
}

void CMainWnd::ClearPendingCode() {
    std::lock_guard<std::mutex> hold(m_pendingLock);
    const CompiledCode* running = m_pendingRunning.load();
    for (;;) {
        ItemRecord* victim = nullptr;
        for (CObjeto* node = m_pendingCode.GetHead(); node && node->GetRecord();
             node = node->GetNext()) {
            if (node->GetRecord() != running) {
                victim = node->GetRecord();
                break;
            }
        }
        if (!victim)
            break;
        m_pendingCode.RemoveItem(victim);
    }
    if (running)
        m_pendingDropHead = true;
}

int32_t CMainWnd::GetPendingCodeCount() {
    std::lock_guard<std::mutex> hold(m_pendingLock);
    return m_pendingCode.GetCount();
}
