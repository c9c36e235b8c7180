#pragma once

namespace tarnivox {

void START_PREPROCESS();
void UB_FIT();
void SET_PREPROCESS(int iflag, int iopt);
void RUN_ZREF();

}  // namespace tarnivox
