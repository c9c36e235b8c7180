#pragma once
// Seeded damage to a text file, for the bad-input tests of the readers:
// the same seed gives the same damage.

#include <cstdint>
#include <string>

namespace tarnivox::test {

enum class Damage {
    Truncate,     // the file ends at a random byte
    CutLine,      // one line ends at a random column
    WrongCode,    // the first character (record code or marker) of a line is changed
    NonNumeric,   // a digit of a line becomes a letter
    LongLine,     // a line of 10,000 characters is put in
    BinaryNoise,  // a block of bytes of any value is put in
    Empty,        // nothing is left
    Doubled,      // a line is written twice
    Deleted,      // a line is left out
    WildNumber,   // a number of a line becomes huge, negative, non-finite or not a number
    Count
};

// The text with one damage of the kind `kind`, placed by `seed`.
std::string damage(const std::string& text, Damage kind, std::uint64_t seed);

// The damage kinds of a whole-run campaign: the file cut, a line cut or
// doubled, numbers altered.
inline constexpr Damage kRunDamage[] = {Damage::Truncate, Damage::CutLine, Damage::Doubled, Damage::WildNumber,
                                       Damage::NonNumeric};

// One damage of a kind chosen by the seed.
std::string damage(const std::string& text, std::uint64_t seed);

const char* damage_name(Damage kind);

}  // namespace tarnivox::test
