#include "commands/cif.h"

#include "operations/cif.h"

namespace tarnivox {

void CREATE_CIF_TARNIVOX() {
    SinkMessages shown;
    create_cif({}, shown);
}

}  // namespace tarnivox
