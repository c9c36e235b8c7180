// The defaults file "Tarnivox_defaults.dat": the directory the file
// dialogs open in and the input and output formats, carried from one run
// to the next.  It lives where a desktop keeps a program's settings, in the
// user's configuration folder ($XDG_CONFIG_HOME/tarnivox, or
// ~/.config/tarnivox); a file beside the program, where it was kept before,
// is read once when that folder holds none.

#include "params/defaults.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/messages.h"
#include "core/store.h"
#include "io/clock.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

constexpr const char* kDefaultsName = "Tarnivox_defaults.dat";
constexpr std::size_t kMaxLine = 255;
constexpr std::size_t kMaxDir = 247;

bool& in_use() {
    static bool on = true;
    return on;
}

std::string& program_path() {
    static std::string path;
    return path;
}

// The program's folder, up to and including its last separator.
std::string program_dir() {
    const std::string& p = program_path();
    const std::size_t sep = p.find_last_of("/\\");
    return sep == std::string::npos ? std::string() : p.substr(0, sep + 1);
}

// The user's configuration folder of the program, as the XDG base
// directories define it (a relative XDG_CONFIG_HOME is to be ignored);
// empty without a home folder.
std::filesystem::path config_folder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::filesystem::path(xdg) / "tarnivox";
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    return std::filesystem::path(home) / ".config" / "tarnivox";
}

// Where an earlier version kept the file: beside the program.
std::string old_defaults_path() { return program_dir() + kDefaultsName; }

// Where the defaults file is kept; empty when nowhere.  Without a home
// folder it stays beside the program, as before.
std::string defaults_path() {
    if (!in_use() || program_path().empty()) return {};
    const std::filesystem::path folder = config_folder();
    if (folder.empty()) return old_defaults_path();
    return (folder / kDefaultsName).string();
}

// The configuration folder is made on the first run; a folder that cannot
// be made leaves the defaults unsaved, without a message.
void make_folder_of(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
}

bool absolute_path(std::string_view dir) { return !dir.empty() && dir.front() == '/'; }

std::string without_leading_blanks(std::string s) {
    const std::size_t first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first);
}

// A format code of the file, taken when it is one of 1..last.
void take_format_code(int code, int last, std::string_view which, int& into) {
    if (code >= 1 && code <= last) {
        into = code;
        return;
    }
    report_message(MessageKind::Notice, "Tarnivox",
                   std::string(kDefaultsName) + ": " + std::string(which) + " format code " + std::to_string(code) +
                       " is not one of 1 to " + std::to_string(last) + "; format " + std::to_string(into) +
                       " is kept");
}

// One line of the file: a directory line or a formats line; anything else,
// and any value that cannot be read, is passed over.
void take_defaults_line(const std::string& line) {
    const std::size_t dir_at = line.find("IN_DIR: ");
    if (dir_at != std::string::npos) {
        G.WORKDIR = without_leading_blanks(line.substr(dir_at + 8, kMaxDir));
        return;
    }
    const std::size_t fmt_at = line.find("FORMATS");
    if (fmt_at == std::string::npos) return;
    // The numbers start one column after "FORMATS", past its colon.
    const std::size_t from = fmt_at + 8;
    if (from > line.size()) return;
    int infmt = G.INFMT;
    int intfmt = G.INTFMT;
    if (read_free(std::string_view(line).substr(from), {&infmt, &intfmt}) != READ_OK) return;
    // A format number the program does not know would preselect no filter
    // and no switch: such a value is passed over, with a notice that says so.
    take_format_code(infmt, 7, "input", G.INFMT);
    take_format_code(intfmt, 3, "output", G.INTFMT);
}

}  // namespace

void set_program_path(std::string_view path) { program_path() = std::string(path); }

std::string defaults_file_path() { return defaults_path(); }

void set_defaults_file_in_use(bool on) { in_use() = on; }
bool defaults_file_in_use() { return in_use(); }

void READ_DEFAULTS_FROM_FILE() {
    G.INTFMT = 1;
    G.INFMT = 1;
    const std::string path = defaults_path();
    if (path.empty()) return;
    std::string source = path;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && std::filesystem::is_regular_file(old_defaults_path(), ec))
        source = old_defaults_path();  // read once: the end of the run writes the new place
    if (open_unit(LU_EXPORT, source, OpenMode::Old, true) != 0) {
        // First run: an empty file, filled at the end of the run.
        make_folder_of(path);
        open_unit(LU_EXPORT, path, OpenMode::New, true);
        return;
    }
    std::string line;
    while (read_line(LU_EXPORT, line) == READ_OK) {
        if (line.size() > kMaxLine) line.resize(kMaxLine);
        take_defaults_line(line);
    }
    if (!absolute_path(G.WORKDIR.str())) G.WORKDIR = program_dir();
}

void WRITE_DEFAULTS_TO_FILE() {
    const std::string path = defaults_path();
    if (path.empty()) return;
    // The scan export shares the unit: the defaults always go to their own
    // file, reopened by its path and rewritten from its start.
    make_folder_of(path);
    if (open_unit(LU_EXPORT, path, OpenMode::Output, true) != 0) return;
    std::string dir(G.WORKDIR.str());
    const std::size_t gap = dir.find("    ");
    if (gap != std::string::npos) dir.resize(gap);
    write_record(LU_EXPORT, "(7X,'This is the configuration file for Tarnivox')");
    write_record(LU_EXPORT, "(7X,'Created on: ',A24)", {date_text()});
    write_record(LU_EXPORT, "(' IN_DIR: ',A)", {dir});
    write_record(LU_EXPORT, "(' FORMATS: ',2I5)", {G.INFMT, G.INTFMT});
    close_unit(LU_EXPORT);
}

}  // namespace tarnivox
