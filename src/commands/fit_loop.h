#pragma once
// Pieces shared by the automatic and the manual fitting runs: the panel of
// fitting buttons, stepping through the standard scan file, jumps by
// indices or by number, and the fit-control commands of the dialog.

#include <string_view>

#include "operations/manual_fit.h"

namespace tarnivox {

// Result of a read or jump inside a fitting loop.
enum class FitStep {
    Fitted,   // a reflection is in the scan record and has been fitted
    Ignored,  // nothing happened (unreadable hkl text or number)
    Leave,    // end of file or a read error: the loop ends
};

// A step of the walk through the data set with the choices of the
// fit-control box a reflection newly reached takes.
ManualFitRequest move_request(ManualStep step);

// Shows the start values of a step that fitted a reflection; what the
// step means for the loop.
FitStep show_step(const ManualFitResult& r);

// Command CMD_GO_HKL (indices typed into the hkl entry) or CMD_GO_ISEQ (the number in the
// sequence entry): reads that reflection, or re-reads the one current
// before the jump when it does not exist; computes start values and fits.
FitStep jump_and_fit(int command);

// Commands CMD_FC_RESET and CMD_FC_FIRST..CMD_FC_LAST of the fitting-controls dialog; false for any
// other command.
bool fit_control_command(int command);

// Shows the scan and the results of its fit.
void show_fit();

// Sets a panel item's status (1 selectable, 0 greyed, -1 hidden), when the
// main window has been built.
void panel_status(int item, int status);

// Puts the start values of the fit-control box back into the store when
// a fitting window closes: the next command starts from what the box
// holds (typed, or from the parameter file's model), never from the
// results of the last reflection fitted.
void keep_typed_start_values();

// Greys the menus and shows the fitting-controls dialog for a run.
void begin_fitting_window();

// Parses three integers from the hkl entry text; false when the text does
// not hold them.
bool parse_hkl(std::string_view text, int hkl[3]);

}  // namespace tarnivox
