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


// The intensity format (INTFMT) that "Open output file" takes from the
// chosen file and filter (1 Rfine, 2 Rfine extended, 3 Shelx, as in the
// filter list): ".int" unless the Shelx filter was chosen, ".hkl" unless
// the Rfine filter was.  0: neither, the user is asked in "Output Format".
int output_format_of(std::string_view path, int filter);

// A file name in the input file's folder (WORKDIR), where the program puts
// the files it names after the input file; an absolute name is kept.
std::string in_work_directory(const std::string& name);

}  // namespace tarnivox
