#include "core/array.h"

#include <cstdio>
#include <cstdlib>

namespace tarnivox {

void index_out_of_range(const char* kind, long index, long lo, long hi) {
    std::fprintf(stderr, "TARNIVOX INTERNAL ERROR: array %s %ld outside %ld..%ld\n", kind, index, lo,
                 hi);
    std::fflush(stderr);
    std::abort();
}

}  // namespace tarnivox
