// The CIF fragment of "Create Cif": its layout line by line, where it is
// written, and that a real CIF parser (the gemmi command) reads every
// fragment the store can give, with only IUCr core dictionary names.
#include "commands/cif.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "core/store.h"
#include "io/units.h"
#include "output/cif_records.h"
#include "support/scratch.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

// Every data name the fragment may hold, as the IUCr core dictionary
// spells it.
const std::set<std::string> kCoreNames = {
    "_diffrn_standards_number",
    "_diffrn_standards_interval_count",
    "_diffrn_standards_decay_%",
    "_computing_cell_refinement",
    "_cell_length_a",
    "_cell_length_b",
    "_cell_length_c",
    "_cell_angle_alpha",
    "_cell_angle_beta",
    "_cell_angle_gamma",
    "_cell_volume",
    "_cell_measurement_wavelength",
    "_cell_measurement_pressure",
    "_cell_measurement_temperature",
    "_cell_measurement_reflns_used",
    "_cell_measurement_theta_min",
    "_cell_measurement_theta_max",
    "_cell_special_details",
    "_computing_data_reduction",
    "_diffrn_measurement_method",
    "_diffrn_orient_matrix_type",
    "_diffrn_orient_matrix_UB_11",
    "_diffrn_orient_matrix_UB_12",
    "_diffrn_orient_matrix_UB_13",
    "_diffrn_orient_matrix_UB_21",
    "_diffrn_orient_matrix_UB_22",
    "_diffrn_orient_matrix_UB_23",
    "_diffrn_orient_matrix_UB_31",
    "_diffrn_orient_matrix_UB_32",
    "_diffrn_orient_matrix_UB_33",
    "_diffrn_reflns_number",
    "_diffrn_reflns_av_R_equivalents",
    "_diffrn_reflns_av_sigmaI/netI",
    "_diffrn_reflns_limit_h_min",
    "_diffrn_reflns_limit_h_max",
    "_diffrn_reflns_limit_k_min",
    "_diffrn_reflns_limit_k_max",
    "_diffrn_reflns_limit_l_min",
    "_diffrn_reflns_limit_l_max",
    "_diffrn_reflns_theta_min",
    "_diffrn_reflns_theta_max",
    "_reflns_number_total",
    "_reflns_number_gt",
    "_reflns_threshold_expression",
};

// Items whose value is a number (or '?'): value(esd) or plain.
bool numeric_item(const std::string& name) {
    return name.rfind("_cell_length", 0) == 0 || name.rfind("_cell_angle", 0) == 0 ||
           name == "_cell_volume" || name == "_cell_measurement_wavelength" ||
           name == "_cell_measurement_reflns_used" || name.rfind("_cell_measurement_theta", 0) == 0 ||
           name.rfind("_diffrn_orient_matrix_UB_", 0) == 0 || name == "_diffrn_standards_number" ||
           name == "_diffrn_standards_interval_count" || name == "_diffrn_standards_decay_%" ||
           name.rfind("_diffrn_reflns_", 0) == 0 || name == "_reflns_number_total" || name == "_reflns_number_gt";
}

const std::regex kCifNumber(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?(\(\d+\))?$)");

std::string trimmed(const std::string& s) {
    const std::size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

std::string without_trailing_blanks(const std::string& s) {
    const std::size_t e = s.find_last_not_of(' ');
    return e == std::string::npos ? std::string() : s.substr(0, e + 1);
}

// Value and esd of a CIF number "12.346(3)" in the units of the value.
void parse_value_esd(const std::string& text, double& value, double& esd) {
    const std::size_t open = text.find('(');
    const std::string v = text.substr(0, open);
    value = std::stod(v);
    esd = 0.0;
    if (open == std::string::npos) return;
    const std::size_t point = v.find('.');
    const int decimals = point == std::string::npos ? 0 : static_cast<int>(v.size() - point - 1);
    esd = std::stod(text.substr(open + 1)) * std::pow(10.0, -decimals);
}

class CifFragment : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::make_scratch_dir("tarnivox_cif");
        reset_store();
        close_all_units();
        backend_ = &test::install_quiet_script("", dir_.string());
        G.WORKDIR = dir_.string() + "/";
        G.INFILE = "crystal.rfl";
        G.NSTD = 3;
        G.NSTDINT = 100;
        G.UBFLAG = 1;
        G.CELL = Arr1<double, 7>{{7.5012, 9.1034, 11.2987, 90.0, 101.523, 90.0, 755.12}};
        G.CELLESD = Arr1<double, 7>{{0.0004, 0.0015, 0.0023, 0.0, 0.004, 0.0, 1.5}};
        G.WAVE1 = 0.70930;
        G.NUBREF = 3;
        G.TTHREF(1) = 12.3;
        G.TTHREF(2) = -57.8;  // measured on the negative side: theta 28.9
        G.TTHREF(3) = 30.0;
        const double ub[3][3] = {{0.0123456, -0.0987654, 0.0456789},
                                 {0.1234567, 0.0012345, -0.0345678},
                                 {-0.0234567, 0.0543210, 0.0765432}};
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) G.UB(i, j) = ub[i - 1][j - 1];
        G.NCLASS = Arr1<int, 7>{{5, 10, 20, 30, 40, 7, 3}};
    }
    void TearDown() override {
        set_toolkit_backend(nullptr);
        close_all_units();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path cif() const { return dir_ / "crystal_tarnivox.cif"; }
    std::vector<std::string> messages() const { return test::shown_messages(*backend_); }

    // Writes the fragment and has gemmi read it as the body of a data
    // block; returns the data names with their values (text fields as ";").
    // With figures: the fragment as a batch run writes it after its analysis.
    std::vector<std::pair<std::string, std::string>> create_and_validate(const std::string& label,
                                                                         const CifFigures* figures = nullptr) {
        if (figures != nullptr)
            EXPECT_EQ(write_cif_fragment(cif().string(), figures), 0) << label;
        else
            CREATE_CIF_TARNIVOX();
        const std::string fragment = test::read_text(cif());
        EXPECT_FALSE(fragment.empty()) << label;
        EXPECT_NE(fragment.rfind("data_", 0), 0u) << label << ": a fragment has no block header";
        EXPECT_EQ(fragment.find("\ndata_"), std::string::npos) << label << ": a fragment has no block header";
        EXPECT_EQ(fragment.find('*', fragment.find("_diffrn_standards")), std::string::npos)
            << label << ": asterisks after the banner\n"
            << fragment;
        const fs::path block = dir_ / ("block_" + label + ".cif");
        std::ofstream(block) << "data_tarnivox\n" << fragment;
        const fs::path report = dir_ / ("gemmi_" + label + ".txt");
        const std::string cmd = "gemmi validate '" + block.string() + "' > '" + report.string() + "' 2>&1";
        const int rc = std::system(cmd.c_str());
        EXPECT_EQ(rc, 0) << label << ": gemmi validate: " << test::read_text(report) << "\n" << fragment;
        EXPECT_EQ(trimmed(test::read_text(report)), "") << label;

        std::vector<std::pair<std::string, std::string>> items;
        const auto lines = test::read_lines(cif());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string& l = lines[i];
            if (l.empty() || l[0] != '_') continue;
            const std::size_t blank = l.find(' ');
            const std::string name = l.substr(0, blank);
            std::string value = blank == std::string::npos ? std::string() : trimmed(l.substr(blank));
            if (value.empty() && i + 1 < lines.size() && !lines[i + 1].empty() && lines[i + 1][0] == ';')
                value = ";";
            EXPECT_TRUE(kCoreNames.count(name)) << label << ": " << name << " is not a core data name";
            EXPECT_FALSE(value.empty()) << label << ": " << name << " has no value";
            if (numeric_item(name) && value != "?") {
                EXPECT_TRUE(std::regex_match(value, kCifNumber)) << label << ": " << name << " = " << value;
            }
            items.emplace_back(name, value);
        }
        return items;
    }

    fs::path dir_;
    ScriptBackend* backend_ = nullptr;
};

std::string value_of(const std::vector<std::pair<std::string, std::string>>& items, const std::string& name) {
    for (const auto& [n, v] : items)
        if (n == name) return v;
    return "(absent)";
}

TEST_F(CifFragment, EveryLineOfTheLayoutWithAnOrientationMatrix) {
    CREATE_CIF_TARNIVOX();
    const auto lines = test::read_lines(cif());
    const std::string stars = "#" + std::string(60, '*');
    const std::vector<std::string> expected = {
        stars,
        "#",
        "#  Information concerning data integration",
        "#              generated by Tarnivox v3.53",
        "#",
        stars,
        "",
        "_diffrn_standards_number             3",
        "_diffrn_standards_interval_count   100",
        "_diffrn_standards_decay_%            ?",
        "_computing_cell_refinement           'Tarnivox (Voskel, 2003)'",
        "_cell_length_a        7.5012(4)",
        "_cell_length_b        9.1034(15)",
        "_cell_length_c        11.299(3)",
        "_cell_angle_alpha      90.0000",
        "_cell_angle_beta      101.523(4)",
        "_cell_angle_gamma      90.0000",
        "_cell_volume          755.1(15)",
        "_cell_measurement_wavelength   0.709300",
        "_cell_measurement_pressure       ?",
        "_cell_measurement_temperature    ?",
        "_cell_measurement_reflns_used     3",
        "_cell_measurement_theta_min     6.150",
        "_cell_measurement_theta_max    28.900",
        "_computing_data_reduction           'Tarnivox (Voskel, 2003)'",
        "_diffrn_measurement_method",
        "; omega step scans integrated by full profile fitting",
        ";",
        "",
        "",
        "_diffrn_orient_matrix_type  'As defined by Busing & Levy (1967)'",
        "_diffrn_orient_matrix_UB_11      0.0123456",
        "_diffrn_orient_matrix_UB_12     -0.0987654",
        "_diffrn_orient_matrix_UB_13      0.0456789",
        "_diffrn_orient_matrix_UB_21      0.1234567",
        "_diffrn_orient_matrix_UB_22      0.0012345",
        "_diffrn_orient_matrix_UB_23     -0.0345678",
        "_diffrn_orient_matrix_UB_31     -0.0234567",
        "_diffrn_orient_matrix_UB_32      0.0543210",
        "_diffrn_orient_matrix_UB_33      0.0765432",
        "",
        "",
        "_diffrn_reflns_number             105",  // W+M+R+S+F; I and N not added
    };
    ASSERT_EQ(lines.size(), expected.size()) << test::read_text(cif());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(without_trailing_blanks(lines[i]), expected[i]) << "line " << i + 1;
    // The value(esd) texts fill their 20 columns; the citations end in a blank.
    EXPECT_EQ(lines[11].size(), 22u + 20u);
    EXPECT_EQ(lines[10].back(), ' ');
    EXPECT_EQ(messages(), (std::vector<std::string>{"Cif created successfully",
                                                    "The CIF fragment is in " + cif().string()}));
}

TEST_F(CifFragment, WithoutOrientationMatrixOnlyTheAlwaysLines) {
    G.UBFLAG = 0;
    CREATE_CIF_TARNIVOX();
    const auto lines = test::read_lines(cif());
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(without_trailing_blanks(lines[9]), "_diffrn_standards_decay_%            ?");
    EXPECT_EQ(without_trailing_blanks(lines[10]),
              "_computing_data_reduction           'Tarnivox (Voskel, 2003)'");
    EXPECT_EQ(lines[13], ";");
    EXPECT_EQ(lines[16], "_diffrn_reflns_number             105");
    EXPECT_EQ(test::read_text(cif()).find("_cell"), std::string::npos);
}

TEST_F(CifFragment, ReflectionCountFallsBackToUnclassifiedOnly) {
    EXPECT_EQ(cif_reflection_count(), 105);
    G.NCLASS = Arr1<int, 7>{{0, 0, 0, 0, 0, 4, 250}};  // all N (and some I)
    EXPECT_EQ(cif_reflection_count(), 250);
    G.NCLASS = Arr1<int, 7>{{0, 0, 1, 0, 0, 4, 250}};
    EXPECT_EQ(cif_reflection_count(), 1);
}

// gemmi reads every fragment the store can give.
TEST_F(CifFragment, RealCifParserReadsEveryFragment) {
    auto items = create_and_validate("with_ub");
    EXPECT_EQ(items.size(), 30u);
    // The cell read back agrees with the store within the printed esd.
    const char* cell_names[7] = {"_cell_length_a",    "_cell_length_b",   "_cell_length_c",
                                 "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma",
                                 "_cell_volume"};
    for (int i = 0; i < 7; ++i) {
        double v = 0.0, e = 0.0;
        parse_value_esd(value_of(items, cell_names[i]), v, e);
        EXPECT_NEAR(v, G.CELL(i + 1), std::max(e, 5e-5)) << cell_names[i];
        EXPECT_GE(e, G.CELLESD(i + 1) - 1e-12) << cell_names[i];
    }

    G.UBFLAG = 0;
    items = create_and_validate("without_ub");
    EXPECT_EQ(items.size(), 6u);

    G.UBFLAG = 1;
    G.NCLASS = Arr1<int, 7>{{0, 0, 0, 0, 0, 0, 1234}};
    items = create_and_validate("all_n");
    EXPECT_EQ(value_of(items, "_diffrn_reflns_number"), "1234");

    G.CELL(7) = 2345.6;
    G.CELLESD(7) = 3.0;
    items = create_and_validate("volume_esd_3");
    EXPECT_EQ(value_of(items, "_cell_volume"), "2346(3)");
    G.CELLESD(7) = 25.0;
    items = create_and_validate("volume_esd_25");
    EXPECT_EQ(value_of(items, "_cell_volume"), "2350(30)");

    G.CELL(1) = 12345.6789;
    G.CELLESD(1) = 0.0012;
    items = create_and_validate("ten_columns");
    EXPECT_EQ(value_of(items, "_cell_length_a"), "12345.6789(12)");
}

// The figures of a run's analysis: the decay in place of '?', the
// agreement, limits and totals after the reflection count in the order a
// refinement program's CIF has them; every line of the fragment before
// them as without figures.  An unknown figure is left out, never written
// as a number it is not.
TEST_F(CifFragment, FiguresOfTheRunFollowTheWindowsLinesAndParse) {
    CREATE_CIF_TARNIVOX();
    const std::string plain = test::read_text(cif());
    const auto plain_lines = test::read_lines(cif());
    CifFigures f;
    f.decay_pct = 2.667;
    f.decay_esd_pct = 0.881;
    f.r_equivalents = 0.02334;
    f.sigma_over_net = 0.0096;
    f.theta_min = 4.1302;
    f.theta_max = 24.99;
    f.index_min = {-5, 0, -12};
    f.index_max = {5, 11, 12};
    f.n_total = 636;
    f.n_gt = 512;
    auto items = create_and_validate("figures", &f);
    EXPECT_EQ(value_of(items, "_diffrn_standards_decay_%"), "2.7(9)");
    const std::vector<std::string> tail = {
        "_diffrn_reflns_number             105",
        "_diffrn_reflns_av_R_equivalents     0.0233",
        "_diffrn_reflns_av_sigmaI/netI       0.0096",
        "_diffrn_reflns_limit_h_min              -5",
        "_diffrn_reflns_limit_h_max               5",
        "_diffrn_reflns_limit_k_min               0",
        "_diffrn_reflns_limit_k_max              11",
        "_diffrn_reflns_limit_l_min             -12",
        "_diffrn_reflns_limit_l_max              12",
        "_diffrn_reflns_theta_min             4.130",
        "_diffrn_reflns_theta_max            24.990",
        // Totals beyond the reflections measured (636 and 512 given) are
        // impossible: never more than _diffrn_reflns_number.
        "_reflns_number_total                   105",
        "_reflns_number_gt                      105",
        "_reflns_threshold_expression        'I > 2\\s(I)'",
    };
    const auto lines = test::read_lines(cif());
    ASSERT_EQ(lines.size(), plain_lines.size() + tail.size() - 1);
    for (std::size_t i = 0; i + 1 < plain_lines.size(); ++i)
        EXPECT_EQ(lines[i], plain_lines[i] == "_diffrn_standards_decay_%            ?"
                                ? "_diffrn_standards_decay_%            2.7(9)"
                                : plain_lines[i]);
    for (std::size_t i = 0; i < tail.size(); ++i)
        EXPECT_EQ(lines[lines.size() - tail.size() + i], tail[i]);

    // Unknown figures (no standards fit, nothing merged): '?' and no line.
    CifFigures unknown;
    unknown.n_total = 40;
    unknown.n_gt = 0;
    items = create_and_validate("unknown_figures", &unknown);
    EXPECT_EQ(value_of(items, "_diffrn_standards_decay_%"), "?");
    EXPECT_EQ(value_of(items, "_diffrn_reflns_av_R_equivalents"), "(absent)");
    EXPECT_EQ(value_of(items, "_diffrn_reflns_theta_max"), "(absent)");
    EXPECT_EQ(value_of(items, "_reflns_number_total"), "40");
    // Without figures (the window's "Create Cif") the fragment is as it was.
    CREATE_CIF_TARNIVOX();
    EXPECT_EQ(test::read_text(cif()), plain);
}

// A cell fixed by three reflections without redundancy: its values are
// written without esds (a zero would claim them exact), and the fragment
// says why in a text field that the parser reads as valid CIF.  The values
// a crystal system fixes stay exact without the note.
TEST_F(CifFragment, CellWithoutRedundancyHasNoEsdsAndSaysWhy) {
    G.CELLNOESD = 1;
    G.CELLESD.fill(0.0);
    G.CELL = Arr1<double, 7>{{7.50612, 9.1034, 11.2987, 89.9871, 101.523, 90.0123, 755.12}};
    auto items = create_and_validate("no_redundancy");
    EXPECT_EQ(value_of(items, "_cell_length_a"), "7.5061");
    EXPECT_EQ(value_of(items, "_cell_angle_alpha"), "89.9871");
    EXPECT_EQ(value_of(items, "_cell_special_details"), ";");
    const std::string text = test::read_text(cif());
    EXPECT_NE(text.find("\n;\n The cell is fixed by 3 reflections without redundancy:\n"
                        " its values have no standard uncertainties.\n;\n"),
              std::string::npos)
        << text;

    G.CELLNOESD = 0;
    G.CELL = Arr1<double, 7>{{7.5012, 7.5012, 11.2987, 90.0, 90.0, 120.0, 550.55}};
    G.CELLESD = Arr1<double, 7>{{0.0004, 0.0004, 0.0023, 0.0, 0.0, 0.0, 0.12}};
    items = create_and_validate("hexagonal");
    EXPECT_EQ(value_of(items, "_cell_angle_gamma"), "120.0000");
    EXPECT_EQ(value_of(items, "_cell_special_details"), "(absent)");
}

// Whatever a failed or absent refinement leaves in the store, every data
// name is followed by a value: a number, or CIF's '?' for none.
TEST_F(CifFragment, NoDataNameWithoutAValue) {
    G.NUBREF = 0;
    G.CELLESD.fill(0.0);
    G.CELL(1) = std::numeric_limits<double>::quiet_NaN();
    G.CELL(2) = 1.0e31;
    G.CELL(3) = 1.0e-12;
    G.CELL(7) = 123456789.5;
    G.WAVE1 = 12.5;      // wider than F8.6
    G.UB(1, 1) = 250.0;  // wider than F10.7
    G.NCLASS = Arr1<int, 7>{{123456, 0, 0, 0, 0, 0, 0}};
    G.NSTD = -7;
    const auto items = create_and_validate("odd_store");
    EXPECT_EQ(value_of(items, "_cell_length_a"), "?");
    EXPECT_EQ(value_of(items, "_cell_length_b"), "?");
    EXPECT_EQ(value_of(items, "_cell_length_c"), "0.0000");
    EXPECT_EQ(value_of(items, "_cell_volume"), "123456789.5000");
    EXPECT_EQ(value_of(items, "_cell_measurement_wavelength"), "12.500000");
    EXPECT_EQ(value_of(items, "_diffrn_orient_matrix_UB_11"), "250.0000000");
    EXPECT_EQ(value_of(items, "_cell_measurement_reflns_used"), "0");
    EXPECT_EQ(value_of(items, "_cell_measurement_theta_min"), "90.000");
    EXPECT_EQ(value_of(items, "_cell_measurement_theta_max"), "0.000");
    EXPECT_EQ(value_of(items, "_diffrn_reflns_number"), "123456");
    EXPECT_EQ(value_of(items, "_diffrn_standards_number"), "-7");
}

TEST_F(CifFragment, FileNamedAfterTheInputBesideIt) {
    EXPECT_EQ(cif_file_name("crystal.rfl"), "crystal_tarnivox.cif");
    EXPECT_EQ(cif_file_name("run.2.dat"), "run_tarnivox.cif");
    EXPECT_EQ(cif_file_name("noextension"), "_tarnivox.cif");
    EXPECT_EQ(cif_file_name(std::string(100, 'a') + ".dat"), std::string(80, 'a'));
    // A '.' in the folder's name does not cut the name: the input file's
    // name is held without its folder.
    const fs::path folder = dir_ / "run.2";
    fs::create_directories(folder);
    G.WORKDIR = folder.string() + "/";
    G.INFILE = "crystal.rfl";
    CREATE_CIF_TARNIVOX();
    EXPECT_TRUE(fs::exists(folder / "crystal_tarnivox.cif"));
    EXPECT_FALSE(fs::exists(dir_ / "run_tarnivox.cif"));
}

TEST_F(CifFragment, SecondRunReplacesTheFirst) {
    CREATE_CIF_TARNIVOX();
    G.UBFLAG = 0;
    CREATE_CIF_TARNIVOX();
    EXPECT_EQ(test::read_lines(cif()).size(), 17u);
    const std::string where = "The CIF fragment is in " + cif().string();
    EXPECT_EQ(messages(), (std::vector<std::string>{"Cif created successfully", where,
                                                    "Cif created successfully", where}));
}

// A folder that cannot be written: nothing is written, and the user is
// told instead of being left to look for a file.
TEST_F(CifFragment, UnwritableFolderIsReportedNotAnnounced) {
    G.WORKDIR = (dir_ / "missing" / "folder").string() + "/";
    CREATE_CIF_TARNIVOX();
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
    const auto shown = messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("Cif file could not be created"), std::string::npos);
    EXPECT_EQ(test::script_events(ScriptEvent::Message).size(), 0u);
    // A full disk: no part of a fragment stays.
    G.WORKDIR = dir_.string() + "/";
    set_unit_size_limit(LU_CIF, 300);
    CREATE_CIF_TARNIVOX();
    set_unit_size_limit(LU_CIF, -1);
    EXPECT_FALSE(fs::exists(cif()));
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_NE(messages()[1].find("Cif file could not be written"), std::string::npos);
    // A name that is a folder cannot be opened as a file either.
    fs::create_directories(cif());
    CREATE_CIF_TARNIVOX();
    EXPECT_EQ(messages().size(), 3u);
    EXPECT_TRUE(fs::is_directory(cif()));
}

}  // namespace
}  // namespace tarnivox
