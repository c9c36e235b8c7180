#include "core/array.h"

#include <string>

#include "core/internal_error.h"

namespace tarnivox {

void index_out_of_range(const char* kind, long index, long lo, long hi) {
    internal_error(std::string("array ") + kind + " " + std::to_string(index) + " outside " + std::to_string(lo) +
                   ".." + std::to_string(hi));
}

}  // namespace tarnivox
