// Damaged copies of simulated data files: a reflection that cannot be read
// whole, or whose values the standard scan file cannot hold, is left out
// and the import says so; a header value outside its physical range stops
// the import naming the value.  Never a silent wrong number.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <unistd.h>
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

// The reflection blocks of a data file: the line where each reflection
// starts, in file order, and the line after the last one's data (the end
// record, when the format has one).
struct Blocks {
    std::vector<std::size_t> start;
    std::size_t end = 0;
    // The reflection (0-based, file order) a line belongs to; -1 for the
    // header and the end record.
    int owner(std::size_t line) const {
        if (start.empty() || line < start.front() || line >= end) return -1;
        int k = 0;
        while (static_cast<std::size_t>(k + 1) < start.size() && start[static_cast<std::size_t>(k) + 1] <= line) ++k;
        return k;
    }
};

Blocks blocks_of(sim::Format f, const std::vector<std::string>& l) {
    Blocks b;
    const LastReflection last = last_reflection(f, l);
    b.end = last.end;
    const std::function<bool(const std::string&)> starts = [f](const std::string& s) {
        switch (f) {
            case sim::Format::Cad4: return s.rfind(" 1 ", 0) == 0;
            case sim::Format::Standard: return s.rfind('R', 0) == 0;
            case sim::Format::Huber: return s.rfind('*', 0) == 0 && s.size() > 100;
            case sim::Format::Xcalibur: return !s.empty() && (s[0] == '#' || s[0] == 'R');
            case sim::Format::Xscans: return s.rfind("  ", 0) == 0 && s.size() == 64;
            case sim::Format::Stoe: return s.rfind(' ', 0) == 0 && s.size() > 40;
            case sim::Format::Febo: return !s.empty() && s[0] >= '0' && s[0] <= '9';
            default: return false;
        }
    };
    for (std::size_t i = 0; i < b.end; ++i)
        if (starts(l[i])) b.start.push_back(i);
    return b;
}

// The same record of the standard scan file.  Angles are held there to
// 1E-4 degrees: the same angle reached by another of the format's ways (an
// older Xcalibur file's Euler line, or the kappa angles converted when it
// is missing) may round to the next digit.
// Febo files number their standards in order of first appearance: when
// the first appearance of a standard is lost, the standards after it are
// numbered anew (`standard_numbers_may_move`).
// An Xcalibur E line is optional: without it the kappa angles give the
// setting, to the kappa conversion's precision near chi 0 (`angle_tol`).
bool same_scan(const Scan& a, const Scan& b, bool standard_numbers_may_move = false, double angle_tol = 1.5e-4) {
    for (std::size_t j = 0; j < 4; ++j)
        if (!(std::fabs(a.angles[j] - b.angles[j]) <= angle_tol)) return false;
    const bool same_standard = a.isctype == b.isctype || (standard_numbers_may_move && a.isctype > 0 && b.isctype > 0);
    return a.nref == b.nref && a.hkl == b.hkl && a.npts == b.npts && a.step == b.step && a.scale == b.scale &&
           same_standard && a.rflag == b.rflag && a.counts == b.counts;
}

std::string described(const Scan& s) {
    std::ostringstream o;
    o << "nref " << s.nref << " angles " << s.angles[0] << " " << s.angles[1] << " " << s.angles[2] << " "
      << s.angles[3] << " npts " << s.npts << " step " << s.step << " scale " << s.scale << " std " << s.isctype
      << " flag " << s.rflag << " counts";
    for (long long c : s.counts) o << " " << c;
    return o.str();
}

std::string described_like(const std::vector<Scan>& clean, const Scan& s) {
    for (const Scan& g : clean)
        if (g.hkl == s.hkl) return described(g);
    return "none";
}

// Classes 1 and 2, every line of every layout: each line of a simulated
// file left out, written twice, or exchanged with the next one.  The import
// then either stops naming the fault, or takes every reflection the damage
// did not touch exactly as from the clean file; a reflection it touched is
// taken unchanged or left out with the import's warning.  Never a changed,
// merged or invented reflection, never a silent loss.
TEST_F(DamageClasses, EveryLineLostDoubledOrMovedIsNeverSilent) {
    struct Layout {
        sim::Format format;
        bool newer;
    };
    enum Kind { Deleted, Doubled, Swapped };
    static const char* const kKindNames[] = {"deleted", "doubled", "swapped with the next"};
    int total = 0, unchanged = 0, reported = 0, stopped = 0, unseen_swaps = 0;
    for (const Layout layout : {Layout{sim::Format::Cad4, true}, Layout{sim::Format::Standard, true},
                                Layout{sim::Format::Xcalibur, true}, Layout{sim::Format::Xcalibur, false},
                                Layout{sim::Format::Stoe, true}, Layout{sim::Format::Xscans, true},
                                Layout{sim::Format::Huber, true}, Layout{sim::Format::Febo, true}}) {
        const sim::Format f = layout.format;
        sim::Result truth;
        sim::Config c;
        c.format = f;
        c.xcal_newer = layout.newer;
        c.nrefl = 7;
        c.npts = 28;
        c.std_interval = 3;
        c.seed = 77;
        config_ = c;
        const std::string file = path("good." + sim::extension_of(f));
        truth = sim::simulate(c, file, path("good.par"), "");
        const std::vector<std::string> lines = split_lines(text_of(file));
        const Blocks blocks = blocks_of(f, lines);
        ASSERT_EQ(blocks.start.size(), truth.refl.size()) << sim::extension_of(f);
        ASSERT_EQ(import_text(f, join_lines(lines), truth.step_to_enter), "");
        const std::vector<Scan> clean = walk_scan_file();
        // The clean record of each reflection block (none: left out by design).
        std::vector<const Scan*> record_of(truth.refl.size(), nullptr);
        for (std::size_t k = 0, n = 0; k < truth.refl.size(); ++k)
            if (truth.refl[k].in_data_set) record_of[k] = &clean.at(n++);

        for (std::size_t i = 0; i < lines.size(); ++i) {
            for (const Kind kind : {Deleted, Doubled, Swapped}) {
                if (kind == Swapped && i + 1 >= lines.size()) continue;
                std::vector<std::string> bad = lines;
                std::vector<int> touched = {blocks.owner(i)};
                // Without its end record a file ends right after the last
                // reflection's counts, as a file cut there does.
                if (i >= blocks.end) touched.push_back(static_cast<int>(blocks.start.size()) - 1);
                if (kind == Deleted) bad.erase(bad.begin() + static_cast<std::ptrdiff_t>(i));
                if (kind == Doubled) bad.insert(bad.begin() + static_cast<std::ptrdiff_t>(i), lines[i]);
                if (kind == Swapped) {
                    // Two count lines of one scan of the same layout exchanged
                    // keep every property a reader can check: the profile is
                    // reordered, not damaged in form.  Counted, not judged.
                    // The same holds for two header lines of one kind (two
                    // standards, two rows of a matrix): the order is all
                    // that tells them apart.
                    const bool starts_block =
                        std::find(blocks.start.begin(), blocks.start.end(), i) != blocks.start.end();
                    if (blocks.owner(i) == blocks.owner(i + 1) && !starts_block && !lines[i].empty() &&
                        lines[i].size() == lines[i + 1].size() && lines[i][0] == lines[i + 1][0]) {
                        ++unseen_swaps;
                        continue;
                    }
                    std::swap(bad[i], bad[i + 1]);
                    touched.push_back(blocks.owner(i + 1));
                    // A reflection's first line moved after its next line
                    // moves where the reflection before it ends.
                    if (starts_block) touched.push_back(blocks.owner(i) - 1);
                }
                SCOPED_TRACE(sim::extension_of(f) + (layout.newer ? "" : " (older layout)") + " line " +
                             std::to_string(i + 1) + " [" + lines[i] + "] " + kKindNames[kind]);
                ++total;
                const std::string stop = import_text(f, join_lines(bad), truth.step_to_enter);
                if (!stop.empty()) {
                    ++stopped;
                    continue;
                }
                const std::vector<Scan> got = walk_scan_file();
                const std::vector<std::string> shown = messages();
                const bool warned = std::any_of(shown.begin(), shown.end(), [](const std::string& m) {
                    return m == kWarning || m == "No reflection read from data file";
                });
                const bool renumbered = f == sim::Format::Febo && warned;
                // A deleted E line leaves a file the layout allows.
                const double angle_tol =
                    f == sim::Format::Xcalibur && kind == Deleted && lines[i].rfind('E', 0) == 0 ? 0.1 : 1.5e-4;
                for (const Scan& s : got)
                    EXPECT_TRUE(std::any_of(clean.begin(), clean.end(), [&](const Scan& g) { return same_scan(g, s, renumbered, angle_tol); }))
                        << "reflection " << s.nref << " " << s.hkl[0] << " " << s.hkl[1] << " " << s.hkl[2]
                        << " is not as in the clean file: " << described(s) << " clean: " << described_like(clean, s);
                bool lost = false;
                for (std::size_t k = 0; k < truth.refl.size(); ++k) {
                    if (record_of[k] == nullptr) continue;
                    const bool kept = std::any_of(got.begin(), got.end(), [&](const Scan& s) { return same_scan(s, *record_of[k], renumbered, angle_tol); });
                    if (kept) continue;
                    lost = true;
                    const bool hit = std::find(touched.begin(), touched.end(), static_cast<int>(k)) != touched.end();
                    EXPECT_TRUE(hit) << "reflection " << record_of[k]->nref << ", untouched, is not taken as in the clean file";
                }
                if (lost) {
                    EXPECT_TRUE(warned) << "a reflection is lost without a word";
                    ++reported;
                } else {
                    ++unchanged;
                }
            }
        }
    }
    RecordProperty("damages", total);
    RecordProperty("unchanged", unchanged);
    RecordProperty("reported", reported);
    RecordProperty("stopped", stopped);
    RecordProperty("unseen_swaps", unseen_swaps);
    std::printf("line damages %d: taken unchanged %d, reflections left out with the warning %d, import stopped %d; "
                "count-line swaps no reader can see %d\n",
                total, unchanged, reported, stopped, unseen_swaps);
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

// The reflections of `clean` less those numbered in `lost`, each as it was.
void expect_all_but(const std::vector<Scan>& got, const std::vector<Scan>& clean, std::vector<int> lost) {
    std::vector<const Scan*> want;
    for (const Scan& s : clean)
        if (std::find(lost.begin(), lost.end(), s.nref) == lost.end()) want.push_back(&s);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_TRUE(same_scan(got[i], *want[i])) << described(got[i]) << " wanted " << described(*want[i]);
}

std::string joined_messages(const std::vector<std::string>& m) {
    std::string out;
    for (const std::string& t : m) out += "[" + t + "]";
    return out;
}

std::size_t nth_line(const std::vector<std::string>& lines, const std::function<bool(const std::string&)>& is, int n) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (is(lines[i]) && --n == 0) return i;
    return lines.size();
}

// STOE: the count lines declare their steps.  A lost reflection line no
// longer hands its counts to the reflection before it (which stays as it
// was), and a count line lost or written twice leaves its reflection out
// with the warning, never merged or stretched.
TEST_F(DamageClasses, StoeDeclaredStepCountTellsALostOrDoubledLine) {
    sim::Result truth;
    const std::vector<std::string> lines = split_lines(simulated(sim::Format::Stoe, 6, truth));
    ASSERT_EQ(import_text(sim::Format::Stoe, join_lines(lines), 0.0), "");
    const std::vector<Scan> clean = walk_scan_file();
    ASSERT_EQ(clean.size(), 6u);
    const auto is_reflection = [](const std::string& s) { return s.rfind(' ', 0) == 0 && s.size() > 40; };
    const auto is_counts = [](const std::string& s) { return s.rfind('P', 0) == 0; };

    std::vector<std::string> bad = lines;
    bad.erase(bad.begin() + static_cast<std::ptrdiff_t>(nth_line(lines, is_reflection, 3)));
    ASSERT_EQ(import_text(sim::Format::Stoe, join_lines(bad), 0.0), "");
    EXPECT_EQ(messages().back(), kWarning);
    expect_all_but(walk_scan_file(), clean, {3});

    for (const int which : {1, 2, 4}) {  // first, last line of reflection 1; first of reflection 2
        SCOPED_TRACE("count line " + std::to_string(which));
        const std::size_t at = nth_line(lines, is_counts, which);
        const int owner = which <= 2 ? 1 : 2;
        bad = lines;
        bad.insert(bad.begin() + static_cast<std::ptrdiff_t>(at), lines[at]);
        ASSERT_EQ(import_text(sim::Format::Stoe, join_lines(bad), 0.0), "");
        EXPECT_EQ(messages().back(), kWarning);
        expect_all_but(walk_scan_file(), clean, {owner});
        bad = lines;
        bad.erase(bad.begin() + static_cast<std::ptrdiff_t>(at));
        ASSERT_EQ(import_text(sim::Format::Stoe, join_lines(bad), 0.0), "");
        EXPECT_EQ(messages().back(), kWarning);
        expect_all_but(walk_scan_file(), clean, {owner});
    }

    // A declared count that is not the number of counts.
    bad = lines;
    std::string& first = bad[nth_line(lines, is_counts, 1)];
    first = "P" + std::to_string(truth.refl[0].npts + 1) + first.substr(first.find(' '));
    ASSERT_EQ(import_text(sim::Format::Stoe, join_lines(bad), 0.0), "");
    EXPECT_EQ(messages().back(), kWarning);
    expect_all_but(walk_scan_file(), clean, {1});
}

// Xcalibur: a first reflection that lost its line is reported like any
// later one; a header without a usable scan width or step count stops the
// import naming the value, instead of steps of 0 or a width of 99 degrees.
TEST_F(DamageClasses, XcaliburReportsAnOrphanedFirstReflectionAndRefusesUnusableScanConstants) {
    sim::Result truth;
    const std::vector<std::string> lines = split_lines(simulated(sim::Format::Xcalibur, 4, truth));
    ASSERT_EQ(import_text(sim::Format::Xcalibur, join_lines(lines), 0.0), "");
    const std::vector<Scan> clean = walk_scan_file();
    std::vector<std::string> bad = lines;
    const std::size_t first = nth_line(lines, [](const std::string& s) { return s[0] == '#' || s[0] == 'R'; }, 1);
    bad.erase(bad.begin() + static_cast<std::ptrdiff_t>(first));
    ASSERT_EQ(import_text(sim::Format::Xcalibur, join_lines(bad), 0.0), "");
    EXPECT_EQ(messages().back(), kWarning);
    expect_all_but(walk_scan_file(), clean, {clean.front().nref});

    const std::size_t sc = nth_line(lines, [](const std::string& s) { return s.rfind("P sc s", 0) == 0; }, 1);
    const std::size_t mo = nth_line(lines, [](const std::string& s) { return s.rfind("P mo s", 0) == 0; }, 1);
    struct Case {
        std::size_t line;
        std::string text;  // empty: the line is left out
        const char* named;
    };
    const Case cases[] = {{sc, "", "scan width 0"},
                          {sc, "P sc s    1.000 sc w   0.000  0.000   1.0000", "scan width 0"},
                          {sc, "P sc s    1.000 sc w  99.000  0.500   1.0000", "scan width 99"},
                          {sc, "P sc s    1.000 sc w  -1.200  0.500   1.0000", "scan width -1.2"},
                          {sc, "P sc s    1.000 sc w   1.200 -0.500   1.0000", "scan width tan(theta) term -0.5"},
                          {mo, "", "number of steps 0"},
                          {mo, "P mo s       -5", "number of steps -5"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        bad = lines;
        if (c.text.empty())
            bad.erase(bad.begin() + static_cast<std::ptrdiff_t>(c.line));
        else
            bad[c.line] = c.text;
        EXPECT_EQ(import_text(sim::Format::Xcalibur, join_lines(bad), 0.0), "READ ERROR ON HEADER OF SCAN FILE");
        const auto m = messages();
        EXPECT_NE(std::find(m.begin(), m.end(), std::string("Implausible value in data file header: ") + c.named),
                  m.end())
            << joined_messages(m);
    }
}

// Febo: the data end with the record 0 0 0.  A file without it was cut
// and says so, even between two reflections; counts missing at the end of
// a reflection are never taken from the end record (nor from the next
// reflection's record).
TEST_F(DamageClasses, FeboFileWithoutItsEndRecordIsReportedCut) {
    sim::Result truth;
    const std::vector<std::string> lines = split_lines(simulated(sim::Format::Febo, 5, truth));
    ASSERT_EQ(import_text(sim::Format::Febo, join_lines(lines), truth.step_to_enter), "");
    const std::vector<Scan> clean = walk_scan_file();
    ASSERT_EQ(clean.size(), 5u);
    const auto is_record = [](const std::string& s) { return !s.empty() && s[0] >= '0' && s[0] <= '9'; };

    std::vector<std::string> bad(lines.begin(), lines.end() - 1);  // no end record
    ASSERT_EQ(import_text(sim::Format::Febo, join_lines(bad), truth.step_to_enter), "");
    EXPECT_EQ(messages().back(), kWarning);
    expect_all_but(walk_scan_file(), clean, {});

    const std::size_t fourth = nth_line(lines, is_record, 4);  // cut before reflection 4
    bad.assign(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(fourth));
    ASSERT_EQ(import_text(sim::Format::Febo, join_lines(bad), truth.step_to_enter), "");
    EXPECT_EQ(messages().back(), kWarning);
    expect_all_but(walk_scan_file(), clean, {4, 5});

    // The last count record of reflection 5, then of reflection 3, left out.
    for (const std::size_t before : {lines.size() - 1, fourth}) {
        bad = lines;
        bad.erase(bad.begin() + static_cast<std::ptrdiff_t>(before) - 1);
        ASSERT_EQ(import_text(sim::Format::Febo, join_lines(bad), truth.step_to_enter), "");
        EXPECT_EQ(messages().back(), kWarning);
        expect_all_but(walk_scan_file(), clean, {before == fourth ? 3 : 5});
    }
}

// Every reader ends on a file without line ends (a device such as
// /dev/zero is refused at the open; a file of zero bytes stands in for
// it): a record longer than any file of the program holds is a read
// error, not a read without end.
TEST_F(DamageClasses, EveryReaderEndsOnAFileWithoutLineEnds) {
    const std::string zeros = (std::filesystem::temp_directory_path() /
                               ("tarnivox_zeros_" + std::to_string(::getpid()))).string();
    {
        std::ofstream out(zeros, std::ios::binary);
        out << std::string(300000, '\0');
    }
    for (int infmt = 1; infmt <= 7; ++infmt) {
        SCOPED_TRACE("format " + std::to_string(infmt));
        const bool asks_step = infmt == 2 || infmt == 6;
        fresh_run(asks_step ? step_answer(0.02) : "");
        if (asks_step) preset_step(0.02);
        G.NWAVE = 2;
        G.WAVE1 = 0.7093;
        G.WAVE2 = 0.71359;
        G.A2RATIO = 0.5;
        G.ATTEN = 12.5;
        G.INFMT = infmt;
        G.INFILE = "zero";
        ASSERT_EQ(open_unit(LU_INPUT, zeros, OpenMode::Read), 0);
        int status = 0;
        std::string stop;
        try {
            CONVERT_FILE(status);
        } catch (const ProgramEnd& e) {
            stop = e.message;
        }
        EXPECT_NE(stop, "");
        EXPECT_LT(G.NREFREAD, 1);
    }
    std::filesystem::remove(zeros);
}

}  // namespace
}  // namespace tarnivox::importtest
