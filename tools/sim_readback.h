#pragma once
// Intensity-file records read back by a real fixed-column reader (the
// Fortran program built with the tests): every value it reads must be the
// value meant, within the rounding of the text its field holds.

#include <string>
#include <vector>

namespace tarnivox::sim {

enum class RecordForm { Shelx, Rfine };

// One record as written, and its real values in column order (SHELX: I and
// sigma; Rfine: 2theta, omega, chi, phi, I, sigma, identifier).
struct FixedRecord {
    std::string text;
    std::vector<double> meant;
};

struct Readback {
    long records = 0;       // written
    long read = 0;          // read back by the reader
    long off = 0;           // values read as another value, or records moved
    double worst = 0.0;     // largest error, in halves of the field's last written digit
    std::string first_off;  // the first record read wrong, with what was read
};

// Writes the records to `path`, has `reader` read them back in the given
// form and compares every value.
Readback read_back(const std::string& reader, RecordForm form, const std::vector<FixedRecord>& records,
                   const std::string& path);

}  // namespace tarnivox::sim
