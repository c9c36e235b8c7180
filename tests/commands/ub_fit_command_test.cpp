// "Calc UB" on a prepared refinement list, in a headless window: the choice
// of refinement, the log records in their layouts, the results box, and
// every bad list ending in its message with no number that is not one.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "commands/cif.h"
#include "commands/preprocess.h"
#include "core/messages.h"
#include "core/store.h"
#include "io/units.h"
#include "refine/geometry.h"
#include "support/geometry_builder.h"
#include "support/scratch.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;
using testdata::GeometryOptions;

constexpr char kRefine[] = "press \"Unit Cell Refinement\" Refine\n";
constexpr char kResultsOk[] = "press \"Cell Refinement Results\" Ok\n";
constexpr char kFailure[] = " FAILURE IN LEAST-SQUARES PROCEDURE, INPUT DATA WERE:";

std::string choose(int isym, bool offsets, bool zero) {
    std::string s;
    if (isym != 0)
        s += "toggle \"Unit Cell Refinement\" \"Symmetry constrained\" on\n"
             "select \"Unit Cell Refinement\" \"Crystal system\" " +
             std::to_string(isym) + "\n";
    if (offsets) s += "toggle \"Unit Cell Refinement\" \"Refine crystal offsets\" on\n";
    if (zero) s += "toggle \"Unit Cell Refinement\" \"Refine omega zero\" on\n";
    return s + kRefine;
}

class UbFitCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::fresh_run_in_scratch_dir("tarnivox_ubfit");
        set_ub_inverse_cache(true);
        // As the program does: the computations' messages are error boxes.
        set_message_sink([](const Message& m) { GMDISPLAYERRORBOX(m.title, m.text); });
    }
    void TearDown() override {
        set_message_sink({});
        test::end_run_in_scratch_dir(dir_);
    }

    static GeometryOptions monoclinic() {
        GeometryOptions opt;
        opt.cell = {8.4, 10.2, 13.9, 90.0, 101.0, 90.0};
        opt.rx = 17, opt.ry = 48, opt.rz = -63;
        opt.noise = 0.003;
        opt.seed = 4;
        return opt;
    }

    // The headless window answering `script`, the log open, and the
    // reflections of `opt` as the refinement list (UB and its flag cleared,
    // as after preprocessing a file without a matrix).
    void prepare(const std::string& script, const GeometryOptions& opt, int n) {
        backend_ = &test::open_headless_window(script, dir_.string());
        ASSERT_EQ(open_unit(LU_LOG, (dir_ / "run.log").string(), OpenMode::Replace, true), 0);
        G.LOGOPEN = 1;
        testdata::loaded_refinement_list(opt, n);
        G.UB.fill(0.0);
        G.UBFLAG = 0;
        G.PREPFLAG = 1;
        GMSETWIDGETSTATUS(wid(MENU_DELTA_D), 0);  // no UB yet
    }

    std::vector<std::string> log() {
        flush_unit(LU_LOG);
        return test::read_lines(dir_ / "run.log");
    }
    std::vector<std::string> shown() const { return test::shown_messages(*backend_); }

    static bool has(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    static std::size_t index_of(const std::vector<std::string>& lines, const std::string& line) {
        return static_cast<std::size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
    }
    // No refined quantity and no log line holds a value that is not a number.
    void expect_no_nan() {
        for (double x : G.CELL.v) EXPECT_TRUE(std::isfinite(x));
        for (double x : G.CELLESD.v) EXPECT_TRUE(std::isfinite(x));
        for (double x : G.UB.v) EXPECT_TRUE(std::isfinite(x));
        for (double x : G.XTALOFF.v) EXPECT_TRUE(std::isfinite(x));
        EXPECT_TRUE(std::isfinite(G.OMZERO));
        for (const std::string& l : log()) {
            std::string low = l;
            for (char& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            EXPECT_EQ(low.find("nan"), std::string::npos) << l;
            EXPECT_EQ(low.find("inf"), std::string::npos) << l;
        }
    }
    int delta_d_status() const { return backend_->widget(wid(MENU_DELTA_D)).status; }

    fs::path dir_;
    ScriptBackend* backend_ = nullptr;
};

TEST_F(UbFitCommand, UnconstrainedFitLogsEveryRecordAndEnablesDeltaD) {
    prepare(std::string(kRefine) + kResultsOk, monoclinic(), 40);
    UB_FIT();
    EXPECT_EQ(G.UBFLAG, 1);
    EXPECT_EQ(delta_d_status(), 1);
    const auto l = log();
    EXPECT_TRUE(has(l, "RESULTS OF LEAST SQUARES REFINEMENT OF CELL PARAMETERS"));
    EXPECT_TRUE(has(l, " UNCONSTRAINED REFINEMENT "));
    const std::size_t head =
        index_of(l, "  H   K   L  2TH(det)  2TH(cal) OM(FIT)     CHI     PHI   OM(UB)   DEL-OM");
    ASSERT_LT(head, l.size());
    // One record J per entry after a blank line: 3I4, 2F9.4, 5F9.3.
    for (int n = 1; n <= G.NUBREF; ++n) {
        const std::string& j = l[head + 1 + static_cast<std::size_t>(n)];
        ASSERT_EQ(j.size(), 11u + 18u + 45u) << j;
        EXPECT_EQ(std::stoi(j.substr(0, 3)), G.IHREF(n, 1)) << j;
        EXPECT_NEAR(std::stod(j.substr(11, 9)), G.TTHREF(n), 1e-4) << j;
        EXPECT_NEAR(std::stod(j.substr(20, 9)), G.TTHREF(n), 0.02) << j;  // calculated
        EXPECT_NEAR(std::stod(j.substr(65, 9)), 0.0, 0.02) << j;          // DEL-OM
    }
    EXPECT_TRUE(has(l, " Unconstrained Orientation Matrix "));
    EXPECT_TRUE(has(l, "    (For Busing Levy axes and circle parities)"));
    EXPECT_TRUE(has(l, "       40 REFLECTIONS USED"));
    EXPECT_TRUE(has(l, "         OMEGA-ZERO =  0.0000"));
    EXPECT_TRUE(has(l, "    CRYSTAL OFFSETS =     0.0000    0.0000    0.0000"));
    // The results box shows the refined cell.
    EXPECT_NEAR(backend_->widget(wid(RES_VALUE(5))).value, G.CELL(5), 1e-9);
    EXPECT_NEAR(G.CELL(5), 101.0, 0.05);
    EXPECT_NEAR(backend_->widget(wid(RES_NREF)).value, 40.0, 0.0);
    expect_no_nan();
}

TEST_F(UbFitCommand, QuitLeavesEverythingAsItWas) {
    prepare("press \"Unit Cell Refinement\" Quit\n", monoclinic(), 20);
    G.OMZERO = 0.5;
    UB_FIT();
    EXPECT_EQ(G.UBFLAG, 0);
    EXPECT_EQ(G.OMZERO, 0.5);
    EXPECT_TRUE(log().empty());
}

// Both switches and a symmetry: only the constrained refinement runs, and
// the table keeps the offsets layout with zero offsets.
TEST_F(UbFitCommand, SymmetryTakesPrecedenceOverBothSwitches) {
    prepare(choose(1, true, true) + kResultsOk, monoclinic(), 40);
    UB_FIT();
    EXPECT_EQ(G.UBFLAG, 1);
    const auto l = log();
    EXPECT_TRUE(has(l, " SYMMETRY-CONSTRAINED TO Monoclinic (B-unique)     NO XTAL OFFSETS"));
    const std::size_t head = index_of(
        l, "  H   K   L  2TH(DET)  2TH(cal) OM(FIT)     CHI     PHI   OM(UB) + OM(OFF) = OM(CALC)   DEL-OM");
    ASSERT_LT(head, l.size());
    const std::string& j = l[head + 2];
    ASSERT_EQ(j.size(), 11u + 18u + 63u) << j;
    EXPECT_EQ(j.substr(65, 9), "    0.000") << j;  // OM(OFF)
    EXPECT_EQ(G.XTALOFF, (Arr1<double, 3>{}));
    EXPECT_EQ(G.OMZERO, 0.0);
    EXPECT_NEAR(G.CELL(4), 90.0, 1e-5);
    EXPECT_EQ(backend_->widget(wid(RES_ESD(4))).text, "");  // exactly 90: no esd
    expect_no_nan();
}

TEST_F(UbFitCommand, ThreeEntriesGiveExactCellWithoutStaleEsds) {
    GeometryOptions opt = monoclinic();
    opt.noise = 0.0;
    prepare(std::string(kRefine) + kResultsOk + kRefine + kResultsOk, opt, 10);
    UB_FIT();
    G.CELLESD.fill(0.5);  // as an earlier refinement may have left them
    G.NUBREF = 3;
    UB_FIT();
    EXPECT_EQ(G.UBFLAG, 1);
    EXPECT_NEAR(G.CELL(1), 8.4, 1e-6);
    EXPECT_EQ(G.CELLESD, (Arr1<double, 7>{}));
    // No esds, and the log says why rather than printing zeros.
    EXPECT_EQ(G.CELLNOESD, 1);
    EXPECT_TRUE(has(log(), "        3 REFLECTIONS USED"));
    EXPECT_TRUE(has(log(), "ESDs            NONE: 3 REFLECTIONS FIX THE CELL WITHOUT REDUNDANCY"));
    // The results box shows no esd, not zeros.
    for (int n = 1; n <= 7; ++n) EXPECT_EQ(backend_->widget(wid(RES_ESD(n))).text, "") << n;
}

TEST_F(UbFitCommand, NegativeTwoThetaComparedWithNegativeCalculatedTwoTheta) {
    prepare(std::string(kRefine) + kResultsOk, monoclinic(), 20);
    // The same reflection measured on the other side: 2theta and omega
    // change sign together with the Friedel indices.
    const int n = 20;
    G.TTHREF(n) = -G.TTHREF(n);
    for (int j = 1; j <= 3; ++j) G.IHREF(n, j) = -G.IHREF(n, j);
    UB_FIT();
    const auto l = log();
    const std::size_t head =
        index_of(l, "  H   K   L  2TH(det)  2TH(cal) OM(FIT)     CHI     PHI   OM(UB)   DEL-OM");
    ASSERT_LT(head + 21, l.size());
    const std::string& j = l[head + 21];
    EXPECT_LT(std::stod(j.substr(11, 9)), 0.0) << j;
    EXPECT_NEAR(std::stod(j.substr(20, 9)), std::stod(j.substr(11, 9)), 0.02) << j;
}

// ---- bad lists ----

TEST_F(UbFitCommand, FewerThanThreeEntriesRefusedWithoutTheBox) {
    for (int n : {0, 1, 2}) {
        prepare("", monoclinic(), 10);
        G.NUBREF = n;
        G.CELL(1) = 5.0;
        UB_FIT();
        EXPECT_EQ(shown(), std::vector<std::string>{"Too Few Reflections for Least Squares"}) << n;
        EXPECT_EQ(G.CELL(1), 5.0);
        EXPECT_TRUE(log().empty());
        close_unit(LU_LOG);
    }
}

// Indices in one plane (all l = 0) cannot fix UB: every branch fails with
// the message and lists its input; the omega-zero branch names itself first.
TEST_F(UbFitCommand, CoplanarIndicesFailInEveryBranchWithRecordsFAndG) {
    struct Branch {
        int isym;
        bool offsets, zero;
        const char* heading;  // record logged before the failure, if any
    };
    for (const Branch& b : {Branch{0, false, false, nullptr},
                            Branch{0, false, true, " UNCONSTRAINED REFINEMENT WITH OMEGA ZERO"},
                            Branch{0, true, true, nullptr}, Branch{3, false, false, nullptr}}) {
        prepare(choose(b.isym, b.offsets, b.zero), monoclinic(), 30);
        const int m = G.NUBREF;
        for (int n = 1; n <= m; ++n) G.IHREF(n, 3) = 0;
        UB_FIT();
        // The inversion's own box about the empty index row may come first.
        const auto s = shown();
        ASSERT_FALSE(s.empty());
        EXPECT_EQ(s.back(), "Problem with least squares procedure for unit-cell") << b.isym;
        for (std::size_t k = 0; k + 1 < s.size(); ++k) EXPECT_EQ(s[k], "Singular matrix in LUDCMP");
        EXPECT_EQ(G.UBFLAG, 0);
        EXPECT_EQ(delta_d_status(), 0);
        const auto l = log();
        const std::size_t f = index_of(l, kFailure);
        ASSERT_LT(f, l.size());
        if (b.heading != nullptr) {
            EXPECT_EQ(index_of(l, b.heading) + 2, f);
        }
        EXPECT_EQ(l[f + 2], "  H   K   L  2THETA   OM(FIT)    CHI      PHI   ");
        // A blank line, then record G per entry: 3I4, 4F9.3.
        for (int n = 1; n <= m; ++n) {
            const std::string& g = l[f + 3 + static_cast<std::size_t>(n)];
            ASSERT_EQ(g.size(), 11u + 36u) << g;
            EXPECT_EQ(std::stoi(g.substr(7, 4)), 0) << g;
            EXPECT_NEAR(std::stod(g.substr(20, 9)), G.OMREF(n), 1e-3) << g;
        }
        expect_no_nan();
        close_unit(LU_LOG);
    }
}

// Offsets without a goniometer constant cannot be refined: the message,
// then the refinement fails as a whole; no offsets of zero are passed off
// as refined, and nothing of the run stands.
TEST_F(UbFitCommand, SingularOffsetMatrixFailsTheRefinement) {
    prepare(choose(0, true, false), monoclinic(), 30);
    G.GONCON1 = 0.0;
    UB_FIT();
    EXPECT_EQ(shown(), (std::vector<std::string>{"SINGULAR MATRIX IN LSQ FOR XTAL OFFSETS",
                                                 "Problem with least squares procedure for unit-cell"}));
    EXPECT_EQ(G.UBFLAG, 0);
    EXPECT_EQ(G.UBFAIL, UB_FIT_SHIFT_FAILED);
    EXPECT_EQ(G.XTALOFF, (Arr1<double, 3>{}));
    const auto l = log();
    EXPECT_LT(index_of(l, std::string(" REFINEMENT FAILED: ") + ub_fit_failure_text(UB_FIT_SHIFT_FAILED)),
              l.size());
    expect_no_nan();
}

// The last entry indexed twice too high: with the cell of the other
// entries it lies beyond the limiting sphere.  Its calculated 2theta is
// 180; the constrained refinement, which checks the calculated vector of
// the last entry, fails.
TEST_F(UbFitCommand, EntryBeyondTheWavelengthLimit) {
    GeometryOptions opt = monoclinic();
    opt.wave = 1.5418;
    opt.max_tth = 150.0;
    for (int isym : {0, 1}) {
        prepare(choose(isym, false, false) + (isym == 0 ? kResultsOk : ""), opt, 100);
        int top = 1;
        for (int n = 2; n <= 100; ++n)
            if (G.TTHREF(n) > G.TTHREF(top)) top = n;
        ASSERT_GT(G.TTHREF(top), 120.0);
        std::swap(G.TTHREF(top), G.TTHREF(100));
        std::swap(G.OMREF(top), G.OMREF(100));
        std::swap(G.CHIREF(top), G.CHIREF(100));
        std::swap(G.PHIREF(top), G.PHIREF(100));
        for (int j = 1; j <= 3; ++j) {
            std::swap(G.IHREF(top, j), G.IHREF(100, j));
            G.IHREF(100, j) *= 2;
        }
        UB_FIT();
        const auto l = log();
        if (isym == 0) {
            EXPECT_EQ(G.UBFLAG, 1);
            const std::size_t head =
                index_of(l, "  H   K   L  2TH(det)  2TH(cal) OM(FIT)     CHI     PHI   OM(UB)   DEL-OM");
            ASSERT_LT(head + 101, l.size());
            EXPECT_EQ(l[head + 101].substr(20, 9), " 180.0000") << l[head + 101];
        } else {
            EXPECT_EQ(shown(),
                      std::vector<std::string>{"Problem with least squares procedure for unit-cell"});
            EXPECT_LT(index_of(l, kFailure), l.size());
            // Not even the unconstrained step of the failed refinement stands.
            EXPECT_EQ(G.UBFLAG, 0);
        }
        expect_no_nan();
        close_unit(LU_LOG);
    }
}

// Orthorhombic data forced into the hexagonal or cubic system: a = b cannot
// be both 5.9 and 8.3, the constrained fit is far worse than the free one,
// and the refinement fails with its message and the input listed; not
// even the unconstrained UB of its first step stands.
TEST_F(UbFitCommand, SymmetryThatDoesNotFitTheDataFails) {
    GeometryOptions opt = monoclinic();
    opt.cell = {5.9, 8.3, 13.1, 90.0, 90.0, 90.0};
    for (int isym : {5, 6}) {
        prepare(choose(isym, false, false), opt, 40);
        UB_FIT();
        EXPECT_EQ(shown(), std::vector<std::string>{"Problem with least squares procedure for unit-cell"})
            << isym;
        const auto l = log();
        EXPECT_LT(index_of(l, kFailure), l.size());
        EXPECT_EQ(std::count_if(l.begin(), l.end(),
                                [](const std::string& x) {
                                    return x.find("SYMMETRY-CONSTRAINED") != std::string::npos;
                                }),
                  0);
        EXPECT_EQ(G.UBFLAG, 0);
        EXPECT_EQ(G.UBFAIL, UB_FIT_WRONG_SYMMETRY);
        expect_no_nan();
        close_unit(LU_LOG);
    }
    // The same data with the system they have refine as before.
    prepare(choose(3, false, false) + kResultsOk, opt, 40);
    UB_FIT();
    EXPECT_TRUE(shown().empty());
    EXPECT_NEAR(G.CELL(2), 8.3, 0.002);
}

// ---- lists that cannot carry what is asked of them ----

// What a refinement may change, to compare before and after.
struct Refined {
    Mat3 ub, bmat;
    Arr1<double, 6> rcell;
    Arr1<double, 7> cell, esd;
    Arr1<double, 3> off;
    double zero;
    int flag, noesd;
    static Refined now() {
        return {G.UB, G.BMAT, G.RCELL, G.CELL, G.CELLESD, G.XTALOFF, G.OMZERO, G.UBFLAG, G.CELLNOESD};
    }
    bool operator==(const Refined&) const = default;
};

// Monoclinic data refined in systems it does not have (3 to 30 entries,
// noise up to 1 degree), in its own system, with three entries, and with
// offsets or the zero point from 3 or 4 entries; each refinement follows a
// good one.  Whatever the outcome: a cell that is accepted meets its
// constraints exactly and has an esd for every value it refines (or says
// it has none, for three entries fitted unconstrained); the zero point and
// offsets refined have esds; a refinement that fails or is refused leaves
// the earlier orientation, cell, esds, zero point and offsets as they were,
// bit for bit, with its reason in the log.
TEST_F(UbFitCommand, HostileListsNeverLeaveABrokenCellOrAnEsdOfZero) {
    struct Case {
        int isym;
        bool offsets, zero;
        std::vector<int> sizes;
    };
    const std::vector<Case> cases = {
        {3, false, false, {3, 4, 5, 8, 15, 30}},
        {4, false, false, {3, 4, 5, 8, 15, 30}},
        {5, false, false, {3, 4, 5, 8, 15, 30}},
        {6, false, false, {3, 4, 5, 8, 15, 30}},
        {1, false, false, {3, 4, 5, 30}},
        {0, false, false, {3, 4}},
        {0, true, false, {3, 4, 5}},
        {0, true, true, {3, 4, 5}},
        {0, false, true, {3, 4}},
    };
    int accepted = 0, refused = 0;
    for (const Case& c : cases)
        for (double noise : {0.0, 0.05, 0.3, 1.0})
            for (int n : c.sizes) {
                GeometryOptions opt = monoclinic();
                opt.cell = {7.5, 9.1, 11.3, 90.0, 101.5, 90.0};
                opt.noise = noise;
                opt.omzero = 0.05;
                opt.xtaloff = {0.2, -0.1, 0.1};
                opt.seed = static_cast<std::uint32_t>(n * 7 + static_cast<int>(noise * 100));
                const std::string label = "isym " + std::to_string(c.isym) + (c.offsets ? " offsets" : "") +
                                          (c.zero ? " zero" : "") + " n " + std::to_string(n) + " noise " +
                                          std::to_string(noise);
                // A good refinement first, then the hostile one.
                prepare(choose(0, true, true) + kResultsOk + choose(c.isym, c.offsets, c.zero) + kResultsOk,
                        opt, 30);
                UB_FIT();
                ASSERT_EQ(G.UBFLAG, 1) << label;
                const Refined before = Refined::now();
                G.NUBREF = n;
                const std::string cif_before = cif_fragment_text();
                UB_FIT();
                const auto s = shown();
                const bool failed =
                    std::find(s.begin(), s.end(), "Problem with least squares procedure for unit-cell") !=
                    s.end();
                if (failed) {
                    ++refused;
                    EXPECT_TRUE(Refined::now() == before) << label;
                    // "Create Cif" after it writes the fragment of the good refinement.
                    EXPECT_EQ(cif_fragment_text(), cif_before) << label;
                    EXPECT_NE(G.UBFAIL, 0) << label;
                    EXPECT_LT(
                        index_of(log(), std::string(" REFINEMENT FAILED: ") + ub_fit_failure_text(G.UBFAIL)),
                        log().size())
                        << label;
                } else {
                    ++accepted;
                    EXPECT_EQ(G.UBFLAG, 1) << label;
                    EXPECT_EQ(G.UBFAIL, 0) << label;
                    // Fewer observations than parameters + 1 is never accepted.
                    EXPECT_FALSE((c.isym != 0 || c.offsets || c.zero) &&
                                 3 * n < 9 + (c.offsets ? 3 : 0) + (c.zero ? 1 : 0) + 1)
                        << label;
                    std::vector<int> free = {1, 2, 3, 4, 5, 6, 7};
                    switch (c.isym) {
                        case 0: break;
                        case 1: free = {1, 2, 3, 5, 7}; break;
                        case 3: free = {1, 2, 3, 7}; break;
                        case 4:
                        case 5: free = {1, 3, 7}; break;
                        case 6: free = {1, 7}; break;
                    }
                    if (c.isym != 0) {
                        EXPECT_EQ(G.CELL(4), 90.0) << label;
                        if (c.isym != 1) {
                            EXPECT_EQ(G.CELL(5), 90.0) << label;
                        }
                        EXPECT_EQ(G.CELL(6), c.isym == 5 ? 120.0 : 90.0) << label;
                        if (c.isym >= 4) {
                            EXPECT_EQ(G.CELL(2), G.CELL(1)) << label;
                        }
                        if (c.isym == 6) {
                            EXPECT_EQ(G.CELL(3), G.CELL(1)) << label;
                        }
                    }
                    const bool exact_fit = c.isym == 0 && !c.offsets && !c.zero && n == 3;
                    EXPECT_EQ(G.CELLNOESD, exact_fit ? 1 : 0) << label;
                    if (!exact_fit && noise > 0.0) {
                        for (int m : free) EXPECT_GT(G.CELLESD(m), 0.0) << label << " value " << m;
                    }
                    if (c.zero && c.isym == 0 && noise > 0.0) {
                        EXPECT_GT(G.OMZESD, 0.0) << label;
                    }
                    if (c.offsets && noise > 0.0) {
                        for (int k = 1; k <= 3; ++k) EXPECT_GT(G.XOFFESD(k), 0.0) << label;
                    }
                }
                expect_no_nan();
                close_unit(LU_LOG);
            }
    std::printf("hostile lists: %d refinements accepted, %d refused\n", accepted, refused);
}

// "Symmetry constrained" ticked without a crystal system is not run as an
// unconstrained refinement: the user is told and the box comes back, then
// refines with the system chosen (or leaves by Quit without refining).
TEST_F(UbFitCommand, ConstraintWithoutCrystalSystemAsksForOne) {
    prepare(std::string("toggle \"Unit Cell Refinement\" \"Symmetry constrained\" on\n") + kRefine +
                "select \"Unit Cell Refinement\" \"Crystal system\" 1\n" + kRefine + kResultsOk,
            monoclinic(), 40);
    UB_FIT();
    EXPECT_EQ(shown(),
              std::vector<std::string>{"Symmetry constrained: choose a crystal system from the list"});
    EXPECT_EQ(G.UBFLAG, 1);
    EXPECT_FALSE(has(log(), " UNCONSTRAINED REFINEMENT "));
    EXPECT_NEAR(G.CELL(4), 90.0, 1e-9);  // held by the monoclinic-b constraint

    TearDown();
    SetUp();
    prepare(std::string("toggle \"Unit Cell Refinement\" \"Symmetry constrained\" on\n") + kRefine +
                "press \"Unit Cell Refinement\" Quit\n",
            monoclinic(), 40);
    UB_FIT();
    EXPECT_EQ(G.UBFLAG, 0);
    EXPECT_FALSE(has(log(), "RESULTS OF LEAST SQUARES REFINEMENT OF CELL PARAMETERS"));
}

}  // namespace
}  // namespace tarnivox
