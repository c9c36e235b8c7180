#include "support/scratch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/store.h"
#include "io/units.h"
#include "params/defaults.h"
#include "ui/graphics.h"

namespace tarnivox::test {

const std::string kInstrumentParameters =
    "PKPAR  0.1 0.02 0.5\n"
    "FITLIM -1.0 1.0 0.05 0.5 0.0 1.0e6 0.2 0.2 0.0 1.0 0.4 0.6 0.25\n"
    "ATTEN  12.5\n"
    "WAVEL  2 0.709300 0.713590 0.500000\n"
    "RFLAGS 1,1,1,1,1,0\n"
    "TFLAGS 1,1,1,1,1,0,1\n"
    "PARITY 1,1,1,1\n"
    "MONO      1   12.1600    0.0000    0\n";

std::filesystem::path make_scratch_dir(const std::string& prefix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::to_string(::getpid());
    if (info != nullptr) name += std::string("_") + info->name();
    for (char& c : name)
        if (c == '/') c = '_';  // parameterised tests are named Case/N
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / (prefix + "_" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

namespace {

// No test may read or write the user's own configuration folder: every test
// program keeps its defaults files in a folder of its own, removed at its end.
const std::filesystem::path& test_config_home() {
    // Never destroyed, so that it is still there when the folder is removed at exit.
    static const std::filesystem::path* home = [] {
        auto* dir = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                              ("tarnivox_config_" + std::to_string(::getpid())));
        std::filesystem::create_directories(*dir);
        return dir;
    }();
    return *home;
}

void remove_test_config_home() {
    std::error_code ec;
    std::filesystem::remove_all(test_config_home(), ec);
}

const bool kConfigHomeSet = [] {
    ::setenv("XDG_CONFIG_HOME", test_config_home().c_str(), 1);
    std::atexit(remove_test_config_home);
    return true;
}();

}  // namespace

std::filesystem::path fresh_run_in_scratch_dir(const std::string& prefix) {
    reset_store();
    close_all_units();
    const std::filesystem::path dir = make_scratch_dir(prefix);
    std::filesystem::create_directories(dir / "bin");
    set_program_path((dir / "bin" / "tarnivox").string());
    // The user's configuration folder of this run: dir/config/tarnivox.
    std::filesystem::create_directories(dir / "config" / "tarnivox");
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    return dir;
}

std::filesystem::path defaults_file_in(const std::filesystem::path& dir) {
    return dir / "config" / "tarnivox" / "Tarnivox_defaults.dat";
}

void end_run_in_scratch_dir(const std::filesystem::path& dir) {
    close_all_units();
    set_program_path("");
    ::setenv("XDG_CONFIG_HOME", test_config_home().c_str(), 1);
    std::filesystem::remove_all(dir);
}

std::string read_text(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> read_lines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

ScriptBackend& install_quiet_script(std::string_view script, const std::string& base_dir) {
    auto backend = ScriptBackend::from_text(script, base_dir);
    backend->echo = false;
    ScriptBackend& installed = *backend;
    set_toolkit_backend(std::move(backend));
    return installed;
}

ScriptBackend& open_headless_window(std::string_view script, const std::string& base_dir) {
    ScriptBackend& backend = install_quiet_script(script, base_dir);
    GRAPHICS_SETUP();
    return backend;
}

std::vector<ScriptEvent> script_events(ScriptEvent::Kind kind) {
    std::vector<ScriptEvent> out;
    for (const auto& e : script_backend()->events())
        if (e.kind == kind) out.push_back(e);
    return out;
}

std::vector<std::string> shown_messages(const ScriptBackend& backend) {
    std::vector<std::string> out;
    for (const ScriptEvent& e : backend.events())
        if (e.kind == ScriptEvent::Message || e.kind == ScriptEvent::Error) out.push_back(e.text);
    return out;
}

}  // namespace tarnivox::test
