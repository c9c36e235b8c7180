#include "sim_readback.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tarnivox::sim {
namespace {

struct Field {
    std::size_t at, width;
};

// The columns of the real fields of a record (0-based start, width).
std::vector<Field> fields_of(RecordForm form) {
    if (form == RecordForm::Shelx) return {{12, 7}, {20, 7}};
    return {{9, 8}, {17, 8}, {25, 8}, {33, 8}, {42, 11}, {54, 7}, {61, 7}};
}

// Half a unit of the last digit a field's text holds: a value with an
// exponent to its mantissa's last decimal, one with a point to its last
// decimal, a whole number without its point (a field of no decimals) to 1.
double half_unit(const std::string& text) {
    const std::size_t point = text.find('.');
    const std::size_t e = text.find_first_of("Ee");
    if (e != std::string::npos) {
        const int k = point == std::string::npos ? 0 : static_cast<int>(e - point - 1);
        return 0.5 * std::pow(10.0, std::atoi(text.c_str() + e + 1) - k);
    }
    if (point == std::string::npos) return 0.5;
    const std::size_t last = text.find_last_of("0123456789");
    return 0.5 * std::pow(10.0, -static_cast<double>(last > point ? last - point : 0));
}

}  // namespace

Readback read_back(const std::string& reader, RecordForm form, const std::vector<FixedRecord>& records,
                   const std::string& path) {
    Readback r;
    {
        std::ofstream out(path);
        for (const FixedRecord& rec : records) out << rec.text << '\n';
    }
    r.records = static_cast<long>(records.size());
    const std::string command =
        "'" + reader + "' " + (form == RecordForm::Shelx ? "shelx" : "rfine") + " '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    const std::vector<Field> fields = fields_of(form);
    char buf[1024];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr) {
        const std::size_t n = static_cast<std::size_t>(r.read);
        if (n >= records.size()) {
            ++r.off;
            continue;
        }
        ++r.read;
        const FixedRecord& rec = records[n];
        std::istringstream in(buf);
        long h = 0, k = 0, l = 0;
        in >> h >> k >> l;
        bool wrong = !in;
        for (std::size_t j = 0; j < fields.size() && j < rec.meant.size(); ++j) {
            double v = 0.0;
            in >> v;
            const std::string text = rec.text.substr(fields[j].at, fields[j].width);
            const double tol = half_unit(text) * (1.0 + 1e-9) + 4e-16 * std::fabs(rec.meant[j]);
            const double err = std::fabs(v - rec.meant[j]) / tol;
            if (!in || !(err <= 1.0)) wrong = true;
            if (std::isfinite(err) && err > r.worst) r.worst = err;
        }
        if (wrong) {
            if (r.off == 0) r.first_off = rec.text + " read as " + buf;
            ++r.off;
        }
    }
    if (pclose(pipe) != 0 && r.off == 0) r.off = 1;
    return r;
}

}  // namespace tarnivox::sim
