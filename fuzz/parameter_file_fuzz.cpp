// libFuzzer harness for the instrument parameter file: any bytes end in a
// read file or the program's fatal message, never a crash.
//   cmake --build build-fuzz --target fuzz_parameter_file
//   ./build-fuzz/fuzz/fuzz_parameter_file ../examples/cad4
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "core/exitint.h"
#include "core/store.h"
#include "io/units.h"
#include "params/parameters.h"
#include "toolkit/script/script_backend.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnivox;
    static const std::string file = "/tmp/tarnivox_fuzz_par_" + std::to_string(::getpid());
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    close_all_units();
    reset_store();
    auto backend = ScriptBackend::from_text("");
    backend->echo = false;
    set_toolkit_backend(std::move(backend));
    if (open_unit(LU_PARAM, file, OpenMode::Read) != 0) return 0;
    try {
        READ_PARAMETERS();
    } catch (const ProgramEnd&) {
    }
    close_all_units();
    return 0;
}
