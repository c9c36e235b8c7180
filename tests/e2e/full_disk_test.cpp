// A disk that fills up during an automatic run: the intensity file and the
// log end with their last whole record, the message is shown and the run
// ends with the status of a fatal message.

#include <sys/mount.h>
#include <unistd.h>

#include "e2e/fit_run_fixture.h"

namespace tarnivox::fitrun {
namespace {

constexpr char kAutoRun[] =
    "command 322\n"
    "press \"Peak parameter default values\" \"Save + Exit\"\n"
    "press main Start\n";

class FullDisk : public FitRun {
protected:
    void TearDown() override {
        set_unit_size_limit(LU_OUTPUT, -1);
        set_unit_size_limit(LU_LOG, -1);
        if (!mounted_.empty()) ::umount2(mounted_.c_str(), MNT_DETACH);
        FitRun::TearDown();
    }

    void simulate_cad4(int nrefl) {
        sim::Config c;
        c.format = sim::Format::Cad4;
        c.seed = 5;
        c.nrefl = nrefl;
        simulate(c);
    }

    // An automatic run into `out` (form intfmt); the status the run ends
    // with, as a headless run exits.
    int auto_run(int intfmt, const std::string& out = "out.txt") {
        std::string script = opening("Enraf CAD4", 0.0, 0);
        script += "command 314\nfile " + out + " 3\n";
        script += std::string("toggle \"Output Format\" \"") + kOutputForms[intfmt - 1] + "\" on\n";
        script += "press \"Output Format\" \"Save + Exit\"\n";
        backend_ = &test::install_quiet_script(script + kAutoRun + "close\nanswer yes\n", dir_.string());
        try {
            TARNIVOX_MAIN();
        } catch (const ProgramEnd& e) {
            return finish_run(e, true);
        }
        return -1;
    }

    bool shown(const std::string& text) const {
        const auto m = messages();
        return std::find(m.begin(), m.end(), text) != m.end();
    }

    // The log without the date of its header, which differs between runs.
    std::string log_text() const {
        std::string out;
        for (const std::string& l : lines_of(dir_ / "data_Tarnivox.log"))
            if (l.find("CREATED BY TARNIVOX ON") == std::string::npos) out += l + "\n";
        return out;
    }

    std::string mounted_;
};

TEST_F(FullDisk, IntensityFileEndsWithItsLastWholeReflection) {
    for (int intfmt : {2, 3}) {
        SCOPED_TRACE(intfmt);
        // The whole run, for comparison.
        TearDown();
        SetUp();
        simulate_cad4(40);
        ASSERT_EQ(auto_run(intfmt), EXIT_STATUS_NORMAL);
        const std::string whole = test::read_text(dir_ / "out.txt");
        const std::size_t lines_per_reflection = intfmt == 2 ? 4 : 1;

        // The disk is full halfway through a reflection.
        TearDown();
        SetUp();
        simulate_cad4(40);
        const long room = static_cast<long>(whole.size() / 2) + 37;
        set_unit_size_limit(LU_OUTPUT, room);
        EXPECT_EQ(auto_run(intfmt), EXIT_STATUS_FATAL);
        EXPECT_TRUE(shown("ERROR WRITING INTEGRATED DATA FILE"));
        // The unfinished file keeps a name that says so.
        EXPECT_FALSE(fs::exists(dir_ / "out.txt"));
        const std::string cut = test::read_text(dir_ / "out.txt.partial");
        ASSERT_FALSE(cut.empty());
        EXPECT_EQ(cut.back(), '\n');
        EXPECT_EQ(whole.compare(0, cut.size(), cut), 0) << "the records written are those of the whole run";
        const auto lines = lines_of(dir_ / "out.txt.partial");
        EXPECT_EQ(lines.size() % lines_per_reflection, 0u);
        // Every reflection that had room is there: the next one did not fit.
        const std::size_t next_end = whole.find('\n', cut.size() + 1);
        std::size_t reflection_end = cut.size();
        for (std::size_t k = 0; k < lines_per_reflection; ++k)
            reflection_end = whole.find('\n', reflection_end) + 1;
        EXPECT_NE(next_end, std::string::npos);
        EXPECT_GT(static_cast<long>(reflection_end), room);
        EXPECT_LE(static_cast<long>(cut.size()), room);
    }
}

TEST_F(FullDisk, LogEndsWithItsLastWholeBlockAndTheRunEnds) {
    simulate_cad4(40);
    ASSERT_EQ(auto_run(3), EXIT_STATUS_NORMAL);
    const std::string whole = log_text();
    const std::string whole_out = test::read_text(dir_ / "out.txt");
    const auto full_size = static_cast<long>(test::read_text(dir_ / "data_Tarnivox.log").size());

    TearDown();
    SetUp();
    simulate_cad4(40);
    // Room for the header and the parameter file, not for the fit summary.
    set_unit_size_limit(LU_LOG, full_size - 200);
    EXPECT_EQ(auto_run(3), EXIT_STATUS_FATAL);
    EXPECT_TRUE(shown("ERROR WRITING LOG FILE"));
    const std::string cut = log_text();
    ASSERT_FALSE(cut.empty());
    EXPECT_LT(cut.size(), whole.size());
    EXPECT_EQ(whole.compare(0, cut.size(), cut), 0);
    EXPECT_EQ(test::read_text(dir_ / "data_Tarnivox.log").back(), '\n');
    // The log failed in the summary at the end: every reflection is written
    // (the run did not finish: under the name of an unfinished file).
    EXPECT_EQ(test::read_text(dir_ / "out.txt.partial"), whole_out);
}

// A real full disk: a small memory file system when the test may mount one.
TEST_F(FullDisk, RealFullDiskLeavesWholeRecords) {
    const fs::path disk = dir_ / "disk";
    fs::create_directories(disk);
    if (::geteuid() != 0 || ::mount("tarnivox_test", disk.c_str(), "tmpfs", 0, "size=8k") != 0)
        GTEST_SKIP() << "no small file system can be mounted here";
    mounted_ = disk.string();
    simulate_cad4(300);
    EXPECT_EQ(auto_run(3, "disk/out.hkl"), EXIT_STATUS_FATAL);
    EXPECT_TRUE(shown("ERROR WRITING INTEGRATED DATA FILE"));
    const std::string cut = test::read_text(disk / "out.hkl.partial");
    ASSERT_FALSE(cut.empty());
    EXPECT_EQ(cut.back(), '\n');
    const auto lines = lines_of(disk / "out.hkl.partial");
    EXPECT_GT(lines.size(), 100u);
    for (const std::string& l : lines) EXPECT_TRUE(l.size() == 32 || l.size() == 80) << l;
}

}  // namespace
}  // namespace tarnivox::fitrun
