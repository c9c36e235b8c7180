#include "commands/cif.h"

#include <filesystem>
#include <system_error>

#include "commands/report.h"
#include "commands/window_messages.h"
#include "operations/cif.h"
#include "operations/run_report.h"

namespace tarnivox {

// The notice is followed by one that names the file written.
void CREATE_CIF_TARNIVOX() {
    WindowMessages shown;
    // After an automatic run of this data set the fragment carries the
    // figures of its analysis, as the batch's --cif does.
    CifFigures figures;
    const bool analysed = last_run_of_open_data_set();
    if (analysed)
        figures = cif_figures(report::analyse_run(
            report_input(window_report_request(), LAST_RUN.result, refinement_in_store(), FwhmLawResult{})));
    const CifResult r = create_cif({}, shown, analysed ? &figures : nullptr);
    if (!r.written) return;
    std::error_code ec;
    const std::filesystem::path whole = std::filesystem::absolute(r.path, ec);
    shown.message({"TARNIVOX", "The CIF fragment is in " + (ec ? r.path : whole.lexically_normal().string()),
                   MessageKind::Notice});
}

}  // namespace tarnivox
