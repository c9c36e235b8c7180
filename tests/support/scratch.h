#pragma once
// Files and windows of a test run: a scratch folder of its own for every
// test, a sample instrument parameter file, whole files read back for
// comparison, and a headless window that does not echo its script.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/script/script_backend.h"

namespace tarnivox::test {

// The eight mandatory keywords of an instrument parameter file (Mo K-alpha
// doublet, graphite monochromator, every parity positive).
extern const std::string kInstrumentParameters;

// An empty folder under the system temporary folder, named from `prefix`,
// the process and the running test, so that test programs running side by
// side never share one.  The caller removes it when the test ends.
std::filesystem::path make_scratch_dir(const std::string& prefix);

// A clean store with every unit closed, and a scratch folder that holds
// the program as bin/tarnivox and the user's configuration folder as
// config/ (XDG_CONFIG_HOME), so that the defaults file is kept there.
std::filesystem::path fresh_run_in_scratch_dir(const std::string& prefix);
// The defaults file of a run in the scratch folder `dir`.
std::filesystem::path defaults_file_in(const std::filesystem::path& dir);
// Closes every unit, forgets where the program is and removes the folder.
void end_run_in_scratch_dir(const std::filesystem::path& dir);

// The bytes of a file as they are (empty when it cannot be read).
std::string read_text(const std::filesystem::path& file);

// The lines of a text file without their line ends.
std::vector<std::string> read_lines(const std::filesystem::path& file);

// Installs the headless backend answering with `script` (relative paths
// from `base_dir`), silent, and returns it.
ScriptBackend& install_quiet_script(std::string_view script = "", const std::string& base_dir = ".");

// The same, with the program's main window and every dialog built on it.
ScriptBackend& open_headless_window(std::string_view script = "", const std::string& base_dir = ".");

// The events of one kind the headless window has recorded, in order.
std::vector<ScriptEvent> script_events(ScriptEvent::Kind kind);

// The texts of the messages and error boxes the window has shown, in order.
std::vector<std::string> shown_messages(const ScriptBackend& backend);

}  // namespace tarnivox::test
