#pragma once
// The unit table: Tarnivox reaches every file through a fixed unit number
// (1 input data, 2 intensity output, 3 instrument parameters, 20 log,
// 25 standard scan file, 26 experiment / new standard file, 30 scan export
// and defaults, 31 the CIF fragment).  Each unit is one open text file,
// read and written line by line as sequential records, with rewind and
// backspace by one record.
//
// Units opened with first-character carriage control (the log, the scan
// export file, the defaults file) take the first character of every written
// record as a control character: blank, '1' and '+' start a new line
// ('+' cannot overprint in a text file), '0' writes an empty line first.

#include <string>
#include <string_view>

namespace tarnivox {

inline constexpr int LU_INPUT = 1;
inline constexpr int LU_OUTPUT = 2;
inline constexpr int LU_PARAM = 3;
inline constexpr int LU_LOG = 20;
inline constexpr int LU_SCAN = 25;
inline constexpr int LU_EXP = 26;
inline constexpr int LU_EXPORT = 30;
inline constexpr int LU_CIF = 31;  // the CIF fragment, open only while it is written

enum class OpenMode {
    Read,     // existing file, reading only
    Old,      // existing file, reading and writing from its start
    New,      // a file that must not exist yet, for writing
    Replace,  // created, or emptied when it exists, for writing in place
    Output,   // a new output: written as NAME.partial, renamed over NAME when closed
    Append,   // created when missing, positioned at its end
    Scratch,  // an unnamed file, deleted when closed
};

// Read status of read_line and the record readers.
inline constexpr int READ_OK = 0;
inline constexpr int READ_ERROR = 1;
inline constexpr int READ_EOF = -1;

// Opens a file on a unit, closing whatever the unit held before.
// Returns 0 on success, 1 when the file cannot be opened in that mode
// (missing for Read/Old, present for New, no permission, being written by
// another run, ...).
//
// Output is how the program writes its results (intensity, experiment,
// standard data and CIF files, the defaults file): the records go to
// NAME.partial in the file's own folder, held under an exclusive lock, and
// close_unit renames it over NAME once it is complete, so that an earlier
// complete NAME survives a run that fails or is stopped on the way.
// Append writes in place under the same lock: the records already in the
// file are never rewritten, and a stopped run leaves whole records after
// them.  New and Replace write in place, for working files that are read
// back as they are written.
int open_unit(int lu, std::string_view path, OpenMode mode, bool carriage_control = false);
// Why the last open_unit (or close_unit, write_whole_file) that failed
// could not do it, as the system says it ("Permission denied", ...).
std::string open_failure_reason();
// Closes the unit; a new output takes its final name.  0, or 1 when the
// finished file could not be put in place (it stays NAME.partial).
int close_unit(int lu);
// Closes the unit without finishing it: a new output keeps the records
// written so far as NAME.partial (none written: no file).
void abandon_unit(int lu);
bool unit_is_open(int lu);
std::string unit_path(int lu);          // as opened; empty for a scratch file
std::string unit_written_path(int lu);  // where the records go now (NAME.partial for a new output)
void close_all_units();                 // flushes and closes every unit; new outputs take their names
void abandon_all_units();               // the end of a run that did not finish: abandon_unit on each

// Claims the new output `path` before the run writes it (NAME.partial is
// created and locked), so that a second run to the same output is refused
// before it starts.  open_unit of the same path takes the claim over.
// 0, or 1 (open_failure_reason says why).
int claim_output(std::string_view path);
// Lets go of a claim open_unit did not take; a NAME.partial the claim
// created and nothing was written to goes away.
void release_output_claim(std::string_view path);

// Writes `text` as the whole file `path` the same way as a new output on a
// unit (NAME.partial, renamed over NAME).  0, or 1.
int write_whole_file(std::string_view path, std::string_view text);

// The longest record read_line takes.
inline constexpr std::size_t MAX_RECORD_LENGTH = 65536;

// Reads the next record (line, without its end-of-line characters).
// READ_EOF at the end of the file, READ_ERROR when the unit is not open for
// reading or the record is longer than MAX_RECORD_LENGTH.  After READ_EOF one backspace steps back over the end of file
// only, as for a sequential Fortran file; a second steps back one record.
int read_line(int lu, std::string& line);
// The number of the record last read (1 the first); after the end of the
// file was met, one past the last record.  Backspace and rewind move it
// back; -1 when the unit is not open or was written to since it was
// opened or rewound.
int unit_line_number(int lu);
// True when the last read met the end of the file.
bool unit_at_end_of_file(int lu);
void rewind_unit(int lu);
void backspace_unit(int lu);

// Writes one record.  Writing after a read makes this record the last of
// the file, as on a sequential file.  Returns 0, or 1 on a write error.
// Records of named files go to disk as they are written; a write that
// fails (a full disk) cuts the file back to its last whole record, so
// that nothing before it is lost and nothing half-written stays.
int write_line(int lu, std::string_view record);

// Writes several records ('\n' between them) as one: all of them, or on a
// write error none (the file is cut back to where it stood), 0 or 1.
// The lines of one reflection or one log block go together this way.
int write_lines(int lu, std::string_view records);

// What happens after a write error on a unit, once the file has been cut
// back: the program's end of the run for the files whose loss it cannot
// pass over (the log).  The handler may throw; none is installed by
// default, and the writer's caller then sees the status 1.
using WriteErrorHandler = void (*)(int lu);
void set_write_error_handler(WriteErrorHandler handler);

// Tests: a unit whose file cannot grow past `bytes` (a full disk); a write
// that would cross the limit puts on disk what fits, then fails.  -1: no
// limit.  Kept across opening and closing the unit.
void set_unit_size_limit(int lu, long bytes);
// Pushes what was written to the file; 0, or 1 on a write error.
int flush_unit(int lu);

}  // namespace tarnivox
