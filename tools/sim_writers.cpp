// The simulator's data files, each written as its instrument writes it.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/store.h"
#include "import/stddata.h"
#include "io/layout.h"
#include "io/units.h"
#include "sim_plan.h"

namespace tarnivox::sim {
namespace {

using Out = std::ofstream;

void line(Out& out, std::string_view layout, std::initializer_list<OutItem> items = {}) {
    out << format_record(layout, items) << '\n';
}

std::string margin(const Plan& p) { return std::string(static_cast<std::size_t>(p.cfg.cad4_margin), ' '); }

// The random pattern of a layout's optional and variable elements (the
// simulator's --variants).  Off, it draws nothing and every element keeps
// its plain form; on, it draws from its own stream, so the reflections and
// counts stay those of the seed.
class Variation {
public:
    explicit Variation(const Config& c) : on_(c.variants), rng_(c.seed * 0x9E3779B97F4A7C15ULL + 0x5EEDULL) {}
    bool on() const { return on_; }
    bool chance(double p) { return on_ && std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p; }
    // A whole number in lo..hi when on, else `plain`.
    int pick(int lo, int hi, int plain) {
        return on_ ? std::uniform_int_distribution<int>(lo, hi)(rng_) : plain;
    }
    template <class T>
    const T& one_of(const std::vector<T>& list) {
        return list[static_cast<std::size_t>(pick(0, static_cast<int>(list.size()) - 1, 0))];
    }
    template <class T>
    void shuffle(std::vector<T>& list) {
        if (on_) std::shuffle(list.begin(), list.end(), rng_);
    }

private:
    bool on_;
    std::mt19937_64 rng_;
};

// The blank-separated values of a record, joined again by `separator`.
template <class Separator>
std::string rejoined(const std::string& record, Separator separator) {
    std::istringstream in(record);
    std::string out, value;
    for (bool first = true; in >> value; first = false) out += (first ? "" : separator()) + value;
    return out;
}

// ---------------------------------------------------------------- CAD4
void write_cad4(const Plan& p, Out& out, Variation& v) {
    // The margin is the file's (0 to 4 columns); the header records come
    // in any order, with spare records (codes 23 to 33 that carry nothing
    // read) among them; the block of standards ends at the next record.
    const std::string m = v.on() ? std::string(static_cast<std::size_t>(v.pick(0, 4, 0)), ' ') : margin(p);
    auto spare = [&v] {
        return format_record("(I2,6X,A20)",
                             {v.one_of(std::vector<int>{23, 24, 25, 26, 29, 30, 31, 33}), "spare record"});
    };
    std::vector<std::vector<std::string>> blocks;
    blocks.push_back({format_record("(I2,46X,I2,I4)", {22, p.cad4_p1, p.cad4_p2})});
    std::vector<std::string> standards{format_record("(I2)", {27})};
    for (const auto& h : p.standards) standards.push_back(format_record("(4X,3I3)", {h[0], h[1], h[2]}));
    standards.push_back(v.chance(0.5) ? spare() : format_record("(I2)", {28}));
    blocks.push_back(standards);
    blocks.push_back({format_record("(I2,31X,3F9.5)", {32, p.cfg.wave1, p.cfg.wave2, p.cfg.atten})});
    v.shuffle(blocks);
    out << m << format_record("(I2,6X,A28)", {21, p.cfg.title}) << '\n';
    for (const auto& block : blocks) {
        if (v.chance(0.5)) out << m << spare() << '\n';
        for (const std::string& rec : block) out << m << rec << '\n';
    }
    static const std::vector<char> kSpareFlags{' ', 'A', 'B', 'C', 'D', 'E', 'G', 'H'};
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        std::string flags = "      ";
        if (s.standard) flags[0] = 'I';
        if (s.left_out) flags[1] = 'X';
        if (s.weak) flags[3] = 'W';
        for (const std::size_t spare_flag : {2u, 4u, 5u})
            if (v.chance(0.5)) flags[spare_flag] = v.one_of(kSpareFlags);
        out << m
            << format_record("(I2,I6,3I5,1X,A6,7X,I4)",
                             {1, t.nref, t.hkl[0], t.hkl[1], t.hkl[2], flags, s.speed_code})
            << '\n';
        const std::array<double, 4>& k = s.kappa;
        out << m << format_record("(I2,I6,F8.3,3F9.3,F7.3)", {2, t.nref, k[0], k[1], k[2], k[3], s.width})
            << '\n';
        for (int j = 3; j <= 10; ++j) {
            std::string rec = format_record("(I2,I6)", {j, t.nref});
            for (int i = 0; i < 12; ++i) {
                if (i % 3 == 0) rec += ' ';
                rec += format_int(t.counts[static_cast<std::size_t>(12 * (j - 3) + i)], 4);
            }
            out << m << rec << '\n';
        }
    }
    // The end mark may be missing: the end of the file ends the data too.
    if (!v.chance(0.5)) out << m << "$\n";
}

// ---------------------------------------------------------------- STOE
void write_stoe(const Plan& p, Out& out, Variation& v) {
    // Header lines in any order, keywords in either case, lines without a
    // keyword and lines whose first four columns are blank among them.
    auto keyword = [&v](const char* k) {
        std::string w = k;
        if (v.chance(0.5))
            for (char& c : w) c = static_cast<char>(c - 'A' + 'a');
        return w;
    };
    std::vector<std::string> header;
    header.push_back(keyword("TITL") + p.cfg.title);
    header.push_back(keyword("WAVE") + format_record("(3F10.5)", {0.0, p.cfg.wave1, p.cfg.wave2}));
    header.push_back(keyword("SCAN") + format_record("(2F8.3,F9.4)", {0.8, 0.5, p.cfg.step}));
    std::string stds = keyword("STDS") + " ";
    stds += std::to_string(p.standards.size());
    stds += " 100.0";
    for (const auto& h : p.standards)
        for (int k = 0; k < 3; ++k) {
            stds += ' ';
            stds += std::to_string(h[static_cast<std::size_t>(k)]);
        }
    header.push_back(stds);
    if (v.chance(0.5)) header.push_back("REMARK from the simulator");
    if (v.chance(0.5)) header.push_back("      indented remark");
    v.shuffle(header);
    for (const std::string& h : header) out << h << '\n';
    out << "DATA\n";
    auto blanks = [&v] { return std::string(static_cast<std::size_t>(v.pick(1, 3, 1)), ' '); };
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        const double om = t.angles[1] + 0.5 * t.angles[0];
        const std::string rec =
            format_record("(1X,3I4,I4,2F8.2,2I3,I6,I2,F8.2,I3,4F10.4)",
                          {t.hkl[0], t.hkl[1], t.hkl[2], s.standard ? 40 : 1, 0.5, 0.25, 0, 0, s.speed_code,
                           s.attenuated ? 1 : 0, 1.0, 0, t.angles[0], om, t.angles[2], t.angles[3]});
        // Free format: any run of blanks between the values.
        out << (v.on() ? " " + rejoined(rec, blanks) : rec) << '\n';
        // The first value of the count lines is the number of steps; the
        // counts follow, single blanks apart, any number to a line of up to
        // 80 columns.
        std::string line = "P";
        line += std::to_string(t.npts);
        int on_line = 1;
        const int limit = v.pick(4, 20, 16);
        for (long long c : t.counts) {
            // A count line is read to column 80.
            const bool full = v.on() && line.size() + 1 + std::to_string(c).size() > 80;
            if (on_line == limit || full) {
                out << line << '\n';
                line.assign(1, 'P');
                on_line = 0;
            }
            if (on_line != 0) line += ' ';
            line += std::to_string(c);
            on_line += 1;
        }
        out << line << '\n';
    }
    out << (v.on() ? " " + rejoined("0 0 0", blanks) : std::string("   0   0   0")) << '\n';
}

// ---------------------------------------------------------------- Huber
void write_huber(const Plan& p, Out& out, Variation& v) {
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        const auto count = [&](int i) { return i < t.npts ? t.counts[static_cast<std::size_t>(i)] : 0LL; };
        // The last count line may stop at the scan's last count.
        const bool short_last = v.chance(0.5);
        const auto fields = [&](int first) {
            const int n = short_last ? std::min(21, t.npts - first) : 21;
            std::string rec;
            for (int i = 0; i < n; ++i) rec += format_int(count(first + i), 6);
            return rec;
        };
        std::string rec = "*";
        rec += format_int(t.npts, 3);
        rec += format_int(s.speed_code, 2);
        out << rec << fields(0) << '\n';
        for (int j = 1; j <= (t.npts - 1) / 21; ++j) out << std::string(6, ' ') << fields(21 * j) << '\n';
        // A '*' reflection line is replaced by the one after it: none or
        // several may stand before the last.
        for (int k = v.pick(0, 2, 1); k > 0; --k)
            line(out, "(A1,I4,I1,3I3,4F8.3,36X,F10.3)", {"*", t.nref, 0, 0, 0, 0, 0.0, 0.0, 0.0, 0.0, 1.0});
        const std::string marker = v.one_of(std::vector<std::string>{" ", "#", "R", "A"});
        // The counting time of the reflection line is used only when the
        // count line gives none: it may be missing then.
        if (s.speed_code != 0 && v.chance(0.5))
            line(out, "(A1,I4,I1,3I3,4F8.3)",
                 {marker, t.nref, t.isctype, t.hkl[0], t.hkl[1], t.hkl[2], t.angles[0], t.angles[1],
                  t.angles[2], t.angles[3]});
        else
            line(out, "(A1,I4,I1,3I3,4F8.3,36X,F10.3)",
                 {marker, t.nref, t.isctype, t.hkl[0], t.hkl[1], t.hkl[2], t.angles[0], t.angles[1],
                  t.angles[2], t.angles[3], s.speed_code == 0 ? 3.0 : 9.0});
    }
}

// ---------------------------------------------------------------- Febo
void write_febo(const Plan& p, Out& out, Variation& v) {
    out << "  " << p.cfg.title << '\n' << "  cell\n";
    line(out, "(4X,6F8.4)",
         {p.cfg.cell[0], p.cfg.cell[1], p.cfg.cell[2], p.cfg.cell[3], p.cfg.cell[4], p.cfg.cell[5]});
    out << "  orientation matrix x lambda\n";
    for (const auto& row : p.ub)
        line(out, "(3X,3F10.6)", {row[0] * p.cfg.wave1, row[1] * p.cfg.wave1, row[2] * p.cfg.wave1});
    // Any number of P and V lines, in any order.
    std::vector<std::string> pv{"P  scan parameters", "V  speed table"};
    for (int k = v.pick(0, 2, 0); k > 0; --k)
        pv.push_back(v.chance(0.5) ? "P  more parameters" : "V  more speeds");
    if (v.chance(0.3)) pv.clear();
    v.shuffle(pv);
    for (const std::string& l : pv) out << l << '\n';
    // Free format: blanks or a comma (with blanks about it) between values.
    auto separator = [&v] { return v.one_of(std::vector<std::string>{" ", "   ", ",", ", ", " ,", " , "}); };
    auto write = [&](const std::string& rec) { out << (v.on() ? rejoined(rec, separator) : rec) << '\n'; };
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        write(format_record("(I1,3I4,3I3,I5,I6)", {s.standard ? 6 : 0, t.hkl[0], t.hkl[1], t.hkl[2], 0, 0, 0,
                                                   t.npts, s.speed_code}));
        std::string rec;
        for (std::size_t i = 0; i < t.counts.size(); ++i) {
            rec += format_int(t.counts[i], 8);
            if (i % 10 == 9 || i + 1 == t.counts.size()) {
                write(rec);
                rec.clear();
            }
        }
    }
    out << "0   0   0   0  0  0  0    0     0\n";
}

// ---------------------------------------------------------------- Xcalibur
void write_xcalibur(const Plan& p, Out& out, Variation& v) {
    const bool newer = p.cfg.xcal_newer;
    out << "G simulated Xcalibur step scans\n";
    if (v.chance(0.5)) out << "G instrument log\n";
    if (newer) out << "C Version 1 2\n";
    out << "C " << p.cfg.title << '\n';
    if (v.chance(0.5)) out << "C remark of the operator\n";
    line(out, "('P sc s',F9.3,' sc w ',2F7.3,F9.4)",
         {p.xcal_speed, p.xcal_scanw[0], p.xcal_scanw[1], p.xcal_scanw[2]});
    line(out, "('P mo s    ',I5)", {p.cfg.npts});
    line(out, "('P wl',2F10.5)", {p.cfg.wave1, p.cfg.wave2});
    const int nstd = static_cast<int>(p.standards.size());
    if (newer)
        line(out, "('P rr',2I5)", {nstd, p.cfg.std_interval});
    else
        line(out, "('P rr',3I5)", {nstd, p.cfg.std_interval, p.cfg.npts});
    for (const auto& h : p.standards) {
        if (newer)
            line(out, "('P',26X,3I4)", {h[0], h[1], h[2]});
        else
            line(out, "('P',31X,3I4,5X,F6.2)", {h[0], h[1], h[2], 1.0});
    }
    for (const auto& row : p.ub)
        line(out, "('U',3F12.7)", {row[0] * p.cfg.wave1, row[1] * p.cfg.wave1, row[2] * p.cfg.wave1});
    int previous = 0;
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        // Lines of other kinds may stand before a reflection line.
        if (v.chance(0.2)) out << "C note between reflections\n";
        const std::string code = s.standard ? "NL" : s.class_code;
        // The reader takes the sequence number's size.
        const int seq = !s.standard && v.chance(0.2) ? -t.nref : t.nref;
        if (!s.standard || newer)
            line(out, "(A1,I5,3X,3I5,F10.2,3X,A2,24X,F6.4)",
                 {s.standard ? "R" : "#", seq, t.hkl[0], t.hkl[1], t.hkl[2], 0.0, code, s.line_scale});
        else if (previous < 9999)
            line(out, "('R',I5,3X,3I5,F10.2,3X,A2)", {t.nref, t.hkl[0], t.hkl[1], t.hkl[2], 0.0, code});
        else
            line(out, "('R',I6,3X,3I5,F10.2,3X,A2)", {t.nref, t.hkl[0], t.hkl[1], t.hkl[2], 0.0, code});
        previous = t.nref;
        const std::array<double, 4>& k = s.kappa;
        // z1 omega', z2 2theta, z3 kappa, z4 phi'
        line(out, "('Z',4F10.4)", {k[2], t.angles[0], k[3], k[1]});
        line(out, "('Z',4F10.4)", {0.0, 0.0, 0.0, 0.0});
        // The Euler line is optional in either layout, reflection by
        // reflection (the older layout's omega stands at the scan's start).
        if (v.on() ? v.chance(0.5) : !newer) {
            const double scanw = p.xcal_scanw[0] + p.xcal_scanw[1] * std::tan(t.angles[0] / 2.0 / 57.29578);
            const double start = newer ? 0.0 : scanw / 2.0;
            line(out, "('E',4F10.4)",
                 {t.angles[1] + t.angles[0] / 2.0 + start, t.angles[0], t.angles[2], t.angles[3]});
        }
        // One line of any other kind may stand before the counts.
        if (!v.on())
            out << "T profile\n";
        else if (v.chance(0.5))
            out << v.one_of(std::vector<std::string>{"T profile", "Q 1 2 3", "# of no reflection"}) << '\n';
        std::string rec = "S";
        for (std::size_t i = 0; i < t.counts.size(); ++i) {
            rec += format_int(t.counts[i], 9);
            if (i % 8 == 7 || i + 1 == t.counts.size()) {
                out << rec << '\n';
                rec.assign(1, 'S');
            }
        }
    }
}

// ---------------------------------------------------------------- XSCANS
void write_xscans(const Plan& p, Out& out, Variation& v) {
    out << "TITLE " << p.cfg.title << '\n';
    if (v.chance(0.5)) out << "FILEID simulated step scans\n";
    line(out, "('SOURCE',18X,F7.5,3X,F7.5)", {p.cfg.wave1, p.cfg.wave2});
    line(out, "('DETECT',40X,F6.3)", {p.cfg.atten});
    line(out, "('CHECKR',I4,I6,22X,I3)",
         {static_cast<int>(p.standards.size()), p.cfg.std_interval, p.cfg.npts});
    for (std::size_t i = 0; i < p.standards.size(); ++i)
        line(out, "('CHECKN',I6,3I4)",
             {static_cast<int>(i + 1), p.standards[i][0], p.standards[i][1], p.standards[i][2]});
    if (v.chance(0.5)) out << "COMMENT no standards missed\n";
    out << "DATA OMEGA SCANS\n";
    const int width = v.pick(20, 80, 72);
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        // Blank lines may stand between reflections.  (Any other line would
        // read as count groups: every printable character is one.)
        if (v.chance(0.2)) out << "\n";
        line(out, "(1X,I6,3I4,4F8.2,F5.2,F8.2)",
             {s.standard ? -t.nref : t.nref, t.hkl[0], t.hkl[1], t.hkl[2], t.angles[0],
              t.angles[1] + t.angles[0] / 2.0, t.angles[3], t.angles[2], s.width,
              static_cast<double>(s.speed_code)});
        // The groups run on across line ends; blanks may stand anywhere,
        // inside a group too, and the file's lines are of any one length
        // up to 80.
        std::string stream;
        for (long long c : t.counts) {
            std::string group = encode_count(c);
            for (std::size_t at = 1; at < group.size(); ++at)
                if (v.chance(0.1)) group.insert(at++, 1, ' ');
            stream += group;
            if (v.chance(0.3)) stream += ' ';
        }
        for (std::size_t at = 0; at < stream.size();) {
            std::string piece = stream.substr(at, static_cast<std::size_t>(width));
            at += piece.size();
            // A count line never starts with the two blanks of a reflection line.
            if (piece.rfind("  ", 0) == 0) piece.erase(0, 1);
            out << piece << '\n';
        }
    }
}

// ---------------------------------------------------------------- Standard
void write_standard(const Plan& p, const std::string& path) {
    G.TITLE = p.cfg.title;
    for (int j = 1; j <= 6; ++j) G.CELL(j) = p.cfg.cell[static_cast<std::size_t>(j - 1)];
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) G.UB(i, j) = p.ub[i - 1][j - 1];
    G.ATTEN = p.cfg.atten;
    open_unit(LU_EXP, path, OpenMode::Replace);
    WRITE_HEADER_STDDATA(LU_EXP);
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        Arr1<int, 3> hkl;
        Arr1<double, 4> ang;
        for (int j = 1; j <= 3; ++j) hkl(j) = t.hkl[static_cast<std::size_t>(j - 1)];
        for (int j = 1; j <= 4; ++j) ang(j) = t.angles[static_cast<std::size_t>(j - 1)];
        double scale = t.scale;
        int status = 0;
        WRITE_REF_STDDATA(LU_EXP, status, t.nref, hkl, 0.0, ang, t.npts, t.step, scale, t.isctype, t.rflag,
                          std::span<const long long>(t.counts));
    }
    close_unit(LU_EXP);
}

// The standard scan file as another program may write it: a title in
// lower case, lines of other kinds among the header lines and between the
// reflection groups.
void vary_standard(const std::string& path, Variation& v) {
    std::vector<std::string> lines;
    {
        std::ifstream in(path);
        for (std::string l; std::getline(in, l);) lines.push_back(l);
    }
    std::ofstream out(path);
    bool data = false;
    for (std::string& l : lines) {
        if (!data && l.rfind('T', 0) == 0)
            for (char& c : l) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!data && l.rfind('T', 0) == 0) l[0] = 'T';
        if (l == "DATA") {
            if (v.chance(0.5)) out << "H written by the simulator\n";
            data = true;
        } else if (data && l.rfind('R', 0) == 0 && v.chance(0.2)) {
            out << "C group follows\n";
        }
        out << l << '\n';
    }
}

}  // namespace

void write_data_file(const Plan& p, const std::string& path) {
    Variation v(p.cfg);
    if (p.cfg.format == Format::Standard) {
        write_standard(p, path);
        if (v.on()) vary_standard(path, v);
        return;
    }
    Out out(path);
    switch (p.cfg.format) {
        case Format::Cad4: write_cad4(p, out, v); break;
        case Format::Stoe: write_stoe(p, out, v); break;
        case Format::Huber: write_huber(p, out, v); break;
        case Format::Febo: write_febo(p, out, v); break;
        case Format::Xcalibur: write_xcalibur(p, out, v); break;
        case Format::Xscans: write_xscans(p, out, v); break;
        default: break;
    }
}

}  // namespace tarnivox::sim
