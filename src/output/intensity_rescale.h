#pragma once
// Rescaling a finished intensity file: every reflection's intensity and esd
// multiplied by a factor of its measurement order (the correction for the
// decay of the crystal, known only once the whole run is measured).  The
// records keep their layouts; only the two numbers change, each written
// with the decimals the writer would choose for it.  The new file is
// written whole beside the old one and renamed over it, so that an
// interruption leaves either the old file or the new one.

#include <array>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace tarnivox {

// One reflection the run wrote, in the order it was written: its sequence
// number (NREF), indices and the corrected intensity it was written with.
// A SHELX record carries no sequence number; the records are matched to
// this list in order by indices and intensity.
struct WrittenReflection {
    int sequence = 0;
    std::array<int, 3> hkl{};
    double intensity = 0.0;
};

struct RescaleResult {
    int status = 0;       // 0 rewritten; 1 the file could not be read or a record not matched; 2 not written
    std::string failure;  // why not (status 1, 2)
    int rescaled = 0;     // reflections rescaled
    // Reflections whose rescaled values no longer fit their fields: left
    // out, as the writer leaves such a reflection out, each named here.
    std::vector<std::string> dropped;
    // Every rescaled reflection's sequence number and its new intensity
    // before the field's rounding: what a later rescaling of the same file
    // matches its records against.
    std::vector<std::pair<int, double>> rescaled_intensities;
    double factor_min = std::numeric_limits<double>::quiet_NaN();
    double factor_max = std::numeric_limits<double>::quiet_NaN();
};

// Multiplies I and sigma of every reflection in the intensity file `path`
// of the form `intfmt` (1 Rfine, 2 Rfine extended, 3 SHELX) by
// factor(sequence).  A SHELX esd written as the mark of an unusable
// reflection stays that mark.  The Rfine extended lines (the profile
// parameters as fitted) are kept as they are.  Nothing is changed unless
// every record is read and placed.  The rescaled file goes to `target`
// (empty: over `path` itself), replacing it whole; a run that wrote no
// record has no file at `path` and gives an empty one.
RescaleResult rescale_intensity_file(const std::string& path, int intfmt, const std::vector<WrittenReflection>& written,
                                     const std::function<double(int sequence)>& factor,
                                     const std::string& target = std::string());

}  // namespace tarnivox
