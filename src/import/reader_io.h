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
