// The direction cosines of SHELX records describe the crystal at its peak:
// on data whose peaks lie off the setting omega (an omega zero of the
// instrument), they follow the fitted POSITION, not the setting.

#include <cmath>
#include <cstdio>

#include "e2e/fit_run_fixture.h"
#include "refine/geometry.h"

namespace tarnivox::fitrun {
namespace {

constexpr char kAutoRun[] =
    "command 322\n"
    "press \"Peak parameter default values\" \"Save + Exit\"\n"
    "press main Start\n";

// Every scan of a standard scan file moved by `steps` steps along omega:
// the instrument's omega circle reads that much less than where the
// crystal diffracts, so each peak lies that far above its setting.
void move_peaks(const fs::path& rfl, int steps) {
    const auto lines = lines_of(rfl);
    std::string out;
    std::vector<long long> counts;
    const auto flush = [&] {
        if (counts.empty()) return;
        std::vector<long long> moved(counts.size());
        for (std::size_t i = 0; i < counts.size(); ++i)
            moved[i] = counts[i >= static_cast<std::size_t>(steps) ? i - static_cast<std::size_t>(steps) : 0];
        for (std::size_t i = 0; i < moved.size(); i += 10) {
            out += "S";
            for (std::size_t j = i; j < moved.size() && j < i + 10; ++j) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "%8lld", moved[j]);
                out += buf;
            }
            out += "\n";
        }
        counts.clear();
    };
    for (const std::string& l : lines) {
        if (!l.empty() && l[0] == 'S') {
            for (std::size_t at = 1; at + 8 <= l.size() + 7 && at < l.size(); at += 8)
                counts.push_back(std::stoll(l.substr(at, 8)));
            continue;
        }
        flush();
        out += l + "\n";
    }
    flush();
    std::ofstream(rfl, std::ios::binary) << out;
}

// The reversed incident beam and the diffracted beam in the goniometer-head
// frame with the crystal at `ang`, from the setting-angle geometry of the
// refinement: X is the diffraction vector's direction, Y the direction the
// crystal's lab y axis takes (omega turned by 90 degrees).
void beams_at(const Angles& ang, Vec3& u, Vec3& v) {
    Vec3 x, y;
    CALCH(ang, x);
    Angles turned = ang;
    turned(2) += 90.0;
    CALCH(turned, y);
    const double f = 2.0 * std::sin(0.5 * ang(1) / RAD) / G.WAVE1;
    const double st = std::sin(0.5 * ang(1) / RAD), ct = std::cos(0.5 * ang(1) / RAD);
    for (int i = 1; i <= 3; ++i) {
        u(i) = (st * x(i) - ct * y(i)) / f;
        v(i) = (st * x(i) + ct * y(i)) / f;
    }
}

TEST_F(FitRun, ShelxDirectionCosinesAreThoseOfTheCrystalAtTheFittedPeak) {
    sim::Config c;
    c.format = sim::Format::Standard;
    c.seed = 21;
    c.nrefl = 40;
    c.scale_i = 20000.0;
    constexpr int kSteps = 4;  // an omega zero of 0.08 degrees
    const auto once = [&](int intfmt) {
        TearDown();
        SetUp();
        const sim::Result r = simulate(c);
        move_peaks(dir_ / data_name_, kSteps);
        EXPECT_EQ(run(opening("Standard", 0.0, intfmt) + kAutoRun), "");
        return r;
    };
    // The Rfine record gives the output angles: omega is the fitted POSITION.
    const sim::Result r = once(1);
    const auto rfine = lines_of(dir_ / "out.txt");
    once(3);
    ASSERT_EQ(G.UBFLAG, 1);
    const std::vector<Written> shelx = read_intensity_file(dir_ / "out.txt", 3);
    ASSERT_EQ(shelx.size(), rfine.size());
    ASSERT_GE(shelx.size(), 30u);

    int moved = 0, apart = 0;
    std::size_t k = 0;
    for (std::size_t i = 0; i < shelx.size(); ++i) {
        while (!r.refl[k].in_data_set) ++k;
        const sim::Truth& t = r.refl[k++];
        ASSERT_EQ(shelx[i].h, t.hkl[0]);
        const std::string& line = rfine[i];
        Angles peak;
        peak(1) = t.angles[0];
        peak(2) = num(line, 17, 8);
        peak(3) = t.angles[2];
        peak(4) = t.angles[3];
        // The fit finds the peak where the data put it.
        if (std::fabs(peak(2) - (t.position + kSteps * c.step)) < 0.01) ++moved;
        Vec3 u, v;
        beams_at(peak, u, v);
        Angles setting = peak;
        setting(2) = t.angles[1];
        Vec3 us, vs;
        beams_at(setting, us, vs);
        for (int a = 1; a <= 3; ++a) {
            const double len = std::sqrt(G.UB(1, a) * G.UB(1, a) + G.UB(2, a) * G.UB(2, a) + G.UB(3, a) * G.UB(3, a));
            const auto along = [&](const Vec3& w) {
                return (w(1) * G.UB(1, a) + w(2) * G.UB(2, a) + w(3) * G.UB(3, a)) / len;
            };
            EXPECT_NEAR(shelx[i].dcs[2 * a - 2], along(u), 1e-5) << "reflection " << t.nref << " axis " << a;
            EXPECT_NEAR(shelx[i].dcs[2 * a - 1], along(v), 1e-5) << "reflection " << t.nref << " axis " << a;
            if (std::fabs(along(us) - along(u)) > 1e-4) ++apart;
        }
    }
    // Most peaks were fitted where they lie, and the cosines of the setting
    // would have differed from those at the peak beyond the written digits.
    EXPECT_GE(moved, static_cast<int>(shelx.size()) * 3 / 4);
    EXPECT_GE(apart, static_cast<int>(shelx.size()));
}

}  // namespace
}  // namespace tarnivox::fitrun
