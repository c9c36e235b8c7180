#pragma once
#include <string>
#include <string_view>

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

// The log that choosing an input file opens: the input file's name cut
// before its first '.', then "_Tarnivox.log", in the input file's folder.
std::string automatic_log_path(std::string_view input_path);

// The intensity format (INTFMT) that "Open output file" takes from the
// chosen file and filter (1 Rfine, 2 Rfine extended, 3 Shelx, as in the
// filter list): ".int" unless the Shelx filter was chosen, ".hkl" unless
// the Rfine filter was.  0: neither, the user is asked in "Output Format".
int output_format_of(std::string_view path, int filter);

// A file name in the input file's folder (WORKDIR), where the program puts
// the files it names after the input file; an absolute name is kept.
std::string in_work_directory(const std::string& name);

}  // namespace tarnivox
