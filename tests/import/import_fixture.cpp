#include "import_fixture.h"

#include <cmath>
#include <fstream>

#include "core/exitint.h"
#include "core/store.h"
#include "import/convert.h"
#include "import/stddata.h"
#include "io/units.h"
#include "output/log_file.h"
#include "support/scratch.h"
#include "ui/graphics.h"
#include "toolkit/script/script_backend.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"

namespace tarnivox::importtest {

void ImportTest::SetUp() {
    dir_ = test::make_scratch_dir("tarnivox_import");
    fresh_run();
}

void ImportTest::TearDown() {
    close_all_units();
    std::filesystem::remove_all(dir_);
}

void ImportTest::fresh_run(const std::string& script) {
    close_all_units();
    reset_store();
    test::open_headless_window(script, dir_.string());
}

void ImportTest::set_instrument(const sim::Config& c) {
    G.NWAVE = 2;
    G.WAVE1 = c.wave1;
    G.WAVE2 = c.wave2;
    G.A2RATIO = c.a2ratio;
    G.ATTEN = c.atten;
    G.PARITY.fill(1);
}

void ImportTest::import_file(const std::string& file, int infmt) {
    G.INFMT = infmt;
    G.INFILE = std::filesystem::path(file).filename().string();
    G.WORKDIR = std::filesystem::path(file).parent_path().string() + "/";
    ASSERT_EQ(open_unit(LU_INPUT, file, OpenMode::Read), 0);
    int status = 5;
    try {
        CONVERT_FILE(status);
        // As the window and the operations do after an import.
        if (G.LOGOPEN == 1) WRITE_INPUT(LU_LOG);
    } catch (const ProgramEnd& e) {
        ADD_FAILURE() << "run ended: " << e.message;
        throw;
    }
    EXPECT_EQ(status, 0);
}

sim::Result ImportTest::simulate_and_import(const sim::Config& c, const std::string& base) {
    const std::string data = path(base + "." + sim::extension_of(c.format));
    const sim::Result r = sim::simulate(c, data, path(base + ".par"), path(base + ".truth"));
    const bool asks_step = c.format == sim::Format::Huber || c.format == sim::Format::Febo;
    fresh_run(asks_step ? step_answer(r.step_to_enter) : "");
    if (asks_step) preset_step(r.step_to_enter);
    set_instrument(c);
    import_file(data, static_cast<int>(c.format));
    return r;
}

std::string ImportTest::write_file(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
    return path(name);
}

std::vector<Scan> ImportTest::walk_scan_file() const {
    std::vector<Scan> out;
    int status = 0;
    SKIP_HEADER_STDDATA(G.LUSCR, status);
    const Arr1<int, 3> none;
    for (;;) {
        status = -1;
        READ_SCAN_STDDATA(G.LUSCR, 0, 0, none, status);
        if (status != 0) break;
        Scan s;
        s.nref = G.NREF;
        for (int j = 1; j <= 3; ++j) s.hkl[static_cast<std::size_t>(j - 1)] = G.IHKL(j);
        for (int j = 1; j <= 4; ++j) s.angles[static_cast<std::size_t>(j - 1)] = G.ANGLES(j);
        s.npts = G.NPTS;
        s.step = G.STEP;
        s.scale = G.SCALE;
        s.isctype = G.ISCTYPE;
        s.rflag = G.RFLAG;
        for (int i = 1; i <= G.NPTS; ++i) s.counts.push_back(static_cast<long long>(G.COUNTS(i)));
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<std::string> ImportTest::messages() const { return test::shown_messages(*script_backend()); }

void ImportTest::preset_step(double step) { GMSETVALUESETTING_REAL(wid(STEP_VALUE), step); }

std::string ImportTest::step_answer(double step) {
    (void)step;
    return "command 672\n";
}

void expect_matches_truth(const std::vector<Scan>& got, const sim::Result& truth, double angle_tol) {
    std::vector<const sim::Truth*> kept;
    for (const sim::Truth& t : truth.refl)
        if (t.in_data_set) kept.push_back(&t);
    ASSERT_EQ(got.size(), kept.size());
    for (std::size_t n = 0; n < got.size(); ++n) {
        const Scan& s = got[n];
        const sim::Truth& t = *kept[n];
        SCOPED_TRACE("reflection " + std::to_string(t.nref));
        EXPECT_EQ(s.nref, t.nref);
        EXPECT_EQ(s.hkl, t.hkl);
        for (std::size_t j = 0; j < 4; ++j)
            EXPECT_NEAR(s.angles[j], t.angles[j], angle_tol) << "angle " << j + 1;
        EXPECT_EQ(s.npts, t.npts);
        EXPECT_NEAR(s.step, t.step, 1e-5);
        EXPECT_NEAR(s.scale, t.scale, 1e-5 * std::max(1.0, std::abs(t.scale)));
        EXPECT_EQ(s.rflag, t.rflag);
        EXPECT_EQ(s.isctype, t.isctype);
        EXPECT_EQ(s.counts, t.counts);
    }
}

}  // namespace tarnivox::importtest
