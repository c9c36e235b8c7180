// The tarnivox executable: reads the command line (app/cli.h) and runs the
// window, a script, or whole reductions in batch.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "batch.h"
#include "cli.h"
#include "params/defaults.h"
#include "tarnivox_main.h"
#include "toolkit/script/script_backend.h"
#include "toolkit/toolkit.h"
#ifdef TARNIVOX_HAVE_QT
#include "toolkit/qt/qt_backend.h"
#endif

namespace {

std::string own_path(const char* argv0) {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) return p.string();
    p = std::filesystem::absolute(argv0 ? argv0 : "", ec);
    return ec ? std::string() : p.string();
}

int run_script(const std::string& path) {
    using namespace tarnivox;
    auto backend = ScriptBackend::from_file(path);
    if (!backend) {
        std::fprintf(stderr, "tarnivox: cannot read the script %s\n", path.c_str());
        return 2;
    }
    RunOptions options;
    options.headless = true;
    options.defaults_file = backend->wants_defaults_file();
    set_toolkit_backend(std::move(backend));
    return run_program(options);
}

int run_window([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
    using namespace tarnivox;
#ifdef TARNIVOX_HAVE_QT
    // Without a display Qt cannot open a window and would abort the process.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(
            stderr,
            "tarnivox: no display to open the window on (DISPLAY is not set).\n"
            "Run it on a desktop, under xvfb-run, or headless: tarnivox reduce ... (see tarnivox --help).\n");
        return 1;
    }
    static int qt_argc = 1;  // the window takes no arguments of its own; Qt keeps a reference
    set_toolkit_backend(make_qt_backend(qt_argc, argv));
    return run_program();
#else
    std::fprintf(stderr, "tarnivox: the window is not available in this build; see tarnivox --help\n");
    return 1;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tarnivox;
    set_program_path(own_path(argc > 0 ? argv[0] : nullptr));
    CommandLine line = parse_command_line(argc, argv);
    switch (line.action) {
        case CommandLine::Exit: return line.status;
        case CommandLine::Script: return run_script(line.script);
        case CommandLine::Batch:
            line.batch.terminal = ::isatty(STDERR_FILENO) == 1;
            return run_batch(line.batch, line.plan);
        case CommandLine::Window: break;
    }
    return run_window(argc, argv);
}
