#include "io/file_records.h"

#include "core/store.h"
#include "io/clock.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

// A path may use either separator.
std::size_t last_separator(std::string_view path) { return path.find_last_of("/\\"); }

std::string name_in(std::string_view path) {
    const std::size_t sep = last_separator(path);
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string folder_of(std::string_view path) {
    const std::size_t sep = last_separator(path);
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

// A file name in a log record: blank-padded to its column width, never cut.
std::string whole_name(std::string_view name, std::size_t width) {
    std::string s(name);
    if (s.size() < width) s.resize(width, ' ');
    return s;
}

}  // namespace

std::string automatic_log_path(std::string_view input_path) {
    std::string name = name_in(input_path);
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos) name.resize(dot);
    return folder_of(input_path) + name + "_Tarnivox.log";
}

std::string open_automatic_log(const std::string& input_path, const std::string& log_path) {
    if (G.LOGOPEN == 1) close_unit(LU_LOG);
    G.LOGOPEN = 0;
    const std::string path = log_path.empty() ? automatic_log_path(input_path) : log_path;
    // A read-only data folder, or another run writing the same log: the
    // run goes on without it, and the user knows that nothing is logged.
    if (open_unit(LU_LOG, path, OpenMode::Append, true) != 0)
        return "Log file " + name_in(path) + " cannot be written: " + open_failure_reason();
    write_record(
        LU_LOG,
        "(/,/,80(,'*',),/,/,6X,'THIS FILE CREATED BY TARNIVOX ON  ',A24,/,/,6X,'INPUT DATA FILE WAS: ',"
        "A,/,/,'  TITLE ',A60,/,/)",
        {date_text(), whole_name(G.INFILE.str(), 50), G.TITLE.padded()});
    G.LOGOPEN = 1;
    return {};
}

int open_chosen_log(const std::string& path) {
    close_unit(LU_LOG);
    G.LOGOPEN = 0;
    if (open_unit(LU_LOG, path, OpenMode::Append, true) != 0) return 1;
    G.LOGOPEN = 1;
    return 0;
}

void log_parameter_file_opened(std::string_view name) {
    if (G.LOGOPEN == 1)
        write_record(LU_LOG, "(/,/,'  INSTRUMENT PARAMETER FILE OPENED: ',A,/,'  CONTENTS ARE:',/)",
                     {whole_name(name, 30)});
}

void log_output_file_opened(std::string_view name) {
    if (G.LOGOPEN == 1) write_record(LU_LOG, "(/,/,'  INTEGRATED DATA FILE OPENED: ',A)", {whole_name(name, 12)});
}

void log_standard_file_opened(std::string_view name) {
    if (G.LOGOPEN == 1) write_record(LU_LOG, "(/,/,'  STANDARD DATA FILE OPENED: ',A)", {whole_name(name, 60)});
}

std::string in_folder(const std::string& name, const std::string& dir) {
    if (dir.empty() || name.empty() || name.front() == '/') return name;
    const char last = dir.back();
    return dir + (last == '/' || last == '\\' ? "" : "/") + name;
}

void log_step_given(double step) {
    // The file does not carry its step width: the log keeps the one the
    // intensities were integrated with.
    if (G.LOGOPEN == 1) write_record(LU_LOG, "(/,'  OMEGA STEP SIZE GIVEN: ',F8.4,' DEGREES')", {step});
}

}  // namespace tarnivox
