#pragma once
// Checks of a whole reduction made as a user makes it (open, Preprocess,
// Calc UB, Auto profile fit, Start; or the batch with --refine): the
// intensity file holds every reflection the import took exactly once, in
// file order, each SHELX record with its direction cosines, and the run's
// summary counts what the import took.  Shared by the window's runs on the
// script backend and on the Qt window and by the batch's.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "batch.h"
#include "e2e/fit_run_fixture.h"

namespace tarnivox::fitrun {

using Hkl = std::array<int, 3>;

// The indices of the reflections the import keeps, in file order.
inline std::vector<Hkl> imported(const sim::Result& r) {
    std::vector<Hkl> out;
    for (const sim::Truth& t : r.refl)
        if (t.in_data_set) out.push_back(t.hkl);
    return out;
}

// The same from a truth file the simulator wrote (its last column is 1
// for a reflection the reader keeps).
inline std::vector<Hkl> imported(const fs::path& truth_file) {
    std::vector<Hkl> out;
    for (const std::string& line : lines_of(truth_file)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        std::vector<std::string> f;
        for (std::string w; in >> w;) f.push_back(w);
        if (f.size() < 4) continue;
        if (f.back() == "1") out.push_back({std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3])});
    }
    return out;
}

inline std::vector<Hkl> hkls_of(const std::vector<Written>& records) {
    std::vector<Hkl> out;
    for (const Written& w : records) out.push_back({w.h, w.k, w.l});
    return out;
}

// A SHELX file of a whole reduction: the import's reflections, each
// measurement once and in file order, every record with its direction cosines.
inline void expect_every_reflection_once_with_cosines(const fs::path& shelx, const std::vector<Hkl>& want) {
    const std::vector<Written> records = read_intensity_file(shelx, 3);
    const std::vector<Hkl> got = hkls_of(records);
    EXPECT_EQ(got.size(), want.size()) << shelx;
    // Standards are measured again and again: each index as often as the
    // import has it.
    std::map<Hkl, int> times, imported_times;
    for (const Hkl& h : got) ++times[h];
    for (const Hkl& h : want) ++imported_times[h];
    for (const auto& [h, n] : imported_times)
        EXPECT_EQ(times[h], n) << shelx << ": " << h[0] << " " << h[1] << " " << h[2] << " written " << times[h]
                               << " times, imported " << n;
    EXPECT_TRUE(got == want) << shelx << " does not hold the import's reflections in file order";
    int without = 0;
    for (const Written& w : records) without += w.has_dc ? 0 : 1;
    EXPECT_EQ(without, 0) << shelx << ": records without direction cosines";
}

// The window's run summary, the box after its "End of File": the import's
// count fitted, the file's records written to its full path.
inline void expect_run_summary(const std::vector<std::string>& boxes, int fitted, int written,
                               const fs::path& file) {
    std::string summary;
    for (const std::string& m : boxes)
        if (m.rfind("Run complete: ", 0) == 0) summary = m;
    ASSERT_FALSE(summary.empty()) << "no run summary";
    EXPECT_EQ(summary.rfind("Run complete: " + std::to_string(fitted) + " reflections fitted, ", 0), 0u) << summary;
    EXPECT_NE(summary.find("\n" + std::to_string(written) + " reflections written to " + file.string()),
              std::string::npos)
        << summary;
}

// The batch's reduction of the same data set: `reduce --refine` into `out`
// (SHELX).  Afterwards the store holds the batch's run.
inline void reduce_with_refinement(const fs::path& data, const char* format, const fs::path& par,
                                   const fs::path& out, const std::string& report = {}) {
    BatchOptions o;
    o.format = format;
    o.data = {data.string()};
    o.par = par.string();
    o.out = out.string();
    o.refine = true;
    o.report = report;
    o.quiet = true;
    std::vector<BatchChoices> plan;
    ASSERT_EQ(plan_batch(o, plan), "");
    ASSERT_EQ(run_batch(o, plan), 0);
}

}  // namespace tarnivox::fitrun
