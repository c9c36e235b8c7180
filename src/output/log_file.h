#pragma once
// The log file on unit 20: its header, and the summary block of a fitting
// run (also written into the experiment file).

namespace tarnivox {

// Writes the summary block of the last fitting run on a unit: how each
// profile parameter was treated, cell and UB when known, and the number of
// reflections that passed or failed for each reason.
void WRITE_FIT_SUMMARY(int unit);

// The header of a log the user opened: date, input and output file,
// title and the classification of the data set's reflections.
void WRITE_LOG_HEADER();
// Writes how the reflections of the last import were classified (by the
// letters W M R S F I N counted in NCLASS) to a unit: the log after an
// import, and the log and experiment file headers.
void WRITE_INPUT(int unit);

// The block written before the summary at the end of an automatic run.
void WRITE_AUTOFIT_SUMMARY_HEADER(int unit);

}  // namespace tarnivox
