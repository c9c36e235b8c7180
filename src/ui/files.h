#pragma once

#include <string>

namespace tarnivox {

// Choosing and opening the program's files on their fixed units.
void OPEN_IN();
void OPEN_OUT();
void OPEN_LOG();
void OPEN_PAR(int& status);  // 0 opened and read, 1 cancelled
void OPEN_EXP();
void OPEN_SCANDATA(int& status);
void OPEN_NEWSTD(int& status, int unit);

// A file name in the input file's folder (WORKDIR), where the program puts
// the files it names after the input file; an absolute name is kept.
std::string in_work_directory(const std::string& name);

}  // namespace tarnivox
