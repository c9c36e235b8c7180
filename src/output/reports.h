#pragma once
// The reports the user asks for from the File menu, written to a path the
// caller chose (the window asks for it in its file dialogs).  Each returns
// 0, or 1 when the file cannot be opened, and then writes nothing.

#include <string>

namespace tarnivox {

// A log on LU_LOG, opened for appending: its header (date, input and
// output file, title) and the classification of the imported reflections.
// The log stays open for the rest of the run.  (The header alone, onto a
// log already open: WRITE_LOG_HEADER in output/log_file.h.)
int CREATE_LOG(const std::string& path);

// The experiment file on LU_EXP, replaced: header, classification, fit
// summary, cell and UB when known, and the instrument block.
int CREATE_EXP(const std::string& path);
// The same onto the file already open on LU_EXP, which is then closed.
void WRITE_EXP_REPORT();

}  // namespace tarnivox
