#pragma once
// A measured value with its estimated standard deviation in parentheses, in
// units of the last printed digit, as crystallographic reports give it:
// 12.346(3), 12.3456(15), 5.000(10), 2346(3).  The esd decides the number
// of decimals; an esd whose leading digits are 19 or less keeps two digits.

#include <string>

namespace tarnivox {

// Width of the value(esd) text of the CIF cell items.
inline constexpr int VALUE_TEXT_LEN = 20;

// TEXT <- value(esd), left-justified and blank-padded to VALUE_TEXT_LEN
// (longer when the value needs it: a value is never cut).  VALUE is rounded
// in place to the printed decimals.  An esd of 1e-7 or less (or none that
// is a number) marks an exact value, written as (F8.4,4X).  An esd of 1 or
// more keeps the same rule in whole units: 2345.6(15), 2346(3), 2350(30).
// A value that is not a number, or too large for fixed point, gives a
// blank text.
void FORMAT_VALUE(double& VALUE, double ESD, std::string& TEXT);

// S <- the esd rounded up to one significant digit (two when its leading
// digits are 19 or less); NDP the decimals of its last digit (0 or below
// for an esd of 1 or more: the last digit then stands in the units, tens,
// ... place), IESD the esd in units of that digit, NDIG its digit count.
void ROUND_SIGMA(double& S, int& NDP, int& IESD, int& NDIG);

// V <- nint(V 10^N) / 10^N; unchanged where V 10^N is beyond the range of
// a real (no decimals are left to round at that size).
void ROUND_VALUE(double& V, int N);

// N <- the number of integer digits of V (at least 1), plus 1 for a minus
// sign.
void GET_PLACES(double V, int& N);

}  // namespace tarnivox
