// Damaged copies of simulated data files: a reflection that cannot be read
// whole, or whose values the standard scan file cannot hold, is left out
// and the import says so; a header value outside its physical range stops
// the import naming the value.  Never a silent wrong number.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

#include "core/exitint.h"
#include "core/store.h"
#include "import/convert.h"
#include "import_fixture.h"
#include "io/units.h"

namespace tarnivox::importtest {
namespace {

constexpr char kWarning[] = "Error Reading at least 1 reflection in data file";

std::string text_of(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::string join_lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

class DamageClasses : public ImportTest {
protected:
    // A simulated data set of format f, its text and truth.
    std::string simulated(sim::Format f, int nrefl, sim::Result& truth, bool newer_xcalibur = true) {
        sim::Config c;
        c.format = f;
        c.xcal_newer = newer_xcalibur;
        c.nrefl = nrefl;
        c.npts = 24;
        c.std_interval = 50;
        config_ = c;
        const std::string file = path("good." + sim::extension_of(f));
        truth = sim::simulate(c, file, path("good.par"), "");
        return text_of(file);
    }

    // Imports `text` as a file of format f; the message of a stop, or "".
    std::string import_text(sim::Format f, const std::string& text, double step) {
        const std::string file = write_file("bad." + sim::extension_of(f), text);
        const bool asks_step = f == sim::Format::Huber || f == sim::Format::Febo;
        fresh_run(asks_step ? step_answer(step) : "");
        if (asks_step) preset_step(step);
        set_instrument(config_);
        G.INFMT = static_cast<int>(f);
        G.INFILE = "bad";
        G.WORKDIR = dir_.string() + "/";
        if (open_unit(LU_INPUT, file, OpenMode::Read) != 0) return "cannot open";
        int status = 0;
        try {
            CONVERT_FILE(status);
        } catch (const ProgramEnd& e) {
            return e.message;
        }
        return "";
    }

    sim::Config config_;
};

// Where the last reflection of a file starts (the index of its first line)
// and where the data end (the index of a closing line, or the line count).
struct LastReflection {
    std::size_t first = 0, end = 0;
};

LastReflection last_reflection(sim::Format f, const std::vector<std::string>& l) {
    const auto last_where = [&](const std::function<bool(const std::string&)>& is_start) {
        std::size_t at = 0;
        for (std::size_t i = 0; i < l.size(); ++i)
            if (is_start(l[i])) at = i;
        return at;
    };
    const std::size_t n = l.size();
    switch (f) {
        case sim::Format::Cad4: return {last_where([](const std::string& s) { return s.rfind(" 1 ", 0) == 0; }), n - 1};
        case sim::Format::Standard: return {last_where([](const std::string& s) { return s.rfind('R', 0) == 0; }), n};
        case sim::Format::Huber:
            return {last_where([](const std::string& s) { return s.rfind('*', 0) == 0 && s.size() > 100; }), n};
        case sim::Format::Xcalibur:
            return {last_where([](const std::string& s) { return !s.empty() && (s[0] == '#' || s[0] == 'R'); }), n};
        case sim::Format::Xscans:
            return {last_where([](const std::string& s) { return s.rfind("  ", 0) == 0 && s.size() == 64; }), n};
        case sim::Format::Stoe:
            return {last_where([](const std::string& s) { return s.rfind(' ', 0) == 0 && s.size() > 40; }), n - 1};
        case sim::Format::Febo:
            return {last_where([&](const std::string& s) { return !s.empty() && s[0] >= '0' && s[0] <= '9' && &s != &l.back(); }),
                    n - 1};
        default: break;
    }
    return {0, n};
}

// Classes 4, 5 and 6: a file cut inside its last reflection (inside a
// count line, at a line end, inside the reflection line) loses that
// reflection with the import's warning: no zeros in place of the missing
// counts, no silent loss, no record 0 0 0.  The standard scan file is the
// program's own working file; a cut one is refused as a whole.
TEST_F(DamageClasses, FileCutInsideItsLastReflectionLeavesItOutAndSaysSo) {
    struct Layout {
        sim::Format format;
        bool newer;  // Xcalibur: the layout with a "Version" comment
    };
    for (const Layout layout : {Layout{sim::Format::Cad4, true}, Layout{sim::Format::Standard, true},
                                Layout{sim::Format::Xcalibur, true}, Layout{sim::Format::Xcalibur, false},
                                Layout{sim::Format::Stoe, true}, Layout{sim::Format::Xscans, true},
                                Layout{sim::Format::Huber, true}, Layout{sim::Format::Febo, true}}) {
        const sim::Format f = layout.format;
        sim::Result truth;
        const std::string good = simulated(f, 5, truth, layout.newer);
        const std::vector<std::string> lines = split_lines(good);
        const LastReflection last = last_reflection(f, lines);
        ASSERT_GT(last.first, 0u) << sim::extension_of(f);
        std::size_t start = 0;  // byte offset of the last reflection's first line
        for (std::size_t i = 0; i < last.first; ++i) start += lines[i].size() + 1;
        std::size_t stop = start;
        for (std::size_t i = last.first; i < last.end; ++i) stop += lines[i].size() + 1;
        const int whole = static_cast<int>(std::count_if(truth.refl.begin(), truth.refl.end(),
                                                         [](const sim::Truth& t) { return t.in_data_set; }));
        const int last_nref = truth.refl.back().nref;
        // Cuts spread over the reflection, always short of its last byte.
        for (std::size_t k = 1; k <= 6; ++k) {
            const std::size_t cut = start + (stop - 1 - start) * k / 7;
            SCOPED_TRACE(sim::extension_of(f) + " cut at byte " + std::to_string(cut));
            const std::string stopped = import_text(f, good.substr(0, cut), truth.step_to_enter);
            if (f == sim::Format::Standard) {
                EXPECT_EQ(stopped, "READ ERROR ON SCAN FILE");
                continue;
            }
            ASSERT_EQ(stopped, "");
            EXPECT_EQ(messages().back(), kWarning);
            const std::vector<Scan> got = walk_scan_file();
            EXPECT_EQ(static_cast<int>(got.size()), whole - 1);
            for (const Scan& s : got) {
                EXPECT_NE(s.nref, last_nref);
                EXPECT_FALSE(s.hkl[0] == 0 && s.hkl[1] == 0 && s.hkl[2] == 0);
            }
        }
    }
}

// Class 3: values the scan file cannot hold (they would be written as
// asterisks and stop the fitting run when read back) are refused at import
// and counted in its warning; the rest of the data set is written.
TEST_F(DamageClasses, ValuesTheScanFileCannotHoldAreRefusedAtImport) {
    struct Case {
        sim::Format format;
        const char* what;
        std::function<bool(std::string&)> alter;  // changes the third reflection
    };
    int seen = 0;
    const Case cases[] = {
        {sim::Format::Febo, "index -12345",
         [&seen](std::string& l) {
             if (l.empty() || l[0] < '0' || l[0] > '9' || ++seen != 3) return false;
             const std::size_t h = l.find_first_not_of(' ', l.find(' '));
             l = l.substr(0, h) + "-12345" + l.substr(l.find(' ', h));
             return true;
         }},
        {sim::Format::Stoe, "count 1.9E14",
         [&seen](std::string& l) {
             if (l.rfind('P', 0) != 0 || ++seen != 7) return false;
             const std::size_t a = l.find(' ') + 1;
             l = l.substr(0, a) + "190000000000000" + l.substr(l.find(' ', a));
             return true;
         }},
        {sim::Format::Xscans, "2theta 1E309",
         [&seen](std::string& l) {
             if (l.rfind("  ", 0) != 0 || l.size() != 64 || ++seen != 3) return false;
             l.replace(19, 8, "   1E309");
             return true;
         }},
        {sim::Format::Stoe, "phi 1.0E+20",
         [&seen](std::string& l) {
             if (l.rfind(' ', 0) != 0 || l.size() < 40 || ++seen != 3) return false;
             l = l.substr(0, l.find_last_of(' ') + 1) + "1.0E+20";
             return true;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        seen = 0;
        sim::Result truth;
        std::vector<std::string> lines = split_lines(simulated(c.format, 6, truth));
        bool altered = false;
        for (std::string& l : lines) altered = c.alter(l) || altered;
        ASSERT_TRUE(altered);
        ASSERT_EQ(import_text(c.format, join_lines(lines), truth.step_to_enter), "");
        EXPECT_EQ(messages().back(), kWarning);
        const std::vector<Scan> got = walk_scan_file();
        EXPECT_EQ(got.size(), truth.refl.size() - 1);
        for (const Scan& s : got) {
            for (double a : s.angles) EXPECT_LT(std::fabs(a), 1.0e4);
            EXPECT_LT(s.scale, 1.0e4);
        }
    }
}

// Class 7: an import that finds no reflection says so, not "Data File read
// in successfully".
TEST_F(DamageClasses, ImportWithoutAnyReflectionSaysNoneWasRead) {
    sim::Result truth;
    simulated(sim::Format::Huber, 2, truth);
    EXPECT_EQ(import_text(sim::Format::Huber, "", truth.step_to_enter), "");
    EXPECT_EQ(messages().back(), "No reflection read from data file");

    // A STOE file written with tabs: no line starts with the blank of a
    // reflection line.
    std::string tabbed = simulated(sim::Format::Stoe, 3, truth);
    const std::size_t data = tabbed.find("DATA\n") + 5;
    for (std::size_t i = data; i < tabbed.size(); ++i)
        if (tabbed[i] == ' ') tabbed[i] = '\t';
    EXPECT_EQ(import_text(sim::Format::Stoe, tabbed, 0.0), "");
    EXPECT_EQ(messages().back(), "No reflection read from data file");
    EXPECT_TRUE(walk_scan_file().empty());

    // An Xcalibur header whose scans have more steps than a scan record
    // holds: every reflection is left out, and nothing reads past the
    // record (found by the reader fuzzer).
    std::vector<std::string> lines = split_lines(simulated(sim::Format::Xcalibur, 3, truth));
    for (std::string& l : lines)
        if (l.rfind("P mo s", 0) == 0) l = "P mo s      600";
    EXPECT_EQ(import_text(sim::Format::Xcalibur, join_lines(lines), 0.0), "");
    EXPECT_EQ(messages().back(), "No reflection read from data file");
}

// Class 8, headers: a wavelength, attenuator factor or orientation matrix
// from a data-file header outside its physical range stops the import
// with a box naming the value.
TEST_F(DamageClasses, ImplausibleHeaderValuesStopTheImportNamingTheValue) {
    struct Case {
        sim::Format format;
        std::function<void(std::vector<std::string>&)> alter;
        const char* named;
    };
    const Case cases[] = {
        {sim::Format::Cad4,
         [](std::vector<std::string>& l) {
             for (std::string& s : l)
                 if (s.rfind("32", 0) == 0) s.replace(42, 9, "  1.0E11 ");
         },
         "alpha2 wavelength 1E+11"},
        {sim::Format::Febo, [](std::vector<std::string>& l) { l[4].replace(3, 10, "   1.0E11 "); },
         "orientation matrix element"},
        {sim::Format::Standard,
         [](std::vector<std::string>& l) {
             const auto u = std::find_if(l.begin(), l.end(), [](const std::string& s) { return s.rfind('U', 0) == 0; });
             *u = "U 1.0E11 0.0 0.0";
         },
         "orientation matrix element 1E+11"},
        {sim::Format::Xcalibur,
         [](std::vector<std::string>& l) {
             const auto u = std::find_if(l.begin(), l.end(), [](const std::string& s) { return s.rfind('U', 0) == 0; });
             u->replace(1, 12, "      1.0E11");
         },
         "orientation matrix element"},
        {sim::Format::Xscans,
         [](std::vector<std::string>& l) {
             for (std::string& s : l)
                 if (s.rfind("SOURCE", 0) == 0) s.replace(24, 7, "-0.7093");
         },
         "alpha1 wavelength -0.7093"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::extension_of(c.format));
        sim::Result truth;
        std::vector<std::string> lines = split_lines(simulated(c.format, 3, truth));
        c.alter(lines);
        EXPECT_EQ(import_text(c.format, join_lines(lines), truth.step_to_enter), "READ ERROR ON HEADER OF SCAN FILE");
        const auto m = messages();
        EXPECT_TRUE(std::any_of(m.begin(), m.end(), [&](const std::string& s) {
            return s.rfind("Implausible value in data file header: ", 0) == 0 && s.find(c.named) != std::string::npos;
        })) << (m.empty() ? std::string("no message") : m.front());
    }
}

}  // namespace
}  // namespace tarnivox::importtest
