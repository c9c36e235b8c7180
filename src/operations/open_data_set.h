#pragma once
// Opening a data set without a window: the data file in its format (with
// the automatic log beside it), the instrument parameter file, the import
// into the standard scan file, and the first reflection in the scan record.

#include <array>
#include <optional>
#include <string>

#include "import/formats.h"
#include "operations/operation.h"

namespace tarnivox {

struct OpenDataSetRequest {
    std::string data;        // the data file
    int format = FORMAT_STANDARD;
    std::string parameters;  // the instrument parameter file
    // The omega step width of a format whose files do not carry it (Huber,
    // Febo); none: the smallest the program takes, 0.001 degrees.
    std::optional<double> step;
    // Where the automatic log goes; empty: beside the data file, named after it.
    std::string log = std::string();
};

struct OpenDataSetResult {
    bool opened = false;   // the scan file holds the data set (even with no reflection)
    std::string failure;   // why not: the message that was reported
    int read = 0;          // reflections taken by the import
    int refused = 0;       // reflections the import left out
    std::string log;       // the automatic log; empty when it could not be written
    std::string title;     // TITLE of the header
    bool ub_known = false;
    std::array<double, 7> cell{};  // a, b, c, alpha, beta, gamma, volume
};

// The import's notices ("Data File read in successfully", "Error Reading
// at least 1 reflection in data file", ...) go to `messages`.
OpenDataSetResult open_data_set(const OpenDataSetRequest& request, Messages& messages);

// Opens a log chosen by path (appending), in place of the automatic one;
// false when it cannot be opened (the message says so).
bool open_log(const std::string& path, Messages& messages);

}  // namespace tarnivox
