#pragma once
// The layouts of the intensity file, one row each in INTFMT order: the
// code the record writer switches on, the command line's name, the
// extension, the filter of the "Open Output Data File" dialog (the Rfine
// layouts share one), the entry of the "Output Format" box and the name
// the main window shows.  Every place that lists them takes them from here.

#include <span>
#include <string_view>

namespace tarnivox {

// INTFMT of each layout.
inline constexpr int INTFMT_RFINE = 1;
inline constexpr int INTFMT_RFINE_EXTENDED = 2;
inline constexpr int INTFMT_SHELX = 3;

struct OutputFormat {
    int intfmt;                  // the code INTFMT
    std::string_view name;       // the command line's name, "rfine-extended"
    std::string_view extension;  // "int", without the point
    std::string_view filter;     // file dialog filter label; empty: shares the one before
    std::string_view radio;      // entry of the "Output Format" box
    std::string_view shown;      // the main window's "Output format" field
};

// Every layout, in INTFMT order (the order of the "Output Format" box).
std::span<const OutputFormat> output_formats();

// The layout of an INTFMT code; nullptr when none.
const OutputFormat* output_format(int intfmt);

}  // namespace tarnivox
