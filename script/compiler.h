#pragma once
// The command compiler: turns command text such as GoToFrame(hall);Show(_this_,door,1,grp)
// into the byte code of script/command_table.h, once, so that events run without parsing text.
#include "core/item_records.h"

class CTexto;

// Compiles text into target. Names marked as files in the command table are made absolute
// against base (ResolvePath, with fallback for names the running package lacks). When at least
// one record was produced, target's code is replaced by the new code; otherwise target stays
// exactly as it was. An unknown command name (or SetTimer), or a statement whose record would
// not fit the work buffer, ends compilation: what came before it is kept. Safe to run on
// several threads at once. False only when the work buffer could not be had.
bool CompileCommandText(CompiledCode* target, const char* text, const CTexto* base,
                        const CTexto* fallback);
