#pragma once
// Line reading shared by the instrument readers: every instrument file is
// read from unit 1 as text records of a fixed width, as the instruments'
// own programs wrote them.

#include <span>
#include <string>
#include <string_view>

#include "core/array.h"
#include "import/reader_status.h"

namespace tarnivox {

// What the reader expects in the records it reads from now on ("a
// reflection line with record code 1 in columns 1-2"): the messages about a
// file that does not give it name it with the file and the line.
void reader_expects(std::string_view what);

// Notes the line just read from `unit` (next_input_line does so for the
// input data file; the standard scan file's reader for its own unit).
void note_line_read(int unit);

// "Data file PATH, line N: expected WHAT" for the line read last and what
// was expected there ("line N (end of file)" once the file has ended).
std::string reader_place();

// Ends the import with the program's own text (kept as it is), after a box
// that names the file, the line and what was expected there; the end of
// the run carries the place too (ProgramEnd::place).
[[noreturn]] void reader_stop(std::string_view text);
[[noreturn]] void reader_stop(std::string_view text, std::string_view expected);

// A reflection the reader cannot read or leaves out: the place of the
// first of the import is kept for the message after it.  Returns status.
int reader_fails(int status);
// Forgets the place of a reflection left out (a new import starts).
void clear_reader_failures();
// The place of the first reflection left out; empty when none was.
std::string first_failure_place();

// Reads the next record of the input data file, cut to `width` columns.
// READ_OK, READ_EOF or READ_ERROR (io/units.h).
int next_input_line(std::string& line, std::size_t width);

// Reads whole numbers in free form from as many input records as it takes
// to fill `out` (blank records are passed over, as list-directed input
// does).  READ_OK, READ_EOF (also when the file ends part-way) or
// READ_ERROR for a value that is not a whole number.
int read_free_ints(std::span<int> out, std::size_t* filled = nullptr);

// The reader status of a read status: 0 read, 12 end of data, 11 read error.
int reader_status(int read_status);

// Columns from..to (1-based, inclusive) of a line, blank-padded.
std::string columns(std::string_view line, int from, int to);

// The line from column `from` on (empty when the line is shorter).
std::string_view from_column(std::string_view line, int from);

// Upper-cases letters a-z (the instruments' keywords are upper case).
std::string upper_case(std::string_view text);

// The standard whose indices equal IHKL: 1..NSTD, or 0 when none matches.
int find_standard();

// True when a header listed a standard twice (STDHKL 1..NSTD): a line
// written twice, which would renumber the standards after it.
bool standards_repeat();

// Truncation of a real toward zero that never overflows a whole count.
long long truncate_count(double value);

// True when a fixed-column record reaches column `last`.  A record cut
// short (a file that ends inside it, a line broken in two) does not, and
// its missing fields would otherwise read as zeros.
bool reaches_column(std::string_view line, std::size_t last);

// True when a step count can be held in the current scan record.
bool steps_fit(long long npts);

}  // namespace tarnivox
