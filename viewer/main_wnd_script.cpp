// The interpreter's entry points for command text and for the script-defined context menu.
#include "viewer/main_wnd.h"

void CMainWnd::RunCommandText(const char* text, bool inFrameLoop) {
    CompiledCode temporary;
    CompileCommands(&temporary, text, nullptr);
    if (temporary.length > 0)
        RunCompiledCode(&temporary, 0, 1.0f, inFrameLoop);
}

void CMainWnd::RunContextMenuEntry(int32_t index) {
    if (index < 0 || index >= m_userMenu.entries.GetCount())
        return;
    ItemRecord* entry = m_userMenu.entries.GetItem(index);
    if (!entry || entry->type != ItemType::CompiledCode)
        return;
    // The entry runs from a copy: a ContextMenu command in it rebuilds the menu and so frees
    // the entry while the walk still reads it.
    const CompiledCode* source = static_cast<CompiledCode*>(entry);
    CompiledCode copy;
    if (source->code && copy.AssignCode(source->code, source->length))
        RunCompiledCode(&copy, 0, 1.0f, false);
}
