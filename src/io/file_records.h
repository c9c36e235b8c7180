#pragma once
// Opening the run's files by path, and the log records that say which
// files a run opened.  The window's file dialogs and the operations that
// run without a window share them, so that both write the same log.

#include <string>
#include <string_view>

namespace tarnivox {

// The log that choosing an input file opens: the input file's name cut
// before its first '.', then "_Tarnivox.log", in the input file's folder.
std::string automatic_log_path(std::string_view input_path);

// Opens (appending) the automatic log of the input file `input_path` on
// LU_LOG with its header record (date, INFILE, TITLE) and sets LOGOPEN.
// Empty on success; otherwise the text of the error box that says the log
// cannot be written (the run goes on without a log).  `log_path`, when
// given, is where the log goes instead (a batch whose data folder cannot
// take it puts it beside the output).
std::string open_automatic_log(const std::string& input_path, const std::string& log_path = std::string());

// Opens the log chosen by the user on LU_LOG, appending; 0 or 1.
int open_chosen_log(const std::string& path);

// The records of the log (when one is open) for files opened on the way.
void log_parameter_file_opened(std::string_view name);
void log_output_file_opened(std::string_view name);
void log_standard_file_opened(std::string_view name);
void log_step_given(double step);

// A name in the folder `dir`: a bare name (as a browse dialog answers) is
// taken from that folder, an absolute one kept.
std::string in_folder(const std::string& name, const std::string& dir);

}  // namespace tarnivox
