#pragma once
// The input data formats, one row each in INFMT order: the code the import
// dispatches on, the name on the command line, the filter of the "Open
// Input Data File" dialog, the entry of the "Input Data file Format" box,
// and whether the file lacks the omega step width (which then has to be
// given).  Every place that lists the formats takes them from here.

#include <span>
#include <string_view>

namespace tarnivox {

// INFMT of each format.
inline constexpr int FORMAT_STANDARD = 1;
inline constexpr int FORMAT_HUBER = 2;  // "Old Single"
inline constexpr int FORMAT_XCALIBUR = 3;
inline constexpr int FORMAT_XSCANS = 4;
inline constexpr int FORMAT_STOE = 5;
inline constexpr int FORMAT_FEBO = 6;
inline constexpr int FORMAT_CAD4 = 7;

struct InputFormat {
    int infmt;                   // the code INFMT
    std::string_view name;       // the command line's name, "cad4"
    std::string_view filter;     // file dialog filter label, "CAD4"
    std::string_view pattern;    // file dialog filter pattern, "*.dat"
    std::string_view radio;      // entry of the format box, "Enraf CAD4"
    int radio_position;          // its place in the box, from the top (1..7)
    std::string_view preselect;  // the file name's extension that preselects it, "DAT"; empty: none
    bool asks_step;              // the files do not carry the omega step width
};

// Every format, in INFMT order (the file dialog's filter order).
std::span<const InputFormat> input_formats();

// The format of an INFMT code, or of a command-line name; nullptr when none.
const InputFormat* input_format(int code);
const InputFormat* input_format_named(std::string_view name);

}  // namespace tarnivox
