#include "core/store.h"

namespace tarnivox {

Store G;

void reset_store() { G = Store{}; }

}  // namespace tarnivox
