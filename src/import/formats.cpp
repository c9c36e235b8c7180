#include "import/formats.h"

#include <array>

namespace tarnivox {
namespace {

// A ".dat" file is taken for a CAD4 file unless the user says otherwise:
// both CAD4 and the old single-detector (Huber) files use that extension.
constexpr std::array<InputFormat, 7> kInputFormats{{
    {FORMAT_STANDARD, "standard", "Standard", "*.rfl", "Standard", 7, "RFL", false},
    {FORMAT_HUBER, "huber", "Old Single", "*.dat", "Old Single", 2, "", true},
    {FORMAT_XCALIBUR, "xcalibur", "Xcalibur Ascii", "*.dca", "Xcalibur", 1, "DCA", false},
    {FORMAT_XSCANS, "xscans", "Xscans", "*.p4t", "Xscans", 4, "P4T", false},
    {FORMAT_STOE, "stoe", "Stoe", "*.d00", "Stoe", 5, "D00", false},
    {FORMAT_FEBO, "febo", "Phillips Febo", "*.feb", "Phillips Febo", 6, "FEB", true},
    {FORMAT_CAD4, "cad4", "CAD4", "*.dat", "Enraf CAD4", 3, "DAT", false},
}};

}  // namespace

std::span<const InputFormat> input_formats() { return kInputFormats; }

const InputFormat* input_format(int code) {
    for (const InputFormat& f : kInputFormats)
        if (f.infmt == code) return &f;
    return nullptr;
}

const InputFormat* input_format_named(std::string_view name) {
    for (const InputFormat& f : kInputFormats)
        if (f.name == name) return &f;
    return nullptr;
}

}  // namespace tarnivox
