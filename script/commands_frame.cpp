// Frame commands: the actions that replace the tour or act on its frames.
#include "script/command_actions.h"

#include "viewer/main_wnd.h"

CommandResult SetScriptFileCommand(CMainWnd& engine, const CommandOperands& operands, float)
{
    engine.m_scriptFile = operands.Text(0);
    // The fonts and the pending command lists stay for the new tour.
    engine.ClearScene(false);
    engine.StartReaderThread(engine.m_scriptFile.GetText(), 0, nullptr);
    return CommandResult::Done;
}
