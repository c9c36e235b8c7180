#pragma once
// Statuses with which the readers of the standard scan file and of the
// instrument formats end the read of one reflection (0: read).

namespace tarnivox {

inline constexpr int READER_READ_ERROR = 11;
inline constexpr int READER_END = 12;
// The reflection is not in the data set: not found by a search, or left
// out by the reader (its record is skipped).
inline constexpr int READER_NOT_FOUND = 13;

}  // namespace tarnivox
