#pragma once
// The absorption correction of a batch reduction: its options, the crystal
// it is computed for, and the intensity file rewritten with I and sigma
// divided by each reflection's transmission.

#include <optional>
#include <string>
#include <vector>

#include "operations/reduce.h"
#include "refine/absorption.h"

namespace CLI {
class App;
}

namespace tarnivox {

// --absorption, --crystal, --mu, --radius as given (paths made absolute
// by the plan).
struct AbsorptionOptions {
    std::string method;  // none (or empty), numerical, sphere, empirical
    std::string crystal;
    std::optional<double> mu;      // mm^-1
    std::optional<double> radius;  // mm
    bool active() const { return !method.empty() && method != "none"; }
};

void add_absorption_options(CLI::App& reduce, AbsorptionOptions& options);

// Checks the options and reads the crystal file: empty when fine, else the
// usage error (a fault of the crystal file names its line).
std::string plan_absorption(const AbsorptionOptions& given, AbsorptionOptions& planned);

// The crystal of one data set, with the orientation and the cell it was
// built for.
struct AbsorptionModel {
    std::string method;  // numerical, sphere
    std::string crystal_file;
    CrystalDescription crystal;
    AbsorptionShape shape;
    double mu = 0.0;                 // mm^-1
    double density = 0.0;            // g cm^-3 from a formula; 0 without one
    std::vector<std::string> notes;  // faces that do not reach the crystal
};

// The model from the options, the orientation matrix, the cell and the
// wavelength of the data set in the store.  false with the reason in why.
bool prepare_absorption(const AbsorptionOptions& options, AbsorptionModel& model, std::string& why);

struct AbsorptionCorrection {
    bool done = false;
    std::string failure;
    std::string method;
    double mu = 0.0, density = 0.0;
    double t_min = 0.0, t_max = 0.0;
    int corrected = 0;
    std::vector<std::string> dropped;
    std::vector<CrystalFace> faces;
    double radius = 0.0;
};

// Divides I and sigma of every reflection of the intensity file by its
// transmission at its measured setting (omega less the refined omega zero
// point), and the intensities of the outcomes with them, so that what is
// analysed after is the corrected data.  The log gets a record.  The
// records are read from `source` and the corrected file written whole to
// `target` (empty: over `source`); on a failure `target` is left as it was.
AbsorptionCorrection correct_absorption(const std::string& source, const std::string& target, IntensityForm form,
                                        std::vector<ReflectionOutcome>& outcomes,
                                        const AbsorptionModel& model);

// The CIF items of a correction made.
std::vector<std::string> absorption_cif_lines(const AbsorptionCorrection& a);
// The text a user reads of it.
std::string absorption_notice(const AbsorptionCorrection& a, const std::string& path);

}  // namespace tarnivox
