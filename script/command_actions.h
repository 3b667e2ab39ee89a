#pragma once
// The actions of the commands whose behaviour is built, by family; the command table
// (script/command_table.cpp) names them in its rows.
#include "script/command_table.h"

// --- Frame commands (script/commands_frame.cpp) ---
// SetScriptFile(file): the tour is replaced by the one the file holds, read on the reader thread.
CommandResult SetScriptFileCommand(CMainWnd& engine, const CommandOperands& operands, float speed);
