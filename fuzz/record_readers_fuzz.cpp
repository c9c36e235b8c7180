// libFuzzer harness for the record readers: any bytes, read as a record by
// the fixed-column and free-format readers, give a status and never crash
// or read outside the targets.
//   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DTARNIVOX_FUZZ=ON
//   cmake --build build-fuzz --target fuzz_record_readers && ./build-fuzz/fuzz/fuzz_record_readers
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "io/layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnivox;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    int n = 0, h[3] = {0, 0, 0};
    double x[5] = {0, 0, 0, 0, 0};
    std::string text;
    char flag = ' ';
    (void)read_fixed(line, "(A1,I6,3I4,5F10.4,I4,2F10.5,I4,A1)",
                     {&text, &n, std::span<int>(h, 3), std::span<double>(x, 5), &n, &x[0], &x[1], &n, &flag});
    (void)read_fixed(line, "(8X,10I8)", {std::span<double>(x, 5)});
    (void)read_free(line, {&n, std::span<double>(x, 5), &text});
    return 0;
}
