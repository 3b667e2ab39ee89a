// Looping sounds and video graph events: the multimedia notifications the dispatcher receives.
#include "viewer/main_wnd.h"

#include <cstring>

#include "core/mailboxes.h"
#include "core/object_item.h"

namespace {

constexpr UINT kMciAnswerSize = 128;

MCIERROR SystemMciSend(const char* command, char* answer, UINT answerSize, HWND notify)
{
    return mciSendStringA(command, answer, answerSize, notify);
}

}  // namespace

void CMainWnd::RestartLoopingSounds()
{
    auto send = m_mciSend ? m_mciSend : SystemMciSend;
    for (CObjeto* node = m_sounds.GetHead(); node; node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        // Sound records are object records of type 19.
        if (!record || record->type != ItemType::NodeHotspot3D)
            continue;
        if (!static_cast<ObjectItem*>(record)->kindFlag)
            continue;
        const char* name = record->name.GetText();
        char length[kMciAnswerSize] = {};
        char position[kMciAnswerSize] = {};
        CTexto command;
        command.Format("status %s length", name);
        send(command.GetText(), length, kMciAnswerSize, nullptr);
        command.Format("status %s position", name);
        if (send(command.GetText(), position, kMciAnswerSize, nullptr) != 0)
            continue;
        if (std::strcmp(length, position) != 0)
            continue;
        command.Format("seek %s to start", name);
        send(command.GetText(), nullptr, 0, nullptr);
        command.Format("play %s notify", name);
        MCIERROR error = send(command.GetText(), nullptr, 0, m_hostWnd);
        if (error != 0) {
            char reason[kMciAnswerSize] = {};
            mciGetErrorStringA(error, reason, kMciAnswerSize);
            CTexto message;
            message.Format("PlaySound ERROR: %s", reason);
            SetPendingMessage(message.GetText());
        }
    }
}

void CMainWnd::DrainVideoEvents(CSprite*)
{
    // Not built yet: does nothing (video sources have no graph events to drain yet).
}
