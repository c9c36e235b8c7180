// Choosing the program's files in a dialog and opening them on their
// fixed units: the input data file (with its automatic log), the
// integrated-intensity output file, the log, the instrument parameter
// file, the experiment file, the scan export file and new standard data
// files.  An open failure shows its message and offers the dialog again.

#include "ui/files.h"

#include <filesystem>
#include <string>
#include <string_view>

#include "core/exitint.h"
#include "core/store.h"
#include "import/export.h"
#include "import/formats.h"
#include "io/file_records.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/formats.h"
#include "output/log_file.h"
#include "output/reports.h"
#include "params/parameters.h"
#include "ui/dialogs.h"
#include "ui/preprocess_state.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox {
namespace {

// A path read from a dialog may use either separator.
std::size_t last_separator(std::string_view path) { return path.find_last_of("/\\"); }

// Everything up to and including the last separator.
std::string directory_of(std::string_view path) {
    const std::size_t sep = last_separator(path);
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

std::string name_of(std::string_view path) {
    const std::size_t sep = last_separator(path);
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

// A name typed without an extension gets the file kind's one.
std::string with_extension(std::string path, std::string_view ext) {
    if (name_of(path).find('.') == std::string::npos) path += ext;
    return path;
}

std::string trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    const std::size_t first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first);
}

// The folder the browse dialogs open in.
std::string browse_directory() { return std::string(G.WORKDIR.str()); }

// Shows the browse dialog; the chosen path, empty when cancelled.
std::string browse_for(std::string_view title, std::string preset, std::string_view filter) {
    WIDSTR(title);
    const std::string dir = browse_directory();
    BROWSE(preset, dir, filter);
    preset = trimmed(preset);
    return preset.empty() ? preset : in_folder(preset, dir);
}

// The browse-and-open loop of the log, experiment and scan export files.
// 0 opened, 1 cancelled.
int browse_and_open(int unit, std::string_view title, std::string preset, std::string_view filter,
                    std::string_view ext, OpenMode mode, bool carriage_control, std::string_view failure) {
    for (;;) {
        const std::string chosen = browse_for(title, preset, filter);
        if (chosen.empty()) return 1;
        const std::string path = with_extension(chosen, ext);
        if (open_unit(unit, path, mode, carriage_control) == 0) return 0;
        GMDISPLAYERRORBOX("ERROR", failure);
    }
}

void set_text(WidSlot slot, std::string_view text) {
    if (wid(slot) != 0) GMSETTEXTSETTING(wid(slot), text);
}

void set_status(WidSlot slot, int status) {
    if (wid(slot) != 0) GMSETWIDGETSTATUS(wid(slot), status);
}

// The output-file fields of the main window: file name and format shown
// with their captions and the "Output format" entry while a file is open.
void show_output_controls() {
    const bool open = G.OUTOPEN == 1;
    set_text(MAIN_OUTFILE, open ? G.OUTFILE.str() : std::string_view());
    const OutputFormat* format = output_format(G.INTFMT);
    set_text(MAIN_FORMAT, open ? (format ? format->shown : output_formats().front().shown) : "");
    set_status(MAIN_OUTPUT_CAPTION, open ? 1 : -1);
    set_status(MAIN_FORMAT_CAPTION, open ? 1 : -1);
    set_status(MENU_OUTPUT_FORMAT, open ? 1 : 0);
}

void open_input_log(const std::string& input_path) {
    const std::string failure = open_automatic_log(input_path);
    if (!failure.empty()) GMDISPLAYERRORBOX("Tarnivox", failure);
}

// The intensity format from the chosen file, or the user says.
void choose_output_format(const std::string& path, int filter) {
    G.INTFMT = output_format_of(path, filter);
    // The format the name's extension stands for, whatever the filter.
    const int by_name = output_format_of(path, 0);
    if (G.INTFMT == 0) {
        // The box offers the format of the name first: a ".hkl" typed under
        // the Rfine filter is meant as a SHELX file.
        if (by_name != 0) G.INTFMT = by_name;
        RUN_INTFORMAT();
        const OutputFormat* chosen = output_format(G.INTFMT);
        const OutputFormat* named = output_format(by_name);
        if (chosen != nullptr && named != nullptr && chosen->extension != named->extension &&
            GMDISPLAYMESSAGEBOX("Tarnivox",
                                name_of(path) + " has the extension of " + std::string(named->shown) + " files: write " +
                                    std::string(chosen->radio) + " records into it (YES) or " +
                                    std::string(named->shown) + " records (NO)?",
                                GM_ICON_WARNING, GM_BUTTONS_YESNO) != GM_YES)
            G.INTFMT = by_name;
    }
    // Leaving the format dialog without a choice keeps the format the
    // window shows, Rfine, rather than no format at all.
    if (output_format(G.INTFMT) == nullptr) G.INTFMT = INTFMT_RFINE;
}

// The intensity file layouts with a filter of their own in the file dialog.
int output_filter_count() {
    int n = 0;
    for (const OutputFormat& f : output_formats()) n += f.filter.empty() ? 0 : 1;
    return n;
}

// The file dialog filter (from 1) of a layout: the one of its extension.
int output_filter_of(int intfmt) {
    const OutputFormat* wanted = output_format(intfmt);
    int k = 0;
    for (const OutputFormat& f : output_formats()) {
        if (f.filter.empty()) continue;
        ++k;
        if (wanted != nullptr && f.extension == wanted->extension) return k;
    }
    return 1;
}

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

enum class OutputOpen { Opened, Failed, Cancelled };

// A new file, or an existing one after the user chose to overwrite or
// append to it.
// An overwritten file is replaced only when the new one is closed.
OutputOpen open_output_path(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return open_unit(LU_OUTPUT, path, OpenMode::Output) == 0 ? OutputOpen::Opened : OutputOpen::Failed;
    const int answer =
        GMDISPLAYMESSAGEBOX("Open output file", "Output file already exists: Overwrite (YES) or Append (No)",
                            GM_ICON_INFORMATION, GM_BUTTONS_YESNOCANCEL);
    if (answer == GM_CANCEL) return OutputOpen::Cancelled;
    const OpenMode mode = answer == GM_YES ? OpenMode::Output : OpenMode::Append;
    return open_unit(LU_OUTPUT, path, mode) == 0 ? OutputOpen::Opened : OutputOpen::Failed;
}

}  // namespace

int output_format_of(std::string_view path, int filter) {
    const std::string name = name_of(path);
    const std::size_t dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    const int filters = output_filter_count();
    int format = 0;
    int k = 0;
    for (const OutputFormat& f : output_formats()) {
        if (f.filter.empty()) continue;
        ++k;
        // The extension decides, unless the filter of another extension was chosen.
        const bool other_filter = filter >= 1 && filter <= filters && filter != k;
        if ((ext == f.extension || ext == upper(f.extension)) && !other_filter) format = f.intfmt;
    }
    return format;
}

void OPEN_IN() {
    OpenFileRequest request;
    request.title = "Open Input Data File";
    // One filter per input format, in INFMT order, then every file.
    for (const InputFormat& f : input_formats())
        request.filters.push_back({std::string(f.filter), std::string(f.pattern)});
    request.filters.push_back({"All Formats", "*.*"});
    const int filters = static_cast<int>(request.filters.size());
    request.filter_index = G.INFMT >= 1 && G.INFMT <= filters ? G.INFMT : FORMAT_STANDARD;
    request.initial_dir = std::string(G.WORKDIR.str());
    request.default_ext = "rfl";
    request.must_exist = true;
    request.data_file = true;
    if (G.INOPEN == 1) {
        request.preset_name = std::string(G.INFILE.str());
        G.INOPEN = 0;
        close_unit(LU_INPUT);
    }
    OpenFileResult chosen;
    for (;;) {
        chosen = GETOPENFILENAME(request);
        if (!chosen.ok) {
            G.INOPEN = 0;
            return;
        }
        if (open_unit(LU_INPUT, chosen.path, OpenMode::Read) == 0) break;
        GMDISPLAYERRORBOX("Tarnivox", "Error opening file: Try again");
        G.INOPEN = 0;
    }
    note_data_file(chosen.path);
    G.WORKDIR = directory_of(chosen.path);
    G.INFILE = name_of(chosen.path);
    G.INOPEN = 1;
    SET_PREPROCESS(0, 0);
    open_input_log(chosen.path);
    GETFORMAT();
    set_text(MAIN_INFILE, G.INFILE.str());
}

void forget_input_file() {
    close_unit(LU_INPUT);
    close_unit(G.LUSCR);
    G.INOPEN = 0;
    set_text(MAIN_INFILE, "");
    set_text(MAIN_TITLE, "");
    if (WS.GFRAME != 0) FRACLE(WS.GFRAME);
}

void OPEN_OUT() {
    OpenFileRequest request;
    request.title = "Open Output Data File";
    request.for_output = true;
    for (const OutputFormat& f : output_formats())
        if (!f.filter.empty())
            request.filters.push_back({std::string(f.filter), "*." + std::string(f.extension)});
    request.filters.push_back({"All Formats", "*.*"});
    request.filter_index = output_filter_of(G.INTFMT);
    request.initial_dir = std::string(G.WORKDIR.str());
    // A name without an extension takes the chosen filter's; under "All
    // Formats" that of the format in force, so that name and format agree.
    request.default_ext = G.INTFMT == 3 ? "hkl" : "int";
    if (G.OUTOPEN == 1) {
        request.preset_name = std::string(G.OUTFILE.str());
        G.OUTOPEN = 0;
        close_unit(LU_OUTPUT);
        show_output_controls();
    }
    OpenFileResult chosen;
    for (;;) {
        chosen = GETOPENFILENAME(request);
        if (!chosen.ok) {
            show_output_controls();
            return;
        }
        const OutputOpen result = open_output_path(chosen.path);
        if (result == OutputOpen::Cancelled) {
            show_output_controls();
            return;
        }
        if (result == OutputOpen::Opened) break;
        GMDISPLAYERRORBOX("Tarnivox", "Error opening file: Try again");
        G.OUTOPEN = 0;
    }
    G.OUTDIR = directory_of(chosen.path);
    G.OUTFILE = name_of(chosen.path);
    G.OUTOPEN = 1;
    choose_output_format(chosen.path, chosen.filter_index);
    log_output_file_opened(G.OUTFILE.str());
    show_output_controls();
}

void OPEN_LOG() {
    close_unit(LU_LOG);
    G.LOGOPEN = 0;
    if (browse_and_open(LU_LOG, "Open Log File", "", "*.log|(Log File)|*.*|(All)", ".log", OpenMode::Append,
                        true, "Error opening LOG file: Try again") == 0)
        G.LOGOPEN = 1;
}

void OPEN_PAR(int& status) {
    status = 1;
    // The file in use, opened again when the choice is cancelled or
    // refused: the fit-control defaults are read back from it.
    const std::string previous = unit_is_open(LU_PARAM) ? unit_path(LU_PARAM) : std::string();
    auto keep_previous = [&previous] {
        close_unit(LU_PARAM);
        if (!previous.empty()) open_unit(LU_PARAM, previous, OpenMode::Read);
    };
    close_unit(LU_PARAM);
    std::string chosen;
    for (;;) {
        chosen = browse_for("Open Instrument Parameter File", "", "*.par|(Parameter File)|*.*|(All Files)");
        if (chosen.empty()) {
            keep_previous();
            return;
        }
        if (open_unit(LU_PARAM, chosen, OpenMode::Read) == 0) break;
        // The system's reason (not found, no permission, a folder) tells the
        // user what to put right.
        GMDISPLAYERRORBOX("ERROR", "Error opening file: Try again\n" + name_of(chosen) + ": " + open_failure_reason());
    }
    log_parameter_file_opened(name_of(chosen));
    status = 0;
    // At start-up no parameters are in place yet and a bad file ends the
    // run.  Later (a file chosen from the menu) a complete set is in place:
    // a bad file is refused and the set read before stays, the session
    // goes on.  The file is read into the program state, which is put back
    // as it was when the file is refused.
    bool complete = true;
    for (int k = 1; k <= 8; ++k) complete = complete && G.PARSEEN(k) == 1;
    if (!complete) {
        READ_PARAMETERS();
        return;
    }
    const Store before = G;
    try {
        READ_PARAMETERS();
    } catch (const ProgramEnd& end) {
        // Only the parameter file's own faults carry a place; any other end
        // (a log that cannot be written) still ends the run.
        if (end.place.empty()) throw;
        G = before;
        keep_previous();
        status = 1;
        GMDISPLAYERRORBOX("Tarnivox", exitint_message_text(end.message) + "\n\n" + name_of(chosen) +
                                          " was not taken: the instrument parameters read before stay in use.");
    }
}

void OPEN_EXP() {
    // Proposed name: the input file's name up to its first '.', then EXP.
    std::string preset;
    if (G.INOPEN == 1) {
        preset = std::string(G.INFILE.str());
        const std::size_t dot = preset.find('.');
        preset = dot == std::string::npos ? preset + ".EXP" : preset.substr(0, dot + 1) + "EXP";
    }
    browse_and_open(LU_EXP, "Create Experiment File", preset, "*.exp|(Experiment File)|*.*|(A", ".exp",
                    OpenMode::Output, false, "Error opening exp file: Try again");
}

void OPEN_SCANDATA(int& status) {
    status = browse_and_open(LU_EXPORT, "Open Data File", "", "*.dat|(Data File)|*.*|(All)", ".dat",
                             OpenMode::Append, true, "Error opening datafile: Try again");
}

void OPEN_NEWSTD(int& status, int unit) {
    status = 1;
    OpenFileRequest request;
    request.title = "Create Standard Data File";
    request.for_output = true;
    request.filters = {{"Std datafile", "*.rfl"}, {"All Formats", "*.*"}};
    request.initial_dir = std::string(G.WORKDIR.str());
    request.default_ext = "rfl";
    const OpenFileResult chosen = GETOPENFILENAME(request);
    if (!chosen.ok) return;
    if (open_unit(unit, chosen.path, OpenMode::Output) != 0) return;
    log_standard_file_opened(name_of(chosen.path));
    status = 0;
}

void CREATE_LOG() {
    OPEN_LOG();
    if (G.LOGOPEN == 1) WRITE_LOG_HEADER();
}

void CREATE_EXP() {
    // Unit 26 may still hold a file of an earlier command; only a file
    // chosen now receives the report.
    close_unit(LU_EXP);
    OPEN_EXP();
    if (unit_is_open(LU_EXP)) WRITE_EXP_REPORT();
}

void EXPORT_SCAN() {
    int status = 0;
    OPEN_SCANDATA(status);
    if (status != 0) {
        GMDISPLAYMESSAGEBOX("TARNIVOX", "Data file not opened", GM_ICON_NOTICE, GM_BUTTONS_OK);
        return;
    }
    WRITE_SCAN_EXPORT();
}

void CONVERT_TO_STD() {
    int status = 0;
    OPEN_NEWSTD(status, LU_NEWSTD);
    if (status != 0) {
        GMDISPLAYERRORBOX("Tarnivox", "Error opening file: Try again");
        return;
    }
    COPY_TO_STD();
}

}  // namespace tarnivox
