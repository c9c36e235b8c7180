// The simulator's data files, each written as its instrument writes it.
#include <cmath>
#include <fstream>
#include <string>

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

// ---------------------------------------------------------------- CAD4
void write_cad4(const Plan& p, Out& out) {
    const std::string m = margin(p);
    out << m << format_record("(I2,6X,A28)", {21, p.cfg.title}) << '\n';
    out << m << format_record("(I2,46X,I2,I4)", {22, p.cad4_p1, p.cad4_p2}) << '\n';
    out << m << format_record("(I2)", {27}) << '\n';
    for (const auto& h : p.standards) out << m << format_record("(4X,3I3)", {h[0], h[1], h[2]}) << '\n';
    out << m << format_record("(I2)", {28}) << '\n';
    out << m << format_record("(I2,31X,3F9.5)", {32, p.cfg.wave1, p.cfg.wave2, p.cfg.atten}) << '\n';
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        std::string flags = "      ";
        if (s.standard) flags[0] = 'I';
        if (s.left_out) flags[1] = 'X';
        if (s.weak) flags[3] = 'W';
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
    out << m << "$\n";
}

// ---------------------------------------------------------------- STOE
void write_stoe(const Plan& p, Out& out) {
    out << "TITL" << p.cfg.title << '\n';
    line(out, "('WAVE',3F10.5)", {0.0, p.cfg.wave1, p.cfg.wave2});
    line(out, "('SCAN',2F8.3,F9.4)", {0.8, 0.5, p.cfg.step});
    std::string stds = "STDS ";
    stds += std::to_string(p.standards.size());
    stds += " 100.0";
    for (const auto& h : p.standards)
        for (int k = 0; k < 3; ++k) {
            stds += ' ';
            stds += std::to_string(h[static_cast<std::size_t>(k)]);
        }
    out << stds << '\n' << "DATA\n";
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        const double om = t.angles[1] + 0.5 * t.angles[0];
        line(out, "(1X,3I4,I4,2F8.2,2I3,I6,I2,F8.2,I3,4F10.4)",
             {t.hkl[0], t.hkl[1], t.hkl[2], s.standard ? 40 : 1, 0.5, 0.25, 0, 0, s.speed_code,
              s.attenuated ? 1 : 0, 1.0, 0, t.angles[0], om, t.angles[2], t.angles[3]});
        // The first value of the count lines is the number of steps.
        std::string rec = "P";
        rec += std::to_string(t.npts);
        int on_line = 1;
        for (long long c : t.counts) {
            if (on_line == 16) {
                out << rec << '\n';
                rec.assign(1, 'P');
                on_line = 0;
            }
            if (on_line != 0) rec += ' ';
            rec += std::to_string(c);
            on_line += 1;
        }
        out << rec << '\n';
    }
    out << "   0   0   0\n";
}

// ---------------------------------------------------------------- Huber
void write_huber(const Plan& p, Out& out) {
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        const auto count = [&](int i) { return i < t.npts ? t.counts[static_cast<std::size_t>(i)] : 0LL; };
        std::string rec = "*";
        rec += format_int(t.npts, 3);
        rec += format_int(s.speed_code, 2);
        for (int i = 0; i < 21; ++i) rec += format_int(count(i), 6);
        out << rec << '\n';
        for (int j = 1; j <= (t.npts - 1) / 21; ++j) {
            rec = std::string(6, ' ');
            for (int i = 0; i < 21; ++i) rec += format_int(count(21 * j + i), 6);
            out << rec << '\n';
        }
        // A '*' reflection line is replaced by the one after it.
        line(out, "(A1,I4,I1,3I3,4F8.3,36X,F10.3)", {"*", t.nref, 0, 0, 0, 0, 0.0, 0.0, 0.0, 0.0, 1.0});
        line(out, "(A1,I4,I1,3I3,4F8.3,36X,F10.3)",
             {" ", t.nref, t.isctype, t.hkl[0], t.hkl[1], t.hkl[2], t.angles[0], t.angles[1], t.angles[2],
              t.angles[3], s.speed_code == 0 ? 3.0 : 9.0});
    }
}

// ---------------------------------------------------------------- Febo
void write_febo(const Plan& p, Out& out) {
    out << "  " << p.cfg.title << '\n' << "  cell\n";
    line(out, "(4X,6F8.4)",
         {p.cfg.cell[0], p.cfg.cell[1], p.cfg.cell[2], p.cfg.cell[3], p.cfg.cell[4], p.cfg.cell[5]});
    out << "  orientation matrix x lambda\n";
    for (const auto& row : p.ub)
        line(out, "(3X,3F10.6)", {row[0] * p.cfg.wave1, row[1] * p.cfg.wave1, row[2] * p.cfg.wave1});
    out << "P  scan parameters\nV  speed table\n";
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        line(out, "(I1,3I4,3I3,I5,I6)",
             {s.standard ? 6 : 0, t.hkl[0], t.hkl[1], t.hkl[2], 0, 0, 0, t.npts, s.speed_code});
        std::string rec;
        for (std::size_t i = 0; i < t.counts.size(); ++i) {
            rec += format_int(t.counts[i], 8);
            if (i % 10 == 9 || i + 1 == t.counts.size()) {
                out << rec << '\n';
                rec.clear();
            }
        }
    }
    out << "0   0   0   0  0  0  0    0     0\n";
}

// ---------------------------------------------------------------- Xcalibur
void write_xcalibur(const Plan& p, Out& out) {
    const bool newer = p.cfg.xcal_newer;
    out << "G simulated Xcalibur step scans\n";
    if (newer) out << "C Version 1 2\n";
    out << "C " << p.cfg.title << '\n';
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
        const std::string code = s.standard ? "NL" : s.class_code;
        if (!s.standard || newer)
            line(out, "(A1,I5,3X,3I5,F10.2,3X,A2,24X,F6.4)",
                 {s.standard ? "R" : "#", t.nref, t.hkl[0], t.hkl[1], t.hkl[2], 0.0, code, s.line_scale});
        else if (previous < 9999)
            line(out, "('R',I5,3X,3I5,F10.2,3X,A2)", {t.nref, t.hkl[0], t.hkl[1], t.hkl[2], 0.0, code});
        else
            line(out, "('R',I6,3X,3I5,F10.2,3X,A2)", {t.nref, t.hkl[0], t.hkl[1], t.hkl[2], 0.0, code});
        previous = t.nref;
        const std::array<double, 4>& k = s.kappa;
        // z1 omega', z2 2theta, z3 kappa, z4 phi'
        line(out, "('Z',4F10.4)", {k[2], t.angles[0], k[3], k[1]});
        line(out, "('Z',4F10.4)", {0.0, 0.0, 0.0, 0.0});
        if (!newer) {
            const double scanw = p.xcal_scanw[0] + p.xcal_scanw[1] * std::tan(t.angles[0] / 2.0 / 57.29578);
            line(out, "('E',4F10.4)",
                 {t.angles[1] + t.angles[0] / 2.0 + scanw / 2.0, t.angles[0], t.angles[2], t.angles[3]});
        }
        out << "T profile\n";
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
void write_xscans(const Plan& p, Out& out) {
    out << "TITLE " << p.cfg.title << '\n';
    line(out, "('SOURCE',18X,F7.5,3X,F7.5)", {p.cfg.wave1, p.cfg.wave2});
    line(out, "('DETECT',40X,F6.3)", {p.cfg.atten});
    line(out, "('CHECKR',I4,I6,22X,I3)",
         {static_cast<int>(p.standards.size()), p.cfg.std_interval, p.cfg.npts});
    for (std::size_t i = 0; i < p.standards.size(); ++i)
        line(out, "('CHECKN',I6,3I4)",
             {static_cast<int>(i + 1), p.standards[i][0], p.standards[i][1], p.standards[i][2]});
    out << "DATA OMEGA SCANS\n";
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        line(out, "(1X,I6,3I4,4F8.2,F5.2,F8.2)",
             {s.standard ? -t.nref : t.nref, t.hkl[0], t.hkl[1], t.hkl[2], t.angles[0],
              t.angles[1] + t.angles[0] / 2.0, t.angles[3], t.angles[2], s.width,
              static_cast<double>(s.speed_code)});
        // The groups run on across line ends; 72 characters per line.
        std::string stream;
        for (long long c : t.counts) stream += encode_count(c);
        for (std::size_t at = 0; at < stream.size(); at += 72) out << stream.substr(at, 72) << '\n';
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

}  // namespace

void write_data_file(const Plan& p, const std::string& path) {
    if (p.cfg.format == Format::Standard) {
        write_standard(p, path);
        return;
    }
    Out out(path);
    switch (p.cfg.format) {
        case Format::Cad4: write_cad4(p, out); break;
        case Format::Stoe: write_stoe(p, out); break;
        case Format::Huber: write_huber(p, out); break;
        case Format::Febo: write_febo(p, out); break;
        case Format::Xcalibur: write_xcalibur(p, out); break;
        case Format::Xscans: write_xscans(p, out); break;
        default: break;
    }
}

}  // namespace tarnivox::sim
