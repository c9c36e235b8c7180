// "Auto profile fit": every reflection of the standard scan file is fitted
// and written, one per timer tick, while the user watches the scan plot
// and may pause, resume, jump to a reflection or change the fit controls.
#include "commands/auto_fit.h"

#include <chrono>
#include <cstdio>

#include <filesystem>
#include <string>
#include <system_error>

#include "commands/fit_loop.h"
#include "commands/report.h"
#include "commands/window_messages.h"
#include "core/exitint.h"
#include "core/store.h"
#include "io/units.h"
#include "operations/reduce.h"
#include "operations/scan_walk.h"
#include "ui/command_numbers.h"
#include "ui/files.h"
#include "ui/fit_settings.h"
#include "ui/graphics.h"
#include "toolkit/toolkit.h"

namespace tarnivox {
namespace {

constexpr int TIMER_INTERVAL = 50;

// Jump fields and their Go buttons, the reflection captions and angles.
constexpr int BROWSE_ITEMS[] = {5, 6, 7, 8, 9, 10, 13, 14, 15, 16, 17};

void panel_waiting() {
    panel_status(18, 1);
    panel_status(19, 0);
    panel_status(6, 1);
    panel_status(8, 1);
}

void panel_running() {
    panel_status(18, 0);
    panel_status(19, 1);
    // Jumps belong to a paused run: the position in the file is the progress.
    panel_status(6, 0);
    panel_status(8, 0);
}

void panel_initial() {
    for (int item = 2; item <= 20; ++item) panel_status(item, -1);
    for (int item : BROWSE_ITEMS) panel_status(item, 1);
    panel_waiting();
}

// false: the user cancelled the command.
bool make_sure_of_output_file() {
    while (G.OUTOPEN == 0) {
        const int answer =
            GMDISPLAYMESSAGEBOX("TARNIVOX", "No output datafile is open. Do you want to open a file?",
                                GM_ICON_INFORMATION, GM_BUTTONS_YESNOCANCEL);
        if (answer == GM_CANCEL) return false;
        if (answer != GM_YES) return true;  // go on without writing records
        OPEN_OUT();
    }
    return true;
}

void stop_timer() { GMDEFINETIMERCALLBACK(TIMER_INTERVAL, 0); }

std::string output_path() {
    std::error_code ec;
    const std::filesystem::path p = std::string(G.OUTDIR.str()) + std::string(G.OUTFILE.str());
    const std::filesystem::path whole = std::filesystem::absolute(p, ec);
    return (ec ? p : whole).lexically_normal().string();
}

// An output file that already holds records (an earlier run or accepted
// reflections): the user chooses whether the run replaces them or follows
// them.  false: the user cancelled the command.
bool replace_or_append_output() {
    if (G.OUTOPEN != 1 || !unit_is_open(LU_OUTPUT)) return true;
    flush_unit(LU_OUTPUT);
    std::error_code ec;
    const auto size = std::filesystem::file_size(unit_written_path(LU_OUTPUT), ec);
    if (ec || size == 0) return true;
    const int answer =
        GMDISPLAYMESSAGEBOX("TARNIVOX",
                            "Output file " + std::string(G.OUTFILE.str()) +
                                " already holds reflections: Replace them (YES) or Append (No)",
                            GM_ICON_INFORMATION, GM_BUTTONS_YESNOCANCEL);
    if (answer == GM_CANCEL) return false;
    if (answer != GM_YES) return true;
    // Opened anew, the file holds only this run's records once it is closed.
    if (open_unit(LU_OUTPUT, output_path(), OpenMode::Output) == 0) return true;
    G.OUTOPEN = 0;
    GMDISPLAYERRORBOX("Tarnivox",
                      "Error opening file: Try again\n" + output_path() + ": " + open_failure_reason());
    return false;
}

// What the run did, after its "End of File": the counts of the summary in
// the log and the file that holds the records.
std::string run_summary(const ReductionResult& r) {
    const ReductionCounts& c = r.counts;
    // Built with formatted lines: chains of temporaries here trip a false
    // overlap warning of the optimiser.
    char line[200];
    std::snprintf(line, sizeof line, "%s%d reflections fitted, %d passed, %d rejected",
                  r.stopped ? "Run stopped: " : "Run complete: ", c.fitted, c.passed, c.rejected);
    std::string text = line;
    if (c.recovered > 0) {
        std::snprintf(line, sizeof line, " (%d recovered in pass 2)", c.recovered);
        text.append(line);
    }
    if (G.OUTOPEN != 1) return text.append("\nNo output file was open: nothing was written");
    std::snprintf(line, sizeof line, "\n%d reflections written to ", c.fitted - c.rejected_left_out);
    text.append(line).append(output_path());
    if (c.written_from_summation > 0) {
        std::snprintf(line, sizeof line, "\n%d rejected ones written from the summation", c.written_from_summation);
        text.append(line);
    }
    if (c.rejected_left_out > 0) {
        std::snprintf(line, sizeof line, "\n%d rejected ones left out", c.rejected_left_out);
        text.append(line);
    }
    return text;
}

// The records of a run that reached the end of the data set take the
// file's name now, not when the program exits: the file the summary names
// is whole.  The unit stays open on the name, appending, so that accepted
// reflections or a later run follow the records (a later run that replaces
// them writes a new NAME.partial).
void put_output_in_place() {
    if (G.OUTOPEN != 1 || !unit_is_open(LU_OUTPUT)) return;
    if (unit_written_path(LU_OUTPUT) == unit_path(LU_OUTPUT)) return;  // appended in place already
    const std::string path = output_path();
    if (close_unit(LU_OUTPUT) == 0 && open_unit(LU_OUTPUT, path, OpenMode::Append) == 0) return;
    G.OUTOPEN = 0;
    GMDISPLAYERRORBOX("Tarnivox", "Error opening file: Try again\n" + path + ": " + open_failure_reason());
}

void end_run(const ReductionRun& run, std::chrono::steady_clock::time_point started) {
    stop_timer();
    if (!run.result().stopped) put_output_in_place();
    keep_typed_start_values();
    // "Report" describes this run from now on.
    LAST_RUN.done = true;
    LAST_RUN.data_file = open_data_file_path();
    LAST_RUN.result = run.result();
    LAST_RUN.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    END_GRAPHICS();
    GMDISPLAYMESSAGEBOX("TARNIVOX", run_summary(run.result()), GM_ICON_NOTICE, GM_BUTTONS_OK);
}

}  // namespace

// The window's side of the run: the boxes are read into the request and
// the fit controls, the run fits one reflection per timer tick, and the
// scan and its fit are shown after each.
void START_AUTO_FIT() {
    WindowMessages shown;
    // Without a data set there is nothing to fit: the box says what to do.
    if (!data_set_to_walk(shown)) return;
    if (!make_sure_of_output_file()) return;
    if (!replace_or_append_output()) return;
    ReductionRequest request;
    // The run starts on the reflection the user placed the file on; after
    // a pass that moved through the data set, on its first reflection.
    request.from_first = G.WALKED == 1;
    request.omit_rejected = G.REJOUT == 0;
    // "Report" needs what happened to each reflection.
    request.collect_outcomes = true;
    const auto started = std::chrono::steady_clock::now();
    // The user may type into "Fitting Controls & Results" at any time:
    // each reflection's start values come from the box.
    ReductionRun run(request, shown, [] {
        SET_FIT_PARAMETERS();
        READ_FIT_PARAMETERS();
    });
    int icancel = 0;
    RUN_PKVALS(icancel);
    if (icancel == 1) return;
    WRITE_FIT_PARAMETERS();
    if (have_reflection()) SET_FIT_PARAMETERS();
    WRITE_FIT_PARAMETERS();
    begin_fitting_window();
    panel_initial();
    show_fit();

    for (;;) {
        const int command = GMACTION();
        bool leave = false;
        switch (command) {
            case GM_CLOSE: stop_timer(); EXITINT("");
            case CMD_PANEL_EXIT:
                stop_timer();
                run.finish(true);
                panel_status(18, 1);
                end_run(run, started);
                return;
            case CMD_START:
                panel_running();
                GMDEFINETIMERCALLBACK(TIMER_INTERVAL, CMD_TICK);
                // A reflection already written before the pause is neither
                // written again nor refitted: the file holds each measurement
                // once and the summary counts it once.
                if (have_reflection() && !run.current_written()) run.next();
                break;
            case CMD_STOP:
                panel_waiting();
                stop_timer();
                break;
            case CMD_TICK: leave = !run.next(); break;
            case CMD_GO_HKL:
            case CMD_GO_ISEQ: {
                // A reflection reached by a jump is fitted and shown, neither
                // written nor counted: the summary counts what the file holds.
                const FittingState counted = G;
                leave = jump_and_fit(command) == FitStep::Leave;
                G.NFITC = counted.NFITC;
                G.NPASS2 = counted.NPASS2;
                break;
            }
            default: fit_control_command(command); break;
        }
        if (leave) break;
        show_fit();
    }

    run.finish(false);
    stop_timer();
    panel_status(18, 1);
    end_run(run, started);
}

}  // namespace tarnivox
