#include "commands/cif.h"

#include "commands/window_messages.h"
#include "operations/cif.h"

namespace tarnivox {

void CREATE_CIF_TARNIVOX() {
    WindowMessages shown;
    create_cif({}, shown);
}

}  // namespace tarnivox
