#pragma once
// Reader of the step-scan data files (P4T) of the XSCANS diffractometer
// software (input format 4), whose counts are packed into printable
// characters.

#include <string_view>

namespace tarnivox {

void READ_HEADER_XSCANS(int& status);
void READ_SCAN_XSCANS(int& status);
// Unpacks the count lines of the current reflection into COUNTS; status 13
// when they end before NPTS counts or hold characters outside the code.
void DECODE_DATA(int& status);
// Value 0..41 of a low (closing) digit; 0 for any other character.
int ILOWBIT(char c);
// Value of the pending high digits "A".."Z" (0..25), "a".."z" (26..51):
// the last weighs 42, each earlier one 52 times more.
long long IHIBIT(std::string_view digits);

}  // namespace tarnivox
