// A seeded damage campaign over every input format: simulated data sets are
// cut, have lines doubled or left out and numbers altered, then run through
// "Auto profile fit" into a SHELX file.  Every run ends with the full data
// set written or with a message that names what was refused; no record ever
// carries indices 0 0 0 or an esd that is zero or not finite.

#include <cmath>
#include <cstdlib>
#include <set>

#include "e2e/fit_run_fixture.h"
#include "support/mutator.h"

namespace tarnivox::fitrun {
namespace {

constexpr char kAutoRun[] =
    "command 322\n"
    "press \"Peak parameter default values\" \"Save + Exit\"\n"
    "press main Start\n";

// Messages that tell the user a reflection, or the file, was refused.
bool names_a_refusal(const std::string& m) {
    static const std::set<std::string> whole = {"Error Reading at least 1 reflection in data file",
                                                "No reflection read from data file"};
    return whole.count(m) != 0 || m.rfind("Output format exceeded, reflection", 0) == 0 ||
           m.rfind("Indices 0 0 0, reflection", 0) == 0 || m.rfind("No valid esd, reflection", 0) == 0;
}

// The first line where the damaged text departs from the good one.
std::string first_difference(const std::string& good, const std::string& bad) {
    std::size_t i = 0;
    while (i < good.size() && i < bad.size() && good[i] == bad[i]) ++i;
    const std::size_t start = good.rfind('\n', i == 0 ? 0 : i - 1);
    const std::size_t from = start == std::string::npos ? 0 : start + 1;
    return "good line [" + good.substr(from, good.find('\n', from) - from) + "] damaged [" +
           bad.substr(from, bad.find('\n', from) - from) + "]";
}

std::string joined(const std::vector<std::string>& messages) {
    std::string out;
    for (const std::string& m : messages) out += "[" + m + "]";
    return out;
}

class DamageCampaign : public FitRun, public ::testing::WithParamInterface<FormatCase> {
protected:
    std::string read_data() const { return test::read_text(dir_ / data_name_); }
    void write_data(const std::string& text) const {
        std::ofstream(dir_ / data_name_, std::ios::binary) << text;
    }
};

TEST_P(DamageCampaign, EveryRunWritesTheWholeDataSetOrSaysWhatWasRefused) {
    sim::Config c;
    c.format = GetParam().format;
    c.nrefl = 12;
    c.npts = 32;
    c.std_interval = 5;
    c.seed = 40 + static_cast<std::uint64_t>(c.format);
    // A longer campaign: TARNIVOX_CAMPAIGN_RUNS=500 (CI runs the short one).
    const char* runs_env = std::getenv("TARNIVOX_CAMPAIGN_RUNS");
    const int kRuns = runs_env != nullptr ? std::atoi(runs_env) : 24;
    int full = 0, refused = 0, fatal = 0;
    for (int run_no = 0; run_no < kRuns; ++run_no) {
        const test::Damage kind = test::kRunDamage[run_no % std::size(test::kRunDamage)];
        const std::uint64_t seed = 1000 * static_cast<std::uint64_t>(c.format) + static_cast<std::uint64_t>(run_no);
        SCOPED_TRACE(std::string(test::damage_name(kind)) + " seed " + std::to_string(seed));
        TearDown();
        SetUp();
        const sim::Result r = simulate(c);
        std::size_t whole_set = 0;
        for (const sim::Truth& t : r.refl) whole_set += t.in_data_set ? 1 : 0;
        const std::string good = read_data();
        std::string bad = test::damage(good, kind, seed);
        // A file cut just after an end of line is a shorter file, not a
        // damaged one: the cut goes inside the line.
        if (kind == test::Damage::Truncate && !bad.empty() && bad.back() == '\n') bad.pop_back();
        write_data(bad);

        const bool asks_step = c.format == sim::Format::Huber || c.format == sim::Format::Febo;
        const std::string end = run(opening(GetParam().label, asks_step ? r.step_to_enter : 0.0, 3) + kAutoRun);
        ASSERT_EQ(end.rfind("SCRIPT LINE", 0), std::string::npos) << end;
        const auto shown = messages();
        const bool said = !end.empty() || std::any_of(shown.begin(), shown.end(), names_a_refusal);

        std::vector<Written> got;
        if (fs::exists(dir_ / "out.txt")) got = read_intensity_file(dir_ / "out.txt", 3);
        for (const Written& w : got) {
            EXPECT_FALSE(w.h == 0 && w.k == 0 && w.l == 0) << "a 0 0 0 record ends a SHELX file";
            EXPECT_TRUE(std::isfinite(w.sigma) && w.sigma > 0.0) << w.h << " " << w.k << " " << w.l;
        }
        if (!end.empty()) {
            ++fatal;
            continue;
        }
        EXPECT_NE(std::find(shown.begin(), shown.end(), "End of File"), shown.end())
            << "the automatic run stopped before the end of the data set";
        if (got.size() >= whole_set) {
            ++full;
        } else {
            EXPECT_TRUE(said) << got.size() << " of " << whole_set << " reflections written without a message; "
                              << first_difference(good, bad) << "; shown: " << joined(shown);
            ++refused;
        }
    }
    RecordProperty("full", full);
    RecordProperty("refused", refused);
    RecordProperty("fatal", fatal);
}

INSTANTIATE_TEST_SUITE_P(EveryInputFormat, DamageCampaign, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<FormatCase>& i) {
                             std::string n = i.param.label;
                             n.erase(std::remove(n.begin(), n.end(), ' '), n.end());
                             return n;
                         });

}  // namespace
}  // namespace tarnivox::fitrun
