// Every layout with every optional or variable element (margins, spare
// header records and flags, optional Euler lines, a line before the counts,
// comments between reflections, free-format spacing and separators, count
// lines of any length, blanks inside count groups, '*' lines, short count
// lines, missing end marks) in random patterns: the import takes every
// reflection, without a warning, exactly as from the plain file.

#include <algorithm>
#include <cmath>

#include "core/store.h"
#include "import_fixture.h"

namespace tarnivox::importtest {
namespace {

class LayoutVariants : public ImportTest {};

TEST_F(LayoutVariants, EveryOptionalElementInRandomPatternsIsReadAsThePlainFile) {
    struct Layout {
        sim::Format format;
        bool newer;
    };
    for (const Layout layout : {Layout{sim::Format::Cad4, true}, Layout{sim::Format::Standard, true},
                                Layout{sim::Format::Xcalibur, true}, Layout{sim::Format::Xcalibur, false},
                                Layout{sim::Format::Stoe, true}, Layout{sim::Format::Xscans, true},
                                Layout{sim::Format::Huber, true}, Layout{sim::Format::Febo, true}}) {
        for (const std::uint64_t seed : {1u, 2u, 3u}) {
            SCOPED_TRACE(sim::extension_of(layout.format) + (layout.newer ? "" : " (older)") + " seed " +
                         std::to_string(seed));
            sim::Config c;
            c.format = layout.format;
            c.xcal_newer = layout.newer;
            c.seed = seed;
            c.nrefl = 60;
            c.npts = 37;  // partial count lines in every layout
            c.std_interval = 7;
            const sim::Result truth = simulate_and_import(c, "plain");
            const std::vector<Scan> plain = walk_scan_file();
            c.variants = true;
            simulate_and_import(c, "varied");
            const std::vector<Scan> varied = walk_scan_file();
            const std::vector<std::string> shown = messages();
            EXPECT_EQ(shown.back(), "Data File read in successfully") << shown.back();
            EXPECT_EQ(G.NREFBAD, 0);
            const auto kept = std::count_if(truth.refl.begin(), truth.refl.end(),
                                            [](const sim::Truth& t) { return t.in_data_set; });
            ASSERT_EQ(plain.size(), static_cast<std::size_t>(kept));
            ASSERT_EQ(varied.size(), plain.size());
            for (std::size_t n = 0; n < plain.size(); ++n) {
                const Scan &a = plain[n], &b = varied[n];
                // An Euler line and the kappa angles give one setting, each
                // held to 1E-4 degrees.
                for (std::size_t j = 0; j < 4; ++j) EXPECT_NEAR(a.angles[j], b.angles[j], 1.5e-4) << a.nref;
                EXPECT_TRUE(a.nref == b.nref && a.hkl == b.hkl && a.npts == b.npts && a.step == b.step &&
                            a.scale == b.scale && a.isctype == b.isctype && a.rflag == b.rflag &&
                            a.counts == b.counts)
                    << "reflection " << a.nref;
            }
        }
    }
}

}  // namespace
}  // namespace tarnivox::importtest
