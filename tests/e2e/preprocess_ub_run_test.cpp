// "Preprocess" and "Calc UB" from start to end on simulated CAD4 data with
// known cell, orientation, omega zero and crystal offsets: open, fit the
// strong reflections into the refinement list, refine, read the log.

#include <cmath>
#include <string>
#include <vector>

#include "e2e/fit_run_fixture.h"
#include "io/layout.h"
#include "refine/shift_lsq.h"

namespace tarnivox::fitrun {
namespace {

struct UbCase {
    const char* name;
    int isym;  // 0: unconstrained
    bool offsets, zero;
    std::array<double, 6> cell;
    double om_zero;
    std::array<double, 3> xtaloff;
};

// The log's cell records L and M, as the reader of the log sees them.
struct LoggedCell {
    double cell[7] = {}, esd[7] = {};
    double omzero = 0.0, offsets[3] = {};
    int used = 0;
    bool found = false;
};

LoggedCell read_last_refinement(const std::vector<std::string>& log) {
    LoggedCell c;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const std::string& l = log[i];
        auto fields = [&l](double* out) {
            static const std::size_t at[7] = {16, 25, 34, 43, 51, 59, 67};
            static const std::size_t width[7] = {9, 9, 9, 8, 8, 8, 10};
            for (int k = 0; k < 7; ++k) out[k] = num(l, at[k], width[k]);
        };
        if (l.rfind("CELL    ", 0) == 0) {
            fields(c.cell);
            c.found = true;
        } else if (l.rfind("ESDs    ", 0) == 0) {
            fields(c.esd);
        } else if (l.find(" REFLECTIONS USED") != std::string::npos) {
            c.used = std::stoi(l.substr(0, l.find(" REFLECTIONS USED")));
        } else if (l.rfind("         OMEGA-ZERO = ", 0) == 0) {
            c.omzero = num(l, 22, 7);
        } else if (l.rfind("    CRYSTAL OFFSETS = ", 0) == 0) {
            for (int k = 0; k < 3; ++k) c.offsets[k] = num(l, 22 + 10 * static_cast<std::size_t>(k), 10);
        }
    }
    return c;
}

double volume_of(const std::array<double, 6>& c) {
    const double r = 3.14159265358979323846 / 180.0;
    const double ca = std::cos(c[3] * r), cb = std::cos(c[4] * r), cg = std::cos(c[5] * r);
    return c[0] * c[1] * c[2] * std::sqrt(1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg);
}

std::string refinement_choices(const UbCase& u) {
    std::string s = "command 332\n";
    if (u.isym != 0) {
        s += "toggle \"Unit Cell Refinement\" \"Symmetry constrained\" on\n";
        s += "select \"Unit Cell Refinement\" \"Crystal system\" " + std::to_string(u.isym) + "\n";
    }
    if (u.offsets) s += "toggle \"Unit Cell Refinement\" \"Refine crystal offsets\" on\n";
    if (u.zero) s += "toggle \"Unit Cell Refinement\" \"Refine omega zero\" on\n";
    s += "press \"Unit Cell Refinement\" Refine\npress \"Cell Refinement Results\" Ok\n";
    return s;
}

constexpr char kPreprocess[] = "command 331\npress \"Preprocessing Control\" Go\n";

class PreprocessUbRun : public FitRun, public ::testing::WithParamInterface<UbCase> {
protected:
    sim::Config config(const UbCase& u) const {
        sim::Config c;
        c.format = sim::Format::Cad4;
        c.seed = 71;
        c.nrefl = 400;
        c.scale_i = 20000.0;
        c.cell = u.cell;
        c.om_zero = u.om_zero;
        c.xtaloff = u.xtaloff;
        return c;
    }
};

TEST_P(PreprocessUbRun, RefinedCellZeroAndOffsetsWithinThreeEsdsOfTruth) {
    const UbCase& u = GetParam();
    simulate(config(u));
    ASSERT_EQ(run(opening("Enraf CAD4", 0.0, 0) + kPreprocess + refinement_choices(u)), "");

    const auto shown = messages();
    const std::string stored = format_record("(I5,' Reflections stored for fitting')", {G.NUBREF});
    EXPECT_NE(std::find(shown.begin(), shown.end(), stored), shown.end());
    EXPECT_GT(G.NUBREF, 100);
    EXPECT_EQ(G.UBFLAG, 1);

    const LoggedCell logged = read_last_refinement(lines_of(dir_ / "data_Tarnivox.log"));
    ASSERT_TRUE(logged.found);
    EXPECT_EQ(logged.used, G.NUBREF);
    const double truth[7] = {u.cell[0], u.cell[1], u.cell[2], u.cell[3], u.cell[4], u.cell[5], volume_of(u.cell)};
    for (int k = 0; k < 7; ++k) {
        // The log shows the refined cell; the esds are those the CIF prints.
        const double decimals = k < 3 ? 1e-5 : (k < 6 ? 1e-3 : 1e-4);
        EXPECT_NEAR(logged.cell[k], G.CELL(k + 1), decimals) << k;
        EXPECT_NEAR(logged.esd[k], G.CELLESD(k + 1), decimals) << k;
        const double esd = G.CELLESD(k + 1);
        if (esd > 1e-9)
            EXPECT_LE(std::fabs(G.CELL(k + 1) - truth[k]), 3.0 * esd) << u.name << " cell value " << k + 1;
        else  // fixed by the crystal system
            EXPECT_NEAR(G.CELL(k + 1), truth[k], 1e-5) << u.name << " cell value " << k + 1;
    }
    if (u.zero && u.isym == 0) {
        EXPECT_NEAR(logged.omzero, G.OMZERO, 1e-4);
        EXPECT_LE(std::fabs(G.OMZERO - u.om_zero), 3.0 * G.OMZESD) << G.OMZERO << " +- " << G.OMZESD;
    }
    if (u.offsets && u.isym == 0) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(logged.offsets[k], G.XTALOFF(k + 1), 1e-4);
            EXPECT_LE(std::fabs(G.XTALOFF(k + 1) - u.xtaloff[static_cast<std::size_t>(k)]),
                      3.0 * G.XOFFESD(k + 1))
                << "offset " << k + 1 << ": " << G.XTALOFF(k + 1) << " +- " << G.XOFFESD(k + 1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryRefinement, PreprocessUbRun,
    ::testing::Values(
        UbCase{"unconstrained", 0, false, false, {7.3, 9.1, 11.7, 82.0, 97.5, 108.0}, 0.0, {0, 0, 0}},
        UbCase{"omega_zero", 0, false, true, {7.3, 9.1, 11.7, 82.0, 97.5, 108.0}, 0.05, {0, 0, 0}},
        UbCase{"offsets", 0, true, true, {8.4, 10.2, 13.9, 90.0, 101.0, 90.0}, 0.03, {0.1, -0.06, 0.05}},
        UbCase{"monoclinic_b", 1, false, false, {6.1, 15.3, 8.8, 90.0, 104.0, 90.0}, 0.0, {0, 0, 0}},
        UbCase{"monoclinic_c", 2, false, false, {7.2, 9.4, 12.6, 90.0, 90.0, 112.0}, 0.0, {0, 0, 0}},
        UbCase{"orthorhombic", 3, false, false, {5.9, 8.3, 13.1, 90.0, 90.0, 90.0}, 0.0, {0, 0, 0}},
        UbCase{"tetragonal", 4, false, false, {7.7, 7.7, 11.9, 90.0, 90.0, 90.0}, 0.0, {0, 0, 0}},
        UbCase{"hexagonal", 5, false, false, {6.4, 6.4, 10.3, 90.0, 90.0, 120.0}, 0.0, {0, 0, 0}},
        UbCase{"cubic", 6, false, false, {9.3, 9.3, 9.3, 90.0, 90.0, 90.0}, 0.0, {0, 0, 0}}),
    [](const ::testing::TestParamInfo<UbCase>& i) { return std::string(i.param.name); });

// A CAD4 file carries no orientation matrix: only "Calc UB" gives the
// SHELX records their direction cosines, which must then be those of the
// true orientation.
TEST_F(FitRun, CalcUbGivesCad4ShelxFileTheTrueDirectionCosines) {
    sim::Config c;
    c.format = sim::Format::Cad4;
    c.seed = 5;
    c.nrefl = 300;
    c.scale_i = 20000.0;
    // Preprocessing has walked to the end of the data: back to the first
    // reflection before the automatic run starts.
    const std::string fit_all =
        "command 322\npress \"Peak parameter default values\" \"Save + Exit\"\nenter main ISEQ 1\n"
        "press main Start\n";
    // The same run twice: into an Rfine file, whose omega column is the
    // fitted peak at which the cosines are given, and into a SHELX file.
    const auto once = [&](int intfmt) {
        TearDown();
        SetUp();
        const sim::Result r = simulate(c);
        EXPECT_EQ(run(opening("Enraf CAD4", 0.0, intfmt) + kPreprocess + refinement_choices(UbCase{}) + fit_all), "");
        EXPECT_EQ(G.UBFLAG, 1);
        return r;
    };
    once(1);
    const std::vector<Written> rfine = read_intensity_file(dir_ / "out.txt", 1);
    const sim::Result r = once(3);
    std::vector<const sim::Truth*> want;
    for (const sim::Truth& t : r.refl)
        if (t.in_data_set) want.push_back(&t);
    const std::vector<Written> shelx = read_intensity_file(dir_ / "out.txt", 3);
    ASSERT_EQ(shelx.size(), want.size());
    ASSERT_EQ(rfine.size(), want.size());
    std::vector<double> omegas;
    for (const Written& w : rfine) omegas.push_back(w.omega);
    expect_direction_cosines_of_true_geometry(shelx, want, sim::make_plan(c), omegas);
}

}  // namespace
}  // namespace tarnivox::fitrun
