#pragma once
// Record layouts in the program's notation, for every text record Tarnivox
// reads or writes: Iw, Iw.m, Fw.d, Aw, A, nX, 'text', /, : , repeat counts
// and groups, e.g. "(3I4,1X,F7.3)".  Keep each layout in the code exactly as
// it is documented so that it can be checked by eye.
//
// Output: a number that does not fit its width is written as w asterisks;
// Fw.d drops the leading zero of a magnitude below 1 when that is the only
// way it fits; text is written left-justified and blank-padded to w, as the
// program's fixed-width text fields are.  When the layout ends before the
// items do, a new record starts and the layout is re-used from its last
// outer group, as in Fortran.
//
// Fixed-column input: Iw and Fw.d read exactly w columns; blanks inside a
// field are ignored and a blank field is 0; a Fw.d field written without a
// point has d implied decimals ("12345" in F10.4 is 1.2345); a line shorter
// than the layout reads as if padded with blanks.  An unreadable field gives
// an error status, never an exception.
//
// Free-format input: numbers separated by blanks or a comma; ",," leaves the
// item unchanged; a '/' ends the record; items missing at the end keep their
// values; r*v repeats v r times.  An unreadable value gives an error status.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "core/array.h"

namespace tarnivox {

// One value written by a layout.
class OutItem {
public:
    enum class Kind { Int, Real, Text, Ints, Reals };
    OutItem(int v) : kind_(Kind::Int), i_(v) {}                   // NOLINT
    OutItem(long v) : kind_(Kind::Int), i_(v) {}                  // NOLINT
    OutItem(long long v) : kind_(Kind::Int), i_(v) {}             // NOLINT
    OutItem(double v) : kind_(Kind::Real), r_(v) {}               // NOLINT
    OutItem(std::string_view v) : kind_(Kind::Text), s_(v) {}     // NOLINT
    OutItem(const std::string& v) : kind_(Kind::Text), s_(v) {}   // NOLINT
    OutItem(const char* v) : kind_(Kind::Text), s_(v) {}          // NOLINT
    OutItem(std::span<const int> v) : kind_(Kind::Ints), ints_(v) {}     // NOLINT
    OutItem(std::span<const double> v) : kind_(Kind::Reals), reals_(v) {}  // NOLINT
    template <int N>
    OutItem(const Arr1<int, N>& a) : OutItem(a.all()) {}  // NOLINT
    template <int N>
    OutItem(const Arr1<double, N>& a) : OutItem(a.all()) {}  // NOLINT

    Kind kind() const { return kind_; }
    long long as_int() const { return i_; }
    double as_real() const { return r_; }
    std::string_view as_text() const { return s_; }
    std::span<const int> ints() const { return ints_; }
    std::span<const double> reals() const { return reals_; }

private:
    Kind kind_;
    long long i_ = 0;
    double r_ = 0.0;
    std::string_view s_;
    std::span<const int> ints_;
    std::span<const double> reals_;
};

// One target read by a layout.
class InItem {
public:
    enum class Kind { Int, Real, Text, Char, Ints, Reals };
    InItem(int* p) : kind_(Kind::Int), i_(p) {}             // NOLINT
    InItem(double* p) : kind_(Kind::Real), r_(p) {}         // NOLINT
    InItem(std::string* p) : kind_(Kind::Text), s_(p) {}    // NOLINT
    InItem(char* p) : kind_(Kind::Char), c_(p) {}           // NOLINT
    InItem(std::span<int> v) : kind_(Kind::Ints), ints_(v) {}      // NOLINT
    InItem(std::span<double> v) : kind_(Kind::Reals), reals_(v) {}  // NOLINT
    template <int N>
    InItem(Arr1<int, N>& a) : InItem(a.all()) {}  // NOLINT
    template <int N>
    InItem(Arr1<double, N>& a) : InItem(a.all()) {}  // NOLINT

    Kind kind() const { return kind_; }
    int* int_ptr() const { return i_; }
    double* real_ptr() const { return r_; }
    std::string* text_ptr() const { return s_; }
    char* char_ptr() const { return c_; }
    std::span<int> ints() const { return ints_; }
    std::span<double> reals() const { return reals_; }

private:
    Kind kind_;
    int* i_ = nullptr;
    double* r_ = nullptr;
    std::string* s_ = nullptr;
    char* c_ = nullptr;
    std::span<int> ints_;
    std::span<double> reals_;
};

// The records a layout writes, joined by '\n' (no final end of line).
std::string format_record(std::string_view layout, std::initializer_list<OutItem> items = {});

// As format_record, for files read back by column: a number too wide for
// its field is never asterisks, text read as another value, or wider than the
// field.  Fw.d gives up decimals down to the whole number with its point
// (1234567.); in a field of no decimals then without it; then takes an
// exponent with two or more significant digits (1.2E+07).  A value none of
// these holds refuses the record: the result is empty, and the caller says
// so.  An Iw value takes the columns it needs (counts in the log).
std::string format_record_fit(std::string_view layout, std::initializer_list<OutItem> items = {});

// Writes the records of a layout to a unit (carriage control applies on a
// unit opened with it), all of them or, on a write error, none: 0 or 1.
int write_record(int lu, std::string_view layout, std::initializer_list<OutItem> items = {});

// A single field: Iw / Iw.m and Fw.d as the layout writer gives them.
std::string format_int(long long v, int w, int m = -1);
std::string format_fixed(double v, int w, int d);
// Fw.d in at least w columns: a value too wide for w takes the columns it
// needs instead of asterisks (labels and report values that must be read
// whole).  Empty for a value that is not a number or too large for fixed
// point.
std::string format_fixed_whole(double v, int w, int d);

// Iw and Fw.d appended to a record exactly as format_int and format_fixed
// (and so format_record) write them, without building strings: for the
// records written once per reflection.
void append_int(std::string& out, long long v, int w);
void append_fixed(std::string& out, double v, int w, int d);

// An Iw or Fw.d field read as read_fixed reads it, for the plain forms
// the program writes: blanks, then an optional sign, digits and (Fw.d) a
// point with its decimals, blanks after.  false, with the value untouched,
// for anything else (blanks between digits, an exponent, a field without
// its point, text): read_fixed then judges the record.
bool read_int_field(std::string_view field, int& v);
bool read_fixed_field(std::string_view field, double& v);

// write_record with format_record_fit: counts and values that must stay
// readable however large they grow.  A refused record is not written: 1.
int write_record_fit(int lu, std::string_view layout, std::initializer_list<OutItem> items = {});

// Fw.d and Iw.m as format_record_fit writes them.  A value that is not a
// number is written NaN, Inf or -Inf, right-aligned; an Fw.d value no form
// of the field holds gives an empty text.
std::string format_fixed_fit(double v, int w, int d);
std::string format_int_fit(long long v, int w, int m = -1);

// Reads one record (a single line) with a fixed-column layout.  A '/' in
// the layout reads the following items as from an empty record.
// READ_OK, or READ_ERROR for an unreadable field.
int read_fixed(std::string_view line, std::string_view layout, std::initializer_list<InItem> items);

// Reads records from a unit with a fixed-column layout ('/' takes the next
// line).  READ_OK, READ_EOF, or READ_ERROR.
int read_record(int lu, std::string_view layout, std::initializer_list<InItem> items);

// Free-format reading of one record.  READ_OK or READ_ERROR; *nread, when
// given, receives the number of items that received a value or were
// skipped by a null value (items left unchanged at the end are not counted).
int read_free(std::string_view text, std::initializer_list<InItem> items, int* nread = nullptr);

}  // namespace tarnivox
