#pragma once
#include <string>
#include <string_view>

#include "io/file_records.h"

namespace tarnivox {

// Choosing and opening the program's files on their fixed units.
void OPEN_IN();
void OPEN_OUT();
void OPEN_LOG();
void OPEN_PAR(int& status);  // 0 opened and read, 1 cancelled
void OPEN_EXP();
void OPEN_SCANDATA(int& status);
void OPEN_NEWSTD(int& status, int unit);

// Leaves no data set open after an import that failed: the input file and
// the scan file are closed (a scratch copy is deleted) and the window no
// longer names the file, so no command works on part of a data set.
void forget_input_file();

// The commands that write a file the user chooses here: the log with its
// header ("Open log file"), the experiment file, the current scan's
// profile ("Export") and the data set as a standard data file.  A
// cancelled choice writes nothing.
void CREATE_LOG();
void CREATE_EXP();
void EXPORT_SCAN();
void CONVERT_TO_STD();

// The intensity format (INTFMT) that "Open output file" takes from the
// chosen file and filter (1 Rfine, 2 Rfine extended, 3 Shelx, as in the
// filter list): ".int" unless the Shelx filter was chosen, ".hkl" unless
// the Rfine filter was.  0: neither, the user is asked in "Output Format".
int output_format_of(std::string_view path, int filter);

}  // namespace tarnivox
