#pragma once

namespace tarnivox {

void START_MANUAL_FIT();
void START_AUTO_FIT();
void PROCESS_BACKGROUND();

}  // namespace tarnivox
