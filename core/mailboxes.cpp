#include "core/mailboxes.h"

#include <atomic>
#include <climits>
#include <mutex>

#include "core/language.h"
#include "core/text_string.h"

namespace {

struct Mailboxes {
    std::mutex lock;
    CTexto message;
    bool messageWaiting = false;
    CTexto eventName;
    CTexto eventValue;
    bool eventWaiting = false;
};

Mailboxes& Slots() {
    static Mailboxes slots;
    return slots;
}

std::atomic<bool> g_userMessages{true};
std::atomic<int> g_errorEventMode{0};

}  // namespace

int SetPendingMessage(const char* text) {
    // Built outside the lock: copying a long text should not hold up the reader.
    CTexto copy(text);
    Mailboxes& slots = Slots();
    std::lock_guard<std::mutex> hold(slots.lock);
    slots.message = copy;
    slots.messageWaiting = true;
    return 1;
}

void SetPendingEvent(const char* name, const char* value) {
    CTexto nameCopy(name);
    CTexto valueCopy(value);
    Mailboxes& slots = Slots();
    std::lock_guard<std::mutex> hold(slots.lock);
    slots.eventName = nameCopy;
    slots.eventValue = valueCopy;
    slots.eventWaiting = true;
}

void ReportLocalizedError(int lineIndex, const char* detail) {
    if (!AreUserMessagesEnabled() || lineIndex < 0 || lineIndex == INT_MAX)
        return;
    CTexto text(GetLanguageLine(lineIndex + 1));
    text += "\n";
    text += detail;
    SetPendingMessage(text.GetText());
}

bool TakePendingMessage(CTexto* text) {
    Mailboxes& slots = Slots();
    std::lock_guard<std::mutex> hold(slots.lock);
    if (!slots.messageWaiting)
        return false;
    if (text)
        *text = slots.message;
    slots.messageWaiting = false;
    return true;
}

bool TakePendingEvent(CTexto* name, CTexto* value) {
    Mailboxes& slots = Slots();
    std::lock_guard<std::mutex> hold(slots.lock);
    if (!slots.eventWaiting)
        return false;
    if (name)
        *name = slots.eventName;
    if (value)
        *value = slots.eventValue;
    slots.eventWaiting = false;
    return true;
}

bool HasPendingMessage() {
    Mailboxes& slots = Slots();
    std::lock_guard<std::mutex> hold(slots.lock);
    return slots.messageWaiting;
}

bool HasPendingEvent() {
    Mailboxes& slots = Slots();
    std::lock_guard<std::mutex> hold(slots.lock);
    return slots.eventWaiting;
}

void SetUserMessagesEnabled(bool enabled) {
    g_userMessages.store(enabled);
}

bool AreUserMessagesEnabled() {
    return g_userMessages.load();
}

void SetErrorEventMode(int mode) {
    g_errorEventMode.store(mode);
}

int GetErrorEventMode() {
    return g_errorEventMode.load();
}
