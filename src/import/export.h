#pragma once

namespace tarnivox {

void EXPORT_SCAN();
void CONVERT_TO_STD();

}  // namespace tarnivox
