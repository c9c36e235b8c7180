#include "output/formats.h"

#include <array>

namespace tarnivox {
namespace {

constexpr std::array<OutputFormat, 3> kOutputFormats{{
    {INTFMT_RFINE, "rfine", "int", "Rfine", "Rfine", "Rfine"},
    {INTFMT_RFINE_EXTENDED, "rfine-extended", "int", "", "Rfine extended", "Rfine"},
    {INTFMT_SHELX, "shelx", "hkl", "Shelx", "Shelx hkl", "Shelx"},
}};

}  // namespace

std::span<const OutputFormat> output_formats() { return kOutputFormats; }

const OutputFormat* output_format(int intfmt) {
    for (const OutputFormat& f : kOutputFormats)
        if (f.intfmt == intfmt) return &f;
    return nullptr;
}

}  // namespace tarnivox
