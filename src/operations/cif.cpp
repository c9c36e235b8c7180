#include "operations/cif.h"

#include "output/cif_records.h"

namespace tarnivox {

CifResult create_cif(const std::string& path, Messages& messages, const CifFigures* figures) {
    MessageRoute route(messages);
    CifResult r;
    r.path = path.empty() ? cif_path() : path;
    // A fragment that could not be written is said so: the user would
    // otherwise look for a file that is not there.
    switch (write_cif_fragment(r.path, figures)) {
        case 0:
            r.written = true;
            messages.message(Message{"TARNIVOX", "Cif created successfully", MessageKind::Notice});
            break;
        case 1: r.failure = "Cif file could not be created: " + r.path; break;
        default: r.failure = "Cif file could not be written: " + r.path; break;
    }
    if (!r.written) messages.message(Message{"TARNIVOX", r.failure, MessageKind::Error});
    return r;
}

}  // namespace tarnivox
