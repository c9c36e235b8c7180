#include "output/intensity_rescale.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string_view>

#include "core/store.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/formats.h"
#include "output/intensity_file.h"

namespace tarnivox {
namespace {

// The leading fields of the records as the writer lays them out (the
// decimals of I and sigma vary from record to record; a field read with
// its point keeps them):
//   SHELX: 3I4,1X,F7.d1,1X,F7.d2,'   1'[,6F8.5]
//   Rfine: 3I3,2F8.4,2F8.3,1X,F11.d1,1X,F7.d2,F7.0,2X,6A1,I3
constexpr std::string_view SHELX_READ = "(3I4,1X,F7.0,1X,F7.0)";
constexpr std::string_view RFINE_READ = "(3I3,2F8.4,2F8.3,1X,F11.0,1X,F7.0,F7.0)";

// Columns (from 0) and widths of I and sigma, and of the Rfine identifier.
struct Columns {
    std::size_t i_at, i_width, sigma_at;
};
constexpr Columns SHELX_COLUMNS{13, 7, 21};
constexpr Columns RFINE_COLUMNS{42, 11, 54};
constexpr std::size_t ESD_WIDTH = 7;

// The lines that follow an Rfine extended record: the profile as fitted,
// before any correction.
bool extended_line(const std::string& line) {
    return line.rfind("FACTORS", 0) == 0 || line.rfind("PARAMETERS", 0) == 0 || line.rfind("SIGMAS", 0) == 0;
}

int decimals_of(std::string_view field) {
    const std::size_t point = field.find('.');
    if (point == std::string_view::npos) return 0;
    const std::size_t last = field.find_last_not_of(' ');
    return last > point ? static_cast<int>(last - point) : 0;
}

// The position in `written` of the reflection a SHELX record holds: the
// next one with the same indices and the intensity the record reads to
// its last decimal.  Reflections the writer refused have no record and
// are passed over.  written.size() when none.
std::size_t match(const std::vector<WrittenReflection>& written, std::size_t from, const Arr1<int, 3>& hkl,
                  double intensity, int decimals) {
    const double tolerance = 0.51 * std::pow(10.0, -decimals);
    for (std::size_t j = from; j < written.size(); ++j) {
        const WrittenReflection& w = written[j];
        if (w.hkl[0] == hkl(1) && w.hkl[1] == hkl(2) && w.hkl[2] == hkl(3) &&
            std::fabs(w.intensity - intensity) <= tolerance)
            return j;
    }
    return written.size();
}

}  // namespace

RescaleResult rescale_intensity_file(const std::string& path, int intfmt, const std::vector<WrittenReflection>& written,
                                     const std::function<double(int sequence)>& factor, const std::string& target) {
    RescaleResult r;
    const bool shelx = intfmt == INTFMT_SHELX;
    const Columns& col = shelx ? SHELX_COLUMNS : RFINE_COLUMNS;
    const std::string& to = target.empty() ? path : target;
    std::error_code ec;
    const bool nothing_written = !target.empty() && !std::filesystem::exists(std::filesystem::symlink_status(path, ec));
    if (nothing_written) {
        if (write_whole_file(to, "") != 0) {
            r.status = 2;
            r.failure = "cannot write " + to + ": " + open_failure_reason();
        }
        return r;
    }
    if (open_unit(LU_OUTPUT, path, OpenMode::Read) != 0) {
        r.status = 1;
        r.failure = "cannot read " + path + ": " + open_failure_reason();
        return r;
    }
    std::vector<std::string> lines;
    std::string line;
    int status = READ_OK;
    while ((status = read_line(LU_OUTPUT, line)) == READ_OK) lines.push_back(line);
    close_unit(LU_OUTPUT);
    if (status != READ_EOF) {
        r.status = 1;
        r.failure = "cannot read " + path;
        return r;
    }

    std::string text;
    std::size_t next = 0;    // SHELX: where the search for the next record's reflection starts
    bool keep_extra = true;  // Rfine extended: the lines of the record before are kept
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string& rec = lines[n];
        const std::string where = path + ", line " + std::to_string(n + 1);
        if (!shelx && extended_line(rec)) {
            if (keep_extra) text += rec + '\n';
            continue;
        }
        Arr1<int, 3> hkl;
        double angles[4] = {};
        double fi = 0.0, fsig = 0.0, id = 0.0;
        const int read = shelx ? read_fixed(rec, SHELX_READ, {hkl, &fi, &fsig})
                               : read_fixed(rec, RFINE_READ, {hkl, &angles[0], &angles[1], &angles[2], &angles[3],
                                                              &fi, &fsig, &id});
        if (read != READ_OK || rec.size() < col.sigma_at + ESD_WIDTH) {
            r.status = 1;
            r.failure = "not an intensity record: " + where;
            return r;
        }
        int sequence = 0;
        if (shelx) {
            const std::size_t j =
                match(written, next, hkl, fi, decimals_of(std::string_view(rec).substr(col.i_at, col.i_width)));
            if (j == written.size()) {
                r.status = 1;
                r.failure = "the record does not belong to the run: " + where;
                return r;
            }
            sequence = written[j].sequence;
            next = j + 1;
        } else {
            // The identifier is NREF * 10 + the standard's number.
            sequence = static_cast<int>(std::floor(id / 10.0 + 1e-9));
        }
        const double f = factor(sequence);
        if (!(f > 0.0) || !std::isfinite(f)) {
            r.status = 1;
            r.failure = "no correction factor for reflection " + std::to_string(sequence);
            return r;
        }
        double new_i = fi * f;
        // The SHELX mark of an unusable esd is kept as it stands.
        const bool marked = shelx && fsig == SHELX_NO_ESD;
        double new_sigma = marked ? SHELX_NO_ESD : fsig * f;
        int d1 = 0, d2 = 0;
        if (record_decimals(shelx, new_i, new_sigma, d1, d2) != RecordFit::Fits) {
            r.dropped.push_back(overflow_text(sequence));
            keep_extra = false;
            continue;
        }
        if (marked) d2 = 0;
        std::string out = rec.substr(0, col.i_at);
        append_fixed(out, new_i, static_cast<int>(col.i_width), d1);
        out += rec.substr(col.i_at + col.i_width, col.sigma_at - col.i_at - col.i_width);
        append_fixed(out, new_sigma, static_cast<int>(ESD_WIDTH), d2);
        out += rec.substr(col.sigma_at + ESD_WIDTH);
        text += out + '\n';
        keep_extra = true;
        ++r.rescaled;
        r.rescaled_intensities.emplace_back(sequence, new_i);
        r.factor_min = r.rescaled == 1 ? f : std::min(r.factor_min, f);
        r.factor_max = r.rescaled == 1 ? f : std::max(r.factor_max, f);
    }
    if (write_whole_file(to, text) != 0) {
        r.status = 2;
        r.failure = "cannot write " + to + ": " + open_failure_reason();
    }
    return r;
}

}  // namespace tarnivox
