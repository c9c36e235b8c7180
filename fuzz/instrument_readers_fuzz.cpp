// libFuzzer harness for the instrument readers: any bytes, imported as a
// data file of any of the seven formats, end in the program's own outcomes
// (a ProgramEnd with its message, or a completed import) and never crash
// or read outside the scan record.
//   cmake --build build-fuzz --target fuzz_instrument_readers
//   ./build-fuzz/fuzz/fuzz_instrument_readers
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "core/exitint.h"
#include "core/store.h"
#include "import/convert.h"
#include "io/units.h"
#include "ui/graphics.h"
#include "toolkit/script/script_backend.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnivox;
    if (size == 0) return 0;
    static const std::string file = "/tmp/tarnivox_fuzz_input_" + std::to_string(::getpid());
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    close_all_units();
    reset_store();
    auto backend = ScriptBackend::from_text("command 672\n");
    backend->echo = false;
    set_toolkit_backend(std::move(backend));
    GRAPHICS_SETUP();
    G.INFMT = 1 + data[0] % 7;
    G.INFILE = "fuzz";
    G.WAVE1 = 0.7093;
    G.WAVE2 = 0.71359;
    G.ATTEN = 12.5;
    G.PARITY.fill(1);
    if (open_unit(LU_INPUT, file, OpenMode::Read) != 0) return 0;
    int status = 0;
    try {
        CONVERT_FILE(status);
    } catch (const ProgramEnd&) {
    }
    close_all_units();
    return 0;
}
