#include "commands/cif.h"

#include <filesystem>
#include <system_error>

#include "commands/window_messages.h"
#include "operations/cif.h"

namespace tarnivox {

// The notice is followed by one that names the file written.
void CREATE_CIF_TARNIVOX() {
    WindowMessages shown;
    const CifResult r = create_cif({}, shown);
    if (!r.written) return;
    std::error_code ec;
    const std::filesystem::path whole = std::filesystem::absolute(r.path, ec);
    shown.message({"TARNIVOX", "The CIF fragment is in " + (ec ? r.path : whole.lexically_normal().string()),
                   MessageKind::Notice});
}

}  // namespace tarnivox
