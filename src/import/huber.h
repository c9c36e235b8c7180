#pragma once
// Reader of the older single-reflection scan format of a Huber
// four-circle diffractometer (input format 2, "Old Single").

namespace tarnivox {

void READ_HEADER_HUBER(int& status);
void READ_SCAN_HUBER(int& status);

}  // namespace tarnivox
