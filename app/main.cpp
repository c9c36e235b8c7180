// The tarnivox executable: chooses the toolkit backend and runs the program.
//   tarnivox                 the real window (Qt)
//   tarnivox --script FILE   headless, driven by a script (see the README);
//                            exit status 0 normal end, 1 fatal message,
//                            2 a script the run could not follow

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "params/defaults.h"
#include "tarnivox_main.h"
#include "ui/toolkit/script/script_backend.h"
#include "ui/toolkit/toolkit.h"
#ifdef TARNIVOX_HAVE_QT
#include "ui/toolkit/qt/qt_backend.h"
#endif

namespace {

std::string own_path(const char* argv0) {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) return p.string();
    p = std::filesystem::absolute(argv0 ? argv0 : "", ec);
    return ec ? std::string() : p.string();
}

int usage() {
    std::fprintf(stderr, "usage: tarnivox [--script FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tarnivox;
    set_program_path(own_path(argc > 0 ? argv[0] : nullptr));
    if (argc == 3 && std::strcmp(argv[1], "--script") == 0) {
        auto backend = ScriptBackend::from_file(argv[2]);
        if (!backend) {
            std::fprintf(stderr, "tarnivox: cannot read the script %s\n", argv[2]);
            return 2;
        }
        RunOptions options;
        options.headless = true;
        options.defaults_file = backend->wants_defaults_file();
        set_toolkit_backend(std::move(backend));
        return run_program(options);
    }
    if (argc != 1) return usage();
#ifdef TARNIVOX_HAVE_QT
    // Without a display Qt cannot open a window and would abort the process.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "tarnivox: no display to open the window on (DISPLAY is not set).\n"
                     "Run it on a desktop, under xvfb-run, or headless with --script FILE.\n");
        return 1;
    }
    set_toolkit_backend(make_qt_backend(argc, argv));
    return run_program();
#else
    std::fprintf(stderr, "tarnivox: the window is not yet available in this build; use --script FILE\n");
    return 1;
#endif
}
