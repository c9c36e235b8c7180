#pragma once
// "Write Std datafile": the imported data set copied to a standard scan
// file, readable by every later run in the standard format.

#include <string>

#include "operations/operation.h"

namespace tarnivox {

struct StandardFileResult {
    bool written = false;
    std::string path;     // the file written; NAME.partial when unfinished
    std::string failure;  // the message that said why not
};

// Writes the scan file of the open data set to `path`; the notice of the
// copy ("Standard data file written successfully" or why not) goes to
// `messages`.
StandardFileResult write_standard_file(const std::string& path, Messages& messages);

}  // namespace tarnivox
