#include "tarnivox_main.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "commands/auto_fit.h"
#include "commands/background.h"
#include "commands/cif.h"
#include "commands/deltad.h"
#include "commands/fit_gamma.h"
#include "commands/manual_fit.h"
#include "commands/preprocess.h"
#include "commands/report.h"
#include "commands/zref.h"
#include "core/store.h"
#include "import/convert.h"
#include "import/stddata.h"
#include "io/units.h"
#include "output/log_file.h"
#include "params/defaults.h"
#include "ui/command_numbers.h"
#include "ui/dialogs.h"
#include "ui/files.h"
#include "ui/fit_settings.h"
#include "ui/graphics.h"
#include "ui/message_boxes.h"
#include "toolkit/toolkit.h"

namespace tarnivox {
namespace {

// Steps 7 to 10 of the start-up: import, show the title, position the
// scan file and read its first reflection.  false: a step failed.
bool import_and_show_first(bool check) {
    int status = 0;
    CONVERT_FILE(status);
    if (G.LOGOPEN == 1) WRITE_INPUT(LU_LOG);
    if (check && status != 0) return false;
    SHOW_TITLE();
    status = 0;
    SKIP_HEADER_STDDATA(G.LUSCR, status);
    if (check && status != 0) return false;
    Arr1<int, 3> none;
    status = 0;
    READ_SCAN_STDDATA(G.LUSCR, 0, 0, none, status);
    return true;
}

// Whether a data file the chosen reader cannot read ends only its import
// (the window) or the run (a headless run, whose caller needs the fatal
// status).  Set by run_program for the run it starts.
bool g_import_failure_returns = false;

constexpr std::string_view kLogWriteFailure = "ERROR WRITING LOG FILE";

// The box of an import that failed: the reader's message, the file and the
// format it was read as, and what to do next.
std::string import_failure_text(const std::string& message) {
    std::string text = exitint_message_text(message);
    text += "\n\n" + std::string(G.INFILE.str()) + " could not be read as " +
            std::string(input_format_label(G.INFMT)) +
            " data. No data set is open: choose the file and its format again with File > Open data file.";
    return text;
}

// Import of the file the user chose.  In the window an unreadable file (a
// wrong format chosen, a damaged or foreign file) shows its message and
// returns to the main window with no data set open, instead of ending the
// session; a log that cannot be written still ends the run.
bool import_chosen_file(bool check) {
    if (!g_import_failure_returns) return import_and_show_first(check);
    try {
        return import_and_show_first(check);
    } catch (const ProgramEnd& end) {
        if (end.status != EXIT_STATUS_FATAL || end.message == kLogWriteFailure) throw;
        WAITBOX(0);
        forget_input_file();
        GMDISPLAYERRORBOX("Tarnivox", import_failure_text(end.message));
        return false;
    }
}

// The log is the run's written record: a log that silently stops would
// report a reduction as complete that is not.  The unit layer has cut the
// file back to its last whole record.
void log_write_failed(int lu) {
    if (lu == LU_LOG) EXITINT(kLogWriteFailure);
}

void open_new_data_set() {
    OPEN_IN();
    int status = 0;
    OPEN_PAR(status);
    if (status != 0) return;
    import_chosen_file(false);
}

}  // namespace

void EXIT_PROGRAM() {
    const int answer =
        GMDISPLAYMESSAGEBOX("TARNIVOX", "Are you sure you want to exit the program?", GM_ICON_INFORMATION, GM_BUTTONS_YESNO);
    if (answer == GM_YES) EXITINT("");
}

void dispatch_command(int command) {
    int flag = 0;
    switch (command) {
        case GM_CLOSE:
        case CMD_PANEL_EXIT:
        case CMD_EXIT: EXIT_PROGRAM(); break;
        case CMD_OPEN_DATA: open_new_data_set(); break;
        case CMD_OPEN_PARAMETERS: OPEN_PAR(flag); break;
        case CMD_OPEN_OUTPUT: OPEN_OUT(); break;
        case CMD_OPEN_LOG: CREATE_LOG(); break;
        case CMD_CREATE_EXP: CREATE_EXP(); break;
        case CMD_CREATE_CIF: CREATE_CIF_TARNIVOX(); break;
        case CMD_WRITE_STD: CONVERT_TO_STD(); break;
        case CMD_MANUAL_FIT: START_MANUAL_FIT(); break;
        case CMD_AUTO_FIT: START_AUTO_FIT(); break;
        case CMD_PREPROCESS: START_PREPROCESS(); break;
        case CMD_CALC_UB: UB_FIT(); break;
        case CMD_CALC_BACKGROUND: PROCESS_BACKGROUND(); break;
        case CMD_CALC_FWHM: FIT_GAMMA(); break;
        case CMD_ZREF: RUN_ZREF(); break;
        case CMD_DELTA_D: RUN_DELTAD(); break;
        case CMD_REPORT: WRITE_REPORT(); break;
        case CMD_PKVALS: RUN_PKVALS(flag); break;
        case CMD_DIFFRACTOMETER: RUN_GENERAL_INFO(); break;
        case CMD_BACKGROUNDS: RUN_BACKGROUND_INFO(); break;
        case CMD_OUTPUT_FORMAT: RUN_INTFORMAT(); break;
        default: break;  // not a command of the main loop
    }
}

void command_loop() {
    for (;;) dispatch_command(GMACTION());
}

void TARNIVOX_MAIN() {
    // The routines below the window show their boxes here.
    show_messages_in_window();
    G.LUSCR = 25;
    set_write_error_handler(log_write_failed);
    READ_DEFAULTS_FROM_FILE();
    GRAPHICS_SETUP();
    OPEN_IN();
    if (G.INOPEN == 0) EXITINT("END OF PROGRAM");
    for (;;) {
        int status = 0;
        OPEN_PAR(status);
        if (status == 0) break;
        int give_up = 0;
        NOPARFILE(give_up);
        if (give_up == 1) EXITINT("END OF PROGRAM");
    }
    import_chosen_file(true);
    command_loop();
}

int finish_run(const ProgramEnd& end, bool headless) {
    // Each step runs even when an earlier one fails, so that the defaults
    // are saved and every file is closed on every end of the run.
    try {
        const std::string shown = exitint_shown_text(end.message, std::string_view::npos);
        if (!shown.empty()) GMDISPLAYERRORBOX("Tarnivox", shown);
    } catch (...) {
    }
    try {
        WRITE_DEFAULTS_TO_FILE();
    } catch (...) {
    }
    try {
        GMCLOSEMENU();
        GCLOSEDEVICE();
        GCLOSEGINO();
    } catch (...) {
    }
    // A normal end finishes every output; any other end keeps what was
    // written as NAME.partial and leaves the earlier complete files alone.
    if (end.status == EXIT_STATUS_NORMAL)
        close_all_units();
    else
        abandon_all_units();
    return headless ? end.status : EXIT_STATUS_NORMAL;
}

int run_program(const RunOptions& options) {
    // The choice holds for this run only (tests run many in one process).
    struct DefaultsChoice {
        bool before = defaults_file_in_use();
        ~DefaultsChoice() { set_defaults_file_in_use(before); }
    } restore;
    set_defaults_file_in_use(options.defaults_file);
    struct ImportFailureChoice {
        bool before = g_import_failure_returns;
        ~ImportFailureChoice() { g_import_failure_returns = before; }
    } restore_import;
    g_import_failure_returns = !options.headless;
    try {
        TARNIVOX_MAIN();
    } catch (const ProgramEnd& end) {
        return finish_run(end, options.headless);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TARNIVOX INTERNAL ERROR: %s\n", e.what());
        finish_run(ProgramEnd{"INTERNAL ERROR"});
        return EXIT_STATUS_FATAL;
    }
}

}  // namespace tarnivox
